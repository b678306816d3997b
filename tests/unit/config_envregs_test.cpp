/*
 * config_envregs_test.cpp - register bits of an environmental image, the
 * controller image swap, and the numbered messages through which start-up
 * reports a failed configuration read.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "base/trace.h"
#include "engine/env_regs.h"

namespace {

/* The bit of each register is pinned against the simulator's images by
 * cabsim_serial_test; here, registers outside the image. */
TEST(EnvRegsTest, RegistersOutsideTheImageAreClear)
{
    unsigned int env[ENV_WORDS];
    std::memset(env, 0xFF, sizeof env);
    EXPECT_EQ(E_value(-1, env), 0);
    EXPECT_EQ(E_value(256, env), 0);
}

TEST(EnvRegsTest, ImagesAreSwappedWhenController0ReportsTheSwap)
{
    unsigned int env0[ENV_WORDS] = {1, 2, 3, 4, 5, 0x00000004u, 7, 8}; /* 0xBD = 189: word 5, bit 2 */
    unsigned int env1[ENV_WORDS] = {10, 20, 30, 40, 50, 64, 70, 80}; /* 64: register 189 clear */
    ASSERT_EQ(E_value(ENV_REG_SWAPPED, env0), 1);
    debug = 1;
    testing::internal::CaptureStdout();
    SwapEnvInfo(env0, env1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " SwapEnvInfo(): executed\n");
    debug = 0;
    EXPECT_EQ(env0[0], 10u);
    EXPECT_EQ(env0[7], 80u);
    EXPECT_EQ(env1[5], 4u);
    EXPECT_EQ(env1[7], 8u);

    /* Now controller 0's image (the former env1) has no swap bit. */
    SwapEnvInfo(env0, env1);
    EXPECT_EQ(env0[0], 10u);
    EXPECT_EQ(env1[0], 1u);
}

TEST(NxpMsgTest, ErrorRoutinePrintsTheNumberedTextWithTheSystemError)
{
    testing::internal::CaptureStdout();
    error_routine(NXP_CONFIG_READ_FAILED, 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nOOPS!!! We are experiencing system difficulties \nReading Configuration File Failed.\n");
    EXPECT_STREQ(nxp_message, "Reading Configuration File Failed.");

    /* Fork and exec failures carry the system error. */
    errno = ENOMEM;
    testing::internal::CaptureStdout();
    error_routine(10, 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::string(nxp_message), std::string("Cannot fork child process: ") + std::strerror(ENOMEM));
    errno = ENOENT;
    testing::internal::CaptureStdout();
    error_routine(11, 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Child process cannot exec: No such file or directory"), std::string::npos);
}

TEST(NxpMsgTest, NumbersOutOfRangeAreMessageZero)
{
    char dest[NXP_MESSAGE_SIZE] = "untouched";
    testing::internal::CaptureStdout();
    nxpmsg(35, dest, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nDEBUG: Message number error 35 \n"
                                                      "\nOOPS!!! We are experiencing system difficulties \n"
                                                      "Unknown Error Message\n");
    EXPECT_STREQ(dest, "Unknown Error Message");
    testing::internal::CaptureStdout();
    error_routine(-4, 1);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(nxp_message, "Unknown Error Message");
    nxpmsg(14, dest, 1);
    EXPECT_STREQ(dest, nxp_msg_text[14]);
}

void ShowFatal(const char *message)
{
    std::fprintf(stderr, "dialog: %s\n", message);
}

TEST(NxpMsgDeathTest, MessageTwentyShowsItsTextAndEndsTheProgram)
{
    nxp_fatal_dialog = ShowFatal;
    EXPECT_EXIT(error_routine(NXP_FATAL, 2), testing::ExitedWithCode(1), "dialog: Big Failure in NXP");
    nxp_fatal_dialog = nullptr;
    EXPECT_EXIT(error_routine(NXP_FATAL, 2), testing::ExitedWithCode(1), "Big Failure in NXP");
}

} // namespace
