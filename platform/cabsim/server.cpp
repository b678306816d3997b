/*
 * server.cpp - the simulator's service: the libqmx socket (message and
 * control connections, see qmx_wire.h), the control channel (a stream
 * socket that takes statements of the line language, one per line, and
 * answers each with its output and "ok" or "error: <text>"), the command
 * log, timers for delayed replies, late pieces of serial replies and
 * scheduled statements, event delivery to registered listeners, and the
 * poll over the serial controllers' lines (served by serial.cpp).
 *
 * Every command received is recorded, in the log file and for the `log`
 * statement, as one line:
 *   cab=C sys=S seq=N type=0xT cmd=K ctype=0xTT cid=0xII sub=0xSS unit=0xUU datalen=L data=HEX result=R
 * where R is "sent", "not-alive" or "no-cabinet".
 */
#include "platform/cabsim/cabsim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>

#include "platform/qmx/qmx_wire.h"

namespace cabsim {

using namespace qmx_wire;

namespace {

constexpr std::size_t kMaxCtlInput = 8192;
constexpr int kBacklog = 64;
constexpr uint32_t kWrongSequenceOffset = 1000;

volatile sig_atomic_t stop_requested = 0;

void on_signal(int)
{
    stop_requested = 1;
}

long long now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int listen_on(const std::string &path, int type)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        std::cerr << "cabsim: socket path too long: " << path << "\n";
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) < 0 ||
        listen(fd, kBacklog) < 0) {
        std::cerr << "cabsim: cannot listen on " << path << ": " << std::strerror(errno) << "\n";
        if (fd >= 0)
            close(fd);
        return -1;
    }
    return fd;
}

std::vector<uint8_t> frame_of(uint32_t kind, uint32_t sequence, int32_t arg, const uint8_t *payload, uint32_t length)
{
    std::vector<uint8_t> frame(HEADER_SIZE + length);
    encode_header(frame.data(), FrameHeader{kind, length, sequence, arg});
    if (length != 0)
        std::memcpy(frame.data() + HEADER_SIZE, payload, length);
    return frame;
}

void send_packet(int fd, const std::vector<uint8_t> &packet)
{
    ssize_t n;
    do
        n = send(fd, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        std::cerr << "cabsim: send failed: " << std::strerror(errno) << "\n";
}

std::string hex_of(const uint8_t *p, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 15];
    }
    return text;
}

/* A completion for a command message (whose header it echoes). */
std::vector<uint8_t> completion(const Cabinet &cab, const qmx_ecommand_t &cmd, uint32_t sequence, uint32_t status,
                                uint8_t complex_count, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> msg(sizeof(qmx_ecmdcmplt_t) + data.size(), 0);
    auto *c = reinterpret_cast<qmx_ecmdcmplt_t *>(msg.data());
    c->header = cmd.header;
    c->header.set_event_type(QMX_EVENT_CMDCMPLT);
    c->header.set_severity(0);
    c->header.set_timestamp(static_cast<uint32_t>(time(nullptr)));
    c->header.set_cabno(static_cast<uint16_t>(cab.cabno));
    c->header.sysno = static_cast<uint8_t>(cab.sysno);
    c->set_sequence(sequence);
    c->set_cmd_status(status);
    c->complex_count = complex_count;
    c->set_datalen(static_cast<uint16_t>(std::min<std::size_t>(data.size(), 0xFFFF)));
    if (!data.empty())
        std::memcpy(c->data(), data.data(), data.size());
    return msg;
}

/* Per-complex records of a FAIL fault (12 bytes each for a margin command). */
std::vector<uint8_t> complex_records(Cabinet &cab, const Fault &f, uint8_t cmdtype)
{
    std::size_t size = cmdtype == CMD_MARGIN ? sizeof(complex_margin_stat_t) : sizeof(complex_cmd_status_t);
    std::vector<uint8_t> data(size * f.complexes.size(), 0);
    for (std::size_t i = 0; i < f.complexes.size(); ++i) {
        auto *r = reinterpret_cast<complex_cmd_status_t *>(data.data() + i * size);
        r->complex_id = f.complexes[i].first;
        Complex *c = find_complex(cab, f.complexes[i].first);
        r->complex_type = c != nullptr ? c->type : 0;
        r->set_cmd_status(f.complexes[i].second);
    }
    return data;
}

} // namespace

long long steady_ms()
{
    return now_ms();
}

/* ---- start-up and the loop ------------------------------------------------- */

