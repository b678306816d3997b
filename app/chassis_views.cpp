/*
 * chassis_views.cpp - painting a chassis view from the status tree: the
 * whole chassis (show_chassis_view_status), one subcomplex through the
 * dispatch table (show_chassis_view_sc_status), substitutes for subcomplexes
 * reported without units, and the disk grid of the newer disk array.
 *
 * The dispatch table below says, per chassis family and subcomplex type,
 * which widget arrays of the chassis window show the units, with which
 * picture, and whether slots have frames (shown only while a unit occupies
 * them) or captions.  Everything the table cannot say (temperatures,
 * converters, PCI slots, the input selector) goes to chassis_parts.cpp.
 *
 * Caller: select_chassis_view (rack view), the FRU procedures.
 */
#include "app/chassis_views.h"

#include <array>
#include <cstdio>
#include <cstring>

#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/complex_types.h"
#include "app/layouts/rack_windows.h"
#include "app/s_get_colors.h"
#include "app/unit_lookup.h"
#include "base/console_path.h"
#include "base/trace.h"
#include "config/config.h"

/* ---- constants ----------------------------------------------------------- */

const int gMBSub[] = {SC_MB, SC_MDAMC_RUMB, SC_COB_RUMB, SC_UPS_RUMB, SC_GAR_RUMB, SC_BER_RUMB, 0};

