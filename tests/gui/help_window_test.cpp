/* help_window_test.cpp - the help window driven by the help key and clicks. */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <X11/IntrinsicP.h>
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/PushB.h>
#include <Xm/Xm.h>

#include "data/help/tools/gifwrite.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "help/xgifload.h"
#include "tests/support/gui_harness.h"
#include "tests/support/process.h"
#include "tests/support/x_session.h"
#include "ui/x_util.h"

namespace {

constexpr int kWaitMs = 4000;

const char kMainHelp[] = "# a comment line\nSTART_TOPIC First\nThe first page.\n"
                         "BUTTON \"Elsewhere\" FILE other.help TOPIC Elsewhere\nEND_TOPIC First\n"
                         "START_TOPIC Second\nThe second page.\nEND_TOPIC Second\n# between pages\n"
                         "START_TOPIC Third\nThe third page.\nEND_TOPIC Third\n";
const char kOtherHelp[] = "START_TOPIC Elsewhere\nIn another file.\nEND_TOPIC Elsewhere\n";

/* Bells rung on the display, seen through a connection of our own whose
 * selection reaches the server before the first bell can ring. */
struct BellWatch {
    int event_base = 0, count = 0, unused = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    Display *display = XkbOpenDisplay(nullptr, &event_base, &unused, &major, &minor, &unused);
    BellWatch()
    {
        if (display != nullptr && XkbSelectEvents(display, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask))
            XSync(display, False);
    }
    ~BellWatch() { if (display != nullptr) XCloseDisplay(display); }
    int rung()
    {
        for (XEvent event; XPending(display) > 0;)
            if (XNextEvent(display, &event) == 0 && event.type == event_base &&
                reinterpret_cast<XkbEvent *>(&event)->any.xkb_type == XkbBellNotify)
                ++count;
        return count;
    }
};

Widget page() { return xh_PageContainer(); }

/* The text of the page shown: every managed label and button, in order. */
std::string page_text()
{
    std::string text;
    for (Widget w : gui::children(page()))
        if (XtIsManaged(w) && !w->core.being_destroyed)
            text += gui::label_text(w) + "|";
    return text;
}

bool page_shows(const std::string &words)
{
    return gui::pump_until([&] { return page() != nullptr && page_text().find(words) != std::string::npos; },
                           kWaitMs);
}

Widget page_button(const std::string &label)
{
    for (Widget w : gui::children(page()))
        if (XtIsManaged(w) && gui::label_text(w).find(label) != std::string::npos)
            return w;
    return nullptr;
}

/* Clicks a button of the help window ("xh_nextButton", ...), wherever the
 * window was made. */
bool click_help_button(const std::string &name)
{
    Widget dialog = page();
    while (dialog != nullptr && !XtIsShell(dialog))
        dialog = XtParent(dialog);
    Widget w = dialog != nullptr ? gui::find_in(dialog, ("*" + name).c_str()) : nullptr;
    return gui::pump_until([w] { return gui::is_shown(w); }, kWaitMs) && gui::click(w);
}

void press_help_key_over(Widget w)
{
    int x = 0, y = 0;
    Window child;
    Dimension width = 0, height = 0;
    XtVaGetValues(w, XmNwidth, &width, XmNheight, &height, nullptr);
    XTranslateCoordinates(XtDisplay(w), XtWindow(w), DefaultRootWindow(XtDisplay(w)), width / 2, height / 2, &x, &y,
                          &child);
    xsession::press_key_at(XtDisplay(w), x, y, XK_F1);
}

/* A GIF87a picture of two colours in diagonal stripes. */
const std::vector<GifRgb> kStripeColours = {{0x20, 0x60, 0xa0}, {0xff, 0xd0, 0x40}};
int stripe(int x, int y) { return (x + y) % 3 == 0 ? 1 : 0; }
std::string small_gif(int width, int height)
{
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < width * height; i++)
        pixels.push_back(static_cast<std::uint8_t>(stripe(i % width, i / width)));
    std::vector<std::uint8_t> gif = GifWrite(width, height, kStripeColours, pixels, {});
    return std::string(gif.begin(), gif.end());
}

