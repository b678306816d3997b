/*
 * fru_config_test.cpp - the configuration block a new management controller
 * receives, as bytes: which fields each request fills, the dual-AC action
 * from the configuration's text, and the power-fail time high byte first.
 */
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>

#include "fru/upd_cfg.h"

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

} // namespace
