/*
 * rsp_check.cpp - reply checking, conversion, disk-array side detection and
 * register renumbering, the event drain after a connection closes, the
 * end-of-GO review and the status marking of the environmental reads (see
 * rsp_check.h).  Called by the scheduler and Send_env_board.
 */
#include "engine/rsp_check.h"

#include <poll.h>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "base/process.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "config/config.h"
#include "daemon/fifo.h"
#include "engine/scheduler.h"
#include "platform/qmx/qmx.h"

/* ---- constants ----------------------------------------------------------------- */

const std::array<uint8_t, 256> jbod_translate = {
    /* 0x */ 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
    /* 1x */ 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x19, 0x18, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    /* 2x */ 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x78, 0x79, 0x7A, 0x7B,
    /* 3x */ 0x7C, 0x7D, 0x7E, 0x7F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x3E, 0x3F,
    /* 4x */ 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    /* 5x */ 0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    /* 6x */ 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x6C, 0x69, 0x6A, 0x6B, 0x68, 0x6D, 0x6E, 0x6F,
    /* 7x */ 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x34,
    /* 8x */ 0x82, 0x83, 0x80, 0x81, 0x84, 0x85, 0x86, 0x87, 0x8C, 0x8D, 0x8E, 0x8F, 0x88, 0x89, 0x8A, 0x8B,
    /* 9x */ 0x90, 0x91, 0x92, 0x93, 0x98, 0x99, 0x9A, 0x9B, 0x94, 0x95, 0x96, 0x97, 0x9C, 0x9D, 0x9E, 0x9F,
    /* Ax */ 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,
    /* Bx */ 0xA6, 0xA7, 0xA8, 0xA9, 0xB6, 0xB7, 0xB4, 0xB5, 0xBA, 0xBB, 0xB8, 0xB9, 0xBC, 0xBD, 0xBE, 0xBF,
    /* Cx */ 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    /* Dx */ 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    /* Ex */ 0xE2, 0xE3, 0xE0, 0xE1, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    /* Fx */ 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xFA, 0xFB, 0xF8, 0xF9, 0xFC, 0xFD, 0xFE, 0xFF,
};

const std::array<uint8_t, VPR_CLEAR_EC_SIZE> vpr_clear_EC = {
    0x00, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x01, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x04, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x05, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x08, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x09, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x0C, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x0D, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x10, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x11, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x14, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x15, 0x0C, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93,
    0x02, 0x02, 0x94, 0x95,
    0x06, 0x02, 0x96, 0x97,
    0x0A, 0x02, 0x98, 0x99,
    0x0E, 0x02, 0x9A, 0x9B,
    0x12, 0x02, 0x9C, 0x9D,
    0x16, 0x02, 0x9E, 0x9F,
    0x03, 0x01, 0xE0,
    0x07, 0x01, 0xE1,
    0x0B, 0x01, 0xE2,
    0x0F, 0x01, 0xE3,
    0x13, 0x01, 0xE4,
    0x17, 0x01, 0xE5,
    0x1B, 0x01, 0xE6,
    0x1F, 0x07, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE,
    0x60, 0x02, 0xEE, 0xEF,
    0x20, 0x04, 0xA1, 0xA2, 0xA4, 0xA6,
    0x21, 0x02, 0xA6, 0xA7,
    0x24, 0x04, 0xA9, 0xAA, 0xAC, 0xAE,
    0x25, 0x02, 0xAE, 0xAF,
    0x28, 0x03, 0xB1, 0xB2, 0xB4,
    0x29, 0x02, 0xB6, 0xB7,
    0x2C, 0x03, 0xB9, 0xBA, 0xBC,
    0x2D, 0x02, 0xBE, 0xBF,
    0x30, 0x03, 0xC1, 0xC2, 0xC4,
    0x31, 0x02, 0xC6, 0xC7,
    0x34, 0x03, 0xC9, 0xCA, 0xCC,
    0x35, 0x02, 0xCE, 0xCF,
    0x38, 0x03, 0xD1, 0xD2, 0xD4,
    0x39, 0x02, 0xD6, 0xD7,
    0x3C, 0x03, 0xD9, 0xDA, 0xDC,
    0x3D, 0x02, 0xDE, 0xDF,
    0xFC, 0x07, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6,
    0xFD, 0x01, 0xFD,
    0xFE, 0x01, 0xFE,
    0xFF,
};

