/*
 * env_cmd.cpp - the engine's command model: cabinet discovery over the node
 * list, the parameter blocks and their controller slots, and the chaining
 * of commands with their texts (see env_cmd.h).  Called by Send_env_board
 * and by the serial port module.
 */
#include "engine/env_cmd.h"

#include <sys/resource.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "base/process.h"
#include "base/trace.h"
#include "config/config.h"
#include "engine/cmd_status.h"
#include "platform/qmx/qmx.h"

/* ---- constants --------------------------------------------------------------- */

namespace {

constexpr unsigned char kEmptyCmd = 0xFF;
constexpr int kRmSubType = 4;           /* "RM": a rack-mounted node */
constexpr int kTesselBase = 201;        /* management-module host types start here */
constexpr int kResultPreset = 32;       /* bytes of a command-complete header */
constexpr char kCharMax = 127;

/* Registers 0x40-0x5F are not logged when written. */
constexpr int kUnloggedLow = 0x40;
constexpr int kUnloggedHigh = 0x5F;

} // namespace

/* ---- module variables -------------------------------------------------------- */

CabList_t Cabid_Pool[MAX_CABINETS];
env_param_block *SendEnvParamBlocks = nullptr;
int CabCount = 0;
int ControllerCount = 0;
opcmsg *cmdlist = nullptr;
opcrsp *rsplist = nullptr;
int NoEnvPBs = 1;
pbfd_map PbFdMap[PBFD_MAP_SIZE];
EngineUi engine_ui = {nullptr, nullptr, nullptr, nullptr, nullptr};

namespace {

int cabinet_of(const Node_t *node);
int add_cabinet(const Node_t *node, int cab, int count);
void fill_slot(env_param_block &pb, int id, int node_index, int *next_piece);
int format_ascii(char *mbuf, const char *format, ...) __attribute__((format(printf, 2, 3)));
int format_bytes(char *mbuf, const char *format, int first, int second = 0);
int byte_value(int value);
void log_register(env_param_block *pbptr, unsigned char reg, int limit);
int build_cmic_text(env_param_block *pbptr, char *mbuf, int *val);
void count_use(env_param_block &pb);

/* The live blocks (see env_cmd.h) of the tables at `live_tables`; another
 * table (or none) means there are none. */
std::vector<int> live_blocks;
std::vector<unsigned char> is_live;
const env_param_block *live_tables = nullptr;
void reset_live_blocks();

/* The cabinets TotalCabCount has put into Cabid_Pool so far. */
std::unordered_set<int> listed_cabinets;

/* Block index by cabinet number, built with the tables. */
std::unordered_map<int, int> block_of_cabinet;
const env_param_block *indexed_tables = nullptr;
void index_blocks();

} // namespace

/* ---- operator hooks ---------------------------------------------------------- */

void EngineFreshenWindow()
{
    if (engine_ui.freshen_window != nullptr)
        engine_ui.freshen_window();
}

void EngineWorkMsgIfOpen(const char *line)
{
    if (engine_ui.is_work_dialog != nullptr && engine_ui.add_work_msg != nullptr && engine_ui.is_work_dialog())
        engine_ui.add_work_msg(line);
}

void EngineWorkMsg(const char *line)
{
    if (engine_ui.add_work_msg != nullptr)
        engine_ui.add_work_msg(line);
}

void EngineErrorDialog(const char *text)
{
    if (engine_ui.error_dialog != nullptr)
        engine_ui.error_dialog(text);
    else
        std::fprintf(stderr, "%s\n", text);
}

int EngineAskYesNo(const char *text, const char *help_tag)
{
    if (engine_ui.ask_yes_no == nullptr) {
        dprint(1, "%s\n(nobody to ask: no)\n", text);
        return 0;
    }
    return engine_ui.ask_yes_no(text, help_tag) == 1 ? 1 : 0;
}

/* ---- cabinet discovery ------------------------------------------------------- */

int IsTesselHostType(int host_type)
{
    return host_type >= kTesselBase && host_type != EMC_type;
}

