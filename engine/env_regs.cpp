/*
 * env_regs.cpp - register bits of an environmental image, the controller
 * image swap and combination, the register reads of one or many cabinets,
 * the numbered messages (nxpmsg, error_routine) and the host labels of the
 * detail views.
 */
#include "engine/env_regs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/process.h"
#include "base/trace.h"
#include "config/config.h"
#include "engine/rsp_check.h"
#include "engine/send_env.h"

static_assert(ENV_WORDS == ENV_IMAGE_WORDS, "a slot's image and a caller's image have the same size");
static_assert(ENV_WORDS * 32 == ENV_REGISTERS);

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
void ReportBuffering(const char *line);
void ClearImage(unsigned int *image);
void CopyImage(unsigned int *to, const unsigned int *from);
void TraceImage(const char *title, const unsigned int *image);
void BufferCabinet(int cabinet, int *result, int *buffered);
int BufferSelected(int cabtype, const int *cablist, int *buffered);

int CheckedNumber(int number)
{
    if (number >= NXP_LAST_MESSAGE || number < 0) {
        std::printf("\nDEBUG: Message number error %d \n", number);
        std::fflush(stdout);
        return 0;
    }
    return number;
}

/* A read that could not be put on a chain: on the terminal and in the work
 * dialog. */
void ReportBuffering(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
    EngineWorkMsg(line);
}

void ClearImage(unsigned int *image)
{
    if (image == nullptr)
        return;
    for (int i = 0; i < ENV_WORDS; ++i)
        image[i] = 0;
}

void CopyImage(unsigned int *to, const unsigned int *from)
{
    for (int i = 0; i < ENV_WORDS; ++i)
        to[i] = from != nullptr ? from[i] : 0;
}

void TraceImage(const char *title, const unsigned int *image)
{
    dprint(1, "%s", title);
    for (int i = 0; i < ENV_WORDS; ++i)
        dprint(1, "\n  %.8x", image != nullptr ? image[i] : 0u);
}

/* READ_ALL_REG for every controller of one cabinet, each into its slot's
 * image.  A cabinet without a block has no controller to read. */
void BufferCabinet(int cabinet, int *result, int *buffered)
{
    int idx = GetPBSlot(cabinet);
    if (idx < 0)
        return;
    env_param_block &pb = SendEnvParamBlocks[idx];
    for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
        snppb &slot = pb.spb[c];
        if (slot.NodeListIndex == -1)
            continue;
        ClearImage(slot.env);
        *result = Send_env_board(cabinet, 0, reinterpret_cast<int *>(slot.env), READ_ALL_REG, ANOTHER_MESSAGE,
                                 static_cast<which_cntlr_t>(c));
        if (*result == 0) {
            ++*buffered;
            continue;
        }
        char line[64];
        std::snprintf(line, sizeof line, "Unable to buffer cmds to Cab%.3d cntlr %d", cabinet, c);
        ReportBuffering(line);
        if (slot.outcome >= 0)
            slot.outcome = spb_ERROR;
        EngineBlockTouched(idx);
    }
}

