/*
 * qmx.cpp - libqmx: the client side of the cabinet management message
 * library.  Owns the application handles, their two connections to the
 * management service (see qmx_wire.h), the command numbering and the queue
 * of received messages.  Called by the engine's management-module link and
 * by the FRU procedures through the C calls of qmx.h.
 *
 * Nothing read from a socket is trusted: every frame is checked against
 * the bytes of its packet and the size limits before its payload is used,
 * every wait has a limit or is a wait the caller asked for, and a service
 * that goes away turns into QMX_EBADCONN.
 */
#include "platform/qmx/qmx.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "base/console_path.h"
#include "platform/qmx/qmx_wire.h"

using namespace qmx_wire;

int qmx_errno = QMX_EOK;

namespace {

constexpr int kMaxHandles = 16;
constexpr int kHandleBase = 0x100; /* handles are kHandleBase + 2 * slot: even */
constexpr int kDefaultAckTimeout = 10;
constexpr int kDefaultMaxQueue = 760;

using Clock = std::chrono::steady_clock;

/* One received frame, or an error to be reported in its place. */
struct Queued {
    int error = QMX_EOK;
    std::vector<uint8_t> message;
};

struct Connection {
    bool used = false;
    int msg_fd = -1;
    int ctl_fd = -1;
    bool broken = false; /* the service closed the message connection */
    int services = 0;
    qmx_rcvopts_t filter{};
    uint32_t next_sequence = 1;
    int ack_timeout = kDefaultAckTimeout;
    std::size_t max_queue = kDefaultMaxQueue;
    std::deque<Queued> queue;
};

Connection connections[kMaxHandles];

int fail(int error);
Connection *find(int handle);
int connect_service(const std::string &path);
int receive_frame(int fd, std::vector<uint8_t> &frame, FrameHeader &header);
int wait_readable(int fd, int timeout_ms);
int send_frame(int fd, const FrameHeader &header, const void *payload);
int request(Connection &c, uint32_t kind, int32_t arg, const void *payload, uint32_t length, uint32_t sequence,
            int32_t &result);
int read_welcome(int fd, int ack_timeout, int32_t &token);
void take_message(Connection &c, std::vector<uint8_t> &frame, const FrameHeader &header, int frame_error);
int fill_queue(Connection &c, int timeout_ms);
void close_connection(Connection &c);

} // namespace

/* ------------------------------------------------------------------------ */

extern "C" int qmx_init(qmx_configbuf_t *config)
{
    /* 1. A free handle and the configuration. */
    if (config == nullptr)
        return fail(QMX_EPARAM);
    int slot = 0;
    while (slot < kMaxHandles && connections[slot].used)
        ++slot;
    if (slot == kMaxHandles)
        return fail(QMX_ENOMEM);
    Connection &c = connections[slot];
    c = Connection{};
    c.ack_timeout = config->ack_timeout > 0 ? config->ack_timeout : kDefaultAckTimeout;
    c.max_queue = config->maxqueuenum > 0 ? static_cast<std::size_t>(config->maxqueuenum) : kDefaultMaxQueue;

    /* 2. The message connection, then the control connection bound to it. */
    std::string path = console_path(SOCKET_PATH);
    int32_t token = 0, ignored = 0, result = 0;
    c.msg_fd = connect_service(path);
    if (c.msg_fd < 0)
        return -1;
    c.used = true;
    if (read_welcome(c.msg_fd, c.ack_timeout, token) < 0 || (c.ctl_fd = connect_service(path)) < 0 ||
        read_welcome(c.ctl_fd, c.ack_timeout, ignored) < 0 || request(c, BIND, token, nullptr, 0, 0, result) < 0) {
        int error = qmx_errno;
        close_connection(c);
        return fail(error);
    }
    if (result != 1) {
        close_connection(c);
        return fail(QMX_ETLI);
    }
    qmx_errno = QMX_EOK;
    return kHandleBase + 2 * slot;
}

