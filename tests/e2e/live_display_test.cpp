/*
 * live_display_test.cpp - the built program showing live cabinets of the
 * sample installation, the cabinet simulator playing their management
 * modules.  Each test runs the simulator and `xrackmon -d 1 CabNNN` under one
 * private console root (icons, catalogue and the sample nxs.config) on the
 * test's own X server, then reads the program's traces and the simulator's
 * command log: the window of a cabinet of every management-module kind,
 * a failed query turning the window into the Unknown tree with the error
 * box, and Reload (View menu, clicked through XTest) after the fault
 * clears showing the cabinet's tree again; every fault kind of a module
 * met by the start-up query or by a Reload; and a signal arriving while
 * the program holds a serial cabinet's ports.  opclogd lends the ports,
 * and nothing may stay on loan.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "tests/support/x_session.h"
#include "tests/support/process.h"

namespace {


constexpr milliseconds kStartTimeout{20000};
constexpr milliseconds kQueryTimeout{15000};

/* The trace of one chassis of the status tree (complex type and id). */
std::string chassis_trace(unsigned type, unsigned id)
{
    char text[80];
    std::snprintf(text, sizeof(text), "add_chassis: complex_ptr=0x[0-9a-f]+ type=0x%x id=0x%x ", type, id);
    return text;
}

/* The Unknown tree: one management complex, type 0x82, id 1. */
const std::string kUnknownChassis = chassis_trace(0x82, 1);

/* Number of C_STATUS commands (cmd=1) sent to cabinet `cab` in the log. */
int status_commands(const std::string &log, int cab)
{
    const std::string prefix = "cab=" + std::to_string(cab) + " ";
    int count = 0;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        if (line.starts_with(prefix) && line.find(" cmd=1 ") != std::string::npos &&
            line.ends_with(" result=sent"))
            ++count;
        start = end + 1;
    }
    return count;
}

/* Viewable top-level windows titled `title`, bottom to top. */
std::vector<Window> windows_titled(Display *display, const std::string &title)
{
    std::vector<Window> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return found;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        char *name = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            XFetchName(display, children[i], &name) && name != nullptr) {
            if (title == name)
                found.push_back(children[i]);
        }
        if (name != nullptr)
            XFree(name);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

/* Presses and releases button 1 at (x, y) of the screen. */
void click_at(Display *display, int x, int y)
{
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
}

/* The rectangle of `window` on the screen. */
struct ScreenBox {
    int x = 0, y = 0, width = 0, height = 0;
};
ScreenBox screen_box(Display *display, Window window)
{
    ScreenBox box;
    XWindowAttributes attributes;
    Window child;
    if (XGetWindowAttributes(display, window, &attributes)) {
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &box.x, &box.y, &child);
        box.width = attributes.width;
        box.height = attributes.height;
    }
    return box;
}

/* The deepest window of `top` under the screen point (x, y). */
Window window_at(Display *display, Window top, int x, int y)
{
    Window window = top;
    for (;;) {
        int wx = 0, wy = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, DefaultRootWindow(display), window, x, y, &wx, &wy, &child) ||
            child == 0)
            return window;
        window = child;
    }
}

/* The cascade buttons of the menu bar at the top of the cabinet window,
 * left to right.  A point at the middle of the window's top edge, just
 * inside, lies on the menu bar itself, between its buttons (Help sits at
 * the right end). */
std::vector<Window> menu_bar_buttons(Display *display, Window shell)
{
    ScreenBox box = screen_box(display, shell);
    Window bar = window_at(display, shell, box.x + box.width / 2, box.y + 4);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<std::pair<int, Window>> by_x;
    if (XQueryTree(display, bar, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i)
            by_x.emplace_back(screen_box(display, children[i]).x, children[i]);
        if (children != nullptr)
            XFree(children);
    }
    std::sort(by_x.begin(), by_x.end());
    std::vector<Window> buttons;
    for (const auto &[x, window] : by_x)
        buttons.push_back(window);
    return buttons;
}

