/*
 * x_util.cpp - dialog utilities: message, error, information and verify
 * boxes with their nested event loops and grabs, the work-in-progress
 * dialog, FreshenWindow / wait_a_while / ForceDialog, the watch cursor and
 * the program's window icon.
 *
 * Owns the toolkit globals (Toplevel, app_context, realized_shell) and the
 * single work dialog.  Called from start-up, the status query, the callbacks
 * of the main window, the serial port code and every FRU procedure.
 *
 * Decisions of this implementation:
 *  - Running out of memory while growing the work dialog's text ends the
 *    program in order: a message naming the buffer on standard error, the
 *    borrowed serial ports released (verify_timeout_release), Exit(1).
 *  - Nested loops wait with XtAppProcessEvent, so time-outs (the verify
 *    time-out among them) fire while a modal box waits; once answered they
 *    drain only the X events already queued, never block on a timer.
 *  - Dialog shells keep Motif's defaults for modality style, delete
 *    response and margins; modality comes from our own exclusive grab.
 *  - The help callbacks remove the grab of their verify box only while it is
 *    held, so the answer callbacks do not remove it a second time.
 */
#include "ui/x_util.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <unistd.h>

#include <Xm/DialogS.h>
#include <Xm/Form.h>
#include <Xm/Frame.h>
#include <Xm/Label.h>
#include <Xm/LabelG.h>
#include <Xm/MessageB.h>
#include <Xm/Xm.h>

#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/process.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "help/help.h"
#include "ui/picture_cache.h"

/* ---- constants ---------------------------------------------------------- */

const char *const iconpaths[ICONPATH_COUNT] = {
    "",
    CONSOLE_ICONS "error.xbm",
    CONSOLE_ICONS "information.xbm",
    CONSOLE_ICONS "unknown.icon",
    CONSOLE_ICONS "question.xbm",
    CONSOLE_ICONS "warning.xbm",
    CONSOLE_ICONS "working.xbm",
    CONSOLE_ICONS "8810.icon",
    CONSOLE_ICONS "CAB.icon",
    CONSOLE_ICONS "ZELNET.icon",
    CONSOLE_ICONS "SNP.icon",
    CONSOLE_ICONS "VPR.icon",
    CONSOLE_ICONS "APP.icon",
    CONSOLE_ICONS "DA.icon",
    CONSOLE_ICONS "JBOD.icon",
    CONSOLE_ICONS "Appl.icon",
    CONSOLE_ICONS "CABLE.icon",
    CONSOLE_ICONS "L3.icon",
    CONSOLE_ICONS "L4.icon",
    CONSOLE_ICONS "NVRAM.icon",
    CONSOLE_ICONS "unknown.icon",
    CONSOLE_ICONS "unknown.icon",
    CONSOLE_ICONS "PERIF.icon",
    CONSOLE_ICONS "FAN.icon",
    CONSOLE_ICONS "PWR.icon",
    CONSOLE_ICONS "BAT.icon",
    CONSOLE_ICONS "console.icon",
    CONSOLE_ICONS "floppy_icon",
    CONSOLE_ICONS "ADM.icon",
    CONSOLE_ICONS "QNA.tsl",
    CONSOLE_ICONS "SMP.icon",
    CONSOLE_ICONS "CMIC.icon",
    CONSOLE_ICONS "FALX.icon",
    CONSOLE_ICONS "QNA.tsl",
    CONSOLE_ICONS "QNA.tsl",
    CONSOLE_ICONS "JBDP.icon",
    CONSOLE_ICONS "unknown.icon",
};

