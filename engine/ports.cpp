/*
 * ports.cpp - serial port acquisition and connection teardown (see
 * ports.h): loans from the console log daemon in batches, the reclaim of
 * ports that another program holds, the devices' opening, and the closing
 * SP, drain and return of every conversation.
 */
#include "engine/ports.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/console_path.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "daemon/portreq.h"
#include "engine/rsp_check.h"
#include "engine/scheduler.h"
#include "engine/send_env.h"

namespace {

constexpr const char *kNotGotten = "Not gotten";
constexpr const char *kUnreachable = "Couldn't reach log daemon";
constexpr const char *kTimedOut = "log daemon connection timed out";
constexpr const char *kTimeoutBox = "Timed out getting ports, no response from opclogd.";
constexpr const char *kReclaimTail = "\nReclaim port(s)? \"The current owner may not function normally.\"";
constexpr const char *kKillFormat = "kill -9 `ps -ef|awk '$8 == \"xscp\" && /%s/ {print $2}'`";
constexpr long kAfterReclaimMs = 3000;
constexpr long kNoPidWaitMs = 1000;
constexpr int kDrainSeconds = 5;

std::string port_name(const PortRequest_t &entry);
std::string port_result(const PortRequest_t &entry);
void set_result(PortRequest_t &entry, const char *text);
PortRequest_t request_for(const char *name);
bool serial_block(const env_param_block &pb);
bool wants_port(const snppb &slot);
void open_ports_of(int cabidx);
void forget_connection(snppb &slot);
void drop_every_port();
bool safe_port_name(const char *port);

} // namespace

int ForceFree = 0;

/* ---- OpenLink ------------------------------------------------------------------ */

int OpenLink()
{
    int result = SUCCESS;
    std::vector<PortRequest_t> list;
    std::vector<snppb *> owners;

    /* 1-2. Who needs a port, and the request list (a block that is not
     *      live has nothing chained and is already as this leaves it). */
    for (int b : LiveBlocks()) {
        env_param_block &pb = SendEnvParamBlocks[b];
        if (!serial_block(pb))
            continue;
        bool any = false;
        for (snppb &slot : pb.spb) {
            if (slot.NodeListIndex == -1)
                continue;
            any = true;
            if (slot.env_path == -1 && slot.owntheport == 0)
                slot.outcome = spb_OK;
        }
        if (!any) {
            pb.spb[0].outcome = spb_NO_CNTLR;
            dprint(1, "No paths for cabinet %d type=%d\n", pb.cabinet_id, pb.comm_type);
            continue;
        }
        for (snppb &slot : pb.spb) {
            if (!wants_port(slot) || slot.outcome < 0)
                continue;
            const Node_t *node = NodeList[slot.NodeListIndex];
            std::snprintf(slot.name, sizeof slot.name, "%s", NodeText(node->NodeName));
            slot.NodeName = slot.name;
            list.push_back(request_for(slot.name));
            owners.push_back(&slot);
        }
    }

    /* 3. Borrow them; reclaim what others hold. */
    if (!list.empty()) {
        int count = static_cast<int>(list.size());
        int got = 0;
        int loan = ourGetManyPorts(list.data(), count, &got);
        if (loan == FAILURE) {
            result = GETPORT_FAILURE;
        } else if (loan != SUCCESS && steal_ports(list.data(), count, ForceFree) != SUCCESS) {
            result = GETPORT_FAILURE;
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].Valid != 0)
                owners[i]->owntheport = 1;
            else
                owners[i]->outcome = spb_ERROR;
        }
    }

    /* 4-5. Open the devices; disk arrays of a known side get their register
     *      numbers. */
    for (int b : LiveBlocks())
        if (serial_block(SendEnvParamBlocks[b]))
            open_ports_of(b);
    return result;
}

/* ---- loans in batches ------------------------------------------------------------- */

