/*
 * config_model_test.cpp - the node and host-type model: host-type keywords
 * and the per-kind variables, sub-type names, device ids, the interconnect
 * word and the look-ups by name.
 */
#include <gtest/gtest.h>

#include <string>

#include "base/trace.h"
#include "config/config.h"
#include "config/read_config.h"
#include "config/table.h"
#include "config_test_support.h"

namespace {

class ModelTest : public testing::Test {
  protected:
    void SetUp() override { debug = 0; }
    void TearDown() override { FreeConfiguration(); }
};

TEST_F(ModelTest, HostTypesAreMatchedUpperCaseAndFillThePerKindVariables)
{
    BuildHostTypeHash();
    char smc[] = "smc";
    EXPECT_EQ(GetHostType(smc), 208);
    EXPECT_STREQ(smc, "SMC"); /* the argument is upper-cased */
    /* Every keyword is found under its own code, in any case. */
    for (const char *keyword : {"app", "VPR", "Snp", "dac", "SMP", "QNA64G", "qnb64g", "CMIC", "MB"}) {
        std::string name = keyword;
        EXPECT_GE(GetHostType(name.data()), 0) << keyword;
    }
    EXPECT_GT(get_host_types(), 0);
    EXPECT_EQ(SMP_type, GetHostType(std::string("SMP").data()));
    EXPECT_EQ(QNA_type, GetHostType(std::string("QNA").data()));
    EXPECT_NE(SMP_type, QNA_type);
    char unknown[] = "QNA16";
    EXPECT_EQ(GetHostType(unknown), -1);
    char empty[] = "";
    EXPECT_EQ(GetHostType(empty), -1);

    testing::internal::CaptureStderr();
    EXPECT_EQ(GetHostType(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: GetHostType : Invalid HostType\n");

    /* Rebuilding must not list anything twice, clearing empties it. */
    BuildHostTypeHash();
    char qnb[] = "QNB";
    EXPECT_EQ(GetHostType(qnb), 205);
    ClearHostTypeHash();
    EXPECT_EQ(GetHostType(qnb), -1);
}

TEST_F(ModelTest, GetHostTypesWithoutTheTableReportsEveryKind)
{
    /* A file without node records never builds the host-type table. */
    ClearHostTypeHash();
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(get_host_types(), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(DISK_type, -1);
    EXPECT_EQ(MB_type, -1);
    EXPECT_NE(out.find(" Cannot determine HostType for DiskArray \n\tDAC\ttype:\t-1"), std::string::npos) << out;
    EXPECT_NE(out.find(" Cannot determine HostType for JBOD \n\tJBOD\ttype:\t-1"), std::string::npos);
    EXPECT_NE(out.find(" Cannot determine HostType for MB \n\tMB\ttype:\t-1"), std::string::npos);
}

TEST_F(ModelTest, SubTypeNamesAndLabelsMatchIgnoringCase)
{
    EXPECT_EQ(GetNodeSubType("rm 4way"), 5);
    EXPECT_EQ(GetNodeSubType(""), 0);
    EXPECT_EQ(GetNodeSubType(nullptr), -1);
    EXPECT_EQ(GetNodeSubType("rm_rumb_beryl"), 32);
    EXPECT_EQ(GetNodeSubType("RM Beryl"), 32);
    EXPECT_EQ(GetNodeSubType("QNA16G"), 19); /* first code whose name or label matches */
    EXPECT_EQ(GetNodeSubType("PWR w/ Input Sel."), 23);
    EXPECT_EQ(GetNodeSubType("RM_SMB32"), 10);
    EXPECT_EQ(GetNodeSubType("nonsense"), 0);
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

TEST_F(ModelTest, InterconnectFieldsAreIndependent)
{
    Node_t *node = NewNode();
    ASSERT_NE(node, nullptr);
    const YField fields[] = {Y_CONN_TYPE, Y_IS_APEX, Y_CHANNEL, Y_CAB, Y_PORT, Y_SNP, Y_X_CAB, Y_X_PORT, Y_X_SNP};
    for (const YField &field : fields)
        node->SetY(field, ~0u); /* every field to its maximum, masked */
    EXPECT_EQ(node->Interconnect, 0xFFFFFFFFu);
    node->SetY(Y_CAB, 0);
    EXPECT_EQ(node->YCab(), 0u);
    EXPECT_EQ(node->YChannel(), 1u);
    EXPECT_EQ(node->YPort(), 3u);
    node->SetY(Y_X_CAB, 513);
    EXPECT_EQ(node->YXCab(), 513u);
    EXPECT_EQ(node->YSNP(), 1u);
    EXPECT_EQ(node->YXPort(), 3u);
    EXPECT_EQ(node->SCSI_Label[55], -1);
    EXPECT_EQ(node->DEVICE_ID[0], -1);
    FreeNode(node);
}

TEST_F(ModelTest, FindNodeByNameDBConsoleAndClearNode)
{
    ConsoleRoot root;
    ReadConfigText(root, NodeRecord("name=console01\ncabinet=0\n") + NodeRecord("name=n2\ncabinet=2\n"));
    EXPECT_EQ(FindNodeByName("n2"), 1);
    EXPECT_EQ(FindNodeByName("console01"), 0);
    EXPECT_EQ(FindNodeByName("N2"), -1);
    EXPECT_EQ(FindNodeByName(nullptr), -1);

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

} // namespace
