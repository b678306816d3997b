/*
 * tessel_comm_test.cpp - the management-module link over a scripted
 * stand-in for libqmx (defined below, linked instead of the real library):
 * registration and its refusals, the command and event messages as bytes,
 * receiving, poll descriptors, closing, and the texts of commands,
 * complexes, library errors and buffer dumps.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/trace.h"
#include "engine/tessel_comm.h"

/* ---- scripted libqmx ------------------------------------------------------ */

namespace fake {
int init_result = 0x100;
int register_result = 2;
int fdnum = 1;
int getfd_result = 1;
int send_result = 1;
unsigned long next_sequence = 41;
std::vector<uint8_t> sent;
std::vector<std::string> calls;
int recv_buflen = 0;
int recv_timeout = 0;
} // namespace fake

extern "C" {
int qmx_errno = 0;

int qmx_init(qmx_configbuf_t *)
{
    fake::calls.push_back("init");
    return fake::init_result;
}
int qmx_register(int, int service, qmx_rcvopts_t *opts)
{
    fake::calls.push_back("register " + std::to_string(service) + (opts ? " filter" : " none"));
    return fake::register_result;
}
int qmx_getfdnum(int)
{
    return fake::fdnum;
}
int qmx_getfd(int, int *fds)
{
    for (int i = 0; i < fake::fdnum; ++i)
        fds[i] = 20 + i;
    return fake::getfd_result;
}
int qmx_sendcmd(int, void *msg, int len, unsigned long *sequence)
{
    fake::sent.assign(static_cast<uint8_t *>(msg), static_cast<uint8_t *>(msg) + len);
    if (sequence != nullptr && fake::send_result > 0)
        *sequence = fake::next_sequence;
    return fake::send_result;
}
int qmx_recvmsg(int, void *buf, int buflen, int timeout, int *queue_count)
{
    fake::recv_buflen = buflen;
    fake::recv_timeout = timeout;
    EXPECT_EQ(static_cast<char *>(buf)[0], '0');
    if (queue_count != nullptr)
        *queue_count = 2;
    qmx_errno = QMX_EBADCONN;
    return -1;
}
int qmx_deregister(int, int service)
{
    fake::calls.push_back("deregister " + std::to_string(service));
    return 3;
}
int qmx_close(int)
{
    fake::calls.push_back("close");
    return 0;
}
}

namespace {

class TesselComm : public ::testing::Test {
protected:
    void SetUp() override
    {
        qmx_applid = 0;
        fake::init_result = 0x100;
        fake::register_result = 2;
        fake::fdnum = 1;
        fake::getfd_result = 1;
        fake::send_result = 1;
        fake::sent.clear();
        fake::calls.clear();
        debug = 0;
    }
    void TearDown() override { debug = 0; }

