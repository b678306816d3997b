/*
 * rackstat.cpp - reads, for every cabinet named on the command line, the
 * status tree of its management module, the combined register image of its
 * serial environmental controllers and the readings of its serial UPS,
 * whichever the configuration gives the cabinet, and prints them as text
 * or as one JSON array.
 *
 * Every kind of read goes to all cabinets in one GO.  Ports borrowed from
 * the log daemon go back at the end, and from the signal handler when the
 * program is interrupted.
 *
 * Exit status: 0 every cabinet answered everything, 1 some part failed (the
 * rest is still printed), 2 usage error.
 */
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/cabstat_common.h"
#include "app/rack_query.h"
#include "base/console_path.h"
#include "base/trace.h"
#include "config/config.h"
#include "config/parsecfg.h"
#include "config/read_config.h"
#include "engine/accu_ups.h"
#include "engine/env_cmd.h"
#include "engine/env_regs.h"
#include "engine/rsp_check.h"
#include "engine/send_env.h"
#include "engine/tessel_comm.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kHighestCabinet = 999;
constexpr unsigned char kStatusComplexType = 0x81;
constexpr unsigned char kAllComplexes = 0xFF;

struct Chassis {
    int id, type, status;
    std::string text;
};

/* Everything asked of one cabinet and what came back. */
struct Cabinet {
    int number = 0;
    bool has_module = false, has_env = false, has_ups = false;
    std::vector<std::string> errors;
    std::vector<Chassis> chassis;
    std::vector<int> env_registers;
    AccuUpsData ups{};
    bool ups_answered = false;
};

void Usage()
{
    std::fputs("usage: rackstat [-C config-file] [-d level] [--json] icon-name...\n", stderr);
}

/* "Cab014" (case ignored) -> 14; -1 for anything else. */
int CabinetOfIcon(std::string_view name)
{
    if (name.size() < 4 || name.size() > 6 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'a' ||
        (name[2] | 0x20) != 'b')
        return -1;
    int number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return -1;
        number = number * 10 + (c - '0');
    }
    return number <= kHighestCabinet ? number : -1;
}

/* Host type of the installation's disk-array controllers, which answer
 * register reads like the environmental controllers; -1 when not typed. */
int DiskArrayType()
{
    char name[] = "DAC";
    return GetHostType(name);
}

bool IsEnvController(int type)
{
    static const int dac_type = DiskArrayType();
    return type == SNP_type || type == QNA_type || type == JBOD_type || type == JBDP_type ||
           (dac_type != HOSTTYPE_NOT_FOUND && type == dac_type);
}

/* What the configuration gives the cabinet; false when no node has it. */
bool Describe(Cabinet &cab)
{
    bool known = false;
    for (int i : CabinetNodeIndices(cab.number)) {
        const Node_t *node = NodeList[i];
        if (!node->CabinetID)
            continue;
        known = true;
        if (node->HostType == CMIC_type)
            cab.has_module = true;
        else if (node->InterfaceType == INTERFACE_TTY && IsEnvController(node->HostType))
            cab.has_env = true;
        else if (node->InterfaceType == INTERFACE_TTY && node->HostType == PWR_type)
            cab.has_ups = true;
    }
    return known;
}

/* Status trees of every cabinet with a management module, in one GO. */
void ReadStatusTrees(std::vector<Cabinet *> &cabs)
{
    if (cabs.empty())
        return;
    /* One zeroed result buffer per cabinet, from calloc: fresh pages are
     * zero already, and only the bytes an answer fills are touched. */
    using Result = std::array<uint8_t, CMIC_RESULT_SIZE>;
    std::unique_ptr<Result[], void (*)(void *)> results(static_cast<Result *>(std::calloc(cabs.size(), sizeof(Result))),
                                                        std::free);
    if (results == nullptr) {
        for (Cabinet *cab : cabs)
            cab->errors.push_back("status query: out of memory");
        return;
    }
    std::vector<bool> buffered(cabs.size(), false);
    bool any = false;
    for (std::size_t i = 0; i < cabs.size(); ++i) {
        tessel_cmd_t request{};
        request.complex_type = kStatusComplexType;
        request.complex_id = kAllComplexes;
        request.cmdtype = C_STATUS;
        request.resultptr = reinterpret_cast<char *>(results[i].data());
        request.resultlen = static_cast<unsigned short>(CMIC_RESULT_SIZE);
        buffered[i] = Send_env_board(cabs[i]->number, 0, reinterpret_cast<int *>(&request), CMIC_CMD_MSG,
                                     ANOTHER_MESSAGE, ALLCNTLRS) == 0;
        any = any || buffered[i];
    }
    if (any)
        Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    for (std::size_t i = 0; i < cabs.size(); ++i) {
        Cabinet &cab = *cabs[i];
        if (!buffered[i]) {
            cab.errors.push_back("status query could not be sent to the management module");
            continue;
        }
        if (take_status_answer(results[i].data(), results[i].size()) != STATUS_QUERY_OK) {
            status_query_failure_t failure = status_query_failure();
            cab.errors.push_back(cmdcmplt_err_text(failure.answer, "read the cabinet status", failure.length));
            continue;
        }
        for (int c = 0; c < tree_ptr->complex_count; ++c) {
            const complex_cfg_t *cx = complex(tree_ptr, c);
            const char *icon = nullptr, *text = nullptr;
            int scheme = 0;
            get_status_visual_elements(cx->complex_status, &icon, &scheme, &text, 0);
            cab.chassis.push_back({cx->complex_id, cx->complex_type, cx->complex_status, text ? text : ""});
        }
    }
}

