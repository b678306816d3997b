/*
 * rack_mdamc.cpp - chassis window of the disk array of complex type 38
 * (da2_frame): a grid of 56 disk slots in four rows of fourteen under
 * "Disks (Enclosure - Slot)", controllers, battery module, hubs, ESMs, up
 * to ten fans and ten power supplies, four temperatures.  The chassis view
 * shows as many rows and columns as the array reports disks, so the one
 * grid is also read through five arrays, one per column count (10-14).
 * Built on first use by the rack view.
 */
#include <string>

#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget da2_frame, btn_da2_chassis;
XR_DEFINE_SLOT_FAMILY(da2_fans);
XR_DEFINE_SLOT_FAMILY(da2_pwrs);
XR_DEFINE_SLOT_FAMILY(da2_hubs);
XR_DEFINE_SLOT_FAMILY(da2_esms);
XR_DEFINE_SLOT_FAMILY(da2_ctls);
XR_DEFINE_SLOT_FAMILY(da2_ctl1s);
XR_DEFINE_SLOT_FAMILY(da2_ctl2s);
XR_DEFINE_SLOT_FAMILY(da2_bats);
XR_DEFINE_SENSOR_FAMILY(da2_temps);
Widget frm_da2_hub1, frm_da2_hub2, frm_da2_bat;
Widget hdd_dsk_rows[DA2_DISK_ROWS + 1];
Widget frm_da2_dsk_cells[DA2_DISK_ROWS][DA2_DISK_COLUMNS];
Widget btn_da2_dsks[41], stat_da2_dsks[41], lbl_da2_dsks[41];
Widget btn_da2_dsks1[45], stat_da2_dsks1[45], lbl_da2_dsks1[45];
Widget btn_da2_dsks2[49], stat_da2_dsks2[49], lbl_da2_dsks2[49];
Widget btn_da2_dsks3[53], stat_da2_dsks3[53], lbl_da2_dsks3[53];
Widget btn_da2_dsks4[57], stat_da2_dsks4[57], lbl_da2_dsks4[57];

namespace {

/* The disk arrays by column count, 10 to 14. */
struct DiskOrder {
    int columns;
    Widget *btn, *stat, *lbl;
};
const DiskOrder DISK_ORDERS[] = {
    {10, btn_da2_dsks, stat_da2_dsks, lbl_da2_dsks},
    {11, btn_da2_dsks1, stat_da2_dsks1, lbl_da2_dsks1},
    {12, btn_da2_dsks2, stat_da2_dsks2, lbl_da2_dsks2},
    {13, btn_da2_dsks3, stat_da2_dsks3, lbl_da2_dsks3},
    {14, btn_da2_dsks4, stat_da2_dsks4, lbl_da2_dsks4},
};
static_assert(sizeof btn_da2_dsks4 / sizeof(Widget) == DA2_DISK_ROWS * DA2_DISK_COLUMNS + 1);

/* 1. The rows of disk cells. */
void build_disk_grid(Widget parent, lk::Slot (&cells)[DA2_DISK_ROWS][DA2_DISK_COLUMNS])
{
    Widget rows = lk::section(parent, "da2_dsk_section", "Disks (Enclosure - Slot)", 0);
    lk::vertical(rows);
    for (int r = 0; r < DA2_DISK_ROWS; ++r) {
        hdd_dsk_rows[r] = lk::grid(rows, ("hdd_dsk_row" + std::to_string(r + 1)).c_str(), 1);
        for (int c = 0; c < DA2_DISK_COLUMNS; ++c) {
            const int n = r * DA2_DISK_COLUMNS + c + 1;
            cells[r][c] = lk::slot(hdd_dsk_rows[r], "da2_dsk" + std::to_string(n), "DSKC.tsl",
                                   lk::cru_spec(lk::FRU_DISK, n),
                                   std::to_string(r + 1) + " - " + std::to_string(c + 1), lk::Shape::Column);
            frm_da2_dsk_cells[r][c] = cells[r][c].frm;
        }
    }
}

/* 2. Unit i of a grid with `columns` columns sits in row i / columns. */
void fill_disk_orders(const lk::Slot (&cells)[DA2_DISK_ROWS][DA2_DISK_COLUMNS])
{
    for (const DiskOrder &order : DISK_ORDERS)
        for (int i = 0; i < DA2_DISK_ROWS * order.columns; ++i) {
            const lk::Slot &cell = cells[i / order.columns][i % order.columns];
            order.btn[i] = cell.btn, order.stat[i] = cell.stat, order.lbl[i] = cell.lbl;
        }
}

/* 3. Controllers 1 and 2, also reachable one at a time. */
void build_controllers(Widget parent)
{
    Widget grid = lk::section(parent, "da2_ctl_section", "Controllers", 0);
    lk::family(grid, {.stem = "da2_ctl", .count = da2_ctls_SLOTS, .picture = "CTL.tsl", .fru_kind = lk::FRU_CTL,
                      .captions = {.format = "CTL %d\nUnknown"}, .shape = lk::Shape::Row},
               XR_ARRAYS(da2_ctls));
    for (auto [single, index] : {std::pair{XR_ARRAYS(da2_ctl1s), 0}, std::pair{XR_ARRAYS(da2_ctl2s), 1}}) {
        single.frm[0] = frm_da2_ctls[index], single.btn[0] = btn_da2_ctls[index];
        single.stat[0] = stat_da2_ctls[index], single.lbl[0] = lbl_da2_ctls[index];
    }
}

} // namespace

