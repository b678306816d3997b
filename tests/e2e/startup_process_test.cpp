/*
 * startup_process_test.cpp - the built program started as the console
 * starts it: missing and mismatched icon names, the debug log header, the
 * work dialog's title, and a signal ending the test build, which sets no
 * handlers.  Each test runs the program under a private console root on the
 * test's own X server.
 */
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <sys/wait.h>

#include "tests/support/x_session.h"

namespace {

constexpr milliseconds kStartTimeout{15000};
constexpr milliseconds kExitTimeout{10000};

class StartupProcess : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(x_.display() != nullptr && !root_.path().empty()); }

    void TearDown() override
    {
        if (HasFailure()) {
            x_.screenshot_failed_test();
            std::printf("program output:\n%s\n", program_.output().c_str());
        }
    }

    bool start_rack_test(const std::vector<std::string> &args)
    {
        return program_.start(std::string(XR_PROGRAM_DIR) + "/rack_test", args, {{"CONSOLE_ROOT", root_.path()}});
    }

    /* Waits for the modal error dialog (titled `title`), answers OK and
     * expects the program to end with status 1. */
    void answer_error_dialog_and_expect_exit_1(const std::string &title)
    {
        Window dialog = x_.wait_for_windows(title, 1, kStartTimeout, program_);
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
    ASSERT_TRUE(start_rack_test({"-d", "1"}));
    answer_error_dialog_and_expect_exit_1("Cabinet Status");
    EXPECT_NE(program_.output().find("A cabinet icon must be selected."), std::string::npos);
    EXPECT_NE(program_.output().find("Exit(1)\n"), std::string::npos);
}

TEST_F(StartupProcess, IconsOfTwoCabinetsShowErrorThenExitWithOne)
{
    ASSERT_TRUE(start_rack_test({"-P", "Cab003", "Cab004-A"}));
    ASSERT_TRUE(program_.wait_for_output("Icons belong to different cabinet\\.\n", kStartTimeout));
    answer_error_dialog_and_expect_exit_1("FRU Power On");
}

TEST_F(StartupProcess, DebugLevelPrintsInvocationTimeAndCabinet)
{
    ASSERT_TRUE(start_rack_test({"-d", "1", "-F", "Cab012", "Cab012-A"}));
    EXPECT_TRUE(program_.wait_for_output("^[^\n]*\n[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\n\n",
                                         kStartTimeout));
    EXPECT_TRUE(program_.output().starts_with(std::string(XR_PROGRAM_DIR) + "/rack_test -d 1 -F Cab012 Cab012-A\n"));
    EXPECT_TRUE(program_.wait_for_output("All icons belong to same cabinet\n", kStartTimeout));
    EXPECT_TRUE(program_.wait_for_output("\n Cab012 12 0\n", kStartTimeout));
    /* The work dialog carries the function's title and the cabinet. */
    EXPECT_NE(x_.wait_for_windows("FRU Replacement - Cab012", 1, kStartTimeout, program_), 0u);
}

/* The program traces a signal only when invoked as xrackmon (see the live
 * display's IdleSignal tests); as rack_test it sets no handlers. */
TEST_F(StartupProcess, SignalEndsRackTestWithoutTrace)
{
    ASSERT_TRUE(start_rack_test({"-d", "1", "Cab003"}));
    ASSERT_TRUE(program_.wait_for_output("\n Cab003 3 0\n", kStartTimeout));
    ASSERT_TRUE(program_.send_signal(SIGTERM));
    ASSERT_TRUE(program_.wait_for_exit(kExitTimeout));
    ASSERT_TRUE(WIFSIGNALED(program_.status())) << "status " << program_.status();
    EXPECT_EQ(WTERMSIG(program_.status()), SIGTERM);
    EXPECT_EQ(program_.output().find("RECEIVED SIGNAL"), std::string::npos) << program_.output();
}

} // namespace
