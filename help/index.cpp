/*
 * index.cpp - the index of a help file: BuildIndex and DisplayHelpIndex.
 *
 * BuildIndex parses a help file in index-scan mode: no page is built, every
 * START_TOPIC records its topic and the file-stack depth it was met at, and
 * every GOTO to a topic not yet known pulls its file into the scan.  The
 * topics met are then written, in the order met, as a help file of their
 * own ("<file>.index", one button per topic, indented by depth) into the
 * first directory of the help path that takes it.  DisplayHelpIndex shows
 * that file's topic "Index", building it first when it is not on the path.
 *
 * Called by the help window's Search button.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/trace.h"
#include "help/help.h"
#include "help/xh_msg.h"
#include "help/xh_state.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr const char kIndexSuffix[] = ".index";
/* Indentation of nested files: two blanks per level, at most this deep. */
constexpr const char kBlanks[] = "                                        ";
constexpr int kMaxIndent = sizeof kBlanks - 1;
/* A chain longer than the table holds topics is a broken chain. */
constexpr long kMaxIndexTopics = 1L << 20;
}

/* ---- types -------------------------------------------------------------- */

namespace {
/* The reading state of the help window, kept aside while the index scan
 * uses the parser. */
struct ReaderState {
    FILE *stream;
    xh_HelpFile *file;
    xh_Topic *topic;
    xh_Topic *prev_topic;
    int line_number;
    long line_start;
    int scanning;
    int stack_index;
};
}

/* ---- static prototypes -------------------------------------------------- */

static ReaderState SaveReader();
static void RestoreReader(const ReaderState &state);
static void UnmarkTopic(void *key, void *value, void *data);
static FILE *CreateIndexFile(const std::string &index_name);
static int WriteIndex(FILE *out, const char *name);

/* ---- the scan ----------------------------------------------------------- */

static ReaderState SaveReader()
{
    return {xh_CurrentStream, xh_CurrentFile, xh_CurrentTopic, xh_PrevTopic,
            xh_LineNumber,    xh_LineStart,   Scanning,        StackIndex};
}

static void RestoreReader(const ReaderState &state)
{
    xh_CurrentStream = state.stream;
    xh_CurrentFile = state.file;
    xh_CurrentTopic = state.topic;
    xh_PrevTopic = state.prev_topic;
    xh_LineNumber = state.line_number;
    xh_LineStart = state.line_start;
    Scanning = state.scanning;
    /* The window's file is read again from where its page ended. */
    if (xh_CurrentStream != nullptr && std::fseek(xh_CurrentStream, xh_LineStart, SEEK_SET) == 0)
        xh_yyrestart(xh_CurrentStream);
}

/* Topics not met by this scan keep depth -1 and stay out of the index. */
static void UnmarkTopic(void *key, void *value, void *)
{
    const auto *k = static_cast<const xh_Key *>(key);
    if (std::strcmp(k->first, "FILE") != 0)
        static_cast<xh_Topic *>(value)->depth = -1;
}

/* "<file>.index" in the first directory of the help path that can take it
 * (as given for an absolute name). */
static FILE *CreateIndexFile(const std::string &index_name)
{
    if (!index_name.empty() && index_name[0] == '/')
        return std::fopen(index_name.c_str(), "w");
    if (xh_DirectoryCount == 0)
        xh_ReadHelpPath();
    for (int i = 0; i < xh_DirectoryCount; i++) {
        std::string path = xh_DirectoryList[i] + "/" + index_name;
        if (FILE *out = std::fopen(path.c_str(), "w"); out != nullptr) {
            xh_dprint(2, "BuildIndex: writing %s\n", path.c_str());
            return out;
        }
    }
    return nullptr;
}

