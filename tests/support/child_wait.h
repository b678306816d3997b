/*
 * child_wait.h - waiting on a stand-in started by a test: for its ready
 * file, or for its end, each within a limit, polling in short steps.
 */
#ifndef XR_TESTS_SUPPORT_CHILD_WAIT_H
#define XR_TESTS_SUPPORT_CHILD_WAIT_H

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace child_wait {

constexpr auto kPollStep = std::chrono::milliseconds(5);

/* True when `pid` ended within `limit` (its wait status in *status when
 * given). */
inline bool reap_within(pid_t pid, int *status, std::chrono::steady_clock::duration limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    int ignored = 0;
    do {
        if (waitpid(pid, status != nullptr ? status : &ignored, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(kPollStep);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

/* True once `ready_file` exists; false when the child ends first (then
 * *pid becomes -1) or `limit` passes. */
inline bool wait_for_ready_file(pid_t *pid, const std::string &ready_file, std::chrono::steady_clock::duration limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (access(ready_file.c_str(), F_OK) != 0) {
        int status = 0;
        if (waitpid(*pid, &status, WNOHANG) == *pid) {
            *pid = -1;
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

} // namespace child_wait

#endif