namespace {
constexpr int kUnknownIconIndex = ICONPATH_COUNT - 1;
constexpr int kWatchGlyph = 150;                 /* XC_watch of the cursor font */
constexpr unsigned long kVerifyTimeoutMs = 900000; /* 15 minutes */
constexpr long kDiscardInputMask = KeyPressMask | ButtonPressMask | ButtonReleaseMask
                                   | PointerMotionMask | ButtonMotionMask;
static_assert(kDiscardInputMask == 0x204D);
constexpr std::size_t kVerifyPromptLimit = 1000;
constexpr int kWorkLinesShown = 15;
constexpr const char kWorkFont[] = "-adobe-helvetica-bold-r-normal-*-14-*-*-*-*-*-*-*";
constexpr const char kWorkTitleText[] = "In Progress...\t\t";

/* Help file of a verify prompt's topic: first row whose prefix matches. */
struct HelpFileRule {
    std::string_view prefix;   /* compared on its length, at most 7 */
    const char *file;
};
constexpr HelpFileRule kHelpFileRules[] = {
    {"FRU_QUO", "QUONET_fru.help"},
    {"FRU_MDA", "GSC_fru.help"},
    {"CRU_MPR", "GSC_fru.help"},
    {"CRU_Min", "GSC_fru.help"},   /* CRU_MiniHub */
    {"CRU_ESM", "GSC_fru.help"},
    {"CRU_MDK", "GSC_fru.help"},
    {"CRU_", "cru.help"},
    {"FRU_", "cru.help"},
};
constexpr const char kDefaultHelpFile[] = "xdiag.help";

/* Answer record of one verify box; the records of nested verify boxes form
 * a stack so that ModalHelpCB can find the grab of its own box. */
struct VerifyAnswer {
    int waiting;
    int answer;
    Widget shell;
    int grabbed;
    VerifyAnswer *outer;
};
}

/* ---- module variables --------------------------------------------------- */

Widget Toplevel = nullptr;
XtAppContext app_context = nullptr;
Widget realized_shell = nullptr;

Widget WorkDialog = nullptr, WorkFrame = nullptr, WorkForm = nullptr;
Widget WorkIcon = nullptr, WorkTitle = nullptr, WorkText = nullptr;
char *WorkString = nullptr;
int WorkStringSize = 0;
int work_dialog_hidden = 0;
int modal_dialog_depth = 0;
int no_verify_timeout = 0;
int verify_auto_yes = 0, verify_auto_no = 0;
char progicon_name[PROGICON_NAME_SIZE] = "";

void (*verify_timeout_release)() = nullptr;

static Cursor watch = None;
static VerifyAnswer *verify_stack = nullptr;

/* ---- static prototypes -------------------------------------------------- */

static Widget ChooseParent(Widget parent);
static Widget ShellOf(Widget w);
static void RunNestedLoop(const int *waiting);
static Pixmap IconPixmap(Screen *screen, int index, Pixel foreground, Pixel background);
static void SetXmString(Widget w, const char *resource, const char *text);
static void SetWorkFont(Widget w);
static void ShowWorkText();
static void CloseVerifyBox(Widget box, VerifyAnswer *record, int answer);
[[noreturn]] static void FatalNoMemory(const char *what);
static void WatchOnToplevel(int on);

/* ---- small helpers ------------------------------------------------------ */

int IconIndexForType(int type)
{
    return (type < 1 || type > DIALOG_HIGHEST_TYPE) ? kUnknownIconIndex : type;
}

const char *HelpFileForTopic(const char *topic)
{
    if (topic == nullptr)
        return kDefaultHelpFile;
    std::string_view name(topic);
    for (const HelpFileRule &rule : kHelpFileRules)
        if (name.starts_with(rule.prefix))
            return rule.file;
    return kDefaultHelpFile;
}

std::string VerifyArgsPrompt(const char *question, int argc, char *const *argv, int first)
{
    std::string text(question != nullptr ? question : "");
    text += '\n';
    int count = 0;
    int appended = 0;
    bool skipped = false;
    for (int i = first < 0 ? 0 : first; i < argc && argv != nullptr; i++) {
        const char *arg = argv[i];
        if (arg == nullptr || arg[0] == '-')
            continue;
        count++;
        if (std::strlen(arg) + text.size() + 8 >= kVerifyPromptLimit) {
            skipped = true;
            continue;
        }
        if (appended++ > 0)
            text += (count % 4 == 1) ? ",\n" : ", ";
        text += arg;
    }
    text += skipped ? ",\n... ?" : " ?";
    return text;
}

/* Parent of a dialog when the caller gave none. */
static Widget ChooseParent(Widget parent)
{
    if (parent != nullptr)
        return parent;
    if (realized_shell != nullptr && XtIsRealized(realized_shell)) {
        dprint(5, "setting parent to realized_shell\n");
        return realized_shell;
    }
    dprint(5, "setting parent to Toplevel\n");
    return Toplevel;
}

