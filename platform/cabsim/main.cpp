/*
 * main.cpp - the cabsim command line.
 *
 *   cabsim [-c CONFIG|none] [-s SOCKET] [-C CTLSOCKET] [-l LOG] [-r READY] [FILE...]
 *       Reads the installation's configuration (default
 *       /var/console/nxs.config when it exists) for the cabinets that have a
 *       management module and for the controllers on serial lines (linked
 *       at their device paths under the console root), then the
 *       description and scenario FILEs, and serves.  Defaults live under
 *       /var/console/qmx/ (socket, cabsim.ctl, commands.log, cabsim.ready),
 *       all below $CONSOLE_ROOT.
 *
 *   cabsim ctl CTLSOCKET STATEMENT...
 *       Sends each STATEMENT (one argument each; "-" reads statements from
 *       standard input) to a running simulator and prints its answers.
 *       Exit status 0 when every statement was accepted.
 */
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "base/console_path.h"
#include "config/config.h"
#include "config/read_config.h"
#include "platform/cabsim/cabsim.h"
#include "platform/ctl/ctl_client.h"
#include "platform/qmx/qmx_wire.h"

namespace {

constexpr const char *kQmxDir = "/var/console/qmx";
constexpr const char *kCtlPath = "/var/console/qmx/cabsim.ctl";
constexpr const char *kLogPath = "/var/console/qmx/commands.log";
constexpr const char *kReadyPath = "/var/console/qmx/cabsim.ready";
constexpr const char *kConfigPath = "/var/console/nxs.config";
constexpr int kCtlAnswerTimeoutMs = 10000;

int usage()
{
    std::cerr << "usage: cabsim [-c CONFIG|none] [-s SOCKET] [-C CTLSOCKET] [-l LOG] [-r READY] [FILE...]\n"
                 "       cabsim ctl CTLSOCKET STATEMENT...\n";
    return 2;
}

void make_dirs(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

/* The serial controllers of the configuration: every node the console
 * talks to over a serial line that names its device. */
void load_serial_nodes(cabsim::Simulator &sim)
{
    for (int i = 0; i < NodeCount; ++i) {
        const Node_t *node = NodeList[i];
        if (node == nullptr || !node->InterfaceAddress)
            continue;
        std::string type = cabsim::serial_type_of(node->HostType, node->SubType);
        cabsim::SerialController c;
        if (type.empty() || !cabsim::make_controller(NodeText(node->NodeName), NodeText(node->InterfaceAddress), type, "", c))
            continue;
        std::string error = sim.add_serial(std::move(c));
        if (!error.empty())
            std::cerr << "cabsim: " << error << "\n";
    }
}

/* The cabinets with a management module, with their system numbers and
 * names, and the serial controllers, from the configuration file. */
bool load_configuration(cabsim::Simulator &sim, const std::string &path, bool required)
{
    if (access(path.c_str(), R_OK) != 0) {
        if (required)
            std::cerr << "cabsim: cannot read " << path << "\n";
        return !required;
    }
    if (read_config_file(path.c_str()) != 0) {
        std::cerr << "cabsim: cannot read " << path << "\n";
        return false;
    }
    get_host_types();
    for (int i = 0; i < NodeCount; ++i) {
        const Node_t *node = NodeList[i];
        if (node == nullptr || (node->HostType != CMIC_type && node->HostType != SMC_type))
            continue;
        int cabno = NodeNumber(node->CabinetID);
        cabsim::Cabinet &cab = sim.cabinets[cabno];
        cab.cabno = cabno;
        if (cab.sysno == 0)
            cab.sysno = NodeNumber(node->SystemID);
    }
    /* Names may sit on any node of the cabinet. */
    for (int i = 0; i < NodeCount; ++i) {
        const Node_t *node = NodeList[i];
        auto it = node == nullptr ? sim.cabinets.end() : sim.cabinets.find(NodeNumber(node->CabinetID));
        if (it == sim.cabinets.end())
            continue;
        if (it->second.sysname.empty() && node->SystemName)
            it->second.sysname = NodeText(node->SystemName);
        if (it->second.cabname.empty() && node->CabinetName)
            it->second.cabname = NodeText(node->CabinetName);
    }
    load_serial_nodes(sim);
    FreeConfiguration();
    return true;
}

/* Sends one statement and copies the answer to standard output; true on "ok". */
bool ctl_statement(CtlClient &client, const std::string &statement)
{
    std::string answer;
    bool ok = client.Exchange(statement, &answer, kCtlAnswerTimeoutMs);
    std::cout << answer;
    if (!ok && answer.find("error: ") == std::string::npos)
        std::cerr << "cabsim ctl: no answer\n";
    return ok;
}

int ctl_main(int argc, char **argv)
{
    if (argc < 4)
        return usage();
    CtlClient client;
    if (!client.Connect(argv[2])) {
        std::cerr << "cabsim ctl: cannot connect to " << argv[2] << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    bool all_ok = true;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "-") == 0) {
            std::string line;
            while (std::getline(std::cin, line))
                all_ok = ctl_statement(client, line) && all_ok;
        } else {
            all_ok = ctl_statement(client, argv[i]) && all_ok;
        }
    }
    return all_ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0)
        return ctl_main(argc, argv);

    /* 1. Options. */
    cabsim::Options options;
    options.socket_path = console_path(qmx_wire::SOCKET_PATH);
    options.ctl_path = console_path(kCtlPath);
    options.log_path = console_path(kLogPath);
    options.ready_path = console_path(kReadyPath);
    std::string config = console_path(kConfigPath);
    bool config_given = false;
    int opt;
    while ((opt = getopt(argc, argv, "c:s:C:l:r:")) != -1) {
        switch (opt) {
        case 'c': config = optarg; config_given = true; break;
        case 's': options.socket_path = optarg; break;
        case 'C': options.ctl_path = optarg; break;
        case 'l': options.log_path = optarg; break;
        case 'r': options.ready_path = optarg; break;
        default: return usage();
        }
    }
    make_dirs(console_path(kQmxDir));

    /* 2. The installation, then the descriptions and scenarios. */
    cabsim::Simulator sim;
    if (config != "none" && !load_configuration(sim, config, config_given))
        return 1;
    for (int i = optind; i < argc; ++i)
        if (!sim.run_file(argv[i]))
            return 1;

    /* 3. Serve. */
    if (!sim.start(options))
        return 1;
    return sim.run();
}
