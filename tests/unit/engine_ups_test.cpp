/*
 * engine_ups_test.cpp - the UPS protocol: frames as bytes, checks and trace
 * lines without hardware; readings, conversions, a batch over several UPS
 * cabinets and unusable replies against the UPS controllers cabsim plays,
 * with the ports borrowed from a real opclogd.
 */
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/read_config.h"
#include "config/table.h"
#include "engine/accu_ups.h"
#include "tests/unit/engine_test_support.h"

namespace {

std::string Bytes(const unsigned char *f, std::size_t n) { return {reinterpret_cast<const char *>(f), n}; }

/* A UPS on its own line in each of the cabinets 14, 15, 16 (pwr00140, ...)
 * with a mains setting of 120 V. */
std::string UpsConfig()
{
    std::string text = "SET nominal_input_voltage=120\n";
    for (int cab : {14, 15, 16})
        text += Node("damc00" + std::to_string(cab), "DAMC", cab, 0, "\tinterface=NONE\n") +
                Node("pwr00" + std::to_string(cab) + "0", "PWR", cab, 1,
                     "\tinterface=TTY\n\taddress=/dev/ttyU" + std::to_string(cab) + "\n");
    return text;
}

class UpsSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("XRACKMON_TIME_SCALE", "20", 1);
        std::string config = sim_.root() + "/var/console/nxs.config";
        std::ofstream(config) << UpsConfig();
        ASSERT_TRUE(sim_.start_args({"-c", config}));
        ASSERT_EQ(read_config_file(config.c_str()), 0);
        get_host_types();
        daemon_ = std::make_unique<OpclogdProcess>(sim_.root());
        ASSERT_TRUE(daemon_->start({})) << daemon_->stderr_text();
    }
    void TearDown() override
    {
        ExpectQuietUnlessLive();
        Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
        EXPECT_TRUE(daemon_->loans().empty());
        EXPECT_TRUE(daemon_->stop());
        FreeConfiguration();
        unsetenv("XRACKMON_TIME_SCALE");
    }
    /* Frames the node received. */
    int Received(const std::string &node)
    {
        std::string log = "\n" + sim_.log_text();
        int n = 0;
        for (std::size_t at = 0; (at = log.find("\nnode=" + node + " ", at)) != std::string::npos; ++at, ++n) {
        }
        return n;
    }
    CabsimProcess sim_;
    std::unique_ptr<OpclogdProcess> daemon_;
};

} // namespace

TEST(UpsFrames, BuiltFramesChecksumsAndTraces)
{
    EXPECT_EQ(Bytes(AccuUpsBldGetCmd(ups_GET_STATUS), 7), std::string("\x01\x03\x02ST\xAD\x00", 7));
    EXPECT_EQ(Bytes(AccuUpsBldCtlCmd(ups_CMD_SHUTDOWN, 300), 9), std::string("\x01\x04\x04S-\x01\x2C\xB6\x00", 9));
    EXPECT_EQ(AccuUpsBldGetCmd(46)[0] | AccuUpsBldCtlCmd(-1, 0)[0], 0) << "no frame for a bad command";
    EXPECT_STREQ(AccuUpsCmdName(46), "Bad UPS command");

    unsigned char reply[8] = {0x01, 'R', 0x04, 'B', 'C', 'c', '8', 0};
    reply[7] = AccuUps_checksum(reply, 7);
    EXPECT_EQ(AccuUps_verify_checksum(reply), 0);
    EXPECT_EQ(AccuUps_atoi(reinterpret_cast<char *>(reply) + 5), 0xC8);
    EXPECT_STREQ(AccuUpsCmdToAscii(reply, 8), "SOH type=0x52 size=0x4 BC ->c8 sum=0x77");
    reply[7] ^= 0x80;
    EXPECT_EQ(AccuUps_verify_checksum(reply), 0) << "bit 7 alone is forgiven";
    reply[7] ^= 0x81;
    EXPECT_EQ(AccuUps_verify_checksum(reply), 1);

    AccuUpsBuffer control{{0x01, 'S', 0x04, 'S', 'T', '0', '0', 0}};
    control.bytes[7] = AccuUps_checksum(control.bytes, 7);
    int status = -1;
    EXPECT_EQ(AccuUps_take_reply(14, control, &status), 0);
    EXPECT_EQ(status, UPS_BAD_REPLY) << "a control reply is no reading";
    EXPECT_STREQ(AccuUpsCmdToAscii(control.bytes, 8), "SOH type=0x53 size=0x4 ST delay=0x3030 sum=0x5f");
    EXPECT_STREQ(AccuUpsCmdToAscii(AccuUpsBldGetCmd(ups_GET_STATUS), 6), "SOH type=0x3 size=0x2 ST sum=0xad");
    const unsigned char note[] = {0x02, 'U', 0x04, 'A', '5', 'N', 'O', 0};
    EXPECT_STREQ(AccuUpsCmdToAscii(note, sizeof note), "ERR ANNUNCIATION status=A5(10100101) shutdown=NO ");
    const unsigned char odd[] = {0x01, '?', 0x09, '#', '!'};
    EXPECT_STREQ(AccuUpsCmdToAscii(odd, sizeof odd), "Unknown UPS msg: 0x1 0x3f 0x9 0x23 0x21");

    for (auto [model, va] : {std::pair{21, 2100}, {27, 2100}, {22, 0}, {1, 1042}, {15, -1}, {28, -1}})
        EXPECT_EQ(AccuUps_model_va(model), va) << "model " << model;
}

