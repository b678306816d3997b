/*
 * engine_go_bench.cpp - how the command engine's GO scales over many
 * management modules, against the cabinet simulator.
 *
 * 1. N simulated modules (64 by default, `engine_go_bench N` for another
 *    number up to 998) each answer a status query after the same fixed
 *    delay.  One GO over all N is timed, then modules alone in a GO of
 *    their own (every one up to 64 modules, 16 spread over the range
 *    above); the figures are the wall time of the N, the slowest module
 *    alone, and their ratio (goal: at most 1.10 for 64, 1.05 for 998: the
 *    waits overlap).  The floor of this figure follows: the same commands
 *    sent with bare libqmx calls one after the other, then their replies.
 * 2. A module with no delay (cabinet N+1, so N+1 cabinets are configured):
 *    one refresh query as the display makes it (get_cabinet_status: the GO
 *    and the check of the tree received; the repaint needs the windows and
 *    is not part of it) next to a bare libqmx round trip of the same
 *    command on an open handle (goal: within 2x whatever N is).
 *
 * The configuration is written into the simulator's private console root.
 * Prints figures; not a pass/fail test.  Run with `cmake --build <build>
 * --target bench` (64 and 998 modules).
 */
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/rack_query.h"
#include "config/config.h"
#include "config/read_config.h"
#include "engine/send_env.h"
#include "engine/tessel_comm.h"
#include "platform/qmx/qmx.h"
#include "tests/support/process.h"

namespace {

constexpr int kDefaultModules = 64;
constexpr int kMaxModules = 998;
constexpr int kAllAloneUpTo = 64;
constexpr int kAloneSamples = 16;
constexpr int kDelayMs = 250;
constexpr int kRepeats = 200;

/* Delayed modules, and the module without delay for the refresh figures. */
int module_count = kDefaultModules;
int quick_cab = kDefaultModules + 1;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Number3(int cab)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%03d", cab);
    return text;
}

std::string NodeRecord(const std::string &name, const std::string &type, int cab, int processor)
{
    return "NODE_RECORD\n\tname=" + name + "\n\ttype=" + type + "\n\tcabinet=" + std::to_string(cab) +
           "\n\tprocessor=" + std::to_string(processor) + "\n\tsubtype=" + (type == "CMIC" ? "RM_CMBR" : "RM_SMP8") +
           "\n\tsystem_id=2\nEND\n";
}

/* A status query with its own result buffer. */
struct Query {
    alignas(8) unsigned char result[8192];
    tessel_cmd_t cmd;

    Query()
    {
        std::memset(result, 0, sizeof(result));
        cmd = tessel_cmd_t{};
        cmd.cmdtype = C_STATUS;
        cmd.complex_type = 0x81;
        cmd.complex_id = 0xFF;
        cmd.resultptr = reinterpret_cast<char *>(result);
        cmd.resultlen = sizeof(result);
    }
    unsigned status() const { return reinterpret_cast<const qmx_ecmdcmplt_t *>(result)->get_cmd_status(); }
};