extern "C" int qmx_register(int handle, int service, qmx_rcvopts_t *opts)
{
    Connection *c = find(handle);
    if (c == nullptr || (service != QMX_SERVICE_EVENTS && service != QMX_SERVICE_COMMANDS) ||
        (service == QMX_SERVICE_EVENTS && opts == nullptr))
        return fail(QMX_EPARAM);
    uint8_t filter[FILTER_SIZE] = {};
    uint32_t length = 0;
    if (service == QMX_SERVICE_EVENTS) {
        encode_filter(filter, *opts);
        length = FILTER_SIZE;
    }
    int32_t result = 0;
    if (request(*c, REGISTER, service, filter, length, 0, result) < 0)
        return -1;
    if (result < 0)
        return fail(-result);
    if (service == QMX_SERVICE_EVENTS)
        c->filter = *opts;
    c->services |= service;
    qmx_errno = QMX_EOK;
    return c->services;
}

extern "C" int qmx_getfdnum(int handle)
{
    return find(handle) != nullptr ? 1 : fail(QMX_EPARAM);
}

extern "C" int qmx_getfd(int handle, int *fds)
{
    Connection *c = find(handle);
    if (c == nullptr || fds == nullptr)
        return fail(QMX_EPARAM);
    fds[0] = c->msg_fd;
    return 1;
}

extern "C" int qmx_sendcmd(int handle, void *msg, int len, unsigned long *sequence)
{
    /* 1. A registered handle and a whole message: header, command, data. */
    Connection *c = find(handle);
    if (c == nullptr || msg == nullptr || len < static_cast<int>(sizeof(qmx_ecommand_t)) ||
        len > QMX_MAX_MESSAGE)
        return fail(QMX_EPARAM);
    const auto *command = static_cast<const qmx_ecommand_t *>(msg);
    if (static_cast<int>(sizeof(qmx_ecommand_t)) + command->get_datalen() != len)
        return fail(QMX_EPARAM);
    if ((c->services & QMX_SERVICE_COMMANDS) == 0)
        return fail(QMX_ESTATE);
    if (c->broken)
        return fail(QMX_EBADCONN);

    /* 2. Number it (never 0) and hand it to the service. */
    uint32_t number = c->next_sequence++;
    if (c->next_sequence == 0)
        c->next_sequence = 1;
    int32_t result = 0;
    if (request(*c, SEND, 0, msg, static_cast<uint32_t>(len), number, result) < 0)
        return -1;

    /* 3. Sent, not alive, or refused. */
    if (result == ACK_NOT_ALIVE) {
        qmx_errno = QMX_EOK;
        return 0;
    }
    if (result < 0)
        return fail(-result);
    if (sequence != nullptr)
        *sequence = number;
    qmx_errno = QMX_EOK;
    return len;
}

extern "C" int qmx_recvmsg(int handle, void *buf, int buflen, int timeout, int *queue_count)
{
    Connection *c = find(handle);
    if (queue_count != nullptr)
        *queue_count = 0;
    if (c == nullptr || buf == nullptr || buflen <= 0 || timeout < -1)
        return fail(QMX_EPARAM);

    /* 1. Wait for something to report: a message, or an error in its place. */
    if (c->queue.empty()) {
        if (c->broken)
            return fail(QMX_EBADCONN);
        int timeout_ms = timeout < 0 ? -1 : timeout * 1000;
        int got = fill_queue(*c, timeout_ms);
        if (got < 0)
            return -1;
    }

    /* 2. Take the first. */
    Queued item = std::move(c->queue.front());
    c->queue.pop_front();
    if (queue_count != nullptr)
        *queue_count = static_cast<int>(c->queue.size());
    if (item.error != QMX_EOK)
        return fail(item.error);
    if (item.message.size() > static_cast<std::size_t>(buflen))
        return fail(QMX_ETRUNC);
    std::memcpy(buf, item.message.data(), item.message.size());
    qmx_errno = QMX_EOK;
    return static_cast<int>(item.message.size());
}

