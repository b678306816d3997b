/*
 * rack_view.h - the rack view: the left side of the cabinet window, one entry
 * per complex (chassis) in complex-id order, each a toggle with the chassis
 * name, its picture and its status icon.  Exactly one chassis is selected;
 * its chassis view (chassis_views.h) is shown right of the rack.
 *
 * Owns the chassis table chassis_rec (indexed by complex id 1-20, entry 0
 * unused), the choice of the chassis view window by complex type, the lazy
 * creation of the less common chassis windows and the selection.
 *
 * Callers: start-up (initialize_chassis_views, adjust_rack_window_size),
 * update_display (build_rack_view, set_chassis_btn, select_chassis_view),
 * the chassis views, the detail box and the FRU procedures (chassis_rec).
 */
#ifndef XR_APP_RACK_VIEW_H
#define XR_APP_RACK_VIEW_H

#include <X11/Intrinsic.h>

#include "app/rack_query.h"

/* Highest complex id; the table has entries 0..MAX_CHASSIS, entry 0 unused. */
constexpr int MAX_CHASSIS = 20;
constexpr int CHASSIS_LABEL_SIZE = 20;

/* Chassis kinds (chassis_type). */
constexpr short CHASSIS_DISK_ARRAY = 6;
constexpr short CHASSIS_UPS = 7;
constexpr short CHASSIS_NODE = 201;
constexpr short CHASSIS_QNA = 204;
constexpr short CHASSIS_QNB = 205;
constexpr short CHASSIS_SERVER_MGMT = 207;
constexpr short CHASSIS_SERVER_MGMT2 = 208;
constexpr short CHASSIS_UNKNOWN = 0;

/* Status code of a chassis absent from the tree. */
constexpr int STATUS_CODE_MISSING = 3;

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

/* Rebuilds the rack from tree_ptr: every complex gets its entry and status,
 * entries absent from the tree are shown Missing. */
void build_rack_view();

/* Creates or refreshes the rack entry of one complex.  Complexes with ids
 * outside 1..MAX_CHASSIS are skipped.  Before the main window is built (no
 * cab_rc) only the table entry is filled: no widgets, no view window. */
void add_chassis(complex_cfg_t *complex_ptr);

/* Insert-position procedure of cab_rc: keeps the rack sorted by complex id. */
Cardinal position_proc(Widget w);

/* One-time placement of the pre-built chassis view windows (after the main
 * window was built). */
void initialize_chassis_views();

/* Lazy creators of the less common chassis view windows. */
void create_cobalt_frame();
void create_garnet_frame();
void create_beryl_frame();
void create_node7U_frame();
void create_quartz_node_frame();
void create_da2_frame();
void create_da_frame();
void create_ups2U_frame();

/* Shows the view of one chassis (the empty view when it is Missing). */
void select_chassis_view(int chassis_id);

/* Sets one rack toggle on (colours inverted) or off, without callbacks. */
void set_chassis_btn(int chassis_num, int on);

/* Value-changed callback of every rack toggle; client data is the complex
 * id.  The selection can never be emptied. */
void show_chassis_cb(Widget w, XtPointer chassis_num, XtPointer call_data);

/* Paints one rack entry with a status code. */
void show_rack_view_status(int chassis_id, int status);

/* Fits the main form to the scrolled content (once the window is realised). */
void adjust_rack_window_size();

/* The chassis picture of a chassis kind (full path). */
const char *chassis_picture(short chassis_type);

#endif
