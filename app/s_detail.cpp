/*
 * s_detail.cpp - what the detail box does: show itself, take a new report
 * into its text, and the callbacks of Show Detail and Cancel.
 *
 * The widgets are built by create_DetailBox (app/layouts/s_detail_box.cpp).
 * Called by the View menu, by the box's Cancel button and by the refresh
 * (show_rack_detail).
 */
#include "app/s_detail.h"

#include <string>

#include <Xm/Text.h>
#include <Xm/Xm.h>

#include "app/rack_detail.h"
#include "app/rack_state.h"
#include "base/motif_str.h"
#include "base/trace.h"

/* ---- constants ----------------------------------------------------------- */

namespace {

constexpr const char *kReportFont = "fixed";

/* Size of the text widget the report is shown in. */
constexpr int kReportColumns = 80;
constexpr int kReportRows = 24;

/* ---- module variables ---------------------------------------------------- */

/* The report's font list, loaded on first use and kept: the text widget
 * copies it, and loading the font once spares the server a font per
 * refresh. */
XmFontList report_fonts = nullptr;

/* ---- static prototypes --------------------------------------------------- */

XmFontList fixed_font_list(Widget w);

} // namespace

/* ------------------------------------------------------------------------ */

namespace {

XmFontList fixed_font_list(Widget w)
{
    if (report_fonts != nullptr)
        return report_fonts;
    XmFontListEntry entry = XmFontListEntryLoad(XtDisplay(w), xs(kReportFont), XmFONT_IS_FONT,
                                                xs(XmFONTLIST_DEFAULT_TAG));
    if (entry == nullptr) {
        dprint(1, "update_DetailBox: font %s cannot be loaded\n", kReportFont);
        return nullptr;
    }
    report_fonts = XmFontListAppendEntry(nullptr, entry);
    XmFontListEntryFree(&entry);
    return report_fonts;
}

} // namespace

void manage_DetailBox()
{
    if (s_detail_frame != nullptr)
        XtManageChild(s_detail_frame);
}

void update_DetailBox(const char *text, int columns, int rows)
{
    if (ss_text == nullptr)
        return;
    XmFontList fonts = fixed_font_list(ss_text);
    if (fonts != nullptr)
        XtVaSetValues(ss_text, XmNfontList, fonts, nullptr);
    XtVaSetValues(ss_text, XmNcolumns, static_cast<short>(columns), XmNrows, static_cast<short>(rows), nullptr);
    XmTextSetString(ss_text, xs(text != nullptr ? text : ""));
}

void show_rack_detail()
{
    const std::string report = current_rack_detail_text();
    if (!report.empty())
        update_DetailBox(report.c_str(), kReportColumns, kReportRows);
}

void detail_callback(Widget, XtPointer, XtPointer)
{
    show_rack_detail();
    manage_DetailBox();
    DetailBoxUp = 1;
}

void detail_cancel_callback(Widget, XtPointer, XtPointer)
{
    DetailBoxUp = 0;
}