static Widget ShellOf(Widget w)
{
    while (w != nullptr && !XtIsShell(w))
        w = XtParent(w);
    return w;
}

/* Runs the toolkit until *waiting is cleared (time-outs fire meanwhile),
 * then dispatches the X events still queued. */
static void RunNestedLoop(const int *waiting)
{
    ++modal_dialog_depth;
    while (*waiting)
        XtAppProcessEvent(app_context, XtIMAll);
    --modal_dialog_depth;
    while (XtAppPending(app_context) & XtIMXEvent) {
        XEvent event;
        XtAppNextEvent(app_context, &event);
        XtDispatchEvent(&event);
    }
}

static Pixmap IconPixmap(Screen *screen, int index, Pixel foreground, Pixel background)
{
    std::string path = console_path(iconpaths[index]);
    return GetPicturePixmap(screen, path.c_str(), foreground, background);
}

/* Sets a compound-string resource from text.  Tab characters become tab
 * components: drawn as characters, the font shows them as boxes. */
static void SetXmString(Widget w, const char *resource, const char *text)
{
    std::string_view rest(text);
    XmString xm = nullptr;
    for (;;) {
        std::size_t tab = rest.find('\t');
        std::string piece(rest.substr(0, tab));
        XmString part = XmStringCreateLtoR(xs(piece), xs(XmFONTLIST_DEFAULT_TAG));
        xm = xm != nullptr ? XmStringConcatAndFree(xm, part) : part;
        if (tab == std::string_view::npos)
            break;
        xm = XmStringConcatAndFree(xm, XmStringComponentCreate(XmSTRING_COMPONENT_TAB, 0, nullptr));
        rest.remove_prefix(tab + 1);
    }
    XtVaSetValues(w, resource, xm, nullptr);
    XmStringFree(xm);
}

static void SetWorkFont(Widget w)
{
    XmFontListEntry entry = XmFontListEntryLoad(XtDisplayOfObject(w), xs(kWorkFont), XmFONT_IS_FONT,
                                                xs(XmFONTLIST_DEFAULT_TAG));
    if (entry == nullptr)
        return; /* the toolkit's default font serves */
    XmFontList list = XmFontListAppendEntry(nullptr, entry);
    XmFontListEntryFree(&entry);
    XtVaSetValues(w, XmNfontList, list, nullptr);
    XmFontListFree(list);
}

[[noreturn]] static void FatalNoMemory(const char *what)
{
    std::fprintf(stderr, "x_util: cannot allocate %s\n", what);
    if (verify_timeout_release != nullptr)
        verify_timeout_release();
    Exit(1);
}

/* ---- message boxes ------------------------------------------------------ */

Widget CreateWidget(Widget parent, const char *title, const char *message, int type)
{
    dprint(1, "\nCreateWidget: type=%d\n=====\n%s: %s\n=====\n", type, title, message);

    /* 1. The dialog shell, named and titled by `title`. */
    Arg args[2];
    int n = 0;
    XtSetArg(args[n], XmNtitle, xs(title)); n++;
    Pixmap program_icon = None;
    if (Toplevel != nullptr) {
        XtVaGetValues(Toplevel, XmNiconPixmap, &program_icon, nullptr);
        if (program_icon != None) {
            XtSetArg(args[n], XmNiconPixmap, program_icon); n++;
        }
    }
    Widget shell = XmCreateDialogShell(parent, xs(title), args, n);

    /* 2. The message box and its colours.  The box is not centred on its
     * parent: PopupCallback places it. */
    Arg box_args[1];
    XtSetArg(box_args[0], XmNdefaultPosition, False);
    Widget box = XmCreateMessageBox(shell, xs("error_widget"), box_args, 1);
    Pixel foreground = 0, background = 0;
    XtVaGetValues(box, XmNforeground, &foreground, XmNbackground, &background, nullptr);

    /* 3. The symbol: dialog kinds draw their bitmap inverted. */
    int index = IconIndexForType(type);
    bool dialog_kind = type >= DIALOG_ERROR && type <= DIALOG_WORKING;
    Pixmap symbol = dialog_kind ? IconPixmap(XtScreen(box), index, background, foreground)
                                : IconPixmap(XtScreen(box), index, foreground, background);

    /* 4. Text and symbol. */
    SetXmString(box, XmNmessageString, message != nullptr ? message : "");
    if (symbol != XmUNSPECIFIED_PIXMAP)
        XtVaSetValues(box, XmNsymbolPixmap, symbol, nullptr);
    return box;
}