static int WriteIndex(FILE *out, const char *name)
{
    std::fprintf(out, "\nFONT intl\nSTART_TOPIC Index\nIndex for %s\n\n", name);

    /* Depths are written relative to the file the scan started in. */
    int base = -1;
    long walked = 0;
    for (xh_Topic *t = xh_FirstIndexTopic; t != nullptr && walked < kMaxIndexTopics; t = t->next, walked++) {
        if (t->depth >= 0 && (base < 0 || t->depth < base))
            base = t->depth;
        if (t->next == xh_FirstIndexTopic)
            break;
    }
    walked = 0;
    for (xh_Topic *t = xh_FirstIndexTopic; t != nullptr && walked < kMaxIndexTopics; t = t->next, walked++) {
        if (t->depth >= 0 && t->file != nullptr) {
            int indent = 2 * (t->depth - base);
            if (indent > kMaxIndent)
                indent = kMaxIndent;
            std::fprintf(out, "BUTTON \"%.*s%s\" FILE %s TOPIC %s\n", indent, kBlanks, t->topic_name,
                         t->file->file_name, t->topic_name);
        }
        if (t->next == xh_FirstIndexTopic)
            break;
    }
    std::fprintf(out, "END_TOPIC Index\n");
    return std::ferror(out) ? -1 : 0;
}

int BuildIndex(const char *file, const char *name)
{
    if (file == nullptr)
        return -1;
    if (name == nullptr)
        name = file;
    const char *title = xh_catgets(XH_SET_WINDOW, XH_MSG_HELP_TITLE, "Help");

    FILE *stream = xh_Search(file);
    if (stream == nullptr) {
        char line[256];
        std::snprintf(line, sizeof line,
                      xh_catgets(XH_SET_WINDOW, XH_MSG_INDEX_CANNOT_OPEN, "Cannot open help file \"%.40s\": %.40s"),
                      file, std::strerror(errno));
        xh_InformationMessage(title, line, nullptr);
        return -1;
    }

    /* 1. The whole file, and the files its GOTOs lead to. */
    ReaderState saved = SaveReader();
    if (xh_TopicTable != nullptr)
        ht_ForEach(xh_TopicTable, UnmarkTopic, nullptr);
    IndexScan = 1;
    Scanning = 0;
    xh_FirstIndexTopic = nullptr;
    xh_PrevTopic = nullptr;
    xh_CurrentStream = stream;
    xh_CurrentFile = xh_FindHelpFile(file);
    xh_CurrentTopic = nullptr;
    xh_LineNumber = 1;
    xh_LineStart = 0;
    xh_yyrestart(stream);
    WatchCursorOn(xh_Toplevel);
    xh_yyparse();
    WatchCursorOff(xh_Toplevel);
    /* A scan stopped by an error inside an included file leaves it open. */
    while (StackIndex > saved.stack_index) {
        if (xh_CurrentStream != nullptr)
            std::fclose(xh_CurrentStream);
        xh_CurrentStream = nullptr;
        if (xh_PopFileStack(1) != 0)
            break;
    }
    if (xh_CurrentStream != nullptr)
        std::fclose(xh_CurrentStream);
    IndexScan = 0;
    RestoreReader(saved);

    /* 2. */
    std::string index_name = std::string(file) + kIndexSuffix;
    FILE *out = CreateIndexFile(index_name);
    if (out == nullptr) {
        char line[256];
        std::snprintf(line, sizeof line, xh_catgets(XH_SET_WINDOW, XH_MSG_INDEX_FILE, "Can't open index file %s."),
                      index_name.c_str());
        xh_InformationMessage(title, line,
                              xh_catgets(XH_SET_WINDOW, XH_MSG_INDEX_NO_DIR, "No writable directory on search path"));
        return -1;
    }
    /* 3. */
    int written = WriteIndex(out, name);
    if (std::fclose(out) != 0)
        written = -1;
    return written;
}

void DisplayHelpIndex(Widget, const char *file)
{
    if (file == nullptr)
        return;
    std::string index_name = std::string(file) + kIndexSuffix;
    if (FILE *existing = xh_Search(index_name.c_str()); existing != nullptr)
        std::fclose(existing);
    else if (BuildIndex(file, file) != 0)
        return;
    /* 4. */
    Help(index_name.c_str(), xh_catgets(XH_SET_WINDOW, XH_MSG_INDEX_TOPIC, "Index"));
}
