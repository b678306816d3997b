/*
 * gui_harness.cpp - the in-process GUI test harness: display and
 * application shell, widget look-up, XTest clicks, event pumping with
 * deadlines, deferred actions inside nested loops, label read-back, the
 * watchdog and failure screenshots, and main() of the GUI test binaries.
 */
#include "tests/support/gui_harness.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include <X11/IntrinsicP.h>
#include <X11/CoreP.h>
#include <X11/Shell.h>
#include <X11/extensions/XTest.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "tests/support/x_session.h"
#include "ui/x_util.h"

namespace gui {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultWatchdogMs = 20000;
constexpr int kPollSliceMs = 10;
constexpr int kAnswerRetryMs = 20;
constexpr Dimension kToplevelSize = 100;

XtIntervalId watchdog_id = 0;
bool screenshot_taken = false;
/* "<Suite>.<Test>" of the running test, noted when it starts: GoogleTest
 * holds its lock while it reports a failure, so the failure hook cannot ask
 * for the current test then. */
std::string current_test_name;
std::vector<Widget> test_shells;

bool open_display(int *argc, char **argv)
{
    XtToolkitInitialize();
    app_context = XtCreateApplicationContext();
    Display *display = XtOpenDisplay(app_context, nullptr, "xrackmon_test", "Xrackmon", nullptr, 0, argc, argv);
    int event_base, error_base, major, minor;
    if (display == nullptr || !XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
        std::fprintf(stderr, "gui_harness: no display with the XTest extension\n");
        return false;
    }
    Toplevel = XtVaAppCreateShell("xrackmon_test", "Xrackmon", applicationShellWidgetClass, display, XmNwidth,
                                  kToplevelSize, XmNheight, kToplevelSize, XmNx, 0, XmNy, 0, nullptr);
    XtRealizeWidget(Toplevel);
    XSync(display, False);
    return true;
}

/* What one test leaves behind must not catch the next test's clicks. */
void clean_up_test()
{
    EndWorkDialog();
    realized_shell = nullptr;
    std::vector<Widget> popups(Toplevel->core.popup_list, Toplevel->core.popup_list + Toplevel->core.num_popups);
    popups.insert(popups.end(), test_shells.begin(), test_shells.end());
    for (Widget popup : popups)
        XtDestroyWidget(popup);
    test_shells.clear();
    XSync(XtDisplay(Toplevel), False);
    pump_pending();
}

/* A test stuck in an event loop: fail it with a picture, and end the
 * process (the pending nested loop would never return). */
void WatchdogCB(XtPointer, XtIntervalId *)
{
    watchdog_id = 0;
    ADD_FAILURE() << "gui_harness: watchdog expired, the test is stuck in an event loop";
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(1);
}

void arm_watchdog()
{
    if (watchdog_id != 0)
        XtRemoveTimeOut(watchdog_id);
    const char *env = std::getenv("XR_GUI_WATCHDOG_MS");
    int ms = env != nullptr ? std::atoi(env) : kDefaultWatchdogMs;
    watchdog_id = XtAppAddTimeOut(app_context, static_cast<unsigned long>(ms > 0 ? ms : kDefaultWatchdogMs),
                                  WatchdogCB, nullptr);
}

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
        std::string path = xsession::artifact_path(current_test_name);
        if (xsession::save_screen_png(XtDisplay(Toplevel), path))
            std::printf("gui_harness: screenshot saved to %s\n", path.c_str());
    }
    void OnTestEnd(const testing::TestInfo &) override { clean_up_test(); }
};

void RunLaterCB(XtPointer client_data, XtIntervalId *)
{
    std::unique_ptr<std::function<void()>> action(static_cast<std::function<void()> *>(client_data));
    (*action)();
}

void try_answer(const std::string &path, Clock::time_point deadline)
{
    Widget w = find(path.c_str());
    if (is_shown(w))
        click(w);
    else if (Clock::now() >= deadline)
        ADD_FAILURE() << "answer_later: \"" << path << "\" never appeared";
    else
        run_later(kAnswerRetryMs, [path, deadline] { try_answer(path, deadline); });
}

