/*
 * dialog.cpp - the help system's search path and its information box.
 *
 * Owns xh_Toplevel and the help path (xh_DirectoryList).  The help path
 * comes from XHELPPATH; without it, the console installation's help folder
 * (per language first).  The information box is built with plain Motif
 * calls because the dialog utilities sit above this library.
 */
#include "help/help.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include <Xm/MessageB.h>
#include <Xm/Xm.h>

#include "base/console_path.h"
#include "base/motif_str.h"
#include "base/trace.h"
#include "help/actions.h"
#include "help/xh_msg.h"
#include "help/xh_state.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr const char kHelpTitle[] = "Help";
constexpr std::string_view kLangMarker = "%L";
/* The installation's help files: a folder per language, then the folder
 * itself (through console_path). */
constexpr const char kInstalledHelpLang[] = "/opt/console/help/%L";
constexpr const char kInstalledHelp[] = "/opt/console/help";
}

/* ---- module variables --------------------------------------------------- */

Widget xh_Toplevel = nullptr;
std::array<std::string, XH_MAX_DIRECTORIES> xh_DirectoryList;
int xh_DirectoryCount = 0;

static bool help_path_read = false;

/* ---- static prototypes -------------------------------------------------- */

static void DestroyInformationCB(Widget w, XtPointer client_data, XtPointer call_data);

/* ---- help path ---------------------------------------------------------- */

void xh_SetHelpPath(const char *path_list, const char *lang)
{
    xh_DirectoryCount = 0;
    for (auto &dir : xh_DirectoryList)
        dir.clear();
    help_path_read = true;
    if (path_list == nullptr)
        return;

    std::string_view rest(path_list);
    while (!rest.empty() && xh_DirectoryCount < XH_MAX_DIRECTORIES) {
        std::size_t colon = rest.find(':');
        std::string_view entry = rest.substr(0, colon);
        rest = (colon == std::string_view::npos) ? std::string_view() : rest.substr(colon + 1);
        if (entry.empty())
            continue;
        std::string dir(entry);
        std::size_t marker = dir.find(kLangMarker);
        if (marker != std::string::npos)
            dir.replace(marker, kLangMarker.size(), lang != nullptr ? lang : "");
        xh_dprint(3, "help path[%d] = %s\n", xh_DirectoryCount, dir.c_str());
        xh_DirectoryList[xh_DirectoryCount++] = std::move(dir);
    }
}

void xh_ReadHelpPath()
{
    const char *path = std::getenv(xh_catgets(XH_SET_NAMES, XH_MSG_PATH_VARIABLE, "XHELPPATH"));
    const char *lang = std::getenv(xh_catgets(XH_SET_NAMES, XH_MSG_LANG_VARIABLE, "LANG"));
    if (path != nullptr && path[0] != '\0') {
        xh_SetHelpPath(path, lang);
        return;
    }
    std::string installed = console_path(kInstalledHelpLang) + ":" + console_path(kInstalledHelp);
    xh_SetHelpPath(installed.c_str(), lang);
}

FILE *xh_Search(const char *name)
{
    if (name == nullptr || name[0] == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    if (name[0] == '/')
        return std::fopen(name, "r");
    if (!help_path_read)
        xh_ReadHelpPath();

    int last_error = ENOENT;
    for (int i = 0; i < xh_DirectoryCount; i++) {
        std::string candidate = xh_DirectoryList[i] + "/" + name;
        FILE *fp = std::fopen(candidate.c_str(), "r");
        if (fp != nullptr) {
            xh_dprint(2, "xh_Search: found %s\n", candidate.c_str());
            return fp;
        }
        /* A directory that simply lacks the file should not hide a more
         * telling error (permission) met elsewhere on the path. */
        if (errno != ENOENT || last_error == ENOENT)
            last_error = errno;
    }
    errno = last_error;
    return nullptr;
}

/* ---- information box ---------------------------------------------------- */

Widget xh_InformationMessage(const char *title, const char *text, const char *detail)
{
    std::string message(text != nullptr ? text : "");
    if (detail != nullptr && detail[0] != '\0') {
        message += '\n';
        message += detail;
    }
    if (xh_Toplevel == nullptr) {
        std::fprintf(stderr, "%s: %s\n", title != nullptr ? title : kHelpTitle, message.c_str());
        return nullptr;
    }

    XmString xm_title = XmStringCreateLocalized(xs(title != nullptr ? title : kHelpTitle));
    XmString xm_message = xh_TextString(message, XmFONTLIST_DEFAULT_TAG);
    Arg args[3];
    int n = 0;
    XtSetArg(args[n], XmNdialogTitle, xm_title); n++;
    XtSetArg(args[n], XmNmessageString, xm_message); n++;
    if (xh_TextFont != nullptr) {
        XtSetArg(args[n], XmNlabelFontList, xh_TextFont); n++;
    }
    Widget parent = xh_Toplevel;
    while (XtParent(parent) != nullptr)
        parent = XtParent(parent);
    Widget box = XmCreateInformationDialog(parent, xs("xh_information"), args, n);
    XmStringFree(xm_title);
    XmStringFree(xm_message);

    XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON));
    XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
    XtAddCallback(box, XmNokCallback, DestroyInformationCB, nullptr);
    XtManageChild(box);
    return box;
}

/* OK of an information box: the box is used once, so its shell goes. */
static void DestroyInformationCB(Widget w, XtPointer, XtPointer)
{
    XtDestroyWidget(XtParent(w));
}
