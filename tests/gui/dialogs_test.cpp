/* dialogs_test.cpp - the dialog utilities and help callbacks, answered by XTest clicks. */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <unistd.h>

#include <Xm/BulletinB.h>
#include <Xm/MessageB.h>
#include <Xm/PushB.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "base/process.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "tests/support/gui_harness.h"
#include "tests/support/process.h"
#include "ui/picture_cache.h"
#include "ui/x_util.h"

namespace {

constexpr int kWaitMs = 3000;
constexpr int kAnswerDelayMs = 30;

/* A small X bitmap whose size tells the icons apart.  Xlib's reader wants
 * the bits on the lines after the opening brace. */
void write_xbm(const ConsoleRoot &root, const std::string &fixed, int size)
{
    std::ostringstream out;
    out << "#define icon_width " << size << "\n#define icon_height " << size << "\n"
        << "static unsigned char icon_bits[] = {\n";
    int bytes = (size + 7) / 8 * size;
    for (int i = 0; i < bytes; i++)
        out << (i ? ", " : "") << ((i % 3) ? "0x55" : "0xf0");
    out << "};\n";
    root.write(fixed, out.str());
}

Pixmap symbol_of(Widget box)
{
    Pixmap symbol = None;
    XtVaGetValues(box, XmNsymbolPixmap, &symbol, nullptr);
    return symbol;
}

void colours_of(Widget w, Pixel *foreground, Pixel *background)
{
    XtVaGetValues(w, XmNforeground, foreground, XmNbackground, background, nullptr);
}

/* Root coordinates of a widget's top-left corner. */
void root_position(Widget w, int *x, int *y)
{
    Window child;
    Display *display = XtDisplay(w);
    XTranslateCoordinates(display, XtWindow(w), DefaultRootWindow(display), 0, 0, x, y, &child);
}

bool dialog_gone(const char *path)
{
    return gui::pump_until([path] { return gui::find(path) == nullptr; }, kWaitMs);
}

std::string lines(int from, int to)
{
    std::string text;
    for (int i = from; i <= to; i++)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

/* Every test runs against a private console root holding the icons, and a
 * help path that holds only "xdiag.help". */
class Dialogs : public testing::Test {
protected:
    void SetUp() override
    {
        icons_ = root_.at("/opt/console/icons/");
        help_ = root_.at("/help");
        int size = 8;
        for (const char *name : {"error.xbm", "information.xbm", "unknown.icon", "question.xbm", "working.xbm",
                                 "8810.icon", "JBDP.icon", "CABSTAT.icon"})
            write_xbm(root_, std::string("/opt/console/icons/") + name, std::exchange(size, size + 8));
        root_.write("/help/xdiag.help", "START_TOPIC Comm_Port_Busy\nEND_TOPIC Comm_Port_Busy\n");
        setenv("XHELPPATH", (root_.path() + "/nowhere:" + help_).c_str(), 1);
        xh_ReadHelpPath();
        no_verify_timeout = 1;
    }
    void TearDown() override { EndWorkDialog(); }

    Pixmap icon(const char *name, Pixel foreground, Pixel background)
    {
        return GetPicturePixmap(XtScreen(Toplevel), (icons_ + name).c_str(), foreground, background);
    }

    ConsoleRoot root_;
    std::string icons_, help_;
};

TEST_F(Dialogs, ModalErrorAndInfoDialogsShowOnlyOkAndReturnWhenItIsClicked)
{
    using Open = void (*)(Widget, const char *, const char *);
    for (const auto &[open, icon_name] : {std::pair<Open, const char *>{ModalErrorDialog, "error.xbm"},
                                          {ModalInfoDialog, "information.xbm"}}) {
        SCOPED_TRACE(icon_name);
        bool inspected = false;
        gui::run_later(kAnswerDelayMs, [&] {
            ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find("*error_widget.OK")); }, kWaitMs));
            Widget box = gui::find("*error_widget");
            EXPECT_EQ(gui::message_text(box), "Cabinet 3\ncannot be reached");
            EXPECT_EQ(gui::shell_title(box), "Rack Status");
            EXPECT_FALSE(gui::is_shown(gui::find("*error_widget.Cancel")));
            EXPECT_FALSE(gui::is_shown(gui::find("*error_widget.Help")));
            /* The box's bitmap is drawn with its colours exchanged. */
            Pixel fg, bg;
            colours_of(box, &fg, &bg);
            EXPECT_EQ(symbol_of(box), icon(icon_name, bg, fg));
            /* PopupCallback places message boxes at 250,250. */
            int x = 0, y = 0;
            root_position(XtParent(box), &x, &y);
            EXPECT_EQ(x, 250);
            EXPECT_EQ(y, 250);
            inspected = true;
            gui::click(gui::find("*error_widget.OK"));
        });
        open(nullptr, "Rack Status", "Cabinet 3\ncannot be reached");
        EXPECT_TRUE(inspected);
        EXPECT_TRUE(dialog_gone("*error_widget"));
    }
}

