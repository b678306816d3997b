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

/* Each keyword with its code and the per-kind variable get_host_types fills
 * (null: none). */
struct HostKind {
    const char *keyword;
    int code;
    int *variable;
};

TEST_F(ModelTest, HostTypesAreMatchedUpperCaseAndFillThePerKindVariables)
{
    BuildHostTypeHash();
    char smc[] = "smc";
    EXPECT_EQ(GetHostType(smc), 208);
    EXPECT_STREQ(smc, "SMC"); /* the argument is upper-cased */
    const HostKind kinds[] = {
        {"app", 0, &APP_type},      {"VPR", 1, &VPR_type},     {"Snp", 2, &SNP_type},      {"DAC", 3, &DISK_type},
        {"JBOD", 4, &JBOD_type},    {"QEP", 5, &QEP_type},     {"DAMC", 6, &DAMC_type},    {"PWR", 7, &PWR_type},
        {"QNA", 8, &QNA_type},      {"SMP", 201, &SMP_type},   {"FALX", 203, &FALX_type},  {"CMIC", 207, &CMIC_type},
        {"JBDP", 202, &JBDP_type},  {"QNAS", 204, &QNAS_type}, {"QNB", 205, &QNB_type},    {"DARC", 206, nullptr},
        {"EMC", 210, &EMC_type},    {"SMC", 208, &SMC_type},   {"MB", 211, &MB_type},      {"qna16g", 213, nullptr},
        {"QNA64G", 214, nullptr},   {"QNB64G", 215, nullptr},
    };
    EXPECT_EQ(get_host_types(), 212);
    for (const HostKind &kind : kinds) {
        std::string name = kind.keyword;
        EXPECT_EQ(GetHostType(name.data()), kind.code) << kind.keyword;
        if (kind.variable != nullptr) {
            EXPECT_EQ(*kind.variable, kind.code) << kind.keyword;
        }
    }
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
    TempConsoleRoot root;
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
