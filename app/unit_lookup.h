/*
 * unit_lookup.h - small look-ups into the current status tree by chassis:
 * the unit record of a component (find_unit_ptr) and the printable name of a
 * disk-array disk (get_da_disk_name, hdd_cols).
 *
 * Callers: the chassis views (disk labels, management-board slots) and the
 * FRU procedures (the unit a component button stands for, disk prompts).
 */
#ifndef XR_APP_UNIT_LOOKUP_H
#define XR_APP_UNIT_LOOKUP_H

#include <cstddef>

#include "app/rack_query.h"

/* Number of disk columns of the disk-array chassis shown last; set by the
 * chassis view when it lays out the disk grid. */
extern int hdd_cols;

/* The unit number `unit_number` (from 1) of the first subcomplex of type
 * subcomplex_type in the complex of chassis chassis_id (1-20), or NULL when
 * the chassis, the subcomplex or the unit is not in the current tree. */
unit_cfg_t *find_unit_ptr(int chassis_id, int subcomplex_type, int unit_number);

/* Writes the name of disk cru_num of chassis chassis_id into name (at most
 * name_size bytes, always terminated).  Disk arrays of complex type 0x20
 * number their disks by rank ("%d,%d" disk, rank); the others by row and
 * column ("%d-%d" row, disk), layout 1 counting hdd_cols disks per row,
 * layout 2 thirty-two.  short_form 0 wraps the name as "Disk (...)". */
void get_da_disk_name(char *name, std::size_t name_size, int cru_num, int chassis_id, int short_form, int layout);

#endif