TEST_F(Dialogs, WidgetDialogReturnsAtOnceAndGoesUnderTheRealizedShell)
{
    static Widget ok_parent = nullptr;
    ok_parent = nullptr;
    auto ok = [](Widget, XtPointer client_data, XtPointer) { ok_parent = static_cast<Widget>(client_data); };
    Widget box = ErrorDialog(nullptr, "Rack Status", "non-modal", ok);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(gui::pump_until([box] { return gui::is_shown(box); }, kWaitMs));
    EXPECT_FALSE(gui::is_shown(XmMessageBoxGetChild(box, XmDIALOG_CANCEL_BUTTON)));
    EXPECT_FALSE(gui::is_shown(XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON)));

    ASSERT_TRUE(gui::click(XmMessageBoxGetChild(box, XmDIALOG_OK_BUTTON)));
    ASSERT_TRUE(gui::pump_until([] { return ok_parent != nullptr; }, kWaitMs));
    EXPECT_EQ(ok_parent, Toplevel); /* no realized_shell: the parent is Toplevel */
    /* Not destroyed by us: the toolkit only takes it down. */
    EXPECT_TRUE(gui::pump_until([box] { return !XtIsManaged(box); }, kWaitMs));

    /* Dialogs without a parent go under the realized shell once it is realized. */
    Widget shell = gui::test_shell("other", 900, 0);
    XtVaSetValues(shell, XmNwidth, 50, XmNheight, 50, nullptr);
    SetRealizedShell(shell);
    Widget before = ErrorDialog(nullptr, "t", "unrealized shell", nullptr);
    EXPECT_EQ(XtParent(XtParent(before)), Toplevel);
    XtRealizeWidget(shell);
    Widget after = ErrorDialog(nullptr, "t", "realized shell", nullptr);
    EXPECT_EQ(XtParent(XtParent(after)), shell);
    SetRealizedShell(nullptr);
}

TEST_F(Dialogs, VerifyBoxesAnswerOkCancelNestedAndListTheCabinets)
{
    no_verify_timeout = 0; /* the 15-minute time-out is armed and removed again */
    /* OK gives 1 and Cancel 0; without a topic there is no Help button. */
    struct Case {
        const char *topic, *answer;
        int result;
    };
    for (const Case &c : {Case{"FRU_MB", "*error_widget.OK", 1}, {"", "*error_widget.Cancel", 0},
                          {nullptr, "*error_widget.Cancel", 0}}) {
        SCOPED_TRACE(c.answer);
        gui::run_later(kAnswerDelayMs, [c] {
            ASSERT_TRUE(gui::pump_until([c] { return gui::is_shown(gui::find(c.answer)); }, kWaitMs));
            EXPECT_TRUE(gui::is_shown(gui::find("*error_widget.OK")));
            EXPECT_TRUE(gui::is_shown(gui::find("*error_widget.Cancel")));
            EXPECT_EQ(gui::is_shown(gui::find("*error_widget.Help")), c.topic != nullptr && *c.topic != '\0');
            gui::click(gui::find(c.answer));
        });
        EXPECT_EQ(ModalVerifyDialog(nullptr, "Rack Status", "Power off?", DIALOG_QUESTION, c.topic), c.result);
        EXPECT_TRUE(dialog_gone("*error_widget"));
    }

    /* Nested boxes answer innermost first. */
    int inner = -1;
    gui::run_later(kAnswerDelayMs, [&] {
        gui::answer_later("*inner.error_widget.OK", kAnswerDelayMs);
        Widget outer_box = gui::find("*error_widget");
        ASSERT_NE(outer_box, nullptr);
        inner = ModalVerifyDialog(outer_box, "inner", "inner?", DIALOG_QUESTION, "");
        gui::answer_later("*error_widget.Cancel", kAnswerDelayMs);
    });
    EXPECT_EQ(ModalVerifyDialog(nullptr, "outer", "outer?", DIALOG_QUESTION, ""), 0);
    EXPECT_EQ(inner, 1);
    EXPECT_TRUE(dialog_gone("*error_widget"));

    /* The verify-args box lists the cabinet names after optind. */
    static char *args[] = {xs("rack_test"), xs("-F"), xs("a"), xs("b"), xs("c"),
                           xs("d"), xs("e"), xs("f"), nullptr};
    _argc = 8;
    _argv = args;
    optind = 2;
    std::string shown;
    gui::run_later(kAnswerDelayMs, [&] {
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find("*error_widget.OK")); }, kWaitMs));
        shown = gui::message_text(gui::find("*error_widget"));
        gui::click(gui::find("*error_widget.OK"));
    });
    EXPECT_EQ(ModalVerifyArgsDialog(nullptr, "FRU Power Off", "Power off", DIALOG_QUESTION, ""), 1);
    EXPECT_EQ(shown, "Power off\na, b, c, d,\ne, f ?");
}

