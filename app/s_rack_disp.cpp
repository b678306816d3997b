/*
 * s_rack_disp.cpp - the command line, the refresh entry and the exit path.
 *
 * Holds the option parser and the icon-name helpers that main runs at
 * start-up (they set the process state of rack_state.h), the refresh
 * update_display() that main, the Update button and the FRU procedures call,
 * and the exit callbacks of the main window.
 */
#include "app/s_rack_disp.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "app/rack_query.h"
#include "app/rack_view.h"
#include "app/s_detail.h"
#include "base/console_path.h"
#include "base/process.h"
#include "base/trace.h"
#include "config/config.h"
#include "config/miscutil.h"
#include "config/read_config.h"
#include "ui/x_util.h"

namespace {

/* Title of the plain status display and of each FRU function. */
struct FunctionOption {
    int option;
    int fru_function;
    const char *title;
};

constexpr const char *kStatusTitle = "Cabinet Status";
constexpr FunctionOption kFunctionOptions[] = {
    {'F', REPLACE_CRU, "FRU Replacement"},
    {'P', CRU_PWR_ON, "FRU Power On"},
    {'p', CRU_PWR_OFF, "FRU Power Off"},
};

/* "+": options end at the first icon name, as the console's launcher
 * expects; getopt must not reorder the icon names. */
constexpr const char *kOptionString = "+FC:d:Pph:";

constexpr const char *kReadingStatusMsg = "Reading Cabinet Status Info    ";

} // namespace

/* Storage of the default configuration path that ConfigFilename points to. */
static std::string default_config_path;

static int leading_int(const char *text);
static void set_title(const char *title);
static void refresh_chassis_node_ids();

/* ------------------------------------------------------------------------ */

/* atoi without its undefined overflow: blanks, a sign and the leading digits
 * count; no digits give 0; values outside int are clamped. */
