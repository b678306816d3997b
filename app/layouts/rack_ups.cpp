/*
 * rack_ups.cpp - chassis windows of the rack UPS (ups_frame) and of the UPS
 * with an input selector (ups_dam_frame): AC inputs, batteries, and for the
 * latter the two input legs with the selector between them.
 */
#include "app/layouts/builtin_windows.h"
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

XR_DEFINE_SLOT_FAMILY(ups_bats);
XR_DEFINE_SLOT_FAMILY(ups_pwrs);
XR_DEFINE_SENSOR(ups_temp);
Widget frm_ups2, frm_ups_pwr2, btn_ups_chassis;
XR_DEFINE_SLOT_FAMILY(ups_dam_bats);
XR_DEFINE_SLOT_FAMILY(ups_dam_pwrs);
XR_DEFINE_SLOT(ups_dam_dams1);
XR_DEFINE_SLOT(ups_dam_dams2);
XR_DEFINE_SLOT(ups_dam_dams3);
XR_DEFINE_SENSOR(ups_dam_temp);
Widget frm_ups_dam2, btn_ups_dam_chassis;

namespace {

lk::FamilySpec ac_inputs(const char *stem, int count)
{
    return {.stem = stem, .count = count, .picture = "PWR.tsl", .fru_kind = lk::FRU_NONE,
            .captions = {.format = "AC Input %d"}};
}
lk::FamilySpec batteries(const char *stem, int count)
{
    return {.stem = stem, .count = count, .picture = "BAT.tsl", .fru_kind = lk::FRU_BAT,
            .captions = {.format = "BAT %d"}};
}

void id_row(Widget column, const char *name, const char *toggle, Widget &btn, const char *temp, Widget &frm,
            Widget &stat, Widget &lbl)
{
    Widget row = lk::section(lk::row(column), name, nullptr, 0);
    btn = lk::chassis_toggle(row, toggle, "UPS\nChassis");
    lk::sensor_into(row, temp, frm, stat, lbl);
}

} // namespace

Widget build_ups_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "ups_frame", &frame);
    id_row(column, "ups_id", "btn_ups_chassis", btn_ups_chassis, "ups_temp", frm_ups_temp, stat_ups_temp,
           lbl_ups_temp);

    Widget row = lk::row(column);
    lk::family_section(row, "ups_pwr_section", "AC Input", ac_inputs("ups_pwr", ups_pwrs_SLOTS), XR_ARRAYS(ups_pwrs));
    frm_ups_pwr2 = frm_ups_pwrs[1];
    lk::family_section(row, "ups_bat_section", "Batteries", batteries("ups_bat", ups_bats_SLOTS), XR_ARRAYS(ups_bats));
    frm_ups2 = frm_ups_bats[1];
    return frame;
}

Widget build_ups_dam_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "ups_dam_frame", &frame);
    id_row(column, "ups_dam_id", "btn_ups_dam_chassis", btn_ups_dam_chassis, "ups_dam_temp", frm_ups_dam_temp,
           stat_ups_dam_temp, lbl_ups_dam_temp);

    Widget sel = lk::section(lk::row(column), "ups_dam_selector_section", "Input Selector", 0);
    lk::slot_into(sel, "ups_dam_dams1", "PWR.tsl", lk::NO_FRU, " LEG  A ", lk::Shape::Column, frm_ups_dam_dams1,
                  btn_ups_dam_dams1, stat_ups_dam_dams1, lbl_ups_dam_dams1);
    lk::slot_into(sel, "ups_dam_dams3", "DAM_NONE.tsl", lk::cru_spec(lk::FRU_UPS_IS, 1),
                  " Input Selector \n  STATUS ", lk::Shape::Column, frm_ups_dam_dams3, btn_ups_dam_dams3,
                  stat_ups_dam_dams3, lbl_ups_dam_dams3);
    lk::slot_into(sel, "ups_dam_dams2", "PWR.tsl", lk::NO_FRU, " LEG  B ", lk::Shape::Column, frm_ups_dam_dams2,
                  btn_ups_dam_dams2, stat_ups_dam_dams2, lbl_ups_dam_dams2);

    Widget row = lk::row(column);
    lk::family_section(row, "ups_dam_pwr_section", "AC Input", ac_inputs("ups_dam_pwr", ups_dam_pwrs_SLOTS),
                       XR_ARRAYS(ups_dam_pwrs));
    lk::family_section(row, "ups_dam_bat_section", "Batteries", batteries("ups_dam_bat", ups_dam_bats_SLOTS),
                       XR_ARRAYS(ups_dam_bats));
    frm_ups_dam2 = frm_ups_dam_bats[1];
    return frame;
}