TEST_F(Dialogs, HelpReleasesTheVerifyGrabAndReportsMissingAndFoundFiles)
{
    /* A realized shell with a button of its own: dialogs without a parent
     * go under it, and the button shows whether the verify box's exclusive
     * grab is held. */
    static Widget shell = nullptr;
    static int presses = 0;
    presses = 0;
    shell = gui::test_shell("console", 600, 500);
    /* The help box is centred on the shell: keep the button in its corner. */
    Widget board = XtVaCreateManagedWidget("board", xmBulletinBoardWidgetClass, shell, XmNwidth, 400,
                                           XmNheight, 300, nullptr);
    Widget button = XtVaCreateManagedWidget("press", xmPushButtonWidgetClass, board, XmNx, 0, XmNy, 0, nullptr);
    XtAddCallback(button, XmNactivateCallback, [](Widget, XtPointer, XtPointer) { presses++; }, nullptr);
    XtRealizeWidget(shell);
    SetRealizedShell(shell);
    ASSERT_TRUE(gui::pump_until([button] { return gui::is_shown(button); }, kWaitMs));

    std::string help_text, help_title;
    int presses_under_grab = -1;
    gui::run_later(kAnswerDelayMs, [&] {
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find_in(shell, "*error_widget.Help")); },
                                    kWaitMs));
        /* Under the grab, a click elsewhere is lost (bounded wait for nothing). */
        gui::click(button);
        gui::pump_until([] { return presses > 0; }, 300);
        presses_under_grab = presses;

        gui::click(gui::find_in(shell, "*error_widget.Help"));
        ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find_in(shell, "*xh_information.OK")); },
                                    kWaitMs));
        Widget info = gui::find_in(shell, "*xh_information");
        EXPECT_EQ(XtParent(XtParent(info)), shell);
        help_text = gui::message_text(info);
        help_title = gui::shell_title(info);
        EXPECT_FALSE(gui::is_shown(gui::find_in(shell, "*xh_information.Cancel")));
        EXPECT_FALSE(gui::is_shown(gui::find_in(shell, "*xh_information.Help")));

        /* The grab is gone: the rest of the program takes input again. */
        gui::click(button);
        EXPECT_TRUE(gui::pump_until([] { return presses == 1; }, kWaitMs));

        gui::click(gui::find_in(shell, "*xh_information.OK"));
        EXPECT_TRUE(gui::pump_until([] { return gui::find_in(shell, "*xh_information") == nullptr; }, kWaitMs));
        gui::click(gui::find_in(shell, "*error_widget.OK"));
    });
    EXPECT_EQ(ModalVerifyDialog(nullptr, "FRU Replacement", "Pull the board", DIALOG_QUESTION, "CRU_PWR"), 1);
    SetRealizedShell(nullptr);
    EXPECT_EQ(presses_under_grab, 0);
    EXPECT_EQ(xh_Toplevel, shell);
    EXPECT_EQ(help_title, "Help");
    EXPECT_EQ(help_text, "Cannot open help file \"cru.help\": No such file or directory");

    /* A help file that is found: the help window shows the topic. */
    DisplayHelpCB(Toplevel, const_cast<char *>("Comm_Port_Busy"), nullptr);
    ASSERT_TRUE(gui::pump_until([] { return gui::is_shown(gui::find("*xh_helpDialog*xh_helpForm")); }, kWaitMs));
    EXPECT_EQ(gui::find("*xh_information"), nullptr);
    HelpDialogCallback(nullptr, reinterpret_cast<XtPointer>(4), nullptr);

    /* The detail of a help message goes on its own line. */
    Widget box = xh_InformationMessage("Help", "Can't open index file x.index.", "No writable directory on search path");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::message_text(box), "Can't open index file x.index.\nNo writable directory on search path");
}

/* Which icon each dialog kind shows is the icon table's business (its
 * fall-back is checked without X); here the program's own icon. */
