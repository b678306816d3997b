/*
 * rack_damc.cpp - chassis window of the disk array of complex type 32
 * (da_frame): the front with twenty disks in five channels of four, the two
 * controllers and the temperature; the rear with fans 0-2 and power
 * supplies 0-4.  Built on first use by the rack view.
 */
#include <string>

#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget da_frame, btn_da_chassis;
XR_DEFINE_SLOT_FAMILY(da_fans);
XR_DEFINE_SLOT_FAMILY(da_pwrs);
XR_DEFINE_SLOT_FAMILY(da_dsks);
XR_DEFINE_SLOT_FAMILY(da_ctl1s);
XR_DEFINE_SLOT_FAMILY(da_ctl2s);
XR_DEFINE_SENSOR(da_temp);

namespace {

constexpr int CHANNELS = 5;
constexpr int IDS_PER_CHANNEL = 4;
static_assert(CHANNELS * IDS_PER_CHANNEL == da_dsks_SLOTS);

/* Disk positions "channel,id", row by row: "1,0" "2,0" ... "5,3". */
struct DiskPositions {
    std::string text[da_dsks_SLOTS];
    const char *ptr[da_dsks_SLOTS];
    DiskPositions()
    {
        for (int i = 0; i < da_dsks_SLOTS; ++i) {
            text[i] = std::to_string(i % CHANNELS + 1) + "," + std::to_string(i / CHANNELS);
            ptr[i] = text[i].c_str();
        }
    }
};

} // namespace

Widget create_rack_damc_dlg(Widget parent)
{
    static const DiskPositions positions;
    Widget column = lk::chassis_window(parent, "da_frame", &da_frame);

    /* 1. Front: the disks, and beside them controllers and temperature. */
    Widget front = lk::row(column);
    lk::family_section(front, "da_dsk_section", "Disks (Channel,ID)",
                       {.stem = "da_dsk", .count = da_dsks_SLOTS, .picture = "DSKC.tsl", .fru_kind = lk::FRU_DISK,
                        .captions = {.texts = positions.ptr}},
                       XR_ARRAYS(da_dsks), IDS_PER_CHANNEL);
    Widget side = lk::section(front, "da_ctl_section", "Controllers", 0);
    lk::vertical(side);
    lk::slot_into(side, "da_ctl1", "CTL.tsl", lk::cru_spec(lk::FRU_CTL, 1), "CTL 1\nUnknown", lk::Shape::Row,
                  frm_da_ctl1s[0], btn_da_ctl1s[0], stat_da_ctl1s[0], lbl_da_ctl1s[0]);
    lk::slot_into(side, "da_ctl2", "CTL.tsl", lk::cru_spec(lk::FRU_CTL, 2), "CTL 2\nUnknown", lk::Shape::Row,
                  frm_da_ctl2s[0], btn_da_ctl2s[0], stat_da_ctl2s[0], lbl_da_ctl2s[0]);
    lk::sensor_into(side, "da_temp", frm_da_temp, stat_da_temp, lbl_da_temp);
    btn_da_chassis = lk::chassis_toggle(side, "btn_da_chassis", "Disk\nArray");

    /* 2. Rear: fans and power supplies. */
    Widget rear = lk::section(lk::row(column), "da_rear_section", "Chassis Rear", 0);
    lk::family(rear, {.stem = "da_fan", .count = da_fans_SLOTS, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
                      .captions = {.format = "FAN\n%d"}, .first_number = 0},
               XR_ARRAYS(da_fans));
    lk::family(rear, {.stem = "da_pwr", .count = da_pwrs_SLOTS, .picture = "PWR.tsl", .fru_kind = lk::FRU_PWR,
                      .captions = {.format = "PWR\n%d"}, .first_number = 0},
               XR_ARRAYS(da_pwrs));
    return da_frame;
}
