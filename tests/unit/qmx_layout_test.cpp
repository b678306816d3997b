/*
 * qmx_layout_test.cpp - the management messages as bytes: every record of
 * qmx.h written through its accessors is compared with the bytes the wire
 * carries, and bytes from the wire read back through the accessors; the
 * transport's frame header and filter encoding, and the event filter rule.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/qmx/qmx.h"
#include "platform/qmx/qmx_wire.h"

namespace {

template <typename T>
std::vector<uint8_t> bytes_of(const T &record)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&record);
    return std::vector<uint8_t>(p, p + sizeof(T));
}

qmx_event_t sample_header()
{
    qmx_event_t h{};
    h.set_event_type(0x80);
    h.set_severity(0x01020304);
    h.set_timestamp(0xA1B2C3D4);
    h.set_cabno(0x0102);
    h.sysno = 7;
    h.complex_type = 0x81;
    h.complex_id = 0xFF;
    h.subcomplex = 0x90;
    h.unit = 3;
    return h;
}

const std::vector<uint8_t> kSampleHeaderBytes = {
    0x80, 0, 0, 0,              /* event_type */
    0x04, 0x03, 0x02, 0x01,     /* severity */
    0xD4, 0xC3, 0xB2, 0xA1,     /* timestamp, 32 bits */
    0x02, 0x01,                 /* cabno */
    7, 0x81, 0xFF, 0x90, 3, 0,  /* sysno, complex_type, complex_id, subcomplex, unit, reserved */
};

TEST(QmxLayout, HeaderIsTwentyLittleEndianBytesAtAnyOffset)
{
    EXPECT_EQ(bytes_of(sample_header()), kSampleHeaderBytes);

    qmx_event_t read{};
    std::memcpy(&read, kSampleHeaderBytes.data(), sizeof(read));
    EXPECT_EQ(read.get_event_type(), 0x80u);
    EXPECT_EQ(read.get_severity(), 0x01020304u);
    EXPECT_EQ(read.get_timestamp(), 0xA1B2C3D4u);
    EXPECT_EQ(read.get_cabno(), 0x0102);

    /* Records may sit at any offset of a buffer. */
    EXPECT_EQ(alignof(qmx_event_t), 1u);
    EXPECT_EQ(alignof(qmx_ecmdcmplt_t), 1u);
    EXPECT_EQ(alignof(complex_cmd_status_t), 1u);
    EXPECT_EQ(alignof(qmx_etessel_t), 1u);
}

TEST(QmxLayout, CompletionAndPerComplexRecords)
{
    std::vector<uint8_t> wire = kSampleHeaderBytes;
    wire.insert(wire.end(), {0x78, 0x56, 0x34, 0x12,   /* sequence */
                             0x10, 0, 0, 0,            /* cmd_status 16 */
                             2, 0,                     /* complex_count, reserved */
                             0x10, 0x00,               /* datalen 16 */
                             /* two per-complex records */
                             3, 0x26, 0, 0, 25, 0, 0, 0,
                             4, 0x2C, 0, 0, 0x02, 0x01, 0, 0});
    const auto *c = reinterpret_cast<const qmx_ecmdcmplt_t *>(wire.data());
    EXPECT_EQ(c->get_sequence(), 0x12345678u);
    EXPECT_EQ(c->get_cmd_status(), 16u);
    EXPECT_EQ(c->complex_count, 2);
    EXPECT_EQ(c->get_datalen(), 16);
    const auto *records = reinterpret_cast<const complex_cmd_status_t *>(c->data());
    EXPECT_EQ(records[0].complex_id, 3);
    EXPECT_EQ(records[0].complex_type, 0x26);
    EXPECT_EQ(records[0].get_cmd_status(), 25u);
    EXPECT_EQ(records[1].get_cmd_status(), 0x0102u);

    /* The writers are checked where the simulator writes completions: every
     * QmxCabsim round trip reads them back, and the per-complex records are
     * compared as bytes in QmxCabsim.FailureOfAMarginCommandCarriesTwelveByteRecords. */
    complex_margin_stat_t margin{};
    margin.status.complex_id = 9;
    margin.status.set_cmd_status(2);
    margin.margin_state = 0x55;
    EXPECT_EQ(bytes_of(margin), (std::vector<uint8_t>{9, 0, 0, 0, 2, 0, 0, 0, 0x55, 0, 0, 0}));
}

