/*
 * env_cmd.h - the command model of the cabinet communication engine: the
 * command codes and their texts, the cabinet list, the per-cabinet
 * parameter blocks with their controller slots and command chains, and the
 * steps that find the cabinets and controllers and put commands on chains.
 *
 * Every conversation with cabinet hardware goes through Send_env_board
 * (send_env.h), which buffers commands here and runs the scheduler
 * (scheduler.h) at GO; replies are judged by rsp_check.h.  The serial port
 * module borrows and returns ports for the same blocks.
 *
 * The parameter blocks, chains and reply buffers are allocated by
 * InitENVpb on first use and freed by FreeUpAllPorts (NoEnvPBs is 1 while
 * they do not exist).
 */
#ifndef XR_ENGINE_ENV_CMD_H
#define XR_ENGINE_ENV_CMD_H

#include <cstddef>
#include <vector>

#include "engine/tessel_comm.h"

/* ---- codes ----------------------------------------------------------------- */

/* Command codes; names in opcCMD_strs. */
enum OPCcmd {
    NULL_CMD = 0,
    READ_ENV = 1,
    WRITE_ENV = 2,
    READ_ALL_REG = 3,
    RESET = 4,
    WRITE_SN = 5,
    READ_SN = 6,
    DIAG = 7,
    WRITE_ONE_SNP = 8,
    READ_ONE_SNP = 9,
    READ_SNP = 10,
    DISABLE_BATTERIES = 11,
    DISABLE_BATTS_IMMED = 12,
    TD = 13,
    CLOSE_NO_FREE = 14,
    DAC_ID_DOWNLOAD = 15,
    DAC_ID_READ = 16,
    DAC_READ_LEDS = 17,
    DAC_SET_PRIMARY = 18,
    DAC_READ_PRIMARY = 19,
    DISK_POWER = 20,
    DISABLE_DISKS = 21,
    POWER_ALL_DISKS = 22,
    EP = 23,
    SP = 24,
    READ_FRONT_BACK = 25,
    READ_LEFT_RIGHT = 26,
    VPR_POWER = 27,
    UPS_DATA_MSG = 28,
    UPS_CMD_MSG = 29,
    CMIC_CMD_MSG = 30,
    RESET_DP = 31,
};
constexpr int HIGHEST_OPC_CMD = RESET_DP;

inline constexpr const char *opcCMD_strs[HIGHEST_OPC_CMD + 1] = {
    "NULL_CMD",        "READ_ENV",          "WRITE_ENV",         "READ_ALL_REG",        "RESET",
    "WRITE_SN",        "READ_SN",           "DIAG",              "WRITE_ONE_SNP",       "READ_ONE_SNP",
    "READ_SNP",        "DISABLE_BATTERIES", "DISABLE_BATTS_IMMED", "TD",                "CLOSE_NO_FREE",
    "DAC_ID_DOWNLOAD", "DAC_ID_READ",       "DAC_READ_LEDS",     "DAC_SET_PRIMARY",     "DAC_READ_PRIMARY",
    "DISK_POWER",      "DISABLE_DISKS",     "POWER_ALL_DISKS",   "EP",                  "SP",
    "READ_FRONT_BACK", "READ_LEFT_RIGHT",   "VPR_POWER",         "UPS_DATA_MSG",        "UPS_CMD_MSG",
    "CMIC_CMD_MSG",    "RESET_DP",
};

/* The `function` argument of Send_env_board. */
enum send_env_func {
    ANOTHER_MESSAGE = 0,
    LAST_MESSAGE = 1,
    CLOSE_CONNECTION = 2,
    GETPORT_ONLY = 3,
    GO = 4,
    CLOSE_ALL_PORTS = 5,
    GO_NOWAIT = 6,
};

/* The `which` argument. */
enum which_cntlr_t {
    CNTLR0 = 0,
    CNTLR1 = 1,
    CNTLR2 = 2,
    CNTLR3 = 3,
    ALLCNTLRS = 99,
};

/* Results of send_env_board. */
enum error_statuses {
    SUCCESS = 0,
    PARAMETER_1_BAD = 1,
    PARAMETER_2_BAD = 2,
    PARAMETER_3_BAD = 3,
    PARAMETER_4_BAD = 4,
    PARAMETER_5_BAD = 5,
    PARAMETER_6_BAD = 6,
    PARAMETER_7_BAD = 7,
    GETPORT_FAILURE = 8,
    FAILURE = 9,
};

/* Link state of a cabinet (env_status). */
enum env_status_type {
    CLOSED_LINK = 0,
    PATH_1_GOOD = 1,
    PATH_2_GOOD = 2,
    BOTH_PATHS_GOOD = 3,
    INVALID_CMD = 4,
    RSP_TOO_SHORT = 5,
    GETPORT_FAILED = 6,
    OPENPROC_FAILED = 7,
    RSP_TIMEOUT = 8,
    SKIPPED = 9,
    REGISTRATION_ERR = 10,
};

