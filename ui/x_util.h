/*
 * x_util.h - dialog utilities: modal error, information and verify boxes,
 * the work-in-progress dialog, nested event loops, the watch cursor and
 * window icons.  Every part of the program talks to the operator through
 * these; all of them run on the toolkit thread, and the "modal" ones run a
 * nested event loop and return only when the operator has answered.
 */
#ifndef XR_UI_X_UTIL_H
#define XR_UI_X_UTIL_H

#include <string>

#include <X11/Intrinsic.h>

/* Dialog kinds: index into iconpaths. */
enum {
    DIALOG_ERROR = 1,
    DIALOG_INFORMATION = 2,
    DIALOG_UNKNOWN = 3,
    DIALOG_QUESTION = 4,
    DIALOG_WARNING = 5,
    DIALOG_WORKING = 6,
    DIALOG_HIGHEST_TYPE = 35,   /* above this, and below 1: the unknown icon */
    ICONPATH_COUNT = 37,
};

/* Message-box child codes for RemoveButton (Motif's XmDIALOG_*). */
enum { REMOVE_CANCEL = 2, REMOVE_HELP = 7 };

extern Widget Toplevel;
extern XtAppContext app_context;
extern Widget realized_shell;

extern Widget WorkDialog, WorkFrame, WorkForm, WorkIcon, WorkTitle, WorkText;
extern char *WorkString;
extern int WorkStringSize;
extern int work_dialog_hidden;
/* Number of modal boxes (error, information, verify) waiting for an answer
 * now: their nested loops still run time-outs, which may look at this. */
extern int modal_dialog_depth;
extern int no_verify_timeout;
extern int verify_auto_yes, verify_auto_no;
constexpr int PROGICON_NAME_SIZE = 256;
extern char progicon_name[];

/* Installation paths of the dialog icons, as the installation names them;
 * readers pass them through console_path.  Entry 0 is empty. */
extern const char *const iconpaths[ICONPATH_COUNT];

/* Called by VerifyTimeoutCallback before the program exits, so that borrowed
 * serial ports go back to the log daemon.  Start-up points it at the
 * engine's close_all_ports; null means nothing to release. */
extern void (*verify_timeout_release)();

/* Every message and verify box is a message box named "error_widget" (its
 * buttons "OK", "Cancel", "Help") in a dialog shell named and titled by
 * `title`; the help system's boxes are named "xh_information". */
Widget CreateWidget(Widget parent, const char *title, const char *message, int type);
Widget WidgetDialog(Widget parent, const char *title, const char *message, XtCallbackProc ok_callback, int type);
Widget ErrorDialog(Widget parent, const char *title, const char *message, XtCallbackProc ok_callback);
void ModalWidgetDialog(Widget parent, const char *title, const char *message, int type);
void ModalErrorDialog(Widget parent, const char *title, const char *message);
void ModalInfoDialog(Widget parent, const char *title, const char *message);
int ModalVerifyDialog(Widget parent, const char *title, const char *message, int type, const char *help_topic);
int ModalVerifyArgsDialog(Widget parent, const char *title, const char *question, int type, const char *help_topic);
void SetVerifyDialogAuto(int yes, int no);

void ModalDialogCallback(Widget w, XtPointer client_data, XtPointer call_data);
void VerifyOKCallback(Widget w, XtPointer client_data, XtPointer call_data);
void VerifyCancelCallback(Widget w, XtPointer client_data, XtPointer call_data);
void VerifyTimeoutCallback(XtPointer client_data, XtIntervalId *id);
void ModalHelpCB(Widget w, XtPointer client_data, XtPointer call_data);
void DisplayHelpCB(Widget w, XtPointer client_data, XtPointer call_data);
void PopupCallback(Widget w, XtPointer client_data, XtPointer call_data);
void CornerPopupCallback(Widget w, XtPointer client_data, XtPointer call_data);
void Unmanage_link(Widget w, XtPointer client_data, XtPointer call_data);

/* The help file ModalHelpCB opens for a topic ("cru.help", ...). */
const char *HelpFileForTopic(const char *topic);

/* The iconpaths entry that a dialog of `type` shows (36 outside 1..35). */
int IconIndexForType(int type);

/* The prompt of ModalVerifyArgsDialog: `question`, a newline, then every
 * argument argv[first..argc-1] that does not begin with "-", comma
 * separated with a line break before the 5th, 9th, ... name, closed by
 * " ?" (or ",\n... ?" when names had to be left out to stay below 1000
 * bytes). */
std::string VerifyArgsPrompt(const char *question, int argc, char *const *argv, int first);

void SetRealizedShell(Widget w);
void RemoveButton(Widget box, int which);

void FreshenWindow();
void wait_a_while(int seconds);
void ForceDialog(Widget w);
void watch_cursor(Widget w, int on);
void SetProgramsIcon(Widget shell, const char *icon_file, const char *icon_name);

int IsWorkDialog();
int create_WorkDialog(Widget parent, const char *title, const char *message);
int StartWorkDialog(Widget parent, const char *title, const char *message);
int EndWorkDialog();
int HideWorkDialog();
int UnHideWorkDialog();
int ChangeWorkDialogMsg(const char *message);
int AddToWorkDialogMsg(const char *line);

#endif
