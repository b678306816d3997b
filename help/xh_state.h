/*
 * xh_state.h - the state the help system's modules share: the page parser
 * (lexer.l, grammar.y, actions.cpp, filestack.cpp), the help window and its
 * navigation (window.cpp, index.cpp) and the contexts and help key
 * (context.cpp).
 *
 * Topic and file records live in one hash table (xh_TopicTable) keyed by
 * string pairs: ("FILE", file name) for a file, (topic, file name) for a
 * topic.  The hash is the byte sum of the file name, so a file's topics share
 * a bucket.
 */
#ifndef XR_HELP_XH_STATE_H
#define XR_HELP_XH_STATE_H

#include <cstdio>

#include <X11/Intrinsic.h>
#include <Xm/Xm.h>

#include "help/hashtable.h"

constexpr int XH_FONT_POSITIONS = 10;
constexpr int XH_MAX_PAGE_OBJECTS = 300;
constexpr int XH_FILE_STACK_SIZE = 127;
constexpr int XH_MAX_TOKEN = 200;
constexpr int XH_MAX_CONTEXTS = 1024;

/* Key of a record in xh_TopicTable. */
struct xh_Key {
    char *first;    /* "FILE" or the topic name */
    char *second;   /* the help file name */
};

/* A help file met by the help system. */
struct xh_HelpFile {
    xh_Key key;
    char *file_name;
    XmFontList font_list;                     /* font list when first opened */
    char *font_tags[XH_FONT_POSITIONS];       /* font positions 0..9; null = empty */
};

/* A topic, chained in the order topics were first met. */
struct xh_Topic {
    xh_Key key;
    xh_Topic *next;
    xh_Topic *prev;
    char *topic_name;
    xh_HelpFile *file;
    long position;       /* file offset of its START_TOPIC line; -1 unknown */
    int depth;           /* file-stack depth during an index scan */
};

/* A help context: the help a widget's window opens on the help key. */
struct xh_Context {
    Widget widget;
    char *file;
    char *topic;
};

extern ht_HashTable *xh_TopicTable;
extern ht_HashTable *xh_ContextTable;

extern int HelpDepth;
extern int StackIndex;
extern int StackFull;
extern int Scanning;
extern int IndexScan;
extern int TopicNumber;
extern int xh_LineNumber;
extern long xh_LineStart;         /* file offset of the current line's start */
extern FILE *xh_CurrentStream;
extern xh_HelpFile *xh_CurrentFile;
extern xh_Topic *xh_CurrentTopic;
extern xh_Topic *xh_PrevTopic;
extern xh_Topic *xh_FirstIndexTopic;
extern char *xh_CurrentCharset;
extern XmFontList xh_TextFont;
extern int CurrentVPosition;
extern int RC_ChildCount;
extern int xh_debug;

/* Find-or-create of the records in xh_TopicTable (topics.cpp).  Both make
 * the table when it does not exist yet, so the parser can scan without
 * InitHelp.  Null when memory has run out, and for a topic named "FILE"
 * (the key of file records). */
xh_HelpFile *xh_FindHelpFile(const char *file_name);
xh_Topic *xh_FindTopic(const char *topic_name, const char *file_name);
/* Makes xh_TopicTable if it does not exist (InitHelp). */
void xh_CreateTopicTable();

/* ---- parser (lexer.l, grammar.y) ------------------------------------------ */

int xh_yyparse();
/* Points the lexer at a new stream (after a seek, a push or a pop). */
void xh_yyrestart(FILE *stream);

/* ---- file stack (filestack.cpp) ------------------------------------------- */

int xh_PushFileStack(FILE *stream, int include);
int xh_PopFileStack(int includes_only);

/* ---- page building (window.cpp) ------------------------------------------- */

/* The row-column container of the page being built (created with the help
 * window on the first page). */
Widget xh_PageContainer();
/* Creates the help window if needed and starts a new, empty page. */
void xh_BeginPage();
/* Shows the page built since xh_BeginPage. */
void xh_ShowPage();
/* The help window's vertical scroll position (0 without a window), which
 * the file stack saves for non-include pushes; CurrentVPosition is put back
 * by the next xh_ShowPage. */
int xh_PageScrollPosition();

/* ---- contexts and cursor (context.cpp) ------------------------------------ */

void InitHelp(const char *app_name, Widget toplevel, const char *key_name, unsigned int modifiers);
void RegisterHelpContext(Widget widget, const char *file, const char *topic);
void xh_CheckPosition(Widget w, XtPointer client_data, XEvent *event, Boolean *cont);
void WatchCursorOn(Widget w);
void WatchCursorOff(Widget w);

/* ---- window and index (window.cpp, index.cpp) ----------------------------- */

void HelpDialogCallback(Widget w, XtPointer which, XtPointer call_data);
void DisplayHelpIndex(Widget w, const char *file);
int BuildIndex(const char *file, const char *name);

#endif