int TotalCabCount()
{
    std::memset(Cabid_Pool, 0xFF, sizeof(Cabid_Pool));
    ControllerCount = 0;
    int count = 0;
    int previous_tessel_cab = -1;

    for (int i = 0; i < NodeCount; ++i) {
        const Node_t *node = NodeList[i];
        if (node == nullptr)
            continue;
        int type = node->HostType;
        int cab = cabinet_of(node);

        /* 1. Serial environmental controllers and UPS controllers. */
        if (type == SNP_type || (type == PWR_type && node->SubType != kRmSubType)) {
            ++ControllerCount;
            continue;
        }
        /* 2. Management modules: one controller per run of one cabinet. */
        if (IsTesselHostType(type)) {
            if (cab != previous_tessel_cab) {
                ++ControllerCount;
                dprint(3, "TotalCabCount: Found a TESSEL type\n");
            }
            previous_tessel_cab = cab;
            if (type == MB_type)
                continue;
            if (type == CMIC_type || type == SMC_type) {
                const Node_t *next = i + 1 < NodeCount ? NodeList[i + 1] : nullptr;
                if (next != nullptr && cabinet_of(next) == cab)
                    continue;
                dprint(3, "Cabinet with only a CMIC/SMC\n");
            }
        }
        /* 3. Disk-array controllers. */
        if (type == JBOD_type || type == DISK_type)
            ++ControllerCount;
        /* 4. The node's cabinet. */
        count = add_cabinet(node, cab, count);
    }
    return count;
}

void InitENVpb()
{
    /* 1. As much memory as the system allows. */
    struct rlimit limit {};
    if (getrlimit(RLIMIT_RSS, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_RSS, &limit);
    }

    /* 2. The cabinets and the tables. */
    CabCount = TotalCabCount();
    std::size_t controllers = ControllerCount > 0 ? static_cast<std::size_t>(ControllerCount) : 1;
    std::size_t blocks = CabCount > 0 ? static_cast<std::size_t>(CabCount) : 1;
    cmdlist = static_cast<opcmsg *>(std::calloc(controllers * CHAIN_LENGTH, sizeof(opcmsg)));
    if (cmdlist == nullptr) {
        std::fprintf(stderr, "Unable to allocat space for cmdlist\n");
        Exit(-1);
    }
    rsplist = static_cast<opcrsp *>(std::calloc(controllers * RSP_BUFFERS, sizeof(opcrsp)));
    if (rsplist == nullptr) {
        std::fprintf(stderr, "Unable to allocat space for rsplist\n");
        Exit(-1);
    }
    SendEnvParamBlocks = static_cast<env_param_block *>(std::calloc(blocks, sizeof(env_param_block)));
    if (SendEnvParamBlocks == nullptr) {
        std::fprintf(stderr, "Unable to allocat space for SendEnvParamBlocks\n");
        Exit(-1);
    }

    /* 3. Every block and slot empty. */
    for (std::size_t b = 0; b < blocks; ++b) {
        env_param_block &pb = SendEnvParamBlocks[b];
        pb.cabinet_id = -1;
        pb.comm_type = -1;
        for (snppb &slot : pb.spb) {
            slot.NodeListIndex = -1;
            slot.env_path = -1;
            slot.back = -1;
            slot.cmdchain = nullptr;
            slot.rspchain = nullptr;
            slot.NodeName = nullptr;
            std::memset(slot.cmd, kEmptyCmd, sizeof(slot.cmd));
        }
    }
    NoEnvPBs = 0;

    /* 4. The controllers. */
    BuildBrdInfo(CabCount);
    index_blocks();
    reset_live_blocks();
}

