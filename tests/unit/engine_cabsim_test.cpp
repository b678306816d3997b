/*
 * engine_cabsim_test.cpp - GOs of the command engine against the cabinet
 * simulator: a status read through Send_env_board, "not ready" sixteen
 * times, a reply with a wrong sequence number, a module that is not alive,
 * a silent module, per-complex failures, many cabinets in one GO, the
 * caller's pending alarm, and the non-blocking GO_NOWAIT / Seb* interface
 * driven from the test's own poll loop.  Fault tests shorten every wait
 * with XRACKMON_TIME_SCALE.  How long GOs take is measured by the benchmarks.
 */
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/timescale.h"
#include "base/trace.h"
#include "config/config.h"
#include "config/read_config.h"
#include "engine/rsp_check.h"
#include "engine/scheduler.h"
#include "engine/send_env.h"
#include "tests/support/process.h"
#include "tests/unit/engine_test_support.h"

namespace {

constexpr int kFirstCab = 7;

std::string CabName(int cab)
{
    char name[16];
    std::snprintf(name, sizeof(name), "Cab%03d", cab);
    return name;
}

/* A status query as the display makes it, with its own result buffer. */
struct Query {
    alignas(8) unsigned char result[8192];
    tessel_cmd_t cmd;

    explicit Query(unsigned char cmdtype = C_STATUS, unsigned char complex_id = 0xFF, bool with_result = true)
    {
        std::memset(result, 0, sizeof(result));
        cmd = tessel_cmd_t{};
        cmd.cmdtype = cmdtype;
        cmd.complex_type = complex_id == 0xFF ? 0x81 : 0x80;
        cmd.complex_id = complex_id;
        cmd.subcomplex = complex_id == 0xFF ? 0 : 0x90;
        if (with_result) {
            cmd.resultptr = reinterpret_cast<char *>(result);
            cmd.resultlen = sizeof(result);
        }
    }
    const qmx_ecmdcmplt_t *event() const { return reinterpret_cast<const qmx_ecmdcmplt_t *>(result); }
    std::string cabname() const { return reinterpret_cast<const char *>(result + 32 + 40); }
};

class EngineCabsim : public ::testing::Test {
  protected:
    CabsimProcess sim;

    /* `count` cabinets from kFirstCab on, in the simulator and in the
     * configuration the engine reads. */
    void Start(int count = 1)
    {
        std::string description, config;
        for (int cab = kFirstCab; cab < kFirstCab + count; ++cab) {
            description += "cabinet " + std::to_string(cab) + " sysno=2 sysname=\"System Two\" cabname=\"" +
                           CabName(cab) + "\"\n"
                           "complex 1 type=0x25 status=1\nsubcomplex 4 units=2 status=1\n"
                           "complex 2 type=0x21 status=59\nsubcomplex 13 units=1 status=61\n";
            config += Node("cmic" + CabName(cab).substr(3), "CMIC", cab, 0, "\tsubtype=RM_CMBR\n\tsystem_id=2\n") +
                      Node("smp" + std::to_string(cab), "SMP", cab, 1, "\tsubtype=RM_SMP8\n\tsystem_id=2\n");
        }
        ASSERT_TRUE(sim.start(description));
        std::string path = sim.root() + "/var/console/nxs.config";
        std::ofstream(path) << config;
        ASSERT_EQ(read_config_file(path.c_str()), 0);
        get_host_types();
        HookEngineUi();
    }

    void TearDown() override
    {
        ExpectQuietUnlessLive();
        Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
        UnhookEngineUi();
        FreeConfiguration();
        unsetenv(TIME_SCALE_VARIABLE);
        debug = 0;
    }

    int Buffer(int cab, Query &q)
    {
        return Send_env_board(cab, 0, reinterpret_cast<int *>(&q.cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS);
    }
    static int Go() { return Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS); }