namespace {

constexpr uint8_t kEcEnd = 0xFF;
constexpr unsigned char kNak = 21;
constexpr unsigned char kNotUnderstood = 0x12;
constexpr int kShortReply = 4;
constexpr int kReadAllRegLength = 69;
constexpr int kReadSnLength = 20;
constexpr int kRegDigits = 64;
constexpr int kSnBytes = 9;
constexpr int kUpsReplyBytes = 8;
constexpr int kPostSpShort = 3;
constexpr int kEventRs = 0xFD;
constexpr int kEventSc = 0xFE;
constexpr std::size_t kCmdCmpltHeader = sizeof(qmx_ecmdcmplt_t);

const char *const kEnvStatusNames[] = {
    "UNUSED", nullptr, nullptr, "ALL_PATHS_GOOD", "INVALID_CMD", "RSP_TOO_SHORT",
    "GETPORT_FAILED", "OPENPROC_FAILED", "RSP_TIMEOUT", nullptr, "REGISTRATION_ERR",
};

bool starts(const char *buffer, int length, const char *prefix);
void log_line(const snppb &slot, int kind, const char *buffer, int length);
int hex_pair(const char *p);
bool event_expected(const env_param_block &pb, int code);
int event_code(const char *buffer, int length);
int check_cmic_reply(snppb &slot, int rsplen, const char *buffer);
int check_serial_reply(snppb &slot, int cmd, int kind, int rsplen, const char *buffer);
bool active_slot(const env_param_block &pb, const snppb &slot);

} // namespace

/* ---- classification ------------------------------------------------------------------ */

int NodeKindOfName(const char *name)
{
    if (name == nullptr)
        return NODE_KIND_OTHER;
    if (strncasecmp(name, "SNP", 3) == 0)
        return NODE_KIND_SNP;
    if (strncasecmp(name, "CMI", 3) == 0 || strncasecmp(name, "SMC", 3) == 0)
        return NODE_KIND_CMIC;
    if (strncasecmp(name, "QNA", 3) == 0)
        return NODE_KIND_QNA;
    if (strncasecmp(name, "JBO", 3) == 0)
        return NODE_KIND_JBOD;
    if (strncasecmp(name, "PWR", 3) == 0)
        return NODE_KIND_PWR;
    return NODE_KIND_OTHER;
}

int ComplexStatusRecordSize(int cmdtype)
{
    switch (cmdtype) {
    case C_POWER_ON:
    case C_POWER_OFF:
    case C_RESET:
    case C_UPDATE_FLASH:
    case 11: /* C_MEMORY_DUMP */
    case 12: /* C_SHUTDOWN */
        return static_cast<int>(sizeof(complex_cmd_status_t));
    case C_MARGIN: return static_cast<int>(sizeof(complex_margin_stat_t));
    default: return 0;
    }
}

