/*
 * process_harness.h - drives the built program as a separate process.
 *
 * ChildProcess starts a program with its standard output on a pipe, waits
 * (with deadlines, never fixed sleeps) for a pattern in that output or for
 * the program's end, and kills what is left when it goes out of scope.
 * XSession finds top-level windows by title on $DISPLAY and presses keys and
 * buttons through XTest, as an operator would.  ConsoleRoot is a private,
 * throw-away $CONSOLE_ROOT.  Used by the end-to-end tests under with-xvfb.
 */
#ifndef XR_TESTS_E2E_PROCESS_HARNESS_H
#define XR_TESTS_E2E_PROCESS_HARNESS_H

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include <X11/Xlib.h>

namespace e2e {

using std::chrono::milliseconds;

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    /* Kills the program (SIGKILL) if it still runs, and reaps it. */
    ~ChildProcess();

    /* Runs `program` with argv[0] = program and `args` after it; `env`
     * entries are set on top of the test's environment.  No core files. */
    bool start(const std::string &program, const std::vector<std::string> &args,
               const std::vector<std::pair<std::string, std::string>> &env);

    /* Waits until the output so far matches the POSIX extended regular
     * expression `pattern` (^ is the start of the output).
     * False at the deadline or when the program ended without it. */
    bool wait_for_output(const std::string &pattern, milliseconds timeout);

    /* Waits for the program's end; false at the deadline. */
    bool wait_for_exit(milliseconds timeout);

    bool running();

    /* Reads what the pipe holds, waiting at most `wait`; notes the end. */
    void drain(milliseconds wait);

    bool send_signal(int sig);

    /* waitpid status once the program ended. */
    int status() const { return status_; }
    const std::string &output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_fd_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string output_;
};

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

private:
    Display *display_ = nullptr;
};

/* A fresh directory to serve as $CONSOLE_ROOT; removed with its contents. */
class ConsoleRoot {
public:
    ConsoleRoot();
    ~ConsoleRoot();
    ConsoleRoot(const ConsoleRoot &) = delete;
    ConsoleRoot &operator=(const ConsoleRoot &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

/* Saves a PNG of the whole screen as $XR_ARTIFACTS/<name>.png (when
 * XR_ARTIFACTS is set); returns the file written, or "" . */
std::string save_screenshot(const std::string &name);

/* For a test that has failed: saves a screenshot named after the running
 * test ("Suite.Case", '/' replaced) and prints where it went. */
void screenshot_failed_test();

} // namespace e2e

#endif
