/*
 * cabstat_common.cpp - the status table and the painting operations built on
 * it.  Used by the rack view, the chassis views, the detail boxes and the
 * FRU procedures.
 */
#include "app/cabstat_common.h"

#include <cstdio>
#include <string>

#include <Xm/Xm.h>

#include "app/s_get_colors.h"
#include "app/status_codes.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/trace.h"
#include "ui/picture_cache.h"

namespace {

/* One row of the status table.  `tiny` is the small icon, or null when the
 * status has one icon for both sizes. */
struct StatusVisual {
    int code;
    const char *tiny;
    const char *normal;
    s_cru_statuses scheme;
    const char *text;
};

constexpr StatusVisual STATUS_TABLE[] = {
    {S_OK, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "OK"},
    {S_OK2, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "OK"},
    {S_FAULT, CONSOLE_ICONS "ss_error.indic", CONSOLE_ICONS "STAT.bad", STATUS_BAD, "Fault"},
    {S_FAULT2, CONSOLE_ICONS "ss_error.indic", CONSOLE_ICONS "STAT.bad", STATUS_BAD, "Fault"},
    {S_MISSING, CONSOLE_ICONS "ss_nopwr.indic", CONSOLE_ICONS "STAT.nopwr", STATUS_NOT_PRES, "Missing"},
    {S_OFF, CONSOLE_ICONS "ss_nopwr.indic", CONSOLE_ICONS "STAT.nopwr", STATUS_DISABLED, "Off"},
    {S_FAN_FAST, nullptr, CONSOLE_ICONS "STAT.fast", STATUS_FAST, "FAST"},
    {S_ACFAIL, CONSOLE_ICONS "ss_nopwr.indic", CONSOLE_ICONS "STAT.nopwr", STATUS_DISABLED, "ACFAIL"},
    {S_LOST_HB, CONSOLE_ICONS "ss_error.indic", CONSOLE_ICONS "STAT.bad", STATUS_BAD, "Lost HB"},
    {S_PRESENT, nullptr, CONSOLE_ICONS "STAT.none", STATUS_OK, "Present"},
    {S_TEMP_HOT, nullptr, CONSOLE_ICONS "STAT.hot", STATUS_BAD, "Hot"},
    {S_TEMP_WARM, nullptr, CONSOLE_ICONS "STAT.warm", STATUS_WARN, "Warm"},
    {S_TEMP_NORMAL, nullptr, CONSOLE_ICONS "STAT.cool", STATUS_OK, "Normal"},
    {S_WARNING, CONSOLE_ICONS "ss_warn.indic", CONSOLE_ICONS "STAT.warn", STATUS_WARN, "Warning"},
    {S_BAT_REST, nullptr, CONSOLE_ICONS "STAT.fullcharge", STATUS_OK, "Rest"},
    {S_BAT_FLOAT, nullptr, CONSOLE_ICONS "STAT.fullcharge", STATUS_OK, "Float"},
    {S_BAT_CHARGE, nullptr, CONSOLE_ICONS "STAT.partcharge", STATUS_WARN, "Charge"},
    {S_BAT_DISCHARGE, nullptr, CONSOLE_ICONS "STAT.partcharge", STATUS_WARN, "Dischg"},
    {S_ACTIVE, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "Active"},
    {S_PASSIVE, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "Passive"},
    {S_DUAL_ACTIVE, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "DualAct"},
    {S_CRITICAL, CONSOLE_ICONS "ss_error.indic", CONSOLE_ICONS "STAT.bad", STATUS_BAD, "Critical"},
    {S_NOCOMM, nullptr, CONSOLE_ICONS "ss_nocomm.indic", STATUS_UNKNOWN, "NoComm"},
    {S_RCMB, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "RCMB"},
    {S_PTB, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "PTB"},
    {S_UNKNOWN2, CONSOLE_ICONS "ss_unkn.indic", CONSOLE_ICONS "STAT.unkn", STATUS_UNKNOWN, "Unknown"},
    {S_UNKNOWN, CONSOLE_ICONS "ss_unkn.indic", CONSOLE_ICONS "STAT.unkn", STATUS_UNKNOWN, "Unknown"},
    {S_FLASH, nullptr, CONSOLE_ICONS "STAT.cflt", STATUS_WARN, "Flash"},
    {S_UNUSED, nullptr, CONSOLE_ICONS "STAT.none", STATUS_TITLE, "Unused"},
    {S_RUMB, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "RUMB"},
    {S_PTBX, CONSOLE_ICONS "ss_pwr.indic", CONSOLE_ICONS "STAT.powered", STATUS_OK, "PTBX"},
    {S_CONFLICT, nullptr, CONSOLE_ICONS "STAT.cflt", STATUS_WARN, "Conflict"},
    {S_DISABLED, CONSOLE_ICONS "ss_nopwr.indic", CONSOLE_ICONS "STAT.nopwr", STATUS_DISABLED, "Disabled"},
    {S_MEM_ERR, CONSOLE_ICONS "ss_error.indic", CONSOLE_ICONS "STAT.bad", STATUS_BAD, "Mem Err"},
    {S_NO_STATUS, nullptr, CONSOLE_ICONS "STAT.none", STATUS_TITLE, " "},
};

constexpr const char *UNRECOGNIZED_ICON = CONSOLE_ICONS "STAT.unrecognized";

/* Text of the last unrecognised code: "(0x" + up to 8 digits + ")". */
char unrecognized_text[16];

const StatusVisual *find_status(int status)
{
    for (const StatusVisual &row : STATUS_TABLE)
        if (row.code == status)
            return &row;
    return nullptr;
}

/* The pixmap of an icon file in the given colours, on the screen of w. */
Pixmap icon_pixmap(Widget w, const char *icon, Pixel fg, Pixel bg)
{
    return GetPicturePixmap(XtScreenOfObject(w), console_path(icon).c_str(), fg, bg);
}

/* Draws w again from its resources.  A label or toggle whose pixmap is
 * replaced by another of the same size keeps showing the old one until
 * something exposes it: the toolkit sees no change of size and does not
 * redraw.  A status symbol must never lag behind its colours, so the
 * painters expose the face themselves. */
void redraw_face(Widget w)
{
    if (!XtIsRealized(w))
        return;
    Display *display = XtDisplayOfObject(w);
    if (XtIsWidget(w)) {
        XClearArea(display, XtWindow(w), 0, 0, 0, 0, True);
        return;
    }
    Position x = 0, y = 0;
    Dimension width = 0, height = 0;
    XtVaGetValues(w, XmNx, &x, XmNy, &y, XmNwidth, &width, XmNheight, &height, nullptr);
    if (width > 0 && height > 0)
        XClearArea(display, XtWindowOfObject(w), x, y, width, height, True);
}

} // namespace

