/*
 * process_harness.cpp - child processes, X windows by title, XTest input,
 * private console roots and screenshots for the end-to-end tests.
 */
#include <gtest/gtest.h>

#include "tests/e2e/process_harness.h"

#include <cstdio>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <regex.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

/* How often the waits look again. */
constexpr milliseconds kPollStep{20};

milliseconds left_until(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : milliseconds{0};
}

/* Replaces the calling (child) process with argv; never returns. */
[[noreturn]] void exec_child(const std::vector<std::string> &argv, int out_fd,
                             const std::vector<std::pair<std::string, std::string>> &env)
{
    dup2(out_fd, STDOUT_FILENO);
    struct rlimit no_core {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    for (const auto &[name, value] : env)
        setenv(name.c_str(), value.c_str(), 1);
    std::vector<char *> raw;
    for (const std::string &word : argv)
        raw.push_back(const_cast<char *>(word.c_str()));
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
}

/* Depth-first search below `parent` for a viewable window named `title`. */
Window find_named(Display *display, Window parent, const std::string &title, int depth)
{
    Window root_return, parent_return;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root_return, &parent_return, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char *name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[i], &name) && name != nullptr) {
            if (title == name && XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable)
                found = children[i];
            XFree(name);
        }
        if (found == 0 && depth > 0)
            found = find_named(display, children[i], title, depth - 1);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

} // namespace

/* ---- ChildProcess -------------------------------------------------------- */

ChildProcess::~ChildProcess()
{
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    if (out_fd_ >= 0)
        close(out_fd_);
}

bool ChildProcess::start(const std::string &program, const std::vector<std::string> &args,
                         const std::vector<std::pair<std::string, std::string>> &env)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0)
        exec_child(argv, fds[1], env);
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return false;
    }
    out_fd_ = fds[0];
    return true;
}

void ChildProcess::drain(milliseconds wait)
{
    if (out_fd_ >= 0) {
        struct pollfd pfd {out_fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(wait.count())) > 0) {
            char chunk[4096];
            ssize_t got = read(out_fd_, chunk, sizeof chunk);
            if (got > 0) {
                output_.append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(out_fd_);
                out_fd_ = -1;
            }
        }
    } else if (!ended_) {
        poll(nullptr, 0, static_cast<int>(wait.count()));
    }
    if (!ended_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_)
        ended_ = true;
}

bool ChildProcess::running()
{
    drain(milliseconds{0});
    return pid_ > 0 && !ended_;
}

bool ChildProcess::send_signal(int sig)
{
    return pid_ > 0 && !ended_ && kill(pid_, sig) == 0;
}

bool ChildProcess::wait_for_output(const std::string &pattern, milliseconds timeout)
{
    regex_t re;
    if (regcomp(&re, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        return false;
    auto deadline = Clock::now() + timeout;
    bool found = false;
    for (;;) {
        found = regexec(&re, output_.c_str(), 0, nullptr, 0) == 0;
        if (found || Clock::now() >= deadline || (ended_ && out_fd_ < 0))
            break;
        drain(std::min(kPollStep, left_until(deadline)));
    }
    regfree(&re);
    return found;
}

bool ChildProcess::wait_for_exit(milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    while (!(ended_ && out_fd_ < 0)) {
        if (Clock::now() >= deadline)
            return ended_;
        drain(std::min(kPollStep, left_until(deadline)));
    }
    return true;
}

/* ---- XSession ------------------------------------------------------------ */

XSession::XSession() : display_(XOpenDisplay(nullptr)) {}

XSession::~XSession()
{
    if (display_ != nullptr)
        XCloseDisplay(display_);
}

Window XSession::wait_for_window(const std::string &title, milliseconds timeout, ChildProcess *owner)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        Window found = find_named(display_, DefaultRootWindow(display_), title, 2);
        if (found != 0)
            return found;
        if (Clock::now() >= deadline)
            return 0;
        if (owner != nullptr) {
            if (!owner->running())
                return 0;
            owner->drain(kPollStep);
        } else {
            struct pollfd none {ConnectionNumber(display_), 0, 0};
            poll(&none, 1, static_cast<int>(kPollStep.count()));
        }
    }
}

bool XSession::press_return_in(Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes))
        return false;
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), attributes.width / 2,
                          attributes.height / 2, &x, &y, &child);
    KeyCode key = XKeysymToKeycode(display_, XK_Return);
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    XSync(display_, False);
    return true;
}

/* ---- ConsoleRoot and screenshots ----------------------------------------- */

ConsoleRoot::ConsoleRoot()
{
    char pattern[] = "/tmp/xr-e2e-root.XXXXXX";
    if (mkdtemp(pattern) != nullptr)
        path_ = pattern;
}

ConsoleRoot::~ConsoleRoot()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::string save_screenshot(const std::string &name)
{
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir == nullptr || *dir == '\0')
        return "";
    std::string file = std::string(dir) + "/" + name + ".png";
    ChildProcess import;
    if (!import.start("/usr/bin/import", {"-window", "root", file}, {}))
        return "";
    if (!import.wait_for_exit(milliseconds{10000}) || !WIFEXITED(import.status()) ||
        WEXITSTATUS(import.status()) != 0)
        return "";
    return file;
}

void screenshot_failed_test()
{
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    std::string shot = save_screenshot(name);
    if (!shot.empty())
        std::printf("screenshot: %s\n", shot.c_str());
}

} // namespace e2e
