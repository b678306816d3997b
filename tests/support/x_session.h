/*
 * x_session.h - the X side of the tests that drive the program as an
 * operator would: top-level windows found by title on $DISPLAY, keys and
 * pointer through XTest, and PNG screenshots of the whole screen (the one
 * way the tests take pictures; the in-process GUI harness uses it too).
 */
#ifndef XR_TESTS_SUPPORT_X_SESSION_H
#define XR_TESTS_SUPPORT_X_SESSION_H

#include <string>
#include <vector>

#include <X11/Xlib.h>

#include "tests/support/process.h"

namespace xsession {

/* Writes the root window of `display` as a PNG; false on failure. */
bool save_screen_png(Display *display, const std::string &path);

/* $XR_ARTIFACTS/<name>.png ('/' in the name replaced), or "" without
 * XR_ARTIFACTS. */
std::string artifact_path(const std::string &name);

/* Viewable top-level windows titled `title`, bottom to top. */
std::vector<Window> windows_titled(Display *display, const std::string &title);

/* Presses and releases button 1 at (x, y) of the screen. */
void click_at(Display *display, int x, int y);
/* Moves the pointer to (x, y) of the screen and types `key` there. */
void press_key_at(Display *display, int x, int y, KeySym key);
/* Types `key` at (x, y) until `owner` prints `pattern`, a few times within
 * `timeout`: the program drops keys typed while it still works through
 * start-up or a refresh, and on a busy machine the first may come too soon.
 * False at the deadline. */
bool press_key_until(Display *display, int x, int y, KeySym key, ChildProcess &owner, const std::string &pattern,
                     milliseconds timeout);

struct ScreenBox {
    int x = 0, y = 0, width = 0, height = 0;
};
ScreenBox screen_box(Display *display, Window window);

/* The cascade buttons of the menu bar at the top of a Motif main window,
 * left to right. */
std::vector<Window> menu_bar_buttons(Display *display, Window shell);

/* A viewable override-redirect top-level window on the screen (a posted
 * menu); 0 if none. */
Window posted_menu(Display *display);

class XSession {
public:
    XSession() : display_(XOpenDisplay(nullptr)) {}
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    Display *display() const { return display_; }

    /* The topmost window titled `title` once `count` of them are on the
     * screen; 0 at the deadline or as soon as `owner` has ended. */
    Window wait_for_windows(const std::string &title, std::size_t count, milliseconds timeout, ChildProcess &owner);

    /* Moves the pointer into the middle of `window` and types Return, which
     * activates the default button of a Motif message box. */
    bool press_return_in(Window window);

    /* For a test that has failed: a screenshot named after the running test
     * ("Suite.Case"), and where it went on standard output. */
    void screenshot_failed_test();

private:
    Display *display_;
};

} // namespace xsession

#endif