TEST_F(Dialogs, TheProgramsIconIsSetAndAMissingFileChangesOnlyItsName)
{
    /* SetProgramsIcon sets the icon and its name. */
    Widget shell = gui::test_shell("iconshell", 900, 0);
    SetProgramsIcon(shell, "/opt/console/icons//CABSTAT.icon", "Cabinet 3");
    Pixmap pixmap = None;
    char *name = nullptr;
    XtVaGetValues(shell, XmNiconPixmap, &pixmap, XmNiconName, &name, nullptr);
    EXPECT_NE(pixmap, None);
    EXPECT_STREQ(name, "Cabinet 3");
    EXPECT_STREQ(progicon_name, "Cabinet 3");

    /* A missing icon file changes the name only. */
    SetProgramsIcon(shell, "/opt/console/icons/missing.icon", "Other");
    Pixmap after = None;
    XtVaGetValues(shell, XmNiconPixmap, &after, nullptr);
    EXPECT_EQ(after, pixmap);
    EXPECT_STREQ(progicon_name, "Other");
}

/* Each picture is drawn with its set bits in the foreground and the rest in
 * the background, once per colour pair; a file that is no X bitmap gives
 * no pixmap. */
TEST_F(Dialogs, PicturePixmapsFollowTheirBitsAndColoursAndAreDrawnOncePerPair)
{
    Display *display = XtDisplay(Toplevel);
    Screen *screen = XtScreen(Toplevel);
    const std::string path = icons_ + "question.xbm"; /* 32 x 32 */
    unsigned width = 0, height = 0;
    unsigned char *bits = nullptr;
    int hot_x = 0, hot_y = 0;
    ASSERT_EQ(XReadBitmapFileData(path.c_str(), &width, &height, &bits, &hot_x, &hot_y), BitmapSuccess);
    const Pixel white = WhitePixelOfScreen(screen), black = BlackPixelOfScreen(screen);
    for (auto [fg, bg] : {std::pair{black, white}, std::pair{white, black}}) {
        Pixmap pixmap = GetPicturePixmap(screen, path.c_str(), fg, bg);
        ASSERT_NE(pixmap, XmUNSPECIFIED_PIXMAP);
        EXPECT_EQ(GetPicturePixmap(screen, path.c_str(), fg, bg), pixmap);
        XImage *image = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        int wrong = 0;
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x) {
                const bool set = (bits[y * ((width + 7) / 8) + x / 8] >> (x % 8)) & 1;
                wrong += XGetPixel(image, static_cast<int>(x), static_cast<int>(y)) != (set ? fg : bg);
            }
        EXPECT_EQ(wrong, 0);
        XDestroyImage(image);
    }
    XFree(bits);

    root_.write("/opt/console/icons/broken.xbm", "#define broken_width 8\nnot a bitmap\n");
    for (const char *name : {"broken.xbm", "missing.xbm"})
        EXPECT_EQ(GetPicturePixmap(screen, (icons_ + name).c_str(), black, white), XmUNSPECIFIED_PIXMAP) << name;
}

