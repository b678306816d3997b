/*
 * gui_harness.h - in-process GUI test harness: drives the real widgets of
 * xrackmon through the X server (XTest), one test case per process under a
 * private Xvfb (see xr_gui_test in tests/CMakeLists.txt).
 *
 * Linking xr_gui_harness gives a test binary its main():
 *   - parses the GoogleTest flags, opens $DISPLAY and creates the
 *     application shell under the class "Xrackmon", stored in the dialog
 *     utilities' globals `Toplevel` and `app_context`; the shell is realized
 *     (100x100 at the top-left corner, so dialogs at 250,250 are clear of it);
 *   - arms a watchdog (XR_GUI_WATCHDOG_MS, default 20000 ms) that, when a
 *     test is stuck in a nested event loop, fails the test, saves a
 *     screenshot and ends the process instead of waiting for CTest's time-out;
 *   - saves a PNG of the whole screen into $XR_ARTIFACTS/<Suite>.<Test>.png at
 *     the first failed assertion of a test (nothing without XR_ARTIFACTS).
 *
 * A modal dialog runs its own event loop: a test answers it with
 * answer_later() or inspects it from run_later(), both toolkit time-outs.
 *
 * Widget paths are XtNameToWidget paths from Toplevel; popups count, so
 * "*question.OK" finds a button of a dialog.  Every wait has a deadline;
 * nothing sleeps for a fixed time.
 */
#ifndef XR_TESTS_GUI_HARNESS_H
#define XR_TESTS_GUI_HARNESS_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <X11/Intrinsic.h>

namespace gui {

/* A top-level shell at x, y on the test display (not realized yet), which
 * the harness destroys when the test ends. */
Widget test_shell(const char *name, int x, int y);

/* The widget at an XtNameToWidget path below Toplevel, or null. */
Widget find(const char *path);

/* The widget at `path` below `root`, or null. */
Widget find_in(Widget root, const char *path);

/* True when the widget or gadget exists, is managed and its window is viewable. */
bool is_shown(Widget w);

/* Moves the pointer to the centre of the widget or gadget and clicks
 * button 1 through the X server.  False when the object has no viewable
 * window.  The click takes effect when events are next processed. */
bool click(Widget w);

/* Processes toolkit events (X events and time-outs) until pred() holds or
 * timeout_ms passes; returns the last value of pred(). */
bool pump_until(const std::function<bool()> &pred, int timeout_ms);

/* Processes the events that are pending now, without waiting. */
void pump_pending();

/* Runs `action` from a toolkit time-out after delay_ms, that is inside
 * whatever event loop is running then (a modal dialog's nested loop too). */
void run_later(int delay_ms, std::function<void()> action);

/* After delay_ms, clicks the widget at `path` from inside the running event
 * loop; retries until it is shown (up to timeout_ms) and records a test
 * failure if it never appears. */
void answer_later(const char *path, int delay_ms, int timeout_ms = 5000);

/* Text of a label's or button's XmNlabelString ("" when none); lines of a
 * multi-line string are joined with "\n". */
std::string label_text(Widget w);

/* The children of a composite widget (none for any other). */
std::vector<Widget> children(Widget w);

/* Text of a message box's XmNmessageString. */
std::string message_text(Widget box);

/* Title of the shell enclosing w. */
std::string shell_title(Widget w);

/* Keeps a picture of the screen as $XR_ARTIFACTS/<name>.png, once the
 * pending events are processed (nothing without XR_ARTIFACTS). */
void screenshot(const std::string &name);

} // namespace gui

#endif
