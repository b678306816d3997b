/*
 * generic.cpp - the procedures every component kind can share: the warning
 * before a working power component is removed (pwr_cmpnt_check), the three
 * one-prompt procedures (hot plug, manual power, cabinet power), power off
 * and on by command to the cabinet's management module
 * (generic_sw_pwr_repl), the loops that wait until a replaced component or
 * chassis shows up in the status tree, and the revision-record name of a
 * chassis.
 *
 * Called by the dispatcher (rack_fru.cpp) and by the controller, disk-array
 * and UPS procedures.
 */
#include "fru/rack_fru.h"

#include <cstring>
#include <memory>
#include <strings.h>

#include "app/chassis_table.h"
#include "app/chassis_views.h"
#include "app/rack_state.h"
#include "app/s_rack_disp.h"
#include "app/status_codes.h"
#include "app/subcomplex_types.h"
#include "app/unit_lookup.h"
#include "base/process.h"
#include "base/trace.h"
#include "config/miscutil.h"
#include "config/table.h"
#include "engine/send_env.h"
#include "engine/tessel_comm.h"
#include "fru/fru_text.h"
#include "ui/x_util.h"

namespace {

/* Status a healthy power unit may also report besides S_OK. */
constexpr int S_OK_ALT = 0x5F;
/* Management-module addressing of the power commands. */
constexpr unsigned char kChassisComplexType = 0x80;
constexpr unsigned char kWholeChassis = 0x90;
/* Sub-type of the SMP cabinets whose SMPs run only with both AC feeds. */
constexpr int kDualAcSmpSubType = 8;
constexpr const char *kDualAcKey = "run_only_with_dual_ac";

/* The three texts of a one-prompt procedure, by mode. */
struct OnePrompt {
    const char *power_off;
    const char *power_on;
    const char *replace;
};

constexpr OnePrompt kHotPlug = {
    "%s%s cannot be powered off\nfrom the OPC, but is HOT PLUGGABLE.\n\nIf you are replacing this FRU please use "
    "the FRU\nReplacement dialog to ensure that all necessary\nprocedures are followed and that the FRU is\n"
    "configured correctly.",
    "%s%s is automatically powered on\nwhen the FRU is placed into the cabinet.\nClick OK after the FRU is placed "
    "into\nthe cabinet.\n",
    "%s%s is HOT PLUGGABLE.\nGo ahead and replace the FRU.\nClick OK after the new FRU is installed\nand ready to be "
    "configured into the system.\n",
};

constexpr OnePrompt kManualPower = {
    "%s%s must be powered off manually.\n",
    "%s%s must be powered on manually.\n",
    "%s%s must be powered off manually.\nClick OK after the FRU has been replaced and powered on.\n",
};
/* The battery tray that is swapped while the UPS runs. */
constexpr const char *kHotBatteryLabel = "BAT 1";
constexpr const char *kHotBatteryReplace = "%s%s is hot-pluggable.\nClick OK after the FRU has been replaced.\n";

constexpr OnePrompt kDownCabinet = {
    "%s%s can not be powered off.\n",
    "%s%s is powered on whenever the cabinet has power.\n",
    "%s%s: Removing this component can cause\nother chassis in the cabinet to enter ACFAIL\nprocessing. It is "
    "recomended that you power off\nthe cabinet before proceeding.\n\nClick OK after replacement is complete, the "
    "cabinet\nis powered on, and the component is ready to be\nconfigured into the system.\n",
};

const char *text_for_mode(const OnePrompt &texts)
{
    switch (fru_replace_flag) {
    case CRU_PWR_OFF:
        return texts.power_off;
    case CRU_PWR_ON:
        return texts.power_on;
    default:
        return texts.replace;
    }
}

int ask(const std::string &text, int type, const char *helpid)
{
    return ModalVerifyDialog(nullptr, widget_title, text.c_str(), type, helpid);
}

void show_work(const char *text)
{
    ChangeWorkDialogMsg(text);
    UnHideWorkDialog();
}

s_cab_chassis_rec *chassis_of(int chassis_id)
{
    return chassis_id >= 1 && chassis_id <= MAX_CHASSIS ? &chassis_rec[chassis_id] : nullptr;
}

int chassis_type_of(int chassis_id)
{
    const s_cab_chassis_rec *chassis = chassis_of(chassis_id);
    return chassis != nullptr ? chassis->chassis_type : CHASSIS_UNKNOWN;
}

const complex_cfg_t *complex_of(int chassis_id)
{
    const s_cab_chassis_rec *chassis = chassis_of(chassis_id);
    return chassis != nullptr ? chassis->complex_ptr : nullptr;
}

bool is_interconnect(int chassis_type)
{
    return chassis_type == CHASSIS_QNA || chassis_type == CHASSIS_QNB;
}

bool is_management_board_sub(int sub)
{
    return sub == SC_MB || sub == SC_GAR_RUMB || sub == SC_BER_RUMB || sub == SC_COB_RUMB;
}

/* Queues one power command for the addressed chassis or unit, runs it and
 * judges the completion.  1 when it succeeded (or in test mode, where the
 * failures are only walked past), 0 after the failure was shown.  The
 * result buffer lives until the GO has returned. */
int send_power_command(int chassis_id, int subcomplex, int unit_id, int cmdtype, const char *doing_what)
{
    auto result = std::make_unique<char[]>(FRU_RESULT_SIZE);
    std::memset(result.get(), 0, FRU_RESULT_SIZE);
    tessel_cmd_t cmd{};
    cmd.dataptr = nullptr;
    cmd.resultptr = result.get();
    cmd.resultlen = FRU_RESULT_SIZE;
    cmd.datalen = 0;
    cmd.complex_type = kChassisComplexType;
    cmd.complex_id = static_cast<unsigned char>(chassis_id);
    cmd.subcomplex = static_cast<unsigned char>(subcomplex);
    cmd.unit = static_cast<unsigned char>(unit_id);
    cmd.cmdtype = static_cast<unsigned char>(cmdtype);

    if (Send_env_board(CabinetID, 0, reinterpret_cast<int *>(&cmd), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS) != 0 &&
        !IsTestMode()) {
        dprint(1, "Error Detected during cmd buffering\n");
        ModalErrorDialog(nullptr, widget_title, "Error buffering command");
        errors_occured = 1;
        return 0;
    }
    Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);

