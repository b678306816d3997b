/*
 * qmx_wire.h - the transport between libqmx and the management service
 * (the cabinet simulator): socket path, frame layout, frame kinds and the
 * event filter rule.  Private to libqmx and the simulator; applications use
 * qmx.h only.
 *
 * Transport: Unix-domain SOCK_SEQPACKET sockets at
 * console_path("/var/console/qmx/socket").  Every packet is one frame: a
 * 16-byte header (kind, payload length, sequence, argument; little-endian
 * u32 each) and `length` payload bytes.  A frame whose header disagrees
 * with the bytes of its packet, or whose payload exceeds QMX_WIRE_MAX_PAYLOAD,
 * is rejected whole; packets keep their boundaries, so a bad frame never
 * spoils the next.
 *
 * Each application handle holds two connections.  On every accepted
 * connection the service first sends WELCOME with the connection's token in
 * `arg`.  The first connection of a handle is its message connection (the
 * descriptor the application polls): completions and events arrive there
 * as MESSAGE frames.  The second is its control connection: the library
 * sends BIND (arg = the message connection's token), REGISTER, DEREGISTER
 * and SEND, and each is answered by one ACK carrying the request's
 * sequence.  Keeping acknowledgements off the message connection means a
 * message never waits unseen inside the library while its descriptor looks
 * idle.
 */
#ifndef XR_PLATFORM_QMX_QMX_WIRE_H
#define XR_PLATFORM_QMX_QMX_WIRE_H

#include <cstddef>
#include <cstdint>

#include "platform/qmx/qmx.h"

namespace qmx_wire {

/* Installation path of the service socket (resolved through console_path). */
constexpr const char *SOCKET_PATH = "/var/console/qmx/socket";

enum FrameKind : uint32_t {
    WELCOME = 1,    /* service -> library, arg = connection token */
    BIND = 2,       /* library -> service (control), arg = message connection token */
    REGISTER = 3,   /* arg = service; payload = 12-byte filter for events */
    DEREGISTER = 4, /* arg = service mask */
    SEND = 5,       /* sequence = the library's number; payload = the message */
    ACK = 6,        /* sequence = the request's; arg = result (signed) */
    MESSAGE = 7,    /* service -> library (message connection); payload = the message */
};

constexpr uint32_t HEADER_SIZE = 16;
/* Largest payload a frame may carry: one message of the receive-buffer size. */
constexpr uint32_t MAX_PAYLOAD = QMX_MAX_MESSAGE;
constexpr uint32_t MAX_FRAME = HEADER_SIZE + MAX_PAYLOAD;

/* ACK results of SEND. */
constexpr int32_t ACK_SENT = 1;
constexpr int32_t ACK_NOT_ALIVE = 0;
/* Other negative ACK results are -qmx_error_t. */

struct FrameHeader {
    uint32_t kind;
    uint32_t length;
    uint32_t sequence;
    int32_t arg;
};

inline void encode_header(uint8_t *out, const FrameHeader &h)
{
    qmx_put32(out, h.kind);
    qmx_put32(out + 4, h.length);
    qmx_put32(out + 8, h.sequence);
    qmx_put32(out + 12, static_cast<uint32_t>(h.arg));
}

inline FrameHeader decode_header(const uint8_t *in)
{
    return FrameHeader{qmx_get32(in), qmx_get32(in + 4), qmx_get32(in + 8), static_cast<int32_t>(qmx_get32(in + 12))};
}

/* Checks one received packet of n bytes as a frame (n may exceed
 * MAX_FRAME when the read reported the packet's real size).  QMX_EOK with
 * its header in h; QMX_ETRUNC for a frame larger than the limit; QMX_EBADDATA
 * for a packet shorter than a header or whose header disagrees with its
 * length.  Nothing beyond n (and MAX_FRAME) bytes is read. */
inline int check_frame(const uint8_t *packet, std::size_t n, FrameHeader &h)
{
    if (n > MAX_FRAME)
        return QMX_ETRUNC;
    if (n < HEADER_SIZE)
        return QMX_EBADDATA;
    h = decode_header(packet);
    if (h.length > MAX_PAYLOAD)
        return QMX_ETRUNC;
    if (h.length != n - HEADER_SIZE)
        return QMX_EBADDATA;
    return QMX_EOK;
}

/* The filter travels as the 12 bytes of qmx_rcvopts_t, little-endian. */
constexpr uint32_t FILTER_SIZE = 12;

inline void encode_filter(uint8_t *out, const qmx_rcvopts_t &f)
{
    qmx_put32(out, f.event_filter);
    qmx_put32(out + 4, f.severity_filter);
    qmx_put16(out + 8, f.cabno);
    out[10] = f.sysno;
    out[11] = f.complex_type;
}

inline qmx_rcvopts_t decode_filter(const uint8_t *in)
{
    qmx_rcvopts_t f{};
    f.event_filter = qmx_get32(in);
    f.severity_filter = qmx_get32(in + 4);
    f.cabno = qmx_get16(in + 8);
    f.sysno = in[10];
    f.complex_type = in[11];
    return f;
}

/* The filter rule of qmx_rcvopts_t, for a message of `length` bytes.
 * Completions are never events. */
inline bool event_passes(const qmx_rcvopts_t &f, const uint8_t *msg, uint32_t length)
{
    if (length < sizeof(qmx_event_t))
        return false;
    const auto *h = reinterpret_cast<const qmx_event_t *>(msg);
    uint32_t type = h->get_event_type();
    uint32_t severity = h->get_severity();
    if (type == QMX_EVENT_CMDCMPLT || (type & f.event_filter) == 0)
        return false;
    bool severity_ok = severity < 32 ? ((f.severity_filter >> severity) & 1u) != 0 : f.severity_filter == 0xFFFFFFFFu;
    return severity_ok && (f.cabno == 0xFFFF || f.cabno == h->get_cabno()) && (f.sysno == 0xFF || f.sysno == h->sysno) &&
           (f.complex_type == 0xFF || f.complex_type == h->complex_type);
}

} // namespace qmx_wire

#endif
