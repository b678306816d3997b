/*
 * fifo.cpp - message builders and accessors, the pipe operations, the log
 * message, and the alarms that bound every wait on a pipe (see fifo.h).
 *
 * Time-outs and destructors: a request's SIGALRM handler leaves the blocking
 * call with siglongjmp.  Only guarded_read, guarded_write and guarded_poll
 * open the window in which it may jump, and they are called only from
 * FIFO_InputProc, FIFO_OutputProc and read_fully, whose frames hold plain
 * data alone (no std::string, no owning pointer).  Whatever they allocate is
 * recorded in the module's state, so the request's recovery frees it.
 */
#include "daemon/fifo.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/console_path.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "daemon/message.h"

namespace {

/* Catalogue "nxlib", set 2. */
constexpr int NX_SET_FIFO = 2;

constexpr unsigned kOpenTimeout = 60;
constexpr unsigned kDrainTimeout = 2;

/* Request time-out state, shared with the SIGALRM handler. */
sigjmp_buf *volatile recovery_point = nullptr;
volatile sig_atomic_t in_blocking_call = 0;
volatile sig_atomic_t timeout_expired = 0;
void *volatile interrupted_input = nullptr;

/* Set by the drain's own alarm. */
volatile sig_atomic_t drain_expired = 0;

void open_timeout_isr(int sig);
void drain_timeout_isr(int sig);
void jump_if_expired();
ssize_t guarded_read(int fd, void *buf, std::size_t size);
ssize_t guarded_write(int fd, const void *buf, std::size_t size);
int guarded_poll(int fd, short events);
int read_fully(int fd, char *buf, std::size_t size);
void drain_fifo(int fd);
IPC_Message_t *allocate_message(const char *builder, int type, const char *address, int length);
bool is_fifo_path(const char *path);

} // namespace

/* ------------------------------------------------------------------------ */
/* Fixed fields */

void SetMessageField(char *field, std::size_t size, std::string_view text, bool terminated)
{
    std::size_t room = terminated ? size - 1 : size;
    std::size_t n = text.size() < room ? text.size() : room;
    if (n > 0)
        std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

std::string_view MessageField(const char *field, std::size_t size)
{
    return std::string_view(field, strnlen(field, size));
}

/* ------------------------------------------------------------------------ */
/* Builders */

namespace {

/* A zeroed message of `length` bytes (the allocation is rounded up to the
 * record's alignment), header filled in. */
IPC_Message_t *allocate_message(const char *builder, int type, const char *address, int length)
{
    std::size_t size = (static_cast<std::size_t>(length) + 3u) & ~std::size_t{3};
    auto *msg = static_cast<IPC_Message_t *>(nxs_malloc(size));
    if (msg == nullptr)
        return nullptr;
    std::memset(msg, 0, size);
    msg->Type = type;
    msg->Length = length;
    SetMessageField(msg->Address, sizeof msg->Address, address != nullptr ? address : "");
    dprint(5, "%s: allocated %d byte buffer for message at %lx\n", builder, length,
           static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(msg)));
    return msg;
}

std::string_view text_or_empty(const char *text)
{
    return text != nullptr ? std::string_view(text) : std::string_view();
}

} // namespace

IPC_Message_t *BuildPortMessage(int type, const char *address, const char *processor, const char *requestID)
{
    IPC_Message_t *msg = allocate_message("BuildPortMessage", type, address, PORT_MESSAGE_LENGTH);
    if (msg == nullptr)
        return nullptr;
    auto *body = reinterpret_cast<PortMessage_t *>(msg);
    SetMessageField(body->RequestID, sizeof body->RequestID, text_or_empty(requestID));
    SetMessageField(body->Processor, sizeof body->Processor, text_or_empty(processor));
    return msg;
}

