/*
 * run_utility.cpp - runs the installation's outside utilities (firmware
 * loaders, the revision-record utility, the interconnect utility) for the
 * FRU procedures.  The utility runs through the shell in a child process;
 * the parent keeps serving the display between polls of the child, so the
 * window stays painted while a firmware download takes its minutes.
 */
#include "fru/rack_fru.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include "base/trace.h"
#include "ui/x_util.h"

namespace {

/* Seconds the display is served between two looks at the child. */
constexpr int kPollSeconds = 2;

/* Exit code the loaders use for "done, nothing to do"; counts as success. */
constexpr int kExit99Status = 99 * 256;

/* The child: run the command and pass its outcome on as an exit code.
 * _exit, not exit: the child must not flush the parent's stdio buffers or
 * run the toolkit's exit handlers on the parent's X connection. */
[[noreturn]] void run_child(const char *command)
{
    int status = std::system(command);
    dprint(5, "child - system returns 0x%x\n", static_cast<unsigned>(status));
    _exit(status >= 0 && status < 256 ? status : (status >> 8) & 0xFF);
}

void raise_main_window()
{
    if (Toplevel != nullptr && XtIsRealized(Toplevel)) {
        XRaiseWindow(XtDisplay(Toplevel), XtWindow(Toplevel));
        FreshenWindow();
    }
}

} // namespace

int fork_and_wait(const char *command)
{
    if (command == nullptr)
        return -1;
    /* Whatever the parent has buffered is written once, not by both. */
    std::fflush(stdout);
    std::fflush(stderr);

    pid_t child = fork();
    if (child < 0) {
        dprint(1, "fork_and_wait: fork failed\n");
        return -1;
    }
    if (child == 0)
        run_child(command);

    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0) {
            dprint(1, "fork_and_wait: waitpid failed\n");
            return -1;
        }
        wait_a_while(kPollSeconds);
    }
    raise_main_window();
    dprint(5, "child returned 0x%x\n", static_cast<unsigned>(status));
    /* A child ended by a signal has the signal in the low byte. */
    if ((status & 0xFF) != 0)
        return -1;
    return status;
}

int utility_succeeded(int status)
{
    if (status == kExit99Status)
        return 1;
    return status != -1 && status < 128 ? 1 : 0;
}
