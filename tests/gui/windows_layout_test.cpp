/*
 * windows_layout_test.cpp - the window builders under a real X server: every
 * window builds with unique slot names and readable pictures, the widget
 * arrays the chassis views walk end at their length, the component toggles
 * reach cru_repl_cb, the menus work, and every status and dialog icon is a
 * readable X bitmap.  Each test leaves a screenshot of what it built in $XR_ARTIFACTS.
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

/* Every picture file the windows ask the toolkit for: the binary is linked
 * with --wrap=XmGetPixmap. */
std::set<std::string> &pictures_asked()
{
    static std::set<std::string> names;
    return names;
}
extern "C" Pixmap __real_XmGetPixmap(Screen *screen, char *name, Pixel fg, Pixel bg);
extern "C" Pixmap __wrap_XmGetPixmap(Screen *screen, char *name, Pixel fg, Pixel bg)
{
    if (name != nullptr)
        pictures_asked().insert(name);
    return __real_XmGetPixmap(screen, name, fg, bg);
}

namespace {

constexpr int kWaitMs = 3000;

/* Each file is an X bitmap of a sensible size. */
void expect_readable_bitmaps(const std::set<std::string> &paths)
{
    Display *display = XtDisplay(Toplevel);
    for (const std::string &path : paths) {
        unsigned width = 0, height = 0;
        int hot_x = 0, hot_y = 0;
        Pixmap bitmap = None;
        ASSERT_EQ(XReadBitmapFile(display, DefaultRootWindow(display), path.c_str(), &width, &height, &bitmap, &hot_x,
                                  &hot_y),
                  BitmapSuccess)
            << path;
        EXPECT_GE(width, 8u) << path;
        EXPECT_LE(width, 64u) << path;
        EXPECT_GE(height, 8u) << path;
        XFreePixmap(display, bitmap);
    }
}

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("CONSOLE_ROOT", XR_DATA_ROOT, 1);
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
        pictures_asked().clear();
    }
    /* Every picture the windows built by the test named can be read. */
    void TearDown() override { expect_readable_bitmaps(pictures_asked()); }

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

/* Calls visit(w) for w and every widget below it. */
void walk(Widget w, const std::function<void(Widget)> &visit)
{
    visit(w);
    if (!XtIsComposite(w))
        return;
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(w, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    for (Cardinal i = 0; i < count; ++i)
        walk(children[i], visit);
}

/* Each slot widget's name is unique in its window: resources and the
 * tests address them by name.  (Its pictures are checked at the end of
 * the test.) */
void expect_window_sound(Widget window)
{
    std::map<std::string, int> names;
    walk(window, [&](Widget w) {
        const std::string name = XtName(w);
        for (const char *prefix : {"btn_", "stat_", "frm_", "lbl_"})
            if (name.rfind(prefix, 0) == 0)
                ++names[name];
    });
    EXPECT_GT(names.size(), 4u) << XtName(window);
    for (const auto &[name, count] : names)
        EXPECT_EQ(count, 1) << name << " is not unique in " << XtName(window);
}

/* A widget array as the chassis views walk it: every entry up to the
 * array's own length set and found under `window` by its name, NULL at the
 * end. */
template <std::size_t N> void expect_array(Widget window, Widget (&array)[N])
{
    for (std::size_t i = 0; i + 1 < N; ++i) {
        ASSERT_NE(array[i], nullptr) << "entry " << i << " of " << N - 1;
        EXPECT_EQ(XtNameToWidget(window, ("*" + std::string(XtName(array[i]))).c_str()), array[i])
            << XtName(array[i]);
    }
    EXPECT_EQ(array[N - 1], nullptr) << "no NULL after " << N - 1 << " entries";
}
#define EXPECT_FAMILY(window, family)                                                                    \
    do {                                                                                                 \
        expect_array(window, frm_##family);                                                              \
        expect_array(window, btn_##family);                                                              \
        expect_array(window, stat_##family);                                                             \
        expect_array(window, lbl_##family);                                                              \
    } while (0)

TEST_F(Windows, MainWindowAndItsBuiltInChassisWindowsAreSoundAndFitTheScreen)
{
    build_main_window();
    EXPECT_EQ(gui::shell_title(s_rack_main_form), "Cabinet Status - Cab001");

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
            expect_window_sound(frame);
    }
    EXPECT_FAMILY(smp_frame, smp_fans);
    EXPECT_FAMILY(sm_frame, smc_fans);
    EXPECT_FAMILY(quonet_qn64g_frame, qn64g_power_fans);
    EXPECT_FAMILY(ups_frame, ups_bats);

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
    screenshot("main");

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

/* The disk grid: unit i of a grid with c columns is the cell of row i / c,
 * column i % c, for every column count the arrays serve. */
void check_da2(Widget w)
{
    EXPECT_FAMILY(w, da2_esms);
    struct Order {
        Widget *btn;
        std::size_t size;
    };
    for (const Order &o : {Order{btn_da2_dsks, std::size(btn_da2_dsks)}, Order{btn_da2_dsks1, std::size(btn_da2_dsks1)},
                           Order{btn_da2_dsks2, std::size(btn_da2_dsks2)}, Order{btn_da2_dsks3, std::size(btn_da2_dsks3)},
                           Order{btn_da2_dsks4, std::size(btn_da2_dsks4)}}) {
        const int n = static_cast<int>(o.size) - 1, columns = n / DA2_DISK_ROWS;
        EXPECT_EQ(o.btn[n], nullptr);
        for (int i = 0; i < n; ++i) {
            ASSERT_NE(o.btn[i], nullptr);
            const int cell = (i / columns) * DA2_DISK_COLUMNS + i % columns + 1;
            ASSERT_EQ(XtName(o.btn[i]), "btn_da2_dsk" + std::to_string(cell)) << columns << " columns";
            EXPECT_EQ(XtParent(XtParent(XtParent(o.btn[i]))), hdd_dsk_rows[i / columns]);
        }
    }
}

/* The cobalt window, whose components are clicked, in the second half. */
const LazyWindow kLazyWindows[] = {
    {"da_frame", create_rack_damc_dlg, [](Widget w) { EXPECT_FAMILY(w, da_dsks); }},
    {"da2_frame", create_rack_mdamc_dlg, check_da2},
    {"node7U_frame", create_rack_node7U_dlg, [](Widget w) { EXPECT_FAMILY(w, node7U_mems); }},
    {"quartz_node_frame", create_rack_quartz_node_dlg, [](Widget w) { EXPECT_FAMILY(w, quartz_mems); }},
    {"cobalt_frame", create_rack_cobalt_dlg, [](Widget w) { EXPECT_FAMILY(w, cobalt_disks); }},
    {"garnet_frame", create_rack_garnet_dlg, [](Widget w) { EXPECT_FAMILY(w, garnet_fans); }},
    {"beryl_frame", create_rack_beryl_dlg, [](Widget w) { EXPECT_FAMILY(w, beryl_fans); }},
    {"ups2U_frame", [](Widget p) { return create_ups2U_dlg(p, "ups2U"); },
     [](Widget w) { EXPECT_FAMILY(w, ups2U_loads); }},
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
        expect_window_sound(window);
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

TEST_F(Windows, EveryStatusAndDialogIconIsAReadableBitmap)
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
    EXPECT_GT(icons.size(), 20u);
    std::set<std::string> paths;
    for (const std::string &icon : icons)
        paths.insert(console_path(icon));
    expect_readable_bitmaps(paths);
}

} // namespace
