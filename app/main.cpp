/*
 * main.cpp - start-up of xrackmon and the toolkit's main loop.
 *
 * The console's desktop starts the program with the icon names of one
 * cabinet (and an option choosing a FRU function); start-up opens the
 * display under the class "Xrackmon", works out the cabinet from the icon
 * names, puts up the work dialog and sets up the signals, then leaves
 * everything else to the callbacks run by the main loop.  Invoked under a
 * name containing "rack_test" it runs in test mode (see base/process.h).
 */
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include <X11/Intrinsic.h>

#include <Xm/ToggleB.h>

#include "app/auto_refresh.h"
#include "app/cabstat_common.h"
#include "app/help_contexts.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_view.h"
#include "app/s_get_colors.h"
#include "app/s_detail.h"
#include "app/s_rack_disp.h"
#include "app/signal.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/process.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "config/config.h"
#include "config/miscutil.h"
#include "config/read_config.h"
#include "engine/env_cmd.h"
#include "engine/env_regs.h"
#include "engine/send_env.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "ui/x_util.h"

constexpr const char *kAppClass = "Xrackmon";
constexpr const char *kReadingConfigMsg = "Reading configuration file     ";
constexpr const char *kSettingUpMsg = "Setting up cabinet display     ";
constexpr const char *kNoIconMsg = "A cabinet icon must be selected.";
constexpr const char *kMixedIconsMsg = "Selected icons should belong to same cabinet.";
constexpr const char *kReadingStatusMsg = "Reading Cabinet Status Info    ";
constexpr const char *kFruIconFile = CONSOLE_ICONS "/cru_repl.icon";
constexpr const char *kStatusIconFile = CONSOLE_ICONS "/CABSTAT.icon";
constexpr std::size_t kTimeStampSize = 80;
constexpr const char *kHelpContextName = "rack_fru";
constexpr const char *kHelpKey = "F1";

/* The toolkit accepts any unique abbreviation of its own options, so it
 * would take "-d 1" for "-display 1".  Naming the program's options that
 * take a value makes the toolkit leave them, and their values, in argv for
 * parse_options. */
static XrmOptionDescRec program_options[] = {
    {xs("-d"), nullptr, XrmoptionSkipArg, nullptr},
    {xs("-h"), nullptr, XrmoptionSkipArg, nullptr},
    {xs("-C"), nullptr, XrmoptionSkipArg, nullptr},
};

static void open_display(int *argc, char **argv);
static void print_invocation(int argc, char **argv);
static void select_cabinet(int argc, char **argv, int first_icon);
static void append_cabinet_to_title();
static void read_configuration();
static void build_windows(int argc, char **argv);
static void show_fru_function();
static void label_cabinet();

/* ------------------------------------------------------------------------ */

/* Step 2: the toolkit, the application shell and its context.  A missing
 * display or screen is only traced; the toolkit itself stops the program
 * when it cannot open the display at all. */
static void open_display(int *argc, char **argv)
{
    XtSetLanguageProc(nullptr, nullptr, nullptr);
    Toplevel = XtInitialize(argv[0], kAppClass, program_options, XtNumber(program_options), argc, argv);
    Display *display = Toplevel != nullptr ? XtDisplay(Toplevel) : nullptr;
    if (display == nullptr)
        dprint(3, "Can NOT grab the display at the MAIN level!\n");
    if (Toplevel == nullptr || XtScreen(Toplevel) == nullptr)
        dprint(3, "Can NOT grab the screen at the MAIN level!\n");
    if (display != nullptr)
        app_context = XtDisplayToApplicationContext(display);
}

/* Step 5: the command line and the time it was run, for the debug log. */
static void print_invocation(int argc, char **argv)
{
    for (int i = 0; i < argc; ++i)
        std::printf(i == 0 ? "%s" : " %s", argv[i]);
    char stamp[kTimeStampSize];
    TimeStamp(stamp, sizeof stamp);
    std::printf("\n%s\n\n", stamp);
    std::fflush(stdout);
}

/* Step 6: the cabinet the icon names select; a missing icon or icons of
 * several cabinets end the program after telling the operator. */
static void select_cabinet(int argc, char **argv, int first_icon)
{
    int icons = argc - first_icon;
    if (icons <= 0) {
        ModalErrorDialog(nullptr, widget_title, kNoIconMsg);
        Exit(1);
    }
    if (icons == 1) {
        CabinetID = get_cabinet_id(argv[first_icon]);
        return;
    }
    CabinetID = check_selected_icons(argc, argv, first_icon);
    if (CabinetID == 0) {
        ModalErrorDialog(nullptr, widget_title, kMixedIconsMsg);
        Exit(1);
    }
}

/* Step 7: "Cabinet Status" becomes "Cabinet Status - Cab003". */
static void append_cabinet_to_title()
{
    std::size_t used = std::strlen(widget_title);
    std::snprintf(widget_title + used, sizeof widget_title - used, " - Cab%03d", CabinetID);
}

/* Step 8: the configuration file, read quietly unless the debug level asks
 * for the parser's own traces; a file that cannot be read is reported and
 * start-up goes on with what was read. */
static void read_configuration()
{
    struct stat file_status;
    if (stat(ConfigFilename, &file_status) == 0)
        cfg_file_mtime = file_status.st_mtime;
    int saved_debug = debug;
    if (debug < 6)
        debug = 0;
    int failed = read_config_file(ConfigFilename);
    debug = saved_debug;
    if (failed != 0)
        error_routine(NXP_CONFIG_READ_FAILED, CabinetID);
    get_host_types();
    HostType = get_cabinet_host_type(CabinetID);
    if (HostType == -1)
        HostType = 0;
}

