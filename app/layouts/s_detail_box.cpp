/*
 * s_detail_box.cpp - the detail box window (DetailBox, "Cabinet Status
 * Detail"): a title and the cabinet's label at the top, the report in a
 * scrolled read-only text, a separator, and the Update and Cancel buttons.
 *
 * Built once by start-up, unmanaged; Show Detail manages s_detail_frame,
 * Cancel (and the window manager's close) unmanages it again.
 */
#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/Protocols.h>
#include <Xm/PushB.h>
#include <Xm/Separator.h>
#include <Xm/Text.h>
#include <Xm/Xm.h>

#include "app/layouts/layout_kit.h"
#include "app/rack_cb.h"
#include "app/s_detail.h"
#include "app/s_rack_disp.h"
#include "base/motif_str.h"

Widget DetailBox, s_detail_frame, s_detail_form, s_detail_title, s_detail_cab_label;
Widget s_detail_update_btn, s_detail_cancel_btn, s_detail_separator, ss_text;

namespace {

constexpr const char *kShellTitle = "Cabinet Status Detail";
constexpr const char *kInitialTitle = "Disk Array Cabinet Detail";
constexpr const char *kInitialCabinet = "(Cab001)";
constexpr int kMargin = 6;
constexpr short kTextColumns = 80;
constexpr short kTextRows = 24;

Widget push_button(const char *name, const char *title)
{
    XmString label = XmStringCreateLocalized(xs(title));
    Widget w = XtVaCreateManagedWidget(name, xmPushButtonWidgetClass, s_detail_form, XmNlabelString, label,
                                       XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, kMargin, nullptr);
    XmStringFree(label);
    return w;
}

/* Closing the window from the window manager is a Cancel. */
void close_from_window_manager(Widget, XtPointer, XtPointer)
{
    if (s_detail_frame != nullptr)
        XtUnmanageChild(s_detail_frame);
    detail_cancel_callback(nullptr, nullptr, nullptr);
}

/* 1. Title and cabinet label along the top. */
void build_heading()
{
    s_detail_title = lk::text_label(s_detail_form, "s_detail_title", kInitialTitle);
    lk::place(s_detail_title, nullptr, nullptr, kMargin);
    s_detail_cab_label = lk::text_label(s_detail_form, "s_detail_cab_label", kInitialCabinet);
    lk::place(s_detail_cab_label, nullptr, s_detail_title, kMargin);
}

/* 2. Update and Cancel at the bottom, a separator above them. */
void build_buttons()
{
    s_detail_update_btn = push_button("s_detail_update_btn", "Update");
    XtVaSetValues(s_detail_update_btn, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, kMargin, nullptr);
    XtAddCallback(s_detail_update_btn, XmNactivateCallback, update_callback, nullptr);

    s_detail_cancel_btn = push_button("s_detail_cancel_btn", "Cancel");
    XtVaSetValues(s_detail_cancel_btn, XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, kMargin, nullptr);
    XtAddCallback(s_detail_cancel_btn, XmNactivateCallback, XDunmanage_link, &s_detail_frame);
    XtAddCallback(s_detail_cancel_btn, XmNactivateCallback, detail_cancel_callback, nullptr);

    s_detail_separator = XtVaCreateManagedWidget(
        "s_detail_separator", xmSeparatorWidgetClass, s_detail_form, XmNleftAttachment, XmATTACH_FORM,
        XmNrightAttachment, XmATTACH_FORM, XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget,
        s_detail_update_btn, XmNbottomOffset, kMargin, nullptr);
}

/* 3. The report between heading and separator. */
void build_text()
{
    Arg args[6];
    Cardinal n = 0;
    XtSetArg(args[n], XmNeditMode, XmMULTI_LINE_EDIT), ++n;
    XtSetArg(args[n], XmNeditable, False), ++n;
    XtSetArg(args[n], XmNcursorPositionVisible, False), ++n;
    XtSetArg(args[n], XmNcolumns, kTextColumns), ++n;
    XtSetArg(args[n], XmNrows, kTextRows), ++n;
    XtSetArg(args[n], XmNscrollHorizontal, True), ++n;
    ss_text = XmCreateScrolledText(s_detail_form, xs("ss_text"), args, n);
    XtVaSetValues(XtParent(ss_text), XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, s_detail_title,
                  XmNtopOffset, kMargin, XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, kMargin,
                  XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, kMargin, XmNbottomAttachment,
                  XmATTACH_WIDGET, XmNbottomWidget, s_detail_separator, XmNbottomOffset, kMargin, nullptr);
    XtManageChild(ss_text);
}

} // namespace

Widget create_DetailBox(Widget parent)
{
    DetailBox = XtVaCreatePopupShell("DetailBox", xmDialogShellWidgetClass, parent, XmNtitle, kShellTitle,
                                     XmNdeleteResponse, XmDO_NOTHING, XmNallowShellResize, True, nullptr);
    Atom delete_window = XmInternAtom(XtDisplay(DetailBox), xs("WM_DELETE_WINDOW"), False);
    XmAddWMProtocolCallback(DetailBox, delete_window, close_from_window_manager, nullptr);

    s_detail_frame = XtVaCreateWidget("s_detail_frame", xmFrameWidgetClass, DetailBox, nullptr);
    s_detail_form = XtVaCreateManagedWidget("s_detail_form", xmFormWidgetClass, s_detail_frame, nullptr);
    build_heading();
    build_buttons();
    build_text();
    return DetailBox;
}
