/*
 * windows_layout_test.cpp - the window builders under a real X server: every
 * window builds, every named widget exists exactly once under its name, the
 * widget arrays the chassis views walk have their length, order and NULL
 * end, the component toggles carry their pictures and reach cru_repl_cb,
 * the menus work, and every icon file the display names is a readable X
 * bitmap.  Each test leaves a screenshot of what it built in $XR_ARTIFACTS.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <Xm/Form.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/layouts/rack_windows.h"
#include "app/s_get_colors.h"
#include "app/s_rack_disp.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/trace.h"
#include "help/help.h"
#include "tests/support/gui_harness.h"
#include "ui/x_util.h"

namespace {

constexpr int kWaitMs = 3000;

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("CONSOLE_ROOT", XR_DATA_ROOT, 1);
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
    }

    /* The cabinet window as start-up builds it, realized at full size. */
    void build_main_window()
    {
        static char name[] = "rack_test";
        static char *argv[] = {name, nullptr};
        create_rack_cabstat_dlg(XtDisplay(Toplevel), "rack_test", 1, argv, "Cabinet Status - Cab001");
        ASSERT_NE(rack_cabstat_dlg, nullptr);
    }

    void show(Widget shell, Dimension width, Dimension height)
    {
        XtVaSetValues(shell, XmNx, 0, XmNy, 0, XmNwidth, width, XmNheight, height, nullptr);
        XtRealizeWidget(shell);
        Widget content = XtNameToWidget(shell, "*s_rack_main_form");
        ASSERT_TRUE(gui::pump_until([&] { return gui::is_shown(content); }, kWaitMs));
        gui::pump_pending();
    }

    static void screenshot(const std::string &name)
    {
        const char *dir = std::getenv("XR_ARTIFACTS");
        if (dir == nullptr)
            return;
        gui::pump_pending();
        XSync(XtDisplay(Toplevel), False);
        EXPECT_TRUE(gui::save_screenshot(std::string(dir) + "/windows_" + name + ".png"));
    }
};

