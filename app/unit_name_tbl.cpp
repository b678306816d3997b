/*
 * unit_name_tbl.cpp - the unit display-name table and its look-up.
 *
 * Owns `unittbl` (grouped by complex type, then subcomplex type, units in
 * number order) and the search hint.  Called by the detail report and the
 * temperature captions of the chassis views.
 */
#include "app/unit_name_tbl.h"

#include <cstdio>

/* ---- constants ----------------------------------------------------------- */

namespace {

/* Complex types of the node chassis and of the UPS with input selector. */
constexpr int kUpsInputSel = 42;
constexpr int kQuartz = 43;
constexpr int kNode7U = 45;
constexpr int kCobalt = 47;
constexpr int kGarnet = 49;
constexpr int kBeryl = 51;

/* Subcomplex types that carry names. */
constexpr int kTemperature = 1;
constexpr int kFans = 3;
constexpr int kInputSel = 20;
constexpr int kVoltage = 28;
constexpr int kMemory = 29;

} // namespace

/* Declared extern in the header, so the table keeps external linkage. */
constexpr unit_name_tbl_t unittbl[UNIT_NAME_COUNT + 1] = {
    {kUpsInputSel, kInputSel, 1, "Leg A"},
    {kUpsInputSel, kInputSel, 2, "Leg B"},
    {kUpsInputSel, kInputSel, 3, "Input Sel"},

    {kQuartz, kTemperature, 1, "I/O Basebd\nTemperature"},
    {kQuartz, kTemperature, 2, "CPU Basebd\nTemperature"},
    {kQuartz, kTemperature, 3, "Memory Mod 1\nTemperature"},
    {kQuartz, kTemperature, 4, "Memory Mod 2\nTemperature"},
    {kQuartz, kTemperature, 5, "Primary HSC\nTemperature"},
    {kQuartz, kTemperature, 6, "Secondary HSC\nTemperature"},
    {kQuartz, kVoltage, 1, "+3.3V"},
    {kQuartz, kVoltage, 2, "+12V"},
    {kQuartz, kVoltage, 3, "+5V"},
    {kQuartz, kVoltage, 4, "Vcc"},
    {kQuartz, kVoltage, 5, "-12V"},
    {kQuartz, kVoltage, 6, "-5V"},

    {kNode7U, kTemperature, 1, "Basebd Sensor 1\nTemperature"},
    {kNode7U, kTemperature, 2, "Basebd Sensor 2\nTemperature"},
    {kNode7U, kTemperature, 3, "Power Dist. Board\nTemperature"},
    {kNode7U, kTemperature, 4, "Fan Board\nTemperature"},
    {kNode7U, kTemperature, 5, "Hot-Swap Backplane\nTemperature"},
    {kNode7U, kVoltage, 1, "+1.5V"},
    {kNode7U, kVoltage, 2, "+2.5V"},
    {kNode7U, kVoltage, 3, "+3.3V"},
    {kNode7U, kVoltage, 4, "+3.3V"},
    {kNode7U, kVoltage, 5, "+5V"},
    {kNode7U, kVoltage, 6, "+12V"},
    {kNode7U, kVoltage, 7, "-12V"},
    {kNode7U, kVoltage, 8, "+5V"},
    {kNode7U, kVoltage, 9, "+12V"},

    {kCobalt, kTemperature, 1, "Basebd\nTemperature"},
    {kCobalt, kTemperature, 2, "Front Panel\nTemperature"},
    {kCobalt, kTemperature, 3, "Power Dist. Board\nTemperature"},
    {kCobalt, kTemperature, 4, "Hot-Swap Backplane\nTemperature"},
    {kCobalt, kVoltage, 1, "+1.25V"},
    {kCobalt, kVoltage, 2, "+2.5V"},
    {kCobalt, kVoltage, 3, "+3.3V"},
    {kCobalt, kVoltage, 4, "+3.3V"},
    {kCobalt, kVoltage, 5, "+5V"},
    {kCobalt, kVoltage, 6, "+12V"},
    {kCobalt, kVoltage, 7, "-12V"},
    {kCobalt, kVoltage, 8, "Bat"},
    {kCobalt, kVoltage, 9, "Proc. VCCP"},
    {kCobalt, kVoltage, 10, "SCSI A Term. 1"},
    {kCobalt, kVoltage, 11, "SCSI A Term. 2"},
    {kCobalt, kVoltage, 12, "SCSI A Term. 3"},
    {kCobalt, kVoltage, 13, "SCSI B Term. 1"},
    {kCobalt, kVoltage, 14, "SCSI B Term. 2"},
    {kCobalt, kVoltage, 15, "SCSI B Term. 3"},
    {kCobalt, kFans, 1, "Basebd Fan 1"},
    {kCobalt, kFans, 2, "Basebd Fan 2"},
    {kCobalt, kFans, 3, "Basebd Fan 3"},
    {kCobalt, kFans, 4, "Basebd Fan 4"},
    {kCobalt, kFans, 5, "Basebd Fan 5"},
    {kCobalt, kFans, 6, "Basebd Fan 6"},
    {kCobalt, kFans, 7, "Proc Fan 1"},
    {kCobalt, kFans, 8, "Proc Fan 2"},
    {kCobalt, kFans, 9, "PDB Fan 1"},
    {kCobalt, kFans, 10, "PDB Fan 2"},

    {kGarnet, kTemperature, 1, "Basebd\nTemperature"},
    {kGarnet, kTemperature, 2, "Front Panel\nTemperature"},
    {kGarnet, kTemperature, 3, "Power Cage\nTemperature"},
    {kGarnet, kTemperature, 4, "Hot-Swap Backplane\nTemperature"},
    {kGarnet, kVoltage, 1, "+1.25V"},
    {kGarnet, kVoltage, 2, "+2.5V"},
    {kGarnet, kVoltage, 3, "+3.3V"},
    {kGarnet, kVoltage, 4, "+3.3V"},
    {kGarnet, kVoltage, 5, "+5V"},
    {kGarnet, kVoltage, 6, "+12V"},
    {kGarnet, kVoltage, 7, "-12V"},
    {kGarnet, kVoltage, 8, "Bat"},
    {kGarnet, kVoltage, 9, "Proc. 1 VCCP"},
    {kGarnet, kVoltage, 10, "Proc. 2 VCCP"},
    {kGarnet, kFans, 1, "Basebd Fan 1"},
    {kGarnet, kFans, 2, "Basebd Fan 2"},
    {kGarnet, kFans, 3, "Basebd Fan 3"},
    {kGarnet, kFans, 4, "Basebd Fan 4"},
    {kGarnet, kFans, 5, "Proc Fan 1"},
    {kGarnet, kFans, 6, "Proc Fan 2"},
    {kGarnet, kFans, 7, "Power Cage Fan 1"},
    {kGarnet, kFans, 8, "Power Cage Fan 2"},
    {kGarnet, kMemory, 1, "DIMM 1A"},
    {kGarnet, kMemory, 2, "DIMM 1B"},
    {kGarnet, kMemory, 3, "DIMM 2A"},
    {kGarnet, kMemory, 4, "DIMM 2B"},
    {kGarnet, kMemory, 5, "DIMM 3A"},
    {kGarnet, kMemory, 6, "DIMM 3B"},

    {kBeryl, kTemperature, 1, "Basebd\nTemperature"},
    {kBeryl, kTemperature, 2, "Front Panel\nTemperature"},
    {kBeryl, kTemperature, 3, "Power Cage\nTemperature"},
    {kBeryl, kTemperature, 4, "Hot-Swap Backplane\nTemperature"},
    {kBeryl, kVoltage, 1, "+1.25V"},
    {kBeryl, kVoltage, 2, "+2.5V"},
    {kBeryl, kVoltage, 3, "+3.3V"},
    {kBeryl, kVoltage, 4, "+3.3V"},
    {kBeryl, kVoltage, 5, "+5V"},
    {kBeryl, kVoltage, 6, "+12V"},
    {kBeryl, kVoltage, 7, "-12V"},
    {kBeryl, kVoltage, 8, "Bat"},
    {kBeryl, kVoltage, 9, "Proc. 1 VCCP"},
    {kBeryl, kVoltage, 10, "Proc. 2 VCCP"},
    {kBeryl, kFans, 1, "Basebd Fan 1"},
    {kBeryl, kFans, 2, "Basebd Fan 2"},
    {kBeryl, kFans, 3, "Basebd Fan 3"},
    {kBeryl, kFans, 4, "Basebd Fan 4"},
    {kBeryl, kFans, 5, "Basebd Fan 5"},
    {kBeryl, kFans, 6, "Power Cage Fan 1"},
    {kBeryl, kFans, 7, "Power Cage Fan 2"},
    {kBeryl, kMemory, 1, "DIMM 1A"},
    {kBeryl, kMemory, 2, "DIMM 1B"},
    {kBeryl, kMemory, 3, "DIMM 2A"},
    {kBeryl, kMemory, 4, "DIMM 2B"},
    {kBeryl, kMemory, 5, "DIMM 3A"},
    {kBeryl, kMemory, 6, "DIMM 3B"},

    {-1, 0, 0, nullptr},
};