class HelpWindow : public testing::Test {
protected:
    void SetUp() override
    {
        help_ = root_.at("/help");
        root_.write("/help/main.help", kMainHelp);
        root_.write("/help/other.help", kOtherHelp);
        setenv("XHELPPATH", (root_.path() + "/nowhere:" + help_).c_str(), 1);
        InitHelp("rack_fru", Toplevel, "F1", AnyModifier);
        xh_Toplevel = Toplevel;
    }
    ConsoleRoot root_;
    std::string help_;
};

TEST_F(HelpWindow, HelpKeyOpensTheTopicOfTheWindowUnderThePointerOrSaysThereIsNone)
{
    Widget shell = gui::test_shell("console", 300, 300);
    Widget form = XtVaCreateManagedWidget("form", xmFormWidgetClass, shell, XmNwidth, 320, XmNheight, 160, nullptr);
    Widget helped = XtVaCreateManagedWidget("helped", xmFrameWidgetClass, form, XmNwidth, 150, XmNheight, 150,
                                            nullptr);
    Widget inside = XtVaCreateManagedWidget("inside", xmPushButtonWidgetClass, helped, nullptr);
    Widget plain = XtVaCreateManagedWidget("plain", xmFrameWidgetClass, form, XmNleftAttachment, XmATTACH_WIDGET,
                                           XmNleftWidget, helped, XmNwidth, 150, XmNheight, 150, nullptr);
    Widget plain_inside = XtVaCreateManagedWidget("plain_inside", xmPushButtonWidgetClass, plain, nullptr);
    /* Registered before it has a window, and again after: the second wins. */
    RegisterHelpContext(helped, "main.help", "Second");
    XtRealizeWidget(shell);
    ASSERT_TRUE(gui::pump_until([&] { return gui::is_shown(inside) && gui::is_shown(plain_inside); }, kWaitMs));
    RegisterHelpContext(helped, "main.help", "Third");

    press_help_key_over(inside);
    ASSERT_TRUE(page_shows("The third page."));
    EXPECT_EQ(gui::shell_title(page()), "Help");
    ASSERT_TRUE(click_help_button("xh_quitButton"));
    EXPECT_TRUE(gui::pump_until([] { return !gui::is_shown(page()); }, kWaitMs));

    press_help_key_over(plain_inside);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find("*xh_information.OK")); }, kWaitMs));
    EXPECT_EQ(gui::message_text(gui::find("*xh_information")), "No Help is available");
    EXPECT_FALSE(gui::is_shown(page()));
}

TEST_F(HelpWindow, HelpKeyInAVerifyDialogOpensItsTopicAndTheHelpWindowTakesClicks)
{
    root_.write("/help/xdiag.help", "START_TOPIC Comm_Port_Busy\nThe port is busy.\nEND_TOPIC Comm_Port_Busy\n"
                                    "START_TOPIC After\nAfter the port.\nEND_TOPIC After\n");
    Widget shell = gui::test_shell("console", 600, 500);
    XtVaSetValues(shell, XmNwidth, 200, XmNheight, 100, nullptr);
    XtRealizeWidget(shell);
    SetRealizedShell(shell);
    gui::run_later(30, [shell] {
        Widget box = nullptr;
        ASSERT_TRUE(
            gui::pump_until([&] { return gui::is_shown(box = gui::find_in(shell, "*error_widget")); }, kWaitMs));
        press_help_key_over(box);
        EXPECT_TRUE(page_shows("The port is busy."));
        /* The verify box's grab is gone: the help window's buttons work. */
        EXPECT_TRUE(click_help_button("xh_nextButton"));
        EXPECT_TRUE(page_shows("After the port."));
        gui::click(gui::find_in(shell, "*error_widget.OK"));
    });
    EXPECT_EQ(ModalVerifyDialog(nullptr, "FRU Replacement", "Is the port free?", DIALOG_QUESTION, "Comm_Port_Busy"),
              1);
    SetRealizedShell(nullptr);
}

