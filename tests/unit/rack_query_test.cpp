/*
 * rack_query_test.cpp - the status tree: accessors at their boundaries,
 * search_tree, the substitute trees as bytes, the bounds check on trees from
 * outside, and the texts of a failed command.  Trees are written byte by
 * byte, independently of the builders under test.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "app/rack_query.h"
#include "app/cabstat_common.h"
#include "app/s_get_colors.h"
#include "base/process.h"
#include "base/trace.h"
#include "tests/support/tree_bytes.h"

namespace {

const uint8_t *addr(const void *p) { return static_cast<const uint8_t *>(p); }

/* Keeps the process-wide debug level and argv of one test to itself. */
class RackQueryTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        debug = 0;
        _argv = saved_argv_;
    }
    char **saved_argv_ = _argv;
};

/* ---- accessors ----------------------------------------------------------- */

TEST_F(RackQueryTest, AccessorsWalkGroupsAndStopPastTheCountsAndTheCheckAcceptsNoPrefix)
{
    TreeBytes t(2);
    t.complex(1, 0x2C, 1, 2).ids(3, {0, 1, 2}).ids(4, {0, 1});  /* 84: 4 + 16 + 12 */
    t.complex(7, 0x26, 1, 1).ids(11, {});                      /* 116: 4 + 4 */
    ASSERT_EQ(t.bytes().size(), 124u);

    cmic_cfg_t *tree = t.tree();
    EXPECT_EQ(addr(complex(tree, 1)), t.at(116));
    EXPECT_EQ(complex(tree, 1)->complex_id, 7);
    EXPECT_EQ(addr(complex(tree, 2)), t.at(124));  /* end of the last group */
    EXPECT_EQ(complex(tree, 3), nullptr);

    complex_cfg_t *first = complex(tree, 0);
    EXPECT_EQ(addr(subcomplex(first, 0)), t.at(88));
    EXPECT_EQ(addr(subcomplex(first, 1)), t.at(104));
    EXPECT_EQ(addr(subcomplex(first, 2)), t.at(116));
    EXPECT_EQ(subcomplex(first, 3), nullptr);
    EXPECT_EQ(subcomplex(first, -1), nullptr);

    subcomplex_cfg_t *fans = subcomplex(first, 0);
    EXPECT_EQ(addr(unit(fans, 2)), t.at(100));
    EXPECT_EQ(unit(fans, 2)->unit_id, 2);
    EXPECT_EQ(addr(unit(fans, 3)), t.at(104));  /* unit_count: just past the last unit */
    EXPECT_EQ(unit(fans, 4), nullptr);
    EXPECT_EQ(unit(fans, -1), nullptr);

    subcomplex_cfg_t *disks = subcomplex(complex(tree, 1), 0);
    EXPECT_EQ(addr(unit(disks, 0)), t.at(124));
    EXPECT_EQ(unit(disks, 1), nullptr);

    /* An empty tree, and no tree at all. */
    TreeBytes empty(0);
    EXPECT_EQ(addr(complex(empty.tree(), 0)), empty.at(84));
    EXPECT_EQ(complex(empty.tree(), 1), nullptr);
    EXPECT_EQ(complex(empty.tree(), -1), nullptr);
    EXPECT_EQ(complex(static_cast<cmic_cfg_t *>(nullptr), 0), nullptr);
    EXPECT_EQ(subcomplex(static_cast<complex_cfg_t *>(nullptr), 0), nullptr);
    EXPECT_EQ(unit(static_cast<subcomplex_cfg_t *>(nullptr), 0), nullptr);

    /* The bounds check accepts exactly this tree.  Every prefix cuts a count
     * short of its bytes (complexes, subcomplexes or units), so the prefixes
     * stand for trees with inflated counts. */
    EXPECT_EQ(check_status_tree(t.bytes().data(), 124), 124);
    t.raw({0xEE, 0xEE}); /* bytes after the tree are not its business */
    EXPECT_EQ(check_status_tree(t.bytes().data(), t.bytes().size()), 124);
    for (int len = 0; len < 124; ++len)
        EXPECT_EQ(check_status_tree(t.bytes().data(), len), -1) << "prefix of " << len << " bytes";
    EXPECT_EQ(check_status_tree(nullptr, 100), -1);
}

