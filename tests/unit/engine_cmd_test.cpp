/*
 * engine_cmd_test.cpp - the engine's command model without any hardware:
 * the text of every command code, the register-write log, cabinet and
 * controller discovery over a configuration, the 25-entry chain limit, a
 * failed controller refusing commands, argument checks, the management-module
 * result buffer, and the small helpers.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/trace.h"
#include "engine/env_cmd.h"
#include "engine/rsp_check.h"
#include "engine/send_env.h"
#include "tests/unit/engine_test_support.h"

namespace {

struct TextCase {
    int cmd;
    int reg;
    int d0;
    int d1;
    const char *text; /* null: refused */
};

/* The ASCII commands whose text is built from register or data fields,
 * and codes that have no text. */
constexpr TextCase kTexts[] = {
    {NULL_CMD, 0, 0, 0, nullptr},
    {READ_ENV, 0x1A, 0, 0, "RE 1A\r"},
    {WRITE_ENV, 0x04, 0x5C, 0, "WE 04 5C\r"},
    {RESET, 0, 0x12, 0xAB, "RA 12 AB\r"},
    {WRITE_SN, 0x03, 0x7F, 0, "WR 03 7F\r"},
    {WRITE_ONE_SNP, 0xB0, 0x01, 0, "WE B0 01\r"},
    {READ_ONE_SNP, 0xC1, 0, 0, "RE C1\r"},
    {READ_SNP, 0x0F, 0, 0, "RN 0F\r"},
    {TD, 0, 0x2E, 0, "TD 2E\r"},
    {CLOSE_NO_FREE, 0, 0, 0, nullptr},
    {DAC_ID_DOWNLOAD, 0, 0x05, 0, "ID 05\r"},
    {DAC_SET_PRIMARY, 0, 0xA, 0, "TI A\r"},
    {DISK_POWER, 7, 1, 0, "PD 07 1\r"},
    {VPR_POWER, 3, 0, 0, "PS 3 0\r"},
    {HIGHEST_OPC_CMD + 1, 0, 0, 0, nullptr},
};

std::string Built(env_param_block &pb, int cmd, int reg, int *val, int *result)
{
    char text[OPC_TEXT_SIZE];
    std::memset(text, 'x', sizeof(text));
    *result = BuildEnvCmd(&pb, text, cmd, reg, val);
    return std::string(text, strnlen(text, OPC_ASCII_SIZE));
}

TEST(EngineCommands, EveryAsciiCodeHasItsText)
{
    env_param_block pb{};
    for (const TextCase &c : kTexts) {
        int data[2] = {c.d0, c.d1};
        int result = 0;
        std::string text = Built(pb, c.cmd, c.reg, data, &result);
        if (c.text == nullptr) {
            EXPECT_EQ(result, -1) << "code " << c.cmd;
        } else {
            EXPECT_EQ(result, 0) << opcCMD_strs[c.cmd];
            EXPECT_EQ(text, c.text) << opcCMD_strs[c.cmd];
        }
    }
    /* Values that do not fit their field are refused, never cut. */
    int data[2] = {0x100, 0};
    int result = 0;
    Built(pb, READ_ENV, 0x1FF, data, &result);
    EXPECT_EQ(result, -1);
    Built(pb, WRITE_ENV, 0x04, data, &result);
    EXPECT_EQ(result, -1);
    Built(pb, VPR_POWER, 2000000000, data, &result);
    EXPECT_EQ(result, -1);
    /* Commands with data need it. */
    EXPECT_EQ(BuildEnvCmd(&pb, std::string(OPC_TEXT_SIZE, ' ').data(), WRITE_ENV, 1, nullptr), -1);
}

