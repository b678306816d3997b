/*
 * cmic.cpp - the procedures for the cabinet's own management hardware: the
 * management controller (CMIC cage or chassis), the server management
 * chassis and its rack management boards (CMB, UMB).
 *
 * Replacing a controller deletes its network-boot entry, registers for the
 * module's events, waits until the new unit announces itself (heartbeat or
 * reboot event) and pushes the console's two configuration values into it.
 * Replacing a UMB turns the node agent's heartbeat detection off and on
 * around the swap.  Firmware and revision records are loaded by external
 * utilities run through fork_and_wait.
 *
 * Called by the dispatcher (rack_fru.cpp) and the generic procedures
 * (generic.cpp).  Every wait follows the time scale (base/timescale.h).
 */
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/chassis_views.h"
#include "app/rack_cb.h"
#include "app/rack_state.h"
#include "app/s_rack_disp.h"
#include "base/console_path.h"
#include "base/process.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "config/miscutil.h"
#include "config/table.h"
#include "engine/env_cmd.h"
#include "engine/send_env.h"
#include "engine/tessel_comm.h"
#include "fru/rack_fru.h"
#include "fru/upd_cfg.h"
#include "ui/x_util.h"

namespace {

/* ---- texts and numbers ------------------------------------------------------ */

/* Management-link events the boot wait listens for. */
constexpr uint32_t kBootEventFilter = QMX_EVENT_TESSEL | QMX_EVENT_HEARTBEAT;
constexpr uint8_t kCabinetComplexType = 0x81;
constexpr uint8_t kChassisComplexType = 0x80;
constexpr uint8_t kAllComplexes = 0xFF;
constexpr uint8_t kWholeChassis = 0x90;
/* An S_REBOOTED event of this subcomplex comes from a rack board, not from
 * the SMC itself. */
constexpr uint8_t kRackBoardSubcomplex = 2;

/* Heartbeat-detection commands of a UMB. */
constexpr int HB_DETECT_ENABLE = 38;
constexpr int HB_DETECT_DISABLE = 39;

/* One receive of the boot wait, in seconds (the budget counts them). */
constexpr int kBootRoundSeconds = 5;

constexpr const char *kRlmLogFile = "/tmp/nxp.fru_rlm";
constexpr const char *kFwFailed = "Error running FW download function\n";

/* The two kinds of controller replacement differ only in texts, names and
 * the boot budget. */
struct BoardTexts {
    const char *fn;              /* function name in traces */
    const char *unit;            /* "CMIC" or "SMC" */
    const char *boot_entry;      /* boot-table entry, with CabinetID */
    const char *bootptab_component;
    const char *bootptab_chassis;
    const char *steps_new;
    const char *steps_skipped;
    const char *chassis_steps_new;
    const char *boot_wait;
    const char *boot_duration;   /* may hold %d: the budget in minutes */
    const char *configured;
    int boot_budget;             /* seconds */
    bool smc;                    /* the server management chassis and its boards */
};

constexpr const char *kChassisSkipped =
    "%sConfiguration instructions have been skipped.\nbecause the bootptab entry was not deleted.\n\n"
    "Replace the chassis and click on the OK button below\n";

#define CHASSIS_STEPS(step3_tab)                                                                           \
    "%sRemoving this component can cause\nother chassis in the cabinet to enter ACFAIL\n"                  \
    "processing. It is recomended that you power off\nany SMPs in the cabinet before proceeding.\n\n"     \
    "Follow these steps to complete the procedure:\n1) Replace the chassis.\n"                            \
    "2) Connect the LAN cables, then the power cables.\n3) Wait for either the CMIC or SMC configuration\n" \
    step3_tab "dialog to be displayed (3 minutes).\n4) Respond to the configuration dialog.\n"             \
    "\tNOTE: You must enter the same System and Cabinet\n\tnumbers that the previous SMC was assigned\n"   \
    "5) When done responding, cycle the power to the\n\tServer Management Chassis. (Pull both power cords\n" \
    "\twait for the chassis to lose power and then plug\n\tthem back in)\n"                               \
    "6) When finished, click the 'OK' button below."

constexpr BoardTexts kCmicTexts = {
    "cmic_replace",
    "CMIC",
    "CMIC%03d-1",
    "The CMIC's bootptab entry will be deleted at this time.\nIf you are planning to put the same CMIC back into this\n"
    "cabinet you can skip this step by clicking Cancel",
    "The CMIC's bootptab entry will be deleted at this time.\nIf you are planning to put the same CMIC back into this\n"
    "cabinet you can skip this step by clicking Cancel",
    "%sFollow these steps:\n1) Replace the CMIC.\n2) Wait for the CMIC configuration dialog to be displayed (3 minutes).\n"
    "3) Respond to the CMIC configuration dialog.\n4) Reset the CMIC using the black button on the back.\n"
    "5) Click the 'OK' button below.",
    "%sConfiguration instructions have been skipped.\nbecause the bootptab entry was not deleted.\n\n"
    "Replace the CMIC and click on the OK button below\n",
    CHASSIS_STEPS("\t"),
    "Waiting for CMIC to boot",
    "May take up to %d minutes.",
    "Waiting for the CMIC to be configured.",
    360,
    false,
};

constexpr BoardTexts kCmbTexts = {
    "cmb_replace",
    "SMC",
    "SMC%03d-1",
    "The SMC's bootptab entry will be deleted at this time.\nIf you are planning to put the same Rack MB back into\n"
    "this chassis you can skip this step by clicking Cancel",
    "The SMC's bootptab entry will be deleted at this time.\nIf you are planning to put the same SMC back into this\n"
    "cabinet you can skip this step by clicking Cancel",
    "%sFollow these steps:\n1) Replace the MB. (It is hot-pluggable)\n"
    "2) Wait for the Rack MB configuration dialog to be displayed (3 minutes).\n"
    "3) Respond to the Rack MB configuration dialog.\n\tNOTE: You must enter the same System and Cabinet\n"
    "\tnumbers that the previous Rack MB was assigned\n4) Reset the Rack MB by removing and reseating it.\n"
    "5) Click the 'OK' button below.",
    "%sConfiguration instructions have been skipped.\nbecause the bootptab entry was not deleted.\n\n"
    "Replace the Rack MB and click on the OK button below\n",
    CHASSIS_STEPS(""),
    "Waiting for SMC to boot",
    "May take up to 5 minutes.",
    "Waiting for the Rack MB to be configured.",
    300,
    true,
};

#undef CHASSIS_STEPS

/* ---- helpers ------------------------------------------------------------------- */

std::string text_of(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string text_of(const char *fmt, ...)
{
    std::array<char, 2048> buffer{};
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
    va_end(args);
    return buffer.data();
}

/* A path in single quotes for the shell (a console root may hold blanks). */
std::string shell_quoted(const std::string &path)
{
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

/* Shows the work dialog with `text` as its whole message. */
void show_work(const std::string &text)
{
    if (!IsWorkDialog()) {
        StartWorkDialog(Toplevel, widget_title, text.c_str());
        return;
    }
    ChangeWorkDialogMsg(text.c_str());
    if (work_dialog_hidden)
        UnHideWorkDialog();
}

void hide_work()
{
    if (IsWorkDialog() && !work_dialog_hidden)
        HideWorkDialog();
}

/* A verify prompt: the work dialog steps aside while the operator answers
 * and comes back afterwards if it was up.  1 for OK, 0 for Cancel. */
int ask(const std::string &text, int type, const char *help_topic)
{
    bool was_shown = IsWorkDialog() && !work_dialog_hidden;
    if (was_shown)
        HideWorkDialog();
    int answer = ModalVerifyDialog(nullptr, widget_title, text.c_str(), type, help_topic != nullptr ? help_topic : "");
    if (was_shown)
        UnHideWorkDialog();
    return answer;
}

void error_box(const char *text)
{
    ModalErrorDialog(nullptr, widget_title, text);
}

/* One management-module command with its own 8192-byte answer buffer. */
struct ModuleCommand {
    std::vector<char> result = std::vector<char>(FRU_RESULT_SIZE, 0);
    tessel_cmd_t cmd{};

    ModuleCommand(uint8_t complex_type, uint8_t complex_id, uint8_t sub, uint8_t cmdtype)
    {
        cmd.resultptr = result.data();
        cmd.resultlen = static_cast<unsigned short>(result.size());
        cmd.complex_type = complex_type;
        cmd.complex_id = complex_id;
        cmd.subcomplex = sub;
        cmd.cmdtype = cmdtype;
    }

    /* Queues the command for CabinetID; false when the engine refused it. */
    bool queue()
    {
        dprint(3, "queue: %s\n", TesselCmdToAscii(&cmd));
        return Send_env_board(CabinetID, 0, reinterpret_cast<int *>(&cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS) == 0;
    }
    /* Runs the queue; the answer is in `result` afterwards. */
    void run() { Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS); }

    const qmx_ecmdcmplt_t *answer() const { return reinterpret_cast<const qmx_ecmdcmplt_t *>(result.data()); }
    bool succeeded() const { return answer()->get_cmd_status() == CMIC_CMD_SUCCESS; }
};
static_assert(FRU_RESULT_SIZE >= static_cast<int>(CMDCMPLT_MAX_LENGTH));

const char *dual_ac_value()
{
    return GetValue(DUAL_AC_KEY, 0);
}

const char *pf_time_value()
{
    return GetValue(PF_TIME_KEY, 0);
}

/* Runs one external utility (or, in test mode, only shows its command
 * line); true when it counts as successful. */
bool run_utility(const std::string &command, int trace_level)
{
    if (IsTestMode()) {
        ModalInfoDialog(nullptr, widget_title, command.c_str());
        return true;
    }
    int status = fork_and_wait(command.c_str());
    dprint(trace_level, "fork_and_wait() returns %d\n", status);
    return utility_succeeded(status) != 0;
}

/* One firmware download, reported in the work dialog. */
void run_flash(const std::string &command)
{
    dprint(1, "executing: %s\n", command.c_str());
    AddToWorkDialogMsg(command.c_str());
    if (!run_utility(command, 1)) {
        error_box(kFwFailed);
        errors_occured = 1;
    }
}

/* Receives one message of the boot wait: what has arrived, else whatever
 * comes within one round.  The message length, or -1 with qmx_errno
 * (QMX_ETIMEOUT when nothing came). */
int receive_boot_event(int applid, char *buffer)
{
    int queued = 0;
    int length = qmx_recvmsg(applid, buffer, QMX_RECV_SIZE, 0, &queued);
    if (length >= 0 || qmx_errno != QMX_ETIMEOUT)
        return length;

    /* Nothing yet: wait on the link's descriptors for one round. */
    std::array<pollfd, 4> fds{};
    int count = get_qmx_poll_info(fds.data(), static_cast<int>(fds.size()));
    count = std::clamp(count, 0, static_cast<int>(fds.size()));
    if (count == 0)
        return qmx_recvmsg(applid, buffer, QMX_RECV_SIZE, kBootRoundSeconds, &queued);
    long long deadline = monotonic_ms() + scaled_ms(kBootRoundSeconds * 1000L);
    for (;;) {
        long long left = deadline - monotonic_ms();
        if (left < 0)
            left = 0;
        int ready = poll(fds.data(), static_cast<nfds_t>(count), static_cast<int>(left));
        if (ready > 0 || left == 0)
            break;
    }
    return qmx_recvmsg(applid, buffer, QMX_RECV_SIZE, 0, &queued);
}

enum class BootSign { NotYet, Heartbeat, Rebooted };

/* Whether a received message says that the new unit is up. */
BootSign boot_sign(const BoardTexts &t, const char *buffer, int length)
{
    if (length < static_cast<int>(sizeof(qmx_event_t)))
        return BootSign::NotYet;
    const auto *header = reinterpret_cast<const qmx_event_t *>(buffer);
    uint32_t type = header->get_event_type();
    if (type == QMX_EVENT_HEARTBEAT) {
        unsigned identity = length > static_cast<int>(sizeof(qmx_event_t))
                                ? static_cast<unsigned char>(buffer[sizeof(qmx_event_t)])
                                : 0;
        dprint(5, "%s:  got HEARTBEAT event of identity 0x%x.\n", t.fn, identity);
        return BootSign::Heartbeat;
    }
    if (type == QMX_EVENT_TESSEL && length >= static_cast<int>(sizeof(qmx_etessel_t))) {
        const auto *event = reinterpret_cast<const qmx_etessel_t *>(buffer);
        if (event->event_type == QMX_S_REBOOTED &&
            !(t.smc && header->subcomplex == kRackBoardSubcomplex)) {
            dprint(5, "%s:  got S_REBOOTED event.\n", t.fn);
            return BootSign::Rebooted;
        }
        dprint(5, "%s:  got QMX TESSEL event_type (%d) instead.\n", t.fn, event->event_type);
        return BootSign::NotYet;
    }
    dprint(5, "%s:  got QMX TESSEL event_type (%u) instead.\n", t.fn, type);
    return BootSign::NotYet;
}

/* Step 6 of a controller replacement: waits for the new unit's heartbeat
 * or reboot event within the budget.  1 when booted (or the operator says
 * so), 0 when the operator gave up. */
int wait_for_boot(const BoardTexts &t, int applid)
{
    show_work(t.boot_wait);
    AddToWorkDialogMsg(text_of(t.boot_duration, t.boot_budget / 60).c_str());

    std::vector<char> buffer(QMX_RECV_SIZE, 0);
    int budget = t.boot_budget;
    for (;;) {
        budget -= kBootRoundSeconds;
        int length = receive_boot_event(applid, buffer.data());
        bool timed_out = length < 0 && qmx_errno == QMX_ETIMEOUT;
        if (length >= 0 && boot_sign(t, buffer.data(), length) != BootSign::NotYet)
            return 1;
        if ((length < 0 && !timed_out) || budget <= 0) {
            if (length < 0 && !timed_out)
                dprint(1, "cab_fru:  qmx_recvmsg failed\n\t\tqmx_errno %d\n", qmx_errno);
            std::string question = text_of(
                "Cabinet %d %s was not successfully\nbooted.  Please check cable connections,\n"
                "%s bootp entries, and ensure all\nhardware components are functional.\n"
                "Click 'OK' when %s is booted.\n",
                CabinetID, t.unit, t.unit, t.unit);
            if (ask(question, DIALOG_ERROR, nullptr))
                return 1;
            cmic_config_failed(text_of("%s not booted.", t.unit).c_str());
            return 0;
        }
        if (timed_out && budget % 10 == 0)
            AddToWorkDialogMsg(text_of("   Waited %d seconds...", t.boot_budget - budget).c_str());
        FreshenWindow();
    }
}

/* The replacement of a controller (cmic_replace, cmb_replace) in
 * replacement mode. */
int board_replace(const BoardTexts &t, int cru_type, const char *descr, const char *helpid)
{
    const bool chassis = cru_type == 0;

    /* 1. The management chassis carries the database's management link, and
     *    the procedure always leaves a trace of its start. */
    if (chassis && t.smc &&
        !ask("Warning:  Replacing the Server Management Chassis could\nresult in the database shutting down.\n\n"
             "Press OK to continue, CANCEL to exit.\n",
             DIALOG_WARNING, helpid))
        return 0;

    /* 2. The old unit's network-boot entry, unless it goes back in. */
    bool new_unit = false;
    if (ask(chassis ? t.bootptab_chassis : t.bootptab_component, DIALOG_INFORMATION, helpid)) {
        if (!overwrite_bootptab(text_of(t.boot_entry, CabinetID).c_str())) {
            hide_work();
            return 0;
        }
        new_unit = true;
    }

    /* 3. Events of the cabinet's module, so that the boot can be seen. */
    show_work(text_of("Registering for %s events", t.unit));
    register_for_cmic_cmds();
    int applid = get_qmx_applid();
    bool registered = false;
    if (applid > 0) {
        qmx_rcvopts_t filter{};
        filter.event_filter = kBootEventFilter;
        filter.severity_filter = 0xFFFFFFFFu;
        filter.cabno = static_cast<uint16_t>(CabinetID);
        filter.sysno = static_cast<uint8_t>(get_cabinet_system_id(CabinetID));
        filter.complex_type = kCabinetComplexType;
        registered = qmx_register(applid, QMX_SERVICE_EVENTS, &filter) >= 0;
    } else {
        dprint(1, "%s:  qmx_init failed.\n", t.fn);
    }
    hide_work();

    /* 4. What the operator does now. */
    const char *steps = chassis ? (new_unit ? t.chassis_steps_new : kChassisSkipped)
                                : (new_unit ? t.steps_new : t.steps_skipped);
    if (!ask(text_of(steps, descr), DIALOG_INFORMATION, helpid))
        return 0;

    /* 5. Without events the boot cannot be awaited nor the unit configured. */
    if (!registered) {
        dprint(1, "%s:  qmx_register failed.\n", t.fn);
        cmic_config_failed(text_of("Unable to communicate with %s.", t.unit).c_str());
        return 1;
    }

    /* 6. The boot. */
    if (!wait_for_boot(t, applid)) {
        hide_work();
        return 0;
    }

    /* 7. The unit configures itself after booting. */
    if (chassis) {
        AddToWorkDialogMsg("Waiting for the SMC to be configured.");
        count_down(70);
    }
    AddToWorkDialogMsg(t.configured);
    count_down(10);

    /* 8. The console's values. */
    update_cmic_config(IsRMDiskCab(CabinetID) ? 0 : 2);
    hide_work();
    return 1;
}

} // namespace

/* ---- controller replacement ------------------------------------------------------ */

int cmic_replace(int cru_type, const char *fru_id, const char *descr, const char *helpid)
{
    if (fru_replace_flag != REPLACE_CRU)
        return cru_type == 0 ? generic_down_cabinet(fru_id, descr, helpid) : generic_hot_plug(fru_id, descr, helpid);
    return board_replace(kCmicTexts, cru_type, descr, helpid);
}

int cmb_replace(int cru_type, const char *fru_id, const char *descr, const char *helpid)
{
    std::fprintf(stderr, "cmb_replace(): cru_type = %d, fru_id = \"%s\", descr = \"%s\", helpid = \"%s\"\n", cru_type,
                 fru_id, descr, helpid);
    if (fru_replace_flag != REPLACE_CRU)
        return cru_type == 0 ? generic_down_cabinet(fru_id, descr, helpid) : generic_hot_plug(fru_id, descr, helpid);
    return board_replace(kCmbTexts, cru_type, descr, helpid);
}

/* ---- configuration ------------------------------------------------------------------ */

int update_cmic_config(int which)
{
    AddToWorkDialogMsg("Updating Cabinet configuration:");

    const char *dual_ac = dual_ac_value();
    const char *pf_time = pf_time_value();
    upd_cfg_cmd_t block{};
    fill_upd_cfg(block, which, dual_ac, pf_time);

    std::string dual_ac_line = block.ac_degrade_action == AC_DEGRADE_RUN_ON_ONE
                                   ? text_of("  %s = no", DUAL_AC_KEY)
                                   : text_of("  %s = %s", DUAL_AC_KEY, "yes");
    std::string pf_line = pf_time != nullptr ? text_of("  %s = %s", PF_TIME_KEY, pf_time)
                                             : text_of("  %s = %d seconds", PF_TIME_KEY, DEFAULT_DAMC_PF_TIME);
    AddToWorkDialogMsg(which == 1 ? dual_ac_line.c_str() : pf_line.c_str());

    ModuleCommand command(kCabinetComplexType, kAllComplexes, 0, C_UPDATE_CONFIG);
    command.cmd.dataptr = reinterpret_cast<char *>(&block);
    command.cmd.datalen = sizeof(block);
    if (!command.queue()) {
        dprint(1, "update_cmic_config: Error Detected during cmd buffering\n");
        cmic_config_failed("Error buffering command.");
        return 0;
    }
    command.run();
    if (!command.succeeded() && !IsTestMode()) {
        display_cmdcmplt_err(command.answer(), "configure CMIC");
        cmic_config_failed("Error previously displayed.");
        return 0;
    }
    return 1;
}

void cmic_config_failed(const char *reason)
{
    const char *dual_ac = dual_ac_value();
    std::string text = text_of("CMIC was not configured with Global Values:\n\"%s = %s\"\n\"%s\" = %u seconds\n\n"
                               "Reason: %s",
                               DUAL_AC_KEY, dual_ac != nullptr ? dual_ac : "yes", PF_TIME_KEY,
                               pf_time_seconds(pf_time_value()), reason != nullptr ? reason : "");
    error_box(text.c_str());
    errors_occured = 1;
}

/* ---- UMB ------------------------------------------------------------------------------ */

int umb_replace(const char *fru_id, const char *descr, const char *helpid, int cru_num)
{
    if (fru_replace_flag != REPLACE_CRU)
        return generic_hot_plug(fru_id, descr, helpid);

    if (!ask(text_of("%sWARNING!\n\nReplacing %s without following this procedure\nEXACTLY as stated may result in "
                     "the attached SMP performing\na shutdown.\n",
                     descr, fru_id),
             DIALOG_INFORMATION, helpid))
        return 0;
    if (!send_umb_hb_cmd(HB_DETECT_DISABLE, cru_num))
        return 0;
    if (ask(text_of("%s%s is HOT PLUGGABLE.\nGo ahead and replace the FRU.\n\nDO NOT RECONNECT ANY CABLES AT THIS "
                    "TIME!\n\nClick OK after the new FRU has been installed and is ready\nto be configured into the "
                    "system.\n",
                    descr, fru_id),
            DIALOG_INFORMATION, helpid))
        return 1;
    /* The old board stays: the SMP must be watched again. */
    send_umb_hb_cmd(HB_DETECT_ENABLE, cru_num);
    return 0;
}

int send_umb_hb_cmd(int hbcmd, int cru_num)
{
    int chassis_ids[CHASSIS_IDS_PER_SLOT] = {};
    rcmb_slot_to_chassis_ids(cru_num - 1, chassis_ids);
    const char *what = hbcmd == HB_DETECT_ENABLE ? "ENABLE" : "DISABLE";
    show_work(text_of("Sending %s UMB Heartbeat Detection Command.", what));

    ModuleCommand command(kChassisComplexType, static_cast<uint8_t>(chassis_ids[0]), kWholeChassis,
                          static_cast<uint8_t>(hbcmd));
    if (!command.queue()) {
        if (!IsTestMode()) {
            dprint(1, "Error Detected during cmd buffering\n");
            error_box("Error buffering command");
            errors_occured = 1;
            hide_work();
            return 0;
        }
    } else {
        command.run();
        if (!command.succeeded() && !IsTestMode()) {
            error_box(text_of("Failed to %s the UMB to\nnode agent heartbeat detection,\nYou need to reset the UMB "
                              "\nimmediately. \n\n",
                              what)
                          .c_str());
            hide_work();
            return 0;
        }
    }
    AddToWorkDialogMsg("UMB Hearbeat Detection Command successful.");
    scaled_sleep_ms(2000);
    hide_work();
    return 1;
}

/* ---- firmware and revision records ------------------------------------------------------ */

int flash_mb(int chassis_id, int umb_flag, int smp_flag)
{
    dprint(1, "flash_mb: chassisId = %d, umbFlag = %s, smpFlag = %s\n", chassis_id, umb_flag ? "TRUE" : "FALSE",
           smp_flag ? "TRUE" : "FALSE");
    show_work(text_of("Waiting for FW Update of managment board in chassis %d.", chassis_id));

    /* The files the operator picks in the download dialogs, in order. */
    const char *first = umb_flag ? "COP_FW" : "MB";
    const char *second = umb_flag ? "MB" : "FW";
    int runs = 1;
    if (smp_flag) {
        std::string question = text_of(
            "Now you should download the Network firmware and the %s firmware.\nWhen the first download dialog is "
            "displayed, select the file\nwhose name ends with \"_%s.rom\". When the second download\ndialog is "
            "displayed, select the file whose name ends with\n\"_%s.rom\".\n\nWARNING: Incorrect Management Board "
            "firmware may result\nin a shutdown of the SMP.  Skip this step only if you are\ncertain that the new "
            "board has the latest firmware.\n\nPress OK to continue or Cancel to skip FW download.\n",
            umb_flag ? "UMB" : "SMB", first, second);
        runs = ask(question, DIALOG_INFORMATION, nullptr) ? 2 : 0;
    } else if (umb_flag) {
        runs = ask("Now you should download the Network firmware and the UMB firmware.\nWhen the first download "
                   "dialog is displayed, select the file\nwhose name ends with \"_COP_FW.rom\". When the second "
                   "download\ndialog is displayed, select the file whose name ends with\n\"_MB.rom\".\n\nPress OK to "
                   "continue or Cancel to skip FW download.\n",
                   DIALOG_INFORMATION, nullptr)
                   ? 2
                   : 0;
    }
    if (runs == 2)
        AddToWorkDialogMsg(text_of("First do *_%s.rom, then *_%s.rom", first, second).c_str());

    std::string command = text_of("XPROM_flash -D5 MB%03d-%d", CabinetID, chassis_id);
    for (int i = 0; i < runs; ++i)
        run_flash(command);
    hide_work();
    return 1;
}

void flash_cmic(int chassis_id)
{
    show_work(text_of("Waiting for FW Update of CMIC in chassis %d.", chassis_id));
    run_flash(text_of("XPROM_flash -D5 CMIC%03d-%d", CabinetID, chassis_id));
    hide_work();
}

void call_seeprom_utility(const char *rlm_name)
{
    const char *name = rlm_name != nullptr ? rlm_name : "";
    show_work(text_of("Waiting for Revision Info Update of %s", name));

    const std::string log = shell_quoted(console_path(kRlmLogFile));
    const std::string sys_id = std::to_string(get_cabinet_system_id(CabinetID));
    std::string header = text_of("echo RLM %s sys_id %s cab_name Cab%03d > %s; date >> %s; echo -- >> %s", name,
                                 sys_id.c_str(), CabinetID, log.c_str(), log.c_str(), log.c_str());
    std::string update = text_of("rm_seeprom_util -d5 -s \"%s\" -a \"%s\" Cab%03d >> %s 2>&1", sys_id.c_str(), name,
                                 CabinetID, log.c_str());
    dprint(5, "cab_fru: rlm_cmd <== %s!\n", header.c_str());
    dprint(5, "cab_fru: rlm_cmd <== %s!\n", update.c_str());
    if (debug > 5)
        AddToWorkDialogMsg(update.c_str());

    if (!IsTestMode() && std::system(header.c_str()) != 0)
        dprint(1, "call_seeprom_utility: the log header could not be written\n");
    if (!run_utility(update, 5)) {
        error_box("Error running RLM update function\n");
        errors_occured = 1;
    }
}

void count_down(int seconds)
{
    while (seconds > 0) {
        AddToWorkDialogMsg(text_of("    %d more seconds.", seconds).c_str());
        int step = std::min(seconds, 10);
        wait_a_while(step);
        seconds -= step;
    }
}
