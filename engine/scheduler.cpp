/*
 * scheduler.cpp - the GO loop, sending and resending chain entries, reading
 * serial and management-module replies, completion checks, reply time
 * limits, the poll set and the non-blocking collection (see scheduler.h).
 * Called by Send_env_board and by the event drain of reply checking.
 */
#include "engine/scheduler.h"

#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/process.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "config/config.h"
#include "config/miscutil.h"
#include "engine/rsp_check.h"
#include "platform/qmx/qmx.h"

/* ---- constants ----------------------------------------------------------------- */

namespace {

constexpr int kEmptyReadsBeforeEnd = 10;
constexpr int kEmptyReadPauseMs = 1000;
constexpr unsigned char kNak = 21;
constexpr int kDamcLengthByte = 2;
constexpr int kDamcFrameExtra = 4;
constexpr int kEventHeader = static_cast<int>(sizeof(qmx_event_t));
constexpr int kCmdCmpltHeader = static_cast<int>(sizeof(qmx_ecmdcmplt_t));

/* Complex types and ids that make a power-off or reset shut an SMP down. */
constexpr unsigned char kSmpComplexTypes[] = {1, 2, 0x25, 0x2B, 0x2D, 0x2F, 0x31, 0x33, 0x81, 0x88};
constexpr unsigned char kSmpIdLow = 0x80, kSmpIdHigh = 0x83;
constexpr unsigned char kNodeIdLow = 4, kNodeIdHigh = 8, kWholeNode = 0x90;
constexpr unsigned char kShutdownCmd = 12;
constexpr unsigned char kFlushArg = 8;

} // namespace

/* ---- module variables -------------------------------------------------------------- */

struct pollfd *pf = nullptr;
int pf_arraysize = 0;
int pfcount = 0;
int cmic_retry_count[CMIC_RETRY_SLOTS];
int go_nowait = 0;

namespace {

/* Set when the library reported an error while reading: its descriptor is
 * left out of the rest of the wait. */
int cmic_link_failed = 0;
char rsp_buffer[RSP_BUFFER_SIZE];

/* The node list version whose names the last pass over every module block
 * gave them, and whether that pass opened the link. */
unsigned link_names_version = 0;
bool link_names_current = false;

/* A controller slot of a block. */
struct SlotRef {
    int block;
    int cntlr;
};

void collect_chained(std::vector<SlotRef> &slots);
void drop_finished(std::vector<SlotRef> &slots);
int responses_in(const std::vector<SlotRef> &slots, int option);
int longest_timeout(const std::vector<SlotRef> &slots);
int transmit(int cabidx, int cntlrid, int entry, const char *who);
void mark_undelivered(const opcmsg &msg);
int handle_ready(int i, int *cabidx, int *cntlrid);
int timeout_for(const snppb &slot, int entry);
void fail_cmic_slots();

} // namespace

int IsActiveSlot(const env_param_block &pb, const snppb &slot)
{
    return pb.inuse != 0 && pb.cabinet_id != -1 && slot.NodeListIndex != -1;
}

/* ---- the poll set ---------------------------------------------------------------------- */

void get_poll_t_space()
{
    int need = SebNumPollFds();
    if (need < 1)
        need = 1;
    if (need <= pf_arraysize)
        return;
    std::free(pf);
    pf = static_cast<struct pollfd *>(std::calloc(static_cast<std::size_t>(need), sizeof(struct pollfd)));
    if (pf == nullptr) {
        std::fprintf(stderr, "Unable to allocat space for pf\n");
        Exit(-1);
    }
    pf_arraysize = need;
}

int HaveFdsForCtlrs()
{
    int count = 0;
    for (int b : LiveBlocks()) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.inuse == 0 || pb.comm_type == CMIC_type)
            continue;
        for (const snppb &slot : pb.spb)
            if (slot.env_path != -1)
                ++count;
    }
    return count;
}

int HaveCmdsForCmics()
{
    int count = 0;
    for (int b : LiveBlocks()) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.inuse != 0 && pb.comm_type == CMIC_type && pb.spb[0].chain_len != 0)
            ++count;
    }
    return count;
}

int SebNumPollFds()
{
    if (NoEnvPBs)
        return 0;
    int library = 0;
    if (HaveCmdsForCmics() > 0 && qmx_applid != 0) {
        library = qmx_getfdnum(qmx_applid);
        if (library < 0)
            library = 0;
    }
    return library + HaveFdsForCtlrs();
}