Widget WidgetDialog(Widget parent, const char *title, const char *message, XtCallbackProc ok_callback,
                    int type)
{
    parent = ChooseParent(parent);
    Widget box = CreateWidget(parent, title, message, type);
    RemoveButton(box, REMOVE_HELP);
    RemoveButton(box, REMOVE_CANCEL);
    if (ok_callback != nullptr)
        XtAddCallback(box, XmNokCallback, ok_callback, parent);
    XtAddCallback(box, XmNmapCallback, PopupCallback, nullptr);
    XtManageChild(box);
    return box;
}

Widget ErrorDialog(Widget parent, const char *title, const char *message, XtCallbackProc ok_callback)
{
    return WidgetDialog(parent, title, message, ok_callback, DIALOG_ERROR);
}

void ModalWidgetDialog(Widget parent, const char *title, const char *message, int type)
{
    int waiting = 1;
    Widget box = WidgetDialog(parent, title, message, nullptr, type);
    XtAddCallback(box, XmNokCallback, ModalDialogCallback, &waiting);
    XtAddGrab(XtParent(box), True, False);
    RunNestedLoop(&waiting);
}

void ModalErrorDialog(Widget parent, const char *title, const char *message)
{
    ModalWidgetDialog(parent, title, message, DIALOG_ERROR);
}

void ModalInfoDialog(Widget parent, const char *title, const char *message)
{
    ModalWidgetDialog(parent, title, message, DIALOG_INFORMATION);
}

void ModalDialogCallback(Widget w, XtPointer client_data, XtPointer)
{
    dprint(5, "ModalDialogCallback\n");
    *static_cast<int *>(client_data) = 0;
    XtRemoveGrab(XtParent(w));
    XtUnmanageChild(w);
    XtDestroyWidget(XtParent(w));
}

/* ---- verify boxes ------------------------------------------------------- */

int ModalVerifyDialog(Widget parent, const char *title, const char *message, int type, const char *help_topic)
{
    parent = ChooseParent(parent);
    Widget box = CreateWidget(parent, title, message, type);

    VerifyAnswer record{1, 0, XtParent(box), 0, verify_stack};
    XtAddCallback(box, XmNokCallback, VerifyOKCallback, &record);
    XtAddCallback(box, XmNcancelCallback, VerifyCancelCallback, &record);
    if (help_topic != nullptr && help_topic[0] != '\0')
        XtAddCallback(box, XmNhelpCallback, ModalHelpCB, const_cast<char *>(help_topic));
    else
        RemoveButton(box, REMOVE_HELP);
    XtAddCallback(box, XmNmapCallback, PopupCallback, nullptr);

    XtIntervalId timeout = 0;
    if (no_verify_timeout == 0)
        timeout = XtAppAddTimeOut(app_context, kVerifyTimeoutMs, VerifyTimeoutCallback, nullptr);

    verify_stack = &record;
    XtManageChild(box);
    XtAddGrab(record.shell, True, False);
    record.grabbed = 1;
    RunNestedLoop(&record.waiting);
    verify_stack = record.outer;

    if (timeout != 0)
        XtRemoveTimeOut(timeout);
    dprint(1, "ModalVerifyDialog return %d\n", record.answer);
    return record.answer;
}

static void CloseVerifyBox(Widget box, VerifyAnswer *record, int answer)
{
    record->waiting = 0;
    if (record->grabbed) {
        XtRemoveGrab(record->shell);
        record->grabbed = 0;
    }
    record->answer = answer;
    XtUnmanageChild(box);
    XtDestroyWidget(XtParent(box));
}

void VerifyOKCallback(Widget w, XtPointer client_data, XtPointer)
{
    dprint(5, "VerifyOKCallback\n");
    CloseVerifyBox(w, static_cast<VerifyAnswer *>(client_data), 1);
}