/* Outcome of one controller slot. */
enum spb_err_codes {
    spb_OK = 0,
    spb_NOWAIT = 1,
    spb_ERROR = -1,
    spb_UNKNOWN_CMD = -2,
    spb_NO_CNTLR = -3,
};

/* ---- sizes ------------------------------------------------------------------- */

constexpr int MAX_CABINETS = 999;
constexpr int CNTLRS_PER_CAB = 4;
constexpr int CHAIN_LENGTH = 25;
constexpr int RSP_BUFFERS = 2;
constexpr int RSP_TEXT_SIZE = 512;
constexpr int REG_LOG_SIZE = 256;
constexpr int REG_LOG_BATTERY_LIMIT = 128;
constexpr int PBFD_MAP_SIZE = 3996;
constexpr int ENV_IMAGE_WORDS = 8;
/* Room kept for a controller's node name in its slot. */
constexpr int SLOT_NAME_SIZE = 64;

/* A chain entry holds the command exactly as written: an ASCII line of at
 * most 15 characters and a NUL, a UPS frame, or a whole tessel_cmd_t
 * (larger than 16 bytes on a 64-bit host: its two pointers). */
constexpr std::size_t OPC_ASCII_SIZE = 16;
constexpr std::size_t OPC_TEXT_SIZE = sizeof(tessel_cmd_t) > OPC_ASCII_SIZE ? sizeof(tessel_cmd_t) : OPC_ASCII_SIZE;
static_assert(OPC_TEXT_SIZE >= OPC_ASCII_SIZE && OPC_TEXT_SIZE >= sizeof(tessel_cmd_t));

/* Length of a UPS frame by command. */
constexpr int UPS_DATA_LEN = 6;
constexpr int UPS_CMD_LEN = 8;

/* Register that tells a disk-array controller's side. */
constexpr int FRONT_BACK_REG = 0xBD;
/* Register-log entries standing for a serial-number write and a battery
 * disable. */
constexpr unsigned char REG_LOG_SN_WRITE = 0xFE;
constexpr unsigned char REG_LOG_BATT_DISABLE = 0xFC;

/* ---- records ------------------------------------------------------------------- */

struct CabList_t {
    int cabid;        /* cabinet number; -1 ends the list */
    short comm_type;  /* how the cabinet is talked to (a host-type code) */
    short cabtype;    /* the cabinet kind (a host-type code) */
};

/* One chain entry. */
struct opcmsg {
    char text[OPC_TEXT_SIZE]; /* the command as written to the controller */
    int *env_data;            /* the caller's data buffer for its reply */
};

struct opcrsp {
    char text[RSP_TEXT_SIZE];
};

/* One controller of a cabinet. */
struct snppb {
    opcmsg *cmdchain;        /* CHAIN_LENGTH entries, or null */
    char *NodeName;          /* the controller's node name (points at name), or null */
    opcrsp *rspchain;        /* RSP_BUFFERS reply buffers, or null */
    short NodeListIndex;     /* -1: no controller in this slot */
    short owntheport;        /* 1 while the port (or the library registration) is held */
    short env_path;          /* open descriptor of the port, -1 */
    short chain_len;         /* commands on the chain */
    short outcome;           /* spb_err_codes */
    short nexttosend;        /* next chain entry to send */
    short allrcvd;           /* non-zero once the last reply is in */
    unsigned char cmd[CHAIN_LENGTH]; /* OPCcmd per entry, 0xFF empty */
    char back;               /* disk arrays: 1 back side, 0 front, -1 unknown */
    char right;              /* left/right side (not used by the engine) */
    unsigned char EPissued;  /* EP queued in this connection */
    unsigned char RRissued;  /* READ_FRONT_BACK queued */
    unsigned char retry_count; /* resends of the current command */
    unsigned char last_cmd;  /* OPCcmd last sent */
    char cmic_cmd_status;    /* cmd_status of the last module reply; 17 not delivered */
    char cmic_last_cmd;      /* cmdtype of the last module command sent */
    void *cmic_complex_status; /* copy of a failed reply with per-complex records (malloc'd) */
    unsigned int env[ENV_IMAGE_WORDS]; /* register image read by READ_ALL_REG */
    char name[SLOT_NAME_SIZE];  /* storage of NodeName */
    int front_back;          /* reply buffer of the automatic READ_FRONT_BACK */
};

