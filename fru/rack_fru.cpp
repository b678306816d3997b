/*
 * rack_fru.cpp - the FRU procedure dispatcher.  rack_fru_function takes the
 * component the operator clicked (its kind, its number, its chassis) and the
 * function chosen in the menu (replace, power on, power off), picks the
 * procedure from the component table, runs it, and finishes with what every
 * replacement needs: the management board's configuration and firmware,
 * the presence check, the revision record, the interconnect reset and the
 * completion message.
 *
 * The component table is data: one row per component kind and chassis
 * condition, giving the label, the replacement method, the help topic, the
 * status-tree subcomplex and the flags of the row.  The first row whose kind
 * matches and whose condition holds is taken; adding a component kind is
 * adding a row.
 */
#include "fru/rack_fru.h"

#include <cstring>

#include "app/chassis_table.h"
#include "app/chassis_views.h"
#include "app/rack_state.h"
#include "app/s_rack_disp.h"
#include "app/status_codes.h"
#include "app/subcomplex_types.h"
#include "app/unit_lookup.h"
#include "base/console_path.h"
#include "base/process.h"
#include "base/trace.h"
#include "fru/fru_text.h"
#include "ui/x_util.h"

int errors_occured = 0;
int fru_procedure_running = 0;

namespace {

/* ---- the component table ------------------------------------------------- */

/* Complex types the table tells apart. */
constexpr int kMdaComplex = '&';           /* disk array with a disk grid */
constexpr int kUpsSelectorComplex1 = '*';  /* UPS chassis with input selector */
constexpr int kUpsSelectorComplex2 = '.';
constexpr int kCmbManagedComplex = ',';    /* rack management board is a CMB */
constexpr int kSmpCmbComplex = '%';        /* SMP chassis managed by a CMB */
/* Subcomplex of the controller cage. */
constexpr int kCmicCageSubcomplex = 130;

/* Which chassis a row applies to. */
enum class Where : unsigned char {
    Any,
    DiskArray,        /* chassis type 6 */
    DiskArrayMda,     /* type 6 with complex type '&' */
    DiskArrayPlain,   /* type 6 with any other complex type */
    NotDiskArray,
    Ups,              /* type 7 */
    Smp,              /* type 201 */
    Interconnect,     /* types 204, 205 */
    Smc,              /* types 207, 208 */
    Smc207,
    Smc208,
};

/* How the label (fru_id) is made from the row's text. */
enum class Label : unsigned char {
    Text,          /* the text as it is */
    Number,        /* the text with cru_num */
    NumberLess1,   /* the text with cru_num - 1 */
    Disk,          /* the disk's name in the array's scheme */
    Slot,          /* by the kind of board in the management slot */
    BatteryOrUps,  /* "BAT %d" on a UPS chassis with input selector, else "UPS %d" */
};

/* How the method is chosen when it depends on the cabinet. */
enum class Method : unsigned char {
    Fixed,
    SmcChassis,   /* 6 when the SMC's own controller is there and alive, else 10 */
    RackMb,       /* 10 when the rack board is a CMB (complex ','), else 1 */
    SlotBoard,    /* 12 / 11 for a UMB being replaced, else 1 */
};

/* How the help topic is chosen. */
enum class Topic : unsigned char {
    Fixed,         /* topic */
    ByMda,         /* topic on an '&' complex, else other_topic */
    BySelector,    /* topic on a UPS with input selector, else other_topic */
    OfChassis,     /* the chassis row's topic */
};

/* Flags of a row. */
constexpr unsigned kRlm = 1;           /* revision record updated at the end */
constexpr unsigned kCheck = 2;         /* pwr_cmpnt_check before anything */
constexpr unsigned kAccessPrompt = 4;  /* warn that the part is reached only with the chassis out */
constexpr unsigned kIfBoardSub = 8;    /* kRlm and kCheck only when the subcomplex is the board's */

/* Subcomplex of a management slot: the board's for rack management boards,
 * none for pass-through boards. */
constexpr int kSlotSubcomplex = -1;

struct ComponentRow {
    int cru_type;
    Where where;
    const char *label;
    Label label_rule;
    int method;
    Method method_rule;
    const char *topic;
    const char *other_topic;
    Topic topic_rule;
    int subcomplex;
    unsigned flags;
};

constexpr ComponentRow kComponents[] = {
    /* the chassis itself */
    {0x000, Where::DiskArray, "Chassis", Label::Text, FRU_MANUAL_PWR, Method::Fixed, "FRU_MDA_CHASSIS",
     "FRU_DA_CHASSIS", Topic::ByMda, 0, kRlm},
    {0x000, Where::Ups, "UPS", Label::Text, FRU_UPS_REPL, Method::Fixed, "FRU_IS_UPS_CHASSIS", "FRU_UPS_CHASSIS",
     Topic::BySelector, 0, kRlm | kCheck},
    {0x000, Where::Smp, "Chassis", Label::Text, FRU_SW_CONTROL, Method::Fixed, "FRU_SMP_CHASSIS", nullptr,
     Topic::Fixed, 0, kRlm},
    {0x000, Where::Interconnect, "Chassis", Label::Text, FRU_SW_CONTROL, Method::Fixed, "FRU_QUO_CHASSIS", nullptr,
     Topic::Fixed, 0, kRlm},
    {0x000, Where::Smc207, "Chassis", Label::Text, FRU_CMIC_REPL, Method::Fixed, "FRU_SMC_CHASSIS", nullptr,
     Topic::Fixed, 0, kRlm},
    {0x000, Where::Smc208, "Chassis", Label::Text, FRU_CMIC_REPL, Method::SmcChassis, "FRU_SMC_CHASSIS", nullptr,
     Topic::Fixed, 0, kRlm},
    {0x000, Where::Any, "Chassis", Label::Text, FRU_SW_CONTROL, Method::Fixed, "", nullptr, Topic::Fixed, 0, kRlm},
    /* fans */
    {0x100, Where::DiskArrayPlain, "FAN %d", Label::NumberLess1, FRU_HOT_PLUG, Method::Fixed, "CRU_NFN", nullptr,
     Topic::Fixed, SC_FAN, 0},
    {0x100, Where::Any, "FAN %d", Label::Number, FRU_HOT_PLUG, Method::Fixed, "FRU_FAN_HP", nullptr, Topic::Fixed,
     SC_FAN, 0},
    /* power supplies */
    {0x200, Where::DiskArrayMda, "PWR %d", Label::Number, FRU_MANUAL_PWR, Method::Fixed, "CRU_MPR", nullptr,
     Topic::Fixed, SC_PWR, kCheck},
    {0x200, Where::DiskArrayPlain, "PWR %d", Label::NumberLess1, FRU_HOT_PLUG, Method::Fixed, "CRU_NPR", nullptr,
     Topic::Fixed, SC_PWR, kCheck},
    {0x200, Where::Interconnect, "PWR %d", Label::Number, FRU_SW_CONTROL, Method::Fixed, "FRU_PWR_SW", nullptr,
     Topic::Fixed, SC_PWR, kCheck | kAccessPrompt},
    {0x200, Where::Smc, "PWR %d", Label::Number, FRU_SW_CONTROL, Method::Fixed, "FRU_PWR_SW", nullptr, Topic::Fixed,
     SC_PWR, kCheck},
    {0x200, Where::Smp, "PWR %d", Label::Number, FRU_HOT_PLUG, Method::Fixed, "FRU_PWR_HP", nullptr, Topic::Fixed,
     SC_PWR, kCheck},
    /* disks, boards, cages */
    {0x300, Where::Any, "", Label::Disk, FRU_DA_DISK_REPL, Method::Fixed, "CRU_MDK", "CRU_NDK", Topic::ByMda, SC_DISK,
     0},
    {0x400, Where::Any, "SMB", Label::Text, FRU_HOT_PLUG, Method::Fixed, "FRU_MB", nullptr, Topic::Fixed, SC_MB,
     kRlm},
    {0x500, Where::Any, "Rack MB", Label::Text, FRU_HOT_PLUG, Method::RackMb, "FRU_MB", nullptr, Topic::Fixed, SC_MB,
     kRlm},
    {0x600, Where::Any, "CMIC Cage", Label::Text, FRU_CMIC_REPL, Method::Fixed, "FRU_CMIC2", nullptr, Topic::Fixed,
     kCmicCageSubcomplex, kRlm},
    /* batteries and UPS units */
    {0x700, Where::DiskArray, "BAT %d", Label::Number, FRU_HOT_PLUG, Method::Fixed, "FRU_DA_BAT", nullptr,
     Topic::Fixed, 0, 0},
    {0x700, Where::NotDiskArray, "", Label::BatteryOrUps, FRU_UPS_REPL, Method::Fixed, nullptr, nullptr,
     Topic::OfChassis, SC_BAT, kRlm | kCheck},
    /* disk-array controllers */
    {0x800, Where::Any, "CTL %d", Label::Number, FRU_DA_CTL_REPL, Method::Fixed, "FRU_MDA_CT", "CRU_NDC",
     Topic::ByMda, 0, kRlm},
    /* management slots */
    {0x900, Where::Any, "", Label::Slot, FRU_HOT_PLUG, Method::SlotBoard, "FRU_MB", nullptr, Topic::Fixed,
     kSlotSubcomplex, kRlm | kCheck | kIfBoardSub},
    /* interconnect and power parts */
    {0xA00, Where::Any, "QUONET BOARD", Label::Text, FRU_HOT_PLUG, Method::Fixed, "FRU_BSB", nullptr, Topic::Fixed,
     SC_SWITCH, kRlm},
    {0xB00, Where::Any, "Rack MB", Label::Text, FRU_CMB_REPL, Method::Fixed, "FRU_MB", nullptr, Topic::Fixed, SC_MB,
     kRlm},
    {0xC00, Where::Any, "FUSE MONITOR", Label::Text, FRU_HOT_PLUG, Method::Fixed, "FRU_MONI", nullptr, Topic::Fixed,
     SC_MONI, 0},
    {0x1000, Where::Any, "UPS IS", Label::Text, FRU_IS_UPS_CHASSIS, Method::Fixed, "FRU_IS_UPS_CHASSIS", nullptr,
     Topic::Fixed, SC_INPUT_SELECTOR, kCheck},
    {0x1100, Where::Any, "HUB %d", Label::Number, FRU_HOT_PLUG, Method::Fixed, "CRU_MiniHub", nullptr, Topic::Fixed,
     SC_HUB, 0},
    {0x1200, Where::Any, "ESM %d", Label::Number, FRU_HOT_PLUG, Method::Fixed, "CRU_ESM", nullptr, Topic::Fixed,
     SC_ESM, 0},
};

/* Rows are tried in order: a kind's catch-all row must come after its
 * particular ones, or it would hide them.  And every topic a row's rule
 * can pick must be there. */
constexpr bool rows_well_formed()
{
    for (const ComponentRow &row : kComponents) {
        for (const ComponentRow &later : kComponents)
            if (&later > &row && row.where == Where::Any && later.cru_type == row.cru_type)
                return false;
        const bool two_topics = row.topic_rule == Topic::ByMda || row.topic_rule == Topic::BySelector;
        if (row.label == nullptr || (row.topic_rule != Topic::OfChassis && row.topic == nullptr) ||
            (two_topics && row.other_topic == nullptr))
            return false;
    }
    return true;
}
static_assert(rows_well_formed());

/* Board-slot names by the kind of board in the slot. */
struct SlotName {
    int kind;
    const char *label;
};
constexpr SlotName kSlotNames[] = {
    {MB_KIND_CMB, "RCMB %d"},
    {MB_KIND_PTB, "PTB %d"},
    {MB_KIND_UMB, "RUMB %d"},
    {MB_KIND_PTBX, "PTBX %d"},
};
constexpr const char *kUnknownSlotName = "RCMB/PTB/RUMB %d";

/* Management slots of the server-management chassis, as the operator
 * counts them. */
constexpr int kManagementSlots = 11;

/* ---- the chassis a row is looked up for ---------------------------------- */

struct ChassisFacts {
    int id;
    int type;          /* chassis kind */
    int complex_type;  /* -1 when the chassis is not in the tree */
    const char *label;
};

ChassisFacts facts_of(int chassis_id)
{
    ChassisFacts facts{chassis_id, CHASSIS_UNKNOWN, -1, ""};
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return facts;
    const s_cab_chassis_rec &rec = chassis_rec[chassis_id];
    facts.type = rec.chassis_type;
    facts.complex_type = rec.complex_ptr != nullptr ? rec.complex_ptr->complex_type : -1;
    facts.label = rec.chassis_label;
    return facts;
}

int chassis_type_of(int chassis_id)
{
    return facts_of(chassis_id).type;
}

bool holds(Where where, const ChassisFacts &c)
{
    switch (where) {
    case Where::Any:
        return true;
    case Where::DiskArray:
        return c.type == CHASSIS_DISK_ARRAY;
    case Where::DiskArrayMda:
        return c.type == CHASSIS_DISK_ARRAY && c.complex_type == kMdaComplex;
    case Where::DiskArrayPlain:
        return c.type == CHASSIS_DISK_ARRAY && c.complex_type != kMdaComplex;
    case Where::NotDiskArray:
        return c.type != CHASSIS_DISK_ARRAY;
    case Where::Ups:
        return c.type == CHASSIS_UPS;
    case Where::Smp:
        return c.type == CHASSIS_NODE;
    case Where::Interconnect:
        return c.type == CHASSIS_QNA || c.type == CHASSIS_QNB;
    case Where::Smc:
        return c.type == CHASSIS_SERVER_MGMT || c.type == CHASSIS_SERVER_MGMT2;
    case Where::Smc207:
        return c.type == CHASSIS_SERVER_MGMT;
    case Where::Smc208:
        return c.type == CHASSIS_SERVER_MGMT2;
    }
    return false;
}

const ComponentRow *find_row(int cru_type, const ChassisFacts &chassis)
{
    for (const ComponentRow &row : kComponents)
        if (row.cru_type == cru_type && holds(row.where, chassis))
            return &row;
    return nullptr;
}

const char *choose_topic(const ComponentRow &row, const ChassisFacts &c, const char *chassis_topic)
{
    switch (row.topic_rule) {
    case Topic::Fixed:
        return row.topic;
    case Topic::ByMda:
        return c.complex_type == kMdaComplex ? row.topic : row.other_topic;
    case Topic::BySelector:
        return c.complex_type == kUpsSelectorComplex1 || c.complex_type == kUpsSelectorComplex2 ? row.topic
                                                                                                  : row.other_topic;
    case Topic::OfChassis:
        return chassis_topic;
    }
    return "";
}

/* ---- the selection for one click ----------------------------------------- */

struct Selection {
    char fru_id[FRU_ID_SIZE] = "";
    const char *helpid = "";
    int subcomplex_type = 0;
    int method = FRU_UNKNOWN_METHOD;
    bool rlm = false;
    bool check = false;
    bool access_prompt = false;
};

/* The SMC's own controller answers: unit 1 of its controller subcomplex is
 * there and not missing. */
bool smc_controller_alive(int chassis_id)
{
    const unit_cfg_t *controller = find_unit_ptr(chassis_id, SC_CMIC, 1);
    if (controller == nullptr)
        controller = find_unit_ptr(chassis_id, SC_CMIC2, 1);
    return controller != nullptr && controller->unit_status != S_MISSING;
}

int choose_method(const ComponentRow &row, const ChassisFacts &c, int slot_kind, const int served[])
{
    switch (row.method_rule) {
    case Method::Fixed:
        return row.method;
    case Method::SmcChassis:
        return smc_controller_alive(c.id) ? FRU_CMIC_REPL : FRU_CMB_REPL;
    case Method::RackMb:
        return c.complex_type == kCmbManagedComplex ? FRU_CMB_REPL : FRU_HOT_PLUG;
    case Method::SlotBoard:
        if (fru_replace_flag == REPLACE_CRU && slot_kind == MB_KIND_UMB)
            return chassis_type_of(served[0]) == CHASSIS_NODE ? FRU_SMP_UMB_REPL : FRU_UMB_REPL;
        return FRU_HOT_PLUG;
    }
    return FRU_UNKNOWN_METHOD;
}

void make_label(char *fru_id, const ComponentRow &row, int cru_num, int chassis_id, const char *chassis_topic,
                int slot_kind)
{
    switch (row.label_rule) {
    case Label::Text:
        std::snprintf(fru_id, FRU_ID_SIZE, "%s", row.label);
        break;
    case Label::Number:
        std::snprintf(fru_id, FRU_ID_SIZE, row.label, cru_num);
        break;
    case Label::NumberLess1:
        std::snprintf(fru_id, FRU_ID_SIZE, row.label, cru_num - 1);
        break;
    case Label::Disk:
        get_da_disk_name(fru_id, FRU_ID_SIZE, cru_num, chassis_id, 0, 1);
        break;
    case Label::Slot: {
        const char *format = kUnknownSlotName;
        for (const SlotName &name : kSlotNames)
            if (name.kind == slot_kind)
                format = name.label;
        std::snprintf(fru_id, FRU_ID_SIZE, format, cru_num);
        break;
    }
    case Label::BatteryOrUps:
        std::snprintf(fru_id, FRU_ID_SIZE, std::strcmp(chassis_topic, "FRU_IS_UPS_CHASSIS") == 0 ? "BAT %d" : "UPS %d",
                      cru_num);
        break;
    }
}

/* Step 2: everything the table says about this component. */
Selection select_component(int cru_type, int cru_num, const ChassisFacts &chassis, int served[])
{
    Selection s;
    const ComponentRow *chassis_row = find_row(0x000, chassis);
    const char *chassis_topic = chassis_row != nullptr ? choose_topic(*chassis_row, chassis, "") : "";

    const ComponentRow *row = find_row(cru_type, chassis);
    if (row == nullptr) {
        dprint(1, "rack_fru_function: no procedure for component 0x%x in chassis %d\n",
               static_cast<unsigned>(cru_type), chassis.id);
        return s;
    }
    int slot_kind = 0;
    if (row->label_rule == Label::Slot || row->method_rule == Method::SlotBoard)
        slot_kind = rcmb_slot_to_chassis_ids(cru_num - 1, served);

    make_label(s.fru_id, *row, cru_num, chassis.id, chassis_topic, slot_kind);
    s.method = choose_method(*row, chassis, slot_kind, served);
    s.helpid = choose_topic(*row, chassis, chassis_topic);
    s.subcomplex_type = row->subcomplex;
    if (s.subcomplex_type == kSlotSubcomplex)
        s.subcomplex_type = slot_kind == MB_KIND_PTB || slot_kind == MB_KIND_PTBX ? 0 : SC_MB;
    const bool flags_apply = (row->flags & kIfBoardSub) == 0 || s.subcomplex_type == SC_MB;
    s.rlm = flags_apply && (row->flags & kRlm) != 0;
    s.check = flags_apply && (row->flags & kCheck) != 0;
    s.access_prompt = (row->flags & kAccessPrompt) != 0;
    return s;
}

/* ---- the walk -------------------------------------------------------------- */

struct Walk {
    int cru_type;
    int cru_num;
    ChassisFacts chassis;
    Selection sel;
    char proc_name[PROC_NAME_SIZE] = "";
    int chassis_ids[CHASSIS_IDS_PER_SLOT] = {0, 0, 0, 0};
    int kind_before = 0;
};

bool replacing()
{
    return fru_replace_flag == REPLACE_CRU;
}

void append(char *buffer, const std::string &text)
{
    const std::size_t used = std::strlen(buffer);
    std::snprintf(buffer + used, PROC_NAME_SIZE - used, "%s", text.c_str());
}

bool is_board(int kind)
{
    return kind == MB_KIND_CMB || kind == MB_KIND_UMB;
}

bool is_chassis_id(int id)
{
    return id >= 1 && id <= MAX_CHASSIS;
}

/* Step 3: the sentence that names the component under the heading. */
void complete_proc_name(Walk &w)
{
    const char *label = w.chassis.label;
    const char *fru_id = w.sel.fru_id;
    switch (w.cru_type) {
    case 0x000:
        append(w.proc_name, fru_format("%s Chassis.\n\n\n", label));
        break;
    case 0x500:
    case 0xB00:
        append(w.proc_name, fru_format("%s in %s Chassis.\n\n", fru_id, label));
        break;
    case 0x600:
        append(w.proc_name, fru_format("%s in %s Chassis.\n\nTo replace any component in the CMIC Cage you "
                                       "must\nremove the entire cage from the chassis.\n\n",
                                       fru_id, label));
        break;
    case 0x900:
        if (fru_replace_flag != CRU_PWR_ON && is_ptb_for_smps(w.cru_num)) {
            append(w.proc_name, fru_format("%s FRU in %s Chassis.\n\nWarning: Removing this PTB will cause SMPs in "
                                           "the cabinet to shutdown.\n\n",
                                           fru_id, label));
            break;
        }
        [[fallthrough]];
    default:
        append(w.proc_name, fru_format("%s FRU in %s Chassis.\n\n\n", fru_id, label));
        break;
    }
}

/* Step 4: the method's procedure; 0 when the operator cancelled or it
 * failed. */
int run_method(Walk &w)
{
    const int chassis_id = w.chassis.id;
    const char *fru_id = w.sel.fru_id;
    const char *helpid = w.sel.helpid;
    const bool mda = w.chassis.complex_type == kMdaComplex;

    switch (w.sel.method) {
    case FRU_HOT_PLUG: {
        const int ok = generic_hot_plug(fru_id, w.proc_name, helpid);
        if (ok && mda && !replacing())
            update_display(0);
        return ok;
    }
    case FRU_MANUAL_PWR:
        return generic_manual_pwr_repl(fru_id, w.proc_name, helpid);
    case FRU_SW_CONTROL:
        return generic_sw_pwr_repl(chassis_id, w.cru_type, w.sel.subcomplex_type, w.cru_num, fru_id, w.proc_name,
                                   helpid);
    case FRU_DA_DISK_REPL:
    case FRU_DA_CTL_REPL:
        if (!replacing()) {
            const int ok = generic_hot_plug(fru_id, w.proc_name, helpid);
            if (ok)
                update_display(0);
            return ok;
        }
        if (w.sel.method == FRU_DA_DISK_REPL) {
            const int unit_number = (w.cru_num / 32) * hdd_cols + (w.cru_num % 32) + 1;
            return da_disk_replace(find_unit_ptr(chassis_id, SC_DISK, unit_number), fru_id, w.proc_name, helpid);
        } else {
            unit_cfg_t *unit = find_unit_ptr(chassis_id, SC_DA_CTL, w.cru_num);
            if (unit == nullptr)
                unit = find_unit_ptr(chassis_id, w.cru_num == 1 ? SC_DA_CTL1 : SC_DA_CTL2, 1);
            return da_ctl_replace(unit, fru_id, w.proc_name, helpid);
        }
    case FRU_CMIC_REPL:
        return cmic_replace(w.cru_type, fru_id, w.proc_name, helpid);
    case FRU_UPS_REPL:
        return ups_replace(fru_id, w.proc_name, helpid);
    case FRU_IS_UPS_CHASSIS:
        return is_ups_replace(fru_id, w.proc_name, helpid);
    case FRU_DOWN_CABINET:
        return generic_down_cabinet(fru_id, w.proc_name, helpid);
    case FRU_CMB_REPL:
        return cmb_replace(w.cru_type, fru_id, w.proc_name, helpid);
    case FRU_UMB_REPL:
        return generic_hot_plug(fru_id, w.proc_name, helpid);
    case FRU_SMP_UMB_REPL:
        return umb_replace(fru_id, w.proc_name, helpid, w.cru_num);
    default:
        return 1;
    }
}

/* Step 5: a replaced management board is configured by the cabinet, then
 * gets the firmware of its kind. */
void follow_up_board(Walk &w)
{
    UnHideWorkDialog();
    AddToWorkDialogMsg("Waiting for board to be configured.");
    count_down(150);
    update_display(1);
    const int kind_after = rcmb_slot_to_chassis_ids(w.cru_num - 1, w.chassis_ids);
    if (kind_after != w.kind_before)
        ModalInfoDialog(nullptr, widget_title,
                        "Warning: You have replaced the MB with a different board type.\n\nIf you change the "
                        "Management Board type (from UMB to CMB\nor CMB to UMB), you are required to change the "
                        "cables\nthat connect the MB to the chassis.  Please make sure you\nhave the proper cables "
                        "installed before continuing.\n");
    const int served_type = chassis_type_of(w.chassis_ids[0]);
    if (kind_after != MB_KIND_UMB) {
        w.sel.method = served_type == CHASSIS_SERVER_MGMT || served_type == CHASSIS_SERVER_MGMT2 ? FRU_CMB_REPL
                                                                                                 : FRU_HOT_PLUG;
        if (w.cru_type == 0x400)
            flash_mb(w.chassis.id, 0, 1);
        else
            flash_mb(w.chassis_ids[0], 0, 0);
    } else if (served_type == CHASSIS_NODE) {
        w.sel.method = FRU_SMP_UMB_REPL;
        flash_mb(w.chassis_ids[0], 1, 1);
    } else {
        w.sel.method = FRU_UMB_REPL;
        flash_mb(w.chassis_ids[0], 1, 0);
    }
}

/* Step 7: a new chassis may have come with a new management board. */
void offer_chassis_firmware(Walk &w)
{
    if (!ModalVerifyDialog(nullptr, widget_title,
                           "If you have installed a new MB with this chassis\nthen you should update the "
                           "Firmware.\n\nPress OK to do that now.",
                           DIALOG_INFORMATION, kFirmwareHelpTopic))
        return;
    update_display(1);
    const int chassis_id = w.chassis.id;
    if (w.chassis.type == CHASSIS_NODE) {
        if (w.chassis.complex_type == kSmpCmbComplex)
            flash_mb(chassis_id, 0, 1);
        else
            flash_mb(chassis_id, 1, 1);
        return;
    }
    for (int slot = 1; slot <= kManagementSlots; ++slot) {
        int ids[CHASSIS_IDS_PER_SLOT];
        const int kind = rcmb_slot_to_chassis_ids(slot - 1, ids);
        if (is_board(kind) && ids[0] == chassis_id) {
            flash_mb(chassis_id, kind == MB_KIND_UMB ? 1 : 0, 0);
            return;
        }
    }
    dprint(1, "Couldn't find MB slot for chassis %d\n", chassis_id);
}

/* Step 10: the revision record of what was replaced, and after a new
 * cabinet-management chassis those of every rack management board. */
void update_revision_records(Walk &w)
{
    char name[RLM_CHASSIS_STR_SIZE] = "";
    if (w.cru_type == 0x900) {
        int ids[CHASSIS_IDS_PER_SLOT];
        const int kind = rcmb_slot_to_chassis_ids(w.cru_num - 1, ids);
        if (!is_board(kind) || !is_chassis_id(ids[0]))
            return;
        get_rlm_chassis_str(ids[0], name);
    } else {
        get_rlm_chassis_str(w.chassis.id, name);
    }
    call_seeprom_utility(name);

    if (w.cru_type != 0x000 || w.chassis.id != 1)
        return;
    if (!ModalVerifyDialog(nullptr, widget_title,
                           "If you have installed any new Remote MBs or if\nthe old Remote MBs have not been placed "
                           "in the\nsame slots in the new chassis, then you should\nupdate the FW and the RLM "
                           "information.\n\nPress OK to do that now.",
                           DIALOG_INFORMATION, kFirmwareHelpTopic))
        return;
    for (int slot = 1; slot <= kManagementSlots; ++slot) {
        int ids[CHASSIS_IDS_PER_SLOT];
        const int kind = rcmb_slot_to_chassis_ids(slot - 1, ids);
        if (!is_board(kind) || !is_chassis_id(ids[0]))
            continue;
        dprint(5, kind == MB_KIND_CMB ? "There's a CMB to flash in slot %d\n" : "There's a UMB to flash in slot %d\n",
               slot);
        flash_mb(ids[0], kind == MB_KIND_UMB ? 1 : 0, 0);
        char board_name[RLM_CHASSIS_STR_SIZE] = "";
        get_rlm_chassis_str(ids[0], board_name);
        call_seeprom_utility(board_name);
    }
}

/* Step 11: an interconnect chassis back in service needs a network reset. */
void reset_interconnect(Walk &w, const char *chassis_topic)
{
    ChangeWorkDialogMsg("Waiting for QUONET.");
    UnHideWorkDialog();
    count_down(20);
    if (!ModalVerifyDialog(nullptr, widget_title,
                           fru_format("Please click 'OK' when %s is ready\nfor QUONET network reset.\n\nPlease select "
                                      "'CANCEL' if you\ndo not wish to invoke QUONET Utility.\n",
                                      w.chassis.label)
                               .c_str(),
                           DIALOG_INFORMATION, chassis_topic)) {
        dprint(5, "cab_fru: quonet utility not called.\n");
        return;
    }
    constexpr const char *kQnUtility = "/usr/sbin/run_qnutil";
    AddToWorkDialogMsg("Resetting QUONET.");
    const std::string shown = fru_format("%s %s QNB%03d-%d &", kQnUtility, "RESET", CabinetID, w.chassis.id);
    AddToWorkDialogMsg(shown.c_str());
    dprint(5, "cab_fru: qnutil_cmd <== %s!\n", shown.c_str());
    if (IsTestMode()) {
        ModalInfoDialog(nullptr, widget_title, shown.c_str());
        return;
    }
    const std::string command =
        fru_format("%s %s QNB%03d-%d &", console_path(kQnUtility).c_str(), "RESET", CabinetID, w.chassis.id);
    const int status = fork_and_wait(command.c_str());
    if (status == -1 || status >= 128) {
        ModalErrorDialog(nullptr, widget_title, "Error running QUONET Utility\n");
        errors_occured = 1;
    }
}

/* Step 14. */
void report_completion(const Walk &w)
{
    const char *format = nullptr;
    if (fru_replace_flag == CRU_PWR_ON)
        format = w.sel.method == FRU_SW_CONTROL ? "FRU %s power on is complete.\n" : nullptr;
    else if (fru_replace_flag == CRU_PWR_OFF)
        format = w.sel.method == FRU_SW_CONTROL ? "FRU %s power off is complete.\n" : nullptr;
    else
        format = "FRU %s replacement is complete.\n";
    if (format == nullptr)
        return;
    std::string text = fru_format(format, w.sel.fru_id);
    if (errors_occured)
        text += "\nErrors occurred.\n";
    ModalInfoDialog(nullptr, widget_title, text.c_str());
}

/* Steps 2 to 14; returns early (without a completion message) when the
 * operator cancels or a step fails. */
void walk_procedure(Walk &w)
{
    /* 2. Component, method, topic; the warnings before anything is done. */
    const ComponentRow *chassis_row = find_row(0x000, w.chassis);
    const char *chassis_topic = chassis_row != nullptr ? choose_topic(*chassis_row, w.chassis, "") : "";
    w.sel = select_component(w.cru_type, w.cru_num, w.chassis, w.chassis_ids);
    dprint(3, "rack_fru_function: fru_id=\"%s\" method=%d helpid=\"%s\" sub=%d\n", w.sel.fru_id, w.sel.method,
           w.sel.helpid, w.sel.subcomplex_type);
    bool canceled = false;
    if (w.sel.access_prompt && replacing()) {
        canceled = !ModalVerifyDialog(nullptr, widget_title,
                                      "This component can be power cycled using this\nfunction, however the component "
                                      "cannot be\nphysically accessed for replacement unless\nthe chassis is removed "
                                      "from the rack.",
                                      DIALOG_INFORMATION, w.sel.helpid);
    }
    if (!canceled && w.sel.check)
        canceled = !pwr_cmpnt_check(w.chassis.id, w.sel.subcomplex_type, w.cru_num, fru_replace_flag, w.sel.helpid);
    if (canceled)
        return;

    /* 3. */
    complete_proc_name(w);

    /* 4. The board kind in the slot is remembered before a hot-plug swap
     *    and before any board replacement, so that a change of kind can be
     *    told afterwards. */
    if (w.sel.method == FRU_HOT_PLUG || w.sel.subcomplex_type == SC_MB)
        w.kind_before = rcmb_slot_to_chassis_ids(w.cru_num - 1, w.chassis_ids);
    if (!run_method(w))
        return;

    /* 5.-8. What a replaced board or chassis needs next. */
    if (w.sel.subcomplex_type == SC_MB && replacing())
        follow_up_board(w);
    if (w.sel.method == FRU_CMIC_REPL && replacing())
        flash_cmic(w.chassis.id);
    if (w.cru_type == 0x000 && replacing())
        offer_chassis_firmware(w);
    if (w.sel.method == FRU_SMP_UMB_REPL) {
        ModalInfoDialog(nullptr, widget_title,
                        fru_format("%sReconnect the cables between UMB %d and the SMP.\n\nClick OK after this is "
                                   "complete.\n",
                                   w.proc_name, w.cru_num)
                            .c_str());
        if (!send_umb_hb_cmd(38, w.cru_num))
            return;
        UnHideWorkDialog();
        AddToWorkDialogMsg("Waiting for board to be configured.");
        count_down(45);
    }

    /* 9. The new part must show in the tree. */
    if (w.sel.method != FRU_SW_CONTROL) {
        if (replacing()) {
            const int present = w.cru_type == 0x000
                                    ? check_chassis_presence(w.chassis.id, w.sel.helpid)
                                    : check_fru_presence(w.chassis.id, w.sel.subcomplex_type, w.cru_num, w.sel.helpid);
            if (!present)
                return;
        } else if (w.sel.method == FRU_MANUAL_PWR) {
            update_display(1);
        }
    }

    /* 10.-11. */
    if (replacing() && w.sel.rlm)
        update_revision_records(w);
    if (fru_replace_flag != CRU_PWR_OFF && w.cru_type == 0x000 && w.chassis.type == CHASSIS_QNB)
        reset_interconnect(w, chassis_topic);

    /* 12.-13. */
    HideWorkDialog();
    if (w.sel.method == FRU_HOT_PLUG && replacing()) {
        const int kind_now = rcmb_slot_to_chassis_ids(w.cru_num - 1, w.chassis_ids);
        if ((w.kind_before == MB_KIND_PTB && kind_now == MB_KIND_PTBX) ||
            (w.kind_before == MB_KIND_PTBX && kind_now == MB_KIND_PTB))
            ModalInfoDialog(nullptr, widget_title,
                            "WARNING: Since you have changed Pass Thru Board types\nin this chassis, you must change "
                            "all the Pass Thru Boards\nin this collective to be the same type, otherwise the\nCMIC "
                            "will not be able to manage the collective.\n");
    }

    /* 14. */
    report_completion(w);
}

} // namespace

