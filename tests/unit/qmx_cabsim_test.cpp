/* qmx_cabsim_test.cpp - libqmx against a running cabinet simulator, and the
 * engine's tessel_comm layer over the real library. */
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/tessel_comm.h"
#include "platform/qmx/qmx.h"
#include "tests/support/tree_bytes.h"
#include "tests/support/process.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char kCabinet7[] = R"(# two complexes; port ids and every unit byte differ
cabinet 7 sysno=2 sysname="System Two" cabname="Cab007"
complex 1 type=0x25 status=1
subcomplex 4 port=0x1234 units=2 status=1
subcomplex 3 units=0
unit 5 status=2 psc=9 type=3
unit 6 status=3
complex 2 type=0x21 status=59
subcomplex 13 units=1 status=61
)";

/* The status tree of kCabinet7, written out record by record. */
Bytes cabinet7_tree(bool with_complex_1, bool with_complex_2)
{
    TreeBytes tree(with_complex_1 + with_complex_2, "System Two", "Cab007");
    if (with_complex_1)
        tree.complex(1, 0x25, 1, 2).sub(4, 2, 0x1234).units(0, {1, 1}).sub(3, 2).unit(5, 2, 9, 3).unit(6, 3);
    if (with_complex_2)
        tree.complex(2, 0x21, 59, 1).sub(13, 1).unit(0, 61);
    return tree.bytes();
}

Bytes command(uint8_t cmdtype, uint16_t cabno = 7, uint8_t ctype = 0x81, uint8_t cid = 0xFF, uint8_t sub = 0,
              uint8_t unit = 0, const Bytes &data = {})
{
    Bytes msg(sizeof(qmx_ecommand_t) + data.size(), 0);
    auto *c = reinterpret_cast<qmx_ecommand_t *>(msg.data());
    c->header.set_event_type(QMX_EVENT_COMMAND);
    c->header.set_cabno(cabno);
    c->header.sysno = 2;
    c->header.complex_type = ctype;
    c->header.complex_id = cid;
    c->header.subcomplex = sub;
    c->header.unit = unit;
    c->cmdtype = cmdtype;
    c->set_datalen(static_cast<uint16_t>(data.size()));
    std::copy(data.begin(), data.end(), msg.begin() + sizeof(qmx_ecommand_t));
    return msg;
}

const qmx_ecmdcmplt_t *as_completion(const Bytes &msg)
{
    return reinterpret_cast<const qmx_ecmdcmplt_t *>(msg.data());
}

class QmxCabsim : public ::testing::Test {
protected:
    CabsimProcess sim;
    std::vector<int> handles;

    void TearDown() override
    {
        for (int h : handles)
            qmx_close(h);
    }

    void start(const std::string &description = kCabinet7) { ASSERT_TRUE(sim.start(description)); }

    /* A handle registered for commands, or for events with `filter` only. */
    int link(qmx_rcvopts_t *filter = nullptr)
    {
        qmx_configbuf_t config = tessel_qmx_config();
        int h = qmx_init(&config);
        EXPECT_GT(h, 0) << "qmx_errno=" << qmx_errno;
        EXPECT_EQ(h % 2, 0);
        handles.push_back(h);
        int service = filter != nullptr ? QMX_SERVICE_EVENTS : QMX_SERVICE_COMMANDS;
        EXPECT_EQ(qmx_register(h, service, filter), service);
        return h;
    }
    int listener(qmx_rcvopts_t filter) { return link(&filter); }