int SebGetPollFds(struct pollfd *pf_in, int size)
{
    if (size < SebNumPollFds()) {
        dprint(1, "Not enough space in poll array.\n");
        return 0;
    }
    int count = 0;
    for (int b : LiveBlocks()) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            const snppb &slot = pb.spb[c];
            if (!IsActiveSlot(pb, slot) || slot.outcome < 0 || slot.env_path == -1 || count >= PBFD_MAP_SIZE)
                continue;
            pf_in[count] = {slot.env_path, POLLIN, 0};
            PbFdMap[count] = {b, c};
            ++count;
        }
    }
    if (HaveCmdsForCmics() > 0 && qmx_applid != 0) {
        int room = size - count;
        int library = get_qmx_poll_info(pf_in + count, room);
        if (library > room)
            library = room;
        for (int i = 0; i < library && count < PBFD_MAP_SIZE; ++i)
            PbFdMap[count++] = {PBIDX_QMX, 0};
    }
    return count;
}

/* ---- the GO loop ------------------------------------------------------------------------- */

int SendAll()
{
    /* 1. The poll set. */
    std::memset(cmic_retry_count, 0, sizeof(cmic_retry_count));
    cmic_link_failed = 0;
    get_poll_t_space();
    pfcount = SebGetPollFds(pf, pf_arraysize);
    if (pfcount == 0) {
        dprint(3, "Nothing to Send\n");
        return 0;
    }

    /* 2.-3. The first command of every chain. */
    if (MoreCmdtoSend())
        ScanNSend();
    if (go_nowait)
        return 0;

    /* 4. Replies until every controller is done, or two silent waits.  Only
     *    the slots with a chain now can keep the GO waiting (a chain does
     *    not come back within a GO), so only they are looked at. */
    int silent_waits = 0;
    std::vector<SlotRef> chained_slots;
    collect_chained(chained_slots);
    for (;;) {
        drop_finished(chained_slots);
        if (responses_in(chained_slots, aro_JUST_CHECKING) != 0)
            break;
        for (int i = 0; i < pfcount; ++i)
            pf[i].revents = 0;
        long limit_ms = scaled_ms(static_cast<long>(longest_timeout(chained_slots) / 1000) * 1000);
        long long started = monotonic_ms();
        int ready = 0;
        for (;;) {
            ready = poll(pf, static_cast<nfds_t>(pfcount), static_cast<int>(scaled_ms(POLL_SLICE_MS)));
            if (ready < 0) {
                int err = errno;
                dprint(1, "SendAll(): Poll-%s\n", std::strerror(err));
                if (err == EAGAIN || err == EINTR)
                    ready = 0;
            }
            EngineFreshenWindow();
            if (ready != 0 || monotonic_ms() - started >= limit_ms)
                break;
        }
        if (ready == 0) {
            if (silent_waits > 0) {
                responses_in(chained_slots, aro_MARK_FAILED);
                return 0;
            }
            ++silent_waits;
            responses_in(chained_slots, aro_RETRY_MISSING);
            EngineFreshenWindow();
            continue;
        }
        if (ready < 0)
            return 0;
        CheckPollEventCount(pf, pfcount, ready);
        for (int i = 0; i < pfcount; ++i) {
            if (pf[i].revents == 0)
                continue;
            int cabidx = -1, cntlrid = 0;
            handle_ready(i, &cabidx, &cntlrid);
            pf[i].revents = 0;
        }
    }
    return 0;
}

void ScanNSend()
{
    for (int b : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            snppb &slot = pb.spb[c];
            if (!IsActiveSlot(pb, slot))
                continue;
            if (slot.outcome < 0) {
                dprint(5, "Cab%d Cntlr%d has been Stopped(outcome=%d)\n", pb.cabinet_id, c, slot.outcome);
                continue;
            }
            if (slot.nexttosend >= slot.chain_len) {
                if (slot.outcome != spb_NOWAIT)
                    slot.chain_len = 0;
                continue;
            }
            int entry = slot.nexttosend;
            if (slot.cmd[entry] == DIAG) {
                /* Never transmitted: answered here. */
                if (slot.rspchain != nullptr)
                    std::snprintf(slot.rspchain[0].text, RSP_TEXT_SIZE, "AC 00");
                continue;
            }
            if (transmit(b, c, entry, "ScanNSend") == 0)
                ++slot.nexttosend;
            if (go_nowait && slot.outcome >= 0)
                slot.outcome = spb_NOWAIT;
        }
    }
}

