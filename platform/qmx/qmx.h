/*
 * qmx.h - public interface of libqmx, the cabinet management message
 * library: the calls an application makes to send command messages to the
 * cabinet management modules and to receive their completions and events,
 * the library's error codes, and the byte layouts of every message.
 *
 * The header is plain C (C99 and later) and C++.  In C++ the message
 * records also carry accessors for their multi-byte fields.
 *
 * Messages are wire bytes: every message record below consists of bytes
 * only (alignment 1), multi-byte fields are little-endian and are read and
 * written through the accessors or the qmx_get / qmx_put helpers, never by
 * casting to host integers.  Fields the message description calls "long"
 * are 32 bits on the wire.  A record may therefore sit at any offset of a
 * receive buffer.  The two option blocks (qmx_configbuf_t, qmx_rcvopts_t)
 * are call parameters, not wire bytes, and use host integers.
 *
 * Callers: the engine's management-module link (tessel_comm), the status
 * tree reader and the FRU procedures; the cabinet simulator uses the
 * layouts to answer.
 */
#ifndef XR_PLATFORM_QMX_QMX_H
#define XR_PLATFORM_QMX_QMX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define QMX_LAYOUT_CHECK(cond) static_assert(cond, #cond)
#define QMX_HELPER constexpr inline
#else
#define QMX_LAYOUT_CHECK(cond) _Static_assert(cond, #cond)
#define QMX_HELPER static inline
#endif

/* ---- error codes (values of qmx_errno) ----------------------------------- */

typedef enum qmx_error {
    QMX_EOK = 0,
    QMX_ESYS = 1,        /* a system call failed; errno tells which */
    QMX_ETLI = 2,        /* transport failure */
    QMX_EINTR = 3,       /* a wait was interrupted by a signal */
    QMX_ESTATE = 4,      /* call not allowed in this state (not registered) */
    QMX_EPARAM = 5,      /* bad argument or unknown handle */
    QMX_ENODATA = 6,     /* nothing to receive */
    QMX_ENOMEM = 7,      /* out of memory or out of handles */
    QMX_ETRUNC = 8,      /* message larger than the frame limit or the buffer; dropped */
    QMX_ETIMEOUT = 9,    /* the wait ran out */
    QMX_ENOSERVICE = 10, /* the management service is not running */
    QMX_EBADCONN = 11,   /* the connection to the service is gone */
    QMX_EBADDATA = 12,   /* malformed frame from the service; dropped */
    QMX_ENOTESSEL = 13   /* the addressed cabinet has no management module */
} qmx_error_t;

/* ---- services, event types ----------------------------------------------- */

#define QMX_SERVICE_EVENTS 1   /* events, filtered by a qmx_rcvopts_t */
#define QMX_SERVICE_COMMANDS 2 /* command messages and their completions */
#define QMX_ALL_SERVICES (-1)  /* qmx_deregister: every service */

/* event_type of the message header. */
#define QMX_EVENT_TESSEL 0x01u    /* module event (identity in the first data byte) */
#define QMX_EVENT_HEARTBEAT 0x10u /* module heartbeat */
#define QMX_EVENT_COMMAND 0x40u   /* command message, sent by the application */
#define QMX_EVENT_CMDCMPLT 0x80u  /* command complete, received */

/* Largest message the library carries (the size of a receive buffer). */
#define QMX_MAX_MESSAGE 8192

/* ---- little-endian field helpers ------------------------------------------ */

QMX_HELPER uint16_t qmx_get16(const uint8_t *p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

QMX_HELPER uint32_t qmx_get32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

QMX_HELPER void qmx_put16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

QMX_HELPER void qmx_put32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

#ifdef __cplusplus
/* Accessor pair of one little-endian field, for the C++ view of a record. */
#define QMX_FIELD16(name)                                                                   \
    constexpr uint16_t get_##name() const { return qmx_get16(name); }                       \
    constexpr void set_##name(uint16_t v) { qmx_put16(name, v); }
#define QMX_FIELD32(name)                                                                   \
    constexpr uint32_t get_##name() const { return qmx_get32(name); }                       \
    constexpr void set_##name(uint32_t v) { qmx_put32(name, v); }
#define QMX_DATA_ACCESS                                                                     \
    const uint8_t *data() const { return reinterpret_cast<const uint8_t *>(this) + sizeof(*this); } \
    uint8_t *data() { return reinterpret_cast<uint8_t *>(this) + sizeof(*this); }
#endif

/* ---- message header --------------------------------------------------------- */

/* Header common to every message (20 bytes). */
typedef struct qmx_event {
    uint8_t event_type[4]; /* QMX_EVENT_* */
    uint8_t severity[4];   /* 0 in commands */
    uint8_t timestamp[4];  /* seconds; 0 in commands */
    uint8_t cabno[2];      /* cabinet number */
    uint8_t sysno;         /* system number of the cabinet */
    uint8_t complex_type;
    uint8_t complex_id;
    uint8_t subcomplex;
    uint8_t unit;
    char reserved;
#ifdef __cplusplus
    QMX_FIELD32(event_type)
    QMX_FIELD32(severity)
    QMX_FIELD32(timestamp)
    QMX_FIELD16(cabno)
#endif
} qmx_event_t;
QMX_LAYOUT_CHECK(sizeof(qmx_event_t) == 20);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, event_type) == 0);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, severity) == 4);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, timestamp) == 8);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, cabno) == 12);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, sysno) == 14);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, complex_type) == 15);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, complex_id) == 16);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, subcomplex) == 17);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, unit) == 18);
QMX_LAYOUT_CHECK(offsetof(qmx_event_t, reserved) == 19);

