/*
 * layout_kit.cpp - slots, sensors, sections and placement shared by every
 * window builder (see layout_kit.h).
 */
#include "app/layouts/layout_kit.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/RowColumn.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/rack_cb.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "ui/picture_cache.h"

namespace lk {

namespace {

constexpr const char *TEMPERATURE_UNKNOWN = "Temperature\nUnknown";

XtPointer as_client_data(int value)
{
    return reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(value));
}

/* The pixmap of an installation picture in the colours of w. */
Pixmap pixmap_for(Widget w, const std::string &installed_path, bool inverted = false)
{
    Pixel fg = 0, bg = 0;
    XtVaGetValues(w, XmNforeground, &fg, XmNbackground, &bg, nullptr);
    return GetPicturePixmap(XtScreenOfObject(w), console_path(installed_path).c_str(), inverted ? bg : fg,
                            inverted ? fg : bg);
}

void set_text(Widget w, const char *text)
{
    XmString s = XmStringCreateLtoR(xs(text), xs(XmSTRING_DEFAULT_CHARSET));
    XtVaSetValues(w, XmNlabelString, s, nullptr);
    XmStringFree(s);
}

Widget status_label(Widget parent, const std::string &name)
{
    Widget w = XtVaCreateManagedWidget(name.c_str(), xmLabelWidgetClass, parent, XmNlabelType, XmPIXMAP,
                                       XmNmarginWidth, 1, XmNmarginHeight, 1, nullptr);
    XtVaSetValues(w, XmNlabelPixmap, pixmap_for(w, UNKNOWN_STATUS_ICON), nullptr);
    return w;
}

/* The frame of a slot with the box that arranges its parts. */
Widget slot_box(Widget parent, const std::string &frame_name, Shape shape, Widget *frame_out)
{
    *frame_out = XtVaCreateManagedWidget(frame_name.c_str(), xmFrameWidgetClass, parent, XmNshadowType,
                                         XmSHADOW_ETCHED_IN, XmNshadowThickness, 1, nullptr);
    const bool column = shape == Shape::Column;
    return XtVaCreateManagedWidget("slot", xmRowColumnWidgetClass, *frame_out, XmNorientation,
                                   column ? XmVERTICAL : XmHORIZONTAL, XmNpacking, XmPACK_TIGHT,
                                   XmNentryAlignment, XmALIGNMENT_CENTER, XmNisAligned, True,
                                   XmNentryVerticalAlignment, XmALIGNMENT_CENTER, XmNmarginWidth, 1,
                                   XmNmarginHeight, 1, XmNspacing, 1, nullptr);
}

} // namespace

std::string Captions::for_slot(int index, int number) const
{
    if (texts != nullptr)
        return texts[index];
    if (format == nullptr)
        return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, number);
    return buffer;
}

Widget component_toggle(Widget parent, const char *name, const char *picture, int cru)
{
    Widget w = XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, parent, XmNlabelType, XmPIXMAP,
                                       XmNindicatorOn, False, XmNshadowThickness, 2, XmNfillOnSelect, False,
                                       XmNmarginWidth, 1, XmNmarginHeight, 1, nullptr);
    const std::string path = std::string(ICON_DIR) + picture;
    Pixmap face = pixmap_for(w, path);
    XtVaSetValues(w, XmNlabelPixmap, face, XmNlabelInsensitivePixmap, face, XmNselectPixmap,
                  pixmap_for(w, path + "_f"), nullptr);
    XtAddCallback(w, XmNvalueChangedCallback, cru_repl_cb, as_client_data(cru));
    return w;
}

Widget chassis_toggle(Widget parent, const char *name, const char *text)
{
    Widget w = XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, parent, XmNindicatorOn, False,
                                       XmNshadowThickness, 2, XmNfillOnSelect, False, nullptr);
    set_text(w, text);
    XtAddCallback(w, XmNvalueChangedCallback, cru_repl_cb, as_client_data(cru_spec(FRU_CHASSIS, 1)));
    return w;
}

Widget text_label(Widget parent, const char *name, const char *text)
{
    Widget w = XtVaCreateManagedWidget(name, xmLabelWidgetClass, parent, nullptr);
    set_text(w, text);
    return w;
}

Widget picture_label(Widget parent, const char *name, const char *icon_path)
{
    Widget w = XtVaCreateManagedWidget(name, xmLabelWidgetClass, parent, XmNlabelType, XmPIXMAP, nullptr);
    XtVaSetValues(w, XmNlabelPixmap, pixmap_for(w, icon_path), nullptr);
    return w;
}

Slot slot(Widget parent, const std::string &stem, const char *picture, int cru, const std::string &caption,
          Shape shape, const char *frame_name)
{
    Slot s{};
    Widget box = slot_box(parent, frame_name != nullptr ? frame_name : "frm_" + stem, shape, &s.frm);
    s.btn = component_toggle(box, ("btn_" + stem).c_str(), picture, cru);
    s.stat = status_label(box, "stat_" + stem);
    s.lbl = text_label(box, ("lbl_" + stem).c_str(), caption.c_str());
    return s;
}

void family(Widget parent, const FamilySpec &family_shape, const FamilyArrays &out)
{
    for (int i = 0; i < family_shape.count; ++i) {
        const int number = family_shape.first_number + i;
        const int at = family_shape.offset + i;
        Slot s = slot(parent, std::string(family_shape.stem) + std::to_string(number), family_shape.picture,
                      cru_spec(family_shape.fru_kind, at + 1), family_shape.captions.for_slot(i, number), family_shape.shape);
        out.frm[at] = s.frm;
        out.btn[at] = s.btn;
        out.stat[at] = s.stat;
        if (out.lbl != nullptr)
            out.lbl[at] = s.lbl;
    }
}

