/*
 * s_rack_disp.h - the entry points of start-up: the option parser, the
 * icon-name helpers, the refresh, the configuration re-read and the exit
 * path.  The process state they set is in rack_state.h.
 */
#ifndef XR_APP_S_RACK_DISP_H
#define XR_APP_S_RACK_DISP_H

#include <X11/Intrinsic.h>

#include "app/rack_query.h"
#include "app/rack_state.h"

/* Cabinet number of one icon name: "Cab003" -> 3, "Cab012-A" -> 12. */
int get_cabinet_id(const char *cabinet_name);

/* Cabinet number shared by the icon names argv[first..argc-1], or 0 when they
 * differ or one names no cabinet. */
int check_selected_icons(int argc, char **argv, int first);

/* Parses the options of the command line ("FC:d:Pph:") into debug,
 * xh_debug, ConfigFilename, fru_replace_flag and the title in widget_title,
 * each starting from its default, and returns the index of the first icon
 * name; options end at the first icon name.  Of -F, -P and -p the last one
 * wins; any other option prints
 * "\nUnknown parameter\n" and is skipped.  The -d and -h levels are read
 * like atoi: leading digits count, anything else gives 0. */
int parse_options(int argc, char **argv);

/* Refreshes everything shown from a new status query of CabinetID; with
 * show_work_dlg the work dialog is shown while the query runs. */
void update_display(int show_work_dlg);

/* Non-zero while update_display runs: its query serves the display meanwhile
 * (time-outs included), so a refresh can come due inside another. */
extern int update_in_progress;

/* Shows the current status tree (tree_ptr): rebuilds the rack, keeps the
 * selected chassis selected and repainted, and refreshes the detail box
 * while it is up.  The part of update_display after the query. */
void show_status_tree();

/* Reads the configuration file again when its time of change differs from
 * the one last read (nothing in test mode).  Called before power
 * operations. */
void reread_config_file();

/* Shows why a command failed (cmdcmplt_err_text of its command-complete
 * answer, `length` bytes at event) in the work dialog and in a modal error
 * dialog; doing_what is a verb phrase such as "read status". */
void display_cmdcmplt_err(const qmx_ecmdcmplt_t *event, const char *doing_what,
                          std::size_t length = CMDCMPLT_MAX_LENGTH);

void clean_windows();
void exit_callback(Widget w, XtPointer client_data, XtPointer call_data);
void ErrorCallback(Widget w, XtPointer client_data, XtPointer call_data);
void update_callback(Widget w, XtPointer client_data, XtPointer call_data);

#endif