    unsigned long send(int h, Bytes msg)
    {
        unsigned long sequence = 0;
        EXPECT_EQ(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), &sequence), static_cast<int>(msg.size()))
            << "qmx_errno=" << qmx_errno;
        return sequence;
    }

    /* One message, or an empty vector with the error in *error. */
    Bytes receive(int h, int timeout = 10, int *error = nullptr, int *queued = nullptr)
    {
        Bytes buf(QMX_MAX_MESSAGE);
        int n = qmx_recvmsg(h, buf.data(), static_cast<int>(buf.size()), timeout, queued);
        if (error != nullptr)
            *error = n < 0 ? qmx_errno : QMX_EOK;
        buf.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return buf;
    }

    /* The completion of one command (checked for its sequence). */
    Bytes round_trip(int h, const Bytes &msg)
    {
        unsigned long sequence = send(h, msg);
        Bytes reply = receive(h);
        EXPECT_GE(reply.size(), sizeof(qmx_ecmdcmplt_t));
        if (reply.size() >= sizeof(qmx_ecmdcmplt_t)) {
            EXPECT_EQ(as_completion(reply)->get_sequence(), sequence);
        }
        return reply;
    }

    Bytes status_tree(int h, uint8_t cid = 0xFF)
    {
        Bytes reply = round_trip(h, command(1, 7, cid == 0xFF ? 0x81 : 0x80, cid));
        if (reply.size() < sizeof(qmx_ecmdcmplt_t))
            return {};
        EXPECT_EQ(as_completion(reply)->get_cmd_status(), 1u);
        EXPECT_EQ(as_completion(reply)->get_datalen(), reply.size() - sizeof(qmx_ecmdcmplt_t));
        return Bytes(reply.begin() + sizeof(qmx_ecmdcmplt_t), reply.end());
    }
};

/* ---- status and power ------------------------------------------------------- */

TEST_F(QmxCabsim, StatusReadReturnsTheDescribedTree)
{
    start();
    int h = link();
    Bytes reply = round_trip(h, command(1));
    ASSERT_GE(reply.size(), 32u);
    const qmx_ecmdcmplt_t *c = as_completion(reply);
    EXPECT_EQ(c->header.get_event_type(), QMX_EVENT_CMDCMPLT);
    EXPECT_EQ(c->header.get_cabno(), 7);
    EXPECT_EQ(c->header.sysno, 2);
    EXPECT_EQ(c->get_cmd_status(), 1u);
    EXPECT_EQ(Bytes(reply.begin() + 32, reply.end()), cabinet7_tree(true, true));

    /* One complex asked for, one complex answered. */
    EXPECT_EQ(status_tree(h, 2), cabinet7_tree(false, true));
}

TEST_F(QmxCabsim, PowerCommandsChangeWhatTheyAddress)
{
    start();
    int h = link();
    /* Complex 1 off: the complex and its present units go Off (4); the
     * missing unit stays Missing. */
    Bytes reply = round_trip(h, command(3, 7, 0x80, 1, 0x90));
    EXPECT_EQ(as_completion(reply)->get_cmd_status(), 1u);
    Bytes tree = status_tree(h, 1);
    ASSERT_EQ(tree.size(), 84u + 28u);
    EXPECT_EQ(tree[86], 4);                       /* complex status */
    EXPECT_EQ(tree[93], 4);                       /* supply 0 */
    EXPECT_EQ(tree[105], 4);                      /* fan 5, was 2 */
    EXPECT_EQ(tree[109], 3);                      /* fan 6, missing */

    /* On again: what each showed before. */
    round_trip(h, command(2, 7, 0x80, 1, 0x90));
    EXPECT_EQ(status_tree(h), cabinet7_tree(true, true));

    /* One unit; then addresses that do not exist. */
    round_trip(h, command(3, 7, 0x80, 1, 4, 1));
    tree = status_tree(h, 1);
    EXPECT_EQ(tree[93], 1);
    EXPECT_EQ(tree[97], 4);
    EXPECT_EQ(as_completion(round_trip(h, command(3, 7, 0x80, 9, 0x90)))->get_cmd_status(), 3u);
    EXPECT_EQ(as_completion(round_trip(h, command(3, 7, 0x80, 1, 44)))->get_cmd_status(), 4u);
    EXPECT_EQ(as_completion(round_trip(h, command(3, 7, 0x80, 1, 4, 9)))->get_cmd_status(), 5u);
}

/* ---- faults ------------------------------------------------------------------- */