void VerifyCancelCallback(Widget w, XtPointer client_data, XtPointer)
{
    dprint(5, "VerifyCancelCallback\n");
    CloseVerifyBox(w, static_cast<VerifyAnswer *>(client_data), 0);
}

void VerifyTimeoutCallback(XtPointer, XtIntervalId *)
{
    dprint(1, "VerifyTimeoutCallback: exiting\n");
    if (verify_timeout_release != nullptr)
        verify_timeout_release();
    Exit(1);
}

void SetVerifyDialogAuto(int yes, int no)
{
    verify_auto_yes = yes;
    verify_auto_no = no;
}

int ModalVerifyArgsDialog(Widget parent, const char *title, const char *question, int type, const char *help_topic)
{
    std::string prompt = VerifyArgsPrompt(question, _argc, _argv, optind);
    dprint(5, "VerifyArgsDialog: strlen=%d\n", static_cast<int>(prompt.size()));
    dprint(1, "%s\n", prompt.c_str());
    return ModalVerifyDialog(parent, title, prompt.c_str(), type, help_topic);
}

/* ---- help callbacks ----------------------------------------------------- */

void ModalHelpCB(Widget w, XtPointer client_data, XtPointer)
{
    const char *topic = static_cast<const char *>(client_data);
    Widget shell = ShellOf(w);
    for (VerifyAnswer *record = verify_stack; record != nullptr; record = record->outer) {
        if (record->shell == shell && record->grabbed) {
            XtRemoveGrab(shell);
            record->grabbed = 0;
            break;
        }
    }
    xh_Toplevel = realized_shell != nullptr ? realized_shell : w;
    const char *file = HelpFileForTopic(topic);
    dprint(1, "ModalHelpCB: %s topic = %s\n", file, topic != nullptr ? topic : "");
    Help(file, topic);
}

void DisplayHelpCB(Widget w, XtPointer client_data, XtPointer)
{
    const char *topic = static_cast<const char *>(client_data);
    dprint(1, "DisplayHelpCB: topic = %s\n", topic != nullptr ? topic : "");
    xh_Toplevel = w;
    Help(kDefaultHelpFile, topic);
}

/* ---- placement and small callbacks -------------------------------------- */

void PopupCallback(Widget w, XtPointer, XtPointer)
{
    XtVaSetValues(w, XmNx, 250, XmNy, 250, nullptr);
}

void CornerPopupCallback(Widget w, XtPointer, XtPointer)
{
    XtVaSetValues(w, XmNx, 5, XmNy, 5, nullptr);
}

void SetRealizedShell(Widget w)
{
    realized_shell = w;
}

void RemoveButton(Widget box, int which)
{
    Widget child = XmMessageBoxGetChild(box, static_cast<unsigned char>(which));
    if (child != nullptr)
        XtUnmanageChild(child);
}

void Unmanage_link(Widget, XtPointer client_data, XtPointer)
{
    if (client_data != nullptr)
        XtUnmanageChild(static_cast<Widget>(client_data));
}

/* ---- keeping the display fresh ------------------------------------------ */

void FreshenWindow()
{
    if (app_context == nullptr)
        return;
    XtInputMask pending;
    while ((pending = XtAppPending(app_context) & (XtIMXEvent | XtIMTimer)) != 0) {
        if (!(pending & XtIMXEvent)) {
            XtAppProcessEvent(app_context, XtIMTimer);
            continue;
        }
        XEvent event;
        XtAppNextEvent(app_context, &event);
        if (event.type == KeyPress || event.type == ButtonPress || event.type == ButtonRelease)
            continue; /* operator input during synchronous work is dropped */
        XtDispatchEvent(&event);
    }
    if (Toplevel != nullptr)
        XmUpdateDisplay(Toplevel);
}

/* Waits `seconds` (shortened by the time scale, for tests) in slices of at
 * most one second, serving the display after each slice. */
void wait_a_while(int seconds)
{
    constexpr long kSliceMs = 1000;
    const long long end = monotonic_ms() + scaled_ms(seconds * kSliceMs);
    for (long long now = monotonic_ms(); now < end; now = monotonic_ms()) {
        const long slice = static_cast<long>(std::min<long long>(kSliceMs, end - now));
        struct timespec pause = {slice / 1000, (slice % 1000) * 1000000L};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
        FreshenWindow();
    }
}

