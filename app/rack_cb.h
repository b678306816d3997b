/*
 * rack_cb.h - callbacks of the cabinet window and the chassis views: the
 * component toggles, the function menu, the help menu, and the generic
 * show/hide links of generated buttons.  Attached by the window builders of
 * app/layouts/.
 */
#ifndef XR_APP_RACK_CB_H
#define XR_APP_RACK_CB_H

#include <X11/Intrinsic.h>

/* Value-changed callback of every component toggle; client data is the
 * component's cru_spec (FRU kind in the high byte, unit in the low byte).
 * The toggle is always set off again, without notifying its callbacks. */
void cru_repl_cb(Widget w, XtPointer cru_spec, XtPointer call_data);

/* Value-changed callback of the function toggles btn_replace, btn_power_on
 * and btn_power_off; client data is the function (11, 12, 13).  When the
 * toggle became set: the title becomes "FRU Replacement", "FRU Power On" or
 * "FRU Power Off" with " - Cab%03d", on the cabinet window and the work
 * dialog, and fru_replace_flag takes the function. */
void function_select_cb(Widget w, XtPointer func, XtPointer call_data);

/* Help -> Symbol Key: shows the status key. */
void help_key_callback(Widget w, XtPointer client_data, XtPointer call_data);

/* Help -> Contents: opens the cabinet help at its first topic. */
inline constexpr const char kContentsHelpFile[] = "rackfru.help";
inline constexpr const char kContentsHelpTopic[] = "Rack_FRU_mgmt";
void rackcruhelp(Widget w, XtPointer client_data, XtPointer call_data);

/* Deletes the boot-table entry `name` with the boot-table tool; 1 when the
 * tool could be run, 0 (after an error box) when it could not. */
int overwrite_bootptab(const char *name);

/* Manage / unmanage the widget stored at the address given as client data. */
void XDmanage_link(Widget w, XtPointer target, XtPointer call_data);
void XDunmanage_link(Widget w, XtPointer target, XtPointer call_data);

#endif
