/*
 * main.cpp - stand-ins for the installation's utilities that the FRU
 * procedures run.  One program, installed under four names; its name
 * (argv[0]'s last component) says which utility it plays:
 *
 *   xcmicbootp -n NAME -p     the management controllers' boot-table tool:
 *                             deletes the entry NAME from the boot table
 *                             /usr/boot/cmic/bootptab (with its continuation
 *                             lines); exit 1 when the table or the entry is
 *                             missing.
 *   XPROM_flash -DN TARGET    the firmware loader; TARGET is CMIC<cab>-<n> or
 *                             MB<cab>-<n>.
 *   rm_seeprom_util -dN -s SYSTEM -a RECORD Cab<cab>
 *                             the revision-record utility; prints what it
 *                             wrote (the procedures append it to their log).
 *   run_qnutil RESET QNB<cab>-<n>
 *                             the interconnect network utility.
 *
 * Every call first appends its command line, as one line, to the record
 * file /var/console/utilities.rec: the program as it was named (with the
 * console root taken off the front) and its arguments, those holding blanks
 * or nothing in double quotes, so that the line reads like the command the
 * console gave.  Then it looks into the control file
 * /var/console/utilities.ctl for the first line about its name:
 *
 *   NAME exit CODE [once]     end at once with exit code CODE
 *   NAME signal NUMBER [once] end by that signal
 *
 * ("#" starts a comment).  A line marked "once" is taken out of the file
 * when it is used, so a test can make only the next call fail.  Without a
 * line the utility does its work: a command line of the wrong shape is a
 * usage error (exit 2).  Both files are under the console root.
 */
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/console_path.h"

namespace {

constexpr const char *kRecordPath = "/var/console/utilities.rec";
constexpr const char *kControlPath = "/var/console/utilities.ctl";
constexpr const char *kBootTablePath = "/usr/boot/cmic/bootptab";
constexpr int kUsage = 2;

/* What the control file asks of this call. */
struct Order {
    enum Kind { NONE, EXIT, SIGNAL } kind = NONE;
    int value = 0;
};

std::string quoted(const std::string &arg)
{
    if (!arg.empty() && arg.find_first_of(" \t") == std::string::npos)
        return arg;
    return "\"" + arg + "\"";
}

/* The program as the console named it: argv[0] without the console root. */
std::string invoked_as(const char *argv0)
{
    std::string_view name = argv0;
    std::string_view root = console_root();
    if (!root.empty() && name.starts_with(root) && name.size() > root.size() && name[root.size()] == '/')
        name.remove_prefix(root.size());
    return std::string(name);
}

void record(int argc, char **argv)
{
    std::string line = invoked_as(argv[0]);
    for (int i = 1; i < argc; ++i)
        line += " " + quoted(argv[i]);
    std::ofstream out(console_path(kRecordPath), std::ios::app);
    out << line << '\n';
}

/* The first control line for `name`; a "once" line is removed from the
 * file.  An unreadable or malformed line is ignored. */
Order take_order(const std::string &name)
{
    const std::string path = console_path(kControlPath);
    std::ifstream in(path);
    if (!in)
        return {};
    std::vector<std::string> lines;
    Order order;
    bool drop_used = false;
    std::size_t used = 0;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (order.kind != Order::NONE)
            continue;
        std::istringstream words(line.substr(0, line.find('#')));
        std::string who, what, once;
        long value = 0;
        if (!(words >> who >> what >> value) || who != name)
            continue;
        if (what == "exit" && value >= 0 && value <= 255)
            order = {Order::EXIT, static_cast<int>(value)};
        else if (what == "signal" && value > 0 && value < NSIG)
            order = {Order::SIGNAL, static_cast<int>(value)};
        else
            continue;
        drop_used = (words >> once) && once == "once";
        used = lines.size() - 1;
    }
    if (drop_used) {
        std::ofstream out(path, std::ios::trunc);
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (i != used)
                out << lines[i] << '\n';
    }
    return order;
}

[[noreturn]] void obey(const Order &order)
{
    if (order.kind == Order::SIGNAL) {
        std::fflush(nullptr);
        signal(order.value, SIG_DFL);
        raise(order.value);
        /* A signal that does not end a process (SIGCHLD, ...): end anyway. */
        _exit(128 + order.value);
    }
    std::exit(order.value);
}

int usage(const std::string &name, const char *form)
{
    std::cerr << "usage: " << name << " " << form << "\n";
    return kUsage;
}

bool all_digits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

/* PREFIX followed by a number: "-D5". */
bool numbered(std::string_view text, std::string_view prefix)
{
    return text.starts_with(prefix) && all_digits(text.substr(prefix.size()));
}