/* One cabinet. */
struct env_param_block {
    char inuse;              /* non-zero once a command was buffered */
    short comm_type;         /* host-type code, -1 until known */
    short cabinet_id;        /* -1: unused block */
    short num_reg_written;   /* entries of reg_written */
    unsigned char reg_written[REG_LOG_SIZE]; /* registers written in this connection */
    unsigned char env_status; /* env_status_type */
    short cmds_in_queue;     /* commands buffered for the cabinet */
    unsigned long cmic_seqnum; /* sequence of the last module command sent */
    snppb spb[CNTLRS_PER_CAB];
};

/* Poll entry -> block and controller; pbidx PBIDX_QMX marks a library
 * descriptor. */
struct pbfd_map {
    int pbidx;
    int cntlr;
};
constexpr int PBIDX_QMX = -2;

/* ---- state ------------------------------------------------------------------------ */

extern CabList_t Cabid_Pool[MAX_CABINETS];
extern env_param_block *SendEnvParamBlocks;
extern int CabCount;
extern int ControllerCount;
extern opcmsg *cmdlist;
extern opcrsp *rsplist;
extern int NoEnvPBs;
extern pbfd_map PbFdMap[PBFD_MAP_SIZE];

/* ---- operator hooks ------------------------------------------------------------- */

/* The engine keeps the window painted and reports to the work dialog
 * through these; start-up points them at FreshenWindow, IsWorkDialog and
 * AddToWorkDialogMsg.  Null (tools, tests): nothing is shown. */
struct EngineUi {
    void (*freshen_window)();
    int (*is_work_dialog)();
    int (*add_work_msg)(const char *line);
    /* A modal error box; null: the text goes to standard error. */
    void (*error_dialog)(const char *text);
    /* A modal yes/no question with a help tag: 1 for yes.  Null: no, since
     * nobody can be asked. */
    int (*ask_yes_no)(const char *text, const char *help_tag);
};
extern EngineUi engine_ui;

void EngineFreshenWindow();
/* Adds a line to the work dialog when one is open. */
void EngineWorkMsgIfOpen(const char *line);
/* Adds a line to the work dialog (the dialog decides what to do without one). */
void EngineWorkMsg(const char *line);
void EngineErrorDialog(const char *text);
int EngineAskYesNo(const char *text, const char *help_tag);

/* ---- operations ---------------------------------------------------------------------- */

/* Fills Cabid_Pool and ControllerCount from the node list; the number of
 * cabinets. */
int TotalCabCount();
/* Allocates and initialises the blocks, chains and reply buffers and fills
 * them from the node list. */
void InitENVpb();
void BuildBrdInfo(int cabcount);
/* Controller id (0-3) of a node of a cabinet, or -1. */
int CntlrIdIs(int nodelistindex, int cabinet_id);
/* Index of the cabinet's block, or -1. */
int GetPBSlot(int cabinet_id);

/* ---- the live blocks ------------------------------------------------------------ *
 *
 * A GO, its poll set and its review look only at the live blocks, so that
 * their cost follows the cabinets a command goes to, not the cabinets
 * configured.  A block is live from the moment anything is chained for it
 * (or a reply, a failure or a link reset changes it) until a review finds
 * it quiet: in use, no chain, every slot's outcome spb_OK, no device open,
 * no serial port held, link state BOTH_PATHS_GOOD and, for a management
 * module, the state the link's opening leaves (see BlockIsQuiet).  Every
 * step of a GO does nothing to a quiet block, which is why it can be left
 * out.  Code that changes a block outside these paths calls
 * EngineBlockTouched. */
void EngineBlockTouched(int idx);
/* Indices of the live blocks, ascending. */
const std::vector<int> &LiveBlocks();
bool BlockIsQuiet(const env_param_block &pb);
/* Drops the blocks that are quiet now from the live ones. */
void SettleLiveBlocks();

/* Chains a command on every controller of a cabinet / one controller. */
int BuildEnvPBs(int cabinet_id, int env_reg, int *env_data, int cmd);
int BuildOneENVpb(int cabinet_id, int env_reg, int *env_data, int cmd, which_cntlr_t which);
int BufMsgsforAll(int cabidx, int cmd, int reg, int *val, opcmsg **msg);
int BuildOneENVMsg(int cabidx, int cmd, int reg, int *val, opcmsg *msg, which_cntlr_t which);
/* Writes the command's text into mbuf (OPC_TEXT_SIZE bytes), logs written
 * registers and pre-sets a management-module result buffer.  0, or -1 for
 * an unknown code or bad data. */
int BuildEnvCmd(env_param_block *pbptr, char *mbuf, int cmd, int reg, int *val);

/* Bytes of a chain entry as written to the controller. */
int OpcTextLength(const env_param_block *pbptr, const opcmsg *msg, int cmd);

int num_ports_in_cab(int cab_id);
int nodename_to_pathnum(int cab_id, const char *nodename);
int atox(char ch);
int rotate_bits(int inp_byt);

/* Management-module node: host type 201 or above and not EMC. */
int IsTesselHostType(int host_type);

#endif
