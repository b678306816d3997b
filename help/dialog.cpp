/*
 * dialog.cpp - the help system's entry point Help(), its search path and
 * its information box.
 *
 * Owns xh_Toplevel and the help path (xh_DirectoryList).  Called by the
 * dialog utilities' help callbacks.  This version has no page parser yet:
 * Help() looks the file up on the path and reports honestly, in the help
 * system's own message, that the pages cannot be shown.  The information
 * box is built with plain Motif calls because the dialog utilities sit
 * above this library.
 */
#include "help/help.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <Xm/MessageB.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "base/trace.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr const char kHelpTitle[] = "Help";
constexpr const char kCannotOpenPrefix[] = "Cannot open help file \"";
constexpr const char kNoPageViewer[] = "help pages cannot be shown by this version";
constexpr std::string_view kLangMarker = "%L";
}

/* ---- module variables --------------------------------------------------- */

Widget xh_Toplevel = nullptr;
std::array<std::string, XH_MAX_DIRECTORIES> xh_DirectoryList;
int xh_DirectoryCount = 0;

static bool help_path_read = false;

/* ---- static prototypes -------------------------------------------------- */

static void DestroyInformationCB(Widget w, XtPointer client_data, XtPointer call_data);
static void ReportCannotOpen(const char *file, const char *reason);

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
    xh_SetHelpPath(std::getenv("XHELPPATH"), std::getenv("LANG"));
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
    XmString xm_message = XmStringCreateLtoR(xs(message), xs(XmFONTLIST_DEFAULT_TAG));
    Arg args[2];
    XtSetArg(args[0], XmNdialogTitle, xm_title);
    XtSetArg(args[1], XmNmessageString, xm_message);
    Widget box = XmCreateInformationDialog(xh_Toplevel, xs("xh_information"), args, 2);
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

/* ---- Help --------------------------------------------------------------- */

static void ReportCannotOpen(const char *file, const char *reason)
{
    /* "Cannot open help file \"%s\": %s" */
    std::string text = std::string(kCannotOpenPrefix) + file + "\": " + reason;
    xh_InformationMessage(kHelpTitle, text.c_str(), nullptr);
}

void Help(const char *file, const char *topic)
{
    if (file == nullptr)
        file = "";
    xh_dprint(1, "Help: file = %s, topic = %s\n", file, topic != nullptr ? topic : "");

    FILE *fp = xh_Search(file);
    if (fp == nullptr) {
        ReportCannotOpen(file, std::strerror(errno));
        return;
    }
    /* The file exists, but this version has no page viewer: say so rather
     * than pretend that help was shown. */
    std::fclose(fp);
    ReportCannotOpen(file, kNoPageViewer);
}