extern "C" int qmx_deregister(int handle, int service)
{
    Connection *c = find(handle);
    if (c == nullptr || (service != QMX_ALL_SERVICES && service != QMX_SERVICE_EVENTS &&
                         service != QMX_SERVICE_COMMANDS))
        return fail(QMX_EPARAM);
    int released = c->services & (service == QMX_ALL_SERVICES ? (QMX_SERVICE_EVENTS | QMX_SERVICE_COMMANDS) : service);
    /* The service forgets the registrations with the connection anyway; its
     * answer only matters while it is there. */
    int32_t result = 0;
    if (released != 0 && !c->broken)
        request(*c, DEREGISTER, released, nullptr, 0, 0, result);
    c->services &= ~released;
    qmx_errno = QMX_EOK;
    return released;
}

extern "C" int qmx_close(int handle)
{
    Connection *c = find(handle);
    if (c == nullptr)
        return fail(QMX_EPARAM);
    close_connection(*c);
    qmx_errno = QMX_EOK;
    return 0;
}

/* ------------------------------------------------------------------------ */

namespace {

int fail(int error)
{
    qmx_errno = error;
    return -1;
}

Connection *find(int handle)
{
    int offset = handle - kHandleBase;
    if (offset < 0 || offset % 2 != 0 || offset / 2 >= kMaxHandles)
        return nullptr;
    Connection &c = connections[offset / 2];
    return c.used ? &c : nullptr;
}

int connect_service(const std::string &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return fail(QMX_ENOSERVICE);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(QMX_ESYS);
    int result;
    do
        result = connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    while (result < 0 && errno == EINTR);
    if (result < 0) {
        int error = errno;
        close(fd);
        errno = error;
        return fail(error == ENOENT || error == ECONNREFUSED ? QMX_ENOSERVICE : QMX_ESYS);
    }
    return fd;
}

/* Waits until fd is readable: 1 ready, 0 time-out, -1 error (qmx_errno). */
int wait_readable(int fd, int timeout_ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        int wait_ms = -1;
        if (timeout_ms >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait_ms = left > 0 ? static_cast<int>(left) : 0;
        }
        pollfd pf{fd, POLLIN, 0};
        int n = poll(&pf, 1, wait_ms);
        if (n > 0)
            return 1;
        if (n == 0)
            return 0;
        if (errno == EINTR)
            return fail(QMX_EINTR);
        return fail(QMX_ESYS);
    }
}

/* Reads one packet and checks it as a frame.  Returns QMX_EOK with the
 * frame in `frame` (header included), a frame error (QMX_EBADDATA,
 * QMX_ETRUNC: the packet is consumed and dropped), or -1 when the service is
 * gone or the read failed (qmx_errno set). */
int receive_frame(int fd, std::vector<uint8_t> &frame, FrameHeader &header)
{
    frame.resize(MAX_FRAME + 1);
    ssize_t n;
    do
        n = recv(fd, frame.data(), frame.size(), MSG_DONTWAIT | MSG_TRUNC);
    while (n < 0 && errno == EINTR);
    if (n == 0)
        return fail(QMX_EBADCONN);
    if (n < 0)
        return fail(errno == ECONNRESET ? QMX_EBADCONN : QMX_ESYS);
    /* A packet larger than any frame was cut off by the read (MSG_TRUNC
     * reports its real size); check_frame rejects it on that size alone. */
    int error = check_frame(frame.data(), static_cast<std::size_t>(n), header);
    if (error == QMX_EOK)
        frame.resize(static_cast<std::size_t>(n));
    return error;
}

int send_frame(int fd, const FrameHeader &header, const void *payload)
{
    std::vector<uint8_t> frame(HEADER_SIZE + header.length);
    encode_header(frame.data(), header);
    if (header.length != 0)
        std::memcpy(frame.data() + HEADER_SIZE, payload, header.length);
    ssize_t n;
    do
        n = send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(frame.size()))
        return 0;
    return fail(n < 0 && (errno == EPIPE || errno == ECONNRESET) ? QMX_EBADCONN : QMX_ESYS);
}

