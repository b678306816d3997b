/* engine_serial_test.cpp - serial ports and GOs end to end: ports borrowed from a
 * real opclogd, controllers played by cabsim on pseudo-terminals; what they
 * received is read from cabsim's command log, the loans from opclogd's table. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

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
#include "engine/ports.h"
#include "engine/rsp_check.h"
#include "tests/unit/engine_test_support.h"

namespace {

/* The serial cabinets of the sample: environmental controllers (10, 11),
 * JBOD (12) and disk-array (13) controllers front and back, a UPS (14). */
constexpr int kAsciiCabinets[] = {10, 11, 12, 13};
constexpr int kUpsCabinet = 14;
constexpr std::size_t kSerialPorts = 9;

std::vector<std::string> questions;

class SerialGo : public ::testing::Test {
protected:
    void SetUp() override { Start(file_text(XR_SAMPLE_CONFIG)); }
    /* cabsim and the engine on this configuration, opclogd lending. */
    void Start(const std::string &config)
    {
        setenv("XRACKMON_TIME_SCALE", "20", 1);
        root_ = sim_.root();
        config_ = root_ + "/var/console/nxs.config";
        std::ofstream(config_) << config;
        ASSERT_TRUE(sim_.start_args({"-c", config_}));
        ASSERT_EQ(read_config_file(config_.c_str()), 0);
        get_host_types();
        daemon_ = std::make_unique<OpclogdProcess>(root_);
        ASSERT_TRUE(daemon_->start({})) << daemon_->stderr_text();
        questions.clear();
        engine_ui = EngineUi{nullptr, nullptr, nullptr, nullptr, nullptr};
    }
    /* Ends the daemon, leaving its request pipe behind. */
    void StopDaemon()
    {
        ASSERT_TRUE(daemon_->stop());
        daemon_.reset();
    }
    void TearDown() override
    {
        ExpectQuietUnlessLive();
        Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
        if (daemon_) {
            EXPECT_TRUE(daemon_->loans().empty()) << "ports left on loan";
            EXPECT_TRUE(daemon_->stop()) << daemon_->stderr_text();
        }
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
    /* True once opclogd lends `n` ports (within ten seconds). */
    bool LoansBecome(std::size_t n)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (daemon_->loans().size() != n) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            poll(nullptr, 0, 10);
        }
        return true;
    }
    std::size_t LoansOfMine()
    {
        std::vector<std::string> loans = daemon_->loans();
        return std::count_if(loans.begin(), loans.end(), [](const std::string &loan) {
            return loan.ends_with(std::string(" ") + get_free_port_id);
        });
    }

    CabsimProcess sim_;
    std::unique_ptr<OpclogdProcess> daemon_;
    std::string root_, config_;
};

using Commands = std::vector<std::string>;

/* n environmental controllers, four per cabinet from cabinet 100 on, named
 * snp0100A, snp0100B, ... with devices /dev/ttyT<cabinet><letter>, and a
 * processor node per cabinet. */
struct SerialInstallation {
    std::string config;
    std::vector<std::string> names, devices;
};

SerialInstallation Serial(int n)
{
    SerialInstallation made;
    for (int i = 0; i < n; ++i) {
        int cabinet = 100 + i / 4;
        char letter = static_cast<char>('A' + i % 4);
        std::string name = "snp0" + std::to_string(cabinet) + letter;
        std::string device = "/dev/ttyT" + std::to_string(cabinet) + letter;
        made.names.push_back(name);
        made.devices.push_back(device);
        made.config += Node(name, "SNP", cabinet, 0, "\tinterface=TTY\n\taddress=" + device + "\n");
        if (i % 4 == 0) /* the processor node that makes the cabinet */
            made.config += Node("vpr0" + std::to_string(cabinet), "VPR", cabinet, 1);
    }
    return made;
}

std::vector<std::string> Requests(OpclogdProcess &daemon)
{
    std::string out;
    EXPECT_TRUE(daemon.ctl("requests", &out));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(out.substr(at, end - at));
    return lines;
}

/* Installations made by the test, one cabinet of four controllers after
 * another. */
class Ports : public SerialGo {
protected:
    void SetUp() override {}
    std::string Mine(const std::string &node, const std::string &device)
    {
        return "loan " + node + " " + device + " " + get_free_port_id;
    }
};

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

