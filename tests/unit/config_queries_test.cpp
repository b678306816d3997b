/*
 * config_queries_test.cpp - the cabinet queries over the sample
 * installation (data/sample/nxs.config) and over small files made for one
 * case.
 */
#include <gtest/gtest.h>

#include <string>

#include "base/trace.h"
#include "config/config.h"
#include "config/miscutil.h"
#include "config/read_config.h"
#include "config_test_support.h"

namespace {

class QueriesTest : public testing::Test {
  protected:
    void SetUp() override
    {
        debug = 0;
        ASSERT_EQ(read_config_file(XR_SAMPLE_CONFIG), 0);
        get_host_types();
    }
    void TearDown() override { FreeConfiguration(); }

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

    EXPECT_EQ(IsRMDiskCab(2), 1);
    EXPECT_EQ(IsRMDiskCab(1), 0);
    EXPECT_EQ(IsRMDiskCab(11), 0); /* older disk arrays */
    EXPECT_EQ(IsRMDiskCab(99), 0);

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
        {1, 8, 33, "ups001"},   {2, 11, 32, "damc002a"}, {2, 21, 38, "damc002c"}, {3, 2, 16, "qnb003b"},
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

TEST_F(QueriesTest, ComplexTypeCodes)
{
    const std::pair<int, int> map[] = {
        {1, 201},  {2, 201},  {37, 201}, {43, 201}, {45, 201}, {47, 201}, {49, 201}, {51, 201}, {8, 206},
        {16, 205}, {36, 205}, {41, 205}, {17, 204}, {35, 204}, {39, 204}, {40, 204}, {32, 6},   {38, 6},
        {33, 7},   {42, 7},   {46, 7},   {34, 208}, {44, 208}, {130, 207}, {137, 210},
    };
    for (const auto &[code, host_type] : map)
        EXPECT_EQ(GetComplexType(code), host_type) << code;
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
    EXPECT_EQ(tohex("1F"), 31);
    EXPECT_EQ(tohex("1f"), 31);
    EXPECT_EQ(tohex(""), 0);
    EXPECT_EQ(tohex("ffff"), 65535);
    EXPECT_EQ(tohex("0A0"), 160);
}

} // namespace
