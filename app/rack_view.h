/*
 * rack_view.h - the rack view: the left side of the cabinet window, one entry
 * per complex (chassis) in complex-id order, each a toggle with the chassis
 * name, its picture and its status icon.  Exactly one chassis is selected;
 * its chassis view (chassis_views.h) is shown right of the rack.
 *
 * Fills the chassis table chassis_rec (chassis_table.h), and owns the choice of the chassis view window by complex type, the lazy
 * creation of the less common chassis windows and the selection.
 *
 * Callers: start-up (initialize_chassis_views, adjust_rack_window_size),
 * update_display (build_rack_view, set_chassis_btn, select_chassis_view),
 * the chassis views, the detail box and the FRU procedures (chassis_rec).
 */
#ifndef XR_APP_RACK_VIEW_H
#define XR_APP_RACK_VIEW_H

#include <X11/Intrinsic.h>

#include "app/chassis_table.h"
#include "app/rack_query.h"


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