TEST(EngineCommands, TheModuleDescriptorIsCopiedWhole)
{
    env_param_block pb{};
    pb.cabinet_id = 20;
    char text[OPC_TEXT_SIZE] = {};
    /* The descriptor verbatim; a result buffer of 32 bytes or more is
     * pre-set as an empty completion for the cabinet. */
    alignas(8) unsigned char result[64];
    std::memset(result, 0xEE, sizeof(result));
    tessel_cmd_t cmd{};
    cmd.cmdtype = C_STATUS;
    cmd.complex_id = 0xFF;
    cmd.resultptr = reinterpret_cast<char *>(result);
    cmd.resultlen = sizeof(result);
    ASSERT_EQ(BuildEnvCmd(&pb, text, CMIC_CMD_MSG, 0, reinterpret_cast<int *>(&cmd)), 0);
    EXPECT_EQ(std::memcmp(text, &cmd, sizeof(cmd)), 0);
    const auto *event = reinterpret_cast<const qmx_ecmdcmplt_t *>(result);
    EXPECT_EQ(event->header.get_event_type(), QMX_EVENT_CMDCMPLT);
    EXPECT_EQ(event->header.get_cabno(), 20);
    EXPECT_EQ(event->get_cmd_status(), 0u);
    EXPECT_EQ(event->complex_count, 0);
    EXPECT_EQ(result[32], 0xEE) << "only the header is pre-set";

    /* A shorter buffer is left alone. */
    std::memset(result, 0xEE, sizeof(result));
    cmd.resultlen = 31;
    ASSERT_EQ(BuildEnvCmd(&pb, text, CMIC_CMD_MSG, 0, reinterpret_cast<int *>(&cmd)), 0);
    EXPECT_EQ(result[0], 0xEE);
    EXPECT_EQ(result[24], 0xEE);
}

TEST(EngineCommands, WrittenRegistersAreLoggedWithTheirLimits)
{
    env_param_block pb{};
    int data[2] = {1, 0};
    char text[OPC_TEXT_SIZE];
    BuildEnvCmd(&pb, text, WRITE_ENV, 0x04, data);
    BuildEnvCmd(&pb, text, WRITE_ONE_SNP, 0x45, data); /* 0x40-0x5F are not logged */
    BuildEnvCmd(&pb, text, WRITE_ENV, 0x60, data);
    BuildEnvCmd(&pb, text, WRITE_SN, 0x02, data);
    BuildEnvCmd(&pb, text, DISABLE_BATTERIES, 0, nullptr);
    BuildEnvCmd(&pb, text, READ_ENV, 0x05, data);
    ASSERT_EQ(pb.num_reg_written, 4);
    EXPECT_EQ(pb.reg_written[0], 0x04);
    EXPECT_EQ(pb.reg_written[1], 0x60);
    EXPECT_EQ(pb.reg_written[2], REG_LOG_SN_WRITE);
    EXPECT_EQ(pb.reg_written[3], REG_LOG_BATT_DISABLE);

    /* A battery disable stops being logged at 128 entries, a write at 256. */
    pb.num_reg_written = 128;
    BuildEnvCmd(&pb, text, DISABLE_BATTERIES, 0, nullptr);
    EXPECT_EQ(pb.num_reg_written, 128);
    BuildEnvCmd(&pb, text, WRITE_ENV, 0x01, data);
    EXPECT_EQ(pb.num_reg_written, 129);
    pb.num_reg_written = 256;
    BuildEnvCmd(&pb, text, WRITE_ENV, 0x01, data);
    EXPECT_EQ(pb.num_reg_written, 256);
}

/* ---- discovery ------------------------------------------------------------------ */

