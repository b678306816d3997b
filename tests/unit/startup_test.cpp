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
    Args(std::initializer_list<const char *> words)
    {
        for (const char *w : words)
            storage_.emplace_back(w);
        for (std::string &s : storage_)
            argv_.push_back(s.data());
        argv_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(argv_.size()) - 1; }
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

Parsed parse(Args args)
{
    testing::internal::CaptureStdout();
    int first = parse_options(args.argc(), args.argv());
    std::string output = testing::internal::GetCapturedStdout();
    return {first, output, ConfigFilename};
}

TEST(StartupOptions, DefaultsWithoutOptions)
{
    Parsed p = parse({"xrackmon", "Cab003"});
    EXPECT_EQ(p.first_icon, 1);
    EXPECT_EQ(fru_replace_flag, NO_FRU_FUNCTION);
    EXPECT_STREQ(widget_title, "Cabinet Status");
    EXPECT_EQ(debug, 0);
    EXPECT_EQ(xh_debug, 0);
    EXPECT_EQ(p.output, "");
}

TEST(StartupOptions, EachFruOptionSetsFlagAndTitle)
{
    struct Case {
        const char *option;
        int flag;
        const char *title;
    };
    for (const Case &c : {Case{"-F", REPLACE_CRU, "FRU Replacement"}, Case{"-P", CRU_PWR_ON, "FRU Power On"},
                          Case{"-p", CRU_PWR_OFF, "FRU Power Off"}}) {
        parse({"xrackmon", c.option, "Cab003"});
        EXPECT_EQ(fru_replace_flag, c.flag) << c.option;
        EXPECT_STREQ(widget_title, c.title) << c.option;
    }
}

TEST(StartupOptions, LastFruOptionWins)
{
    parse({"xrackmon", "-F", "-P", "-p", "Cab003"});
    EXPECT_EQ(fru_replace_flag, CRU_PWR_OFF);
    EXPECT_STREQ(widget_title, "FRU Power Off");

    parse({"xrackmon", "-pF", "Cab003"});
    EXPECT_EQ(fru_replace_flag, REPLACE_CRU);
    EXPECT_STREQ(widget_title, "FRU Replacement");

    /* A later parse starts from the defaults again. */
    parse({"xrackmon", "Cab003"});
    EXPECT_EQ(fru_replace_flag, NO_FRU_FUNCTION);
    EXPECT_STREQ(widget_title, "Cabinet Status");
}

TEST(StartupOptions, LevelsAndConfigurationFile)
{
    Parsed p = parse({"xrackmon", "-d", "3", "-h2", "-C", "/etc/other.config", "Cab003", "Cab003-B"});
    EXPECT_EQ(p.first_icon, 6);
    EXPECT_EQ(debug, 3);
    EXPECT_EQ(xh_debug, 2);
    EXPECT_EQ(p.config_file, "/etc/other.config");
}

TEST(StartupOptions, LevelsAreReadLikeAtoi)
{
    parse({"xrackmon", "-d", "7x", "Cab003"});
    EXPECT_EQ(debug, 7);
    parse({"xrackmon", "-d", "abc", "Cab003"});
    EXPECT_EQ(debug, 0);
    parse({"xrackmon", "-d", "99999999999999999999", "Cab003"});
    EXPECT_EQ(debug, INT_MAX);
    parse({"xrackmon", "-d", "-2", "Cab003"});
    EXPECT_EQ(debug, -2);
}

TEST(StartupOptions, DefaultConfigurationFileFollowsConsoleRoot)
{
    setenv("CONSOLE_ROOT", "/tmp/root", 1);
    parse({"xrackmon", "-C", "/x", "Cab003"});
    EXPECT_EQ(parse({"xrackmon", "Cab003"}).config_file, "/tmp/root/var/console/nxs.config");
    unsetenv("CONSOLE_ROOT");
    EXPECT_EQ(parse({"xrackmon", "Cab003"}).config_file, "/var/console/nxs.config");
}

TEST(StartupOptions, UnknownOptionsAreReportedAndSkipped)
{
    Parsed p = parse({"xrackmon", "-x", "-F", "-q", "Cab003"});
    EXPECT_EQ(p.output, "\nUnknown parameter\n\nUnknown parameter\n");
    EXPECT_EQ(fru_replace_flag, REPLACE_CRU);
    EXPECT_EQ(p.first_icon, 4);

    /* An option that lacks its value is just as unknown. */
    p = parse({"xrackmon", "-d"});
    EXPECT_EQ(p.output, "\nUnknown parameter\n");
    EXPECT_EQ(p.first_icon, 2);
}

TEST(StartupOptions, OptionsEndAtTheFirstIconName)
{
    Parsed p = parse({"xrackmon", "-P", "Cab003", "-F", "Cab003-B"});
    EXPECT_EQ(p.first_icon, 2);
    EXPECT_EQ(fru_replace_flag, CRU_PWR_ON);
}

TEST(CabinetNumber, FromOneIconName)
{
    EXPECT_EQ(get_cabinet_id("Cab003"), 3);
    EXPECT_EQ(get_cabinet_id("Cab012-A"), 12);
    EXPECT_EQ(get_cabinet_id("Cab120"), 120);
    /* Only the three characters before the first '-' count. */
    EXPECT_EQ(get_cabinet_id("Cab1007-B-2"), 7);
    EXPECT_EQ(get_cabinet_id("Rack-7"), 0);
}

