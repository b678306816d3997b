/*
 * cabsim_serial_test.cpp - the simulator's serial controllers as the console
 * meets them: the real cabsim on a small configuration under a private
 * console root, its device links opened like the engine opens a line, ASCII
 * commands and UPS frames exchanged as bytes, faults, events after SP, the
 * command log.
 */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "engine/env_cmd.h"
#include "engine/env_regs.h"
#include "engine/rsp_check.h"
#include "tests/support/process.h"

namespace {

constexpr const char *kConfig =
    "NODE_RECORD\nname=snp0010A\ntype=SNP\ninterface=TTY\naddress=/dev/ttyC10a\ncabinet=10\nprocessor=0\nEND\n"
    "NODE_RECORD\nname=jbod00121\ntype=JBOD\ninterface=TTY\naddress=/dev/ttyC12b\ncabinet=12\nprocessor=1\nEND\n"
    "NODE_RECORD\nname=pwr00140\ntype=PWR\ninterface=TTY\naddress=/dev/ttyC14a\ncabinet=14\nprocessor=1\nEND\n"
    "NODE_RECORD\nname=pwr00150\ntype=PWR\nsubtype=RM\ninterface=TTY\naddress=/dev/ttyC15a\ncabinet=15\nEND\n";
constexpr int kReplyMs = 3000;

/* A controller's line, opened as the console opens it. */
class Line {
public:
    explicit Line(const std::string &device) : fd_(open(device.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY))
    {
        termios tio{};
        if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
            tio.c_cc[VMIN] = 1;
            tio.c_cc[VTIME] = 0;
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Line() { close(fd_); }
    bool is_open() const { return fd_ >= 0; }
    void send(const std::string &bytes) { EXPECT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    /* What arrives until `count` bytes, `lines` line feeds (0: any), or `ms`
     * pass. */
    std::string read(std::size_t count, int lines = 1, int ms = kReplyMs)
    {
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < count && (lines == 0 || std::count(got.begin(), got.end(), '\n') < lines)) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd pfd{fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buf[256];
            ssize_t n = ::read(fd_, buf, sizeof(buf));
            if (n > 0)
                got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    /* One command line and its one-line reply. */
    std::string ask(const std::string &command) { send(command + "\r"); return read(512); }

private:
    int fd_;
};

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

class CabsimSerial : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(config_) << kConfig;
        ASSERT_TRUE(sim_.start_args({"-c", config_}));
    }
    std::string dev(const char *name) const { return sim_.root() + "/dev/" + name; }
    std::string show(const std::string &node)
    {
        std::string out;
        EXPECT_TRUE(sim_.ctl("show " + node, &out));
        return out;
    }

    CabsimProcess sim_;
    std::string config_ = sim_.root() + "/serial.config";
};

TEST_F(CabsimSerial, RegistersRoundTripAndDecodeAsTheConsoleReadsThem)
{
    EXPECT_FALSE(std::filesystem::exists(dev("ttyC15a"))) << "a rack-mounted UPS is not on a serial line";
    Line line(dev("ttyC10a"));
    ASSERT_TRUE(line.is_open());
    ASSERT_TRUE(sim_.ctl("reg snp0010A 0xFF 1"));
    for (auto [command, reply] : {std::pair{"EP", "AC 00\r\n"}, {"WE 04 01", "AC 00\r\n"}, {"RE 04", "AC 01\r\n"},
                                  {"RE 05", "AC 00\r\n"}, {"RN 04", "AC 01\r\n"}})
        EXPECT_EQ(line.ask(command), reply) << command;
    line.send("RE");                      /* a command in pieces */
    line.send(" FF\r");
    EXPECT_EQ(line.read(512), "AC 01\r\n");

    std::string en = line.ask("EN");
    ASSERT_EQ(en.size(), 69u);
    unsigned int env[ENV_IMAGE_WORDS] = {};
    ConvertToHex(READ_ALL_REG, reinterpret_cast<int *>(env), en.c_str(), static_cast<int>(en.size()));
    for (int reg = 0; reg < 256; ++reg)
        EXPECT_EQ(E_value(reg, env), reg == 0x04 || reg == 0xFF ? 1 : 0) << "register " << reg;

    EXPECT_EQ(line.ask("RR").size(), 20u);
    /* Commands and their replies in turn; RE needs its register. */
    for (auto [command, reply] : {std::pair{"WR 00 41", "AC 00\r\n"}, {"XY 12", "\x12\n"}, {"RE", "\x12\n"},
                                  {"RA 01 02", "RS 00\r\n"}, {"ID 07", "Level 0 Done\r\n"}, {"ID", "AC 07\r\n"}})
        EXPECT_EQ(line.ask(command), reply) << command;
    EXPECT_EQ(line.ask("RR").substr(0, 2), "41");
    EXPECT_NE(show("snp0010A").find("image=" + en.substr(3, 64)), std::string::npos);
}

TEST_F(CabsimSerial, EventsFollowSpForEveryWriteInTheConsolesNumbering)
{
    {
        Line snp(dev("ttyC10a"));
        EXPECT_EQ(snp.ask("EP"), "AC 00\r\n");
        snp.ask("WE 02 01");
        snp.ask("WE 02 00");
        snp.ask("WE 42 01"); /* no event for it */
        snp.ask("WR 03 10");
        snp.ask("BD");
        snp.send("SP\r");
        EXPECT_EQ(snp.read(512, 4), "AC 00\r\nEC 94\r\nSC 52\r\nEC E0\r\n");
        EXPECT_EQ(snp.ask("EP"), "AC 00\r\n");
        snp.send("SP\r"); /* nothing written: no events */
        EXPECT_EQ(snp.read(512, 2, 300), "AC 00\r\n");
    }
    /* The back side gets the console's register 02 as 0A and reports it as 02. */
    Line jbod(dev("ttyC12b"));
    EXPECT_EQ(jbod.ask("RE BD"), "AC 01\r\n");
    jbod.ask("EP");
    jbod.ask("WE 0A 01");
    jbod.send("SP\r");
    EXPECT_EQ(jbod.read(512, 2), "AC 00\r\nEC 94\r\n");
    EXPECT_NE(show("jbod00121").find("side=back"), std::string::npos);

    std::string log = sim_.log_text();
    auto first = log.find("node=snp0010A dev=/dev/ttyC10a cmd=\"WE 02 01\" reply=\"AC 00\"");
    auto sp = log.find("cmd=\"SP\" reply=\"AC 00\" events=\"EC 94,SC 52,EC E0\"");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(sp, std::string::npos);
    EXPECT_LT(first, sp);
    EXPECT_NE(log.find("node=jbod00121 dev=/dev/ttyC12b cmd=\"WE 0A 01\""), std::string::npos);
}

TEST_F(CabsimSerial, FaultsBreakTheNextRepliesAndClearRestores)
{
    Line line(dev("ttyC10a"));
    /* Each row: a fault set first (or none), a command, the reply. */
    for (auto [fault, command, reply] :
         {std::tuple{"garbage count=2", "EP", "#?!x\r\n"}, {"", "EP", "#?!x\r\n"}, {"", "EP", "AC 00\r\n"},
          {"short", "RE 01", "AC\r\n"}, {"nak", "RE 01", "\x12\n"}, {"wrongsize", "RE 01", "AC 00\r\n"}}) {
        ASSERT_TRUE(*fault == '\0' || sim_.ctl(std::string("serial snp0010A fault ") + fault)) << fault;
        EXPECT_EQ(line.ask(command), reply) << fault << " " << command;
    }
    EXPECT_EQ(line.ask("EN").size(), 68u) << "wrongsize cuts EN only";
    ASSERT_TRUE(sim_.ctl("serial snp0010A fault nolf"));
    line.send("RE 01\r");
    EXPECT_EQ(line.read(6), "AC 00\r");
    ASSERT_TRUE(sim_.ctl("serial snp0010A fault split"));
    auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(line.ask("RE 01"), "AC 00\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(250)) << "the rest comes later";
    ASSERT_TRUE(sim_.ctl("serial snp0010A fault silent on"));
    line.send("RE 01\r");
    EXPECT_EQ(line.read(512, 1, 300), "");
    EXPECT_NE(show("snp0010A").find("faults=silent:on"), std::string::npos);
    ASSERT_TRUE(sim_.ctl("clear snp0010A"));
    EXPECT_EQ(line.ask("RE 01"), "AC 00\r\n");

    ASSERT_TRUE(sim_.ctl("serial snp0010A fault unexpected"));
    EXPECT_EQ(line.ask("WE 04 01"), "AC 00\r\n") << "an unexpected event waits for one";
    line.send("SP\r");
    EXPECT_EQ(line.read(512, 2), "AC 00\r\nEC 7F\r\n");
    EXPECT_FALSE(sim_.ctl("serial snp0010A fault loud"));
    EXPECT_FALSE(sim_.ctl("serial nosuch fault nak"));
    EXPECT_NE(sim_.log_text().find("cmd=\"RE 01\" reply=\"AC 00\\x0d\" fault=nolf"), std::string::npos);
}

TEST_F(CabsimSerial, UpsAnswersFramesAndNaksBadOnes)
{
    Line ups(dev("ttyC14a"));
    ASSERT_TRUE(sim_.ctl("ups pwr00140 ST=0x12 PV=84"));
    ups.send(bytes({0x01, 0x03, 0x02, 'S', 'T', 0xAD}));
    EXPECT_EQ(ups.read(8, 0), bytes({0x01, 'R', 0x04, 'S', 'T', '1', '2', 0x01 + 'R' + 4 + 'S' + 'T' + '1' + '2' - 256}));
    ups.send(bytes({0x01, 0x03}));        /* a frame in pieces */
    ups.send(bytes({0x02, 'P', 'V', 0xAC}));
    EXPECT_EQ(ups.read(8, 0).substr(5, 2), "54");
    ups.send(bytes({0x01, 0x04, 0x04, 'S', '-', 0x01, 0x2C, 0xB6}));
    EXPECT_EQ(ups.read(8, 0), bytes({0x01, 'S', 0x04, 'S', '-', 0x01, 0x2C, 0x05}));
    ups.send(bytes({0x01, 0x03, 0x02, 'S', 'T', 0xAE}));
    EXPECT_EQ(ups.read(1, 0), "\x15");
    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault nak"));
    ups.send(bytes({0x01, 0x03, 0x02, 'S', 'T', 0xAD}));
    EXPECT_EQ(ups.read(1, 0), "\x15");
    EXPECT_FALSE(sim_.ctl("ups pwr00140 XX=1"));
    EXPECT_NE(sim_.log_text().find("node=pwr00140 dev=/dev/ttyC14a cmd=0103025354ad reply=0152045354313261"),
              std::string::npos);
}

TEST_F(CabsimSerial, ControllersAddedLaterAreLinkedButNeverOverAFile)
{
    ASSERT_TRUE(sim_.ctl("serial add dac00201 /dev/sub/ttyC20b DAC"));
    Line line(dev("sub/ttyC20b"));
    ASSERT_TRUE(line.is_open());
    EXPECT_EQ(line.ask("RE BD"), "AC 01\r\n") << "controller 1 of a DAC cabinet drives the back";
    EXPECT_FALSE(sim_.ctl("serial add other /dev/sub/ttyC20b SNP")) << "one controller per device";

    std::ofstream(dev("ttyC21a")) << "a real file";
    ASSERT_TRUE(sim_.ctl("serial add snp0021A /dev/ttyC21a SNP"));
    EXPECT_NE(show("snp0021A").find("linked=no"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(dev("ttyC21a")));
}

} // namespace
