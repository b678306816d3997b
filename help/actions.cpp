/*
 * actions.cpp - what the statements of a help page do, and how the parser
 * moves between files.
 *
 * The parser (grammar.y) calls one action per statement.  Topic statements
 * record where each topic starts and chain the topics in the order met; the
 * sought topic starts a page of the help window (window.cpp), and END_TOPIC
 * shows it.  Text, pictures and buttons become children of the page's
 * row-column, at most XH_MAX_PAGE_OBJECTS of them.  While the parser only
 * scans for a topic (Scanning) or for an index (IndexScan) no widget is made.
 *
 * Files entered in the middle of a file (INCLUDE, and in an index scan the
 * targets of GOTO statements and goto buttons not met yet) are requested
 * here and entered by the lexer when it next reads a token at a statement
 * boundary, so that no token of the including file is read twice or out of
 * order; the end of such a file returns to the including one.
 *
 * Callers: grammar.y and lexer.l; HelpCB is the activation of page buttons.
 */
#include "help/actions.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <unordered_set>

#include <Xm/Label.h>
#include <Xm/PushB.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "base/trace.h"
#include "help/help.h"
#include "help/xgifload.h"
#include "help/xh_msg.h"
#include "help/xh_state.h"

/* ---- types and module variables ----------------------------------------- */

namespace {

/* What a page button does when pressed. */
struct ButtonAction {
    bool is_goto;
    std::string command;    /* a command label, or EXEC and its command */
    std::string file;       /* goto: file and topic (empty: its first topic) */
    std::string topic;
};

/* A file whose reading was asked for and not begun yet. */
struct FileRequest {
    FILE *stream;
    std::string name;
};

std::deque<FileRequest> requests;
bool request_ready = false;       /* a statement boundary was reached */

long topic_line_start = 0;        /* START_TOPIC line of the topic statement */

/* Topics recorded by the index scan under way, and the last of them. */
std::unordered_set<const xh_Topic *> index_met;
xh_Topic *index_tail = nullptr;

/* Font tags live as long as the process: records and the current font
 * point at them. */
std::set<std::string> tag_names;

} // namespace

int xh_TokenLine = 1;
long xh_TokenEnd = 0;

/* ---- static prototypes -------------------------------------------------- */

static const char *Intern(const char *tag);
static const char *HelpTitle();
static bool RoomForObject();
static bool FontTagLoaded(const char *tag);
static void LoadFontTag(const char *font, const char *tag);
static void AddButton(const char *label, ButtonAction *action);
static void FreeButtonActionCB(Widget w, XtPointer client_data, XtPointer call_data);
static bool TopicKnown(const char *topic, const char *file);
static void PullIntoIndex(const char *file, const char *topic);
static void RequestFile(FILE *stream, const char *name);
static void StopReading();
static std::string FirstTopicOf(const char *file);

/* ---- values of the grammar ---------------------------------------------- */

char *xh_Alloc(const char *text)
{
    return strdup(text != nullptr ? text : "");
}

char *xh_Concat(char *first, char *second)
{
    if (first == nullptr)
        return second;
    if (second == nullptr)
        return first;
    std::size_t first_length = std::strlen(first);
    std::size_t second_length = std::strlen(second);
    /* Free text grows by one token at a time: growing the first operand in
     * place keeps a long run linear. */
    auto *joined = static_cast<char *>(std::realloc(first, first_length + second_length + 1));
    if (joined == nullptr) {
        std::free(second);
        return first;
    }
    std::memcpy(joined + first_length, second, second_length + 1);
    std::free(second);
    return joined;
}

/* ---- small helpers ------------------------------------------------------ */

static const char *Intern(const char *tag)
{
    return tag_names.insert(tag).first->c_str();
}

static const char *HelpTitle()
{
    return xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help");
}

/* A page object may be made: not scanning, a page under way, and room left. */
static bool RoomForObject()
{
    if (Scanning || IndexScan || xh_PageContainer() == nullptr)
        return false;
    if (RC_ChildCount >= XH_MAX_PAGE_OBJECTS) {
        xh_dprint(1, "WARNING: RC_ChildCount > %d, too many objects on help page \n", XH_MAX_PAGE_OBJECTS);
        return false;
    }
    return true;
}

/* ---- free text ---------------------------------------------------------- */