/* ---- command message ----------------------------------------------------------- */

/* A command to a module: the header (event_type 0x40), then the command;
 * datalen argument bytes follow at offset 24, total length datalen + 24. */
typedef struct qmx_ecommand {
    qmx_event_t header;
    uint8_t cmdtype;
    uint8_t reserved;
    uint8_t datalen[2];
#ifdef __cplusplus
    QMX_FIELD16(datalen)
    QMX_DATA_ACCESS
#endif
} qmx_ecommand_t;
QMX_LAYOUT_CHECK(sizeof(qmx_ecommand_t) == 24);
QMX_LAYOUT_CHECK(offsetof(qmx_ecommand_t, header) == 0);
QMX_LAYOUT_CHECK(offsetof(qmx_ecommand_t, cmdtype) == 20);
QMX_LAYOUT_CHECK(offsetof(qmx_ecommand_t, reserved) == 21);
QMX_LAYOUT_CHECK(offsetof(qmx_ecommand_t, datalen) == 22);

/* ---- command complete ------------------------------------------------------------- */

/* A command's completion (event_type 0x80).  sequence matches the number
 * qmx_sendcmd returned for the command.  The data from offset 32 is the
 * command's answer (the status tree for a status query); when cmd_status is
 * 0 with a non-zero complex_count it is complex_count per-complex records. */
typedef struct qmx_ecmdcmplt {
    qmx_event_t header;
    uint8_t sequence[4];
    uint8_t cmd_status[4]; /* 1 success, 16 not ready, 17 not delivered, ... */
    uint8_t complex_count;
    uint8_t reserved;
    uint8_t datalen[2];
#ifdef __cplusplus
    QMX_FIELD32(sequence)
    QMX_FIELD32(cmd_status)
    QMX_FIELD16(datalen)
    QMX_DATA_ACCESS
#endif
} qmx_ecmdcmplt_t;
QMX_LAYOUT_CHECK(sizeof(qmx_ecmdcmplt_t) == 32);
QMX_LAYOUT_CHECK(offsetof(qmx_ecmdcmplt_t, header) == 0);
QMX_LAYOUT_CHECK(offsetof(qmx_ecmdcmplt_t, sequence) == 20);
QMX_LAYOUT_CHECK(offsetof(qmx_ecmdcmplt_t, cmd_status) == 24);
QMX_LAYOUT_CHECK(offsetof(qmx_ecmdcmplt_t, complex_count) == 28);
QMX_LAYOUT_CHECK(offsetof(qmx_ecmdcmplt_t, reserved) == 29);
QMX_LAYOUT_CHECK(offsetof(qmx_ecmdcmplt_t, datalen) == 30);

/* Per-complex outcome of a failed command (8 bytes). */
typedef struct complex_cmd_status {
    uint8_t complex_id;
    uint8_t complex_type;
    uint8_t pad[2];
    uint8_t cmd_status[4];
#ifdef __cplusplus
    QMX_FIELD32(cmd_status)
#endif
} complex_cmd_status_t;
QMX_LAYOUT_CHECK(sizeof(complex_cmd_status_t) == 8);
QMX_LAYOUT_CHECK(offsetof(complex_cmd_status_t, complex_id) == 0);
QMX_LAYOUT_CHECK(offsetof(complex_cmd_status_t, complex_type) == 1);
QMX_LAYOUT_CHECK(offsetof(complex_cmd_status_t, pad) == 2);
QMX_LAYOUT_CHECK(offsetof(complex_cmd_status_t, cmd_status) == 4);

/* Per-complex outcome of a failed margin command (12 bytes). */
typedef struct complex_margin_stat {
    complex_cmd_status_t status;
    uint8_t margin_state;
    uint8_t pad[3];
} complex_margin_stat_t;
QMX_LAYOUT_CHECK(sizeof(complex_margin_stat_t) == 12);
QMX_LAYOUT_CHECK(offsetof(complex_margin_stat_t, margin_state) == 8);

/* ---- module event ------------------------------------------------------------------- */

/* An event message: the header, then the event identity and its sub-type;
 * datalen data bytes follow at offset 24. */