namespace {

/* The chassis families of the dispatch table. */
enum class Family {
    Absent,
    DiskArray32,
    DiskArray38,
    Ups42,
    Ups46,
    Ups,
    ServerMgmt2,
    ServerMgmt3,
    Quonet,
    Quonet16G,
    Quonet64G,
    Node43,
    Node45,
    Node47,
    Node49,
    Node51,
    Node,
};

/* Memory strips per memory-row group. */
constexpr int STRIPS_PER_GROUP = 16;

/* The widget arrays of a component kind; frm null: the slots have no
 * frames to show and hide; lbl null: no captions. */
struct Arrays {
    Widget *frm, *btn, *stat, *lbl;
};
#define FRAMES(f) Arrays{frm_##f, btn_##f, stat_##f, nullptr}
#define PLAIN(f) Arrays{nullptr, btn_##f, stat_##f, nullptr}
#define FRAMES_LABELS(f) Arrays{frm_##f, btn_##f, stat_##f, lbl_##f}
#define LABELS(f) Arrays{nullptr, btn_##f, stat_##f, lbl_##f}

/* One row of the dispatch table. */
struct Paint {
    Family family;
    int sc_type;
    const char *picture;
    Arrays arrays;
    const char *label = nullptr;      /* caption text, with lbl */
    int tiny = 0;                     /* small status icons */
    Widget *manage_first = nullptr;   /* one widget managed before painting */
    Widget *frames_first = nullptr;   /* every frame of these managed first */
    Widget *group = nullptr;          /* slot group managed with any unit */
    Widget *group_above16 = nullptr;  /* slot group managed above 16 units */
};

constexpr Paint DISPATCH[] = {
    /* disk array, complex 32 */
    {Family::DiskArray32, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(da_fans)},
    {Family::DiskArray32, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(da_pwrs)},
    {Family::DiskArray32, SC_DISK, CONSOLE_ICONS "DSKC.tsl", LABELS(da_dsks)},
    {Family::DiskArray32, SC_DA_CTL1, CONSOLE_ICONS "CTL.tsl", LABELS(da_ctl1s), "CTL 1"},
    {Family::DiskArray32, SC_DA_CTL2, CONSOLE_ICONS "CTL.tsl", LABELS(da_ctl2s), "CTL 2"},
    /* disk array, complex 38 (disks: the grid, see disk_grid_arrays) */
    {Family::DiskArray38, SC_ESM, CONSOLE_ICONS "ESM.tsl", FRAMES(da2_esms), nullptr, 1},
    {Family::DiskArray38, SC_HUB, CONSOLE_ICONS "HUB.tsl", FRAMES(da2_hubs)},
    {Family::DiskArray38, SC_FAN, CONSOLE_ICONS "FANC.tsl", PLAIN(da2_fans)},
    {Family::DiskArray38, SC_PWR, CONSOLE_ICONS "PWRC.tsl", PLAIN(da2_pwrs)},
    {Family::DiskArray38, SC_DA_CTL, CONSOLE_ICONS "CTL.tsl", LABELS(da2_ctls), "CTL"},
    {Family::DiskArray38, SC_BAT, CONSOLE_ICONS "BAT.tsl", PLAIN(da2_bats), nullptr, 0, &frm_da2_bat},
    {Family::DiskArray38, SC_DA_CTL1, CONSOLE_ICONS "CTL.tsl", LABELS(da2_ctl1s), "CTL 1"},
    {Family::DiskArray38, SC_DA_CTL2, CONSOLE_ICONS "CTL.tsl", LABELS(da2_ctl2s), "CTL 2"},
    /* UPS with input selector, complex 42 */
    {Family::Ups42, SC_BAT, CONSOLE_ICONS "BAT.tsl", FRAMES_LABELS(ups_dam_bats), "BAT"},
    {Family::Ups42, SC_AC_INPUT, CONSOLE_ICONS "PWR.tsl", FRAMES_LABELS(ups_dam_pwrs), "AC Input"},
    /* 2U UPS, complex 46 */
    {Family::Ups46, SC_FAN, CONSOLE_ICONS "FANC.tsl", FRAMES(ups2U_fans)},
    {Family::Ups46, SC_BAT, CONSOLE_ICONS "BAT.tsl", FRAMES(ups2U_bats)},
    {Family::Ups46, SC_AC_INPUT, CONSOLE_ICONS "PWR.tsl", FRAMES(ups2U_pwrs)},
    {Family::Ups46, SC_INVERTER, CONSOLE_ICONS "INVERTER.tsl", FRAMES(ups2U_inverters)},
    {Family::Ups46, SC_CHARGER, CONSOLE_ICONS "CHARGER.tsl", FRAMES(ups2U_chargers)},
    {Family::Ups46, SC_RECTIFIER, CONSOLE_ICONS "RECTIFIER.tsl", FRAMES(ups2U_rectifiers)},
    {Family::Ups46, SC_DC_LINK, CONSOLE_ICONS "LINK.tsl", FRAMES(ups2U_DClinks)},
    {Family::Ups46, SC_LOAD, CONSOLE_ICONS "VLoad_3.tsl", FRAMES(ups2U_loads)},
    /* other UPS */
    {Family::Ups, SC_BAT, CONSOLE_ICONS "BAT.tsl", FRAMES_LABELS(ups_bats), "BAT"},
    {Family::Ups, SC_AC_INPUT, CONSOLE_ICONS "PWR.tsl", FRAMES_LABELS(ups_pwrs), "AC Input"},
    /* server management, 2U (the board picture is SmbTessel, see below) */
    {Family::ServerMgmt2, SC_MB, nullptr, PLAIN(smc2u_cmbs)},
    {Family::ServerMgmt2, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(smc2u_fans), nullptr, 0, &frm_smc2u_fan1},
    {Family::ServerMgmt2, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(smc2u_pwrs)},
    {Family::ServerMgmt2, SC_VR, CONSOLE_ICONS "VR.tsl", FRAMES(smc2u_vrs)},
    /* server management */
    {Family::ServerMgmt3, SC_MB, nullptr, PLAIN(smc_cmbs)},
    {Family::ServerMgmt3, SC_FAN, CONSOLE_ICONS "FAN.tsl", PLAIN(smc_fans)},
    {Family::ServerMgmt3, SC_PWR, CONSOLE_ICONS "PWR.tsl", PLAIN(smc_pwrs)},
    {Family::ServerMgmt3, SC_CONV, CONSOLE_ICONS "CONV.tsl", PLAIN(smc_convs), nullptr, 0, nullptr, frm_smc_convs},
    {Family::ServerMgmt3, SC_VR, CONSOLE_ICONS "VR.tsl", PLAIN(smc_vrs), nullptr, 0, nullptr, frm_smc_vrs},
    {Family::ServerMgmt3, SC_CMIC, CONSOLE_ICONS "CMIC.tsl", PLAIN(smc_cmics)},
    {Family::ServerMgmt3, SC_CMIC2, CONSOLE_ICONS "CMIC.tsl", PLAIN(smc_cmics)},
    {Family::ServerMgmt3, SC_EXT_PWR, CONSOLE_ICONS "PWR.tsl", PLAIN(smc_extpwrs), nullptr, 0, nullptr, frm_smc_extpwrs},
    {Family::ServerMgmt3, SC_CPU_FAN, CONSOLE_ICONS "FAN.tsl", PLAIN(smc_cpufans), nullptr, 0, nullptr, frm_smc_cpufans},
    /* interconnect switches */
    {Family::Quonet, SC_MB, CONSOLE_ICONS "SMB.tsl", PLAIN(qn_cmbs)},
    {Family::Quonet, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(qn_fans)},
    {Family::Quonet, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(qn_pwrs)},
    {Family::Quonet, SC_SWITCH, CONSOLE_ICONS "QNA.tsl", PLAIN(qn_switchs)},
    {Family::Quonet16G, SC_MB, CONSOLE_ICONS "SMB.tsl", PLAIN(qna16g_cmbs)},
    {Family::Quonet16G, SC_FAN, CONSOLE_ICONS "FAN.tsl", PLAIN(qna16g_fans)},
    {Family::Quonet16G, SC_PWR, CONSOLE_ICONS "PWR.tsl", PLAIN(qna16g_pwrs)},
    {Family::Quonet16G, SC_SWITCH, CONSOLE_ICONS "QNA.tsl", PLAIN(qna16g_switchs)},
    {Family::Quonet16G, SC_CONV, CONSOLE_ICONS "CONV.tsl", PLAIN(qna16g_convs)},
    {Family::Quonet16G, SC_MONI, CONSOLE_ICONS "MONI.tsl", PLAIN(qna16g_monis)},
    {Family::Quonet64G, SC_MB, CONSOLE_ICONS "SMB.tsl", PLAIN(qn64g_cmbs)},
    {Family::Quonet64G, SC_FAN, CONSOLE_ICONS "FAN.tsl", PLAIN(qn64g_fans)},
    {Family::Quonet64G, SC_PWR, CONSOLE_ICONS "PWR.tsl", PLAIN(qn64g_pwrs)},
    {Family::Quonet64G, SC_MONI, CONSOLE_ICONS "MONI.tsl", PLAIN(qn64g_monis)},
    {Family::Quonet64G, SC_POWER_FAN, CONSOLE_ICONS "FAN.tsl", PLAIN(qn64g_power_fans)},
    /* node chassis, complex 43 */
    {Family::Node43, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(quartz_fans)},
    {Family::Node43, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(quartz_pwrs)},
    {Family::Node43, SC_NODE_DISK, CONSOLE_ICONS "DSK.tsl", FRAMES(quartz_disks)},
    {Family::Node43, SC_CPU, CONSOLE_ICONS "CPU.tsl", FRAMES(quartz_cpus)},
    {Family::Node43, SC_MEM, CONSOLE_ICONS "MEM.tsl", FRAMES(quartz_mems), nullptr, 1, nullptr, nullptr,
     &quartz_mem1thru16_widget, &quartz_mem17thru32_widget},
    /* node chassis, complex 45 */
    {Family::Node45, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(node7U_fans)},
    {Family::Node45, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(node7U_pwrs)},
    {Family::Node45, SC_NODE_DISK, CONSOLE_ICONS "DSK.tsl", FRAMES(node7U_disks)},
    {Family::Node45, SC_CPU, CONSOLE_ICONS "CPU2.tsl", FRAMES(node7U_cpus)},
    {Family::Node45, SC_MEM, CONSOLE_ICONS "MEM.tsl", FRAMES(node7U_mems), nullptr, 1, nullptr, nullptr,
     &node7U_mem1thru16_widget, &node7U_mem17thru32_widget},
    /* node chassis, complexes 47, 49, 51 */
    {Family::Node47, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(cobalt_fans)},
    {Family::Node47, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(cobalt_pwrs)},
    {Family::Node47, SC_NODE_DISK, CONSOLE_ICONS "DSK.tsl", FRAMES(cobalt_disks)},
    {Family::Node47, SC_CPU, CONSOLE_ICONS "CPU2.tsl", FRAMES(cobalt_cpus)},
    {Family::Node47, SC_MEM, CONSOLE_ICONS "MEM.tsl", FRAMES(cobalt_mems), nullptr, 1, nullptr, nullptr,
     &cobalt_mem1thru8_widget},
    {Family::Node49, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(garnet_fans)},
    {Family::Node49, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(garnet_pwrs)},
    {Family::Node49, SC_NODE_DISK, CONSOLE_ICONS "DSK.tsl", FRAMES(garnet_disks)},
    {Family::Node49, SC_CPU, CONSOLE_ICONS "CPU2.tsl", FRAMES(garnet_cpus)},
    {Family::Node49, SC_MEM, CONSOLE_ICONS "MEM.tsl", FRAMES(garnet_mems), nullptr, 1, nullptr, nullptr,
     &garnet_mem1thru6_widget},
    {Family::Node51, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(beryl_fans)},
    {Family::Node51, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(beryl_pwrs)},
    {Family::Node51, SC_NODE_DISK, CONSOLE_ICONS "DSK.tsl", FRAMES(beryl_disks)},
    {Family::Node51, SC_CPU, CONSOLE_ICONS "CPU2.tsl", FRAMES(beryl_cpus)},
    {Family::Node51, SC_MEM, CONSOLE_ICONS "MEM.tsl", FRAMES(beryl_mems), nullptr, 1, nullptr, nullptr,
     &beryl_mem1thru6_widget},
    /* other node chassis */
    {Family::Node, SC_MB, CONSOLE_ICONS "SMB.tsl", PLAIN(smp_smbs)},
    {Family::Node, SC_FAN, CONSOLE_ICONS "FAN.tsl", FRAMES(smp_fans)},
    {Family::Node, SC_PWR, CONSOLE_ICONS "PWR.tsl", FRAMES(smp_pwrs)},
};

/* The disk grid of the complex-38 disk array, one array set per column
 * count. */
struct DiskOrder {
    int columns;
    Arrays arrays;
};
constexpr DiskOrder DISK_ORDERS[] = {
    {10, LABELS(da2_dsks)}, {11, LABELS(da2_dsks1)}, {12, LABELS(da2_dsks2)},
    {13, LABELS(da2_dsks3)}, {14, LABELS(da2_dsks4)},
};
constexpr int DISK_COLUMN_CHOICES[] = {14, 13, 12, 11, 10};
constexpr int ALWAYS_SHOWN_COLUMNS = 10;
constexpr const char *DISK_PICTURE = CONSOLE_ICONS "DSKC.tsl";

/* Unit counts of substitute subcomplexes of the node kinds. */
struct NodeDummy {
    int complex_type;
    int sc_type;
    int units;
};
constexpr NodeDummy NODE_DUMMIES[] = {
    {COMPLEX_QUARTZ_NODE, SC_MEM, 32}, {COMPLEX_QUARTZ_NODE, SC_FAN, 8}, {COMPLEX_QUARTZ_NODE, SC_PWR, 3},
    {COMPLEX_QUARTZ_NODE, SC_NODE_DISK, 5}, {COMPLEX_QUARTZ_NODE, SC_CPU, 4}, {COMPLEX_NODE7U, SC_FAN, 6},
    {COMPLEX_NODE7U, SC_NODE_DISK, 5}, {COMPLEX_NODE7U, SC_CPU, 4}, {COMPLEX_NODE7U, SC_MEM, 16},
    {COMPLEX_NODE7U, SC_CPU_TEMP, 4}, {COMPLEX_NODE7U, SC_PCI, 8}, {COMPLEX_COBALT, SC_FAN, 10},
    {COMPLEX_COBALT, SC_NODE_DISK, 5}, {COMPLEX_COBALT, SC_CPU, 2}, {COMPLEX_COBALT, SC_MEM, 8},
    {COMPLEX_COBALT, SC_CPU_TEMP, 2}, {COMPLEX_GARNET, SC_FAN, 8}, {COMPLEX_GARNET, SC_NODE_DISK, 5},
    {COMPLEX_GARNET, SC_CPU, 2}, {COMPLEX_GARNET, SC_MEM, 6}, {COMPLEX_GARNET, SC_CPU_TEMP, 2},
    {COMPLEX_BERYL, SC_FAN, 7}, {COMPLEX_BERYL, SC_NODE_DISK, 5}, {COMPLEX_BERYL, SC_CPU, 2},
    {COMPLEX_BERYL, SC_MEM, 6}, {COMPLEX_BERYL, SC_CPU_TEMP, 2},
};

/* Main-board subcomplexes: their substitute carries the complex's status. */
bool is_main_board(int sc_type)
{
    for (const int *p = gMBSub; *p != 0; ++p)
        if (*p == sc_type)
            return true;
    return false;
}

/* Room for a substitute of the largest unit count. */
constexpr std::size_t DUMMY_SC_SIZE = sizeof(subcomplex_cfg_t) + 255 * sizeof(unit_cfg_t);

/* ---- static prototypes --------------------------------------------------- */

Family family_of(const s_cab_chassis_rec &entry);
const Paint *find_paint(Family family, int sc_type);
Arrays disk_grid_arrays(disk_grid_t shape);
void paint_units(const s_cab_chassis_rec &entry, subcomplex_cfg_t *sc, const Arrays &arrays, const char *picture,
                 int tiny, const char *label);
void report_no_icons(int sc_type);
void set_ups2U_switches(subcomplex_cfg_t *sc);
void show_node_text(const s_cab_chassis_rec &entry);
void show_system_text(Widget label);
bool prepare_chassis_kind(s_cab_chassis_rec &entry);
void paint_subcomplex_or_substitute(s_cab_chassis_rec &entry, subcomplex_cfg_t *sc);

} // namespace