int SendNext(int cabidx, int cntlrid, int fd, opcmsg *msgptr)
{
    (void)fd;
    (void)msgptr;
    snppb &slot = SendEnvParamBlocks[cabidx].spb[cntlrid];
    if (slot.nexttosend < slot.chain_len) {
        int entry = slot.nexttosend++;
        if (slot.cmd[entry] == DIAG) {
            if (slot.rspchain != nullptr)
                std::snprintf(slot.rspchain[0].text, RSP_TEXT_SIZE, "AC 00");
            return 0;
        }
        return transmit(cabidx, cntlrid, entry, "SendNext");
    }
    ++slot.allrcvd;
    slot.chain_len = 0;
    return 0;
}

/* ---- reading replies ------------------------------------------------------------------------ */

int GetRsp(int cabidx, int cntlrid, char *buffer, int fd)
{
    std::memset(buffer, 0, RSP_TEXT_SIZE);
    const env_param_block &pb = SendEnvParamBlocks[cabidx];
    if (pb.comm_type == CMIC_type)
        return 0;
    (void)cntlrid;
    bool ups = pb.comm_type == DAMC_type;
    int count = 0;
    int empty = 0;
    while (count < RSP_TEXT_SIZE && empty < kEmptyReadsBeforeEnd) {
        char ch = 0;
        ssize_t got = read(fd, &ch, 1);
        if (got == 1) {
            buffer[count++] = ch;
            empty = 0;
            if (!ups && ch == '\n')
                break;
            if (ups && (static_cast<unsigned char>(buffer[0]) == kNak ||
                        (count > 3 && count >= static_cast<unsigned char>(buffer[kDamcLengthByte]) + kDamcFrameExtra)))
                break;
            continue;
        }
        if (got < 0 && errno != EAGAIN && errno != EINTR) {
            dprint(1, "GetRsp():%s\n", std::strerror(errno));
            break;
        }
        ++empty;
        scaled_sleep_ms(kEmptyReadPauseMs);
        if (empty % 2 == 0) {
            dprint(1, "GetRsp:Read empty 2 times\n");
            EngineFreshenWindow();
        }
    }
    if (empty >= kEmptyReadsBeforeEnd && count < RSP_TEXT_SIZE)
        buffer[count++] = '\n';
    return count;
}

int GetCmicRsp(int fd, char *buffer, int *cabidx, int *cntlrid, int *queue_count)
{
    *queue_count = 0;
    int n = receive_qmx_msg(fd, buffer, queue_count);
    if (n <= 0) {
        if (n < 0)
            cmic_link_failed = 1;
        *queue_count = 0;
        fail_cmic_slots();
        return 0;
    }
    if (n < kEventHeader) {
        dprint(1, "GetCmicRsp: Short message of %d bytes\n", n);
        return 0;
    }
    const auto *event = reinterpret_cast<const qmx_ecmdcmplt_t *>(buffer);
    int idx = GetPBSlot(GetQmxMsgCabid(buffer));
    if (idx < 0)
        return 0;
    *cabidx = idx;
    *cntlrid = 0;
    uint32_t type = event->header.get_event_type();
    if (type != QMX_EVENT_CMDCMPLT) {
        dprint(1, "GetCmicRsp: Unexpected event type=%c\n", static_cast<char>(type));
        return 0;
    }
    if (n < kCmdCmpltHeader) {
        dprint(1, "GetCmicRsp: Short message of %d bytes\n", n);
        return 0;
    }
    uint32_t expected = static_cast<uint32_t>(SendEnvParamBlocks[idx].cmic_seqnum);
    if (event->get_sequence() != expected) {
        dprint(1, "GetCmicRsp: Unexpected sequence=%d, expected=%d\n", static_cast<int>(event->get_sequence()),
               static_cast<int>(expected));
        return 0;
    }
    return n;
}

/* ---- judging and moving on -------------------------------------------------------------------- */

