/*
 * unit_name_tbl_test.cpp - the unit display-name table and its look-up:
 * group sizes and names, the search hint (consecutive lookups, wrapping to
 * the top, the reset after a miss) and the message of a miss.
 */
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "app/unit_name_tbl.h"

namespace {

/* A lookup that cannot succeed leaves the hint at 0 whatever it was. */
void reset_hint()
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(getUnitDisplayName(0, 0, 0), nullptr);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(getUnitDisplayNameHint(), 0);
}

std::string name_of(int chassis, int subcomplex, int unit)
{
    const char *name = getUnitDisplayName(chassis, subcomplex, unit);
    return name != nullptr ? name : "<null>";
}

int index_of(int chassis, int subcomplex, int unit)
{
    for (int i = 0; i < UNIT_NAME_COUNT; ++i)
        if (unittbl[i].chassis_type == chassis && unittbl[i].subcomplex_type == subcomplex &&
            unittbl[i].unit_number == unit)
            return i;
    return -1;
}

int count_substr(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(UnitNames, GroupsHoldTheirUnitsAndNames)
{
    std::map<std::pair<int, int>, int> groups;
    for (int i = 0; i < UNIT_NAME_COUNT; ++i)
        ++groups[{unittbl[i].chassis_type, unittbl[i].subcomplex_type}];
    const std::map<std::pair<int, int>, int> expected = {
        {{42, 20}, 3}, {{43, 1}, 6}, {{43, 28}, 6}, {{45, 1}, 5},  {{45, 28}, 9}, {{47, 1}, 4},
        {{47, 28}, 15}, {{47, 3}, 10}, {{49, 1}, 4}, {{49, 28}, 10}, {{49, 3}, 8}, {{49, 29}, 6},
        {{51, 1}, 4},  {{51, 28}, 10}, {{51, 3}, 7}, {{51, 29}, 6},
    };
    EXPECT_EQ(groups, expected);
    EXPECT_EQ(unittbl[UNIT_NAME_COUNT].chassis_type, -1);

    reset_hint();
    /* The ends of a group, and a name used twice in one group. */
    EXPECT_EQ(name_of(47, 28, 1), "+1.25V");
    EXPECT_EQ(name_of(47, 28, 3), "+3.3V");
    EXPECT_EQ(name_of(47, 28, 4), "+3.3V");
    EXPECT_EQ(name_of(47, 28, 15), "SCSI B Term. 3");
    EXPECT_EQ(name_of(42, 20, 3), "Input Sel");
    EXPECT_EQ(name_of(43, 1, 6), "Secondary HSC\nTemperature");
    EXPECT_EQ(name_of(45, 28, 9), "+12V");
    EXPECT_EQ(name_of(49, 3, 8), "Power Cage Fan 2");
    EXPECT_EQ(name_of(51, 3, 5), "Basebd Fan 5");
    EXPECT_EQ(name_of(51, 3, 6), "Power Cage Fan 1");
    EXPECT_EQ(name_of(51, 29, 6), "DIMM 3B");
    /* Groups that share names with another complex still answer for their
     * own complex only. */
    EXPECT_EQ(name_of(51, 1, 3), "Power Cage\nTemperature");
    EXPECT_EQ(name_of(47, 1, 3), "Power Dist. Board\nTemperature");
}

TEST(UnitNames, ConsecutiveLookupsMoveTheHintOneRecordAtATimeAndWrapToTheTop)
{
    reset_hint();
    const int first = index_of(49, 28, 1);
    ASSERT_GE(first, 0);
    for (int unit = 1; unit <= 10; ++unit) {
        EXPECT_NE(getUnitDisplayName(49, 28, unit), nullptr);
        EXPECT_EQ(getUnitDisplayNameHint(), first + unit);
    }
    /* The next group follows without a restart. */
    EXPECT_EQ(name_of(49, 3, 1), "Basebd Fan 1");
    EXPECT_EQ(getUnitDisplayNameHint(), first + 11);

    /* The very last record leaves the hint at the end of the table ... */
    EXPECT_EQ(name_of(51, 29, 6), "DIMM 3B");
    EXPECT_EQ(getUnitDisplayNameHint(), UNIT_NAME_COUNT);
    /* ... and a record above it is found by the second pass. */
    EXPECT_EQ(name_of(42, 20, 1), "Leg A");
    EXPECT_EQ(getUnitDisplayNameHint(), 1);

    /* From the middle too: a record just above the hint. */
    EXPECT_EQ(name_of(47, 3, 10), "PDB Fan 2");
    const int after_pdb = getUnitDisplayNameHint();
    EXPECT_EQ(name_of(47, 3, 9), "PDB Fan 1");
    EXPECT_EQ(getUnitDisplayNameHint(), after_pdb - 1);
}

TEST(UnitNames, MissReportsOnceWithTheHintAndRestartsAtTheTop)
{
    reset_hint();
    ASSERT_NE(getUnitDisplayName(45, 1, 2), nullptr);
    const int hint = getUnitDisplayNameHint();
    ASSERT_GT(hint, 0);

    /* Unit 0: the cabinet numbered from 0 where the table counts from 1. */
    testing::internal::CaptureStderr();
    EXPECT_EQ(getUnitDisplayName(45, 1, 0), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "getUnitDisplayName: Unable to find name for combination of chassis 0x2d - subcomplex 0x1 - unit "
                  "0x0  - hint 0x%x\n",
                  static_cast<unsigned>(hint));
    EXPECT_EQ(err, expected);
    EXPECT_EQ(getUnitDisplayNameHint(), 0);

    /* From the top, a miss is reported once as well and the hint stays 0. */
    testing::internal::CaptureStderr();
    EXPECT_EQ(getUnitDisplayName(46, 28, 1), nullptr);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_substr(err, "Unable to find name"), 1);
    EXPECT_NE(err.find("chassis 0x2e - subcomplex 0x1c - unit 0x1  - hint 0x0\n"), std::string::npos);
    EXPECT_EQ(getUnitDisplayNameHint(), 0);

    /* A hit after the miss works from the top again. */
    EXPECT_EQ(name_of(45, 1, 3), "Power Dist. Board\nTemperature");
    EXPECT_EQ(getUnitDisplayNameHint(), index_of(45, 1, 3) + 1);
}
