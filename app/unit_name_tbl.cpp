/*
 * unit_name_tbl.cpp - the unit display-name table and its look-up.
 *
 * Owns `unittbl` (grouped by complex type, then subcomplex type, units in
 * number order) and the search hint.  Called by the detail report and the
 * temperature captions of the chassis views.
 */
#include "app/unit_name_tbl.h"

#include <cstdio>

#include "app/complex_types.h"
#include "app/subcomplex_types.h"

/* ---- constants ----------------------------------------------------------- */

/* Declared extern in the header, so the table keeps external linkage. */
constexpr unit_name_tbl_t unittbl[UNIT_NAME_COUNT + 1] = {
    {COMPLEX_UPS_DAM, SC_INPUT_SELECTOR, 1, "Leg A"},
    {COMPLEX_UPS_DAM, SC_INPUT_SELECTOR, 2, "Leg B"},
    {COMPLEX_UPS_DAM, SC_INPUT_SELECTOR, 3, "Input Sel"},

    {COMPLEX_QUARTZ_NODE, SC_TEMP, 1, "I/O Basebd\nTemperature"},
    {COMPLEX_QUARTZ_NODE, SC_TEMP, 2, "CPU Basebd\nTemperature"},
    {COMPLEX_QUARTZ_NODE, SC_TEMP, 3, "Memory Mod 1\nTemperature"},
    {COMPLEX_QUARTZ_NODE, SC_TEMP, 4, "Memory Mod 2\nTemperature"},
    {COMPLEX_QUARTZ_NODE, SC_TEMP, 5, "Primary HSC\nTemperature"},
    {COMPLEX_QUARTZ_NODE, SC_TEMP, 6, "Secondary HSC\nTemperature"},
    {COMPLEX_QUARTZ_NODE, SC_CHASSIS_VOLTAGE, 1, "+3.3V"},
    {COMPLEX_QUARTZ_NODE, SC_CHASSIS_VOLTAGE, 2, "+12V"},
    {COMPLEX_QUARTZ_NODE, SC_CHASSIS_VOLTAGE, 3, "+5V"},
    {COMPLEX_QUARTZ_NODE, SC_CHASSIS_VOLTAGE, 4, "Vcc"},
    {COMPLEX_QUARTZ_NODE, SC_CHASSIS_VOLTAGE, 5, "-12V"},
    {COMPLEX_QUARTZ_NODE, SC_CHASSIS_VOLTAGE, 6, "-5V"},

    {COMPLEX_NODE7U, SC_TEMP, 1, "Basebd Sensor 1\nTemperature"},
    {COMPLEX_NODE7U, SC_TEMP, 2, "Basebd Sensor 2\nTemperature"},
    {COMPLEX_NODE7U, SC_TEMP, 3, "Power Dist. Board\nTemperature"},
    {COMPLEX_NODE7U, SC_TEMP, 4, "Fan Board\nTemperature"},
    {COMPLEX_NODE7U, SC_TEMP, 5, "Hot-Swap Backplane\nTemperature"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 1, "+1.5V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 2, "+2.5V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 3, "+3.3V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 4, "+3.3V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 5, "+5V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 6, "+12V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 7, "-12V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 8, "+5V"},
    {COMPLEX_NODE7U, SC_CHASSIS_VOLTAGE, 9, "+12V"},

    {COMPLEX_COBALT, SC_TEMP, 1, "Basebd\nTemperature"},
    {COMPLEX_COBALT, SC_TEMP, 2, "Front Panel\nTemperature"},
    {COMPLEX_COBALT, SC_TEMP, 3, "Power Dist. Board\nTemperature"},
    {COMPLEX_COBALT, SC_TEMP, 4, "Hot-Swap Backplane\nTemperature"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 1, "+1.25V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 2, "+2.5V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 3, "+3.3V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 4, "+3.3V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 5, "+5V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 6, "+12V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 7, "-12V"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 8, "Bat"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 9, "Proc. VCCP"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 10, "SCSI A Term. 1"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 11, "SCSI A Term. 2"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 12, "SCSI A Term. 3"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 13, "SCSI B Term. 1"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 14, "SCSI B Term. 2"},
    {COMPLEX_COBALT, SC_CHASSIS_VOLTAGE, 15, "SCSI B Term. 3"},
    {COMPLEX_COBALT, SC_FAN, 1, "Basebd Fan 1"},
    {COMPLEX_COBALT, SC_FAN, 2, "Basebd Fan 2"},
    {COMPLEX_COBALT, SC_FAN, 3, "Basebd Fan 3"},
    {COMPLEX_COBALT, SC_FAN, 4, "Basebd Fan 4"},
    {COMPLEX_COBALT, SC_FAN, 5, "Basebd Fan 5"},
    {COMPLEX_COBALT, SC_FAN, 6, "Basebd Fan 6"},
    {COMPLEX_COBALT, SC_FAN, 7, "Proc Fan 1"},
    {COMPLEX_COBALT, SC_FAN, 8, "Proc Fan 2"},
    {COMPLEX_COBALT, SC_FAN, 9, "PDB Fan 1"},
    {COMPLEX_COBALT, SC_FAN, 10, "PDB Fan 2"},

    {COMPLEX_GARNET, SC_TEMP, 1, "Basebd\nTemperature"},
    {COMPLEX_GARNET, SC_TEMP, 2, "Front Panel\nTemperature"},
    {COMPLEX_GARNET, SC_TEMP, 3, "Power Cage\nTemperature"},
    {COMPLEX_GARNET, SC_TEMP, 4, "Hot-Swap Backplane\nTemperature"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 1, "+1.25V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 2, "+2.5V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 3, "+3.3V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 4, "+3.3V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 5, "+5V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 6, "+12V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 7, "-12V"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 8, "Bat"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 9, "Proc. 1 VCCP"},
    {COMPLEX_GARNET, SC_CHASSIS_VOLTAGE, 10, "Proc. 2 VCCP"},
    {COMPLEX_GARNET, SC_FAN, 1, "Basebd Fan 1"},
    {COMPLEX_GARNET, SC_FAN, 2, "Basebd Fan 2"},
    {COMPLEX_GARNET, SC_FAN, 3, "Basebd Fan 3"},
    {COMPLEX_GARNET, SC_FAN, 4, "Basebd Fan 4"},
    {COMPLEX_GARNET, SC_FAN, 5, "Proc Fan 1"},
    {COMPLEX_GARNET, SC_FAN, 6, "Proc Fan 2"},
    {COMPLEX_GARNET, SC_FAN, 7, "Power Cage Fan 1"},
    {COMPLEX_GARNET, SC_FAN, 8, "Power Cage Fan 2"},
    {COMPLEX_GARNET, SC_MEM, 1, "DIMM 1A"},
    {COMPLEX_GARNET, SC_MEM, 2, "DIMM 1B"},
    {COMPLEX_GARNET, SC_MEM, 3, "DIMM 2A"},
    {COMPLEX_GARNET, SC_MEM, 4, "DIMM 2B"},
    {COMPLEX_GARNET, SC_MEM, 5, "DIMM 3A"},
    {COMPLEX_GARNET, SC_MEM, 6, "DIMM 3B"},

    {COMPLEX_BERYL, SC_TEMP, 1, "Basebd\nTemperature"},
    {COMPLEX_BERYL, SC_TEMP, 2, "Front Panel\nTemperature"},
    {COMPLEX_BERYL, SC_TEMP, 3, "Power Cage\nTemperature"},
    {COMPLEX_BERYL, SC_TEMP, 4, "Hot-Swap Backplane\nTemperature"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 1, "+1.25V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 2, "+2.5V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 3, "+3.3V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 4, "+3.3V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 5, "+5V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 6, "+12V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 7, "-12V"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 8, "Bat"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 9, "Proc. 1 VCCP"},
    {COMPLEX_BERYL, SC_CHASSIS_VOLTAGE, 10, "Proc. 2 VCCP"},
    {COMPLEX_BERYL, SC_FAN, 1, "Basebd Fan 1"},
    {COMPLEX_BERYL, SC_FAN, 2, "Basebd Fan 2"},
    {COMPLEX_BERYL, SC_FAN, 3, "Basebd Fan 3"},
    {COMPLEX_BERYL, SC_FAN, 4, "Basebd Fan 4"},
    {COMPLEX_BERYL, SC_FAN, 5, "Basebd Fan 5"},
    {COMPLEX_BERYL, SC_FAN, 6, "Power Cage Fan 1"},
    {COMPLEX_BERYL, SC_FAN, 7, "Power Cage Fan 2"},
    {COMPLEX_BERYL, SC_MEM, 1, "DIMM 1A"},
    {COMPLEX_BERYL, SC_MEM, 2, "DIMM 1B"},
    {COMPLEX_BERYL, SC_MEM, 3, "DIMM 2A"},
    {COMPLEX_BERYL, SC_MEM, 4, "DIMM 2B"},
    {COMPLEX_BERYL, SC_MEM, 5, "DIMM 3A"},
    {COMPLEX_BERYL, SC_MEM, 6, "DIMM 3B"},

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
