/*
 * serial_go_bench.cpp - how a GO over many serial controllers scales,
 * against the cabinet simulator's pseudo-terminals and the log daemon
 * stand-in.
 *
 * 48 environmental controllers (12 cabinets of four) each get EP and a
 * register read (EN) in one GO, ports borrowed at its start; the baseline
 * is the same GO for one controller alone.  Figures: the wall time of
 * each, their ratio, and the cost per controller.
 *
 * Then every controller is silent: the GO waits twice (resend, then marked
 * failed), each wait bounded by the longest reply limit of the commands
 * outstanding, so 48 silent controllers should take about as long as one
 * (goal: ratio at most 1.10).  The waits run under XRACKMON_TIME_SCALE=20.
 *
 * Prints figures; not a pass/fail test.  Run with
 * `cmake --build <build> --target bench`.
 */
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/read_config.h"
#include "engine/send_env.h"
#include "tests/support/process.h"
#include "tests/support/process.h"

namespace {

constexpr int kCabinets = 12;
constexpr int kFirstCabinet = 100;
constexpr int kControllers = kCabinets * CNTLRS_PER_CAB;
constexpr int kRepeats = 20;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Node(const std::string &name, const std::string &type, int cab, const std::string &extra)
{
    return "NODE_RECORD\n\tname=" + name + "\n\ttype=" + type + "\n\tcabinet=" + std::to_string(cab) + "\n" + extra +
           "END\n";
}

std::string ControllerName(int cab, int c)
{
    return "snp0" + std::to_string(cab) + static_cast<char>('A' + c);
}

std::string Configuration()
{
    std::string text;
    for (int cab = kFirstCabinet; cab < kFirstCabinet + kCabinets; ++cab) {
        text += Node("vpr0" + std::to_string(cab), "VPR", cab, "");
        for (int c = 0; c < CNTLRS_PER_CAB; ++c)
            text += Node(ControllerName(cab, c), "SNP", cab,
                         "\tinterface=TTY\n\taddress=/dev/ttyB" + std::to_string(cab) + char('a' + c) + "\n");
    }
    return text;
}

/* One GO: EP and EN for the first `controllers` controllers, ports
 * borrowed at its start and everything given back after it (not timed). */
double TimedGo(int controllers, int *errors)
{
    static unsigned int images[kControllers][ENV_IMAGE_WORDS];
    for (int i = 0; i < controllers; ++i)
        Send_env_board(kFirstCabinet + i / CNTLRS_PER_CAB, 0, reinterpret_cast<int *>(images[i]), READ_ALL_REG,
                       ANOTHER_MESSAGE, static_cast<which_cntlr_t>(i % CNTLRS_PER_CAB));
    Clock::time_point started = Clock::now();
    *errors = Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    double took = Seconds(started);
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
    return took;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    CabsimProcess sim;
    std::string config = "/tmp/xr-serial-bench.config";
    std::ofstream(config) << Configuration();
    if (!sim.start_args({"-c", config})) {
        std::fprintf(stderr, "serial_go_bench: cabsim did not start\n");
        return 1;
    }
    std::filesystem::create_directories(sim.root() + "/var/console/fifos");
    std::filesystem::copy_file(config, sim.root() + "/var/console/nxs.config",
                               std::filesystem::copy_options::overwrite_existing);
    std::remove(config.c_str());
    OpclogdProcess daemon(sim.root());
    if (!daemon.start({}) || read_config_file((sim.root() + "/var/console/nxs.config").c_str()) != 0) {
        std::fprintf(stderr, "serial_go_bench: opclogd or the configuration failed\n");
        return 1;
    }
    get_host_types();

    /* 1. Answering controllers. */
    int errors = 0;
    std::vector<double> one, all;
    for (int r = 0; r < kRepeats; ++r) {
        one.push_back(TimedGo(1, &errors));
        all.push_back(TimedGo(kControllers, &errors));
    }
    double t1 = Median(one), tn = Median(all);
    std::printf("serial GO, EP + EN, ports borrowed and opened in the GO (median of %d):\n", kRepeats);
    std::printf("  1 controller:   %.4f s\n", t1);
    std::printf("  %d controllers: %.4f s (%d in error)\n", kControllers, tn, errors);
    std::printf("  ratio %.2f for %dx the controllers; %.2f ms per controller\n", tn / t1, kControllers,
                tn * 1000.0 / kControllers);

    /* 2. Silent controllers: two bounded waits, whatever their number. */
    setenv("XRACKMON_TIME_SCALE", "20", 1);
    for (int i = 0; i < kControllers; ++i)
        sim.ctl("serial " + ControllerName(kFirstCabinet + i / CNTLRS_PER_CAB, i % CNTLRS_PER_CAB) +
                " fault silent on");
    int silent_one_errors = 0, silent_all_errors = 0;
    double s1 = TimedGo(1, &silent_one_errors);
    double sn = TimedGo(kControllers, &silent_all_errors);
    std::printf("serial GO, every controller silent (waits scaled by 20):\n");
    std::printf("  1 controller:   %.3f s (%d failed)\n", s1, silent_one_errors);
    std::printf("  %d controllers: %.3f s (%d failed)\n", kControllers, sn, silent_all_errors);
    std::printf("  ratio %.2f (goal: at most 1.10, the waits overlap)\n", sn / s1);
    unsetenv("XRACKMON_TIME_SCALE");
    FreeConfiguration();
    return 0;
}
