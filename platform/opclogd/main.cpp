/*
 * main.cpp - opclogd, the console log daemon stand-in: its command line and
 * its loop over the request pipe and the control channel.
 *
 *   opclogd [-c CONFIG|none] [-p NODE=DEVICE]... [-C CTLSOCKET] [-l LOG]
 *           [-r READY] [-d LEVEL]
 *       Learns the installation's serial ports from the configuration file
 *       (default /var/console/nxs.config) and from -p, serves the request
 *       pipe /var/console/fifos/nxlogd_FIFO, answers on each requester's
 *       reply pipe, writes the log messages into the console log file LOG
 *       (default /var/console/console.log, shared with the other console
 *       programs; full logs are saved under /var/console/old_logs, damaged
 *       ones copied to /var/console/corrupt_logs) and writes READY (default
 *       /var/console/fifos/opclogd.ready, holding its pid) once it serves.
 *       CTLSOCKET defaults to /var/console/fifos/opclogd.ctl.  All default
 *       paths lie under $CONSOLE_ROOT.  SIGTERM or SIGINT end it cleanly.
 *
 *   opclogd ctl CTLSOCKET STATEMENT...
 *       Sends each statement to a running daemon and prints its answers;
 *       exit status 0 when every statement was accepted.
 *
 * Control statements, one per line, each answered by its output lines and
 * "ok", or by "error: <why>":
 *   loans                      the loan table: "loan <node> <device> <holder>"
 *   ports                      the ports: "port <node> <device>"
 *   port <node> <device>       adds a port
 *   hold <port> <pid> [prog]   another program (default xscp) holds the port
 *   release <port>             takes the port back from whoever holds it
 *   requests                   the port requests received, oldest first (the
 *                              last 1000): "request type=<T> id=<requestID>
 *                              count=<N>" (count for types 18 and 19 only)
 */
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/console_path.h"
#include "base/trace.h"
#include "daemon/fifo.h"
#include "daemon/logfile.h"
#include "platform/ctl/ctl_client.h"
#include "platform/opclogd/loans.h"

namespace {

constexpr const char *kConfigPath = "/var/console/nxs.config";
constexpr const char *kCtlPath = "/var/console/fifos/opclogd.ctl";
constexpr const char *kReadyPath = "/var/console/fifos/opclogd.ready";
constexpr std::size_t kMaxCtlLine = 512;
constexpr int kMaxCtlConnections = 16;
/* A message left half-read this long is dropped: every sender writes a
 * message whole, so the rest is never coming. */
constexpr int kPartialMessageMs = 1000;
constexpr int kCtlAnswerTimeoutMs = 10000;
constexpr std::size_t kRequestHistory = 1000;

volatile sig_atomic_t stop_requested = 0;

struct Options {
    std::string config;
    bool config_required = false;
    std::string ctl, ready, log;
    std::vector<std::pair<std::string, std::string>> ports;
};

struct CtlConnection {
    int fd;
    std::string input;
};

class Daemon {
public:
    explicit Daemon(opclogd::LoanTable &table) : table_(table) {}
    bool Start(const Options &options);
    void Run();
    void Stop();

private:
    void ReadRequests();
    void DropPartial();
    void Handle(const char *message, int size);
    void Remember(const char *message, int size);
    void AcceptClient();
    bool ReadClient(CtlConnection &client);
    std::string Control(const std::string &line);