int ErrorInRsp(int cabidx, int cntlrid, int rsplen, char *buffer)
{
    env_param_block &pb = SendEnvParamBlocks[cabidx];
    snppb &slot = pb.spb[cntlrid];
    int n = slot.nexttosend;
    int cmd = n > 0 && n <= CHAIN_LENGTH ? static_cast<int>(slot.cmd[n - 1]) : static_cast<int>(NULL_CMD);
    int kind = NodeKindOfName(slot.NodeName);

    /* 1. The closing command: only its acknowledgement counts. */
    if (cmd == SP)
        return PostSPRead(&pb, cntlrid, buffer, rsplen) == GOT_AC00 ? GETRSP_SUCCESS : UNRELATED_MSG;

    /* 2. UPS frames. */
    if (cmd == UPS_DATA_MSG || cmd == UPS_CMD_MSG) {
        if (rsplen > 0 && static_cast<unsigned char>(buffer[0]) == kNak)
            return RESEND_NEEDED;
        if (rsplen >= 3 && (buffer[1] == 'R' || buffer[1] == 'S' || buffer[1] == 'T'))
            return GETRSP_SUCCESS;
        log_line(slot, kind, buffer, rsplen);
        return UNRELATED_MSG;
    }

    /* 3. Management modules. */
    if (kind == NODE_KIND_CMIC || pb.comm_type == CMIC_type)
        return check_cmic_reply(slot, rsplen, buffer);

    /* 4. Serial ASCII controllers. */
    return check_serial_reply(slot, cmd, kind, rsplen, buffer);
}

/* ---- conversion ------------------------------------------------------------------------ */

void ConvertToHex(int cmd, int *env_data, const char *buffer, int num_bytes)
{
    if (env_data == nullptr || buffer == nullptr || num_bytes <= 0)
        return;
    switch (cmd) {
    case READ_ALL_REG:
        if (num_bytes < 3 + kRegDigits)
            return;
        for (int w = 0; w < ENV_IMAGE_WORDS; ++w) {
            unsigned int word = 0;
            for (int d = 0; d < 8; ++d) {
                int value = rotate_bits(atox(buffer[3 + w * 8 + d]));
                word = (word << 4) | static_cast<unsigned int>(value < 0 ? 0 : value);
            }
            env_data[w] = static_cast<int>(word);
        }
        return;
    case READ_SN:
        if (num_bytes < 2 * kSnBytes)
            return;
        for (int i = 0; i < kSnBytes; ++i)
            env_data[i] = hex_pair(buffer + 2 * i);
        return;
    case READ_ENV:
    case READ_ONE_SNP:
    case READ_SNP:
    case READ_FRONT_BACK:
    case READ_LEFT_RIGHT:
    case DAC_ID_READ:
    case DAC_READ_PRIMARY:
    case DAC_READ_LEDS:
        if (num_bytes >= 5)
            env_data[0] = hex_pair(buffer + 3);
        return;
    case UPS_DATA_MSG:
    case UPS_CMD_MSG:
        std::memcpy(env_data, buffer, static_cast<std::size_t>(num_bytes < kUpsReplyBytes ? num_bytes : kUpsReplyBytes));
        return;
    case CMIC_CMD_MSG: {
        tessel_cmd_t cmic;
        std::memcpy(&cmic, env_data, sizeof(cmic));
        if (cmic.resultptr == nullptr || cmic.resultlen == 0)
            return;
        std::size_t length = static_cast<std::size_t>(num_bytes) < cmic.resultlen ? static_cast<std::size_t>(num_bytes)
                                                                                  : cmic.resultlen;
        std::memcpy(cmic.resultptr, buffer, length);
        return;
    }
    default: return;
    }
}

/* ---- disk-array sides -------------------------------------------------------------------- */

int SetBackFlag(int cabinet_idx, which_cntlr_t whichcntlr, int *env_data)
{
    env_param_block &pb = SendEnvParamBlocks[cabinet_idx];
    int first = whichcntlr == ALLCNTLRS ? 0 : whichcntlr;
    int last = whichcntlr == ALLCNTLRS ? CNTLRS_PER_CAB - 1 : whichcntlr;
    if (first < 0 || last >= CNTLRS_PER_CAB)
        return -1;
    for (int c = first; c <= last; ++c) {
        snppb &slot = pb.spb[c];
        if (whichcntlr == ALLCNTLRS && slot.NodeListIndex == -1)
            continue;
        if (slot.outcome < 0 || env_data == nullptr) {
            dprint(1, "SetBackFlag(): fd=%d NodeName=%s on XLAT%d\n", slot.env_path,
                   slot.NodeName != nullptr ? slot.NodeName : "", c);
            dprint(1, "SetBackFlag(): Unable to determine which side XLAT%d is controling\n", c);
            slot.back = -1;
            return -1;
        }
        slot.back = env_data[0] != 0 ? 1 : 0;
    }
    return 0;
}

