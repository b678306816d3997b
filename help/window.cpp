/*
 * window.cpp - the help window and Help(file, topic).
 *
 * The window ("xh_helpDialog", titled "Help") is made on the first page
 * shown and reused: a scrolled window holding the page's row-column
 * "help_row_column", and the buttons Next, Prev, Back, Search and Quit.
 * A page is built by the page parser between xh_BeginPage and xh_ShowPage;
 * the previous page's widgets go when the next page begins, and the new
 * ones are managed all at once while the container is unmapped, so the page
 * appears in one piece.
 *
 * Help() opens a help file at a topic; a file opened while another is shown
 * is nested: the shown one is pushed on the file stack, and Back returns to
 * it.  Every failure is an information box titled "Help", after which the
 * previous file is current again and the window stays usable.
 *
 * Callers: the dialog utilities' and the cabinet window's help callbacks,
 * the help key (context.cpp), help-page buttons, the index (index.cpp).
 */
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <X11/IntrinsicP.h>
#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Protocols.h>
#include <Xm/PushB.h>
#include <Xm/RowColumn.h>
#include <Xm/ScrollBar.h>
#include <Xm/ScrolledW.h>
#include <Xm/Separator.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "base/trace.h"
#include "help/help.h"
#include "help/xh_msg.h"
#include "help/xh_state.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr Dimension kWindowWidth = 560;
constexpr Dimension kWindowHeight = 520;
constexpr int kButtonCount = 5;
constexpr const char kFallbackFont[] = "fixed";

enum HelpButton { NEXT_BUTTON = 0, PREV_BUTTON = 1, BACK_BUTTON = 2, SEARCH_BUTTON = 3, QUIT_BUTTON = 4 };

struct ButtonSpec {
    const char *name;
    int label_number;   /* catalogue set 2 */
    const char *label;
};
constexpr ButtonSpec kButtons[kButtonCount] = {
    {"xh_nextButton", XH_MSG_NEXT_LABEL, "Next"},       {"xh_prevButton", XH_MSG_PREV_LABEL, "Prev"},
    {"xh_backButton", XH_MSG_BACK_LABEL, "Back"},       {"xh_searchButton", XH_MSG_SEARCH_LABEL, "Search"},
    {"xh_quitButton", XH_MSG_QUIT_LABEL, "Quit"},
};
}

/* ---- module variables --------------------------------------------------- */

static Widget xh_helpDialog = nullptr;
static Widget xh_helpForm = nullptr;
static Widget xh_ScrolledWindow = nullptr;
static Widget help_row_column = nullptr;
/* Pages shown so far: tells a parse that showed a page from one that did not. */
static unsigned long pages_shown = 0;

/* ---- static prototypes -------------------------------------------------- */

static void create_xh_helpDialog(Widget parent);
static void HelpDialogDestroyedCB(Widget w, XtPointer client_data, XtPointer call_data);
static void HelpWindowClosedCB(Widget w, XtPointer client_data, XtPointer call_data);
static Widget OutermostShell(Widget w);
static void LoadHelpFont();
static bool IsGoing(Widget w);
static Widget VerticalScrollBar();
static void ParseCurrentStream(Widget w);
static int LineNumberAt(FILE *stream, long position);
static void SeekCurrentTopic();
static void RestorePreviousFile();
static void CloseCurrentStream();
static void Bell();
static const char *TopicName(const xh_Topic *topic);

/* ---- the window --------------------------------------------------------- */

/* The outermost widget above w: the application's shell of the window
 * that asked for help, which lives as long as that window (a menu's or a
 * dialog's own shell would not). */
static Widget OutermostShell(Widget w)
{
    while (w != nullptr && XtParent(w) != nullptr)
        w = XtParent(w);
    return w;
}

