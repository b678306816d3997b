/*
 * scheduler.h - the send-and-response scheduler of a GO: it keeps every
 * controller of every cabinet busy with exactly one outstanding command,
 * waits on all descriptors with poll, hands each reply to reply checking
 * (rsp_check.h) and sends that controller's next command.  A non-blocking
 * variant (GO_NOWAIT and the Seb* calls) lets a caller start the commands
 * and collect the replies from its own poll loop.
 *
 * Called by Send_env_board (send_env.h) and by reply checking's event
 * drain; works on the blocks of env_cmd.h.  Every wait goes through the
 * XRACKMON_TIME_SCALE test aid (base/timescale.h).
 */
#ifndef XR_ENGINE_SCHEDULER_H
#define XR_ENGINE_SCHEDULER_H

#include <poll.h>
#include <signal.h>

#include "engine/env_cmd.h"

/* Options of the completion check. */
enum all_response_opts {
    aro_JUST_CHECKING = 0,
    aro_RETRY_MISSING = 1,
    aro_MARK_FAILED = 2,
    aro_INCLUDE_NOWAIT = 3,
};

/* Reply time limits, milliseconds. */
enum timeout_t {
    ENV_TIMEOUT = 6000,
    CU_TIMEOUT = 85000,
    DAC_RESET_TIMEOUT = 90000,
    CMIC_CMD_TIMEOUT = 30000,
    CMIC_POWER_ON_TIMEOUT = 70000,
    CMIC_POWER_OFF_TIMEOUT = 70000,
    CMIC_RESET_TIMEOUT = 70000,
    CMIC_UPDATE_CONFIG_TIMEOUT = 70000,
    CMIC_PROM_FLASH_TIMEOUT = 130000,
    CMIC_BYTE_STREAM_TIMEOUT = 40000,
    CMIC_WR_SEEPROM_TIMEOUT = 40000,
    CMIC_RD_SEEPROM_TIMEOUT = 40000,
    CMIC_RESCAN_TIMEOUT = 40000,
    SMP_SHUTDOWN_TIMEOUT = 900000,
};

/* One poll slice; the "not ready" pause; the reply buffer. */
constexpr int POLL_SLICE_MS = 2000;
constexpr int NOT_READY_PAUSE_MS = 2000;
constexpr int RSP_BUFFER_SIZE = 8192;
/* Every sixth "not ready" reply of a cabinet is reported. */
constexpr int NOT_READY_REPORT_EVERY = 6;
constexpr int MAX_RESENDS = 2;
constexpr int CMIC_RETRY_SLOTS = 1000;

extern struct pollfd *pf;
extern int pf_arraysize;
extern int pfcount;
extern int cmic_retry_count[CMIC_RETRY_SLOTS];
extern int go_nowait;

/* A slot takes part in a GO: its block is in use and it has a controller. */
int IsActiveSlot(const env_param_block &pb, const snppb &slot);

void get_poll_t_space();
int SendAll();
void ScanNSend();
int SendNext(int cabidx, int cntlrid, int fd, opcmsg *msgptr);
int GetRsp(int cabidx, int cntlrid, char *buffer, int fd);
int GetCmicRsp(int fd, char *buffer, int *cabidx, int *cntlrid, int *queue_count);
int ChkRspAndSendNext(int cabidx, int cntlrid, int fd, char *buffer, int num_chars);
int ResendCmd(env_param_block *pbptr, int cntlrid, int errorcode, int cabidx);
int MoreCmdtoSend();
int AllRspRcvd(int option);
int seb_poll_timeout();
/* Ends the program when poll reported `ready` descriptors but the set
 * shows another number with events: the descriptor table is corrupt. */
void CheckPollEventCount(const struct pollfd *pf, int pfcount, int ready);
int HaveFdsForCtlrs();
int HaveCmdsForCmics();
int IsSmpShutdownInvolved(const tessel_cmd_t *cmd);
int IsSmpFlushInvolved(const tessel_cmd_t *cmd);

/* Non-blocking collection. */
int SebNumPollFds();
int SebGetPollFds(struct pollfd *pf_in, int size);
int SebGetNextResponse(int *cabinet_id, int *cab_done, int *all_done);
int SebClearNowait();
void SebClearOutcome(int cabid);

/* Opens the management-module link for a GO when a module has commands;
 * 1 or the descriptor count when open, 0 when registration failed or there
 * was nothing to open. */
int OpenTesselLink();

/* A pending alarm of the caller, suspended (SIGALRM ignored) for the length
 * of a wait and re-armed afterwards with what is left, at least 1 second. */
struct SuspendedAlarm {
    unsigned remaining;
    long long started_ms;
    struct sigaction action;
};
void SuspendAlarm(SuspendedAlarm *saved);
void ResumeAlarm(const SuspendedAlarm *saved);

#endif