TEST_F(Ports, FortyFivePortsAreBorrowedInBatchesUsedAndAllGivenBack)
{
    SerialInstallation serial = Serial(45);
    Start(serial.config);

    GrabAllPorts(1);

    std::vector<std::string> asked;
    for (const std::string &line : Requests(*daemon_))
        asked.push_back(line.substr(0, line.find(" id=")) + line.substr(line.find(" count=")));
    EXPECT_EQ(asked, (std::vector<std::string>{"request type=18 count=20", "request type=18 count=20",
                                                "request type=18 count=5"}));
    EXPECT_EQ(daemon_->loans().size(), 45u);
    for (std::size_t i = 0; i < serial.devices.size(); ++i) {
        const snppb &slot = Block(100 + static_cast<int>(i) / 4).spb[i % 4];
        EXPECT_EQ(slot.owntheport, 1) << serial.names[i];
        EXPECT_GE(slot.env_path, 0) << serial.names[i];
        EXPECT_EQ(slot.outcome, spb_OK) << serial.names[i];
    }

    /* Closing everything sends SP over every open connection, then gives
     * every port back in one request. */
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
    EXPECT_TRUE(daemon_->loans().empty());
    EXPECT_EQ(Requests(*daemon_).back(), std::string("request type=20 id=") + get_free_port_id);
    for (std::size_t i = 0; i < serial.devices.size(); ++i)
        EXPECT_EQ(Received()[serial.names[i]], (Commands{"EP", "SP"})) << serial.names[i];
}

