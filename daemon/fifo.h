/*
 * fifo.h - the messages exchanged with the console log daemon over named
 * pipes, and the pipe operations that carry them.
 *
 * The daemon reads requests and log messages from its request pipe
 * (/var/console/fifos/nxlogd_FIFO); a requester makes a reply pipe of its
 * own (/var/console/fifos/util_<pid>) and reads one answer from it.  Every
 * message starts with the 48-byte header IPC_Message_t; its bodies follow
 * below as byte-exact records (32-bit integers in host byte order, character
 * fields zero-padded).  Builders return one malloc'd message that the caller
 * frees with free(); FIFO_InputProc returns a received message the same way.
 *
 * Paths inside messages (Address) are written as the installation names them
 * ("/var/console/fifos/util_123"); whoever opens one passes it through
 * console_path(), so a private console root never lengthens a message field.
 *
 * Callers: the port requests (daemon/portreq), the engine's response logging
 * (LogMessage), the opclogd stand-in and the tests.
 */
#ifndef XR_DAEMON_FIFO_H
#define XR_DAEMON_FIFO_H

#include <fcntl.h>
#include <limits.h>
#include <setjmp.h>
#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>

/* ---- Pipes -------------------------------------------------------------- */

constexpr const char *FIFO_DIRECTORY = "/var/console/fifos/";
constexpr const char *DAEMON_FIFO_PATH = "/var/console/fifos/nxlogd_FIFO";
constexpr const char *REPLY_FIFO_PREFIX = "/var/console/fifos/util_";

/* A message is written with one write(), which a pipe keeps whole only up
 * to PIPE_BUF bytes: no message is longer, and a received header announcing
 * more is corrupt. */
constexpr int FIFO_MAX_MESSAGE = PIPE_BUF;

/* ---- Message types ------------------------------------------------------ */

enum {
    FREE_PORT_MSG = 5,      /* give one port back (FreePort) */
    LOG_MSG = 7,            /* event for the daemon's log (LogMessage) */
    ANSWER_MSG = 11,        /* the daemon's answer to a request */
    GET_MANY_PORTS_MSG = 18,
    FREE_MANY_PORTS_MSG = 19,
    FREE_ALL_PORTS_MSG = 20,
};

/* A received Type outside this range means the pipe is out of step. */
constexpr int FIFO_LOWEST_TYPE = 1;
constexpr int FIFO_HIGHEST_TYPE = 1000;

/* ---- Layouts ------------------------------------------------------------ */

constexpr int ADDRESS_SIZE = 40;    /* Address: at most 39 characters */
constexpr int REQUEST_ID_SIZE = 41; /* RequestID: at most 40 characters */
constexpr int NAME_SIZE = 17;       /* node, processor or component: at most 16 */
constexpr int PORT_NAME_SIZE = 16;  /* PortRequest_t.Processor: up to 16, unterminated when full */
constexpr int PORT_RESULT_SIZE = 40; /* PortRequest_t.Result: up to 40, unterminated when full */

struct IPC_Message_t {
    std::int32_t Type;
    std::int32_t Length; /* bytes as written, header included */
    char Address[ADDRESS_SIZE];
};
constexpr int IPC_HEADER_SIZE = 48;
static_assert(sizeof(IPC_Message_t) == IPC_HEADER_SIZE);
static_assert(offsetof(IPC_Message_t, Type) == 0 && offsetof(IPC_Message_t, Length) == 4 &&
              offsetof(IPC_Message_t, Address) == 8);

/* One port asked for, granted, refused or freed. */
struct PortRequest_t {
    std::int32_t Valid; /* non-zero: granted (or freed) */
    char Processor[PORT_NAME_SIZE];
    char Result[PORT_RESULT_SIZE]; /* device path when granted, else the reason */
};
static_assert(sizeof(PortRequest_t) == 60);
static_assert(offsetof(PortRequest_t, Valid) == 0 && offsetof(PortRequest_t, Processor) == 4 &&
              offsetof(PortRequest_t, Result) == 20);

