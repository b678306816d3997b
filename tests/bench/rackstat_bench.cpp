/*
 * rackstat_bench.cpp - `rackstat --json` over many simulated cabinets
 * against one cabinet alone, in the same run.
 *
 * For an installation of 64 cabinets and one of 999 (the most there can
 * be), every cabinet's management module answering after the same fixed
 * delay: the wall time of `rackstat --json` over every cabinet next to
 * `rackstat --json` over one cabinet alone (the first, the middle and the
 * last one, each its own run), both as whole processes on the same
 * installation, medians of three runs.  Goals: at most 1.10 for 64
 * cabinets, 1.05 for 999: the waits overlap in one GO, and nothing else may
 * grow with the number of cabinets.
 *
 * Prints figures; not a pass/fail test.  Run with `cmake --build <build>
 * --target bench`.
 */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/process.h"

namespace {

constexpr int kDelayMs = 250;
constexpr int kRuns = 3;

using Clock = std::chrono::steady_clock;

std::string Name(int cab)
{
    char text[8];
    std::snprintf(text, sizeof(text), "Cab%03d", cab);
    return text;
}

std::string NodeRecord(const std::string &name, const std::string &type, int cab, int processor)
{
    return "NODE_RECORD\n\tname=" + name + "\n\ttype=" + type + "\n\tcabinet=" + std::to_string(cab) +
           "\n\tprocessor=" + std::to_string(processor) + "\n\tsubtype=" + (type == "CMIC" ? "RM_CMBR" : "RM_SMP8") +
           "\n\tsystem_id=2\nEND\n";
}

/* Cabinets 1..count, each a management module answering after kDelayMs, in
 * the simulator and in the installation's configuration. */
bool StartInstallation(CabsimProcess &sim, int count)
{
    std::string description, config;
    for (int cab = 1; cab <= count; ++cab) {
        description += "cabinet " + std::to_string(cab) + " sysno=2 sysname=\"Bench\" cabname=\"" + Name(cab) +
                       "\"\ncomplex 1 type=0x25 status=1\nsubcomplex 4 units=2 status=1\ncomplex 2 type=0x21 "
                       "status=1\nsubcomplex 13 units=1 status=1\n";
        config += NodeRecord("cmic" + Name(cab).substr(3), "CMIC", cab, 0) +
                  NodeRecord("smp" + Name(cab).substr(3), "SMP", cab, 1);
    }
    if (!sim.start(description))
        return false;
    for (int cab = 1; cab <= count; ++cab)
        if (!sim.ctl("delay " + std::to_string(cab) + " " + std::to_string(kDelayMs)))
            return false;
    std::ofstream(sim.root() + "/var/console/nxs.config") << config;
    return true;
}

/* One rackstat run over `cabs`: its wall time in seconds, or -1 when it
 * failed or its report lacks a cabinet. */
double RunRackstat(const CabsimProcess &sim, const std::vector<int> &cabs)
{
    std::vector<std::string> args{"--json"};
    for (int cab : cabs)
        args.push_back(Name(cab));
    std::string out = sim.root() + "/rackstat.json";
    ChildProcess program;
    auto started = Clock::now();
    if (!program.start(XR_RACKSTAT, args, {{"CONSOLE_ROOT", sim.root()}}, out) ||
        !program.wait_for_exit(std::chrono::seconds(60)))
        return -1;
    double spent = std::chrono::duration<double>(Clock::now() - started).count();
    if (!WIFEXITED(program.status()) || WEXITSTATUS(program.status()) != 0)
        return -1;
    nlohmann::json report = nlohmann::json::parse(file_text(out), nullptr, false);
    if (!report.is_array() || report.size() != cabs.size())
        return -1;
    for (const nlohmann::json &cab : report)
        if (cab.value("ok", false) != true || !cab.contains("chassis") || cab["chassis"].size() != 2u)
            return -1;
    return spent;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Bench(int count, double goal)
{
    CabsimProcess sim;
    if (!StartInstallation(sim, count)) {
        std::printf("%d cabinets: the simulated installation did not start\n", count);
        return;
    }
    std::vector<int> every;
    for (int cab = 1; cab <= count; ++cab)
        every.push_back(cab);
    const int alone_cabs[] = {1, (count + 1) / 2, count};

    std::vector<double> all, alone;
    for (int run = 0; run < kRuns; ++run) {
        all.push_back(RunRackstat(sim, every));
        alone.push_back(RunRackstat(sim, {alone_cabs[run % 3]}));
    }
    if (*std::min_element(all.begin(), all.end()) < 0 || *std::min_element(alone.begin(), alone.end()) < 0) {
        std::printf("%d cabinets: a rackstat run failed or reported a cabinet wrong\n", count);
        return;
    }
    double every_s = Median(all), alone_s = Median(alone);
    std::printf("rackstat --json over %3d cabinets answering after %d ms, median of %d: %.3f s\n", count, kDelayMs,
                kRuns, every_s);
    std::printf("rackstat --json over one of them alone (Cab001, the middle, the last):   %.3f s\n", alone_s);
    std::printf("ratio (goal <= %.2f):                                                   %.3f\n", goal,
                every_s / alone_s);
}

} // namespace

int main()
{
    Bench(64, 1.10);
    Bench(999, 1.05);
    return 0;
}
