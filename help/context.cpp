/*
 * context.cpp - context-sensitive help: InitHelp, the help key, the help
 * contexts of windows (RegisterHelpContext, xh_CheckPosition) and the
 * reference-counted watch cursor.
 *
 * A context ties a widget to a help file and topic.  Contexts of widgets
 * that have a window are kept in xh_ContextTable under the window id;
 * widgets registered before they are realized wait in a pending list and
 * are matched by their window at the time the key is pressed.  A context
 * goes away with its widget.
 *
 * The help key is grabbed on every shell that holds a context, so it works
 * wherever the pointer is in the program's windows; xh_CheckPosition walks
 * the windows under the pointer and opens the help of the deepest one that
 * has a context.
 *
 * Called by start-up (InitHelp), by the window builders and the dialog
 * utilities (RegisterHelpContext) and by Help (the cursor).
 */
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <X11/Xlib.h>
#include <X11/cursorfont.h>

#include "base/trace.h"
#include "help/help.h"
#include "help/xh_msg.h"
#include "help/xh_state.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr int kContextTableSize = 8;   /* 256 buckets */
constexpr int kMaxPointerDepth = 15;   /* windows recorded under the pointer */
constexpr unsigned int kWatchGlyph = 150;
}

/* ---- module variables --------------------------------------------------- */

static bool help_initialized = false;
static KeyCode help_key_code = 0;
static unsigned int help_key_modifiers = 0;

/* Contexts of widgets without a window when they were registered. */
static std::array<xh_Context *, XH_MAX_CONTEXTS> pending_contexts{};
static int pending_count = 0;

static Cursor watch_cursor = None;
static int watch_count = 0;
static Widget watch_shells[2] = {nullptr, nullptr};

/* ---- static prototypes -------------------------------------------------- */

static unsigned long ContextHash(const void *key);
static long ContextCompare(const void *a, const void *b);
static void GrabHelpKey(Widget shell);
static Widget ShellOf(Widget w);
static xh_Context *NewContext(Widget widget, const char *file, const char *topic);
static void FreeContext(xh_Context *context);
static void ContextDestroyedCB(Widget w, XtPointer client_data, XtPointer call_data);
static void ForgetContext(xh_Context *context);
static xh_Context *ContextOfWindow(Window window);
static void SetShellCursor(Widget shell, Cursor cursor);
static void WatchShellDestroyedCB(Widget w, XtPointer client_data, XtPointer call_data);
static void *WindowKey(Window window);

/* ---- the context table -------------------------------------------------- */

static unsigned long ContextHash(const void *key)
{
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(key));
}

static long ContextCompare(const void *a, const void *b)
{
    auto wa = static_cast<long>(reinterpret_cast<std::uintptr_t>(a));
    auto wb = static_cast<long>(reinterpret_cast<std::uintptr_t>(b));
    return wa - wb;
}

static void *WindowKey(Window window)
{
    return reinterpret_cast<void *>(static_cast<std::uintptr_t>(window));
}

/* ---- initialisation ----------------------------------------------------- */

void InitHelp(const char *app_name, Widget toplevel, const char *key_name, unsigned int modifiers)
{
    if (toplevel == nullptr) {
        std::printf("%s", xh_catgets(XH_SET_WINDOW, XH_MSG_ERROR, "ERROR: "));
        std::printf("XHELP InitHelp(): no top-level widget for %s\n", app_name != nullptr ? app_name : "");
        std::fflush(stdout);
        return;
    }
    /* The catalogue is opened after the locale is set from the
     * environment; the first look-up does both. */
    xh_catgets(XH_SET_NAMES, XH_MSG_PATH_VARIABLE, "XHELPPATH");

    Display *display = XtDisplay(toplevel);
    KeySym sym = XStringToKeysym(key_name != nullptr ? key_name : "F1");
    help_key_code = sym != NoSymbol ? XKeysymToKeycode(display, sym) : 0;
    help_key_modifiers = modifiers;
    xh_dprint(2, "F1 key sym = 0x%x, key code = 0x%x\n", static_cast<unsigned>(sym),
              static_cast<unsigned>(help_key_code));

    if (xh_Toplevel == nullptr)
        xh_Toplevel = toplevel;
    help_initialized = true;
    GrabHelpKey(ShellOf(toplevel));
    xh_ReadHelpPath();

    /* The command labels are looked up once here so that a broken
     * catalogue shows at start-up; the parser asks for them again. */
    xh_catgets(XH_SET_NAMES, XH_MSG_CMD_PREV_PAGE, "PREV_PAGE");
    xh_catgets(XH_SET_NAMES, XH_MSG_CMD_NEXT_PAGE, "NEXT_PAGE");
    xh_catgets(XH_SET_NAMES, XH_MSG_CMD_EXEC, "EXEC");
    xh_catgets(XH_SET_NAMES, XH_MSG_CMD_QUIT, "QUIT");
    xh_catgets(XH_SET_NAMES, XH_MSG_CMD_GOTO, "GOTO");

    xh_CreateTopicTable();
    if (xh_ContextTable == nullptr)
        xh_ContextTable = ht_CreateHashTable(kContextTableSize, display, ContextHash, ContextCompare);
    xh_dprint(2, "InitHelp: %s\n", app_name != nullptr ? app_name : "");
}