TEST_F(UpsSim, EveryReadingConvertedAndThePortGivenBack)
{
    ASSERT_TRUE(sim_.ctl("ups pwr00140 M#=0x11 ST=0x12 PV=84 PI=0x5A PO=0x32 T1=0xB4 T2=0x80 BT=0xA0 BV=0x6B "
                         "BI=0x20 CI=0x16 BC=0x64 IF=0x9D OF=0x7D"));
    AccuUpsData d;
    ASSERT_EQ(AccuUps_get_data(14, &d), UPS_OK);
    EXPECT_TRUE(daemon_->loans().empty()) << "the record's GO gives its port back";
    EXPECT_EQ(d.input_voltage_v, 50);
    EXPECT_NEAR(d.input_current_a, 5.768, 0.001);
    EXPECT_EQ(d.load_va, 880);
    EXPECT_EQ(d.inverter_temp_c, 54);
    EXPECT_EQ(d.pfc_temp_c, -8) << "truncated toward zero";
    EXPECT_EQ(d.box_temp_c, 29);
    EXPECT_EQ(d.nominal_va, 1500);
    EXPECT_EQ(d.battery_voltage_v, 38);
    EXPECT_NEAR(d.battery_discharge_current_a, 0.20, 1e-6);
    EXPECT_NEAR(d.battery_charge_current_a, 2.0, 1e-6);
    EXPECT_EQ(d.battery_capacity_percent, 50);
    EXPECT_EQ(d.input_frequency_hz, 50);
    EXPECT_EQ(d.output_frequency_hz, 52);
    EXPECT_EQ(d.status, 0x12);

    /* Readings one query per GO; the battery voltage asks the model too. */
    int st[4];
    EXPECT_EQ(AccuUps_get_cur(14, &st[0]), d.input_current_a);
    EXPECT_EQ(AccuUps_get_pfc_temp(14, &st[1]), d.pfc_temp_c);
    EXPECT_EQ(AccuUps_get_batt_v(14, &st[2]), d.battery_voltage_v);
    EXPECT_EQ(AccuUps_get_out_freq(14, &st[3]), d.output_frequency_hz);
    EXPECT_EQ(st[0] | st[1] | st[2] | st[3], UPS_OK);
    AddToTable("nominal_input_voltage", "220V", 1);
    EXPECT_EQ(AccuUps_get_v(14, &st[0]), 100) << "220 V mains doubles the scale";
}

TEST_F(UpsSim, OneBatchOverSeveralCabinets)
{
    ASSERT_TRUE(sim_.ctl("ups pwr00140 BC=0x10"));
    ASSERT_TRUE(sim_.ctl("ups pwr00150 BC=0x20"));
    ASSERT_TRUE(sim_.ctl("serial pwr00160 fault silent on"));
    const int cabs[] = {14, 15, 16, 99, -1};
    int results[4] = {0, 0, 0, 0};
    ASSERT_EQ(AccuUps_send_data_sequences(cabs, ups_GET_BAT_CAP, 0, results), 0);
    EXPECT_EQ(std::vector<int>(results, results + 4), (std::vector<int>{0x10, 0x20, -1, -1}))
        << "16 silent, no cabinet 99";
    EXPECT_EQ(Received("pwr00140") + Received("pwr00150"), 2);
    EXPECT_EQ(AccuUps_send_data_sequences(cabs, ups_CMD_BYPASS, 0, results), -1);

    /* Every reading of the three in one GO; the first reply of 15 spoilt. */
    ASSERT_TRUE(sim_.ctl("serial pwr00150 fault badsum"));
    AccuUpsData records[4];
    ASSERT_EQ(AccuUps_get_data_list(cabs, records, results), 0);
    EXPECT_EQ(std::vector<int>(results, results + 4),
              (std::vector<int>{UPS_OK, UPS_BAD_REPLY, UPS_NO_COMM, UPS_NO_COMM}));
    EXPECT_EQ(records[0].battery_capacity_percent + records[1].battery_capacity_percent, 8 + 16);
    EXPECT_EQ(records[1].nominal_va, -1) << "its model was the spoilt reply";
    EXPECT_TRUE(daemon_->loans().empty());
}

TEST_F(UpsSim, UnusableRepliesAndSilence)
{
    int status = -1;
    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault nak"));
    EXPECT_EQ(AccuUps_get_batt_cap(14, &status), 100);
    EXPECT_EQ(status, UPS_OK);
    EXPECT_EQ(Received("pwr00140"), 2) << "a NAK is answered by the frame again";

    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault sum7"));
    EXPECT_EQ(AccuUps_get_status(14, &status) | status, 0) << "bit 7 of the sum forgiven";
    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault badsum"));
    EXPECT_EQ(AccuUps_get_auto_time(14, &status), 0);
    EXPECT_EQ(status, UPS_BAD_REPLY);
    EXPECT_EQ(AccuUps_get_auto_time(14, &status), 0x1E);
    int before = Received("pwr00140");
    ASSERT_TRUE(sim_.ctl("serial pwr00140 fault garbage"));
    EXPECT_EQ(AccuUps_get_auto_time(14, &status), 0x1E) << "a frame of another type is passed over";
    EXPECT_EQ(status, UPS_OK);
    EXPECT_EQ(Received("pwr00140") - before, 2) << "and the query asked again";

    ASSERT_TRUE(sim_.ctl("serial pwr00150 fault silent on"));
    EXPECT_EQ(Talk_to_UPS(15), UPS_NO_COMM);
    EXPECT_EQ(Talk_to_UPS(14), 0);
    AccuUpsData d;
    EXPECT_EQ(AccuUps_get_data(15, &d), UPS_NO_COMM);
}
