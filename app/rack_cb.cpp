/*
 * rack_cb.cpp - callbacks wired by the window builders: component toggles,
 * the function menu, the help menu, and the show/hide links.
 */
#include "app/rack_cb.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/chassis_table.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_state.h"
#include "base/console_path.h"
#include "base/process.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "fru/rack_fru.h"
#include "help/help.h"
#include "ui/x_util.h"

namespace {

struct FunctionTitle {
    int func;
    const char *title;
};

constexpr FunctionTitle FUNCTION_TITLES[] = {
    {REPLACE_CRU, "FRU Replacement"},
    {CRU_PWR_ON, "FRU Power On"},
    {CRU_PWR_OFF, "FRU Power Off"},
};

int client_int(XtPointer data)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(data));
}

void set_shell_title(Widget w, const char *title)
{
    if (w != nullptr)
        XtVaSetValues(w, XmNtitle, title, nullptr);
}

/* cru_spec of the parts that have no FRU function. */
constexpr int kNoFruFunction = 0xFFFF;

/* Parts that are replaced as a piece of a bigger board on an interconnect
 * chassis: the click is turned into the replacement of that board, once
 * the operator agrees. */
struct Redirect {
    int kind;         /* the part clicked */
    int replaced_as;  /* the kind whose procedure runs */
    const char *question;
};

constexpr Redirect REDIRECTS[] = {
    {0x0C00, 0x0C00,
     "The Fuse Monitor replacement is a part of the Power Control Board \nIf you want to replace the Fuse Monitor "
     ",\nyou must replace the whole Power Control Board\n\nPress OK to do that"},
    {0x0D00, 0x0200,
     "The Power Supply Fan replacement is a part of\nthe Power Supply replacement. If you want to replace the Power "
     "Supply Fan , \nyou must do the associated Power Supply replacement\n\nPress OK to do that."},
    {0x0E00, 0x0A00,
     "The DC-DC Converter replacement is a part of the Quonet Switch Board \nIf you want to replacce the DC-DC "
     "Converter,\nyou must replace the associated Quonet Switch Board\n\nPress OK to do that"},
};

bool interconnect_chassis(int chassis_id)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return false;
    const int type = chassis_rec[chassis_id].chassis_type;
    return type == CHASSIS_QNA || type == CHASSIS_QNB;
}

} // namespace

void cru_repl_cb(Widget w, XtPointer cru_spec, XtPointer)
{
    const int component = client_int(cru_spec);
    dprint(1, "Entering cru_repl_cb: cru_spec=0x%x\n", static_cast<unsigned>(component));
    const int kind = component & 0xFF00;
    const int unit_number = component & 0xFF;

    /* Without a FRU function (the plain status display), or on a part that
     * has none (memory strips, 0xFFFF), there is no procedure to start. */
    if (fru_replace_flag == NO_FRU_FUNCTION || component == kNoFruFunction) {
        XmToggleButtonSetState(w, False, False);
        return;
    }
    const Redirect *redirect = nullptr;
    for (const Redirect &entry : REDIRECTS)
        if (entry.kind == kind)
            redirect = &entry;
    if (redirect == nullptr) {
        rack_fru_function(kind, unit_number, current_chassis);
    } else if (interconnect_chassis(current_chassis) &&
               ModalVerifyDialog(nullptr, widget_title, redirect->question, DIALOG_INFORMATION, kFirmwareHelpTopic)) {
        rack_fru_function(redirect->replaced_as, unit_number, current_chassis);
    }
    XmToggleButtonSetState(w, False, False);
}

void function_select_cb(Widget, XtPointer func, XtPointer call_data)
{
    const auto *cb = static_cast<XmToggleButtonCallbackStruct *>(call_data);
    if (cb != nullptr && !cb->set)
        return;
    const int function = client_int(func);
    for (const FunctionTitle &entry : FUNCTION_TITLES) {
        if (entry.func != function)
            continue;
        std::snprintf(widget_title, sizeof widget_title, "%s - Cab%03d", entry.title, CabinetID);
        set_shell_title(rack_cabstat_dlg, widget_title);
        if (WorkDialog != nullptr)
            set_shell_title(XtIsShell(WorkDialog) ? WorkDialog : XtParent(WorkDialog), widget_title);
        fru_replace_flag = function;
        return;
    }
}

void help_key_callback(Widget, XtPointer, XtPointer)
{
    if (s_key_form != nullptr)
        XtManageChild(s_key_form);
}

void rackcruhelp(Widget w, XtPointer, XtPointer)
{
    xh_Toplevel = w;
    Help(kContentsHelpFile, kContentsHelpTopic);
}

void XDmanage_link(Widget, XtPointer target, XtPointer)
{
    Widget *w = static_cast<Widget *>(target);
    if (w != nullptr && *w != nullptr)
        XtManageChild(*w);
}

void XDunmanage_link(Widget, XtPointer target, XtPointer)
{
    Widget *w = static_cast<Widget *>(target);
    if (w != nullptr && *w != nullptr)
        XtUnmanageChild(*w);
}

int overwrite_bootptab(const char *name)
{
    constexpr const char *kBootTable = "/usr/boot/cmic/bootptab";
    constexpr const char *kBootTableTool = "/usr/boot/cmic/xcmicbootp";
    constexpr int kAttempts = 3;

    /* In test mode the entry of a real installation is left alone: the
     * operator only sees the command that would run. */
    if (IsTestMode()) {
        std::string shown = std::string(kBootTableTool) + " -n " + name + " -p";
        ModalInfoDialog(nullptr, widget_title, shown.c_str());
        return 1;
    }
    const std::string command = console_path(kBootTableTool) + " -n " + name + " -p";
    dprint(3, "overwrite_bootptab: %s\n", command.c_str());
    int error = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (std::system(command.c_str()) != -1)
            return 1;
        error = errno;
        if (error == EAGAIN)
            scaled_sleep_ms(1000);
        else if (error != EINTR)
            break;
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  error == ENOMEM ? "Not enough memory to update file %s\n" : "Error, unable to update file %s\n",
                  kBootTable);
    ModalErrorDialog(nullptr, widget_title, text);
    return 0;
}
