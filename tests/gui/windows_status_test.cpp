/*
 * windows_status_test.cpp - status visuals under a real X server: the
 * status-code table, the colour table read from the status key (resources
 * set by the test and the shipped app-defaults file), and what show_status,
 * show_tb_status, show_component_status, show_text and add_status_to_label
 * leave on real widgets and on the screen.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <X11/Xlib.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/ToggleB.h>
#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/layouts/rack_windows.h"
#include "app/s_get_colors.h"
#include "base/console_path.h"
#include "base/motif_str.h"
#include "tests/support/gui_harness.h"
#include "ui/x_util.h"

namespace {

constexpr int kWaitMs = 3000;
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
    return XmGetPixmap(XtScreen(w), xs(console_path(icon)), fg, bg);
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

    /* A form in its own realized shell, for widgets to paint. */
    Widget canvas()
    {
        Widget shell = XtVaAppCreateShell("canvas", "Xrackmon", topLevelShellWidgetClass, XtDisplay(Toplevel),
                                          XmNx, 200, XmNy, 0, nullptr);
        Widget form = XtVaCreateManagedWidget("canvas_form", xmFormWidgetClass, shell, nullptr);
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

/* ---- the status table ---------------------------------------------------- */

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

TEST(StatusTable, CodesSharingAMeaningShareTheirLook)
{
    for (auto [a, b] : {std::pair{1, 95}, std::pair{80, 84}, std::pair{2, 7}})
        for (int tiny : {0, 1}) {
            EXPECT_EQ(map_status(a, tiny).icon, map_status(b, tiny).icon) << a << " " << b;
            EXPECT_EQ(map_status(a, tiny).scheme, map_status(b, tiny).scheme);
            EXPECT_EQ(map_status(a, tiny).text, map_status(b, tiny).text);
        }
    EXPECT_EQ(map_status(95, 0).text, "OK");
    EXPECT_EQ(map_status(84, 0).text, "Unknown");
    EXPECT_EQ(map_status(7, 0).text, "Fault");
    EXPECT_EQ(map_status(1, 0).icon, "/opt/console/icons/STAT.powered");
    EXPECT_EQ(map_status(1, 1).icon, "/opt/console/icons/ss_pwr.indic");
    EXPECT_EQ(map_status(2, 1).icon, "/opt/console/icons/ss_error.indic");
    EXPECT_EQ(map_status(84, 1).icon, "/opt/console/icons/ss_unkn.indic");
}

TEST(StatusTable, SchemesAndTextsOfDistinctCodes)
{
    const Mapped expected[] = {
        {"STAT.nopwr", STATUS_NOT_PRES, "Missing"}, {"STAT.nopwr", STATUS_DISABLED, "Off"},
        {"STAT.fast", STATUS_FAST, "FAST"},         {"STAT.nopwr", STATUS_DISABLED, "ACFAIL"},
        {"STAT.bad", STATUS_BAD, "Lost HB"},        {"STAT.hot", STATUS_BAD, "Hot"},
        {"STAT.warm", STATUS_WARN, "Warm"},         {"STAT.cool", STATUS_OK, "Normal"},
        {"STAT.warn", STATUS_WARN, "Warning"},      {"STAT.partcharge", STATUS_WARN, "Dischg"},
        {"ss_nocomm.indic", STATUS_UNKNOWN, "NoComm"}, {"STAT.cflt", STATUS_WARN, "Flash"},
        {"STAT.none", STATUS_TITLE, "Unused"},      {"STAT.powered", STATUS_OK, "PTBX"},
        {"STAT.nopwr", STATUS_DISABLED, "Disabled"}, {"STAT.bad", STATUS_BAD, "Mem Err"},
    };
    const int codes[] = {3, 4, 5, 6, 10, 56, 57, 58, 59, 63, 71, 90, 92, 112, 134, 139};
    for (size_t i = 0; i < std::size(codes); ++i) {
        Mapped m = map_status(codes[i], 0);
        EXPECT_EQ(m.icon, ICONS + expected[i].icon) << codes[i];
        EXPECT_EQ(m.scheme, expected[i].scheme) << codes[i];
        EXPECT_EQ(m.text, expected[i].text) << codes[i];
    }
}

TEST(StatusTable, CodesWithoutASmallIconUseTheirIconInBothSizes)
{
    for (int code : {5, 20, 56, 57, 58, 60, 61, 62, 63, 71, 90, 92, 133, S_NO_STATUS})
        EXPECT_EQ(map_status(code, 1).icon, map_status(code, 0).icon) << code;
    EXPECT_NE(map_status(59, 1).icon, map_status(59, 0).icon);
    EXPECT_EQ(map_status(59, 1).icon, "/opt/console/icons/ss_warn.indic");
}

TEST(StatusTable, NoStatusIsABlankInTitleColours)
{
    Mapped m = map_status(S_NO_STATUS, 0);
    EXPECT_EQ(m.icon, "/opt/console/icons/STAT.none");
    EXPECT_EQ(m.scheme, STATUS_TITLE);
    EXPECT_EQ(m.text, " ");
}

TEST(StatusTable, AnUnrecognisedCodeShowsItselfInHexUntilTheNextOne)
{
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

/* ---- the colour table ------------------------------------------------------ */

TEST_F(StatusVisuals, ColourTableFollowsTheStatusKeyResources)
{
    put("*s_OK.background", "#102030");
    put("*s_OK.foreground", "#405060");
    put("*s_warn.background", "#aa5500");
    put("*s_warn.foreground", "#001100");
    put("*s_not_OK.background", "#bb0000");
    put("*s_not_OK.foreground", "#000022");
    put("*s_key_form.background", "#c0c0c0");
    put("*s_key_form.foreground", "#000033");
    put("*s_fan_fast.background", "#ff00ff");
    create_s_key_shell(Toplevel);
    get_colors();

    EXPECT_EQ(s_colors[STATUS_OK].background, pixel_of("#102030"));
    EXPECT_EQ(s_colors[STATUS_OK].foreground, pixel_of("#405060"));
    EXPECT_EQ(s_colors[STATUS_WARN].background, pixel_of("#aa5500"));
    EXPECT_EQ(s_colors[STATUS_FAST].background, pixel_of("#ff00ff"));
    /* Lamps: the warning and fault colours on a dark face. */
    EXPECT_EQ(s_colors[STATUS_LED_AMBER].foreground, pixel_of("#aa5500"));
    EXPECT_EQ(s_colors[STATUS_LED_AMBER].background, pixel_of("#001100"));
    EXPECT_EQ(s_colors[STATUS_LED_RED].foreground, pixel_of("#bb0000"));
    EXPECT_EQ(s_colors[STATUS_LED_RED].background, pixel_of("#000022"));
    EXPECT_EQ(s_colors[STATUS_TITLE].background, pixel_of("#c0c0c0"));
    EXPECT_EQ(s_colors[STATUS_TITLE].foreground, pixel_of("#000033"));
    /* "Not used" text is invisible. */
    EXPECT_EQ(s_colors[STATUS_NOT_USED].foreground, pixel_of("#c0c0c0"));
    EXPECT_EQ(s_colors[STATUS_NOT_USED].background, pixel_of("#c0c0c0"));
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

TEST_F(StatusVisuals, ShippedAppDefaultsColourTheKeyAndTheTable)
{
    key_from_app_defaults();
    EXPECT_EQ(s_colors[STATUS_OK].background, pixel_of("#30c030"));
    EXPECT_EQ(s_colors[STATUS_BAD].background, pixel_of("#e02020"));
    EXPECT_EQ(s_colors[STATUS_WARN].background, pixel_of("#ffb020"));
    EXPECT_EQ(s_colors[STATUS_UNKNOWN].background, pixel_of("#c0a0e0"));
    EXPECT_EQ(s_colors[STATUS_LED_GREEN].foreground, pixel_of("#40ff40"));
    EXPECT_EQ(s_colors[STATUS_LED_RED].foreground, pixel_of("#e02020"));
    EXPECT_EQ(s_colors[STATUS_LED_RED].background, pixel_of("black"));
    /* The key draws each symbol in the colours the table took from it. */
    EXPECT_EQ(pixmap_resource(s_OK, XmNlabelPixmap), icon_in_scheme(s_OK, std::string(ICONS) + "STAT.powered", STATUS_OK));
    EXPECT_EQ(pixmap_resource(s_unknown, XmNlabelPixmap),
              icon_in_scheme(s_unknown, std::string(ICONS) + "STAT.unkn", STATUS_UNKNOWN));
    EXPECT_EQ(pixmap_resource(s_nocomm, XmNlabelPixmap),
              icon_in_scheme(s_nocomm, std::string(ICONS) + "ss_nocomm.indic", STATUS_UNKNOWN));

    XtManageChild(s_key_form);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_key_form); }, kWaitMs));
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir != nullptr) {
        gui::pump_pending();
        EXPECT_TRUE(gui::save_screenshot(std::string(dir) + "/windows_status_key_app_defaults.png"));
    }
}

