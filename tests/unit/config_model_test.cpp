/* config_model_test.cpp - the node and host-type model after a read, the
 * configuration queries, and a re-read that does not grow the heap. */
#include <gtest/gtest.h>

#include <malloc.h>
#include <string>
#include <vector>

#include "base/trace.h"
#include "config/config.h"
#include "config/miscutil.h"
#include "config/read_config.h"
#include "config/table.h"
#include "config_test_support.h"

namespace {

class ModelTest : public testing::Test {
  protected:
    void SetUp() override { debug = 0; }
    void TearDown() override { FreeConfiguration(); }
};

TEST_F(ModelTest, HostTypesAreMatchedUpperCaseAndFillThePerKindVariablesOrReportEveryKindWithoutTheTable)
{
    BuildHostTypeHash();
    char smc[] = "smc";
    EXPECT_EQ(GetHostType(smc), 208);
    EXPECT_STREQ(smc, "SMC"); /* the argument is upper-cased */
    for (auto [name, type] : {std::pair<std::string, int>{"Snp", 2}, {"qnb64g", 215}, {"QNA16", -1}, {"", -1}})
        EXPECT_EQ(GetHostType(name.data()), type) << name;
    EXPECT_GT(get_host_types(), 0);
    EXPECT_EQ(SMP_type, GetHostType(std::string("SMP").data()));
    EXPECT_EQ(QNA_type, GetHostType(std::string("QNA").data()));
    EXPECT_NE(SMP_type, QNA_type);

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetHostType(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: GetHostType : Invalid HostType\n");

    /* Rebuilding must not list anything twice, clearing empties it. */
    BuildHostTypeHash();
    char qnb[] = "QNB";
    EXPECT_EQ(GetHostType(qnb), 205);
    ClearHostTypeHash();
    EXPECT_EQ(GetHostType(qnb), -1);

    /* Without the table (a file without node records never builds it),
     * get_host_types reports every kind. */
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_host_types(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(DISK_type, -1);
    EXPECT_EQ(MB_type, -1);
    for (const char *kind : {"DiskArray \n\tDAC", "JBOD \n\tJBOD", "MB \n\tMB"})
        EXPECT_NE(out.find(std::string(" Cannot determine HostType for ") + kind + "\ttype:\t-1"), std::string::npos) << out;
}

TEST_F(ModelTest, SubTypeNamesAndLabelsMatchIgnoringCase)
{
    /* Names and labels in any case; the first code whose name or label matches. */
    for (auto [text, code] : {std::pair{"rm 4way", 5}, {"", 0}, {"rm_rumb_beryl", 32}, {"RM Beryl", 32},
                              {"QNA16G", 19}, {"PWR w/ Input Sel.", 23}, {"nonsense", 0}})
        EXPECT_EQ(GetNodeSubType(text), code) << text;
    EXPECT_EQ(GetNodeSubType(nullptr), -1);
    EXPECT_STREQ(GetSubTypeString(21), "RM_QN64G");
    EXPECT_STREQ(GetSubTypeString(33), "");
    EXPECT_STREQ(GetSubTypeString(-1), "");
    for (int code = 0; code <= HIGHEST_SUBTYPE; ++code)
        EXPECT_EQ(GetNodeSubType(SubType_strs[code]), code) << SubType_strs[code];
}

TEST_F(ModelTest, DeviceIds)
{
    const std::pair<const char *, int> cases[] = {
        {"3", 3},    {"1,2", 0x600}, {"0,7", 0x8100}, {"0,1,2,3,9", 0xF00}, /* after the fourth, ignored */
        {"9", -2},   {"1,8", -2},    {"-1", -2},      {"", -1},
        {"99999999999999999999", -2},
    };
    for (const auto &[text, id] : cases)
        EXPECT_EQ(GetDeviceId(text), id) << text;
    EXPECT_EQ(GetDeviceId(nullptr), -1);
}

TEST_F(ModelTest, FindNodeByNameDBConsoleAndClearNode)
{
    ConsoleRoot root;
    ReadConfigText(root, NodeRecord("name=console01\ncabinet=0\n") + NodeRecord("name=n2\ncabinet=2\n"));
    for (auto [name, index] : {std::pair{"n2", 1}, {"console01", 0}, {"N2", -1}, {nullptr, -1}})
        EXPECT_EQ(FindNodeByName(name), index);

    debug = 3;
    testing::internal::CaptureStdout();
    EXPECT_EQ(FindNodeByName("DBConsole"), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("DBConsole not defined\n"), std::string::npos);
    debug = 0;

    ReadConfigText(root, "SET DBConsole=console01\n" + NodeRecord("name=n2\ncabinet=2\n") +
                             NodeRecord("name=console01\ncabinet=3\n"));
    EXPECT_EQ(FindNodeByName("DBConsole"), 1);

    /* A cleared node leaves a null slot; the others keep theirs. */
    ClearNode(0);
    EXPECT_EQ(NodeList[0], nullptr);
    EXPECT_EQ(FindNodeByName("console01"), 1);
    EXPECT_EQ(FindNodeByName("n2"), -1);
    ClearNode(-1);
    ClearNode(NodeListMaxSize);
}

class OrderTest : public ModelTest {
  protected:
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

TEST_F(OrderTest, CabinetsByNumberThenPositionsByTheCabinetsStyle)
{
    struct Case {
        std::vector<std::vector<std::string>> nodes;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        /* Cabinets by number, not text. */
        {{{"c10", "VPR", "", "10", "1"}, {"c9", "VPR", "", "9", "1"}, {"c100", "VPR", "", "100", "1"},
          {"c0", "APP", "", "0", "0"}},
         {"c0", "c9", "c10", "c100"}},
        /* Older cabinets order processors as text. */
        {{{"p9", "VPR", "", "4", "9"}, {"p10", "VPR", "", "4", "10"}, {"snp", "SNP", "", "4", "0"},
          {"p2", "DAC", "", "4", "2"}},
         {"snp", "p10", "p2", "p9"}},
        /* Rack-mounted ones as numbers.  Disk arrays (host type 6) carry
         * their slot in the last digit: 11 and 12 share key 1 with processors
         * 1 of the UPS and the SMP node; equal keys go by host type (6, 7,
         * 201), the two arrays by their slot. */
        {{{"smp10", "SMP", "RM_SMP8", "2", "10"}, {"smp9", "SMP", "RM_SMP8", "2", "9"},
          {"damc12", "DAMC", "RM_MDAMC", "2", "12"}, {"damc11", "DAMC", "RM_MDAMC", "2", "11"},
          {"smp1", "SMP", "RM_SMP8", "2", "1"}, {"ups", "PWR", "RM_RCMB_UPS", "2", "1"},
          {"damc21", "DAMC", "RM_MDAMC", "2", "21"}},
         {"damc11", "damc12", "ups", "smp1", "damc21", "smp9", "smp10"}},
        /* Newer kinds of the older style go by host type, then processor text. */
        {{{"cmic", "CMIC", "", "5", "0"}, {"smp2", "SMP", "SMP4", "5", "2"}, {"smp10", "SMP", "SMP8", "5", "10"},
          {"qnas", "QNAS", "", "5", "1"}},
         {"smp10", "smp2", "qnas", "cmic"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Order(c.nodes), c.order);
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

class QueriesTest : public ModelTest {
  protected:
    void SetUp() override
    {
        debug = 0;
        ASSERT_EQ(read_config_file(XR_SAMPLE_CONFIG), 0);
        get_host_types();
    }

    int Index(const char *name) { return FindNodeByName(name); }

    ConsoleRoot root; /* for the lock file */
};

TEST_F(QueriesTest, CabinetHostTypesKindsAndTheirPrincipalNode)
{
    struct Case {
        int cabinet;
        int host_type;
        int kind;
    };
    const Case cases[] = {
        {1, 201, CABINET_KIND_RACK_MOUNTED}, /* SMP nodes behind the controller and board */
        {2, 6, CABINET_KIND_RACK_MOUNTED},   /* disk arrays */
        {3, 204, CABINET_KIND_RACK_MOUNTED}, /* a QNAS node of sub-type RM_QN64G keeps its own type */
        {4, 201, CABINET_KIND_OLDER},        /* SMP nodes of the older style */
        {10, 1, CABINET_KIND_OLDER},         /* VPR behind the environmental controllers */
        {11, 3, CABINET_KIND_OLDER},
        {0, 0, CABINET_KIND_OLDER},
    };
    for (const Case &c : cases) {
        int kind = -1;
        EXPECT_EQ(get_cabinet_type_info(c.cabinet, &kind), c.host_type) << "Cab" << c.cabinet;
        EXPECT_EQ(kind, c.kind) << "Cab" << c.cabinet;
        EXPECT_EQ(get_cabinet_host_type(c.cabinet), c.host_type);
    }
    int kind = 9;
    EXPECT_EQ(get_cabinet_type_info(99, &kind), -1);
    EXPECT_EQ(kind, 0);

    /* The trace names the principal node. */
    debug = 5;
    testing::internal::CaptureStdout();
    get_cabinet_host_type(2);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("     get_cabinet_type_info: Cab002 damc002a 6 RM_MDAMC\n"), std::string::npos) << out;
}

TEST_F(QueriesTest, SystemIdsAndRackMountedDiskAndProcessorCabinets)
{
    EXPECT_EQ(get_cabinet_system_id(1), 1);
    EXPECT_EQ(get_cabinet_system_id(10), 2);
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_cabinet_system_id(99), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " get_cabinet_system_id: node not found for cab=99\n");
    /* The console node has no system number. */
    EXPECT_EQ(get_cabinet_system_id(0), 0);
    debug = 0;

    for (auto [cabinet, disk] : {std::pair{2, 1}, {1, 0}, {11, 0} /* older disk arrays */, {99, 0}})
        EXPECT_EQ(IsRMDiskCab(cabinet), disk) << cabinet;

    int sub_type = -7;
    EXPECT_EQ(IsRMSMPCab(1, &sub_type), 1);
    EXPECT_EQ(sub_type, 24);
    sub_type = -7;
    EXPECT_EQ(IsRMSMPCab(2, &sub_type), 0);
    EXPECT_EQ(sub_type, -7);
    EXPECT_EQ(IsRMSMPCab(10, &sub_type), 0);
}

TEST_F(QueriesTest, ComplexesMapToTheirNodes)
{
    struct Case {
        int cabinet, complex_id, complex_type;
        const char *node;
    };
    const Case cases[] = {
        {1, 2, 1, "smp001b"},   {1, 3, 45, "smp001c"},   {1, 0, 130, "cmic001"},  {1, 6, 17, "qnas001"},
        {1, 8, 33, "ups001"},   {2, 11, 32, "damc002a"}, {2, 13, 38, "damc002c"}, {3, 2, 16, "qnb003b"},
        /* Older-style nodes are found by their interface address. */
        {4, 3, 1, "smp004a"},   {4, 4, 2, "smp004b"},    {4, 5, 34, "smc004"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(GetNodeListIndex(c.cabinet, c.complex_id, c.complex_type), Index(c.node)) << c.node;

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetNodeListIndex(1, 5, 131), -1);
    EXPECT_EQ(GetNodeListIndex(1, 5, 132), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetNodeListIndex(4, 1, 1), -2); /* processor 1, but address 3 */
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: GetNodeListIndex(): could not find a match: cabinet id = 4, complex id = 1, complex type = 1\n");
}

TEST_F(QueriesTest, UnknownComplexTypesAreReported)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetComplexType(3), 0);
    EXPECT_EQ(GetComplexType(255), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: GetComplexType: unknown complex type 0x3\n"
                                                      "WARNING: GetComplexType: unknown complex type 0xff\n");
}

TEST(QueriesSmallTest, CabinetsWithoutAPrincipalNodeOrWithoutNodes)
{
    ConsoleRoot root;
    ReadConfigText(root, NodeRecord("name=p\ntype=PWR\ncabinet=5\nprocessor=8\n") +
                             NodeRecord("name=c\ntype=CMIC\ncabinet=5\nprocessor=0\n") +
                             NodeRecord("name=s\ntype=SMC\ncabinet=5\nprocessor=1\n") +
                             NodeRecord("name=m\ntype=MB\ncabinet=5\nprocessor=2\n") +
                             NodeRecord("name=a\ntype=QNA\ncabinet=5\nprocessor=3\n") +
                             NodeRecord("name=e\ntype=SNP\ncabinet=5\nprocessor=4\n") +
                             NodeRecord("name=q\ntype=QNAS\nsubtype=RM_CMB_QNAS\ncabinet=5\nprocessor=5\n") +
                             NodeRecord("name=nosys\ntype=VPR\ncabinet=6\nprocessor=1\n") +
                             NodeRecord("name=emc\ntype=EMC\ncabinet=7\nprocessor=1\n") +
                             NodeRecord("name=qep\ntype=QEP\ncabinet=8\nprocessor=1\n"));
    get_host_types();
    EXPECT_EQ(get_cabinet_host_type(5), -1);
    EXPECT_EQ(get_cabinet_system_id(6), 0);
    EXPECT_EQ(get_cabinet_host_type(7), 210); /* EMC keeps its own type */
    EXPECT_EQ(get_cabinet_host_type(8), 1);   /* QEP is shown as VPR */
    FreeConfiguration();

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetNodeListIndex(1, 1, 1), -2);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST(TohexTest, DigitsOfEitherCase)
{
    for (auto [text, value] : {std::pair{"1F", 31}, {"1f", 31}, {"", 0}, {"ffff", 65535}, {"0A0", 160}})
        EXPECT_EQ(tohex(text), value) << text;
}

std::string Installation(int nodes, const char *tag)
{
    std::string text = std::string("SET tag=") + tag + "\nTYPE_RECORD name=SMP\ticon=/smp.icon\n";
    for (int i = 0; i < nodes; ++i)
        text += "NODE_RECORD\nname=n" + std::to_string(i) + "\ntype=SMP\nsubtype=RM_SMP8\ncabinet=" +
                std::to_string(i % 7) + "\nprocessor=" + std::to_string(i) + "\nalias=" + tag +
                "\nscsi_label0=1:2\ndevice_id0=1,2\nEND\n";
    return text;
}

TEST(RereadTest, RepeatedRereadsKeepTheHeapSteady)
{
    ConsoleRoot root;
    std::string path = root.write("/var/console/nxs.config", Installation(300, "steady"));
    std::string missing = root.path() + "/var/console/missing";
    testing::internal::CaptureStderr();
    /* Warm-up: the first failure loads the C library's error texts once. */
    ASSERT_EQ(read_config_file(path.c_str()), 0);
    ASSERT_EQ(read_config_file(missing.c_str()), 1);
    ASSERT_EQ(read_config_file(path.c_str()), 0);
    std::size_t in_use = mallinfo2().uordblks;
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(read_config_file(path.c_str()), 0);
        ASSERT_EQ(NodeCount, 300);
        if (round % 10 == 9) {
            ASSERT_EQ(read_config_file(missing.c_str()), 1);
            ASSERT_EQ(NodeCount, 0);
        }
    }
    ASSERT_EQ(read_config_file(path.c_str()), 0);
    testing::internal::GetCapturedStderr();
    std::size_t after = mallinfo2().uordblks;
    /* Some slack for the C library's own buffers, far below one re-read's
     * worth of nodes (300 x about 2 kB). */
    EXPECT_LT(after, in_use + 16384) << "before " << in_use << " after " << after;
    FreeConfiguration();
}

} // namespace