IPC_Message_t *BuildManyPortMessage(int type, const char *address, const char *requestID,
                                    const PortRequest_t *requests, int count)
{
    if (count < 0 || count > FIFO_MAX_PORT_REQUESTS || (count > 0 && requests == nullptr))
        return nullptr;
    IPC_Message_t *msg = allocate_message("BuildManyPortMessage", type, address, ManyPortMessageLength(count));
    if (msg == nullptr)
        return nullptr;
    auto *body = reinterpret_cast<ManyPortMessage_t *>(msg);
    SetMessageField(body->RequestID, sizeof body->RequestID, text_or_empty(requestID));
    body->Count = count;
    if (count > 0)
        std::memcpy(reinterpret_cast<char *>(msg) + MANY_PORT_HEAD_SIZE, requests,
                    sizeof(PortRequest_t) * static_cast<std::size_t>(count));
    return msg;
}

IPC_Message_t *BuildFreeAllPortsMessage(const char *address, const char *requestID)
{
    IPC_Message_t *msg =
        allocate_message("BuildFreeAllPortsMessage", FREE_ALL_PORTS_MSG, address, FREE_ALL_MESSAGE_LENGTH);
    if (msg == nullptr)
        return nullptr;
    auto *body = reinterpret_cast<FreeAllPortsMessage_t *>(msg);
    SetMessageField(body->RequestID, sizeof body->RequestID, text_or_empty(requestID));
    return msg;
}

IPC_Message_t *BuildLogMessage(int type, const char *address, const char *nodeName, int nodeType,
                               const char *component, std::time_t time, const char *text)
{
    std::size_t text_length = text != nullptr ? std::strlen(text) : 0;
    if (text_length >= static_cast<std::size_t>(FIFO_MAX_MESSAGE))
        return nullptr; /* could never be written whole; also keeps the int arithmetic exact */
    int length = LOG_HEAD_SIZE + static_cast<int>(text_length) + 1;
    IPC_Message_t *msg = allocate_message("BuildLogMessage", type, address, length);
    if (msg == nullptr)
        return nullptr;
    auto *body = reinterpret_cast<LogMessage_t *>(msg);
    SetMessageField(body->NodeName, sizeof body->NodeName, text_or_empty(nodeName));
    body->NodeType = nodeType;
    SetMessageField(body->ComponentName, sizeof body->ComponentName, text_or_empty(component));
    body->ArrivalTime = static_cast<std::int32_t>(time > 0 ? time : std::time(nullptr));
    body->TextLength = static_cast<std::int32_t>(text_length + 1);
    if (text_length > 0)
        std::memcpy(reinterpret_cast<char *>(msg) + LOG_HEAD_SIZE, text, text_length);
    return msg;
}

IPC_Message_t *BuildTextMessage(const char *address, const char *text)
{
    std::size_t text_length = text != nullptr ? std::strlen(text) : 0;
    if (text_length >= static_cast<std::size_t>(FIFO_MAX_MESSAGE))
        return nullptr;
    int length = text_length == 0 ? IPC_HEADER_SIZE : IPC_HEADER_SIZE + static_cast<int>(text_length) + 1;
    IPC_Message_t *msg = allocate_message("BuildTextMessage", ANSWER_MSG, address, length);
    if (msg != nullptr && text_length > 0)
        std::memcpy(reinterpret_cast<char *>(msg) + IPC_HEADER_SIZE, text, text_length);
    return msg;
}

/* ------------------------------------------------------------------------ */
/* Accessors */

int MessageSize(const IPC_Message_t *msg)
{
    if (msg == nullptr)
        return 0;
    return msg->Length > IPC_HEADER_SIZE ? msg->Length : IPC_HEADER_SIZE;
}

PortRequest_t *GetPortsMessage(IPC_Message_t *msg)
{
    if (msg == nullptr || MessageSize(msg) < MANY_PORT_HEAD_SIZE)
        return nullptr;
    return reinterpret_cast<PortRequest_t *>(reinterpret_cast<char *>(msg) + MANY_PORT_HEAD_SIZE);
}