/* Type 5. */
struct PortMessage_t {
    IPC_Message_t Header;
    char RequestID[REQUEST_ID_SIZE];
    char Processor[NAME_SIZE];
    char Pad;
};
constexpr int PORT_MESSAGE_LENGTH = 107;
static_assert(offsetof(PortMessage_t, RequestID) == 48 && offsetof(PortMessage_t, Processor) == 89 &&
              offsetof(PortMessage_t, Pad) == 106 && offsetof(PortMessage_t, Pad) + 1 == PORT_MESSAGE_LENGTH);

/* Types 18, 19 and their answer: this head, Count PortRequest_t records,
 * one zero byte. */
struct ManyPortMessage_t {
    IPC_Message_t Header;
    char RequestID[REQUEST_ID_SIZE];
    char Pad[3];
    std::int32_t Count;
};
constexpr int MANY_PORT_HEAD_SIZE = 96;
static_assert(sizeof(ManyPortMessage_t) == MANY_PORT_HEAD_SIZE);
static_assert(offsetof(ManyPortMessage_t, RequestID) == 48 && offsetof(ManyPortMessage_t, Pad) == 89 &&
              offsetof(ManyPortMessage_t, Count) == 92);
constexpr int ManyPortMessageLength(int count) { return MANY_PORT_HEAD_SIZE + 60 * count + 1; }
static_assert(ManyPortMessageLength(3) == 277);
/* The most requests one message can carry within FIFO_MAX_MESSAGE. */
constexpr int FIFO_MAX_PORT_REQUESTS = (FIFO_MAX_MESSAGE - MANY_PORT_HEAD_SIZE - 1) / 60;
static_assert(ManyPortMessageLength(FIFO_MAX_PORT_REQUESTS) <= FIFO_MAX_MESSAGE &&
              ManyPortMessageLength(FIFO_MAX_PORT_REQUESTS + 1) > FIFO_MAX_MESSAGE);

/* Type 20. */
struct FreeAllPortsMessage_t {
    IPC_Message_t Header;
    char RequestID[REQUEST_ID_SIZE];
    char Pad[17];
};
constexpr int FREE_ALL_MESSAGE_LENGTH = 106;
static_assert(offsetof(FreeAllPortsMessage_t, RequestID) == 48 && offsetof(FreeAllPortsMessage_t, Pad) == 89 &&
              offsetof(FreeAllPortsMessage_t, Pad) + sizeof(FreeAllPortsMessage_t::Pad) == FREE_ALL_MESSAGE_LENGTH);

/* Type 7: this head, then TextLength bytes of text ending in a zero. */
struct LogMessage_t {
    IPC_Message_t Header;
    char NodeName[NAME_SIZE];
    char Pad1[3];
    std::int32_t NodeType;
    char ComponentName[NAME_SIZE];
    char Pad2[3];
    std::int32_t ArrivalTime;
    std::int32_t TextLength; /* text length + 1 */
};
constexpr int LOG_HEAD_SIZE = 100;
static_assert(sizeof(LogMessage_t) == LOG_HEAD_SIZE);
static_assert(offsetof(LogMessage_t, NodeName) == 48 && offsetof(LogMessage_t, Pad1) == 65 &&
              offsetof(LogMessage_t, NodeType) == 68 && offsetof(LogMessage_t, ComponentName) == 72 &&
              offsetof(LogMessage_t, Pad2) == 89 && offsetof(LogMessage_t, ArrivalTime) == 92 &&
              offsetof(LogMessage_t, TextLength) == 96);

/* ---- Builders (malloc'd; null when memory is short or an argument is
 * unusable) -------------------------------------------------------------- */

IPC_Message_t *BuildPortMessage(int type, const char *address, const char *processor, const char *requestID);
IPC_Message_t *BuildManyPortMessage(int type, const char *address, const char *requestID,
                                    const PortRequest_t *requests, int count);
IPC_Message_t *BuildFreeAllPortsMessage(const char *address, const char *requestID);
IPC_Message_t *BuildLogMessage(int type, const char *address, const char *nodeName, int nodeType,
                               const char *component, std::time_t time, const char *text);
/* A text answer (type 11): the text and its zero at offset 48; a null or
 * empty text gives the header alone. */
IPC_Message_t *BuildTextMessage(const char *address, const char *text);

/* ---- Accessors (bounded by the message's own Length) --------------------- */