/* ---- helpers ------------------------------------------------------------- */

void set_managed(Widget w, bool managed)
{
    if (w == nullptr)
        return;
    if (managed)
        XtManageChild(w);
    else
        XtUnmanageChild(w);
}

namespace {

Family family_of(const s_cab_chassis_rec &entry)
{
    const int complex_type = entry.complex_ptr != nullptr ? entry.complex_ptr->complex_type : 0;
    switch (entry.chassis_type) {
    case CHASSIS_DISK_ARRAY:
        return complex_type == COMPLEX_MDAMC ? Family::DiskArray38 : Family::DiskArray32;
    case CHASSIS_UPS:
        return complex_type == COMPLEX_UPS_DAM  ? Family::Ups42
               : complex_type == COMPLEX_UPS_2U ? Family::Ups46
                                                : Family::Ups;
    case CHASSIS_SERVER_MGMT:
    case CHASSIS_SERVER_MGMT2:
        return SscType == 2 ? Family::ServerMgmt2 : SscType == 3 ? Family::ServerMgmt3 : Family::Absent;
    case CHASSIS_QNA:
    case CHASSIS_QNB:
        return entry.node_id == 16 ? Family::Quonet16G : entry.node_id == 64 ? Family::Quonet64G : Family::Quonet;
    default:
        switch (complex_type) {
        case COMPLEX_QUARTZ_NODE:
            return Family::Node43;
        case COMPLEX_NODE7U:
            return Family::Node45;
        case COMPLEX_COBALT:
            return Family::Node47;
        case COMPLEX_GARNET:
            return Family::Node49;
        case COMPLEX_BERYL:
            return Family::Node51;
        default:
            return Family::Node;
        }
    }
}

const Paint *find_paint(Family family, int sc_type)
{
    for (const Paint &p : DISPATCH)
        if (p.family == family && p.sc_type == sc_type)
            return &p;
    return nullptr;
}

/* Rows 2-4 and columns 11-14 of the grid are shown as far as needed; the
 * FRU procedures number the disks by the columns shown. */
Arrays disk_grid_arrays(disk_grid_t shape)
{
    hdd_cols = shape.columns;
    for (int r = 0; r < DA2_DISK_ROWS; ++r) {
        const bool row_shown = r == 0 || r < shape.rows;
        if (r > 0)
            set_managed(hdd_dsk_rows[r], row_shown);
        for (int c = ALWAYS_SHOWN_COLUMNS; c < DA2_DISK_COLUMNS && row_shown; ++c)
            set_managed(frm_da2_dsk_cells[r][c], c < shape.columns);
    }
    for (const DiskOrder &order : DISK_ORDERS)
        if (order.columns == shape.columns)
            return order.arrays;
    return DISK_ORDERS[std::size(DISK_ORDERS) - 1].arrays;
}

/* The generic painter: unit i in slot i. */
void paint_units(const s_cab_chassis_rec &entry, subcomplex_cfg_t *sc, const Arrays &arrays, const char *picture,
                 int tiny, const char *label)
{
    const int count = sc->unit_count;
    int i = 0;
    for (; arrays.stat[i] != nullptr; ++i) {
        const bool framed = arrays.frm != nullptr && arrays.frm[i] != nullptr;
        /* A slot without a unit: its frame is hidden, or, where the slot
         * has no frame, it shows Unknown rather than what the last chassis
         * put there. */
        if (i >= count && framed) {
            XtUnmanageChild(arrays.frm[i]);
            continue;
        }
        int status = S_UNKNOWN;
        if (i < count) {
            const unit_cfg_t *u = unit(sc, i);
            if (u == nullptr)
                dprint(1, "Can't find unit %d of %d\n", i, count);
            else
                status = u->unit_status;
        }
        if (framed)
            XtManageChild(arrays.frm[i]);
        show_component_status(arrays.stat[i], arrays.btn[i], status, picture, tiny);
        if (arrays.lbl == nullptr || arrays.lbl[i] == nullptr)
            continue;
        if (sc->subcomplex_type == SC_DISK) {
            char name[32];
            get_da_disk_name(name, sizeof name, i + 1, entry.id, 1, 1);
            show_text(name, STATUS_TITLE, arrays.lbl[i]);
        } else if (label != nullptr) {
            add_status_to_label(count == 1 ? -1 : i + 1, status, label, arrays.lbl[i]);
        }
    }
    if (count > i)
        dprint(1, "Not enough icons to show all units. subtype=%x, num_icons=%d, units=%d\n", sc->subcomplex_type, i,
               count);
}

void report_no_icons(int sc_type)
{
    if (is_main_board(sc_type))
        dprint(1, "show_chassis...: No icons for MB type (0x%x)\n", static_cast<unsigned>(sc_type));
    else if (sc_type == SC_CHASSIS_VOLTAGE)
        dprint(1, "show_chassis...: No icons for Chassis Voltage\n");
    else
        dprint(1, "show_chassis...: No icons for this component type (0x%x)\n", static_cast<unsigned>(sc_type));
}

bool unit_not_ok(subcomplex_cfg_t *sc, int i)
{
    return i >= sc->unit_count || unit(sc, i)->unit_status != S_OK;
}

/* The switches of the 2U UPS follow the parts they bypass. */
void set_ups2U_switches(subcomplex_cfg_t *sc)
{
    const int type = sc->subcomplex_type;
    if (type == SC_AC_INPUT && unit_not_ok(sc, 0)) {
        show_tb_status(btn_ups2U_ABswitch, CONSOLE_ICONS "SwitchB_V.tsl", STATUS_LED_OFF);
        if (unit_not_ok(sc, 1))
            show_tb_status(btn_ups2U_INswitch, CONSOLE_ICONS "SwitchA_V.tsl", STATUS_LED_OFF);
    }
    if ((type == SC_INVERTER || type == SC_RECTIFIER || type == SC_DC_LINK) && unit_not_ok(sc, 0))
        show_tb_status(btn_ups2U_BPswitch, CONSOLE_ICONS "SwitchB_V.tsl", STATUS_LED_OFF);
}

void show_system_text(Widget label)
{
    if (label == nullptr || tree_ptr == nullptr)
        return;
    char text[128];
    std::snprintf(text, sizeof text, "System: %.*s\nCabinet: %.*s", static_cast<int>(sizeof tree_ptr->sysname),
                  tree_ptr->sysname, static_cast<int>(sizeof tree_ptr->cabname), tree_ptr->cabname);
    show_text(text, STATUS_TITLE, label);
}

/* A node chassis: its memory rows hidden until memory is painted, and the
 * node's address from the configuration. */
void show_node_text(const s_cab_chassis_rec &entry)
{
    for (Widget group : {node7U_mem1thru16_widget, node7U_mem17thru32_widget, cobalt_mem1thru8_widget,
                         garnet_mem1thru6_widget, beryl_mem1thru6_widget})
        set_managed(group, false);
    /* A chassis without a node shows no address, not the last node's. */
    char text[256] = "IP: \nAlias: ";
    if (entry.node_id > 0 && entry.node_id < NodeCount && NodeList[entry.node_id] != nullptr) {
        const Node_t &node = *NodeList[entry.node_id];
        std::snprintf(text, sizeof text, "IP: %s\nAlias: %s", NodeText(node.IPNumber), NodeText(node.Alias));
    }
    Widget label = lbl_smp_text;
    switch (entry.complex_ptr->complex_type) {
    case COMPLEX_QUARTZ_NODE:
        label = lbl_quartz_text;
        break;
    case COMPLEX_NODE7U:
        label = lbl_node7U_text;
        break;
    case COMPLEX_COBALT:
        label = lbl_cobalt_text;
        break;
    case COMPLEX_GARNET:
        label = lbl_garnet_text;
        break;
    case COMPLEX_BERYL:
        label = lbl_beryl_text;
        break;
    }
    if (label != nullptr)
        show_text(text, STATUS_TITLE, label);
}

void paint_subcomplex_or_substitute(s_cab_chassis_rec &entry, subcomplex_cfg_t *sc)
{
    if (sc->unit_count > 0) {
        show_chassis_view_sc_status(&entry, sc);
        return;
    }
    const int units = dummy_unit_count(entry.complex_ptr->complex_type, sc->subcomplex_type);
    if (units == 0) {
        show_chassis_view_sc_status(&entry, sc);
        return;
    }
    alignas(4) std::array<uint8_t, DUMMY_SC_SIZE> dummy_sc{};
    auto *dummy = reinterpret_cast<subcomplex_cfg_t *>(dummy_sc.data());
    const int status = is_main_board(sc->subcomplex_type) ? entry.complex_ptr->complex_status : S_UNKNOWN;
    build_dummy_subcomplex(dummy, sc->subcomplex_type, units, status);
    show_chassis_view_sc_status(&entry, dummy);
}

} // namespace