void rack_fru_function(int cru_type, int cru_num, int chassis_id)
{
    dprint(1, "rack_fru_function: cru_type=0x%x cru_num=%d chassis_id=%d mode=%d\n", static_cast<unsigned>(cru_type),
           cru_num, chassis_id, fru_replace_flag);

    /* 1. */
    errors_occured = 0;
    struct Running {
        Running() { ++fru_procedure_running; }
        ~Running() { --fru_procedure_running; }
    } running;
    Walk w;
    w.cru_type = cru_type;
    w.cru_num = cru_num;
    w.chassis = facts_of(chassis_id);
    std::snprintf(w.proc_name, sizeof w.proc_name, "%s",
                  fru_replace_flag == CRU_PWR_ON    ? "Power On procedure for "
                  : fru_replace_flag == CRU_PWR_OFF ? "Power Off procedure for "
                                                    : "Replacement procedure for ");
    walk_procedure(w);

    /* Whichever way the procedure ended, no work dialog is left up. */
    if (!work_dialog_hidden)
        HideWorkDialog();
}

std::vector<FruHelpPage> fru_help_pages()
{
    std::vector<FruHelpPage> pages;
    auto add = [&pages](const char *topic) {
        /* A row that takes its chassis's topic, or has none, adds nothing. */
        if (topic != nullptr && topic[0] != '\0')
            pages.push_back({HelpFileForTopic(topic), topic});
    };
    for (const ComponentRow &row : kComponents) {
        add(row.topic);
        add(row.other_topic);
    }
    add(kFirmwareHelpTopic);
    return pages;
}
