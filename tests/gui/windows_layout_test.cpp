/* windows_layout_test.cpp - the window builders and status painters; screenshots go to $XR_ARTIFACTS. */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <X11/Xlib.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/RowColumn.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/layouts/builtin_windows.h"
#include "app/layouts/rack_windows.h"
#include "app/s_get_colors.h"
#include "app/s_rack_disp.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/trace.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "tests/support/gui_harness.h"
#include "ui/picture_cache.h"
#include "ui/x_util.h"

/* Every picture file the windows ask for that gives no pixmap: the binary
 * is linked with --wrap=GetPicturePixmap. */
std::set<std::string> &pictures_unreadable()
{
    static std::set<std::string> names;
    return names;
}
extern "C" Pixmap __real_GetPicturePixmap(Screen *screen, const char *path, Pixel fg, Pixel bg);
extern "C" Pixmap __wrap_GetPicturePixmap(Screen *screen, const char *path, Pixel fg, Pixel bg)
{
    const Pixmap pixmap = __real_GetPicturePixmap(screen, path, fg, bg);
    if (path != nullptr && pixmap == XmUNSPECIFIED_PIXMAP)
        pictures_unreadable().insert(path);
    return pixmap;
}

namespace {

constexpr int kWaitMs = 3000;

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("CONSOLE_ROOT", XR_DATA_ROOT, 1);
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
        pictures_unreadable().clear();
    }
    /* Every picture the windows built by the test named can be read. */
    void TearDown() override
    {
        for (const std::string &path : pictures_unreadable())
            ADD_FAILURE() << path << " is no readable X bitmap";
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

    static void screenshot(const std::string &name) { gui::screenshot("windows_" + name); }
};

/* Calls visit(w) for w and every widget below it. */
void walk(Widget w, const std::function<void(Widget)> &visit)
{
    visit(w);
    for (Widget child : gui::children(w))
        walk(child, visit);
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

/* Every section title of a shown window is drawn whole: the frame gives it
 * at least the width it asks for. */
void expect_titles_whole(Widget window)
{
    walk(window, [](Widget w) {
        unsigned char type = 0;
        if (XtParent(w) == nullptr || !XmIsFrame(XtParent(w)))
            return;
        Dimension width = 0;
        XtVaGetValues(w, XmNchildType, &type, XmNwidth, &width, nullptr);
        if (type != XmFRAME_TITLE_CHILD)
            return;
        XtWidgetGeometry wanted{};
        XtQueryGeometry(w, nullptr, &wanted);
        EXPECT_GE(width, wanted.width) << gui::label_text(w) << " in " << XtName(XtParent(w));
    });
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

    /* The cabinet window comes with the empty view, shown below chassis_lbl;
     * the rack view builds the others on first selection. */
    Widget top = nullptr;
    XtVaGetValues(empty_frame, XmNtopWidget, &top, nullptr);
    EXPECT_EQ(top, chassis_lbl);
    ASSERT_EQ(smp_frame, nullptr);
    const std::pair<Widget *, Widget (*)(Widget)> builtins[] = {
        {&smp_frame, build_smp_window},       {&sm_frame, build_sm_window},
        {&sm2u_frame, build_sm2u_window},     {&quonet_frame, build_quonet_window},
        {&quonet_qna16g_frame, build_quonet_qna16g_window}, {&quonet_qn64g_frame, build_quonet_qn64g_window},
        {&ups_frame, build_ups_window},       {&ups_dam_frame, build_ups_dam_window}};
    for (const auto &[frame, build] : builtins) {
        *frame = build(scrolled_form);
        attach_chassis_window(*frame);
        expect_window_sound(*frame);
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
        expect_titles_whole(frame);
        screenshot(XtName(frame));
    }
}

struct LazyWindow {
    const char *name;
    std::function<Widget(Widget)> build;
    std::function<void(Widget)> check;
};

/* The cobalt window, whose components are clicked, in the second half. */
const LazyWindow kLazyWindows[] = {
    {"da_frame", create_rack_damc_dlg, [](Widget w) { EXPECT_FAMILY(w, da_dsks); }},
    {"da2_frame", create_rack_mdamc_dlg, [](Widget w) { EXPECT_FAMILY(w, da2_esms); }},
    {"node7U_frame", create_rack_node7U_dlg, [](Widget w) { EXPECT_FAMILY(w, node7U_mems); }},
    {"quartz_node_frame", create_rack_quartz_node_dlg, [](Widget w) { EXPECT_FAMILY(w, quartz_mems); }},
    {"cobalt_frame", create_rack_cobalt_dlg, [](Widget w) { EXPECT_FAMILY(w, cobalt_disks); }},
    {"garnet_frame", create_rack_garnet_dlg, [](Widget w) { EXPECT_FAMILY(w, garnet_fans); }},
    {"beryl_frame", create_rack_beryl_dlg, [](Widget w) { EXPECT_FAMILY(w, beryl_fans); }},
    {"ups2U_frame", [](Widget p) { return create_ups2U_dlg(p, "ups2U"); },
     [](Widget w) { EXPECT_FAMILY(w, ups2U_loads); }},
};

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
        expect_titles_whole(window);
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

    /* 3. Help -> Contents opens the cabinet help under the menu: the page it
     *    asks for is one of the shipped help files under the console root. */
    xh_Toplevel = nullptr;
    ASSERT_TRUE(gui::click(help_cascade));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(contents_btn); }, kWaitMs));
    ASSERT_TRUE(gui::click(contents_btn));
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(xh_PageContainer()); }, kWaitMs));
    EXPECT_EQ(gui::find("*xh_information"), nullptr);
    EXPECT_EQ(xh_Toplevel, contents_btn);
}