/* ---- the whole chassis --------------------------------------------------- */

int dummy_unit_count(int complex_type, int sc_type)
{
    if (sc_type == SC_TEMP)
        return 1;
    if (is_main_board(sc_type))
        return 1;
    switch (sc_type) {
    case SC_SWITCH:
        return 2;
    case SC_DISK:
        return complex_type == COMPLEX_MDAMC ? DA2_DISK_ROWS * DA2_DISK_COLUMNS : 20;
    case SC_BAT:
    case SC_AC_INPUT:
    case SC_DA_CTL1:
    case SC_DA_CTL2:
        return 1;
    case SC_INPUT_SELECTOR:
        return 3;
    }
    for (const NodeDummy &d : NODE_DUMMIES)
        if (d.complex_type == complex_type && d.sc_type == sc_type)
            return d.units;
    return 0;
}

disk_grid_t disk_grid_shape(int disks)
{
    for (int columns : DISK_COLUMN_CHOICES)
        if (disks % columns == 0)
            return {columns, disks / columns};
    return {DISK_COLUMN_CHOICES[0], disks / DISK_COLUMN_CHOICES[0] + 1};
}

namespace {

/* Component kinds a family's window shows besides its dispatch rows. */
struct SpecialKind {
    Family family;
    int sc_type;
};
constexpr SpecialKind SPECIAL_KINDS[] = {
    {Family::DiskArray32, SC_TEMP}, {Family::DiskArray38, SC_TEMP}, {Family::DiskArray38, SC_DISK},
    {Family::Ups42, SC_TEMP},       {Family::Ups42, SC_INPUT_SELECTOR}, {Family::Ups46, SC_TEMP},
    {Family::Ups, SC_TEMP},         {Family::ServerMgmt2, SC_TEMP},     {Family::ServerMgmt3, SC_TEMP},
    {Family::Quonet, SC_TEMP},      {Family::Quonet16G, SC_TEMP},       {Family::Quonet64G, SC_TEMP},
    {Family::Quonet64G, SC_CONV},   {Family::Node43, SC_TEMP},          {Family::Node45, SC_TEMP},
    {Family::Node45, SC_CPU_TEMP},  {Family::Node45, SC_PCI},           {Family::Node47, SC_TEMP},
    {Family::Node47, SC_CPU_TEMP},  {Family::Node49, SC_TEMP},          {Family::Node49, SC_CPU_TEMP},
    {Family::Node51, SC_TEMP},      {Family::Node51, SC_CPU_TEMP},      {Family::Node, SC_TEMP},
};

/* Paints every component kind of the window as reported without units, so
 * that no slot keeps what another chassis or an older tree put there: slots
 * with frames are hidden, the others show Unknown.  The kinds the tree
 * reports are painted over this afterwards.  The painters' traces are
 * about the tree, so they stay quiet here. */
void reset_window(s_cab_chassis_rec &entry)
{
    const Family family = family_of(entry);
    const int saved_debug = debug;
    debug = 0;
    alignas(4) std::array<uint8_t, sizeof(subcomplex_cfg_t)> empty_sc{};
    auto *empty = reinterpret_cast<subcomplex_cfg_t *>(empty_sc.data());
    auto paint_empty = [&](int sc_type) {
        build_dummy_subcomplex(empty, sc_type, 0, S_UNKNOWN);
        show_chassis_view_sc_status(&entry, empty);
    };
    for (const Paint &p : DISPATCH)
        if (p.family == family)
            paint_empty(p.sc_type);
    for (const SpecialKind &k : SPECIAL_KINDS)
        if (k.family == family)
            paint_empty(k.sc_type);
    debug = saved_debug;
}

/* Step 2 of show_chassis_view_status; false when nothing more is to be
 * painted. */
bool prepare_chassis_kind(s_cab_chassis_rec &entry)
{
    const complex_cfg_t *cp = entry.complex_ptr;
    switch (entry.chassis_type) {
    case CHASSIS_SERVER_MGMT:
        show_system_text(lbl_sm_text);
        show_component_status(stat_smc_cmic, btn_smc_cmic, cp->complex_status, CONSOLE_ICONS "CMIC.tsl", 0);
        show_rcmb_status();
        break;
    case CHASSIS_SERVER_MGMT2:
        if (SscType == 3) {
            show_system_text(lbl_sm_text);
        } else if (SscType == 2) {
            set_managed(frm_smc2u_fan1, false);
            show_system_text(lbl_sm2u_text);
        }
        show_rcmb_status();
        break;
    case CHASSIS_NODE:
        show_node_text(entry);
        break;
    case CHASSIS_UPS:
        if (cp->complex_type == COMPLEX_UPS_DAM) {
            set_managed(frm_ups_dam_temp, false);
        } else if (cp->complex_type == COMPLEX_UPS) {
            set_managed(frm_ups_temp, false);
            set_managed(frm_ups_pwr2, false);
        } else if (cp->complex_type == COMPLEX_UPS_2U) {
            show_tb_status(btn_ups2U_ABswitch, CONSOLE_ICONS "SwitchA_V.tsl", STATUS_LED_OFF);
            show_tb_status(btn_ups2U_INswitch, CONSOLE_ICONS "SwitchB_V.tsl", STATUS_LED_OFF);
            show_tb_status(btn_ups2U_BPswitch, CONSOLE_ICONS "SwitchA_V.tsl", STATUS_LED_OFF);
        }
        if (cp->complex_status == S_NOCOMM || cp->complex_status == S_NOCOMM2) {
            dprint(5, "Status of the complex is S_CH_NOCOMM. Creating dummy subcomplexes.\n");
            create_ups_dummy_subcomplexes(&entry);
            return false;
        }
        break;
    case CHASSIS_DISK_ARRAY:
        if (cp->complex_type == COMPLEX_MDAMC) {
            set_managed(frm_da2_bat, false);
            for (int i = 0; frm_da2_esms[i] != nullptr; ++i)
                set_managed(frm_da2_esms[i], false);
            set_managed(frm_da2_hub1, false);
            set_managed(frm_da2_hub2, false);
        }
        break;
    }
    return true;
}

} // namespace