    /* Runs f with debug at `level` and returns what it traced. */
    template <typename F>
    std::string traced(int level, F f)
    {
        debug = level;
        ::testing::internal::CaptureStdout();
        f();
        std::string out = ::testing::internal::GetCapturedStdout();
        debug = 0;
        return out;
    }
};

TEST_F(TesselComm, RegistersOnceAndClosesOnce)
{
    EXPECT_EQ(register_for_cmic_cmds(), 1);
    EXPECT_EQ(fake::calls, (std::vector<std::string>{"init", "register 2 none"}));

    /* Already initialised: only the descriptor count. */
    fake::fdnum = 2;
    EXPECT_EQ(register_for_cmic_cmds(), 2);
    EXPECT_EQ(fake::calls.size(), 2u);

    /* Closing releases everything, once. */
    fake::calls.clear();
    close_qmx();
    close_qmx();
    EXPECT_EQ(fake::calls, (std::vector<std::string>{"deregister -1", "close"}));
    EXPECT_EQ(get_qmx_applid(), 0);
}

TEST_F(TesselComm, RefusesFailedAndOddHandlesAndFailedRegistration)
{
    const struct {
        int init, registered, error;
        const char *trace;
    } kRefusals[] = {{0x101, 2, 0, "   qmx_init failed : invalid mask"},
                     {-1, 2, QMX_ENOSERVICE, "   qmx_init failed :QMX_ENOSERVICE"},
                     {0x102, -1, QMX_EBADCONN, "   qmx_register cmd failed :QMX_EBADCONN errno=11"}};
    for (const auto &refusal : kRefusals) {
        fake::init_result = refusal.init;
        fake::register_result = refusal.registered;
        qmx_errno = refusal.error;
        std::string out = traced(1, [] { EXPECT_EQ(register_for_cmic_cmds(), 0); });
        EXPECT_NE(out.find(refusal.trace), std::string::npos) << out;
        EXPECT_EQ(get_qmx_applid(), 0) << refusal.trace;
    }
}

/* ---- messages ------------------------------------------------------------------ */

TEST_F(TesselComm, CommandsAndEventsAsBytes)
{
    register_for_cmic_cmds();
    char result[64], args[3] = {'\x11', '\x22', '\x33'};
    tessel_cmd_t status{nullptr, result, sizeof(result), 0, 0x81, 0xFF, 0x90, 2, C_STATUS};
    unsigned long sequence = 0;
    EXPECT_EQ(send_qmx_cmd(3, 0x0105, &status, &sequence), 1);
    EXPECT_EQ(sequence, 41u);
    EXPECT_EQ(fake::sent, (std::vector<uint8_t>{0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x01, 3, 0x81, 0xFF,
                                                0x90, 2, 0, C_STATUS, 0, 0, 0}));

    /* The argument bytes follow, counted in the length. */
    tessel_cmd_t config{args, nullptr, 0, 3, 0x80, 4, 0, 0, C_UPDATE_CONFIG};
    send_qmx_cmd(1, 4, &config, nullptr);
    EXPECT_EQ(fake::sent, (std::vector<uint8_t>{0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 1, 0x80, 4, 0, 0, 0,
                                                C_UPDATE_CONFIG, 0, 3, 0, 0x11, 0x22, 0x33}));

    /* An event: its type and severity, the command as event and subevent. */
    tessel_cmd_t event{nullptr, nullptr, 0, 0, 0x81, 0, 2, 0, 13};
    send_tessel_event(1, 2, &event, 0x10, 5);
    EXPECT_EQ(fake::sent, (std::vector<uint8_t>{0x10, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0x81, 0, 2, 0, 0,
                                                13, 13, 0, 0}));
}

TEST_F(TesselComm, SendFailuresAreTracedAndPassedOn)
{
    register_for_cmic_cmds();
    tessel_cmd_t cmd{nullptr, nullptr, 0, 0, 0x81, 0xFF, 0, 0, C_STATUS};
    for (auto [result, trace] : {std::pair{0, "   qmx_sendcmd failed : CMIC not alive"},
                                 {-1, "   qmx_sendcmd failed :QMX_ETRUNC"}}) {
        fake::send_result = result;
        qmx_errno = QMX_ETRUNC;
        std::string out = traced(1, [&] {
            EXPECT_EQ(send_qmx_cmd(1, 1, &cmd, nullptr), result);
            EXPECT_EQ(send_tessel_event(1, 1, &cmd, 0x10, 1), result);
        });
        EXPECT_EQ(out, " " + std::string(trace) + "\n " + trace + "\n"); /* indented by its level */
    }
}

TEST_F(TesselComm, ReceiveBlocksWithTheFullBufferAndTracesErrors)
{
    register_for_cmic_cmds();
    char buf[QMX_RECV_SIZE];
    buf[0] = 'x';
    int queued = -1;
    std::string out = traced(1, [&] { EXPECT_EQ(receive_qmx_msg(20, buf, &queued), -1); });
    EXPECT_EQ(fake::recv_buflen, 8192);
    EXPECT_EQ(fake::recv_timeout, -1);
    EXPECT_EQ(queued, 2);
    EXPECT_NE(out.find("qmx_recvmsg error: fd=20 QMX_EBADCONN"), std::string::npos) << out;

    char msg[20] = {};
    msg[12] = 0x2A;
    msg[13] = 0x01;
    EXPECT_EQ(GetQmxMsgCabid(msg), 0x012A);
}

TEST_F(TesselComm, PollInfoCopiesDescriptorsOrFails)
{
    register_for_cmic_cmds();
    struct pollfd pf[4] = {};
    fake::fdnum = 2;
    fake::getfd_result = 2;
    EXPECT_EQ(get_qmx_poll_info(pf, 4), 2);
    EXPECT_EQ(pf[1].fd, 21);
    EXPECT_EQ(pf[0].events, 3);

    /* Room for one: one copied, the count still the library's. */
    struct pollfd one[1] = {};
    EXPECT_EQ(get_qmx_poll_info(one, 1), 2);
    EXPECT_EQ(one[0].fd, 20);

    fake::getfd_result = 1;
    qmx_errno = QMX_ESTATE;
    std::string out = traced(1, [&] { EXPECT_EQ(get_qmx_poll_info(pf, 4), 0); });
    EXPECT_NE(out.find("   qmx_getfd failed : return=1, qmx_errno=4"), std::string::npos) << out;

    fake::fdnum = 0;
    EXPECT_EQ(get_qmx_poll_info(pf, 4), 0);
}

} // namespace
