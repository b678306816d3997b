/*
 * help_parser_test.cpp - the help system without X: the page parser's index
 * scans (topics met, font positions, lines printed for bad input), the font
 * escapes of free text, and the hash tables when keys share a bucket.  Topic
 * scans for Next, Prev and Back are walked in the help window test.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "help/actions.h"
#include "help/hashtable.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "tests/support/process.h"

namespace {

struct ScanCase {
    std::string name;
    std::map<std::string, std::string> files;   /* "$" stands for the case's name */
    std::string topics;                          /* "Topic@line/depth ..." */
    std::string output;                          /* standard output */
    std::string fonts = "";                      /* main file's: "position=tag ..." */
    std::string errors = "";                     /* part of standard error */
};

std::string Expand(std::string text, const std::string &prefix)
{
    for (std::size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + prefix.size()))
        text.replace(at, 1, prefix);
    return text;
}

std::vector<ScanCase> Cases()
{
    return {
        {"plain", {{"main", "# head\nSTART_TOPIC One\ntext = \\\"quoted\\\" \\ too\nEND_TOPIC One\n#c\n"
                            "START_TOPIC\t Two \nBUTTON Next NEXT_PAGE\nBUTTON \"a = b\" EXEC \"ls -l\"\nEND_TOPIC\n"}},
         "One@2/0 Two@6/0", ""},
        {"comment_lines", {{"main", "START_TOPIC A\n# not counted\n# nor this\nFONT\nEND_TOPIC\nSTART_TOPIC B\n"}},
         "A@1/0", "Error: Syntax error (in help file $main Line 2)\n"},
        {"keyword_words", {{"main", "START_TOPIC A\nBUTTONS and END_TOPICs are words\nEND_TOPIC\nSTART_TOPIC B\n"}},
         "A@1/0 B@4/0", ""},
        {"button_in_sentence", {{"main", "START_TOPIC A\nthe BUTTON here\nEND_TOPIC\n"}},
         "A@1/0", "Error: Syntax error (in help file $main Line 3)\n"},
        {"topic_without_file", {{"main", "START_TOPIC A\nBUTTON x TOPIC t\n"}},
         "A@1/0", "Error: Syntax error (in help file $main Line 2)\n"},
        {"goto_buttons",
         {{"main", "START_TOPIC A\nBUTTON \"see g\" FILE $g\n  TOPIC G1\nBUTTON g FILE $g \n\ntext after\n"
                   "END_TOPIC\nSTART_TOPIC B\nEND_TOPIC\n"},
          {"g", "START_TOPIC G1\nEND_TOPIC\n\nSTART_TOPIC G2\n"}},
         "A@1/0 G1@1/1 G2@4/1 B@8/0", ""},
        {"goto_button_line", {{"main", "START_TOPIC A\nBUTTON x FILE f END_TOPIC\n"}},
         "A@1/0", "Error: Syntax error (in help file $main Line 2)\n"},
        {"goto_statements",
         {{"main", "START_TOPIC A\nGOTO\rFILE $g\rTOPIC G\nGOTO\rTOPIC A\nGOTO\rFILE $none\rTOPIC X\nEND_TOPIC\n"
                   "START_TOPIC B\n"},
          {"g", "START_TOPIC G\nGOTO\rFILE $main\rTOPIC B\nEND_TOPIC\n"}},
         "A@1/0 G@1/1 B@6/0", ""},
        {"include",
         {{"main", "START_TOPIC A\nINCLUDE $inc\nafter\nEND_TOPIC\n# c\nSTART_TOPIC B\nFONT_POSITION 1 fixed\n"},
          {"inc", "FONT_POSITION 3 fixed=bold\nFONT_POSITION 1 6x10\nSTART_TOPIC I\nEND_TOPIC\n"}},
         "A@1/0 I@3/1 B@6/0", "", "1=fixed 3=bold"},
        {"missing_include", {{"main", "START_TOPIC A\nINCLUDE $nope\nEND_TOPIC\nSTART_TOPIC B\n"}},
         "A@1/0", "WARNING: XHELP include(): Cannot find include file \"$nope\"\n"},
        {"long_token",
         {{"main", "START_TOPIC A\n" + std::string(200, 'x') + "\n" + std::string(201, 'y') + "\nSTART_TOPIC B\n"}},
         "A@1/0", "Input string too long, limit 200\n"},
        {"self_include", {{"main", "START_TOPIC A\nINCLUDE $main\nSTART_TOPIC B\n"}},
         "A@1/0", "", "", "Maximum allowed help files open"},
        {"font_positions",
         {{"main", "FONT_POSITION 0 fixed\nFONT_POSITION 9 6x10=small\nFONT_POSITION 10 fixed\n"
                   "FONT_POSITION 2 fixed=DEFAULT\nSTART_TOPIC A\n"}},
         "A@5/0", "", "0=fixed 2=FONTLIST_DEFAULT_TAG_STRING 9=small",
         "Invalid Font Position 10.\nmust be >= 0 and < 10. Line 3 of $main"},
    };
}

/* "Topic@line/depth" for every topic of the index chain. */
std::string TopicChain(const std::map<std::string, std::string> &contents)
{
    std::string chain;
    for (const xh_Topic *t = xh_FirstIndexTopic; t != nullptr; t = t->next) {
        const std::string &text = contents.at(t->file->file_name);
        long line = 1 + std::count(text.begin(), text.begin() + std::min<long>(t->position, text.size()), '\n');
        chain += (chain.empty() ? "" : " ") + std::string(t->topic_name) + "@" + std::to_string(line) + "/" +
                 std::to_string(t->depth);
    }
    return chain;
}