    opclogd::LoanTable &table_;
    int request_fd_ = -1;
    int listen_fd_ = -1;
    bool made_pipe_ = false;
    std::string ctl_path_, ready_path_, pipe_path_, log_path_;
    int log_ = -1;
    std::vector<CtlConnection> clients_;
    std::deque<std::string> requests_;
    /* Twice the longest message: after the whole messages are handled, a
     * whole further message always fits. */
    std::array<char, 2 * FIFO_MAX_MESSAGE> buffer_{};
    std::size_t used_ = 0;
};

/* A header a console program writes: a request or log type, a length one
 * write can carry. */
bool PlausibleHeader(const IPC_Message_t &header)
{
    switch (header.Type) {
    case FREE_PORT_MSG:
    case LOG_MSG:
    case GET_MANY_PORTS_MSG:
    case FREE_MANY_PORTS_MSG:
    case FREE_ALL_PORTS_MSG:
        return header.Length >= IPC_HEADER_SIZE && header.Length <= FIFO_MAX_MESSAGE;
    default:
        return false;
    }
}

void on_stop(int)
{
    stop_requested = 1;
}

int usage()
{
    std::cerr << "usage: opclogd [-c CONFIG|none] [-p NODE=DEVICE]... [-C CTLSOCKET] [-l LOG] [-r READY] [-d LEVEL]\n"
                 "       opclogd ctl CTLSOCKET STATEMENT...\n";
    return 2;
}

void make_dirs(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

/* The client side of the control channel: each statement's answer is
 * printed, closing "ok" included. */
int run_ctl(int argc, char **argv)
{
    if (argc < 4)
        return usage();
    CtlClient client;
    if (!client.Connect(argv[2])) {
        std::cerr << "opclogd ctl: cannot connect to " << argv[2] << "\n";
        return 1;
    }
    int status = 0;
    for (int i = 3; i < argc; ++i) {
        std::string answer;
        bool ok = client.Exchange(argv[i], &answer, kCtlAnswerTimeoutMs);
        std::cout << answer << (ok ? "ok\n" : "");
        if (!ok && answer.find("error: ") == std::string::npos)
            return 1; /* no answer */
        status |= ok ? 0 : 1;
    }
    return status;
}

/* ------------------------------------------------------------------------ */

bool Daemon::Start(const Options &options)
{
    /* 1. The pipe folder (the configuration's lock file lies beside it), the
     *    ports. */
    make_dirs(console_path("/var/console/fifos"));
    bool use_config = options.config != "none" && (options.config_required || access(options.config.c_str(), F_OK) == 0);
    if (use_config && !table_.LoadConfiguration(options.config.c_str())) {
        std::cerr << "opclogd: cannot read " << options.config << "\n";
        return false;
    }
    for (const auto &[node, device] : options.ports)
        table_.AddPort(node, device);

    /* 2. The request pipe, read-write so that it never reads end-of-file. */
    pipe_path_ = console_path(DAEMON_FIFO_PATH);
    made_pipe_ = access(pipe_path_.c_str(), F_OK) != 0;
    request_fd_ = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR | O_NONBLOCK);
    if (request_fd_ < 0)
        return false;

    /* 3. The console log file (with the folders its saved copies go to) and
     *    the control channel. */
    make_dirs(console_path(OLD_LOGS_DIR));
    make_dirs(console_path(CORRUPT_LOGS_DIR));
    log_path_ = options.log;
    log_ = OpenLogFile(options.log.c_str(), O_WRONLY);
    if (log_ < 0) {
        std::cerr << "opclogd: cannot open log " << options.log << "\n";
        return false;
    }
    ctl_path_ = options.ctl;
    unlink(ctl_path_.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (ctl_path_.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, ctl_path_.c_str(), ctl_path_.size() + 1);
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        listen(listen_fd_, 8) != 0) {
        std::cerr << "opclogd: cannot listen on " << ctl_path_ << ": " << std::strerror(errno) << "\n";
        return false;
    }

    /* 4. Ready. */
    ready_path_ = options.ready;
    FILE *ready = std::fopen(ready_path_.c_str(), "w");
    if (ready == nullptr)
        return false;
    std::fprintf(ready, "%d\n", int(getpid()));
    std::fclose(ready);
    dprint(1, "opclogd: serving %s\n", pipe_path_.c_str());
    return true;
}

void Daemon::Stop()
{
    for (CtlConnection &client : clients_)
        close(client.fd);
    clients_.clear();
    if (listen_fd_ >= 0) {
        close(listen_fd_);
        unlink(ctl_path_.c_str());
    }
    if (request_fd_ >= 0) {
        FIFO_CloseProc(request_fd_);
        if (made_pipe_)
            unlink(pipe_path_.c_str());
    }
    if (log_ >= 0)
        close(log_);
    if (!ready_path_.empty())
        unlink(ready_path_.c_str());
}

void Daemon::Run()
{
    sigset_t blocked, open_mask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &open_mask);
    sigdelset(&open_mask, SIGTERM);
    sigdelset(&open_mask, SIGINT);