typedef struct qmx_etessel {
    qmx_event_t header;
    uint8_t event_type; /* event identity (13 = rebooted) */
    uint8_t subevent_type;
    uint8_t datalen[2];
#ifdef __cplusplus
    QMX_FIELD16(datalen)
    QMX_DATA_ACCESS
#endif
} qmx_etessel_t;
QMX_LAYOUT_CHECK(sizeof(qmx_etessel_t) == 24);
QMX_LAYOUT_CHECK(offsetof(qmx_etessel_t, event_type) == 20);
QMX_LAYOUT_CHECK(offsetof(qmx_etessel_t, subevent_type) == 21);
QMX_LAYOUT_CHECK(offsetof(qmx_etessel_t, datalen) == 22);

#define QMX_S_REBOOTED 13 /* event identity: the module has rebooted */

/* ---- call parameters ----------------------------------------------------------------- */

typedef struct qmx_trace {
    int32_t tracelevel;
    int32_t tracesize;
    char tracefile[80];
} qmx_trace_t;
QMX_LAYOUT_CHECK(sizeof(qmx_trace_t) == 88);

/* Library configuration for qmx_init.  ack_timeout (seconds) bounds every
 * wait for the service's acknowledgement; maxqueuenum bounds the messages
 * the library holds for the application.  The other fields are accepted
 * and kept for compatibility. */
typedef struct qmx_configbuf {
    int32_t async_io;
    int32_t interrupt;
    int32_t ack_timeout;
    int32_t maxqueuenum;
    int32_t maxreadnum;
    qmx_trace_t traceopts;
} qmx_configbuf_t;
QMX_LAYOUT_CHECK(sizeof(qmx_configbuf_t) == 108);
QMX_LAYOUT_CHECK(offsetof(qmx_configbuf_t, traceopts) == 20);

/* Event filter for the events service (12 bytes).  An event passes when
 * its event_type shares a bit with event_filter, bit `severity` of
 * severity_filter is set (any severity of 32 or more needs all bits), and
 * cabno, sysno and complex_type match; 0xFFFF / 0xFF there match anything. */
typedef struct qmx_rcvopts {
    uint32_t event_filter;
    uint32_t severity_filter;
    uint16_t cabno;
    uint8_t sysno;
    uint8_t complex_type;
} qmx_rcvopts_t;
QMX_LAYOUT_CHECK(sizeof(qmx_rcvopts_t) == 12);
QMX_LAYOUT_CHECK(offsetof(qmx_rcvopts_t, severity_filter) == 4);
QMX_LAYOUT_CHECK(offsetof(qmx_rcvopts_t, cabno) == 8);
QMX_LAYOUT_CHECK(offsetof(qmx_rcvopts_t, sysno) == 10);
QMX_LAYOUT_CHECK(offsetof(qmx_rcvopts_t, complex_type) == 11);

/* ---- calls -------------------------------------------------------------------------------- */

#ifdef __cplusplus
extern "C" {
#endif

/* Error code of the last failed call (a qmx_error_t value). */
extern int qmx_errno;

/* Connects to the management service.  An application handle (even,
 * positive), or -1. */
int qmx_init(qmx_configbuf_t *config);

/* Registers for a service: QMX_SERVICE_COMMANDS (opts ignored) or
 * QMX_SERVICE_EVENTS (opts required; registering again replaces the
 * filter).  The mask of services now registered, or -1. */
int qmx_register(int handle, int service, qmx_rcvopts_t *opts);

/* Number of descriptors to poll for incoming messages (1), or -1. */
int qmx_getfdnum(int handle);

/* Fills fds with qmx_getfdnum descriptors; returns their number, or -1.
 * A descriptor is readable while a message, an error or the end of the
 * connection waits; the library may hold further messages (see the queue
 * count of qmx_recvmsg). */
int qmx_getfd(int handle, int *fds);

/* Sends a complete message of len bytes (24 + its datalen).  The library
 * numbers every command; the number is stored in *sequence (may be null).
 * > 0 sent; 0 the addressed module is not alive; -1 error. */
int qmx_sendcmd(int handle, void *msg, int len, unsigned long *sequence);

/* Receives one message into buf (buflen bytes).  timeout: -1 waits as long
 * as it takes, 0 only takes what has arrived, n > 0 waits at most n
 * seconds (QMX_ETIMEOUT).  Returns the message length; *queue_count (may be
 * null) gets the number of messages and errors the library still holds.
 * -1 on error; a frame that breaks the rules is dropped and reported once
 * (QMX_EBADDATA, QMX_ETRUNC), a lost connection gives QMX_EBADCONN. */
int qmx_recvmsg(int handle, void *buf, int buflen, int timeout, int *queue_count);

/* Releases a service or (QMX_ALL_SERVICES) every service: the mask of the
 * services released (3 = both), or -1. */
int qmx_deregister(int handle, int service);

/* Closes the connection; 0, or -1 for an unknown handle. */
int qmx_close(int handle);

#ifdef __cplusplus
}
#endif

#endif