std::string FontTags(const xh_HelpFile *file)
{
    std::string tags;
    for (int i = 0; i < XH_FONT_POSITIONS; i++)
        tags += file->font_tags[i] ? (tags.empty() ? "" : " ") + std::to_string(i) + "=" + file->font_tags[i] : "";
    return tags;
}

TEST(HelpParser, IndexScansRecordTopicsAndReportBadInput)
{
    const ConsoleRoot root;   /* the help path is one folder of it per case */
    for (const ScanCase &c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::string prefix = c.name + "_", main = prefix + "main";
        std::map<std::string, std::string> contents;
        for (const auto &[name, text] : c.files)
            root.write("/" + c.name + "/" + prefix + name, contents[prefix + name] = Expand(text, prefix));
        xh_SetHelpPath(root.at("/" + c.name).c_str(), nullptr);

        /* The parser at the start of the main file, as BuildIndex puts it. */
        IndexScan = 1;
        xh_FirstIndexTopic = xh_PrevTopic = nullptr;
        xh_CurrentStream = xh_Search(main.c_str());
        ASSERT_NE(xh_CurrentStream, nullptr);
        xh_CurrentFile = xh_FindHelpFile(main.c_str());
        xh_LineNumber = 1;
        xh_LineStart = 0;
        xh_yyrestart(xh_CurrentStream);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        xh_yyparse();
        std::string output = testing::internal::GetCapturedStdout();
        std::string errors = testing::internal::GetCapturedStderr();
        std::fclose(xh_CurrentStream);
        IndexScan = 0;

        EXPECT_EQ(TopicChain(contents), c.topics);
        EXPECT_EQ(output, Expand(c.output, prefix));
        EXPECT_NE(errors.find(Expand(c.errors, prefix)), std::string::npos) << errors;
        EXPECT_EQ(FontTags(xh_FindHelpFile(main.c_str())), c.fonts);
        /* Every included file was left and closed, whatever stopped the scan. */
        EXPECT_EQ(StackIndex, 0);
        EXPECT_EQ(StackFull, 0);
    }
}

TEST(HelpParser, FreeTextSplitsAtFontEscapes)
{
    std::string shown;
    for (const xh_TextRun &run : xh_SplitText("plain\\f3bold\\fPback \\\\f3 kept\\f\nnext\\fx"))
        shown += "[" + (run.font == XH_FONT_PREVIOUS ? "P:" : run.font >= 0 ? std::to_string(run.font) + ":" : "") +
                 run.text + (run.line_break ? "|]" : "]");
    EXPECT_EQ(shown, "[plain][3:bold][P:back \\\\f3 kept\\f|][next\\fx]");
}

/* Every key in one bucket, so that the head node and the chain after it
 * are both exercised; keys are small integers. */
unsigned long one_bucket(const void *) { return 7; }
long compare(const void *a, const void *b)
{
    return static_cast<long>(reinterpret_cast<std::intptr_t>(a) - reinterpret_cast<std::intptr_t>(b));
}
void *key(int k) { return reinterpret_cast<void *>(static_cast<std::intptr_t>(k)); }
void *value(int v) { return reinterpret_cast<void *>(static_cast<std::intptr_t>(1000 + v)); }

std::map<std::intptr_t, std::intptr_t> contents(ht_HashTable *table)
{
    std::map<std::intptr_t, std::intptr_t> seen;
    ht_ForEach(
        table,
        [](void *k, void *v, void *data) {
            (*static_cast<std::map<std::intptr_t, std::intptr_t> *>(data))[reinterpret_cast<std::intptr_t>(k)] =
                reinterpret_cast<std::intptr_t>(v);
        },
        &seen);
    return seen;
}

TEST(HelpHashTable, KeysSharingABucketSurviveReplacementAndDeletionInAnyPlace)
{
    ht_HashTable *table = ht_CreateHashTable(8, nullptr, one_bucket, compare);
    ASSERT_NE(table, nullptr);
    for (int k = 1; k <= 5; k++)
        EXPECT_EQ(ht_AddToTable(table, key(k), value(k)), nullptr);
    /* A key stored again keeps one entry and hands back the old value. */
    EXPECT_EQ(ht_AddToTable(table, key(3), value(33)), value(3));
    EXPECT_EQ(ht_SearchTable(table, key(3)), value(33));

    /* The head (the first key), a middle and the last node go; the rest stay. */
    for (int k : {1, 4, 2}) {
        EXPECT_EQ(ht_DeleteFromTable(table, key(k)), value(k));
        EXPECT_EQ(ht_SearchTable(table, key(k)), nullptr);
        EXPECT_EQ(ht_DeleteFromTable(table, key(k)), nullptr);
    }
    EXPECT_EQ(contents(table), (std::map<std::intptr_t, std::intptr_t>{{3, 1033}, {5, 1005}}));
    /* Emptied completely, the bucket takes keys again. */
    for (int k : {3, 5})
        ht_DeleteFromTable(table, key(k));
    EXPECT_TRUE(contents(table).empty());
    EXPECT_EQ(ht_AddToTable(table, key(9), value(9)), nullptr);
    EXPECT_EQ(ht_SearchTable(table, key(9)), value(9));
    ht_ClearTable(table);
    EXPECT_EQ(ht_SearchTable(table, key(9)), nullptr);
    ht_DestroyHashTable(table);
}

} // namespace
