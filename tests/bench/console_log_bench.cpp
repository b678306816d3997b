/*
 * console_log_bench.cpp - what a record written into the console log costs
 * next to a plain write(2) append of the same record.
 *
 * Under a private console root, 1 KiB records are written, best of several
 * runs each:
 *   - WriteLogFile into the console log (header lock with SIGTERM held, a
 *     copy into the shared mapping, the region saved whenever it fills);
 *   - write(2) of the same records to a file opened for appending in the
 *     same folder (the baseline).
 * Prints the time per record of both, their ratio (the goal is at most 1.0)
 * and how many full regions were saved.  Not a pass/fail test: run it by
 * hand with the `bench` target.
 */
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/console_path.h"
#include "daemon/logfile.h"
#include "tests/support/process.h"

namespace {

constexpr int kRuns = 7;
constexpr int kRecords = 20000;
constexpr int kRecordSize = 1024;

using Clock = std::chrono::steady_clock;

/* kRecords different 1 KiB lines. */
std::vector<std::string> make_records()
{
    std::vector<std::string> records;
    for (int i = 0; i < kRecords; ++i) {
        std::string line = "record " + std::to_string(i) + " ";
        line.resize(kRecordSize - 1, static_cast<char>('a' + i % 26));
        records.push_back(line + "\n");
    }
    return records;
}

double per_record_us(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRecords;
}

} // namespace

int main()
{
    ConsoleRoot root;
    std::filesystem::create_directories(root.at(OLD_LOGS_DIR));
    std::filesystem::create_directories(root.at(CORRUPT_LOGS_DIR));
    const std::vector<std::string> records = make_records();
    const std::string log_path = console_path(CONSOLE_LOG_PATH);
    const std::string plain_path = console_path("/var/console/plain.log");

    int log = OpenLogFile(log_path.c_str(), O_WRONLY);
    int plain = open(plain_path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (log < 0 || plain < 0) {
        std::fprintf(stderr, "console_log_bench: cannot open the logs under %s\n", root.path().c_str());
        return 1;
    }
    /* Saves refused for a name of the same second report on standard
     * error; they are part of the cost but not of the output. */
    std::fflush(stderr);
    int saved_stderr = dup(2);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);

    double best_log = 1e9, best_plain = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        for (const std::string &record : records) {
            if (WriteLogFile(log, record.data(), kRecordSize) < 0)
                return 1;
        }
        best_log = std::min(best_log, per_record_us(start));

        if (ftruncate(plain, 0) != 0)
            return 1;
        start = Clock::now();
        for (const std::string &record : records) {
            if (write(plain, record.data(), kRecordSize) != kRecordSize)
                return 1;
        }
        best_plain = std::min(best_plain, per_record_us(start));
    }
    dup2(saved_stderr, 2);
    close(null_fd);
    close(saved_stderr);

    auto saves = std::distance(std::filesystem::directory_iterator(root.at(OLD_LOGS_DIR)),
                               std::filesystem::directory_iterator());
    std::printf("console log, %d records of %d bytes, best of %d runs:\n", kRecords, kRecordSize, kRuns);
    std::printf("  WriteLogFile           %7.3f us per record (%ld full regions saved in all runs)\n", best_log,
                static_cast<long>(saves));
    std::printf("  write(2) append        %7.3f us per record\n", best_plain);
    std::printf("  ratio                  %7.2f (goal: at most 1.0)\n", best_log / best_plain);
    close(plain);
    close(log);
    return 0;
}