int ChkRspAndSendNext(int cabidx, int cntlrid, int fd, char *buffer, int num_chars)
{
    EngineBlockTouched(cabidx);
    env_param_block &pb = SendEnvParamBlocks[cabidx];
    snppb &slot = pb.spb[cntlrid];
    int n = slot.nexttosend;

    /* 1. The verdict. */
    int code = ErrorInRsp(cabidx, cntlrid, num_chars, buffer);
    if (n == 0)
        dprint(1, "Nonreleated Rsp recvd\n");

    switch (code) {
    case GETRSP_SUCCESS:
    case CMD_CMPLT_ERR: {
        /* 2. A busy module: wait and send the same command again. */
        if (code == CMD_CMPLT_ERR && static_cast<unsigned char>(slot.cmic_cmd_status) == CMIC_NOT_READY && n > 0) {
            if (cabidx < CMIC_RETRY_SLOTS && ++cmic_retry_count[cabidx] % NOT_READY_REPORT_EVERY == 0)
                EngineWorkMsgIfOpen((std::string(slot.NodeName != nullptr ? slot.NodeName : "") + " is busy.").c_str());
            slot.retry_count = 0;
            scaled_sleep_ms(NOT_READY_PAUSE_MS);
            ResendCmd(&pb, cntlrid, RESEND_NEEDED, cabidx);
            return RESEND_NEEDED;
        }
        if (n == 0) {
            dprint(1, "Nonreleated Rsp recvd GETRSP_SUCCESS\n");
            return code;
        }
        /* The reply, kept and converted into the caller's buffer. */
        if (slot.rspchain != nullptr)
            std::memcpy(slot.rspchain[0].text, buffer,
                        static_cast<std::size_t>(num_chars < RSP_TEXT_SIZE ? (num_chars > 0 ? num_chars : 0) : RSP_TEXT_SIZE));
        if (n == slot.chain_len)
            ++slot.allrcvd;
        int entry = n - 1;
        int cmd = slot.cmd[entry];
        opcmsg &msg = slot.cmdchain[entry];
        if (cmd == CMIC_CMD_MSG)
            ConvertToHex(cmd, reinterpret_cast<int *>(msg.text), buffer, num_chars);
        else
            ConvertToHex(cmd, msg.env_data, buffer, num_chars);
        if (cmd == READ_FRONT_BACK && slot.back == -1) {
            SetBackFlag(cabidx, static_cast<which_cntlr_t>(cntlrid), msg.env_data);
            if (ConvertJBODRegs(cabidx, static_cast<which_cntlr_t>(cntlrid)) != 0) {
                dprint(1, "ConvertJBODRegs Failed\n");
                return 0;
            }
        }
        /* A caller with a result buffer judges cmd_status itself. */
        if (code == CMD_CMPLT_ERR && slot.outcome == spb_OK) {
            tessel_cmd_t cmic;
            std::memcpy(&cmic, msg.text, sizeof(cmic));
            if (cmd != CMIC_CMD_MSG || cmic.resultptr == nullptr)
                slot.outcome = spb_ERROR;
        }
        if (slot.allrcvd != 0)
            return code;
        slot.retry_count = 0;
        if (SendNext(cabidx, cntlrid, fd, &slot.cmdchain[n]) < 0)
            slot.outcome = spb_ERROR;
        return code;
    }
    case RESEND_NEEDED:
    case UNRECOGNIZED: ResendCmd(&pb, cntlrid, code, cabidx); return code;
    case REREAD_NEEDED: dprint(1, "REREAD Cabinet %d, Cntlr %d\n", pb.cabinet_id, cntlrid); return code;
    case SHORT_RSP_MSG:
        pb.env_status = RSP_TOO_SHORT;
        dprint(1, "REREAD Cabinet %d, Cntlr %d\n", pb.cabinet_id, cntlrid);
        return code;
    case UNRECOVERABLE:
        dprint(1, "UNRECOGNIZED/UNRECOVERABLE msg/rsp on Cabinet %d, Cntlr %d\n", pb.cabinet_id, cntlrid);
        slot.outcome = spb_ERROR;
        return code;
    case INCOMPLETE_READ: dprint(1, "Need more retries of GetRsp() is required\n"); return code;
    case UNRELATED_MSG: return code;
    default: dprint(1, "Case Unknown %d\n", code); return code;
    }
}

int ResendCmd(env_param_block *pbptr, int cntlrid, int errorcode, int cabidx)
{
    snppb &slot = pbptr->spb[cntlrid];
    if (slot.retry_count < MAX_RESENDS && slot.nexttosend > 0) {
        --slot.nexttosend;
        ++slot.retry_count;
        int entry = slot.nexttosend;
        dprint(1, "RESEND to Cab %d,Cntlr %d cmd# %d: %s\n", pbptr->cabinet_id, cntlrid, entry,
               slot.cmd[entry] <= HIGHEST_OPC_CMD ? opcCMD_strs[slot.cmd[entry]] : "?");
        slot.outcome = static_cast<short>(SendNext(cabidx, cntlrid, slot.env_path, &slot.cmdchain[entry]));
        return 1;
    }
    dprint(1, "TOO MANY RETRIES on Cabinet %d, Cntlr %d\n", pbptr->cabinet_id, cntlrid);
    if (errorcode == UNRECOGNIZED) {
        pbptr->env_status = INVALID_CMD;
        slot.outcome = spb_UNKNOWN_CMD;
    } else {
        slot.outcome = spb_ERROR;
    }
    return 0;
}

