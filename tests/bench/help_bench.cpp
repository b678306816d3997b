/*
 * help_bench.cpp - what showing help costs next to a bare Motif window.
 *
 * Under a private X server (the bench target runs it through with-xvfb),
 * best of several runs each:
 *   - a bare Motif window: a dialog shell with a scrolled row-column of 300
 *     labels, created, managed and on the screen (the baseline);
 *   - Help() of a 300-object page (150 text labels and 150 buttons) in a
 *     help window that is already there, until the page is on the screen;
 *   - BuildIndex over every shipped help file (index files written into a
 *     private folder at the head of the help path).
 * Prints the times and the ratios to the baseline.  Not a pass/fail test.
 */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <Xm/DialogS.h>
#include <Xm/Label.h>
#include <Xm/RowColumn.h>
#include <Xm/ScrolledW.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "tests/support/process.h"

namespace {

constexpr int kRuns = 9;
constexpr int kObjects = 300;

using Clock = std::chrono::steady_clock;

XtAppContext app;
Widget shell;

double ms_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/* Every request made is done by the server. */
void settle()
{
    XSync(XtDisplay(shell), False);
    while (XtAppPending(app) != 0)
        XtAppProcessEvent(app, XtIMAll);
    XSync(XtDisplay(shell), False);
}

double bare_window()
{
    Clock::time_point start = Clock::now();
    Widget dialog = XtVaCreatePopupShell("bare", xmDialogShellWidgetClass, shell, XmNwidth, 560, XmNheight, 520,
                                         nullptr);
    Widget scrolled = XtVaCreateWidget("scrolled", xmScrolledWindowWidgetClass, dialog, XmNscrollingPolicy,
                                       XmAUTOMATIC, XmNwidth, 560, XmNheight, 520, nullptr);
    Widget rc = XtVaCreateManagedWidget("rc", xmRowColumnWidgetClass, scrolled, nullptr);
    std::vector<Widget> labels;
    for (int i = 0; i < kObjects; i++) {
        std::string text = "Label number " + std::to_string(i) + " of the bare window.";
        XmString s = XmStringCreateLocalized(xs(text));
        labels.push_back(XtVaCreateWidget("label", xmLabelWidgetClass, rc, XmNlabelString, s, nullptr));
        XmStringFree(s);
    }
    XtManageChildren(labels.data(), static_cast<Cardinal>(labels.size()));
    XtManageChild(scrolled);
    settle();
    double ms = ms_since(start);
    XtDestroyWidget(dialog);
    settle();
    return ms;
}

std::string big_page()
{
    std::string text = "START_TOPIC Big\n";
    for (int i = 0; i < kObjects / 2; i++) {
        text += "Text number " + std::to_string(i) + " of the big page.\n";
        text += "BUTTON \"Button " + std::to_string(i) + "\" FILE big.help TOPIC Big\n";
    }
    return text + "END_TOPIC Big\n";
}

double help_page()
{
    Clock::time_point start = Clock::now();
    Help("big.help", "Big");
    settle();
    double ms = ms_since(start);
    HelpDialogCallback(nullptr, reinterpret_cast<XtPointer>(4), nullptr);   /* Quit */
    settle();
    return ms;
}

double build_indexes(const std::vector<std::string> &files)
{
    Clock::time_point start = Clock::now();
    for (const std::string &file : files)
        BuildIndex(file.c_str(), file.c_str());
    settle();
    return ms_since(start);
}

double best(double (*run)())
{
    double fastest = 1e30;
    for (int i = 0; i < kRuns; i++)
        fastest = std::min(fastest, run());
    return fastest;
}

} // namespace

int main(int argc, char **argv)
{
    shell = XtVaAppInitialize(&app, "Xrackmon", nullptr, 0, &argc, argv, nullptr, XmNwidth, 100, XmNheight, 100,
                              nullptr);
    XtRealizeWidget(shell);

    ConsoleRoot root;
    root.write("/help/big.help", big_page());
    std::vector<std::string> shipped;
    for (const auto &entry : std::filesystem::directory_iterator(XR_HELP_DIR))
        if (entry.path().extension() == ".help")
            shipped.push_back(entry.path().filename().string());
    std::sort(shipped.begin(), shipped.end());
    std::string path = root.at("/help") + ":" + XR_HELP_DIR;
    setenv("XHELPPATH", path.c_str(), 1);
    InitHelp("rack_fru", shell, "F1", AnyModifier);
    xh_Toplevel = shell;
    help_page();   /* the help window is made once, like in the program */

    double bare = best(bare_window);
    double page = best(help_page);
    double index = 1e30;
    for (int i = 0; i < kRuns; i++)
        index = std::min(index, build_indexes(shipped));

    std::printf("bare Motif window, %d labels:        %8.2f ms\n", kObjects, bare);
    std::printf("help page of %d objects (Help):      %8.2f ms  (%.2fx the bare window)\n", kObjects, page,
                page / bare);
    std::printf("index of %zu shipped help files:        %8.2f ms  (%.2fx the bare window)\n", shipped.size(),
                index, index / bare);
    return 0;
}