static void create_xh_helpDialog(Widget parent)
{
    XmString title = XmStringCreateLocalized(xs(xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help")));
    xh_helpDialog = XtVaCreatePopupShell("xh_helpDialog", xmDialogShellWidgetClass, parent, XmNtitle,
                                         xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help"),
                                         XmNdeleteResponse, XmDO_NOTHING, XmNallowShellResize, False, nullptr);
    XtAddCallback(xh_helpDialog, XmNdestroyCallback, HelpDialogDestroyedCB, nullptr);
    Atom delete_window = XmInternAtom(XtDisplay(xh_helpDialog), xs("WM_DELETE_WINDOW"), False);
    XmAddWMProtocolCallback(xh_helpDialog, delete_window, HelpWindowClosedCB, nullptr);

    xh_helpForm = XtVaCreateWidget("xh_helpForm", xmFormWidgetClass, xh_helpDialog, XmNwidth, kWindowWidth,
                                   XmNheight, kWindowHeight, XmNdialogTitle, title, XmNautoUnmanage, False,
                                   XmNfractionBase, kButtonCount * 10, nullptr);
    XmStringFree(title);

    /* The buttons share the bottom row in equal fifths. */
    Widget buttons[kButtonCount];
    for (int i = 0; i < kButtonCount; i++) {
        XmString label = XmStringCreateLocalized(
            xs(xh_catgets(XH_SET_NAMES, kButtons[i].label_number, kButtons[i].label)));
        buttons[i] = XtVaCreateManagedWidget(
            kButtons[i].name, xmPushButtonWidgetClass, xh_helpForm, XmNlabelString, label, XmNbottomAttachment,
            XmATTACH_FORM, XmNbottomOffset, 6, XmNleftAttachment, XmATTACH_POSITION, XmNleftPosition, i * 10 + 1,
            XmNrightAttachment, XmATTACH_POSITION, XmNrightPosition, i * 10 + 9, nullptr);
        XmStringFree(label);
        XtAddCallback(buttons[i], XmNactivateCallback, HelpDialogCallback,
                      reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(i)));
    }
    Widget separator = XtVaCreateManagedWidget(
        "xh_separator", xmSeparatorWidgetClass, xh_helpForm, XmNleftAttachment, XmATTACH_FORM, XmNrightAttachment,
        XmATTACH_FORM, XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget, buttons[0], XmNbottomOffset, 6,
        nullptr);
    xh_ScrolledWindow = XtVaCreateManagedWidget(
        "xh_ScrolledWindow", xmScrolledWindowWidgetClass, xh_helpForm, XmNscrollingPolicy, XmAUTOMATIC,
        XmNscrollBarDisplayPolicy, XmAS_NEEDED, XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, 6,
        XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, 6, XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, 6,
        XmNbottomAttachment, XmATTACH_WIDGET, XmNbottomWidget, separator, XmNbottomOffset, 6, nullptr);
    help_row_column = XtVaCreateManagedWidget("help_row_column", xmRowColumnWidgetClass, xh_ScrolledWindow,
                                              XmNorientation, XmVERTICAL, XmNpacking, XmPACK_TIGHT,
                                              XmNentryAlignment, XmALIGNMENT_BEGINNING, XmNmarginWidth, 10,
                                              XmNspacing, 2, nullptr);
}

/* The window dies with its parent shell: forget it, and make the next page
 * build a new one. */
static void HelpDialogDestroyedCB(Widget, XtPointer, XtPointer)
{
    xh_helpDialog = xh_helpForm = xh_ScrolledWindow = help_row_column = nullptr;
    RC_ChildCount = 0;
}

/* Closing the window from the window manager is Quit. */
static void HelpWindowClosedCB(Widget w, XtPointer, XtPointer)
{
    HelpDialogCallback(w, reinterpret_cast<XtPointer>(static_cast<std::intptr_t>(QUIT_BUTTON)), nullptr);
}

Widget xh_PageContainer()
{
    return help_row_column;
}

/* A widget destroyed during this dispatch is still among its parent's
 * children until the dispatch ends. */
static bool IsGoing(Widget w)
{
    return w->core.being_destroyed;
}

void xh_BeginPage()
{
    if (xh_helpDialog == nullptr) {
        Widget parent = OutermostShell(xh_Toplevel);
        if (parent == nullptr)
            return;
        create_xh_helpDialog(parent);
    }
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(help_row_column, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    std::vector<Widget> old(children, children + count);
    XtUnmanageChildren(old.data(), static_cast<Cardinal>(old.size()));
    for (Widget w : old)
        if (!IsGoing(w))
            XtDestroyWidget(w);
    RC_ChildCount = 0;
}

static Widget VerticalScrollBar()
{
    Widget bar = nullptr;
    if (xh_ScrolledWindow != nullptr)
        XtVaGetValues(xh_ScrolledWindow, XmNverticalScrollBar, &bar, nullptr);
    return bar;
}

int xh_PageScrollPosition()
{
    Widget bar = VerticalScrollBar();
    if (bar == nullptr)
        return 0;
    int value = 0;
    XtVaGetValues(bar, XmNvalue, &value, nullptr);
    return value;
}

void xh_ShowPage()
{
    if (help_row_column == nullptr)
        return;
    WidgetList children = nullptr;
    Cardinal count = 0;
    XtVaGetValues(help_row_column, XmNchildren, &children, XmNnumChildren, &count, nullptr);
    std::vector<Widget> page;
    for (Cardinal i = 0; i < count; i++)
        if (!IsGoing(children[i]) && !XtIsManaged(children[i]))
            page.push_back(children[i]);

    bool realized = XtIsRealized(help_row_column);
    if (realized)
        XtUnmapWidget(help_row_column);
    XtManageChildren(page.data(), static_cast<Cardinal>(page.size()));
    if (realized)
        XtMapWidget(help_row_column);
    if (!XtIsManaged(xh_helpForm))
        XtManageChild(xh_helpForm);
    if (XtIsRealized(xh_helpDialog))
        XRaiseWindow(XtDisplay(xh_helpDialog), XtWindow(xh_helpDialog));

    /* Back to a page: where its reader had scrolled to, once. */
    Widget bar = VerticalScrollBar();
    if (bar != nullptr) {
        int minimum = 0, maximum = 0, slider = 0;
        XtVaGetValues(bar, XmNminimum, &minimum, XmNmaximum, &maximum, XmNsliderSize, &slider, nullptr);
        int value = CurrentVPosition;
        if (value > maximum - slider)
            value = maximum - slider;
        if (value < minimum)
            value = minimum;
        XmScrollBarSetValues(bar, value, slider, 0, 0, True);
    }
    CurrentVPosition = 0;
    ++pages_shown;
    xh_dprint(2, "xh_ShowPage: %s\n", TopicName(xh_CurrentTopic));
}

/* ---- parsing ------------------------------------------------------------ */

/* The help font list: the catalogue's help font, or the server's fixed font
 * when that one is not there. */
static void LoadHelpFont()
{
    if (xh_TextFont != nullptr || xh_Toplevel == nullptr)
        return;
    Display *display = XtDisplay(xh_Toplevel);
    const char *name = xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_FONT, "6x10");
    XmFontListEntry entry = XmFontListEntryLoad(display, xs(name), XmFONT_IS_FONT, xs(XmFONTLIST_DEFAULT_TAG));
    if (entry == nullptr)
        entry = XmFontListEntryLoad(display, xs(kFallbackFont), XmFONT_IS_FONT, xs(XmFONTLIST_DEFAULT_TAG));
    if (entry == nullptr)
        return;
    xh_TextFont = XmFontListAppendEntry(nullptr, entry);
    XmFontListEntryFree(&entry);
}

/* Runs the parser over xh_CurrentStream, under the watch cursor. */
static void ParseCurrentStream(Widget w)
{
    WatchCursorOn(w != nullptr ? w : xh_Toplevel);
    xh_yyparse();
    WatchCursorOff(w != nullptr ? w : xh_Toplevel);
}

/* The number of the line that starts at `position`, counted as the lexer
 * counts (comment lines do not count), so that an error met after a seek
 * names the right line.  Leaves the stream at `position`; -1 when it
 * cannot be read that far. */
static int LineNumberAt(FILE *stream, long position)
{
    std::rewind(stream);
    int line = 1;
    bool line_start = true, comment = false;
    for (long offset = 0; offset < position; offset++) {
        int c = std::getc(stream);
        if (c == EOF)
            return -1;
        if (line_start)
            comment = c == '#';
        line_start = c == '\n';
        if (line_start && !comment)
            line++;
    }
    return line;
}

/* Puts the reader of the current file at the current topic's START_TOPIC
 * line, or at the start when the topic's place is not known yet. */
static void SeekCurrentTopic()
{
    if (xh_CurrentStream == nullptr)
        return;
    long position = xh_CurrentTopic != nullptr && xh_CurrentTopic->position >= 0 ? xh_CurrentTopic->position : 0;
    int line = LineNumberAt(xh_CurrentStream, position);
    if (line < 0) {
        position = 0;
        line = 1;
        std::rewind(xh_CurrentStream);
    }
    xh_LineStart = position;
    xh_LineNumber = line;
    xh_yyrestart(xh_CurrentStream);
}

static void CloseCurrentStream()
{
    if (xh_CurrentStream != nullptr)
        std::fclose(xh_CurrentStream);
    xh_CurrentStream = nullptr;
}

/* After a failed open: the file shown before (if any) is current again. */
static void RestorePreviousFile()
{
    CloseCurrentStream();
    Scanning = 0;
    /* The pop puts the reader back at the end of the page shown, where
     * Next goes on. */
    if (StackIndex > 0 && xh_PopFileStack(0) == 0) {
        xh_dprint(2, "NOT_FOUND: new topic is \"%s\"\n", TopicName(xh_CurrentTopic));
        if (xh_CurrentStream != nullptr)
            xh_yyrestart(xh_CurrentStream);
        return;
    }
    xh_CurrentFile = nullptr;
    xh_CurrentTopic = nullptr;
}

static const char *TopicName(const xh_Topic *topic)
{
    return topic != nullptr && topic->topic_name != nullptr ? topic->topic_name : "";
}

void Help(const char *file, const char *topic)
{
    /* 1. */
    if (StackFull)
        return;
    if (file == nullptr)
        file = "";
    if (topic == nullptr)
        topic = "";
    xh_dprint(1, "Help: file = %s, topic = %s\n", file, topic);
    LoadHelpFont();

    /* 2. The file shown now waits on the stack. */
    Scanning = 1;
    ++HelpDepth;
    if (xh_CurrentStream != nullptr && xh_PushFileStack(xh_CurrentStream, 0) != 0) {
        --HelpDepth;
        Scanning = 0;
        return;
    }
    xh_CurrentStream = nullptr;

    /* 3. */
    xh_LineNumber = 1;
    xh_LineStart = 0;
    xh_CurrentFile = xh_FindHelpFile(file);
    xh_CurrentTopic = xh_FindTopic(topic, file);
    xh_CurrentCharset = xs(XmFONTLIST_DEFAULT_TAG);

    /* 4. */
    FILE *stream = xh_Search(file);
    if (stream == nullptr) {
        /* 6. */
        std::string reason = std::strerror(errno);
        char line[512];
        std::snprintf(line, sizeof line,
                      xh_catgets(XH_SET_WINDOW, XH_MSG_CANNOT_OPEN, "Cannot open help file \"%s\": %s"), file,
                      reason.c_str());
        xh_InformationMessage(xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help"), line, nullptr);
        --HelpDepth;
        RestorePreviousFile();
        return;
    }

    /* 5. */
    xh_CurrentStream = stream;
    SeekCurrentTopic();
    unsigned long shown_before = pages_shown;
    if (xh_CurrentTopic != nullptr && xh_CurrentFile != nullptr)
        ParseCurrentStream(xh_Toplevel);
    if (Scanning || xh_CurrentTopic == nullptr) {
        char line[512];
        std::snprintf(line, sizeof line,
                      xh_catgets(XH_SET_WINDOW, XH_MSG_NO_TOPIC, "Cannot find help topic \"%s\" in file \"%s\""),
                      topic, file);
        xh_InformationMessage(xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help"), line, nullptr);
        --HelpDepth;
        RestorePreviousFile();
        return;
    }
    /* A page cut short by an error in the file: show what was built. */
    if (pages_shown == shown_before)
        xh_ShowPage();
}

/* ---- the buttons -------------------------------------------------------- */

static void Bell()
{
    if (xh_helpDialog != nullptr)
        XBell(XtDisplay(xh_helpDialog), 0);
}

void HelpDialogCallback(Widget w, XtPointer which, XtPointer)
{
    switch (static_cast<int>(reinterpret_cast<std::intptr_t>(which))) {
    case NEXT_BUTTON: {
        if (xh_CurrentStream == nullptr) {
            Bell();
            return;
        }
        /* Right after the END_TOPIC line of the page shown. */
        long after_page = xh_LineStart;
        if (std::fseek(xh_CurrentStream, after_page, SEEK_SET) != 0) {
            Bell();
            return;
        }
        xh_yyrestart(xh_CurrentStream);
        Scanning = 0;
        unsigned long shown_before = pages_shown;
        xh_Topic *shown_topic = xh_CurrentTopic;
        int line_number = xh_LineNumber;
        ParseCurrentStream(w);
        if (pages_shown == shown_before) {
            /* No topic after this one: stay on the page. */
            Bell();
            xh_CurrentTopic = shown_topic;
            xh_LineNumber = line_number;
            xh_LineStart = after_page;
        }
        return;
    }
    case PREV_BUTTON:
        if (xh_CurrentTopic == nullptr || xh_CurrentTopic->prev == nullptr || xh_CurrentStream == nullptr) {
            Bell();
            return;
        }
        xh_CurrentTopic = xh_CurrentTopic->prev;
        xh_dprint(2, "PREV: new topic is \"%s\"\n", TopicName(xh_CurrentTopic));
        xh_dprint(4, "PREV: position set to %d\n", static_cast<int>(xh_CurrentTopic->position));
        SeekCurrentTopic();
        Scanning = 1;
        ParseCurrentStream(w);
        Scanning = 0;
        return;
    case BACK_BUTTON:
        if (HelpDepth < 2 || StackIndex == 0) {
            Bell();
            return;
        }
        CloseCurrentStream();
        if (xh_PopFileStack(0) != 0) {
            Bell();
            return;
        }
        --HelpDepth;
        StackFull = 0;
        xh_dprint(2, "BACK: new topic is \"%s\"\n", TopicName(xh_CurrentTopic));
        SeekCurrentTopic();
        Scanning = 1;
        ParseCurrentStream(w);
        Scanning = 0;
        return;
    case SEARCH_BUTTON:
        if (xh_CurrentFile == nullptr) {
            Bell();
            return;
        }
        {
            /* Search on an index page searches the file it indexes. */
            std::string file = xh_CurrentFile->file_name;
            constexpr std::string_view suffix = ".index";
            if (file.size() > suffix.size() && file.ends_with(suffix))
                file.resize(file.size() - suffix.size());
            DisplayHelpIndex(w, file.c_str());
        }
        return;
    case QUIT_BUTTON:
        CloseCurrentStream();
        while (StackIndex > 0 && xh_PopFileStack(0) == 0)
            CloseCurrentStream();
        if (xh_helpForm != nullptr)
            XtUnmanageChild(xh_helpForm);
        if (xh_helpDialog != nullptr)
            XtPopdown(xh_helpDialog);
        xh_CurrentFile = nullptr;
        xh_CurrentTopic = nullptr;
        xh_PrevTopic = nullptr;
        TopicNumber = 1;
        HelpDepth = 0;
        StackIndex = 0;
        StackFull = 0;
        Scanning = 0;
        return;
    default:
        return;
    }
}
