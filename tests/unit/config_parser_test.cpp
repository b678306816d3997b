/* config_parser_test.cpp - the configuration parser through real files. */
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "base/trace.h"
#include "config/config.h"
#include "config/parsecfg.h"
#include "config/read_config.h"
#include "config/table.h"
#include "config_test_support.h"

namespace {

class ParserTest : public testing::Test {
  protected:
    void SetUp() override { debug = 0; }
    void TearDown() override { FreeConfiguration(); }
    ConsoleRoot root;
};

/* ---- Lines, SET statements and broken records ------------------------ */

/* One file per row: what the read reports, how many nodes it lists and the
 * first one's name, and the settings it stores (null: not stored). */
TEST_F(ParserTest, LinesSetStatementsAndBrokenRecords)
{
    struct Case {
        std::string text;
        std::string errors;
        int nodes;
        const char *first_node;
        std::vector<std::pair<const char *, const char *>> settings;
    };
    const std::string invalid = "ERROR: ParseConfig: Invalid Record\n";
    const std::string v67(67, 'v');
    const Case cases[] = {
        /* 100 characters: 79 read first, the other 21 as a second, rejected line; a long comment likewise. */
        {"SET longkey=" + std::string(88, 'v') + "\n# " + std::string(90, 'c') + "\n", invalid + invalid, 0, "",
         {{"longkey", v67.c_str()}}},
        /* Comments and empty lines give nothing; unknown statements are rejected and the parse goes on. */
        {"# installation\n\n#\n   \nFOO bar\nset x=1\n" + NodeRecord("name=n1\ntype=SMP\ncabinet=1\n"),
         invalid + invalid + invalid, 1, "n1", {{"x", nullptr}}},
        /* Binary and NUL bytes neither crash nor stop the parse; a line ends at its NUL byte. */
        {std::string("SET a=\x01\xff\xfe\n", 10) + std::string("\x80\x90\xa0\n", 4) + std::string("SET b=x\0y\n", 10) +
             std::string("\0\0\0\n", 4) +
             NodeRecord(std::string("name=bin\xff\ntype=SMP\ncabinet=2\nprocessor=\x80\x81\n\xfe\xfd=1\n")),
         invalid + invalid, 1, "bin\xff", {{"b", "x"}}},
        /* SET keeps the rest of the line under a lower-case key, untrimmed; without '=' it is invalid. */
        {"SET Foo=a b=c\nSET Twice=1\nSET twice=2\nSET q=\"x y\"\nSET Sp = v \nSET empty=\nSET novalue\nSET\n",
         "ERROR: ParseSetStatement: Invalid Set Record : SET novalue\n"
         "ERROR: ParseSetStatement: Invalid Set Record : SET\n",
         0, "",
         {{"FOO", "a b=c"}, {"twice", "2"}, {"q", "x y"}, {"sp ", " v "}, {"sp", nullptr}, {"empty", nullptr},
          {"novalue\n", nullptr}}},
        /* Quoted tokens keep inner quotes and lose escapes; only tokens that begin with a quote are converted. */
        {"SET a=\"x\"y\"\nSET b=\"say \\\"hi\\\"\"\nSET c=\"back\\slash\"\nSET d=\"end\\\nSET e=plain\"quote\"\n", "",
         0, "", {{"a", "x\"y"}, {"b", "say \"hi\""}, {"c", "back\\slash"}, {"d", "end\\"}, {"e", "plain\"quote\""}}},
        /* A malformed line abandons its record up to the END. */
        {NodeRecord("name=bad\nno equals sign\nalias=ignored\n") + NodeRecord("name=good\nempty=\n") +
             NodeRecord("name=next\ntype=VPR\n"),
         "ERROR: ParseNodeStatement: Invalid Node Record : no equals sign\n"
         "ERROR: ParseNodeStatement: Invalid Node Record : empty=\n",
         1, "next", {}},
        /* A record without END does not swallow the next. */
        {"NODE_RECORD\nname=lost\n" + NodeRecord("name=kept\ntype=VPR\ncabinet=4\n") + "SET after=1\n",
         "ERROR: ParseNodeStatement: Invalid Node Record : NODE_RECORD\n", 1, "kept", {{"after", "1"}}},
        /* End of file inside a record ends the parse and drops the record. */
        {NodeRecord("name=whole\ntype=APP\n") + "NODE_RECORD\nname=cut\ncabinet=1\n",
         "WARNING: ParseNodeStatement: no END before end of file, record dropped (line 7)\n", 1, "whole", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        ReadResult read = ReadConfigText(root, c.text);
        EXPECT_EQ(read.status, 0);
        EXPECT_EQ(read.errors, c.errors);
        ASSERT_EQ(NodeCount, c.nodes);
        EXPECT_STREQ(c.nodes > 0 ? NodeList[0]->NodeName.get() : "", c.first_node);
        for (const auto &[key, value] : c.settings)
            EXPECT_STREQ(SearchTable(key), value) << key; /* two nulls compare equal */
    }
}

/* ---- TYPE_RECORD -------------------------------------------------------- */

TEST_F(ParserTest, TypeRecordsAreListedInFileOrderOthersIgnored)
{
    ReadConfigText(root, "TYPE_RECORD name=SMP\ticon=/icons/smp.icon\nTYPE_RECORD name=VPR icon=/icons/vpr.icon\n");
    ASSERT_EQ(TypeCount, 2);
    EXPECT_STREQ(TypeList[0]->Name, "SMP");
    EXPECT_STREQ(TypeList[0]->IconPath, "/icons/smp.icon");
    EXPECT_STREQ(TypeList[1]->Name, "VPR");
    EXPECT_STREQ(TypeList[1]->IconPath, "/icons/vpr.icon");

    /* Records with other field words are ignored, and reported only when debugging. */
    const std::string text = "TYPE_RECORD nam=SMP\ticon=/x\nTYPE_RECORD name=SMP\tpath=/x\nTYPE_RECORD name=SMP\n";
    ReadResult quiet = ReadConfigText(root, text);
    EXPECT_EQ(TypeCount, 0); /* the re-read dropped the two */
    EXPECT_EQ(quiet.errors, "");

    debug = 1;
    testing::internal::CaptureStdout();
    ReadResult loud = ReadConfigText(root, text);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(TypeCount, 0);
    EXPECT_EQ(loud.errors,
              "WARNING: ParseTypeStatement: Fields don't match: nam != \"name\", or icon != \"icon\"\n"
              "WARNING: ParseTypeStatement: Fields don't match: name != \"name\", or path != \"icon\"\n"
              "WARNING: ParseTypeStatement: Fields don't match: name != \"name\", or  != \"icon\"\n");
}

TEST_F(ParserTest, TypeListStopsAt25)
{
    std::string text;
    for (int i = 0; i < 27; ++i)
        text += "TYPE_RECORD name=T" + std::to_string(i) + "\ticon=/i" + std::to_string(i) + "\n";
    ReadResult read = ReadConfigText(root, text);
    EXPECT_EQ(TypeCount, TypeListMaxSize);
    EXPECT_STREQ(TypeList[24]->Name, "T24");
    EXPECT_EQ(read.errors, "ERROR: AddType: Number of types = 26 exceeds maximum\n"
                           "ERROR: AddType: Number of types = 26 exceeds maximum\n");
}

/* ---- NODE_RECORD: keys and conversions ------------------------------- */

/* Keys are stored as written, after leading tabs and up to the next tab (a
 * blank makes a key unknown); rack-mounted nodes treat a name that begins
 * with a blank as absent; a later node of the same name replaces the
 * earlier one, and a key given twice keeps the later value. */
TEST_F(ParserTest, NodeKeysAreStoredAsWritten)
{
    ReadConfigText(root, NodeRecord("\tname=n1\n\talias=a1\n\tlabel=\"Node One\"\n\ttype=vpr\n"
                                    "\tinterface=TTY\n\taddress=/dev/ttyC1\n\tport=3\n\tip_number=10.0.0.1\n"
                                    "\tcabinet=12\n\tprocessor=4\n\tcluster=c\n\tsystem_id=7\n"
                                    "\tsystem_name= East\n\tcabinet_name=Cab012\n\tinit_script=/bin/i\n"
                                    "\tdeinit_script=/bin/d\n\tparity=even\n\tbaud=9600\n\tdatabits=7\n"
                                    "\tstopbits=2\n\tunknown_key=1\n") +
                             NodeRecord("\t\tname\t=tabbed\ncabinet =3\nprocessor=5\n") +
                             NodeRecord("name=rm\ntype=SMP\nsubtype=RM_SMP4\nsystem_name= West\ncabinet_name= C1\n") +
                             NodeRecord("name=emc\ntype=EMC\nsystem_name= West\n") +
                             NodeRecord("name=ok\ntype=SMP\nsystem_name=West\n") +
                             NodeRecord("name=dup\ncabinet=1\nalias=first\n") + NodeRecord("name=x\ncabinet=2\n") +
                             NodeRecord("name=dup\ncabinet=1\nalias=second\n") +
                             NodeRecord("name=x\ncabinet=2\nalias=x2\nalias=x3\n"));
    ASSERT_EQ(NodeCount, 7);
    const std::tuple<const char *, NodeString Node_t::*, const char *> fields[] = {
        {"n1", &Node_t::Alias, "a1"},          {"n1", &Node_t::InterfaceAddress, "/dev/ttyC1"},
        {"n1", &Node_t::IPNumber, "10.0.0.1"}, {"n1", &Node_t::CabinetID, "12"},
        {"n1", &Node_t::ProcessorID, "4"},     {"n1", &Node_t::SystemID, "7"},
        {"n1", &Node_t::SystemName, " East"}, /* an older node keeps a leading blank */
        {"n1", &Node_t::CabinetName, "Cab012"}, {"tabbed", &Node_t::CabinetID, nullptr},
        {"tabbed", &Node_t::ProcessorID, "5"}, {"rm", &Node_t::SystemName, nullptr},
        {"rm", &Node_t::CabinetName, nullptr}, {"emc", &Node_t::SystemName, " West"}, /* 210, sub-type 0: not rack-mounted */
        {"ok", &Node_t::SystemName, "West"},   {"dup", &Node_t::Alias, "second"},
        {"x", &Node_t::Alias, "x3"},
    };
    for (const auto &[name, field, value] : fields) {
        ASSERT_NE(NodeNamed(name), nullptr) << name;
        EXPECT_STREQ((NodeNamed(name)->*field).get(), value) << name << " " << (value ? value : "(null)");
    }
    const Node_t *n = NodeNamed("n1");
    EXPECT_EQ(n->HostType, 1);
    EXPECT_EQ(n->InterfaceType, INTERFACE_TTY);
    EXPECT_EQ(n->RequestID, nullptr);
}

TEST_F(ParserTest, InterfaceKeywordsAndUnknownTypesWhichGiveZero)
{
    ReadResult read = ReadConfigText(root, NodeRecord("name=a\ntype=XYZ\ninterface=telnet\n") +
                                               NodeRecord("name=b\n"));
    /* The node is built at its END line, which the messages name. */
    EXPECT_EQ(read.errors, "WARNING: AddNode: unknown host type XYZ (line 5)\n"
                           "WARNING: GetInterfaceType: unknown interface type telnet (line 5)\n"
                           "WARNING: AddNode: unknown host type (null) (line 8)\n");
    ASSERT_EQ(NodeCount, 2);
    const Node_t *a = NodeNamed("a");
    const Node_t *b = NodeNamed("b");
    EXPECT_EQ(a->HostType, 0);
    EXPECT_EQ(a->InterfaceType, INTERFACE_UNKNOWN);
    EXPECT_EQ(b->InterfaceType, INTERFACE_NOT_GIVEN);

    ReadConfigText(root, NodeRecord("name=t\ninterface=TELNET\n") + NodeRecord("name=y\ninterface=TTY\n") +
                             NodeRecord("name=n\ninterface=NONE\n") + NodeRecord("name=s\ninterface=SLAN\n"));
    for (auto [name, type] : {std::pair{"t", 1}, {"y", 2}, {"n", 8}, {"s", 10}})
        EXPECT_EQ(NodeNamed(name)->InterfaceType, type) << name;
}

TEST_F(ParserTest, SubTypesAreDefaultedByHostType)
{
    struct Case {
        const char *type;
        const char *subtype; /* null: not written */
        int expected;
    };
    const Case cases[] = {
        {"smc", nullptr, 4},  {"SMC", "NONE", 4},       {"SMC", "RM_CMBR", 15}, {"SMP", nullptr, 3},
        {"SMP", "RM_SMP8", 6}, {"SMP", "rm 4way", 5},  {"DAC", "SMP8", 0},     {"MB", nullptr, 15},
        {"MB", "NONE", 15},   {"MB", "RM_RUMB_TARN", 24}, {"DAMC", nullptr, 0}, {"DAMC", "RM_MDAMC", 17},
        {"PWR", "RM_RCMB_UPS", 14}, {"QNAS", nullptr, 0}, {"QNB", "RM_QN64G", 21}, {"CMIC", "RM_CMBR", 15},
        {"EMC", "RM", 0},     {"DARC", "RM_SMP4", 0},   {"SNP", "SMP4", 0},     {"SMP", "bogus", 0},
    };
    std::string text;
    int i = 0;
    for (const Case &c : cases) {
        text += "NODE_RECORD\nname=n" + std::to_string(i++) + "\ntype=" + c.type + "\n";
        if (c.subtype)
            text += std::string("subtype=") + c.subtype + "\n";
        text += "END\n";
    }
    ReadConfigText(root, text);
    i = 0;
    for (const Case &c : cases) {
        std::string name = "n" + std::to_string(i++);
        const Node_t *node = NodeNamed(name.c_str());
        ASSERT_NE(node, nullptr) << name;
        EXPECT_EQ(node->SubType, c.expected) << c.type << " " << (c.subtype ? c.subtype : "(none)");
    }
}

TEST_F(ParserTest, InterconnectWordFields)
{
    ReadConfigText(root,
                   NodeRecord("name=a\nnode=12:2:b\nnodex=1023:3:B\nconnect=18\napex=Yes\nchannel=b\n") +
                       NodeRecord("name=b\nnode=12\n") +
                       NodeRecord("name=c\nymcatonodex-a=5:1:a\nymcatonodex-b=6:2\napex=no\nchannel=a\n") +
                       NodeRecord("name=d\nnode=2000:7:b\n"));
    /* Out-of-range parts are masked, not spilled (d); the connection type
     * keeps the low 4 bits (a: 18) and defaults to 3. */
    struct Word {
        const char *name;
        unsigned cab, port, snp, xcab, xport, xsnp, conn, apex, channel;
    };
    const Word words[] = {
        {"a", 12, 2, 1, 1023, 3, 1, 2, 1, 1},
        {"b", 12, 0, 0, 0, 0, 0, 3, 0, 0},
        {"c", 5, 1, 0, 6, 2, 0, 3, 0, 0},
        {"d", 2000 & 0x3FF, 3, 1, 0, 0, 0, 3, 0, 0},
    };
    for (const Word &w : words) {
        const Node_t *n = NodeNamed(w.name);
        ASSERT_NE(n, nullptr) << w.name;
        const unsigned got[] = {n->YCab(), n->YPort(), n->YSNP(), n->YXCab(), n->YXPort(),
                                n->YXSNP(), n->YConnType(), n->YIsApex(), n->YChannel()};
        const unsigned want[] = {w.cab, w.port, w.snp, w.xcab, w.xport, w.xsnp, w.conn, w.apex, w.channel};
        EXPECT_EQ(std::vector<unsigned>(std::begin(got), std::end(got)),
                  std::vector<unsigned>(std::begin(want), std::end(want)))
            << "node " << w.name << ": cab port snp xcab xport xsnp conn apex channel";
    }
}

TEST_F(ParserTest, AttachmentsAreReadOnlyWhereALabelIsGiven)
{
    ReadConfigText(root, NodeRecord("name=s\nscsi_label0=3:4\nmca_bus0=1\nmca_slot0=2\nbus_num0=5\nscsi_id0=6\n"
                                    "device_id0=1,2\nscsi_label55=7\ndevice_id55=9\nmca_bus3=4\ndevice_id3=1\n"
                                    "scsi_label7=1\ndevice_id7=3\n"));
    const Node_t *s = NodeNamed("s");
    /* Attachment 3 has no label: it is not configured, whatever else is given. */
    const std::pair<int, int> got_want[] = {
        {s->SCSI_Label[0], 0x304}, {s->MCA_Bus[0], 1},      {s->MCA_Slot[0], 2},       {s->BusNumber[0], 5},
        {s->SCSI_ID[0], 6},        {s->DEVICE_ID[0], 0x600}, {s->SCSI_Label[55], 0x700}, {s->MCA_Bus[55], -1},
        {s->DEVICE_ID[55], -2},    {s->DEVICE_ID[7], 3},     {s->SCSI_Label[3], -1},     {s->MCA_Bus[3], -1},
        {s->DEVICE_ID[3], -1},     {s->SCSI_Label[1], -1},
    };
    for (std::size_t i = 0; i < std::size(got_want); ++i)
        EXPECT_EQ(got_want[i].first, got_want[i].second) << "row " << i;
}

/* ---- NODE_RECORD: identity, limits and broken records ----------------- */

TEST_F(ParserTest, NodesBeyondTheListSizeAreDropped)
{
    std::string text;
    text.reserve(40u * (NodeListMaxSize + 2));
    for (int i = 0; i < NodeListMaxSize + 2; ++i)
        text += "NODE_RECORD\nname=n" + std::to_string(i) + "\ntype=SMP\ncabinet=" + std::to_string(i / 100) + "\nEND\n";
    /* A node already listed is still replaced when the list is full. */
    text += NodeRecord("name=n5\ntype=SMP\ncabinet=0\nalias=again\n");
    ReadResult read = ReadConfigText(root, text);
    EXPECT_EQ(NodeCount, NodeListMaxSize);
    EXPECT_EQ(read.errors, "ERROR: AddNode: Number of nodes = 13313 exceeds maximum\n"
                           "ERROR: AddNode: Number of nodes = 13313 exceeds maximum\n");
    EXPECT_EQ(NodeNamed("n13312"), nullptr);
    EXPECT_STREQ(NodeNamed("n5")->Alias.get(), "again");
}

/* ---- The file, the settings table and the title ---------------------- */

TEST_F(ParserTest, MissingFileIsReportedAndLeavesNoNodes)
{
    ReadConfigText(root, NodeRecord("name=old\n"));
    ASSERT_EQ(NodeCount, 1);
    std::string missing = root.path() + "/var/console/none.config";
    testing::internal::CaptureStderr();
    int status = read_config_file(missing.c_str());
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(NodeCount, 0);
    EXPECT_EQ(errors, "ERROR: ParseConfigFile: Cannot open \"" + missing + "\": No such file or directory\n");
}

TEST_F(ParserTest, TitleFileIsStoredUnderTheLanguage)
{
    std::string title = root.write("/title", "Operations Centre\nsecond line\n");
    setenv("OPCTITLEFILE", title.c_str(), 1);
    setenv("LANG", "De_DE", 1);
    ReadConfigText(root, "");
    EXPECT_STREQ(SearchTable("opc_title_de_de"), "Operations Centre\n");
    EXPECT_EQ(SearchTable("opc_title"), nullptr);

    unsetenv("LANG");
    root.write("/title", std::string(60, 't') + "\n");
    ReadConfigText(root, "");
    EXPECT_EQ(SearchTable("opc_title_de_de"), nullptr); /* the re-read dropped it */
    EXPECT_STREQ(SearchTable("opc_title"), std::string(40, 't').c_str());
    unsetenv("OPCTITLEFILE");
}

TEST_F(ParserTest, PerNodeEntriesAreFoundBeforeGlobalOnes)
{
    InitTable();
    AddToTable("Key", "global", 1);
    AddToTable("KEY", "node", 0);
    EXPECT_STREQ(SearchTable("key"), "node");
    AddToTable("key", "global2", 1); /* same key and level: replaced in place */
    AddToTable("key", "node2", 0);
    EXPECT_STREQ(SearchTable("key"), "node2");
    /* Keys that share a bucket ("ab" and "ba") stay apart. */
    ASSERT_EQ(TableBucket("ab"), TableBucket("ba"));
    AddToTable("ab", "1", 1);
    AddToTable("ba", "2", 1);
    EXPECT_STREQ(SearchTable("ab"), "1");
    EXPECT_STREQ(SearchTable("ba"), "2");
    EXPECT_EQ(SearchTable("abc"), nullptr);
}

TEST_F(ParserTest, GetValueReportsAMissingRequiredSetting)
{
    ReadConfigText(root, "SET damc_pf_time=30\n");
    EXPECT_STREQ(GetValue("DAMC_PF_TIME", 1), "30");
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetValue("run_only_with_dual_ac", 0), nullptr);
    EXPECT_EQ(GetValue("nominal_input_voltage", 1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: GetValue: required field \"nominal_input_voltage\" missing from config file (line 1)\n");
}

TEST_F(ParserTest, ConfigurationTracesAtDebugLevelOne)
{
    debug = 1;
    testing::internal::CaptureStdout();
    ReadConfigText(root, NodeRecord("name=b\ntype=SMP\ncabinet=2\nprocessor=1\n") +
                             NodeRecord("name=a\ntype=VPR\ncabinet=1\nprocessor=7\n"));
    std::string out = testing::internal::GetCapturedStdout();
    std::string path = root.at("/var/console/nxs.config");
    EXPECT_NE(out.find(" ParseConfigFile: reading config file \"" + path + "\"\n"), std::string::npos);
    std::string list = " Config file name = " + path +
                       "\n NodeName = a HostType = 1 CabinetID = 1 ProcessorID = 7\n"
                       " NodeName = b HostType = 201 CabinetID = 2 ProcessorID = 1\n";
    EXPECT_NE(out.find(list), std::string::npos) << out;
}

} // namespace
