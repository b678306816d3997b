/*
 * opclogd_process.h - runs the console log daemon stand-in for a test: a
 * private console root (CONSOLE_ROOT of the test process points at it), the
 * daemon started as a separate process and awaited through its ready file
 * (with a deadline, never a fixed sleep), statements sent over its control
 * channel, and the process stopped and the root removed at the end.
 * XR_OPCLOGD names the program.  Used by the port-request tests and by any
 * test that needs ports lent or log messages taken.
 */
#ifndef XR_TESTS_UNIT_OPCLOGD_PROCESS_H
#define XR_TESTS_UNIT_OPCLOGD_PROCESS_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/ctl/ctl_client.h"

/* A private console root with /var/console/fifos, removed at the end. */
class ConsoleRoot {
public:
    ConsoleRoot();
    ConsoleRoot(const ConsoleRoot &) = delete;
    ConsoleRoot &operator=(const ConsoleRoot &) = delete;
    ~ConsoleRoot();
    const std::string &path() const { return path_; }
    /* path() + installation path. */
    std::string at(const std::string &fixed) const { return path_ + fixed; }

private:
    std::string path_;
};

class OpclogdProcess {
public:
    /* The daemon of the console root at root_path (any root: a ConsoleRoot's,
     * or one a cabinet simulator made). */
    explicit OpclogdProcess(std::string root_path) : root_(std::move(root_path)) {}
    OpclogdProcess(const OpclogdProcess &) = delete;
    OpclogdProcess &operator=(const OpclogdProcess &) = delete;
    ~OpclogdProcess();

    /* Starts opclogd with extra arguments; true once it announced readiness. */
    bool start(const std::vector<std::string> &arguments);
    /* Runs one statement; true on "ok".  Output lines before it go to *output. */
    bool ctl(const std::string &statement, std::string *output = nullptr);
    /* The loan lines ("loan <node> <device> <holder>"). */
    std::vector<std::string> loans();
    /* True while the process runs. */
    bool alive();
    /* SIGTERM and reap; true when it ended with status 0. */
    bool stop();

    std::string log_text() const;
    std::string stderr_text() const;

private:
    std::string at(const std::string &fixed) const { return root_ + fixed; }

    std::string root_;
    pid_t pid_ = -1;
    CtlClient ctl_client_;
};

#endif