TEST_F(QmxCabsim, NotAliveGivesZeroAndAnUnknownCabinetAnError)
{
    start();
    int h = link();
    ASSERT_TRUE(sim.ctl("alive 7 no"));
    Bytes msg = command(1);
    unsigned long sequence = 12345;
    EXPECT_EQ(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), &sequence), 0);
    EXPECT_EQ(sequence, 12345u);
    ASSERT_TRUE(sim.ctl("alive 7 yes"));
    ASSERT_TRUE(sim.ctl("fault 7 notalive"));
    EXPECT_EQ(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), &sequence), 0);
    EXPECT_EQ(as_completion(round_trip(h, msg))->get_cmd_status(), 1u);

    Bytes other = command(1, 99);
    EXPECT_EQ(qmx_sendcmd(h, other.data(), static_cast<int>(other.size()), nullptr), -1);
    EXPECT_EQ(qmx_errno, QMX_ENOTESSEL);

    std::string log = sim.log_text();
    EXPECT_NE(log.find("cab=7 sys=2 seq=1 type=0x40 cmd=1 ctype=0x81 cid=0xff sub=0x00 unit=0x00 datalen=0 data= result=not-alive"),
              std::string::npos) << log;
    EXPECT_NE(log.find("cab=99 "), std::string::npos) << log;
}

TEST_F(QmxCabsim, SilenceEndsATimedWaitAtItsLimit)
{
    start();
    int h = link();
    ASSERT_TRUE(sim.ctl("silent 7 on"));
    send(h, command(1));
    auto begin = std::chrono::steady_clock::now();
    int error = 0;
    EXPECT_TRUE(receive(h, 1, &error).empty());
    EXPECT_EQ(error, QMX_ETIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(950)) << "the whole limit";
    EXPECT_TRUE(receive(h, 0, &error).empty()) << "a zero wait only looks";
    EXPECT_EQ(error, QMX_ETIMEOUT);

    /* The silent command is still answered by nobody; the next one is. */
    ASSERT_TRUE(sim.ctl("silent 7 off"));
    EXPECT_EQ(status_tree(h), cabinet7_tree(true, true));
}

TEST_F(QmxCabsim, BrokenFramesAreRejectedAndTheLinkSurvives)
{
    start();
    int h = link();
    /* A short message arrives as short as it is; anything shorter than a
     * header, malformed or too long is refused with its reason. */
    const struct {
        const char *fault;
        std::size_t size;
        int error;
    } kBroken[] = {{"badframe", 0, QMX_EBADDATA},   {"runt", 0, QMX_EBADDATA},      {"oversize 9000", 0, QMX_ETRUNC},
                   {"truncate 28", 28, QMX_EOK}, {"truncate 12", 0, QMX_EBADDATA}};
    for (const auto &broken : kBroken) {
        ASSERT_TRUE(sim.ctl(std::string("fault 7 ") + broken.fault));
        send(h, command(1));
        int error = 0;
        EXPECT_EQ(receive(h, 10, &error).size(), broken.size) << broken.fault;
        EXPECT_EQ(error, broken.error) << broken.fault;
    }

    /* Larger than the caller's buffer: dropped, reported. */
    send(h, command(1));
    Bytes small(40);
    EXPECT_EQ(qmx_recvmsg(h, small.data(), static_cast<int>(small.size()), 10, nullptr), -1);
    EXPECT_EQ(qmx_errno, QMX_ETRUNC);

    EXPECT_EQ(status_tree(h), cabinet7_tree(true, true));
}

