/*
 * rack_smp.cpp - chassis window of the older node chassis (smp_frame), also
 * used for chassis kinds the display does not know: identification, fans
 * along the front, power supplies and the system board.
 */
#include "app/layouts/builtin_windows.h"
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

XR_DEFINE_SLOT_FAMILY(smp_smbs);
XR_DEFINE_SLOT_FAMILY(smp_fans);
XR_DEFINE_SLOT_FAMILY(smp_pwrs);
XR_DEFINE_SENSOR(smp_temp);
Widget lbl_smp_text, btn_smp_chassis;

Widget build_smp_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "smp_frame", &frame);

    Widget id = lk::section(lk::row(column), "smp_id", nullptr, 0);
    btn_smp_chassis = lk::chassis_toggle(id, "btn_smp_chassis", "SMP\nChassis");
    lbl_smp_text = lk::text_label(id, "lbl_smp_text", "IP: \nAlias: ");
    lk::sensor_into(id, "smp_temp", frm_smp_temp, stat_smp_temp, lbl_smp_temp);

    lk::family_section(lk::row(column), "smp_fan_section", "Fans",
                       {.stem = "smp_fan", .count = smp_fans_SLOTS, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
                        .captions = {.format = "Fan %d"}},
                       XR_ARRAYS(smp_fans));

    Widget row = lk::row(column);
    lk::family_section(row, "smp_pwr_section", "Power Supplies",
                       {.stem = "smp_pwr", .count = smp_pwrs_SLOTS, .picture = "PWR.tsl", .fru_kind = lk::FRU_PWR,
                        .captions = {.format = "PS %d"}},
                       XR_ARRAYS(smp_pwrs));
    lk::family_section(row, "smp_board_section", "Board",
                       {.stem = "smp_smb", .count = smp_smbs_SLOTS, .picture = "SMB.tsl", .fru_kind = lk::FRU_SMB,
                        .captions = {.format = "SMB"}},
                       XR_ARRAYS(smp_smbs));
    return frame;
}