bool Buffer(int cab, Query &q)
{
    return Send_env_board(cab, 0, reinterpret_cast<int *>(&q.cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS) == 0;
}

int Go()
{
    return Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
}

/* 1. Cabinets 1-N with delay and quick_cab without, in the simulator and
 *    in the configuration the engine reads. */
bool StartInstallation(CabsimProcess &sim)
{
    std::string description, config;
    for (int cab = 1; cab <= quick_cab; ++cab) {
        description += "cabinet " + std::to_string(cab) + " sysno=2 sysname=\"Bench\" cabname=\"Cab" + Number3(cab) +
                       "\"\ncomplex 1 type=0x25 status=1\nsubcomplex 4 units=2 status=1\nsubcomplex 3 units=4 "
                       "status=1\ncomplex 2 type=0x21 status=1\nsubcomplex 13 units=1 status=1\n";
        config += NodeRecord("cmic" + Number3(cab), "CMIC", cab, 0) + NodeRecord("smp" + Number3(cab), "SMP", cab, 1);
    }
    if (!sim.start(description))
        return false;
    for (int cab = 1; cab <= module_count; ++cab)
        if (!sim.ctl("delay " + std::to_string(cab) + " " + std::to_string(kDelayMs)))
            return false;
    std::string path = sim.root() + "/var/console/nxs.config";
    std::ofstream(path) << config;
    if (read_config_file(path.c_str()) != 0)
        return false;
    get_host_types();
    return true;
}

/* A status command for every complex of a cabinet, as libqmx sends it. */
qmx_ecommand_t StatusCommand(int cab)
{
    qmx_ecommand_t command{};
    command.header.set_event_type(QMX_EVENT_COMMAND);
    command.header.set_cabno(static_cast<uint16_t>(cab));
    command.header.sysno = 2;
    command.header.complex_type = 0x81;
    command.header.complex_id = 0xFF;
    command.cmdtype = C_STATUS;
    return command;
}

/* The floor of a GO: the same status commands sent with bare libqmx calls
 * one after the other, then their replies; seconds, or -1 without a link. */
double BareBurst(int *answered)
{
    *answered = 0;
    qmx_configbuf_t config = tessel_qmx_config();
    int handle = qmx_init(&config);
    if (handle <= 0 || qmx_register(handle, QMX_SERVICE_COMMANDS, nullptr) != QMX_SERVICE_COMMANDS)
        return -1;
    std::vector<unsigned char> answer(QMX_MAX_MESSAGE);
    auto started = Clock::now();
    int sent = 0;
    for (int cab = 1; cab <= module_count; ++cab) {
        qmx_ecommand_t command = StatusCommand(cab);
        unsigned long sequence = 0;
        if (qmx_sendcmd(handle, &command, sizeof(command), &sequence) > 0)
            ++sent;
    }
    while (*answered < sent && qmx_recvmsg(handle, answer.data(), static_cast<int>(answer.size()), 10, nullptr) > 0)
        ++*answered;
    double spent = Seconds(started);
    qmx_close(handle);
    return spent;
}

/* 2. One GO over every delayed module, then each alone. */
void BenchGo()
{
    std::vector<Query> queries(module_count);
    for (int i = 0; i < module_count; ++i)
        Buffer(i + 1, queries[i]);
    auto started = Clock::now();
    int result = Go();
    double all = Seconds(started);
    int answered = static_cast<int>(std::count_if(queries.begin(), queries.end(), [](const Query &q) { return q.status() == 1; }));

    std::vector<int> alone_cabs;
    if (module_count <= kAllAloneUpTo) {
        for (int cab = 1; cab <= module_count; ++cab)
            alone_cabs.push_back(cab);
    } else {
        for (int i = 0; i < kAloneSamples; ++i)
            alone_cabs.push_back(1 + i * (module_count - 1) / (kAloneSamples - 1));
    }
    double slowest = 0;
    int slowest_cab = 0;
    for (int cab : alone_cabs) {
        Query alone;
        Buffer(cab, alone);
        auto one_started = Clock::now();
        Go();
        double spent = Seconds(one_started);
        if (spent > slowest) {
            slowest = spent;
            slowest_cab = cab;
        }
    }
    std::printf("GO over %d modules, each answering after %d ms: %.3f s (GO returned %d, %d answered)\n", module_count,
                kDelayMs, all, result, answered);
    std::printf("slowest single module alone of %zu (Cab%s):        %.3f s\n", alone_cabs.size(),
                Number3(slowest_cab).c_str(), slowest);
    std::printf("ratio (goal <= %.2f):                                %.3f\n", module_count > kAllAloneUpTo ? 1.05 : 1.10,
                all / slowest);
    int bare_answered = 0;
    double bare = BareBurst(&bare_answered);
    if (bare < 0) {
        std::printf("bare libqmx burst: no link (qmx_errno %d)\n", qmx_errno);
        return;
    }
    std::printf("bare libqmx: %d sends, then the replies: %.3f s (%d answered), ratio to the slowest alone %.3f\n",
                module_count, bare, bare_answered, bare / slowest);
}

/* 3. A refresh query next to a bare round trip, no delay, medians. */
void BenchRefresh()
{
    std::vector<double> refresh, bare;
    for (int i = 0; i < kRepeats; ++i) {
        auto started = Clock::now();
        get_cabinet_status(quick_cab);
        refresh.push_back(Seconds(started));
    }
    bool tree_ok = tree_ptr != nullptr && std::strcmp(tree_ptr->cabname, ("Cab" + Number3(quick_cab)).c_str()) == 0;

    qmx_configbuf_t config = tessel_qmx_config();
    int handle = qmx_init(&config);
    if (handle <= 0 || qmx_register(handle, QMX_SERVICE_COMMANDS, nullptr) != QMX_SERVICE_COMMANDS) {
        std::printf("bare libqmx round trip: no link (qmx_errno %d)\n", qmx_errno);
        return;
    }
    qmx_ecommand_t command = StatusCommand(quick_cab);
    std::vector<unsigned char> answer(QMX_MAX_MESSAGE);
    int failures = 0;
    for (int i = 0; i < kRepeats; ++i) {
        unsigned long sequence = 0;
        auto started = Clock::now();
        if (qmx_sendcmd(handle, &command, sizeof(command), &sequence) <= 0 ||
            qmx_recvmsg(handle, answer.data(), static_cast<int>(answer.size()), 10, nullptr) <= 0)
            ++failures;
        bare.push_back(Seconds(started));
    }
    qmx_close(handle);

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2] * 1e6;
    };
    std::printf("refresh query (get_cabinet_status, no repaint), median of %d: %8.1f us (tree %s)\n", kRepeats,
                median(refresh), tree_ok ? "ok" : "NOT received");
    std::printf("bare libqmx round trip (sendcmd + recvmsg), median of %d:   %8.1f us (%d failed)\n", kRepeats,
                median(bare), failures);
    std::printf("refresh / bare with %d cabinets configured (goal <= 2.0): %.2f\n", quick_cab,
                median(refresh) / median(bare));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1) {
        module_count = std::atoi(argv[1]);
        if (module_count < 1 || module_count > kMaxModules) {
            std::fprintf(stderr, "usage: engine_go_bench [modules, 1-%d]\n", kMaxModules);
            return 2;
        }
        quick_cab = module_count + 1;
    }
    CabsimProcess sim;
    if (!StartInstallation(sim)) {
        std::fprintf(stderr, "engine_go_bench: the simulated installation did not start\n");
        return 1;
    }
    BenchGo();
    BenchRefresh();
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
    FreeConfiguration();
    return 0;
}