TEST(EngineDiscovery, CabinetsControllersAndSlots)
{
    EngineInstallation site;
    ASSERT_EQ(TotalCabCount(), 5);
    EXPECT_EQ(ControllerCount, 7);
    struct Expected {
        int cab;
        int comm;
        int kind;
    } expected[] = {{10, SNP_type, SNP_type}, {12, JBOD_type, JBOD_type}, {13, DISK_type, DISK_type},
                    {14, DAMC_type, DAMC_type}, {20, CMIC_type, SMP_type}};
    /* Cabinet 10's kind comes from its processor node, read after the
     * controllers. */
    expected[0].kind = VPR_type;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Cabid_Pool[i].cabid, expected[i].cab);
        EXPECT_EQ(Cabid_Pool[i].comm_type, expected[i].comm) << expected[i].cab;
        EXPECT_EQ(Cabid_Pool[i].cabtype, expected[i].kind) << expected[i].cab;
    }
    EXPECT_EQ(Cabid_Pool[5].cabid, -1);

    InitENVpb();
    EXPECT_EQ(NoEnvPBs, 0);
    EXPECT_EQ(Block(10).spb[2].NodeListIndex, -1);
    EXPECT_EQ(Block(14).comm_type, DAMC_type);
    EXPECT_STREQ(Block(14).spb[0].NodeName, "pwr00140");
    EXPECT_EQ(num_ports_in_cab(10), 2);
    EXPECT_EQ(num_ports_in_cab(13), 1);

    /* Every chain its own piece of the tables. */
    EXPECT_NE(Block(10).spb[0].cmdchain, Block(10).spb[1].cmdchain);
    for (int cab : {10, 12, 13, 14, 20})
        for (const snppb &slot : Block(cab).spb)
            if (slot.NodeListIndex != -1) {
                EXPECT_GE(slot.cmdchain, cmdlist);
                EXPECT_LE(slot.cmdchain + CHAIN_LENGTH, cmdlist + ControllerCount * CHAIN_LENGTH);
                EXPECT_EQ(slot.env_path, -1);
                EXPECT_EQ(slot.back, -1);
            }
}

TEST(EngineDiscovery, ControllerIdsComeFromTheNodeName)
{
    EngineInstallation site(Node("snp0010C", "SNP", 10, 0) + Node("snp0010E", "SNP", 10, 0) +
                            Node("snp10", "SNP", 10, 0) + Node("jbod00123", "JBOD", 12, 0) +
                            Node("cmic7", "SMC", 7, 0));
    /* 'E' would be controller 4. */
    const struct {
        const char *name;
        int cab, id;
    } cases[] = {{"snp0010C", 10, 2}, {"snp0010E", 10, -1}, {"snp10", 10, -1}, {"jbod00123", 12, 3}, {"cmic7", 7, 0}};
    debug = 1;
    testing::internal::CaptureStdout();
    for (const auto &c : cases)
        EXPECT_EQ(CntlrIdIs(FindNodeByName(c.name), c.cab), c.id) << c.name;
    std::string out = testing::internal::GetCapturedStdout();
    debug = 0;
    EXPECT_NE(out.find("CntlrIdis(): Bad value, snp0010E (4)"), std::string::npos) << out;
}

/* ---- chains ------------------------------------------------------------------------ */

TEST(EngineChains, TheTwentySixthEntryIsRefusedAndTheQueueKept)
{
    EngineInstallation site;
    int value = 0;
    /* The automatic EP is the first of the 25. */
    for (int i = 0; i < CHAIN_LENGTH - 1; ++i)
        ASSERT_EQ(Send_env_board(10, i, &value, READ_ENV, ANOTHER_MESSAGE, CNTLR1), 0) << i;
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Send_env_board(10, 0x30, &value, READ_ENV, ANOTHER_MESSAGE, CNTLR1), -1);
    std::string out = testing::internal::GetCapturedStdout();
    debug = 0;
    EXPECT_NE(out.find("Command Chain for snp0010B oveflow"), std::string::npos) << out;
    const snppb &slot = Block(10).spb[1];
    EXPECT_EQ(slot.chain_len, CHAIN_LENGTH);
    EXPECT_EQ(EntryText(slot, CHAIN_LENGTH - 1), "RE 17\r");

    /* The same limit for a command to every controller. */
    EXPECT_EQ(Send_env_board(10, 0x30, &value, READ_ENV, ANOTHER_MESSAGE, ALLCNTLRS), -1);
    EXPECT_EQ(Block(10).spb[0].chain_len, 1) << "controller 0 got only its EP";
}

