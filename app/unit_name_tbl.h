/*
 * unit_name_tbl.h - display names of the units that the cabinet reports
 * only by number: the temperature sensors, voltages, fans and memory strips
 * of the node chassis, and the legs of the UPS input selector.
 *
 * The table is keyed by (complex type, subcomplex type, unit number); unit
 * numbers count from 1 within each group.  Lookups usually come in table
 * order (unit 1, 2, 3 ... of one group), so the search starts where the last
 * successful one ended and a run of consecutive lookups costs one comparison
 * each.
 *
 * Callers: the detail report (voltage and input-selector column heads) and
 * the temperature captions of the chassis views.
 */
#ifndef XR_APP_UNIT_NAME_TBL_H
#define XR_APP_UNIT_NAME_TBL_H

struct unit_name_tbl_t {
    int chassis_type;     /* complex type; -1 ends the table */
    int subcomplex_type;
    int unit_number;      /* the unit_id, from 1 */
    const char *name;     /* may hold a line break */
};

/* Records in the table, not counting the terminator. */
constexpr int UNIT_NAME_COUNT = 113;

extern const unit_name_tbl_t unittbl[UNIT_NAME_COUNT + 1];

/* The name of one unit, or NULL (with a message on standard error) when
 * the table has none.  The search starts at the record after the last one
 * found and wraps around once; a failed search starts the next one at the
 * beginning. */
const char *getUnitDisplayName(int chassis, int subcomplex, int unit);

/* Index where the next search starts (for tests and traces). */
int getUnitDisplayNameHint();

#endif