TEST_F(QmxCabsim, FailureOfAMarginCommandCarriesTwelveByteRecords)
{
    start();
    int h = link();
    ASSERT_TRUE(sim.ctl("fault 7 fail 2:7"));
    Bytes reply = round_trip(h, command(15));
    ASSERT_EQ(reply.size(), 32u + 12u);
    EXPECT_EQ(as_completion(reply)->complex_count, 1);
    EXPECT_EQ(Bytes(reply.begin() + 32, reply.end()), (Bytes{2, 0x21, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(QmxCabsim, CommandLogShowsWhatWasSent)
{
    start();
    int h = link();
    unsigned long sequence = send(h, command(6, 7, 0x81, 0xFF, 0, 0, {0xA1, 0xB2, 0xC3}));
    receive(h);
    char expected[160];
    std::snprintf(expected, sizeof(expected),
                  "cab=7 sys=2 seq=%lu type=0x40 cmd=6 ctype=0x81 cid=0xff sub=0x00 unit=0x00 datalen=3 data=a1b2c3 result=sent",
                  sequence);
    std::string listed;
    ASSERT_TRUE(sim.ctl("log", &listed));
    EXPECT_NE(listed.find(expected), std::string::npos) << listed;
    EXPECT_NE(sim.log_text().find(expected), std::string::npos);
    /* The configuration it carried is kept. */
    std::string tree;
    ASSERT_TRUE(sim.ctl("tree 7", &tree));
    EXPECT_NE(tree.find("  config=a1b2c3\n"), std::string::npos) << tree;
}

TEST_F(QmxCabsim, QueueCountCountsWhatWaitsInTheLibrary)
{
    start();
    int h = link();
    /* The first answer is held back; the second may not overtake it, so
     * both leave together. */
    ASSERT_TRUE(sim.ctl("fault 7 delay 200"));
    send(h, command(1));
    send(h, command(4));
    int fd = -1;
    ASSERT_EQ(qmx_getfd(h, &fd), 1);
    pollfd pf{fd, POLLIN, 0};
    ASSERT_EQ(poll(&pf, 1, 10000), 1);
    ASSERT_TRUE(sim.ctl("ping")); /* the simulator has finished sending both */
    int queued = -1, error = 0;
    Bytes first = receive(h, -1, &error, &queued);
    EXPECT_EQ(as_completion(first)->header.subcomplex, 0);
    EXPECT_EQ(queued, 1);
    Bytes second = receive(h, 0, &error, &queued);
    EXPECT_EQ(queued, 0);
    EXPECT_EQ(as_completion(first)->get_sequence() + 1, as_completion(second)->get_sequence());
}

TEST_F(QmxCabsim, ABurstLargerThanTheSocketQueueArrivesWholeAndInOrder)
{
    /* The first answer is held back and every later one queues behind it,
     * so all leave in one burst, more than a socket queue holds. */
    constexpr int kCommands = 1500;
    start();
    int h = link();
    ASSERT_TRUE(sim.ctl("fault 7 delay 1000"));
    unsigned long first = send(h, command(1));
    for (int i = 1; i < kCommands; ++i)
        send(h, command(1));
    for (int i = 0; i < kCommands; ++i) {
        Bytes reply = receive(h, 5);
        ASSERT_GE(reply.size(), sizeof(qmx_ecmdcmplt_t)) << "reply " << i << " of " << kCommands << " lost";
        ASSERT_EQ(as_completion(reply)->get_sequence(), first + static_cast<unsigned long>(i));
    }
}

/* ---- registration and events ----------------------------------------------------- */

TEST_F(QmxCabsim, RegistrationMasksAndRefusals)
{
    start();
    qmx_configbuf_t config = tessel_qmx_config();
    int h = qmx_init(&config);
    ASSERT_GT(h, 0);
    handles.push_back(h);
    Bytes msg = command(1);
    EXPECT_EQ(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), nullptr), -1);
    EXPECT_EQ(qmx_errno, QMX_ESTATE);

    qmx_rcvopts_t filter{17, 0xFFFFFFFF, 7, 2, 0x81};
    EXPECT_EQ(qmx_register(h, 2, nullptr), 2);
    EXPECT_EQ(qmx_register(h, 1, &filter), 3);
    EXPECT_EQ(qmx_register(h, 1, nullptr), -1);
    EXPECT_EQ(qmx_errno, QMX_EPARAM);
    EXPECT_EQ(qmx_register(h, 4, nullptr), -1);
    EXPECT_EQ(qmx_register(h + 1, 2, nullptr), -1);

    msg.push_back(0); /* one byte more than its datalen says */
    EXPECT_EQ(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), nullptr), -1);
    EXPECT_EQ(qmx_errno, QMX_EPARAM);

    int fds[1] = {-1};
    EXPECT_EQ(qmx_getfdnum(h), 1);
    EXPECT_EQ(qmx_getfd(h, fds), 1);
    EXPECT_GE(fds[0], 0);

    EXPECT_EQ(qmx_deregister(h, -1), 3);
    EXPECT_EQ(qmx_deregister(h, -1), 0);
    EXPECT_EQ(qmx_close(h), 0);
    EXPECT_EQ(qmx_close(h), -1);
    handles.clear();
}

