/*
 * help_parser_fuzz.cpp - fuzz target for the help page lexer and parser.
 * The first byte picks how the rest, help file "fuzz.help" next to two fixed
 * files, is read: index scan (jumps pull files in), scan for topic "T", or
 * page reading.  No display.  Each input's files and topic records are freed
 * after it.  Replayed over tests/fuzz/corpus/help_parser by
 * help_parser_fuzz_replay.
 */
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <utility>
#include <string>
#include <vector>

#include "help/actions.h"
#include "help/help.h"
#include "help/xh_state.h"

namespace {

constexpr const char kMainFile[] = "fuzz.help";

const std::string &HelpDirectory()
{
    static const std::string dir = [] {
        /* Each input rewrites a file: in memory where the system has it. */
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string made = base + "/xh_fuzz_" + std::to_string(getpid());
        mkdir(made.c_str(), 0700);
        auto write = [&made](const char *name, const char *text) {
            if (FILE *f = std::fopen((made + "/" + name).c_str(), "w")) {
                std::fputs(text, f);
                std::fclose(f);
            }
        };
        write("a.help", "START_TOPIC A1\nFONT_POSITION 2 fixed=two\ntext \\f2 x\\fP\nEND_TOPIC\n"
                        "START_TOPIC A2\nBUTTON b FILE b.help TOPIC B\nEND_TOPIC\n");
        write("b.help", "FONT_POSITION 4 fixed\nSTART_TOPIC B\nINCLUDE a.help\nGOTO\rFILE fuzz.help\rTOPIC T\n"
                        "END_TOPIC B\n");
        xh_SetHelpPath(made.c_str(), nullptr);
        return made;
    }();
    return dir;
}

void CollectRecord(void *key, void *value, void *records)
{
    bool file = std::strcmp(static_cast<xh_Key *>(key)->first, "FILE") == 0;
    static_cast<std::vector<std::pair<bool, void *>> *>(records)->push_back({file, value});
}

/* Frees every topic and file record (as topics.cpp made them), topics
 * first: their keys point into their files' records. */
void ForgetTopics()
{
    std::vector<std::pair<bool, void *>> records;
    if (xh_TopicTable != nullptr)
        ht_ForEach(xh_TopicTable, CollectRecord, &records);
    ht_ClearTable(xh_TopicTable);
    std::stable_partition(records.begin(), records.end(), [](const auto &r) { return !r.first; });
    for (const auto &[is_file, record] : records) {
        if (is_file) {
            auto *file = static_cast<xh_HelpFile *>(record);
            std::free(file->key.first);
            std::free(file->file_name);
            delete file;
        } else {
            std::free(static_cast<xh_Topic *>(record)->topic_name);
            delete static_cast<xh_Topic *>(record);
        }
    }
    xh_CurrentFile = nullptr;
    xh_CurrentTopic = xh_PrevTopic = xh_FirstIndexTopic = nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string &dir = HelpDirectory();
    int mode = size > 0 ? data[0] % 3 : 0;
    if (FILE *f = std::fopen((dir + "/" + kMainFile).c_str(), "w")) {
        if (size > 1)
            std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }

    xh_CurrentStream = xh_Search(kMainFile);
    if (xh_CurrentStream == nullptr)
        return 0;
    xh_CurrentFile = xh_FindHelpFile(kMainFile);
    IndexScan = mode == 0;
    Scanning = mode == 1;
    xh_CurrentTopic = mode == 1 ? xh_FindTopic("T", kMainFile) : nullptr;
    xh_LineNumber = 1;
    xh_LineStart = 0;
    xh_yyrestart(xh_CurrentStream);
    xh_yyparse();

    /* A page may end inside an included file. */
    while (StackIndex > 0) {
        if (xh_CurrentStream != nullptr)
            std::fclose(xh_CurrentStream);
        xh_CurrentStream = nullptr;
        if (xh_PopFileStack(0) != 0)
            break;
    }
    if (xh_CurrentStream != nullptr)
        std::fclose(xh_CurrentStream);
    xh_CurrentStream = nullptr;
    xh_DropPendingFiles();
    IndexScan = Scanning = 0;
    StackIndex = StackFull = 0;
    ForgetTopics();
    return 0;
}
