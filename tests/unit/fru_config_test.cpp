/*
 * fru_config_test.cpp - the configuration block a new management controller
 * receives, as bytes: which fields each request fills, the dual-AC action
 * from the configuration's text, and the power-fail time high byte first;
 * then as the simulated module reads it off the management link, after
 * which it reboots and announces itself to a listener.
 */
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>

#include "platform/qmx/qmx.h"
#include "fru/upd_cfg.h"
#include "tests/support/process.h"

namespace {

std::array<uint8_t, sizeof(upd_cfg_cmd_t)> bytes_for(int which, const char *dual_ac, const char *pf_time)
{
    upd_cfg_cmd_t block{};
    std::memset(&block, 0xEE, sizeof(block)); /* leftovers must not survive */
    fill_upd_cfg(block, which, dual_ac, pf_time);
    std::array<uint8_t, sizeof(upd_cfg_cmd_t)> bytes{};
    std::memcpy(bytes.data(), &block, sizeof(block));
    return bytes;
}

/* Every byte outside the mask, the action and the time is zero. */
void expect_rest_zero(const std::array<uint8_t, sizeof(upd_cfg_cmd_t)> &b)
{
    for (std::size_t i = 1; i < 133; ++i)
        ASSERT_EQ(b[i], 0) << "byte " << i;
}

TEST(FruConfigBlock, EachRequestFillsOnlyItsFields)
{
    auto both = bytes_for(0, "No", "600");
    EXPECT_EQ(both[0], 0xC0);
    EXPECT_EQ(both[133], 1);
    EXPECT_EQ(both[134], 0x02);
    EXPECT_EQ(both[135], 0x58);
    expect_rest_zero(both);

    auto dual_only = bytes_for(1, "no", "600");
    EXPECT_EQ(dual_only[0], 0x40);
    EXPECT_EQ(dual_only[133], 1);
    EXPECT_EQ(dual_only[134], 0);
    EXPECT_EQ(dual_only[135], 0);
    expect_rest_zero(dual_only);

    auto time_only = bytes_for(2, "No", nullptr);
    EXPECT_EQ(time_only[0], 0x80);
    EXPECT_EQ(time_only[133], 0);
    EXPECT_EQ(time_only[134], 0x03); /* 900 seconds when unset */
    EXPECT_EQ(time_only[135], 0x84);
    expect_rest_zero(time_only);
}

TEST(FruConfigBlock, DualAcActionFromText)
{
    EXPECT_EQ(bytes_for(1, "NO", nullptr)[133], 1);
    EXPECT_EQ(bytes_for(1, "nO", nullptr)[133], 1);
    for (const char *other : std::initializer_list<const char *>{"yes", "YES", "", "none", "n", "no ", nullptr})
        EXPECT_EQ(bytes_for(1, other, nullptr)[133], 2) << (other != nullptr ? other : "(unset)");
}

TEST(FruConfigBlock, PowerFailTimeText)
{
    auto time_bytes = [](const char *text) {
        auto b = bytes_for(2, nullptr, text);
        return (b[134] << 8) | b[135];
    };
    EXPECT_EQ(time_bytes("255"), 0x00FF);
    EXPECT_EQ(time_bytes("256"), 0x0100);
    EXPECT_EQ(time_bytes(" 1200 seconds"), 1200);
    EXPECT_EQ(time_bytes("65535"), 0xFFFF);
    EXPECT_EQ(time_bytes("65536"), 0xFFFF);  /* held at the largest, not wrapped */
    EXPECT_EQ(time_bytes("99999999999999999999"), 0xFFFF);
    EXPECT_EQ(time_bytes("soon"), 0);
}

TEST(FruConfigBlock, ModuleReadsWhatWasSentThenReboots)
{
    CabsimProcess sim;
    ASSERT_TRUE(sim.start("cabinet 7 sysno=2\ncomplex 1 type=0x25\n"));
    ASSERT_TRUE(sim.ctl("on 7 cmd=6 reboot 7 ms=50"));

    qmx_configbuf_t config{};
    config.ack_timeout = 10;
    config.maxqueuenum = 760;
    int h = qmx_init(&config);
    ASSERT_GT(h, 0);
    qmx_rcvopts_t filter{QMX_EVENT_TESSEL | QMX_EVENT_HEARTBEAT, 0xFFFFFFFFu, 7, 2, 0x81};
    ASSERT_EQ(qmx_register(h, QMX_SERVICE_EVENTS, &filter), QMX_SERVICE_EVENTS);
    ASSERT_EQ(qmx_register(h, QMX_SERVICE_COMMANDS, nullptr), QMX_SERVICE_EVENTS | QMX_SERVICE_COMMANDS);

    upd_cfg_cmd_t block{};
    fill_upd_cfg(block, 0, "no", "1200");
    std::array<uint8_t, sizeof(qmx_ecommand_t) + sizeof(block)> msg{};
    auto *cmd = reinterpret_cast<qmx_ecommand_t *>(msg.data());
    cmd->header.set_event_type(QMX_EVENT_COMMAND);
    cmd->header.set_cabno(7);
    cmd->header.sysno = 2;
    cmd->header.complex_type = 0x81;
    cmd->header.complex_id = 0xFF;
    cmd->cmdtype = 6;
    cmd->set_datalen(sizeof(block));
    std::memcpy(cmd->data(), &block, sizeof(block));
    ASSERT_GT(qmx_sendcmd(h, msg.data(), static_cast<int>(msg.size()), nullptr), 0);

    /* The completion, then the heartbeat and the reboot event. */
    std::vector<uint32_t> types;
    int identity = -1;
    std::array<uint8_t, QMX_MAX_MESSAGE> buf{};
    while (types.size() < 3) {
        int n = qmx_recvmsg(h, buf.data(), static_cast<int>(buf.size()), 10, nullptr);
        ASSERT_GE(n, static_cast<int>(sizeof(qmx_etessel_t))) << "qmx_errno=" << qmx_errno;
        types.push_back(reinterpret_cast<const qmx_event_t *>(buf.data())->get_event_type());
        identity = reinterpret_cast<const qmx_etessel_t *>(buf.data())->event_type;
    }
    EXPECT_EQ(types, (std::vector<uint32_t>{QMX_EVENT_CMDCMPLT, QMX_EVENT_HEARTBEAT, QMX_EVENT_TESSEL}));
    EXPECT_EQ(identity, QMX_S_REBOOTED);
    qmx_close(h);

    std::string tree;
    ASSERT_TRUE(sim.ctl("tree 7", &tree));
    EXPECT_NE(tree.find("configured mask=0xc0 ac_degrade_action=1 damc_pf_time=1200\n"), std::string::npos) << tree;
    EXPECT_EQ(tree.find("  on "), std::string::npos) << "the scenario ran once and is gone:\n" << tree;
}

} // namespace
