/*
 * da_ups.cpp - the disk-array and UPS prompts of the FRU procedures: the
 * disk and controller replacement prompts, chosen by the unit's status in
 * the tree; the UPS and input-selector prompts with the UPS's boot-up
 * count-down; and whether a pass-through board feeds SMPs, which decides
 * the dispatcher's shutdown warning.
 *
 * Called by rack_fru_function (rack_fru.cpp).  Every prompt is a verify
 * dialog of type 2 under the window title, with the procedure's help topic,
 * whose text starts with the procedure heading `descr`; every procedure
 * returns 1 for OK and 0 for Cancel.
 */
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/chassis_table.h"
#include "app/chassis_types.h"
#include "app/chassis_views.h"
#include "app/rack_state.h"
#include "base/trace.h"
#include "fru/rack_fru.h"
#include "ui/x_util.h"

/* ---- constants ------------------------------------------------------------ */

namespace {

constexpr int kVerifyOkCancel = 2;
/* Seconds a new UPS takes to boot before its status can be read. */
constexpr int kUpsBootSeconds = 120;

/* Disk status codes of the tree. */
constexpr int kDiskWorking = 1;
constexpr int kDiskFailed = 2;
/* Disk-array controller status codes of the tree. */
constexpr int kControllerPassive = 0x41;
constexpr int kControllerActive = 0x40;
constexpr int kControllerActiveB = 0x42;

/* Complex type of an SMP chassis managed by a CMB. */
constexpr int kSmpUnderCmb = 0x25;
/* Served-chassis numbers that stand for no chassis of the rack. */
constexpr int kNoChassis[] = {0, 256, 257};

constexpr const char kDiskCaution[] =
    "CAUTION:  Make sure you wait at least 10 seconds between\n"
    "   removing a failed drive and installing a new drive.\n"
    "   Failure to do so could result in data corruption\n"
    "   on other drives.\n\n"
    "Click OK when the disk has been replaced, or CANCEL\n  to abort.\n";
constexpr const char kDiskUnknown[] =
    "%sWARNING:  %s status is unknown.\n\n"
    "   Please verify the disk has been placed in a\n"
    "   failed state, or mark the disk as failed through the\n"
    "   Array Configuration Editor (ACE) section of the RAID\n"
    "   Manager Utilities or DMF before replacing the disk.\n\n";
constexpr const char kDiskFailedText[] =
    "%s%s is already in a failed state.\nGo ahead and replace the disk.\n\n";
constexpr const char kDiskNotFailed[] =
    "%sWARNING:  %s is NOT in a failed state.\n\n"
    "   Please verify the disk has been placed in a\n"
    "   failed state, or mark the disk as failed through the\n"
    "   Array Configuration Editor (ACE) section of the RAID\n"
    "   Manager Utilities or DMF before replacing the disk.\n\n";

constexpr const char kControllerUnknown[] =
    "%sWARNING:  %s mode is unknown.\n\n"
    "   Please insure that the controller has been placed in a\n"
    "   passive or failed mode before removing it.\n\n"
    "Click OK when the controller has been replaced, or CANCEL to abort.\n";
constexpr const char kControllerPassiveText[] =
    "%s%s is HOT PLUGGABLE.\nGo ahead and replace the controller.\n"
    "Click OK after the new FRU is installed\nand ready to be configured into the system.\n";
constexpr const char kControllerNotPassive[] =
    "%sWARNING:  %s mode is not Passive.\n\n"
    "   Please insure that the controller has been placed in a\n"
    "   passive or failed mode before removing it.\n\n"
    "Click OK when the controller has been replaced, or CANCEL to abort.\n";

constexpr const char kBatteryTrayWarning[] =
    "%sWARNING: The UPS batteries maintain a hazardous electrical charge\n"
    "even when the UPS is unplugged. The battery tray should never be\n"
    "removed from the UPS less than one minute after the UPS is initially\n"
    "powered on.\n\n";
constexpr const char kUpsTurnOffWarning[] =
    "%sWARNING: The UPS batteries maintain a hazardous electrical charge\n"
    "even when the UPS is unplugged. It is important that you manually\n"
    "turn off the UPS before servicing it.\n\n";
constexpr const char kBatteryTray[] = "BAT 1";
constexpr const char kUpsBootMsg[] = "Waiting for UPS bootup.";

constexpr const char kSelectorSteps[] =
    "%sSteps for replacing the UPS Input Selector:\n\n"
    "1) The UPS should be put in standby mode (via UPS Front Panel)\n"
    "2) The Input Selector must be manually disconnected from power\n"
    "\tand replaced\n"
    "3) The UPS should be put back online (via UPS Front Panel)\n"
    "4) Click okay when complete.\n\n";
constexpr const char kSelectorPower[] =
    "%s Warning: the Input Selector Module cannot be powered %s.\nThe power must be manually %s.\n";

} // namespace

