/*
 * rack_garnet.cpp - chassis windows of the two 2-processor node kinds that
 * share one layout: complex type 49 (garnet_frame: fans 1-4, processor
 * fans, power cage fans 1-2) and complex type 51 (beryl_frame: fans 1-5 and
 * processor fans).  Disks 1-5 and the power supplies at the front; DIMMs
 * 1A-3B (one group), processors, fans and sensors inside.  Built on first
 * use.
 */
#include <string>

#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget garnet_frame, btn_garnet_chassis, lbl_garnet_text, garnet_mem1thru6_widget;
XR_DEFINE_SENSOR_FAMILY(garnet_temps);
XR_DEFINE_SENSOR_FAMILY(garnet_cputemps);
XR_DEFINE_SLOT_FAMILY(garnet_disks);
XR_DEFINE_SLOT_FAMILY(garnet_mems);
XR_DEFINE_SLOT_FAMILY(garnet_cpus);
XR_DEFINE_SLOT_FAMILY(garnet_fans);
XR_DEFINE_SLOT_FAMILY(garnet_pwrs);

Widget beryl_frame, btn_beryl_chassis, lbl_beryl_text, beryl_mem1thru6_widget;
XR_DEFINE_SENSOR_FAMILY(beryl_temps);
XR_DEFINE_SENSOR_FAMILY(beryl_cputemps);
XR_DEFINE_SLOT_FAMILY(beryl_disks);
XR_DEFINE_SLOT_FAMILY(beryl_mems);
XR_DEFINE_SLOT_FAMILY(beryl_cpus);
XR_DEFINE_SLOT_FAMILY(beryl_fans);
XR_DEFINE_SLOT_FAMILY(beryl_pwrs);