TEST(QmxWire, FramesAreCheckedAgainstTheirPacket)
{
    std::vector<uint8_t> packet(qmx_wire::HEADER_SIZE + 5, 0);
    qmx_wire::encode_header(packet.data(), qmx_wire::FrameHeader{qmx_wire::MESSAGE, 5, 0, 0});
    qmx_wire::FrameHeader h{};
    EXPECT_EQ(qmx_wire::check_frame(packet.data(), packet.size(), h), QMX_EOK);
    EXPECT_EQ(h.length, 5u);

    /* Header promises more, or less, than arrived. */
    EXPECT_EQ(qmx_wire::check_frame(packet.data(), packet.size() - 1, h), QMX_EBADDATA);
    packet.push_back(0);
    EXPECT_EQ(qmx_wire::check_frame(packet.data(), packet.size(), h), QMX_EBADDATA);
    /* Shorter than a header. */
    EXPECT_EQ(qmx_wire::check_frame(packet.data(), qmx_wire::HEADER_SIZE - 1, h), QMX_EBADDATA);
    EXPECT_EQ(qmx_wire::check_frame(packet.data(), 0, h), QMX_EBADDATA);

    /* The largest frame passes; one byte more, or a header claiming more,
     * does not. */
    std::vector<uint8_t> big(qmx_wire::MAX_FRAME + 1, 0);
    qmx_wire::encode_header(big.data(), qmx_wire::FrameHeader{qmx_wire::MESSAGE, qmx_wire::MAX_PAYLOAD, 0, 0});
    EXPECT_EQ(qmx_wire::check_frame(big.data(), qmx_wire::MAX_FRAME, h), QMX_EOK);
    EXPECT_EQ(qmx_wire::check_frame(big.data(), qmx_wire::MAX_FRAME + 1, h), QMX_ETRUNC);
    qmx_wire::encode_header(big.data(), qmx_wire::FrameHeader{qmx_wire::MESSAGE, 0xFFFFFFF0u, 0, 0});
    EXPECT_EQ(qmx_wire::check_frame(big.data(), qmx_wire::MAX_FRAME, h), QMX_ETRUNC);
}

TEST(QmxWire, EventFilterRule)
{
    /* Event type, severity and cabinet of the event; the filter; passes? */
    const qmx_rcvopts_t f{17, 0xFFFFFFFF, 4, 1, 0x81};
    const struct {
        uint32_t type, severity;
        uint16_t cabno;
        uint8_t complex_type;
        qmx_rcvopts_t filter;
        bool passes;
    } kCases[] = {
        {QMX_EVENT_HEARTBEAT, 0, 4, 0x81, f, true},
        {QMX_EVENT_TESSEL, 0, 4, 0x81, f, true},
        {0x20, 0, 4, 0x81, f, false}, /* no bit in common with 17 */
        {QMX_EVENT_CMDCMPLT, 0, 4, 0x81, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF, 0xFF, 0xFF}, false}, /* never an event */
        {QMX_EVENT_HEARTBEAT, 0, 5, 0x81, f, false},
        {QMX_EVENT_HEARTBEAT, 0, 5, 0x81, {17, 0xFFFFFFFF, 0xFFFF, 1, 0x81}, true},
        {QMX_EVENT_HEARTBEAT, 0, 4, 0x80, f, false},
        {QMX_EVENT_HEARTBEAT, 3, 4, 0x81, {17, 0x8, 4, 1, 0x81}, true}, /* bit `severity` of the mask */
        {QMX_EVENT_HEARTBEAT, 3, 4, 0x81, {17, 0x7, 4, 1, 0x81}, false},
        {QMX_EVENT_HEARTBEAT, 40, 4, 0x81, {17, 0x7FFFFFFF, 4, 1, 0x81}, false},
        {QMX_EVENT_HEARTBEAT, 40, 4, 0x81, f, true},
    };
    for (const auto &c : kCases) {
        qmx_event_t e{};
        e.set_event_type(c.type);
        e.set_severity(c.severity);
        e.set_cabno(c.cabno);
        e.sysno = 1;
        e.complex_type = c.complex_type;
        const auto *bytes = reinterpret_cast<const uint8_t *>(&e);
        EXPECT_EQ(qmx_wire::event_passes(c.filter, bytes, sizeof(e)), c.passes) << &c - kCases;
        /* Too short to hold a header: never passes. */
        EXPECT_FALSE(qmx_wire::event_passes(c.filter, bytes, sizeof(e) - 1)) << &c - kCases;
    }
}

} // namespace