void ForceDialog(Widget w)
{
    Widget dialog_shell = ShellOf(w);
    Widget top_shell = dialog_shell;
    while (top_shell != nullptr && !XtIsTopLevelShell(top_shell))
        top_shell = XtParent(top_shell);
    if (dialog_shell == nullptr || top_shell == nullptr)
        return;

    if (XtIsRealized(dialog_shell) && XtIsRealized(top_shell)) {
        Display *display = XtDisplay(top_shell);
        Window dialog_window = XtWindow(dialog_shell);
        Window top_window = XtWindow(top_shell);
        XWindowAttributes attributes;
        while (XGetWindowAttributes(display, dialog_window, &attributes)
               && attributes.map_state != IsViewable) {
            if (XGetWindowAttributes(display, top_window, &attributes) && attributes.map_state != IsViewable)
                break;
            XEvent event;
            XtAppNextEvent(XtWidgetToApplicationContext(top_shell), &event);
            XtDispatchEvent(&event);
        }
    }
    XmUpdateDisplay(top_shell);
}

void watch_cursor(Widget w, int on)
{
    dprint(6, "watch_cursor %s\n", on ? "On" : "Off");
    if (w == nullptr)
        return;
    Display *display = XtDisplayOfObject(w);
    Window window = XtWindowOfObject(w);
    if (window == None)
        return;
    if (watch == None)
        watch = XCreateFontCursor(display, kWatchGlyph);

    if (on) {
        XDefineCursor(display, window, watch);
    } else {
        if (Toplevel != nullptr) {
            XEvent event;
            while (XCheckMaskEvent(XtDisplay(Toplevel), kDiscardInputMask, &event))
                ;
        }
        XUndefineCursor(display, window);
    }
    XFlush(display);
}

void SetProgramsIcon(Widget shell, const char *icon_file, const char *icon_name)
{
    std::snprintf(progicon_name, sizeof progicon_name, "%s", icon_name != nullptr ? icon_name : "");
    if (shell == nullptr || Toplevel == nullptr)
        return;
    Pixel background = 0;
    XtVaGetValues(shell, XmNbackground, &background, nullptr);
    Screen *screen = XtScreen(Toplevel);
    std::string path = console_path(icon_file != nullptr ? icon_file : "");
    Pixmap icon = GetPicturePixmap(screen, path.c_str(), BlackPixelOfScreen(screen), background);
    if (icon != XmUNSPECIFIED_PIXMAP)
        XtVaSetValues(shell, XmNiconPixmap, icon, nullptr);
    XtVaSetValues(shell, XmNiconName, progicon_name, nullptr);
}

/* ---- the work dialog ---------------------------------------------------- */

int IsWorkDialog()
{
    return WorkFrame != nullptr ? 1 : 0;
}

static void WatchOnToplevel(int on)
{
    if (Toplevel != nullptr && XtIsRealized(Toplevel))
        watch_cursor(Toplevel, on);
}

static void ShowWorkText()
{
    SetXmString(WorkText, XmNlabelString, WorkString);
    FreshenWindow();
    FreshenWindow();
}