int read_welcome(int fd, int ack_timeout, int32_t &token)
{
    int ready = wait_readable(fd, ack_timeout * 1000);
    if (ready <= 0)
        return ready == 0 ? fail(QMX_ETIMEOUT) : -1;
    std::vector<uint8_t> frame;
    FrameHeader header{};
    int error = receive_frame(fd, frame, header);
    if (error < 0)
        return -1;
    if (error != QMX_EOK || header.kind != WELCOME)
        return fail(error != QMX_EOK ? error : QMX_EBADDATA);
    token = header.arg;
    return 0;
}

/* One control request and its acknowledgement, within ack_timeout.  Frames
 * that are not the awaited ACK are dropped. */
int request(Connection &c, uint32_t kind, int32_t arg, const void *payload, uint32_t length, uint32_t sequence,
            int32_t &result)
{
    if (send_frame(c.ctl_fd, FrameHeader{kind, length, sequence, arg}, payload) < 0)
        return -1;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(c.ack_timeout);
    std::vector<uint8_t> frame;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        int ready = wait_readable(c.ctl_fd, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0)
            return -1;
        if (ready == 0)
            return fail(QMX_ETIMEOUT);
        FrameHeader header{};
        int error = receive_frame(c.ctl_fd, frame, header);
        if (error < 0)
            return -1;
        if (error == QMX_EOK && header.kind == ACK && header.sequence == sequence) {
            result = header.arg;
            return 0;
        }
    }
}

/* Queues what one frame of the message connection means for the
 * application: a message it registered for, an error, or nothing. */
void take_message(Connection &c, std::vector<uint8_t> &frame, const FrameHeader &header, int frame_error)
{
    if (frame_error != QMX_EOK) {
        c.queue.push_back(Queued{frame_error, {}});
        return;
    }
    if (header.kind != MESSAGE)
        return;
    uint32_t length = header.length;
    const uint8_t *message = frame.data() + HEADER_SIZE;
    if (length < sizeof(qmx_event_t)) {
        c.queue.push_back(Queued{QMX_EBADDATA, {}});
        return;
    }
    bool completion = reinterpret_cast<const qmx_event_t *>(message)->get_event_type() == QMX_EVENT_CMDCMPLT;
    bool wanted = completion ? (c.services & QMX_SERVICE_COMMANDS) != 0
                             : (c.services & QMX_SERVICE_EVENTS) != 0 && event_passes(c.filter, message, length);
    if (wanted)
        c.queue.push_back(Queued{QMX_EOK, std::vector<uint8_t>(message, message + length)});
}

/* Waits up to timeout_ms (-1: without limit) until the queue holds an
 * entry, then also takes every frame that has already arrived (up to the
 * queue limit).  0 with a non-empty queue; -1 with qmx_errno otherwise. */
int fill_queue(Connection &c, int timeout_ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    std::vector<uint8_t> frame;
    while (c.queue.empty()) {
        int wait_ms = -1;
        if (timeout_ms >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait_ms = left > 0 ? static_cast<int>(left) : 0;
        }
        int ready = wait_readable(c.msg_fd, wait_ms);
        if (ready < 0)
            return -1;
        if (ready == 0)
            return fail(QMX_ETIMEOUT);
        FrameHeader header{};
        int error = receive_frame(c.msg_fd, frame, header);
        if (error < 0) {
            if (qmx_errno == QMX_EBADCONN)
                c.broken = true;
            return -1;
        }
        take_message(c, frame, header, error);
    }
    /* Whatever else has arrived is counted for the caller's queue count. */
    while (c.queue.size() < c.max_queue && !c.broken && wait_readable(c.msg_fd, 0) == 1) {
        FrameHeader header{};
        int error = receive_frame(c.msg_fd, frame, header);
        if (error < 0) {
            if (qmx_errno == QMX_EBADCONN) {
                c.broken = true;
                c.queue.push_back(Queued{QMX_EBADCONN, {}});
            }
            break;
        }
        take_message(c, frame, header, error);
    }
    return 0;
}

void close_connection(Connection &c)
{
    if (c.msg_fd >= 0)
        close(c.msg_fd);
    if (c.ctl_fd >= 0)
        close(c.ctl_fd);
    c = Connection{};
}

} // namespace
