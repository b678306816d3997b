/*
 * help_parser_test.cpp - the help page parser without X: index scans (topics
 * met, font positions, lines printed for bad input) and the font escapes of
 * free text.  Topic scans for Next, Prev and Back are walked in the help
 * window test.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "help/actions.h"
#include "help/help.h"
#include "help/xh_state.h"

namespace {

namespace fs = std::filesystem;

struct ScanCase {
    std::string name;
    std::map<std::string, std::string> files;   /* "$" stands for the case's name */
    std::string topics;                          /* "Topic@line/depth ..." */
    std::string output;                          /* standard output */
    std::string fonts = "";                      /* main file: "position=tag ..." */
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

/* The help path is one folder per case, under a folder removed at exit. */
struct TempFolder {
    fs::path path = fs::temp_directory_path() / ("xh_parser_" + std::to_string(getpid()));
    ~TempFolder() { fs::remove_all(path); }
} temp_folder;

void WriteFiles(const std::string &dir_name, const std::map<std::string, std::string> &contents)
{
    fs::path dir = temp_folder.path / dir_name;
    fs::create_directories(dir);
    for (const auto &[name, text] : contents)
        std::ofstream(dir / name, std::ios::binary) << text;
    xh_SetHelpPath(dir.c_str(), nullptr);
}

/* Points the parser at the start of `name`, as Help and BuildIndex do. */
void OpenForParse(const std::string &name)
{
    xh_CurrentStream = xh_Search(name.c_str());
    ASSERT_NE(xh_CurrentStream, nullptr);
    xh_CurrentFile = xh_FindHelpFile(name.c_str());
    xh_LineNumber = 1;
    xh_LineStart = 0;
    xh_yyrestart(xh_CurrentStream);
}

TEST(HelpParser, IndexScansRecordTopicsAndReportBadInput)
{
    for (const ScanCase &c : Cases()) {
        SCOPED_TRACE(c.name);
        std::string prefix = c.name + "_";
        std::map<std::string, std::string> contents;
        for (const auto &[name, text] : c.files)
            contents[prefix + name] = Expand(text, prefix);
        WriteFiles(c.name, contents);

        IndexScan = 1;
        xh_FirstIndexTopic = xh_PrevTopic = nullptr;
        OpenForParse(prefix + "main");
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
        if (!c.fonts.empty()) {
            EXPECT_EQ(FontTags(xh_FindHelpFile((prefix + "main").c_str())), c.fonts);
        }
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

} // namespace