int create_WorkDialog(Widget parent, const char *title, const char *message)
{
    if (message == nullptr)
        message = "";

    /* 1. The shell, in the top-left corner. */
    /* The shell follows the text: every line added must be readable whole. */
    WorkDialog = XtVaCreatePopupShell("WorkDialog", xmDialogShellWidgetClass, parent,
                                      XmNtitle, xs(title != nullptr ? title : ""),
                                      XmNx, 5, XmNy, 5, XmNallowShellResize, True, nullptr);
    XtAddCallback(WorkDialog, XmNpopupCallback, CornerPopupCallback, nullptr);

    /* 2. Frame and form. */
    WorkFrame = XtVaCreateWidget("WorkFrame", xmFrameWidgetClass, WorkDialog, nullptr);
    WorkForm = XtVaCreateWidget("WorkForm", xmFormWidgetClass, WorkFrame, nullptr);

    /* 3. The working icon, in the label's own colours. */
    WorkIcon = XtVaCreateWidget("WorkIcon", xmLabelWidgetClass, WorkForm,
                                XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, 20,
                                XmNleftAttachment, XmATTACH_FORM, XmNleftOffset, 20, nullptr);
    Pixel foreground = 0, background = 0;
    XtVaGetValues(WorkIcon, XmNforeground, &foreground, XmNbackground, &background, nullptr);
    Pixmap icon = IconPixmap(XtScreen(WorkIcon), DIALOG_WORKING, foreground, background);
    if (icon != XmUNSPECIFIED_PIXMAP)
        XtVaSetValues(WorkIcon, XmNlabelType, XmPIXMAP, XmNlabelPixmap, icon, nullptr);

    /* 4. The title. */
    WorkTitle = XtVaCreateWidget("WorkTitle", xmLabelGadgetClass, WorkForm,
                                 XmNtopAttachment, XmATTACH_FORM, XmNtopOffset, 20,
                                 XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, WorkIcon,
                                 XmNleftOffset, 20, nullptr);
    SetWorkFont(WorkTitle);
    SetXmString(WorkTitle, XmNlabelString, kWorkTitleText);

    /* 5. The text buffer: message and a newline. */
    WorkStringSize = static_cast<int>(std::strlen(message)) + 200;
    WorkString = static_cast<char *>(std::malloc(static_cast<std::size_t>(WorkStringSize)));
    if (WorkString == nullptr)
        FatalNoMemory("WorkString");
    std::snprintf(WorkString, static_cast<std::size_t>(WorkStringSize), "%s\n", message);

    /* 6. The text. */
    WorkText = XtVaCreateWidget("WorkText", xmLabelWidgetClass, WorkForm,
                                XmNalignment, XmALIGNMENT_BEGINNING,
                                XmNtopAttachment, XmATTACH_WIDGET, XmNtopWidget, WorkTitle, XmNtopOffset, 10,
                                XmNleftAttachment, XmATTACH_WIDGET, XmNleftWidget, WorkIcon,
                                XmNleftOffset, 20,
                                XmNrightAttachment, XmATTACH_FORM, XmNrightOffset, 30,
                                XmNbottomAttachment, XmATTACH_FORM, XmNbottomOffset, 20, nullptr);
    SetWorkFont(WorkText);
    SetXmString(WorkText, XmNlabelString, WorkString);

    /* 7. Children first, then the form. */
    XtManageChild(WorkIcon);
    XtManageChild(WorkTitle);
    XtManageChild(WorkText);
    XtManageChild(WorkForm);
    return 1;
}

int StartWorkDialog(Widget parent, const char *title, const char *message)
{
    dprint(1, "StartWorkDialog: %s: %s \n", title != nullptr ? title : "", message != nullptr ? message : "");
    if (WorkFrame != nullptr) {
        dprint(1, "WorkDialog: widget already exists\n");
        return 0;
    }
    if (parent == nullptr)
        parent = Toplevel;
    WatchOnToplevel(1);
    create_WorkDialog(parent, title, message);
    if (Toplevel != nullptr) {
        Pixmap program_icon = None;
        XtVaGetValues(Toplevel, XmNiconPixmap, &program_icon, nullptr);
        if (program_icon != None)
            XtVaSetValues(WorkDialog, XmNiconPixmap, program_icon, nullptr);
    }
    XtManageChild(WorkFrame);
    ForceDialog(WorkFrame);
    watch_cursor(WorkDialog, 1);
    work_dialog_hidden = 0;
    return 1;
}

int EndWorkDialog()
{
    dprint(1, "EndWorkDialog \n");
    if (WorkFrame == nullptr) {
        dprint(1, "EndWorkDialog: widget does not exist\n");
        return 0;
    }
    XtUnmanageChild(WorkFrame);
    XtDestroyWidget(WorkDialog);
    WorkDialog = WorkFrame = WorkForm = WorkIcon = WorkTitle = WorkText = nullptr;
    std::free(WorkString);
    WorkString = nullptr;
    WorkStringSize = 0;
    work_dialog_hidden = 0;
    FreshenWindow();
    WatchOnToplevel(0);
    return 1;
}