/* A viewable override-redirect top-level window on the screen (a posted
 * menu; the toolkit keeps another such window off the screen); 0 if none. */
Window posted_menu(Display *display)
{
    Window root = 0, parent = 0, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
            attributes.override_redirect && attributes.x >= 0 && attributes.y >= 0 && attributes.width > 1)
            found = children[i];
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

class LiveDisplay : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x_.ok() && display_ != nullptr) << "no X display";
        /* The simulator makes the console root and plays every cabinet of
         * the sample installation. */
        std::string sample = XR_SAMPLE_DIR;
        ASSERT_TRUE(sim_.start_args({"-c", sample + "/nxs.config", sample + "/cabsim/cab001.sim",
                                     sample + "/cabsim/cab002.sim", sample + "/cabsim/cab003.sim",
                                     sample + "/cabsim/cab004.sim"}));
        namespace fs = std::filesystem;
        const fs::path root = sim_.root();
        const fs::path data = XR_DATA_ROOT;
        std::error_code error;
        fs::create_directories(root / "opt/console", error);
        fs::copy(data / "opt/console", root / "opt/console", fs::copy_options::recursive, error);
        ASSERT_FALSE(error) << error.message();
        fs::copy_file(sample + "/nxs.config", root / "var/console/nxs.config", error);
        ASSERT_FALSE(error) << error.message();
        ASSERT_TRUE(daemon_.start({})) << daemon_.stderr_text();
    }

    ~LiveDisplay() override
    {
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }

    void TearDown() override
    {
        if (HasFailure()) {
            x_.screenshot_failed_test();
            std::printf("program output:\n%s\n", program_.output().c_str());
            std::printf("cabsim log:\n%s\n", sim_.log_text().c_str());
        }
    }

    bool start(const std::string &cabinet, const std::string &level = "1")
    {
        std::string path = std::string(XR_PROGRAM_DIR) + "/xrackmon";
        return program_.start(path, {"-d", level, cabinet},
                              {{"CONSOLE_ROOT", sim_.root()},
                               {"XAPPLRESDIR", XR_APP_DEFAULTS_DIR},
                               {"XRACKMON_TIME_SCALE", "100"}});
    }

    /* View > Reload with the pointer: a click on the menu bar's second
     * button posts the View menu, a click in the top quarter of the posted
     * menu hits its first entry, Reload. */
    void reload(Window window)
    {
        std::vector<Window> buttons = menu_bar_buttons(display_, window);
        ASSERT_GE(buttons.size(), 2u) << "no menu bar found";
        ScreenBox view = screen_box(display_, buttons[1]);
        click_at(display_, view.x + view.width / 2, view.y + view.height / 2);
        Window menu = 0;
        auto deadline = std::chrono::steady_clock::now() + kQueryTimeout;
        while ((menu = posted_menu(display_)) == 0 && std::chrono::steady_clock::now() < deadline)
            program_.drain(milliseconds(20));
        ASSERT_NE(menu, 0u) << "the View menu did not open";
        ScreenBox entries = screen_box(display_, menu);
        click_at(display_, entries.x + entries.width / 2, entries.y + entries.height / 4);
    }

    /* Position of `text` in the output at or after `from`, once it is
     * there; npos at the deadline or the program's end. */
    std::size_t wait_for_text(const std::string &text, std::size_t from)
    {
        auto deadline = std::chrono::steady_clock::now() + kQueryTimeout;
        std::size_t at;
        while ((at = program_.output().find(text, from)) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline && program_.running())
            program_.drain(milliseconds(20));
        return program_.output().find(text, from);
    }

    /* Ends the program with `sig`: true when it died by that signal (not
     * by another, nor by a sanitizer's report) and opclogd lends nothing
     * afterwards. */
    void expect_death_by(int sig)
    {
        ASSERT_TRUE(program_.send_signal(sig));
        ASSERT_TRUE(program_.wait_for_exit(kQueryTimeout));
        EXPECT_TRUE(WIFSIGNALED(program_.status()) && WTERMSIG(program_.status()) == sig) << program_.status();
        EXPECT_EQ(program_.output().find("Sanitizer"), std::string::npos);
        EXPECT_EQ(daemon_.loans(), std::vector<std::string>{}) << "ports left on loan";
    }

    /* The topmost window titled `title` once `count` of them are on
     * screen; 0 at the deadline or when the program ended.  The work
     * dialog, the error box and the cabinet window share one title. */
    Window wait_for_windows(const std::string &title, std::size_t count)
    {
        auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (program_.running() && std::chrono::steady_clock::now() < deadline) {
            std::vector<Window> found = windows_titled(display_, title);
            if (found.size() == count)
                return found.back();
            program_.drain(milliseconds(20));
        }
        return 0;
    }

    /* The cabinet window, alone under its title once start-up has hidden
     * the work dialog; 0 at the deadline. */
    Window wait_for_cabinet_window(const std::string &cabinet)
    {
        if (!program_.wait_for_output("\n " + cabinet + " [0-9]+ [0-9]+\n(.|\n)* HideWorkDialog", kStartTimeout))
            return 0;
        return wait_for_windows("Cabinet Status - " + cabinet, 1);
    }

    xsession::XSession x_;
    Display *display_ = XOpenDisplay(nullptr);
    CabsimProcess sim_;
    OpclogdProcess daemon_{sim_.root()};
    ChildProcess program_;
};

