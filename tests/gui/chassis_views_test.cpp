/* chassis_views_test.cpp - what each chassis view shows for trees of every kind. */
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/unit_lookup.h"
#include "tests/gui/cabinet_display.h"

namespace {

using namespace display;
using namespace tree;


using ChassisViews = CabinetDisplay;

/* Runs `paint` with traces at level 1 and returns what it printed. */
template <typename F> std::string traces_of(F paint)
{
    debug = 1;
    testing::internal::CaptureStdout();
    paint();
    std::fflush(stdout);
    debug = 0;
    return testing::internal::GetCapturedStdout();
}

TEST_F(ChassisViews, DiskGridTakesTheLargestColumnCountThatDividesTheDisks)
{
    struct Case {
        int disks, columns, rows;
        Widget *lbl;
        Widget *stat;
        const char *last_name;
    };
    const Case cases[] = {
        {30, 10, 3, lbl_da2_dsks, stat_da2_dsks, "3-10"},
        {28, 14, 2, lbl_da2_dsks4, stat_da2_dsks4, "2-14"},
        {29, 14, 3, lbl_da2_dsks4, stat_da2_dsks4, "3-1"},
        {56, 14, 4, lbl_da2_dsks4, stat_da2_dsks4, "4-14"},
        {33, 11, 3, lbl_da2_dsks1, stat_da2_dsks1, "3-11"},
        {48, 12, 4, lbl_da2_dsks2, stat_da2_dsks2, "4-12"},
        {52, 13, 4, lbl_da2_dsks3, stat_da2_dsks3, "4-13"},
        {30, 10, 3, lbl_da2_dsks, stat_da2_dsks, "3-10"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.disks);
        std::vector<uint8_t> statuses(c.disks, S_OK);
        statuses.back() = S_FAULT;
        show({{1, 38, S_OK, {Sub{11, statuses}}}});
        ASSERT_EQ(view_name(), "da2_frame");
        EXPECT_EQ(hdd_cols, c.columns);
        for (int r = 1; r < DA2_DISK_ROWS; ++r)
            EXPECT_EQ(managed(hdd_dsk_rows[r]), r < c.rows) << "row " << r + 1;
        for (int col = 10; col < DA2_DISK_COLUMNS; ++col)
            EXPECT_EQ(managed(frm_da2_dsk_cells[0][col]), col < c.columns) << "column " << col + 1;
        EXPECT_EQ(gui::label_text(c.lbl[0]), "1-1");
        EXPECT_EQ(gui::label_text(c.lbl[c.columns]), "2-1");
        EXPECT_EQ(gui::label_text(c.lbl[c.disks - 1]), c.last_name);
        EXPECT_TRUE(shows_status(c.stat[c.disks - 1], S_FAULT));
        EXPECT_TRUE(shows_status(c.stat[0], S_OK));
    }
    screenshot("chassis_disk_grid");
}

TEST_F(ChassisViews, NodeMemoryRowsAndPciSlotsFollowTheUnits)
{
    show({{1, 45, S_OK, {same(29, 20, S_OK)}}});
    ASSERT_EQ(view_name(), "node7U_frame");
    EXPECT_TRUE(managed(node7U_mem1thru16_widget));
    EXPECT_TRUE(managed(node7U_mem17thru32_widget));
    EXPECT_TRUE(managed(frm_node7U_mems[19]));
    EXPECT_FALSE(managed(frm_node7U_mems[20]));
    EXPECT_TRUE(shows_status(stat_node7U_mems[19], S_OK, 1));

    show({{1, 45, S_OK, {same(29, 16, S_OK)}}});
    EXPECT_TRUE(managed(node7U_mem1thru16_widget));
    EXPECT_FALSE(managed(node7U_mem17thru32_widget));

    /* No memory reported: both rows stay hidden. */
    show({{1, 45, S_OK, {same(3, 6, S_OK)}}});
    EXPECT_FALSE(managed(node7U_mem1thru16_widget));
    EXPECT_FALSE(managed(node7U_mem17thru32_widget));

    /* The older node shows its second memory module from seventeen strips. */
    show({{1, 43, S_OK, {same(29, 17, S_OK)}}});
    ASSERT_EQ(view_name(), "quartz_node_frame");
    EXPECT_TRUE(managed(quartz_mem1thru16_widget));
    EXPECT_TRUE(managed(quartz_mem17thru32_widget));
    show({{1, 43, S_OK, {same(29, 8, S_OK)}}});
    EXPECT_FALSE(managed(quartz_mem17thru32_widget));

    /* PCI slots show the units from the third on; the rest show Unknown. */
    show({{1, 45, S_OK, {Sub{33, {S_OK, S_OK, S_FAULT, S_OK, S_OFF, S_OK, S_OK, S_OK}}}}});
    EXPECT_TRUE(shows_status(stat_node7U_pci[0], S_FAULT));
    EXPECT_TRUE(shows_status(stat_node7U_pci[2], S_OFF));

    show({{1, 45, S_OK, {Sub{33, {S_OK, S_OK, S_FAULT}}}}});
    EXPECT_TRUE(shows_status(stat_node7U_pci[0], S_FAULT));
    EXPECT_TRUE(shows_status(stat_node7U_pci[5], S_UNKNOWN));
}

TEST_F(ChassisViews, SlotFramesFollowTheUnitsSurplusIsReportedAndEmptyKindsShowSubstitutes)
{
    show({{1, 35, S_OK, {Sub{3, {S_OK, S_FAULT, S_OFF}}}}});
    ASSERT_EQ(view_name(), "quonet_frame");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(managed(frm_qn_fans[i])) << i;
    EXPECT_FALSE(managed(frm_qn_fans[3]));
    EXPECT_TRUE(shows_status(stat_qn_fans[1], S_FAULT));
    EXPECT_TRUE(shows_status(stat_qn_fans[2], S_OFF));

    const std::string out = traces_of([] { show({{1, 35, S_OK, {same(3, 6, S_OK)}}}); });
    EXPECT_NE(out.find("Not enough icons to show all units. subtype=3, num_icons=4, units=6\n"), std::string::npos)
        << out;
    EXPECT_TRUE(managed(frm_qn_fans[3]));

    /* Kinds the window has no slots for are reported, nothing else. */
    const std::string none =
        traces_of([] { show({{1, 35, S_OK, {same(28, 2, S_OK), same(44, 1, S_OK), same(60, 1, S_OK)}}}); });
    EXPECT_NE(none.find("show_chassis...: No icons for Chassis Voltage\n"), std::string::npos) << none;
    EXPECT_NE(none.find("show_chassis...: No icons for MB type (0x2c)\n"), std::string::npos) << none;
    EXPECT_NE(none.find("show_chassis...: No icons for this component type (0x3c)\n"), std::string::npos) << none;

    /* Kinds reported without units show substitutes instead of stale colours. */
    show({{1, 45, S_OK, {same(3, 6, S_OK), same(26, 4, S_OK)}}});
    ASSERT_TRUE(shows_status(stat_node7U_fans[5], S_OK));

    /* The same chassis reporting the kinds without units. */
    show({{1, 45, S_OK, {Sub{3, {}}, Sub{26, {}}, Sub{29, {}}}}});
    for (int i = 0; i < node7U_fans_SLOTS; ++i)
        EXPECT_TRUE(shows_status(stat_node7U_fans[i], S_UNKNOWN)) << i;
    for (int i = 0; i < node7U_cpus_SLOTS; ++i)
        EXPECT_TRUE(shows_status(stat_node7U_cpus[i], S_UNKNOWN)) << i;
    EXPECT_TRUE(managed(frm_node7U_mems[15]));
    EXPECT_FALSE(managed(frm_node7U_mems[16]));

    /* A main board without units takes the status of its chassis. */
    show({{1, 37, S_FAULT, {Sub{2, {}}, Sub{4, {}}}}});
    ASSERT_EQ(view_name(), "smp_frame");
    EXPECT_TRUE(shows_status(stat_smp_smbs[0], S_FAULT));
    /* Power supplies have no substitute on this kind: nothing to show. */
    for (int i = 0; i < smp_pwrs_SLOTS; ++i)
        EXPECT_FALSE(managed(frm_smp_pwrs[i])) << i;
}

TEST_F(ChassisViews, BoardSlotsNameTheirChassisTheFirstTransferBoardTheMlanLinksAndMismatchesAreReported)
{
    /* Chassis 2 and 3 (an older node and a switch) hang on the first
     * transfer board with the two MLAN links; the disk array 4 needs a
     * management board of its own. */
    show({{1, 130, S_OK, {Sub{9, {S_OK, 79, 78, 92, S_MISSING, S_OFF}}}},
          {2, 37, S_OK, {}},
          {3, 35, S_OK, {}},
          {4, 38, S_OK, {same(2, 1, S_FAULT)}}});
    ASSERT_EQ(view_name(), "sm_frame");
    EXPECT_EQ(ptbs_needed(), 1);
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[1]), "PTB 2\n(MLAN A)\n(MLAN B)\n(SMP 2)\n(QNA 3)");
    EXPECT_TRUE(shows_status(stat_smc_rcmbs[1], S_NO_STATUS));
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[2]), "\nRCMB 3\n(DAMC 4)\n\n");
    EXPECT_TRUE(shows_status(stat_smc_rcmbs[2], S_FAULT));
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[3]), "\nSLOT 4\nUNUSED\n\n");
    EXPECT_FALSE(XtIsSensitive(btn_smc_rcmbs[3]));
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[4]), "\nMissing\n\n(?)\n\n");
    EXPECT_TRUE(shows_status(stat_smc_rcmbs[4], S_MISSING));
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[5]), "\nSLOT 6\n\n\n");
    EXPECT_TRUE(shows_status(stat_smc_rcmbs[5], S_OFF));
    for (int slot = 6; slot < smc_rcmbs_SLOTS; ++slot)
        EXPECT_FALSE(managed(frm_smc_slots[slot])) << slot;
    int ids[CHASSIS_IDS_PER_SLOT];
    EXPECT_EQ(rcmb_slot_to_chassis_ids(1, ids), 79);
    EXPECT_EQ((std::vector<int>(ids, ids + 4)), (std::vector<int>{MLAN_A, MLAN_B, 2, 3}));
    screenshot("chassis_board_slots");

    /* A slot used again becomes sensitive again. */
    show({{1, 130, S_OK, {Sub{9, {S_OK, 79, 78, 78}}}}, {2, 37, S_OK, {}}, {3, 35, S_OK, {}}, {4, 38, S_OK, {}}});
    EXPECT_TRUE(XtIsSensitive(btn_smc_rcmbs[3]));
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[3]), "\nRCMB 4\n(?)\n\n");
    EXPECT_TRUE(managed(frm_smc_slots[3]));

    /* The small management chassis with five older chassis: the first
     * group (MLAN A, MLAN B, 2, 3) is full, 4, 5 and 6 open a second one
     * that the UPS 7 closes. */
    show({{1, 44, S_OK, {Sub{9, {S_OK, 79, 112, 78, 92, 92, 92, 92}}}},
          {2, 37, S_OK, {}},
          {3, 37, S_OK, {}},
          {4, 36, S_OK, {}},
          {5, 37, S_OK, {}},
          {6, 37, S_OK, {}},
          {7, 33, S_OK, {same(2, 1, S_OK)}}});
    ASSERT_EQ(view_name(), "sm2u_frame");
    EXPECT_EQ(SscType, 2);
    EXPECT_EQ(ptbs_needed(), 2);
    EXPECT_EQ(gui::label_text(lbl_smc2u_rcmbs[1]), "PTB 2\n(MLAN A)\n(MLAN B)\n(SMP 2)\n(SMP 3)");
    EXPECT_EQ(gui::label_text(lbl_smc2u_rcmbs[2]), "\nPTBX 3\n(QNB 4)\n(SMP 5)\n(SMP 6)");
    EXPECT_EQ(gui::label_text(lbl_smc2u_rcmbs[3]), "\nRCMB 4\n(UPS 7)\n\n");
    EXPECT_TRUE(shows_status(stat_smc2u_rcmbs[3], S_OK));
    EXPECT_EQ(gui::label_text(lbl_sm2u_text), "System: test system\nCabinet: test cabinet");

    /* Boards that cannot be matched with chassis are reported. */
    std::string message;
    gui::run_later(100, [&message] {
        Widget ok = nullptr;
        gui::pump_until(
            [&ok] {
                ok = XtNameToWidget(rack_cabstat_dlg, "*error_widget.OK");
                return gui::is_shown(ok);
            },
            display::kWaitMs);
        message = gui::message_text(XtNameToWidget(rack_cabstat_dlg, "*error_widget"));
        gui::click(ok);
    });
    /* Two RCMBs present, but only one chassis needs one. */
    show({{1, 130, S_OK, {Sub{9, {S_OK, 79, 78, 78, 92, 92, 92, 92, 92}}}}, {2, 38, S_OK, {}}});
    EXPECT_EQ(message, "Unable to match RCMBs with Chassis. CMIC may\nbe in configuration process.");
}

