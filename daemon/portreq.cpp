/*
 * portreq.cpp - the port requests: one guarded round trip with the log
 * daemon per operation (see portreq.h).
 *
 * The time-out is an alarm whose handler jumps back into the request
 * (FIFO_TimeoutHandler).  Everything a request holds lives in a plain record
 * of this module, not in locals, so the recovery path finds it after the
 * jump: the two descriptors, the request not yet freed, the answer being
 * read (fifo.cpp keeps a body it was filling).  The jump leaves only frames
 * of FIFO_InputProc and FIFO_OutputProc, which own nothing with a
 * destructor.  A port return from a fatal-signal handler may start a request
 * while another is waiting; each level of nesting has its own record.
 */
#include "daemon/portreq.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/console_path.h"
#include "daemon/message.h"

namespace {

/* Catalogue "nxlib", set 6. */
constexpr int NX_SET_PORTS = 6;

constexpr int kMaxNesting = 2;
constexpr std::size_t kReplyPathSize = 64;

struct Request {
    sigjmp_buf recovery;
    FIFO_TimeoutState outer;
    FIFO_SavedAlarm alarm;
    int daemon_fd;
    int reply_fd;
    IPC_Message_t *request;
    IPC_Message_t *answer;
    char reply_path[kReplyPathSize];
};

Request requests[kMaxNesting];
volatile sig_atomic_t depth = 0;

/* The daemon's pipe as last opened and this process's reply pipe name,
 * kept for FreeAllMyPortsNoWait, which cannot resolve or format a path
 * inside a signal handler.  Empty until a first request. */
char daemon_pipe_path[PATH_MAX];
char signal_reply_path[kReplyPathSize];

void reply_fifo_name(char *path, std::size_t size);
void close_request(Request *rq);
int round_trip(IPC_Message_t *msg, unsigned seconds, IPC_Message_t **answer);
int many_port_request(int type, const char *requestID, PortRequest_t *ports, int *count);
int text_request(IPC_Message_t *msg, unsigned seconds, const char *unknown_type_text, int text_number);

/* "xrackmon.<pid>", set before main. */
struct RequestIdInit {
    RequestIdInit() { std::snprintf(get_free_port_id, sizeof get_free_port_id, "xrackmon.%d", int(getpid())); }
} request_id_init;

} // namespace

char get_free_port_id[REQUEST_ID_SIZE];

/* ------------------------------------------------------------------------ */

namespace {

void reply_fifo_name(char *path, std::size_t size)
{
    std::snprintf(path, size, "%s%d", REPLY_FIFO_PREFIX, int(getpid()));
}

/* Closes both pipes, removes the reply pipe (unless a request this one
 * interrupted still waits on it), frees what is still held.  The pipe goes
 * also when its open failed after it was made; only a FIFO of ours is
 * removed, never whatever else sits at the path. */
void close_request(Request *rq)
{
    FIFO_CloseProc(rq->daemon_fd);
    FIFO_CloseProc(rq->reply_fd);
    if (rq == &requests[0]) {
        std::string path = console_path(rq->reply_path);
        struct stat info;
        if (lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode) && info.st_uid == geteuid())
            unlink(path.c_str());
    }
    std::free(rq->request);
    std::free(rq->answer);
    rq->daemon_fd = -1;
    rq->reply_fd = -1;
    rq->request = nullptr;
    rq->answer = nullptr;
}

/* Sends msg (taking it) and reads one answer into *answer (malloc'd, the
 * caller frees it).  0 with an answer, -1, or -2 on time-out. */
int round_trip(IPC_Message_t *msg, unsigned seconds, IPC_Message_t **answer)
{
    *answer = nullptr;
    if (msg == nullptr || depth >= kMaxNesting) {
        std::free(msg);
        return -1;
    }
    Request *const rq = &requests[depth];
    depth = depth + 1;
    rq->daemon_fd = -1;
    rq->reply_fd = -1;
    rq->request = msg;
    rq->answer = nullptr;
    reply_fifo_name(rq->reply_path, sizeof rq->reply_path);

    /* 1. Both pipes. */
    std::snprintf(daemon_pipe_path, sizeof daemon_pipe_path, "%s", console_path(DAEMON_FIFO_PATH).c_str());
    std::memcpy(signal_reply_path, rq->reply_path, sizeof signal_reply_path);
    rq->daemon_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_WRONLY);
    if (rq->daemon_fd >= 0)
        rq->reply_fd = FIFO_OpenProc(rq->reply_path, O_RDWR);
    if (rq->daemon_fd < 0 || rq->reply_fd < 0) {
        close_request(rq);
        depth = depth - 1;
        return -1;
    }

    /* 2. The recovery point for the time-out. */
    if (sigsetjmp(rq->recovery, 1) != 0) {
        alarm(0);
        FIFO_LeaveTimeout(&rq->outer);
        FIFO_RestoreAlarm(&rq->alarm);
        close_request(rq);
        depth = depth - 1;
        return -2;
    }
    FIFO_EnterTimeout(&rq->recovery, &rq->outer);
    FIFO_ReplaceAlarm(FIFO_TimeoutHandler, seconds, &rq->alarm);

    /* 3. Request out, answer in. */
    int written = FIFO_OutputProc(rq->daemon_fd, rq->request, rq->request->Length);
    std::free(rq->request);
    rq->request = nullptr;
    if (written >= 0)
        rq->answer = FIFO_InputProc(rq->reply_fd);

    /* 4. Alarm and handler back, pipes closed. */
    alarm(0);
    FIFO_LeaveTimeout(&rq->outer);
    FIFO_RestoreAlarm(&rq->alarm);
    *answer = rq->answer;
    rq->answer = nullptr;
    close_request(rq);
    depth = depth - 1;
    return *answer != nullptr ? 0 : -1;
}