/* Register images of every cabinet with serial controllers, in one GO. */
void ReadRegisters(std::vector<Cabinet *> &cabs)
{
    if (cabs.empty())
        return;
    /* Read_All_Envs buffers every controller's read itself and runs the
     * one GO; buffering here as well would read every controller twice. */
    std::vector<cabproc> records(cabs.size());
    for (std::size_t i = 0; i < cabs.size(); ++i) {
        records[i] = cabproc{};
        records[i].cabid = cabs[i]->number;
    }
    Read_All_Envs(records.data(), static_cast<int>(records.size()));
    for (std::size_t i = 0; i < cabs.size(); ++i) {
        const cabproc &rec = records[i];
        for (int c = 0; c < 2; ++c)
            if (rec.info.cntlrbad[c] != 0)
                cabs[i]->errors.push_back("environmental controller " + std::to_string(c) +
                                          (rec.info.errstat == CANT_OWNPORT ? ": its port could not be borrowed"
                                                                            : " did not answer"));
        for (int reg = 0; reg < ENV_REGISTERS; ++reg)
            if (E_value(reg, rec.env) != 0)
                cabs[i]->env_registers.push_back(reg);
    }
}

/* Readings of every cabinet's serial UPS, in one GO. */
void ReadUps(std::vector<Cabinet *> &cabs)
{
    if (cabs.empty())
        return;
    std::vector<int> list;
    for (const Cabinet *cab : cabs)
        list.push_back(cab->number);
    list.push_back(-1);
    std::vector<AccuUpsData> records(cabs.size());
    std::vector<int> results(cabs.size(), UPS_NO_COMM);
    if (AccuUps_get_data_list(list.data(), records.data(), results.data()) != 0) {
        for (Cabinet *cab : cabs)
            cab->errors.push_back("UPS readings: out of memory");
        return;
    }
    for (std::size_t i = 0; i < cabs.size(); ++i) {
        cabs[i]->ups = records[i];
        cabs[i]->ups_answered = results[i] != UPS_NO_COMM;
        if (results[i] == UPS_NO_COMM)
            cabs[i]->errors.push_back("UPS does not answer");
        else if (results[i] != UPS_OK)
            cabs[i]->errors.push_back("some UPS readings were unusable");
    }
}

/* A current as the UPS gives it (a float), to the milliampere: the float's
 * binary noise (4.326000213...) means nothing to a monitoring script. */
double Amperes(float a)
{
    return std::round(static_cast<double>(a) * 1000.0) / 1000.0;
}

nlohmann::json UpsJson(const AccuUpsData &d)
{
    return {{"input_voltage", d.input_voltage_v},
            {"input_current", Amperes(d.input_current_a)},
            {"load", d.load_va},
            {"inverter_temp", d.inverter_temp_c},
            {"pfc_temp", d.pfc_temp_c},
            {"box_temp", d.box_temp_c},
            {"battery_voltage", d.battery_voltage_v},
            {"battery_discharge_current", Amperes(d.battery_discharge_current_a)},
            {"battery_charge_current", Amperes(d.battery_charge_current_a)},
            {"battery_capacity", d.battery_capacity_percent},
            {"input_frequency", d.input_frequency_hz},
            {"output_frequency", d.output_frequency_hz},
            {"nominal_va", d.nominal_va},
            {"status", d.status}};
}

std::string Name(int number)
{
    char text[16];
    std::snprintf(text, sizeof text, "Cab%03d", number);
    return text;
}

