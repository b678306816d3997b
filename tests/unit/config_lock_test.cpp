/*
 * config_lock_test.cpp - LockFileEx between processes: a writer holding the
 * exclusive lock delays a reader of the configuration; readers share; a
 * missing lock file is made; a release closes the descriptor.
 */
#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/config.h"
#include "config/read_config.h"
#include "daemon/util.h"
#include "config_test_support.h"

namespace {

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

void WriteByte(int fd, unsigned char byte)
{
    ASSERT_EQ(write(fd, &byte, 1), 1);
}

/* A child that takes the lock of `type`, says 'L', waits for any byte, then
 * releases and exits. */
pid_t HoldLock(int type, const std::string &path, int to_parent, int from_parent)
{
    pid_t pid = fork();
    if (pid == 0) {
        int ok = LockFileEx(type, path.c_str());
        unsigned char said = ok ? 'L' : 'F';
        if (write(to_parent, &said, 1) != 1)
            _exit(3);
        unsigned char go;
        if (read(from_parent, &go, 1) != 1)
            _exit(4);
        _exit(LockFileEx(3, path.c_str()) ? 0 : 5);
    }
    return pid;
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
    /* The next lock opens the file again. */
    ASSERT_EQ(LockFileEx(2, path.c_str()), 1);
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

TEST_F(LockTest, AWriterDelaysTheReaderOfTheConfiguration)
{
    std::string config = root.write("/var/console/nxs.config", NodeRecord("name=n1\ncabinet=1\n"));
    int to_parent[2], to_writer[2], reader_done[2];
    ASSERT_EQ(pipe(to_parent), 0);
    ASSERT_EQ(pipe(to_writer), 0);
    ASSERT_EQ(pipe(reader_done), 0);

    pid_t writer = HoldLock(2, root.at("/var/console/lock.nxs.config"), to_parent[1], to_writer[0]);
    ASSERT_EQ(ReadByte(to_parent[0], 5000), 'L');

    pid_t reader = fork();
    if (reader == 0) {
        int status = read_config_file(config.c_str());
        unsigned char result = static_cast<unsigned char>(status == 0 ? NodeCount : 255);
        _exit(write(reader_done[1], &result, 1) == 1 ? 0 : 3);
    }
    /* While the writer holds its lock, the reader must not get through. */
    EXPECT_EQ(ReadByte(reader_done[0], 300), -1);
    WriteByte(to_writer[1], 'G');
    EXPECT_EQ(ReadByte(reader_done[0], 10000), 1);
    EXPECT_EQ(WaitExit(writer), 0);
    EXPECT_EQ(WaitExit(reader), 0);
}

TEST_F(LockTest, ReadersShareTheLock)
{
    int to_parent[2], to_holder[2];
    ASSERT_EQ(pipe(to_parent), 0);
    ASSERT_EQ(pipe(to_holder), 0);
    pid_t holder = HoldLock(1, root.at("/var/console/lock.nxs.config"), to_parent[1], to_holder[0]);
    ASSERT_EQ(ReadByte(to_parent[0], 5000), 'L');

    std::string config = root.write("/var/console/nxs.config", NodeRecord("name=n1\ncabinet=1\n"));
    EXPECT_EQ(read_config_file(config.c_str()), 0); /* does not wait */
    EXPECT_EQ(NodeCount, 1);

    WriteByte(to_holder[1], 'G');
    EXPECT_EQ(WaitExit(holder), 0);
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
