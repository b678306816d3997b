// console_log_test.cpp - the console log file: a new header as bytes, the
// write cap, filling, wrapping and saving (a save name already taken),
// damaged headers copied aside, a short disk, the memory warning, and many
// writer processes (the log daemon among them) at once.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "daemon/fifo.h"
#include "daemon/logfile.h"
#include "daemon/message.h"
#include "daemon/portreq.h"
#include "tests/support/process.h"

// nxs_malloc must be seen failing under the sanitizer too.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

namespace fs = std::filesystem;

Header_t head_of(const std::string &text)
{
    Header_t head{};
    std::memcpy(&head, text.data(), std::min(sizeof head, text.size()));
    return head;
}

std::vector<std::string> files_in(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path());
    return names;
}

int exit_status(pid_t pid)
{
    int status = -1;
    return waitpid(pid, &status, 0) == pid ? status : -1;
}

class ConsoleLog : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root.at(OLD_LOGS_DIR)), fs::create_directories(corrupt); }
    void TearDown() override { CloseLogFile(); }
    std::string text() const { return file_text(path); }
    ConsoleRoot root;
    std::string path = root.at(CONSOLE_LOG_PATH), corrupt = root.at(CORRUPT_LOGS_DIR);
};

TEST_F(ConsoleLog, NewFileFillsWrapsAndSavesUnderANameNotYetTaken)
{
    int fd = OpenLogFile(path.c_str(), O_WRONLY);
    std::string bytes = text();
    ASSERT_EQ(bytes.size(), 512000u);
    const std::int32_t expected[] = {76, 512000, 76, 0x2E79};
    EXPECT_EQ(std::memcmp(bytes.data(), expected, sizeof expected), 0);
    EXPECT_TRUE(time(nullptr) - head_of(bytes).StartTime <= 1 && head_of(bytes).EndTime == head_of(bytes).StartTime);
    EXPECT_EQ(bytes.substr(24, 52), std::string(52, '\0'));

    std::string big(20000, 'a'), b(9000, 'b');
    EXPECT_EQ(WriteLogFile(fd, big.data(), 20000), 10240);
    for (int sent = 10240; sent < 511924; sent += 9000)
        ASSERT_GE(WriteLogFile(fd, b.data(), std::min(9000, 511924 - sent)), 0);
    EXPECT_EQ(std::memcmp(text().data(), expected, sizeof expected), 0); // full: saved, and at the start again
    std::vector<std::string> saved = files_in(root.at(OLD_LOGS_DIR));
    ASSERT_EQ(saved.size(), 1u);
    std::string save = file_text(saved[0]);
    EXPECT_EQ(save.substr(0, 13) + save.substr(38, 13), "Start Time = End Time   = ");
    EXPECT_EQ(save.substr(2 * 38), std::string(10240, 'a') + std::string(511924 - 10240, 'b'));

    // The names of this and the next seconds taken, as by saves of the same
    // second: the save is refused and writing goes on at the region's start.
    for (time_t t = time(nullptr), end = t + 3; t < end; ++t) {
        char name[32];
        std::strftime(name, sizeof name, "/log.%Y%m%d%H%M%S", fastlocaltime(t));
        std::ofstream(root.at(OLD_LOGS_DIR) + name, std::ios::app);
    }
    const std::size_t names = files_in(root.at(OLD_LOGS_DIR)).size();
    testing::internal::CaptureStderr();
    for (int sent = 0; sent < 511924; sent += 9000)
        ASSERT_GE(WriteLogFile(fd, big.data(), std::min(9000, 511924 - sent)), 0);
    EXPECT_EQ(WriteLogFile(fd, "z", 1), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: Cannot open log save file " + root.path()),
              std::string::npos);
    EXPECT_EQ(files_in(root.at(OLD_LOGS_DIR)).size(), names);
    EXPECT_EQ(head_of(text()).Write_Offset, 77);
}

