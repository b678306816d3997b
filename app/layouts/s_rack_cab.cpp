/*
 * s_rack_cab.cpp - the cabinet window (rack_cabstat_dlg): menu bar, the rack
 * on the left (cab_lbl over the row-column cab_rc that the rack view fills),
 * a divider, and on the right chassis_lbl over the chassis view windows.
 * Only the empty view is built here; the rack view builds every other
 * chassis window (builtin_windows.h and the generated ones) the first time
 * a chassis of its kind is selected.
 *
 * Called once by start-up.
 */
#include <cstdint>

#include <Xm/CascadeB.h>
#include <Xm/Form.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/ScrolledW.h>
#include <Xm/Separator.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/layouts/builtin_windows.h"
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_cb.h"
#include "app/s_detail.h"
#include "app/s_rack_disp.h"
#include "base/motif_str.h"

Widget rack_cabstat_dlg, s_rack_main_form, menu_bar, s_rack_main_scroll, scrolled_form;
Widget cab_rc, cab_lbl, chassis_lbl, rack_divider;
Widget file_menu, exit_btn, view_menu, reload_btn, detail_btn;
Widget function_btn, function_menu, btn_replace, btn_power_on, btn_power_off;
Widget help_menu, key_btn, contents_btn;
Widget smp_frame, sm_frame, sm2u_frame, quonet_frame, quonet_qna16g_frame, quonet_qn64g_frame;
Widget ups_frame, ups_dam_frame, empty_frame;

namespace {

constexpr Dimension RACK_MIN_WIDTH = 160;
/* Size of the scrolled area until the rack view fits the window to its
 * content: room for the rack and a chassis window beside it. */
constexpr Dimension INITIAL_WIDTH = 900;
constexpr Dimension INITIAL_HEIGHT = 600;

XtPointer as_client_data(int value)
{
    return reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(value));
}

/* A pulldown menu with its cascade button in the menu bar. */
Widget pulldown(const char *menu_name, const char *cascade_name, const char *title, char mnemonic,
                Widget *cascade_out = nullptr)
{
    Widget menu = XmCreatePulldownMenu(menu_bar, xs(menu_name), nullptr, 0);
    XmString label = XmStringCreateLocalized(xs(title));
    Widget cascade = XtVaCreateManagedWidget(cascade_name, xmCascadeButtonWidgetClass, menu_bar, XmNsubMenuId,
                                             menu, XmNlabelString, label, XmNmnemonic, mnemonic, nullptr);
    XmStringFree(label);
    if (cascade_out != nullptr)
        *cascade_out = cascade;
    return menu;
}

Widget menu_entry(Widget menu, const char *name, const char *title, XtCallbackProc callback)
{
    XmString label = XmStringCreateLocalized(xs(title));
    Widget w = XtVaCreateManagedWidget(name, xmPushButtonWidgetClass, menu, XmNlabelString, label, nullptr);
    XmStringFree(label);
    if (callback != nullptr)
        XtAddCallback(w, XmNactivateCallback, callback, nullptr);
    return w;
}

Widget function_entry(const char *name, const char *title, int function)
{
    XmString label = XmStringCreateLocalized(xs(title));
    Widget w = XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, function_menu, XmNlabelString, label,
                                       XmNindicatorType, XmONE_OF_MANY, nullptr);
    XmStringFree(label);
    XtAddCallback(w, XmNvalueChangedCallback, function_select_cb, as_client_data(function));
    return w;
}

