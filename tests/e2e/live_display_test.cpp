/*
 * live_display_test.cpp - the built program showing live cabinets of the
 * sample installation, the cabinet simulator playing their management
 * modules.  Each test runs the simulator and `xrackmon -d 1 CabNNN` under one
 * private console root (icons, catalogue and the sample nxs.config) on the
 * test's own X server, then reads the program's traces and the simulator's
 * command log: the window of a cabinet of every management-module kind;
 * every fault kind of a module met by the start-up query or by a Reload
 * (View menu, clicked through XTest), each ending in the cabinet's tree or
 * in the error box and the Unknown tree; and a signal arriving while the
 * program holds a serial cabinet's ports.  opclogd lends the ports, and
 * nothing may stay on loan.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>

#include "tests/support/process.h"
#include "tests/support/x_session.h"

namespace {

using namespace xsession;

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
    std::istringstream lines(log);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.starts_with("cab=" + std::to_string(cab) + " ") && line.find(" cmd=1 ") != std::string::npos &&
                 line.ends_with(" result=sent");
    return count;
}

class LiveDisplay : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(display_, nullptr) << "no X display";
        /* The simulator makes the console root and plays every cabinet of
         * the sample installation. */
        const std::string sample = XR_SAMPLE_DIR;
        std::vector<std::string> args{"-c", sample + "/nxs.config"};
        for (int cab = 1; cab <= 4; ++cab)
            args.push_back(sample + "/cabsim/cab00" + std::to_string(cab) + ".sim");
        ASSERT_TRUE(sim_.start_args(args));
        namespace fs = std::filesystem;
        const fs::path root = sim_.root();
        std::error_code error;
        fs::create_directories(root / "opt/console", error);
        fs::copy(fs::path(XR_DATA_ROOT) / "opt/console", root / "opt/console", fs::copy_options::recursive, error);
        ASSERT_FALSE(error) << error.message();
        fs::copy_file(sample + "/nxs.config", root / "var/console/nxs.config", error);
        ASSERT_FALSE(error) << error.message();
        ASSERT_TRUE(daemon_.start({})) << daemon_.stderr_text();
    }

    void TearDown() override
    {
        if (HasFailure()) {
            x_.screenshot_failed_test();
            std::printf("program output:\n%s\n", program_.output().c_str());
            std::printf("cabsim log:\n%s\n", sim_.log_text().c_str());
        }
    }

    bool start(const std::string &cabinet, std::vector<std::string> args = {})
    {
        cabinet_ = cabinet;
        title_ = "Cabinet Status - " + cabinet;
        args.insert(args.end(), {"-d", "1", cabinet});
        return program_.start(std::string(XR_PROGRAM_DIR) + "/xrackmon", args,
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
        /* A busy machine may lose a click before the program takes input:
         * the View button is clicked again until its menu is posted. */
        ScreenBox view = screen_box(display_, buttons[1]);
        Window menu = 0;
        for (int attempt = 0; attempt < 5 && menu == 0; ++attempt) {
            click_at(display_, view.x + view.width / 2, view.y + view.height / 2);
            program_.wait_until([&] { return (menu = posted_menu(display_)) != 0; }, kQueryTimeout / 5);
        }
        ASSERT_NE(menu, 0u) << "the View menu did not open";
        ScreenBox entries = screen_box(display_, menu);
        click_at(display_, entries.x + entries.width / 2, entries.y + entries.height / 4);
    }

    /* Answers the error box, the topmost of `windows` windows of the
     * program's title (above the work dialog, and the cabinet window after
     * start-up), with Return. */
    bool answer_error_box(std::size_t windows)
    {
        Window box = x_.wait_for_windows(title_, windows, kQueryTimeout, program_);
        return box != 0 && x_.press_return_in(box);
    }

    /* The cabinet window, alone under its title once start-up has hidden
     * the work dialog; 0 at the deadline. */
    Window wait_for_cabinet_window()
    {
        if (!program_.wait_for_output("\n " + cabinet_ + " [0-9]+ [0-9]+\n(.|\n)* HideWorkDialog",
                                      kStartTimeout))
            return 0;
        return x_.wait_for_windows(title_, 1, kStartTimeout, program_);
    }

    /* Ends the program with `sig`: it must die by that signal (not by
     * another, nor by a sanitizer's report) and opclogd lend nothing
     * afterwards. */
    void expect_death_by(int sig)
    {
        ASSERT_TRUE(program_.send_signal(sig));
        ASSERT_TRUE(program_.wait_for_exit(kQueryTimeout));
        EXPECT_TRUE(WIFSIGNALED(program_.status()) && WTERMSIG(program_.status()) == sig) << program_.status();
        EXPECT_EQ(program_.output().find("Sanitizer"), std::string::npos);
        EXPECT_EQ(daemon_.loans(), std::vector<std::string>{}) << "ports left on loan";
    }

    XSession x_;
    Display *display_ = x_.display();
    CabsimProcess sim_;
    OpclogdProcess daemon_{sim_.root()};
    ChildProcess program_;
    std::string cabinet_, title_;
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
    ASSERT_NE(wait_for_cabinet_window(), 0u);
    ASSERT_TRUE(program_.wait_for_output(chassis_trace(c.type1, c.id1), kQueryTimeout));
    ASSERT_TRUE(program_.wait_for_output(chassis_trace(c.type2, c.id2), kQueryTimeout));

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

/* With an interval set the window follows the cabinet by itself: a chassis
 * that joins the module's tree after start-up is shown by a later refresh,
 * no click needed.  The interval of 20 s is 200 ms under the time scale. */
TEST_F(LiveDisplay, RefreshIntervalShowsAChassisThatJoinedWithoutAClick)
{
    ASSERT_TRUE(sim_.ctl("pull 1/2"));
    ASSERT_TRUE(start("Cab001", {"-xrm", "Xrackmon*refreshInterval: 20"}));
    ASSERT_NE(wait_for_cabinet_window(), 0u);
    /* A second turn has begun: the first refresh is over. */
    ASSERT_TRUE(program_.wait_for_output("auto_refresh: refreshing\n(.|\n)*auto_refresh: refreshing\n", kQueryTimeout));
    const std::string joined = chassis_trace(0x31, 2);
    EXPECT_FALSE(program_.wait_for_output(joined, milliseconds{0})) << "chassis 2 shown while pulled";

    ASSERT_TRUE(sim_.ctl("insert 1/2"));
    EXPECT_TRUE(program_.wait_for_output(joined, kQueryTimeout)) << "the window did not follow the cabinet";
    ASSERT_TRUE(sim_.ctl("ping"));
    EXPECT_GE(status_commands(sim_.log_text(), 1), 3) << "start-up query and refreshes";
    EXPECT_TRUE(program_.running());
}

/* Refreshes never overlap: a turn that comes due while a refresh waits for
 * the module's answer is skipped.  Answers leave 150 ms late (half the
 * scaled time limit of a status query) and turns come every 50 ms. */
TEST_F(LiveDisplay, TurnsDueWhileARefreshWaitsForTheModuleAreSkipped)
{
    ASSERT_TRUE(sim_.ctl("delay 1 150"));
    ASSERT_TRUE(start("Cab001", {"-xrm", "Xrackmon*refreshInterval: 5"}));
    ASSERT_NE(wait_for_cabinet_window(), 0u);
    EXPECT_TRUE(program_.wait_for_output(
        "auto_refresh: refreshing\n(.|\n)*auto_refresh: skipped, a refresh is in flight\n(.|\n)*auto_refresh: refreshing\n",
        kQueryTimeout));
    EXPECT_TRUE(program_.running());
}

/* A fault of the module for one command. */
struct FaultCase {
    const char *name;
    const char *fault;
    /* The cmd_status of the failed query it meets, -1 when a resend or a
     * late answer saves the query. */
    int status;
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
        const std::string &out = program_.output();
        std::size_t shown = std::string::npos, failed = std::string::npos;
        EXPECT_TRUE(program_.wait_until(
            [&] {
                shown = out.find(" type=0x2f id=0x1 ", *from);
                failed = out.find("display_cmdcmplt_err: bad cmdcomplete", *from);
                return shown != std::string::npos || failed != std::string::npos;
            },
            kQueryTimeout))
            << "neither the tree nor an error";
        if (failed == std::string::npos || (shown != std::string::npos && shown < failed)) {
            *from = shown + 1;
            return false;
        }
        EXPECT_EQ(out.find("display_cmdcmplt_err: bad cmdcomplete status=" + std::to_string(GetParam().status) +
                           " cabno=1\n", failed), failed);
        EXPECT_TRUE(answer_error_box(windows_with_box)) << "no error box";
        std::size_t at = std::string::npos;
        EXPECT_TRUE(program_.wait_until([&] { return (at = out.find(" type=0x82 id=0x1 ", failed)) != std::string::npos; },
                                        kQueryTimeout))
            << "no Unknown tree after the error";
        *from = at == std::string::npos ? out.size() : at + 1;
        return true;
    }
};