/* Names of all widgets below w with a slot prefix, counted. */
void count_slot_names(Widget w, std::map<std::string, int> &names)
{
    const std::string name = XtName(w);
    for (const char *prefix : {"btn_", "stat_", "frm_", "lbl_"})
        if (name.rfind(prefix, 0) == 0)
            ++names[name];
    if (!XtIsComposite(w))
        return;
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(w, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    for (Cardinal i = 0; i < count; ++i)
        count_slot_names(children[i], names);
}

void expect_names_unique(Widget window)
{
    std::map<std::string, int> names;
    count_slot_names(window, names);
    EXPECT_GT(names.size(), 4u);
    for (const auto &[name, count] : names)
        EXPECT_EQ(count, 1) << name << " is not unique in " << XtName(window);
}

/* A widget array: n widgets, NULL after them, each found under `window`
 * by its name, named "<prefix><stem><number>" in order when a stem is
 * given. */
void expect_array(Widget window, Widget *array, int n, const char *prefix, const char *stem, int first = 1)
{
    for (int i = 0; i < n; ++i) {
        ASSERT_NE(array[i], nullptr) << prefix << stem << " entry " << i;
        const std::string name = XtName(array[i]);
        if (stem != nullptr) {
            EXPECT_EQ(name, std::string(prefix) + stem + std::to_string(first + i));
        }
        EXPECT_EQ(XtNameToWidget(window, ("*" + name).c_str()), array[i]) << name;
    }
    EXPECT_EQ(array[n], nullptr) << prefix << (stem ? stem : "") << " has no NULL after " << n;
}

/* The four arrays of a slot family, named <stem><first>... in order. */
#define EXPECT_FAMILY(window, family, stem, n, first)                                                    \
    do {                                                                                                 \
        EXPECT_EQ(family##_SLOTS, n);                                                                    \
        expect_array(window, frm_##family, n, "frm_", stem, first);                                      \
        expect_array(window, btn_##family, n, "btn_", stem, first);                                      \
        expect_array(window, stat_##family, n, "stat_", stem, first);                                    \
        expect_array(window, lbl_##family, n, "lbl_", stem, first);                                      \
    } while (0)
#define EXPECT_SENSORS(window, family, stem, n)                                                          \
    do {                                                                                                 \
        EXPECT_EQ(family##_SLOTS, n);                                                                    \
        expect_array(window, frm_##family, n, "frm_", stem);                                             \
        expect_array(window, stat_##family, n, "stat_", stem);                                           \
        expect_array(window, lbl_##family, n, "lbl_", stem);                                             \
    } while (0)

Pixmap pixmap_resource(Widget w, const char *resource)
{
    Pixmap p = XmUNSPECIFIED_PIXMAP;
    XtVaGetValues(w, resource, &p, nullptr);
    return p;
}

/* The pixmap XmGetPixmap gives for an installed picture in w's colours. */
Pixmap cached_pixmap(Widget w, const char *installed_path)
{
    Pixel fg = 0, bg = 0;
    XtVaGetValues(w, XmNforeground, &fg, XmNbackground, &bg, nullptr);
    return XmGetPixmap(XtScreen(w), xs(console_path(installed_path)), fg, bg);
}

/* A slot as it starts: the picture and "_f" picture, status unknown. */
void expect_fresh_slot(Widget btn, Widget stat, const char *picture)
{
    const std::string path = std::string("/opt/console/icons/") + picture;
    EXPECT_EQ(pixmap_resource(btn, XmNlabelPixmap), cached_pixmap(btn, path.c_str())) << XtName(btn);
    Pixel fg = 0, bg = 0;
    XtVaGetValues(btn, XmNforeground, &fg, XmNbackground, &bg, nullptr);
    EXPECT_EQ(pixmap_resource(btn, XmNselectPixmap),
              XmGetPixmap(XtScreen(btn), xs(console_path(path + "_f")), fg, bg)) << XtName(btn);
    EXPECT_EQ(pixmap_resource(stat, XmNlabelPixmap), cached_pixmap(stat, "/opt/console/icons/STAT.unkn"))
        << XtName(stat);
    EXPECT_TRUE(XtHasCallbacks(btn, XmNvalueChangedCallback) == XtCallbackHasSome) << XtName(btn);
}

TEST_F(Windows, MainWindowHasItsWidgetsMenusAndBuiltInChassisWindowsWithTheirArrays)
{
    build_main_window();
    EXPECT_EQ(gui::shell_title(s_rack_main_form), "Cabinet Status - Cab001");

    const std::vector<std::pair<Widget, const char *>> named = {
        {s_rack_main_form, "s_rack_main_form"}, {menu_bar, "menu_bar"}, {s_rack_main_scroll, "s_rack_main_scroll"},
        {scrolled_form, "scrolled_form"},       {cab_rc, "cab_rc"},     {cab_lbl, "cab_lbl"},
        {chassis_lbl, "chassis_lbl"},           {rack_divider, "rack_divider"},
        {function_btn, "function_btn"},         {btn_replace, "btn_replace"},
        {btn_power_on, "btn_power_on"},         {btn_power_off, "btn_power_off"},
    };
    for (const auto &[w, name] : named) {
        ASSERT_NE(w, nullptr) << name;
        EXPECT_STREQ(XtName(w), name);
    }
    for (auto [w, text] : {std::pair{cab_lbl, "Cabinet 1"}, {chassis_lbl, "Chassis SMP 1"}, {exit_btn, "Exit"},
                           {reload_btn, "Reload"}, {btn_replace, "FRU Replace"}, {btn_power_on, "FRU Power On"},
                           {btn_power_off, "FRU Power Off"}, {key_btn, "Symbol Key"}, {contents_btn, "Contents"}})
        EXPECT_EQ(gui::label_text(w), text) << XtName(w);

    /* The built-in chassis windows hang below chassis_lbl; only the empty
     * view is shown before a chassis is chosen. */
    for (Widget frame : {smp_frame, sm_frame, sm2u_frame, quonet_frame, quonet_qna16g_frame, quonet_qn64g_frame,
                         ups_frame, ups_dam_frame, empty_frame}) {
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(XtParent(frame), scrolled_form) << XtName(frame);
        Widget top = nullptr;
        XtVaGetValues(frame, XmNtopWidget, &top, nullptr);
        EXPECT_EQ(top, chassis_lbl) << XtName(frame);
        EXPECT_EQ(XtIsManaged(frame), frame == empty_frame) << XtName(frame);
        if (frame != empty_frame)
            expect_names_unique(frame);
    }
    ASSERT_NE(empty_label, nullptr);
    ASSERT_NE(empty_btn, nullptr);
    expect_names_unique(s_rack_main_form);

    /* Opened at its own size, the window lays every chassis window out at
     * the size of its content. */
    XtRealizeWidget(rack_cabstat_dlg);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(empty_btn); }, kWaitMs));
    Dimension scroll_width = 0, frame_width = 0, button_width = 0;
    XtVaGetValues(s_rack_main_scroll, XmNwidth, &scroll_width, nullptr);
    XtVaGetValues(empty_frame, XmNwidth, &frame_width, nullptr);
    XtVaGetValues(empty_btn, XmNwidth, &button_width, nullptr);
    EXPECT_GE(scroll_width, 800);
    EXPECT_GT(frame_width, button_width);
    XtUnmanageChild(empty_frame);
    XtManageChild(smp_frame);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(btn_smp_fans[5]); }, kWaitMs));
    XtVaGetValues(smp_frame, XmNwidth, &frame_width, nullptr);
    EXPECT_GT(frame_width, 6 * 32) << "six fans side by side";
    screenshot("main");

    /* The built-in chassis windows provide their arrays. */
    EXPECT_FAMILY(smp_frame, smp_fans, "smp_fan", 6, 1);
    EXPECT_FAMILY(smp_frame, smp_pwrs, "smp_pwr", 4, 1);
    EXPECT_FAMILY(smp_frame, smp_smbs, "smp_smb", 1, 1);
    EXPECT_EQ(gui::label_text(lbl_smp_temp), "Temperature\nUnknown");

    /* Server management: slot tables, the CMB shared with the cmbs table. */
    EXPECT_FAMILY(sm_frame, smc_fans, "smc_fan", 4, 1);
    EXPECT_FAMILY(sm_frame, smc_convs, "smc_conv", 4, 1);
    EXPECT_FAMILY(sm_frame, smc_cpufans, "smc_cpufan", 2, 1);
    EXPECT_FAMILY(sm_frame, smc_extpwrs, "smc_extpwr", 2, 1);
    EXPECT_FAMILY(sm_frame, smc_vrs, "smc_vr", 4, 1);
    expect_array(sm_frame, frm_smc_slots, 11, "frm_", "smc_slot");
    expect_array(sm_frame, btn_smc_rcmbs, 11, "btn_", nullptr);
    EXPECT_STREQ(XtName(btn_smc_rcmbs[0]), "btn_smc_cmb");
    EXPECT_STREQ(XtName(btn_smc_rcmbs[1]), "btn_smc_rcmb2");
    EXPECT_STREQ(XtName(btn_smc_rcmbs[10]), "btn_smc_rcmb11");
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[0]).substr(0, 9), "\nCMB\nRACK");
    EXPECT_EQ(gui::label_text(lbl_smc_rcmbs[10]).substr(0, 8), "\nRCMB 11");
    EXPECT_EQ(btn_smc_cmbs[0], btn_smc_rcmbs[0]);
    EXPECT_EQ(btn_smc_cmics[0], btn_smc_cmic);
    EXPECT_EQ(stat_smc_cmics[0], stat_smc_cmic);
    expect_array(sm2u_frame, frm_smc2u_slots, 8, "frm_", "smc2u_slot");
    expect_array(sm2u_frame, stat_smc2u_rcmbs, 8, "stat_", nullptr);
    EXPECT_STREQ(XtName(stat_smc2u_rcmbs[7]), "stat_smc2u_rcmb8");
    EXPECT_EQ(frm_smc2u_fan1, frm_smc2u_fans[0]);
    EXPECT_STREQ(XtName(frm_smc2u_fan1), "frm_smc2u_fan1");

    /* Interconnects; the 64G converters in the unit order of each switch. */
    EXPECT_FAMILY(quonet_frame, qn_switchs, "qn_switch", 2, 1);
    EXPECT_FAMILY(quonet_qna16g_frame, qna16g_monis, "qna16g_moni", 2, 1);
    EXPECT_FAMILY(quonet_qn64g_frame, qn64g_power_fans, "qn64g_power_fan", 4, 1);
    const int a_slots[] = {5, 1, 9, 2, 8, 3, 7, 4, 6};
    const int b_slots[] = {5, 1, 2, 3, 4, 6, 7, 8, 9};
    for (int unit = 0; unit < 9; ++unit) {
        EXPECT_EQ(XtName(btn_qna64g_convs[unit]), "btn_qn64g_conv" + std::to_string(a_slots[unit]));
        EXPECT_EQ(XtName(frm_qnb64g_convs[unit]), "frm_qn64g_conv" + std::to_string(b_slots[unit]));
    }
    EXPECT_EQ(btn_qna64g_convs[9], nullptr);
    EXPECT_EQ(frm_qnb64g_convs[9], nullptr);

    /* UPS kinds. */
    EXPECT_FAMILY(ups_frame, ups_bats, "ups_bat", 2, 1);
    EXPECT_EQ(frm_ups2, frm_ups_bats[1]);
    EXPECT_EQ(frm_ups_pwr2, frm_ups_pwrs[1]);
    EXPECT_FAMILY(ups_dam_frame, ups_dam_pwrs, "ups_dam_pwr", 1, 1);
    EXPECT_EQ(frm_ups_dam2, frm_ups_dam_bats[1]);
    EXPECT_EQ(gui::label_text(lbl_ups_dam_dams3), " Input Selector \n  STATUS ");
    expect_fresh_slot(btn_ups_dam_dams3, stat_ups_dam_dams3, "DAM_NONE.tsl");
    expect_fresh_slot(btn_smp_fans[5], stat_smp_fans[5], "FAN.tsl");
    expect_fresh_slot(btn_smc_rcmbs[4], stat_smc_rcmbs[4], "SMB.tsl");

    /* Each one shown in turn in the cabinet window. */
    show(rack_cabstat_dlg, 1270, 1000);
    Widget shown = empty_frame;
    for (Widget frame : {smp_frame, sm_frame, sm2u_frame, quonet_frame, quonet_qna16g_frame, quonet_qn64g_frame,
                         ups_frame, ups_dam_frame}) {
        XtUnmanageChild(shown);
        XtManageChild(frame);
        shown = frame;
        ASSERT_TRUE(gui::pump_until([&] { return gui::is_shown(frame); }, kWaitMs)) << XtName(frame);
        Dimension width = 0;
        XtVaGetValues(frame, XmNwidth, &width, nullptr);
        EXPECT_LE(width, 1100) << XtName(frame);
        screenshot(XtName(frame));
    }
}

/* ---- the chassis windows built on first use ------------------------------ */

struct LazyWindow {
    const char *name;
    std::function<Widget(Widget)> build;
    std::function<void(Widget)> check;
};

void check_da(Widget w)
{
    EXPECT_FAMILY(w, da_fans, "da_fan", 3, 0);
    EXPECT_FAMILY(w, da_pwrs, "da_pwr", 5, 0);
    EXPECT_FAMILY(w, da_dsks, "da_dsk", 20, 1);
    EXPECT_FAMILY(w, da_ctl1s, "da_ctl", 1, 1);
    EXPECT_FAMILY(w, da_ctl2s, "da_ctl", 1, 2);
    EXPECT_EQ(gui::label_text(lbl_da_fans[0]), "FAN\n0");
    EXPECT_EQ(gui::label_text(lbl_da_pwrs[4]), "PWR\n4");
    EXPECT_EQ(gui::label_text(lbl_da_dsks[0]), "1,0");
    EXPECT_EQ(gui::label_text(lbl_da_dsks[19]), "5,3");
    EXPECT_EQ(gui::label_text(lbl_da_ctl1s[0]), "CTL 1\nUnknown");
    EXPECT_EQ(gui::label_text(lbl_da_ctl2s[0]), "CTL 2\nUnknown");
    EXPECT_EQ(gui::label_text(lbl_da_temp), "Temperature\nUnknown");
    expect_fresh_slot(btn_da_dsks[7], stat_da_dsks[7], "DSKC.tsl");
}

void check_da2(Widget w)
{
    EXPECT_FAMILY(w, da2_fans, "da2_fan", 10, 1);
    EXPECT_FAMILY(w, da2_pwrs, "da2_pwr", 10, 1);
    EXPECT_FAMILY(w, da2_esms, "da2_esm", 8, 1);
    EXPECT_FAMILY(w, da2_hubs, "da2_hub", 2, 1);
    EXPECT_FAMILY(w, da2_ctls, "da2_ctl", 2, 1);
    EXPECT_EQ(btn_da2_ctl2s[0], btn_da2_ctls[1]);
    EXPECT_EQ(frm_da2_bat, frm_da2_bats[0]);
    EXPECT_EQ(frm_da2_hub2, frm_da2_hubs[1]);
    EXPECT_SENSORS(w, da2_temps, "da2_temp", 4);
    expect_array(w, hdd_dsk_rows, DA2_DISK_ROWS, "", "hdd_dsk_row");
    /* Unit i of a grid with c columns is the cell of row i / c, column i % c. */
    struct Order {
        Widget *btn;
        int columns;
    };
    for (const Order &o : {Order{btn_da2_dsks, 10}, Order{btn_da2_dsks1, 11}, Order{btn_da2_dsks2, 12},
                           Order{btn_da2_dsks3, 13}, Order{btn_da2_dsks4, 14}}) {
        const int n = DA2_DISK_ROWS * o.columns;
        expect_array(w, o.btn, n, "btn_", nullptr);
        for (int i = 0; i < n; ++i) {
            const int cell = (i / o.columns) * DA2_DISK_COLUMNS + i % o.columns + 1;
            ASSERT_EQ(XtName(o.btn[i]), "btn_da2_dsk" + std::to_string(cell)) << o.columns << " columns";
            EXPECT_EQ(XtParent(XtParent(XtParent(o.btn[i]))), hdd_dsk_rows[i / o.columns]);
        }
    }
    EXPECT_EQ(XtParent(frm_da2_dsk_cells[3][13]), hdd_dsk_rows[3]);
}

void check_node7U(Widget w)
{
    EXPECT_SENSORS(w, node7U_temps, "node7U_temp", 6);
    EXPECT_SENSORS(w, node7U_cputemps, "node7U_cputemp", 4);
    EXPECT_FAMILY(w, node7U_disks, "node7U_disk", 6, 1);
    EXPECT_FAMILY(w, node7U_mems, "node7U_mem", 32, 1);
    EXPECT_FAMILY(w, node7U_cpus, "node7U_cpu", 4, 1);
    EXPECT_FAMILY(w, node7U_fans, "node7U_fan", 6, 1);
    EXPECT_FAMILY(w, node7U_pwrs, "node7U_pwr", 3, 1);
    EXPECT_FAMILY(w, node7U_pci, "node7U_pci", 6, 3);
    EXPECT_EQ(gui::label_text(lbl_node7U_disks[0]), " Disk 1\n(SCSI ID 0)");
    EXPECT_STREQ(XtName(node7U_mem1thru16_widget), "node7U_mem1thru16_widget");
    EXPECT_EQ(XtParent(XtParent(frm_node7U_mems[15])), node7U_mem1thru16_widget);
    EXPECT_EQ(XtParent(XtParent(frm_node7U_mems[16])), node7U_mem17thru32_widget);
    expect_fresh_slot(btn_node7U_mems[31], stat_node7U_mems[31], "MEM.tsl");
}

void check_quartz(Widget w)
{
    EXPECT_SENSORS(w, quartz_temps, "quartz_temp", 6);
    EXPECT_FAMILY(w, quartz_disks, "quartz_disk", 6, 1);
    EXPECT_FAMILY(w, quartz_pwrs, "quartz_pwr", 4, 1);
    EXPECT_FAMILY(w, quartz_fans, "quartz_fan", 9, 1);
    EXPECT_FAMILY(w, quartz_cpus, "quartz_cpu", 4, 1);
    EXPECT_FAMILY(w, quartz_mems, "quartz_mem", 32, 1);
    EXPECT_EQ(gui::label_text(lbl_quartz_mems[16]), "J1");
    EXPECT_EQ(XtParent(XtParent(frm_quartz_mems[16])), quartz_mem17thru32_widget);
    expect_fresh_slot(btn_quartz_cpus[3], stat_quartz_cpus[3], "CPU.tsl");
}

void check_cobalt(Widget w)
{
    EXPECT_SENSORS(w, cobalt_temps, "cobalt_temp", 4);
    EXPECT_SENSORS(w, cobalt_cputemps, "cobalt_cputemp", 2);
    EXPECT_FAMILY(w, cobalt_disks, "cobalt_disk", 5, 0);
    EXPECT_FAMILY(w, cobalt_mems, "cobalt_mem", 8, 1);
    EXPECT_FAMILY(w, cobalt_cpus, "cobalt_cpu", 2, 1);
    EXPECT_FAMILY(w, cobalt_fans, "cobalt_fan", 10, 1);
    EXPECT_FAMILY(w, cobalt_pwrs, "cobalt_pwr", 3, 1);
    EXPECT_EQ(XtParent(XtParent(frm_cobalt_mems[7])), cobalt_mem1thru8_widget);
    expect_fresh_slot(btn_cobalt_cpus[1], stat_cobalt_cpus[1], "CPU2.tsl");
}

void check_garnet(Widget w)
{
    EXPECT_SENSORS(w, garnet_temps, "garnet_temp", 4);
    EXPECT_FAMILY(w, garnet_disks, "garnet_disk", 5, 1);
    EXPECT_FAMILY(w, garnet_mems, "garnet_mem", 6, 1);
    EXPECT_FAMILY(w, garnet_fans, "garnet_fan", 8, 1);
    EXPECT_FAMILY(w, garnet_pwrs, "garnet_pwr", 3, 1);
    EXPECT_EQ(gui::label_text(lbl_garnet_mems[5]), "DIMM\n3B");
    EXPECT_EQ(gui::label_text(lbl_garnet_fans[6]), "Power Cage\nFan 1");
    EXPECT_EQ(XtParent(XtParent(frm_garnet_mems[0])), garnet_mem1thru6_widget);
}

void check_beryl(Widget w)
{
    EXPECT_SENSORS(w, beryl_cputemps, "beryl_cputemp", 2);
    EXPECT_FAMILY(w, beryl_fans, "beryl_fan", 7, 1);
    EXPECT_FAMILY(w, beryl_cpus, "beryl_cpu", 2, 1);
    EXPECT_EQ(gui::label_text(lbl_beryl_fans[4]), "Fan 5");
    EXPECT_EQ(XtParent(XtParent(frm_beryl_mems[5])), beryl_mem1thru6_widget);
}

void check_ups2U(Widget w)
{
    EXPECT_FAMILY(w, ups2U_pwrs, "ups2U_pwr", 2, 1);
    EXPECT_FAMILY(w, ups2U_loads, "ups2U_load", 3, 1);
    EXPECT_FAMILY(w, ups2U_DClinks, "ups2U_DClink", 1, 1);
    EXPECT_EQ(gui::label_text(lbl_ups2U_pwrs[1]), "A/C IN 2");
    EXPECT_EQ(gui::label_text(lbl_ups2U_loads[2]), "Load 3");
    EXPECT_EQ(gui::label_text(btn_ups2U_chassis), "  2U UPS \n  Chassis");
    for (Widget sw : {btn_ups2U_ABswitch, btn_ups2U_INswitch, btn_ups2U_BPswitch}) {
        ASSERT_NE(sw, nullptr);
        EXPECT_EQ(pixmap_resource(sw, XmNlabelPixmap), cached_pixmap(sw, "/opt/console/icons/SwitchA_V.tsl"));
    }
}

/* The cobalt window, whose components are clicked, in the second half. */
const LazyWindow kLazyWindows[] = {
    {"da_frame", create_rack_damc_dlg, check_da},
    {"da2_frame", create_rack_mdamc_dlg, check_da2},
    {"node7U_frame", create_rack_node7U_dlg, check_node7U},
    {"quartz_node_frame", create_rack_quartz_node_dlg, check_quartz},
    {"cobalt_frame", create_rack_cobalt_dlg, check_cobalt},
    {"garnet_frame", create_rack_garnet_dlg, check_garnet},
    {"beryl_frame", create_rack_beryl_dlg, check_beryl},
    {"ups2U_frame", [](Widget p) { return create_ups2U_dlg(p, "ups2U"); }, check_ups2U},
};

/* ---- clicks --------------------------------------------------------------- */

/* What a click on a component toggle did, seen by a callback that runs
 * after cru_repl_cb, and the debug trace it printed. */
struct Click {
    int calls = 0;
    Boolean clicked_on = False;
    Boolean state_after = True;
    std::string trace;
};

Click click_component(Widget toggle)
{
    Click seen;
    XtCallbackProc record = [](Widget w, XtPointer data, XtPointer call) {
        auto *s = static_cast<Click *>(data);
        ++s->calls;
        s->clicked_on = static_cast<XmToggleButtonCallbackStruct *>(call)->set;
        s->state_after = XmToggleButtonGetState(w);
    };
    XtAddCallback(toggle, XmNvalueChangedCallback, record, &seen);
    debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(gui::click(toggle)) << XtName(toggle);
    EXPECT_TRUE(gui::pump_until([&] { return seen.calls > 0; }, kWaitMs)) << XtName(toggle);
    seen.trace = testing::internal::GetCapturedStdout();
    debug = 0;
    XtRemoveCallback(toggle, XmNvalueChangedCallback, record, &seen);
    return seen;
}

/* Each window built on first use, shown in the cabinet window as the rack
 * view will show it; then clicks on the components of the cobalt window.
 * Half of the windows per process, to stay well inside the watchdog. */
class LazyWindows : public Windows, public ::testing::WithParamInterface<int> {};
constexpr std::size_t kLazyPerProcess = 4;
static_assert(std::size(kLazyWindows) == 2 * kLazyPerProcess);

TEST_P(LazyWindows, BuildWithTheirArraysAndComponentClicksReachCruReplCb)
{
    build_main_window();
    XtUnmanageChild(empty_frame);
    Widget previous = nullptr, cobalt = nullptr;
    const std::size_t first = GetParam() * kLazyPerProcess;
    for (std::size_t i = first; i < first + kLazyPerProcess; ++i) {
        const LazyWindow &lazy = kLazyWindows[i];
        SCOPED_TRACE(lazy.name);
        if (previous != nullptr)
            XtUnmanageChild(previous);
        Widget window = lazy.build(scrolled_form);
        ASSERT_NE(window, nullptr);
        EXPECT_STREQ(XtName(window), lazy.name);
        EXPECT_EQ(XtParent(window), scrolled_form);
        expect_names_unique(window);
        lazy.check(window);

        XtVaSetValues(window, XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, chassis_lbl, XmNleftAttachment,
                      XmATTACH_WIDGET, XmNleftWidget, rack_divider, nullptr);
        XtManageChild(window);
        Dimension width = 0, height = 0;
        XtVaGetValues(window, XmNwidth, &width, XmNheight, &height, nullptr);
        EXPECT_LE(width, 1100) << "wider than the screen leaves room for";
        EXPECT_LE(height, 900);
        show(rack_cabstat_dlg, 1270, 1000);
        EXPECT_TRUE(gui::pump_until([window] { return gui::is_shown(window); }, kWaitMs));
        screenshot(lazy.name);
        previous = window;
        if (std::string(lazy.name) == "cobalt_frame")
            cobalt = window;
    }
    if (GetParam() == 0)
        return;
    ASSERT_NE(cobalt, nullptr);
    XtUnmanageChild(previous);
    XtManageChild(cobalt);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(btn_cobalt_disks[4]); }, kWaitMs));

    /* A click on a component reaches cru_repl_cb, which releases the toggle. */
    Click fan = click_component(btn_cobalt_fans[1]);
    EXPECT_EQ(fan.calls, 1);
    EXPECT_TRUE(fan.clicked_on);
    EXPECT_FALSE(fan.state_after);
    EXPECT_FALSE(XmToggleButtonGetState(btn_cobalt_fans[1]));
    EXPECT_NE(fan.trace.find("Entering cru_repl_cb: cru_spec=0x102\n"), std::string::npos) << fan.trace;

    /* A disk of the same chassis carries its own kind and number. */
    Click disk = click_component(btn_cobalt_disks[4]);
    EXPECT_EQ(disk.calls, 1);
    EXPECT_FALSE(disk.state_after);
    EXPECT_NE(disk.trace.find("Entering cru_repl_cb: cru_spec=0x305\n"), std::string::npos) << disk.trace;
}