    while (!stop_requested) {
        std::vector<pollfd> fds{{request_fd_, POLLIN, 0}, {listen_fd_, POLLIN, 0}};
        for (const CtlConnection &client : clients_)
            fds.push_back({client.fd, POLLIN, 0});
        timespec partial_wait{kPartialMessageMs / 1000, (kPartialMessageMs % 1000) * 1000000L};
        int ready = ppoll(fds.data(), fds.size(), used_ > 0 ? &partial_wait : nullptr, &open_mask);
        if (ready < 0)
            continue; /* a signal: the loop condition decides */
        if (ready == 0) {
            DropPartial();
            continue;
        }
        if (fds[0].revents & POLLIN)
            ReadRequests();
        if (fds[1].revents & POLLIN)
            AcceptClient();
        std::vector<int> gone;
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            for (CtlConnection &client : clients_) {
                if (client.fd == fds[i].fd && !ReadClient(client))
                    gone.push_back(client.fd);
            }
        }
        for (int fd : gone) {
            close(fd);
            std::erase_if(clients_, [fd](const CtlConnection &client) { return client.fd == fd; });
        }
    }
}

/* Reads what the pipe holds and handles every whole message.  A header that
 * no sender writes puts the pipe out of step: bytes are dropped up to the
 * next place that reads as a request header (every sender writes whole
 * messages, so a request written after the garbage starts at one). */
void Daemon::ReadRequests()
{
    ssize_t got = read(request_fd_, buffer_.data() + used_, buffer_.size() - used_);
    if (got <= 0)
        return;
    used_ += static_cast<std::size_t>(got);
    std::size_t start = 0;
    std::size_t dropped = 0;
    while (used_ - start >= static_cast<std::size_t>(IPC_HEADER_SIZE)) {
        IPC_Message_t header;
        std::memcpy(&header, buffer_.data() + start, sizeof header);
        if (!PlausibleHeader(header)) {
            ++start;
            ++dropped;
            continue;
        }
        auto length = static_cast<std::size_t>(header.Length);
        if (used_ - start < length)
            break;
        Handle(buffer_.data() + start, header.Length);
        start += length;
    }
    if (dropped > 0)
        std::cerr << "opclogd: request pipe out of step: " << dropped << " bytes dropped\n";
    std::memmove(buffer_.data(), buffer_.data() + start, used_ - start);
    used_ -= start;
}

void Daemon::DropPartial()
{
    std::cerr << "opclogd: incomplete message of " << used_ << " bytes dropped\n";
    used_ = 0;
}