TEST_F(Windows, EveryStatusHasALookAndEveryStatusAndDialogIconIsAReadableBitmap)
{
    std::set<std::string> icons;
    for (int code = 0; code <= 600; ++code)
        for (int tiny : {0, 1}) {
            const char *icon = nullptr, *text = nullptr;
            int scheme = -1;
            get_status_visual_elements(code, &icon, &scheme, &text, tiny);
            ASSERT_TRUE(icon != nullptr && text != nullptr && *text != '\0') << code;
            EXPECT_TRUE(scheme >= 0 && scheme < STATUS_last) << code;
            icons.insert(icon);
        }
    for (int i = 1; i < ICONPATH_COUNT; ++i)
        icons.insert(iconpaths[i]);
    EXPECT_GT(icons.size(), 20u);
    for (const std::string &icon : icons)
        GetPicturePixmap(XtScreen(Toplevel), console_path(icon).c_str(), 0, 1);
}

constexpr const char *ICONS = "/opt/console/icons/";

Pixel pixel_of(const char *colour_name)
{
    Display *display = XtDisplay(Toplevel);
    XColor color;
    Colormap map = DefaultColormap(display, DefaultScreen(display));
    EXPECT_TRUE(XParseColor(display, map, colour_name, &color)) << colour_name;
    EXPECT_TRUE(XAllocColor(display, map, &color)) << colour_name;
    return color.pixel;
}

Pixel resource_pixel(Widget w, const char *resource)
{
    Pixel p = 0;
    XtVaGetValues(w, resource, &p, nullptr);
    return p;
}

Pixmap pixmap_resource(Widget w, const char *resource)
{
    Pixmap p = XmUNSPECIFIED_PIXMAP;
    XtVaGetValues(w, resource, &p, nullptr);
    return p;
}

/* The cached pixmap of an icon file in the colours of scheme `s`. */
Pixmap icon_in(Widget w, const std::string &icon, Pixel fg, Pixel bg)
{
    return GetPicturePixmap(XtScreen(w), console_path(icon).c_str(), fg, bg);
}
Pixmap icon_in_scheme(Widget w, const std::string &icon, int s)
{
    return icon_in(w, icon, s_colors[s].foreground, s_colors[s].background);
}

