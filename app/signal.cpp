/*
 * signal.cpp - signal set-up and the fatal-signal handler.
 *
 * Owns the table of signals the program names and acts on, SetSignals()
 * (called once by main outside test mode) and SignalHandler().  The handler
 * runs asynchronously, possibly in the middle of Xt, stdio or malloc, so it
 * formats its trace by hand into a stack buffer and writes it with write(2);
 * it calls nothing but async-signal-safe functions and the engine's
 * release_ports_from_signal(), which is written to be safe there: it never
 * allocates, locks or waits, whether the engine was busy or idle.
 */
#include "app/signal.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <string_view>

#include <unistd.h>

#include "app/rack_state.h"
#include "base/process.h"
#include "base/trace.h"
#include "engine/send_env.h"

namespace {

enum class SignalAction { Ignore, Fatal };

struct SignalEntry {
    int sig;
    const char *name;
    SignalAction action;
};

/* Every signal the program names, with what SetSignals does with it.  SIGKILL
 * and SIGSTOP cannot be caught and are left out; signals the operating system
 * does not have (SIGEMT) are left out on it. */
constexpr SignalEntry kSignals[] = {
    {SIGHUP, "SIGHUP", SignalAction::Ignore},
    {SIGINT, "SIGINT", SignalAction::Ignore},
    {SIGQUIT, "SIGQUIT", SignalAction::Ignore},
    {SIGILL, "SIGILL", SignalAction::Fatal},
    {SIGTRAP, "SIGTRAP", SignalAction::Fatal},
    {SIGABRT, "SIGABRT", SignalAction::Fatal},
#ifdef SIGEMT
    {SIGEMT, "SIGEMT", SignalAction::Fatal},
#endif
    {SIGFPE, "SIGFPE", SignalAction::Fatal},
    {SIGBUS, "SIGBUS", SignalAction::Fatal},
    {SIGSEGV, "SIGSEGV", SignalAction::Fatal},
    {SIGSYS, "SIGSYS", SignalAction::Fatal},
    {SIGPIPE, "SIGPIPE", SignalAction::Fatal},
    {SIGALRM, "SIGALRM", SignalAction::Fatal},
    {SIGTERM, "SIGTERM", SignalAction::Fatal},
    {SIGUSR1, "SIGUSR1", SignalAction::Fatal},
    {SIGUSR2, "SIGUSR2", SignalAction::Fatal},
    {SIGVTALRM, "SIGVTALRM", SignalAction::Fatal},
    {SIGPROF, "SIGPROF", SignalAction::Fatal},
    {SIGXCPU, "SIGXCPU", SignalAction::Fatal},
    {SIGXFSZ, "SIGXFSZ", SignalAction::Fatal},
};

/* More signals than this within one run end the process at once. */
constexpr int kMaxSignalsBeforeExit = 2;

/* Room for the trace line; a longer program name is cut. */
constexpr std::size_t kTraceLineSize = 512;

/* Bounded text builder for the handler: never writes past `size`, always
 * leaves the text terminated. */
struct TraceText {
    char *buf;
    std::size_t size;
    std::size_t len;

    void append(std::string_view text)
    {
        for (char c : text) {
            if (len + 1 >= size)
                break;
            buf[len++] = c;
        }
        buf[len] = '\0';
    }

    void append_int(int value)
    {
        char digits[16];
        std::size_t n = 0;
        /* Work in the negative range so that INT_MIN needs no special case. */
        int rest = value < 0 ? value : -value;
        do {
            digits[n++] = static_cast<char>('0' - rest % 10);
            rest /= 10;
        } while (rest != 0);
        if (value < 0)
            append("-");
        while (n > 0)
            append(std::string_view(&digits[--n], 1));
    }
};

std::size_t safe_strlen(const char *text)
{
    std::size_t n = 0;
    while (text[n] != '\0')
        ++n;
    return n;
}

void write_all(int fd, const char *data, std::size_t len)
{
    while (len > 0) {
        ssize_t done = write(fd, data, len);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        data += done;
        len -= static_cast<std::size_t>(done);
    }
}

void set_action(int sig, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(sig, &action, nullptr);
}

/* The trace at debug level 1, printed the way dprint(1, "\n%s", line)
 * prints it: the level's one blank of indentation, a newline, the line. */
void trace_signal(int sig)
{
    char line[kTraceLineSize];
    line[0] = ' ';
    line[1] = '\n';
    const char *program = (_argv != nullptr && _argv[0] != nullptr) ? _argv[0] : "xrackmon";
    std::size_t len = 2 + format_signal_trace(line + 2, sizeof line - 2, program, sig);
    write_all(STDOUT_FILENO, line, len);
}

} // namespace

const char *signal_name(int sig)
{
    for (const SignalEntry &entry : kSignals)
        if (entry.sig == sig)
            return entry.name;
    return nullptr;
}

std::size_t format_signal_trace(char *buf, std::size_t size, const char *program, int sig)
{
    if (buf == nullptr || size == 0)
        return 0;
    TraceText text{buf, size, 0};
    buf[0] = '\0';
    text.append(std::string_view(program, safe_strlen(program)));
    const char *name = signal_name(sig);
    if (name != nullptr) {
        text.append(": ====> RECEIVED SIGNAL: ");
        text.append(std::string_view(name, safe_strlen(name)));
    } else {
        text.append(": ====> RECEIVED SIGNAL ");
        text.append_int(sig);
    }
    text.append("\r\n");
    return text.len;
}

void SetSignals()
{
    for (const SignalEntry &entry : kSignals)
        set_action(entry.sig, entry.action == SignalAction::Ignore ? SIG_IGN : SignalHandler);
}

void SignalHandler(int sig)
{
    int saved_errno = errno;

    /* 1. A signal that arrives while two others are still being handled
     *    means the clean-up itself is failing: stop at once.  _exit rather
     *    than exit: atexit handlers and stdio are not safe here. */
    num_of_times = num_of_times + 1;
    if (num_of_times > kMaxSignalsBeforeExit)
        _exit(-1);

    /* 2. Trace. */
    if (debug > 0)
        trace_signal(sig);

    /* 3. Give the borrowed serial ports back once: devices closed, one
     *    free-all message to the log daemon.  The orderly close (goodbye
     *    commands, waits for replies) is for the exit paths, not here. */
    if (num_of_times == 1)
        release_ports_from_signal();

    /* 4. Default action, unblock, and send the signal again, so that the
     *    process ends the way the signal would have ended it. */
    set_action(sig, SIG_DFL);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, sig);
    sigprocmask(SIG_UNBLOCK, &mask, nullptr);
    kill(getpid(), sig);

    errno = saved_errno;
}
