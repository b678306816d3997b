/*
 * chassis_table.h - the chassis table: one record per complex id (1-20,
 * entry 0 unused) with the rack entry's widgets, the chassis kind and name,
 * and a pointer to the complex in the current status tree.
 *
 * The rack view fills it after every query (build_rack_view); the chassis
 * views, the board slots, the unit look-ups, the detail report and the FRU
 * procedures read it.  It includes nothing of app/ but the status tree and
 * the chassis kinds, so readers need not include the rack view.
 */
#ifndef XR_APP_CHASSIS_TABLE_H
#define XR_APP_CHASSIS_TABLE_H

#include <X11/Intrinsic.h>

#include "app/chassis_types.h"
#include "app/rack_query.h"

/* Highest complex id; the table has entries 0..MAX_CHASSIS, entry 0 unused. */
constexpr int MAX_CHASSIS = 20;
constexpr int CHASSIS_LABEL_SIZE = 20;

/* One rack entry. */
struct s_cab_chassis_rec {
    Widget chassis_frm;          /* entry form (cab_chassis_frm); NULL until first seen */
    Widget radio_btn;            /* its toggle (cab_chassis_btn) */
    Widget stat_lbl;             /* status icon (cab_chassis_stat) */
    Widget stat_frm;             /* frame around picture and status (cab_chassis_stat_frm) */
    Widget chassis_icon;         /* chassis picture (cab_chassis_pic) */
    Widget stat2_lbl;            /* optional second status label, NULL unless set elsewhere */
    Widget chassis_frame;        /* the chassis view window of this chassis */
    long node_id;                /* node list index (node chassis) or interconnect size 0/16/64 */
    complex_cfg_t *complex_ptr;  /* the complex in the current tree; NULL when absent */
    short chassis_type;          /* chassis kind, CHASSIS_* */
    char chassis_label[CHASSIS_LABEL_SIZE]; /* chassis name, at most 19 characters */
    char id;                     /* complex id; 0 while the entry was never used */
};

extern s_cab_chassis_rec chassis_rec[MAX_CHASSIS + 1];
/* Entries whose widgets exist. */
extern int chassis_cnt;
/* Server-management chassis variant: 3 (11 board slots) or 2 (8 slots). */
extern int SscType;

#endif
