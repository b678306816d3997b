/*
 * gui_harness.cpp - the in-process GUI test harness: display and
 * application shell, widget look-up, XTest clicks, event pumping with
 * deadlines, deferred actions inside nested loops, label read-back, the
 * watchdog and failure screenshots.
 *
 * Used by every GUI test binary (see gui_harness.h for the API).
 */
#include "tests/support/gui_harness.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include <X11/IntrinsicP.h>
#include <X11/CoreP.h>
#include <X11/Shell.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "tests/support/x_session.h"
#include "ui/x_util.h"

namespace gui {

/* ---- constants ---------------------------------------------------------- */

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kDefaultWatchdogMs = 20000;
constexpr int kPollSliceMs = 10;
constexpr int kAnswerRetryMs = 20;
constexpr Dimension kToplevelSize = 100;
}

/* ---- module variables --------------------------------------------------- */

static XtIntervalId watchdog_id = 0;
static bool screenshot_taken = false;
/* "<Suite>.<Test>" of the running test, noted when it starts: GoogleTest
 * holds its lock while it reports a failure, so the failure hook cannot ask
 * for the current test then. */
static std::string current_test_name;
static std::vector<Widget> test_shells;

/* ---- static prototypes -------------------------------------------------- */

static void RunLaterCB(XtPointer client_data, XtIntervalId *id);
static void WatchdogCB(XtPointer client_data, XtIntervalId *id);
static void arm_watchdog();
static void clean_up_test();
static void try_answer(const std::string &path, Clock::time_point deadline);

/* ---- display and shell -------------------------------------------------- */

bool open_display(int *argc, char **argv)
{
    XtToolkitInitialize();
    app_context = XtCreateApplicationContext();
    Display *display = XtOpenDisplay(app_context, nullptr, "xrackmon_test", "Xrackmon", nullptr, 0, argc, argv);
    if (display == nullptr) {
        std::fprintf(stderr, "gui_harness: cannot open display \"%s\"\n",
                     std::getenv("DISPLAY") != nullptr ? std::getenv("DISPLAY") : "");
        return false;
    }
    int event_base, error_base, major, minor;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
        std::fprintf(stderr, "gui_harness: the X server has no XTest extension\n");
        return false;
    }
    Toplevel = XtVaAppCreateShell("xrackmon_test", "Xrackmon", applicationShellWidgetClass, display,
                                  XmNwidth, kToplevelSize, XmNheight, kToplevelSize,
                                  XmNx, 0, XmNy, 0, nullptr);
    XtRealizeWidget(Toplevel);
    XSync(display, False);
    return true;
}

Widget test_shell(const char *name, int x, int y)
{
    Widget shell = XtVaAppCreateShell(name, "Xrackmon", topLevelShellWidgetClass, XtDisplay(Toplevel),
                                      XmNx, x, XmNy, y, nullptr);
    test_shells.push_back(shell);
    return shell;
}

/* What one test leaves behind must not catch the next test's clicks. */
static void clean_up_test()
{
    if (Toplevel == nullptr)
        return;
    EndWorkDialog();
    realized_shell = nullptr;
    std::vector<Widget> popups(Toplevel->core.popup_list, Toplevel->core.popup_list + Toplevel->core.num_popups);
    for (Widget popup : popups)
        XtDestroyWidget(popup);
    for (Widget shell : test_shells)
        XtDestroyWidget(shell);
    test_shells.clear();
    XSync(XtDisplay(Toplevel), False);
    pump_pending();
}

/* ---- look-up and state -------------------------------------------------- */

Widget find_in(Widget root, const char *path)
{
    if (root == nullptr || path == nullptr)
        return nullptr;
    return XtNameToWidget(root, path);
}

Widget find(const char *path)
{
    return find_in(Toplevel, path);
}

bool is_shown(Widget w)
{
    if (w == nullptr || !XtIsManaged(w))
        return false;
    Window window = XtWindowOfObject(w);
    if (window == None)
        return false;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(XtDisplayOfObject(w), window, &attributes))
        return false;
    return attributes.map_state == IsViewable;
}

/* ---- clicks ------------------------------------------------------------- */

bool click(Widget w)
{
    if (!is_shown(w))
        return false;
    Display *display = XtDisplayOfObject(w);
    Window window = XtWindowOfObject(w);

    /* A widget has its own window; a gadget draws in its parent's window at
     * its own x/y. */
    Position x = 0, y = 0;
    Dimension width = 0, height = 0;
    XtVaGetValues(w, XmNx, &x, XmNy, &y, XmNwidth, &width, XmNheight, &height, nullptr);
    int local_x = width / 2, local_y = height / 2;
    if (!XtIsWidget(w)) {
        local_x += x;
        local_y += y;
    }

    int screen = DefaultScreen(display);
    int root_x = 0, root_y = 0;
    Window child;
    XTranslateCoordinates(display, window, RootWindow(display, screen), local_x, local_y, &root_x, &root_y,
                          &child);
    XTestFakeMotionEvent(display, screen, root_x, root_y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    return true;
}

/* ---- event pumping ------------------------------------------------------ */

void pump_pending()
{
    while (XtAppPending(app_context) != 0)
        XtAppProcessEvent(app_context, XtIMAll);
}

bool pump_until(const std::function<bool()> &pred, int timeout_ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    Display *display = Toplevel != nullptr ? XtDisplay(Toplevel) : nullptr;
    for (;;) {
        if (pred())
            return true;
        if (Clock::now() >= deadline)
            return pred();
        if (XtAppPending(app_context) != 0) {
            XtAppProcessEvent(app_context, XtIMAll);
            continue;
        }
        /* Nothing to do yet: wait for the server (or the next time-out). */
        if (display != nullptr) {
            XFlush(display);
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, kPollSliceMs);
        }
    }
}

