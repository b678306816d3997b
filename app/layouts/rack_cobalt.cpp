/*
 * rack_cobalt.cpp - chassis window of the node of complex type 47
 * (cobalt_frame), drawn as the chassis is opened: "Front" with disks 0-4,
 * "Top" and "Bottom" with two temperature sensors each, "Internal" with
 * fans 1-6, two processors with their fans and temperatures and memory
 * strips 1-8 (one group), "Rear" with three power supplies and the two
 * power-distribution-board fans.  Built on first use.
 */
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget cobalt_frame, btn_cobalt_chassis, lbl_cobalt_text, cobalt_mem1thru8_widget;
XR_DEFINE_SENSOR_FAMILY(cobalt_temps);
XR_DEFINE_SENSOR_FAMILY(cobalt_cputemps);
XR_DEFINE_SLOT_FAMILY(cobalt_disks);
XR_DEFINE_SLOT_FAMILY(cobalt_mems);
XR_DEFINE_SLOT_FAMILY(cobalt_cpus);
XR_DEFINE_SLOT_FAMILY(cobalt_fans);
XR_DEFINE_SLOT_FAMILY(cobalt_pwrs);

namespace {

/* Units of the fan subcomplex: fans 1-6, processor fans, PDB fans. */
constexpr int CHASSIS_FANS = 6;
constexpr int PROCESSOR_FANS = 2;
constexpr int PDB_FANS = 2;
constexpr const char *PROCESSOR_FAN_NAMES[] = {"Processor\nFan 1", "Processor\nFan 2"};
constexpr const char *PDB_FAN_NAMES[] = {"PDB\nFan 1", "PDB\nFan 2"};
static_assert(CHASSIS_FANS + PROCESSOR_FANS + PDB_FANS == cobalt_fans_SLOTS);

lk::FamilySpec fans(const char *caption, int count, int offset)
{
    return {.stem = "cobalt_fan", .count = count, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
            .captions = {.format = caption}, .first_number = offset + 1, .offset = offset};
}

} // namespace

Widget create_rack_cobalt_dlg(Widget parent)
{
    Widget column = lk::chassis_window(parent, "cobalt_frame", &cobalt_frame);

    /* 1. Front and top. */
    Widget row = lk::row(column);
    Widget front = lk::section(row, "cobalt_front", "Front", 0);
    btn_cobalt_chassis = lk::chassis_toggle(front, "btn_cobalt_chassis", "SMP\nChassis");
    lbl_cobalt_text = lk::text_label(front, "lbl_cobalt_text", "IP: \nAlias: ");
    lk::family(front, {.stem = "cobalt_disk", .count = cobalt_disks_SLOTS, .picture = "DSK.tsl",
                       .fru_kind = lk::FRU_DISK, .captions = {.format = "Disk %d"}, .first_number = 0},
               XR_ARRAYS(cobalt_disks));
    Widget top = lk::section(row, "cobalt_top", "Top", 0);
    lk::vertical(top);
    lk::sensors(top, "cobalt_temp", 2, frm_cobalt_temps, stat_cobalt_temps, lbl_cobalt_temps);

    /* 2. Internal: fans; processors with their fans and sensors; memory. */
    Widget internal = lk::section(lk::row(column), "cobalt_internal", "Internal", 0);
    lk::vertical(internal);
    row = lk::row(internal);
    lk::family_section(row, "cobalt_fan_section", "Fans", fans("Fan %d", CHASSIS_FANS, 0), XR_ARRAYS(cobalt_fans));
    Widget cpus = lk::section(row, "cobalt_cpu_section", "Processors", 3);
    lk::family(cpus, {.stem = "cobalt_cpu", .count = cobalt_cpus_SLOTS, .picture = "CPU2.tsl",
                      .fru_kind = lk::FRU_CPU, .captions = {.format = "Processor %d"}},
               XR_ARRAYS(cobalt_cpus));
    lk::family(cpus, {.stem = "cobalt_fan", .count = PROCESSOR_FANS, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
                      .captions = {.texts = PROCESSOR_FAN_NAMES}, .first_number = CHASSIS_FANS + 1,
                      .offset = CHASSIS_FANS},
               XR_ARRAYS(cobalt_fans));
    lk::sensors(cpus, "cobalt_cputemp", cobalt_cputemps_SLOTS, frm_cobalt_cputemps, stat_cobalt_cputemps,
                lbl_cobalt_cputemps);
    cobalt_mem1thru8_widget = lk::family_section(
        lk::row(internal), "cobalt_mem1thru8_widget", "Memory Strips 1-8",
        {.stem = "cobalt_mem", .count = cobalt_mems_SLOTS, .picture = "MEM.tsl", .fru_kind = lk::FRU_NONE,
         .captions = {.format = "%d"}},
        XR_ARRAYS(cobalt_mems));

    /* 3. Rear and bottom. */
    row = lk::row(column);
    Widget rear = lk::section(row, "cobalt_rear", "Rear", 0);
    lk::family(rear, {.stem = "cobalt_pwr", .count = cobalt_pwrs_SLOTS, .picture = "PWR.tsl",
                      .fru_kind = lk::FRU_PWR, .captions = {.format = "PS %d"}},
               XR_ARRAYS(cobalt_pwrs));
    lk::family(rear, {.stem = "cobalt_fan", .count = PDB_FANS, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
                      .captions = {.texts = PDB_FAN_NAMES}, .first_number = CHASSIS_FANS + PROCESSOR_FANS + 1,
                      .offset = CHASSIS_FANS + PROCESSOR_FANS},
               XR_ARRAYS(cobalt_fans));
    Widget bottom = lk::section(row, "cobalt_bottom", "Bottom", 0);
    lk::vertical(bottom);
    lk::sensors(bottom, "cobalt_temp", 2, frm_cobalt_temps + 2, stat_cobalt_temps + 2, lbl_cobalt_temps + 2, 3);
    return cobalt_frame;
}