/* Bytes of a message that exist: Length, or the header alone when Length is
 * 48 or less. */
int MessageSize(const IPC_Message_t *msg);
/* First PortRequest_t of a many-port message; null for a null message or
 * one too short for the many-port head. */
PortRequest_t *GetPortsMessage(IPC_Message_t *msg);
/* Count of a many-port message, never more records than its Length holds
 * and never negative; 0 for a null message. */
int GetCountMessage(const IPC_Message_t *msg);
/* New string (malloc'd) holding the Length - 48 bytes after the header and a
 * terminating zero; "" for a header alone; null for a null message or when
 * memory is short. */
char *StringPart(const IPC_Message_t *msg);

/* Stores text in a fixed field of `size` bytes, zero-padding the rest.
 * With terminated, at most size - 1 characters (the last byte stays zero);
 * otherwise up to size characters (PortRequest_t's fields). */
void SetMessageField(char *field, std::size_t size, std::string_view text, bool terminated = true);
/* The text of a fixed field, never read past its size. */
std::string_view MessageField(const char *field, std::size_t size);

struct MessageFree {
    void operator()(void *msg) const { std::free(msg); }
};
/* Owner of a message, for code where no time-out can jump (see below). */
using MessagePtr = std::unique_ptr<IPC_Message_t, MessageFree>;

/* ---- Pipe operations ---------------------------------------------------- */

/* Opens the pipe at `path` (an installation path, resolved through
 * console_path) with flags O_WRONLY or O_RDWR, optionally | O_NONBLOCK.
 * Read-write first creates the FIFO (0666, zero umask); one that exists
 * already is used, anything else at the path (a file, a link) is refused,
 * and a link is never followed.  Runs under a 60-second alarm so that an
 * open waiting for a reader fails.  Returns the descriptor or -1. */
int FIFO_OpenProc(const char *path, int flags);
void FIFO_CloseProc(int fd);
/* Writes the first size bytes of msg in one write (at most PIPE_BUF).
 * Returns size or -1. */
int FIFO_OutputProc(int fd, const void *msg, int size);
/* Reads one message; malloc'd, or null. */
IPC_Message_t *FIFO_InputProc(int fd);

/* Sends a type 7 message to the daemon: 0 when written, -1 otherwise. */
int LogMessage(const char *nodeName, int nodeType, const char *component, std::time_t time, const char *text);

/* ---- Alarms and the request time-out ------------------------------------- */

/* The SIGALRM action and pending alarm replaced by one call, to be put back
 * afterwards with the time spent subtracted. */
struct FIFO_SavedAlarm {
    struct sigaction action;
    unsigned remaining;
    struct timespec started;
};
/* Installs handler for SIGALRM (no restart of interrupted calls) and starts
 * an alarm of `seconds`, keeping what was there in *saved. */
void FIFO_ReplaceAlarm(void (*handler)(int), unsigned seconds, FIFO_SavedAlarm *saved);
/* Stops the alarm, puts the saved handler back and re-arms the saved alarm
 * with what is left of it (at least one second, so that an alarm whose time
 * passed meanwhile still comes, from a plain point of the program). */
void FIFO_RestoreAlarm(const FIFO_SavedAlarm *saved);

/* A request guarded by a time-out enters it with its sigsetjmp buffer and
 * installs FIFO_TimeoutHandler for SIGALRM.  The handler jumps back only from
 * inside the blocking read, write or poll of FIFO_InputProc and
 * FIFO_OutputProc (or when the alarm came just before one of them), whose
 * frames hold nothing with a destructor; anywhere else it only notes the
 * time-out, and the next blocking call jumps.  A body that FIFO_InputProc
 * was filling when the jump came is freed when the request leaves.
 * Entering saves the state of a request already in progress (a port return
 * from a signal handler can interrupt one); leaving puts it back. */
struct FIFO_TimeoutState {
    sigjmp_buf *point;
    int in_blocking_call;
    int expired;
    void *input;
};
void FIFO_EnterTimeout(sigjmp_buf *point, FIFO_TimeoutState *outer);
void FIFO_LeaveTimeout(const FIFO_TimeoutState *outer);
void FIFO_TimeoutHandler(int sig);

#endif