struct CabinetCase {
    const char *name;
    int number;
    const char *kind;
    /* Two chassis of its tree (type, id) that the window must show. */
    unsigned type1, id1, type2, id2;
};

void PrintTo(const CabinetCase &c, std::ostream *out)
{
    *out << c.name << " (" << c.kind << ")";
}

class LiveCabinet : public LiveDisplay, public testing::WithParamInterface<CabinetCase> {};

TEST_P(LiveCabinet, ShowsTheCabinetsTreeFromItsModule)
{
    const CabinetCase &c = GetParam();
    ASSERT_TRUE(start(c.name));
    ASSERT_NE(wait_for_cabinet_window(c.name), 0u);
    ASSERT_TRUE(program_.wait_for_output(chassis_trace(c.type1, c.id1), kQueryTimeout));
    ASSERT_TRUE(program_.wait_for_output(chassis_trace(c.type2, c.id2), kQueryTimeout));
    program_.drain(milliseconds(200));

    EXPECT_EQ(program_.output().find(kUnknownChassis), std::string::npos) << "the Unknown tree was shown";
    EXPECT_EQ(program_.output().find("display_cmdcmplt_err"), std::string::npos);
    ASSERT_TRUE(sim_.ctl("ping"));
    EXPECT_EQ(status_commands(sim_.log_text(), c.number), 1) << "one status query at start-up";
    EXPECT_TRUE(program_.running());
}

/* A cabinet of every management-module kind of the sample installation. */
INSTANTIATE_TEST_SUITE_P(Sample, LiveCabinet,
                         testing::Values(CabinetCase{"Cab001", 1, "CMBR", 0x2f, 1, 0x2c, 10},
                                         CabinetCase{"Cab002", 2, "CMBR_disk", 0x2a, 9, 0x26, 12},
                                         CabinetCase{"Cab003", 3, "CMIC3", 0x28, 1, 0x21, 8},
                                         CabinetCase{"Cab004", 4, "SMC", 0x25, 3, 0x22, 5}),
                         [](const testing::TestParamInfo<CabinetCase> &info) {
                             return std::string(info.param.name) + "_" + info.param.kind;
                         });

/* The module fails the query with per-complex statuses: the error box says
 * so, the window holds the Unknown tree; once the fault is gone, Reload
 * queries again and the cabinet's tree is back. */