int ourGetManyPorts(PortRequest_t *ports, int count, int *got)
{
    *got = 0;
    for (int i = 0; i < count; ++i) {
        ports[i].Valid = 0;
        set_result(ports[i], kNotGotten);
    }
    for (int start = 0; start < count; start += PORT_BATCH) {
        int size = count - start < PORT_BATCH ? count - start : PORT_BATCH;
        PortRequest_t *batch = ports + start;
        int answered = size;
        int loan = GetManyPorts(get_free_port_id, batch, &answered);
        if (loan == -2) {
            for (int i = 0; i < size; ++i)
                set_result(batch[i], kTimedOut);
            EngineErrorDialog(kTimeoutBox);
            FreeAllMyPorts(get_free_port_id);
            /* That gave back the earlier batches' grants too, and the ports
             * kept from earlier GOs. */
            for (int i = 0; i < start; ++i)
                ports[i].Valid = 0;
            *got = 0;
            drop_every_port();
            return FAILURE;
        }
        if (loan != 0) {
            for (int i = 0; i < size; ++i)
                set_result(batch[i], kUnreachable);
            return FAILURE;
        }
        for (int i = 0; i < size; ++i) {
            if (batch[i].Valid != 0) {
                ++*got;
                dprint(3, "Got port %s: %s\n", port_name(batch[i]).c_str(), port_result(batch[i]).c_str());
            } else {
                dprint(1, "Couldn't get port %s: %s\n", port_name(batch[i]).c_str(), port_result(batch[i]).c_str());
            }
        }
    }
    return *got == count ? SUCCESS : GETPORT_FAILURE;
}

int ourFreeManyPorts(PortRequest_t *ports, int count)
{
    if (count < 0)
        return FAILURE;
    int freed = 0;
    for (int start = 0; start < count; start += PORT_BATCH) {
        int size = count - start < PORT_BATCH ? count - start : PORT_BATCH;
        PortRequest_t *batch = ports + start;
        int answered = size;
        int result = FreeManyPorts(get_free_port_id, batch, &answered);
        if (result == -1 || result == -2) {
            for (int i = 0; i < size; ++i) {
                batch[i].Valid = 0;
                set_result(batch[i], result == -1 ? kUnreachable : kTimedOut);
            }
        } else if (result != 0) {
            std::fprintf(stderr, "ourFreeManyPorts: FreeManyPorts returned %d\n", result);
            std::abort();
        }
        for (int i = 0; i < size; ++i) {
            if (batch[i].Valid != 0) {
                ++freed;
                dprint(3, "Freed port %s\n", port_name(batch[i]).c_str());
            } else {
                dprint(1, "Couldn't free port %s: %s\n", port_name(batch[i]).c_str(), port_result(batch[i]).c_str());
            }
        }
    }
    return freed == count ? SUCCESS : FAILURE;
}

/* ---- reclaiming ------------------------------------------------------------------ */

std::string ReclaimQuestion(const PortRequest_t *ports, int count)
{
    std::string text;
    int lines = 0;
    for (int i = 0; i < count; ++i) {
        if (ports[i].Valid != 0)
            continue;
        if (lines == RECLAIM_LIST_LINES) {
            text += "...\n";
            break;
        }
        text += "Couldn't get " + port_name(ports[i]) + ": " + port_result(ports[i]) + "\n";
        ++lines;
    }
    return text + kReclaimTail;
}

