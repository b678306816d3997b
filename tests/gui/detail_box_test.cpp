/*
 * detail_box_test.cpp - the detail box under a real X server, in test mode
 * (the built-in six-chassis tree): View -> Show Detail opens it with every
 * chassis listed, its Update button refreshes the report, Cancel closes it
 * and stops the refreshes; the dialog's own widgets and texts.
 */
#include <gtest/gtest.h>

#include <string>

#include <Xm/Text.h>

#include "app/s_detail.h"
#include "tests/gui/cabinet_display.h"

namespace {

using display::kWaitMs;

std::string report_text()
{
    char *text = XmTextGetString(ss_text);
    std::string copy = text != nullptr ? text : "";
    XtFree(text);
    return copy;
}

int count_substr(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

/* Every chassis of the built-in tree, as the report heads it. */
bool lists_every_chassis(const std::string &text)
{
    const char *headings[] = {"CHASSIS 1 (Server Mgmt.):", "CHASSIS 2 (Disk Array):", "CHASSIS 3 (Disk Array):",
                              "CHASSIS 4 (SMP):",          "CHASSIS 5 (SMP):",        "CHASSIS 6 (UPS):"};
    for (const char *heading : headings)
        if (count_substr(text, heading) != 1)
            return false;
    return count_substr(text, "CHASSIS ") == 6;
}

/* The cabinet window in test mode with the detail box, as start-up builds
 * them, the first tree shown. */
class DetailBoxTest : public display::CabinetDisplay {
protected:
    const char *program_name() const override { return "rack_test"; }
    void build_more() override { create_DetailBox(rack_cabstat_dlg); }
    void before_realize() override
    {
        show_text("Cabinet Status", STATUS_TITLE, s_detail_title);
        show_text("(Cab001)", STATUS_TITLE, s_detail_cab_label);
        update_display(0);
    }

    /* View -> Show Detail through the menu. */
    static void open_from_menu()
    {
        ASSERT_TRUE(gui::click(XtNameToWidget(menu_bar, "view_cascade")));
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(detail_btn); }, kWaitMs));
        ASSERT_TRUE(gui::click(detail_btn));
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(ss_text); }, kWaitMs));
    }
};

TEST_F(DetailBoxTest, BuiltHiddenShowDetailListsEveryChassisUpdateRefreshesCancelCloses)
{
    /* 0. Built hidden, with its widgets and texts. */
    ASSERT_TRUE(IsTestMode());
    EXPECT_FALSE(XtIsManaged(s_detail_frame));
    EXPECT_EQ(XtParent(s_detail_frame), DetailBox);
    EXPECT_EQ(gui::shell_title(s_detail_frame), "Cabinet Status Detail");
    EXPECT_EQ(gui::label_text(s_detail_title), "Cabinet Status");
    EXPECT_EQ(gui::label_text(s_detail_cab_label), "(Cab001)");
    EXPECT_EQ(gui::label_text(s_detail_update_btn), "Update");
    EXPECT_EQ(gui::label_text(s_detail_cancel_btn), "Cancel");
    for (const char *name : {"*s_detail_form", "*s_detail_title", "*s_detail_cab_label", "*s_detail_update_btn",
                             "*s_detail_cancel_btn", "*s_detail_separator", "*ss_text"})
        EXPECT_NE(gui::find_in(DetailBox, name), nullptr) << name;
    Boolean editable = True;
    XtVaGetValues(ss_text, XmNeditable, &editable, nullptr);
    EXPECT_FALSE(editable);
    EXPECT_EQ(DetailBoxUp, 0);

    /* 1. Show Detail opens the box with the whole tree, in a text of 80 x 24
     *    characters whatever its size was. */
    XtVaSetValues(ss_text, XmNcolumns, 40, XmNrows, 10, nullptr);
    open_from_menu();
    EXPECT_EQ(DetailBoxUp, 1);
    std::string text = report_text();
    EXPECT_EQ(text.rfind("System: rack_test system\nCabinet: rack_test built-in cabinet\n\n", 0), 0u);
    EXPECT_TRUE(lists_every_chassis(text)) << text;
    EXPECT_EQ(count_substr(text, "Invalid status info"), 0);
    short columns = 0, rows = 0;
    XtVaGetValues(ss_text, XmNcolumns, &columns, XmNrows, &rows, nullptr);
    EXPECT_EQ(columns, 80);
    EXPECT_EQ(rows, 24);

    /* 2. Update queries again and rewrites the report. */
    XmTextSetString(ss_text, const_cast<char *>(""));
    ASSERT_TRUE(gui::click(s_detail_update_btn));
    ASSERT_TRUE(gui::pump_until([] { return lists_every_chassis(report_text()); }, kWaitMs));
    EXPECT_EQ(report_text(), text);
    EXPECT_EQ(DetailBoxUp, 1);

    /* 3. Cancel closes it ... */
    ASSERT_TRUE(gui::click(s_detail_cancel_btn));
    ASSERT_TRUE(gui::pump_until([] { return !gui::is_shown(ss_text); }, kWaitMs));
    EXPECT_FALSE(XtIsManaged(s_detail_frame));
    EXPECT_EQ(DetailBoxUp, 0);

    /* ... and later refreshes leave the closed box alone. */
    XmTextSetString(ss_text, const_cast<char *>(""));
    ASSERT_TRUE(gui::click(XtNameToWidget(menu_bar, "view_cascade")));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(reload_btn); }, kWaitMs));
    ASSERT_TRUE(gui::click(reload_btn));
    gui::pump_until([] { return !gui::is_shown(reload_btn); }, kWaitMs);
    gui::pump_pending();
    EXPECT_EQ(report_text(), "");

    /* 4. Show Detail opens it again. */
    open_from_menu();
    EXPECT_TRUE(lists_every_chassis(report_text()));
    EXPECT_EQ(DetailBoxUp, 1);
}

} // namespace