int GetCountMessage(const IPC_Message_t *msg)
{
    if (msg == nullptr || MessageSize(msg) < MANY_PORT_HEAD_SIZE)
        return 0;
    int count = reinterpret_cast<const ManyPortMessage_t *>(msg)->Count;
    int room = (MessageSize(msg) - MANY_PORT_HEAD_SIZE) / static_cast<int>(sizeof(PortRequest_t));
    if (count < 0)
        return 0;
    return count < room ? count : room;
}

char *StringPart(const IPC_Message_t *msg)
{
    if (msg == nullptr)
        return nullptr;
    std::size_t size = static_cast<std::size_t>(MessageSize(msg) - IPC_HEADER_SIZE);
    auto *text = static_cast<char *>(nxs_malloc(size + 1));
    if (text == nullptr)
        return nullptr;
    std::memcpy(text, reinterpret_cast<const char *>(msg) + IPC_HEADER_SIZE, size);
    text[size] = '\0';
    return text;
}

/* ------------------------------------------------------------------------ */
/* Alarms */

void FIFO_ReplaceAlarm(void (*handler)(int), unsigned seconds, FIFO_SavedAlarm *saved)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; /* no SA_RESTART: the alarm must end a blocked call */
    clock_gettime(CLOCK_MONOTONIC, &saved->started);
    sigaction(SIGALRM, &action, &saved->action);
    /* Only the daemon's own time limit follows the test time scale; the
     * caller's pending alarm is given back unscaled. */
    saved->remaining = alarm(scaled_seconds(seconds));
}

void FIFO_RestoreAlarm(const FIFO_SavedAlarm *saved)
{
    alarm(0);
    sigaction(SIGALRM, &saved->action, nullptr);
    if (saved->remaining == 0)
        return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long spent = static_cast<long>(now.tv_sec - saved->started.tv_sec);
    long left = static_cast<long>(saved->remaining) - spent;
    alarm(left > 0 ? static_cast<unsigned>(left) : 1u);
}

void FIFO_EnterTimeout(sigjmp_buf *point, FIFO_TimeoutState *outer)
{
    outer->point = recovery_point;
    outer->in_blocking_call = in_blocking_call;
    outer->expired = timeout_expired;
    outer->input = interrupted_input;
    in_blocking_call = 0;
    timeout_expired = 0;
    interrupted_input = nullptr;
    recovery_point = point;
}

void FIFO_LeaveTimeout(const FIFO_TimeoutState *outer)
{
    recovery_point = nullptr;
    std::free(interrupted_input);
    interrupted_input = outer->input;
    timeout_expired = outer->expired;
    in_blocking_call = outer->in_blocking_call;
    recovery_point = outer->point;
}

void FIFO_TimeoutHandler(int)
{
    timeout_expired = 1;
    if (in_blocking_call && recovery_point != nullptr) {
        in_blocking_call = 0;
        siglongjmp(*recovery_point, 1);
    }
}

