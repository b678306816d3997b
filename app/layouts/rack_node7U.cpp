/*
 * rack_node7U.cpp - chassis window of the 7U node (complex type 45,
 * node7U_frame): the front with six disks and three power supplies; inside,
 * four processors with their temperatures, six fans, two memory modules of
 * sixteen strips (each module one group, shown while it is populated), six
 * PCI slots (PCI 3 to PCI 8) and six temperature sensors.  Built on first use.
 */
#include <string>

#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget node7U_frame, btn_node7U_chassis, lbl_node7U_text;
Widget node7U_mem1thru16_widget, node7U_mem17thru32_widget;
XR_DEFINE_SENSOR_FAMILY(node7U_temps);
XR_DEFINE_SENSOR_FAMILY(node7U_cputemps);
XR_DEFINE_SLOT_FAMILY(node7U_disks);
XR_DEFINE_SLOT_FAMILY(node7U_mems);
XR_DEFINE_SLOT_FAMILY(node7U_cpus);
XR_DEFINE_SLOT_FAMILY(node7U_fans);
XR_DEFINE_SLOT_FAMILY(node7U_pwrs);
XR_DEFINE_SLOT_FAMILY(node7U_pci);

namespace {

constexpr int STRIPS_PER_MODULE = 16;

/* The first two units of the PCI subcomplex have no slot in the picture;
 * the slots carry the unit numbers the detail report gives them. */
constexpr int FIRST_PCI_SLOT = 3;

/* " Disk k\n(SCSI ID k-1)". */
struct DiskNames {
    std::string text[node7U_disks_SLOTS];
    const char *ptr[node7U_disks_SLOTS];
    DiskNames()
    {
        for (int i = 0; i < node7U_disks_SLOTS; ++i) {
            text[i] = " Disk " + std::to_string(i + 1) + "\n(SCSI ID " + std::to_string(i) + ")";
            ptr[i] = text[i].c_str();
        }
    }
};

Widget memory_module(Widget parent, int module)
{
    const int first = (module - 1) * STRIPS_PER_MODULE + 1;
    const std::string title = "Memory Module " + std::to_string(module) + "\n(Memory Strips " +
                              std::to_string(first) + "-" + std::to_string(first + STRIPS_PER_MODULE - 1) + ")";
    const std::string name = "node7U_mem" + std::to_string(first) + "thru" +
                             std::to_string(first + STRIPS_PER_MODULE - 1) + "_widget";
    return lk::family_section(parent, name.c_str(), title.c_str(),
                              {.stem = "node7U_mem", .count = STRIPS_PER_MODULE, .picture = "MEM.tsl",
                               .fru_kind = lk::FRU_NONE, .captions = {.format = "%d"}, .first_number = first,
                               .offset = first - 1},
                              XR_ARRAYS(node7U_mems), 2);
}

} // namespace

Widget create_rack_node7U_dlg(Widget parent)
{
    static const DiskNames disk_names;
    Widget column = lk::chassis_window(parent, "node7U_frame", &node7U_frame);

    /* 1. Front. */
    Widget front = lk::section(lk::row(column), "node7U_front", "Front", 0);
    btn_node7U_chassis = lk::chassis_toggle(front, "btn_node7U_chassis", "SMP\nChassis");
    lbl_node7U_text = lk::text_label(front, "lbl_node7U_text", "IP: \nAlias: ");
    lk::family(front, {.stem = "node7U_disk", .count = node7U_disks_SLOTS, .picture = "DSK.tsl",
                       .fru_kind = lk::FRU_DISK, .captions = {.texts = disk_names.ptr}},
               XR_ARRAYS(node7U_disks));
    lk::family(front, {.stem = "node7U_pwr", .count = node7U_pwrs_SLOTS, .picture = "PWR.tsl",
                       .fru_kind = lk::FRU_PWR, .captions = {.format = "PS %d"}},
               XR_ARRAYS(node7U_pwrs));

    /* 2. Internal: processors and fans, memory, PCI slots and sensors. */
    Widget internal = lk::section(lk::row(column), "node7U_internal", "Internal", 0);
    lk::vertical(internal);

    Widget row = lk::row(internal);
    Widget cpus = lk::section(row, "node7U_cpu_section", "Processors", 2);
    lk::family(cpus, {.stem = "node7U_cpu", .count = node7U_cpus_SLOTS, .picture = "CPU2.tsl",
                      .fru_kind = lk::FRU_CPU, .captions = {.format = "CPU %d"}},
               XR_ARRAYS(node7U_cpus));
    lk::sensors(cpus, "node7U_cputemp", node7U_cputemps_SLOTS, frm_node7U_cputemps, stat_node7U_cputemps,
                lbl_node7U_cputemps);
    lk::family_section(row, "node7U_fan_section", "Fans",
                       {.stem = "node7U_fan", .count = node7U_fans_SLOTS, .picture = "FAN.tsl",
                        .fru_kind = lk::FRU_FAN, .captions = {.format = "Fan %d"}},
                       XR_ARRAYS(node7U_fans), 2);

    row = lk::row(internal);
    node7U_mem1thru16_widget = memory_module(row, 1);
    node7U_mem17thru32_widget = memory_module(row, 2);

    row = lk::row(internal);
    lk::family_section(row, "node7U_pci_section", "PCI Slots",
                       {.stem = "node7U_pci", .count = node7U_pci_SLOTS, .picture = "PCISLOT.tsl",
                        .fru_kind = lk::FRU_NONE, .captions = {.format = "PCI %d"},
                        .first_number = FIRST_PCI_SLOT},
                       XR_ARRAYS(node7U_pci));
    Widget temps = lk::section(row, "node7U_temp_section", "Temperatures", 2);
    lk::sensors(temps, "node7U_temp", node7U_temps_SLOTS, frm_node7U_temps, stat_node7U_temps, lbl_node7U_temps);
    return node7U_frame;
}
