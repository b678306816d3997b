/*
 * rack_sm.cpp - chassis windows of the server-management chassis: the full
 * one with eleven board slots (sm_frame) and the 2U one with eight
 * (sm2u_frame).  Slot 1 holds the management board (CMB), slots 2 and up
 * the rack management and power transfer boards; the slot tables are what
 * the chassis view's management-board painter walks.
 */
#include <string>

#include "app/layouts/builtin_windows.h"
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

XR_DEFINE_SLOT_FAMILY(smc_cmbs);
XR_DEFINE_SLOT_FAMILY(smc_fans);
XR_DEFINE_SLOT_FAMILY(smc_pwrs);
XR_DEFINE_SLOT_FAMILY(smc_convs);
XR_DEFINE_SLOT_FAMILY(smc_vrs);
XR_DEFINE_SLOT_FAMILY(smc_cmics);
XR_DEFINE_SLOT_FAMILY(smc_extpwrs);
XR_DEFINE_SLOT_FAMILY(smc_cpufans);
XR_DEFINE_SLOT_FAMILY(smc_rcmbs);
XR_DEFINE_SENSOR(smc_temp);
Widget frm_smc_slots[12];
Widget btn_smc_cmic, stat_smc_cmic, lbl_sm_text;

XR_DEFINE_SLOT_FAMILY(smc2u_cmbs);
XR_DEFINE_SLOT_FAMILY(smc2u_fans);
XR_DEFINE_SLOT_FAMILY(smc2u_pwrs);
XR_DEFINE_SLOT_FAMILY(smc2u_vrs);
XR_DEFINE_SLOT_FAMILY(smc2u_rcmbs);
XR_DEFINE_SENSOR(smc2u_temp);
Widget frm_smc2u_slots[9];
Widget frm_smc2u_fan1, lbl_sm2u_text;

namespace {

/* The board slots: frames frm_<family>_slot1..n, boards <family>_cmb and
 * <family>_rcmb2..n; the management board also fills the <family>_cmbs
 * table. */
void board_slots(Widget parent, const char *family, int count, const char *picture, Widget *slot_frames,
                 const lk::FamilyArrays &rcmbs, const lk::FamilyArrays &cmbs)
{
    for (int k = 1; k <= count; ++k) {
        const std::string stem = std::string(family) + (k == 1 ? "_cmb" : "_rcmb" + std::to_string(k));
        const std::string frame = "frm_" + std::string(family) + "_slot" + std::to_string(k);
        const std::string caption = k == 1 ? "\nCMB\nRACK\n\n" : "\nRCMB " + std::to_string(k) + "\n\n\n";
        const int cru = k == 1 ? lk::cru_spec(lk::FRU_RACK_MB, 1) : lk::cru_spec(lk::FRU_RCMB_SLOT, k);
        lk::Slot s = lk::slot(parent, stem, picture, cru, caption, lk::Shape::Column, frame.c_str());
        slot_frames[k - 1] = rcmbs.frm[k - 1] = s.frm;
        rcmbs.btn[k - 1] = s.btn;
        rcmbs.stat[k - 1] = s.stat;
        rcmbs.lbl[k - 1] = s.lbl;
    }
    cmbs.frm[0] = rcmbs.frm[0];
    cmbs.btn[0] = rcmbs.btn[0];
    cmbs.stat[0] = rcmbs.stat[0];
    cmbs.lbl[0] = rcmbs.lbl[0];
}

} // namespace