    const auto *answer = reinterpret_cast<const qmx_ecmdcmplt_t *>(result.get());
    if (answer->get_cmd_status() != CMIC_CMD_SUCCESS && !IsTestMode()) {
        display_cmdcmplt_err(answer, doing_what, FRU_RESULT_SIZE);
        return 0;
    }
    return 1;
}

/* A command that failed ends the procedure: the work dialog goes too. */
int power_failed()
{
    HideWorkDialog();
    return 0;
}

} // namespace

/* ---- the power check ------------------------------------------------------ */

namespace {

/* Whether the component is already out of service, so that removing it
 * costs nothing: 1 broken, 0 working, or for a management slot that holds
 * no rack management board the slot kind itself (an empty slot, 0, stops
 * the procedure; any other board lets it go on). */
int already_broken(int chassis_id, int sub, int cru_num, bool *decided)
{
    *decided = true;
    if (sub == SC_PWR) {
        const unit_cfg_t *unit = find_unit_ptr(chassis_id, SC_PWR, cru_num);
        if (unit != nullptr && unit->unit_status != S_OK && unit->unit_status != S_OK_ALT) {
            dprint(3, "pwr_cmpnt_check: Power Supply not OK\n");
            return 1;
        }
    } else if (is_management_board_sub(sub)) {
        int ids[CHASSIS_IDS_PER_SLOT];
        const int kind = rcmb_slot_to_chassis_ids(cru_num - 1, ids);
        if (kind != MB_KIND_CMB && kind != MB_KIND_UMB)
            return kind;
        if (ids[0] < 1 || chassis_type_of(ids[0]) != CHASSIS_UPS)
            return 1;
        const complex_cfg_t *ups = complex_of(ids[0]);
        if (ups != nullptr && ups->complex_status != S_OK) {
            dprint(3, "pwr_cmpnt_check: UPS-%d not OK\n", ids[0]);
            return 1;
        }
    } else {
        const complex_cfg_t *complex = complex_of(chassis_id);
        if (complex != nullptr && complex->complex_status != S_OK_ALT && complex->complex_status != S_OK) {
            dprint(3, "pwr_cmpnt_check: Chassis not OK\n");
            return 1;
        }
    }
    *decided = false;
    return 0;
}

} // namespace

