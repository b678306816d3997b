/*
 * config_messages_test.cpp - severity messages on standard error,
 * nxs_malloc, and the "nxlib" catalogue: found through NLSPATH or under the
 * console root, used when its texts fit, ignored when they do not.
 */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "daemon/message.h"
#include "daemon/util.h"
#include "config_test_support.h"

/* nxs_malloc must be seen failing: let the sanitizer's allocator return
 * null like the C library's instead of stopping the test. */
extern "C" const char *__asan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

/* The last line of a capture (a sanitizer build warns about the failed
 * allocation on a line of its own before our message). */
std::string LastLine(const std::string &text)
{
    std::size_t end = text.size() > 0 ? text.size() - 1 : 0;
    std::size_t start = text.rfind('\n', end > 0 ? end - 1 : 0);
    return (start == std::string::npos || end == 0) ? text : text.substr(start + 1);
}

class MessagesTest : public testing::Test {
  protected:
    void SetUp() override
    {
        unsetenv("NLSPATH");
        nx_close_catalogue();
    }
    void TearDown() override
    {
        unsetenv("NLSPATH");
        nx_close_catalogue();
    }

    static std::string Shown(int level, const char *text)
    {
        testing::internal::CaptureStderr();
        SetSeverity(level);
        DisplayMsg("%s", text);
        return testing::internal::GetCapturedStderr();
    }

    /* Compiles a catalogue source with gencat into path. */
    static void Gencat(const std::string &path, const std::string &source)
    {
        std::string source_path = path + ".msg";
        std::ofstream(source_path) << source;
        std::remove(path.c_str());
        std::string command = std::string(XR_GENCAT) + " " + path + " " + source_path;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    ConsoleRoot root;
};

const char *const kTestCatalogue = "$quote \"\n"
                                   "$set 5\n"
                                   "1 \"%s - \"\n"
                                   "4 \"ERREUR\"\n"
                                   "$set 8\n"
                                   "1 \"Plus de memoire (%d octets)\\n\"\n"
                                   "$set 4\n"
                                   "1 \"open %d failed %s\\n\"\n";

TEST_F(MessagesTest, SeverityNamesPrefixEveryMessage)
{
    const std::pair<int, const char *> cases[] = {{0, "INFO"},        {1, "WARNING"}, {2, "ERROR"},
                                                  {3, "FATAL ERROR"}, {7, "INFO"},    {-1, "INFO"}};
    for (const auto &[level, name] : cases)
        EXPECT_EQ(Shown(level, "a\n"), std::string(name) + ": a\n") << level;
    EXPECT_EQ(SeverityLevel, -1);
}

TEST_F(MessagesTest, FailedAllocationIsReportedAndGivesNull)
{
    testing::internal::CaptureStderr();
    /* A size no machine has; as an int it reads 100. */
    void *memory = nxs_malloc((std::size_t{1} << 62) + 100);
    EXPECT_EQ(memory, nullptr);
    EXPECT_EQ(LastLine(testing::internal::GetCapturedStderr()), "ERROR: Cannot malloc 100 bytes\n");

    void *small = nxs_malloc(16);
    EXPECT_NE(small, nullptr);
    std::free(small);
}

TEST_F(MessagesTest, CatalogueFoundThroughNlspathIsUsedWhereItsConversionsFit)
{
    std::string catalogue = root.path() + "/test.cat";
    Gencat(catalogue, kTestCatalogue);
    setenv("NLSPATH", catalogue.c_str(), 1);
    EXPECT_EQ(Shown(2, "x\n"), "ERREUR - x\n");
    EXPECT_EQ(Shown(1, "y\n"), "WARNING - y\n"); /* not in this catalogue: the built-in name */

    testing::internal::CaptureStderr();
    EXPECT_EQ(nxs_malloc((std::size_t{1} << 62) + 7), nullptr);
    EXPECT_EQ(LastLine(testing::internal::GetCapturedStderr()), "ERREUR - Plus de memoire (7 octets)\n");

    /* A text with other conversions is not used: the catalogue's
     * "open %d failed %s" would read the path as a number. */
    std::string missing_dir = root.path() + "/no/such/dir/lock";
    testing::internal::CaptureStderr();
    EXPECT_EQ(LockFileEx(1, missing_dir.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERREUR - LockFileEx(): open of file " + missing_dir + " failed, errno = 2\n");
}

TEST_F(MessagesTest, CatalogueUnderTheConsoleRootIsFoundWithoutNlspath)
{
    std::string dir = root.path() + "/opt";
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/console").c_str(), 0755);
    mkdir((dir + "/console/nls").c_str(), 0755);
    Gencat(dir + "/console/nls/nxlib.cat", kTestCatalogue);
    EXPECT_EQ(Shown(2, "z\n"), "ERREUR - z\n");
}

TEST_F(MessagesTest, InstalledCatalogueGivesTheBuiltInTexts)
{
    setenv("NLSPATH", XR_NXLIB_CATALOGUE, 1);
    EXPECT_EQ(Shown(3, "w\n"), "FATAL ERROR: w\n");
    EXPECT_NE(nx_i18n_fd, reinterpret_cast<nl_catd>(-1));
    EXPECT_STREQ(nx_msg(NX_SET_CONFIG, 1, "default"), "ParseConfig: Invalid Record\n");
    EXPECT_STREQ(nx_msg(NX_SET_CONFIG, 10, "%s %s"), "ParseConfigFile: Cannot open \"%s\": %s\n");
    EXPECT_STREQ(nx_msg(NX_SET_QUERIES, 2, "%x"), "GetComplexType: unknown complex type 0x%x\n");
    EXPECT_STREQ(nx_msg(NX_SET_MEMORY, 1, "%d"), "Cannot malloc %d bytes\n");
    EXPECT_STREQ(nx_msg(NX_SET_CONFIG, 99, "missing"), "missing");
}

TEST(ConversionsTest, OnlyTheArgumentsReadMatter)
{
    EXPECT_EQ(SameConversions("a %s b %d", "%-10s x %5d"), 1);
    EXPECT_EQ(SameConversions("100%% %s", "%s"), 1);
    EXPECT_EQ(SameConversions("%s %d", "%d %s"), 0);
    EXPECT_EQ(SameConversions("%s", "%s %s"), 0);
    EXPECT_EQ(SameConversions("%ld", "%d"), 0);
    EXPECT_EQ(SameConversions("%*d", "%d"), 0);
    EXPECT_EQ(SameConversions("text", "other"), 1);
    EXPECT_EQ(SameConversions("trailing %", "trailing"), 1);
}

} // namespace
