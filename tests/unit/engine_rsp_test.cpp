/* engine_rsp_test.cpp - reply checking and what follows it, without hardware;
 * event lines are read back from the log daemon's pipe. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/console_path.h"
#include "base/trace.h"
#include "daemon/fifo.h"
#include "engine/rsp_check.h"
#include "engine/scheduler.h"
#include "tests/unit/engine_test_support.h"

namespace {

/* A reply to the command `cmd` as the only entry awaiting its reply. */
int Judge(int cab, int cntlr, int cmd, const std::string &reply)
{
    env_param_block &pb = Block(cab);
    snppb &slot = pb.spb[cntlr];
    slot.cmd[0] = static_cast<unsigned char>(cmd);
    slot.chain_len = 1;
    slot.nexttosend = 1;
    std::string buffer = reply;
    buffer.resize(reply.size() + 16, '\0');
    return ErrorInRsp(GetPBSlot(cab), cntlr, static_cast<int>(reply.size()), buffer.data());
}

class EngineReplies : public ::testing::Test {
  protected:
    EngineInstallation site;
    void SetUp() override
    {
        int value = 0;
        /* Tables exist and every cabinet's block is in use. */
        ASSERT_EQ(Send_env_board(10, 1, &value, READ_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
        tessel_cmd_t status{};
        status.cmdtype = C_STATUS;
        ASSERT_EQ(Send_env_board(20, 0, reinterpret_cast<int *>(&status), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS), 0);
        ReviewErrorsInPB();
    }
};

/* ---- serial controllers ------------------------------------------------------------ */

TEST_F(EngineReplies, SerialRepliesAreJudgedInOrder)
{
    const std::string all = "AC " + std::string(64, '0') + "\r\n";
    const struct { int cmd; std::string reply; int result; } cases[] = {
        /* Form of the line first. */
        {READ_ENV, "AC 01", INCOMPLETE_READ}, {READ_ENV, "\x12 what\n", UNRECOGNIZED}, {READ_ENV, "\n", UNRECOGNIZED},
        {READ_ENV, "AC\r\n", SHORT_RSP_MSG},
        /* Register reads and writes: acknowledged with 00 or 01. */
        {READ_ENV, "AC 01\r\n", GETRSP_SUCCESS}, {READ_ENV, "AC 00\r\n", GETRSP_SUCCESS},
        {READ_ENV, "AC 7F\r\n", RESEND_NEEDED}, {WRITE_ENV, " >AC 02\r\n", RESEND_NEEDED},
        {WRITE_ENV, "AC 00\r\n", GETRSP_SUCCESS}, {READ_SNP, "EV 55\r\n", GETRSP_SUCCESS},
        /* Unsolicited lines leave the controller on its command. */
        {READ_ENV, "SC 52\r\n", UNRELATED_MSG}, {READ_ENV, "RS 00\r\n", UNRELATED_MSG},
        {READ_ENV, "EC 88\r\n", UNRELATED_MSG},
        /* Fixed lengths (the short register image is 68 characters); no AC before a serial number. */
        {READ_ALL_REG, all, GETRSP_SUCCESS}, {READ_ALL_REG, all.substr(0, 66) + "\r\n", REREAD_NEEDED},
        {READ_SN, "0123456789ABCDEF01\r\n", GETRSP_SUCCESS}, {READ_SN, "0123456789ABCDEF0\r\n", REREAD_NEEDED}};
    for (const auto &c : cases)
        EXPECT_EQ(Judge(10, 0, c.cmd, c.reply), c.result) << c.cmd << " " << c.reply;
}

TEST_F(EngineReplies, ResetAndFirmwareDownloadHaveRepliesOfTheirOwn)
{
    EXPECT_EQ(Judge(10, 1, RESET, "AC 00\r\n"), UNRELATED_MSG);
    EXPECT_EQ(Judge(10, 1, RESET, "RS 00\r\n"), GETRSP_SUCCESS);
    EXPECT_EQ(Judge(13, 0, DAC_ID_DOWNLOAD, "AC 00\r\n"), UNRELATED_MSG);
    EXPECT_EQ(Judge(13, 0, DAC_ID_DOWNLOAD, "Level 0 Done\r\n"), GETRSP_SUCCESS);
    EXPECT_EQ(Judge(13, 0, DAC_ID_DOWNLOAD, "Flashing 50%\r\n"), UNRELATED_MSG);
    ASSERT_EQ(WorkLines().size(), 2u);
    EXPECT_EQ(WorkLines()[0], "dac00130: Level 0 Done\r\n");
    EXPECT_EQ(WorkLines()[1], "dac00130: Flashing 50%  ");
}

TEST_F(EngineReplies, UpsFrames)
{
    EXPECT_EQ(Judge(14, 0, UPS_DATA_MSG, std::string("\x15", 1)), RESEND_NEEDED);
    EXPECT_EQ(Judge(14, 0, UPS_DATA_MSG, std::string("\x02R\x01\x33", 4)), GETRSP_SUCCESS);
    EXPECT_EQ(Judge(14, 0, UPS_CMD_MSG, std::string("\x02T\x00", 3)), GETRSP_SUCCESS);
    EXPECT_EQ(Judge(14, 0, UPS_CMD_MSG, std::string("\x02Q\x00", 3)), UNRELATED_MSG);
    EXPECT_EQ(Judge(14, 0, UPS_CMD_MSG, std::string("\x02R", 2)), UNRELATED_MSG);
}

/* A command-complete reply of `extra` data bytes. */
std::string Completion(uint32_t status, uint8_t complexes, std::size_t extra)
{
    std::string reply(sizeof(qmx_ecmdcmplt_t) + extra, '\0');
    auto *event = reinterpret_cast<qmx_ecmdcmplt_t *>(reply.data());
    event->header.set_event_type(QMX_EVENT_CMDCMPLT);
    event->set_cmd_status(status);
    event->complex_count = complexes;
    for (std::size_t i = 0; i < extra; ++i)
        reply[sizeof(qmx_ecmdcmplt_t) + i] = static_cast<char>(i + 1);
    return reply;
}

TEST_F(EngineReplies, ManagementModuleCompletions)
{
    snppb &slot = Block(20).spb[0];
    EXPECT_EQ(Judge(20, 0, CMIC_CMD_MSG, ""), UNRECOVERABLE);
    EXPECT_EQ(Judge(20, 0, CMIC_CMD_MSG, Completion(1, 0, 84)), GETRSP_SUCCESS);
    EXPECT_EQ(slot.cmic_cmd_status, 1);
    EXPECT_EQ(Judge(20, 0, CMIC_CMD_MSG, Completion(16, 0, 0)), CMD_CMPLT_ERR);
    EXPECT_EQ(slot.cmic_cmd_status, 16);

    /* The copy of the per-complex records kept after a failure (its 8-byte
     * records are met with the simulator): margin records are 12 bytes, and
     * the copy never reads past the reply. */
    slot.cmic_last_cmd = C_MARGIN;
    EXPECT_EQ(Judge(20, 0, CMIC_CMD_MSG, Completion(0, 2, 10)), CMD_CMPLT_ERR);
    ASSERT_NE(slot.cmic_complex_status, nullptr);
    const auto *kept = static_cast<const unsigned char *>(slot.cmic_complex_status);
    EXPECT_EQ(kept[32 + 9], 10);
    EXPECT_EQ(kept[32 + 10], 0) << "bytes beyond the reply are zero";
    /* A status query has no per-complex records: nothing kept. */
    slot.cmic_last_cmd = C_STATUS;
    EXPECT_EQ(Judge(20, 0, CMIC_CMD_MSG, Completion(0, 2, 16)), CMD_CMPLT_ERR);
    EXPECT_EQ(slot.cmic_complex_status, nullptr);
}

/* ---- conversion ------------------------------------------------------------------------ */

TEST(EngineConvert, RepliesIntoTheCallersBuffers)
{
    std::vector<int> sn(9);
    ConvertToHex(READ_SN, sn.data(), "0123456789ABCDEF01\r\n", 20);
    EXPECT_EQ(sn, (std::vector<int>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01}));

    for (int cmd : {READ_ENV, READ_ONE_SNP, READ_SNP, READ_FRONT_BACK, READ_LEFT_RIGHT, DAC_ID_READ, DAC_READ_PRIMARY,
                    DAC_READ_LEDS}) {
        int value = -1;
        ConvertToHex(cmd, &value, "AC 3E\r\n", 7);
        EXPECT_EQ(value, 0x3E) << opcCMD_strs[cmd];
    }
    int untouched = 77;
    ConvertToHex(WRITE_ENV, &untouched, "AC 01\r\n", 7);
    ConvertToHex(READ_ENV, &untouched, "AC", 2); /* never read past the reply */
    EXPECT_EQ(untouched, 77);

    /* A module's reply goes to the descriptor's result buffer, cut to its
     * length; without a buffer nothing is written. */
    char result[40];
    std::memset(result, '.', sizeof(result));
    tessel_cmd_t cmd{};
    cmd.resultptr = result;
    cmd.resultlen = 36;
    std::string reply(100, 'r');
    ConvertToHex(CMIC_CMD_MSG, reinterpret_cast<int *>(&cmd), reply.data(), 100);
    EXPECT_EQ(std::string(result, 40), std::string(36, 'r') + "....");
    cmd.resultptr = nullptr;
    ConvertToHex(CMIC_CMD_MSG, reinterpret_cast<int *>(&cmd), reply.data(), 100);
}

/* ---- disk-array sides ---------------------------------------------------------------------- */

TEST_F(EngineReplies, BackSideControllersGetTheirOwnRegisterNumbers)
{
    int data[2] = {0x05, 0};
    int ignored = 0;
    ASSERT_EQ(Send_env_board(12, 0x00, &ignored, READ_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    ASSERT_EQ(Send_env_board(12, 0x1A, data, WRITE_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    ASSERT_EQ(Send_env_board(12, 0x18, &ignored, READ_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    int idx = GetPBSlot(12);
    snppb &back = Block(12).spb[1];
    /* The side is known after the READ_FRONT_BACK reply (entry 1); here
     * the read of register 00 (entry 2, whose renumbering to 08 is met end
     * to end with the simulator) went out already. */
    back.nexttosend = 3;
    int one = 1;
    ASSERT_EQ(SetBackFlag(idx, CNTLR1, &one), 0);
    EXPECT_EQ(back.back, 1);
    ConvertJBODRegs(idx, CNTLR1);
    EXPECT_EQ(EntryText(back, 2), "RE 00\r") << "what was sent stays as it was";
    EXPECT_EQ(EntryText(back, 3), "WE 1A 05\r") << "0x1A maps to itself";
    EXPECT_EQ(EntryText(back, 4), "RE 19\r");

    /* A failed controller's side stays unknown. */
    back.outcome = spb_ERROR;
    EXPECT_EQ(SetBackFlag(idx, CNTLR1, &one), -1);
    EXPECT_EQ(back.back, -1);
}

/* ---- after SP ---------------------------------------------------------------------------------- */

TEST_F(EngineReplies, EventLinesAfterCloseAreCheckedAgainstTheWritesMade)
{
    /* The log daemon's pipe, read by the test. */
    std::string dir = console_path("/var/console/fifos");
    mkdir(dir.c_str(), 0755);
    std::string fifo = console_path(DAEMON_FIFO_PATH);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto logged = [reader] {
        char buf[4096];
        ssize_t n = read(reader, buf, sizeof(buf));
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    };

    env_param_block &pb = Block(10);
    pb.num_reg_written = 1;
    pb.reg_written[0] = 0x04;
    EXPECT_EQ(PostSPRead(&pb, 0, "AC 00\r\n", 7), GOT_AC00);
    EXPECT_EQ(PostSPRead(&pb, 0, " >AC 00\r\n", 9), GOT_AC00);
    /* Beyond register writes (met end to end with the simulator): the
     * table's codes for serial-number writes and battery disables. */
    pb.reg_written[0] = REG_LOG_SN_WRITE;
    EXPECT_EQ(PostSPRead(&pb, 0, "SC 02\r\n", 7), GETRSP_SUCCESS);
    EXPECT_EQ(logged(), "");
    pb.reg_written[0] = REG_LOG_BATT_DISABLE;
    EXPECT_EQ(PostSPRead(&pb, 0, "EC E6\r\n", 7), GETRSP_SUCCESS);
    EXPECT_EQ(logged(), "");
    EXPECT_EQ(PostSPRead(&pb, 0, "RS 00\r\n", 7), GETRSP_SUCCESS);
    EXPECT_NE(logged().find("RS 00"), std::string::npos) << "0xFD needs register 0xFD";

    /* Malformed lines. */
    EXPECT_EQ(PostSPRead(&pb, 0, "EC 8", 4), REREAD_NEEDED);
    EXPECT_EQ(PostSPRead(&pb, 0, "AC\n", 3), UNRELATED_MSG);
    std::string long_line(RSP_TEXT_SIZE, 'x');
    EXPECT_EQ(PostSPRead(&pb, 0, long_line.data(), RSP_TEXT_SIZE), UNRELATED_MSG);
    /* ErrorInRsp accepts only the acknowledgement for SP. */
    EXPECT_EQ(Judge(10, 0, SP, "AC 00\r\n"), GETRSP_SUCCESS);
    EXPECT_EQ(Judge(10, 0, SP, "EC 88\r\n"), UNRELATED_MSG);
    close(reader);
}

TEST(EngineEventTable, EntriesEndAtTheEndMarker)
{
    /* Walk the entries: every count fits, and the end marker is last. */
    std::size_t i = 0, entries = 0;
    while (vpr_clear_EC[i] != 0xFF) {
        i += 2 + vpr_clear_EC[i + 1];
        ++entries;
        ASSERT_LT(i, vpr_clear_EC.size());
    }
    EXPECT_EQ(i, vpr_clear_EC.size() - 1);
    EXPECT_GT(entries, 0u);
}

/* ---- reply limits and the SMP rule ------------------------------------------------------------------- */

tessel_cmd_t Module(unsigned char cmdtype, unsigned char ctype = 0x80, unsigned char cid = 0x10,
                    unsigned char sub = 0)
{
    tessel_cmd_t cmd{};
    cmd.cmdtype = cmdtype;
    cmd.complex_type = ctype;
    cmd.complex_id = cid;
    cmd.subcomplex = sub;
    return cmd;
}

TEST(EngineShutdownRule, WhichCommandsShutAnSmpDown)
{
    /* {command, complex type, complex id, subcomplex, shuts an SMP down}:
     * a shutdown; a power-off (not a power-on) of an SMP complex type; a
     * reset of an SMP's complex id; a power-off of an SMP node by its
     * subcomplex; and their near misses. */
    struct Case {
        unsigned char cmd, ctype, cid, sub;
        int shuts;
    } const cases[] = {{12, 0x80, 0x10, 0, 1},          {C_POWER_OFF, 0x25, 0x10, 0, 1},
                       {C_POWER_OFF, 0x88, 0x10, 0, 1}, {C_POWER_ON, 0x25, 0x10, 0, 0},
                       {C_RESET, 0x26, 0x83, 0, 1},     {C_POWER_OFF, 0x26, 6, 0x90, 1},
                       {C_POWER_OFF, 0x26, 6, 4, 0},    {C_POWER_OFF, 0x26, 9, 0x90, 0},
                       {C_POWER_OFF, 0x80, 0x10, 0, 0}};
    for (const Case &c : cases) {
        tessel_cmd_t cmd = Module(c.cmd, c.ctype, c.cid, c.sub);
        EXPECT_EQ(IsSmpShutdownInvolved(&cmd), c.shuts) << int(c.cmd) << "/" << int(c.ctype) << "/" << int(c.cid);
    }

    char flush = 8, other = 7;
    tessel_cmd_t flushing = Module(C_POWER_OFF);
    flushing.dataptr = &flush;
    flushing.datalen = 1;
    EXPECT_EQ(IsSmpFlushInvolved(&flushing), 1);
    flushing.dataptr = &other;
    EXPECT_EQ(IsSmpFlushInvolved(&flushing), 0);
}

TEST_F(EngineReplies, TheWaitIsTheLongestLimitOutstanding)
{
    EXPECT_EQ(seb_poll_timeout(), 0) << "nothing outstanding";
    snppb &cmic = Block(20).spb[0];
    auto limit_for = [&cmic](tessel_cmd_t cmd) {
        std::memcpy(cmic.cmdchain[0].text, &cmd, sizeof(cmd));
        cmic.cmd[0] = CMIC_CMD_MSG;
        cmic.chain_len = 1;
        cmic.nexttosend = 1;
        cmic.allrcvd = 0;
        cmic.outcome = spb_OK;
        return seb_poll_timeout();
    };
    EXPECT_EQ(limit_for(Module(C_STATUS)), 30000);
    EXPECT_EQ(limit_for(Module(C_POWER_OFF, 0x80, 0x10)), 70000);
    EXPECT_EQ(limit_for(Module(C_POWER_OFF, 0x80, 0x81)), 900000) << "an SMP shut down waits longest";
    EXPECT_EQ(limit_for(Module(C_UPDATE_FLASH)), 130000);

    /* With a serial controller waiting too, the longer limit wins; a
     * finished or failed slot does not count. */
    snppb &snp = Block(10).spb[0];
    snp.cmd[0] = POWER_ALL_DISKS;
    snp.chain_len = 1;
    snp.nexttosend = 1;
    snp.outcome = spb_OK;
    EXPECT_EQ(limit_for(Module(C_STATUS)), 85000);
    snp.cmd[0] = DAC_ID_DOWNLOAD;
    EXPECT_EQ(limit_for(Module(C_STATUS)), 90000);
    snp.cmd[0] = READ_ENV;
    EXPECT_EQ(limit_for(Module(C_STATUS)), 30000);
    cmic.allrcvd = 1;
    EXPECT_EQ(seb_poll_timeout(), 6000);
    snp.outcome = spb_ERROR;
    EXPECT_EQ(seb_poll_timeout(), 0);
}

/* ---- review and marking ------------------------------------------------------------------------------ */

TEST_F(EngineReplies, ReviewCountsFailuresAndMarkingReportsEachOnce)
{
    int value = 0;
    ASSERT_EQ(Send_env_board(10, 1, &value, READ_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    tessel_cmd_t cmd = Module(C_STATUS);
    ASSERT_EQ(Send_env_board(20, 0, reinterpret_cast<int *>(&cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    Block(10).spb[0].outcome = spb_UNKNOWN_CMD;
    Block(10).spb[0].owntheport = 1;
    Block(10).spb[1].outcome = spb_ERROR;        /* never got its port */
    Block(20).spb[0].outcome = spb_ERROR;        /* the module link failed */
    Block(10).env_status = INVALID_CMD;

    cabproc records[2] = {};
    records[0].cabid = 10;
    records[1].cabid = 20;
    MarkErrStat(records, 2);
    MarkErrStat(records, 2);
    EXPECT_EQ(records[0].info.cntlrbad[0], 1);
    EXPECT_EQ(records[0].info.cntlrbad[1], 1);
    EXPECT_EQ(records[0].info.cntlrbad[2], 0);
    EXPECT_EQ(records[0].info.errstat, CANT_OWNPORT);
    EXPECT_EQ(records[1].info.errstat, CANT_OWNPORT);
    ASSERT_EQ(WorkLines().size(), 3u) << "each failure is reported once";
    EXPECT_EQ(WorkLines()[0], "- [ERROR]: Command not accepted by snp0010A. May not have current firmware.");
    EXPECT_EQ(WorkLines()[1], "- [ERROR]: Unable to obtain Port of Cabinet 10 Controller 1");
    EXPECT_EQ(WorkLines()[2], "- [ERROR]: Unable to connect to Cabinet 20 CMIC");

    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ReviewErrorsInPB(), 3);
    std::string out = testing::internal::GetCapturedStdout();
    debug = 0;
    EXPECT_NE(out.find("Errors found in Cabinet#10, Cntlr#0: INVALID_CMD"), std::string::npos) << out;
    for (int cab : {10, 20})
        for (const snppb &slot : Block(cab).spb)
            EXPECT_EQ(slot.chain_len, 0);
    EXPECT_EQ(ReviewErrorsInPB(), 0) << "cleared chains count no more";

    /* A port held: failed sending. */
    cabproc again = {};
    again.cabid = 10;
    Block(10).spb[1].owntheport = 1;
    WorkLines().clear();
    MarkErrStat(&again, 1);
    EXPECT_EQ(again.info.errstat, SENDENV_FAILED);
    ASSERT_EQ(WorkLines().size(), 2u);
    EXPECT_EQ(WorkLines()[1], "- [ERROR]: Unable to communicate with snp0010B");
}

} // namespace
