/*
 * config_messages_test.cpp - the console messages (severity names, message
 * catalogues found through NLSPATH or the console root, conversions) and
 * the configuration file lock: created when missing, a writer delaying the
 * reader, readers sharing it, and a read that cannot lock.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "config/config.h"
#include "config/read_config.h"
#include "config_test_support.h"
#include "daemon/message.h"
#include "daemon/util.h"

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
    std::filesystem::create_directories(root.path() + "/opt/console/nls");
    Gencat(root.path() + "/opt/console/nls/nxlib.cat", kTestCatalogue);
    EXPECT_EQ(Shown(2, "z\n"), "ERREUR - z\n");
}

TEST_F(MessagesTest, InstalledCatalogueGivesTheBuiltInTexts)
{
    setenv("NLSPATH", XR_NXLIB_CATALOGUE, 1);
    EXPECT_EQ(Shown(3, "w\n"), "FATAL ERROR: w\n");
    EXPECT_NE(nx_i18n_fd, reinterpret_cast<nl_catd>(-1));
    EXPECT_STREQ(nx_msg(NX_SET_CONFIG, 10, "%s %s"), "ParseConfigFile: Cannot open \"%s\": %s\n");
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

int OpenDescriptors()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    while (readdir(dir) != nullptr)
        ++count;
    closedir(dir);
    return count;
}

/* A byte from fd within timeout_ms, or -1. */
int ReadByte(int fd, int timeout_ms)
{
    struct pollfd wait_for = {fd, POLLIN, 0};
    if (poll(&wait_for, 1, timeout_ms) != 1)
        return -1;
    unsigned char byte;
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

int WaitExit(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LockTest : public testing::Test {
  protected:
    void TearDown() override { FreeConfiguration(); }
    ConsoleRoot root;
};

TEST_F(LockTest, AMissingLockFileIsCreatedAReleaseClosesItAndFailuresAreReported)
{
    std::string path = root.path() + "/var/console/lock.test";
    int before = OpenDescriptors();
    ASSERT_EQ(LockFileEx(1, path.c_str()), 1);
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(OpenDescriptors(), before + 1);
    ASSERT_EQ(LockFileEx(3, path.c_str()), 1);
    EXPECT_EQ(OpenDescriptors(), before);

    /* Failures are reported. */
    std::string missing = root.path() + "/nowhere/lock";
    testing::internal::CaptureStderr();
    EXPECT_EQ(LockFileEx(1, missing.c_str()), 0);
    EXPECT_EQ(LockFileEx(3, missing.c_str()), 0); /* nothing held */
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: LockFileEx(): open of file " + missing + " failed, errno = 2\n"
              "ERROR: LockFileEx(): fcntl failed, lock type = 3, errno = 9\n");
}

/* A read in a child process while this process holds the lock: a shared
 * lock lets it through at once, an exclusive one holds it back until it is
 * released. */
TEST_F(LockTest, ReadersShareTheLockAWriterDelaysThem)
{
    std::string config = root.write("/var/console/nxs.config", NodeRecord("name=n1\ncabinet=1\n"));
    std::string lock = root.at("/var/console/lock.nxs.config");
    for (int type : {1, 2}) {
        SCOPED_TRACE(type == 1 ? "shared" : "exclusive");
        int done[2];
        ASSERT_EQ(pipe(done), 0);
        ASSERT_EQ(LockFileEx(type, lock.c_str()), 1);
        pid_t reader = fork();
        if (reader == 0) {
            int status = read_config_file(config.c_str());
            unsigned char result = static_cast<unsigned char>(status == 0 ? NodeCount : 255);
            _exit(write(done[1], &result, 1) == 1 ? 0 : 3);
        }
        /* A reader gets through at once beside a reader, and is held back by a writer. */
        EXPECT_EQ(ReadByte(done[0], type == 1 ? 10000 : 300), type == 1 ? 1 : -1);
        ASSERT_EQ(LockFileEx(3, lock.c_str()), 1);
        if (type == 2) {
            EXPECT_EQ(ReadByte(done[0], 10000), 1);
        }
        EXPECT_EQ(WaitExit(reader), 0);
        close(done[0]);
        close(done[1]);
    }
}

TEST_F(LockTest, AnUnlockableConfigurationFailsTheRead)
{
    std::string config = root.write("/nxs.config", NodeRecord("name=n1\ncabinet=1\n"));
    std::filesystem::remove_all(root.at("/var/console"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_config_file(config.c_str()), 1);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("LockFileEx(): open of file " + root.at("/var/console/lock.nxs.config") + " failed"), std::string::npos) << errors;
    EXPECT_EQ(NodeCount, 0);
}

} // namespace