/* ---- search_tree --------------------------------------------------------- */

/* One search of a tree and what it should find: the result and the
 * complex, subcomplex and unit indexes (-1: not found or not asked). */
struct Search {
    int id, type, sub, unit, mode;
    int found, ci, si, ui;
};

TEST_F(RackQueryTest, SearchTreeByIdTypeModeAndUnit)
{
    TreeBytes t(6);
    t.complex(1, 0x2C, 1, 3).ids(3, {0, 1, 2}).ids(4, {0, 1}).ids(3, {5});
    t.complex(132, 0x80, 1, 0);
    t.complex(132, 0x81, 1, 1).ids(4, {7});
    t.complex(5, 0x26, 1, 0);
    t.complex(3, 0x26, 1, 0);
    t.complex(133, 0x84, 1, 0);
    const Search searches[] = {
        /* By id; the type only counts for 132 and 133. */
        {1, 0, 255, 0, -1, 1, 0, -1, -1},
        {3, 0x99, 0, 0, -1, 1, 4, -1, -1},
        {132, 0x81, 144, 0, -1, 1, 2, -1, -1},
        {132, 0x99, 255, 0, -1, 0, -1, -1, -1},
        {133, 0x80, 255, 0, -1, 0, -1, -1, -1},
        {133, 0x84, 255, 0, -1, 1, 5, -1, -1},
        {9, 0, 255, 0, -1, 0, -1, -1, -1},
        /* Id 255 matches by type. */
        {255, 0x26, 255, 0, -1, 1, 3, -1, -1},
        {255, 0x81, 4, 7, -1, 1, 2, 0, 0},
        {255, 0x55, 255, 0, -1, 0, -1, -1, -1},
        /* Modes 0 and 1: the smaller and the larger id of a type. */
        {0, 0x26, 255, 0, 0, 1, 4, -1, -1},
        {0, 0x26, 255, 0, 1, 1, 3, -1, -1},
        {0, 0x2C, 255, 0, 0, 1, 0, -1, -1},
        {0, 0x2C, 255, 0, 1, 0, -1, -1, -1}, /* one complex has no larger one */
        {0, 0x55, 255, 0, 0, 0, -1, -1, -1},
        {1, 0x2C, 255, 0, 7, 0, -1, -1, -1}, /* no such mode */
        /* Units in the first subcomplex of the type only. */
        {1, 0, 4, 1, -1, 1, 0, 1, 1},
        {1, 0, 3, 255, -1, 1, 0, 0, 0},
        {1, 0, 3, 2, -1, 1, 0, 0, 2},
        {1, 0, 3, 5, -1, 0, 0, -1, -1}, /* unit 5 sits in the second fan group */
        {1, 0, 9, 255, -1, 0, 0, -1, -1},
        {132, 0x80, 4, 255, -1, 0, 1, -1, -1}, /* a complex without subcomplexes */
    };
    for (const Search &s : searches) {
        SCOPED_TRACE(testing::Message() << "id " << s.id << " type " << s.type << " sub " << s.sub << " unit "
                                        << s.unit << " mode " << s.mode);
        int ci = 99, si = 99, ui = 99;
        EXPECT_EQ(search_tree(t.tree(), s.id, s.type, s.sub, s.unit, s.mode, &ci, &si, &ui), s.found);
        EXPECT_EQ(ci, s.ci);
        EXPECT_EQ(si, s.si);
        EXPECT_EQ(ui, s.ui);
    }
}