/* ---- deferred actions --------------------------------------------------- */

void run_later(int delay_ms, std::function<void()> action)
{
    auto *heap_action = new std::function<void()>(std::move(action));
    XtAppAddTimeOut(app_context, static_cast<unsigned long>(delay_ms < 0 ? 0 : delay_ms), RunLaterCB,
                    heap_action);
}

static void RunLaterCB(XtPointer client_data, XtIntervalId *)
{
    std::unique_ptr<std::function<void()>> action(static_cast<std::function<void()> *>(client_data));
    (*action)();
}

static void try_answer(const std::string &path, Clock::time_point deadline)
{
    Widget w = find(path.c_str());
    if (w != nullptr && is_shown(w)) {
        click(w);
        return;
    }
    if (Clock::now() >= deadline) {
        ADD_FAILURE() << "answer_later: \"" << path << "\" never appeared";
        return;
    }
    run_later(kAnswerRetryMs, [path, deadline] { try_answer(path, deadline); });
}

void answer_later(const char *path, int delay_ms, int timeout_ms)
{
    std::string target(path);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(delay_ms + timeout_ms);
    run_later(delay_ms, [target, deadline] { try_answer(target, deadline); });
}

/* ---- reading texts back ------------------------------------------------- */

std::string xmstring_resource(Widget w, const char *resource)
{
    if (w == nullptr)
        return "";
    XmString value = nullptr;
    XtVaGetValues(w, resource, &value, nullptr);
    if (value == nullptr)
        return "";
    /* Text, separators as line feeds and tab components as tabs. */
    std::string result;
    XmStringContext context;
    if (XmStringInitContext(&context, value)) {
        unsigned int length = 0;
        XtPointer part = nullptr;
        for (XmStringComponentType type; (type = XmStringGetNextTriple(context, &length, &part)) !=
                                         XmSTRING_COMPONENT_END;) {
            if (type == XmSTRING_COMPONENT_TEXT || type == XmSTRING_COMPONENT_LOCALE_TEXT)
                result.append(static_cast<const char *>(part), length);
            else if (type == XmSTRING_COMPONENT_SEPARATOR)
                result += '\n';
            else if (type == XmSTRING_COMPONENT_TAB)
                result += '\t';
            XtFree(static_cast<char *>(part));
            part = nullptr;
        }
        XmStringFreeContext(context);
    }
    XmStringFree(value);
    return result;
}

std::string label_text(Widget w)
{
    return xmstring_resource(w, XmNlabelString);
}

std::string message_text(Widget box)
{
    return xmstring_resource(box, XmNmessageString);
}

std::string shell_title(Widget w)
{
    while (w != nullptr && !XtIsShell(w))
        w = XtParent(w);
    if (w == nullptr)
        return "";
    char *title = nullptr;
    XtVaGetValues(w, XmNtitle, &title, nullptr);
    return title != nullptr ? title : "";
}

/* ---- screenshots -------------------------------------------------------- */

std::string artifact_path(const char *suffix)
{
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir == nullptr || dir[0] == '\0' || current_test_name.empty())
        return "";
    std::string name = current_test_name;
    for (char &c : name)
        if (c == '/')
            c = '_';
    return std::string(dir) + "/" + name + suffix;
}

bool save_screenshot(const std::string &path)
{
    return Toplevel != nullptr && xsession::save_screen_png(XtDisplay(Toplevel), path);
}

/* ---- failure hook and watchdog ------------------------------------------ */

namespace {
class FailureScreenshots : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &info) override
    {
        current_test_name = std::string(info.test_suite_name()) + "." + info.name();
        screenshot_taken = false;
        arm_watchdog();
    }
    void OnTestPartResult(const testing::TestPartResult &result) override
    {
        if (!result.failed() || screenshot_taken)
            return;
        screenshot_taken = true;
        std::string path = artifact_path();
        if (!path.empty() && save_screenshot(path))
            std::printf("gui_harness: screenshot saved to %s\n", path.c_str());
    }
    void OnTestEnd(const testing::TestInfo &) override { clean_up_test(); }
};
}

static void arm_watchdog()
{
    if (app_context == nullptr)
        return;
    if (watchdog_id != 0)
        XtRemoveTimeOut(watchdog_id);
    const char *env = std::getenv("XR_GUI_WATCHDOG_MS");
    int ms = env != nullptr ? std::atoi(env) : kDefaultWatchdogMs;
    watchdog_id = XtAppAddTimeOut(app_context, static_cast<unsigned long>(ms > 0 ? ms : kDefaultWatchdogMs),
                                  WatchdogCB, nullptr);
}

/* A test stuck in an event loop: fail it with a picture, and end the
 * process (the pending nested loop would never return). */
static void WatchdogCB(XtPointer, XtIntervalId *)
{
    watchdog_id = 0;
    ADD_FAILURE() << "gui_harness: watchdog expired, the test is stuck in an event loop";
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(1);
}

void install_failure_screenshots()
{
    testing::UnitTest::GetInstance()->listeners().Append(new FailureScreenshots);
}

} // namespace gui