TEST_F(HelpWindow, NextPrevBackSearchAndQuitWalkTheTopicsAndRingAtTheEnds)
{
    BellWatch bells;
    ASSERT_NE(bells.display, nullptr);
    int expected_bells = 0;
    auto press = [&](const char *button, bool rings) {
        SCOPED_TRACE(button);
        ASSERT_TRUE(click_help_button(button));
        if (rings)
            ++expected_bells;
        EXPECT_TRUE(gui::pump_until([&] { return bells.rung() >= expected_bells; }, rings ? kWaitMs : 0));
    };

    Help("main.help", "First");
    ASSERT_TRUE(page_shows("The first page."));
    press("xh_prevButton", true);    /* the first topic of the file */
    press("xh_backButton", true);    /* only one file open */
    EXPECT_TRUE(page_shows("The first page."));

    press("xh_nextButton", false);
    EXPECT_TRUE(page_shows("The second page."));
    press("xh_nextButton", false);
    EXPECT_TRUE(page_shows("The third page."));
    press("xh_nextButton", true);    /* no topic after the last */
    EXPECT_TRUE(page_shows("The third page."));
    press("xh_prevButton", false);
    EXPECT_TRUE(page_shows("The second page."));
    press("xh_prevButton", false);
    ASSERT_TRUE(page_shows("The first page."));

    /* A button to another file nests it; Back returns to the page left. */
    ASSERT_TRUE(gui::click(page_button("Elsewhere")));
    ASSERT_TRUE(page_shows("In another file."));
    press("xh_backButton", false);
    ASSERT_TRUE(page_shows("The first page."));
    press("xh_backButton", true);
    EXPECT_EQ(bells.rung(), expected_bells);

    /* Search writes the index beside the file and shows it. */
    press("xh_searchButton", false);
    ASSERT_TRUE(page_shows("Index for main.help"));
    EXPECT_NE(file_text(help_ + "/main.help.index"), "");
    for (const char *topic : {"First", "Second", "Third"})
        EXPECT_NE(page_button(topic), nullptr) << topic;
    ASSERT_TRUE(gui::click(page_button("Third")));
    EXPECT_TRUE(page_shows("The third page."));

    press("xh_quitButton", false);
    EXPECT_TRUE(gui::pump_until([] { return !gui::is_shown(page()); }, kWaitMs));
    EXPECT_EQ(HelpDepth, 0);
    EXPECT_EQ(StackIndex, 0);

    /* After Quit a new session starts at the asked topic, with one file. */
    Help("main.help", "Second");
    ASSERT_TRUE(page_shows("The second page."));
    press("xh_backButton", true);
}

TEST_F(HelpWindow, FailuresAreReportedAndThePreviousPageStaysUsable)
{
    Help("main.help", "Second");
    ASSERT_TRUE(page_shows("The second page."));
    for (auto [file, topic, text] :
         {std::tuple{"main.help", "Nowhere", "Cannot find help topic \"Nowhere\" in file \"main.help\""},
          std::tuple{"absent.help", "First", "Cannot open help file \"absent.help\": No such file or directory"}}) {
        SCOPED_TRACE(text);
        Help(file, topic);
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find("*xh_information.OK")); }, kWaitMs));
        EXPECT_EQ(gui::message_text(gui::find("*xh_information")), text);
        ASSERT_TRUE(gui::click(gui::find("*xh_information.OK")));
        ASSERT_TRUE(gui::pump_until([] { return gui::find("*xh_information") == nullptr; }, kWaitMs));
        EXPECT_EQ(HelpDepth, 1);
    }
    /* An error is named by its line also when the topic is read from its
     * remembered place (comment lines are not counted). */
    root_.write("/help/broken.help", "# comment\nSTART_TOPIC Ok\nfine\nEND_TOPIC Ok\n# comment\n"
                                     "START_TOPIC Bad\nwords\nBUTTON \"x\" TOPIC y\nEND_TOPIC Bad\n");
    for (int visit = 1; visit <= 2; visit++) {
        testing::internal::CaptureStdout();
        Help("broken.help", "Bad");
        std::fflush(stdout);
        EXPECT_NE(testing::internal::GetCapturedStdout().find("Syntax error (in help file broken.help Line 6)"),
                  std::string::npos)
            << "visit " << visit;
    }
    HelpDialogCallback(nullptr, reinterpret_cast<XtPointer>(2), nullptr);   /* Back */
    HelpDialogCallback(nullptr, reinterpret_cast<XtPointer>(2), nullptr);
    ASSERT_TRUE(page_shows("The second page."));

    /* Font escapes in a box's text change its font, not its words. */
    Widget box = xh_InformationMessage("Help", "Position \\f1nine\\fP is wrong.", "Line 3 of x.help");
    EXPECT_EQ(gui::message_text(box), "Position nine is wrong.\nLine 3 of x.help");

    /* The page is the one shown before, and it still reads on. */
    ASSERT_TRUE(click_help_button("xh_nextButton"));
    EXPECT_TRUE(page_shows("The third page."));
}

