/*
 * rsp_check.h - judging replies, converting them into the callers' data,
 * learning the side of disk-array controllers, draining event lines after
 * a connection closes, and summing up the failures of a GO.
 *
 * The scheduler (scheduler.h) passes every reply through ErrorInRsp before
 * anything else happens to it; accepted replies go through ConvertToHex.
 * Send_env_board calls ReviewErrorsInPB at the end of each GO; the
 * environmental reads copy failures into their per-cabinet records with
 * MarkErrStat.
 */
#ifndef XR_ENGINE_RSP_CHECK_H
#define XR_ENGINE_RSP_CHECK_H

#include <array>
#include <cstdint>

#include "engine/cmd_status.h"
#include "engine/env_cmd.h"

/* Results of reply checking. */
enum errorcode {
    GETRSP_SUCCESS = 0,
    RESEND_NEEDED = 1,
    REREAD_NEEDED = 2,
    UNRECOGNIZED = 3,
    SHORT_RSP_MSG = 4,
    UNRECOVERABLE = 5,
    INCOMPLETE_READ = 6,
    GOT_AC00 = 7,
    UNRELATED_MSG = 8,
    CMD_CMPLT_ERR = 9,
};

/* Node-kind codes for log messages. */
enum {
    NODE_KIND_SNP = 2,
    NODE_KIND_OTHER = 3,
    NODE_KIND_JBOD = 4,
    NODE_KIND_PWR = 7,
    NODE_KIND_QNA = 8,
    NODE_KIND_CMIC = 207,
};

/* Register numbers of a back-side disk-array controller. */
extern const std::array<uint8_t, 256> jbod_translate;

/* Expected event codes per written register: entries (register, count,
 * count codes), ended by 0xFF. */
constexpr int VPR_CLEAR_EC_SIZE = 316;
extern const std::array<uint8_t, VPR_CLEAR_EC_SIZE> vpr_clear_EC;

/* Per-cabinet status record of the environmental reads. */
enum cabstat {
    OK = 0,
    CAB_TOO_HOT = 1,
    MISSING_FAN_CRU = 2,
    TWO_BAD_FANS = 3,
    MANY_BAD_FANS = 4,
    BATS_NOT_CHARGED = 5,
    SENDENV_FAILED = 6,
    CANT_OWNPORT = 7,
    DONT_KNOW_CMD = 8,
    NO_INPUT_POWER = 9,
    MISSING_FEU = 10,
    MISC_CMIC_ERR = 11,
    CMIC_COMM_ERR = 12,
};

struct envinfo {
    int pwron_allowed;
    int errstat;            /* cabstat */
    int cntlrbad[CNTLRS_PER_CAB];
    int bad_fans_in_cab;
    int bad_batts_in_cab;
    char bad_batt_list[20];
    int batts_in_cabinet;
    int bat_enable;
    int err_reported[CNTLRS_PER_CAB];
};

struct cabproc {
    int cabid;
    int proccount;
    int procid[8];
    unsigned int env[ENV_IMAGE_WORDS];
    unsigned int env0[ENV_IMAGE_WORDS];
    unsigned int env1[ENV_IMAGE_WORDS];
    envinfo info;
};

/* Node-kind code of a controller's node name (first three letters, case
 * ignored). */
int NodeKindOfName(const char *name);

int ErrorInRsp(int cabidx, int cntlrid, int rsplen, char *buffer);
/* Converts an accepted reply of num_bytes into env_data. */
void ConvertToHex(int cmd, int *env_data, const char *buffer, int num_bytes);
int SetBackFlag(int cabinet_idx, which_cntlr_t whichcntlr, int *env_data);
int ConvertJBODRegs(int cabidx, which_cntlr_t i);
int Clear_all_paths(int interval);
int PostSPRead(env_param_block *pbptr, int cntlr, const char *buffer, int num_chars);
int ReviewErrorsInPB();
void MarkErrStat(cabproc *cptr, int cabcount);

/* Bytes of per-complex records kept for a failed reply to cmdtype. */
int ComplexStatusRecordSize(int cmdtype);

#endif