int pwr_cmpnt_check(int chassis_id, int subcomplex_type, int cru_num, int mode, const char *helpid)
{
    dprint(5, "pwr_cmpnt_check: id=%d sub=0x%x cru_num=%d\n", chassis_id, static_cast<unsigned>(subcomplex_type),
           cru_num);
    if (mode == CRU_PWR_ON)
        return 1;

    /* 1. Components whose loss reaches the SMPs. */
    const int chassis_type = chassis_type_of(chassis_id);
    const bool affects_smps =
        chassis_type == CHASSIS_NODE || chassis_type == CHASSIS_UPS || is_management_board_sub(subcomplex_type);

    /* 2. A component that is already broken can go without a question. */
    bool decided = false;
    const int broken = already_broken(chassis_id, subcomplex_type, cru_num, &decided);
    if (decided)
        return broken;

    /* 3. The installation's current wish about single-feed operation. */
    reread_config_file();
    const char *dual_ac = GetValue(kDualAcKey, 0);
    int sub_type = 0;
    const int is_8830_cab = IsRMSMPCab(CabinetID, &sub_type) && sub_type == kDualAcSmpSubType ? 1 : 0;
    dprint(1, "Is_8830_CAB is %d\n", is_8830_cab);

    const bool power_supply = subcomplex_type == SC_PWR;
    if (affects_smps && is_8830_cab && (dual_ac == nullptr || strcasecmp(dual_ac, "yes") == 0)) {
        return ask(fru_format("The \"%s\" global value is set to yes.\n\nRemoving or disabling this component will "
                              "cause\n%s to begin ACFAIL processing.\n\nDo you wish to continue?",
                              kDualAcKey, power_supply ? "the SMP" : "any SMPs in the cabinet"),
                   DIALOG_QUESTION, helpid);
    }
    return ask(fru_format("This component appears to be functional.\n\nBefore continuing you should make sure that "
                          "the\nrest of the Power Subsystem is functional so that\nthe %s does not shut down.\n\nDo "
                          "you wish to continue?",
                          power_supply ? "chassis" : "cabinet"),
               DIALOG_QUESTION, helpid);
}

/* ---- one-prompt procedures ------------------------------------------------ */

int generic_hot_plug(const char *fru_id, const char *proc_name, const char *helpid)
{
    return ask(fru_format(text_for_mode(kHotPlug), proc_name, fru_id), DIALOG_INFORMATION, helpid);
}

int generic_manual_pwr_repl(const char *fru_id, const char *proc_name, const char *helpid)
{
    const char *text = text_for_mode(kManualPower);
    if (text == kManualPower.replace && std::strcmp(fru_id, kHotBatteryLabel) == 0)
        text = kHotBatteryReplace;
    return ask(fru_format(text, proc_name, fru_id), DIALOG_INFORMATION, helpid);
}

int generic_down_cabinet(const char *fru_id, const char *proc_name, const char *helpid)
{
    return ask(fru_format(text_for_mode(kDownCabinet), proc_name, fru_id), DIALOG_INFORMATION, helpid);
}

/* ---- power by command ----------------------------------------------------- */

int generic_sw_pwr_repl(int chassis_id, int cru_type, int subcomplex_type, int cru_num, const char *fru_id,
                        const char *proc_name, const char *helpid)
{
    const bool whole_chassis = cru_type == 0;
    const int chassis_type = chassis_type_of(chassis_id);

    /* 1. The unit the commands address. */
    int unit_id = 0;
    if (!whole_chassis) {
        const unit_cfg_t *unit = find_unit_ptr(chassis_id, subcomplex_type, cru_num);
        if (unit == nullptr) {
            ModalErrorDialog(nullptr, widget_title, fru_format("Unable to access %s\n", fru_id).c_str());
            errors_occured = 1;
            return 0;
        }
        unit_id = unit->unit_id;
    }
    const int subcomplex = whole_chassis ? kWholeChassis : subcomplex_type;

    /* 2. The power modes: one command and done. */
    if (fru_replace_flag == CRU_PWR_ON || fru_replace_flag == CRU_PWR_OFF) {
        const bool off = fru_replace_flag == CRU_PWR_OFF;
        if (!ask(fru_format(off ? "%sBegin powering off %s?\n" : "%sBegin powering on %s?\n", proc_name, fru_id),
                 DIALOG_QUESTION, helpid))
            return 0;
        show_work(off ? "Powering off component." : "Powering on component.");
        if (!send_power_command(chassis_id, subcomplex, unit_id, off ? C_POWER_OFF : C_POWER_ON, "power on/off"))
            return power_failed();
        wait_a_while(5);
        update_display(0);
        HideWorkDialog();
        return 1;
    }

    /* 3. Replacement: power off first. */
    if (!ask(fru_format("%sBegin powering off %s for replacement?\n", proc_name, fru_id), DIALOG_QUESTION, helpid))
        return 0;
    show_work("Powering off component.");
    if (!send_power_command(chassis_id, subcomplex, unit_id, C_POWER_OFF, "power off"))
        return power_failed();
    wait_a_while(3);
    update_display(0);
    HideWorkDialog();

    /* 4. The operator swaps it, or decides not to. */
    const bool cabled_steps = chassis_type == CHASSIS_QNB || (chassis_type == CHASSIS_QNA && whole_chassis);
    const char *swap_text = cabled_steps
                                ? "%s has been powered off and is ready to be replaced.\n\nFollow these steps for "
                                  "the replacement:\n1) Disconnect the power cables\n2) Disconnect the MLAN cable\n3) "
                                  "Replace the failed component or chassis\n4) Connect only the MLAN cable\n5) Click "
                                  "OK when ready.\n\n"
                                : "%s has been powered off and is ready to be replaced.\nClick OK when %s has been "
                                  "replaced.\n";
    const bool replaced = ask(fru_format(swap_text, fru_id, fru_id), DIALOG_INFORMATION, helpid) != 0;
    if (!replaced && !ask(fru_format("Power %s back on?\n", fru_id), DIALOG_QUESTION, helpid))
        return 0;

    /* 5. The new part must be there before it is powered. */
    const bool interconnect_chassis = whole_chassis && is_interconnect(chassis_type);
    if (replaced && whole_chassis) {
        if (interconnect_chassis) {
            show_work("Preparing to flash MB.");
            AddToWorkDialogMsg("Waiting for board to be configured.");
            count_down(80);
            flash_mb(chassis_id, 0, 0);
        }
        if (!check_chassis_presence(chassis_id, helpid))
            return 0;
        if (interconnect_chassis &&
            !ask("Attach the Ethernet, then the power cables to the chassis now.\nClick OK when ready.\n",
                 DIALOG_INFORMATION, helpid))
            return 0;
    } else if (!check_fru_presence(chassis_id, subcomplex_type, cru_num, helpid)) {
        return 0;
    }

    /* 6. Power on again. */
    show_work(interconnect_chassis ? "Powering on QUONET chassis." : "Powering on component.");
    if (!send_power_command(chassis_id, subcomplex, unit_id, C_POWER_ON, "power on"))
        return power_failed();
    wait_a_while(3);
    update_display(0);
    HideWorkDialog();
    return replaced ? 1 : 0;
}

