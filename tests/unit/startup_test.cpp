/*
 * startup_test.cpp - the command line of xrackmon without X: options, the
 * cabinet number of icon names, and the fatal-signal path (in forked
 * children, since it ends the process).
 */
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "app/s_rack_disp.h"
#include "app/signal.h"
#include "base/process.h"
#include "base/trace.h"

namespace {

/* A writable argv for getopt, built from literals. */
class Args {
public:
    explicit Args(const std::vector<const char *> &words) : storage_(words.begin(), words.end())
    {
        for (std::string &s : storage_)
            argv_.push_back(s.data());
        argv_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(storage_.size()); }
    char **argv() { return argv_.data(); }

private:
    std::vector<std::string> storage_;
    std::vector<char *> argv_;
};

struct Parsed {
    int first_icon;
    std::string output;
    std::string config_file; /* ConfigFilename may point into argv */
};

Parsed parse(const std::vector<const char *> &words)
{
    Args args(words);
    testing::internal::CaptureStdout();
    int first = parse_options(args.argc(), args.argv());
    std::string output = testing::internal::GetCapturedStdout();
    return {first, output, ConfigFilename};
}

/* One row per command line, parsed in this order: every parse starts from
 * the defaults again, so each row checks every result. */
struct OptionCase {
    std::vector<const char *> args; /* after "xrackmon" */
    int first_icon;
    int flag;
    const char *title;
    int debug;
    const char *output;
};

TEST(StartupOptions, EachCommandLineGivesItsSettingsFromTheDefaults)
{
    const OptionCase cases[] = {
        {{"Cab003"}, 1, NO_FRU_FUNCTION, "Cabinet Status", 0, ""},
        {{"-F", "Cab003"}, 2, REPLACE_CRU, "FRU Replacement", 0, ""},
        {{"-P", "Cab003"}, 2, CRU_PWR_ON, "FRU Power On", 0, ""},
        {{"-p", "Cab003"}, 2, CRU_PWR_OFF, "FRU Power Off", 0, ""},
        {{"-F", "-P", "-p", "Cab003"}, 4, CRU_PWR_OFF, "FRU Power Off", 0, ""}, /* the last one wins */
        {{"-pF", "Cab003"}, 2, REPLACE_CRU, "FRU Replacement", 0, ""},
        {{"Cab003"}, 1, NO_FRU_FUNCTION, "Cabinet Status", 0, ""},
        /* Levels are read like atoi. */
        {{"-d", "7x", "Cab003"}, 3, NO_FRU_FUNCTION, "Cabinet Status", 7, ""},
        {{"-d", "abc", "Cab003"}, 3, NO_FRU_FUNCTION, "Cabinet Status", 0, ""},
        {{"-d", "99999999999999999999", "Cab003"}, 3, NO_FRU_FUNCTION, "Cabinet Status", INT_MAX, ""},
        {{"-d", "-2", "Cab003"}, 3, NO_FRU_FUNCTION, "Cabinet Status", -2, ""},
        /* Unknown options, and one that lacks its value, are reported and skipped. */
        {{"-x", "-F", "-q", "Cab003"}, 4, REPLACE_CRU, "FRU Replacement", 0,
         "\nUnknown parameter\n\nUnknown parameter\n"},
        {{"-d"}, 2, NO_FRU_FUNCTION, "Cabinet Status", 0, "\nUnknown parameter\n"},
        /* Options end at the first icon name. */
        {{"-P", "Cab003", "-F", "Cab003-B"}, 2, CRU_PWR_ON, "FRU Power On", 0, ""},
    };
    for (const OptionCase &c : cases) {
        std::vector<const char *> words = {"xrackmon"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(::testing::PrintToString(words));
        Parsed p = parse(words);
        EXPECT_EQ(p.first_icon, c.first_icon);
        EXPECT_EQ(fru_replace_flag, c.flag);
        EXPECT_STREQ(widget_title, c.title);
        EXPECT_EQ(debug, c.debug);
        EXPECT_EQ(xh_debug, 0);
        EXPECT_EQ(p.output, c.output);
    }
}

TEST(StartupOptions, LevelsAndConfigurationFile)
{
    Parsed p = parse({"xrackmon", "-d", "3", "-h2", "-C", "/etc/other.config", "Cab003", "Cab003-B"});
    EXPECT_EQ(p.first_icon, 6);
    EXPECT_EQ(debug, 3);
    EXPECT_EQ(xh_debug, 2);
    EXPECT_EQ(p.config_file, "/etc/other.config");

    /* The default file follows the console root. */
    setenv("CONSOLE_ROOT", "/tmp/root", 1);
    EXPECT_EQ(parse({"xrackmon", "Cab003"}).config_file, "/tmp/root/var/console/nxs.config");
    unsetenv("CONSOLE_ROOT");
    EXPECT_EQ(parse({"xrackmon", "Cab003"}).config_file, "/var/console/nxs.config");
}

TEST(CabinetNumber, FromOneIconName)
{
    const std::pair<const char *, int> cases[] = {
        {"Cab003", 3}, {"Cab012-A", 12}, {"Cab120", 120},
        {"Cab1007-B-2", 7}, /* only the three characters before the first '-' count */
        {"Rack-7", 0},      {"", 0}, {"Cab", 0}, {"Console", 0},
        {"X-9", 0}, /* '-' too near the start */
        {"-12", -12},       {"42", 42},
    };
    for (const auto &[name, id] : cases)
        EXPECT_EQ(get_cabinet_id(name), id) << name;
    EXPECT_EQ(get_cabinet_id(nullptr), 0);
    EXPECT_EQ(get_cabinet_id((std::string(5000, 'x') + "017").c_str()), 17);
}

TEST(CabinetNumber, IconsOfOneOrOfDifferentCabinets)
{
    const char *same = "All icons belong to same cabinet\n";
    const char *different = "Icons belong to different cabinet.\n";
    struct Case {
        std::vector<const char *> icons;
        int cabinet;
        const char *output;
    };
    const Case cases[] = {
        {{"Cab012", "Cab012-A", "Cab012-B"}, 12, same},
        {{"Cab5", "Cabinet005-left"}, 5, same}, /* the number starts at the first digit */
        {{"Cab003", "Cab003-A", "Cab004"}, 0, different},
        {{"Cab003", "Printer"}, 0, different}, /* an icon without a digit names no cabinet */
        {{"Printer", "Printer"}, 0, different},
        {{"", "Cab003"}, 0, different},
        {{"Cab99999999999999999999", "Cab99999999999999999999-A"}, INT_MAX, same}, /* no overflow */
    };
    for (const Case &c : cases) {
        std::vector<const char *> words = {"xrackmon"};
        words.insert(words.end(), c.icons.begin(), c.icons.end());
        SCOPED_TRACE(::testing::PrintToString(words));
        Args args(words);
        testing::internal::CaptureStdout();
        EXPECT_EQ(check_selected_icons(args.argc(), args.argv(), 1), c.cabinet);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    }
}

/* ---- fatal signals ------------------------------------------------------- */

TEST(SignalTrace, NamedAndUnnamedSignalsAndLongProgramNamesCut)
{
    const std::tuple<const char *, int, const char *> cases[] = {
        {"/opt/bin/xrackmon", SIGXFSZ, "/opt/bin/xrackmon: ====> RECEIVED SIGNAL: SIGXFSZ\r\n"},
        {"xrackmon", 42, "xrackmon: ====> RECEIVED SIGNAL 42\r\n"},
        {"xrackmon", INT_MIN, "xrackmon: ====> RECEIVED SIGNAL -2147483648\r\n"},
    };
    char buf[128];
    for (const auto &[program, sig, trace] : cases) {
        EXPECT_EQ(format_signal_trace(buf, sizeof buf, program, sig), std::strlen(trace));
        EXPECT_STREQ(buf, trace);
    }
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(format_signal_trace(buf, 10, std::string(300, 'a').c_str(), SIGSEGV), 9u);
    EXPECT_STREQ(buf, "aaaaaaaaa");
    EXPECT_EQ(buf[10], 'z');
}

struct ChildEnd {
    int status;
    std::string output;
};

/* Runs `body` in a child whose stdout is a pipe; returns how it ended and
 * what it printed. */
ChildEnd run_in_child(const std::function<void()> &body)
{
    std::fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0)
        return {-1, ""};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    close(fds[1]);
    std::string output;
    char chunk[256];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof chunk)) > 0)
        output.append(chunk, static_cast<std::size_t>(got));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {status, output};
}

