/*
 * filestack.cpp - the stack of help files open in the help window.
 *
 * A help file opened from a page (a goto button, Help on another file) and a
 * file entered by INCLUDE both push the file being read; the entry keeps what
 * is needed to go on reading it later: its stream, file record, topic, line
 * number and the offset of the line where reading stopped, and for a file
 * left for another help file (not an include) also the scroll position of the
 * page and the previous-topic link.  Popping restores all of it and seeks the
 * stream back to that line.
 *
 * Callers: the lexer at the end of an included file (actions.cpp), Help and
 * the Back and Quit buttons of the help window.
 */
#include <array>
#include <cstdio>
#include <cstring>


#include "base/trace.h"
#include "help/actions.h"
#include "help/help.h"
#include "help/xh_msg.h"
#include "help/xh_state.h"

namespace {

struct FileStackEntry {
    FILE *stream;
    xh_HelpFile *file;
    xh_Topic *topic;
    xh_Topic *prev_topic;
    int vposition;
    int line_number;
    int include;
    long line_start;
};

std::array<FileStackEntry, XH_FILE_STACK_SIZE> file_stack;

const char *NameOf(const xh_HelpFile *file)
{
    return (file != nullptr && file->file_name != nullptr) ? file->file_name : "";
}

const char *NameOf(const xh_Topic *topic)
{
    return (topic != nullptr && topic->topic_name != nullptr) ? topic->topic_name : "";
}

/* Font positions that an included file defined and its includer did not. */
void InheritFontPositions(xh_HelpFile *includer, const xh_HelpFile *included)
{
    if (includer == nullptr || included == nullptr || includer == included)
        return;
    for (int i = 0; i < XH_FONT_POSITIONS; i++) {
        if (includer->font_tags[i] == nullptr && included->font_tags[i] != nullptr)
            includer->font_tags[i] = included->font_tags[i];
    }
}

} // namespace

int xh_PushFileStack(FILE *stream, int include)
{
    if (StackIndex >= XH_FILE_STACK_SIZE) {
        xh_InformationMessage(xh_catgets(1, XH_MSG_HELP_TITLE, "Help"),
            xh_catgets(1, XH_MSG_STACK_FULL, "Maximum allowed help files open, use BACK or QUIT to close files.\n"), nullptr);
        StackFull = 1;
        return -1;
    }
    FileStackEntry &entry = file_stack[StackIndex];
    entry.stream = stream;
    entry.file = xh_CurrentFile;
    entry.topic = xh_CurrentTopic;
    entry.prev_topic = xh_PrevTopic;
    entry.vposition = include ? 0 : xh_PageScrollPosition();
    entry.line_number = xh_LineNumber;
    entry.include = include;
    entry.line_start = xh_LineStart;
    StackIndex++;
    xh_dprint(2, "xh_PushFileStack: File = %s, TopicStr = %s, Line # = %d, Depth = %d\n",
        NameOf(entry.file), NameOf(entry.topic), entry.line_number, StackIndex);
    return 0;
}

int xh_PopFileStack(int includes_only)
{
    if (StackIndex <= 0)
        return -1;
    const FileStackEntry &entry = file_stack[StackIndex - 1];
    if (includes_only && !entry.include)
        return -1;
    StackIndex--;
    StackFull = 0;

    if (entry.include)
        InheritFontPositions(entry.file, xh_CurrentFile);
    xh_CurrentStream = entry.stream;
    xh_CurrentFile = entry.file;
    xh_CurrentTopic = entry.topic;
    if (!entry.include) {
        CurrentVPosition = entry.vposition;
        xh_PrevTopic = entry.prev_topic;
    }
    xh_LineNumber = entry.line_number;
    xh_LineStart = entry.line_start;
    if (xh_CurrentStream != nullptr)
        std::fseek(xh_CurrentStream, xh_LineStart, SEEK_SET);
    xh_dprint(2, "xh_PopFileStack: File = %s, TopicStr = %s, Line # = %d, Depth = %d\n",
        NameOf(xh_CurrentFile), NameOf(xh_CurrentTopic), xh_LineNumber, StackIndex);
    return 0;
}

bool xh_FileOnStack(const char *file)
{
    auto named = [file](const xh_HelpFile *record) {
        return record != nullptr && record->file_name != nullptr && std::strcmp(record->file_name, file) == 0;
    };
    if (file == nullptr)
        return false;
    if (named(xh_CurrentFile))
        return true;
    for (int i = 0; i < StackIndex; i++) {
        if (named(file_stack[i].file))
            return true;
    }
    return false;
}
