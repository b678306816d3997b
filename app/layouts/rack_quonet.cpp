/*
 * rack_quonet.cpp - chassis windows of the interconnect switches: the plain
 * switch (quonet_frame), the 16G switch (quonet_qna16g_frame) and the 64G
 * switch (quonet_qn64g_frame) with its nine DC-DC converter slots.
 */
#include <string>

#include "app/layouts/builtin_windows.h"
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

XR_DEFINE_SLOT_FAMILY(qn_cmbs);
XR_DEFINE_SLOT_FAMILY(qn_fans);
XR_DEFINE_SLOT_FAMILY(qn_pwrs);
XR_DEFINE_SLOT_FAMILY(qn_switchs);
XR_DEFINE_SENSOR(qn_temp);
XR_DEFINE_SLOT_FAMILY(qna16g_cmbs);
XR_DEFINE_SLOT_FAMILY(qna16g_fans);
XR_DEFINE_SLOT_FAMILY(qna16g_pwrs);
XR_DEFINE_SLOT_FAMILY(qna16g_switchs);
XR_DEFINE_SLOT_FAMILY(qna16g_convs);
XR_DEFINE_SLOT_FAMILY(qna16g_monis);
XR_DEFINE_SENSOR(qna16g_temp);
XR_DEFINE_SLOT_FAMILY(qn64g_cmbs);
XR_DEFINE_SLOT_FAMILY(qn64g_fans);
XR_DEFINE_SLOT_FAMILY(qn64g_pwrs);
XR_DEFINE_SLOT_FAMILY(qn64g_monis);
XR_DEFINE_SLOT_FAMILY(qn64g_power_fans);
XR_DEFINE_SENSOR(qn64g_temp);
XR_DEFINE_SLOT_FAMILY(qna64g_convs);
XR_DEFINE_SLOT_FAMILY(qnb64g_convs);

namespace {

/* Slot number (1..9) of each converter unit, switch A and switch B. */
constexpr int QNA64G_CONV_SLOT[9] = {5, 1, 9, 2, 8, 3, 7, 4, 6};
constexpr int QNB64G_CONV_SLOT[9] = {5, 1, 2, 3, 4, 6, 7, 8, 9};

/* The identification row: the chassis toggle and the temperature. */
void id_row(Widget column, const char *name, const char *stem, Widget &frm, Widget &stat, Widget &lbl)
{
    Widget row = lk::section(lk::row(column), name, nullptr, 0);
    lk::chassis_toggle(row, (std::string("btn_") + stem + "_chassis").c_str(), "Switch\nChassis");
    lk::sensor_into(row, (std::string(stem) + "_temp").c_str(), frm, stat, lbl);
}

lk::FamilySpec board(const char *stem)
{
    return {.stem = stem, .count = 1, .picture = "SMB.tsl", .fru_kind = lk::FRU_SMB, .captions = {.format = "Board"}};
}
lk::FamilySpec fans(const char *stem, int count, const char *caption = "Fan %d", int kind = lk::FRU_FAN)
{
    return {.stem = stem, .count = count, .picture = "FAN.tsl", .fru_kind = kind, .captions = {.format = caption}};
}
lk::FamilySpec pwrs(const char *stem, int count)
{
    return {.stem = stem, .count = count, .picture = "PWR.tsl", .fru_kind = lk::FRU_PWR, .captions = {.format = "PS %d"}};
}
lk::FamilySpec switches(const char *stem, int count)
{
    return {.stem = stem, .count = count, .picture = "QNA.tsl", .fru_kind = lk::FRU_SWITCH,
            .captions = {.format = "Switch %d"}};
}
lk::FamilySpec monitors(const char *stem, int count)
{
    return {.stem = stem, .count = count, .picture = "MONI.tsl", .fru_kind = lk::FRU_FUSE_MONITOR,
            .captions = {.format = "Monitor %d"}};
}

void fill_converter_order(const lk::Slot (&slots)[9], const int (&slot_of_unit)[9], const lk::FamilyArrays &out)
{
    for (int unit = 0; unit < 9; ++unit) {
        const lk::Slot &s = slots[slot_of_unit[unit] - 1];
        out.frm[unit] = s.frm, out.btn[unit] = s.btn, out.stat[unit] = s.stat, out.lbl[unit] = s.lbl;
    }
}

} // namespace