TEST_F(QmxCabsim, EventsReachOnlyRegisteredMatchingFilters)
{
    start(std::string(kCabinet7) + "cabinet 8 sysno=2\n");
    int fru = listener(qmx_rcvopts_t{17, 0xFFFFFFFF, 7, 2, 0x81});
    int other_cabinet = listener(qmx_rcvopts_t{17, 0xFFFFFFFF, 8, 2, 0x81});
    int commands_only = link();

    ASSERT_TRUE(sim.ctl("event 7 type=0x20"));   /* a type the filter does not take */
    ASSERT_TRUE(sim.ctl("replace 7 sub=2"));
    Bytes heartbeat = receive(fru, 5);
    Bytes reboot = receive(fru, 5);
    ASSERT_EQ(heartbeat.size(), sizeof(qmx_etessel_t));
    ASSERT_EQ(reboot.size(), sizeof(qmx_etessel_t));
    const auto *hb = reinterpret_cast<const qmx_etessel_t *>(heartbeat.data());
    const auto *rb = reinterpret_cast<const qmx_etessel_t *>(reboot.data());
    EXPECT_EQ(hb->header.get_event_type(), QMX_EVENT_HEARTBEAT);
    EXPECT_EQ(hb->header.subcomplex, 2);
    EXPECT_EQ(hb->header.get_cabno(), 7);
    EXPECT_EQ(rb->header.get_event_type(), QMX_EVENT_TESSEL);
    EXPECT_EQ(rb->event_type, QMX_S_REBOOTED);

    int error = 0;
    EXPECT_TRUE(receive(other_cabinet, 0, &error).empty());
    EXPECT_EQ(error, QMX_ETIMEOUT);
    EXPECT_TRUE(receive(commands_only, 0, &error).empty());
    EXPECT_EQ(error, QMX_ETIMEOUT);
    ASSERT_TRUE(sim.ctl("ping"));
    EXPECT_TRUE(receive(fru, 0, &error).empty()); /* the 0x20 event never came */

    /* Released: nothing more. */
    EXPECT_EQ(qmx_deregister(fru, 1), 1);
    ASSERT_TRUE(sim.ctl("replace 7"));
    ASSERT_TRUE(sim.ctl("ping"));
    EXPECT_TRUE(receive(fru, 0, &error).empty());
    EXPECT_EQ(error, QMX_ETIMEOUT);
}

TEST_F(QmxCabsim, ScenarioLinesRunLater)
{
    /* A description schedules too: its line is due before the one sent
     * below, so it has run once the heartbeat is here. */
    start(std::string(kCabinet7) + "after 50 set 7/2 status=2\n");
    int fru = listener(qmx_rcvopts_t{QMX_EVENT_HEARTBEAT, 0xFFFFFFFF, 0xFFFF, 0xFF, 0xFF});
    auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(sim.ctl("after 200 replace 7"));
    ASSERT_TRUE(sim.ctl("ping"));
    int error = 0;
    EXPECT_TRUE(receive(fru, 0, &error).empty()); /* not yet */
    Bytes heartbeat = receive(fru, 5);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(190));
    ASSERT_EQ(heartbeat.size(), sizeof(qmx_etessel_t));
    EXPECT_EQ(reinterpret_cast<const qmx_event_t *>(heartbeat.data())->get_cabno(), 7);
    std::string tree;
    ASSERT_TRUE(sim.ctl("tree 7", &tree));
    EXPECT_NE(tree.find("complex 2 type=0x21 status=2"), std::string::npos) << tree;
}

