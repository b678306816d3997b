/*
 * engine_serial_test.cpp - GOs over the sample installation's serial
 * controllers, end to end: the engine borrows the ports from a real
 * opclogd, talks to the controllers cabsim plays on pseudo-terminals, and
 * gives everything back.  What the controllers received is read from
 * cabsim's command log, the loans from opclogd's table.
 */
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/read_config.h"
#include "daemon/portreq.h"
#include "engine/env_regs.h"
#include "engine/send_env.h"
#include "tests/support/process.h"
#include "tests/support/process.h"

namespace {

/* The serial cabinets of the sample: environmental controllers (10, 11),
 * JBOD (12) and disk-array (13) controllers front and back, a UPS (14). */
constexpr int kAsciiCabinets[] = {10, 11, 12, 13};
constexpr int kUpsCabinet = 14;
constexpr std::size_t kSerialPorts = 9;

std::vector<std::string> questions;

class SerialGo : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XRACKMON_TIME_SCALE", "20", 1);
        ASSERT_TRUE(sim_.start_args({"-c", XR_SAMPLE_CONFIG}));
        root_ = sim_.root();
        std::filesystem::create_directories(root_ + "/var/console/fifos");
        config_ = root_ + "/var/console/nxs.config";
        std::filesystem::copy_file(XR_SAMPLE_CONFIG, config_, std::filesystem::copy_options::overwrite_existing);
        ASSERT_EQ(read_config_file(config_.c_str()), 0);
        get_host_types();
        daemon_ = std::make_unique<OpclogdProcess>(root_);
        ASSERT_TRUE(daemon_->start({})) << daemon_->stderr_text();
        questions.clear();
        engine_ui = EngineUi{nullptr, nullptr, nullptr, nullptr, nullptr};
    }
    void TearDown() override
    {
        Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
        EXPECT_TRUE(daemon_->loans().empty()) << "ports left on loan";
        EXPECT_TRUE(daemon_->stop()) << daemon_->stderr_text();
        FreeConfiguration();
        engine_ui = EngineUi{nullptr, nullptr, nullptr, nullptr, nullptr};
        unsetenv("XRACKMON_TIME_SCALE");
    }

    /* READ_ALL_REG for every controller of the cabinet, into its slot. */
    void ReadImages(int cabinet)
    {
        if (NoEnvPBs)
            InitENVpb();
        env_param_block &pb = SendEnvParamBlocks[GetPBSlot(cabinet)];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            if (pb.spb[c].NodeListIndex != -1) {
                ASSERT_EQ(Send_env_board(cabinet, 0, reinterpret_cast<int *>(pb.spb[c].env), READ_ALL_REG,
                                         ANOTHER_MESSAGE, static_cast<which_cntlr_t>(c)),
                          0);
            }
        }
    }
    const snppb &Slot(int cabinet, int c) { return SendEnvParamBlocks[GetPBSlot(cabinet)].spb[c]; }

    /* The commands each node received, in order, from cabsim's log. */
    std::map<std::string, std::vector<std::string>> Received()
    {
        std::map<std::string, std::vector<std::string>> by_node;
        std::istringstream log(sim_.log_text());
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("node=", 0) != 0)
                continue;
            std::string node = line.substr(5, line.find(' ') - 5);
            std::size_t cmd = line.find(" cmd=") + 5;
            std::string text = line[cmd] == '"' ? line.substr(cmd + 1, line.find('"', cmd + 1) - cmd - 1)
                                                : line.substr(cmd, line.find(' ', cmd) - cmd);
            by_node[node].push_back(text);
        }
        return by_node;
    }
    std::size_t LoansOfMine()
    {
        std::size_t mine = 0;
        for (const std::string &loan : daemon_->loans())
            mine += loan.size() > std::strlen(get_free_port_id) &&
                    loan.compare(loan.size() - std::strlen(get_free_port_id), std::string::npos, get_free_port_id) == 0;
        return mine;
    }

    CabsimProcess sim_;
    std::unique_ptr<OpclogdProcess> daemon_;
    std::string root_, config_;
};

using Commands = std::vector<std::string>;

} // namespace