TEST_F(LiveDisplay, FailedQueryShowsUnknownTreeUntilReloadAfterFaultClears)
{
    ASSERT_TRUE(sim_.ctl("fault 1 fail 1:2,3:3 cmd=1"));
    ASSERT_TRUE(start("Cab001"));

    /* 1. The error box, before the cabinet window; answered with Return. */
    ASSERT_TRUE(program_.wait_for_output("display_cmdcmplt_err: bad cmdcomplete status=0 cabno=1\n", kQueryTimeout));
    /* The work dialog and the error box above it. */
    Window box = wait_for_windows("Cabinet Status - Cab001", 2);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(x_.press_return_in(box));

    /* 2. The Unknown tree. */
    ASSERT_TRUE(program_.wait_for_output(kUnknownChassis, kQueryTimeout));
    Window window = wait_for_cabinet_window("Cab001");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(program_.output().find(chassis_trace(0x2f, 1)), std::string::npos);

    /* 3. The fault clears; Reload shows the tree. */
    ASSERT_TRUE(sim_.ctl("clear 1"));
    reload(window);
    ASSERT_TRUE(program_.wait_for_output(chassis_trace(0x2f, 1) + "(.|\n)*" + chassis_trace(0x2c, 10), kQueryTimeout));
    ASSERT_TRUE(sim_.ctl("ping"));
    EXPECT_EQ(status_commands(sim_.log_text(), 1), 2) << "start-up and Reload each query once";
    EXPECT_TRUE(program_.running());
}

/* A module that is not alive: the query cannot even be sent. */
TEST_F(LiveDisplay, ModuleNotAliveShowsErrorBoxAndUnknownTree)
{
    ASSERT_TRUE(sim_.ctl("alive 3 no"));
    ASSERT_TRUE(start("Cab003"));
    ASSERT_TRUE(program_.wait_for_output("display_cmdcmplt_err: bad cmdcomplete status=17 cabno=3\n", kQueryTimeout));
    /* The work dialog and the error box above it. */
    Window box = wait_for_windows("Cabinet Status - Cab003", 2);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(x_.press_return_in(box));
    ASSERT_TRUE(program_.wait_for_output(kUnknownChassis, kQueryTimeout));
    ASSERT_NE(wait_for_cabinet_window("Cab003"), 0u);
    ASSERT_TRUE(sim_.ctl("ping"));
    EXPECT_EQ(status_commands(sim_.log_text(), 3), 0);
    EXPECT_NE(sim_.log_text().find("result=not-alive"), std::string::npos);
}

/* ---- faults at every command, and signals ------------------------------ */

/* A fault of the module for one command. */
struct FaultCase {
    const char *name;
    const char *fault;
    bool fails; /* the query it meets fails (else a resend or a late answer saves it) */
};

void PrintTo(const FaultCase &c, std::ostream *out)
{
    *out << c.fault;
}

class FaultedCommand : public LiveDisplay, public testing::WithParamInterface<FaultCase> {
protected:
    /* Follows one query from `from` on: the tree, or the error box (answered)
     * and the Unknown tree.  Returns whether it failed, and where its
     * output ends. */
    bool query_failed(std::size_t *from, std::size_t windows_with_box)
    {
        const std::string tree = " type=0x2f id=0x1 ", unknown = " type=0x82 id=0x1 ";
        const std::string error = "display_cmdcmplt_err: bad cmdcomplete";
        std::size_t shown = std::string::npos, failed = std::string::npos;
        auto deadline = std::chrono::steady_clock::now() + kQueryTimeout;
        while (shown == std::string::npos && failed == std::string::npos && program_.running() &&
               std::chrono::steady_clock::now() < deadline) {
            program_.drain(milliseconds(20));
            shown = program_.output().find(tree, *from);
            failed = program_.output().find(error, *from);
        }
        EXPECT_TRUE(shown != std::string::npos || failed != std::string::npos) << "neither the tree nor an error";
        if (failed == std::string::npos || (shown != std::string::npos && shown < failed)) {
            *from = shown + 1;
            return false;
        }
        /* The error box is the topmost window of the program's title, above
         * the work dialog (and the cabinet window after start-up). */
        auto box_deadline = std::chrono::steady_clock::now() + kQueryTimeout;
        while (windows_titled(display_, "Cabinet Status - Cab001").size() < windows_with_box && program_.running() &&
               std::chrono::steady_clock::now() < box_deadline)
            program_.drain(milliseconds(20));
        std::vector<Window> windows = windows_titled(display_, "Cabinet Status - Cab001");
        EXPECT_EQ(windows.size(), windows_with_box) << "no error box";
        if (!windows.empty())
            x_.press_return_in(windows.back());
        std::size_t at = wait_for_text(unknown, failed);
        EXPECT_NE(at, std::string::npos) << "no Unknown tree after the error";
        *from = at == std::string::npos ? program_.output().size() : at + 1;
        return true;
    }
};