namespace {

void open_timeout_isr(int)
{
    /* dprint(1, ...) without stdio: the handler may interrupt it. */
    static constexpr char kTrace[] = " Timeout_ISR: timeout\n";
    if (debug >= 1) {
        ssize_t ignored = write(STDOUT_FILENO, kTrace, sizeof kTrace - 1);
        (void)ignored;
    }
}

void drain_timeout_isr(int)
{
    drain_expired = 1;
}

void jump_if_expired()
{
    if (timeout_expired && recovery_point != nullptr) {
        in_blocking_call = 0;
        siglongjmp(*recovery_point, 1);
    }
}

ssize_t guarded_read(int fd, void *buf, std::size_t size)
{
    in_blocking_call = 1;
    jump_if_expired();
    ssize_t got = read(fd, buf, size);
    int saved = errno;
    in_blocking_call = 0;
    errno = saved;
    return got;
}

ssize_t guarded_write(int fd, const void *buf, std::size_t size)
{
    in_blocking_call = 1;
    jump_if_expired();
    ssize_t put = write(fd, buf, size);
    int saved = errno;
    in_blocking_call = 0;
    errno = saved;
    return put;
}

int guarded_poll(int fd, short events)
{
    struct pollfd pfd = {fd, events, 0};
    in_blocking_call = 1;
    jump_if_expired();
    int ready = poll(&pfd, 1, -1);
    int saved = errno;
    in_blocking_call = 0;
    errno = saved;
    return ready;
}

/* Reads exactly size bytes, through partial reads, interrupted reads and
 * (on a non-blocking pipe) waits for more.  0, or the errno of the failure
 * (-1 when the writers went away first). */
int read_fully(int fd, char *buf, std::size_t size)
{
    std::size_t have = 0;
    while (have < size) {
        ssize_t got = guarded_read(fd, buf + have, size - have);
        if (got > 0) {
            have += static_cast<std::size_t>(got);
        } else if (got == 0) {
            return -1;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            guarded_poll(fd, POLLIN);
        } else if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

/* Out of step: throw away 48-byte blocks until the pipe has nothing more to
 * give within two seconds. */
void drain_fifo(int fd)
{
    FIFO_SavedAlarm saved;
    drain_expired = 0;
    FIFO_ReplaceAlarm(drain_timeout_isr, kDrainTimeout, &saved);
    char block[IPC_HEADER_SIZE];
    while (!drain_expired && read(fd, block, sizeof block) > 0) {
    }
    FIFO_RestoreAlarm(&saved);
}

/* Something other than a FIFO (a file, a link, a directory) at path. */
bool is_fifo_path(const char *path)
{
    struct stat st;
    return lstat(path, &st) == 0 && S_ISFIFO(st.st_mode);
}

} // namespace

/* ------------------------------------------------------------------------ */
/* Pipe operations */

int FIFO_OpenProc(const char *path, int flags)
{
    std::string full = console_path(path != nullptr ? path : "");
    int mode = flags & (O_ACCMODE | O_NONBLOCK);
    bool reply_pipe = (mode & O_ACCMODE) == O_RDWR;

    /* 1. A reply pipe is made first; something else already there is refused. */
    if (reply_pipe) {
        mode_t old_mask = umask(0);
        int made = mknod(full.c_str(), S_IFIFO | 0666, 0);
        int error = errno;
        umask(old_mask);
        if (made != 0 && (error != EEXIST || !is_fifo_path(full.c_str()))) {
            SetSeverity(SEV_ERROR);
            DisplayMsg(nx_msg(NX_SET_FIFO, 1, "FIFO_Open: cannot create fifo \"%s\": errno = %d\n"), full.c_str(),
                       error);
            return -1;
        }
    }

    /* 2. Open under the alarm, never through a link. */
    FIFO_SavedAlarm saved;
    FIFO_ReplaceAlarm(open_timeout_isr, kOpenTimeout, &saved);
    int fd = open(full.c_str(), mode | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    FIFO_RestoreAlarm(&saved);

    /* 3. What was opened must be a FIFO, and a reply pipe must be ours. */
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode) || (reply_pipe && st.st_uid != geteuid())) {
            close(fd);
            fd = -1;
            error = EEXIST;
        }
    }
    if (fd < 0) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_FIFO, 2, "FIFO_Open: cannot open fifo \"%s\": errno = %d\n"), full.c_str(), error);
        return -1;
    }
    return fd;
}

void FIFO_CloseProc(int fd)
{
    if (fd >= 0)
        close(fd);
}

