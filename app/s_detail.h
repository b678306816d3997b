/*
 * s_detail.h - the detail box: a dialog with a scrolled, read-only text in a
 * fixed-width font that shows the detail report (rack_detail.h), an Update
 * button (a full refresh) and a Cancel button.
 *
 * The dialog is built once at start-up (create_DetailBox, in
 * app/layouts/s_detail_box.cpp) and stays unmanaged until View -> Show
 * Detail opens it (detail_callback); while it is up (DetailBoxUp) every
 * refresh rebuilds the report.
 */
#ifndef XR_APP_S_DETAIL_H
#define XR_APP_S_DETAIL_H

#include <X11/Intrinsic.h>

/* The dialog's widgets, named like their globals. */
extern Widget DetailBox;            /* dialog shell, "Cabinet Status Detail" */
extern Widget s_detail_frame;       /* managed while the box is shown */
extern Widget s_detail_form;
extern Widget s_detail_title;       /* start-up sets it to "Cabinet Status" */
extern Widget s_detail_cab_label;   /* start-up sets it to "(Cab%03d)" */
extern Widget s_detail_update_btn;
extern Widget s_detail_cancel_btn;
extern Widget s_detail_separator;
extern Widget ss_text;              /* the report */

/* Builds the dialog, unmanaged, as a popup of parent. */
Widget create_DetailBox(Widget parent);

/* Shows the dialog (manages s_detail_frame). */
void manage_DetailBox();

/* Puts `text` into ss_text, sized to `columns` x `rows`, in the font
 * "fixed".  Nothing happens before the dialog exists. */
void update_DetailBox(const char *text, int columns, int rows);

/* Builds the report of the current tree (rack_detail.h) and puts it into
 * the box; nothing changes when there is no tree. */
void show_rack_detail();

/* View -> Show Detail: builds the report, shows the box, DetailBoxUp = 1. */
void detail_callback(Widget w, XtPointer client_data, XtPointer call_data);

/* Cancel of the box (after it unmanaged the frame): DetailBoxUp = 0. */
void detail_cancel_callback(Widget w, XtPointer client_data, XtPointer call_data);

#endif
