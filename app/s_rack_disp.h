/*
 * s_rack_disp.h - process-wide state of the cabinet window and the entry
 * points of start-up: refresh, configuration re-read, the exit path and the
 * icon-name helpers.
 */
#ifndef XR_APP_S_RACK_DISP_H
#define XR_APP_S_RACK_DISP_H

#include <X11/Intrinsic.h>

/* Values of the FRU function selected on the command line. */
enum diag_main_func_t {
    NO_FRU_FUNCTION = 0,
    REPLACE_CRU = 11,
    CRU_PWR_ON = 12,
    CRU_PWR_OFF = 13,
};

constexpr int WIDGET_TITLE_SIZE = 240;

extern const char *ConfigFilename;
extern long cfg_file_mtime;
extern int CabinetID;
extern int HostType;
extern int fru_replace_flag;
extern char widget_title[WIDGET_TITLE_SIZE];
extern int current_chassis;
extern int DetailBoxUp;
extern int num_of_times;

/* Cabinet number of one icon name: "Cab003" -> 3, "Cab012-A" -> 12. */
int get_cabinet_id(const char *cabinet_name);

/* Cabinet number shared by the icon names argv[first..argc-1], or 0 when they
 * differ or one names no cabinet. */
int check_selected_icons(int argc, char **argv, int first);

void clean_windows();
void exit_callback(Widget w, XtPointer client_data, XtPointer call_data);
void ErrorCallback(Widget w, XtPointer client_data, XtPointer call_data);
void update_callback(Widget w, XtPointer client_data, XtPointer call_data);

#endif