namespace {

/* The table ends in its terminator and nowhere before; within each group
 * the units count 1, 2, 3 ... so that consecutive lookups hit consecutive
 * records; every record has a name. */
constexpr bool table_well_formed()
{
    if (unittbl[UNIT_NAME_COUNT].chassis_type != -1)
        return false;
    for (int i = 0; i < UNIT_NAME_COUNT; ++i) {
        const unit_name_tbl_t &r = unittbl[i];
        if (r.chassis_type < 0 || r.name == nullptr)
            return false;
        bool same_group = i > 0 && unittbl[i - 1].chassis_type == r.chassis_type &&
                          unittbl[i - 1].subcomplex_type == r.subcomplex_type;
        int expected = same_group ? unittbl[i - 1].unit_number + 1 : 1;
        if (r.unit_number != expected)
            return false;
    }
    return true;
}
static_assert(table_well_formed(), "unit names: groups must number their units 1, 2, 3 ...");

/* ---- module variables ---------------------------------------------------- */

/* Index where the next search starts. */
int search_hint = 0;

/* ---- static prototypes --------------------------------------------------- */

int find_name(int from, int to, int chassis, int subcomplex, int unit);
void report_missing(int chassis, int subcomplex, int unit);

} // namespace

/* ------------------------------------------------------------------------ */

