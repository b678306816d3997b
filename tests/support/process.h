/*
 * process.h - the tests' one process harness.
 *
 * ConsoleRoot is a private, throw-away $CONSOLE_ROOT (set in the test's own
 * environment while it lives).  ChildProcess starts a program, waits (with
 * deadlines, never fixed sleeps) for a pattern in its output, for a file it
 * makes or for its end, and kills and reaps what is left when it goes out
 * of scope.  DaemonProcess is a stand-in started on a console root, awaited
 * by its ready file and driven over its control channel; CabsimProcess and
 * OpclogdProcess are the cabinet simulator and the log daemon.
 */
#ifndef XR_TESTS_SUPPORT_PROCESS_H
#define XR_TESTS_SUPPORT_PROCESS_H

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ctl/ctl_client.h"

using std::chrono::milliseconds;

/* The text of a file ("" when it cannot be read). */
std::string file_text(const std::string &path);

class ConsoleRoot {
public:
    ConsoleRoot();
    ~ConsoleRoot();
    ConsoleRoot(const ConsoleRoot &) = delete;
    ConsoleRoot &operator=(const ConsoleRoot &) = delete;
    const std::string &path() const { return path_; }
    /* path() + an installation path. */
    std::string at(const std::string &fixed) const { return path_ + fixed; }
    /* Writes `text` (which may hold NUL bytes) to `fixed` under the root,
     * making its folders; returns the path written. */
    std::string write(const std::string &fixed, const std::string &text) const;

private:
    std::string path_;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    /* Kills the program (SIGKILL) if it still runs, and reaps it. */
    ~ChildProcess();

    /* Runs `program` with `args` after it and `env` set on top of the
     * test's environment; no core files, and it dies with the test.  Its
     * standard output comes to output() or, when `out_file` is given, goes
     * to that file with its standard error.  A program started before is
     * killed and forgotten first. */
    bool start(const std::string &program, const std::vector<std::string> &args, const Environment &env = {},
               const std::string &out_file = "");

    /* Waits until the output so far matches the POSIX extended regular
     * expression `pattern`; false at the deadline or when the program ended
     * without it. */
    bool wait_for_output(const std::string &pattern, milliseconds timeout);
    /* Waits until `path` exists; false at the deadline or at the end. */
    bool wait_for_file(const std::string &path, milliseconds timeout);
    /* Waits for the program's end; false at the deadline. */
    bool wait_for_exit(milliseconds timeout);
    /* Waits until done() holds, reading the output meanwhile; false at the
     * deadline or once the program has ended and closed its output. */
    bool wait_until(const std::function<bool()> &done, milliseconds timeout);

    bool running();
    /* Reads what the pipe holds, waiting at most `wait`; notes the end. */
    void drain(milliseconds wait);
    bool send_signal(int sig);

    pid_t pid() const { return pid_; }
    /* waitpid status once the program ended. */
    int status() const { return status_; }
    const std::string &output() const { return output_; }

private:
    void end();

    pid_t pid_ = -1;
    int out_fd_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string output_;
};

class DaemonProcess {
public:
    DaemonProcess(const DaemonProcess &) = delete;
    DaemonProcess &operator=(const DaemonProcess &) = delete;
    /* SIGTERM, then SIGKILL when it does not end in time. */
    ~DaemonProcess();

    /* Starts the daemon with these arguments; true once its ready file
     * exists. */
    bool start(const std::vector<std::string> &args);
    /* Runs one statement over the control channel; true on "ok".  The lines
     * printed before it go to *output. */
    bool ctl(const std::string &statement, std::string *output = nullptr);
    bool alive() { return child_.running(); }
    /* SIGTERM and reap; true when it ended with status 0. */
    bool stop();
    /* SIGKILL and reap. */
    void kill_now() { end(SIGKILL); }
    /* Its standard output and error. */
    std::string stderr_text() const { return file_text(out_file_); }

protected:
    DaemonProcess(std::string root, std::string program, std::string folder, std::string name);
    /* Sends `sig` and waits for the end (the destructor: SIGTERM). */
    void end(int sig = SIGTERM);
    std::string at(const std::string &fixed) const { return root_ + fixed; }
    std::string root_;

private:
    std::string program_, folder_, name_, out_file_;
    ChildProcess child_;
    CtlClient ctl_client_;
};

/* The cabinet simulator on its own console root (CONSOLE_ROOT of the test
 * points at it, so libqmx finds the simulator). */
class CabsimProcess : public DaemonProcess {
public:
    CabsimProcess();
    /* Ends the simulator before its root goes. */
    ~CabsimProcess() { end(); }
    /* Starts cabsim (no configuration file) on `description`, a text in the
     * simulator's line language. */
    bool start(const std::string &description);
    /* Starts cabsim with these arguments (options, then files). */
    bool start_args(const std::vector<std::string> &args) { return DaemonProcess::start(args); }
    const std::string &root() const { return root_; }
    std::string ctl_path() const { return at("/var/console/qmx/cabsim.ctl"); }
    /* The command log's text. */
    std::string log_text() const { return file_text(at("/var/console/qmx/commands.log")); }

private:
    ConsoleRoot own_root_;
};

/* The console log daemon of the console root at `root`. */
class OpclogdProcess : public DaemonProcess {
public:
    explicit OpclogdProcess(std::string root);
    /* The loan lines ("loan <node> <device> <holder>"). */
    std::vector<std::string> loans();
    /* The console log file it writes, header and all. */
    std::string log_text() const { return file_text(at("/var/console/console.log")); }
};

#endif
