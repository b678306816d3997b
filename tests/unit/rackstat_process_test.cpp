/*
 * rackstat_process_test.cpp - rackstat run as a process on the sample
 * installation, against cabsim and opclogd: its text and JSON reports, a
 * failing cabinet among good ones, and every port given back after each run.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/process.h"

class Rackstat : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string sample = XR_SAMPLE_DIR;
        std::vector<std::string> args{"-c", sample + "/nxs.config"};
        for (int cab = 1; cab <= 4; ++cab)
            args.push_back(sample + "/cabsim/cab00" + std::to_string(cab) + ".sim");
        ASSERT_TRUE(sim_.start_args(args));
        std::error_code error;
        std::filesystem::copy_file(sample + "/nxs.config", sim_.root() + "/var/console/nxs.config", error);
        ASSERT_FALSE(error) << error.message();
        ASSERT_TRUE(daemon_.start({})) << daemon_.stderr_text();
    }
    /* Runs rackstat to its end; its exit status, its output in *out. */
    int Run(const std::vector<std::string> &args, std::string *out)
    {
        ChildProcess program;
        EXPECT_TRUE(program.start(XR_RACKSTAT, args, {{"CONSOLE_ROOT", sim_.root()}, {"XRACKMON_TIME_SCALE", "20"}}));
        EXPECT_TRUE(program.wait_for_exit(std::chrono::seconds(30)));
        *out = program.output();
        EXPECT_TRUE(daemon_.loans().empty()) << "rackstat " << args.back() << " left ports lent";
        return WIFEXITED(program.status()) ? WEXITSTATUS(program.status()) : -1;
    }
    CabsimProcess sim_;
    OpclogdProcess daemon_{sim_.root()};
};

TEST_F(Rackstat, TextAndJsonReportsOfEveryKind)
{
    ASSERT_TRUE(sim_.ctl("ups pwr00140 PV=84 BC=0x64"));
    std::string text;
    ASSERT_EQ(Run({"Cab001", "Cab010", "Cab014"}, &text), 0) << text;
    EXPECT_NE(text.find("Cab001 (cabinet 1): ok\n  chassis 1 type 47: OK\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Cab010 (cabinet 10): ok\n  registers set:"), std::string::npos) << text;
    EXPECT_NE(text.find("UPS battery: 53 V, 50 %"), std::string::npos) << text;

    std::string out;
    ASSERT_EQ(Run({"--json", "Cab001", "Cab010", "Cab014", "Cab012"}, &out), 0) << out;
    nlohmann::json all = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(all.is_array() && all.size() == 4) << out;
    EXPECT_TRUE(all[0]["name"] == "Cab001" && all[0]["chassis"].size() == 7u) << all[0].dump();
    EXPECT_EQ(all[0]["chassis"][2]["status_text"], "Warning");
    EXPECT_FALSE(all[0].contains("ups") || all[0].contains("env_registers"));
    EXPECT_TRUE(all[1]["env_registers"].is_array() && !all[1].contains("chassis"));
    EXPECT_TRUE(all[2]["ups"]["input_voltage"] == 50 && all[2]["ups"]["battery_capacity"] == 50) << all[2].dump();
    EXPECT_EQ(all[3]["env_registers"], nlohmann::json::array({189}));
    for (const auto &cab : all)
        EXPECT_TRUE(cab["ok"] == true && cab["errors"].empty()) << cab.dump();
    /* Two runs, each reading the register image of Cab010's two controllers once. */
    const std::string log = sim_.log_text();
    int reads = 0;
    for (std::size_t at = log.find("node=snp0010"); at != std::string::npos; at = log.find("node=snp0010", at + 1))
        reads += log.compare(log.find("cmd=", at), 8, "cmd=\"EN\"") == 0;
    EXPECT_EQ(reads, 4) << log;
}

TEST_F(Rackstat, FailingCabinetsAmongGoodOnes)
{
    ASSERT_TRUE(sim_.ctl("alive 2 no"));
    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault silent on"));
    std::string out;
    ASSERT_EQ(Run({"--json", "Cab001", "Cab002", "Cab014", "Cab099", "Cab010"}, &out), 1) << out;
    nlohmann::json all = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(all.is_array() && all.size() == 5) << out;
    EXPECT_TRUE(all[0]["ok"] == true && all[0]["chassis"].size() == 7u && all[4]["ok"] == true) << out;
    EXPECT_TRUE(all[1]["ok"] == false && !all[1]["errors"].empty()) << all[1].dump();
    EXPECT_TRUE(all[2]["ok"] == false && all[2]["ups"].is_null()) << all[2].dump();
    EXPECT_EQ(all[3]["errors"], nlohmann::json::array({"cabinet not in the configuration"}));

    EXPECT_EQ(Run({"Cab001", "Cab1x"}, &out), 2) << "a name that is no cabinet is a usage error";
}

TEST_F(Rackstat, InterruptedWhileWaitingGivesThePortsBack)
{
    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault silent on"));
    for (int sig : {SIGINT, SIGTERM}) {
        ChildProcess program;
        ASSERT_TRUE(program.start(XR_RACKSTAT, {"Cab014"}, {{"CONSOLE_ROOT", sim_.root()}}));
        ASSERT_TRUE(program.wait_until([&] { return !daemon_.loans().empty(); }, std::chrono::seconds(20)));
        ASSERT_TRUE(program.send_signal(sig));
        ASSERT_TRUE(program.wait_for_exit(std::chrono::seconds(20)));
        EXPECT_TRUE(WIFSIGNALED(program.status()) && WTERMSIG(program.status()) == sig) << program.status();
        EXPECT_EQ(daemon_.loans(), std::vector<std::string>{}) << "ports left on loan after signal " << sig;
    }
}