class StatusVisuals : public ::testing::Test {
protected:
    void SetUp() override { setenv("CONSOLE_ROOT", XR_DATA_ROOT, 1); }

    static void put(const char *resource, const char *value)
    {
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        XrmPutStringResource(&db, resource, value);
    }

    /* The key built from the shipped app-defaults file, colours read. */
    static void key_from_app_defaults()
    {
        XrmDatabase db = XtDatabase(XtDisplay(Toplevel));
        ASSERT_EQ(XrmCombineFileDatabase(XR_APP_DEFAULTS_DIR "/Xrackmon", &db, True), 1);
        create_s_key_shell(Toplevel);
        get_colors();
    }

    /* A row in its own shell, where widgets to paint sit side by side. */
    Widget canvas()
    {
        Widget shell = XtVaAppCreateShell("canvas", "Xrackmon", topLevelShellWidgetClass, XtDisplay(Toplevel),
                                          XmNx, 200, XmNy, 0, nullptr);
        Widget form = XtVaCreateManagedWidget("canvas_form", xmRowColumnWidgetClass, shell, XmNorientation,
                                              XmHORIZONTAL, nullptr);
        shell_ = shell;
        return form;
    }
    void show_canvas()
    {
        XtRealizeWidget(shell_);
        Widget form = XtNameToWidget(shell_, "canvas_form");
        ASSERT_TRUE(gui::pump_until([&] { return gui::is_shown(form); }, kWaitMs));
        gui::pump_pending();
        XSync(XtDisplay(shell_), False);
    }

private:
    Widget shell_ = nullptr;
};

struct Mapped {
    std::string icon;
    int scheme;
    std::string text;
};

Mapped map_status(int status, int tiny)
{
    const char *icon = nullptr, *text = nullptr;
    int scheme = -1;
    get_status_visual_elements(status, &icon, &scheme, &text, tiny);
    return {icon, scheme, text};
}

TEST(StatusTable, UnrecognisedCodesShowTheirNumber)
{
    /* An unrecognised code shows itself in hex, in one static buffer, until
     * the next unrecognised one. */
    const char *icon = nullptr, *text = nullptr;
    int scheme = -1;
    get_status_visual_elements(200, &icon, &scheme, &text, 1);
    EXPECT_STREQ(icon, "/opt/console/icons/STAT.unrecognized");
    EXPECT_EQ(scheme, STATUS_WARN);
    EXPECT_STREQ(text, "(0xc8)");
    const char *first = text;
    get_status_visual_elements(0, &icon, &scheme, &text, 0);
    EXPECT_STREQ(text, "(0x0)");
    EXPECT_EQ(first, text) << "one static buffer";
    get_status_visual_elements(1, &icon, &scheme, &text, 0);
    EXPECT_STREQ(first, "(0x0)") << "a recognised code leaves the buffer alone";
}