/* ---- presence loops ------------------------------------------------------- */

int check_fru_presence(int chassis_id, int subcomplex_type, int cru_num, const char *helpid)
{
    dprint(5, "check_fru_presence:chassis=%d type=0x%x cru=%d\n", chassis_id, static_cast<unsigned>(subcomplex_type),
           cru_num);
    for (;;) {
        update_display(1);
        const unit_cfg_t *unit = find_unit_ptr(chassis_id, subcomplex_type, cru_num);
        if (unit == nullptr) {
            dprint(5, "check_fru_presence: Can't find unit\n");
            return 1;
        }
        dprint(5, "check_fru_presence: status=0x%x\n", static_cast<unsigned>(unit->unit_status));
        if (unit->unit_status != S_MISSING)
            return 1;
        if (!ModalVerifyDialog(nullptr, widget_title,
                               "The FRU has not been replaced in the chassis. Please replace it now.\n\nFor HOT "
                               "PLUGGABLE FRUs please wait 10 seconds before clicking OK",
                               DIALOG_ERROR, helpid))
            return 0;
    }
}

int check_chassis_presence(int chassis_id, const char *helpid)
{
    for (;;) {
        update_display(1);
        const complex_cfg_t *complex = complex_of(chassis_id);
        if (complex != nullptr && complex->complex_status != S_MISSING)
            return 1;
        if (!ModalVerifyDialog(nullptr, widget_title,
                               "The chassis has not been replaced in the cabinet. Please replace it now.",
                               DIALOG_ERROR, helpid))
            return 0;
    }
}

/* ---- revision-record names ------------------------------------------------ */

void get_rlm_chassis_str(int chassis_id, char *out)
{
    dprint(5, "get_rlm_chassis_str: making str for chassis #%d\n", chassis_id);
    switch (chassis_type_of(chassis_id)) {
    case CHASSIS_DISK_ARRAY:
        std::snprintf(out, RLM_CHASSIS_STR_SIZE, "DAMC %d", chassis_id);
        break;
    case CHASSIS_UPS:
        std::snprintf(out, RLM_CHASSIS_STR_SIZE, "UPS %d", chassis_id);
        break;
    case CHASSIS_NODE:
        std::snprintf(out, RLM_CHASSIS_STR_SIZE, "SMP %d", chassis_id);
        break;
    case CHASSIS_QNA:
    case CHASSIS_QNB:
        std::snprintf(out, RLM_CHASSIS_STR_SIZE, "QUONET %d", chassis_id);
        break;
    case CHASSIS_SERVER_MGMT:
    case CHASSIS_SERVER_MGMT2:
        std::snprintf(out, RLM_CHASSIS_STR_SIZE, "SMC");
        break;
    default:
        break;
    }
}