// A failed allocation opens (and makes) the log for its warning; the log's
// header is then damaged in two ways.
TEST_F(ConsoleLog, MemoryWarningAndDamagedHeadersCopiedAsideNeverWrittenOver)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(nxs_malloc(std::size_t{1} << 62), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(text().substr(76, head_of(text()).Write_Offset - 76),
              "\nWARNING: An unidentified process exited, could not malloc memory\n");
    int fd = log_fd;
    Header_t beyond_end = {76, 512000, 512001, 0, 0, 0, {}}, bad_checksum = {76, 512000, 82, 1, 0, 0, {}};
    beyond_end.Checksum = HChecksum(&beyond_end);
    for (const Header_t &damage : {beyond_end, bad_checksum}) {
        std::memcpy(MappedAddr, &damage, 16);
        const std::string damaged = text();
        fs::remove_all(corrupt); // nowhere to copy it: the file stays as it is
        testing::internal::CaptureStderr();
        EXPECT_EQ(WriteLogFile(fd, "x\n", 2), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "ERROR: Header Corrupted\nERROR: Saving corrupted event log file\nERROR: Unable to correct the header\n");
        ASSERT_EQ(text(), damaged);

        fs::create_directories(corrupt);
        testing::internal::CaptureStderr();
        EXPECT_EQ(WriteLogFile(fd, "second\n", 7), 7);
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(files_in(corrupt).size(), 1u);
        EXPECT_EQ(file_text(files_in(corrupt)[0]), damaged);
        EXPECT_EQ(text().substr(76, 7) + std::to_string(head_of(text()).Write_Offset), "second\n83");
    }
}

TEST_F(ConsoleLog, ShortDiskShrinksTheFileOrRefusesIt)
{
    pid_t child = fork();
    if (child == 0) {
        rlimit limit{100000, 100000}, tiny{2047, 2047};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool shrunk = OpenLogFile(path.c_str(), O_WRONLY) >= 0 && head_of(text()).EOF_Offset == 99328 &&
                      text().size() == 99328u;
        CloseLogFile();
        setrlimit(RLIMIT_FSIZE, &tiny);
        _exit((shrunk ? 0 : 1) | (OpenLogFile((path + "2").c_str(), O_WRONLY) == -1 ? 0 : 2));
    }
    EXPECT_EQ(exit_status(child), 0);
}

// Three writer processes and the log daemon (fed by this process) write at
// once, more than one region's worth: every record is found whole and once
// in the saved region followed by the current one.
TEST_F(ConsoleLog, ManyWritersLoseNothing)
{
    OpclogdProcess daemon(root.path());
    ASSERT_TRUE(daemon.start({"-c", "none"})) << daemon.stderr_text();
    constexpr int kWriters = 3, kRecords = 2500, kDaemonRecords = 1500;
    auto record = [](int w, int i) { return "w" + std::to_string(w) + " " + std::to_string(i) + std::string(i % 150, '.'); };
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        if ((writers.emplace_back(fork())) == 0) {
            int fd = OpenLogFile(path.c_str(), O_WRONLY);
            for (int i = 0; i < kRecords; ++i) {
                std::string line = record(w, i) + "\n";
                if (WriteLogFile(fd, line.data(), static_cast<int>(line.size())) < 0)
                    _exit(1);
            }
            _exit(0);
        }
    }
    for (int i = 0; i < kDaemonRecords; ++i)
        while (LogMessage("node", 7, nullptr, 0, ("d " + std::to_string(i)).c_str()) != 0)
            ASSERT_TRUE(daemon.alive()); // its pipe is full for a moment
    EXPECT_EQ(FreeAllMyPorts("console_log_test"), 0); // answered once every message before it is logged
    for (pid_t pid : writers)
        EXPECT_EQ(exit_status(pid), 0);
    std::vector<std::string> saved = files_in(root.at(OLD_LOGS_DIR));
    ASSERT_EQ(saved.size(), 1u);
    std::string log = text();
    Header_t head = head_of(log);
    ASSERT_EQ(head.Checksum, HChecksum(&head));
    std::string all = file_text(saved[0]).substr(2 * 38) + log.substr(76, head.Write_Offset - 76);
    std::map<std::string, int> seen, once;
    for (std::size_t at = 0, end; (end = all.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = all.substr(at, end - at);
        ++seen[line.find(" (type 7): ") == std::string::npos ? line : line.substr(line.find(" (type 7): "))];
    }
    for (int i = 0; i < kRecords; ++i)
        for (int w = 0; w < kWriters; ++w)
            once[record(w, i)] = 1;
    for (int i = 0; i < kDaemonRecords; ++i)
        once[" (type 7): d " + std::to_string(i)] = 1;
    EXPECT_TRUE(seen == once) << seen.size() << " different lines";
}

} // namespace