int FIFO_OutputProc(int fd, const void *msg, int size)
{
    /* One write keeps a message whole only up to PIPE_BUF. */
    ssize_t put = -1;
    int error = EMSGSIZE;
    if (msg != nullptr && size >= IPC_HEADER_SIZE && size <= FIFO_MAX_MESSAGE) {
        /* A reader that went away must give EPIPE, not end the program. */
        sigset_t pipe_signal, old_mask;
        sigemptyset(&pipe_signal);
        sigaddset(&pipe_signal, SIGPIPE);
        sigprocmask(SIG_BLOCK, &pipe_signal, &old_mask);
        put = guarded_write(fd, msg, static_cast<std::size_t>(size));
        error = put < 0 ? errno : EIO;
        if (put < 0 && error == EPIPE) {
            struct timespec no_wait = {0, 0};
            sigtimedwait(&pipe_signal, nullptr, &no_wait);
        }
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    }
    if (put != size) {
        SetSeverity(SEV_WARNING);
        DisplayMsg(nx_msg(NX_SET_FIFO, 3, "FIFO_Output: cannot write fifo %d message: errno = %d\n"), fd, error);
        return -1;
    }
    return size;
}

IPC_Message_t *FIFO_InputProc(int fd)
{
    IPC_Message_t header;
    char *const head = reinterpret_cast<char *>(&header);

    /* 1. The header.  Nothing there, or an interrupted read: no message.  A
     *    header that arrives in pieces is completed, since its first bytes
     *    are already out of the pipe. */
    ssize_t got = guarded_read(fd, head, IPC_HEADER_SIZE);
    if (got <= 0) {
        if (got < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            SetSeverity(SEV_WARNING);
            DisplayMsg(nx_msg(NX_SET_FIFO, 4, "FIFO_Input: cannot read fifo message for fifo %d:errno = %d\n"), fd,
                       errno);
        }
        return nullptr;
    }
    if (got < IPC_HEADER_SIZE && read_fully(fd, head + got, static_cast<std::size_t>(IPC_HEADER_SIZE - got)) != 0)
        return nullptr;

    /* 2. A type no sender uses, or a length no single write can carry: the
     *    pipe is out of step.  Checked before anything is allocated. */
    if (header.Type < FIFO_LOWEST_TYPE || header.Type > FIFO_HIGHEST_TYPE || header.Length > FIFO_MAX_MESSAGE) {
        drain_fifo(fd);
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_FIFO, 5, "FIFO_Input: fifo %d corrupted. Possible loss of FIFO message"), fd);
        return nullptr;
    }

    /* 3. The header alone. */
    int length = header.Length > IPC_HEADER_SIZE ? header.Length : IPC_HEADER_SIZE;
    auto *msg = static_cast<char *>(nxs_malloc(static_cast<std::size_t>(length)));
    if (msg == nullptr)
        return nullptr;
    std::memcpy(msg, head, IPC_HEADER_SIZE);
    if (length == IPC_HEADER_SIZE)
        return reinterpret_cast<IPC_Message_t *>(msg);

    /* 4. The rest, however it arrives. */
    interrupted_input = msg;
    int error = read_fully(fd, msg + IPC_HEADER_SIZE, static_cast<std::size_t>(length - IPC_HEADER_SIZE));
    interrupted_input = nullptr;
    if (error != 0) {
        SetSeverity(SEV_WARNING);
        DisplayMsg(nx_msg(NX_SET_FIFO, 6, "FIFO_Input: Cannot read fifo %d message: errno = %d\n"), fd,
                   error > 0 ? error : 0);
        std::free(msg);
        return nullptr;
    }
    return reinterpret_cast<IPC_Message_t *>(msg);
}

int LogMessage(const char *nodeName, int nodeType, const char *component, std::time_t time, const char *text)
{
    int fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_WRONLY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    MessagePtr msg(BuildLogMessage(LOG_MSG, DAEMON_FIFO_PATH, nodeName, nodeType, component, time, text));
    int written = msg ? FIFO_OutputProc(fd, msg.get(), msg->Length) : -1;
    FIFO_CloseProc(fd);
    return written < 0 ? -1 : 0;
}