void PrintJson(const std::vector<Cabinet> &cabs)
{
    nlohmann::json all = nlohmann::json::array();
    for (const Cabinet &cab : cabs) {
        nlohmann::json obj = {
            {"cabinet", cab.number}, {"name", Name(cab.number)}, {"ok", cab.errors.empty()}, {"errors", cab.errors}};
        if (cab.has_module) {
            nlohmann::json list = nlohmann::json::array();
            for (const Chassis &c : cab.chassis)
                list.push_back({{"id", c.id}, {"type", c.type}, {"status", c.status}, {"status_text", c.text}});
            obj["chassis"] = std::move(list);
        }
        if (cab.has_env)
            obj["env_registers"] = cab.env_registers;
        if (cab.has_ups)
            obj["ups"] = cab.ups_answered ? UpsJson(cab.ups) : nlohmann::json(nullptr);
        all.push_back(std::move(obj));
    }
    std::printf("%s\n", all.dump(2).c_str());
}

void PrintText(const std::vector<Cabinet> &cabs)
{
    for (const Cabinet &cab : cabs) {
        std::printf("%s (cabinet %d): %s\n", Name(cab.number).c_str(), cab.number, cab.errors.empty() ? "ok" : "FAILED");
        for (const std::string &e : cab.errors)
            std::printf("  error: %s\n", e.c_str());
        for (const Chassis &c : cab.chassis)
            std::printf("  chassis %d type %d: %s\n", c.id, c.type, c.text.c_str());
        if (cab.has_env) {
            std::printf("  registers set:");
            for (int reg : cab.env_registers)
                std::printf(" %d", reg);
            std::printf("%s\n", cab.env_registers.empty() ? " none" : "");
        }
        if (cab.has_ups && cab.ups_answered) {
            const AccuUpsData &d = cab.ups;
            std::printf("  UPS: input %d V %.2f A %d Hz, output %d Hz, load %d VA of %d VA, status 0x%02x\n",
                        d.input_voltage_v, d.input_current_a, d.input_frequency_hz, d.output_frequency_hz,
                        d.load_va, d.nominal_va, d.status);
            std::printf("  UPS battery: %d V, %d %%, discharge %.2f A, charge %.2f A\n", d.battery_voltage_v,
                        d.battery_capacity_percent, d.battery_discharge_current_a, d.battery_charge_current_a);
            std::printf("  UPS temperatures: inverter %d C, PFC %d C, box %d C\n", d.inverter_temp_c, d.pfc_temp_c,
                        d.box_temp_c);
        }
    }
}

extern "C" void OnSignal(int sig)
{
    release_ports_from_signal();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

int main(int argc, char **argv)
{
    std::string config = console_path(CONFIG_FILE_PATH);
    bool json = false;
    std::vector<Cabinet> cabs;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if ((arg == "-C" || arg == "-d") && i + 1 < argc) {
            if (arg == "-C")
                config = argv[++i];
            else
                debug = std::atoi(argv[++i]);
        } else {
            int number = CabinetOfIcon(arg);
            if (number < 0) {
                std::fprintf(stderr, "rackstat: %s: not a cabinet icon name (CabNNN)\n", argv[i]);
                Usage();
                return kExitUsage;
            }
            Cabinet cab;
            cab.number = number;
            cabs.push_back(cab);
        }
    }
    if (cabs.empty()) {
        Usage();
        return kExitUsage;
    }

    int saved_debug = debug;
    if (debug < 6)
        debug = 0;
    int failed = read_config_file(config.c_str());
    debug = saved_debug;
    if (failed != 0) {
        std::fprintf(stderr, "rackstat: cannot read the configuration file %s\n", config.c_str());
        return kExitFailed;
    }
    get_host_types();

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<Cabinet *> modules, envs, upses;
    for (Cabinet &cab : cabs) {
        if (!Describe(cab))
            cab.errors.push_back("cabinet not in the configuration");
        else if (!cab.has_module && !cab.has_env && !cab.has_ups)
            cab.errors.push_back("nothing to read in this cabinet");
        if (cab.has_module)
            modules.push_back(&cab);
        if (cab.has_env)
            envs.push_back(&cab);
        if (cab.has_ups)
            upses.push_back(&cab);
    }
    ReadStatusTrees(modules);
    ReadRegisters(envs);
    ReadUps(upses);
    close_all_ports();

    if (json)
        PrintJson(cabs);
    else
        PrintText(cabs);
    for (const Cabinet &cab : cabs)
        if (!cab.errors.empty())
            return kExitFailed;
    return kExitOk;
}