INSTANTIATE_TEST_SUITE_P(Halves, LazyWindows, ::testing::Range(0, 2));

TEST_F(Windows, FunctionTogglesRetitleTheWindowAndTheHelpMenuOpensKeyAndContents)
{
    build_main_window();
    create_s_key_shell(rack_cabstat_dlg);
    show(rack_cabstat_dlg, 600, 300);

    /* 1. The function toggles retitle the window and choose the function. */
    CabinetID = 7;
    fru_replace_flag = 0;
    XmToggleButtonSetState(btn_power_on, True, True);
    EXPECT_EQ(fru_replace_flag, CRU_PWR_ON);
    EXPECT_STREQ(widget_title, "FRU Power On - Cab007");
    EXPECT_EQ(gui::shell_title(s_rack_main_form), "FRU Power On - Cab007");
    /* Choosing another function releases the first one (radio menu). */
    XmToggleButtonSetState(btn_replace, True, True);
    EXPECT_EQ(fru_replace_flag, REPLACE_CRU);
    EXPECT_EQ(gui::shell_title(s_rack_main_form), "FRU Replacement - Cab007");
    EXPECT_FALSE(XmToggleButtonGetState(btn_power_on));
    /* Setting a toggle off changes nothing. */
    XmToggleButtonSetState(btn_replace, False, True);
    EXPECT_EQ(fru_replace_flag, REPLACE_CRU);
    XmToggleButtonSetState(btn_power_off, True, True);
    EXPECT_EQ(fru_replace_flag, CRU_PWR_OFF);
    EXPECT_STREQ(widget_title, "FRU Power Off - Cab007");

    /* 2. Help -> Symbol Key opens the key; its Close button closes it. */
    EXPECT_FALSE(gui::is_shown(s_key_form));
    Widget help_cascade = XtNameToWidget(menu_bar, "help_cascade");
    ASSERT_NE(help_cascade, nullptr);
    ASSERT_TRUE(gui::click(help_cascade));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(key_btn); }, kWaitMs));
    ASSERT_TRUE(gui::click(key_btn));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_key_form); }, kWaitMs));
    EXPECT_EQ(gui::shell_title(s_key_form), "Cabinet Status Key");
    screenshot("status_key");
    ASSERT_TRUE(gui::click(s_key_close_btn));
    ASSERT_TRUE(gui::pump_until([] { return !gui::is_shown(s_key_form); }, kWaitMs));

    /* 3. Help -> Contents opens the cabinet help under the menu; without help
     *    files installed the help system says so in its box. */
    xh_Toplevel = nullptr;
    ASSERT_TRUE(gui::click(help_cascade));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(contents_btn); }, kWaitMs));
    ASSERT_TRUE(gui::click(contents_btn));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(XtNameToWidget(rack_cabstat_dlg, "*xh_information")); },
                                kWaitMs));
    EXPECT_EQ(xh_Toplevel, contents_btn);
}