static Widget ShellOf(Widget w)
{
    while (w != nullptr && !XtIsShell(w))
        w = XtParent(w);
    return w;
}

/* The key is grabbed on the shell (Xt defers the grab until the shell is
 * realized) and the handler installed once. */
static void GrabHelpKey(Widget shell)
{
    if (shell == nullptr || help_key_code == 0)
        return;
    XtGrabKey(shell, help_key_code, help_key_modifiers, False, GrabModeAsync, GrabModeAsync);
    XtRemoveEventHandler(shell, KeyPressMask, False, xh_CheckPosition, nullptr);
    XtAddEventHandler(shell, KeyPressMask, False, xh_CheckPosition, nullptr);
}

/* ---- registration ------------------------------------------------------- */

static xh_Context *NewContext(Widget widget, const char *file, const char *topic)
{
    auto *context = new (std::nothrow) xh_Context{};
    if (context == nullptr)
        return nullptr;
    context->widget = widget;
    context->file = strdup(file != nullptr ? file : "");
    context->topic = strdup(topic != nullptr ? topic : "");
    if (context->file == nullptr || context->topic == nullptr) {
        FreeContext(context);
        return nullptr;
    }
    return context;
}

static void FreeContext(xh_Context *context)
{
    std::free(context->file);
    std::free(context->topic);
    delete context;
}

void RegisterHelpContext(Widget widget, const char *file, const char *topic)
{
    if (!help_initialized || xh_ContextTable == nullptr) {
        std::printf("%s", xh_catgets(XH_SET_WINDOW, XH_MSG_ERROR, "ERROR: "));
        std::printf(xh_catgets(XH_SET_WINDOW, XH_MSG_EARLY_REGISTER,
                               "XHELP Error: Attempt to register topic %s, before help initialization\n"),
                    topic != nullptr ? topic : "");
        std::fflush(stdout);
        return;
    }
    if (widget == nullptr)
        return;
    GrabHelpKey(ShellOf(widget));

    Window window = XtIsWidget(widget) ? XtWindow(widget) : None;
    if (window == None && pending_count >= XH_MAX_CONTEXTS) {
        std::printf("%s", xh_catgets(XH_SET_WINDOW, XH_MSG_ERROR, "ERROR: "));
        std::printf("%s", xh_catgets(XH_SET_WINDOW, XH_MSG_MAX_CONTEXTS,
                                     "XHELP RegisterHelpContext(): MaxContexts exceeded\n"));
        std::fflush(stdout);
        return;
    }
    xh_Context *context = NewContext(widget, file, topic);
    if (context == nullptr)
        return;
    XtAddCallback(widget, XmNdestroyCallback, ContextDestroyedCB, context);

    if (window == None) {
        pending_contexts[pending_count++] = context;
        xh_dprint(3, "RegisterHelpContext: pending %s, %s\n", context->file, context->topic);
        return;
    }
    auto *old = static_cast<xh_Context *>(ht_AddToTable(xh_ContextTable, WindowKey(window), context));
    if (old != nullptr) {
        xh_dprint(2, "RegisterHelpContext: duplicate help for window 0x%d: Files = %s, %s; Topics = %s, %s",
                  static_cast<int>(window), old->file, context->file, old->topic, context->topic);
        if (old->widget != nullptr)
            XtRemoveCallback(old->widget, XmNdestroyCallback, ContextDestroyedCB, old);
        FreeContext(old);
    }
}

/* A context dies with its widget: a stale one would name a window id that
 * the server may hand to another client's window. */
static void ContextDestroyedCB(Widget, XtPointer client_data, XtPointer)
{
    ForgetContext(static_cast<xh_Context *>(client_data));
}