void BuildBrdInfo(int cabcount)
{
    int next_piece = 0;
    for (int c = 0; c < cabcount; ++c) {
        env_param_block &pb = SendEnvParamBlocks[c];
        pb.cabinet_id = static_cast<short>(Cabid_Pool[c].cabid);
        for (int i : CabinetNodeIndices(pb.cabinet_id)) {
            const Node_t *node = NodeList[i];
            int type = node->HostType;
            bool controller = type == SNP_type || type == QNA_type || type == DISK_type || type == CMIC_type ||
                              type == SMC_type || type == JBOD_type ||
                              (type == PWR_type && node->SubType != kRmSubType);
            if (!controller)
                continue;
            int id = CntlrIdIs(i, pb.cabinet_id);
            if (id < 0)
                continue;
            /* A management module decides how the cabinet is reached: the
             * status tree comes from it.  Nodes without a controller slot
             * do not change the way either. */
            short comm = static_cast<short>(type == SMC_type ? CMIC_type : type == PWR_type ? DAMC_type : type);
            if (pb.comm_type != CMIC_type)
                pb.comm_type = comm;
            fill_slot(pb, id, i, &next_piece);
        }
    }
}

int CntlrIdIs(int nodelistindex, int cabinet_id)
{
    (void)cabinet_id; /* the name alone tells the controller */
    if (nodelistindex < 0 || nodelistindex >= NodeCount || NodeList[nodelistindex] == nullptr)
        return -1;
    const Node_t *node = NodeList[nodelistindex];
    const char *name = NodeText(node->NodeName);
    std::size_t length = std::strlen(name);
    int type = node->HostType;
    int id = -1;
    if (type == CMIC_type || type == SMC_type)
        return 0;
    if (type == SNP_type || type == QNA_type)
        id = length > 7 ? name[7] - 'A' : -1;
    else if (type == JBOD_type)
        id = length > 8 ? name[8] - '0' : -1;
    else if (type == DISK_type || type == PWR_type)
        id = length > 7 ? name[7] - '0' : -1;
    else
        return -1;
    if (id < 0 || id >= CNTLRS_PER_CAB) {
        dprint(1, "CntlrIdis(): Bad value, %s (%x)\n", name, static_cast<unsigned>(id));
        return -1;
    }
    return id;
}

int GetPBSlot(int cabinet_id)
{
    if (SendEnvParamBlocks != nullptr && indexed_tables == SendEnvParamBlocks) {
        auto found = block_of_cabinet.find(cabinet_id);
        if (found != block_of_cabinet.end() && found->second < CabCount &&
            SendEnvParamBlocks[found->second].cabinet_id == cabinet_id)
            return found->second;
    }
    /* Not in the index (or the index is out of date): the blocks say. */
    if (SendEnvParamBlocks != nullptr)
        for (int i = 0; i < CabCount; ++i)
            if (SendEnvParamBlocks[i].cabinet_id == cabinet_id)
                return i;
    dprint(1, "GetPBSlot: Can't find the PB slot for cab#%d\n", cabinet_id);
    return -1;
}

/* ---- chaining ----------------------------------------------------------------- */

int BuildOneENVpb(int cabinet_id, int env_reg, int *env_data, int cmd, which_cntlr_t which)
{
    int idx = GetPBSlot(cabinet_id);
    if (idx < 0 || which < CNTLR0 || which > CNTLR3)
        return -1;
    EngineBlockTouched(idx);
    env_param_block &pb = SendEnvParamBlocks[idx];
    ++pb.cmds_in_queue;
    snppb &slot = pb.spb[which];
    if (slot.cmdchain == nullptr)
        return 0;
    if (slot.chain_len >= CHAIN_LENGTH) {
        dprint(1, "Command Chain for %s oveflow\n", slot.NodeName != nullptr ? slot.NodeName : "");
        return -1;
    }
    int at = slot.chain_len;
    slot.cmdchain[at].env_data = env_data;
    slot.cmd[at] = static_cast<unsigned char>(cmd);
    if (BuildOneENVMsg(idx, cmd, env_reg, env_data, &slot.cmdchain[at], which) < 0) {
        dprint(1, "BuildOneENVpb(): Unable to chain cmd for Cabinet %d cntlr%d\n", cabinet_id, which);
        slot.cmd[at] = kEmptyCmd;
        if (slot.outcome >= 0)
            slot.outcome = spb_ERROR;
        return -1;
    }
    count_use(pb);
    return 0;
}

