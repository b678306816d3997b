/*
 * process.cpp - console roots, child processes and the stand-in daemons for
 * the tests (see process.h).  XR_CABSIM and XR_OPCLOGD name the programs.
 */
#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <regex.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

/* How often the waits look again. */
constexpr milliseconds kPollStep{5};
constexpr milliseconds kReadyDeadline{10000};
constexpr milliseconds kStopDeadline{5000};
constexpr int kAnswerTimeoutMs = 10000;

} // namespace

std::string file_text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/* ---- ConsoleRoot --------------------------------------------------------- */

ConsoleRoot::ConsoleRoot()
{
    char pattern[] = "/tmp/xr-root.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return;
    path_ = pattern;
    std::filesystem::create_directories(path_ + "/var/console/fifos");
    setenv("CONSOLE_ROOT", path_.c_str(), 1);
}

ConsoleRoot::~ConsoleRoot()
{
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    unsetenv("CONSOLE_ROOT");
}

std::string ConsoleRoot::write(const std::string &fixed, const std::string &text) const
{
    std::string path = at(fixed);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return path;
}

/* ---- ChildProcess -------------------------------------------------------- */

ChildProcess::~ChildProcess()
{
    end();
}

void ChildProcess::end()
{
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    if (out_fd_ >= 0)
        close(out_fd_);
    pid_ = -1;
    out_fd_ = -1;
    ended_ = false;
    status_ = 0;
    output_.clear();
}

bool ChildProcess::start(const std::string &program, const std::vector<std::string> &args, const Environment &env,
                         const std::string &out_file)
{
    end();
    int fds[2] = {-1, -1};
    if (out_file.empty() && pipe2(fds, O_CLOEXEC) != 0)
        return false;
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &word : args)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        /* A test that crashes must not leave its children behind. */
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        int out = out_file.empty() ? fds[1] : open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        if (!out_file.empty())
            dup2(out, STDERR_FILENO);
        struct rlimit no_core {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        for (const auto &[name, value] : env)
            setenv(name.c_str(), value.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (fds[1] >= 0)
        close(fds[1]);
    if (pid_ < 0) {
        if (fds[0] >= 0)
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

bool ChildProcess::wait_until(const std::function<bool()> &done, milliseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (Clock::now() >= deadline || (ended_ && out_fd_ < 0))
            return false;
        drain(std::clamp(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()), milliseconds{0}, kPollStep));
    }
}

bool ChildProcess::wait_for_output(const std::string &pattern, milliseconds timeout)
{
    regex_t re;
    if (regcomp(&re, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        return false;
    bool found = wait_until([&] { return regexec(&re, output_.c_str(), 0, nullptr, 0) == 0; }, timeout);
    regfree(&re);
    return found;
}

bool ChildProcess::wait_for_file(const std::string &path, milliseconds timeout)
{
    return wait_until([&] { return access(path.c_str(), F_OK) == 0; }, timeout);
}

bool ChildProcess::wait_for_exit(milliseconds timeout)
{
    return wait_until([&] { return ended_ && out_fd_ < 0; }, timeout) || ended_;
}

/* ---- the stand-ins ------------------------------------------------------- */

DaemonProcess::DaemonProcess(std::string root, std::string program, std::string folder, std::string name)
    : root_(std::move(root)), program_(std::move(program)), folder_(std::move(folder)), name_(std::move(name)) {}

DaemonProcess::~DaemonProcess()
{
    end();
}

void DaemonProcess::end(int sig)
{
    if (child_.running() && child_.send_signal(sig))
        child_.wait_for_exit(kStopDeadline);
}

bool DaemonProcess::start(const std::vector<std::string> &args)
{
    const std::string folder = at("/var/console/" + folder_ + "/");
    std::filesystem::create_directories(folder);
    out_file_ = at("/" + name_ + ".out");
    return child_.start(program_, args, {}, out_file_) && child_.wait_for_file(folder + name_ + ".ready", kReadyDeadline);
}

bool DaemonProcess::ctl(const std::string &statement, std::string *output)
{
    if (!ctl_client_.IsConnected() && !ctl_client_.Connect(at("/var/console/" + folder_ + "/" + name_ + ".ctl")))
        return false;
    return ctl_client_.Exchange(statement, output, kAnswerTimeoutMs);
}

bool DaemonProcess::stop()
{
    if (!child_.send_signal(SIGTERM))
        return false;
    return child_.wait_for_exit(kStopDeadline) && WIFEXITED(child_.status()) && WEXITSTATUS(child_.status()) == 0;
}

CabsimProcess::CabsimProcess() : DaemonProcess("", XR_CABSIM, "qmx", "cabsim")
{
    root_ = own_root_.path();
}

bool CabsimProcess::start(const std::string &description)
{
    return start_args({"-c", "none", own_root_.write("/cabinets.sim", description)});
}

OpclogdProcess::OpclogdProcess(std::string root) : DaemonProcess(std::move(root), XR_OPCLOGD, "fifos", "opclogd") {}

std::vector<std::string> OpclogdProcess::loans()
{
    std::string output;
    if (!ctl("loans", &output))
        return {"<no answer>"};
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