char program_name[] = "/usr/bin/xrackmon";
char *fake_argv[] = {program_name, nullptr};

void start_as_program(int level, int signals_so_far)
{
    _argc = 1;
    _argv = fake_argv;
    debug = level;
    num_of_times = signals_so_far;
    SetSignals();
}

/* How a fatal signal ends the program: traced at debug level 1 and
 * re-raised, the second one too; the third exits at once.  Terminal signals
 * are ignored. */
TEST(FatalSignal, TracesAndDiesByTheSameSignalUntilTheThird)
{
    struct Case {
        int level, signals_so_far, sig;
        int ends; /* 1: by the signal, 0: exits with 255, -1: survives */
        bool traced;
    };
    const Case cases[] = {
        {1, 0, SIGTERM, 1, true},  {1, 0, SIGSEGV, 1, true}, {1, 0, SIGUSR1, 1, true},
        {0, 0, SIGTERM, 1, false}, /* silent without debug */
        {1, 1, SIGALRM, 1, true},  {1, 2, SIGTERM, 0, false},
        /* Terminal signals are ignored. */
        {1, 0, SIGHUP, -1, false}, {1, 0, SIGINT, -1, false}, {1, 0, SIGQUIT, -1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "signal " << c.sig << " level " << c.level << " after " << c.signals_so_far);
        ChildEnd end = run_in_child([c] {
            start_as_program(c.level, c.signals_so_far);
            raise(c.sig);
            std::printf("survived\n");
        });
        if (c.ends == 1) {
            ASSERT_TRUE(WIFSIGNALED(end.status)) << "status " << end.status;
            EXPECT_EQ(WTERMSIG(end.status), c.sig);
        } else {
            ASSERT_TRUE(WIFEXITED(end.status)) << "status " << end.status;
            EXPECT_EQ(WEXITSTATUS(end.status), c.ends == 0 ? 255 : 0);
        }
        std::string trace = std::string(" \n/usr/bin/xrackmon: ====> RECEIVED SIGNAL: ") + signal_name(c.sig) + "\r\n";
        EXPECT_EQ(end.output, (c.traced ? trace : "") + (c.ends == -1 ? "survived\n" : ""));
    }
}

} // namespace
