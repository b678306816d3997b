/*
 * env_regs.cpp - register bits of an environmental image, the controller
 * image swap, and the numbered messages (nxpmsg, error_routine).
 */
#include "engine/env_regs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/process.h"
#include "base/trace.h"
#include "engine/send_env.h"

const char *const nxp_msg_text[NXP_MSG_COUNT] = {
    "Unknown Error Message",
    "Unknown Parameter",
    "Reading Configuration File Failed.",
    "Can not determine processor type.",
    "Cannot determine HostType for VPR",
    "Cannot determine HostType for APP",
    "Cannot determine HostType for DiskArray",
    "Cannot determine HostType for JBOD",
    "No Power Option",
    "No Cabinets",
    "Cannot fork child process",
    "Child process cannot exec",
    "Number of arguments passed to Child are wrong",
    "Can not apply power to Batteries.",
    "Bad HostType Argument",
    "\t",
    "\t",
    "\t",
    "Child Process failed.",
    "Can not access Environmental Board. ",
    "Big Failure in NXP",
    "Cannot determine HostType for QEP",
    "Cannot determine HostType for PWR",
    "Cannot determine HostType for SNP",
    "Cannot determine HostType for DAMC",
    "Cannot determine HostType for QNA",
    "Cannot determine HostType for SMP",
    "Cannot determine HostType for CMIC",
    "Cannot determine HostType for FALX",
    "Cannot determine HostType for JBDP",
    "Cannot determine HostType for QNAS",
    "Cannot determine HostType for QNB",
    "Cannot determine HostType for EMC",
    "Cannot determine HostType for SMC",
    "Cannot determine HostType for MB",
    "LAST MESSAGE",
};

char nxp_message[NXP_MESSAGE_SIZE];
void (*nxp_fatal_dialog)(const char *message) = nullptr;

namespace {

constexpr int kForkFailed = 10;
constexpr int kExecFailed = 11;

int CheckedNumber(int number);

int CheckedNumber(int number)
{
    if (number >= NXP_LAST_MESSAGE || number < 0) {
        std::printf("\nDEBUG: Message number error %d \n", number);
        std::fflush(stdout);
        return 0;
    }
    return number;
}

} // namespace

/* ------------------------------------------------------------------------ */

int E_value(int reg, const unsigned int *env)
{
    if (env == nullptr || reg < 0 || reg >= ENV_REGISTERS)
        return 0;
    return static_cast<int>((env[reg / 32] >> (31 - reg % 32)) & 1u);
}

void SwapEnvInfo(unsigned int *env0, unsigned int *env1)
{
    if (E_value(ENV_REG_SWAPPED, env0) != 1)
        return;
    for (int i = 0; i < ENV_WORDS; ++i) {
        unsigned int word = env0[i];
        env0[i] = env1[i];
        env1[i] = word;
    }
    dprint(1, "SwapEnvInfo(): executed\n");
}

void nxpmsg(int number, char *dest, int cab)
{
    number = CheckedNumber(number);
    if (number == NXP_FATAL) {
        if (dest != nxp_message)
            std::snprintf(nxp_message, sizeof nxp_message, "%s", nxp_msg_text[number]);
        /* The process serves the one cabinet `cab`: giving back every port
         * it holds closes that cabinet's connection. */
        (void)cab;
        close_all_ports();
        if (nxp_fatal_dialog != nullptr)
            nxp_fatal_dialog(nxp_message);
        else
            std::fprintf(stderr, "%s\n", nxp_message);
        Exit(1);
    }
    if (dest == nullptr)
        dest = nxp_message;
    if (dest != nxp_message)
        std::snprintf(dest, NXP_MESSAGE_SIZE, "%s", nxp_msg_text[number]);
    std::printf("\nOOPS!!! We are experiencing system difficulties \n%s\n", dest);
    std::fflush(stdout);
}

void error_routine(int number, int cab)
{
    int error = errno;
    int checked = (number >= 0 && number < NXP_LAST_MESSAGE) ? number : 0;
    if (checked == kForkFailed || checked == kExecFailed)
        std::snprintf(nxp_message, sizeof nxp_message, "%s: %s", nxp_msg_text[checked], std::strerror(error));
    else
        std::snprintf(nxp_message, sizeof nxp_message, "%s", nxp_msg_text[checked]);
    nxpmsg(number, nxp_message, cab);
}
