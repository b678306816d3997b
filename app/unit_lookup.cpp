/*
 * unit_lookup.cpp - find_unit_ptr and the disk names of the disk-array
 * chassis (see unit_lookup.h).  Both read the chassis table of the rack view
 * for the complex of a chassis.
 */
#include "app/unit_lookup.h"

#include <cstdio>

#include "app/chassis_table.h"
#include "app/complex_types.h"
#include "base/trace.h"

namespace {

/* The older disk array (COMPLEX_DAMC) names its disks by rank. */
constexpr int DISKS_PER_RANK = 5;
constexpr int RANKS = 4;
/* Disks per row in the second numbering of the disk grid. */
constexpr int DISKS_PER_ROW_LAYOUT2 = 32;
constexpr int DEFAULT_DISK_COLUMNS = 14;

complex_cfg_t *chassis_complex(int chassis_id)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return nullptr;
    return chassis_rec[chassis_id].complex_ptr;
}

void write_name(char *name, std::size_t name_size, int short_form, const char *format, int a, int b)
{
    char core[32];
    std::snprintf(core, sizeof core, format, a, b);
    std::snprintf(name, name_size, short_form ? "%s" : "Disk (%s)", core);
}

} // namespace

int hdd_cols = DEFAULT_DISK_COLUMNS;

unit_cfg_t *find_unit_ptr(int chassis_id, int sub, int n)
{
    if (sub == 0) {
        dprint(1, "find_unit_ptr: Unknown subcomplex\n");
        return nullptr;
    }
    complex_cfg_t *cp = chassis_complex(chassis_id);
    if (cp == nullptr) {
        dprint(1, "find_unit_ptr: Error parsing status tree.\n");
        return nullptr;
    }
    for (int i = 0; i < cp->subcomplex_count; ++i) {
        subcomplex_cfg_t *sc = subcomplex(cp, i);
        if (sc == nullptr) {
            dprint(1, "find_unit_ptr: Error parsing status tree.\n");
            return nullptr;
        }
        if (sc->subcomplex_type != sub)
            continue;
        if (n < 1 || n > sc->unit_count) {
            dprint(1, "find_unit_ptr: Can't find unit %d, unit_count=%d\n", n, sc->unit_count);
            return nullptr;
        }
        return unit(sc, n - 1);
    }
    dprint(1, "find_unit_ptr: Can't find subcomplex 0x%x\n", static_cast<unsigned>(sub));
    return nullptr;
}

void get_da_disk_name(char *name, std::size_t name_size, int cru_num, int chassis_id, int short_form, int layout)
{
    if (name == nullptr || name_size == 0)
        return;
    name[0] = '\0';
    const complex_cfg_t *cp = chassis_complex(chassis_id);

    /* The older array: ranks 2, 3, 0, 1 of five disks each. */
    if (cp != nullptr && cp->complex_type == COMPLEX_DAMC) {
        const int index = cru_num > 0 ? cru_num - 1 : 0;
        const int rank = (index / DISKS_PER_RANK + 2) % RANKS;
        const int disk = index % DISKS_PER_RANK + 1;
        dprint(6, "cru_num = %d rank=%d disk=%d\n", cru_num, rank, disk);
        write_name(name, name_size, short_form, "%d,%d", disk, rank);
        return;
    }

    /* Rows and columns. */
    int row = 0, disk = 0;
    if (layout == 1) {
        const int columns = hdd_cols > 0 ? hdd_cols : DEFAULT_DISK_COLUMNS;
        const int index = cru_num > 0 ? cru_num - 1 : 0;
        disk = index % columns + 1;
        row = index / columns + 1;
    } else if (layout == 2) {
        const int index = cru_num > 0 ? cru_num : 0;
        disk = index % DISKS_PER_ROW_LAYOUT2 + 1;
        row = index / DISKS_PER_ROW_LAYOUT2 + 1;
    } else {
        dprint(1, "Invalid call of the function get_da_disk_name\n");
        return;
    }
    dprint(6, "cru_num = %d row=%d disk=%d\n", cru_num, row, disk);
    write_name(name, name_size, short_form, "%d-%d", row, disk);
}
