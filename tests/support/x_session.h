/*
 * x_session.h - the X side of the tests that drive the program as an
 * operator would: top-level windows found by title on $DISPLAY, keys and
 * pointer through XTest, and PNG screenshots of the whole screen (the one
 * way the tests take pictures; the in-process GUI harness uses it too).
 */
#ifndef XR_TESTS_SUPPORT_X_SESSION_H
#define XR_TESTS_SUPPORT_X_SESSION_H

#include <string>

#include <X11/Xlib.h>

#include "tests/support/process.h"

namespace xsession {

/* Writes the root window of `display` as a PNG; false on failure. */
bool save_screen_png(Display *display, const std::string &path);

/* $XR_ARTIFACTS/<name>.png ('/' in the name replaced), or "" without
 * XR_ARTIFACTS. */
std::string artifact_path(const std::string &name);

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    bool ok() const { return display_ != nullptr; }

    /* A viewable window whose WM_NAME is `title`; 0 at the deadline or as
     * soon as `owner` (when given) has ended. */
    Window wait_for_window(const std::string &title, milliseconds timeout, ChildProcess *owner = nullptr);

    /* Moves the pointer into the middle of `window` and types Return, which
     * activates the default button of a Motif message box. */
    bool press_return_in(Window window);

    /* For a test that has failed: a screenshot named after the running test
     * ("Suite.Case"), and where it went on standard output. */
    void screenshot_failed_test();

private:
    Display *display_ = nullptr;
};

} // namespace xsession

#endif