int steal_ports(PortRequest_t *ports, int count, int force)
{
    /* 1. The operator decides, unless forced. */
    if (!force && !EngineAskYesNo(ReclaimQuestion(ports, count).c_str(), RECLAIM_HELP_TAG))
        return FAILURE;

    /* 2-3. End the holders. */
    dprint(1, "Forcing ports free: %s\n", force ? "automatically" : "at user's request");
    std::vector<PortRequest_t> again;
    std::vector<int> refused;
    for (int i = 0; i < count; ++i) {
        if (ports[i].Valid != 0)
            continue;
        std::string name = port_name(ports[i]);
        again.push_back(request_for(name.c_str()));
        refused.push_back(i);
        KillProc(port_result(ports[i]).c_str(), name.c_str());
    }

    /* 4. Take the ports back from whoever had them, and borrow them again. */
    int result = FAILURE;
    int n = static_cast<int>(again.size());
    if (ourFreeManyPorts(again.data(), n) == SUCCESS) {
        int got = 0;
        if (ourGetManyPorts(again.data(), n, &got) == SUCCESS) {
            for (int i = 0; i < count; ++i)
                ports[i].Valid = 1;
            result = SUCCESS;
        } else {
            for (int k = 0; k < n; ++k) {
                ports[refused[static_cast<std::size_t>(k)]].Valid = again[static_cast<std::size_t>(k)].Valid;
                std::memcpy(ports[refused[static_cast<std::size_t>(k)]].Result,
                            again[static_cast<std::size_t>(k)].Result, PORT_RESULT_SIZE);
            }
        }
    }

    /* 5. Give the ended programs' devices time to settle. */
    scaled_sleep_ms(kAfterReclaimMs);
    return result;
}

void KillProc(const char *loanID, const char *port)
{
    if (loanID == nullptr || std::strstr(loanID, "PID-") == nullptr) {
        scaled_sleep_ms(kNoPidWaitMs);
        return;
    }
    if (!safe_port_name(port)) {
        dprint(1, "KillProc: refusing port name \"%s\": not a plain name\n", port != nullptr ? port : "");
        return;
    }
    char command[256];
    std::snprintf(command, sizeof command, kKillFormat, port);
    dprint(2, "KillProc: %s\n", command);
    int status = std::system(command);
    dprint(3, "KillProc: status %d\n", status);
}

int OpenProc(const Node_t *node)
{
    if (node == nullptr)
        return -1;
    const char *device = NodeText(node->InterfaceAddress);
    const char *name = NodeText(node->NodeName);
    int fd = open(console_path(device).c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        dprint(1, "TTY_Open: cannot open tty \"%s\" for node %s: errno = %d\n", device, name, error);
        errno = error; /* for the caller's own message */
        return -1;
    }
    struct termios settings;
    if (tcgetattr(fd, &settings) != 0) {
        dprint(1, "TTY_Open: cannot ioctl tty \"%s\" for node %s: errno = %d\n", device, name, errno);
        return fd;
    }
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        dprint(1, "TTY_Open: cannot ioctl tty \"%s\" for node %s: errno = %d\n", device, name, errno);
    return fd;
}

/* ---- ending conversations ------------------------------------------------------------ */

void CloseAConnection(int cab_id)
{
    int idx = NoEnvPBs ? -1 : GetPBSlot(cab_id);
    if (idx < 0 || !serial_block(SendEnvParamBlocks[idx]))
        return;

    /* SP and the drain, only when a connection is open or commands wait
     * (LAST_MESSAGE closes right after chaining its command): a cabinet
     * with neither is not borrowed just to be told goodbye.  A UPS has no
     * SP, but commands chained for it still run before the close. */
    bool held = false, waiting = false;
    for (const snppb &slot : SendEnvParamBlocks[idx].spb) {
        held = held || (slot.NodeListIndex != -1 && slot.owntheport != 0);
        waiting = waiting || (slot.NodeListIndex != -1 && slot.chain_len != 0);
    }
    bool open_connection = held || waiting;
    bool ups = SendEnvParamBlocks[idx].comm_type == DAMC_type;
    if (open_connection && !ups)
        BuildEnvPBs(cab_id, 0, nullptr, SP);
    if (open_connection && (!ups || waiting))
        Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    env_param_block &pb = SendEnvParamBlocks[idx];
    if (open_connection && pb.num_reg_written != 0) {
        Clear_all_paths(kDrainSeconds);
        pb.num_reg_written = 0;
    }

    std::vector<PortRequest_t> release;
    for (snppb &slot : pb.spb) {
        if (slot.NodeListIndex == -1 || slot.owntheport == 0)
            continue;
        release.push_back(request_for(slot.NodeName != nullptr ? slot.NodeName : ""));
        forget_connection(slot);
    }
    if (!release.empty())
        ourFreeManyPorts(release.data(), static_cast<int>(release.size()));
}