int BufferSelected(int cabtype, const int *cablist, int *buffered)
{
    int result = 0;
    if (cabtype == -1 && cablist == nullptr)
        return 0;
    if (NoEnvPBs)
        InitENVpb();
    if (SendEnvParamBlocks == nullptr)
        return 0;
    int count = CabCount < MAX_CABINETS ? CabCount : MAX_CABINETS;
    if (cabtype == -1) {
        for (int i = 0; i < count && cablist[i] != -1; ++i)
            BufferCabinet(cablist[i], &result, buffered);
        return result;
    }
    for (int i = 0; i < count; ++i)
        if (Cabid_Pool[i].cabid != -1 && Cabid_Pool[i].cabtype == cabtype)
            BufferCabinet(Cabid_Pool[i].cabid, &result, buffered);
    return result;
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

void OrBothEnv(int cab, unsigned int *env, const unsigned int *env0, const unsigned int *env1)
{
    (void)cab;
    if (env == nullptr)
        return;
    for (int i = 0; i < ENV_WORDS; ++i)
        env[i] = (env0 != nullptr ? env0[i] : 0u) | (env1 != nullptr ? env1[i] : 0u);
}

void DisplayBothEnv(int cab, const unsigned int *env, const unsigned int *env0, const unsigned int *env1)
{
    if (debug < 1)
        return;
    dprint(1, "\nCab%.3d", cab);
    TraceImage("\nEnvironmental Array 0:", env0);
    TraceImage("\nEnvironmental Array 1:", env1);
    TraceImage("\nOR'd ARRAY:", env);
    dprint(1, "\n");
}

/* ---- reading the images ------------------------------------------------------ */

int GetEnvRegs(int cabtype, const int *cablist)
{
    int buffered = 0;
    return BufferSelected(cabtype, cablist, &buffered);
}

int Read_All_Envs(cabproc *cptr, int cabcount)
{
    if (cptr == nullptr || cabcount <= 0)
        return 0;
    int buffered = 0;
    for (int r = 0; r < cabcount; ++r) {
        const int list[2] = {cptr[r].cabid, -1};
        BufferSelected(-1, list, &buffered);
    }
    int errors = 0;
    if (buffered > 0) {
        errors = Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
        if (errors != 0)
            MarkErrStat(cptr, cabcount);
    }
    for (int r = 0; r < cabcount; ++r) {
        cabproc &rec = cptr[r];
        int idx = NoEnvPBs || SendEnvParamBlocks == nullptr ? -1 : GetPBSlot(rec.cabid);
        const snppb *slots = idx >= 0 ? SendEnvParamBlocks[idx].spb : nullptr;
        CopyImage(rec.env0, slots != nullptr && slots[0].NodeListIndex != -1 ? slots[0].env : nullptr);
        CopyImage(rec.env1, slots != nullptr && slots[1].NodeListIndex != -1 ? slots[1].env : nullptr);
        SwapEnvInfo(rec.env0, rec.env1);
        OrBothEnv(rec.cabid, rec.env, rec.env0, rec.env1);
    }
    return errors;
}

int Read_environmental(int cab, unsigned int *env, unsigned int *env0, unsigned int *env1)
{
    ClearImage(env);
    ClearImage(env0);
    ClearImage(env1);
    if (env0 == nullptr || env1 == nullptr)
        return -1;
    bool failed0 = Send_env_board(cab, 0, reinterpret_cast<int *>(env0), READ_ALL_REG, ANOTHER_MESSAGE, CNTLR0) != 0;
    bool failed1 =
        Send_env_board(cab, ENV_REGISTERS, reinterpret_cast<int *>(env1), READ_ALL_REG, ANOTHER_MESSAGE, CNTLR1) != 0;
    char line[64];
    if (failed0 && failed1) {
        std::snprintf(line, sizeof line, "Unable to buffer cmds to both cntlrs on Cab%.3d", cab);
        ReportBuffering(line);
        return -1;
    }
    if (!failed0 && !failed1)
        return 0;
    int which = failed0 ? 0 : 1;
    std::snprintf(line, sizeof line, "Unable to buffer cmds to Cab%.3d cntlr %d", cab, which);
    ReportBuffering(line);
    return failed0 ? 1 : 2;
}

void read_environmental(int cab, unsigned int *env, unsigned int *env0, unsigned int *env1)
{
    ClearImage(env0);
    ClearImage(env1);
    int result0 = send_env_board(cab, 0, reinterpret_cast<int *>(env0), READ_ALL_REG, ANOTHER_MESSAGE);
    int result1 = send_env_board(cab, ENV_REGISTERS, reinterpret_cast<int *>(env1), READ_ALL_REG, ANOTHER_MESSAGE);
    if (result0 != 0 && result1 != 0) {
        char text[64];
        int status = 1;
        if ((result0 & result1) == GETPORT_FAILURE) {
            std::snprintf(text, sizeof text, "Unable to get ports.");
            status = GETPORT_FAILURE;
        } else {
            send_env_board(cab, 0, nullptr, 0, CLOSE_CONNECTION);
            std::snprintf(text, sizeof text, "Unable to communicate with Cabinet %d.", cab);
        }
        EngineErrorDialog(text);
        /* No port of this program stays on loan once it has ended. */
        close_all_ports();
        Exit(status);
    }
    OrBothEnv(cab, env, env0, env1);
    if (debug >= 1) {
        for (int reg = 0; reg < ENV_REGISTERS; ++reg)
            dprint(1, "Register %.2X: cntlr0=%d cntlr1=%d\n", reg, E_value(reg, env0), E_value(reg, env1));
    }
    DisplayBothEnv(cab, env, env0, env1);
}

/* ---- messages ------------------------------------------------------------------ */

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

/* ---- host labels ---------------------------------------------------------------- */

int WidgetType = 0;
char HOST_type[HOST_TYPE_LABEL_SIZE] = "";

void get_host_widget(int hosttype, int subtype)
{
    struct HostWidget {
        const int *hosttype;
        int widget;
        const char *label;
    };
    /* The host-type codes come from the configuration at run time. */
    const HostWidget table[] = {
        {&VPR_type, 11, "VPR"},  {&APP_type, 12, "APP"},   {&DISK_type, 13, "DAC"},    {&JBOD_type, 14, "JBOD"},
        {&SNP_type, 10, "SNP"},  {&CMIC_type, 31, "CMIC"}, {&QNAS_type, 33, "QUONET"}, {&QNB_type, 34, "QUONET"},
        {&FALX_type, 32, "FALX"}, {&JBDP_type, 35, "JBDP"}, {&SMP_type, 30, "SMP"},     {&QNA_type, 29, "QNA"},
    };
    constexpr int kMixedSubtype = 1;
    if (hosttype < 0) /* not a host type: the codes of absent kinds are -1 */
        return;
    if (hosttype == DAMC_type) {
        WidgetType = subtype == kMixedSubtype ? 7 : 13;
        std::snprintf(HOST_type, sizeof HOST_type, "%s", subtype == kMixedSubtype ? "MIXED" : "DAMC");
        return;
    }
    for (const HostWidget &entry : table) {
        if (*entry.hosttype != hosttype)
            continue;
        WidgetType = entry.widget;
        std::snprintf(HOST_type, sizeof HOST_type, "%s", entry.label);
        return;
    }
}