TEST_F(StatusVisuals, ColourTableFollowsTheStatusKeyResources)
{
    for (auto [resource, value] : {std::pair{"*s_OK.background", "#102030"}, {"*s_OK.foreground", "#405060"},
                                   {"*s_warn.background", "#aa5500"}, {"*s_warn.foreground", "#001100"},
                                   {"*s_not_OK.background", "#bb0000"}, {"*s_not_OK.foreground", "#000022"},
                                   {"*s_key_form.background", "#c0c0c0"}, {"*s_key_form.foreground", "#000033"},
                                   {"*s_fan_fast.background", "#ff00ff"}})
        put(resource, value);
    create_s_key_shell(Toplevel);
    get_colors();

    /* Lamps show the warning and fault colours on a dark face; "not used"
     * text is invisible. */
    const std::pair<Pixel, const char *> kColours[] = {
        {s_colors[STATUS_OK].background, "#102030"},       {s_colors[STATUS_OK].foreground, "#405060"},
        {s_colors[STATUS_WARN].background, "#aa5500"},     {s_colors[STATUS_FAST].background, "#ff00ff"},
        {s_colors[STATUS_LED_AMBER].foreground, "#aa5500"}, {s_colors[STATUS_LED_AMBER].background, "#001100"},
        {s_colors[STATUS_LED_RED].foreground, "#bb0000"},  {s_colors[STATUS_LED_RED].background, "#000022"},
        {s_colors[STATUS_TITLE].background, "#c0c0c0"},    {s_colors[STATUS_TITLE].foreground, "#000033"},
        {s_colors[STATUS_NOT_USED].foreground, "#c0c0c0"}, {s_colors[STATUS_NOT_USED].background, "#c0c0c0"}};
    for (std::size_t i = 0; i < std::size(kColours); ++i)
        EXPECT_EQ(kColours[i].first, pixel_of(kColours[i].second)) << "entry " << i;
    /* Every scheme reads the widget of its table entry. */
    for (int i = 0; i < STATUS_last; ++i) {
        if (i == STATUS_LED_AMBER || i == STATUS_LED_RED || i == STATUS_NOT_USED)
            continue;
        EXPECT_EQ(s_colors[i].background, resource_pixel(*s_color_src[i], XmNbackground)) << i;
        EXPECT_EQ(s_colors[i].foreground, resource_pixel(*s_color_src[i], XmNforeground)) << i;
    }
    /* Symbols without a scheme of their own show the colours they stand for. */
    EXPECT_EQ(resource_pixel(s_cflt, XmNbackground), pixel_of("#aa5500"));
    EXPECT_EQ(resource_pixel(s_hot, XmNbackground), pixel_of("#bb0000"));
    EXPECT_EQ(resource_pixel(s_cool, XmNforeground), pixel_of("#405060"));
}

