/* rack_view_test.cpp - the rack view and the detail box, driven by real clicks. */
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <Xm/Text.h>

#include "app/auto_refresh.h"
#include "app/s_detail.h"
#include "config/config.h"
#include "tests/gui/cabinet_display.h"

namespace {

using namespace display;
using namespace tree;


using RackView = CabinetDisplay;

TEST_F(RackView, ComplexesArrivingOutOfOrderAreListedByIdAndNewOnesSlotIn)
{
    show({{3, 33, S_OK, {}}, {1, 37, S_OK, {}}, {2, 38, S_FAULT, {}}});
    EXPECT_EQ(rack_order(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(chassis_cnt, 3);
    EXPECT_EQ(gui::label_text(chassis_rec[1].radio_btn), "SMP\n1");
    EXPECT_EQ(gui::label_text(chassis_rec[2].radio_btn), "Disk\nArray 2");
    EXPECT_EQ(gui::label_text(chassis_rec[3].radio_btn), "UPS\n3");
    EXPECT_TRUE(shows_status(chassis_rec[2].stat_lbl, S_FAULT));
    EXPECT_TRUE(shows_status(chassis_rec[1].stat_lbl, S_OK));

    /* Later trees add chassis between and after the known ones. */
    show({{5, 33, S_OK, {}}, {1, 37, S_OK, {}}, {4, 37, S_OK, {}}, {2, 38, S_OK, {}}, {3, 33, S_OK, {}}});
    EXPECT_EQ(rack_order(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(chassis_cnt, 5);
    EXPECT_TRUE(shows_status(chassis_rec[2].stat_lbl, S_OK));
}

TEST_F(RackView, ChassisThatDisappearsStaysMissingAndSelectsTheEmptyView)
{
    show({{1, 37, S_OK, {}}, {2, 38, S_OK, {}}});
    click_chassis(2);
    EXPECT_EQ(view_name(), "da2_frame");

    show({{1, 37, S_OK, {}}});
    EXPECT_EQ(rack_order(), (std::vector<int>{1, 2}));
    EXPECT_EQ(chassis_rec[2].complex_ptr, nullptr);
    EXPECT_TRUE(shows_status(chassis_rec[2].stat_lbl, S_MISSING));
    EXPECT_EQ(current_chassis, 2);
    EXPECT_EQ(view_name(), "empty_frame");
    EXPECT_EQ(gui::label_text(chassis_lbl), "Chassis 2 - Disk Array");
    EXPECT_TRUE(toggle_set(chassis_rec[2].radio_btn));

    /* Away and back by clicks: the missing chassis still shows the empty view. */
    click_chassis(1);
    EXPECT_EQ(view_name(), "smp_frame");
    click_chassis(2);
    EXPECT_EQ(view_name(), "empty_frame");

    /* A chassis the cabinet reports as Missing is shown the same way. */
    show({{1, 37, S_OK, {}}, {2, 38, S_MISSING, {}}});
    EXPECT_EQ(view_name(), "empty_frame");
    EXPECT_TRUE(shows_status(chassis_rec[2].stat_lbl, S_MISSING));
}

TEST_F(RackView, ClickingTheSelectedToggleKeepsItSelected)
{
    show({{1, 37, S_OK, {}}, {2, 33, S_OK, {}}});
    ASSERT_TRUE(toggle_set(chassis_rec[1].radio_btn));

    ASSERT_TRUE(gui::click(chassis_rec[1].radio_btn));
    settle();
    gui::pump_until([] { return false; }, 200); /* give a wrong unset time to show */
    EXPECT_TRUE(toggle_set(chassis_rec[1].radio_btn));
    EXPECT_EQ(current_chassis, 1);
    EXPECT_EQ(view_name(), "smp_frame");

    /* The selected toggle shows its entry's colours inverted. */
    Pixel fg = 0, bg = 0, parent_fg = 0, parent_bg = 0;
    XtVaGetValues(chassis_rec[1].chassis_frm, XmNforeground, &parent_fg, XmNbackground, &parent_bg, nullptr);
    XtVaGetValues(chassis_rec[1].radio_btn, XmNforeground, &fg, XmNbackground, &bg, nullptr);
    EXPECT_EQ(fg, parent_bg);
    EXPECT_EQ(bg, parent_fg);

    click_chassis(2);
    EXPECT_TRUE(toggle_set(chassis_rec[2].radio_btn));
    EXPECT_FALSE(toggle_set(chassis_rec[1].radio_btn));
    XtVaGetValues(chassis_rec[1].radio_btn, XmNforeground, &fg, XmNbackground, &bg, nullptr);
    EXPECT_EQ(fg, parent_fg);
    EXPECT_EQ(bg, parent_bg);
    EXPECT_EQ(view_name(), "ups_frame");
}

constexpr int KINDS_PER_RACK = 5; /* a rack that fits the screen */

/* Racks of five complex types in turn on the same ids, every type from 32 to
 * 51, the management module's 130 and an unknown one: each entry takes a
 * name with its id and a picture that was read, and a click selects it
 * alone, names it above the view and shows a chassis window. */
TEST_F(RackView, EachComplexTypeGetsANamePictureAndWindowAndSelectsByClick)
{
    std::vector<uint8_t> types;
    for (int type = 32; type <= 51; ++type)
        types.push_back(static_cast<uint8_t>(type));
    types.insert(types.end(), {130, 99});
    std::vector<std::string> views;
    for (std::size_t first = 0; first < types.size(); first += KINDS_PER_RACK) {
        const int in_rack = static_cast<int>(std::min<std::size_t>(KINDS_PER_RACK, types.size() - first));
        std::vector<Chassis> rack;
        for (int k = 0; k < in_rack; ++k)
            rack.push_back({static_cast<uint8_t>(k + 1), types[first + k], S_OK, {}});
        show(rack);

        for (int id = in_rack; id >= 1; --id) {
            SCOPED_TRACE(static_cast<int>(types[first + id - 1]));
            const s_cab_chassis_rec &entry = chassis_rec[id];
            const std::string button = gui::label_text(entry.radio_btn);
            EXPECT_TRUE(button.ends_with(std::to_string(id))) << button;
            EXPECT_NE(display::label_pixmap(entry.chassis_icon), XmUNSPECIFIED_PIXMAP);
            click_chassis(id);
            EXPECT_EQ(gui::label_text(chassis_lbl), "Chassis " + std::to_string(id) + " - " + entry.chassis_label);
            views.push_back(view_name());
            EXPECT_NE(views.back(), "(none or several)");
            for (int other = 1; other <= in_rack; ++other)
                EXPECT_EQ(toggle_set(chassis_rec[other].radio_btn), other == id) << other;
        }
    }
    std::sort(views.begin(), views.end());
    EXPECT_GE(std::unique(views.begin(), views.end()) - views.begin(), 16) << "each family has its own window";
}

TEST_F(RackView, MissingInterconnectIsDrawnAsTheKindLastPresentAndBadTreesAsUnknown)
{
    show({{1, 39, S_OK, {}}});
    EXPECT_EQ(gui::label_text(chassis_rec[1].radio_btn), "QNA16G\n1");

    /* Reported Missing as the plain kind: drawn as the 16G switch seen last. */
    show({{1, 35, S_MISSING, {}}});
    EXPECT_EQ(tree_ptr->complex_count, 1);
    EXPECT_EQ(complex(tree_ptr, 0)->complex_type, 39);
    EXPECT_EQ(gui::label_text(chassis_rec[1].radio_btn), "QNA16G\n1");
    EXPECT_TRUE(shows_status(chassis_rec[1].stat_lbl, S_MISSING));

    /* A present plain switch becomes the kind remembered from now on. */
    show({{1, 36, S_OK, {}}});
    show({{1, 39, S_MISSING, {}}});
    EXPECT_EQ(complex(tree_ptr, 0)->complex_type, 36);
    EXPECT_EQ(gui::label_text(chassis_rec[1].radio_btn), "QNB\n1");

    /* A tree that overruns its bytes becomes the Unknown tree. */
    std::vector<uint8_t> bytes = tree::build({{1, 37, S_OK, {same(3, 6, S_OK)}}, {2, 38, S_OK, {}}});
    bytes.resize(bytes.size() - 1);
    EXPECT_EQ(load_status_tree(bytes.data(), bytes.size()), -1);
    settle();
    EXPECT_EQ(rack_order(), (std::vector<int>{1}));
    EXPECT_STREQ(chassis_rec[1].chassis_label, "Server Mgmt.");
    EXPECT_TRUE(shows_status(chassis_rec[1].stat_lbl, S_UNKNOWN));
    EXPECT_EQ(view_name(), "sm_frame");

    /* A tree larger than any answer is refused the same way. */
    std::vector<uint8_t> huge(CMIC_RESULT_SIZE, 0);
    EXPECT_EQ(load_status_tree(huge.data(), huge.size()), -1);
}

TEST_F(RackView, IdsOutsideTheTableAreSkippedAndDuplicatesShareOneEntry)
{
    show({{0, 37, S_OK, {}}, {21, 37, S_OK, {}}, {255, 33, S_OK, {}}, {5, 38, S_FAULT, {}}, {5, 33, S_OK, {}}});
    EXPECT_EQ(rack_order(), (std::vector<int>{5}));
    EXPECT_EQ(chassis_cnt, 1);
    EXPECT_EQ(chassis_rec[0].chassis_frm, nullptr);
    /* The last record of an id wins. */
    EXPECT_EQ(gui::label_text(chassis_rec[5].radio_btn), "UPS\n5");
    EXPECT_TRUE(shows_status(chassis_rec[5].stat_lbl, S_OK));
    click_chassis(5);
    EXPECT_EQ(view_name(), "ups_frame");
}

int node_index(const char *name)
{
    for (int i = 0; i < NodeCount; ++i)
        if (NodeList[i] != nullptr && std::string(NodeText(NodeList[i]->NodeName)) == name)
            return i;
    return -1;
}

TEST_F(RackView, NodeChassisShowTheirNodeAndARereadFindsTheNodesAgain)
{
    /* Before the configuration is read no node matches. */
    show({{3, 45, S_OK, {}}, {8, 33, S_OK, {}}});
    EXPECT_LT(chassis_rec[3].node_id, 0);

    /* The sample installation shipped with the sources; its lock file goes
     * under the console root. */
    std::filesystem::create_directories(console_path("/var/console"));
    ConfigFilename = XR_APP_DEFAULTS_DIR "/sample/nxs.config";
    cfg_file_mtime = 0;
    reread_config_file();
    const int smp001c = node_index("smp001c");
    ASSERT_GT(smp001c, 0);
    EXPECT_EQ(chassis_rec[3].node_id, smp001c);
    EXPECT_EQ(chassis_rec[8].node_id, 0);

    click_chassis(3);
    EXPECT_EQ(view_name(), "node7U_frame");
    EXPECT_EQ(gui::label_text(lbl_node7U_text), "IP: 10.1.1.23\nAlias: ");

    /* An unchanged file is not read again. */
    chassis_rec[3].node_id = 77;
    reread_config_file();
    EXPECT_EQ(chassis_rec[3].node_id, 77);
}

class TestMode : public CabinetDisplay {
protected:
    const char *program_name() const override { return "rack_test"; }
};

TEST_F(TestMode, BuiltInTreeShowsSixChassisEachSelectsByClickAndReloadKeepsTheSelection)
{
    ASSERT_TRUE(IsTestMode());
    update_display(0);
    adjust_rack_window_size();
    settle();

    EXPECT_EQ(rack_order(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(toggle_set(chassis_rec[1].radio_btn));
    EXPECT_EQ(current_chassis, 1);
    EXPECT_EQ(view_name(), "sm2u_frame");
    EXPECT_EQ(gui::label_text(chassis_lbl), "Chassis 1 - Server Mgmt.");
    EXPECT_EQ(gui::label_text(lbl_sm2u_text), "System: rack_test system\nCabinet: rack_test built-in cabinet");
    screenshot("rack_test_chassis_1");

    /* The main form fits the scrolled content. */
    Dimension form_w = 0, form_h = 0, content_w = 0, content_h = 0, menu_h = 0, shadow = 0;
    XtVaGetValues(s_rack_main_form, XmNwidth, &form_w, XmNheight, &form_h, nullptr);
    XtVaGetValues(scrolled_form, XmNwidth, &content_w, XmNheight, &content_h, nullptr);
    XtVaGetValues(menu_bar, XmNheight, &menu_h, nullptr);
    XtVaGetValues(s_rack_main_scroll, XmNshadowThickness, &shadow, nullptr);
    EXPECT_EQ(form_w, content_w + 2 * shadow);
    EXPECT_EQ(form_h, content_h + menu_h + 2 * shadow);

    const std::pair<int, const char *> views[] = {{2, "da2_frame"},   {3, "da2_frame"}, {4, "node7U_frame"},
                                                  {5, "node7U_frame"}, {6, "ups_frame"}, {1, "sm2u_frame"}};
    for (const auto &[id, view] : views) {
        click_chassis(id);
        EXPECT_EQ(view_name(), view) << id;
        EXPECT_TRUE(toggle_set(chassis_rec[id].radio_btn));
        screenshot("rack_test_chassis_" + std::to_string(id));
    }

    /* View -> Reload queries again and keeps the selected chassis. */
    click_chassis(4);
    cmic_cfg_t *first_tree = tree_ptr;
    chassis_rec[4].complex_ptr = nullptr;

    ASSERT_TRUE(gui::click(XtNameToWidget(menu_bar, "view_cascade")));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(reload_btn); }, display::kWaitMs));
    ASSERT_TRUE(gui::click(reload_btn));
    ASSERT_TRUE(gui::pump_until([] { return chassis_rec[4].complex_ptr != nullptr; }, display::kWaitMs));
    settle();
    EXPECT_EQ(tree_ptr, first_tree);
    EXPECT_EQ(current_chassis, 4);
    EXPECT_TRUE(toggle_set(chassis_rec[4].radio_btn));
    EXPECT_FALSE(toggle_set(chassis_rec[1].radio_btn));
    EXPECT_EQ(view_name(), "node7U_frame");
    EXPECT_EQ(chassis_cnt, 6);
}

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

/* Every chassis of the built-in tree, each once (the headings themselves
 * are the detail report's, tested without X). */
bool lists_every_chassis(const std::string &text)
{
    for (int id = 1; id <= 6; ++id)
        if (count_substr(text, "CHASSIS " + std::to_string(id) + " (") != 1)
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
    /* 0. Built hidden, read-only. */
    ASSERT_TRUE(IsTestMode());
    EXPECT_FALSE(XtIsManaged(s_detail_frame));
    EXPECT_EQ(gui::shell_title(s_detail_frame), "Cabinet Status Detail");
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

/* The automatic refresh runs update_display on its own, but not while a
 * question waits for the operator: the turns that come due meanwhile are
 * skipped, and refreshing resumes once it is answered. */
TEST_F(TestMode, AutoRefreshSkipsItsTurnsWhileAVerifyBoxIsUp)
{
    update_display(0);
    settle();
    start_auto_refresh(app_context, 20);
    ASSERT_TRUE(gui::pump_until([] { return auto_refresh_counts().refreshed >= 2; }, kWaitMs));

    /* The operator answers OK once three turns came due with the question up. */
    const AutoRefreshCounts opened = auto_refresh_counts();
    AutoRefreshCounts answered{};
    std::function<void()> look = [&] {
        const AutoRefreshCounts now = auto_refresh_counts();
        Widget box = XtNameToWidget(rack_cabstat_dlg, "*error_widget");
        if (box == nullptr || now.skipped + now.refreshed < opened.skipped + opened.refreshed + 3)
            return gui::run_later(5, look);
        answered = now;
        XtCallCallbacks(box, XmNokCallback, nullptr);
    };
    gui::run_later(5, look);
    EXPECT_EQ(ModalVerifyDialog(nullptr, "Cabinet Status - Cab001", "Go on?", DIALOG_QUESTION, nullptr), 1);
    EXPECT_EQ(answered.refreshed, opened.refreshed) << "a refresh ran under the question";
    EXPECT_GE(answered.skipped, opened.skipped + 3);
    EXPECT_TRUE(gui::pump_until([&] { return auto_refresh_counts().refreshed > answered.refreshed; }, kWaitMs))
        << "no refresh after the answer";
    EXPECT_EQ(rack_order(), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    start_auto_refresh(app_context, 0);
}

} // namespace