TEST_F(SerialGo, OneGoReachesEverySerialCabinetAndClosingGivesEveryPortBack)
{
    ASSERT_TRUE(sim_.ctl("reg snp0010A 4 1"));
    ASSERT_TRUE(sim_.ctl("reg snp0010B 0x21 1"));
    ASSERT_TRUE(sim_.ctl("reg jbod00121 8 1")); /* register 00 as the back side numbers it */
    for (int cabinet : kAsciiCabinets)
        ReadImages(cabinet);
    int back_reg0[1] = {-1};
    int front_reg0[1] = {-1};
    ASSERT_EQ(Send_env_board(12, 0x00, back_reg0, READ_ENV, ANOTHER_MESSAGE, CNTLR1), 0);
    ASSERT_EQ(Send_env_board(12, 0x00, front_reg0, READ_ENV, ANOTHER_MESSAGE, CNTLR0), 0);
    unsigned char frame[8] = {0x01, 0x03, 0x02, 'S', 'T', 0xAD, 0, 0};
    ASSERT_EQ(Send_env_board(kUpsCabinet, 0, reinterpret_cast<int *>(frame), UPS_DATA_MSG, ANOTHER_MESSAGE, CNTLR0),
              0);

    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);

    EXPECT_EQ(LoansOfMine(), kSerialPorts);
    EXPECT_EQ(E_value(4, Slot(10, 0).env), 1);
    EXPECT_EQ(E_value(5, Slot(10, 0).env), 0);
    EXPECT_EQ(E_value(0x21, Slot(10, 1).env), 1);
    EXPECT_EQ(back_reg0[0], 1) << "the back-side controller is asked for its own register 08";
    EXPECT_EQ(front_reg0[0], 0);
    EXPECT_EQ(Slot(12, 1).back, 1);
    EXPECT_EQ(Slot(13, 1).back, 1);
    EXPECT_EQ(Slot(13, 0).back, 0);
    EXPECT_EQ(frame[0], 0x01);
    EXPECT_EQ(frame[1], 'R');
    EXPECT_EQ(std::string(reinterpret_cast<char *>(frame) + 3, 2), "ST");

    auto received = Received();
    EXPECT_EQ(received["snp0010A"], (Commands{"EP", "EN"}));
    EXPECT_EQ(received["snp0011B"], (Commands{"EP", "EN"}));
    EXPECT_EQ(received["jbod00120"], (Commands{"EP", "RE BD", "EN", "RE 00"}));
    EXPECT_EQ(received["jbod00121"], (Commands{"EP", "RE BD", "EN", "RE 08"}));
    EXPECT_EQ(received["dac00131"], (Commands{"EP", "RE BD", "EN"}));
    ASSERT_EQ(received["pwr00140"].size(), 1u) << "a UPS gets its frame and no EP";
    EXPECT_EQ(received["pwr00140"][0], "0103025354ad");

    /* The ports stay borrowed between GOs; closing everything ends every
     * conversation with SP (a UPS has none) and gives the ports back. */
    ReadImages(10);
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    EXPECT_EQ(LoansOfMine(), kSerialPorts);
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
    EXPECT_TRUE(daemon_->loans().empty());
    received = Received();
    EXPECT_EQ(received["snp0010A"], (Commands{"EP", "EN", "EN", "SP"}));
    EXPECT_EQ(received["dac00130"], (Commands{"EP", "RE BD", "EN", "SP"}));
    EXPECT_EQ(received["pwr00140"].size(), 1u);
}

TEST_F(SerialGo, AUpsQuerySentAsTheLastMessageRunsAtOnceAndGivesThePortBack)
{
    unsigned char frame[8] = {0x01, 0x03, 0x02, 'S', 'T', 0xAD, 0, 0};
    ASSERT_EQ(Send_env_board(kUpsCabinet, 0, reinterpret_cast<int *>(frame), UPS_DATA_MSG, LAST_MESSAGE, CNTLR0), 0);

    EXPECT_EQ(Received()["pwr00140"], (Commands{"0103025354ad"}));
    EXPECT_EQ(frame[1], 'R');
    EXPECT_EQ(LoansOfMine(), 0u);
    EXPECT_EQ(Slot(kUpsCabinet, 0).owntheport, 0);
}