/* Text, separators as line feeds and tab components as tabs. */
std::string xmstring_resource(Widget w, const char *resource)
{
    XmString value = nullptr;
    if (w != nullptr)
        XtVaGetValues(w, resource, &value, nullptr);
    std::string result;
    XmStringContext context;
    if (value == nullptr)
        return result;
    if (!XmStringInitContext(&context, value)) {
        XmStringFree(value);
        return result;
    }
    unsigned int length = 0;
    XtPointer part = nullptr;
    for (XmStringComponentType type;
         (type = XmStringGetNextTriple(context, &length, &part)) != XmSTRING_COMPONENT_END; part = nullptr) {
        if (type == XmSTRING_COMPONENT_TEXT || type == XmSTRING_COMPONENT_LOCALE_TEXT)
            result.append(static_cast<const char *>(part), length);
        else if (type == XmSTRING_COMPONENT_SEPARATOR)
            result += '\n';
        else if (type == XmSTRING_COMPONENT_TAB)
            result += '\t';
        XtFree(static_cast<char *>(part));
    }
    XmStringFreeContext(context);
    XmStringFree(value);
    return result;
}

} // namespace

Widget test_shell(const char *name, int x, int y)
{
    Widget shell = XtVaAppCreateShell(name, "Xrackmon", topLevelShellWidgetClass, XtDisplay(Toplevel), XmNx, x,
                                      XmNy, y, nullptr);
    test_shells.push_back(shell);
    return shell;
}

Widget find_in(Widget root, const char *path)
{
    return root != nullptr && path != nullptr ? XtNameToWidget(root, path) : nullptr;
}

Widget find(const char *path)
{
    return find_in(Toplevel, path);
}

bool is_shown(Widget w)
{
    XWindowAttributes attributes;
    return w != nullptr && XtIsManaged(w) && XtWindowOfObject(w) != None &&
           XGetWindowAttributes(XtDisplayOfObject(w), XtWindowOfObject(w), &attributes) &&
           attributes.map_state == IsViewable;
}

bool click(Widget w)
{
    if (!is_shown(w))
        return false;
    /* A widget has its own window; a gadget draws in its parent's window at
     * its own x/y. */
    Position x = 0, y = 0;
    Dimension width = 0, height = 0;
    XtVaGetValues(w, XmNx, &x, XmNy, &y, XmNwidth, &width, XmNheight, &height, nullptr);
    const int local_x = width / 2 + (XtIsWidget(w) ? 0 : x), local_y = height / 2 + (XtIsWidget(w) ? 0 : y);
    Display *display = XtDisplayOfObject(w);
    int root_x = 0, root_y = 0;
    Window child;
    XTranslateCoordinates(display, XtWindowOfObject(w), DefaultRootWindow(display), local_x, local_y, &root_x,
                          &root_y, &child);
    xsession::click_at(display, root_x, root_y);
    return true;
}

void pump_pending()
{
    while (XtAppPending(app_context) != 0)
        XtAppProcessEvent(app_context, XtIMAll);
}

bool pump_until(const std::function<bool()> &pred, int timeout_ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    Display *display = XtDisplay(Toplevel);
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
        XFlush(display);
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, kPollSliceMs);
    }
}

void run_later(int delay_ms, std::function<void()> action)
{
    XtAppAddTimeOut(app_context, static_cast<unsigned long>(delay_ms < 0 ? 0 : delay_ms), RunLaterCB,
                    new std::function<void()>(std::move(action)));
}

void answer_later(const char *path, int delay_ms, int timeout_ms)
{
    std::string target(path);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(delay_ms + timeout_ms);
    run_later(delay_ms, [target, deadline] { try_answer(target, deadline); });
}

std::string label_text(Widget w)
{
    return xmstring_resource(w, XmNlabelString);
}

std::vector<Widget> children(Widget w)
{
    if (w == nullptr || !XtIsComposite(w))
        return {};
    WidgetList list = nullptr;
    Cardinal count = 0;
    XtVaGetValues(w, XmNchildren, &list, XmNnumChildren, &count, nullptr);
    return std::vector<Widget>(list, list + count);
}

std::string message_text(Widget box)
{
    return xmstring_resource(box, XmNmessageString);
}

std::string shell_title(Widget w)
{
    while (w != nullptr && !XtIsShell(w))
        w = XtParent(w);
    char *title = nullptr;
    if (w != nullptr)
        XtVaGetValues(w, XmNtitle, &title, nullptr);
    return title != nullptr ? title : "";
}

void screenshot(const std::string &name)
{
    const std::string path = xsession::artifact_path(name);
    if (path.empty())
        return;
    pump_pending();
    XSync(XtDisplay(Toplevel), False);
    EXPECT_TRUE(xsession::save_screen_png(XtDisplay(Toplevel), path)) << path;
}

} // namespace gui

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    /* Listing the tests (CTest's discovery) needs no display. */
    if (!GTEST_FLAG_GET(list_tests)) {
        if (!gui::open_display(&argc, argv))
            return 1;
        testing::UnitTest::GetInstance()->listeners().Append(new gui::FailureScreenshots);
    }
    return RUN_ALL_TESTS();
}