static int leading_int(const char *text)
{
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

static void set_title(const char *title)
{
    std::snprintf(widget_title, sizeof widget_title, "%s", title);
}

int parse_options(int argc, char **argv)
{
    debug = 0;
    xh_debug = 0;
    fru_replace_flag = NO_FRU_FUNCTION;
    set_title(kStatusTitle);
    default_config_path = console_path(DEFAULT_CONFIG_FILE);
    ConfigFilename = default_config_path.c_str();

    optind = 0; /* restart the scan from argv[1] */
    opterr = 0; /* unknown options get our own message only */
    int option;
    while ((option = getopt(argc, argv, kOptionString)) != -1) {
        switch (option) {
        case 'C':
            ConfigFilename = optarg;
            break;
        case 'd':
            debug = leading_int(optarg);
            break;
        case 'h':
            xh_debug = leading_int(optarg);
            break;
        case 'F':
        case 'P':
        case 'p':
            for (const FunctionOption &function : kFunctionOptions) {
                if (function.option == option) {
                    fru_replace_flag = function.fru_function;
                    set_title(function.title);
                }
            }
            break;
        default:
            std::printf("\nUnknown parameter\n");
            std::fflush(stdout);
            break;
        }
    }
    return optind;
}

int get_cabinet_id(const char *cabinet_name)
{
    if (cabinet_name == nullptr)
        return 0;
    std::size_t length = std::strlen(cabinet_name);
    const char *dash = std::strchr(cabinet_name, '-');
    const char *start;
    if (dash != nullptr)
        start = (dash - cabinet_name >= 3) ? dash - 3 : cabinet_name;
    else
        start = (length > 3) ? cabinet_name + length - 3 : cabinet_name;
    return leading_int(start);
}

int check_selected_icons(int argc, char **argv, int first)
{
    int cabinet = 0;
    int same = (first < argc) ? 1 : 0;
    for (int i = first; i < argc; ++i) {
        const char *digit = std::strpbrk(argv[i], "0123456789");
        if (digit == nullptr) {
            dprint(1, "check_selected_icons: %s names no cabinet\n", argv[i]);
            same = 0;
            break;
        }
        int number = leading_int(digit);
        if (i == first)
            cabinet = number;
        else if (number != cabinet)
            same = 0;
    }
    if (!same) {
        std::printf("Icons belong to different cabinet.\n");
        std::fflush(stdout);
        return 0;
    }
    std::printf("All icons belong to same cabinet\n");
    std::fflush(stdout);
    return cabinet;
}

int update_in_progress = 0;

void update_display(int show_work_dlg)
{
    struct InProgress {
        InProgress() { ++update_in_progress; }
        ~InProgress() { --update_in_progress; }
    } in_progress;

    /* 1. Let the operator see that the cabinet is being asked. */
    if (show_work_dlg) {
        UnHideWorkDialog();
        ChangeWorkDialogMsg(kReadingStatusMsg);
    }

    /* 2. A new status tree replaces the old one; a failed query shows the
     *    Unknown tree after its reason was reported, and a query that
     *    cannot be queued leaves nothing to show. */
    const int result = get_cabinet_status(CabinetID);
    if (result == STATUS_QUERY_NOT_BUFFERED) {
        ModalErrorDialog(nullptr, widget_title, "Error buffering command");
        Exit(1);
    } else if (result == STATUS_QUERY_FAILED) {
        const status_query_failure_t failure = status_query_failure();
        display_cmdcmplt_err(failure.answer, "read status", failure.length);
    }

    /* 3.-5. The rack, the chassis view and the detail box show it. */
    show_status_tree();

    /* 6. Done. */
    if (show_work_dlg)
        HideWorkDialog();
}

void display_cmdcmplt_err(const qmx_ecmdcmplt_t *event, const char *doing_what, std::size_t length)
{
    if (event != nullptr && length >= sizeof(qmx_ecmdcmplt_t))
        dprint(1, "display_cmdcmplt_err: bad cmdcomplete status=%d cabno=%d\n",
               static_cast<int>(event->get_cmd_status()), event->header.get_cabno());
    std::string text = cmdcmplt_err_text(event, doing_what, length);
    AddToWorkDialogMsg(text.c_str());
    ModalErrorDialog(nullptr, widget_title, text.c_str());
}

void show_status_tree()
{
    /* 3. The rack from the new tree. */
    build_rack_view();

    /* 4. The chassis the operator was looking at stays selected. */
    set_chassis_btn(current_chassis, 1);
    select_chassis_view(current_chassis);

    /* 5. The report, while it is shown. */
    if (DetailBoxUp)
        show_rack_detail();
}

/* The node behind every node chassis may have moved in the new node list;
 * other chassis have none. */
static void refresh_chassis_node_ids()
{
    for (int id = 1; id <= MAX_CHASSIS; ++id) {
        s_cab_chassis_rec &entry = chassis_rec[id];
        if (entry.complex_ptr != nullptr && entry.chassis_type == CHASSIS_NODE)
            entry.node_id = GetNodeListIndex(CabinetID, entry.complex_ptr->complex_id, entry.complex_ptr->complex_type);
        else
            entry.node_id = 0;
    }
}

void reread_config_file()
{
    dprint(5, "reread_config_file:\n");
    if (IsTestMode())
        return;

    /* An unchanged file is not read again; a file that cannot be looked at
     * is read all the same. */
    struct stat file_status;
    if (stat(ConfigFilename, &file_status) == 0) {
        dprint(5, "reread_config_file: mtime=%d prev mtime=%d\n", static_cast<int>(file_status.st_mtime),
               static_cast<int>(cfg_file_mtime));
        if (file_status.st_mtime == cfg_file_mtime)
            return;
        cfg_file_mtime = file_status.st_mtime;
    }

    int saved_debug = debug;
    if (debug != 0 && debug < 6)
        debug = 1;
    if (read_config_file(ConfigFilename) != 0)
        ModalErrorDialog(nullptr, widget_title, "Error reading configuration file.");
    get_host_types();
    debug = saved_debug;

    refresh_chassis_node_ids();
}

void clean_windows()
{
    if (realized_shell == nullptr)
        return;
    Widget shell = realized_shell;
    realized_shell = nullptr;
    XtUnrealizeWidget(shell);
    XFlush(XtDisplay(shell));
    sleep(1);
    XtDestroyWidget(shell);
}

void exit_callback(Widget, XtPointer, XtPointer)
{
    clean_windows();
    Exit(0);
}

void ErrorCallback(Widget, XtPointer, XtPointer)
{
    clean_windows();
    Exit(1);
}

void update_callback(Widget, XtPointer, XtPointer)
{
    update_display(1);
}