/* ---- static prototypes ---------------------------------------------------- */

static std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
static int Ask(const std::string &message, const char *helpid);
static void ShowWorkDialog(const char *message);

/* ---- helpers -------------------------------------------------------------- */

/* printf into a string of whatever length the text needs. */
static std::string Format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

static int Ask(const std::string &message, const char *helpid)
{
    return ModalVerifyDialog(nullptr, widget_title, message.c_str(), kVerifyOkCancel, helpid);
}

/* Shows the work dialog with `message` as its only text. */
static void ShowWorkDialog(const char *message)
{
    if (!IsWorkDialog()) {
        StartWorkDialog(nullptr, widget_title, message);
        return;
    }
    ChangeWorkDialogMsg(message);
    UnHideWorkDialog();
}

/* ---- queries ----------------------------------------------------------------- */

int is_ptb_for_smps(int cru_num)
{
    int ids[CHASSIS_IDS_PER_SLOT] = {0, 0, 0, 0};
    int kind = rcmb_slot_to_chassis_ids(cru_num - 1, ids);
    if (kind != MB_KIND_PTB && kind != MB_KIND_PTBX)
        return 0;
    for (int id : ids) {
        bool no_chassis = false;
        for (int none : kNoChassis)
            no_chassis = no_chassis || id == none;
        /* A served number outside the rack table is no chassis of ours. */
        if (no_chassis || id < 1 || id > MAX_CHASSIS)
            continue;
        if (chassis_rec[id].chassis_type != CHASSIS_NODE)
            continue;
        const complex_cfg_t *complex = chassis_rec[id].complex_ptr;
        dprint(5, "is_ptb_for_smps: slot %d serves SMP chassis %d\n", cru_num, id);
        return complex != nullptr && complex->complex_type == kSmpUnderCmb ? 1 : 0;
    }
    return 0;
}

/* ---- disk array ------------------------------------------------------------- */

int da_disk_replace(unit_cfg_t *unit, const char *fru_id, const char *descr, const char *helpid)
{
    if (fru_replace_flag != REPLACE_CRU)
        return 0;
    const int status = unit != nullptr ? unit->unit_status : -1;
    dprint(5, "da_disk_replace: %s status=%d\n", fru_id, status);
    const char *format = status == kDiskFailed    ? kDiskFailedText
                         : status == kDiskWorking ? kDiskNotFailed
                                                  : kDiskUnknown;
    return Ask(Format(format, descr, fru_id) + kDiskCaution, helpid);
}

int da_ctl_replace(unit_cfg_t *unit, const char *fru_id, const char *descr, const char *helpid)
{
    if (fru_replace_flag != REPLACE_CRU)
        return 0;
    const int status = unit != nullptr ? unit->unit_status : -1;
    dprint(5, "da_ctl_replace: %s status=0x%x\n", fru_id, status);
    const char *format = kControllerUnknown;
    if (status == kControllerPassive)
        format = kControllerPassiveText;
    else if (status == kControllerActive || status == kControllerActiveB)
        format = kControllerNotPassive;
    return Ask(Format(format, descr, fru_id), helpid);
}

/* ---- UPS ---------------------------------------------------------------------- */

int ups_replace(const char *fru_id, const char *descr, const char *helpid)
{
    /* 1. Power on: the UPS is switched on by hand. */
    if (fru_replace_flag == CRU_PWR_ON)
        return generic_manual_pwr_repl(fru_id, descr, helpid);

    /* 2. The battery warning as the heading of the manual power prompt. */
    const bool battery_tray = std::strcmp(fru_id, kBatteryTray) == 0;
    const std::string heading = Format(battery_tray ? kBatteryTrayWarning : kUpsTurnOffWarning, descr);
    if (!generic_manual_pwr_repl(fru_id, heading.c_str(), helpid))
        return 0;

    /* 3. A replaced UPS boots before the procedure reads its status. */
    if (fru_replace_flag != CRU_PWR_OFF) {
        ShowWorkDialog(kUpsBootMsg);
        count_down(kUpsBootSeconds);
        HideWorkDialog();
    }
    return 1;
}

int is_ups_replace(const char *fru_id, const char *descr, const char *helpid)
{
    dprint(5, "is_ups_replace: %s\n", fru_id);
    std::string message;
    if (fru_replace_flag == CRU_PWR_ON)
        message = Format(kSelectorPower, descr, "on", "connected");
    else if (fru_replace_flag == CRU_PWR_OFF)
        message = Format(kSelectorPower, descr, "off", "disconnected");
    else
        message = Format(kSelectorSteps, descr);
    return Ask(message, helpid);
}