int MoreCmdtoSend()
{
    for (int b : LiveBlocks()) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        for (const snppb &slot : pb.spb)
            if (IsActiveSlot(pb, slot) && slot.outcome >= 0 && slot.nexttosend < slot.chain_len)
                return 1;
    }
    return 0;
}

int AllRspRcvd(int option)
{
    std::vector<SlotRef> slots;
    collect_chained(slots);
    return responses_in(slots, option);
}

/* ---- reply limits ------------------------------------------------------------------------------ */

void CheckPollEventCount(const struct pollfd *pf, int pfcount, int ready)
{
    int with_events = 0;
    for (int i = 0; i < pfcount; ++i)
        if (pf[i].revents != 0)
            ++with_events;
    if (with_events != ready) {
        std::fprintf(stderr, "Unmatched Pollfd Revent count\n");
        Exit(1);
    }
}

int seb_poll_timeout()
{
    std::vector<SlotRef> slots;
    collect_chained(slots);
    return longest_timeout(slots);
}

int IsSmpShutdownInvolved(const tessel_cmd_t *cmd)
{
    if (cmd->cmdtype == kShutdownCmd)
        return 1;
    if (cmd->cmdtype != C_POWER_OFF && cmd->cmdtype != C_RESET)
        return 0;
    for (unsigned char type : kSmpComplexTypes)
        if (cmd->complex_type == type)
            return 1;
    if (cmd->complex_id >= kSmpIdLow && cmd->complex_id <= kSmpIdHigh)
        return 1;
    return cmd->complex_id >= kNodeIdLow && cmd->complex_id <= kNodeIdHigh && cmd->subcomplex == kWholeNode ? 1 : 0;
}

int IsSmpFlushInvolved(const tessel_cmd_t *cmd)
{
    if (cmd->cmdtype != C_POWER_OFF && cmd->cmdtype != C_RESET)
        return 0;
    return cmd->dataptr != nullptr && cmd->datalen >= 1 && static_cast<unsigned char>(cmd->dataptr[0]) == kFlushArg ? 1
                                                                                                                  : 0;
}

/* ---- non-blocking collection ----------------------------------------------------------------------- */

int SebGetNextResponse(int *cabinet_id, int *cab_done, int *all_done)
{
    *cabinet_id = -1;
    *cab_done = 0;
    *all_done = 0;
    std::memset(cmic_retry_count, 0, sizeof(cmic_retry_count));
    if (NoEnvPBs) {
        *all_done = 1;
        dprint(3, "No commands outstanding\n");
        return 0;
    }
    go_nowait = 1;

    /* 1. A finished controller not yet reported. */
    bool reported = false;
    for (int b : LiveBlocks()) {
        if (reported)
            break;
        env_param_block &pb = SendEnvParamBlocks[b];
        for (snppb &slot : pb.spb) {
            if (IsActiveSlot(pb, slot) && slot.outcome == spb_NOWAIT && slot.allrcvd != 0) {
                slot.outcome = spb_OK;
                *cabinet_id = pb.cabinet_id;
                *cab_done = 1;
                reported = true;
                break;
            }
        }
    }

    /* 2. Otherwise one ready descriptor, without waiting. */
    if (!reported) {
        get_poll_t_space();
        pfcount = SebGetPollFds(pf, pf_arraysize);
        int ready;
        do {
            ready = poll(pf, static_cast<nfds_t>(pfcount), 0);
        } while (ready < 0 && errno == EAGAIN);
        for (int i = 0; ready > 0 && i < pfcount; ++i) {
            if (pf[i].revents == 0)
                continue;
            int cabidx = -1, cntlrid = 0;
            handle_ready(i, &cabidx, &cntlrid);
            pf[i].revents = 0;
            if (cabidx >= 0) {
                snppb &slot = SendEnvParamBlocks[cabidx].spb[cntlrid];
                *cabinet_id = SendEnvParamBlocks[cabidx].cabinet_id;
                *cab_done = slot.allrcvd;
                if (slot.outcome == spb_NOWAIT && slot.allrcvd != 0)
                    slot.outcome = spb_OK;
            }
            break;
        }
    }

    /* 4. Everything in? */
    int result = 0;
    *all_done = AllRspRcvd(aro_INCLUDE_NOWAIT);
    if (*all_done)
        result = ReviewErrorsInPB();
    go_nowait = 0;
    return result;
}