Sensor sensor(Widget parent, const std::string &stem)
{
    Sensor s{};
    Widget box = slot_box(parent, "frm_" + stem, Shape::Row, &s.frm);
    s.stat = status_label(box, "stat_" + stem);
    s.lbl = text_label(box, ("lbl_" + stem).c_str(), TEMPERATURE_UNKNOWN);
    return s;
}

void slot_into(Widget parent, const char *stem, const char *picture, int cru, const char *caption, Shape shape,
               Widget &frm, Widget &btn, Widget &stat, Widget &lbl)
{
    Slot s = slot(parent, stem, picture, cru, caption, shape);
    frm = s.frm, btn = s.btn, stat = s.stat, lbl = s.lbl;
}

void sensor_into(Widget parent, const char *stem, Widget &frm, Widget &stat, Widget &lbl)
{
    Sensor s = sensor(parent, stem);
    frm = s.frm, stat = s.stat, lbl = s.lbl;
}

void sensors(Widget parent, const char *stem, int count, Widget *frm, Widget *stat, Widget *lbl, int first_number)
{
    for (int i = 0; i < count; ++i) {
        Sensor s = sensor(parent, std::string(stem) + std::to_string(first_number + i));
        frm[i] = s.frm;
        stat[i] = s.stat;
        if (lbl != nullptr)
            lbl[i] = s.lbl;
    }
}

Widget chassis_window(Widget parent, const char *frame_name, Widget *frame_out)
{
    *frame_out = XtVaCreateManagedWidget(frame_name, xmFrameWidgetClass, parent, XmNshadowType,
                                         XmSHADOW_OUT, XmNshadowThickness, 2, nullptr);
    return XtVaCreateManagedWidget("chassis_rows", xmRowColumnWidgetClass, *frame_out, XmNorientation,
                                   XmVERTICAL, XmNpacking, XmPACK_TIGHT, XmNmarginWidth, 4, XmNmarginHeight, 4,
                                   XmNspacing, 4, nullptr);
}

/* A row is a form, so that each section keeps its own height (a
 * row-column would stretch every entry to the tallest); sections put into
 * it are chained left to right by section(). */
constexpr const char *ROW_NAME = "row";
constexpr int ROW_SPACING = 4;

Widget row(Widget column)
{
    return XtVaCreateManagedWidget(ROW_NAME, xmFormWidgetClass, column, XmNmarginWidth, 0, XmNmarginHeight, 0,
                                   nullptr);
}

namespace {

/* Attaches w, the newest child of a row, right of its predecessor. */
void chain_in_row(Widget w)
{
    Widget parent = XtParent(w);
    if (!XmIsForm(parent) || std::string_view(XtName(parent)) != ROW_NAME)
        return;
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(parent, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    Widget previous = nullptr;
    for (Cardinal i = 0; i < count && children[i] != w; ++i)
        previous = children[i];
    XtVaSetValues(w, XmNtopAttachment, XmATTACH_FORM, nullptr);
    if (previous == nullptr)
        XtVaSetValues(w, XmNleftAttachment, XmATTACH_FORM, nullptr);
    else
        XtVaSetValues(w, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, previous, XmNleftOffset, ROW_SPACING,
                      nullptr);
}

} // namespace

void vertical(Widget grid)
{
    XtVaSetValues(grid, XmNorientation, XmVERTICAL, nullptr);
}

Widget section(Widget parent, const char *name, const char *title, int rows, Widget *frame_out)
{
    Widget frame = XtVaCreateManagedWidget(name, xmFrameWidgetClass, parent, XmNshadowType,
                                           XmSHADOW_ETCHED_IN, nullptr);
    if (title != nullptr) {
        Widget caption = XtVaCreateManagedWidget("section_title", xmLabelWidgetClass, frame,
                                                 XmNchildType, XmFRAME_TITLE_CHILD, nullptr);
        set_text(caption, title);
    }
    chain_in_row(frame);
    if (frame_out != nullptr)
        *frame_out = frame;
    return grid(frame, "section_grid", rows);
}

Widget family_section(Widget parent, const char *name, const char *title, const FamilySpec &family_shape,
                      const FamilyArrays &arrays, int rows)
{
    Widget frame = nullptr;
    Widget content = section(parent, name, title, rows, &frame);
    family(content, family_shape, arrays);
    return frame;
}

Widget grid(Widget parent, const char *name, int lines, bool vertical)
{
    if (lines <= 0)
        return XtVaCreateManagedWidget(name, xmRowColumnWidgetClass, parent, XmNorientation,
                                       vertical ? XmVERTICAL : XmHORIZONTAL, XmNpacking, XmPACK_TIGHT,
                                       XmNmarginWidth, 2, XmNmarginHeight, 2, XmNspacing, 3, nullptr);
    return XtVaCreateManagedWidget(name, xmRowColumnWidgetClass, parent, XmNorientation,
                                   vertical ? XmVERTICAL : XmHORIZONTAL, XmNpacking, XmPACK_COLUMN,
                                   XmNnumColumns, lines, XmNentryAlignment, XmALIGNMENT_CENTER,
                                   XmNmarginWidth, 2, XmNmarginHeight, 2, XmNspacing, 3, nullptr);
}

void place(Widget w, Widget above, Widget left, int offset)
{
    if (above != nullptr)
        XtVaSetValues(w, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, above, XmNtopOffset, offset, nullptr);
    else
        XtVaSetValues(w, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, offset, nullptr);
    if (left != nullptr)
        XtVaSetValues(w, XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, left, XmNleftOffset, offset,
                      nullptr);
    else
        XtVaSetValues(w, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, offset, nullptr);
}

} // namespace lk