    /* Commands of cabinet `cab` in the simulator's log. */
    int Logged(int cab)
    {
        std::string log;
        EXPECT_TRUE(sim.ctl("log", &log));
        int count = 0;
        std::string key = "cab=" + std::to_string(cab) + " ";
        for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
            ++count;
        return count;
    }
};

TEST_F(EngineCabsim, StatusReadFillsTheCallersBuffer)
{
    Start();
    Query q;
    ASSERT_EQ(Buffer(kFirstCab, q), 0);
    EXPECT_EQ(q.event()->header.get_event_type(), QMX_EVENT_CMDCMPLT) << "pre-set at buffering";
    EXPECT_EQ(Go(), 0);
    EXPECT_EQ(q.event()->get_cmd_status(), 1u);
    EXPECT_EQ(q.event()->header.get_cabno(), kFirstCab);
    EXPECT_EQ(q.event()->header.sysno, 2);
    ASSERT_EQ(q.event()->get_datalen(), 84u + 28u);
    EXPECT_EQ(q.cabname(), "Cab007");
    EXPECT_EQ(q.result[32 + 84 + 18], 59) << "the status of complex 2, the tree's last bytes";

    std::string log;
    ASSERT_TRUE(sim.ctl("log", &log));
    EXPECT_NE(log.find("cab=7 sys=2"), std::string::npos) << log;
    EXPECT_NE(log.find("cmd=1 ctype=0x81 cid=0xff"), std::string::npos) << log;
    EXPECT_EQ(Logged(kFirstCab), 1);

    /* The link stays open for the next GO; the chain was cleared. */
    EXPECT_NE(qmx_applid, 0);
    Query again;
    ASSERT_EQ(Buffer(kFirstCab, again), 0);
    EXPECT_EQ(Go(), 0);
    EXPECT_EQ(again.event()->get_cmd_status(), 1u);
    EXPECT_EQ(Logged(kFirstCab), 2);

    /* Closing everything releases the link and the tables; the next
     * command starts over. */
    close_all_ports();
    EXPECT_EQ(NoEnvPBs, 1);
    EXPECT_EQ(qmx_applid, 0);
    EXPECT_EQ(SendEnvParamBlocks, nullptr);
    close_all_ports();
    Query third;
    ASSERT_EQ(Buffer(kFirstCab, third), 0);
    EXPECT_EQ(Go(), 0);
    EXPECT_EQ(third.event()->get_cmd_status(), 1u);
}

TEST_F(EngineCabsim, NotReadySixteenTimesIsBusyAtTheSixthAndTwelfth)
{
    Start();
    setenv(TIME_SCALE_VARIABLE, "100", 1);
    ASSERT_TRUE(sim.ctl("fault 7 notready count=16"));
    Query q;
    ASSERT_EQ(Buffer(kFirstCab, q), 0);
    EXPECT_EQ(Go(), 0);
    EXPECT_EQ(q.event()->get_cmd_status(), 1u) << "the seventeenth answer is the tree";
    EXPECT_EQ(Logged(kFirstCab), 17) << "resent after every not-ready, without a resend limit";
    std::vector<std::string> busy = {"cmic007 is busy.", "cmic007 is busy."};
    EXPECT_EQ(WorkLines(), busy);
}

TEST_F(EngineCabsim, AReplyForAnotherSequenceIsDroppedAndTheSlotWaits)
{
    Start();
    ASSERT_TRUE(sim.ctl("fault 7 wrongseq"));
    Query q;
    ASSERT_EQ(Buffer(kFirstCab, q), 0);
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Go(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("GetCmicRsp: Unexpected sequence="), std::string::npos) << out;
    EXPECT_EQ(q.event()->get_cmd_status(), 1u);
    EXPECT_EQ(Logged(kFirstCab), 1) << "nothing resent";
}

TEST_F(EngineCabsim, AModuleNotAliveFailsAtOnceWithUndelivered)
{
    Start(2);
    ASSERT_TRUE(sim.ctl("alive 8 no"));
    Query alive, dead;
    ASSERT_EQ(Buffer(7, alive), 0);
    ASSERT_EQ(Buffer(8, dead), 0);
    EXPECT_EQ(Go(), 1);
    EXPECT_EQ(alive.event()->get_cmd_status(), 1u);
    EXPECT_EQ(dead.event()->get_cmd_status(), 17u);
    std::vector<std::string> lines = {"cmic008 not alive"};
    EXPECT_EQ(WorkLines(), lines);

    /* The status record of a caller that keeps one. */
    cabproc records[1] = {};
    records[0].cabid = 8;
    MarkErrStat(records, 1);
    EXPECT_EQ(records[0].info.cntlrbad[0], 1);
    EXPECT_EQ(records[0].info.errstat, SENDENV_FAILED);
}

TEST_F(EngineCabsim, ASilentModuleIsMarkedFailedAfterTwoWaits)
{
    Start(2);
    setenv(TIME_SCALE_VARIABLE, "100", 1);
    ASSERT_TRUE(sim.ctl("silent 8 on"));
    Query answering, silent;
    ASSERT_EQ(Buffer(7, answering), 0);
    ASSERT_EQ(Buffer(8, silent), 0);
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Go(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(answering.event()->get_cmd_status(), 1u) << "the other module finished";
    EXPECT_EQ(silent.event()->get_cmd_status(), 0u) << "no answer: nothing but the pre-set header";
    EXPECT_NE(out.find("Cab[8] Cntlr[0] Lost Rsps, retry"), std::string::npos) << out;
    EXPECT_NE(out.find("Cab[8] Cntlr[0] Lost Rsps\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Errors found in Cabinet#8, Cntlr#0: RSP_TIMEOUT"), std::string::npos) << out;
    std::vector<std::string> lines = {"cmic008 doesn't respond."};
    EXPECT_EQ(WorkLines(), lines);
    /* A module keeps its command: only serial controllers are sent it again. */
    EXPECT_EQ(Logged(8), 1);
}

TEST_F(EngineCabsim, PerComplexFailuresReachTheCallerAndTheSlot)
{
    Start();
    ASSERT_TRUE(sim.ctl("fault 7 fail 1:2,2:25 count=2 cmd=3"));
    Query off(C_POWER_OFF, 1);
    ASSERT_EQ(Buffer(kFirstCab, off), 0);
    EXPECT_EQ(Go(), 0) << "a caller with a result buffer judges cmd_status itself";
    const qmx_ecmdcmplt_t *event = off.event();
    EXPECT_EQ(event->get_cmd_status(), 0u);
    ASSERT_EQ(event->complex_count, 2);
    const auto *records = reinterpret_cast<const complex_cmd_status_t *>(off.result + 32);
    EXPECT_EQ(records[0].complex_id, 1);
    EXPECT_EQ(records[0].get_cmd_status(), 2u);
    EXPECT_EQ(records[1].complex_id, 2);
    EXPECT_EQ(records[1].get_cmd_status(), 25u);
    const snppb &slot = Block(kFirstCab).spb[0];
    ASSERT_NE(slot.cmic_complex_status, nullptr);
    EXPECT_EQ(std::memcmp(slot.cmic_complex_status, off.result, 32 + 16), 0);

    /* Without a result buffer the controller counts as failed. */
    Query blind(C_POWER_OFF, 1, false);
    ASSERT_EQ(Buffer(kFirstCab, blind), 0);
    EXPECT_EQ(Go(), 1);
}

volatile sig_atomic_t alarms = 0;
void CountAlarm(int)
{
    alarms = alarms + 1;
}

TEST_F(EngineCabsim, ThePendingAlarmOfTheCallerIsReArmed)
{
    Start();
    struct sigaction counting {};
    counting.sa_handler = CountAlarm;
    sigemptyset(&counting.sa_mask);
    struct sigaction before {};
    sigaction(SIGALRM, &counting, &before);
    ASSERT_TRUE(sim.ctl("delay 7 1500"));

    /* An alarm due during the GO neither interrupts it nor is lost. */
    alarms = 0;
    alarm(1);
    Query q;
    ASSERT_EQ(Buffer(kFirstCab, q), 0);
    EXPECT_EQ(Go(), 0);
    EXPECT_EQ(alarms, 0);
    EXPECT_EQ(q.event()->get_cmd_status(), 1u);
    struct sigaction now {};
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, &CountAlarm) << "the caller's handler is back";
    EXPECT_EQ(alarm(0), 1u) << "re-armed with at least one second";

    /* A later alarm keeps what is left of it. */
    alarm(30);
    Query again;
    ASSERT_EQ(Buffer(kFirstCab, again), 0);
    EXPECT_EQ(Go(), 0);
    unsigned left = alarm(0);
    EXPECT_GE(left, 27u);
    EXPECT_LE(left, 29u);
    EXPECT_EQ(alarms, 0);
    sigaction(SIGALRM, &before, nullptr);
}

TEST_F(EngineCabsim, ManyCabinetsAreServedByGoAndByGoNowaitFromTheCallersPollLoop)
{
    constexpr int kCabinets = 12;
    Start(kCabinets);
    std::vector<Query> waited(kCabinets), queries(kCabinets);
    for (int i = 0; i < kCabinets; ++i) {
        ASSERT_TRUE(sim.ctl("delay " + std::to_string(kFirstCab + i) + " 100"));
        ASSERT_EQ(Buffer(kFirstCab + i, waited[i]), 0);
    }
    EXPECT_EQ(Go(), 0);
    for (int i = 0; i < kCabinets; ++i)
        EXPECT_EQ(waited[i].cabname(), CabName(kFirstCab + i)) << "the answer of each cabinet in its own buffer";

    for (int i = 0; i < kCabinets; ++i)
        ASSERT_EQ(Buffer(kFirstCab + i, queries[i]), 0);
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO_NOWAIT, ALLCNTLRS), 0);
    EXPECT_EQ(Block(kFirstCab).spb[0].outcome, spb_NOWAIT);

    std::set<int> finished;
    int all_done = 0, errors = -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!all_done && std::chrono::steady_clock::now() < deadline) {
        int n = SebNumPollFds();
        std::vector<pollfd> fds(static_cast<std::size_t>(n > 0 ? n : 1));
        int got = SebGetPollFds(fds.data(), n);
        if (got > 0)
            poll(fds.data(), static_cast<nfds_t>(got), 200);
        int cab = -1, cab_done = 0;
        errors = SebGetNextResponse(&cab, &cab_done, &all_done);
        if (cab_done)
            finished.insert(cab);
    }
    ASSERT_TRUE(all_done);
    EXPECT_EQ(errors, 0);
    ASSERT_EQ(finished.size(), std::size_t{kCabinets});
    EXPECT_EQ(*finished.begin(), kFirstCab);
    for (int i = 0; i < kCabinets; ++i)
        EXPECT_EQ(queries[i].cabname(), CabName(kFirstCab + i)) << i;
    EXPECT_EQ(Block(kFirstCab).spb[0].chain_len, 0) << "reviewed once all were in";
}