int BuildOneENVMsg(int cabidx, int cmd, int reg, int *val, opcmsg *msg, which_cntlr_t which)
{
    env_param_block &pb = SendEnvParamBlocks[cabidx];
    snppb &slot = pb.spb[which];
    if (slot.outcome < 0 && slot.chain_len != 0) {
        dprint(1, "Cntlr%d on Cab%.3d\n is detected Bad\n", static_cast<int>(which), pb.cabinet_id);
        return -1;
    }
    if (BuildEnvCmd(&pb, msg->text, cmd, reg, val) < 0)
        return -1;
    ++slot.chain_len;
    slot.allrcvd = 0;
    slot.retry_count = 0;
    return 0;
}

int BuildEnvPBs(int cabinet_id, int env_reg, int *env_data, int cmd)
{
    int idx = GetPBSlot(cabinet_id);
    if (idx < 0)
        return -1;
    EngineBlockTouched(idx);
    env_param_block &pb = SendEnvParamBlocks[idx];
    ++pb.cmds_in_queue;

    /* 1. Room on every chain. */
    for (snppb &slot : pb.spb) {
        if (slot.NodeListIndex == -1 || slot.cmdchain == nullptr)
            continue;
        if (slot.chain_len >= CHAIN_LENGTH) {
            dprint(1, "Command Chain for %s oveflow\n", slot.NodeName != nullptr ? slot.NodeName : "");
            return -1;
        }
    }
    /* 2. The text, once. */
    opcmsg *built = nullptr;
    if (BufMsgsforAll(idx, cmd, env_reg, env_data, &built) < 0)
        return -1;
    /* 3. Onto every chain that may take it. */
    for (snppb &slot : pb.spb) {
        if (slot.NodeListIndex == -1 || slot.cmdchain == nullptr)
            continue;
        int at = slot.chain_len;
        slot.cmdchain[at].env_data = env_data;
        slot.cmd[at] = static_cast<unsigned char>(cmd);
        if (slot.outcome < 0 && slot.owntheport != 0)
            continue;
        std::memcpy(slot.cmdchain[at].text, built->text, OPC_TEXT_SIZE);
        ++slot.chain_len;
        slot.allrcvd = 0;
        slot.retry_count = 0;
    }
    count_use(pb);
    return 0;
}

int BufMsgsforAll(int cabidx, int cmd, int reg, int *val, opcmsg **msg)
{
    static opcmsg shared;
    shared.env_data = val;
    *msg = &shared;
    return BuildEnvCmd(&SendEnvParamBlocks[cabidx], shared.text, cmd, reg, val);
}

