/*
 * startup_process_test.cpp - the built program started as the console
 * starts it: missing and mismatched icon names, the debug log header, the
 * work dialog's title, and death by a fatal signal.  Each test runs the
 * program under a private console root on the test's own X server.
 */
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <sys/wait.h>

#include "tests/support/x_session.h"

namespace {


constexpr milliseconds kStartTimeout{15000};
constexpr milliseconds kExitTimeout{10000};

/* Escapes a literal for a POSIX extended regular expression. */
std::string literal(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
            out += '\\';
        out += c;
    }
    return out;
}

class StartupProcess : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x_.ok()) << "no X display";
        ASSERT_FALSE(root_.path().empty());
    }

    void TearDown() override
    {
        if (HasFailure()) {
            x_.screenshot_failed_test();
            std::printf("program output:\n%s\n", program_.output().c_str());
        }
    }

    /* Starts the program as `name` ("xrackmon" or "rack_test"). */
    bool start(const char *name, const std::vector<std::string> &args)
    {
        std::string path = std::string(XR_PROGRAM_DIR) + "/" + name;
        return program_.start(path, args, {{"CONSOLE_ROOT", root_.path()}});
    }

    /* Waits for the modal error dialog (titled `title`), answers OK and
     * expects the program to end with status 1. */
    void answer_error_dialog_and_expect_exit_1(const std::string &title)
    {
        Window dialog = x_.wait_for_window(title, kStartTimeout, &program_);
        ASSERT_NE(dialog, 0u) << "no window titled " << title;
        EXPECT_TRUE(program_.running()) << "the dialog must wait for the operator";
        ASSERT_TRUE(x_.press_return_in(dialog));
        ASSERT_TRUE(program_.wait_for_exit(kExitTimeout));
        ASSERT_TRUE(WIFEXITED(program_.status())) << "status " << program_.status();
        EXPECT_EQ(WEXITSTATUS(program_.status()), 1);
    }

    xsession::XSession x_;
    ConsoleRoot root_;
    ChildProcess program_;
};

TEST_F(StartupProcess, NoIconShowsErrorThenExitsWithOne)
{
    ASSERT_TRUE(start("rack_test", {"-d", "1"}));
    answer_error_dialog_and_expect_exit_1("Cabinet Status");
    EXPECT_NE(program_.output().find("A cabinet icon must be selected."), std::string::npos);
    EXPECT_NE(program_.output().find("Exit(1)\n"), std::string::npos);
}

TEST_F(StartupProcess, IconsOfTwoCabinetsShowErrorThenExitWithOne)
{
    ASSERT_TRUE(start("rack_test", {"-P", "Cab003", "Cab004-A"}));
    ASSERT_TRUE(program_.wait_for_output("Icons belong to different cabinet\\.\n", kStartTimeout));
    answer_error_dialog_and_expect_exit_1("FRU Power On");
}

TEST_F(StartupProcess, DebugLevelPrintsInvocationTimeAndCabinet)
{
    ASSERT_TRUE(start("rack_test", {"-d", "1", "-F", "Cab012", "Cab012-A"}));
    std::string invocation = literal(std::string(XR_PROGRAM_DIR) + "/rack_test -d 1 -F Cab012 Cab012-A");
    EXPECT_TRUE(program_.wait_for_output("^" + invocation + "\n[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\n\n",
                                         kStartTimeout));
    EXPECT_TRUE(program_.wait_for_output("All icons belong to same cabinet\n", kStartTimeout));
    EXPECT_TRUE(program_.wait_for_output("\n Cab012 12 0\n", kStartTimeout));
    /* The work dialog carries the function's title and the cabinet. */
    EXPECT_NE(x_.wait_for_window("FRU Replacement - Cab012", kStartTimeout, &program_), 0u);
}

struct SignalCase {
    const char *program;
    int sig;
    bool traced;
};

void PrintTo(const SignalCase &c, std::ostream *out)
{
    *out << c.program << " SIG" << sigabbrev_np(c.sig);
}

class ProcessSignal : public StartupProcess, public testing::WithParamInterface<SignalCase> {};

TEST_P(ProcessSignal, EndsTheProgramWithThatSignal)
{
    const SignalCase &c = GetParam();
    ASSERT_TRUE(start(c.program, {"-d", "1", "Cab003"}));
    ASSERT_TRUE(program_.wait_for_output("\n Cab003 3 0\n", kStartTimeout));
    ASSERT_TRUE(program_.send_signal(c.sig));
    ASSERT_TRUE(program_.wait_for_exit(kExitTimeout));
    ASSERT_TRUE(WIFSIGNALED(program_.status())) << "status " << program_.status();
    EXPECT_EQ(WTERMSIG(program_.status()), c.sig);

    std::string trace = std::string(XR_PROGRAM_DIR) + "/" + c.program +
                        ": ====> RECEIVED SIGNAL: SIG" + sigabbrev_np(c.sig) + "\r\n";
    if (c.traced)
        EXPECT_NE(program_.output().find("\n" + trace), std::string::npos) << program_.output();
    else
        EXPECT_EQ(program_.output().find("RECEIVED SIGNAL"), std::string::npos) << program_.output();
}

/* Invoked as xrackmon the program traces the signal; as rack_test it sets
 * no handlers, so the signal ends it without a trace. */
INSTANTIATE_TEST_SUITE_P(Startup, ProcessSignal,
                         testing::Values(SignalCase{"xrackmon", SIGTERM, true},
                                         SignalCase{"xrackmon", SIGSEGV, true},
                                         SignalCase{"rack_test", SIGTERM, false}),
                         [](const testing::TestParamInfo<SignalCase> &info) {
                             return std::string(info.param.program) + "_SIG" + sigabbrev_np(info.param.sig);
                         });

} // namespace