bool Simulator::start(const Options &options)
{
    options_ = options;
    listen_fd_ = listen_on(options.socket_path, SOCK_SEQPACKET);
    ctl_listen_fd_ = listen_on(options.ctl_path, SOCK_STREAM);
    if (listen_fd_ < 0 || ctl_listen_fd_ < 0)
        return false;
    if (!options.log_path.empty()) {
        log_file_ = std::fopen(options.log_path.c_str(), "a");
        if (log_file_ == nullptr) {
            std::cerr << "cabsim: cannot write " << options.log_path << "\n";
            return false;
        }
    }

    struct sigaction action {};
    action.sa_handler = on_signal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    /* The serial controllers' lines, linked before anyone is told. */
    open_serial_lines();
    serving_ = true;

    /* Ready: the file appears whole (written aside, then renamed). */
    if (!options.ready_path.empty()) {
        std::string temp = options.ready_path + ".tmp";
        FILE *f = std::fopen(temp.c_str(), "w");
        if (f == nullptr || std::fprintf(f, "%d\n", static_cast<int>(getpid())) < 0 || std::fclose(f) != 0 ||
            std::rename(temp.c_str(), options.ready_path.c_str()) != 0) {
            std::cerr << "cabsim: cannot write " << options.ready_path << "\n";
            close_serial_lines();
            return false;
        }
    }
    std::cout << "cabsim ready" << std::endl;
    return true;
}

int Simulator::run()
{
    while (running_ && !stop_requested) {
        std::vector<pollfd> pfs;
        std::vector<int> tokens;
        pfs.push_back(pollfd{listen_fd_, POLLIN, 0});
        pfs.push_back(pollfd{ctl_listen_fd_, POLLIN, 0});
        for (auto &[token, conn] : conns_) {
            pfs.push_back(pollfd{conn.fd, POLLIN, 0});
            tokens.push_back(token);
        }
        std::vector<std::string> lines;
        for (auto &[node, line] : serials) {
            if (line.master < 0)
                continue;
            pfs.push_back(pollfd{line.master, static_cast<short>(POLLIN | (line.output.empty() ? 0 : POLLOUT)), 0});
            lines.push_back(node);
        }
        int n = poll(pfs.data(), pfs.size(), next_timeout_ms());
        if (n < 0 && errno != EINTR) {
            std::cerr << "cabsim: poll failed: " << std::strerror(errno) << "\n";
            return 1;
        }
        run_timers();
        if (n <= 0)
            continue;
        if (pfs[0].revents != 0)
            accept_service();
        if (pfs[1].revents != 0)
            accept_ctl();
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (pfs[i + 2].revents == 0)
                continue;
            auto it = conns_.find(tokens[i]);
            if (it == conns_.end())
                continue;
            if (it->second.kind == Conn::CTL)
                serve_ctl(it->second);
            else
                serve_frame(it->second);
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            short revents = pfs[i + 2 + tokens.size()].revents;
            auto it = serials.find(lines[i]);
            if (revents == 0 || it == serials.end() || it->second.master < 0)
                continue;
            if (revents & POLLIN)
                serve_serial(it->second);
            if (revents & POLLOUT)
                flush_serial(it->second);
        }
    }
    close_serial_lines();
    for (auto &[token, conn] : conns_)
        close(conn.fd);
    conns_.clear();
    unlink(options_.socket_path.c_str());
    unlink(options_.ctl_path.c_str());
    if (!options_.ready_path.empty())
        unlink(options_.ready_path.c_str());
    if (log_file_ != nullptr)
        std::fclose(log_file_);
    return 0;
}

void Simulator::accept_service()
{
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    Conn conn;
    conn.fd = fd;
    conn.token = next_token_++;
    send_packet(fd, frame_of(WELCOME, 0, conn.token, nullptr, 0));
    conns_[conn.token] = conn;
}