/* Number of pixels of `pixel` inside w's window. */
int count_pixels(Widget w, Pixel pixel)
{
    Dimension width = 0, height = 0;
    XtVaGetValues(w, XmNwidth, &width, XmNheight, &height, nullptr);
    XImage *image = XGetImage(XtDisplay(w), XtWindow(w), 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return -1;
    int count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            count += XGetPixel(image, x, y) == pixel;
    XDestroyImage(image);
    return count;
}

TEST_F(StatusVisuals, ShippedKeyColoursTheTableAndEveryPainterFollowsIt)
{
    key_from_app_defaults();

    /* 1. show_status paints the icon, and the frame behind only when asked. */
    Widget row = canvas();
    Widget frame = XtVaCreateManagedWidget("frame", xmFrameWidgetClass, row, nullptr);
    Widget label = XtVaCreateManagedWidget("label", xmLabelWidgetClass, frame, XmNlabelType, XmPIXMAP, nullptr);
    const Pixel frame_bg = resource_pixel(frame, XmNbackground);
    const std::string bad = std::string(ICONS) + "STAT.bad";
    show_status(label, bad.c_str(), STATUS_BAD, 0);
    EXPECT_EQ(pixmap_resource(label, XmNlabelPixmap), icon_in_scheme(label, bad, STATUS_BAD));
    EXPECT_EQ(resource_pixel(frame, XmNbackground), frame_bg);
    const std::string ok = std::string(ICONS) + "STAT.powered";
    show_status(label, ok.c_str(), STATUS_OK, 1);
    EXPECT_EQ(pixmap_resource(label, XmNlabelPixmap), icon_in_scheme(label, ok, STATUS_OK));
    EXPECT_EQ(resource_pixel(frame, XmNbackground), s_colors[STATUS_OK].background);
    EXPECT_EQ(resource_pixel(frame, XmNforeground), s_colors[STATUS_OK].foreground);

    /* 2. A toggle is neutral while selectable and shows its status otherwise. */
    auto toggle = [row](const char *name) {
        return XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, row, XmNlabelType, XmPIXMAP,
                                       XmNindicatorOn, False, nullptr);
    };
    Widget selectable = toggle("selectable");
    Widget locked = toggle("locked");
    XtSetSensitive(locked, False);
    const std::string fan = std::string(ICONS) + "FAN.tsl";
    show_tb_status(selectable, fan.c_str(), STATUS_BAD);
    show_tb_status(locked, fan.c_str(), STATUS_BAD);
    const Pixmap inverted =
        icon_in(selectable, fan, s_colors[STATUS_TITLE].background, s_colors[STATUS_TITLE].foreground);
    for (Widget t : {selectable, locked}) {
        EXPECT_EQ(pixmap_resource(t, XmNlabelPixmap), icon_in_scheme(t, fan, STATUS_TITLE));
        EXPECT_EQ(pixmap_resource(t, XmNlabelInsensitivePixmap), icon_in_scheme(t, fan, STATUS_BAD));
        EXPECT_EQ(pixmap_resource(t, XmNselectPixmap), inverted);
    }

    /* 3. A component's status icon, frame and picture for every look; the
     *    button keeps the component's picture, only its colours follow. */
    Widget part_frame = XtVaCreateManagedWidget("frm_part", xmFrameWidgetClass, row, nullptr);
    Widget stat = XtVaCreateManagedWidget("stat_part", xmLabelWidgetClass, part_frame, XmNlabelType, XmPIXMAP, nullptr);
    Widget btn = XtVaCreateManagedWidget("btn_part", xmToggleButtonWidgetClass, row, XmNlabelType, XmPIXMAP, nullptr);
    const std::string picture = std::string(ICONS) + "PWR.tsl";
    for (int code : {1, 2, 4, 56, 84, 139, 250, static_cast<int>(S_NO_STATUS)})
        for (int tiny : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "status " << code << " tiny " << tiny);
            const Mapped look = map_status(code, tiny);
            show_component_status(stat, btn, code, picture.c_str(), tiny);
            EXPECT_EQ(pixmap_resource(stat, XmNlabelPixmap), icon_in_scheme(stat, look.icon, look.scheme));
            EXPECT_EQ(resource_pixel(part_frame, XmNbackground), s_colors[look.scheme].background);
            EXPECT_EQ(pixmap_resource(btn, XmNlabelPixmap), icon_in_scheme(btn, picture, STATUS_TITLE));
            EXPECT_EQ(pixmap_resource(btn, XmNlabelInsensitivePixmap), icon_in_scheme(btn, picture, look.scheme));
        }

    /* 4. Labels carry name, number and status in title colours; show_text
     *    colours a text, invisibly for "not used". */
    Widget text = XtVaCreateManagedWidget("lbl_part", xmLabelWidgetClass, row, nullptr);
    for (auto [number, status, name, shown] : {std::tuple{-1, 1, "FAN", "FAN\nOK"}, {3, 2, "PS", "PS 3\nFault"},
                                                {0, 200, "CTL", "CTL 0\n(0xc8)"}}) {
        add_status_to_label(number, status, name, text);
        EXPECT_EQ(gui::label_text(text), shown);
    }
    EXPECT_EQ(resource_pixel(text, XmNforeground), s_colors[STATUS_TITLE].foreground);
    EXPECT_EQ(resource_pixel(text, XmNbackground), s_colors[STATUS_TITLE].background);
    show_text("Temperature\nCritical", STATUS_BAD, text);
    EXPECT_EQ(gui::label_text(text), "Temperature\nCritical");
    EXPECT_EQ(resource_pixel(text, XmNbackground), s_colors[STATUS_BAD].background);
    show_text("hidden", STATUS_NOT_USED, text);
    EXPECT_EQ(resource_pixel(text, XmNforeground), resource_pixel(text, XmNbackground));

    /* 5. On the screen: the fault colour only in the insensitive toggle. */
    XtManageChild(s_key_form);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_key_form); }, kWaitMs));
    show_canvas();
    ASSERT_TRUE(gui::pump_until([&] { return count_pixels(locked, s_colors[STATUS_BAD].background) > 50; }, kWaitMs));
    EXPECT_EQ(count_pixels(selectable, s_colors[STATUS_BAD].background), 0);
    gui::screenshot("windows_status_painters");
}

} // namespace
