/*
 * main.cpp - xscp, the serial console program: an operator's session on a
 * controller's serial line, which holds the port while it runs.  The
 * console's engine meets it when it asks the log daemon for a port that
 * xscp holds, and reclaims the port by ending it:
 *   kill -9 `ps -ef|awk '$8 == "xscp" && /NODE/ {print $2}'`
 * so its process-list line shows "xscp" as the command and the node name
 * among its arguments.
 *
 *   xscp [-c CONFIG] [-d DEVICE] [-C CTLSOCKET] [-r READY] NODE
 *       Opens the node's device (the configuration's address for NODE,
 *       below the console root, or DEVICE as given), tells the log daemon
 *       over its control channel (default
 *       /var/console/fifos/opclogd.ctl) that it holds the port, writes
 *       READY (its pid; written aside and renamed) and waits until a
 *       signal ends it.  SIGTERM and SIGINT end it cleanly: the daemon
 *       gets the port back.
 */
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "base/console_path.h"
#include "config/config.h"
#include "config/read_config.h"
#include "platform/ctl/ctl_client.h"

namespace {

constexpr const char *kProgram = "xscp";
constexpr const char *kConfigPath = "/var/console/nxs.config";
constexpr const char *kDaemonCtlPath = "/var/console/fifos/opclogd.ctl";
constexpr int kDaemonAnswerMs = 10000;

volatile sig_atomic_t stop_requested = 0;

struct Options {
    std::string config;
    std::string device;
    std::string ctl;
    std::string ready;
    std::string node;
};

void on_stop(int)
{
    stop_requested = 1;
}

int usage()
{
    std::cerr << "usage: xscp [-c CONFIG] [-d DEVICE] [-C CTLSOCKET] [-r READY] NODE\n";
    return 2;
}

/* The device of `node` from the configuration, below the console root. */
std::string configured_device(const std::string &config, const std::string &node)
{
    if (read_config_file(config.c_str()) != 0)
        return "";
    int index = FindNodeByName(node.c_str());
    std::string address = index >= 0 ? NodeText(NodeList[index]->InterfaceAddress) : "";
    FreeConfiguration();
    return address.empty() ? "" : console_path(address);
}

/* The line as the console opens it: non-blocking, reads of at least one
 * byte without a time-out. */
int open_line(const std::string &device)
{
    int fd = open(device.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

bool write_ready(const std::string &path)
{
    std::string temp = path + ".tmp";
    FILE *f = std::fopen(temp.c_str(), "w");
    if (f == nullptr)
        return false;
    bool written = std::fprintf(f, "%d\n", static_cast<int>(getpid())) > 0;
    return std::fclose(f) == 0 && written && std::rename(temp.c_str(), path.c_str()) == 0;
}

/* Gives the port back, unless someone took it from us meanwhile. */
void release_port(CtlClient &daemon, const std::string &node)
{
    std::string loans;
    std::string mine = "loan " + node + " ";
    std::string marker = "PID-" + std::to_string(getpid());
    if (!daemon.Exchange("loans", &loans, kDaemonAnswerMs))
        return;
    for (std::size_t at = loans.find(mine); at != std::string::npos; at = loans.find(mine, at + 1)) {
        std::string line = loans.substr(at, loans.find('\n', at) - at);
        if (line.find(marker) != std::string::npos) {
            daemon.Exchange("release " + node, nullptr, kDaemonAnswerMs);
            return;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    /* 1. The process list must show the program as "xscp". */
    if (std::strcmp(argv[0], kProgram) != 0) {
        argv[0] = const_cast<char *>(kProgram);
        execv("/proc/self/exe", argv);
        std::cerr << "xscp: cannot re-execute: " << std::strerror(errno) << "\n";
        return 1;
    }

    /* 2. Options. */
    Options options;
    options.config = console_path(kConfigPath);
    options.ctl = console_path(kDaemonCtlPath);
    int opt;
    while ((opt = getopt(argc, argv, "c:d:C:r:")) != -1) {
        switch (opt) {
        case 'c': options.config = optarg; break;
        case 'd': options.device = optarg; break;
        case 'C': options.ctl = optarg; break;
        case 'r': options.ready = optarg; break;
        default: return usage();
        }
    }
    if (optind + 1 != argc)
        return usage();
    options.node = argv[optind];

    /* 3. The line. */
    if (options.device.empty())
        options.device = configured_device(options.config, options.node);
    if (options.device.empty()) {
        std::cerr << "xscp: no device for " << options.node << " in " << options.config << "\n";
        return 1;
    }
    int line = open_line(options.device);
    if (line < 0) {
        std::cerr << "xscp: cannot open " << options.device << ": " << std::strerror(errno) << "\n";
        return 1;
    }

    /* 4. The port is ours: the daemon is told. */
    CtlClient daemon;
    std::string answer;
    std::string hold = "hold " + options.node + " " + std::to_string(getpid()) + " " + kProgram;
    if (!daemon.Connect(options.ctl) || !daemon.Exchange(hold, &answer, kDaemonAnswerMs)) {
        std::cerr << "xscp: the log daemon did not lend " << options.node << (answer.empty() ? "" : ": ") << answer
                  << "\n";
        close(line);
        return 1;
    }

    /* 5. Ready; wait for the end. */
    sigset_t blocked, open_mask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &open_mask);
    struct sigaction stop {};
    stop.sa_handler = on_stop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    if (!options.ready.empty() && !write_ready(options.ready)) {
        std::cerr << "xscp: cannot write " << options.ready << "\n";
        release_port(daemon, options.node);
        close(line);
        return 1;
    }
    while (!stop_requested)
        sigsuspend(&open_mask);

    /* 6. A clean end. */
    release_port(daemon, options.node);
    close(line);
    if (!options.ready.empty())
        unlink(options.ready.c_str());
    return 0;
}
