/*
 * chassis_parts.cpp - the components of a chassis view that the generic
 * painter cannot show: temperatures (one sensor, the node sensor rows, the
 * disk array's four sensors), the input selector of the UPS, the DC-DC
 * converters of the 64G switch, the PCI slots of the 7U node, and the full
 * UPS picture drawn when the UPS does not talk.
 *
 * Caller: chassis_views.cpp.
 */
#include <array>
#include <cstdint>
#include <cstdio>

#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/chassis_views.h"
#include "app/complex_types.h"
#include "app/layouts/rack_windows.h"
#include "app/s_get_colors.h"
#include "app/unit_name_tbl.h"
#include "base/console_path.h"
#include "base/trace.h"

/* ---- constants ----------------------------------------------------------- */

namespace {

/* One temperature sensor: status icon, caption, optional frame to show. */
struct Sensor {
    Widget *stat, *lbl, *frm;
};

/* The sensor rows of the newer node kinds. */
struct NodeSensors {
    int complex_type;
    Widget *temp_frm, *temp_stat, *temp_lbl;
    Widget *cpu_frm, *cpu_stat, *cpu_lbl; /* null: the kind has none */
};
constexpr NodeSensors NODE_SENSORS[] = {
    {COMPLEX_QUARTZ_NODE, frm_quartz_temps, stat_quartz_temps, lbl_quartz_temps, nullptr, nullptr, nullptr},
    {COMPLEX_NODE7U, frm_node7U_temps, stat_node7U_temps, lbl_node7U_temps, frm_node7U_cputemps, stat_node7U_cputemps,
     lbl_node7U_cputemps},
    {COMPLEX_COBALT, frm_cobalt_temps, stat_cobalt_temps, lbl_cobalt_temps, frm_cobalt_cputemps, stat_cobalt_cputemps,
     lbl_cobalt_cputemps},
    {COMPLEX_GARNET, frm_garnet_temps, stat_garnet_temps, lbl_garnet_temps, frm_garnet_cputemps, stat_garnet_cputemps,
     lbl_garnet_cputemps},
    {COMPLEX_BERYL, frm_beryl_temps, stat_beryl_temps, lbl_beryl_temps, frm_beryl_cputemps, stat_beryl_cputemps,
     lbl_beryl_cputemps},
};

/* The input selector's three slots, by unit number. */
struct SelectorSlot {
    Widget *frm, *btn, *stat, *lbl;
    const char *label;
};
constexpr SelectorSlot SELECTOR_SLOTS[] = {
    {&frm_ups_dam_dams1, &btn_ups_dam_dams1, &stat_ups_dam_dams1, &lbl_ups_dam_dams1, " LEG  A "},
    {&frm_ups_dam_dams2, &btn_ups_dam_dams2, &stat_ups_dam_dams2, &lbl_ups_dam_dams2, " LEG  B "},
    {&frm_ups_dam_dams3, &btn_ups_dam_dams3, &stat_ups_dam_dams3, &lbl_ups_dam_dams3, " Input Selector \n  STATUS "},
};

/* Converter slots of the 64G switches: A uses all nine, B the first five. */
constexpr int QN64G_CONVERTERS = 9;
constexpr int QNB64G_CONVERTERS = 5;

/* PCI slot i shows unit i + 2. */
constexpr int PCI_FIRST_UNIT = 2;

/* Substitutes of a UPS that does not talk: subcomplex type and units. */
struct DummySc {
    int sc_type;
    int units;
};
constexpr DummySc UPS_2U_DUMMIES[] = {
    {SC_AC_INPUT, 2}, {SC_TEMP, 1},      {SC_BAT, 1}, {SC_CHARGER, 1}, {SC_RECTIFIER, 1},
    {SC_INVERTER, 1}, {SC_DC_LINK, 1},   {SC_FAN, 1}, {SC_LOAD, 3},
};
constexpr DummySc UPS_DAM_DUMMIES[] = {{SC_INPUT_SELECTOR, 3}, {SC_AC_INPUT, 1}, {SC_BAT, 1}};

constexpr std::size_t DUMMY_SC_SIZE = sizeof(subcomplex_cfg_t) + 255 * sizeof(unit_cfg_t);

/* ---- static prototypes --------------------------------------------------- */

void temperature_text(char *text, std::size_t size, int status, bool missing);
void paint_sensor(const Sensor &sensor, int status, const char *caption);
Sensor chassis_sensor(const s_cab_chassis_rec &entry);
int unit_status_or_unknown(subcomplex_cfg_t *sc, int i);
void paint_sensor_row(int complex_type, subcomplex_cfg_t *sc, Widget *frm, Widget *stat, Widget *lbl);
void paint_dummy(s_cab_chassis_rec *entry, int sc_type, int units);

} // namespace