namespace {

constexpr const char *DIMM_NAMES[] = {"DIMM\n1A", "DIMM\n1B", "DIMM\n2A", "DIMM\n2B", "DIMM\n3A", "DIMM\n3B"};
constexpr const char *PROCESSOR_FAN_NAMES[] = {"Processor\nFan 1", "Processor\nFan 2"};
constexpr const char *CAGE_FAN_NAMES[] = {"Power Cage\nFan 1", "Power Cage\nFan 2"};
constexpr int PROCESSOR_FANS = 2;

/* Everything that differs between the two kinds. */
struct NodeKind {
    const char *family; /* "garnet" */
    const char *frame_name;
    Widget *frame, *chassis, *text, *memory_group;
    int chassis_fans, cage_fans;
    Widget *temp_frm, *temp_stat, *temp_lbl;
    Widget *cputemp_frm, *cputemp_stat, *cputemp_lbl;
    lk::FamilyArrays disks, mems, cpus, fans, pwrs;
};

std::string name_of(const NodeKind &kind, const char *suffix) { return std::string(kind.family) + suffix; }

lk::FamilySpec fan_spec(const std::string &stem, int count, int offset, lk::Captions captions)
{
    return {.stem = stem.c_str(), .count = count, .picture = "FAN.tsl", .fru_kind = lk::FRU_FAN,
            .captions = captions, .first_number = offset + 1, .offset = offset};
}

Widget build_node(Widget parent, const NodeKind &kind)
{
    Widget column = lk::chassis_window(parent, kind.frame_name, kind.frame);
    const std::string fan_stem = name_of(kind, "_fan");

    /* 1. Front. */
    Widget front = lk::section(lk::row(column), name_of(kind, "_front").c_str(), "Front", 0);
    *kind.chassis = lk::chassis_toggle(front, ("btn_" + name_of(kind, "_chassis")).c_str(), "SMP\nChassis");
    *kind.text = lk::text_label(front, ("lbl_" + name_of(kind, "_text")).c_str(), "IP: \nAlias: ");
    lk::family(front, {.stem = name_of(kind, "_disk").c_str(), .count = 5, .picture = "DSK.tsl",
                       .fru_kind = lk::FRU_DISK, .captions = {.format = "Disk %d"}},
               kind.disks);
    lk::family(front, {.stem = name_of(kind, "_pwr").c_str(), .count = 3, .picture = "PWR.tsl",
                       .fru_kind = lk::FRU_PWR, .captions = {.format = "PS %d"}},
               kind.pwrs);

    /* 2. Internal: fans, processors with their fans and sensors, DIMMs. */
    Widget internal = lk::section(lk::row(column), name_of(kind, "_internal").c_str(), "Internal", 0);
    lk::vertical(internal);
    Widget row = lk::row(internal);
    Widget fans = lk::section(row, name_of(kind, "_fan_section").c_str(), "Fans", 0);
    lk::family(fans, fan_spec(fan_stem, kind.chassis_fans, 0, {.format = "Fan %d"}), kind.fans);
    if (kind.cage_fans > 0)
        lk::family(fans, fan_spec(fan_stem, kind.cage_fans, kind.chassis_fans + PROCESSOR_FANS,
                                  {.texts = CAGE_FAN_NAMES}),
                   kind.fans);
    Widget cpus = lk::section(row, name_of(kind, "_cpu_section").c_str(), "Processors", 3);
    lk::family(cpus, {.stem = name_of(kind, "_cpu").c_str(), .count = 2, .picture = "CPU2.tsl",
                      .fru_kind = lk::FRU_CPU, .captions = {.format = "Processor %d"}},
               kind.cpus);
    lk::family(cpus, fan_spec(fan_stem, PROCESSOR_FANS, kind.chassis_fans, {.texts = PROCESSOR_FAN_NAMES}),
               kind.fans);
    lk::sensors(cpus, name_of(kind, "_cputemp").c_str(), 2, kind.cputemp_frm, kind.cputemp_stat,
                kind.cputemp_lbl);
    row = lk::row(internal);
    *kind.memory_group = lk::family_section(row, name_of(kind, "_mem1thru6_widget").c_str(), "Memory",
                                            {.stem = name_of(kind, "_mem").c_str(), .count = 6,
                                             .picture = "MEM.tsl", .fru_kind = lk::FRU_NONE,
                                             .captions = {.texts = DIMM_NAMES}},
                                            kind.mems);
    Widget temps = lk::section(row, name_of(kind, "_temp_section").c_str(), "Temperatures", 2);
    lk::sensors(temps, name_of(kind, "_temp").c_str(), 4, kind.temp_frm, kind.temp_stat, kind.temp_lbl);
    return *kind.frame;
}

} // namespace

Widget create_rack_garnet_dlg(Widget parent)
{
    static_assert(garnet_fans_SLOTS == 4 + PROCESSOR_FANS + 2);
    const NodeKind garnet{"garnet", "garnet_frame", &garnet_frame, &btn_garnet_chassis, &lbl_garnet_text,
                          &garnet_mem1thru6_widget, 4, 2, frm_garnet_temps, stat_garnet_temps, lbl_garnet_temps,
                          frm_garnet_cputemps, stat_garnet_cputemps, lbl_garnet_cputemps,
                          XR_ARRAYS(garnet_disks), XR_ARRAYS(garnet_mems), XR_ARRAYS(garnet_cpus),
                          XR_ARRAYS(garnet_fans), XR_ARRAYS(garnet_pwrs)};
    return build_node(parent, garnet);
}

Widget create_rack_beryl_dlg(Widget parent)
{
    static_assert(beryl_fans_SLOTS == 5 + PROCESSOR_FANS);
    const NodeKind beryl{"beryl", "beryl_frame", &beryl_frame, &btn_beryl_chassis, &lbl_beryl_text,
                         &beryl_mem1thru6_widget, 5, 0, frm_beryl_temps, stat_beryl_temps, lbl_beryl_temps,
                         frm_beryl_cputemps, stat_beryl_cputemps, lbl_beryl_cputemps,
                         XR_ARRAYS(beryl_disks), XR_ARRAYS(beryl_mems), XR_ARRAYS(beryl_cpus),
                         XR_ARRAYS(beryl_fans), XR_ARRAYS(beryl_pwrs)};
    return build_node(parent, beryl);
}