/* ---- painting --------------------------------------------------------------- */

TEST_F(StatusVisuals, ShowStatusPaintsTheIconAndOptionallyTheFrameBehind)
{
    key_from_app_defaults();
    Widget form = canvas();
    Widget frame = XtVaCreateManagedWidget("frame", xmFrameWidgetClass, form, nullptr);
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

TEST_F(StatusVisuals, ToggleIsNeutralWhileSelectableAndShowsItsStatusOtherwise)
{
    key_from_app_defaults();
    Widget form = canvas();
    auto toggle = [&](const char *name, Widget left) {
        Widget t = XtVaCreateManagedWidget(name, xmToggleButtonWidgetClass, form, XmNlabelType, XmPIXMAP,
                                           XmNindicatorOn, False, XmNleftAttachment,
                                           left ? XmATTACH_WIDGET : XmATTACH_FORM, XmNleftWidget, left, nullptr);
        return t;
    };
    Widget selectable = toggle("selectable", nullptr);
    Widget locked = toggle("locked", selectable);
    XtSetSensitive(locked, False);

    const std::string fan = std::string(ICONS) + "FAN.tsl";
    show_tb_status(selectable, fan.c_str(), STATUS_BAD);
    show_tb_status(locked, fan.c_str(), STATUS_BAD);

    const Pixmap title = icon_in_scheme(selectable, fan, STATUS_TITLE);
    const Pixmap status = icon_in_scheme(selectable, fan, STATUS_BAD);
    const Pixmap inverted = icon_in(selectable, fan, s_colors[STATUS_TITLE].background, s_colors[STATUS_TITLE].foreground);
    for (Widget t : {selectable, locked}) {
        EXPECT_EQ(pixmap_resource(t, XmNlabelPixmap), title);
        EXPECT_EQ(pixmap_resource(t, XmNlabelInsensitivePixmap), status);
        EXPECT_EQ(pixmap_resource(t, XmNselectPixmap), inverted);
    }

    /* On the screen: the fault colour only in the insensitive toggle. */
    show_canvas();
    ASSERT_TRUE(gui::pump_until([&] { return count_pixels(locked, s_colors[STATUS_BAD].background) > 50; }, kWaitMs));
    EXPECT_EQ(count_pixels(selectable, s_colors[STATUS_BAD].background), 0);
}

TEST_F(StatusVisuals, ComponentStatusPaintsIconFrameAndPictureForEachScheme)
{
    key_from_app_defaults();
    Widget form = canvas();
    Widget frame = XtVaCreateManagedWidget("frm_part", xmFrameWidgetClass, form, nullptr);
    Widget stat = XtVaCreateManagedWidget("stat_part", xmLabelWidgetClass, frame, XmNlabelType, XmPIXMAP, nullptr);
    Widget btn = XtVaCreateManagedWidget("btn_part", xmToggleButtonWidgetClass, form, XmNlabelType, XmPIXMAP,
                                         XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, frame, nullptr);
    const std::string picture = std::string(ICONS) + "PWR.tsl";

    struct Case {
        int status, tiny;
        const char *icon;
        int scheme;
    };
    const Case cases[] = {
        {1, 0, "STAT.powered", STATUS_OK},     {1, 1, "ss_pwr.indic", STATUS_OK},
        {2, 0, "STAT.bad", STATUS_BAD},        {139, 1, "ss_error.indic", STATUS_BAD},
        {3, 0, "STAT.nopwr", STATUS_NOT_PRES}, {4, 1, "ss_nopwr.indic", STATUS_DISABLED},
        {5, 1, "STAT.fast", STATUS_FAST},      {59, 0, "STAT.warn", STATUS_WARN},
        {71, 0, "ss_nocomm.indic", STATUS_UNKNOWN}, {84, 0, "STAT.unkn", STATUS_UNKNOWN},
        {92, 0, "STAT.none", STATUS_TITLE},    {250, 0, "STAT.unrecognized", STATUS_WARN},
    };
    for (const Case &c : cases) {
        show_component_status(stat, btn, c.status, picture.c_str(), c.tiny);
        EXPECT_EQ(pixmap_resource(stat, XmNlabelPixmap), icon_in_scheme(stat, std::string(ICONS) + c.icon, c.scheme))
            << c.status;
        EXPECT_EQ(resource_pixel(frame, XmNbackground), s_colors[c.scheme].background) << c.status;
        /* The button keeps the component's picture; only its colours follow. */
        EXPECT_EQ(pixmap_resource(btn, XmNlabelPixmap), icon_in_scheme(btn, picture, STATUS_TITLE)) << c.status;
        EXPECT_EQ(pixmap_resource(btn, XmNlabelInsensitivePixmap), icon_in_scheme(btn, picture, c.scheme))
            << c.status;
    }
    show_canvas();
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir != nullptr)
        gui::save_screenshot(std::string(dir) + "/windows_component_status.png");
}

