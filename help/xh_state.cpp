/*
 * xh_state.cpp - the help system's shared state (declared in xh_state.h):
 * the topic and context tables, the counters of the open help session, the
 * position of the parser in the file being read, and the page's font.
 *
 * Each module that changes a variable says so in its own header comment;
 * this file only gives them their start values.
 */
#include "help/xh_state.h"

ht_HashTable *xh_TopicTable = nullptr;
ht_HashTable *xh_ContextTable = nullptr;

int HelpDepth = 0;          /* help files open in the help window */
int StackIndex = 0;         /* entries on the file stack */
int StackFull = 0;          /* the last push was refused */
int Scanning = 0;           /* skipping to the sought topic */
int IndexScan = 0;          /* recording topics for an index */
int TopicNumber = 1;
int xh_LineNumber = 1;      /* line being read, comment lines not counted */
long xh_LineStart = 0;      /* file offset where that line starts */
FILE *xh_CurrentStream = nullptr;
xh_HelpFile *xh_CurrentFile = nullptr;
xh_Topic *xh_CurrentTopic = nullptr;
xh_Topic *xh_PrevTopic = nullptr;
xh_Topic *xh_FirstIndexTopic = nullptr;
char *xh_CurrentCharset = nullptr;  /* null: the font list's default tag */
XmFontList xh_TextFont = nullptr;
int CurrentVPosition = 0;
int RC_ChildCount = 0;