/* 1. Menu bar: File, View, Function, Help (at the right end). */
void build_menu_bar()
{
    menu_bar = XmCreateMenuBar(s_rack_main_form, xs("menu_bar"), nullptr, 0);
    XtVaSetValues(menu_bar, XmNtopAttachment, XmATTACH_FORM, XmNleftAttachment, XmATTACH_FORM,
                  XmNrightAttachment, XmATTACH_FORM, nullptr);

    file_menu = pulldown("file_menu", "file_cascade", "File", 'F');
    exit_btn = menu_entry(file_menu, "exit_btn", "Exit", exit_callback);

    view_menu = pulldown("view_menu", "view_cascade", "View", 'V');
    reload_btn = menu_entry(view_menu, "reload_btn", "Reload", update_callback);
    detail_btn = menu_entry(view_menu, "detail_btn", "Show Detail", detail_callback);

    function_menu = pulldown("function_menu", "function_btn", "Function", 'u', &function_btn);
    XtVaSetValues(function_menu, XmNradioBehavior, True, XmNradioAlwaysOne, False, nullptr);
    btn_replace = function_entry("btn_replace", "FRU Replace", REPLACE_CRU);
    btn_power_on = function_entry("btn_power_on", "FRU Power On", CRU_PWR_ON);
    btn_power_off = function_entry("btn_power_off", "FRU Power Off", CRU_PWR_OFF);

    Widget help_cascade = nullptr;
    help_menu = pulldown("help_menu", "help_cascade", "Help", 'H', &help_cascade);
    key_btn = menu_entry(help_menu, "key_btn", "Symbol Key", help_key_callback);
    contents_btn = menu_entry(help_menu, "contents_btn", "Contents", rackcruhelp);
    XtVaSetValues(menu_bar, XmNmenuHelpWidget, help_cascade, nullptr);
    XtManageChild(menu_bar);
}

/* 2. The scrolled work area with the rack, the divider and the labels. */
void build_rack_area()
{
    s_rack_main_scroll = XtVaCreateManagedWidget(
        "s_rack_main_scroll", xmScrolledWindowWidgetClass, s_rack_main_form, XmNscrollingPolicy, XmAUTOMATIC,
        XmNwidth, INITIAL_WIDTH, XmNheight, INITIAL_HEIGHT,
        XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, menu_bar, XmNleftAttachment, XmATTACH_FORM,
        XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM, nullptr);
    scrolled_form = XtVaCreateManagedWidget("scrolled_form", xmFormWidgetClass, s_rack_main_scroll, nullptr);

    cab_lbl = lk::text_label(scrolled_form, "cab_lbl", "Cabinet 1");
    lk::place(cab_lbl, nullptr, nullptr, 4);
    /* The rack starts empty: its width keeps the divider clear of cab_lbl
     * until the rack view fills it. */
    cab_rc = XtVaCreateManagedWidget("cab_rc", xmRowColumnWidgetClass, scrolled_form, XmNorientation,
                                     XmVERTICAL, XmNpacking, XmPACK_TIGHT, XmNspacing, 2, XmNwidth,
                                     RACK_MIN_WIDTH, XmNheight, 40, nullptr);
    lk::place(cab_rc, cab_lbl, nullptr, 4);

    rack_divider = XtVaCreateManagedWidget(
        "rack_divider", xmSeparatorWidgetClass, scrolled_form, XmNorientation, XmVERTICAL, XmNseparatorType,
        XmSHADOW_ETCHED_IN, XmNtopAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_FORM,
        XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, cab_rc, XmNleftOffset, 4, nullptr);

    chassis_lbl = lk::text_label(scrolled_form, "chassis_lbl", "Chassis SMP 1");
    lk::place(chassis_lbl, nullptr, rack_divider, 4);
}

/* 3. The empty view, placed below chassis_lbl right of the divider; it is
 *    shown until a chassis is chosen. */
void build_empty_view()
{
    empty_frame = build_empty_window(scrolled_form);
    attach_chassis_window(empty_frame);
}

} // namespace

void attach_chassis_window(Widget frame)
{
    XtVaSetValues(frame, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, chassis_lbl, XmNtopOffset, 0,
                  XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, 3, XmNleftAttachment, XmATTACH_WIDGET,
                  XmNleftWidget, rack_divider, XmNleftOffset, 2, nullptr);
}

Widget create_rack_cabstat_dlg(Display *display, const char *name, int argc, char **argv, const char *title)
{
    rack_cabstat_dlg = XtVaAppCreateShell(name, "Xrackmon", applicationShellWidgetClass, display, XmNtitle,
                                          title, XmNargc, argc, XmNargv, argv, XmNallowShellResize, True,
                                          nullptr);
    s_rack_main_form = XtVaCreateManagedWidget("s_rack_main_form", xmFormWidgetClass, rack_cabstat_dlg, nullptr);
    build_menu_bar();
    build_rack_area();
    build_empty_view();
    return rack_cabstat_dlg;
}
