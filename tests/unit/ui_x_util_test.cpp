/* ui_x_util_test.cpp - the dialog and help utilities that need no display. */
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "base/motif_str.h"
#include "help/help.h"
#include "ui/x_util.h"

namespace {

TEST(HelpFileForTopic, FirstMatchingPrefixChoosesTheFile)
{
    const std::pair<const char *, const char *> cases[] = {
        {"FRU_QUONET_board", "QUONET_fru.help"}, {"FRU_MDA_ctl", "GSC_fru.help"}, {"CRU_MPR", "GSC_fru.help"},
        {"CRU_MiniHub_2", "GSC_fru.help"},       {"CRU_ESM", "GSC_fru.help"},     {"CRU_MDK1", "GSC_fru.help"},
        {"CRU_Minx", "GSC_fru.help"},  /* compared on 7 characters */
        {"FRU_QU", "cru.help"},        /* shorter than the 7-character prefix */
        {"CRU_PWR", "cru.help"},       {"FRU_MB", "cru.help"},  {"FRU", "xdiag.help"},
        {"fru_MB", "xdiag.help"},      /* case matters */
        {"Comm_Port_Busy", "xdiag.help"}, {"", "xdiag.help"},
    };
    for (const auto &[topic, file] : cases)
        EXPECT_STREQ(HelpFileForTopic(topic), file) << topic;
    EXPECT_STREQ(HelpFileForTopic(nullptr), "xdiag.help");
}

std::string prompt(const std::vector<const char *> &args, int first, const char *question = "Power off")
{
    std::vector<char *> argv;
    for (const char *a : args)
        argv.push_back(xs(a));
    return VerifyArgsPrompt(question, static_cast<int>(argv.size()), argv.data(), first);
}

TEST(VerifyArgsPrompt, NamesFourToALineAfterOptindAndTheOversizedSkipped)
{
    EXPECT_EQ(prompt({"rack_test", "-F", "a", "b", "c", "d", "e", "f"}, 2), "Power off\na, b, c, d,\ne, f ?");
    EXPECT_EQ(prompt({"x", "1", "2", "3", "4", "5", "6", "7", "8", "9"}, 1),
              "Power off\n1, 2, 3, 4,\n5, 6, 7, 8,\n9 ?");
    /* Options and arguments before optind are left out. */
    EXPECT_EQ(prompt({"rack_test", "Cab1", "-d", "Cab2"}, 2), "Power off\nCab2 ?");
    EXPECT_EQ(prompt({"rack_test"}, 1), "Power off\n ?");
    EXPECT_EQ(prompt({"rack_test", "Cab1"}, 5), "Power off\n ?");

    /* Names that do not fit are skipped and marked; "tail" is the 5th name
     * counted, so a line break comes before it. */
    std::string big(600, 'B');
    std::string huge(2000, 'H');
    std::string text = prompt({"x", big.c_str(), "small", big.c_str(), huge.c_str(), "tail"}, 1);
    EXPECT_EQ(text, "Power off\n" + big + ", small,\ntail,\n... ?");
    EXPECT_LT(text.size(), 1000u + 8u);
    /* A question that alone fills the prompt leaves no room for names. */
    std::string long_question(995, 'q');
    EXPECT_EQ(prompt({"x", "a"}, 1, long_question.c_str()), long_question + "\n,\n... ?");
}

TEST(IconIndexForType, TypesOutsideTheTableTakeTheUnknownIcon)
{
    for (int type : {0, -1, DIALOG_HIGHEST_TYPE + 1, 1000})
        EXPECT_TRUE(std::string_view(iconpaths[IconIndexForType(type)]).ends_with("/unknown.icon")) << type;
    for (int type = 1; type <= DIALOG_HIGHEST_TYPE; ++type)
        EXPECT_EQ(IconIndexForType(type), type);
}

TEST(HelpPath, SplitsAtColonsReplacesTheFirstLanguageMarkerKeepsTwenty)
{
    xh_SetHelpPath("/usr/help/%L:/opt/help::/x/%L/%L", "en_US");
    ASSERT_EQ(xh_DirectoryCount, 3);
    EXPECT_EQ(xh_DirectoryList[0], "/usr/help/en_US");
    EXPECT_EQ(xh_DirectoryList[1], "/opt/help");
    EXPECT_EQ(xh_DirectoryList[2], "/x/en_US/%L");

    xh_SetHelpPath("/a/%L", nullptr);
    ASSERT_EQ(xh_DirectoryCount, 1);
    EXPECT_EQ(xh_DirectoryList[0], "/a/");

    xh_SetHelpPath(nullptr, "C");
    EXPECT_EQ(xh_DirectoryCount, 0);

    /* At most twenty directories are kept. */
    std::string list;
    for (int i = 0; i < 25; i++)
        list += "/d" + std::to_string(i) + ":";
    xh_SetHelpPath(list.c_str(), "C");
    ASSERT_EQ(xh_DirectoryCount, XH_MAX_DIRECTORIES);
    EXPECT_EQ(xh_DirectoryList[19], "/d19");
}

TEST(VerifyTimeoutDeathTest, ReleasesThePortsAndExitsWithOne)
{
    verify_timeout_release = [] { std::fputs("ports released\n", stderr); };
    EXPECT_EXIT(VerifyTimeoutCallback(nullptr, nullptr), testing::ExitedWithCode(1), "ports released");
    verify_timeout_release = nullptr;
}

class HelpSearch : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = testing::TempDir() + "xr_help_search_" + std::to_string(getpid());
        std::filesystem::create_directories(dir_ + "/one");
        std::filesystem::create_directories(dir_ + "/two");
        std::ofstream(dir_ + "/one/a.help") << "one";
        std::ofstream(dir_ + "/two/a.help") << "two";
        std::ofstream(dir_ + "/two/b.help") << "two-b";
        xh_SetHelpPath((dir_ + "/missing:" + dir_ + "/one:" + dir_ + "/two").c_str(), "C");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_F(HelpSearch, FirstDirectoryHoldingTheFileWinsAbsoluteNamesIgnoreThePath)
{
    for (const auto &[name, text] : {std::pair<std::string, std::string>{"a.help", "one"}, {"b.help", "two-b"},
                                     {dir_ + "/two/a.help", "two"}}) {
        FILE *fp = xh_Search(name.c_str());
        ASSERT_NE(fp, nullptr) << name;
        char buf[16];
        EXPECT_EQ(std::string(buf, std::fread(buf, 1, sizeof buf, fp)), text) << name;
        std::fclose(fp);
    }

    /* A missing file fails with the system error. */
    for (const std::string &missing : {std::string("/nonexistent/a.help"), std::string("c.help")}) {
        errno = 0;
        EXPECT_EQ(xh_Search(missing.c_str()), nullptr) << missing;
        EXPECT_EQ(errno, ENOENT) << missing;
    }
    xh_SetHelpPath("", "C");
    errno = 0;
    EXPECT_EQ(xh_Search("a.help"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

} // namespace
