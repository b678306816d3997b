/*
 * serial_reply_fuzz.cpp - fuzz target for the engine's judgement of a
 * serial or UPS controller's reply (ErrorInRsp) and of what follows an
 * accepted one: the conversion into the caller's data (ConvertToHex), the
 * event lines after SP (PostSPRead) and the disk-array side detection with
 * register renumbering (SetBackFlag, ConvertJBODRegs).
 *
 * The engine is set up once from a small configuration: an SNP cabinet with
 * a processor node, a JBOD cabinet with two controllers and a UPS cabinet
 * (PWR and DAMC nodes), under a fresh console root so that nothing touches
 * the installation's files.  No log daemon runs: the lines the engine logs
 * fail to reach it, which the engine only traces.
 *
 * One input: the first byte picks a controller and a command; the command
 * is chained as the scheduler leaves it after sending it (SP after a few
 * register writes, READ_FRONT_BACK ahead of commands that name registers),
 * and the remaining bytes are its reply, cut at RSP_TEXT_SIZE as GetRsp
 * cuts it and handed over in a heap copy of exactly its length.

 */
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/parsecfg.h"
#include "config/read_config.h"
#include "config/table.h"
#include "engine/env_cmd.h"
#include "engine/ports.h"
#include "engine/rsp_check.h"

namespace {

constexpr const char kConfiguration[] =
    "NODE_RECORD\n\tname=snp0010A\n\ttype=SNP\n\tcabinet=10\n\tprocessor=0\nEND\n"
    "NODE_RECORD\n\tname=vpr0010\n\ttype=VPR\n\tcabinet=10\n\tprocessor=1\nEND\n"
    "NODE_RECORD\n\tname=jbod00120\n\ttype=JBOD\n\tcabinet=12\n\tprocessor=0\nEND\n"
    "NODE_RECORD\n\tname=jbod00121\n\ttype=JBOD\n\tcabinet=12\n\tprocessor=1\nEND\n"
    "NODE_RECORD\n\tname=pwr00140\n\ttype=PWR\n\tcabinet=14\n\tprocessor=0\nEND\n"
    "NODE_RECORD\n\tname=damc0014\n\ttype=DAMC\n\tcabinet=14\n\tprocessor=1\nEND\n";
constexpr int kCabinets[] = {10, 12, 14};

/* Commands a serial controller can be sent (CLOSE_NO_FREE is a request to
 * the engine, never written to a controller); a UPS gets frames only. */
constexpr OPCcmd kSerialCommands[] = {
    READ_ENV,        WRITE_ENV,        READ_ALL_REG,  RESET,           WRITE_SN,          READ_SN,
    DIAG,            WRITE_ONE_SNP,    READ_ONE_SNP,  READ_SNP,        DISABLE_BATTERIES, DISABLE_BATTS_IMMED,
    TD,              DAC_ID_DOWNLOAD,  DAC_ID_READ,   DAC_READ_LEDS,   DAC_SET_PRIMARY,   DAC_READ_PRIMARY,
    DISK_POWER,      DISABLE_DISKS,    POWER_ALL_DISKS, EP,            SP,                READ_FRONT_BACK,
    READ_LEFT_RIGHT, VPR_POWER,        RESET_DP,
};
constexpr OPCcmd kUpsCommands[] = {UPS_DATA_MSG, UPS_CMD_MSG};

/* The caller's data buffer: the most any accepted reply fills is a serial
 * number (nine words); the register image takes eight, a UPS frame two. */
constexpr int kSerialNumberWords = 9;
constexpr int kDataWords = kSerialNumberWords;
static_assert(kDataWords >= ENV_IMAGE_WORDS && kDataWords * sizeof(int) >= UPS_CMD_LEN);

/* The UPS frame the UPS commands carry. */
constexpr std::array<unsigned char, UPS_CMD_LEN> kFrame = {0x02, 'R', 0x02, 0x10, 0x20, 0x32, 0, 0};

/* Registers written before SP, so that its event lines meet a write log:
 * two registers with expected event codes, the serial-number write and the
 * battery disable. */
constexpr int kWrittenRegisters[] = {0x00, 0x20};
/* Commands naming registers chained after READ_FRONT_BACK, which a back
 * side renumbers. */
constexpr int kRenumberedRegisters[] = {0x20, 0x2C};

struct Target {
    int cabinet;
    int cabidx;
    which_cntlr_t cntlr;
    bool ups;
};

struct Installation {
    std::string root;
    std::vector<Target> targets;

    Installation();
    ~Installation();
};

Installation &Site();
void EmptyBlock(env_param_block &pb);
bool Chain(const Target &target, int cmd, int *data);

Installation::Installation()
{
    /* 1. A private console root. */
    char pattern[] = "/tmp/xr_serial_fuzz_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("serial_reply_fuzz: mkdtemp");
        std::abort();
    }
    root = pattern;
    setenv("CONSOLE_ROOT", root.c_str(), 1);

    /* 2. The configuration, parsed from the text. */
    std::string text = kConfiguration;
    FILE *stream = fmemopen(text.data(), text.size(), "r");
    if (stream == nullptr)
        std::abort();
    InitTable();
    ParseConfig(stream);
    std::fclose(stream);
    SortNodeList();
    get_host_types();