/* The fault meets the Nth command the module receives: the start-up query
 * is the first, its resend or the query of a Reload the second.  Each time
 * the program shows the tree or the error box and the Unknown tree (a
 * failed start-up query is followed by a Reload that shows the tree), runs
 * on, lends nothing and ends by the signal it is sent. */
TEST_P(FaultedCommand, EveryQueryEndsInTheTreeOrTheUnknownTree)
{
    const FaultCase &c = GetParam();
    for (int nth = 1; nth <= 2; ++nth) {
        SCOPED_TRACE(testing::Message() << c.fault << " at command " << nth);
        ASSERT_TRUE(sim_.ctl("clear 1"));
        ASSERT_TRUE(nth == 1 || sim_.ctl("fault 1 delay 0 count=" + std::to_string(nth - 1)));
        ASSERT_TRUE(sim_.ctl(std::string("fault 1 ") + c.fault));
        ASSERT_TRUE(start("Cab001"));
        std::size_t from = 0;
        EXPECT_EQ(query_failed(&from, 2), c.status >= 0 && nth == 1) << "start-up";
        Window window = wait_for_cabinet_window();
        ASSERT_NE(window, 0u);
        reload(window);
        EXPECT_EQ(query_failed(&from, 3), c.status >= 0 && nth == 2) << "Reload";
        EXPECT_TRUE(program_.running());
        expect_death_by(SIGTERM);
        if (HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Module, FaultedCommand,
                         testing::Values(FaultCase{"Silent", "silent", 0}, FaultCase{"NotAlive", "notalive", 17},
                                         FaultCase{"NotReady", "notready", -1},
                                         FaultCase{"WrongSequence", "wrongseq", -1},
                                         FaultCase{"Status3", "status 3", 3},
                                         FaultCase{"FailedComplexes", "fail 1:2,3:3", 0},
                                         FaultCase{"BadFrame", "badframe", 0}, FaultCase{"Truncated", "truncate 40", 0}),
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
    ASSERT_TRUE(answer_error_box(2));
    ASSERT_NE(wait_for_cabinet_window(), 0u);
    ASSERT_TRUE(program_.wait_until([&] { return !daemon_.loans().empty(); }, kQueryTimeout))
        << "no port borrowed by the first GO";
    expect_death_by(sig);
    EXPECT_NE(program_.output().find(std::string("\n") + XR_PROGRAM_DIR + "/xrackmon: ====> RECEIVED SIGNAL: SIG" +
                                     sigabbrev_np(sig) + "\r\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SerialCabinet, IdleSignal, testing::Values(SIGSEGV, SIGTERM),
                         [](const testing::TestParamInfo<int> &info) { return std::string(sigabbrev_np(info.param)); });

} // namespace
