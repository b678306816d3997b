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
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/trace.h"

namespace {

#define ICONS "/opt/console/icons/"

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
    {1, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "OK"},
    {95, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "OK"},
    {2, ICONS "ss_error.indic", ICONS "STAT.bad", STATUS_BAD, "Fault"},
    {7, ICONS "ss_error.indic", ICONS "STAT.bad", STATUS_BAD, "Fault"},
    {3, ICONS "ss_nopwr.indic", ICONS "STAT.nopwr", STATUS_NOT_PRES, "Missing"},
    {4, ICONS "ss_nopwr.indic", ICONS "STAT.nopwr", STATUS_DISABLED, "Off"},
    {5, nullptr, ICONS "STAT.fast", STATUS_FAST, "FAST"},
    {6, ICONS "ss_nopwr.indic", ICONS "STAT.nopwr", STATUS_DISABLED, "ACFAIL"},
    {10, ICONS "ss_error.indic", ICONS "STAT.bad", STATUS_BAD, "Lost HB"},
    {20, nullptr, ICONS "STAT.none", STATUS_OK, "Present"},
    {56, nullptr, ICONS "STAT.hot", STATUS_BAD, "Hot"},
    {57, nullptr, ICONS "STAT.warm", STATUS_WARN, "Warm"},
    {58, nullptr, ICONS "STAT.cool", STATUS_OK, "Normal"},
    {59, ICONS "ss_warn.indic", ICONS "STAT.warn", STATUS_WARN, "Warning"},
    {60, nullptr, ICONS "STAT.fullcharge", STATUS_OK, "Rest"},
    {61, nullptr, ICONS "STAT.fullcharge", STATUS_OK, "Float"},
    {62, nullptr, ICONS "STAT.partcharge", STATUS_WARN, "Charge"},
    {63, nullptr, ICONS "STAT.partcharge", STATUS_WARN, "Dischg"},
    {64, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "Active"},
    {65, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "Passive"},
    {66, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "DualAct"},
    {69, ICONS "ss_error.indic", ICONS "STAT.bad", STATUS_BAD, "Critical"},
    {71, nullptr, ICONS "ss_nocomm.indic", STATUS_UNKNOWN, "NoComm"},
    {78, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "RCMB"},
    {79, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "PTB"},
    {80, ICONS "ss_unkn.indic", ICONS "STAT.unkn", STATUS_UNKNOWN, "Unknown"},
    {84, ICONS "ss_unkn.indic", ICONS "STAT.unkn", STATUS_UNKNOWN, "Unknown"},
    {90, nullptr, ICONS "STAT.cflt", STATUS_WARN, "Flash"},
    {92, nullptr, ICONS "STAT.none", STATUS_TITLE, "Unused"},
    {98, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "RUMB"},
    {112, ICONS "ss_pwr.indic", ICONS "STAT.powered", STATUS_OK, "PTBX"},
    {133, nullptr, ICONS "STAT.cflt", STATUS_WARN, "Conflict"},
    {134, ICONS "ss_nopwr.indic", ICONS "STAT.nopwr", STATUS_DISABLED, "Disabled"},
    {139, ICONS "ss_error.indic", ICONS "STAT.bad", STATUS_BAD, "Mem Err"},
    {S_NO_STATUS, nullptr, ICONS "STAT.none", STATUS_TITLE, " "},
};

constexpr const char *UNRECOGNIZED_ICON = ICONS "STAT.unrecognized";

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
    return XmGetPixmap(XtScreenOfObject(w), xs(console_path(icon)), fg, bg);
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
