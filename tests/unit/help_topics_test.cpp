/*
 * help_topics_test.cpp - the shipped help files against the program: every
 * page a window, a prompt or a menu entry opens (from the windows' table, the
 * FRU procedures' list and the constants of the menu and prompts) is in its
 * help file, and every button, jump, include and picture of the files leads
 * to something installed.  Each file of the build's help folder is read by
 * the help system's own index scan, which must pass without a message.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/help_contexts.h"
#include "app/rack_cb.h"
#include "engine/ports.h"
#include "fru/rack_fru.h"
#include "help/help.h"
#include "help/xh_state.h"
#include "ui/x_util.h"

namespace {

namespace fs = std::filesystem;

/* A page the program opens, or a place a help file points to: a topic, or
 * only a file when the topic is empty. */
struct Page {
    std::string file;
    std::string topic;
    std::string from;   /* who asks for it, or "name.help:line" */
};

struct HelpFolder {
    std::map<std::string, std::set<std::string>> topics;   /* file -> its topics */
    std::vector<Page> references;
    std::map<std::string, std::string> scan_output;        /* file -> what its scan printed */
};

/* Scans one help file as the Search button does (the index goes to a
 * scratch folder put first on the help path) and adds every topic met,
 * in it and in the files its jumps pull in, to `folder`. */
void scan_help_file(const std::string &name, HelpFolder &folder)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int built = BuildIndex(name.c_str(), name.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    folder.scan_output[name] = out + testing::internal::GetCapturedStderr() + (built != 0 ? "BuildIndex failed\n" : "");
    long walked = 0;
    for (xh_Topic *t = xh_FirstIndexTopic; t != nullptr && walked < 100000; t = t->next, walked++) {
        if (t->depth >= 0 && t->file != nullptr)
            folder.topics[t->file->file_name].insert(t->topic_name);
        if (t->next == xh_FirstIndexTopic)
            break;
    }
}

/* The statements of the page language that name files and topics, read line
 * by line: they always start a line.  "#" lines are comments. */
HelpFolder read_help_folder(const fs::path &dir)
{
    HelpFolder folder;
    const fs::path index_dir = fs::temp_directory_path() / ("help_topics_test." + std::to_string(getpid()));
    fs::create_directories(index_dir);
    xh_SetHelpPath((index_dir.string() + ":" + dir.string()).c_str(), nullptr);
    for (const fs::directory_entry &entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (ext == ".help")
            scan_help_file(name, folder);
        if (ext != ".help" && ext != ".inc")
            continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); number++) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream words(line);
            std::string keyword, arg;
            words >> keyword >> arg;
            const std::string where = name + ":" + std::to_string(number);
            if (keyword == "INCLUDE" || keyword == "BITMAP" || keyword == "GIF")
                folder.references.push_back({arg, "", where});
            else if (keyword == "BUTTON" || keyword == "GOTO") {
                /* ... FILE name [TOPIC topic] after the button's label; a
                 * jump without FILE stays in this file. */
                Page ref{name, "", where};
                bool has_file = false;
                const std::size_t label_end = line.rfind('"');
                std::istringstream rest(label_end == std::string::npos ? line : line.substr(label_end + 1));
                for (std::string word; rest >> word;) {
                    if (word == "FILE" && rest >> ref.file)
                        has_file = true;
                    else if (word == "TOPIC")
                        rest >> ref.topic;
                }
                if (keyword == "GOTO" || has_file)
                    folder.references.push_back(ref);
            }
        }
    }
    fs::remove_all(index_dir);
    return folder;
}

/* Every page the program can open, from the modules that open them. */
std::vector<Page> program_requests()
{
    std::vector<Page> asked{
        {HelpFileForTopic(RECLAIM_HELP_TAG), RECLAIM_HELP_TAG, "the reclaim question for busy serial ports"},
        {kContentsHelpFile, kContentsHelpTopic, "Help -> Contents"},
    };
    for (const FruHelpPage &page : fru_help_pages())
        asked.push_back({page.file, page.topic, "a FRU procedure's prompt"});
    for (const WindowHelp &window : WINDOW_HELP)
        asked.push_back({window.file, window.topic, "the help key over a window"});
    return asked;
}

const HelpFolder &help_folder()
{
    static const HelpFolder folder = read_help_folder(XR_HELP_DIR);
    return folder;
}

bool has_topic(const HelpFolder &folder, const std::string &file, const std::string &topic)
{
    auto it = folder.topics.find(file);
    return it != folder.topics.end() && it->second.count(topic) != 0;
}

TEST(HelpFiles, EveryFileIsReadWithoutAMessage)
{
    const HelpFolder &folder = help_folder();
    ASSERT_GE(folder.scan_output.size(), 5u);
    for (const auto &[file, printed] : folder.scan_output)
        EXPECT_EQ(printed, "") << "scanning " << file;
}

TEST(HelpFiles, EveryPageTheProgramOpensIsThere)
{
    const HelpFolder &folder = help_folder();
    for (const Page &r : program_requests())
        EXPECT_TRUE(has_topic(folder, r.file, r.topic))
            << r.from << " opens topic " << r.topic << " of " << r.file << ", which is not there";
}

TEST(HelpFiles, EveryButtonJumpIncludeAndPictureLeadsSomewhere)
{
    const HelpFolder &folder = help_folder();
    ASSERT_FALSE(folder.references.empty());
    for (const Page &ref : folder.references) {
        if (ref.topic.empty())
            EXPECT_TRUE(fs::exists(fs::path(XR_HELP_DIR) / ref.file)) << ref.from << ": no file " << ref.file;
        else
            EXPECT_TRUE(has_topic(folder, ref.file, ref.topic))
                << ref.from << ": no topic " << ref.topic << " in " << ref.file;
    }
}

}  // namespace
