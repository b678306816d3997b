/*
 * cabsim_process.cpp - starting, driving and stopping a cabinet simulator
 * for one test (see cabsim_process.h).  XR_CABSIM names the program.
 */
#include "tests/unit/cabsim_process.h"

#include "tests/support/child_wait.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

bool reap(pid_t pid, std::chrono::steady_clock::duration limit)
{
    return child_wait::reap_within(pid, nullptr, limit);
}

} // namespace

CabsimProcess::~CabsimProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!reap(pid_, kStopDeadline))
            kill_now();
    }
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::string CabsimProcess::ctl_path() const
{
    return root_ + "/var/console/qmx/cabsim.ctl";
}

std::string CabsimProcess::log_path() const
{
    return root_ + "/var/console/qmx/commands.log";
}

std::string CabsimProcess::log_text() const
{
    std::ifstream in(log_path());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool CabsimProcess::start(const std::string &description)
{
    if (!make_root())
        return false;
    std::string description_path = root_ + "/cabinets.sim";
    std::ofstream(description_path) << description;
    return start_args({"-c", "none", description_path});
}

bool CabsimProcess::make_root()
{
    if (!root_.empty())
        return true;
    char pattern[] = "/tmp/cabsim-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    root_ = pattern;
    std::filesystem::create_directories(root_ + "/var/console/qmx");
    setenv("CONSOLE_ROOT", root_.c_str(), 1);
    return true;
}

bool CabsimProcess::start_args(const std::vector<std::string> &args)
{
    /* 1. A private console root. */
    if (!make_root())
        return false;

    /* 2. The simulator. */
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(XR_CABSIM));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    std::string out_path = root_ + "/cabsim.out";
    pid_ = fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        FILE *out = std::freopen(out_path.c_str(), "w", stdout);
        (void)out;
        execv(XR_CABSIM, argv.data());
        _exit(127);
    }

    /* 3. Its ready file, or its end. */
    return child_wait::wait_for_ready_file(&pid_, root_ + "/var/console/qmx/cabsim.ready", kReadyDeadline);
}

bool CabsimProcess::ctl(const std::string &statement, std::string *output)
{
    if (!ctl_client_.IsConnected() && !ctl_client_.Connect(ctl_path()))
        return false;
    return ctl_client_.Exchange(statement, output, kAnswerTimeoutMs);
}

void CabsimProcess::kill_now()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}