int BuildEnvCmd(env_param_block *pbptr, char *mbuf, int cmd, int reg, int *val)
{
    std::memset(mbuf, 0, OPC_TEXT_SIZE);
    bool needs_data = cmd == WRITE_ENV || cmd == WRITE_ONE_SNP || cmd == RESET || cmd == WRITE_SN || cmd == TD ||
                      cmd == DAC_ID_DOWNLOAD || cmd == DAC_SET_PRIMARY || cmd == DISK_POWER || cmd == VPR_POWER ||
                      cmd == UPS_DATA_MSG || cmd == UPS_CMD_MSG || cmd == CMIC_CMD_MSG;
    if (needs_data && val == nullptr) {
        dprint(1, "BuildEnvCmd: no data for %s\n", opcCMD_strs[cmd]);
        return -1;
    }
    /* Only the words a command uses are read: callers pass one int where
     * one is enough. */
    bool binary = cmd == UPS_DATA_MSG || cmd == UPS_CMD_MSG || cmd == CMIC_CMD_MSG;
    int d0 = needs_data && !binary ? val[0] : 0;

    switch (cmd) {
    case READ_ENV:
    case READ_ONE_SNP: return format_bytes(mbuf, "RE %02X\r", reg);
    case WRITE_ENV:
    case WRITE_ONE_SNP:
        if (format_bytes(mbuf, "WE %02X %02X\r", reg, d0) < 0)
            return -1;
        if (reg < kUnloggedLow || reg > kUnloggedHigh)
            log_register(pbptr, static_cast<unsigned char>(reg), REG_LOG_SIZE);
        return 0;
    case READ_ALL_REG: return format_ascii(mbuf, "EN\r");
    case RESET: return format_bytes(mbuf, "RA %02X %02X\r", d0, val[1]);
    case WRITE_SN:
        if (format_bytes(mbuf, "WR %02X %02X\r", reg, d0) < 0)
            return -1;
        log_register(pbptr, REG_LOG_SN_WRITE, REG_LOG_SIZE);
        return 0;
    case READ_SN: return format_ascii(mbuf, "RR\r");
    case DIAG: return format_ascii(mbuf, "DG\r");
    case READ_SNP: return format_bytes(mbuf, "RN %02X\r", reg);
    case DISABLE_BATTERIES:
        log_register(pbptr, REG_LOG_BATT_DISABLE, REG_LOG_BATTERY_LIMIT);
        return format_ascii(mbuf, "BD\r");
    case DISABLE_BATTS_IMMED: return format_ascii(mbuf, "BD 1\r");
    case TD: return format_bytes(mbuf, "TD %02X\r", d0);
    case DAC_ID_DOWNLOAD: return format_bytes(mbuf, "ID %02X\r", d0);
    case DAC_ID_READ: return format_ascii(mbuf, "ID\r");
    case DAC_READ_LEDS: return format_ascii(mbuf, "LE\r");
    case DAC_SET_PRIMARY: return format_ascii(mbuf, "TI %X\r", static_cast<unsigned>(d0));
    case DAC_READ_PRIMARY: return format_ascii(mbuf, "TI\r");
    case DISK_POWER: return format_ascii(mbuf, "PD %02d %d\r", reg, d0);
    case DISABLE_DISKS: return format_ascii(mbuf, "DD\r");
    case POWER_ALL_DISKS: return format_ascii(mbuf, "CU\r");
    case EP: return format_ascii(mbuf, "EP\r");
    case SP: return format_ascii(mbuf, "SP\r");
    case READ_FRONT_BACK: return format_ascii(mbuf, "RE BD\r");
    case READ_LEFT_RIGHT: return format_ascii(mbuf, "RE BC\r");
    case VPR_POWER: return format_ascii(mbuf, "PS %d %d\r", reg, d0);
    case UPS_DATA_MSG: std::memcpy(mbuf, val, UPS_DATA_LEN); return 0;
    case UPS_CMD_MSG: std::memcpy(mbuf, val, UPS_CMD_LEN); return 0;
    case CMIC_CMD_MSG: return build_cmic_text(pbptr, mbuf, val);
    case RESET_DP: return format_ascii(mbuf, "DP\r");
    default:
        dprint(1, "BuildEnvCmd: invalid command code\n");
        return -1;
    }
}

int OpcTextLength(const env_param_block *pbptr, const opcmsg *msg, int cmd)
{
    if (pbptr->comm_type == DAMC_type)
        return cmd == UPS_CMD_MSG ? UPS_CMD_LEN : UPS_DATA_LEN;
    if (pbptr->comm_type == CMIC_type)
        return static_cast<int>(OPC_ASCII_SIZE);
    return static_cast<int>(strnlen(msg->text, OPC_ASCII_SIZE));
}

/* ---- the live blocks ---------------------------------------------------------------- */

void EngineBlockTouched(int idx)
{
    if (SendEnvParamBlocks == nullptr || idx < 0 || idx >= CabCount)
        return;
    if (live_tables != SendEnvParamBlocks)
        reset_live_blocks();
    if (is_live[static_cast<std::size_t>(idx)] != 0)
        return;
    is_live[static_cast<std::size_t>(idx)] = 1;
    /* Blocks are mostly touched in ascending order: usually an append. */
    auto at = live_blocks.end();
    while (at != live_blocks.begin() && *(at - 1) > idx)
        --at;
    live_blocks.insert(at, idx);
}

const std::vector<int> &LiveBlocks()
{
    if (live_tables != SendEnvParamBlocks)
        reset_live_blocks();
    return live_blocks;
}