TEST_F(StatusVisuals, LabelsCarryNameNumberAndStatusInTitleColours)
{
    key_from_app_defaults();
    Widget form = canvas();
    Widget label = XtVaCreateManagedWidget("lbl_part", xmLabelWidgetClass, form, nullptr);

    add_status_to_label(-1, 1, "FAN", label);
    EXPECT_EQ(gui::label_text(label), "FAN\nOK");
    add_status_to_label(3, 2, "PS", label);
    EXPECT_EQ(gui::label_text(label), "PS 3\nFault");
    add_status_to_label(0, 200, "CTL", label);
    EXPECT_EQ(gui::label_text(label), "CTL 0\n(0xc8)");
    EXPECT_EQ(resource_pixel(label, XmNforeground), s_colors[STATUS_TITLE].foreground);
    EXPECT_EQ(resource_pixel(label, XmNbackground), s_colors[STATUS_TITLE].background);

    show_text("Temperature\nCritical", STATUS_BAD, label);
    EXPECT_EQ(gui::label_text(label), "Temperature\nCritical");
    EXPECT_EQ(resource_pixel(label, XmNbackground), s_colors[STATUS_BAD].background);
    show_text("hidden", STATUS_NOT_USED, label);
    EXPECT_EQ(resource_pixel(label, XmNforeground), resource_pixel(label, XmNbackground));
}

} // namespace