int ConvertJBODRegs(int cabidx, which_cntlr_t i)
{
    env_param_block &pb = SendEnvParamBlocks[cabidx];
    if (i < CNTLR0 || i > CNTLR3)
        return 0;
    snppb &slot = pb.spb[i];
    if ((pb.comm_type != JBOD_type && pb.comm_type != DISK_type) || slot.back != 1 || slot.cmdchain == nullptr)
        return 0;
    /* Only what is still to be sent: what went out was renumbered already. */
    int from = slot.nexttosend < 0 ? 0 : slot.nexttosend;
    for (int e = from; e < slot.chain_len && e < CHAIN_LENGTH; ++e) {
        int cmd = slot.cmd[e];
        if (cmd != READ_ENV && cmd != WRITE_ENV && cmd != WRITE_ONE_SNP && cmd != READ_ONE_SNP)
            continue;
        char *text = slot.cmdchain[e].text;
        int reg = hex_pair(text + 3);
        if (atox(text[3]) < 0 || atox(text[4]) < 0)
            continue;
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02X", jbod_translate[static_cast<std::size_t>(reg)]);
        text[3] = digits[0];
        text[4] = digits[1];
    }
    return 0;
}

/* ---- after a connection closes ----------------------------------------------------------- */

int PostSPRead(env_param_block *pbptr, int cntlr, const char *buffer, int num_chars)
{
    /* 1.-3. Too long, incomplete, too short. */
    if (num_chars >= RSP_TEXT_SIZE) {
        dprint(1, "PostSPRead():Error Reading cab%d cntlr%d %d chars\n", pbptr->cabinet_id, cntlr, num_chars);
        return UNRELATED_MSG;
    }
    if (num_chars > 0 && buffer[num_chars - 1] != '\n') {
        for (int i = 0; i < num_chars; ++i)
            dprint(1, " %.2x\n", static_cast<unsigned char>(buffer[i]));
        return REREAD_NEEDED;
    }
    if (num_chars <= kPostSpShort)
        return UNRELATED_MSG;
    /* 4. The acknowledgement. */
    if (starts(buffer, num_chars, "AC") || starts(buffer, num_chars, ">AC") || starts(buffer, num_chars, " >AC"))
        return GOT_AC00;
    /* 5.-6. An event line: expected after the registers written, or logged. */
    int code = event_code(buffer, num_chars);
    if (code < 0 || !event_expected(*pbptr, code)) {
        const snppb &slot = pbptr->spb[cntlr];
        int kind = NodeKindOfName(slot.NodeName);
        log_line(slot, kind == NODE_KIND_CMIC ? NODE_KIND_OTHER : kind, buffer, num_chars);
    }
    return GETRSP_SUCCESS;
}

