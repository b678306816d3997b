/*
 * rack_cb.cpp - callbacks wired by the window builders: component toggles,
 * the function menu, the help menu, and the show/hide links.
 */
#include "app/rack_cb.h"

#include <cstdint>
#include <cstdio>

#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/layouts/rack_windows.h"
#include "app/rack_state.h"
#include "base/trace.h"
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

} // namespace

void cru_repl_cb(Widget w, XtPointer cru_spec, XtPointer)
{
    const int component = client_int(cru_spec);
    dprint(1, "Entering cru_repl_cb: cru_spec=0x%x\n", static_cast<unsigned>(component));
    /* The chosen FRU procedure runs here once the FRU procedures exist; the
     * toggle only marks the click and is released again. */
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
    Help("rackfru.help", "Rack_FRU_mgmt");
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