int SebClearNowait()
{
    if (NoEnvPBs)
        return 0;
    for (int b : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        for (snppb &slot : pb.spb) {
            if (slot.outcome != spb_NOWAIT)
                continue;
            std::string name = slot.NodeName != nullptr ? slot.NodeName : "";
            if (slot.allrcvd != 0) {
                slot.outcome = spb_OK;
                EngineWorkMsgIfOpen((name + " response not handled.").c_str());
            } else {
                slot.outcome = spb_ERROR;
                EngineWorkMsgIfOpen((name + " doesn't respond.").c_str());
            }
        }
    }
    return ReviewErrorsInPB();
}

void SebClearOutcome(int cabid)
{
    int idx = GetPBSlot(cabid);
    if (idx < 0)
        return;
    SendEnvParamBlocks[idx].spb[0].outcome = spb_OK;
    SendEnvParamBlocks[idx].env_status = BOTH_PATHS_GOOD;
}

/* ---- the management-module link ------------------------------------------------------------------------ */

int OpenTesselLink()
{
    bool wanted = false;
    for (int b : LiveBlocks()) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.inuse != 0 && pb.comm_type == CMIC_type && pb.spb[0].chain_len != 0)
            wanted = true;
    }
    if (!wanted)
        return 0;

    int result = qmx_applid != 0 ? 1 : register_for_cmic_cmds();
    /* A quiet block already holds what an open link gives it; every block
     * is set when the link failed or the names may have changed. */
    bool every_block = result <= 0 || !link_names_current || link_names_version != NodeListVersion;
    std::vector<int> all;
    if (every_block) {
        for (int b = 0; b < CabCount; ++b)
            all.push_back(b);
        link_names_current = result > 0;
        link_names_version = NodeListVersion;
    }
    for (int b : every_block ? all : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.inuse == 0 || pb.comm_type != CMIC_type)
            continue;
        if (every_block)
            EngineBlockTouched(b);
        snppb &slot = pb.spb[0];
        std::free(slot.cmic_complex_status);
        slot.cmic_complex_status = nullptr;
        slot.cmic_cmd_status = CMIC_UNDELIVERABLE;
        slot.cmic_last_cmd = 0;
        if (result > 0) {
            if (slot.outcome != spb_NOWAIT)
                slot.outcome = spb_OK;
            if (slot.NodeListIndex >= 0 && slot.NodeListIndex < NodeCount && NodeList[slot.NodeListIndex] != nullptr) {
                std::snprintf(slot.name, sizeof(slot.name), "%s", NodeText(NodeList[slot.NodeListIndex]->NodeName));
                slot.NodeName = slot.name;
            }
            slot.owntheport = 1;
            pb.env_status = BOTH_PATHS_GOOD;
        } else {
            slot.outcome = spb_ERROR;
            slot.owntheport = 0;
            pb.env_status = REGISTRATION_ERR;
            /* Nothing can be delivered: say so in every result buffer. */
            for (int e = 0; slot.cmdchain != nullptr && e < slot.chain_len; ++e)
                if (slot.cmd[e] == CMIC_CMD_MSG)
                    mark_undelivered(slot.cmdchain[e]);
        }
    }
    return result;
}

/* ---- alarms ------------------------------------------------------------------------------------------------ */

void SuspendAlarm(SuspendedAlarm *saved)
{
    saved->remaining = alarm(0);
    saved->started_ms = monotonic_ms();
    if (saved->remaining == 0)
        return;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGALRM, &ignore, &saved->action);
}

void ResumeAlarm(const SuspendedAlarm *saved)
{
    if (saved->remaining == 0)
        return;
    sigaction(SIGALRM, &saved->action, nullptr);
    long long spent = (monotonic_ms() - saved->started_ms + 500) / 1000;
    long long left = static_cast<long long>(saved->remaining) - spent;
    alarm(static_cast<unsigned>(left < 1 ? 1 : left));
}

/* --------------------------------------------------------------------------------------------------------------- */

