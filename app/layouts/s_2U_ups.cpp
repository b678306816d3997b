/*
 * s_2U_ups.cpp - chassis window of the 2U UPS (complex type 46,
 * ups2U_frame), drawn as its power path: the two AC inputs and the A/B
 * input switch, rectifier, DC link and inverter with the input switch,
 * the bypass switch and the three loads; charger and battery below; fan
 * and temperature beside the chassis button.  Built on first use.
 */
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget ups2U_frame, btn_ups2U_chassis;
Widget btn_ups2U_ABswitch, btn_ups2U_INswitch, btn_ups2U_BPswitch;
XR_DEFINE_SLOT_FAMILY(ups2U_fans);
XR_DEFINE_SLOT_FAMILY(ups2U_bats);
XR_DEFINE_SLOT_FAMILY(ups2U_pwrs);
XR_DEFINE_SLOT_FAMILY(ups2U_inverters);
XR_DEFINE_SLOT_FAMILY(ups2U_chargers);
XR_DEFINE_SLOT_FAMILY(ups2U_rectifiers);
XR_DEFINE_SLOT_FAMILY(ups2U_DClinks);
XR_DEFINE_SLOT_FAMILY(ups2U_loads);
XR_DEFINE_SENSOR(ups2U_temp);

namespace {

lk::FamilySpec part(const char *stem, int count, const char *picture, const char *caption,
                    int kind = lk::FRU_NONE)
{
    return {.stem = stem, .count = count, .picture = picture, .fru_kind = kind, .captions = {.format = caption}};
}

/* A switch of the power path: its toggle (normal position) over a caption. */
Widget power_switch(Widget parent, const char *name, const char *caption)
{
    Widget box = lk::grid(parent, "switch_box", 0, true);
    Widget toggle = lk::component_toggle(box, name, "SwitchA_V.tsl", lk::NO_FRU);
    lk::text_label(box, "switch_caption", caption);
    return toggle;
}

} // namespace

Widget create_ups2U_dlg(Widget parent, const char *)
{
    Widget column = lk::chassis_window(parent, "ups2U_frame", &ups2U_frame);

    /* 1. Chassis, fan, temperature. */
    Widget id = lk::section(lk::row(column), "ups2U_id", nullptr, 0);
    btn_ups2U_chassis = lk::chassis_toggle(id, "btn_ups2U_chassis", "  2U UPS \n  Chassis");
    lk::family(id, part("ups2U_fan", ups2U_fans_SLOTS, "FANC.tsl", "FAN"), XR_ARRAYS(ups2U_fans));
    lk::sensor_into(id, "ups2U_temp", frm_ups2U_temp, stat_ups2U_temp, lbl_ups2U_temp);

    /* 2. The power path, left to right. */
    Widget path = lk::section(lk::row(column), "ups2U_path", "Power Path", 0);
    lk::family(path, part("ups2U_pwr", ups2U_pwrs_SLOTS, "PWR.tsl", "A/C IN %d"), XR_ARRAYS(ups2U_pwrs));
    btn_ups2U_ABswitch = power_switch(path, "btn_ups2U_ABswitch", "A/B");
    lk::family(path, part("ups2U_rectifier", 1, "RECTIFIER.tsl", "Rectifier"), XR_ARRAYS(ups2U_rectifiers));
    lk::family(path, part("ups2U_DClink", 1, "LINK.tsl", "DC Link"), XR_ARRAYS(ups2U_DClinks));
    lk::family(path, part("ups2U_inverter", 1, "INVERTER.tsl", "Inverter"), XR_ARRAYS(ups2U_inverters));
    btn_ups2U_INswitch = power_switch(path, "btn_ups2U_INswitch", "IN");
    btn_ups2U_BPswitch = power_switch(path, "btn_ups2U_BPswitch", "BP");
    lk::family(path, part("ups2U_load", ups2U_loads_SLOTS, "VLoad_3.tsl", "Load %d"), XR_ARRAYS(ups2U_loads));

    /* 3. Charging. */
    Widget charge = lk::section(lk::row(column), "ups2U_charge", "Battery", 0);
    lk::family(charge, part("ups2U_charger", 1, "CHARGER.tsl", "Charger"), XR_ARRAYS(ups2U_chargers));
    lk::family(charge, part("ups2U_bat", ups2U_bats_SLOTS, "BAT.tsl", "BAT", lk::FRU_BAT), XR_ARRAYS(ups2U_bats));
    return ups2U_frame;
}