int Clear_all_paths(int interval)
{
    get_poll_t_space();
    pfcount = SebGetPollFds(pf, pf_arraysize);
    if (pfcount == 0)
        return 0;
    static char buffer[RSP_BUFFER_SIZE];
    for (;;) {
        for (int i = 0; i < pfcount; ++i)
            pf[i].revents = 0;
        SuspendedAlarm alarm_state;
        SuspendAlarm(&alarm_state);
        int ready = poll(pf, static_cast<nfds_t>(pfcount), static_cast<int>(scaled_ms(interval * 1000L)));
        int poll_errno = errno;
        ResumeAlarm(&alarm_state);
        if (ready == 0)
            break;
        if (ready < 0) {
            dprint(1, "Clear_all_paths(): Poll-%s\n", std::strerror(poll_errno));
            if (poll_errno == EAGAIN || poll_errno == EINTR)
                continue;
            break;
        }
        CheckPollEventCount(pf, pfcount, ready);
        for (int i = 0; i < pfcount; ++i) {
            if (pf[i].revents == 0)
                continue;
            if (PbFdMap[i].pbidx == PBIDX_QMX) {
                int cabidx = -1, cntlrid = 0, queued = 0;
                GetCmicRsp(pf[i].fd, buffer, &cabidx, &cntlrid, &queued);
                continue;
            }
            int cabidx = PbFdMap[i].pbidx, cntlr = PbFdMap[i].cntlr;
            int n = GetRsp(cabidx, cntlr, buffer, pf[i].fd);
            int result = PostSPRead(&SendEnvParamBlocks[cabidx], cntlr, buffer, n);
            if (result != GETRSP_SUCCESS && result != GOT_AC00)
                dprint(1, "PostSPRead() returns Error=%d\n", result);
        }
    }
    return 0;
}

/* ---- end of a GO -------------------------------------------------------------------------- */

int ReviewErrorsInPB()
{
    /* Blocks that are not live have no chain and nothing to report. */
    int errors = 0;
    for (int b : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            snppb &slot = pb.spb[c];
            if (!active_slot(pb, slot) || slot.chain_len == 0 || slot.outcome >= 0)
                continue;
            const char *name = pb.env_status < std::size(kEnvStatusNames) ? kEnvStatusNames[pb.env_status] : nullptr;
            if (name != nullptr)
                dprint(1, "Errors found in Cabinet#%d, Cntlr#%d: %s\n", pb.cabinet_id, c, name);
            else
                dprint(1, "Errors found in Cabinet#%d, Cntlr#%d:\n", pb.cabinet_id, c);
            ++errors;
        }
    }
    for (int b : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.inuse == 0)
            continue;
        for (snppb &slot : pb.spb) {
            if (slot.outcome == spb_NOWAIT)
                continue;
            std::memset(slot.cmd, 0xFF, sizeof(slot.cmd));
            if (slot.cmdchain != nullptr)
                for (int e = 0; e < CHAIN_LENGTH; ++e)
                    std::memset(slot.cmdchain[e].text, 0, OPC_TEXT_SIZE);
            if (slot.rspchain != nullptr)
                std::memset(slot.rspchain, 0, RSP_BUFFERS * sizeof(opcrsp));
            slot.nexttosend = 0;
            slot.chain_len = 0;
        }
    }
    SettleLiveBlocks();
    return errors;
}

void MarkErrStat(cabproc *cptr, int cabcount)
{
    if (cptr == nullptr || SendEnvParamBlocks == nullptr)
        return;
    char line[160];
    /* Only live blocks can hold a failed slot. */
    for (int b : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            snppb &slot = pb.spb[c];
            if (!active_slot(pb, slot) || slot.outcome >= 0)
                continue;
            const char *name = slot.NodeName != nullptr ? slot.NodeName : "";
            for (int r = 0; r < cabcount; ++r) {
                envinfo &info = cptr[r].info;
                if (cptr[r].cabid != pb.cabinet_id)
                    continue;
                info.cntlrbad[c] = 1;
                line[0] = '\0';
                if (slot.owntheport != 0) {
                    info.errstat = slot.outcome == spb_UNKNOWN_CMD ? DONT_KNOW_CMD : SENDENV_FAILED;
                    if (slot.outcome == spb_UNKNOWN_CMD)
                        std::snprintf(line, sizeof(line),
                                      "- [ERROR]: Command not accepted by %s. May not have current firmware.", name);
                    else if (pb.comm_type != CMIC_type)
                        std::snprintf(line, sizeof(line), "- [ERROR]: Unable to communicate with %s", name);
                } else {
                    info.errstat = CANT_OWNPORT;
                    if (pb.comm_type == CMIC_type)
                        std::snprintf(line, sizeof(line), "- [ERROR]: Unable to connect to Cabinet %d CMIC",
                                      pb.cabinet_id);
                    else
                        std::snprintf(line, sizeof(line), "- [ERROR]: Unable to obtain Port of Cabinet %d Controller %d",
                                      pb.cabinet_id, c);
                }
                if (info.err_reported[c] == 0) {
                    if (line[0] != '\0')
                        EngineWorkMsg(line);
                    info.err_reported[c] = 1;
                }
            }
        }
    }
}