/* ---- icons ---------------------------------------------------------------- */

TEST_F(Windows, EveryIconTheDisplayNamesIsAReadableBitmap)
{
    std::set<std::string> icons;
    for (int code = 0; code <= 600; ++code)
        for (int tiny : {0, 1}) {
            const char *icon = nullptr, *text = nullptr;
            int scheme = 0;
            get_status_visual_elements(code, &icon, &scheme, &text, tiny);
            icons.insert(icon);
        }
    for (int i = 1; i < ICONPATH_COUNT; ++i)
        icons.insert(iconpaths[i]);
    icons.insert("/opt/console/icons//CABSTAT.icon");
    icons.insert("/opt/console/icons//cru_repl.icon");
    for (const char *picture :
         {"FAN.tsl", "FANC.tsl", "PWR.tsl", "PWRC.tsl", "DSK.tsl", "DSKC.tsl", "CTL.tsl", "ESM.tsl", "HUB.tsl",
          "BAT.tsl", "INVERTER.tsl", "CHARGER.tsl", "RECTIFIER.tsl", "LINK.tsl", "VLoad_3.tsl", "SwitchA_V.tsl",
          "SwitchB_V.tsl", "SMB.tsl", "SMB2U.tsl", "PTB.tsl", "PTB2U.tsl", "VR.tsl", "CONV.tsl", "CMIC.tsl",
          "QNA.tsl", "MONI.tsl", "CPU.tsl", "CPU2.tsl", "MEM.tsl", "PCISLOT.tsl", "SMP.tsl", "DAM_A.tsl",
          "DAM_B.tsl", "DAM_NONE.tsl", "BLANK.tsl", "STAT.none", "STAT.unkn", "LED.off", "LED.on", "HCB.cru",
          "BAT.good", "BAT.dead", "BAT.low", "FAN.normal", "FAN.hfast", "FAN.fast", "STAT.cool", "STAT.warm",
          "STAT.hot", "STAT.cflt", "STAT.unrecognized", "ss_nocomm.indic", "STAT.nopwr", "STAT.powered",
          "STAT.bad", "STAT.warn"}) {
        const std::string path = std::string("/opt/console/icons/") + picture;
        icons.insert(path);
        if (path.ends_with(".tsl"))
            icons.insert(path + "_f");
    }
    EXPECT_GT(icons.size(), 100u);

    Display *display = XtDisplay(Toplevel);
    for (const std::string &icon : icons) {
        if (icon.empty())
            continue;
        unsigned width = 0, height = 0;
        int hot_x = 0, hot_y = 0;
        Pixmap bitmap = None;
        ASSERT_EQ(XReadBitmapFile(display, DefaultRootWindow(display), console_path(icon).c_str(), &width, &height,
                                  &bitmap, &hot_x, &hot_y),
                  BitmapSuccess)
            << icon;
        EXPECT_GE(width, 8u) << icon;
        EXPECT_LE(width, 64u) << icon;
        EXPECT_GE(height, 8u) << icon;
        XFreePixmap(display, bitmap);
    }
}

} // namespace
