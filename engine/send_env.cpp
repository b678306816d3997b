/*
 * send_env.cpp - Send_env_board and its one-call wrapper send_env_board:
 * buffering commands on the cabinets' chains, running a GO (alarm
 * suspended, links opened, the scheduler, the review), and closing
 * everything down (see send_env.h).
 *
 * Serial ports are borrowed, opened and given back by the port module
 * (ports.h); management modules are reached through tessel_comm.h.
 */
#include "engine/send_env.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/trace.h"
#include "config/config.h"
#include "daemon/portreq.h"
#include "engine/rsp_check.h"
#include "engine/ports.h"
#include "engine/scheduler.h"

namespace {

constexpr int kDrainSeconds = 5;
constexpr int kReadAllRegSecond = 256;

/* Depth of engine calls in progress, for a close_all_ports that comes from
 * a nested loop inside the engine. */
volatile sig_atomic_t engine_depth = 0;

struct EngineCall {
    EngineCall() { engine_depth = engine_depth + 1; }
    ~EngineCall() { engine_depth = engine_depth - 1; }
    EngineCall(const EngineCall &) = delete;
    EngineCall &operator=(const EngineCall &) = delete;
};

int buffer_command(int cabinet_id, int env_reg, int *env_data, int cmd, int function, which_cntlr_t which);
int run_go(int nowait);
void close_everything();
int needs_ep_first(int cabinet_id);
int selected_result(int cabinet_id, int selected);

} // namespace

/* ---- the entry point ---------------------------------------------------------- */

int Send_env_board(int cabinet_id, int env_reg, int *env_data, int cmd, int function, which_cntlr_t which)
{
    EngineCall call;
    switch (function) {
    case ANOTHER_MESSAGE:
    case LAST_MESSAGE: return buffer_command(cabinet_id, env_reg, env_data, cmd, function, which);
    case CLOSE_CONNECTION: CloseAConnection(cabinet_id); return 0;
    case GETPORT_ONLY: return 0;
    case GO:
    case GO_NOWAIT: return run_go(function == GO_NOWAIT);
    case CLOSE_ALL_PORTS: close_everything(); return 0;
    default: return 0;
    }
}

int send_env_board(int cabinet_id, int env_reg, int *env_data, int cmd, int function)
{
    /* 1. What the function asks for. */
    bool close_after = false;
    bool execute = true;
    if (function == CLOSE_CONNECTION) {
        cmd = NULL_CMD;
        execute = false;
        close_after = true;
    } else if (function == LAST_MESSAGE) {
        function = ANOTHER_MESSAGE;
        close_after = true;
    } else if (function == GETPORT_ONLY) {
        function = ANOTHER_MESSAGE;
        cmd = EP;
    }

    /* 2. Which controller, and the command chained. */
    int selected = -1;
    bool per_controller_dac = cmd == DAC_ID_READ || cmd == DAC_READ_PRIMARY || cmd == DAC_READ_LEDS;
    switch (cmd) {
    case READ_ALL_REG: selected = env_reg == 0 ? 0 : env_reg == kReadAllRegSecond ? 1 : env_reg - 1; break;
    case WRITE_SN:
    case READ_SN:
    case READ_SNP:
    case WRITE_ONE_SNP:
    case READ_ONE_SNP:
    case TD:
    case DAC_ID_DOWNLOAD:
    case DAC_SET_PRIMARY: selected = env_data != nullptr ? env_data[1] - 1 : -1; break;
    default: break;
    }
    if (selected >= CNTLRS_PER_CAB)
        selected = -1;
    if (execute) {
        bool selecting = cmd == READ_ALL_REG || cmd == WRITE_SN || cmd == READ_SN || cmd == READ_SNP ||
                         cmd == WRITE_ONE_SNP || cmd == READ_ONE_SNP || cmd == TD || cmd == DAC_ID_DOWNLOAD ||
                         cmd == DAC_SET_PRIMARY;
        if (selecting && needs_ep_first(cabinet_id))
            Send_env_board(cabinet_id, 0, nullptr, EP, ANOTHER_MESSAGE, ALLCNTLRS);
        if (per_controller_dac) {
            for (int n = 0; n < CNTLRS_PER_CAB; ++n)
                Send_env_board(cabinet_id, env_reg, env_data != nullptr ? &env_data[4 + n] : nullptr, cmd, function,
                               static_cast<which_cntlr_t>(n));
        } else {
            Send_env_board(cabinet_id, env_reg, env_data, cmd, function,
                           selected >= 0 ? static_cast<which_cntlr_t>(selected) : ALLCNTLRS);
        }
        /* 3. Execute. */
        Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    }

    /* 4. Per-controller results of the DAC reads. */
    int idx = NoEnvPBs ? -1 : GetPBSlot(cabinet_id);
    if (per_controller_dac && env_data != nullptr) {
        for (int n = 0; n < CNTLRS_PER_CAB; ++n) {
            const snppb *slot = idx >= 0 ? &SendEnvParamBlocks[idx].spb[n] : nullptr;
            if (slot != nullptr && slot->NodeListIndex != -1 && slot->owntheport == 0)
                env_data[n] = GETPORT_FAILURE;
            else
                env_data[n] = slot != nullptr && slot->NodeListIndex != -1 && slot->outcome == spb_OK ? SUCCESS : FAILURE;
        }
    }

    /* 5. The result. */
    int result = selected_result(cabinet_id, selected);
    if (close_after)
        Send_env_board(cabinet_id, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);
    return result;
}

