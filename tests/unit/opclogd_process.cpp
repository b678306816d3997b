/*
 * opclogd_process.cpp - starting, driving and stopping the log daemon
 * stand-in for one test (see opclogd_process.h).
 */
#include "tests/unit/opclogd_process.h"

#include "tests/support/child_wait.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr auto kReadyDeadline = std::chrono::seconds(10);
constexpr auto kStopDeadline = std::chrono::seconds(5);
constexpr int kAnswerTimeoutMs = 10000;

std::string file_text(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool reap(pid_t pid, int *status, std::chrono::steady_clock::duration limit)
{
    return child_wait::reap_within(pid, status, limit);
}

} // namespace

ConsoleRoot::ConsoleRoot()
{
    char pattern[] = "/tmp/opclogd-test-XXXXXX";
    if (mkdtemp(pattern) != nullptr)
        path_ = pattern;
    std::filesystem::create_directories(path_ + "/var/console/fifos");
    setenv("CONSOLE_ROOT", path_.c_str(), 1);
}

ConsoleRoot::~ConsoleRoot()
{
    std::error_code ignored;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ignored);
    unsetenv("CONSOLE_ROOT");
}

OpclogdProcess::~OpclogdProcess()
{
    if (pid_ > 0) {
        int status = 0;
        kill(pid_, SIGTERM);
        if (!reap(pid_, &status, kStopDeadline)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
}

bool OpclogdProcess::start(const std::vector<std::string> &arguments)
{
    std::string ready = at("/var/console/fifos/opclogd.ready");
    std::string err_path = at("/opclogd.err");
    pid_ = fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        /* A test that crashes must not leave its daemon behind. */
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        FILE *err = std::freopen(err_path.c_str(), "w", stderr);
        (void)err;
        std::vector<char *> argv{const_cast<char *>(XR_OPCLOGD)};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        execv(XR_OPCLOGD, argv.data());
        _exit(127);
    }
    return child_wait::wait_for_ready_file(&pid_, ready, kReadyDeadline);
}

bool OpclogdProcess::ctl(const std::string &statement, std::string *output)
{
    if (!ctl_client_.IsConnected() && !ctl_client_.Connect(at("/var/console/fifos/opclogd.ctl")))
        return false;
    return ctl_client_.Exchange(statement, output, kAnswerTimeoutMs);
}

std::vector<std::string> OpclogdProcess::loans()
{
    std::string output;
    std::vector<std::string> lines;
    if (!ctl("loans", &output)) {
        lines.push_back("<no answer>");
        return lines;
    }
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool OpclogdProcess::alive()
{
    int status = 0;
    return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
}

bool OpclogdProcess::stop()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    kill(pid_, SIGTERM);
    bool ended = reap(pid_, &status, kStopDeadline);
    pid_ = -1;
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string OpclogdProcess::log_text() const
{
    return file_text(at("/var/console/opclogd.log"));
}

std::string OpclogdProcess::stderr_text() const
{
    return file_text(at("/opclogd.err"));
}