TEST_F(EngineCabsim, AbandonedNowaitCollectionReportsWhatWasLeft)
{
    Start(2);
    ASSERT_TRUE(sim.ctl("silent 8 on"));
    Query a, b;
    ASSERT_EQ(Buffer(7, a), 0);
    ASSERT_EQ(Buffer(8, b), 0);
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO_NOWAIT, ALLCNTLRS), 0);
    /* Wait for cabinet 7's answer to be read. */
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Block(7).spb[0].allrcvd == 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd fd{};
        if (SebGetPollFds(&fd, 1) == 1)
            poll(&fd, 1, 200);
        int cab = -1, done = 0, all = 0;
        SebGetNextResponse(&cab, &done, &all);
        if (done)
            break;
    }
    EXPECT_EQ(SebClearNowait(), 1);
    std::vector<std::string> lines = {"cmic008 doesn't respond."};
    EXPECT_EQ(WorkLines(), lines);
    EXPECT_EQ(a.event()->get_cmd_status(), 1u);
}

/* ---- the time scale ------------------------------------------------------------------ */

TEST(TimeScale, DividesEveryWaitOnlyWhenSet)
{
    unsetenv(TIME_SCALE_VARIABLE);
    EXPECT_EQ(time_scale(), 1);
    EXPECT_EQ(scaled_ms(30000), 30000);
    EXPECT_EQ(scaled_seconds(60), 60u);
    for (const char *bad : {"", "abc", "0", "1", "-5", "10x"}) {
        setenv(TIME_SCALE_VARIABLE, bad, 1);
        EXPECT_EQ(time_scale(), 1) << bad;
    }
    setenv(TIME_SCALE_VARIABLE, "100", 1);
    EXPECT_EQ(scaled_ms(30000), 300);
    EXPECT_EQ(scaled_ms(50), 1) << "never below a millisecond";
    EXPECT_EQ(scaled_ms(0), 0);
    EXPECT_EQ(scaled_seconds(900), 9u);
    EXPECT_EQ(scaled_seconds(5), 1u);
    EXPECT_EQ(scaled_seconds(0), 0u);
    setenv(TIME_SCALE_VARIABLE, "99999999999", 1);
    EXPECT_EQ(time_scale(), TIME_SCALE_MAX);
    unsetenv(TIME_SCALE_VARIABLE);
}

} // namespace