TEST(CabinetNumber, ShortEmptyAndDigitlessNamesGiveZero)
{
    EXPECT_EQ(get_cabinet_id(""), 0);
    EXPECT_EQ(get_cabinet_id("Cab"), 0);
    EXPECT_EQ(get_cabinet_id("Console"), 0);
    EXPECT_EQ(get_cabinet_id("X-9"), 0);  /* '-' too near the start */
    EXPECT_EQ(get_cabinet_id("-12"), -12);
    EXPECT_EQ(get_cabinet_id("42"), 42);
    EXPECT_EQ(get_cabinet_id(nullptr), 0);
    EXPECT_EQ(get_cabinet_id((std::string(5000, 'x') + "017").c_str()), 17);
}

struct IconCheck {
    int cabinet;
    std::string output;
};

IconCheck check(Args args)
{
    testing::internal::CaptureStdout();
    int cabinet = check_selected_icons(args.argc(), args.argv(), 1);
    return {cabinet, testing::internal::GetCapturedStdout()};
}

TEST(CabinetNumber, IconsOfOneCabinet)
{
    IconCheck c = check({"xrackmon", "Cab012", "Cab012-A", "Cab012-B"});
    EXPECT_EQ(c.cabinet, 12);
    EXPECT_EQ(c.output, "All icons belong to same cabinet\n");

    /* The number starts at the first digit, wherever it is. */
    c = check({"xrackmon", "Cab5", "Cabinet005-left"});
    EXPECT_EQ(c.cabinet, 5);
}

TEST(CabinetNumber, IconsOfDifferentCabinets)
{
    IconCheck c = check({"xrackmon", "Cab003", "Cab003-A", "Cab004"});
    EXPECT_EQ(c.cabinet, 0);
    EXPECT_EQ(c.output, "Icons belong to different cabinet.\n");
}

TEST(CabinetNumber, AnIconWithoutDigitNamesNoCabinet)
{
    EXPECT_EQ(check({"xrackmon", "Cab003", "Printer"}).cabinet, 0);
    EXPECT_EQ(check({"xrackmon", "Printer", "Printer"}).cabinet, 0);
    EXPECT_EQ(check({"xrackmon", "", "Cab003"}).output, "Icons belong to different cabinet.\n");
}

TEST(CabinetNumber, HugeNumbersDoNotOverflow)
{
    IconCheck c = check({"xrackmon", "Cab99999999999999999999", "Cab99999999999999999999-A"});
    EXPECT_EQ(c.cabinet, INT_MAX);
}

/* ---- fatal signals ------------------------------------------------------- */

TEST(SignalTrace, NamedAndUnnamedSignals)
{
    char buf[128];
    std::size_t n = format_signal_trace(buf, sizeof buf, "/opt/bin/xrackmon", SIGTERM);
    EXPECT_STREQ(buf, "/opt/bin/xrackmon: ====> RECEIVED SIGNAL: SIGTERM\r\n");
    EXPECT_EQ(n, std::string(buf).size());

    format_signal_trace(buf, sizeof buf, "xrackmon", SIGXFSZ);
    EXPECT_STREQ(buf, "xrackmon: ====> RECEIVED SIGNAL: SIGXFSZ\r\n");
    format_signal_trace(buf, sizeof buf, "xrackmon", 42);
    EXPECT_STREQ(buf, "xrackmon: ====> RECEIVED SIGNAL 42\r\n");
    format_signal_trace(buf, sizeof buf, "xrackmon", INT_MIN);
    EXPECT_STREQ(buf, "xrackmon: ====> RECEIVED SIGNAL -2147483648\r\n");
}

TEST(SignalTrace, LongProgramNamesAreCut)
{
    char buf[16];
    std::memset(buf, 'z', sizeof buf);
    std::size_t n = format_signal_trace(buf, 10, std::string(300, 'a').c_str(), SIGSEGV);
    EXPECT_EQ(n, 9u);
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

TEST(FatalSignal, TracesAndDiesByTheSameSignal)
{
    for (int sig : {SIGTERM, SIGSEGV, SIGUSR1}) {
        ChildEnd end = run_in_child([sig] {
            start_as_program(1, 0);
            raise(sig);
            std::printf("survived\n");
        });
        ASSERT_TRUE(WIFSIGNALED(end.status)) << "signal " << sig << " status " << end.status;
        EXPECT_EQ(WTERMSIG(end.status), sig);
        EXPECT_EQ(end.output, std::string(" \n/usr/bin/xrackmon: ====> RECEIVED SIGNAL: ") + signal_name(sig) + "\r\n");
    }
}

TEST(FatalSignal, SilentWithoutDebug)
{
    ChildEnd end = run_in_child([] {
        start_as_program(0, 0);
        raise(SIGTERM);
    });
    ASSERT_TRUE(WIFSIGNALED(end.status));
    EXPECT_EQ(WTERMSIG(end.status), SIGTERM);
    EXPECT_EQ(end.output, "");
}

TEST(FatalSignal, SecondSignalStillReRaisesThirdExitsAtOnce)
{
    ChildEnd second = run_in_child([] {
        start_as_program(1, 1);
        raise(SIGALRM);
    });
    ASSERT_TRUE(WIFSIGNALED(second.status));
    EXPECT_EQ(WTERMSIG(second.status), SIGALRM);

    ChildEnd third = run_in_child([] {
        start_as_program(1, 2);
        raise(SIGTERM);
    });
    ASSERT_TRUE(WIFEXITED(third.status));
    EXPECT_EQ(WEXITSTATUS(third.status), 255);
    EXPECT_EQ(third.output, "");
}

TEST(FatalSignal, TerminalSignalsAreIgnored)
{
    ChildEnd end = run_in_child([] {
        start_as_program(1, 0);
        raise(SIGHUP);
        raise(SIGINT);
        raise(SIGQUIT);
        std::printf("still here\n");
    });
    ASSERT_TRUE(WIFEXITED(end.status));
    EXPECT_EQ(end.output, "still here\n");
}

} // namespace