/* ---- helpers ------------------------------------------------------------- */

namespace {


void temperature_text(char *text, std::size_t size, int status, bool missing)
{
    const char *icon = nullptr;
    const char *status_text = nullptr;
    int scheme = STATUS_UNKNOWN;
    get_status_visual_elements(status, &icon, &scheme, &status_text, 0);
    if (missing)
        std::snprintf(text, size, "Temperature\nUnknown");
    else if (status == S_TEMP_HOT)
        std::snprintf(text, size, "Temperature\nCritical");
    else if (status == S_TEMP_WARM)
        std::snprintf(text, size, "Temperature\nWarning");
    else if (status == S_TEMP_NORMAL)
        std::snprintf(text, size, "Temperature\nNormal");
    else
        std::snprintf(text, size, "Temperature\n%s", status_text);
}

void paint_sensor(const Sensor &sensor, int status, const char *caption)
{
    if (sensor.stat == nullptr || *sensor.stat == nullptr)
        return;
    if (sensor.frm != nullptr)
        set_managed(*sensor.frm, true);
    const char *icon = nullptr;
    const char *text = nullptr;
    int scheme = STATUS_UNKNOWN;
    get_status_visual_elements(status, &icon, &scheme, &text, 0);
    show_status(*sensor.stat, icon, scheme, 1);
    if (sensor.lbl != nullptr && *sensor.lbl != nullptr)
        show_text(caption, STATUS_TITLE, *sensor.lbl);
}

/* The single temperature sensor of a chassis window. */
Sensor chassis_sensor(const s_cab_chassis_rec &entry)
{
    const int complex_type = entry.complex_ptr->complex_type;
    switch (entry.chassis_type) {
    case CHASSIS_DISK_ARRAY:
        return {&stat_da_temp, &lbl_da_temp, nullptr};
    case CHASSIS_UPS:
        if (complex_type == COMPLEX_UPS_DAM)
            return {&stat_ups_dam_temp, &lbl_ups_dam_temp, &frm_ups_dam_temp};
        if (complex_type == COMPLEX_UPS_2U)
            return {&stat_ups2U_temp, &lbl_ups2U_temp, nullptr};
        return {&stat_ups_temp, &lbl_ups_temp, &frm_ups_temp};
    case CHASSIS_QNA:
    case CHASSIS_QNB:
        if (entry.node_id == 16)
            return {&stat_qna16g_temp, &lbl_qna16g_temp, nullptr};
        if (entry.node_id == 64)
            return {&stat_qn64g_temp, &lbl_qn64g_temp, nullptr};
        return {&stat_qn_temp, &lbl_qn_temp, nullptr};
    case CHASSIS_SERVER_MGMT:
    case CHASSIS_SERVER_MGMT2:
        if (SscType == 2)
            return {&stat_smc2u_temp, &lbl_smc2u_temp, nullptr};
        if (SscType == 3)
            return {&stat_smc_temp, &lbl_smc_temp, nullptr};
        return {nullptr, nullptr, nullptr};
    default:
        return {&stat_smp_temp, &lbl_smp_temp, nullptr};
    }
}

int unit_status_or_unknown(subcomplex_cfg_t *sc, int i)
{
    const unit_cfg_t *u = i < sc->unit_count ? unit(sc, i) : nullptr;
    if (u == nullptr) {
        dprint(1, "Can't find unit %d of %d\n", i, sc->unit_count);
        return S_UNKNOWN;
    }
    return u->unit_status;
}

/* A row of sensors: unit i in sensor i, captions by the unit's name. */
void paint_sensor_row(int complex_type, subcomplex_cfg_t *sc, Widget *frm, Widget *stat, Widget *lbl)
{
    const int count = sc->unit_count;
    int i = 0;
    for (; stat[i] != nullptr; ++i) {
        if (i >= count) {
            set_managed(frm[i], false);
            continue;
        }
        const unit_cfg_t *u = unit(sc, i);
        const int status = u->unit_status;
        const char *icon = nullptr;
        const char *status_text = nullptr;
        int scheme = STATUS_UNKNOWN;
        get_status_visual_elements(status, &icon, &scheme, &status_text, 0);
        char caption[96];
        if (sc->subcomplex_type == SC_TEMP) {
            const char *name = getUnitDisplayName(complex_type, SC_TEMP, u->unit_id);
            if (name != nullptr)
                std::snprintf(caption, sizeof caption, "%s\n%s", name, status_text);
            else
                std::snprintf(caption, sizeof caption, "Temperature %d\n%s", i + 1, status_text);
        } else {
            temperature_text(caption, sizeof caption, status, false);
        }
        paint_sensor({&stat[i], &lbl[i], &frm[i]}, status, caption);
    }
    if (count > i)
        dprint(1, "Not enough icons to show all units. subtype=%x, num_icons=%d, units=%d\n", sc->subcomplex_type, i,
               count);
}

void paint_dummy(s_cab_chassis_rec *entry, int sc_type, int units)
{
    alignas(4) std::array<uint8_t, DUMMY_SC_SIZE> buffer{};
    auto *dummy = reinterpret_cast<subcomplex_cfg_t *>(buffer.data());
    build_dummy_subcomplex(dummy, sc_type, units, S_UNKNOWN);
    show_chassis_view_sc_status(entry, dummy);
}

} // namespace

