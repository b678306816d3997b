/*
 * cabsim_process.h - runs the cabinet simulator for a test: a private
 * console root, a description written by the test, the simulator started as
 * a separate process and awaited through its ready file (with a deadline,
 * never a fixed sleep), statements sent over its control channel, and the
 * process stopped and the root removed at the end.  The test process's
 * CONSOLE_ROOT is pointed at the same root, so libqmx finds the simulator.
 * Used by the libqmx and engine tests that talk to simulated cabinets.
 */
#ifndef XR_TESTS_UNIT_CABSIM_PROCESS_H
#define XR_TESTS_UNIT_CABSIM_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/ctl/ctl_client.h"

class CabsimProcess {
public:
    CabsimProcess() = default;
    CabsimProcess(const CabsimProcess &) = delete;
    CabsimProcess &operator=(const CabsimProcess &) = delete;
    ~CabsimProcess();

    /* Starts cabsim (no configuration file) on `description`, a text in the
     * simulator's line language; true once it announced readiness. */
    bool start(const std::string &description);
    /* Starts cabsim with these arguments (options, then files). */
    bool start_args(const std::vector<std::string> &args);

    /* Runs one statement over the control channel; true on "ok".  The lines
     * the simulator printed before it go to *output. */
    bool ctl(const std::string &statement, std::string *output = nullptr);

    /* Kills the simulator at once (SIGKILL) and reaps it. */
    void kill_now();

    const std::string &root() const { return root_; }
    std::string ctl_path() const;
    std::string log_path() const;
    /* The command log file's text. */
    std::string log_text() const;

private:
    bool make_root();

    pid_t pid_ = -1;
    CtlClient ctl_client_;
    std::string root_;
};

#endif