/* Types 18 and 19: entries answered are copied back in order. */
int many_port_request(int type, const char *requestID, PortRequest_t *ports, int *count)
{
    if (count == nullptr)
        return -1;
    char reply_path[kReplyPathSize];
    reply_fifo_name(reply_path, sizeof reply_path);
    IPC_Message_t *raw = nullptr;
    int result = round_trip(BuildManyPortMessage(type, reply_path, requestID, ports, *count), PORT_REQUEST_TIMEOUT,
                            &raw);
    MessagePtr answer(raw);
    if (result != 0)
        return result;
    if (answer->Type != ANSWER_MSG) {
        SetSeverity(SEV_ERROR);
        if (type == GET_MANY_PORTS_MSG)
            DisplayMsg(nx_msg(NX_SET_PORTS, 1, "GetPort: unknown message type %d from FIFO\n"), answer->Type);
        else
            DisplayMsg(nx_msg(NX_SET_PORTS, 2, "FreePort: unknown message type %d from FIFO\n"), answer->Type);
        return -1;
    }
    int answered = GetCountMessage(answer.get());
    int n = answered < *count ? answered : *count;
    const char *entries = reinterpret_cast<const char *>(GetPortsMessage(answer.get()));
    for (int i = 0; i < n; ++i) {
        PortRequest_t entry;
        std::memcpy(&entry, entries + sizeof(PortRequest_t) * static_cast<std::size_t>(i), sizeof entry);
        ports[i].Valid = entry.Valid;
        std::memcpy(ports[i].Processor, entry.Processor, sizeof entry.Processor);
        std::memcpy(ports[i].Result, entry.Result, sizeof entry.Result);
    }
    *count = n;
    return 0;
}

/* Types 5 and 20: 0 when the answer's text begins with "S". */
int text_request(IPC_Message_t *msg, unsigned seconds, const char *unknown_type_text, int text_number)
{
    IPC_Message_t *raw = nullptr;
    int result = round_trip(msg, seconds, &raw);
    MessagePtr answer(raw);
    if (result != 0)
        return result;
    if (answer->Type != ANSWER_MSG) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_PORTS, text_number, unknown_type_text), answer->Type);
        return -1;
    }
    char *text = StringPart(answer.get());
    int verdict = (text != nullptr && text[0] == 'S') ? 0 : -1;
    std::free(text);
    return verdict;
}

} // namespace

/* ------------------------------------------------------------------------ */

int GetManyPorts(const char *requestID, PortRequest_t *requests, int *count)
{
    return many_port_request(GET_MANY_PORTS_MSG, requestID, requests, count);
}

int FreeManyPorts(const char *requestID, PortRequest_t *requests, int *count)
{
    return many_port_request(FREE_MANY_PORTS_MSG, requestID, requests, count);
}

int FreeAllMyPorts(const char *requestID)
{
    char reply_path[kReplyPathSize];
    reply_fifo_name(reply_path, sizeof reply_path);
    return text_request(BuildFreeAllPortsMessage(reply_path, requestID), FREE_ALL_TIMEOUT,
                        "FreeAllMyPorts: unknown message type %d from FIFO\n", 3);
}

int FreePort(const char *port, const char *requestID)
{
    char reply_path[kReplyPathSize];
    reply_fifo_name(reply_path, sizeof reply_path);
    return text_request(BuildPortMessage(FREE_PORT_MSG, reply_path, port, requestID), PORT_REQUEST_TIMEOUT,
                        "FreePort: unknown message type %d from FIFO\n", 2);
}

int FreeAllMyPortsNoWait(const char *requestID)
{
    if (daemon_pipe_path[0] == '\0' || requestID == nullptr)
        return -1;
    /* The message as BuildFreeAllPortsMessage lays it out, on the stack;
     * the daemon will not find the reply pipe open. */
    FreeAllPortsMessage_t msg;
    std::memset(&msg, 0, sizeof msg);
    msg.Header.Type = FREE_ALL_PORTS_MSG;
    msg.Header.Length = FREE_ALL_MESSAGE_LENGTH;
    SetMessageField(msg.Header.Address, sizeof msg.Header.Address, signal_reply_path);
    SetMessageField(msg.RequestID, sizeof msg.RequestID, requestID);

    int fd = open(daemon_pipe_path, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISFIFO(info.st_mode)) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    ssize_t written = write(fd, &msg, FREE_ALL_MESSAGE_LENGTH);
    close(fd);
    return written == FREE_ALL_MESSAGE_LENGTH ? 0 : -1;
}