TEST_F(Dialogs, WorkDialogShowsItsLastFifteenLinesInTheCornerAndAnswersOnlyWhenItActs)
{
    ASSERT_EQ(StartWorkDialog(nullptr, "Rack Status", "Reading configuration"), 1);
    EXPECT_EQ(IsWorkDialog(), 1);
    Widget text = gui::find("*WorkDialog*WorkText");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(gui::is_shown(text)); /* ForceDialog waited for it */
    EXPECT_EQ(gui::label_text(text), "Reading configuration\n");
    EXPECT_EQ(gui::label_text(gui::find("*WorkDialog*WorkTitle")), "In Progress...\t\t");
    EXPECT_EQ(gui::shell_title(text), "Rack Status");
    int x = 0, y = 0;
    root_position(WorkDialog, &x, &y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 5);
    ASSERT_EQ(EndWorkDialog(), 1);

    /* It keeps the last fifteen lines. */
    ASSERT_EQ(StartWorkDialog(Toplevel, "t", "line 0"), 1);
    for (int i = 1; i <= 14; i++)
        ASSERT_EQ(AddToWorkDialogMsg(("line " + std::to_string(i)).c_str()), 1);
    EXPECT_EQ(gui::label_text(WorkText), lines(0, 14));
    /* A long line forces the buffer to grow while the oldest scrolls off. */
    std::string long_line(500, 'x');
    ASSERT_EQ(AddToWorkDialogMsg(long_line.c_str()), 1);
    EXPECT_EQ(gui::label_text(WorkText), lines(1, 14) + long_line + "\n");
    for (int i = 15; i <= 40; i++)
        ASSERT_EQ(AddToWorkDialogMsg(("line " + std::to_string(i)).c_str()), 1);
    EXPECT_EQ(gui::label_text(WorkText), lines(26, 40));
    EXPECT_EQ(std::string(WorkString), lines(26, 40));
    ASSERT_EQ(EndWorkDialog(), 1);

    /* A leading empty line is dropped. */
    ASSERT_EQ(StartWorkDialog(nullptr, "t", ""), 1);
    EXPECT_EQ(std::string(WorkString), "\n");
    ASSERT_EQ(AddToWorkDialogMsg("first"), 1);
    EXPECT_EQ(gui::label_text(WorkText), "first\n");
    ASSERT_EQ(AddToWorkDialogMsg("second"), 1);
    EXPECT_EQ(gui::label_text(WorkText), "first\nsecond\n");
    ASSERT_EQ(EndWorkDialog(), 1);

    /* Starting a second one keeps the first text. */
    ASSERT_EQ(StartWorkDialog(nullptr, "t", "first text"), 1);
    Widget first = WorkDialog;
    EXPECT_EQ(StartWorkDialog(nullptr, "t", "second text"), 0);
    EXPECT_EQ(WorkDialog, first);
    EXPECT_EQ(gui::label_text(WorkText), "first text\n");

    /* Replacing the text, also with one longer than the buffer. */
    ASSERT_EQ(ChangeWorkDialogMsg("replaced"), 1);
    EXPECT_EQ(gui::label_text(WorkText), "replaced\n");
    std::string long_text(1000, 'y');
    ASSERT_EQ(ChangeWorkDialogMsg(long_text.c_str()), 1);
    EXPECT_EQ(gui::label_text(WorkText), long_text + "\n");
    EXPECT_GT(WorkStringSize, 1001);
    ASSERT_EQ(EndWorkDialog(), 1);

    /* Absent. */
    EXPECT_EQ(EndWorkDialog(), 0);
    EXPECT_EQ(HideWorkDialog(), 0);
    EXPECT_EQ(UnHideWorkDialog(), 0);
    EXPECT_EQ(ChangeWorkDialogMsg("x"), 0);
    EXPECT_EQ(AddToWorkDialogMsg("x"), 0);

    /* Shown -> hidden -> shown. */
    ASSERT_EQ(StartWorkDialog(nullptr, "t", "work"), 1);
    EXPECT_EQ(UnHideWorkDialog(), 0);
    EXPECT_EQ(HideWorkDialog(), 1);
    EXPECT_EQ(work_dialog_hidden, 1);
    EXPECT_TRUE(gui::pump_until([] { return !gui::is_shown(WorkText); }, kWaitMs));
    EXPECT_EQ(HideWorkDialog(), 0);
    EXPECT_EQ(UnHideWorkDialog(), 1);
    EXPECT_TRUE(gui::is_shown(WorkText));
    EXPECT_EQ(gui::label_text(WorkText), "work\n");

    /* Hidden -> absent. */
    EXPECT_EQ(HideWorkDialog(), 1);
    EXPECT_EQ(EndWorkDialog(), 1);
    EXPECT_EQ(IsWorkDialog(), 0);
    EXPECT_EQ(WorkFrame, nullptr);
    EXPECT_TRUE(dialog_gone("*WorkDialog"));
    EXPECT_EQ(EndWorkDialog(), 0);

    /* A new dialog starts from its own text. */
    ASSERT_EQ(StartWorkDialog(nullptr, "t", "again"), 1);
    EXPECT_EQ(gui::label_text(WorkText), "again\n");
}

TEST_F(Dialogs, FreshenWindowDropsClicksButPaints)
{
    static int activations = 0;
    activations = 0;
    Widget shell = gui::test_shell("buttons", 400, 400);
    Widget button = XtVaCreateManagedWidget("press", xmPushButtonWidgetClass, shell, nullptr);
    XtAddCallback(button, XmNactivateCallback, [](Widget, XtPointer, XtPointer) { activations++; }, nullptr);
    XtRealizeWidget(shell);
    ASSERT_TRUE(gui::pump_until([button] { return gui::is_shown(button); }, kWaitMs));

    ASSERT_TRUE(gui::click(button));
    FreshenWindow();
    gui::pump_pending();
    EXPECT_EQ(activations, 0);

    ASSERT_TRUE(gui::click(button));
    EXPECT_TRUE(gui::pump_until([] { return activations == 1; }, kWaitMs));
}

} // namespace
