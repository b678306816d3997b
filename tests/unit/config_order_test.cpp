/*
 * config_order_test.cpp - the order of the node list after a parse: older
 * cabinets (by processor number as text), rack-mounted cabinets (by number,
 * disk arrays by their slot group), cabinets that mix both, and an order
 * that is not consistent for every pair of nodes.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "config/read_config.h"
#include "config_test_support.h"

namespace {

class OrderTest : public testing::Test {
  protected:
    void TearDown() override { FreeConfiguration(); }

    /* Parses one record per "name type subtype cabinet processor" and
     * returns the node names in list order. */
    std::vector<std::string> Order(const std::vector<std::vector<std::string>> &nodes)
    {
        std::string text;
        for (const auto &n : nodes) {
            text += "NODE_RECORD\nname=" + n[0] + "\ntype=" + n[1] + "\n";
            if (!n[2].empty())
                text += "subtype=" + n[2] + "\n";
            text += "cabinet=" + n[3] + "\nprocessor=" + n[4] + "\nEND\n";
        }
        ReadConfigText(root, text);
        std::vector<std::string> names;
        for (int i = 0; i < NodeCount; ++i)
            names.emplace_back(NodeText(NodeList[i]->NodeName));
        return names;
    }

    ConsoleRoot root;
};

TEST_F(OrderTest, CabinetsAreOrderedByNumberNotText)
{
    auto names = Order({{"c10", "VPR", "", "10", "1"}, {"c9", "VPR", "", "9", "1"}, {"c100", "VPR", "", "100", "1"},
                        {"c0", "APP", "", "0", "0"}});
    EXPECT_EQ(names, (std::vector<std::string>{"c0", "c9", "c10", "c100"}));
}

TEST_F(OrderTest, OlderCabinetsOrderProcessorsAsText)
{
    auto names = Order({{"p9", "VPR", "", "4", "9"}, {"p10", "VPR", "", "4", "10"}, {"snp", "SNP", "", "4", "0"},
                        {"p2", "DAC", "", "4", "2"}});
    EXPECT_EQ(names, (std::vector<std::string>{"snp", "p10", "p2", "p9"}));
}

TEST_F(OrderTest, RackMountedCabinetsOrderProcessorsAsNumbers)
{
    /* Disk arrays (host type 6) carry their slot in the last digit: 11 and
     * 12 share key 1 with processors 1 of the UPS and the SMP node; equal
     * keys go by host type (6, 7, 201), the two arrays by their slot. */
    auto names = Order({{"smp10", "SMP", "RM_SMP8", "2", "10"}, {"smp9", "SMP", "RM_SMP8", "2", "9"},
                        {"damc12", "DAMC", "RM_MDAMC", "2", "12"}, {"damc11", "DAMC", "RM_MDAMC", "2", "11"},
                        {"smp1", "SMP", "RM_SMP8", "2", "1"}, {"ups", "PWR", "RM_RCMB_UPS", "2", "1"},
                        {"damc21", "DAMC", "RM_MDAMC", "2", "21"}});
    EXPECT_EQ(names, (std::vector<std::string>{"damc11", "damc12", "ups", "smp1", "damc21", "smp9", "smp10"}));
}

TEST_F(OrderTest, NewerKindsOfTheOlderStyleGoByHostTypeThenProcessorText)
{
    auto names = Order({{"cmic", "CMIC", "", "5", "0"}, {"smp2", "SMP", "SMP4", "5", "2"},
                        {"smp10", "SMP", "SMP8", "5", "10"}, {"qnas", "QNAS", "", "5", "1"}});
    EXPECT_EQ(names, (std::vector<std::string>{"smp10", "smp2", "qnas", "cmic"}));
}

TEST_F(OrderTest, TheSampleInstallationIsSortedByCabinetThenPosition)
{
    ASSERT_EQ(read_config_file(XR_SAMPLE_CONFIG), 0);
    std::vector<std::string> cab1, cab2;
    int last_cabinet = -1;
    for (int i = 0; i < NodeCount; ++i) {
        int cabinet = NodeNumber(NodeList[i]->CabinetID);
        EXPECT_GE(cabinet, last_cabinet);
        last_cabinet = cabinet;
        if (cabinet == 1)
            cab1.emplace_back(NodeText(NodeList[i]->NodeName));
        if (cabinet == 2)
            cab2.emplace_back(NodeText(NodeList[i]->NodeName));
    }
    EXPECT_EQ(cab1, (std::vector<std::string>{"cmic001", "smp001a", "smp001b", "smp001c", "smp001d", "qnas001",
                                              "ups001", "mb001"}));
    EXPECT_EQ(cab2, (std::vector<std::string>{"cmic002", "damc002a", "damc002b", "damc002c", "ups002"}));
}

TEST_F(OrderTest, AnInconsistentMixStillSortsEveryNodeExactlyOnce)
{
    /* Steps 2 and 3 look only at the first node of a pair, so mixed
     * cabinets can give a < b and b < a at once.  The sort must neither lose
     * nor duplicate nodes, nor read outside the list. */
    std::vector<std::vector<std::string>> nodes;
    const char *kinds[][2] = {{"SMP", "SMP4"}, {"SMP", "RM_SMP8"}, {"DAMC", "RM_MDAMC"}, {"VPR", ""},
                              {"QNAS", ""},    {"PWR", "RM_RCMB_UPS"}, {"DAMC", ""}, {"EMC", ""}};
    for (int i = 0; i < 400; ++i) {
        const auto &kind = kinds[(i * 7) % 8];
        nodes.push_back({"n" + std::to_string(i), kind[0], kind[1], std::to_string(i % 3),
                         std::to_string((i * 37) % 101)});
    }
    auto names = Order(nodes);
    ASSERT_EQ(names.size(), 400u);
    std::vector<bool> seen(400, false);
    for (const std::string &name : names) {
        int index = std::stoi(name.substr(1));
        EXPECT_FALSE(seen[index]) << name;
        seen[index] = true;
    }
}

} // namespace