std::vector<xh_TextRun> xh_SplitText(std::string_view text)
{
    std::vector<xh_TextRun> runs;
    xh_TextRun run{XH_FONT_KEEP, {}, false};
    for (std::size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        bool escape = c == '\\' && (i == 0 || text[i - 1] != '\\') && i + 2 < text.size() &&
                      text[i + 1] == 'f' &&
                      (std::isdigit(static_cast<unsigned char>(text[i + 2])) || text[i + 2] == 'P');
        if (escape) {
            if (!run.text.empty() || run.font != XH_FONT_KEEP)
                runs.push_back(std::move(run));
            run = {text[i + 2] == 'P' ? XH_FONT_PREVIOUS : text[i + 2] - '0', {}, false};
            i += 2;
        } else if (c == '\n') {
            run.line_break = true;
            runs.push_back(std::move(run));
            run = {XH_FONT_KEEP, {}, false};
        } else {
            run.text += c;
        }
    }
    if (!run.text.empty() || run.font != XH_FONT_KEEP)
        runs.push_back(std::move(run));
    return runs;
}

XmString xh_TextString(std::string_view text, const char *start)
{
    const char *current = start;
    const char *previous = current;
    XmString result = XmStringCreateLocalized(xs(""));
    for (const xh_TextRun &run : xh_SplitText(text)) {
        if (run.font == XH_FONT_PREVIOUS) {
            std::swap(current, previous);
        } else if (run.font >= 0 && xh_CurrentFile != nullptr && xh_CurrentFile->font_tags[run.font] != nullptr) {
            previous = current;
            current = xh_CurrentFile->font_tags[run.font];
        }
        if (!run.text.empty())
            result = XmStringConcatAndFree(result, XmStringCreate(xs(run.text.c_str()), xs(current)));
        if (run.line_break)
            result = XmStringConcatAndFree(result, XmStringSeparatorCreate());
    }
    return result;
}

/* A label's text starts in the current font. */
static XmString BuildString(const char *text)
{
    return xh_TextString(text != nullptr ? text : "", xh_CurrentCharset != nullptr ? xh_CurrentCharset
                                                                                    : XmFONTLIST_DEFAULT_TAG);
}

void xh_AddText(const char *words)
{
    if (!RoomForObject())
        return;
    XmString string = BuildString(words);
    XtVaCreateWidget("helplabel", xmLabelWidgetClass, xh_PageContainer(), XmNlabelString, string, XmNx, 10,
                     XmNalignment, XmALIGNMENT_BEGINNING, XmNfontList, xh_TextFont, nullptr);
    XmStringFree(string);
    RC_ChildCount++;
}

/* ---- topics ------------------------------------------------------------- */

void xh_MarkTopicLine()
{
    topic_line_start = xh_LineStart;
}

int xh_StartPage(const char *topic_name)
{
    if (topic_name == nullptr || xh_CurrentFile == nullptr)
        return XH_CONTINUE;
    xh_Topic *topic = xh_FindTopic(topic_name, xh_CurrentFile->file_name);
    if (topic == nullptr)
        return XH_CONTINUE;

    /* A topic met for the first time is met reading its file forward, so
     * the topic read before it in the same file is the one before it. */
    if (topic->position < 0) {
        topic->position = topic_line_start;
        xh_Topic *before = xh_PrevTopic;
        if (before != nullptr && before != topic && before->file == topic->file && before->position >= 0 &&
            before->position < topic->position && topic->prev == nullptr) {
            topic->prev = before;
            if (before->next == nullptr)
                before->next = topic;
        }
    }
    xh_PrevTopic = topic;
    xh_dprint(5, "xh_StartPage: topic \"%s\" at %ld\n", topic_name, topic->position);

    if (IndexScan) {
        if (xh_FirstIndexTopic == nullptr) {
            index_met.clear();
            index_tail = nullptr;
        }
        if (index_met.insert(topic).second) {
            topic->depth = StackIndex;
            topic->next = nullptr;
            if (index_tail != nullptr)
                index_tail->next = topic;
            else
                xh_FirstIndexTopic = topic;
            index_tail = topic;
        }
        return XH_CONTINUE;
    }
    if (Scanning) {
        if (topic != xh_CurrentTopic)
            return XH_CONTINUE;
        Scanning = 0;
    }
    xh_CurrentTopic = topic;
    xh_BeginPage();
    return XH_CONTINUE;
}

int xh_DisplayPage(const char *)
{
    if (Scanning || IndexScan)
        return XH_CONTINUE;
    xh_ShowPage();
    return XH_PAGE_DONE;
}

/* ---- fonts -------------------------------------------------------------- */