bool BlockIsQuiet(const env_param_block &pb)
{
    if (pb.inuse == 0)
        return true;
    if (pb.env_status != BOTH_PATHS_GOOD)
        return false;
    bool module = pb.comm_type == CMIC_type;
    for (const snppb &slot : pb.spb) {
        if (slot.chain_len != 0 || slot.nexttosend != 0 || slot.outcome != spb_OK || slot.env_path != -1)
            return false;
        if (!module && slot.owntheport != 0)
            return false;
    }
    if (!module)
        return true;
    /* What OpenTesselLink leaves in a module's slot. */
    const snppb &slot = pb.spb[0];
    return slot.cmic_complex_status == nullptr && static_cast<unsigned char>(slot.cmic_cmd_status) == CMIC_UNDELIVERABLE &&
           slot.cmic_last_cmd == 0 && slot.owntheport == 1;
}

void SettleLiveBlocks()
{
    if (live_tables != SendEnvParamBlocks) {
        reset_live_blocks();
        return;
    }
    std::size_t kept = 0;
    for (int idx : live_blocks) {
        if (BlockIsQuiet(SendEnvParamBlocks[idx]))
            is_live[static_cast<std::size_t>(idx)] = 0;
        else
            live_blocks[kept++] = idx;
    }
    live_blocks.resize(kept);
}

/* ---- small helpers for callers ---------------------------------------------------- */

int num_ports_in_cab(int cab_id)
{
    int idx = GetPBSlot(cab_id);
    if (idx < 0)
        return 0;
    int count = 0;
    for (const snppb &slot : SendEnvParamBlocks[idx].spb)
        if (slot.NodeName != nullptr)
            ++count;
    return count;
}

int nodename_to_pathnum(int cab_id, const char *nodename)
{
    (void)cab_id;
    std::size_t length = nodename != nullptr ? std::strlen(nodename) : 0;
    if (length == 0)
        return -1;
    char last = nodename[length - 1];
    if (last == 'A')
        return 1;
    if (last == 'B')
        return 2;
    return last - '/';
}