    /* 3. The engine's tables and the controller slots to fuzz. */
    InitENVpb();
    for (int cabinet : kCabinets) {
        int idx = GetPBSlot(cabinet);
        if (idx < 0)
            continue;
        env_param_block &pb = SendEnvParamBlocks[idx];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            const snppb &slot = pb.spb[c];
            if (slot.NodeListIndex != -1 && slot.cmdchain != nullptr)
                targets.push_back(Target{cabinet, idx, static_cast<which_cntlr_t>(c), pb.comm_type == DAMC_type});
        }
    }
    if (targets.size() != 4) {
        std::fprintf(stderr, "serial_reply_fuzz: %zu controllers instead of 4\n", targets.size());
        std::abort();
    }
}

Installation::~Installation()
{
    for (int b = 0; b < CabCount; ++b)
        EmptyBlock(SendEnvParamBlocks[b]);
    FreeUpAllPorts();
    FreeConfiguration();
    unsetenv("CONSOLE_ROOT");
    rmdir(root.c_str());
}

Installation &Site()
{
    static Installation site;
    return site;
}

/* Every chain of a cabinet empty, its write log cleared and its disk-array
 * sides unknown, as at the start of a connection. */
void EmptyBlock(env_param_block &pb)
{
    pb.num_reg_written = 0;
    std::memset(pb.reg_written, 0, sizeof pb.reg_written);
    pb.cmds_in_queue = 0;
    for (snppb &slot : pb.spb) {
        std::memset(slot.cmd, 0xFF, sizeof slot.cmd);
        if (slot.cmdchain != nullptr)
            for (int e = 0; e < CHAIN_LENGTH; ++e)
                slot.cmdchain[e] = opcmsg{};
        slot.chain_len = 0;
        slot.nexttosend = 0;
        slot.outcome = spb_OK;
        slot.allrcvd = 0;
        slot.retry_count = 0;
        slot.back = -1;
    }
}

/* Chains cmd on the target as the command awaiting its reply. */
bool Chain(const Target &target, int cmd, int *data)
{
    auto add = [&](int reg, int code) {
        return BuildOneENVpb(target.cabinet, reg, data, code, target.cntlr) == 0;
    };
    snppb &slot = SendEnvParamBlocks[target.cabidx].spb[target.cntlr];
    if (cmd == SP) {
        for (int reg : kWrittenRegisters)
            if (!add(reg, WRITE_ENV))
                return false;
        if (!add(0, WRITE_SN) || !add(0, DISABLE_BATTERIES) || !add(0, SP))
            return false;
        slot.nexttosend = slot.chain_len;
        return true;
    }
    if (!add(cmd == READ_FRONT_BACK ? FRONT_BACK_REG : 0x01, cmd))
        return false;
    if (cmd == READ_FRONT_BACK)
        for (int reg : kRenumberedRegisters)
            if (!add(reg, READ_ENV) || !add(reg, WRITE_ENV))
                return false;
    slot.nexttosend = 1;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    Installation &site = Site();

    /* 1. The controller and the command. */
    std::size_t targets = site.targets.size();
    const Target &target = site.targets[bytes[0] % targets];
    std::size_t pick = bytes[0] / targets;
    int cmd = target.ups ? kUpsCommands[pick % std::size(kUpsCommands)]
                         : kSerialCommands[pick % std::size(kSerialCommands)];

    /* 2. Chained as the command just sent.  The data words are what the
     *    commands that carry data take (a register value, the reset
     *    arguments, a UPS frame). */
    env_param_block &pb = SendEnvParamBlocks[target.cabidx];
    EmptyBlock(pb);
    std::unique_ptr<int[]> data(new int[kDataWords]);
    std::memset(data.get(), 0, kDataWords * sizeof(int));
    data[0] = 0x55;
    data[1] = 1;
    if (target.ups)
        std::memcpy(data.get(), kFrame.data(), kFrame.size());
    if (!Chain(target, cmd, data.get()))
        std::abort(); /* every command here chains on a fresh slot */
    snppb &slot = pb.spb[target.cntlr];
    int entry = slot.nexttosend - 1;

    /* 3. The reply as GetRsp leaves it, and the verdict. */
    std::size_t length = size - 1 < static_cast<std::size_t>(RSP_TEXT_SIZE) ? size - 1 : RSP_TEXT_SIZE;
    std::unique_ptr<char[]> reply(new char[length]);
    std::memcpy(reply.get(), bytes + 1, length);
    int rsplen = static_cast<int>(length);
    if (ErrorInRsp(target.cabidx, target.cntlr, rsplen, reply.get()) != GETRSP_SUCCESS)
        return 0;

    /* 4. What the scheduler does with an accepted reply. */
    int *env_data = slot.cmdchain[entry].env_data;
    ConvertToHex(cmd, env_data, reply.get(), rsplen);
    if (cmd == SP)
        PostSPRead(&pb, target.cntlr, reply.get(), rsplen);
    if (cmd == READ_FRONT_BACK) {
        SetBackFlag(target.cabidx, target.cntlr, env_data);
        ConvertJBODRegs(target.cabidx, target.cntlr);
    }
    return 0;
}