TEST_F(ChassisViews, UpsKindsDrawTheirPartsSwitchesAndLegsAndUnknownWhenSilent)
{
    show({{1, 33, S_NOCOMM, {same(1, 1, 58)}}});
    ASSERT_EQ(view_name(), "ups_frame");
    EXPECT_TRUE(managed(frm_ups_temp));
    EXPECT_EQ(gui::label_text(lbl_ups_temp), "Temperature\nNormal");
    EXPECT_TRUE(managed(frm_ups_pwrs[0]));
    EXPECT_FALSE(managed(frm_ups_pwr2));
    EXPECT_TRUE(shows_status(stat_ups_pwrs[0], S_UNKNOWN));
    EXPECT_EQ(gui::label_text(lbl_ups_pwrs[0]), "AC Input\nUnknown");
    EXPECT_TRUE(shows_status(stat_ups_bats[0], S_UNKNOWN));
    EXPECT_EQ(gui::label_text(lbl_ups_bats[0]), "BAT\nUnknown");
    EXPECT_FALSE(managed(frm_ups2));

    /* In a cabinet with an 8830 chassis the UPS has two batteries. */
    show({{1, 33, S_NOCOMM, {same(1, 1, 58)}}, {2, 37, S_OK, {}}});
    EXPECT_TRUE(managed(frm_ups2));
    EXPECT_EQ(gui::label_text(lbl_ups_bats[1]), "BAT 2\nUnknown");
    EXPECT_EQ(is_8830_cabinet(), 1);

    /* The UPS with input selector, and a status of 99 as well. */
    show({{1, 42, 99, {}}});
    ASSERT_EQ(view_name(), "ups_dam_frame");
    EXPECT_FALSE(managed(frm_ups_dam2));
    EXPECT_TRUE(shows_status(stat_ups_dam_dams3, S_UNKNOWN));
    EXPECT_EQ(display::label_pixmap(btn_ups_dam_dams3), picture_pixmap(btn_ups_dam_dams3, TEST_ICONS "DAM_NONE.tsl"));
    EXPECT_EQ(gui::label_text(lbl_ups_dam_dams1), " LEG  A \nUnknown");
    EXPECT_TRUE(shows_status(stat_ups_dam_pwrs[0], S_UNKNOWN));
    screenshot("chassis_ups_nocomm");

    /* The 2U UPS switches follow the inputs and the converter chain. */
    show({{1, 46, S_OK, {same(15, 2, S_OK), same(34, 1, S_OK)}}});
    ASSERT_EQ(view_name(), "ups2U_frame");
    auto shows = [](Widget w, const char *picture) {
        return display::label_pixmap(w) == picture_pixmap(w, picture);
    };
    EXPECT_TRUE(shows(btn_ups2U_ABswitch, TEST_ICONS "SwitchA_V.tsl"));
    EXPECT_TRUE(shows(btn_ups2U_INswitch, TEST_ICONS "SwitchB_V.tsl"));
    EXPECT_TRUE(shows(btn_ups2U_BPswitch, TEST_ICONS "SwitchA_V.tsl"));

    show({{1, 46, S_OK, {Sub{15, {S_FAULT, S_OK}}, same(36, 1, S_FAULT)}}});
    EXPECT_TRUE(shows(btn_ups2U_ABswitch, TEST_ICONS "SwitchB_V.tsl"));
    EXPECT_TRUE(shows(btn_ups2U_INswitch, TEST_ICONS "SwitchB_V.tsl"));
    EXPECT_TRUE(shows(btn_ups2U_BPswitch, TEST_ICONS "SwitchB_V.tsl"));

    show({{1, 46, S_NOCOMM, {}}});
    EXPECT_TRUE(shows(btn_ups2U_INswitch, TEST_ICONS "SwitchA_V.tsl"));
    for (int i = 0; i < ups2U_loads_SLOTS; ++i)
        EXPECT_TRUE(managed(frm_ups2U_loads[i]) && shows_status(stat_ups2U_loads[i], S_UNKNOWN)) << i;
    EXPECT_TRUE(shows_status(stat_ups2U_chargers[0], S_UNKNOWN));

    /* The input selector shows the leg it runs on. */
    show({{1, 42, S_OK, {Sub{20, {S_FAULT, S_OK, S_OK}}, same(13, 2, 60)}}});
    ASSERT_EQ(view_name(), "ups_dam_frame");
    EXPECT_EQ(display::label_pixmap(btn_ups_dam_dams3), picture_pixmap(btn_ups_dam_dams3, TEST_ICONS "DAM_B.tsl"));
    EXPECT_EQ(gui::label_text(lbl_ups_dam_dams1), " LEG  A \nFault");
    EXPECT_EQ(gui::label_text(lbl_ups_dam_dams3), " Input Selector \n  STATUS \nOK");
    EXPECT_EQ(gui::label_text(lbl_ups_dam_bats[1]), "BAT 2\nRest");
    EXPECT_TRUE(managed(frm_ups_dam2));

    show({{1, 42, S_OK, {Sub{20, {S_OK, S_FAULT, S_OK}}}}});
    EXPECT_EQ(display::label_pixmap(btn_ups_dam_dams3), picture_pixmap(btn_ups_dam_dams3, TEST_ICONS "DAM_A.tsl"));
}