int SendSPtoAllCabs()
{
    int result = 0;
    bool chained = false;
    for (int b = 0; b < CabCount; ++b) {
        env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.inuse == 0 || !serial_block(pb) || pb.comm_type == DAMC_type)
            continue;
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            snppb &slot = pb.spb[c];
            /* Only open connections: a port that was refused is not
             * borrowed again at exit to send SP. */
            if (slot.EPissued == 0 || slot.owntheport == 0 || slot.last_cmd == DISABLE_BATTERIES ||
                slot.last_cmd == TD || slot.last_cmd == DIAG)
                continue;
            slot.EPissued = 0;
            result = BuildOneENVpb(pb.cabinet_id, 0, nullptr, SP, static_cast<which_cntlr_t>(c));
            if (result < 0)
                dprint(1, "Send SP to Cab%d Cntlr%d Failed\n", pb.cabinet_id, c);
            else
                chained = true;
        }
    }
    if (chained)
        Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    return result;
}

void FreeUpAllPorts()
{
    int serial_ports = 0;
    for (int b = 0; SendEnvParamBlocks != nullptr && b < CabCount; ++b) {
        env_param_block &pb = SendEnvParamBlocks[b];
        for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
            snppb &slot = pb.spb[c];
            if (pb.inuse != 0 && slot.owntheport != 0) {
                if (pb.comm_type != CMIC_type) {
                    dprint(3, "FreeingUp %s Port Cabinet%d, Controller%d\n",
                           slot.NodeName != nullptr ? slot.NodeName : "", pb.cabinet_id, c);
                    ++serial_ports;
                }
                forget_connection(slot);
            }
            std::free(slot.cmic_complex_status);
            slot.cmic_complex_status = nullptr;
        }
    }
    if (serial_ports > 0)
        FreeAllMyPorts(get_free_port_id);

    /* The tables are unhooked before they are freed: a fatal signal from
     * here on finds none (ReleasePortsFromSignal), never freed memory. */
    env_param_block *blocks = SendEnvParamBlocks;
    NoEnvPBs = 1;
    SendEnvParamBlocks = nullptr;
    CabCount = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::free(blocks);
    std::free(cmdlist);
    std::free(rsplist);
    std::free(pf);
    cmdlist = nullptr;
    rsplist = nullptr;
    pf = nullptr;
    pf_arraysize = 0;
    pfcount = 0;
}

void ReleasePortsFromSignal()
{
    for (int b = 0; SendEnvParamBlocks != nullptr && b < CabCount; ++b) {
        for (snppb &slot : SendEnvParamBlocks[b].spb) {
            if (slot.env_path >= 0) {
                close(slot.env_path);
                slot.env_path = -1;
            }
        }
    }
    /* Asked whatever the slots say: the signal may have come between the
     * daemon's grant and the slots' record of it.  The daemon's pipe keeps
     * order, so a request still unread there is granted and then freed. */
    FreeAllMyPortsNoWait(get_free_port_id);
}

void GrabAllPorts(int issue_GO)
{
    if (NoEnvPBs)
        InitENVpb();
    for (int b = 0; b < CabCount; ++b) {
        const env_param_block &pb = SendEnvParamBlocks[b];
        if (pb.cabinet_id != -1 && pb.comm_type != -1 && pb.comm_type != CMIC_type && pb.comm_type != DAMC_type)
            Send_env_board(pb.cabinet_id, 0, nullptr, EP, ANOTHER_MESSAGE, ALLCNTLRS);
    }
    if (issue_GO)
        Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
}

/* ------------------------------------------------------------------------------------ */