void Daemon::Handle(const char *message, int size)
{
    Remember(message, size);
    opclogd::Outcome outcome = opclogd::Serve(table_, message, size);
    if (!outcome.complaint.empty())
        std::cerr << "opclogd: " << outcome.complaint << "\n";
    if (!outcome.log_line.empty()) {
        std::string line = outcome.log_line + "\n";
        if (WriteLogFile(log_, line.data(), static_cast<int>(line.size())) < 0)
            std::cerr << "opclogd: log message not written to " << log_path_ << "\n";
    }
    if (!outcome.reply)
        return;
    int fd = FIFO_OpenProc(outcome.reply_address.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return;
    FIFO_OutputProc(fd, outcome.reply.get(), outcome.reply->Length);
    FIFO_CloseProc(fd);
}

/* Keeps a line per port request for the "requests" statement: what a
 * requester asked for, and in how many messages. */
void Daemon::Remember(const char *message, int size)
{
    IPC_Message_t header;
    std::memcpy(&header, message, sizeof header);
    if (header.Type == LOG_MSG)
        return;
    std::string line = "request type=" + std::to_string(header.Type);
    if (size > IPC_HEADER_SIZE) {
        std::size_t room = static_cast<std::size_t>(size - IPC_HEADER_SIZE);
        line += " id=" + std::string(MessageField(message + IPC_HEADER_SIZE, std::min<std::size_t>(room, REQUEST_ID_SIZE)));
    }
    if ((header.Type == GET_MANY_PORTS_MSG || header.Type == FREE_MANY_PORTS_MSG) && size >= MANY_PORT_HEAD_SIZE) {
        std::int32_t count;
        std::memcpy(&count, message + offsetof(ManyPortMessage_t, Count), sizeof count);
        line += " count=" + std::to_string(count);
    }
    requests_.push_back(line);
    if (requests_.size() > kRequestHistory)
        requests_.pop_front();
}

void Daemon::AcceptClient()
{
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    if (clients_.size() >= static_cast<std::size_t>(kMaxCtlConnections)) {
        close(fd);
        return;
    }
    clients_.push_back(CtlConnection{fd, {}});
}

/* false when the client is gone or sent a line too long. */
bool Daemon::ReadClient(CtlConnection &client)
{
    char chunk[512];
    ssize_t got = recv(client.fd, chunk, sizeof chunk, 0);
    if (got <= 0)
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    client.input.append(chunk, static_cast<std::size_t>(got));
    std::size_t newline;
    while ((newline = client.input.find('\n')) != std::string::npos) {
        std::string answer = Control(client.input.substr(0, newline));
        client.input.erase(0, newline + 1);
        if (send(client.fd, answer.data(), answer.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(answer.size()))
            return false;
    }
    return client.input.size() <= kMaxCtlLine;
}

std::string Daemon::Control(const std::string &line)
{
    std::istringstream words(line);
    std::string verb, name, extra;
    words >> verb;
    std::string out;
    if (verb == "loans" || verb == "ports") {
        for (const std::string &text : verb == "loans" ? table_.Loans() : table_.Ports())
            out += text + "\n";
        return out + "ok\n";
    }
    if (verb == "requests") {
        for (const std::string &text : requests_)
            out += text + "\n";
        return out + "ok\n";
    }
    if (verb == "port" && (words >> name >> extra))
        return table_.AddPort(name, extra) ? "ok\n" : "error: port " + name + " already listed\n";
    std::string result;
    if (verb == "hold" && (words >> name >> extra)) {
        char *end = nullptr;
        long pid = std::strtol(extra.c_str(), &end, 10);
        std::string program = "xscp";
        words >> program;
        if (end == extra.c_str() || *end != '\0' || pid <= 0)
            return "error: bad pid " + extra + "\n";
        return table_.Hold(name, program, pid, &result) ? "ok\n" : "error: " + result + "\n";
    }
    if (verb == "release" && (words >> name))
        return table_.Release(name, &result) ? "ok\n" : "error: " + result + "\n";
    return "error: unknown statement\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0)
        return run_ctl(argc, argv);

    Options options;
    options.ctl = console_path(kCtlPath);
    options.ready = console_path(kReadyPath);
    options.log = console_path(CONSOLE_LOG_PATH);
    options.config = console_path(kConfigPath);
    int opt;
    while ((opt = getopt(argc, argv, "c:p:C:l:r:d:")) != -1) {
        std::string value = optarg != nullptr ? optarg : "";
        switch (opt) {
        case 'c':
            options.config = value;
            options.config_required = true;
            break;
        case 'C': options.ctl = value; break;
        case 'l': options.log = value; break;
        case 'r': options.ready = value; break;
        case 'd': debug = std::atoi(value.c_str()); break;
        case 'p': {
            std::size_t equals = value.find('=');
            if (equals == std::string::npos)
                return usage();
            options.ports.emplace_back(value.substr(0, equals), value.substr(equals + 1));
            break;
        }
        default: return usage();
        }
    }
    if (optind != argc)
        return usage();

    struct sigaction stop {};
    stop.sa_handler = on_stop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    opclogd::LoanTable table;
    Daemon daemon(table);
    bool started = daemon.Start(options);
    if (started)
        daemon.Run();
    daemon.Stop();
    return started ? 0 : 1;
}
