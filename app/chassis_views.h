/*
 * chassis_views.h - the chassis view: the right side of the cabinet window,
 * a picture of the selected chassis in which every component is a toggle
 * with its picture and a status label.  Each chassis kind has its own
 * window (app/layouts/) with NULL-terminated widget arrays per component
 * kind; these painters fill them from the status tree.
 *
 * chassis_views.cpp: the whole view, one subcomplex (the dispatch table),
 *   substitutes for empty subcomplexes, the disk grid;
 * chassis_parts.cpp: temperatures, the input selector, the 64G converters,
 *   the PCI slots, the UPS that does not talk;
 * rcmb_slots.cpp: the board slots of the server-management chassis.
 *
 * Callers: the rack view (select_chassis_view), the FRU procedures.
 */
#ifndef XR_APP_CHASSIS_VIEWS_H
#define XR_APP_CHASSIS_VIEWS_H

#include <X11/Intrinsic.h>

#include "app/chassis_table.h"
#include "app/rack_query.h"
#include "app/status_codes.h"
#include "app/subcomplex_types.h"

/* Subcomplex types that hold a chassis's main board, 0-terminated. */
extern const int gMBSub[];

/* ---- chassis_views.cpp --------------------------------------------------- */

/* Paints the whole view of one chassis. */
void show_chassis_view_status(int chassis_id);

/* Paints one subcomplex into the view of this_chassis. */
void show_chassis_view_sc_status(s_cab_chassis_rec *this_chassis, subcomplex_cfg_t *subcomplex_ptr);

/* Unit count of the substitute for an empty subcomplex of subcomplex_type
 * in a complex of complex_type; 0 when there is none. */
int dummy_unit_count(int complex_type, int subcomplex_type);

/* Columns and rows of the disk grid for `disks` disks. */
struct disk_grid_t {
    int columns;
    int rows;
};
disk_grid_t disk_grid_shape(int disks);

/* ---- chassis_parts.cpp --------------------------------------------------- */

void show_chassis_temp(int chassis_id, subcomplex_cfg_t *subcomplex_ptr);
void show_rmnode_temp(int chassis_type, subcomplex_cfg_t *subcomplex_ptr);
void show_mda_temp(int chassis_id, subcomplex_cfg_t *subcomplex_ptr);
void show_dam_ups_chassis_dam(int chassis_id, subcomplex_cfg_t *subcomplex_ptr);
void show_qn64g_chassis_conv(int chassis_id, subcomplex_cfg_t *subcomplex_ptr);
void show_node7U_chassis_pci(int chassis_id, subcomplex_cfg_t *subcomplex_ptr);
void create_ups_dummy_subcomplexes(s_cab_chassis_rec *this_chassis);

/* 1 when any chassis of the cabinet has complex type 37, else 0. */
int is_8830_cabinet();

/* ---- rcmb_slots.cpp ------------------------------------------------------ */

/* Chassis ids that stand for the two management LAN links of the first
 * power group. */
constexpr int MLAN_A = 256;
constexpr int MLAN_B = 257;
constexpr int CHASSIS_IDS_PER_SLOT = 4;

/* Chooses the slot tables (lbl_rcmbs, btn_rcmbs, stat_rcmbs) and pictures
 * (SmbTessel, PtbTessel) by SscType; -1 (tables unchanged) for a variant
 * without slots. */
int set_smc_type();
extern Widget *lbl_rcmbs, *btn_rcmbs, *stat_rcmbs;
extern const char *SmbTessel, *PtbTessel;

void show_rcmb_status();
void show_rcmb(int slot_idx, int chassis_id, const char *text, int type);
void show_ptb(int slot_idx, int status, const char *text, int count, int type);
int rcmb_slot_to_chassis_ids(int slot_idx, int ids[CHASSIS_IDS_PER_SLOT]);
int ptbs_needed();

/* Manages or unmanages a slot widget; a null widget (a slot the window does
 * not have) is left alone. */
void set_managed(Widget w, bool managed);

#endif