static bool FontTagLoaded(const char *tag)
{
    if (xh_TextFont == nullptr)
        return false;
    XmFontContext context;
    if (!XmFontListInitFontContext(&context, xh_TextFont))
        return false;
    bool found = false;
    while (!found) {
        XmFontListEntry entry = XmFontListNextEntry(context);
        if (entry == nullptr)
            break;
        char *entry_tag = XmFontListEntryGetTag(entry);
        found = entry_tag != nullptr && std::strcmp(entry_tag, tag) == 0;
        XtFree(entry_tag);
    }
    XmFontListFreeFontContext(context);
    return found;
}

/* Adds `font` to the help font list under `tag` unless the tag is there. */
static void LoadFontTag(const char *font, const char *tag)
{
    if (xh_Toplevel == nullptr || IndexScan || FontTagLoaded(tag))
        return;
    XmFontListEntry entry = XmFontListEntryLoad(XtDisplay(xh_Toplevel), xs(font), XmFONT_IS_FONT, xs(tag));
    if (entry == nullptr) {
        xh_dprint(1, "WARNING: cannot load font %s\n", font);
        return;
    }
    xh_TextFont = XmFontListAppendEntry(xh_TextFont, entry);
    XmFontListEntryFree(&entry);
}

void xh_ChangeFont(const char *font)
{
    if (font == nullptr || IndexScan)
        return;
    const char *tag = Intern(font);
    LoadFontTag(font, tag);
    if (xh_Toplevel != nullptr && FontTagLoaded(tag))
        xh_CurrentCharset = const_cast<char *>(tag);
}

void xh_FontPosition(const char *position, const char *font, const char *tag)
{
    if (position == nullptr || font == nullptr || xh_CurrentFile == nullptr)
        return;
    char *end = nullptr;
    long number = std::strtol(position, &end, 10);
    if (end == position || *end != '\0' || number < 0 || number >= XH_FONT_POSITIONS) {
        char text[XH_MAX_TOKEN + 64];
        char detail[XH_MAX_TOKEN + 256];
        std::snprintf(text, sizeof text,
                      xh_catgets(XH_SET_WINDOW, XH_MSG_FONT_POSITION, "font_position(): Invalid Font Position %s."),
                      position);
        std::snprintf(detail, sizeof detail,
                      xh_catgets(XH_SET_WINDOW, XH_MSG_FONT_POSITION_DETAIL, "must be >= 0 and < 10. Line %d of %s\n"),
                      xh_TokenLine, xh_CurrentFile->file_name);
        xh_InformationMessage(HelpTitle(), text, detail);
        return;
    }
    const char *name = tag == nullptr ? font : std::strcmp(tag, "DEFAULT") == 0 ? XmFONTLIST_DEFAULT_TAG : tag;
    const char *interned = Intern(name);
    LoadFontTag(font, interned);
    /* A font the server lacks: the position shows the default font. */
    if (xh_Toplevel != nullptr && !IndexScan && !FontTagLoaded(interned))
        interned = Intern(XmFONTLIST_DEFAULT_TAG);
    xh_CurrentFile->font_tags[number] = const_cast<char *>(interned);
    if (number <= 1 && (xh_CurrentCharset == nullptr || std::strcmp(xh_CurrentCharset, XmFONTLIST_DEFAULT_TAG) == 0))
        xh_CurrentCharset = const_cast<char *>(interned);
    xh_dprint(3, "xh_FontPosition: %ld = %s (%s)\n", number, font, interned);
}

/* ---- pictures ----------------------------------------------------------- */

void xh_AddBitmapFile(const char *file)
{
    if (file == nullptr || !RoomForObject())
        return;
    Widget page = xh_PageContainer();
    Pixel foreground = 0, background = 0;
    XtVaGetValues(page, XmNforeground, &foreground, XmNbackground, &background, nullptr);
    Pixmap pixmap = MyGetPixmap(XtScreen(page), file, foreground, background);
    if (pixmap == XmUNSPECIFIED_PIXMAP) {
        XmString text = XmStringCreateLocalized(xs(xh_catgets(XH_SET_WINDOW, XH_MSG_NO_PICTURE, "picture not found")));
        XtVaCreateWidget("bitmap_picture", xmLabelWidgetClass, page, XmNlabelString, text, nullptr);
        XmStringFree(text);
    } else {
        XtVaCreateWidget("bitmap_picture", xmLabelWidgetClass, page, XmNlabelType, XmPIXMAP, XmNlabelPixmap, pixmap,
                         nullptr);
    }
    RC_ChildCount++;
}

void xh_AddGifFile(const char *file)
{
    if (file == nullptr || !RoomForObject())
        return;
    if (xh_CreateGifLabel(xh_PageContainer(), file) != nullptr)
        RC_ChildCount++;
}