/* The fault meets the Nth command the module receives: the start-up query
 * is the first, its resend or the query of a Reload the second.  Each time
 * the program shows the tree or the error box and the Unknown tree, runs
 * on, lends nothing and ends by the signal it is sent. */
TEST_P(FaultedCommand, EveryQueryEndsInTheTreeOrTheUnknownTree)
{
    const FaultCase &c = GetParam();
    for (int nth = 1; nth <= 2; ++nth) {
        SCOPED_TRACE(testing::Message() << c.fault << " at command " << nth);
        ASSERT_TRUE(sim_.ctl("clear 1"));
        if (nth > 1) {
            ASSERT_TRUE(sim_.ctl("fault 1 delay 0 count=" + std::to_string(nth - 1)));
        }
        ASSERT_TRUE(sim_.ctl(std::string("fault 1 ") + c.fault));
        ASSERT_TRUE(start("Cab001"));
        std::size_t from = 0;
        EXPECT_EQ(query_failed(&from, 2), c.fails && nth == 1) << "start-up";
        Window window = wait_for_cabinet_window("Cab001");
        ASSERT_NE(window, 0u);
        reload(window);
        EXPECT_EQ(query_failed(&from, 3), c.fails && nth == 2) << "Reload";
        EXPECT_TRUE(program_.running());
        expect_death_by(SIGTERM);
        if (HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Module, FaultedCommand,
                         testing::Values(FaultCase{"Silent", "silent", true}, FaultCase{"NotAlive", "notalive", true},
                                         FaultCase{"NotReady", "notready", false},
                                         FaultCase{"WrongSequence", "wrongseq", false},
                                         FaultCase{"Status3", "status 3", true},
                                         FaultCase{"BadFrame", "badframe", true}),
                         [](const testing::TestParamInfo<FaultCase> &info) { return std::string(info.param.name); });

/* A signal that arrives while the program is idle but holds the serial
 * ports of a live cabinet (after its first GO): the trace names it, the
 * ports go back to opclogd, and the program dies by that signal. */
class IdleSignal : public LiveDisplay, public testing::WithParamInterface<int> {};

TEST_P(IdleSignal, ReturnsThePortsAndEndsByThatSignal)
{
    const int sig = GetParam();
    /* The serial controllers do not answer the status query of a module:
     * the error box comes first. */
    ASSERT_TRUE(start("Cab010"));
    ASSERT_TRUE(program_.wait_for_output("display_cmdcmplt_err: ", kQueryTimeout));
    Window box = wait_for_windows("Cabinet Status - Cab010", 2);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(x_.press_return_in(box));
    ASSERT_NE(wait_for_cabinet_window("Cab010"), 0u);
    auto deadline = std::chrono::steady_clock::now() + kQueryTimeout;
    while (daemon_.loans().empty() && std::chrono::steady_clock::now() < deadline)
        program_.drain(milliseconds(20));
    ASSERT_FALSE(daemon_.loans().empty()) << "no port borrowed by the first GO";
    expect_death_by(sig);
    EXPECT_NE(program_.output().find(std::string("xrackmon: ====> RECEIVED SIGNAL: SIG") + sigabbrev_np(sig)),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SerialCabinet, IdleSignal, testing::Values(SIGSEGV, SIGTERM),
                         [](const testing::TestParamInfo<int> &info) { return std::string(sigabbrev_np(info.param)); });

} // namespace
