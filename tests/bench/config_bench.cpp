/*
 * config_bench.cpp - how fast the configuration parser reads a full
 * installation.
 *
 * Generates an installation of 13,312 nodes (the most the node list holds)
 * under a private console root, then measures, best of several runs each:
 *   - read_config_file: lock, parse, sort;
 *   - the sort alone, over the list shuffled;
 *   - awk splitting the same file into key/value pairs (the baseline);
 *   - a plain line-by-line read of the file (the floor).
 * Prints the times, the parser-to-awk ratio (the goal is at most 1) and the
 * peak memory of this process and of awk.  Not a pass/fail test: run it by
 * hand with the `bench` target.
 */
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "config/config.h"
#include "config/read_config.h"

namespace {

constexpr int kRuns = 9;
constexpr const char *kAwkProgram = "BEGIN { FS = \"=\" } NF >= 2 { pairs++; value[$1] = $2 } END { print pairs }";

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/* One node as an installer writes it; cabinets of 16 nodes, every fourth
 * cabinet an older one on serial lines. */
void WriteNode(std::FILE *out, int i)
{
    int cabinet = i / 16, slot = i % 16;
    bool older = cabinet % 4 == 3;
    std::fprintf(out, "NODE_RECORD\n\tname=node%05d\n\tlabel=Node %d\n", i, i);
    if (older)
        std::fprintf(out, "\ttype=%s\n\tinterface=TTY\n\taddress=/dev/ttyC%da\n\tport=%d\n",
                     slot < 2 ? "SNP" : "VPR", cabinet, slot);
    else
        std::fprintf(out, "\ttype=%s\n\tsubtype=%s\n\tinterface=TELNET\n\tip_number=10.%d.%d.%d\n",
                     slot == 0 ? "CMIC" : slot == 15 ? "PWR" : "SMP",
                     slot == 0 ? "RM_CMBR" : slot == 15 ? "RM_RCMB_UPS" : "RM_SMP8", cabinet / 250, cabinet % 250,
                     slot + 1);
    std::fprintf(out, "\tcabinet=%d\n\tprocessor=%d\n\tsystem_id=%d\n\tsystem_name=\"System %d\"\n", cabinet,
                 (slot * 7) % 16, cabinet / 64, cabinet / 64);
    std::fprintf(out, "\tnode=%d:%d:a\n\tscsi_label0=1:%d\n\tmca_bus0=0\n\tscsi_id0=7\n\tdevice_id0=1,2\nEND\n",
                 cabinet % 1024, slot % 4, slot);
}

double ReadLines(const std::string &path)
{
    auto start = Clock::now();
    std::FILE *in = std::fopen(path.c_str(), "r");
    char line[80];
    long lines = 0;
    while (in && std::fgets(line, sizeof line, in))
        ++lines;
    if (in)
        std::fclose(in);
    double elapsed = Seconds(start);
    if (lines == 0)
        std::fprintf(stderr, "bench: %s is empty\n", path.c_str());
    return elapsed;
}

/* Runs awk over the file with its output thrown away; -1 when awk failed.
 * posix_spawn, not fork: a forked copy of this process would make every
 * later write to the node list fault its pages in again. */
double RunAwk(const std::string &path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char awk_name[] = "awk";
    std::string program = kAwkProgram;
    std::string file = path;
    char *argv[] = {awk_name, program.data(), file.data(), nullptr};
    auto start = Clock::now();
    pid_t pid;
    int spawned = posix_spawnp(&pid, "awk", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1.0;
    int status = 0;
    waitpid(pid, &status, 0);
    double elapsed = Seconds(start);
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? elapsed : -1.0;
}

} // namespace

int main()
{
    char root_template[] = "/tmp/xr_bench_XXXXXX";
    const char *root = mkdtemp(root_template);
    if (root == nullptr)
        return 1;
    std::string console = std::string(root) + "/var/console";
    mkdir((std::string(root) + "/var").c_str(), 0755);
    mkdir(console.c_str(), 0755);
    setenv("CONSOLE_ROOT", root, 1);
    std::string path = console + "/nxs.config";

    std::FILE *out = std::fopen(path.c_str(), "w");
    if (out == nullptr)
        return 1;
    std::fprintf(out, "SET run_only_with_dual_ac=yes\nTYPE_RECORD name=SMP\ticon=/opt/console/icons/smp.icon\n");
    for (int i = 0; i < NodeListMaxSize; ++i)
        WriteNode(out, i);
    std::fclose(out);
    struct stat info;
    stat(path.c_str(), &info);

    /* awk's peak memory, from a run while this process is still small (a
     * spawned child counts its parent's pages until it has exec'd). */
    if (RunAwk(path) < 0) {
        std::fprintf(stderr, "bench: awk failed\n");
        return 1;
    }
    struct rusage children;
    getrusage(RUSAGE_CHILDREN, &children);

    double parse = 1e9, sort = 1e9, awk = 1e9, lines = 1e9;
    std::mt19937 shuffle_seed(12345);
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        if (read_config_file(path.c_str()) != 0 || NodeCount != NodeListMaxSize) {
            std::fprintf(stderr, "bench: the parse failed (%d nodes)\n", NodeCount);
            return 1;
        }
        parse = std::min(parse, Seconds(start));

        std::shuffle(NodeList, NodeList + NodeCount, shuffle_seed);
        start = Clock::now();
        SortNodeList();
        sort = std::min(sort, Seconds(start));

        double awk_run = RunAwk(path);
        if (awk_run < 0) {
            std::fprintf(stderr, "bench: awk failed\n");
            return 1;
        }
        awk = std::min(awk, awk_run);
        lines = std::min(lines, ReadLines(path));
    }

    struct rusage self;
    getrusage(RUSAGE_SELF, &self);

    std::printf("configuration: %d nodes, %ld bytes (best of %d runs)\n", NodeCount, static_cast<long>(info.st_size),
                kRuns);
    std::printf("  read_config_file (lock, parse, sort) %8.2f ms\n", parse * 1e3);
    std::printf("  sort of the shuffled list alone      %8.2f ms\n", sort * 1e3);
    std::printf("  awk key/value split (baseline)       %8.2f ms\n", awk * 1e3);
    std::printf("  plain line-by-line read (floor)      %8.2f ms\n", lines * 1e3);
    std::printf("  parser / awk                         %8.2f   (goal: at most 1.00)\n", parse / awk);
    std::printf("  parser / plain read                  %8.2f\n", parse / lines);
    std::printf("  peak memory: this process %ld kB, awk %ld kB\n", self.ru_maxrss, children.ru_maxrss);

    FreeConfiguration();
    std::remove(path.c_str());
    std::remove((console + "/lock.nxs.config").c_str());
    rmdir(console.c_str());
    rmdir((std::string(root) + "/var").c_str());
    rmdir(root);
    return 0;
}