/* ---- buttons ------------------------------------------------------------ */

static void AddButton(const char *label, ButtonAction *action)
{
    XmString string = BuildString(label);
    Widget button = XtVaCreateWidget("help_button", xmPushButtonWidgetClass, xh_PageContainer(), XmNlabelString,
                                     string, XmNx, 30, XmNfontList, xh_TextFont, nullptr);
    XmStringFree(string);
    XtAddCallback(button, XmNactivateCallback, HelpCB, action);
    XtAddCallback(button, XmNdestroyCallback, FreeButtonActionCB, action);
    RC_ChildCount++;
}

static void FreeButtonActionCB(Widget, XtPointer client_data, XtPointer)
{
    delete static_cast<ButtonAction *>(client_data);
}

void xh_CommandButton(const char *label, const char *command)
{
    if (label == nullptr || command == nullptr || !RoomForObject())
        return;
    AddButton(label, new ButtonAction{false, command, {}, {}});
}

void xh_GotoButton(const char *label, const char *file, const char *topic)
{
    if (label == nullptr || file == nullptr)
        return;
    if (IndexScan) {
        PullIntoIndex(file, topic);
        return;
    }
    if (!RoomForObject())
        return;
    AddButton(label, new ButtonAction{true, {}, file, topic != nullptr ? topic : ""});
}

void HelpCB(Widget w, XtPointer client_data, XtPointer)
{
    const auto *action = static_cast<const ButtonAction *>(client_data);
    if (action == nullptr)
        return;
    if (action->is_goto) {
        /* Copies: Help replaces the page, and this button with it. */
        std::string file = action->file;
        std::string topic = action->topic.empty() ? FirstTopicOf(file.c_str()) : action->topic;
        Help(file.c_str(), topic.c_str());
        return;
    }
    const std::string &command = action->command;
    const std::string exec_label = xh_catgets(XH_SET_NAMES, XH_MSG_CMD_EXEC, "EXEC");
    if (command.starts_with(exec_label)) {
        std::string shell_command = command.substr(exec_label.size());
        xh_dprint(1, "HelpCB: exec'ing command \"%s\"\n", shell_command.c_str());
        int status = std::system(shell_command.c_str());
        xh_dprint(2, "HelpCB: command status %d\n", status);
        return;
    }
    /* The page's own Next, Prev and Quit do what the window's buttons do. */
    static constexpr struct {
        int label_number;
        const char *label;
        long dialog_button;
    } kPageCommands[] = {
        {XH_MSG_CMD_NEXT_PAGE, "NEXT_PAGE", 0},
        {XH_MSG_CMD_PREV_PAGE, "PREV_PAGE", 1},
        {XH_MSG_CMD_QUIT, "QUIT", 4},
    };
    for (const auto &page_command : kPageCommands) {
        if (command == xh_catgets(XH_SET_NAMES, page_command.label_number, page_command.label)) {
            HelpDialogCallback(w, reinterpret_cast<XtPointer>(page_command.dialog_button), nullptr);
            return;
        }
    }
    /* The grammar makes no other command: this is a broken program. */
    std::fprintf(stderr, "HelpCB: unknown help command \"%s\"\n", command.c_str());
    std::abort();
}

/* The first topic of a help file, for a goto button without TOPIC: the word
 * after the first START_TOPIC that begins a line (after blanks); empty when
 * there is none. */
static std::string FirstTopicOf(const char *file)
{
    FILE *stream = xh_Search(file);
    if (stream == nullptr)
        return {};
    std::string topic;
    char line[XH_MAX_TOKEN * 4];
    constexpr std::string_view kStart = "START_TOPIC";
    while (topic.empty() && std::fgets(line, sizeof line, stream) != nullptr) {
        std::string_view rest(line);
        rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
        if (!rest.starts_with(kStart))
            continue;
        rest.remove_prefix(kStart.size());
        std::size_t begin = rest.find_first_not_of(" \t");
        if (begin == 0 || begin == std::string_view::npos)
            continue;
        rest.remove_prefix(begin);
        topic = std::string(rest.substr(0, rest.find_first_of(" \t\r\n\"=\\")));
    }
    std::fclose(stream);
    return topic;
}

/* ---- other files -------------------------------------------------------- */

int xh_Include(const char *file)
{
    if (file == nullptr)
        return XH_PAGE_FAILED;
    FILE *stream = xh_Search(file);
    if (stream == nullptr) {
        std::printf("%s", xh_catgets(XH_SET_WINDOW, XH_MSG_WARNING, "WARNING: "));
        std::printf(xh_catgets(XH_SET_WINDOW, XH_MSG_NO_INCLUDE, "XHELP include(): Cannot find include file \"%s\"\n"),
                    file);
        std::fflush(stdout);
        StopReading();
        return XH_PAGE_FAILED;
    }
    RequestFile(stream, file);
    return XH_CONTINUE;
}

