/*
 * detail_box_test.cpp - the detail box under a real X server, in test mode
 * (the built-in six-chassis tree): View -> Show Detail opens it with every
 * chassis listed, its Update button refreshes the report, Cancel closes it
 * and stops the refreshes; the dialog's own widgets and texts.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <X11/Xlib.h>
#include <Xm/Text.h>
#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_query.h"
#include "app/rack_view.h"
#include "app/s_detail.h"
#include "app/s_get_colors.h"
#include "app/s_rack_disp.h"
#include "base/process.h"
#include "tests/support/gui_harness.h"
#include "ui/x_util.h"

namespace {

constexpr int kWaitMs = 3000;

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

class DetailBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("CONSOLE_ROOT", XR_DATA_ROOT, 1);
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
        saved_argc_ = _argc;
        saved_argv_ = _argv;
        _argc = 1;
        _argv = argv_; /* test mode: the built-in tree */
        ASSERT_TRUE(IsTestMode());
    }
    void TearDown() override
    {
        _argc = saved_argc_;
        _argv = saved_argv_;
        DetailBoxUp = 0;
    }

    /* The cabinet window with the detail box as start-up builds them, the
     * first tree shown. */
    void start_display()
    {
        create_rack_cabstat_dlg(XtDisplay(Toplevel), "rack_test", 1, argv_, "Cabinet Status - Cab001");
        initialize_chassis_views();
        create_s_key_shell(rack_cabstat_dlg);
        create_DetailBox(rack_cabstat_dlg);
        get_colors();
        show_text("Cabinet Status", STATUS_TITLE, s_detail_title);
        show_text("(Cab001)", STATUS_TITLE, s_detail_cab_label);
        CabinetID = 1;
        current_chassis = 1;
        update_display(0);
        XtVaSetValues(rack_cabstat_dlg, XmNx, 0, XmNy, 0, nullptr);
        XtRealizeWidget(rack_cabstat_dlg);
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_rack_main_form); }, kWaitMs));
    }

    /* View -> Show Detail through the menu. */
    void open_from_menu()
    {
        ASSERT_TRUE(gui::click(XtNameToWidget(menu_bar, "view_cascade")));
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(detail_btn); }, kWaitMs));
        ASSERT_TRUE(gui::click(detail_btn));
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(ss_text); }, kWaitMs));
    }

private:
    static inline char name_[] = "rack_test";
    int saved_argc_ = 0;
    char **saved_argv_ = nullptr;

protected:
    static inline char *argv_[] = {name_, nullptr};
};

TEST_F(DetailBoxTest, BuiltHiddenWithItsWidgetsAndTexts)
{
    start_display();
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
}

TEST_F(DetailBoxTest, ShowDetailListsEveryChassisUpdateRefreshesCancelCloses)
{
    start_display();

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
