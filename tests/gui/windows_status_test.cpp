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
#include <utility>

#include <X11/Xlib.h>
#include <Xm/RowColumn.h>
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

TEST(StatusTable, EveryCodeHasALookAndUnrecognisedOnesShowTheirNumber)
{
    /* Every code has an icon, a colour scheme of the table and a text, in
     * both sizes. */
    for (int code = 0; code <= 255; ++code)
        for (int tiny : {0, 1}) {
            Mapped m = map_status(code, tiny);
            EXPECT_TRUE(m.icon.starts_with(ICONS)) << code << " " << m.icon;
            EXPECT_GE(m.scheme, 0) << code;
            EXPECT_LT(m.scheme, STATUS_last) << code;
            EXPECT_FALSE(m.text.empty()) << code;
        }

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

/* ---- the colour table ------------------------------------------------------ */

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

/* The key from the shipped app-defaults file, then every painter on one
 * canvas in its colours, then both on the screen. */
TEST_F(StatusVisuals, ShippedKeyColoursTheTableAndEveryPainterFollowsIt)
{
    /* 1. The shipped colours, and the key draws each symbol in the colours
     *    the table took from it. */
    key_from_app_defaults();
    EXPECT_EQ(pixmap_resource(s_OK, XmNlabelPixmap), icon_in_scheme(s_OK, std::string(ICONS) + "STAT.powered", STATUS_OK));
    EXPECT_EQ(pixmap_resource(s_unknown, XmNlabelPixmap),
              icon_in_scheme(s_unknown, std::string(ICONS) + "STAT.unkn", STATUS_UNKNOWN));
    EXPECT_EQ(pixmap_resource(s_nocomm, XmNlabelPixmap),
              icon_in_scheme(s_nocomm, std::string(ICONS) + "ss_nocomm.indic", STATUS_UNKNOWN));

    /* 2. show_status paints the icon, and the frame behind only when asked. */
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

    /* 3. A toggle is neutral while selectable and shows its status otherwise. */
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

    /* 4. A component's status icon, frame and picture for every look; the
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

    /* 5. Labels carry name, number and status in title colours; show_text
     *    colours a text, invisibly for "not used". */
    Widget text = XtVaCreateManagedWidget("lbl_part", xmLabelWidgetClass, row, nullptr);
    add_status_to_label(-1, 1, "FAN", text);
    EXPECT_EQ(gui::label_text(text), "FAN\nOK");
    add_status_to_label(3, 2, "PS", text);
    EXPECT_EQ(gui::label_text(text), "PS 3\nFault");
    add_status_to_label(0, 200, "CTL", text);
    EXPECT_EQ(gui::label_text(text), "CTL 0\n(0xc8)");
    EXPECT_EQ(resource_pixel(text, XmNforeground), s_colors[STATUS_TITLE].foreground);
    EXPECT_EQ(resource_pixel(text, XmNbackground), s_colors[STATUS_TITLE].background);
    show_text("Temperature\nCritical", STATUS_BAD, text);
    EXPECT_EQ(gui::label_text(text), "Temperature\nCritical");
    EXPECT_EQ(resource_pixel(text, XmNbackground), s_colors[STATUS_BAD].background);
    show_text("hidden", STATUS_NOT_USED, text);
    EXPECT_EQ(resource_pixel(text, XmNforeground), resource_pixel(text, XmNbackground));

    /* 6. On the screen: the fault colour only in the insensitive toggle. */
    XtManageChild(s_key_form);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(s_key_form); }, kWaitMs));
    show_canvas();
    ASSERT_TRUE(gui::pump_until([&] { return count_pixels(locked, s_colors[STATUS_BAD].background) > 50; }, kWaitMs));
    EXPECT_EQ(count_pixels(selectable, s_colors[STATUS_BAD].background), 0);
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir != nullptr) {
        EXPECT_TRUE(gui::save_screenshot(std::string(dir) + "/windows_status_painters.png"));
    }
}

} // namespace
