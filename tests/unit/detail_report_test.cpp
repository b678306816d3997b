/* detail_report_test.cpp - the detail report for trees built byte by byte; each
 * tree sits in a heap block of exactly its size, so the sanitizer build catches
 * a read past it. */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/rack_detail.h"
#include "app/rack_query.h"
#include "app/rack_view.h"
#include "app/unit_name_tbl.h"
#include "base/trace.h"
#include "tests/support/tree_bytes.h"

namespace {

/* ---- trees, byte by byte ------------------------------------------------- */

/* What the rack view records for each complex of a well-formed tree. */
struct Kind {
    int complex_type;
    short chassis_type;
    const char *label;
};
constexpr Kind kKinds[] = {
    {47, CHASSIS_NODE, "SMP"},         {38, CHASSIS_DISK_ARRAY, "Disk Array"}, {40, CHASSIS_QNA, "QUONET 64G"},
    {42, CHASSIS_UPS, "UPS w/ Input Sel"}, {130, CHASSIS_SERVER_MGMT, "Server Mgmt."}, {37, CHASSIS_NODE, "SMP"},
};

void clear_rack()
{
    for (s_cab_chassis_rec &entry : chassis_rec)
        entry = s_cab_chassis_rec{};
}

/* Fills chassis_rec as the rack view does (the last complex of an id wins),
 * for the complexes that lie wholly inside the tree's bytes. */
void record_rack(const cmic_cfg_t *tree, std::size_t length)
{
    clear_rack();
    const auto *start = reinterpret_cast<const uint8_t *>(tree);
    std::size_t at = sizeof(cmic_cfg_t);
    for (int i = 0; i < tree->complex_count && at + sizeof(complex_cfg_t) <= length; ++i) {
        const auto *c = reinterpret_cast<const complex_cfg_t *>(start + at);
        at += sizeof(complex_cfg_t);
        for (int j = 0; j < c->subcomplex_count && at + sizeof(subcomplex_cfg_t) <= length; ++j)
            at += sizeof(subcomplex_cfg_t) + sizeof(unit_cfg_t) * start[at + 1];
        if (c->complex_id < 1 || c->complex_id > MAX_CHASSIS)
            continue;
        s_cab_chassis_rec &entry = chassis_rec[c->complex_id];
        entry.id = static_cast<char>(c->complex_id);
        entry.complex_ptr = const_cast<complex_cfg_t *>(c);
        entry.chassis_type = CHASSIS_UNKNOWN;
        std::strcpy(entry.chassis_label, "Unknown");
        for (const Kind &kind : kKinds) {
            if (kind.complex_type == c->complex_type) {
                entry.chassis_type = kind.chassis_type;
                std::strcpy(entry.chassis_label, kind.label);
            }
        }
    }
}

/* ---- the expected text --------------------------------------------------- */

constexpr const char *kInvalid = "\nInvalid status info returned from CMIC.\n";
constexpr const char *kStatusRow = "\n  Status         \t";

std::string pad(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}
std::string cols(std::initializer_list<std::string> cells)
{
    std::string row;
    for (const std::string &cell : cells)
        row += pad(cell, 9);
    return row;
}
std::string header(const char *sys, const char *cab)
{
    return std::string("System: ") + sys + "\nCabinet: " + cab + "\n\n";
}
std::string chassis(const std::string &heading, const std::string &status)
{
    return "\n" + std::string(79, '=') + "\n\n" + heading + ":\n  Chassis Status \t" + pad(status, 9);
}
std::string sub(const std::string &heading) { return "\n\n" + pad(heading, 17) + "\t"; }
std::string port(int number) { return "\n  Console Port#       \t" + pad(std::to_string(number), 9); }

int count_substr(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class DetailReport : public ::testing::Test {
protected:
    void TearDown() override
    {
        debug = 0;
        clear_rack();
    }
    /* The report of a well-formed tree, with the rack recorded. */
    static std::string report(TreeBytes &tree)
    {
        const cmic_cfg_t *t = tree.block();
        record_rack(t, tree.length());
        return rack_detail_text(t, tree.length());
    }
};

/* ---- chassis kinds ------------------------------------------------------- */

TEST_F(DetailReport, NodeChassisNamesVoltagesAndShowsBoardPorts)
{
    TreeBytes tree(1, "sysA", "Cab007");
    tree.complex(1, 47, 1, 5);
    tree.sub(1, 2).units(0, {58, 57});
    tree.sub(28, 3).units(1, {1, 59, 1});
    tree.sub(2, 1, 8018).units(0, {1});
    tree.sub(45, 1, 9001).units(0, {98});
    tree.sub(29, 1).units(0, {139});

    const std::string expected = header("sysA", "Cab007") + chassis("CHASSIS 1 (SMP)", "OK") +
                                 sub("Temperature") + cols({"1", "2"}) + kStatusRow + cols({"Normal", "Warm"}) +
                                 sub("Chassis Voltage") + cols({"+1.25V", "+2.5V", "+3.3V"}) + kStatusRow +
                                 cols({"OK", "Warning", "OK"}) +
                                 sub("MGMT BOARD") + port(8018) + kStatusRow + cols({"OK"}) +
                                 sub("COB RUMB") + port(9001) + kStatusRow + cols({"RUMB"}) +
                                 sub("Memory Strip") + kStatusRow + cols({"Mem Err"}) + "\n";
    EXPECT_EQ(report(tree), expected);
}

/* The particular rows of the other kinds: the disk array's controller ports
 * (but no board port), the interconnect's ninth converter named DP (a node's
 * is not), the input selector's legs, and in a server management chassis
 * types and statuses the tables do not know, and numbered voltages. */
TEST_F(DetailReport, DiskArrayInterconnectUpsAndServerManagementRows)
{
    TreeBytes tree(5, "sys", "cab");
    tree.complex(2, 38, 2, 4);
    tree.sub(16, 1, 9014).units(0, {1});
    tree.sub(5, 2).unit(0, 1, 0x23, 0x28).unit(1, 4, 0x23, 0x29);
    tree.sub(2, 1, 77).units(0, {1});
    tree.sub(11, 3).units(0, {1, 3, 133});
    tree.complex(3, 40, 1, 2);
    tree.sub(21, 9).units(0, {1, 1, 1, 1, 1, 1, 1, 1, 2});
    tree.sub(22, 2).units(0, {1, 84});
    tree.complex(4, 37, 4, 1);
    tree.sub(21, 9).units(0, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    tree.complex(6, 42, 1, 3);
    tree.sub(20, 3).units(1, {1, 2, 1});
    tree.sub(13, 2).units(0, {60, 63});
    tree.sub(15, 2).units(0, {1, 6});
    tree.complex(5, 130, 84, 3);
    tree.sub(9, 3).units(0, {78, 79, 92});
    tree.sub(0x7f, 2).units(0, {200, 84});
    tree.sub(28, 2).units(1, {1, 1});

    testing::internal::CaptureStderr();
    const std::string text = report(tree);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string nine_ok = cols({"OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK"});
    const std::string expected =
        header("sys", "cab") + chassis("CHASSIS 2 (Disk Array)", "Fault") + sub("Array CTL 1") + port(9014) +
        kStatusRow + cols({"OK"}) + sub("Array CTL") + cols({"1", "2"}) + kStatusRow + cols({"OK", "Off"}) +
        "\n  Console Port  \t" + cols({"9000", "9001"}) + "\n" + sub("MGMT BOARD") + kStatusRow + cols({"OK"}) +
        sub("Disk Drive") + cols({"1", "2", "3"}) + kStatusRow + cols({"OK", "Missing", "Conflict"}) + "\n" +
        chassis("CHASSIS 3 (QUONET 64G)", "OK") + sub("DC DC Converter") +
        cols({"1", "2", "3", "4", "5", "6", "7", "8", "DP"}) + kStatusRow +
        cols({"OK", "OK", "OK", "OK", "OK", "OK", "OK", "OK", "Fault"}) + sub("Fuse Monitor") + cols({"1", "2"}) +
        kStatusRow + cols({"OK", "Unknown"}) + "\n" + chassis("CHASSIS 4 (SMP)", "Off") + sub("DC DC Converter") +
        cols({"1", "2", "3", "4", "5", "6", "7", "8", "9"}) + kStatusRow + nine_ok + "\n" +
        chassis("CHASSIS 6 (UPS w/ Input Sel)", "OK") + sub("Input Sel") + cols({"Leg A", "Leg B", "Input Sel"}) +
        kStatusRow + cols({"OK", "Fault", "OK"}) + sub("Battery State") + cols({"1", "2"}) + kStatusRow +
        cols({"Rest", "Dischg"}) + sub("AC Power Input") + cols({"1", "2"}) + kStatusRow + cols({"OK", "ACFAIL"}) +
        "\n" + chassis("CHASSIS 5 (Server Mgmt.)", "Unknown") + sub("RCMB Slot") + cols({"1", "2", "3"}) +
        kStatusRow + cols({"RCMB", "PTB", "Unused"}) + sub("Unknown (0x7f)") + cols({"1", "2"}) + kStatusRow +
        cols({"(0xc8)", "Unknown"}) + sub("Chassis Voltage") + cols({"1", "2"}) + kStatusRow + cols({"OK", "OK"}) +
        "\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(count_substr(err, "getUnitDisplayName: Unable to find name"), 2);
}

TEST_F(DetailReport, DebugLevelSixAddsChassisCountAndNumericStatuses)
{
    TreeBytes tree(1, "sys", "cab");
    tree.complex(1, 47, 1, 1);
    tree.sub(3, 2).units(0, {1, 5});
    const cmic_cfg_t *t = tree.block();
    record_rack(t, tree.length());

    debug = 6;
    testing::internal::CaptureStdout(); /* the traces */
    const std::string text = rack_detail_text(t, tree.length());
    const std::string traces = testing::internal::GetCapturedStdout();
    debug = 0;

    const std::string expected = "System: sys\nCabinet: cab\n\nCabinet contains 1 chassis\n" +
                                 chassis("CHASSIS 1 (SMP)", "OK") + sub("Fans") + cols({"1", "2"}) + kStatusRow +
                                 cols({"OK", "FAST"}) + "\n  Numeric Status \t" + cols({"1", "5"}) + "\n" + "\n";
    EXPECT_EQ(text, expected);
    /* Every piece appended is echoed at level 2. */
    EXPECT_NE(traces.find("Numeric Status"), std::string::npos);
}

/* ---- ids the rack cannot hold, duplicates -------------------------------- */

TEST_F(DetailReport, DuplicateIdsAreNotedAndIdsOutsideTheRackShowTheirType)
{
    TreeBytes tree(4, "sys", "cab");
    tree.complex(2, 37, 1, 0);
    tree.complex(2, 47, 3, 0);
    tree.complex(0, 0x33, 1, 0);
    tree.complex(25, 0x25, 2, 0);

    const std::string expected = header("sys", "cab") + "\n" + std::string(79, '=') + "\n\n" +
                                 "complex_ptr doesn't match chassis_rec\nmultiple complexes with id=2 in status "
                                 "tree\nCHASSIS 2 (0x25):\n  Chassis Status \t" + pad("OK", 9) + "\n" +
                                 chassis("CHASSIS 2 (SMP)", "Missing") + "\n" + chassis("CHASSIS 0 (0x33)", "OK") +
                                 "\n" + chassis("CHASSIS 25 (0x25)", "Fault") + "\n";
    EXPECT_EQ(report(tree), expected);
}

/* ---- trees that do not fit their bytes ----------------------------------- */

TEST_F(DetailReport, CountsPastTheBytesEndTheReportWithInvalidStatusInfo)
{
    const std::string fans_head = header("sys", "cab") + chassis("CHASSIS 1 (SMP)", "OK") + sub("Fans");

    struct Case {
        int complexes, subcomplexes, units;
        std::vector<int> present;
        std::string tail;
    };
    const Case cases[] = {
        {3, 1, 2, {1, 1}, cols({"1", "2"}) + kStatusRow + cols({"OK", "OK"}) + "\n"}, /* more complexes */
        {1, 1, 5, {1, 2}, cols({"1", "2"}) + kStatusRow + cols({"OK", "Fault"})}, /* more units: the present listed */
        {1, 2, 1, {1}, kStatusRow + cols({"OK"})},                               /* more subcomplexes */
    };
    for (const Case &c : cases) {
        TreeBytes tree(c.complexes, "sys", "cab");
        tree.complex(1, 47, 1, c.subcomplexes).sub(3, c.units).units(0, c.present);
        EXPECT_EQ(report(tree), fans_head + c.tail + kInvalid) << c.complexes << c.subcomplexes << c.units;
    }
    TreeBytes header_only(1, "sys", "cab"); /* a header with room for nothing else */
    EXPECT_EQ(report(header_only), header("sys", "cab") + kInvalid);
}

TEST_F(DetailReport, NoTreeOrNoHeaderGivesNoReport)
{
    EXPECT_EQ(rack_detail_text(nullptr, 100), "");
    TreeBytes tree(0, "sys", "cab");
    const cmic_cfg_t *t = tree.block(sizeof(cmic_cfg_t) - 1);
    EXPECT_EQ(rack_detail_text(t, tree.length()), "");
    /* An empty cabinet is a report of its names only. */
    t = tree.block();
    EXPECT_EQ(rack_detail_text(t, tree.length()), header("sys", "cab"));
    /* Names that fill their fields without a terminator stay inside them. */
    TreeBytes full(0, std::string(39, 's'), std::string(39, 'c'));
    t = full.block();
    std::memset(const_cast<char *>(t->sysname), 'S', 40);
    std::memset(const_cast<char *>(t->cabname), 'C', 40);
    EXPECT_EQ(rack_detail_text(t, full.length()), "System: " + std::string(40, 'S') + "\nCabinet: " +
                                                       std::string(40, 'C') + "\n\n");
}

/* A tree of every kind, cut at every length: the report says the status
 * info is invalid exactly when the tree was cut, and never reads past the
 * cut. */
TEST_F(DetailReport, EveryTruncationOfAWellFormedTreeIsReportedInvalid)
{
    TreeBytes tree(5, "sys", "cab");
    tree.complex(1, 47, 1, 2).sub(28, 3).units(1, {1, 1, 1}).sub(2, 1, 4000).units(0, {1});
    tree.complex(2, 38, 1, 2).sub(5, 2).units(0, {1, 1}).sub(16, 1, 9).units(0, {1});
    tree.complex(3, 40, 1, 1).sub(21, 9).units(0, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    tree.complex(4, 42, 1, 1).sub(20, 3).units(1, {1, 1, 1});
    tree.complex(5, 130, 1, 1).sub(9, 2).units(0, {78, 79});
    const std::size_t full = tree.bytes().size();
    const std::string complete = report(tree);
    ASSERT_EQ(count_substr(complete, "Invalid status info"), 0);
    ASSERT_EQ(count_substr(complete, "CHASSIS "), 5);

    for (std::size_t cut = sizeof(cmic_cfg_t); cut < full; ++cut) {
        const cmic_cfg_t *t = tree.block(cut);
        const std::string text = rack_detail_text(t, cut);
        EXPECT_EQ(count_substr(text, "Invalid status info returned from CMIC."), 1) << cut;
        EXPECT_EQ(text.compare(text.size() - std::strlen(kInvalid), std::string::npos, kInvalid), 0) << cut;
    }
}

TEST_F(DetailReport, LongReportIsComplete)
{
    TreeBytes tree(4, "sys", "cab");
    std::vector<int> strips(32, 1);
    strips.back() = 139;
    for (int id = 1; id <= 4; ++id)
        tree.complex(id, 45, 1, 2).sub(29, 32).units(0, strips).sub(4, 3).units(0, {1, 1, 2});
    const cmic_cfg_t *t = tree.block();
    record_rack(t, tree.length());
    const std::string text = rack_detail_text(t, tree.length());
    EXPECT_EQ(count_substr(text, "CHASSIS "), 4);
    EXPECT_EQ(count_substr(text, "Mem Err"), 4);
    EXPECT_EQ(text.substr(text.size() - 10), pad("Fault", 9) + "\n"); /* the last chassis is complete */
}

/* ---- unit display names -------------------------------------------------- */

/* The name table ends at its length, no unit is named twice, and every
 * entry is found under its own key whatever the search hint: in table order
 * (the hint moves one record at a time), backwards (each search wraps to the
 * top) and after a miss, which is reported once and restarts at the top. */
TEST(UnitNames, EveryEntryIsFoundFromAnyHintAndAMissIsReportedOnce)
{
    EXPECT_EQ(unittbl[UNIT_NAME_COUNT].chassis_type, -1);
    std::set<std::tuple<int, int, int>> keys;
    for (int i = 0; i < UNIT_NAME_COUNT; ++i) {
        const unit_name_tbl_t &e = unittbl[i];
        EXPECT_TRUE(keys.insert({e.chassis_type, e.subcomplex_type, e.unit_number}).second) << i;
    }
    auto expect_found = [](int i) {
        const unit_name_tbl_t &e = unittbl[i];
        const char *name = getUnitDisplayName(e.chassis_type, e.subcomplex_type, e.unit_number);
        ASSERT_NE(name, nullptr) << i;
        EXPECT_STREQ(name, e.name) << i;
        EXPECT_EQ(getUnitDisplayNameHint(), i + 1) << "the hint is the record after the hit";
    };
    for (int i = 0; i < UNIT_NAME_COUNT; ++i)
        expect_found(i);
    for (int i = UNIT_NAME_COUNT - 1; i >= 0; --i)
        expect_found(i);

    testing::internal::CaptureStderr();
    EXPECT_EQ(getUnitDisplayName(unittbl[5].chassis_type, unittbl[5].subcomplex_type, 0), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_substr(err, "getUnitDisplayName: Unable to find name for combination of chassis"), 1) << err;
    EXPECT_EQ(getUnitDisplayNameHint(), 0);
    expect_found(UNIT_NAME_COUNT / 2);
}

} // namespace
