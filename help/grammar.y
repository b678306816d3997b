%{
/*
 * grammar.y - the grammar of the help page language.
 *
 * A help file is a list of statements: keyword lines (START_TOPIC, FONT,
 * FONT_POSITION, BITMAP, GIF, INCLUDE, END_TOPIC, BUTTON), GOTO statements,
 * and free text, which may run over several lines.  A `text` argument is one
 * word, optionally after blanks and line breaks, or a double-quoted run that
 * may hold blanks, "=" and line breaks.  Each statement calls its action in
 * actions.cpp; END_TOPIC ends the parse once the page is shown.
 *
 * Values are heap strings: every token brings a copy of its text, sequences
 * are joined with xh_Concat, and each action releases what it does not pass
 * on ($$ is always set, so that error recovery frees each value once).
 *
 * How the grammar is made LALR(1) without changing the language it accepts:
 *
 *  - A blank run is one left-recursive nonterminal: `white_space` (blanks
 *    only) where only blanks may stand, `spaces` (blanks and line breaks)
 *    where line breaks may stand too.  A text argument after a keyword's
 *    blanks is `arg`: a word, a quoted run, or line breaks and blanks
 *    (`breaks`, which begins with a newline) and then a word; the blanks before
 *    the first newline are the keyword's.  This is the same set of token
 *    strings as "white_space text", parsed one way only.
 *
 *  - END_TOPIC followed by blanks, line breaks and a word: the text written
 *    after END_TOPIC can hold line breaks, but every such line is equally an
 *    END_TOPIC line (blanks and a newline) followed by free text.  The parser
 *    takes it that way (the topic name after END_TOPIC is never used), so
 *    after END_TOPIC and its blanks a newline always ends the line.
 *
 *  - A goto button without TOPIC ends with blanks and a newline; one with
 *    TOPIC has blanks and line breaks before it.  Which one it is shows only
 *    after the whole blank run, so the run after the FILE argument is read
 *    first: TOPIC next makes the second form; anything else makes the first,
 *    whose line then ended at the run's first newline (without one the line
 *    is a syntax error, as it is for the described form), and the rest of
 *    the run is free text that begins the next statement (`pending_text`,
 *    joined to the free text that follows or shown on its own).
 *
 *  - GOTO takes its TOPIC or FILE right after the keyword, and TOPIC right
 *    after the FILE argument.  Blanks are tokens, so such a line can only
 *    keep the keywords apart with carriage returns, which the lexer drops
 *    ("GOTO\rFILE f\rTOPIC t"); with blanks it is a syntax error.
 *
 *  - Free text is a run of words, blanks, line breaks and "=".  Two runs
 *    next to each other are also one run, so each word, blank, newline or
 *    "=" after free text could either extend it or start another free-text
 *    statement: 4 shift/reduce conflicts (look-aheads WORD, SPACE, NEWLINE,
 *    '=').  In the same way a blank or newline after the blank run of a goto
 *    button could extend the run or start free text: 2 more (SPACE,
 *    NEWLINE).  All 6 are resolved by shifting, and either choice accepts
 *    the same token strings, since every continuation of the shorter run is
 *    also one of the longer: free text runs on until a keyword (a page's free
 *    text between two keyword statements is one label), and the blank run
 *    after a goto button is read whole, so that a TOPIC after it is seen.
 *    There are no reduce/reduce conflicts.
 */
#include <cstdlib>
#include <cstring>

#include "help/actions.h"
#include "help/xh_state.h"

namespace {
/* Free text that began on the line after a goto button without TOPIC. */
char *pending_text = nullptr;

/* Shows free text left by a goto button when no free text follows it. */
void FlushPendingText()
{
    if (pending_text != nullptr) {
        xh_AddText(pending_text);
        std::free(pending_text);
        pending_text = nullptr;
    }
}

void Release(char *a, char *b = nullptr, char *c = nullptr, char *d = nullptr)
{
    std::free(a);
    std::free(b);
    std::free(c);
    std::free(d);
}
} // namespace

#define XH_STATEMENT_DONE() xh_StatementBoundary(yychar != XH_YY_XH_YYEMPTY)
%}

%define api.prefix {xh_yy}
%define api.token.prefix {XH_YY_}
%define api.value.type {char *}
%expect 6
%expect-rr 0

%token BUTTON 257 TOPIC 258 FONT 259 BITMAP 260 GIF 261 NEXT_PAGE 262
%token PREV_PAGE 263 QUIT 264 GOTO 265 FILE 266 START_TOPIC 267
%token END_TOPIC 268 WORD 269 SPACE 270 EXEC 271 NEWLINE 272
%token FONT_POSITION 273 INCLUDE 274 KEYWORD 275

%destructor { std::free($$); } <>

/* Whatever an earlier page left unread is dropped. */
%initial-action {
    xh_DropPendingFiles();
    std::free(pending_text);
    pending_text = nullptr;
}

%%

page
    : %empty                    { $$ = nullptr; }
    | statement_list            { $$ = nullptr; FlushPendingText(); }
    ;

statement_list
    : statement                 { $$ = nullptr; XH_STATEMENT_DONE(); }
    | statement_list statement  { $$ = nullptr; XH_STATEMENT_DONE(); }
    ;