void show_chassis_view_status(int chassis_id)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return;
    s_cab_chassis_rec &entry = chassis_rec[chassis_id];
    complex_cfg_t *cp = entry.complex_ptr;
    if (cp == nullptr)
        return;

    /* 1. The board slot tables of the server-management variant, and every
     * slot of the window back to "no unit". */
    set_smc_type();
    reset_window(entry);

    /* 2. What the chassis kind shows besides its subcomplexes. */
    if (!prepare_chassis_kind(entry))
        return;

    /* 3. Every subcomplex, or its substitute when it has no units. */
    const int count = cp->subcomplex_count;
    for (int i = 0; i < count; ++i) {
        subcomplex_cfg_t *sc = subcomplex(cp, i);
        if (sc == nullptr) {
            dprint(1, "Can't find subcomplex %d of %d\n", i, count);
            return;
        }
        paint_subcomplex_or_substitute(entry, sc);
    }
}

/* ---- one subcomplex ------------------------------------------------------ */

void show_chassis_view_sc_status(s_cab_chassis_rec *this_chassis, subcomplex_cfg_t *sc)
{
    if (this_chassis == nullptr || sc == nullptr || this_chassis->complex_ptr == nullptr)
        return;
    const int chassis_id = this_chassis->id;
    const int complex_type = this_chassis->complex_ptr->complex_type;
    const int type = sc->subcomplex_type;

    /* 1. Components with their own painters. */
    if (type == SC_TEMP || type == SC_CPU_TEMP) {
        show_chassis_temp(chassis_id, sc);
        return;
    }
    if (type == SC_INPUT_SELECTOR) {
        show_dam_ups_chassis_dam(chassis_id, sc);
        return;
    }
    if (type == SC_CONV && this_chassis->node_id == 64) {
        show_qn64g_chassis_conv(chassis_id, sc);
        return;
    }
    if (type == SC_PCI && complex_type == COMPLEX_NODE7U) {
        show_node7U_chassis_pci(chassis_id, sc);
        return;
    }

    /* 2. The widget arrays of the component kind. */
    const Family family = family_of(*this_chassis);
    if (family == Family::DiskArray38 && type == SC_DISK) {
        const Arrays grid = disk_grid_arrays(disk_grid_shape(sc->unit_count));
        paint_units(*this_chassis, sc, grid, DISK_PICTURE, 0, nullptr);
        return;
    }
    const Paint *paint = find_paint(family, type);
    if (paint == nullptr || paint->arrays.stat == nullptr || paint->arrays.stat[0] == nullptr) {
        /* 4. Nothing in this window shows the kind. */
        report_no_icons(type);
        return;
    }

    /* 3. Generic painting. */
    if (paint->manage_first != nullptr)
        set_managed(*paint->manage_first, true);
    for (Widget *frames = paint->frames_first; frames != nullptr && *frames != nullptr; ++frames)
        set_managed(*frames, true);
    if (paint->group != nullptr)
        set_managed(*paint->group, true);
    if (paint->group_above16 != nullptr)
        set_managed(*paint->group_above16, sc->unit_count > STRIPS_PER_GROUP);
    const char *picture = paint->picture != nullptr ? paint->picture : SmbTessel;
    paint_units(*this_chassis, sc, paint->arrays, picture, paint->tiny, paint->label);
    if (family == Family::Ups46)
        set_ups2U_switches(sc);
}