namespace {

std::string port_name(const PortRequest_t &entry)
{
    return std::string(MessageField(entry.Processor, sizeof entry.Processor));
}

std::string port_result(const PortRequest_t &entry)
{
    return std::string(MessageField(entry.Result, sizeof entry.Result));
}

void set_result(PortRequest_t &entry, const char *text)
{
    SetMessageField(entry.Result, sizeof entry.Result, text, false);
}

PortRequest_t request_for(const char *name)
{
    PortRequest_t entry;
    std::memset(&entry, 0, sizeof entry);
    SetMessageField(entry.Processor, sizeof entry.Processor, name, false);
    set_result(entry, kNotGotten);
    return entry;
}

/* An in-use block talked to over serial lines. */
bool serial_block(const env_param_block &pb)
{
    return pb.inuse != 0 && pb.cabinet_id != -1 && pb.comm_type != CMIC_type;
}

/* A controller with commands waiting and neither a port nor a device. */
bool wants_port(const snppb &slot)
{
    return slot.NodeListIndex != -1 && slot.chain_len != 0 && slot.env_path == -1 && slot.owntheport == 0;
}

void open_ports_of(int cabidx)
{
    env_param_block &pb = SendEnvParamBlocks[cabidx];
    pb.env_status = BOTH_PATHS_GOOD;
    for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
        snppb &slot = pb.spb[c];
        if (slot.NodeListIndex == -1)
            continue;
        if (slot.chain_len != 0 && slot.env_path == -1 && slot.owntheport != 0 && slot.outcome >= 0) {
            const Node_t *node = NodeList[slot.NodeListIndex];
            int fd = OpenProc(node);
            if (fd < 0) {
                int error = errno;
                pb.env_status = OPENPROC_FAILED;
                slot.outcome = spb_ERROR;
                FreePort(slot.NodeName, get_free_port_id);
                slot.owntheport = 0;
                dprint(1, "OpenLink: Unable to open %s. Errno= %d\n", NodeText(node->InterfaceAddress), error);
                continue;
            }
            slot.env_path = static_cast<short>(fd);
        } else if (slot.outcome < 0 && slot.chain_len != 0) {
            pb.env_status = GETPORT_FAILED;
        }
    }
    if (pb.comm_type != JBOD_type && pb.comm_type != DISK_type)
        return;
    for (int c = 0; c < CNTLRS_PER_CAB; ++c) {
        const snppb &slot = pb.spb[c];
        if (slot.NodeListIndex != -1 && slot.chain_len != 0 && slot.env_path != -1 && slot.back != -1 &&
            ConvertJBODRegs(cabidx, static_cast<which_cntlr_t>(c)) != 0)
            dprint(1, "ConvertJBODRegs Failed\n");
    }
}

/* The slot's side of a connection that ends: device closed, port no longer
 * held, the next command opens a new connection. */
void forget_connection(snppb &slot)
{
    if (slot.env_path >= 0)
        close(slot.env_path);
    slot.env_path = -1;
    slot.owntheport = 0;
    slot.last_cmd = 0;
    slot.cmic_last_cmd = 0;
    slot.EPissued = 0;
    std::free(slot.cmic_complex_status);
    slot.cmic_complex_status = nullptr;
}

/* After every port was given back at once: no serial slot holds one any
 * more; one with commands waiting fails. */
void drop_every_port()
{
    for (int b = 0; !NoEnvPBs && SendEnvParamBlocks != nullptr && b < CabCount; ++b) {
        env_param_block &pb = SendEnvParamBlocks[b];
        if (!serial_block(pb))
            continue;
        for (snppb &slot : pb.spb) {
            if (slot.NodeListIndex == -1 || slot.owntheport == 0)
                continue;
            forget_connection(slot);
            if (slot.chain_len != 0)
                slot.outcome = spb_ERROR;
        }
    }
}

/* A port name goes into a shell command and an awk pattern: letters,
 * digits, '_', '-' and '.' only. */
bool safe_port_name(const char *port)
{
    if (port == nullptr || port[0] == '\0' || port[0] == '-')
        return false;
    for (const char *p = port; *p != '\0'; ++p) {
        char ch = *p;
        bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' ||
                     ch == '-' || ch == '.';
        if (!plain)
            return false;
    }
    return true;
}

} // namespace