static void ForgetContext(xh_Context *context)
{
    for (int i = 0; i < pending_count; i++) {
        if (pending_contexts[i] != context)
            continue;
        pending_contexts[i] = pending_contexts[--pending_count];
        pending_contexts[pending_count] = nullptr;
        FreeContext(context);
        return;
    }
    Window window = XtIsWidget(context->widget) ? XtWindow(context->widget) : None;
    if (window != None && ht_SearchTable(xh_ContextTable, WindowKey(window)) == context)
        ht_DeleteFromTable(xh_ContextTable, WindowKey(window));
    FreeContext(context);
}

/* ---- the help key ------------------------------------------------------- */

/* The context of a window: the table first, then the pending widgets by
 * the window they have now. */
static xh_Context *ContextOfWindow(Window window)
{
    if (auto *context = static_cast<xh_Context *>(ht_SearchTable(xh_ContextTable, WindowKey(window)));
        context != nullptr)
        return context;
    for (int i = 0; i < pending_count; i++) {
        Widget w = pending_contexts[i]->widget;
        if (XtIsWidget(w) && XtIsRealized(w) && XtWindow(w) == window)
            return pending_contexts[i];
    }
    return nullptr;
}

void xh_CheckPosition(Widget w, XtPointer, XEvent *event, Boolean *)
{
    if (event == nullptr || event->type != KeyPress || event->xkey.keycode != help_key_code)
        return;
    xh_dprint(3, "xh_CheckPosition: help key in %s\n", XtName(w));
    if (xh_ContextTable == nullptr)
        return;
    Display *display = XtDisplay(w);
    Window root = RootWindowOfScreen(XtScreen(w));

    /* Down from the root through the child windows under the pointer. */
    std::array<Window, kMaxPointerDepth> path{};
    int depth = 0;
    Window current = root;
    while (depth < kMaxPointerDepth) {
        Window root_return = None, child = None;
        int root_x, root_y, win_x, win_y;
        unsigned int mask;
        if (!XQueryPointer(display, current, &root_return, &child, &root_x, &root_y, &win_x, &win_y, &mask) ||
            child == None)
            break;
        path[depth++] = child;
        current = child;
    }

    /* Up from the deepest window: the first context found is the help. */
    for (int i = depth - 1; i >= 0; i--) {
        xh_Context *context = ContextOfWindow(path[i]);
        if (context == nullptr)
            continue;
        xh_dprint(2, "xh_CheckPosition: window 0x%lx: %s, %s\n", path[i], context->file, context->topic);
        /* Copies: Help may destroy widgets, and with them this context. */
        std::string file(context->file), topic(context->topic);
        Help(file.c_str(), topic.c_str());
        return;
    }
    xh_InformationMessage(xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help"),
                          xh_catgets(XH_SET_WINDOW, XH_MSG_NO_HELP, "No Help is available"), nullptr);
}

/* ---- watch cursor ------------------------------------------------------- */

static void SetShellCursor(Widget shell, Cursor cursor)
{
    if (shell == nullptr || !XtIsRealized(shell))
        return;
    if (cursor == None)
        XUndefineCursor(XtDisplay(shell), XtWindow(shell));
    else
        XDefineCursor(XtDisplay(shell), XtWindow(shell), cursor);
}

/* A shell under the watch cursor that is destroyed meanwhile drops out. */
static void WatchShellDestroyedCB(Widget, XtPointer client_data, XtPointer)
{
    *static_cast<Widget *>(client_data) = nullptr;
}

void WatchCursorOn(Widget w)
{
    if (watch_count++ > 0)
        return;
    Widget shell = ShellOf(w);
    Widget parent = ShellOf(xh_Toplevel);
    Widget any = shell != nullptr ? shell : parent;
    if (any == nullptr)
        return;
    if (watch_cursor == None)
        watch_cursor = XCreateFontCursor(XtDisplay(any), kWatchGlyph);
    watch_shells[0] = shell;
    watch_shells[1] = parent != shell ? parent : nullptr;
    for (Widget &s : watch_shells) {
        if (s == nullptr)
            continue;
        XtAddCallback(s, XmNdestroyCallback, WatchShellDestroyedCB, &s);
        SetShellCursor(s, watch_cursor);
    }
    XFlush(XtDisplay(any));
}

void WatchCursorOff(Widget)
{
    if (watch_count == 0 || --watch_count > 0)
        return;
    for (Widget &s : watch_shells) {
        if (s == nullptr)
            continue;
        XtRemoveCallback(s, XmNdestroyCallback, WatchShellDestroyedCB, &s);
        SetShellCursor(s, None);
        s = nullptr;
    }
}