/* ---- temperatures -------------------------------------------------------- */

void show_chassis_temp(int chassis_id, subcomplex_cfg_t *sc)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS || sc == nullptr)
        return;
    const s_cab_chassis_rec &entry = chassis_rec[chassis_id];
    if (entry.complex_ptr == nullptr)
        return;
    const int complex_type = entry.complex_ptr->complex_type;

    /* Chassis with rows of sensors. */
    if (entry.chassis_type == CHASSIS_DISK_ARRAY && complex_type == COMPLEX_MDAMC) {
        show_mda_temp(chassis_id, sc);
        return;
    }
    if (entry.chassis_type == CHASSIS_NODE) {
        for (const NodeSensors &kind : NODE_SENSORS)
            if (kind.complex_type == complex_type) {
                show_rmnode_temp(complex_type, sc);
                return;
            }
    }

    /* One sensor. */
    if (sc->unit_count != 1)
        dprint(1, "show_chassis_temp: Expected 1 unit for TEMP, found %d\n", sc->unit_count);
    const bool missing = sc->unit_count < 1;
    const int status = missing ? S_UNKNOWN : unit(sc, 0)->unit_status;
    char caption[64];
    temperature_text(caption, sizeof caption, status, missing);
    paint_sensor(chassis_sensor(entry), status, caption);
}

void show_rmnode_temp(int chassis_type, subcomplex_cfg_t *sc)
{
    if (sc == nullptr)
        return;
    const NodeSensors *kind = nullptr;
    for (const NodeSensors &k : NODE_SENSORS)
        if (k.complex_type == chassis_type)
            kind = &k;
    const int type = sc->subcomplex_type;
    if (kind != nullptr && type == SC_TEMP) {
        paint_sensor_row(chassis_type, sc, kind->temp_frm, kind->temp_stat, kind->temp_lbl);
    } else if (kind != nullptr && type == SC_CPU_TEMP) {
        if (kind->cpu_stat != nullptr)
            paint_sensor_row(chassis_type, sc, kind->cpu_frm, kind->cpu_stat, kind->cpu_lbl);
    } else {
        dprint(1, "show_rmnode_temp: Unknown node TEMP subcomplex 0x%x forchassis type 0x%x\n",
               static_cast<unsigned>(type), static_cast<unsigned>(chassis_type));
    }
}

void show_mda_temp(int, subcomplex_cfg_t *sc)
{
    if (sc == nullptr)
        return;
    if (sc->subcomplex_type != SC_TEMP) {
        dprint(1, "show_mda_temp: subcomplex_type (0x%x) != TEMP\n", sc->subcomplex_type);
        return;
    }
    /* Sensor i shows unit i; its caption says the same. */
    for (int i = 0; stat_da2_temps[i] != nullptr; ++i) {
        const bool missing = i >= sc->unit_count;
        const int status = missing ? S_UNKNOWN : unit(sc, i)->unit_status;
        char caption[64];
        temperature_text(caption, sizeof caption, status, missing);
        paint_sensor({&stat_da2_temps[i], &lbl_da2_temps[i], nullptr}, status, caption);
    }
}

/* ---- special component rows ---------------------------------------------- */

void show_dam_ups_chassis_dam(int, subcomplex_cfg_t *sc)
{
    if (sc == nullptr)
        return;
    /* The units carry the numbers 1 (leg A), 2 (leg B), 3 (the selector). */
    int status[3] = {S_UNKNOWN, S_UNKNOWN, S_UNKNOWN};
    for (int i = 0; i < sc->unit_count; ++i) {
        const unit_cfg_t *u = unit(sc, i);
        if (u->unit_id >= 1 && u->unit_id <= 3)
            status[u->unit_id - 1] = u->unit_status;
        else
            dprint(1, "show_dam_ups_chassis_dam: no slot for unit %d\n", u->unit_id);
    }
    const char *selector_picture = status[0] == S_OK   ? CONSOLE_ICONS "DAM_A.tsl"
                                   : status[1] == S_OK ? CONSOLE_ICONS "DAM_B.tsl"
                                                                 : CONSOLE_ICONS "DAM_NONE.tsl";
    const char *pictures[3] = {CONSOLE_ICONS "PWR.tsl", CONSOLE_ICONS "PWR.tsl", selector_picture};
    for (int k = 0; k < 3; ++k) {
        const SelectorSlot &slot = SELECTOR_SLOTS[k];
        if (*slot.stat == nullptr)
            continue;
        set_managed(*slot.frm, true);
        show_component_status(*slot.stat, *slot.btn, status[k], pictures[k], 0);
        add_status_to_label(-1, status[k], slot.label, *slot.lbl);
    }
}