/* Step 10: every window is built once; from here on the cabinet window is
 * the parent of every dialog. */
static void build_windows(int argc, char **argv)
{
    create_rack_cabstat_dlg(XtDisplay(Toplevel), argv[0], argc, argv, widget_title);
    initialize_chassis_views();
    Toplevel = rack_cabstat_dlg;
    create_s_key_shell(rack_cabstat_dlg);
    create_DetailBox(rack_cabstat_dlg);
}

/* Step 11: the function chosen on the command line is preselected; without
 * one the function menu cannot be used. */
static void show_fru_function()
{
    Widget chosen = fru_replace_flag == REPLACE_CRU   ? btn_replace
                    : fru_replace_flag == CRU_PWR_ON  ? btn_power_on
                    : fru_replace_flag == CRU_PWR_OFF ? btn_power_off
                                                      : nullptr;
    if (chosen != nullptr)
        XmToggleButtonSetState(chosen, True, False);
    XtSetSensitive(function_btn, chosen != nullptr);
}

/* Steps 14 and 15: the cabinet's labels and the window's icon.  The detail
 * box's title is painted here too, with the other title-coloured labels:
 * the title colours exist only once get_colors() has read the status key. */
static void label_cabinet()
{
    show_text("Cabinet Status", STATUS_TITLE, s_detail_title);

    char text[64];
    std::snprintf(text, sizeof text, "Cabinet %d\n", CabinetID);
    show_text(text, STATUS_TITLE, cab_lbl);
    std::snprintf(text, sizeof text, "(Cab%03d)", CabinetID);
    show_text(text, STATUS_TITLE, s_detail_cab_label);

    char icon_name[64];
    if (fru_replace_flag != NO_FRU_FUNCTION) {
        std::snprintf(icon_name, sizeof icon_name, "FRU Mgmt\nCab%03d", CabinetID);
        SetProgramsIcon(Toplevel, kFruIconFile, icon_name);
    } else {
        std::snprintf(icon_name, sizeof icon_name, "CabStatus\nCab%03d", CabinetID);
        SetProgramsIcon(Toplevel, kStatusIconFile, icon_name);
    }
}

int main(int argc, char **argv)
{
    /* 1. Process state before anything can use it. */
    _argc = argc;
    _argv = argv;
    no_verify_timeout = 1;
    realized_shell = nullptr;
    verify_timeout_release = close_all_ports;
    engine_ui = {FreshenWindow, IsWorkDialog, AddToWorkDialogMsg,
                 [](const char *text) { ModalErrorDialog(Toplevel, widget_title, text); },
                 [](const char *text, const char *help_tag) {
                     return ModalVerifyDialog(Toplevel, widget_title, text, DIALOG_QUESTION, help_tag);
                 }};

    /* 2. Display and application shell.  The toolkit removes the X options
     *    it consumed from argv, so the copy of argc follows. */
    open_display(&argc, argv);
    _argc = argc;
    const int refresh_seconds = Toplevel != nullptr ? refresh_interval_resource(Toplevel) : 0;

    /* 3. The help system, its help key F1 with any modifiers. */
    InitHelp(kHelpContextName, Toplevel, kHelpKey, AnyModifier);

    /* 4. Options. */
    int first_icon = parse_options(argc, argv);

    /* 5. Debug log header. */
    if (debug != 0)
        print_invocation(argc, argv);

    /* 6. The cabinet. */
    select_cabinet(argc, argv, first_icon);

    /* 7. Title and work dialog. */
    append_cabinet_to_title();
    StartWorkDialog(Toplevel, widget_title, kReadingConfigMsg);

    /* 8. Signals and the configuration (not in test mode). */
    nxp_fatal_dialog = [](const char *text) { ModalErrorDialog(Toplevel, widget_title, text); };
    if (!IsTestMode()) {
        SetSignals();
        read_configuration();
    } else {
        HostType = 0;
    }

    /* 9. The operator sees the display being set up. */
    AddToWorkDialogMsg(kSettingUpMsg);
    dprint(1, "%s %d %d\n", argv[first_icon], CabinetID, HostType);

    /* 10.-13. Windows, the preselected function, the fan help frames of
     *    the status key, and the status colours read from the key. */
    build_windows(argc, argv);
    register_window_help();
    show_fru_function();
    XtUnmanageChild(hlp_fann_frm);
    XtUnmanageChild(hlp_fanb_frm);
    XtUnmanageChild(hlp_fanf_frm);
    get_colors();

    /* 14.-15. */
    label_cabinet();

    /* 16. The first status query. */
    AddToWorkDialogMsg(kReadingStatusMsg);
    current_chassis = 1;
    update_display(0);

    /* 17. On screen. */
    XtRealizeWidget(rack_cabstat_dlg);
    SetRealizedShell(rack_cabstat_dlg);
    xh_Toplevel = rack_cabstat_dlg;
    adjust_rack_window_size();
    FreshenWindow();
    HideWorkDialog();
    if (refresh_seconds > 0) {
        dprint(1, "auto_refresh: every %d seconds\n", refresh_seconds);
        start_auto_refresh(app_context, scaled_ms(refresh_seconds * 1000L));
    }

    /* 18. From here on everything happens in callbacks. */
    XtAppMainLoop(app_context);
    Exit(0);
}