int atox(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

int rotate_bits(int inp_byt)
{
    if (inp_byt < 0 || inp_byt > 15)
        return -1;
    return ((inp_byt & 1) << 3) | ((inp_byt & 2) << 1) | ((inp_byt & 4) >> 1) | ((inp_byt & 8) >> 3);
}

/* ------------------------------------------------------------------------------------ */

namespace {

int cabinet_of(const Node_t *node)
{
    return NodeNumber(node->CabinetID);
}

/* Adds the node's cabinet to Cabid_Pool unless it is listed; the new count. */
int add_cabinet(const Node_t *node, int cab, int count)
{
    /* The node list is sorted by cabinet: the last one listed is the usual
     * match; the others are looked up in the set of those listed. */
    if (count > 0 && Cabid_Pool[count - 1].cabid == cab)
        return count;
    if (count == 0)
        listed_cabinets.clear();
    if (listed_cabinets.contains(cab))
        return count;
    if (count >= MAX_CABINETS) {
        std::fprintf(stderr, "Too many cabinets. %d cabinets configured\n", MAX_CABINETS);
        Exit(-1);
    }
    int type = node->HostType;
    short cabtype = -1;
    short comm = -1;
    if (type == VPR_type || type == QEP_type) {
        cabtype = static_cast<short>(VPR_type);
        comm = static_cast<short>(SNP_type);
    } else if (type == APP_type) {
        cabtype = static_cast<short>(APP_type);
        comm = static_cast<short>(SNP_type);
    } else if (type == JBOD_type || type == DISK_type) {
        cabtype = comm = static_cast<short>(type);
    } else if (type == DAMC_type) {
        cabtype = static_cast<short>(DAMC_type);
        comm = static_cast<short>(node->SubType < kRmSubType ? DAMC_type : CMIC_type);
    } else if (type == PWR_type || type == CMIC_type || IsTesselHostType(type)) {
        cabtype = static_cast<short>(SMP_type);
        comm = static_cast<short>(CMIC_type);
    }
    Cabid_Pool[count] = CabList_t{cab, comm, cabtype};
    listed_cabinets.insert(cab);
    return count + 1;
}

/* Gives slot `id` of the block its controller (the first node found keeps
 * the slot) and, once, its pieces of cmdlist and rsplist. */
void fill_slot(env_param_block &pb, int id, int node_index, int *next_piece)
{
    snppb &slot = pb.spb[id];
    if (slot.NodeListIndex != -1)
        return;
    if (slot.cmdchain == nullptr) {
        if (*next_piece >= ControllerCount) {
            dprint(1, "BuildBrdInfo: no chain left for %s\n", NodeText(NodeList[node_index]->NodeName));
            return;
        }
        slot.cmdchain = &cmdlist[*next_piece * CHAIN_LENGTH];
        slot.rspchain = &rsplist[*next_piece * RSP_BUFFERS];
        ++*next_piece;
    }
    slot.NodeListIndex = static_cast<short>(node_index);
    std::snprintf(slot.name, sizeof(slot.name), "%s", NodeText(NodeList[node_index]->NodeName));
    slot.NodeName = slot.name;
}

/* An ASCII command line; -1 when it does not fit a chain entry. */
int format_ascii(char *mbuf, const char *format, ...)
{
    char line[64];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    if (n < 0 || n >= static_cast<int>(OPC_ASCII_SIZE)) {
        dprint(1, "BuildEnvCmd: command text too long\n");
        return -1;
    }
    std::memcpy(mbuf, line, static_cast<std::size_t>(n) + 1);
    return 0;
}

/* A command with one or two byte fields (a format of "%02X" fields). */
int format_bytes(char *mbuf, const char *format, int first, int second)
{
    if (byte_value(first) < 0 || byte_value(second) < 0)
        return -1;
    char line[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line, sizeof(line), format, first, second);
#pragma GCC diagnostic pop
    return format_ascii(mbuf, "%s", line);
}

/* A register or data byte for a two-digit hexadecimal field; -1 (and a
 * trace) when it does not fit one byte, so that the command is refused
 * rather than sent with a cut value. */
int byte_value(int value)
{
    if (value >= 0 && value <= 0xFF)
        return value;
    dprint(1, "BuildEnvCmd: value 0x%x out of range\n", static_cast<unsigned>(value));
    return -1;
}

void log_register(env_param_block *pbptr, unsigned char reg, int limit)
{
    if (pbptr->num_reg_written < limit)
        pbptr->reg_written[pbptr->num_reg_written++] = reg;
}

/* The descriptor verbatim; its result buffer pre-set as a command-complete
 * event that says nothing yet. */
int build_cmic_text(env_param_block *pbptr, char *mbuf, int *val)
{
    tessel_cmd_t cmd;
    std::memcpy(&cmd, val, sizeof(cmd));
    std::memcpy(mbuf, &cmd, sizeof(cmd));
    if (cmd.resultptr != nullptr && cmd.resultlen >= kResultPreset) {
        std::memset(cmd.resultptr, 0, kResultPreset);
        auto *event = reinterpret_cast<qmx_ecmdcmplt_t *>(cmd.resultptr);
        event->header.set_event_type(QMX_EVENT_CMDCMPLT);
        event->header.set_cabno(static_cast<uint16_t>(pbptr->cabinet_id));
        event->set_cmd_status(0);
        event->complex_count = 0;
    }
    return 0;
}

void reset_live_blocks()
{
    live_blocks.clear();
    live_tables = SendEnvParamBlocks;
    is_live.assign(SendEnvParamBlocks != nullptr ? static_cast<std::size_t>(CabCount > 0 ? CabCount : 1) : 0, 0);
}

void index_blocks()
{
    block_of_cabinet.clear();
    for (int i = 0; i < CabCount; ++i)
        block_of_cabinet.emplace(SendEnvParamBlocks[i].cabinet_id, i);
    indexed_tables = SendEnvParamBlocks;
}

void count_use(env_param_block &pb)
{
    if (pb.inuse < kCharMax)
        ++pb.inuse;
}

} // namespace
