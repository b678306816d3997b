/*
 * rack_fru.h - the FRU procedures: the dispatcher that picks a procedure for
 * a component, chassis kind and mode, the generic prompt and power
 * procedures, the management-controller and board procedures (replacement,
 * configuration, firmware, revision records) and the disk-array and UPS
 * prompts.
 *
 * Entered from the chassis views' component toggles (cru_repl_cb) through
 * rack_fru_function.  Every procedure talks to the operator through the
 * verify and work dialogs, sends its commands through Send_env_board and
 * reads the status tree through update_display and find_unit_ptr.
 *
 * Sources: rack_fru.cpp (dispatcher and component table), generic.cpp
 * (one-prompt procedures, power by command, presence loops, power check),
 * run_utility.cpp (fork_and_wait), cmic.cpp (controller and board
 * replacement, configuration, heartbeat detection, firmware, revision
 * records, count_down), da_ups.cpp (disk, controller, UPS and input
 * selector prompts, is_ptb_for_smps).
 */
#ifndef XR_FRU_RACK_FRU_H
#define XR_FRU_RACK_FRU_H

#include <vector>

#include "app/rack_query.h"

/* Replacement methods: the procedure a component's row selects. */
enum fru_replace_methods_t {
    FRU_UNKNOWN_METHOD = 0,
    FRU_HOT_PLUG = 1,
    FRU_MANUAL_PWR = 2,
    FRU_SW_CONTROL = 3,
    FRU_DA_DISK_REPL = 4,
    FRU_DA_CTL_REPL = 5,
    FRU_CMIC_REPL = 6,
    FRU_UPS_REPL = 7,
    FRU_IS_UPS_CHASSIS = 8,
    FRU_DOWN_CABINET = 9,
    FRU_CMB_REPL = 10,
    FRU_UMB_REPL = 11,
    FRU_SMP_UMB_REPL = 12,
};

/* Kinds of board in a rack management slot (rcmb_slot_to_chassis_ids). */
enum { MB_KIND_CMB = 78, MB_KIND_PTB = 79, MB_KIND_UMB = 98, MB_KIND_PTBX = 112 };

constexpr int FRU_ID_SIZE = 20;
constexpr int PROC_NAME_SIZE = 250;
constexpr int RLM_CHASSIS_STR_SIZE = 15;
constexpr int FRU_RESULT_SIZE = 8192;

/* Set by any step of the running procedure that failed; cleared when a
 * procedure starts; makes the completion message say "Errors occurred.". */
extern int errors_occured;

/* Non-zero while rack_fru_function runs a procedure (its prompts, waits and
 * commands run nested event loops in which time-outs still fire). */
extern int fru_procedure_running;

/* ---- rack_fru.cpp: the dispatcher --------------------------------------- */

/* Runs the FRU function chosen in fru_replace_flag on component cru_num
 * (from 1) of kind cru_type (the high byte of a cru_spec, e.g. 0x200) in
 * chassis chassis_id (from 1). */
void rack_fru_function(int cru_type, int cru_num, int chassis_id);

/* Help topic of the questions that offer a management-board firmware update
 * (after a chassis or board replacement, and before an interconnect board is
 * replaced as its chassis). */
inline constexpr const char kFirmwareHelpTopic[] = "FRU_MB_FW";

/* A help page a FRU prompt can open. */
struct FruHelpPage {
    const char *file;
    const char *topic;
};

/* Every help page the FRU procedures' prompts can open: each topic of the
 * component table and kFirmwareHelpTopic, with the file HelpFileForTopic
 * opens it in.  Lets the shipped help files be checked against them. */
std::vector<FruHelpPage> fru_help_pages();

/* ---- generic.cpp --------------------------------------------------------- */

/* Warns before a working power component is removed; non-zero to go on. */
int pwr_cmpnt_check(int chassis_id, int subcomplex_type, int cru_num, int mode, const char *helpid);
/* One-prompt procedures: 1 for OK, 0 for Cancel. */
int generic_hot_plug(const char *fru_id, const char *proc_name, const char *helpid);
int generic_manual_pwr_repl(const char *fru_id, const char *proc_name, const char *helpid);
int generic_down_cabinet(const char *fru_id, const char *proc_name, const char *helpid);
/* Power off / on by command to the cabinet's management module: 1 on
 * success, 0 on cancel or failure. */
int generic_sw_pwr_repl(int chassis_id, int cru_type, int subcomplex_type, int cru_num, const char *fru_id,
                        const char *proc_name, const char *helpid);
/* Loop until the component (or chassis) is present: 1 present or not
 * findable, 0 when the operator cancelled. */
int check_fru_presence(int chassis_id, int subcomplex_type, int cru_num, const char *helpid);
int check_chassis_presence(int chassis_id, const char *helpid);
/* Writes the revision-record name of a chassis into out (at least
 * RLM_CHASSIS_STR_SIZE bytes); other chassis types leave out unchanged. */
void get_rlm_chassis_str(int chassis_id, char *out);

/* ---- run_utility.cpp ------------------------------------------------------- */

/* Runs `command` through the shell in a child process while the display
 * keeps being served; the child's wait status (exit code x 256), or -1 when
 * it could not be started or was ended by a signal. */
int fork_and_wait(const char *command);
/* Whether a fork_and_wait result counts as success: neither -1 nor 128 or
 * more, except 25344 (exit code 99). */
int utility_succeeded(int status);

/* ---- cmic.cpp ------------------------------------------------------------ */

int cmic_replace(int cru_type, const char *fru_id, const char *descr, const char *helpid);
int cmb_replace(int cru_type, const char *fru_id, const char *descr, const char *helpid);
int update_cmic_config(int which);
void cmic_config_failed(const char *reason);
int umb_replace(const char *fru_id, const char *descr, const char *helpid, int cru_num);
int send_umb_hb_cmd(int hbcmd, int cru_num);
int flash_mb(int chassis_id, int umb_flag, int smp_flag);
void flash_cmic(int chassis_id);
void call_seeprom_utility(const char *rlm_name);
void count_down(int seconds);

/* ---- da_ups.cpp ------------------------------------------------------------ */

int is_ptb_for_smps(int cru_num);
int da_disk_replace(unit_cfg_t *unit, const char *fru_id, const char *descr, const char *helpid);
int da_ctl_replace(unit_cfg_t *unit, const char *fru_id, const char *descr, const char *helpid);
int ups_replace(const char *fru_id, const char *descr, const char *helpid);
int is_ups_replace(const char *fru_id, const char *descr, const char *helpid);

#endif