TEST_F(RackQueryTest, SearchTreeLooksAtElevenComplexesAndNullTrees)
{
    TreeBytes t(12);
    for (uint8_t id = 1; id <= 12; ++id)
        t.complex(id, 0x25, 1, 0);
    int ci = 0, si = 0, ui = 0;
    EXPECT_EQ(search_tree(t.tree(), 11, 0, 255, 0, -1, &ci, &si, &ui), 1);
    EXPECT_EQ(ci, 10);
    EXPECT_EQ(search_tree(t.tree(), 12, 0, 255, 0, -1, &ci, &si, &ui), 0);
    EXPECT_EQ(ci, -1);
    EXPECT_EQ(search_tree(t.tree(), 0, 0x25, 255, 0, 1, &ci, &si, &ui), 1);
    EXPECT_EQ(ci, 11);  /* modes 0 and 1 see every complex */
    EXPECT_EQ(search_tree(nullptr, 1, 0, 255, 0, -1, &ci, &si, &ui), 0);
    EXPECT_EQ(ci, -1);
}

/* ---- substitute trees ---------------------------------------------------- */

/* The Unknown tree shown in place of a failed or refused answer: one
 * chassis whose every unit is Unknown, and a tree the bounds check accepts. */
TEST_F(RackQueryTest, EmptyTreeIsOneChassisOfUnknownUnits)
{
    build_empty_status_tree();
    ASSERT_NE(tree_ptr, nullptr);
    ASSERT_EQ(check_status_tree(addr(tree_ptr), CMIC_RESULT_SIZE), 168);
    EXPECT_STREQ(tree_ptr->sysname, "Unknown");
    ASSERT_EQ(tree_ptr->complex_count, 1);
    const complex_cfg_t *cp = complex(tree_ptr, 0);
    EXPECT_EQ(cp->complex_status, S_UNKNOWN);
    for (int s = 0; s < cp->subcomplex_count; ++s)
        for (int u = 0; u < subcomplex(cp, s)->unit_count; ++u)
            EXPECT_EQ(unit(subcomplex(cp, s), u)->unit_status, S_UNKNOWN) << s << " " << u;
}

TEST_F(RackQueryTest, DummySubcomplexBytes)
{
    uint8_t buf[24];
    auto *sc = reinterpret_cast<subcomplex_cfg_t *>(buf);

    auto expect = [&](int type, int count, int status, std::vector<uint8_t> want) {
        std::memset(buf, 0xAA, sizeof buf);
        EXPECT_EQ(addr(build_dummy_subcomplex(sc, type, count, status)), buf + 4 + 4 * count);
        EXPECT_EQ(std::vector<uint8_t>(buf, buf + want.size()), want) << type;
    };
    /* The input selector numbers its units from 1; the port bytes are left alone. */
    expect(20, 3, 84, {20, 3, 0xAA, 0xAA, 1, 84, 0xAA, 0xAA, 2, 84, 0xAA, 0xAA, 3, 84, 0xAA, 0xAA, 0xAA});
    expect(11, 2, 3, {11, 2, 0xAA, 0xAA, 0, 3, 0xAA, 0xAA, 1, 3, 0xAA, 0xAA, 0xAA});
    EXPECT_EQ(addr(build_dummy_subcomplex(sc, 4, 0, 84)), buf + 4);
    EXPECT_EQ(sc->unit_count, 0);
    EXPECT_EQ(build_dummy_subcomplex(nullptr, 4, 1, 84), nullptr);
    EXPECT_EQ(build_dummy_subcomplex(sc, 4, 256, 84), nullptr);
    EXPECT_EQ(build_dummy_subcomplex(sc, 4, -1, 84), nullptr);
}

/* In test mode the status query answers with the built-in tree: six chassis
 * that fit one answer and together show every colour scheme. */