Widget build_quonet_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "quonet_frame", &frame);
    id_row(column, "qn_id", "qn", frm_qn_temp, stat_qn_temp, lbl_qn_temp);

    Widget row = lk::row(column);
    lk::family_section(row, "qn_switch_section", "Switches", switches("qn_switch", qn_switchs_SLOTS),
                       XR_ARRAYS(qn_switchs));
    lk::family_section(row, "qn_board_section", "Board", board("qn_cmb"), XR_ARRAYS(qn_cmbs));
    row = lk::row(column);
    lk::family_section(row, "qn_fan_section", "Fans", fans("qn_fan", qn_fans_SLOTS), XR_ARRAYS(qn_fans));
    lk::family_section(row, "qn_pwr_section", "Power Supplies", pwrs("qn_pwr", qn_pwrs_SLOTS), XR_ARRAYS(qn_pwrs));
    return frame;
}

Widget build_quonet_qna16g_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "quonet_qna16g_frame", &frame);
    id_row(column, "qna16g_id", "qna16g", frm_qna16g_temp, stat_qna16g_temp, lbl_qna16g_temp);

    Widget row = lk::row(column);
    lk::family_section(row, "qna16g_switch_section", "Switches", switches("qna16g_switch", qna16g_switchs_SLOTS),
                       XR_ARRAYS(qna16g_switchs));
    lk::family_section(row, "qna16g_board_section", "Board", board("qna16g_cmb"), XR_ARRAYS(qna16g_cmbs));
    lk::family_section(row, "qna16g_moni_section", "Fuse Monitors", monitors("qna16g_moni", qna16g_monis_SLOTS),
                       XR_ARRAYS(qna16g_monis));
    row = lk::row(column);
    lk::family_section(row, "qna16g_fan_section", "Fans", fans("qna16g_fan", qna16g_fans_SLOTS),
                       XR_ARRAYS(qna16g_fans));
    lk::family_section(row, "qna16g_pwr_section", "Power Supplies", pwrs("qna16g_pwr", qna16g_pwrs_SLOTS),
                       XR_ARRAYS(qna16g_pwrs));
    lk::family_section(lk::row(column), "qna16g_conv_section", "DC-DC Converters",
                       {.stem = "qna16g_conv", .count = qna16g_convs_SLOTS, .picture = "CONV.tsl",
                        .fru_kind = lk::FRU_CONVERTER, .captions = {.format = "Conv %d"}},
                       XR_ARRAYS(qna16g_convs));
    return frame;
}

Widget build_quonet_qn64g_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "quonet_qn64g_frame", &frame);
    id_row(column, "qn64g_id", "qn64g", frm_qn64g_temp, stat_qn64g_temp, lbl_qn64g_temp);

    Widget row = lk::row(column);
    lk::family_section(row, "qn64g_board_section", "Board", board("qn64g_cmb"), XR_ARRAYS(qn64g_cmbs));
    lk::family_section(row, "qn64g_moni_section", "Fuse Monitors", monitors("qn64g_moni", qn64g_monis_SLOTS),
                       XR_ARRAYS(qn64g_monis));
    lk::family_section(row, "qn64g_fan_section", "Fans", fans("qn64g_fan", qn64g_fans_SLOTS),
                       XR_ARRAYS(qn64g_fans));
    row = lk::row(column);
    lk::family_section(row, "qn64g_pwr_section", "Power Supplies", pwrs("qn64g_pwr", qn64g_pwrs_SLOTS),
                       XR_ARRAYS(qn64g_pwrs));
    lk::family_section(row, "qn64g_power_fan_section", "Power Supply Fans",
                       fans("qn64g_power_fan", qn64g_power_fans_SLOTS, "PS Fan %d", lk::FRU_PWR_FAN),
                       XR_ARRAYS(qn64g_power_fans));

    Widget cv = lk::section(lk::row(column), "qn64g_conv_section", "DC-DC Converters", 0);
    lk::Slot slots[9];
    for (int k = 1; k <= 9; ++k)
        slots[k - 1] = lk::slot(cv, "qn64g_conv" + std::to_string(k), "CONV.tsl", lk::cru_spec(lk::FRU_CONVERTER, k),
                                "DC to DC\n Converter " + std::to_string(k), lk::Shape::Column);
    fill_converter_order(slots, QNA64G_CONV_SLOT, XR_ARRAYS(qna64g_convs));
    fill_converter_order(slots, QNB64G_CONV_SLOT, XR_ARRAYS(qnb64g_convs));
    return frame;
}