statement
    : button_command            { $$ = nullptr; }
    | start_topic white_space arg end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            int result = xh_StartPage($3);
            Release($3);
            if (result == XH_PAGE_FAILED)
                YYABORT;
        }
    | FONT white_space arg end_of_line
        { $$ = nullptr; FlushPendingText(); xh_ChangeFont($3); Release($1, $3); }
    | FONT_POSITION white_space word white_space word end_of_line
        { $$ = nullptr; FlushPendingText(); xh_FontPosition($3, $5, nullptr); Release($1, $3, $5); }
    | FONT_POSITION white_space word white_space word '=' word end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            xh_FontPosition($3, $5, $7);
            Release($1, $3, $5, $7);
            Release($6);
        }
    | BITMAP white_space arg end_of_line
        { $$ = nullptr; FlushPendingText(); xh_AddBitmapFile($3); Release($1, $3); }
    | GIF white_space arg end_of_line
        { $$ = nullptr; FlushPendingText(); xh_AddGifFile($3); Release($1, $3); }
    | INCLUDE white_space arg end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            int result = xh_Include($3);
            Release($1, $3);
            if (result == XH_PAGE_FAILED)
                YYABORT;
        }
    | words
        {
            $$ = nullptr;
            char *text = $1;
            if (pending_text != nullptr) {
                text = xh_Concat(pending_text, text);
                pending_text = nullptr;
            }
            xh_AddText(text);
            Release(text);
        }
    | goto_command              { $$ = nullptr; }
    | END_TOPIC end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            Release($1);
            if (xh_DisplayPage(nullptr) == XH_PAGE_DONE)
                YYACCEPT;
        }
    | END_TOPIC white_space word end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            int result = xh_DisplayPage($3);
            Release($1, $3);
            if (result == XH_PAGE_DONE)
                YYACCEPT;
        }
    | END_TOPIC white_space '"' words '"' end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            int result = xh_DisplayPage($4);
            Release($1, $3, $4, $5);
            if (result == XH_PAGE_DONE)
                YYACCEPT;
        }
    ;

button_command
    : BUTTON spaces label spaces command end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            xh_CommandButton($3, $5);
            Release($1, $2, $3, $4);
            Release($5);
        }
    | BUTTON spaces label spaces file_spec spaces
        {
            /* Without TOPIC the button's line ends at the first newline of
             * the blank run after FILE; what follows it is free text. */
            $$ = nullptr;
            char *newline = std::strchr($6, '\n');
            if (newline == nullptr) {
                Release($1, $2, $3, $4);
                Release($5, $6);
                xh_yyerror("syntax error");
                YYABORT;
            }
            FlushPendingText();
            xh_GotoButton($3, $5, nullptr);
            if (newline[1] != '\0')
                pending_text = xh_Alloc(newline + 1);
            Release($1, $2, $3, $4);
            Release($5, $6);
        }
    | BUTTON spaces label spaces file_spec spaces topic_spec end_of_line
        {
            $$ = nullptr;
            FlushPendingText();
            xh_GotoButton($3, $5, $7);
            Release($1, $2, $3, $4);
            Release($5, $6, $7);
        }
    ;

command
    : NEXT_PAGE                 { $$ = $1; }
    | PREV_PAGE                 { $$ = $1; }
    | QUIT                      { $$ = $1; }
    | exec spaces label         { $$ = xh_Concat($1, $3); Release($2); }
    ;

goto_command
    : GOTO topic_spec
        { $$ = nullptr; FlushPendingText(); xh_GotoTopic(nullptr, $2); Release($1, $2); }
    | GOTO file_spec topic_spec
        { $$ = nullptr; FlushPendingText(); xh_GotoTopic($2, $3); Release($1, $2, $3); }
    ;

file_spec
    : FILE text                 { $$ = $2; Release($1); }
    ;

topic_spec
    : TOPIC text                { $$ = $2; Release($1); }
    ;

/* A word, optionally after blanks and line breaks, or a quoted run. */
text
    : word                      { $$ = $1; }
    | spaces word               { $$ = $2; Release($1); }
    | '"' words '"'             { $$ = $2; Release($1, $3); }
    ;

/* The text argument of a keyword, after the keyword's blanks. */
arg
    : word                      { $$ = $1; }
    | breaks word               { $$ = $2; Release($1); }
    | '"' words '"'             { $$ = $2; Release($1, $3); }
    ;

/* A label: a word or a quoted run (the blanks before it belong to the
 * rule that uses it). */
label
    : word                      { $$ = $1; }
    | '"' words '"'             { $$ = $2; Release($1, $3); }
    ;

breaks
    : NEWLINE                   { $$ = nullptr; Release($1); }
    | breaks NEWLINE            { $$ = nullptr; Release($2); }
    | breaks SPACE              { $$ = nullptr; Release($2); }
    ;

words
    : text_token                { $$ = $1; }
    | words text_token          { $$ = xh_Concat($1, $2); }
    ;

text_token
    : word                      { $$ = $1; }
    | SPACE                     { $$ = $1; }
    | NEWLINE                   { $$ = $1; }
    | '='                       { $$ = $1; }
    ;

word
    : WORD                      { $$ = $1; }
    ;

exec
    : EXEC                      { $$ = $1; }
    ;

white_space
    : SPACE                     { $$ = nullptr; Release($1); }
    | white_space SPACE         { $$ = nullptr; Release($2); }
    ;

end_of_line
    : NEWLINE                   { $$ = nullptr; Release($1); }
    | white_space NEWLINE       { $$ = nullptr; Release($2); }
    ;

spaces
    : SPACE                     { $$ = $1; }
    | NEWLINE                   { $$ = $1; }
    | spaces SPACE              { $$ = xh_Concat($1, $2); }
    | spaces NEWLINE            { $$ = xh_Concat($1, $2); }
    ;

start_topic
    : START_TOPIC               { $$ = nullptr; xh_MarkTopicLine(); Release($1); }
    ;

%%