TEST_F(Ports, ClosingOneCabinetEndsOnlyItsConversation)
{
    Start(Serial(6).config); /* cabinet 100: A-D, cabinet 101: A, B */
    int value[2] = {0, 0};
    ASSERT_EQ(Send_env_board(101, 0x04, value, WRITE_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    ASSERT_EQ(Send_env_board(100, 0, nullptr, EP, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    ASSERT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    ASSERT_EQ(daemon_->loans().size(), 6u);

    Send_env_board(101, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);

    EXPECT_EQ(daemon_->loans().size(), 4u);
    EXPECT_EQ(Received()["snp0101A"], (std::vector<std::string>{"EP", "WE 04 00", "SP"}));
    EXPECT_EQ(Received()["snp0101B"], (std::vector<std::string>{"EP", "WE 04 00", "SP"}));
    EXPECT_EQ(Received()["snp0100A"], (std::vector<std::string>{"EP"}));
    EXPECT_EQ(Block(101).num_reg_written, 0) << "the register log belongs to the connection that ended";
    EXPECT_EQ(Block(101).spb[0].env_path, -1);
    EXPECT_EQ(Block(100).spb[0].owntheport, 1);

    /* LAST_MESSAGE runs its command and closes at once, even on a cabinet
     * whose connection is not open yet. */
    ASSERT_EQ(Send_env_board(101, 0x05, value, WRITE_ENV, LAST_MESSAGE, ALLCNTLRS), 0);
    EXPECT_EQ(Received()["snp0101A"], (std::vector<std::string>{"EP", "WE 04 00", "SP", "EP", "WE 05 00", "SP"}));
    EXPECT_EQ(daemon_->loans().size(), 4u);
}

/* Two controllers fail in the same GO, each alone: one whose port another
 * program holds (and the operator says No), one whose device cannot be
 * opened (its port goes back at once). */
TEST_F(Ports, APortHeldElsewhereOrADeviceThatCannotBeOpenedFailsOnlyItsController)
{
    SerialInstallation serial = Serial(5); /* cabinet 100: A-D, cabinet 101: A */
    Start(serial.config);
    ASSERT_TRUE(daemon_->ctl("hold snp0100B 999999 xscp"));
    ASSERT_EQ(unlink((root_ + serial.devices[4]).c_str()), 0);
    questions.clear();
    engine_ui.ask_yes_no = [](const char *text, const char *tag) {
        questions.push_back(std::string(tag) + "|" + text);
        return 0;
    };
    GrabAllPorts(1);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Comm_Port_Busy|Couldn't get snp0100B: " +
                                std::string("In use by xscp PID-999999").substr(0, 40) +
                                "\n\nReclaim port(s)? \"The current owner may not function normally.\"");
    EXPECT_EQ(Block(100).spb[1].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).env_status, GETPORT_FAILED);
    EXPECT_EQ(Block(101).spb[0].outcome, spb_ERROR);
    EXPECT_EQ(Block(101).spb[0].owntheport, 0);
    EXPECT_EQ(Block(101).env_status, OPENPROC_FAILED);
    EXPECT_EQ(daemon_->loans(),
              (std::vector<std::string>{Mine("snp0100A", "/dev/ttyT100A"), "loan snp0100B /dev/ttyT100B xscp PID-999999",
                                        Mine("snp0100C", "/dev/ttyT100C"), Mine("snp0100D", "/dev/ttyT100D")}));
    EXPECT_EQ(Received()["snp0100A"], (Commands{"EP"}));
    ASSERT_TRUE(daemon_->ctl("release snp0100B"));
}

/* A name of 16 characters fills the request's name field without a
 * terminator: it must still reach the daemon, the reclaim and the return
 * whole. */
TEST_F(Ports, ASixteenCharacterPortNameIsBorrowedReclaimedAndGivenBack)
{
    const std::string name = "snp0100Aabcdefgh", device = "/dev/ttyT100A";
    static_assert(sizeof(PortRequest_t::Processor) == 16);
    SerialInstallation serial;
    serial.config = Node(name, "SNP", 100, 0, "\tinterface=TTY\n\taddress=" + device + "\n") +
                    Node("vpr0100", "VPR", 100, 1);
    Start(serial.config);
    ASSERT_TRUE(daemon_->ctl("hold " + name + " 999999 xscp"));
    engine_ui.ask_yes_no = [](const char *, const char *) { return 1; };

    GrabAllPorts(1);
    EXPECT_EQ(Block(100).spb[0].owntheport, 1);
    EXPECT_EQ(daemon_->loans(), (std::vector<std::string>{Mine(name, device)}));
    Send_env_board(100, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);
    EXPECT_TRUE(daemon_->loans().empty());
    EXPECT_EQ(Received()[name], (Commands{"EP", "SP"}));
}

/* A daemon that grants the first loan request in full and then falls
 * silent: the time-out's return of every port covers the batches already
 * granted and the port kept from an earlier GO, so none may still count as
 * held. */
TEST_F(Ports, ATimeOutAfterAGrantedBatchLeavesNothingCountedAsHeld)
{
    Start(Serial(1).config);
    /* The request's alarm is the engine's: the helper threads never take it. */
    sigset_t alarm_signal;
    sigemptyset(&alarm_signal);
    sigaddset(&alarm_signal, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm_signal, nullptr);
    GrabAllPorts(1);
    ASSERT_EQ(Block(100).spb[0].owntheport, 1);
    StopDaemon();
    int pipe_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR | O_NONBLOCK);
    ASSERT_GE(pipe_fd, 0);
    std::vector<int> types;
    std::atomic<bool> stop{false};
    std::thread daemon([&] {
        while (!stop) {
            pollfd wait{pipe_fd, POLLIN, 0};
            char message[PIPE_BUF];
            ssize_t got = poll(&wait, 1, 20) == 1 ? read(pipe_fd, message, sizeof message) : 0;
            if (got < IPC_HEADER_SIZE)
                continue;
            auto *request = reinterpret_cast<IPC_Message_t *>(message);
            types.push_back(request->Type);
            if (types.size() != 1)
                continue;
            PortRequest_t *entries = GetPortsMessage(request);
            int count = GetCountMessage(request);
            for (int i = 0; i < count; ++i)
                entries[i].Valid = 1;
            std::string address(MessageField(request->Address, sizeof request->Address));
            MessagePtr answer(BuildManyPortMessage(ANSWER_MSG, address.c_str(), "", entries, count));
            int reply = open((root_ + address).c_str(), O_WRONLY | O_NONBLOCK);
            EXPECT_EQ(write(reply, answer.get(), static_cast<std::size_t>(answer->Length)), answer->Length);
            close(reply);
        }
    });
    pthread_sigmask(SIG_UNBLOCK, &alarm_signal, nullptr);
    questions.clear();
    engine_ui.error_dialog = [](const char *text) { questions.push_back(text); };

    std::vector<PortRequest_t> ports(PORT_BATCH + 5);
    for (std::size_t i = 0; i < ports.size(); ++i)
        SetMessageField(ports[i].Processor, sizeof ports[i].Processor, "port" + std::to_string(i), false);
    int got = -1;
    EXPECT_EQ(ourGetManyPorts(ports.data(), static_cast<int>(ports.size()), &got), FAILURE);
    stop = true;
    daemon.join();

    EXPECT_EQ(types, (std::vector<int>{GET_MANY_PORTS_MSG, GET_MANY_PORTS_MSG, FREE_ALL_PORTS_MSG}));
    EXPECT_EQ(Block(100).spb[0].owntheport, 0) << "the port kept from the first GO went back too";
    EXPECT_EQ(Block(100).spb[0].env_path, -1);
    EXPECT_EQ(got, 0);
    for (std::size_t i = 0; i < ports.size(); ++i)
        EXPECT_EQ(ports[i].Valid, 0) << i;
    EXPECT_EQ(std::string(MessageField(ports.back().Result, PORT_RESULT_SIZE)), "log daemon connection timed out");

    /* A GO's request to the daemon, now silent from the start: the
     * time-out box again, and the controller fails. */
    GrabAllPorts(1);
    EXPECT_EQ(questions, (std::vector<std::string>(2, "Timed out getting ports, no response from opclogd.")));
    EXPECT_EQ(Block(100).spb[0].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).env_status, GETPORT_FAILED);
    FIFO_CloseProc(pipe_fd);
}