TEST(EngineChains, AFailedControllerTakesNothingUntilItsChainIsCleared)
{
    EngineInstallation site;
    int value = 0;
    ASSERT_EQ(Send_env_board(10, 1, &value, READ_ENV, ANOTHER_MESSAGE, CNTLR0), 0);
    Block(10).spb[0].outcome = spb_ERROR;
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Send_env_board(10, 2, &value, READ_ENV, ANOTHER_MESSAGE, CNTLR0), -1);
    std::string out = testing::internal::GetCapturedStdout();
    debug = 0;
    EXPECT_NE(out.find("Cntlr0 on Cab010\n is detected Bad"), std::string::npos) << out;
    EXPECT_NE(out.find("BuildOneENVpb(): Unable to chain cmd for Cabinet 10 cntlr0"), std::string::npos) << out;
    EXPECT_EQ(Block(10).spb[0].chain_len, 2);

    /* The review of a GO counts it and clears the chain; then it takes
     * commands again. */
    EXPECT_EQ(ReviewErrorsInPB(), 1);
    EXPECT_EQ(Block(10).spb[0].chain_len, 0);
    EXPECT_EQ(Block(10).spb[0].cmd[0], 0xFF);
    EXPECT_EQ(EntryText(Block(10).spb[0], 0), "");
    EXPECT_EQ(Send_env_board(10, 2, &value, READ_ENV, ANOTHER_MESSAGE, CNTLR0), 0);
    EXPECT_EQ(EntryText(Block(10).spb[0], 0), "RE 02\r") << "EP was queued in this connection already";
}

TEST(EngineChains, BadArgumentsAreRefused)
{
    EngineInstallation site;
    /* A GO with nothing buffered returns at once. */
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    EXPECT_EQ(NoEnvPBs, 1);
    int value = 0;
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Send_env_board(10, 1, &value, READ_ENV, ANOTHER_MESSAGE, static_cast<which_cntlr_t>(4)), -1);
    EXPECT_EQ(Send_env_board(77, 1, &value, READ_ENV, ANOTHER_MESSAGE, CNTLR0), -1);
    EXPECT_EQ(Send_env_board(10, 0, &value, CLOSE_NO_FREE, ANOTHER_MESSAGE, CNTLR0), -1);
    std::string out = testing::internal::GetCapturedStdout();
    debug = 0;
    EXPECT_NE(out.find("Send_env_board(): Invalid which argument passed. which=4"), std::string::npos) << out;
    EXPECT_NE(out.find("GetPBSlot: Can't find the PB slot for cab#77"), std::string::npos) << out;
    EXPECT_NE(out.find("BuildEnvCmd: invalid command code"), std::string::npos) << out;
}

TEST(EngineChains, SerialControllersFailAsUnportedUntilPortsCanBeBorrowed)
{
    EngineInstallation site;
    debug = 1;
    testing::internal::CaptureStdout();
    /* Controller 1 of cabinet 10 is chosen by the register argument. */
    EXPECT_EQ(send_env_board(10, 256, nullptr, READ_ALL_REG, ANOTHER_MESSAGE), GETPORT_FAILURE);
    std::string out = testing::internal::GetCapturedStdout();
    debug = 0;
    EXPECT_NE(out.find("s_e_b: GETPORT_FAILURE i=1"), std::string::npos) << out;
    EXPECT_NE(out.find("Errors found in Cabinet#10, Cntlr#1: GETPORT_FAILED"), std::string::npos) << out;
    EXPECT_EQ(Block(10).spb[1].chain_len, 0) << "the review cleared the chain";
}

/* ---- helpers -------------------------------------------------------------------------- */

TEST(EngineHelpers, PathNumbersHexDigitsAndReversedNibbles)
{
    EXPECT_EQ(nodename_to_pathnum(1, "snp0010A"), 1);
    EXPECT_EQ(nodename_to_pathnum(1, "snp0010B"), 2);
    EXPECT_EQ(nodename_to_pathnum(1, "jbod00121"), 2);
    EXPECT_EQ(nodename_to_pathnum(1, "dac00130"), 1);
    EXPECT_EQ(nodename_to_pathnum(1, ""), -1);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(atox("0123456789ABCDEF"[i]), i);
        EXPECT_EQ(rotate_bits(i), (i & 1) << 3 | (i & 2) << 1 | (i & 4) >> 1 | (i & 8) >> 3) << i;
    }
    EXPECT_EQ(atox('a'), -1);
    EXPECT_EQ(atox('G'), -1);
    EXPECT_EQ(rotate_bits(16), -1);
    EXPECT_EQ(rotate_bits(-1), -1);
}

} // namespace