Widget build_sm_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "sm_frame", &frame);

    Widget id = lk::section(lk::row(column), "smc_id", nullptr, 0);
    lbl_sm_text = lk::text_label(id, "lbl_sm_text", "System: \nCabinet: ");
    lk::slot_into(id, "smc_cmic", "CMIC.tsl", lk::cru_spec(lk::FRU_CMIC, 1), "CMIC", lk::Shape::Row,
                  frm_smc_cmics[0], btn_smc_cmic, stat_smc_cmic, lbl_smc_cmics[0]);
    btn_smc_cmics[0] = btn_smc_cmic;
    stat_smc_cmics[0] = stat_smc_cmic;
    lk::sensor_into(id, "smc_temp", frm_smc_temp, stat_smc_temp, lbl_smc_temp);

    Widget slots = lk::section(lk::row(column), "smc_slot_section", "Board Slots", 0);
    board_slots(slots, "smc", smc_rcmbs_SLOTS, "SMB.tsl", frm_smc_slots, XR_ARRAYS(smc_rcmbs), XR_ARRAYS(smc_cmbs));

    Widget row = lk::row(column);
    lk::family_section(row, "smc_fan_section", "Fans",
                       {.stem = "smc_fan", .count = smc_fans_SLOTS, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
                        .captions = {.format = "Fan %d"}},
                       XR_ARRAYS(smc_fans));
    lk::family_section(row, "smc_pwr_section", "Power Supplies",
                       {.stem = "smc_pwr", .count = smc_pwrs_SLOTS, .picture = "PWR.tsl", .fru_kind = lk::FRU_PWR,
                        .captions = {.format = "PS %d"}},
                       XR_ARRAYS(smc_pwrs));
    lk::family_section(row, "smc_cpufan_section", "CPU Fans",
                       {.stem = "smc_cpufan", .count = smc_cpufans_SLOTS, .picture = "FAN.tsl",
                        .fru_kind = lk::FRU_NONE, .captions = {.format = "CPU Fan %d"}},
                       XR_ARRAYS(smc_cpufans));

    row = lk::row(column);
    lk::family_section(row, "smc_conv_section", "Converters",
                       {.stem = "smc_conv", .count = smc_convs_SLOTS, .picture = "CONV.tsl",
                        .fru_kind = lk::FRU_NONE, .captions = {.format = "Conv %d"}},
                       XR_ARRAYS(smc_convs));
    lk::family_section(row, "smc_vr_section", "Voltage Regulators",
                       {.stem = "smc_vr", .count = smc_vrs_SLOTS, .picture = "VR.tsl", .fru_kind = lk::FRU_NONE,
                        .captions = {.format = "VR %d"}},
                       XR_ARRAYS(smc_vrs));
    lk::family_section(row, "smc_extpwr_section", "External Power",
                       {.stem = "smc_extpwr", .count = smc_extpwrs_SLOTS, .picture = "PWR.tsl",
                        .fru_kind = lk::FRU_NONE, .captions = {.format = "Ext %d"}},
                       XR_ARRAYS(smc_extpwrs));
    return frame;
}

Widget build_sm2u_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "sm2u_frame", &frame);

    Widget id = lk::section(lk::row(column), "smc2u_id", nullptr, 0);
    lbl_sm2u_text = lk::text_label(id, "lbl_sm2u_text", "System: \nCabinet: ");
    lk::sensor_into(id, "smc2u_temp", frm_smc2u_temp, stat_smc2u_temp, lbl_smc2u_temp);

    Widget slots = lk::section(lk::row(column), "smc2u_slot_section", "Board Slots", 0);
    board_slots(slots, "smc2u", smc2u_rcmbs_SLOTS, "SMB2U.tsl", frm_smc2u_slots, XR_ARRAYS(smc2u_rcmbs),
                XR_ARRAYS(smc2u_cmbs));

    Widget row = lk::row(column);
    lk::family_section(row, "smc2u_fan_section", "Fans",
                       {.stem = "smc2u_fan", .count = smc2u_fans_SLOTS, .picture = "FAN.tsl",
                        .fru_kind = lk::FRU_FAN, .captions = {.format = "Fan %d"}},
                       XR_ARRAYS(smc2u_fans));
    frm_smc2u_fan1 = frm_smc2u_fans[0];
    lk::family_section(row, "smc2u_pwr_section", "Power Supplies",
                       {.stem = "smc2u_pwr", .count = smc2u_pwrs_SLOTS, .picture = "PWR.tsl",
                        .fru_kind = lk::FRU_PWR, .captions = {.format = "PS %d"}},
                       XR_ARRAYS(smc2u_pwrs));
    lk::family_section(row, "smc2u_vr_section", "Voltage Regulators",
                       {.stem = "smc2u_vr", .count = smc2u_vrs_SLOTS, .picture = "VR.tsl",
                        .fru_kind = lk::FRU_NONE, .captions = {.format = "VR %d"}},
                       XR_ARRAYS(smc2u_vrs));
    return frame;
}