TEST_F(Ports, ADaemonPipeThatNobodyReadsIsUnreachableAfterTheOpenAlarm)
{
    Start(Serial(1).config);
    StopDaemon();
    std::string pipe_path = root_ + DAEMON_FIFO_PATH;
    unlink(pipe_path.c_str());
    ASSERT_EQ(mkfifo(pipe_path.c_str(), 0666), 0);
    questions.clear();
    engine_ui.error_dialog = [](const char *text) { questions.push_back(text); };

    GrabAllPorts(1); /* the open of the pipe waits for a reader until its alarm */
    EXPECT_TRUE(questions.empty()) << "an unreachable daemon is not a time-out";
    EXPECT_EQ(Block(100).spb[0].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).env_status, GETPORT_FAILED);
}

TEST_F(Ports, AReplyPipeWhoseOpenFailsIsStillRemoved)
{
    Start(Serial(1).config);
    /* The daemon's pipe gets the lowest free descriptor; the reply pipe,
     * made next, cannot be opened. */
    int lowest = dup(0), next = dup(0);
    close(lowest);
    close(next);
    rlimit saved{}, low{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    low = saved;
    low.rlim_cur = static_cast<rlim_t>(next);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    int result = FreePort("snp0100A", get_free_port_id);
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(result, -1);
    EXPECT_FALSE(std::filesystem::exists(root_ + REPLY_FIFO_PREFIX + std::to_string(getpid())));
}

TEST(ReclaimQuestion, ListsThirtyOneRefusalsThenEllipsis)
{
    std::vector<PortRequest_t> ports(41);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        ports[i] = PortRequest_t{};
        std::string name = "port" + std::to_string(i);
        SetMessageField(ports[i].Processor, sizeof ports[i].Processor, name, false);
        SetMessageField(ports[i].Result, sizeof ports[i].Result, "In use by xscp PID-1", false);
    }
    ports[0].Valid = 1; /* granted entries are not listed */
    std::string text = ReclaimQuestion(ports.data(), static_cast<int>(ports.size()));
    EXPECT_EQ(text.find("port0:"), std::string::npos);
    EXPECT_NE(text.find("Couldn't get port31: In use by xscp PID-1\n...\n\nReclaim port(s)?"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("port32"), std::string::npos);
}

TEST(KillProc, OnlyPlainPortNamesReachTheShell)
{
    ConsoleRoot root;
    std::string marker = root.path() + "/ran";
    setenv("XRACKMON_TIME_SCALE", "20", 1);
    for (std::string name : {"x;touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`",
                             "a/b|touch " + marker, std::string("-x")})
        KillProc("xscp PID-1", name.c_str());
    EXPECT_FALSE(std::filesystem::exists(marker));
    unsetenv("XRACKMON_TIME_SCALE");
}

TEST_F(Ports, AFatalSignalDuringAGoLeavesNothingOnLoan)
{
    Start(Serial(2).config);
    ASSERT_TRUE(sim_.ctl("serial snp0100B fault silent on"));

    pid_t child = fork();
    if (child == 0) {
        struct sigaction action {};
        action.sa_handler = [](int sig) {
            release_ports_from_signal();
            signal(sig, SIG_DFL);
            raise(sig);
        };
        sigaction(SIGTERM, &action, nullptr);
        unsetenv("XRACKMON_TIME_SCALE"); /* a GO that waits long */
        std::snprintf(get_free_port_id, sizeof get_free_port_id, "xrackmon.%d", int(getpid()));
        GrabAllPorts(1);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    std::string holder = "xrackmon." + std::to_string(child);
    ASSERT_TRUE(LoansBecome(2u)) << "the GO borrowed both ports";
    EXPECT_NE(daemon_->loans()[0].find(holder), std::string::npos);

    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(LoansBecome(0u)) << "ports left on loan";
}

/* Register images combined per cabinet in one GO: a swapped pair, one
 * silent controller, a back-side disk-array controller (its image keeps
 * its own numbering). */
TEST_F(SerialGo, RegisterImagesOfSeveralCabinetsAreCombinedInOneGo)
{
    for (const char *set : {"snp0010A 0xBD", "snp0010A 4", "snp0010B 0x21", "snp0011A 7", "jbod00121 8"})
        ASSERT_TRUE(sim_.ctl(std::string("reg ") + set + " 1"));
    ASSERT_TRUE(sim_.ctl("serial snp0011B fault silent on"));
    cabproc records[3] = {};
    records[0].cabid = 10, records[1].cabid = 11, records[2].cabid = 12;

    EXPECT_EQ(Read_All_Envs(records, 3), 1) << "only the silent controller ends in error";

    EXPECT_EQ(E_value(0x21, records[0].env0), 1) << "controller 0 reported the pair swapped";
    EXPECT_EQ(E_value(4, records[0].env1) + E_value(0xBD, records[0].env1), 2);
    for (int reg : {4, 0x21, 0xBD})
        EXPECT_EQ(E_value(reg, records[0].env), 1) << reg;
    EXPECT_EQ(records[1].info.cntlrbad[1], 1);
    EXPECT_EQ(records[1].info.cntlrbad[0], 0);
    EXPECT_EQ(E_value(7, records[1].env), 1);
    EXPECT_EQ(std::count_if(std::begin(records[1].env1), std::end(records[1].env1), [](unsigned w) { return w; }), 0);
    EXPECT_EQ(E_value(8, records[2].env), 1);
    EXPECT_EQ(E_value(8, records[2].env0), 0);
    EXPECT_EQ(Received()["jbod00121"], (Commands{"EP", "RE BD", "EN"}));
}

TEST_F(SerialGo, OneSilentControllerLeavesTheOtherImageAndBothSilentLeaveNone)
{
    ASSERT_TRUE(sim_.ctl("reg snp0011B 0x30 1"));
    ASSERT_TRUE(sim_.ctl("serial snp0011A fault silent on"));
    unsigned env[ENV_WORDS], env0[ENV_WORDS], env1[ENV_WORDS];
    read_environmental(11, env, env0, env1);
    EXPECT_EQ(E_value(0x30, env), 1);
    EXPECT_EQ(std::count_if(std::begin(env), std::end(env), [](unsigned w) { return w; }), 1);
    cabproc record = {};
    record.cabid = 11;
    EXPECT_EQ(Read_All_Envs(&record, 1), 1);
    EXPECT_EQ(E_value(0x30, record.env), 1);

    ASSERT_TRUE(sim_.ctl("serial snp0011B fault silent on"));
    record = {};
    record.cabid = 11;
    EXPECT_EQ(Read_All_Envs(&record, 1), 2) << "what controller 1 read before is not kept";
    EXPECT_EQ(record.info.cntlrbad[0] + record.info.cntlrbad[1], 2);
    EXPECT_EQ(std::count_if(std::begin(record.env), std::end(record.env), [](unsigned w) { return w; }), 0);
    EXPECT_EQ(Read_environmental(999, env, env0, env1), -1) << "a cabinet that does not exist";
}

TEST_F(Ports, RegisterImagesOfTenCabinetsAreReadInOneGo)
{
    SerialInstallation serial = Serial(40);
    Start(serial.config);
    cabproc records[10] = {};
    for (int i = 0; i < 10; ++i) {
        records[i].cabid = 100 + i;
        ASSERT_TRUE(sim_.ctl("reg " + serial.names[4 * i + 1] + " " + std::to_string(0x40 + i) + " 1"));
    }
    EXPECT_EQ(Read_All_Envs(records, 10), 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(E_value(0x40 + i, records[i].env), 1) << records[i].cabid;
        EXPECT_EQ(std::count_if(std::begin(records[i].env), std::end(records[i].env), [](unsigned w) { return w; }), 1);
    }
    for (const std::string &name : serial.names)
        EXPECT_EQ(Received()[name], (Commands{"EP", "EN"})) << name;
}