void show_qn64g_chassis_conv(int chassis_id, subcomplex_cfg_t *sc)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS || sc == nullptr)
        return;
    const bool switch_b = chassis_rec[chassis_id].chassis_type == CHASSIS_QNB;
    Widget *frm = switch_b ? frm_qnb64g_convs : frm_qna64g_convs;
    Widget *btn = switch_b ? btn_qnb64g_convs : btn_qna64g_convs;
    Widget *stat = switch_b ? stat_qnb64g_convs : stat_qna64g_convs;
    Widget *lbl = switch_b ? lbl_qnb64g_convs : lbl_qna64g_convs;
    const int slots = switch_b ? QNB64G_CONVERTERS : QN64G_CONVERTERS;
    const int count = sc->unit_count;

    for (int i = 0; i < QN64G_CONVERTERS && stat[i] != nullptr; ++i) {
        if (i >= slots || i >= count) {
            set_managed(frm[i], false);
            continue;
        }
        const int status = unit_status_or_unknown(sc, i);
        char name[48];
        if (i == 0)
            std::snprintf(name, sizeof name, "DC to DC\n Converter");
        else
            std::snprintf(name, sizeof name, "DC to DC\n Converter %d", i - 1);
        set_managed(frm[i], true);
        show_component_status(stat[i], btn[i], status, CONSOLE_ICONS "CONV.tsl", 0);
        add_status_to_label(-1, status, name, lbl[i]);
    }
    if (count > slots)
        dprint(1, "Not enough icons to show all units. subtype=%x, num_icons=%d, units=%d\n", sc->subcomplex_type,
               slots, count);
}

void show_node7U_chassis_pci(int, subcomplex_cfg_t *sc)
{
    if (sc == nullptr)
        return;
    int i = 0;
    for (; stat_node7U_pci[i] != nullptr; ++i) {
        const int status = unit_status_or_unknown(sc, i + PCI_FIRST_UNIT);
        set_managed(frm_node7U_pci[i], true);
        show_component_status(stat_node7U_pci[i], btn_node7U_pci[i], status, CONSOLE_ICONS "PCISLOT.tsl", 0);
    }
    if (sc->unit_count > i + PCI_FIRST_UNIT)
        dprint(1, "Not enough icons to show all units. subtype=%x, num_icons=%d, units=%d\n", sc->subcomplex_type, i,
               sc->unit_count);
}

/* ---- a UPS that does not talk -------------------------------------------- */

int is_8830_cabinet()
{
    for (int id = 1; id <= MAX_CHASSIS; ++id) {
        const complex_cfg_t *cp = chassis_rec[id].complex_ptr;
        if (cp != nullptr && cp->complex_type == COMPLEX_SMP)
            return 1;
    }
    return 0;
}

void create_ups_dummy_subcomplexes(s_cab_chassis_rec *this_chassis)
{
    if (this_chassis == nullptr || this_chassis->complex_ptr == nullptr)
        return;
    complex_cfg_t *cp = this_chassis->complex_ptr;

    /* What the UPS did report comes first. */
    if (cp->subcomplex_count > 0) {
        subcomplex_cfg_t *first = subcomplex(cp, 0);
        if (first != nullptr)
            show_chassis_view_sc_status(this_chassis, first);
    }

    switch (cp->complex_type) {
    case COMPLEX_UPS: {
        const bool cabinet_8830 = is_8830_cabinet() != 0;
        paint_dummy(this_chassis, SC_AC_INPUT, 1);
        paint_dummy(this_chassis, SC_BAT, cabinet_8830 ? 2 : 1);
        if (!cabinet_8830)
            set_managed(frm_ups2, false);
        break;
    }
    case COMPLEX_UPS_DAM:
        set_managed(frm_ups_dam2, false);
        for (const DummySc &d : UPS_DAM_DUMMIES)
            paint_dummy(this_chassis, d.sc_type, d.units);
        break;
    case COMPLEX_UPS_2U:
        for (const DummySc &d : UPS_2U_DUMMIES)
            paint_dummy(this_chassis, d.sc_type, d.units);
        break;
    default:
        dprint(5, "create_ups_dummy_subcomplexes: Complex type is not RM_UPS or RM_2U_UPS or RM_DAM_UPS\n");
        break;
    }
}
