/*
 * s_help.cpp - the status key window (s_key_shell, "Cabinet Status Key"):
 * one row per symbol, its picture and what it means.
 *
 * The pictures of the key are drawn in the colours of their widgets, which
 * come from X resources (app-defaults file Xrackmon); get_colors() then
 * reads the colour table of the whole display from these widgets, so the
 * key always shows exactly the colours the display uses.  Rows whose
 * symbol has no colour scheme of its own (firmware, unrecognised, no
 * communication, temperatures, charge, fast) copy the colours of the
 * scheme they are painted in.  Every symbol a chassis view draws has a row:
 * where a view draws a status in two sizes, the row shows both.  Built once
 * by start-up; Help -> Symbol Key shows it, Close hides it.
 */
#include <vector>

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/Separator.h>
#include <Xm/Xm.h>

#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_cb.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "ui/picture_cache.h"

Widget s_key_shell, s_key_form, s_key_close_btn;
Widget s_disabled, s_OK, s_not_OK, s_not_pres, s_warn, s_unknown;
Widget s_cflt, s_unrecognized, s_nocomm;
Widget s_led_off, s_led_on, s_cable, s_bat_ok, s_bat_bad, s_bat_low;
Widget s_fan_normal, s_fan_hfast, s_fan_fast, hlp_fann_frm, hlp_fanb_frm, hlp_fanf_frm;
Widget s_cool, s_warm, s_hot;
Widget s_present, s_fast, s_charged, s_charging, s_unused;