Widget create_rack_mdamc_dlg(Widget parent)
{
    Widget column = lk::chassis_window(parent, "da2_frame", &da2_frame);

    /* 1. The disk grid. */
    static lk::Slot cells[DA2_DISK_ROWS][DA2_DISK_COLUMNS];
    build_disk_grid(lk::row(column), cells);
    fill_disk_orders(cells);

    /* 2. Controllers, battery, hubs, ESMs. */
    Widget row = lk::row(column);
    build_controllers(row);
    lk::family_section(row, "da2_bat_section", "Battery\nModule",
                       {.stem = "da2_bat", .count = da2_bats_SLOTS, .picture = "BAT.tsl", .fru_kind = lk::FRU_BAT,
                        .captions = {.format = "BAT"}},
                       XR_ARRAYS(da2_bats));
    frm_da2_bat = frm_da2_bats[0];
    lk::family_section(row, "da2_hub_section", "Hubs",
                       {.stem = "da2_hub", .count = da2_hubs_SLOTS, .picture = "HUB.tsl", .fru_kind = lk::FRU_HUB,
                        .captions = {.format = "Hub %d"}},
                       XR_ARRAYS(da2_hubs));
    frm_da2_hub1 = frm_da2_hubs[0];
    frm_da2_hub2 = frm_da2_hubs[1];
    lk::family_section(row, "da2_esm_section", "ESMs",
                       {.stem = "da2_esm", .count = da2_esms_SLOTS, .picture = "ESM.tsl", .fru_kind = lk::FRU_ESM,
                        .captions = {.format = "ESM %d"}},
                       XR_ARRAYS(da2_esms));

    /* 3. Fans, power supplies, temperatures. */
    row = lk::row(column);
    lk::family_section(row, "da2_fan_section", "Fans",
                       {.stem = "da2_fan", .count = da2_fans_SLOTS, .picture = "FANC.tsl", .fru_kind = lk::FRU_FAN,
                        .captions = {.format = "Fan %d"}},
                       XR_ARRAYS(da2_fans), 2);
    lk::family_section(row, "da2_pwr_section", "Power Supplies",
                       {.stem = "da2_pwr", .count = da2_pwrs_SLOTS, .picture = "PWRC.tsl", .fru_kind = lk::FRU_PWR,
                        .captions = {.format = "PS %d"}},
                       XR_ARRAYS(da2_pwrs), 2);
    Widget temps = lk::section(row, "da2_temp_section", "Temperatures", 0);
    lk::vertical(temps);
    lk::sensors(temps, "da2_temp", da2_temps_SLOTS, frm_da2_temps, stat_da2_temps, lbl_da2_temps);
    btn_da2_chassis = lk::chassis_toggle(temps, "btn_da2_chassis", "Disk\nArray");
    return da2_frame;
}