TEST_F(SerialGo, RepliesThatCannotBeUsedAreResentAndASilentControllerFails)
{
    ASSERT_TRUE(sim_.ctl("serial snp0010A fault nak"));
    ASSERT_TRUE(sim_.ctl("serial snp0010B fault wrongsize"));
    ASSERT_TRUE(sim_.ctl("serial snp0011A fault garbage"));
    ASSERT_TRUE(sim_.ctl("serial snp0011B fault silent on"));
    ReadImages(10);
    ReadImages(11);

    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 1) << "only the silent controller ends in error";

    auto received = Received();
    EXPECT_EQ(received["snp0010A"], (Commands{"EP", "EP", "EN"})) << "not understood: sent again";
    EXPECT_EQ(received["snp0010B"], (Commands{"EP", "EN", "EN"})) << "a reply of the wrong size: sent again";
    EXPECT_EQ(received["snp0011A"], (Commands{"EP", "EP", "EN"})) << "an unrelated line, then silence: sent again";
    EXPECT_EQ(Slot(10, 0).outcome, spb_OK);
    EXPECT_EQ(Slot(10, 1).outcome, spb_OK);
    EXPECT_EQ(Slot(11, 0).outcome, spb_OK);
    EXPECT_EQ(Slot(11, 1).outcome, spb_ERROR);
    EXPECT_EQ(SendEnvParamBlocks[GetPBSlot(11)].env_status, RSP_TIMEOUT);
    EXPECT_EQ(received["snp0011B"], (Commands{"EP", "EP"}));
    ASSERT_TRUE(sim_.ctl("clear snp0011B"));
}

TEST_F(SerialGo, EventsAfterSPAreCheckedAgainstTheRegistersWritten)
{
    int on[2] = {1, 0};
    ASSERT_EQ(Send_env_board(10, 0x04, on, WRITE_ENV, ANOTHER_MESSAGE, CNTLR0), 0);
    ASSERT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    Send_env_board(10, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);
    EXPECT_EQ(daemon_->log_text().find("snp0010A"), std::string::npos) << "the expected event is not logged";

    ASSERT_TRUE(sim_.ctl("serial snp0010A fault unexpected"));
    ASSERT_EQ(Send_env_board(10, 0x04, on, WRITE_ENV, ANOTHER_MESSAGE, CNTLR0), 0);
    ASSERT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    Send_env_board(10, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);
    std::string log = daemon_->log_text();
    EXPECT_NE(log.find("snp0010A (type 2): EC 7F"), std::string::npos) << log;
    EXPECT_EQ(Received()["snp0010A"], (Commands{"EP", "WE 04 01", "SP", "EP", "WE 04 01", "SP"}));
}

TEST_F(SerialGo, APortHeldByTheConsoleProgramIsReclaimedByEndingIt)
{
    std::string ready = root_ + "/xscp.ready";
    ChildProcess xscp;
    ASSERT_TRUE(xscp.start(XR_XSCP, {"-r", ready, "snp0011B"}));
    ASSERT_TRUE(xscp.wait_for_file(ready, milliseconds{10000}));
    const pid_t holder = xscp.pid();
    engine_ui.ask_yes_no = [](const char *text, const char *) {
        questions.push_back(text);
        return 1;
    };

    ReadImages(11);
    EXPECT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);

    ASSERT_TRUE(xscp.wait_for_exit(milliseconds{5000})) << "the console program still runs";
    EXPECT_TRUE(WIFSIGNALED(xscp.status()) && WTERMSIG(xscp.status()) == SIGKILL) << xscp.status();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].rfind("Couldn't get snp0011B: In use by xscp PID-" + std::to_string(holder) + "\n", 0), 0u)
        << questions[0];
    EXPECT_EQ(Slot(11, 1).owntheport, 1);
    EXPECT_EQ(LoansOfMine(), 2u);
    EXPECT_EQ(Received()["snp0011B"], (Commands{"EP", "EN"}));
}