TEST_F(RackQueryTest, TestModeQueryGivesTheFakeTree)
{
    char name[] = "/opt/console/bin/rack_test";
    char *argv[] = {name, nullptr};
    _argv = argv;
    tree_ptr = nullptr;
    testing::internal::CaptureStdout(); /* the traces at level 5 */
    get_cabinet_status(3);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(debug, 5);
    ASSERT_NE(tree_ptr, nullptr);
    ASSERT_EQ(tree_ptr->complex_count, 6);

    /* It fits one answer, and every colour scheme a status code can select
     * is shown by one of its units. */
    ASSERT_GT(check_status_tree(addr(tree_ptr), CMIC_RESULT_SIZE), 0);
    std::set<int> possible, shown;
    auto scheme_of = [](int code) {
        const char *icon = nullptr, *text = nullptr;
        int scheme = -1;
        get_status_visual_elements(code, &icon, &scheme, &text, 0);
        return scheme;
    };
    for (int code = 0; code <= 255; ++code)
        possible.insert(scheme_of(code));
    for (int c = 0; c < tree_ptr->complex_count; ++c) {
        const complex_cfg_t *cp = complex(tree_ptr, c);
        for (int s = 0; s < cp->subcomplex_count; ++s)
            for (int u = 0; u < subcomplex(cp, s)->unit_count; ++u)
                shown.insert(scheme_of(unit(subcomplex(cp, s), u)->unit_status));
    }
    possible.erase(STATUS_TITLE);
    shown.erase(STATUS_TITLE);
    EXPECT_EQ(shown, possible);
}

/* ---- texts of a failed command ------------------------------------------- */

std::vector<uint8_t> failure_answer(uint32_t cmd_status, const std::vector<std::pair<uint8_t, uint32_t>> &records)
{
    std::vector<uint8_t> answer(sizeof(qmx_ecmdcmplt_t) + records.size() * sizeof(complex_cmd_status_t), 0);
    auto *event = reinterpret_cast<qmx_ecmdcmplt_t *>(answer.data());
    event->set_cmd_status(cmd_status);
    event->complex_count = static_cast<uint8_t>(records.size());
    auto *rec = reinterpret_cast<complex_cmd_status_t *>(event->data());
    for (auto [id, status] : records) {
        rec->complex_id = id;
        rec->complex_type = 0x26;
        rec->set_cmd_status(status);
        ++rec;
    }
    return answer;
}

TEST_F(RackQueryTest, FailureTextsPerComplexAndOfTheWholeCommand)
{
    struct Case {
        uint32_t status;
        std::vector<std::pair<uint8_t, uint32_t>> records;
        std::size_t cut; /* bytes taken off the answer's end */
        const char *text;
    };
    const Case cases[] = {
        {0, {{2, 2}, {5, 40}}, 0, ":\nChassis 2 - Complex not talking\nChassis 5 - Unknown error"},
        {0, {{2, 2}, {5, 40}}, 1, ":\nChassis 2 - Complex not talking"}, /* only records inside the answer */
        {0, {{3, static_cast<uint32_t>(-1)}, {4, 36}}, 0,
         ":\nChassis 3 - Unknown error\nChassis 4 - TFTP file transfer failed"},
        {40, {}, 0, ": Unknown error"},
        {static_cast<uint32_t>(-2), {}, 0, ": Unknown error"},
        {36, {}, 0, ": TFTP file transfer failed"},
        {17, {}, 0, ": Unable to deliver command"},
        {0, {}, 0, ": Command Failed"},
        {16, {{2, 2}}, 0, ": CMIC not ready for command"}, /* a non-zero status ignores the records */
    };
    for (const Case &c : cases) {
        auto a = failure_answer(c.status, c.records);
        EXPECT_EQ(cmdcmplt_err_text(reinterpret_cast<const qmx_ecmdcmplt_t *>(a.data()), "read status", a.size() - c.cut),
                  std::string("Unable to read status") + c.text);
    }
    EXPECT_EQ(cmdcmplt_err_text(nullptr, "power on"), "Unable to power on: Unknown error");
}

} // namespace