namespace {

/* Index of the record for the triple in [from, to), or -1. */
int find_name(int from, int to, int chassis, int subcomplex, int unit)
{
    for (int i = from; i < to; ++i) {
        const unit_name_tbl_t &r = unittbl[i];
        if (r.chassis_type == chassis && r.subcomplex_type == subcomplex && r.unit_number == unit)
            return i;
    }
    return -1;
}

void report_missing(int chassis, int subcomplex, int unit)
{
    std::fprintf(stderr,
                 "getUnitDisplayName: Unable to find name for combination of chassis 0x%x - subcomplex 0x%x - "
                 "unit 0x%x  - hint 0x%x\n",
                 static_cast<unsigned>(chassis), static_cast<unsigned>(subcomplex), static_cast<unsigned>(unit),
                 static_cast<unsigned>(search_hint));
}

} // namespace

const char *getUnitDisplayName(int chassis, int subcomplex, int unit)
{
    /* 1. From the hint to the end of the table. */
    int found = find_name(search_hint, UNIT_NAME_COUNT, chassis, subcomplex, unit);

    /* 2. Not there: a search that started at the top is over; otherwise the
     *    part above the hint is searched too. */
    if (found < 0) {
        if (search_hint == 0) {
            report_missing(chassis, subcomplex, unit);
            return nullptr;
        }
        found = find_name(0, search_hint, chassis, subcomplex, unit);
        if (found < 0) {
            report_missing(chassis, subcomplex, unit);
            search_hint = 0;
            return nullptr;
        }
    }

    /* 3. The next lookup is most likely the record after this one. */
    search_hint = found + 1;
    return unittbl[found].name;
}

int getUnitDisplayNameHint()
{
    return search_hint;
}