void close_all_ports()
{
    if (NoEnvPBs || SendEnvParamBlocks == nullptr)
        return;
    if (engine_depth != 0) {
        /* Called from inside the engine: its tables may be half changed and
         * the daemon request in progress may be ours, so only what the
         * outside world sees is released, without allocating or waiting. */
        ReleasePortsFromSignal();
        return;
    }
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
}

void release_ports_from_signal()
{
    if (NoEnvPBs || SendEnvParamBlocks == nullptr)
        return;
    ReleasePortsFromSignal();
}

/* ------------------------------------------------------------------------------------ */

namespace {

int buffer_command(int cabinet_id, int env_reg, int *env_data, int cmd, int function, which_cntlr_t which)
{
    if (NoEnvPBs)
        InitENVpb();
    if ((which < CNTLR0 || which > CNTLR3) && which != ALLCNTLRS) {
        dprint(1, "Send_env_board(): Invalid which argument passed. which=%d\n", static_cast<int>(which));
        return -1;
    }
    int idx = GetPBSlot(cabinet_id);
    if (idx < 0)
        return -1;
    env_param_block &pb = SendEnvParamBlocks[idx];
    if (pb.comm_type == CMIC_type)
        SebClearOutcome(cabinet_id);

    /* The automatic openers of a serial connection. */
    int first = which == ALLCNTLRS ? 0 : which;
    int last = which == ALLCNTLRS ? CNTLRS_PER_CAB - 1 : which;
    for (int c = first; c <= last; ++c) {
        snppb &slot = pb.spb[c];
        if (cmd == EP || pb.comm_type == DAMC_type || pb.comm_type == CMIC_type)
            slot.EPissued = 1;
        if (slot.NodeListIndex != -1 && slot.EPissued == 0) {
            slot.EPissued = 1;
            if (BuildOneENVpb(cabinet_id, 0, nullptr, EP, static_cast<which_cntlr_t>(c)) < 0)
                dprint(1, "Cab#%d failed sending EP\n", cabinet_id);
        }
        if (slot.NodeListIndex != -1 && slot.RRissued == 0 &&
            (pb.comm_type == JBOD_type || pb.comm_type == DISK_type)) {
            slot.RRissued = 1;
            slot.front_back = 0;
            if (BuildOneENVpb(cabinet_id, FRONT_BACK_REG, &slot.front_back, READ_FRONT_BACK,
                              static_cast<which_cntlr_t>(c)) < 0)
                dprint(1, "Cab#%d failed sending READ_FRONT_BACK\n", cabinet_id);
        }
    }

    int result = which == ALLCNTLRS ? BuildEnvPBs(cabinet_id, env_reg, env_data, cmd)
                                    : BuildOneENVpb(cabinet_id, env_reg, env_data, cmd, which);
    if (function == LAST_MESSAGE)
        CloseAConnection(cabinet_id);
    return result < 0 ? -1 : 0;
}

int run_go(int nowait)
{
    if (NoEnvPBs)
        return 0;
    go_nowait = nowait;
    SuspendedAlarm saved;
    SuspendAlarm(&saved);

    EngineFreshenWindow();
    OpenLink();
    EngineFreshenWindow();
    OpenTesselLink();
    EngineFreshenWindow();
    SendAll();
    int result = ReviewErrorsInPB();

    ResumeAlarm(&saved);
    go_nowait = 0;
    return result;
}

void close_everything()
{
    close_qmx();
    if (!NoEnvPBs) {
        SendSPtoAllCabs();
        bool written = false;
        for (int b = 0; b < CabCount; ++b)
            written = written || SendEnvParamBlocks[b].num_reg_written != 0;
        if (written)
            Clear_all_paths(kDrainSeconds);
        FreeUpAllPorts();
    }
    NoEnvPBs = 1;
}

/* Some controller of the cabinet has no port yet (or no tables exist). */
int needs_ep_first(int cabinet_id)
{
    if (NoEnvPBs)
        return 1;
    int idx = GetPBSlot(cabinet_id);
    if (idx < 0)
        return 0;
    for (const snppb &slot : SendEnvParamBlocks[idx].spb)
        if (slot.NodeListIndex != -1 && slot.owntheport == 0)
            return 1;
    return 0;
}

int selected_result(int cabinet_id, int selected)
{
    int idx = NoEnvPBs ? -1 : GetPBSlot(cabinet_id);
    if (idx < 0)
        return FAILURE;
    const env_param_block &pb = SendEnvParamBlocks[idx];
    if (selected >= 0) {
        const snppb &slot = pb.spb[selected];
        if (slot.owntheport == 0) {
            dprint(1, "s_e_b: GETPORT_FAILURE i=%d outcome =%d\n", selected, slot.outcome);
            return GETPORT_FAILURE;
        }
        if (slot.outcome != spb_OK) {
            dprint(1, "s_e_b: FAILURE i=%d outcome =%d\n", selected, slot.outcome);
            return FAILURE;
        }
        return SUCCESS;
    }
    for (const snppb &slot : pb.spb)
        if (slot.NodeListIndex != -1 && slot.outcome == spb_OK)
            return SUCCESS;
    return FAILURE;
}

} // namespace
