/*
 * rack_quartz.cpp - chassis window of the node of complex type 43
 * (quartz_node_frame): six disks and four power supplies at the front;
 * inside, CPU-side fans 1-4, I/O-side fans 5-8 and the cooling fan, four
 * processors, two memory modules of strips J1-J16, six temperature sensors.
 * Built on first use.
 */
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget quartz_node_frame, btn_quartz_chassis, lbl_quartz_text;
Widget quartz_mem1thru16_widget, quartz_mem17thru32_widget;
XR_DEFINE_SENSOR_FAMILY(quartz_temps);
XR_DEFINE_SLOT_FAMILY(quartz_disks);
XR_DEFINE_SLOT_FAMILY(quartz_pwrs);
XR_DEFINE_SLOT_FAMILY(quartz_fans);
XR_DEFINE_SLOT_FAMILY(quartz_cpus);
XR_DEFINE_SLOT_FAMILY(quartz_mems);

namespace {

constexpr const char *STRIP_NAMES[] = {"J1", "J2", "J3",  "J4",  "J5",  "J6",  "J7",  "J8",
                                       "J9", "J10", "J11", "J12", "J13", "J14", "J15", "J16"};
constexpr int STRIPS_PER_MODULE = 16;

Widget memory_module(Widget parent, const char *name, const char *title, int first)
{
    return lk::family_section(parent, name, title,
                              {.stem = "quartz_mem", .count = STRIPS_PER_MODULE, .picture = "MEM.tsl",
                               .fru_kind = lk::FRU_NONE, .captions = {.texts = STRIP_NAMES},
                               .first_number = first, .offset = first - 1},
                              XR_ARRAYS(quartz_mems), 2);
}

lk::FamilySpec fans(const char *stem, int count, const char *caption, int first, int offset)
{
    return {.stem = stem, .count = count, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
            .captions = {.format = caption}, .first_number = first, .offset = offset};
}

} // namespace

Widget create_rack_quartz_node_dlg(Widget parent)
{
    Widget column = lk::chassis_window(parent, "quartz_node_frame", &quartz_node_frame);

    /* 1. Front. */
    Widget front = lk::section(lk::row(column), "quartz_front", "Front", 0);
    btn_quartz_chassis = lk::chassis_toggle(front, "btn_quartz_chassis", "SMP\nChassis");
    lbl_quartz_text = lk::text_label(front, "lbl_quartz_text", "IP: \nAlias: ");
    lk::family(front, {.stem = "quartz_disk", .count = quartz_disks_SLOTS, .picture = "DSK.tsl",
                       .fru_kind = lk::FRU_DISK, .captions = {.format = "Disk %d"}},
               XR_ARRAYS(quartz_disks));
    lk::family(front, {.stem = "quartz_pwr", .count = quartz_pwrs_SLOTS, .picture = "PWR.tsl",
                       .fru_kind = lk::FRU_PWR, .captions = {.format = "PS %d"}},
               XR_ARRAYS(quartz_pwrs));

    /* 2. Internal: CPU-side fans, processors, I/O-side fans, cooling fan. */
    Widget internal = lk::section(lk::row(column), "quartz_internal", "Internal", 0);
    lk::vertical(internal);
    Widget row = lk::row(internal);
    lk::family_section(row, "quartz_cpufan_section", "CPU Side Fans", fans("quartz_fan", 4, "Fan %d", 1, 0),
                       XR_ARRAYS(quartz_fans));
    lk::family_section(row, "quartz_cpu_section", "Processors",
                       {.stem = "quartz_cpu", .count = quartz_cpus_SLOTS, .picture = "CPU.tsl",
                        .fru_kind = lk::FRU_CPU, .captions = {.format = "Processor %d"}},
                       XR_ARRAYS(quartz_cpus));
    lk::family_section(row, "quartz_iofan_section", "I/O Side Fans", fans("quartz_fan", 4, "Fan %d", 5, 4),
                       XR_ARRAYS(quartz_fans));
    lk::family_section(row, "quartz_coolfan_section", "Cooling", fans("quartz_fan", 1, "Cooling\nFan", 9, 8),
                       XR_ARRAYS(quartz_fans));

    /* 3. Memory modules and sensors. */
    row = lk::row(internal);
    quartz_mem1thru16_widget = memory_module(row, "quartz_mem1thru16_widget", "Memory Module 1", 1);
    quartz_mem17thru32_widget = memory_module(row, "quartz_mem17thru32_widget", "Memory Module 2", 17);
    Widget temps = lk::section(lk::row(internal), "quartz_temp_section", "Temperatures", 1);
    lk::sensors(temps, "quartz_temp", quartz_temps_SLOTS, frm_quartz_temps, stat_quartz_temps, lbl_quartz_temps);
    return quartz_node_frame;
}