TEST_F(HelpWindow, APageShowsFontsButtonsGifsAndBitmaps)
{
    const int width = 48, height = 24;
    root_.write("/help/picture.gif", small_gif(width, height));
    std::string revised = small_gif(4, 4);
    revised[4] = '9';
    root_.write("/help/revised.gif", revised);
    root_.write("/help/mark.xbm", "#define mark_width 16\n#define mark_height 8\nstatic unsigned char mark_bits[] = {\n"
                                  "0xff, 0xff, 0x01, 0x80, 0x3d, 0xbc, 0x01, 0x80,\n"
                                  "0x3d, 0xbc, 0x01, 0x80, 0xff, 0xff, 0x01, 0x80};\n");
    root_.write("/help/pictures.help", "START_TOPIC Pictures\n"
                                       "FONT_POSITION 1 fixed\n"
                                       "FONT_POSITION 2 6x13bold=bold\n"
                                       "Plain, \\f2bold\\fP and plain again.\n"
                                       "GIF picture.gif\nGIF picture.gif\nBITMAP mark.xbm\nBITMAP missing.xbm\n"
                                       "GIF missing.gif\nGIF revised.gif\n"
                                       "BUTTON \"To the first page\" FILE main.help TOPIC First\n"
                                       "END_TOPIC Pictures\n");
    Help("pictures.help", "Pictures");
    ASSERT_TRUE(page_shows("Plain, bold and plain again."));

    std::vector<Pixmap> gifs, bitmaps;
    int missing = 0, buttons = 0;
    for (Widget w : gui::children(page())) {
        unsigned char type = XmSTRING;
        Pixmap picture = XmUNSPECIFIED_PIXMAP;
        XtVaGetValues(w, XmNlabelType, &type, XmNlabelPixmap, &picture, nullptr);
        const std::string name = XtName(w);
        if (type == XmPIXMAP && picture != XmUNSPECIFIED_PIXMAP)
            (name == "gif_picture" ? gifs : bitmaps).push_back(picture);
        missing += gui::label_text(w) == "picture not found";
        buttons += name == "help_button";
    }
    /* A picture shown twice is decoded once; a missing bitmap shows the
     * toolkit's pattern, a missing or broken GIF says so. */
    ASSERT_EQ(gifs.size(), 2u);
    EXPECT_EQ(gifs[0], gifs[1]);
    EXPECT_EQ(bitmaps.size(), 2u);
    EXPECT_EQ(missing, 2);
    EXPECT_EQ(buttons, 1);
    Screen *screen = XtScreen(page());
    const Pixel fg = BlackPixelOfScreen(screen), bg = WhitePixelOfScreen(screen);
    EXPECT_EQ(MyGetPixmap(screen, "missing.xbm", fg, bg), XmGetPixmap(screen, const_cast<char *>("slant_right"), fg, bg));

    /* The picture is shown in the colours of its colour map. */
    XImage *shown = XGetImage(XtDisplay(page()), gifs[0], 0, 0, width, height, AllPlanes, ZPixmap);
    ASSERT_NE(shown, nullptr);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            XColor c{};
            c.pixel = XGetPixel(shown, x, y);
            XQueryColor(XtDisplay(page()), DefaultColormapOfScreen(screen), &c);
            const GifRgb want = kStripeColours[static_cast<std::size_t>(stripe(x, y))];
            EXPECT_EQ((c.red >> 8) << 16 | (c.green >> 8) << 8 | c.blue >> 8, want.red << 16 | want.green << 8 | want.blue)
                << x << "," << y;
        }
    XDestroyImage(shown);
    gui::screenshot("HelpWindow.PageWithPictures");

    ASSERT_TRUE(gui::click(page_button("To the first page")));
    EXPECT_TRUE(page_shows("The first page."));
}

} // namespace
