/*
 * actions.h - what the help page parser (grammar.y) and its lexer (lexer.l)
 * call: the page-building actions of the statements, the string values of
 * the grammar, the reading of included and pulled-in files, and the split of
 * free text at its font escapes.
 *
 * Owned by actions.cpp; the file stack is filestack.cpp.  Every action skips
 * its widget work while the parser scans for a topic (Scanning) or builds an
 * index (IndexScan).
 */
#ifndef XR_HELP_ACTIONS_H
#define XR_HELP_ACTIONS_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <X11/Intrinsic.h>
#include <Xm/Xm.h>

/* ---- values of the grammar ------------------------------------------------ */

/* A heap copy of `text` (never null). */
char *xh_Alloc(const char *text);
/* `first` followed by `second` in a new heap string; both operands are
 * released (either may be null). */
char *xh_Concat(char *first, char *second);

/* ---- statements ------------------------------------------------------------ */

/* Results of the actions that can end the page: 0 go on, 1 the page is
 * complete (stop, accepted), -1 the page stops on an error. */
constexpr int XH_CONTINUE = 0;
constexpr int XH_PAGE_DONE = 1;
constexpr int XH_PAGE_FAILED = -1;

/* Remembers the start of the line holding a START_TOPIC keyword. */
void xh_MarkTopicLine();
int xh_StartPage(const char *topic);
void xh_ChangeFont(const char *font);
void xh_FontPosition(const char *position, const char *font, const char *tag);
void xh_AddBitmapFile(const char *file);
void xh_AddGifFile(const char *file);
int xh_Include(const char *file);
void xh_AddText(const char *words);
int xh_DisplayPage(const char *topic);
void xh_CommandButton(const char *label, const char *command);
void xh_GotoButton(const char *label, const char *file, const char *topic);
void xh_GotoTopic(const char *file, const char *topic);

/* The activation of a page's push button: client_data is the button's
 * action record. */
void HelpCB(Widget w, XtPointer client_data, XtPointer call_data);

/* ---- parser and lexer glue --------------------------------------------------- */

void xh_yyerror(const char *message);
int xh_yylex();

/* Called by the parser after each statement with whether it holds a look-ahead
 * token: files pulled into the reading (INCLUDE, and GOTO targets of an index
 * scan) are entered only where no token of the current file is pending. */
void xh_StatementBoundary(bool lookahead_pending);
/* Called by the lexer before it reads a token: enters a file whose reading was
 * requested and may now start.  -1 when the file stack refused it. */
int xh_EnterPendingFile();
/* Drops requested files not yet entered (their streams are closed). */
void xh_DropPendingFiles();
/* End of the stream being read: 1 when reading goes on (in a requested
 * file, or in the file that included this one, the lexer already restarted),
 * 0 when input ends, -1 when the file stack refused a requested file. */
int xh_EndOfFile();
/* The page stops: requested files are dropped, included files closed, and
 * the file that included them is current again. */
void xh_StopReading();
/* Whether `file` is being read, or waits on the file stack. */
bool xh_FileOnStack(const char *file);

/* Line of the last token the lexer returned (comment lines not counted). */
extern int xh_TokenLine;
/* File offset just after the last token the lexer returned. */
extern long xh_TokenEnd;

/* ---- free text ---------------------------------------------------------------- */

constexpr int XH_FONT_KEEP = -1;      /* no font change before the run */
constexpr int XH_FONT_PREVIOUS = -2;  /* back to the font before the last change */

/* A piece of free text in one font: the font change before it (a position
 * 0-9 of the help file, XH_FONT_KEEP or XH_FONT_PREVIOUS), its characters, and
 * whether a line break follows it. */
struct xh_TextRun {
    int font;
    std::string text;
    bool line_break;
};

/* Splits free text at its font escapes ("\f0" to "\f9", "\fP") and newlines.
 * A backslash right after another backslash starts no escape. */
std::vector<xh_TextRun> xh_SplitText(std::string_view text);

/* The compound string of free text, starting in the font of charset tag
 * `start`: "\fN" switches to font position N of the help file being read,
 * "\fP" back to the font before the last switch, a newline breaks the line. */
XmString xh_TextString(std::string_view text, const char *start);

#endif