int HideWorkDialog()
{
    dprint(1, "HideWorkDialog \n");
    if (WorkFrame == nullptr) {
        dprint(1, "HideWorkDialog: widget does not exist\n");
        return 0;
    }
    if (work_dialog_hidden) {
        dprint(1, "HideWorkDialog: dialog already hidden\n");
        return 0;
    }
    XtUnmanageChild(WorkFrame);
    work_dialog_hidden = 1;
    FreshenWindow();
    WatchOnToplevel(0);
    return 1;
}

int UnHideWorkDialog()
{
    dprint(1, "UnHideWorkDialog \n");
    if (WorkFrame == nullptr) {
        dprint(1, "UnHideWorkDialog: widget does not exist\n");
        return 0;
    }
    dprint(1, "%s", WorkString);
    if (!work_dialog_hidden) {
        dprint(1, "UnHideWorkDialog: dialog not hidden\n");
        return 0;
    }
    WatchOnToplevel(1);
    XtManageChild(WorkFrame);
    work_dialog_hidden = 0;
    ForceDialog(WorkFrame);
    return 1;
}

int ChangeWorkDialogMsg(const char *message)
{
    if (message == nullptr)
        message = "";
    dprint(3, "\nChangeWorkDialogMsg:\n=====\n%s\n=====\n", message);
    if (WorkFrame == nullptr) {
        dprint(1, "ChangeWorkDialog: widget does not exist\n");
        return 0;
    }
    int length = static_cast<int>(std::strlen(message));
    if (length + 1 >= WorkStringSize) {
        dprint(2, "More space\n");
        std::free(WorkString);
        WorkStringSize = length + 100;
        WorkString = static_cast<char *>(std::malloc(static_cast<std::size_t>(WorkStringSize)));
        if (WorkString == nullptr)
            FatalNoMemory("WorkString");
    }
    std::snprintf(WorkString, static_cast<std::size_t>(WorkStringSize), "%s\n", message);
    ShowWorkText();
    return 1;
}

int AddToWorkDialogMsg(const char *line)
{
    /* 1. Trace; nothing to do without a dialog. */
    if (line == nullptr)
        line = "";
    dprint(3, "\nAddToWorkDialogMsg:\n=====\n%s\n=====\n", line);
    if (WorkFrame == nullptr) {
        dprint(1, "AddToWorkDialog: widget does not exist\n");
        return 0;
    }

    /* 2. Count the lines and find the end of the first. */
    int length = static_cast<int>(std::strlen(WorkString));
    int nl_count = 0;
    int first_nl = -1;
    for (int i = 0; i < length; i++) {
        if (WorkString[i] == '\n') {
            if (first_nl < 0)
                first_nl = i;
            nl_count++;
        }
    }
    int add_length = static_cast<int>(std::strlen(line)) + 3;
    dprint(2, "AddToWorkDialog: nl_count=%d, first_nl=%d, length=%d\n", nl_count, first_nl, length);
    dprint(2, "\tadd_length=%d, WorkStringSize=%d\n", add_length, WorkStringSize);

    /* 3. Scroll the oldest line off at 15 lines, or an empty first line. */
    int start = 0;
    if (first_nl >= 0 && (nl_count >= kWorkLinesShown || WorkString[0] == '\n')) {
        dprint(2, "Drop line\n");
        start = first_nl + 1;
    }
    int remaining = length - start;

    /* 4. Room for the new line. */
    if (add_length + remaining >= WorkStringSize) {
        dprint(2, "More space\n");
        int size = add_length + remaining + 100;
        dprint(5, "Malloc WorkStringtemp %d bytes\n", size);
        char *temp_str = static_cast<char *>(std::malloc(static_cast<std::size_t>(size)));
        if (temp_str == nullptr)
            FatalNoMemory("temp_str");
        std::memcpy(temp_str, WorkString + start, static_cast<std::size_t>(remaining) + 1);
        dprint(5, "free WorkString\n");
        std::free(WorkString);
        WorkString = temp_str;
        WorkStringSize = size;
    } else if (start > 0) {
        std::memmove(WorkString, WorkString + start, static_cast<std::size_t>(remaining) + 1);
    }

    /* 5. Append the line and show the text. */
    std::snprintf(WorkString + remaining, static_cast<std::size_t>(WorkStringSize - remaining), "%s\n", line);
    dprint(6, "%s", WorkString);
    ShowWorkText();
    return 1;
}