namespace {

constexpr Dimension SYMBOL_WIDTH = 72;
constexpr Dimension SYMBOL_HEIGHT = 24;
constexpr Dimension SMALL_SYMBOL_WIDTH = 20;

struct KeyRow {
    Widget *symbol;
    const char *name;
    const char *picture;    /* file in the icon folder; null: a colour swatch */
    const char *small;      /* the small form a view may draw instead, or null */
    const char *text;
    Widget *colour_source;  /* null: the symbol's own resources */
    Widget *row_frame;      /* fan rows sit in frames that start-up hides */
    const char *frame_name;
};

const KeyRow KEY_ROWS[] = {
    {&s_disabled, "s_disabled", "STAT.nopwr", "ss_nopwr.indic", "\nComponent disabled  (Powered Off).", nullptr,
     nullptr, nullptr},
    {&s_OK, "s_OK", "STAT.powered", "ss_pwr.indic", "\nComponent Powered On and OK.", nullptr, nullptr, nullptr},
    {&s_present, "s_present", "STAT.none", nullptr, "Component present.  It does not report\na status of its own.",
     &s_OK, nullptr, nullptr},
    {&s_not_OK, "s_not_OK", "STAT.bad", "ss_error.indic", "\nComponent Fault detected. ", nullptr, nullptr, nullptr},
    {&s_not_pres, "s_not_pres", "STAT.nopwr", "ss_nopwr.indic",
     "Component not present.\n(Not detected for all component types.)", nullptr, nullptr, nullptr},
    {&s_warn, "s_warn", "STAT.warn", "ss_warn.indic", "Component warning, or voltage\nout of tolerance.", nullptr,
     nullptr, nullptr},
    {&s_cflt, "s_cflt", "STAT.cflt", nullptr,
     "The management board for the chassis does not\nhave the correct FW loaded or it is in the process\nof being "
     "flashed.",
     &s_warn, nullptr, nullptr},
    {&s_unrecognized, "s_unrecognized", "STAT.unrecognized", nullptr,
     "The component has returned an unrecognized\nstatus.", &s_warn, nullptr, nullptr},
    {&s_unknown, "s_unknown", "STAT.unkn", "ss_unkn.indic",
     "Status of the component is not known. This may\nresult from a problem in the management subsystem.",
     nullptr, nullptr, nullptr},
    {&s_nocomm, "s_nocomm", "ss_nocomm.indic", nullptr,
     "We cannot communicate with a component that\nis needed to obtain status info.", &s_unknown, nullptr,
     nullptr},
    {&s_led_off, "s_led_off", "LED.off", nullptr, "LED off.", nullptr, nullptr, nullptr},
    {&s_led_on, "s_led_on", "LED.on", nullptr, "LED on.  Other colors may be shown.", nullptr, nullptr, nullptr},
    {&s_cable, "s_cable", "HCB.cru", nullptr,
     "Some components such as this cable board do not\nreturn a status and are only shown for\nidentification.  ",
     nullptr, nullptr, nullptr},
    {&s_bat_ok, "s_bat_ok", "BAT.good", nullptr, "\nBattery fully charged.", nullptr, nullptr, nullptr},
    {&s_bat_bad, "s_bat_bad", "BAT.dead", nullptr, "\nBattery below minimim voltage or not present.  ", nullptr,
     nullptr, nullptr},
    {&s_bat_low, "s_bat_low", "BAT.low", nullptr, "\nBattery not fully charged or not present.", nullptr, nullptr,
     nullptr},
    {&s_charged, "s_charged", "STAT.fullcharge", nullptr, "Battery charged: resting or on\nfloat charge.", &s_OK,
     nullptr, nullptr},
    {&s_charging, "s_charging", "STAT.partcharge", nullptr, "\nBattery charging or discharging.", &s_warn, nullptr,
     nullptr},
    {&s_fan_normal, "s_fan_normal", "FAN.normal", nullptr, "\nFans running normal speed.", nullptr, &hlp_fann_frm,
     "hlp_fann_frm"},
    {&s_fan_hfast, "s_fan_hfast", "FAN.hfast", nullptr, "One Fan running Fast, other\nprobably failed.", nullptr,
     &hlp_fanb_frm, "hlp_fanb_frm"},
    {&s_fan_fast, "s_fan_fast", "FAN.fast", nullptr, "Both Fans running Fast.\nCabinet hot or other fan(s)\ndisabled.",
     nullptr, &hlp_fanf_frm, "hlp_fanf_frm"},
    {&s_fast, "s_fast", "STAT.fast", nullptr, "\nFan running fast.", &s_fan_fast, nullptr, nullptr},
    {&s_unused, "s_unused", "STAT.none", nullptr,
     "Nothing to show: an unused slot, or a board that\nreports no status of its own.", &s_key_form, nullptr,
     nullptr},
    {&s_cool, "s_cool", "STAT.cool", nullptr, "\nTemperature normal.", &s_OK, nullptr, nullptr},
    {&s_warm, "s_warm", "STAT.warm", nullptr,
     "Temperature has reached warning level.\nNot all chassis can report this.", &s_warn, nullptr, nullptr},
    {&s_hot, "s_hot", "STAT.hot", nullptr,
     "Temperature has reached critical level.\nMost chassis shut down when this state is reached.", &s_not_OK,
     nullptr, nullptr},
};

/* The symbol of one row: the picture drawn in the symbol's colours. */
Widget make_symbol(Widget row, const KeyRow &key)
{
    Widget w = XtVaCreateManagedWidget(key.name, xmLabelWidgetClass, row, XmNrecomputeSize, False, XmNwidth,
                                       SYMBOL_WIDTH, XmNheight, SYMBOL_HEIGHT, XmNalignment, XmALIGNMENT_CENTER,
                                       nullptr);
    if (key.colour_source != nullptr && *key.colour_source != nullptr) {
        Pixel fg = 0, bg = 0;
        XtVaGetValues(*key.colour_source, XmNforeground, &fg, XmNbackground, &bg, nullptr);
        XtVaSetValues(w, XmNforeground, fg, XmNbackground, bg, nullptr);
    }
    if (key.picture == nullptr) {
        XmString blank = XmStringCreateLocalized(xs(""));
        XtVaSetValues(w, XmNlabelString, blank, nullptr);
        XmStringFree(blank);
        return w;
    }
    Pixel fg = 0, bg = 0;
    XtVaGetValues(w, XmNforeground, &fg, XmNbackground, &bg, nullptr);
    const std::string path = console_path(std::string(lk::ICON_DIR) + key.picture);
    XtVaSetValues(w, XmNlabelType, XmPIXMAP, XmNlabelPixmap,
                  GetPicturePixmap(XtScreen(w), path.c_str(), fg, bg), nullptr);
    if (key.small != nullptr) {
        /* The small form beside it, in the same colours. */
        const std::string small_path = console_path(std::string(lk::ICON_DIR) + key.small);
        const std::string name = std::string(key.name) + "_small";
        XtVaCreateManagedWidget(name.c_str(), xmLabelWidgetClass, row, XmNlabelType, XmPIXMAP, XmNforeground, fg,
                                XmNbackground, bg, XmNlabelPixmap,
                                GetPicturePixmap(XtScreen(w), small_path.c_str(), fg, bg), XmNwidth, SMALL_SYMBOL_WIDTH,
                                XmNheight, SYMBOL_HEIGHT, XmNrecomputeSize, False, nullptr);
    } else {
        /* Keeps the texts of all rows in one column. */
        XtVaCreateManagedWidget("key_gap", xmLabelWidgetClass, row, XmNlabelType, XmPIXMAP, XmNwidth,
                                SMALL_SYMBOL_WIDTH, XmNheight, SYMBOL_HEIGHT, XmNrecomputeSize, False, nullptr);
    }
    return w;
}

/* One row of the key, built unmanaged: returns the child of `rows` to
 * manage (the row, or the frame holding it). */
Widget make_row(Widget rows, const KeyRow &key)
{
    Widget parent = rows;
    if (key.row_frame != nullptr) {
        *key.row_frame = XtVaCreateWidget(key.frame_name, xmFrameWidgetClass, rows, XmNshadowThickness, 0, nullptr);
        parent = *key.row_frame;
    }
    Widget row = XtVaCreateWidget("key_row", xmRowColumnWidgetClass, parent, XmNorientation, XmHORIZONTAL,
                                  XmNpacking, XmPACK_TIGHT, XmNentryVerticalAlignment, XmALIGNMENT_CENTER,
                                  XmNisAligned, False, XmNmarginHeight, 1, XmNspacing, 8, nullptr);
    *key.symbol = make_symbol(row, key);
    Widget text = lk::text_label(row, "key_text", key.text);
    XtVaSetValues(text, XmNalignment, XmALIGNMENT_BEGINNING, nullptr);
    if (parent == rows)
        return row;
    XtManageChild(row);
    return parent;
}

} // namespace