namespace {

/* Sends chain entry `entry` of a slot: 0, or -1 with the slot failed. */
int transmit(int cabidx, int cntlrid, int entry, const char *who)
{
    env_param_block &pb = SendEnvParamBlocks[cabidx];
    snppb &slot = pb.spb[cntlrid];
    opcmsg &msg = slot.cmdchain[entry];
    int cmd = slot.cmd[entry];
    slot.last_cmd = static_cast<unsigned char>(cmd);

    if (pb.comm_type == CMIC_type) {
        tessel_cmd_t cmic;
        std::memcpy(&cmic, msg.text, sizeof(cmic));
        unsigned long sequence = 0;
        int result = send_qmx_cmd(get_cabinet_system_id(pb.cabinet_id), pb.cabinet_id, &cmic, &sequence);
        if (result >= 1) {
            pb.cmic_seqnum = sequence;
            slot.cmic_last_cmd = static_cast<char>(cmic.cmdtype);
            return 0;
        }
        slot.outcome = spb_ERROR;
        mark_undelivered(msg);
        std::string name = slot.NodeName != nullptr ? slot.NodeName : "";
        if (result == 0)
            EngineWorkMsgIfOpen((name + " not alive").c_str());
        else
            EngineWorkMsgIfOpen((name + " send command failed: " + ascii_qmx_err(qmx_errno)).c_str());
        return -1;
    }

    int length = OpcTextLength(&pb, &msg, cmd);
    if (slot.env_path < 0 || write(slot.env_path, msg.text, static_cast<std::size_t>(length)) != length) {
        dprint(1, "%s: write %s\n", who, std::strerror(errno));
        slot.outcome = spb_ERROR;
        return -1;
    }
    return 0;
}

/* cmd_status 17 in the entry's result buffer, when it has room for it. */
void mark_undelivered(const opcmsg &msg)
{
    tessel_cmd_t cmic;
    std::memcpy(&cmic, msg.text, sizeof(cmic));
    if (cmic.resultptr != nullptr && cmic.resultlen >= kCmdCmpltHeader)
        reinterpret_cast<qmx_ecmdcmplt_t *>(cmic.resultptr)->set_cmd_status(CMIC_UNDELIVERABLE);
}

/* Reads and handles what poll entry i has; the block and controller of the
 * last reply handled go to *cabidx, *cntlrid. */
int handle_ready(int i, int *cabidx, int *cntlrid)
{
    if (PbFdMap[i].pbidx == PBIDX_QMX) {
        int queued = 0;
        do {
            int idx = -1, cntlr = 0;
            int n = GetCmicRsp(pf[i].fd, rsp_buffer, &idx, &cntlr, &queued);
            if (n > 0) {
                ChkRspAndSendNext(idx, cntlr, pf[i].fd, rsp_buffer, n);
                *cabidx = idx;
                *cntlrid = cntlr;
            }
            if (cmic_link_failed) {
                /* The link is gone: stop polling it. */
                pf[i].fd = -1;
                break;
            }
        } while (queued > 0);
        return 0;
    }

    int idx = PbFdMap[i].pbidx;
    int cntlr = PbFdMap[i].cntlr;
    *cabidx = idx;
    *cntlrid = cntlr;
    snppb &slot = SendEnvParamBlocks[idx].spb[cntlr];
    int code;
    do {
        int n = GetRsp(idx, cntlr, rsp_buffer, pf[i].fd);
        if (n == 0 && (pf[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            /* A port that hung up answers nothing more. */
            dprint(1, "Cab%d Cntlr%d: port closed\n", SendEnvParamBlocks[idx].cabinet_id, cntlr);
            slot.outcome = spb_ERROR;
            pf[i].fd = -1;
            return 0;
        }
        code = ChkRspAndSendNext(idx, cntlr, pf[i].fd, rsp_buffer, n);
    } while (code == REREAD_NEEDED);
    return 0;
}

int timeout_for(const snppb &slot, int entry)
{
    switch (slot.cmd[entry]) {
    case POWER_ALL_DISKS: return CU_TIMEOUT;
    case DAC_ID_DOWNLOAD: return DAC_RESET_TIMEOUT;
    case CMIC_CMD_MSG: break;
    default: return ENV_TIMEOUT;
    }
    tessel_cmd_t cmic;
    std::memcpy(&cmic, slot.cmdchain[entry].text, sizeof(cmic));
    if (IsSmpShutdownInvolved(&cmic))
        return SMP_SHUTDOWN_TIMEOUT;
    switch (cmic.cmdtype) {
    case C_UPDATE_FLASH: return CMIC_PROM_FLASH_TIMEOUT;
    case C_POWER_ON: return CMIC_POWER_ON_TIMEOUT;
    case C_POWER_OFF: return CMIC_POWER_OFF_TIMEOUT;
    case C_RESET: return CMIC_RESET_TIMEOUT;
    case C_UPDATE_CONFIG: return CMIC_UPDATE_CONFIG_TIMEOUT;
    case C_WRITE_BYTE_STREAM: return CMIC_BYTE_STREAM_TIMEOUT;
    case C_REVISION_LEVEL: return CMIC_RD_SEEPROM_TIMEOUT;
    case C_RESCAN: return CMIC_RESCAN_TIMEOUT;
    case C_UPDATE_SEEPROM: return CMIC_WR_SEEPROM_TIMEOUT;
    default: return CMIC_CMD_TIMEOUT;
    }
}

void fail_cmic_slots()
{
    for (int b = 0; b < CabCount; ++b) {
        env_param_block &pb = SendEnvParamBlocks[b];
        snppb &slot = pb.spb[0];
        if (pb.comm_type == CMIC_type && IsActiveSlot(pb, slot) && slot.outcome >= 0) {
            EngineBlockTouched(b);
            slot.outcome = spb_ERROR;
            dprint(1, "GetCmicRsp: Failed to get response from CMIC\n");
        }
    }
}

/* The active slots with a chain, in block and controller order. */
void collect_chained(std::vector<SlotRef> &slots)
{
    slots.clear();
    for (int b : LiveBlocks()) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c)
            if (IsActiveSlot(pb, pb.spb[c]) && pb.spb[c].chain_len != 0)
                slots.push_back(SlotRef{b, c});
    }
}

/* Leaves out the slots whose last reply is in or whose chain is gone:
 * within a GO neither comes back. */
void drop_finished(std::vector<SlotRef> &slots)
{
    std::erase_if(slots, [](const SlotRef &r) {
        const snppb &slot = SendEnvParamBlocks[r.block].spb[r.cntlr];
        return slot.chain_len == 0 || slot.allrcvd != 0;
    });
}

/* The completion check of AllRspRcvd over these slots. */
int responses_in(const std::vector<SlotRef> &slots, int option)
{
    int done = 1;
    for (const SlotRef &r : slots) {
        env_param_block &pb = SendEnvParamBlocks[r.block];
        int c = r.cntlr;
        snppb &slot = pb.spb[c];
        if (!IsActiveSlot(pb, slot) || slot.chain_len == 0)
            continue;
        if (slot.allrcvd == 0 && slot.outcome >= 0 && slot.outcome != spb_NOWAIT) {
            done = 0;
            const char *name = slot.NodeName != nullptr ? slot.NodeName : "";
            if (option == aro_JUST_CHECKING) {
                dprint(6, "Cab[%d] Cntlr[%d] waiting\n", pb.cabinet_id, c);
            } else if (option == aro_RETRY_MISSING) {
                if (pb.comm_type != CMIC_type)
                    ResendCmd(&pb, c, RESEND_NEEDED, r.block);
                EngineWorkMsgIfOpen((std::string(name) + " doesn't respond.").c_str());
                dprint(1, "Cab[%d] Cntlr[%d] Lost Rsps, retry\n", pb.cabinet_id, c);
            } else if (option == aro_MARK_FAILED) {
                slot.outcome = spb_ERROR;
                pb.env_status = RSP_TIMEOUT;
                dprint(1, "Cab[%d] Cntlr[%d] Lost Rsps\n", pb.cabinet_id, c);
            }
        } else if (option == aro_INCLUDE_NOWAIT && slot.outcome == spb_NOWAIT) {
            done = 0;
        }
    }
    return done;
}

/* The reply limit of seb_poll_timeout over these slots. */
int longest_timeout(const std::vector<SlotRef> &slots)
{
    int longest = 0;
    for (const SlotRef &r : slots) {
        const env_param_block &pb = SendEnvParamBlocks[r.block];
        const snppb &slot = pb.spb[r.cntlr];
        if (!IsActiveSlot(pb, slot) || slot.chain_len == 0 || slot.allrcvd != 0 || slot.outcome != spb_OK)
            continue;
        int entry = slot.nexttosend - 1;
        if (entry < 0 || entry >= slot.chain_len) {
            dprint(1, "poll_timeout: bad cmdidx=%d, chain_len=%d\n", entry, slot.chain_len);
            assert(entry >= 0 && entry < slot.chain_len);
            continue;
        }
        int limit = timeout_for(slot, entry);
        if (limit > longest)
            longest = limit;
    }
    return longest;
}

} // namespace
