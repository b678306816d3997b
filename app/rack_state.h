/*
 * rack_state.h - the process state of the cabinet window that many modules
 * read: the cabinet served, its host type, the selected FRU function, the
 * window title, the chassis shown, whether the detail box is up, the
 * configuration file, and the count of fatal signals.
 *
 * Start-up (main, s_rack_disp) sets most of it once; the rack view changes
 * current_chassis, the detail box DetailBoxUp, the signal handler
 * num_of_times.  This header includes nothing of app/, so that any module
 * can read the state without pulling in the modules that set it.
 */
#ifndef XR_APP_RACK_STATE_H
#define XR_APP_RACK_STATE_H

#include <csignal>

/* Values of the FRU function selected on the command line. */
enum diag_main_func_t {
    NO_FRU_FUNCTION = 0,
    REPLACE_CRU = 11,
    CRU_PWR_ON = 12,
    CRU_PWR_OFF = 13,
};

constexpr int WIDGET_TITLE_SIZE = 240;

/* The configuration file as opened: the installation's file resolved
 * through console_path() unless -C named another, which is used as given. */
constexpr const char *DEFAULT_CONFIG_FILE = "/var/console/nxs.config";
extern const char *ConfigFilename;
/* Modification time of the configuration file when it was last read. */
extern long cfg_file_mtime;
/* The cabinet number this instance shows. */
extern int CabinetID;
/* Host type of the cabinet; 0 when unknown. */
extern int HostType;
/* diag_main_func_t of the command line. */
extern int fru_replace_flag;
/* Title of the cabinet window and of every dialog. */
extern char widget_title[WIDGET_TITLE_SIZE];
/* Chassis whose view is shown (complex id, from 1). */
extern int current_chassis;
/* 1 while the detail box is shown. */
extern int DetailBoxUp;
/* Fatal signals received so far; written by the signal handler. */
extern volatile std::sig_atomic_t num_of_times;

#endif
