/*
 * config_reread_test.cpp - re-reading the configuration replaces the whole
 * model: nothing of the old file survives and nothing leaks, also when the
 * re-read fails.  (The sanitizer build checks the leaks at exit; the normal
 * build watches the heap in use.)
 */
#include <gtest/gtest.h>

#include <malloc.h>

#include <string>

#include "config/config.h"
#include "config/read_config.h"
#include "config/table.h"
#include "config_test_support.h"

namespace {

std::string Installation(int nodes, const char *tag)
{
    std::string text = std::string("SET tag=") + tag + "\nTYPE_RECORD name=SMP\ticon=/smp.icon\n";
    for (int i = 0; i < nodes; ++i)
        text += "NODE_RECORD\nname=n" + std::to_string(i) + "\ntype=SMP\nsubtype=RM_SMP8\ncabinet=" +
                std::to_string(i % 7) + "\nprocessor=" + std::to_string(i) + "\nalias=" + tag +
                "\nscsi_label0=1:2\ndevice_id0=1,2\nEND\n";
    return text;
}

TEST(RereadTest, ARereadReplacesEverything)
{
    ConsoleRoot root;
    ReadConfigText(root, Installation(20, "first") + "SET only_first=1\n");
    ASSERT_EQ(NodeCount, 20);
    ReadConfigText(root, Installation(5, "second"));
    EXPECT_EQ(NodeCount, 5);
    EXPECT_EQ(TypeCount, 1);
    EXPECT_STREQ(SearchTable("tag"), "second");
    EXPECT_EQ(SearchTable("only_first"), nullptr);
    for (int i = 0; i < NodeCount; ++i)
        EXPECT_STREQ(NodeList[i]->Alias.get(), "second");
    FreeConfiguration();
}

TEST(RereadTest, RepeatedRereadsKeepTheHeapSteady)
{
    ConsoleRoot root;
    std::string path = root.write("/var/console/nxs.config", Installation(300, "steady"));
    std::string missing = root.path() + "/var/console/missing";
    testing::internal::CaptureStderr();
    /* Warm-up: the first failure loads the C library's error texts once. */
    ASSERT_EQ(read_config_file(path.c_str()), 0);
    ASSERT_EQ(read_config_file(missing.c_str()), 1);
    ASSERT_EQ(read_config_file(path.c_str()), 0);
    std::size_t in_use = mallinfo2().uordblks;
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(read_config_file(path.c_str()), 0);
        ASSERT_EQ(NodeCount, 300);
        if (round % 10 == 9) {
            ASSERT_EQ(read_config_file(missing.c_str()), 1);
            ASSERT_EQ(NodeCount, 0);
        }
    }
    ASSERT_EQ(read_config_file(path.c_str()), 0);
    testing::internal::GetCapturedStderr();
    std::size_t after = mallinfo2().uordblks;
    /* Some slack for the C library's own buffers, far below one re-read's
     * worth of nodes (300 x about 2 kB). */
    EXPECT_LT(after, in_use + 16384) << "before " << in_use << " after " << after;
    FreeConfiguration();
}

} // namespace
