/*
 * help_contexts.h - the help key's topics of the cabinet display's windows.
 *
 * Each window of the display names the help file and topic that the help
 * key (F1) opens while the pointer is over it; a window inside another
 * (a chassis view inside the cabinet window) wins over the outer one.  The
 * table is also what the help files are checked against: every topic named
 * here must exist in its file.
 */
#ifndef XR_APP_HELP_CONTEXTS_H
#define XR_APP_HELP_CONTEXTS_H

#include <X11/Intrinsic.h>

#include "app/layouts/rack_windows.h"
#include "app/s_detail.h"

struct WindowHelp {
    Widget *window;
    const char *file;
    const char *topic;
};

inline constexpr const char kDisplayHelpFile[] = "rackfru.help";

inline constexpr WindowHelp WINDOW_HELP[] = {
    {&rack_cabstat_dlg, kDisplayHelpFile, "Cabinet_Window"},
    {&cab_rc, kDisplayHelpFile, "Rack_View"},
    {&s_key_shell, kDisplayHelpFile, "Status_Key"},
    {&DetailBox, kDisplayHelpFile, "Detail_Box"},
    /* The chassis views, built at start-up or on first use. */
    {&smp_frame, kDisplayHelpFile, "Chassis_View"},
    {&sm_frame, kDisplayHelpFile, "Chassis_View"},
    {&sm2u_frame, kDisplayHelpFile, "Chassis_View"},
    {&quonet_frame, kDisplayHelpFile, "Chassis_View"},
    {&quonet_qna16g_frame, kDisplayHelpFile, "Chassis_View"},
    {&quonet_qn64g_frame, kDisplayHelpFile, "Chassis_View"},
    {&ups_frame, kDisplayHelpFile, "Chassis_View"},
    {&ups_dam_frame, kDisplayHelpFile, "Chassis_View"},
    {&empty_frame, kDisplayHelpFile, "Chassis_View"},
    {&da_frame, kDisplayHelpFile, "Chassis_View"},
    {&da2_frame, kDisplayHelpFile, "Chassis_View"},
    {&node7U_frame, kDisplayHelpFile, "Chassis_View"},
    {&quartz_node_frame, kDisplayHelpFile, "Chassis_View"},
    {&cobalt_frame, kDisplayHelpFile, "Chassis_View"},
    {&garnet_frame, kDisplayHelpFile, "Chassis_View"},
    {&beryl_frame, kDisplayHelpFile, "Chassis_View"},
    {&ups2U_frame, kDisplayHelpFile, "Chassis_View"},
};

/* Gives every window of the table that exists now (and has no help yet)
 * its help.  Start-up calls it once the windows are built; the rack view
 * again after it builds a chassis view on first use. */
void register_window_help();

#endif