/* ------------------------------------------------------------------------------------------- */

namespace {

bool starts(const char *buffer, int length, const char *prefix)
{
    int n = static_cast<int>(std::strlen(prefix));
    return length >= n && std::memcmp(buffer, prefix, static_cast<std::size_t>(n)) == 0;
}

/* Sends a controller's line to the log daemon; a failure is only traced. */
void log_line(const snppb &slot, int kind, const char *buffer, int length)
{
    std::string text(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
    if (LogMessage(slot.NodeName, kind, "", std::time(nullptr), text.c_str()) < 0)
        dprint(3, "Unable to log a line of %s\n", slot.NodeName != nullptr ? slot.NodeName : "");
}

/* Value of two upper-case hex digits (bad digits count as 0). */
int hex_pair(const char *p)
{
    int high = atox(p[0]);
    int low = atox(p[1]);
    return (high < 0 ? 0 : high) * 16 + (low < 0 ? 0 : low);
}

/* The event code of a line after SP, or -1. */
int event_code(const char *buffer, int length)
{
    if (starts(buffer, length, "EC") && length >= 4) {
        int offset = buffer[2] == ' ' && length >= 5 ? 3 : 2;
        if (atox(buffer[offset]) >= 0 && atox(buffer[offset + 1]) >= 0)
            return hex_pair(buffer + offset);
        return -1;
    }
    if (starts(buffer, length, "RS "))
        return kEventRs;
    if (starts(buffer, length, "SC 52") || starts(buffer, length, "SC 02"))
        return kEventSc;
    return -1;
}

/* Whether a write logged for this connection explains the event code. */
bool event_expected(const env_param_block &pb, int code)
{
    for (int w = 0; w < pb.num_reg_written && w < REG_LOG_SIZE; ++w) {
        std::size_t i = 0;
        while (i + 1 < vpr_clear_EC.size() && vpr_clear_EC[i] != kEcEnd) {
            std::size_t count = vpr_clear_EC[i + 1];
            if (vpr_clear_EC[i] == pb.reg_written[w])
                for (std::size_t k = 0; k < count && i + 2 + k < vpr_clear_EC.size(); ++k)
                    if (vpr_clear_EC[i + 2 + k] == code)
                        return true;
            i += 2 + count;
        }
    }
    return false;
}

int check_cmic_reply(snppb &slot, int rsplen, const char *buffer)
{
    if (rsplen <= 0)
        return UNRECOVERABLE;
    if (static_cast<std::size_t>(rsplen) < kCmdCmpltHeader) {
        dprint(1, "ErrorInRsp: reply of %d bytes is too short\n", rsplen);
        return UNRECOVERABLE;
    }
    const auto *event = reinterpret_cast<const qmx_ecmdcmplt_t *>(buffer);
    /* A message cut short carries less data than its header announces; its
     * tree or records would be read from bytes that never arrived. */
    if (static_cast<std::size_t>(rsplen) - kCmdCmpltHeader < event->get_datalen()) {
        dprint(1, "ErrorInRsp: reply of %d bytes carries less than its %u data bytes\n", rsplen,
               static_cast<unsigned>(event->get_datalen()));
        return UNRECOVERABLE;
    }
    uint32_t status = event->get_cmd_status();
    slot.cmic_cmd_status = static_cast<char>(status);
    std::free(slot.cmic_complex_status);
    slot.cmic_complex_status = nullptr;
    if (status == CMIC_CMD_FAILED && event->complex_count != 0) {
        std::size_t size = static_cast<std::size_t>(ComplexStatusRecordSize(static_cast<unsigned char>(slot.cmic_last_cmd))) *
                           event->complex_count;
        if (size == 0)
            return CMD_CMPLT_ERR;
        std::size_t keep = size + kCmdCmpltHeader;
        void *copy = std::calloc(1, keep);
        assert(copy != nullptr);
        if (copy == nullptr)
            std::abort();
        std::memcpy(copy, buffer, keep < static_cast<std::size_t>(rsplen) ? keep : static_cast<std::size_t>(rsplen));
        slot.cmic_complex_status = copy;
        return CMD_CMPLT_ERR;
    }
    return status == CMIC_CMD_SUCCESS ? GETRSP_SUCCESS : CMD_CMPLT_ERR;
}

int check_serial_reply(snppb &slot, int cmd, int kind, int rsplen, const char *buffer)
{
    const char *name = slot.NodeName != nullptr ? slot.NodeName : "";
    /* 1.-3. Incomplete, not understood, too short. */
    if (rsplen > 0 && buffer[rsplen - 1] != '\n') {
        log_line(slot, kind, buffer, rsplen);
        return INCOMPLETE_READ;
    }
    if (rsplen > 0 && (static_cast<unsigned char>(buffer[0]) == kNotUnderstood || buffer[0] == '\n')) {
        dprint(1, "ErrorInRsp: Message was not understood by destination\n");
        return UNRECOGNIZED;
    }
    if (rsplen <= kShortReply)
        return SHORT_RSP_MSG;
    /* 4.-5. Commands with replies of their own. */
    if (cmd == RESET) {
        if (starts(buffer, rsplen, "AC"))
            return UNRELATED_MSG;
        if (starts(buffer, rsplen, "RS"))
            return GETRSP_SUCCESS;
    }
    if (cmd == DAC_ID_DOWNLOAD) {
        if (starts(buffer, rsplen, "AC"))
            return UNRELATED_MSG;
        std::string reply(buffer, static_cast<std::size_t>(rsplen));
        if (starts(buffer, rsplen, "Level 0 Done")) {
            EngineWorkMsgIfOpen((std::string(name) + ": " + reply).c_str());
            return GETRSP_SUCCESS;
        }
        if (rsplen > 2) {
            for (char &ch : reply)
                if (ch == '\r' || ch == '\n')
                    ch = ' ';
            EngineWorkMsgIfOpen((std::string(name) + ": " + reply).c_str());
        }
    }
    /* 6. Lines that are no acknowledgement. */
    if (cmd != READ_SN && !starts(buffer, rsplen, "AC") && !starts(buffer, rsplen, "EV") &&
        !starts(buffer, rsplen, ">AC") && !starts(buffer, rsplen, " >AC")) {
        if (!starts(buffer, rsplen, "SC 52") && !starts(buffer, rsplen, "RS 00"))
            log_line(slot, kind, buffer, rsplen);
        return UNRELATED_MSG;
    }
    /* 7. Replies of a fixed length. */
    if ((cmd == READ_ALL_REG && rsplen != kReadAllRegLength) || (cmd == READ_SN && rsplen != kReadSnLength)) {
        dprint(1, "ErrorInRsp: Transferred %d chars instead of expected amount\n", rsplen);
        return REREAD_NEEDED;
    }
    /* 8. Register reads and writes are acknowledged with 00 or 01. */
    if ((cmd == READ_ENV || cmd == WRITE_ENV) && !(buffer[3] == '0' && (buffer[4] == '0' || buffer[4] == '1'))) {
        dprint(1, "ErrorInRsp: Did not received a good acknowledgement from destination.\n");
        return RESEND_NEEDED;
    }
    return GETRSP_SUCCESS;
}

bool active_slot(const env_param_block &pb, const snppb &slot)
{
    return pb.inuse != 0 && pb.cabinet_id != -1 && slot.NodeListIndex != -1;
}

} // namespace