TEST_F(ChassisViews, ConvertersSitInTheirSlotOrderAndTemperaturesSayHowWarm)
{
    std::vector<uint8_t> statuses = {S_OK, S_OK, S_FAULT, S_OK, S_OK, S_OK, S_OK, S_OK, S_OFF};
    show({{1, 40, S_OK, {Sub{21, statuses}}}});
    ASSERT_EQ(view_name(), "quonet_qn64g_frame");
    EXPECT_STREQ(XtName(stat_qna64g_convs[2]), "stat_qn64g_conv9");
    EXPECT_TRUE(shows_status(stat_qna64g_convs[2], S_FAULT));
    EXPECT_TRUE(shows_status(stat_qna64g_convs[8], S_OFF));
    EXPECT_EQ(gui::label_text(lbl_qna64g_convs[0]), "DC to DC\n Converter\nOK");
    EXPECT_EQ(gui::label_text(lbl_qna64g_convs[3]), "DC to DC\n Converter 2\nOK");
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(managed(frm_qna64g_convs[i])) << i;

    /* Switch B: five converters, the other four slots hidden. */
    const std::string out = traces_of([] { show({{1, 41, S_OK, {same(21, 7, S_OK)}}}); });
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(managed(frm_qnb64g_convs[i])) << i;
    for (int i = 5; i < 9; ++i)
        EXPECT_FALSE(managed(frm_qnb64g_convs[i])) << i;
    EXPECT_NE(out.find("Not enough icons to show all units. subtype=15, num_icons=5, units=7\n"), std::string::npos)
        << out;

    /* Temperatures say how warm. */
    show({{1, 37, S_OK, {same(1, 1, 56)}}});
    EXPECT_EQ(gui::label_text(lbl_smp_temp), "Temperature\nCritical");
    EXPECT_TRUE(shows_status(stat_smp_temp, 56));
    show({{1, 37, S_OK, {same(1, 1, 57)}}});
    EXPECT_EQ(gui::label_text(lbl_smp_temp), "Temperature\nWarning");
    const std::string two = traces_of([] { show({{1, 37, S_OK, {same(1, 2, S_FAULT)}}}); });
    EXPECT_EQ(gui::label_text(lbl_smp_temp), "Temperature\nFault");
    EXPECT_NE(two.find("show_chassis_temp: Expected 1 unit for TEMP, found 2\n"), std::string::npos) << two;
    show({{1, 37, S_OK, {Sub{1, {}}}}});
    EXPECT_EQ(gui::label_text(lbl_smp_temp), "Temperature\nUnknown");
    EXPECT_TRUE(shows_status(stat_smp_temp, S_UNKNOWN));

    /* The 7U node names its sensors; the sixth has no name. */
    show({{1, 45, S_OK, {Sub{1, {58, 57, 58, 58, 58, 56}, 1}, same(30, 2, 57)}}});
    EXPECT_EQ(gui::label_text(lbl_node7U_temps[0]), "Basebd Sensor 1\nTemperature\nNormal");
    EXPECT_EQ(gui::label_text(lbl_node7U_temps[1]), "Basebd Sensor 2\nTemperature\nWarm");
    EXPECT_EQ(gui::label_text(lbl_node7U_temps[5]), "Temperature 6\nHot");
    EXPECT_TRUE(managed(frm_node7U_cputemps[1]));
    EXPECT_FALSE(managed(frm_node7U_cputemps[2]));
    EXPECT_TRUE(shows_status(stat_node7U_cputemps[1], 57));

    /* The newer disk array has four sensors. */
    show({{1, 38, S_OK, {Sub{1, {58, 56}}}}});
    EXPECT_TRUE(shows_status(stat_da2_temps[1], 56));
    EXPECT_EQ(gui::label_text(lbl_da2_temps[1]), "Temperature\nCritical");
    EXPECT_TRUE(shows_status(stat_da2_temps[2], S_UNKNOWN));
    EXPECT_EQ(gui::label_text(lbl_da2_temps[2]), "Temperature\nUnknown");
}

} // namespace