TEST_F(QmxCabsim, ControlChannelReportsBadStatements)
{
    start();
    std::string out;
    EXPECT_FALSE(sim.ctl("set 7/9 status=1", &out));
    EXPECT_NE(out.find("error: no complex 9"), std::string::npos) << out;
    /* The complex: no cabinet chosen on this channel. */
    for (const char *bad : {"fault 7 bogus", "fault 7 status", "alive 7 maybe", "complex 1 type=1",
                            "cabinet 7 sysname=\"open"})
        EXPECT_FALSE(sim.ctl(bad)) << bad;

    /* Description statements work live too, and pull / insert / set. */
    EXPECT_TRUE(sim.ctl("cabinet 7"));
    EXPECT_TRUE(sim.ctl("complex 3 type=0x2d status=1"));
    EXPECT_TRUE(sim.ctl("subcomplex 4 units=1"));
    EXPECT_TRUE(sim.ctl("pull 7/1/4/1"));
    EXPECT_TRUE(sim.ctl("set 7/2 status=2"));
    EXPECT_TRUE(sim.ctl("pull 7/2"));
    out.clear();
    ASSERT_TRUE(sim.ctl("tree 7", &out));
    EXPECT_NE(out.find("complex 3 type=0x2d"), std::string::npos) << out;
    EXPECT_NE(out.find("complex 2 type=0x21 status=2 pulled"), std::string::npos) << out;
    EXPECT_NE(out.find("      unit 1 status=3"), std::string::npos) << out;
    EXPECT_TRUE(sim.ctl("insert 7/1/4/1"));
    EXPECT_TRUE(sim.ctl("insert 7/2"));

    /* The command-line client. */
    std::string command = std::string(XR_CABSIM) + " ctl " + sim.ctl_path() + " ping 'tree 7' 2>&1";
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[4096];
    std::string printed;
    while (std::fgets(buf, sizeof(buf), p) != nullptr)
        printed += buf;
    EXPECT_EQ(pclose(p), 0) << printed;
    EXPECT_NE(printed.find("cabinet 7 sysno=2"), std::string::npos) << printed;
}

TEST(CabsimDescription, ABadLineStopsTheSimulatorBeforeItIsReady)
{
    for (const char *bad : {"cabinet 7\ncomplex 1\n",                 /* no type */
                            "complex 1 type=2\n",                       /* no cabinet */
                            "cabinet 7\ncomplex 1 type=256\n",         /* not a byte */
                            "cabinet 7\ncomplex 1 type=1\ncomplex 1 type=1\n", /* twice */
                            "cabinet 7\nunit 1\n",                     /* no subcomplex */
                            "cabinet 7\nfault 7 delay\n"}) {          /* no value */
        CabsimProcess sim;
        EXPECT_FALSE(sim.start(bad)) << bad;
    }
}

/* ---- the service going away ------------------------------------------------------- */

TEST_F(QmxCabsim, ServiceGoingAwayIsAnErrorNotAHang)
{
    start();
    int h = link();
    ASSERT_TRUE(sim.ctl("silent 7 on"));
    send(h, command(1));
    sim.kill_now();
    int error = 0;
    EXPECT_TRUE(receive(h, -1, &error).empty()) << "an endless wait ends";
    EXPECT_EQ(error, QMX_EBADCONN);
    Bytes msg = command(1);
    EXPECT_EQ(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), nullptr), -1);
    EXPECT_EQ(qmx_errno, QMX_EBADCONN);

    /* Nobody listening: no handle. */
    qmx_configbuf_t config = tessel_qmx_config();
    EXPECT_EQ(qmx_init(&config), -1);
    EXPECT_EQ(qmx_errno, QMX_ENOSERVICE);
}

} // namespace