Widget create_s_key_shell(Widget parent)
{
    s_key_shell = XtVaCreatePopupShell("s_key_shell", xmDialogShellWidgetClass, parent, XmNtitle,
                                       "Cabinet Status Key", XmNdeleteResponse, XmUNMAP, XmNallowShellResize, True,
                                       nullptr);
    s_key_form = XtVaCreateWidget("s_key_form", xmFormWidgetClass, s_key_shell, XmNautoUnmanage, False,
                                  XmNmarginWidth, 8, XmNmarginHeight, 8, nullptr);

    /* Every widget is built before its parent lays it out: each one added
     * to a managed row column would lay the whole column out again. */
    Widget rows = XtVaCreateWidget("key_rows", xmRowColumnWidgetClass, s_key_form, XmNorientation, XmVERTICAL,
                                   XmNpacking, XmPACK_TIGHT, XmNspacing, 2, nullptr);
    lk::place(rows, nullptr, nullptr, 0);
    XtVaSetValues(rows, XmNrightAttachment, XmATTACH_FORM, nullptr);
    std::vector<Widget> built;
    for (const KeyRow &key : KEY_ROWS)
        built.push_back(make_row(rows, key));
    XtManageChildren(built.data(), static_cast<Cardinal>(built.size()));
    XtManageChild(rows);

    Widget line = XtVaCreateManagedWidget("key_separator", xmSeparatorWidgetClass, s_key_form, XmNleftAttachment,
                                          XmATTACH_FORM, XmNrightAttachment, XmATTACH_FORM, XmNtopAttachment,
                                          XmATTACH_WIDGET, XmNtopWidget, rows, XmNtopOffset, 6, nullptr);
    XmString close = XmStringCreateLocalized(xs("Close"));
    s_key_close_btn = XtVaCreateManagedWidget(
        "s_key_close_btn", xmPushButtonWidgetClass, s_key_form, XmNlabelString, close, XmNtopAttachment,
        XmATTACH_WIDGET, XmNtopWidget, line, XmNtopOffset, 6, XmNleftAttachment, XmATTACH_POSITION,
        XmNleftPosition, 40, XmNrightAttachment, XmATTACH_POSITION, XmNrightPosition, 60, XmNbottomAttachment,
        XmATTACH_FORM, nullptr);
    XmStringFree(close);
    XtAddCallback(s_key_close_btn, XmNactivateCallback, XDunmanage_link, &s_key_form);
    return s_key_shell;
}