void Simulator::accept_ctl()
{
    int fd = accept4(ctl_listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    Conn conn;
    conn.kind = Conn::CTL;
    conn.fd = fd;
    conn.token = next_token_++;
    conn.ctx.source = "ctl";
    conns_[conn.token] = conn;
}

void Simulator::drop(int token)
{
    auto it = conns_.find(token);
    if (it == conns_.end())
        return;
    close(it->second.fd);
    conns_.erase(it);
}

/* ---- the libqmx side --------------------------------------------------------- */

void Simulator::serve_frame(Conn &conn)
{
    std::vector<uint8_t> packet(MAX_FRAME + 1);
    ssize_t n = recv(conn.fd, packet.data(), packet.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        drop(conn.token);
        return;
    }
    /* Frames that break the rules are dropped unanswered. */
    FrameHeader h{};
    if (check_frame(packet.data(), static_cast<std::size_t>(n), h) != QMX_EOK)
        return;
    const uint8_t *payload = packet.data() + HEADER_SIZE;

    int32_t result = -QMX_EPARAM;
    auto target = conns_.find(conn.bound_to);
    Conn *msg_conn = target != conns_.end() ? &target->second : nullptr;
    switch (h.kind) {
    case BIND:
        target = conns_.find(h.arg);
        if (target != conns_.end() && target->second.kind == Conn::SERVICE && h.arg != conn.token) {
            conn.bound_to = h.arg;
            result = 1;
        }
        break;
    case REGISTER:
        if (msg_conn == nullptr)
            result = -QMX_ESTATE;
        else if (h.arg == QMX_SERVICE_COMMANDS) {
            msg_conn->services |= QMX_SERVICE_COMMANDS;
            result = msg_conn->services;
        } else if (h.arg == QMX_SERVICE_EVENTS && h.length == FILTER_SIZE) {
            std::memcpy(msg_conn->filter, payload, FILTER_SIZE);
            msg_conn->has_filter = true;
            msg_conn->services |= QMX_SERVICE_EVENTS;
            result = msg_conn->services;
            /* Acknowledged first, so that the listener is registered before
             * a scenario it sets off sends anything. */
            send_packet(conn.fd, frame_of(ACK, h.sequence, result, nullptr, 0));
            fire_triggers(decode_filter(msg_conn->filter).cabno, Trigger::REGISTER);
            return;
        }
        break;
    case DEREGISTER:
        if (msg_conn == nullptr)
            result = -QMX_ESTATE;
        else {
            result = msg_conn->services & h.arg;
            msg_conn->services &= ~h.arg;
        }
        break;
    case SEND:
        if (msg_conn == nullptr || (msg_conn->services & QMX_SERVICE_COMMANDS) == 0)
            result = -QMX_ESTATE;
        else
            result = handle_send(conn, h.sequence, payload, h.length);
        break;
    default:
        return;
    }
    send_packet(conn.fd, frame_of(ACK, h.sequence, result, nullptr, 0));
}

int32_t Simulator::handle_send(Conn &ctl, uint32_t sequence, const uint8_t *msg, uint32_t length)
{
    /* 1. A whole message for a cabinet we simulate. */
    if (length < sizeof(qmx_ecommand_t))
        return -QMX_EPARAM;
    const auto *cmd = reinterpret_cast<const qmx_ecommand_t *>(msg);
    if (sizeof(qmx_ecommand_t) + cmd->get_datalen() != length)
        return -QMX_EPARAM;
    int cabno = cmd->header.get_cabno();
    auto it = cabinets.find(cabno);
    bool command = cmd->header.get_event_type() == QMX_EVENT_COMMAND;
    Fault fault;
    bool faulty = it != cabinets.end() && it->second.alive && command && take_fault(it->second, cmd->cmdtype, fault);
    bool alive = it != cabinets.end() && it->second.alive && !(faulty && fault.kind == Fault::NOT_ALIVE);
    const char *result = it == cabinets.end() ? "no-cabinet" : alive ? "sent" : "not-alive";

    /* 2. Record it. */
    char line[256];
    std::snprintf(line, sizeof(line),
                  "cab=%d sys=%d seq=%u type=0x%x cmd=%d ctype=0x%02x cid=0x%02x sub=0x%02x unit=0x%02x datalen=%u data=",
                  cabno, cmd->header.sysno, sequence, cmd->header.get_event_type(), cmd->cmdtype,
                  cmd->header.complex_type, cmd->header.complex_id, cmd->header.subcomplex, cmd->header.unit,
                  cmd->get_datalen());
    record(std::string(line) + hex_of(cmd->data(), cmd->get_datalen()) + " result=" + result);

    if (it == cabinets.end())
        return -QMX_ENOTESSEL;
    if (!alive)
        return ACK_NOT_ALIVE;

    /* 3. Events from the console need no answer; commands get one, and may
     *    set off a scenario waiting for them. */
    if (command) {
        answer(it->second, ctl.bound_to, sequence, msg, length, faulty, fault);
        fire_triggers(cabno, cmd->cmdtype);
    }
    return ACK_SENT;
}

/* Works out the command's completion (model, then the fault for it) and
 * queues it, possibly late, possibly broken. */
void Simulator::answer(Cabinet &cab, int msg_token, uint32_t sequence, const uint8_t *msg, uint32_t length,
                       bool faulty, const Fault &fault)
{
    const auto &cmd = *reinterpret_cast<const qmx_ecommand_t *>(msg);
    int delay = cab.delay_ms + (faulty && fault.kind == Fault::DELAY ? static_cast<int>(fault.value) : 0);
    if (cab.silent || (faulty && fault.kind == Fault::SILENT))
        return;

    /* 1. What the module answers. */
    std::vector<uint8_t> reply;
    if (faulty && fault.kind == Fault::NOT_READY) {
        reply = completion(cab, cmd, sequence, CMD_NOT_READY, 0, {});
    } else if (faulty && fault.kind == Fault::STATUS) {
        reply = completion(cab, cmd, sequence, fault.value, 0, {});
    } else if (faulty && fault.kind == Fault::FAIL) {
        reply = completion(cab, cmd, sequence, CMD_FAILED, static_cast<uint8_t>(fault.complexes.size()),
                           complex_records(cab, fault, cmd.cmdtype));
    } else if (cmd.cmdtype == CMD_STATUS) {
        uint8_t only = cmd.header.complex_type == CTYPE_CABINET ? ID_ALL : cmd.header.complex_id;
        std::vector<uint8_t> tree = status_tree(cab, only);
        if (tree.size() + sizeof(qmx_ecmdcmplt_t) > QMX_MAX_MESSAGE)
            reply = completion(cab, cmd, sequence, CMD_FAILED, 0, {});
        else
            reply = completion(cab, cmd, sequence, CMD_SUCCESS, 0, tree);
    } else if (cmd.cmdtype == CMD_POWER_ON || cmd.cmdtype == CMD_POWER_OFF || cmd.cmdtype == CMD_RESET) {
        uint32_t status = apply_power(cab, cmd.cmdtype, cmd.header.complex_type, cmd.header.complex_id,
                                      cmd.header.subcomplex, cmd.header.unit);
        reply = completion(cab, cmd, sequence, status, 0, {});
    } else if (cmd.cmdtype == CMD_HB_DETECT_ON || cmd.cmdtype == CMD_HB_DETECT_OFF) {
        reply = completion(cab, cmd, sequence, apply_hb_detect(cab, cmd.cmdtype, cmd.header.complex_id), 0, {});
    } else {
        if (cmd.cmdtype == CMD_UPDATE_CONFIG)
            cab.config_data.assign(cmd.data(), cmd.data() + (length - sizeof(qmx_ecommand_t)));
        reply = completion(cab, cmd, sequence, CMD_SUCCESS, 0, {});
    }

    /* 2. How it arrives. */
    if (faulty && fault.kind == Fault::WRONG_SEQUENCE) {
        std::vector<uint8_t> stray = reply;
        reinterpret_cast<qmx_ecmdcmplt_t *>(stray.data())->set_sequence(sequence + kWrongSequenceOffset);
        queue_frame(msg_token, frame_of(MESSAGE, 0, 0, stray.data(), static_cast<uint32_t>(stray.size())), delay);
    }
    if (faulty && fault.kind == Fault::TRUNCATE && fault.value < reply.size())
        reply.resize(fault.value);
    if (faulty && fault.kind == Fault::OVERSIZE && fault.value > reply.size())
        reply.resize(fault.value, 0xEE);
    std::vector<uint8_t> frame = frame_of(MESSAGE, 0, 0, reply.data(), static_cast<uint32_t>(reply.size()));
    if (faulty && fault.kind == Fault::BAD_FRAME)
        encode_header(frame.data(), FrameHeader{MESSAGE, static_cast<uint32_t>(reply.size()) + 64, 0, 0});
    if (faulty && fault.kind == Fault::RUNT)
        frame.resize(HEADER_SIZE / 2);
    queue_frame(msg_token, std::move(frame), delay);
}

void Simulator::queue_frame(int msg_token, std::vector<uint8_t> frame, int delay_ms)
{
    /* Frames for one connection leave in order: a later one never overtakes. */
    long long due = now_ms() + delay_ms;
    for (const Timer &t : timers_)
        if (t.msg_token == msg_token && t.due_ms > due)
            due = t.due_ms;
    if (due <= now_ms() && std::none_of(timers_.begin(), timers_.end(),
                                        [&](const Timer &t) { return t.msg_token == msg_token; })) {
        auto it = conns_.find(msg_token);
        if (it != conns_.end())
            send_packet(it->second.fd, frame);
        return;
    }
    timers_.push_back(Timer{due, msg_token, std::move(frame), {}, {}});
}

void Simulator::broadcast_event(const std::vector<uint8_t> &msg)
{
    std::vector<uint8_t> frame = frame_of(MESSAGE, 0, 0, msg.data(), static_cast<uint32_t>(msg.size()));
    for (auto &[token, conn] : conns_) {
        if (conn.kind != Conn::SERVICE || (conn.services & QMX_SERVICE_EVENTS) == 0 || !conn.has_filter)
            continue;
        if (event_passes(decode_filter(conn.filter), msg.data(), static_cast<uint32_t>(msg.size())))
            queue_frame(token, frame, 0);
    }
}

void Simulator::fire_triggers(int cabno, int cmd)
{
    auto it = cabinets.find(cabno);
    if (it == cabinets.end())
        return;
    /* Copied out first: a fired statement may add or clear `on` statements. */
    std::vector<Trigger> due;
    auto &waiting = it->second.triggers;
    for (auto t = waiting.begin(); t != waiting.end();) {
        if (t->cmd != cmd) {
            ++t;
            continue;
        }
        due.push_back(*t);
        t = t->every ? t + 1 : waiting.erase(t);
    }
    for (const Trigger &t : due) {
        ParseContext ctx;
        ctx.source = "on";
        std::string out, error = execute(t.line, ctx, out);
        if (!error.empty())
            std::cerr << "cabsim: on: " << error << "\n";
    }
}

void Simulator::schedule_line(int ms, const std::string &line)
{
    timers_.push_back(Timer{now_ms() + ms, 0, {}, line, {}});
}

void Simulator::record(const std::string &line)
{
    log_.push_back(line);
    if (log_file_ != nullptr) {
        std::fprintf(log_file_, "%s\n", line.c_str());
        std::fflush(log_file_);
    }
}

/* Runs what is due, oldest first. */
void Simulator::run_timers()
{
    long long now = now_ms();
    std::stable_sort(timers_.begin(), timers_.end(), [](const Timer &a, const Timer &b) { return a.due_ms < b.due_ms; });
    std::vector<Timer> due;
    auto split = std::find_if(timers_.begin(), timers_.end(), [&](const Timer &t) { return t.due_ms > now; });
    due.assign(std::make_move_iterator(timers_.begin()), std::make_move_iterator(split));
    timers_.erase(timers_.begin(), split);
    for (Timer &t : due) {
        if (!t.line.empty()) {
            ParseContext ctx;
            ctx.source = "after";
            std::string out, error = execute(t.line, ctx, out);
            if (!error.empty())
                std::cerr << "cabsim: after: " << error << "\n";
            continue;
        }
        if (!t.serial.empty()) {
            deliver_serial(t.serial, std::string(t.frame.begin(), t.frame.end()));
            continue;
        }
        auto it = conns_.find(t.msg_token);
        if (it != conns_.end())
            send_packet(it->second.fd, t.frame);
    }
}

int Simulator::next_timeout_ms() const
{
    if (timers_.empty())
        return -1;
    long long first = timers_.front().due_ms;
    for (const Timer &t : timers_)
        first = std::min(first, t.due_ms);
    long long left = first - now_ms();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 60000));
}

/* ---- the control channel ------------------------------------------------------- */

void Simulator::serve_ctl(Conn &conn)
{
    char buf[1024];
    ssize_t n = recv(conn.fd, buf, sizeof(buf), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        drop(conn.token);
        return;
    }
    conn.input.append(buf, static_cast<std::size_t>(n));
    int token = conn.token;
    std::size_t newline;
    while ((newline = conn.input.find('\n')) != std::string::npos) {
        std::string line = conn.input.substr(0, newline);
        conn.input.erase(0, newline + 1);
        ++conn.ctx.line;
        std::string out, error = execute(line, conn.ctx, out);
        out += error.empty() ? "ok\n" : "error: " + error + "\n";
        /* The answer is short; the client waits for it, so a blocking write
         * of it is fine. */
        const char *p = out.data();
        std::size_t left = out.size();
        while (left > 0) {
            ssize_t w = send(conn.fd, p, left, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                drop(token);
                return;
            }
            p += w;
            left -= static_cast<std::size_t>(w);
        }
    }
    if (conn.input.size() > kMaxCtlInput) {
        drop(token);
    }
}

} // namespace cabsim