void xh_GotoTopic(const char *file, const char *topic)
{
    if (IndexScan && file != nullptr)
        PullIntoIndex(file, topic);
}

static bool TopicKnown(const char *topic, const char *file)
{
    if (xh_TopicTable == nullptr)
        return false;
    xh_Key probe{const_cast<char *>(topic), const_cast<char *>(file)};
    const auto *record = static_cast<const xh_Topic *>(ht_SearchTable(xh_TopicTable, &probe));
    return record != nullptr && record->position >= 0;
}

/* An index scan reads the file a jump leads to when the jump's topic has not
 * been met (for a jump without topic: when the file has not been read). */
static void PullIntoIndex(const char *file, const char *topic)
{
    bool known = false;
    if (topic != nullptr) {
        known = TopicKnown(topic, file);
    } else if (xh_TopicTable != nullptr) {
        xh_Key probe{const_cast<char *>("FILE"), const_cast<char *>(file)};
        known = ht_SearchTable(xh_TopicTable, &probe) != nullptr;
    }
    if (known || xh_FileOnStack(file))
        return;
    FILE *stream = xh_Search(file);
    if (stream == nullptr) {
        xh_dprint(1, "index: no help file %s for topic %s\n", file, topic != nullptr ? topic : "");
        return;
    }
    RequestFile(stream, file);
}

static void RequestFile(FILE *stream, const char *name)
{
    if (requests.size() >= static_cast<std::size_t>(XH_FILE_STACK_SIZE)) {
        std::fclose(stream);
        return;
    }
    requests.push_back({stream, name});
}

void xh_StatementBoundary(bool lookahead_pending)
{
    if (!lookahead_pending && !requests.empty())
        request_ready = true;
}

int xh_EnterPendingFile()
{
    if (!request_ready || requests.empty())
        return 0;
    request_ready = false;
    FileRequest request = std::move(requests.front());
    requests.pop_front();

    /* The including file goes on right after its last token. */
    xh_LineStart = xh_TokenEnd;
    if (xh_PushFileStack(xh_CurrentStream, 1) != 0) {
        std::fclose(request.stream);
        StopReading();
        return -1;
    }
    xh_CurrentStream = request.stream;
    xh_CurrentFile = xh_FindHelpFile(request.name.c_str());
    xh_LineNumber = 1;
    xh_LineStart = 0;
    xh_dprint(3, "reading %s\n", request.name.c_str());
    xh_yyrestart(xh_CurrentStream);
    return 0;
}

void xh_DropPendingFiles()
{
    for (FileRequest &request : requests)
        std::fclose(request.stream);
    requests.clear();
    request_ready = false;
}

int xh_EndOfFile()
{
    if (!requests.empty()) {
        /* Asked for at the very end: the including file resumes at its end. */
        if (xh_CurrentStream != nullptr)
            xh_TokenEnd = std::ftell(xh_CurrentStream);
        request_ready = true;
        return xh_EnterPendingFile() < 0 ? -1 : 1;
    }
    FILE *ended = xh_CurrentStream;
    if (xh_PopFileStack(1) != 0)
        return 0;
    if (ended != nullptr)
        std::fclose(ended);
    xh_yyrestart(xh_CurrentStream);
    return 1;
}

/* The page stops: files entered by INCLUDE are closed and the file that
 * included them is current again; files asked for are not read. */
static void StopReading()
{
    xh_DropPendingFiles();
    while (true) {
        FILE *stream = xh_CurrentStream;
        if (xh_PopFileStack(1) != 0)
            break;
        if (stream != nullptr)
            std::fclose(stream);
    }
}

void xh_StopReading()
{
    StopReading();
}

/* ---- errors ------------------------------------------------------------- */

void xh_yyerror(const char *message)
{
    /* The parser's own words for its two failures. */
    if (std::strcmp(message, "syntax error") == 0)
        message = "Syntax error";
    else if (std::strcmp(message, "memory exhausted") == 0)
        message = "Yacc stack overflow";
    std::printf(xh_catgets(XH_SET_WINDOW, XH_MSG_PARSE_ERROR, "Error: %s (in help file %s Line %d)\n"), message,
                xh_CurrentFile != nullptr ? xh_CurrentFile->file_name : "", xh_TokenLine);
    std::fflush(stdout);
    StopReading();
}