void get_status_visual_elements(int status, const char **stat_icon, int *color_scheme, const char **text,
                                int tiny_flag)
{
    const StatusVisual *row = find_status(status);
    if (row == nullptr) {
        std::snprintf(unrecognized_text, sizeof unrecognized_text, "(0x%x)", static_cast<unsigned>(status));
        *stat_icon = UNRECOGNIZED_ICON;
        *color_scheme = STATUS_WARN;
        *text = unrecognized_text;
        return;
    }
    *stat_icon = (tiny_flag && row->tiny != nullptr) ? row->tiny : row->normal;
    *color_scheme = row->scheme;
    *text = row->text;
}

void show_status(Widget who, const char *icon, int how_bad, int do_backing)
{
    const s_colors_type &c = s_colors[how_bad];
    Pixmap pixmap = icon_pixmap(XtParent(who), icon, c.foreground, c.background);
    XtVaSetValues(who, XmNlabelPixmap, pixmap, XmNbackgroundPixmap, c.backgroundPixmap, nullptr);
    if (do_backing)
        XtVaSetValues(XtParent(who), XmNforeground, c.foreground, XmNbackground, c.background,
                      XmNbackgroundPixmap, c.backgroundPixmap, nullptr);
    redraw_face(who);
}

void show_tb_status(Widget who, const char *icon, int how_bad)
{
    const s_colors_type &status = s_colors[how_bad];
    const s_colors_type &title = s_colors[STATUS_TITLE];

    /* 1. The icon in status colours, in title colours and inverted. */
    Pixmap status_pixmap = icon_pixmap(who, icon, status.foreground, status.background);
    Pixmap title_pixmap = icon_pixmap(who, icon, title.foreground, title.background);
    Pixmap inverted_pixmap = icon_pixmap(who, icon, title.background, title.foreground);

    /* 2. A toggle the operator may press stays neutral. */
    Boolean sensitive = True;
    XtVaGetValues(who, XmNsensitive, &sensitive, nullptr);
    Pixmap backing = sensitive ? title.backgroundPixmap : status.backgroundPixmap;

    /* 3. Set them. */
    XtVaSetValues(who, XmNlabelPixmap, title_pixmap, XmNlabelInsensitivePixmap, status_pixmap,
                  XmNselectPixmap, inverted_pixmap, XmNbackgroundPixmap, backing, nullptr);
    redraw_face(who);
}

void show_text(const char *string, int colors, Widget me)
{
    dprint(6, "show_text: [%s]\n", string);
    XmString text = XmStringCreateLtoR(xs(string), xs(XmSTRING_DEFAULT_CHARSET));
    XtVaSetValues(me, XmNlabelString, text, XmNforeground, s_colors[colors].foreground, XmNbackground,
                  s_colors[colors].background, nullptr);
    XmStringFree(text);
}

void show_component_status(Widget stat_w, Widget btn_w, int status, const char *icon, int tiny_flag)
{
    const char *stat_icon = nullptr;
    const char *text = nullptr;
    int scheme = STATUS_UNKNOWN;
    get_status_visual_elements(status, &stat_icon, &scheme, &text, tiny_flag);
    show_status(stat_w, stat_icon, scheme, 1);
    show_tb_status(btn_w, icon, scheme);
}

void add_status_to_label(int fru_id, int status, const char *cmpnt_lbl, Widget lbl_w)
{
    const char *stat_icon = nullptr;
    const char *text = nullptr;
    int scheme = STATUS_UNKNOWN;
    get_status_visual_elements(status, &stat_icon, &scheme, &text, 0);
    std::string label = cmpnt_lbl;
    if (fru_id >= 0)
        label += " " + std::to_string(fru_id);
    label += "\n";
    label += text;
    show_text(label.c_str(), STATUS_TITLE, lbl_w);
}