/* A name of the installation, PREFIX then the cabinet's three digits and,
 * when `with_unit`, "-" and a number: "MB001-3", "Cab003". */
bool cabinet_name(std::string_view text, std::string_view prefix, bool with_unit)
{
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    if (text.size() < 3 || !all_digits(text.substr(0, 3)))
        return false;
    text.remove_prefix(3);
    return with_unit ? text.starts_with("-") && all_digits(text.substr(1)) : text.empty();
}

/* Whether `line` opens the boot-table entry `name` ("name:..." or
 * "name<blank>..."). */
bool opens_entry(const std::string &line, const std::string &name)
{
    return line.starts_with(name) && line.size() > name.size() &&
           (line[name.size()] == ':' || line[name.size()] == ' ' || line[name.size()] == '\t');
}

int boot_table_tool(int argc, char **argv)
{
    const char *form = "-n NAME -p";
    if (argc != 4 || std::strcmp(argv[1], "-n") != 0 || std::strcmp(argv[3], "-p") != 0 || argv[2][0] == '\0')
        return usage("xcmicbootp", form);
    const std::string name = argv[2];
    const std::string path = console_path(kBootTablePath);
    std::ifstream in(path);
    if (!in) {
        std::cerr << "xcmicbootp: cannot read " << kBootTablePath << "\n";
        return 1;
    }
    /* An entry runs on over lines that end in a backslash. */
    std::string kept;
    bool found = false, in_entry = false;
    for (std::string line; std::getline(in, line);) {
        if (!in_entry && opens_entry(line, name)) {
            found = in_entry = true;
        }
        if (!in_entry)
            kept += line + '\n';
        else if (line.empty() || line.back() != '\\')
            in_entry = false;
    }
    in.close();
    if (!found) {
        std::cerr << "xcmicbootp: no entry " << name << " in " << kBootTablePath << "\n";
        return 1;
    }
    /* Written aside and renamed, so that a reader never sees half a table. */
    const std::string aside = path + ".new";
    {
        std::ofstream out(aside, std::ios::trunc);
        out << kept;
        if (!out.flush()) {
            std::cerr << "xcmicbootp: cannot write " << kBootTablePath << "\n";
            return 1;
        }
    }
    if (std::rename(aside.c_str(), path.c_str()) != 0) {
        std::perror("xcmicbootp: rename");
        return 1;
    }
    std::cout << "xcmicbootp: entry " << name << " deleted\n";
    return 0;
}

int firmware_loader(int argc, char **argv)
{
    if (argc != 3 || !numbered(argv[1], "-D") ||
        !(cabinet_name(argv[2], "CMIC", true) || cabinet_name(argv[2], "MB", true)))
        return usage("XPROM_flash", "-DLEVEL CMICnnn-n|MBnnn-n");
    std::cout << "XPROM_flash: firmware of " << argv[2] << " loaded\n";
    return 0;
}

int revision_record_utility(int argc, char **argv)
{
    if (argc != 7 || !numbered(argv[1], "-d") || std::strcmp(argv[2], "-s") != 0 || std::strcmp(argv[4], "-a") != 0 ||
        argv[5][0] == '\0' || !cabinet_name(argv[6], "Cab", false))
        return usage("rm_seeprom_util", "-dLEVEL -s SYSTEM -a RECORD Cabnnn");
    std::cout << "rm_seeprom_util: " << argv[6] << " record \"" << argv[5] << "\" of system \"" << argv[3]
              << "\" updated\n";
    return 0;
}

int interconnect_utility(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], "RESET") != 0 || !cabinet_name(argv[2], "QNB", true))
        return usage("run_qnutil", "RESET QNBnnn-n");
    std::cout << "run_qnutil: " << argv[2] << " network reset\n";
    return 0;
}

struct Utility {
    std::string_view name;
    int (*run)(int, char **);
};

constexpr Utility kUtilities[] = {
    {"xcmicbootp", boot_table_tool},
    {"XPROM_flash", firmware_loader},
    {"rm_seeprom_util", revision_record_utility},
    {"run_qnutil", interconnect_utility},
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 1 || argv[0] == nullptr)
        return kUsage;
    const char *slash = std::strrchr(argv[0], '/');
    const std::string name = slash != nullptr ? slash + 1 : argv[0];
    for (const Utility &utility : kUtilities) {
        if (utility.name != name)
            continue;
        record(argc, argv);
        const Order order = take_order(name);
        if (order.kind != Order::NONE)
            obey(order);
        return utility.run(argc, argv);
    }
    std::cerr << name << ": not one of the utilities this program plays\n";
    return kUsage;
}
