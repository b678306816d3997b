/*
 * rack_detail.cpp - the detail report of the status tree.
 *
 * Owns the report text area (dis_ptr, dis_size) and the walk that fills it:
 * show_rack_detail() writes the cabinet's names and then, through
 * show_chassis_detail(), one block per complex: a rule, the chassis heading
 * and status, and per subcomplex its heading, the unit columns (names for
 * voltages and input selectors, numbers otherwise) and the unit statuses.
 *
 * The walk follows the tree's counts but never reads past the bytes the tree
 * may occupy: a record that would lie beyond them is reported in the text
 * ("Invalid status info returned from CMIC.") and the report ends there.
 *
 * Called by the Show Detail callback, by every refresh while the detail box
 * is up, and by tests through rack_detail_text().
 */
#include "app/rack_detail.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cabstat_common.h"
#include "app/complex_types.h"
#include "app/rack_view.h"
#include "app/s_detail.h"
#include "app/subcomplex_types.h"
#include "app/unit_name_tbl.h"
#include "base/trace.h"
#include "engine/env_regs.h"

/* ---- constants ----------------------------------------------------------- */

namespace {

constexpr const char *kInvalidStatus = "\nInvalid status info returned from CMIC.\n";
constexpr const char *kChassisStatusLead = "\n  Chassis Status \t";

/* The rule above each chassis. */
constexpr int kRuleWidth = 79;
constexpr std::array<char, kRuleWidth + 1> make_rule()
{
    std::array<char, kRuleWidth + 1> rule{};
    for (int i = 0; i < kRuleWidth; ++i)
        rule[i] = '=';
    return rule;
}
constexpr std::array<char, kRuleWidth + 1> kRule = make_rule();

/* Size of the text widget the report is shown in. */
constexpr int kReportColumns = 80;
constexpr int kReportRows = 24;

/* The current tree sits in the status query's result buffer, at its start
 * (substitute trees) or behind the 32-byte completion header (answers), so
 * it never extends past this many bytes. */
constexpr std::size_t kTreeRoom = CMIC_RESULT_SIZE - sizeof(qmx_ecmdcmplt_t);

/* Subcomplex headings. */
struct Heading {
    int type;
    const char *text;
};
constexpr Heading kHeadings[] = {
    {SC_TEMP, "Temperature"}, {SC_MB, "MGMT BOARD"}, {SC_FAN, "Fans"}, {SC_PWR, "Power Supplies"},
    {SC_DA_CTL, "Array CTL"}, {SC_MB_NET, "MB Net Card"}, {SC_PWR_BACKPANEL, "Pwr Backpanel"},
    {SC_RCMB_SLOTS, "RCMB Slot"}, {SC_SWITCH, "QUONET Board"}, {SC_DISK, "Disk Drive"},
    {SC_BAT, "Battery State"}, {SC_BAT2, "Battery State2"}, {SC_AC_INPUT, "AC Power Input"},
    {SC_DA_CTL1, "Array CTL 1"}, {SC_DA_CTL2, "Array Ctl 2"}, {SC_BAT1, "Battery State1"},
    {SC_INPUT_SELECTOR, "Input Sel"}, {SC_CONV, "DC DC Converter"}, {SC_MONI, "Fuse Monitor"},
    {SC_POWER_FAN, "Pwr Supply Fan"}, {SC_VR, "Voltage Reg"}, {SC_NODE_DISK, "Node Disk"}, {SC_CPU, "CPU"},
    {SC_CMIC, "CMIC2"}, {SC_CHASSIS_VOLTAGE, "Chassis Voltage"}, {SC_MEM, "Memory Strip"},
    {SC_CPU_TEMP, "CPU Temp"}, {SC_EXT_PWR, "EXT 12V Pwr"}, {SC_CMIC2, "CMIC3"}, {SC_PCI, "PCI Slot"},
    {SC_INVERTER, "Inverter"}, {SC_CHARGER, "Charger"}, {SC_RECTIFIER, "Rectifier"}, {SC_DC_LINK, "DC Link"},
    {SC_GAR_RUMB, "GAR RUMB"}, {SC_BER_RUMB, "BER RUMB"}, {SC_MDAMC_RUMB, "MDAMC RUMB"},
    {SC_COB_RUMB, "COB RUMB"}, {SC_UPS_RUMB, "UPS RUMB"}, {SC_CPU_FAN, "CPU Fans"}, {SC_LOAD, "Load Groups"},
    {SC_HUB, "Mini HUBs"}, {SC_ESM, "ESM Boards"},
};
constexpr bool headings_sorted()
{
    for (std::size_t i = 1; i < std::size(kHeadings); ++i)
        if (kHeadings[i - 1].type >= kHeadings[i].type)
            return false;
    return true;
}
static_assert(headings_sorted(), "subcomplex headings: one per type, in type order");
static_assert(std::size(kHeadings) == 43);

/* The ninth DC-DC converter of the interconnect switches from
 * COMPLEX_QNA16G to COMPLEX_QNB64G is the "DP" one. */
constexpr int kDpConverterColumn = 9;

/* Longest piece appended at once: the cabinet names (2 x 40) and the notes
 * are far shorter. */
constexpr std::size_t kLineSize = 256;

/* ---- module variables ---------------------------------------------------- */

/* The one line buffer every piece of the report is formatted into. */
char line[kLineSize];

/* Heading of a type without one. */
char unknown_heading[sizeof "Unknown (0x00)"];

/* ---- static prototypes --------------------------------------------------- */

void appendf(const char *format, ...) __attribute__((format(printf, 1, 2)));
bool fits(const uint8_t *p, std::size_t bytes, const uint8_t *end);
const char *status_text(int status);
const s_cab_chassis_rec *chassis_entry(int chassis_id);
bool has_console_port(int subcomplex_type, const s_cab_chassis_rec *entry);
void append_unit_column(const complex_cfg_t *c, const subcomplex_cfg_t *s, const unit_cfg_t *u, int column);
const uint8_t *show_subcomplex_detail(const complex_cfg_t *c, const s_cab_chassis_rec *entry,
                                      const subcomplex_cfg_t *s, const uint8_t *end);
void free_area();

} // namespace

char *dis_ptr = nullptr;
int dis_size = 0;

/* ------------------------------------------------------------------------ */

namespace {

void appendf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    append_str(line);
}

/* True when `bytes` bytes from p lie before end. */
bool fits(const uint8_t *p, std::size_t bytes, const uint8_t *end)
{
    return p <= end && static_cast<std::size_t>(end - p) >= bytes;
}

const char *status_text(int status)
{
    const char *icon = nullptr, *text = nullptr;
    int scheme = 0;
    get_status_visual_elements(status, &icon, &scheme, &text, 0);
    return text != nullptr ? text : "";
}

/* The chassis record of an id, NULL for ids outside the table. */
const s_cab_chassis_rec *chassis_entry(int chassis_id)
{
    if (chassis_id < 1 || chassis_id > MAX_CHASSIS)
        return nullptr;
    return &chassis_rec[chassis_id];
}

/* Array controllers always show their console port; the management board
 * and the node boards show it on node chassis. */
bool has_console_port(int subcomplex_type, const s_cab_chassis_rec *entry)
{
    if (subcomplex_type == SC_DA_CTL1 || subcomplex_type == SC_DA_CTL2)
        return true;
    bool node = entry != nullptr && entry->chassis_type == CHASSIS_NODE;
    return node && (subcomplex_type == SC_MB || subcomplex_type == SC_GAR_RUMB ||
                    subcomplex_type == SC_BER_RUMB || subcomplex_type == SC_COB_RUMB);
}

/* The column head of one unit; `column` counts from 1.  A unit the name
 * table does not know is headed by its number like any other. */
void append_unit_column(const complex_cfg_t *c, const subcomplex_cfg_t *s, const unit_cfg_t *u, int column)
{
    if (s->subcomplex_type == SC_INPUT_SELECTOR || s->subcomplex_type == SC_CHASSIS_VOLTAGE) {
        const char *name = getUnitDisplayName(c->complex_type, s->subcomplex_type, u->unit_id);
        if (name != nullptr) {
            appendf("%-9s", name);
            return;
        }
    } else if (s->subcomplex_type == SC_CONV && column == kDpConverterColumn &&
               c->complex_type >= COMPLEX_QNA16G && c->complex_type <= COMPLEX_QNB64G) {
        appendf("%-9s", "DP");
        return;
    }
    appendf("%-9d", column);
}

/* One subcomplex of a complex; returns the byte after its units, NULL when
 * they run past end (the chassis ends there). */
const uint8_t *show_subcomplex_detail(const complex_cfg_t *c, const s_cab_chassis_rec *entry,
                                      const subcomplex_cfg_t *s, const uint8_t *end)
{
    const int count = s->unit_count;
    const auto *first_unit = reinterpret_cast<const uint8_t *>(s) + sizeof(subcomplex_cfg_t);
    const int present = static_cast<int>(
        std::min<std::size_t>(count, static_cast<std::size_t>(end - first_unit) / sizeof(unit_cfg_t)));

    /* 1. Heading, and the console port where the kind has one. */
    appendf("\n\n%-17s\t", subcomplex_heading(s->subcomplex_type));
    if (has_console_port(s->subcomplex_type, entry))
        appendf("\n  Console Port#       \t%-9d", s->get_port_id());

    /* 2. Column heads when there is more than one unit. */
    if (count > 1)
        for (int k = 0; k < present; ++k)
            append_unit_column(c, s, unit(s, k), k + 1);

    /* 3. Status texts. */
    appendf("\n  Status         \t");
    for (int k = 0; k < count; ++k) {
        if (k >= present) {
            dprint(1, "Can't find unit %d of %d\n", k, count);
            appendf("%s", kInvalidStatus);
            return nullptr;
        }
        appendf("%-9s", status_text(unit(s, k)->unit_status));
    }

    /* 4. Numeric statuses for the developer. */
    if (debug > 5) {
        appendf("\n  Numeric Status \t");
        for (int k = 0; k < count; ++k)
            appendf("%-9d", unit(s, k)->unit_status);
        appendf("\n");
    }

    /* 5. The disk array's controllers: each unit's console port, kept in the
     *    unit's last two bytes, high byte first like the subcomplex's. */
    if (c->complex_type == COMPLEX_MDAMC && s->subcomplex_type == SC_DA_CTL) {
        appendf("\n  Console Port  \t");
        for (int k = 0; k < count; ++k) {
            const unit_cfg_t *u = unit(s, k);
            appendf("%-9d", (u->PSC_unit_status << 8) | u->unit_type);
        }
        appendf("\n");
    }
    return first_unit + sizeof(unit_cfg_t) * count;
}

void free_area()
{
    std::free(dis_ptr);
    dis_ptr = nullptr;
    dis_size = 0;
}

} // namespace

/* ---- the text area ------------------------------------------------------- */

int get_area(char **ptr, int *size, int count)
{
    dprint(3, "\nGETAREA: getting an area: %d", count);
    if (ptr == nullptr || size == nullptr || count <= 0 || *size < 0 ||
        count > (INT_MAX - *size) / DETAIL_LINE_BYTES)
        return GET_AREA_FAILED;

    /* A new area, zero-filled. */
    if (*size == 0) {
        const int new_size = count * DETAIL_LINE_BYTES;
        dprint(3, "\nCalloc'ing for an area: %d", new_size);
        auto *area = static_cast<char *>(std::calloc(static_cast<std::size_t>(new_size), 1));
        if (area == nullptr) {
            dprint(3, "...returning NULL");
            std::snprintf(nxp_message, NXP_MESSAGE_SIZE, "\nNXP_UPDOWN: calloc failed. size: %d", new_size);
            return GET_AREA_FAILED;
        }
        dprint(3, "...returning OK");
        *ptr = area;
        *size = new_size;
        return 0;
    }

    /* A bigger area; the added part is zeroed too, so the text stays
     * terminated whatever is appended. */
    const int new_size = *size + count * DETAIL_LINE_BYTES;
    dprint(3, "\nRealloc'ing an area: %d", new_size);
    auto *area = static_cast<char *>(std::realloc(*ptr, static_cast<std::size_t>(new_size)));
    if (area == nullptr) {
        std::snprintf(nxp_message, NXP_MESSAGE_SIZE, "NXP_UPDOWN: realloc failed. size: %d", new_size);
        return GET_AREA_FAILED;
    }
    std::memset(area + *size, 0, static_cast<std::size_t>(new_size - *size));
    *ptr = area;
    *size = new_size;
    return 0;
}

void append_str(char *str_ptr)
{
    if (str_ptr == nullptr)
        return;
    dprint(2, "%s", str_ptr);
    const std::size_t add = std::strlen(str_ptr);
    std::size_t used = dis_ptr != nullptr ? strnlen(dis_ptr, static_cast<std::size_t>(dis_size)) : 0;
    while (dis_ptr == nullptr || used + add + 1 > static_cast<std::size_t>(dis_size)) {
        if (get_area(&dis_ptr, &dis_size, DETAIL_AREA_LINES) != 0) {
            str_ptr[0] = '\0';
            return;
        }
        used = strnlen(dis_ptr, static_cast<std::size_t>(dis_size));
    }
    std::memcpy(dis_ptr + used, str_ptr, add + 1);
    str_ptr[0] = '\0';
}

/* ---- the report ---------------------------------------------------------- */

const char *subcomplex_heading(int subcomplex_type)
{
    for (const Heading &h : kHeadings)
        if (h.type == subcomplex_type)
            return h.text;
    std::snprintf(unknown_heading, sizeof unknown_heading, "Unknown (0x%02x)",
                  static_cast<unsigned>(subcomplex_type) & 0xFFu);
    return unknown_heading;
}

const uint8_t *show_chassis_detail(int chassis_id, const complex_cfg_t *complex_ptr, const uint8_t *end)
{
    const auto *p = reinterpret_cast<const uint8_t *>(complex_ptr);
    if (complex_ptr == nullptr || !fits(p, sizeof(complex_cfg_t), end))
        return nullptr;

    /* 1. The rule. */
    appendf("\n%s\n\n", kRule.data());

    /* 2. Heading and chassis status.  The chassis record of the id names the
     *    chassis when it describes this very complex; when it holds another
     *    one, the tree has two complexes with the id. */
    const s_cab_chassis_rec *entry = chassis_entry(chassis_id);
    if (entry != nullptr && entry->complex_ptr == complex_ptr) {
        appendf("CHASSIS %d (%.*s):%s", chassis_id, CHASSIS_LABEL_SIZE - 1, entry->chassis_label,
                kChassisStatusLead);
    } else {
        if (entry != nullptr && entry->complex_ptr != nullptr)
            appendf("complex_ptr doesn't match chassis_rec\nmultiple complexes with id=%d in status tree\n",
                    chassis_id);
        appendf("CHASSIS %d (0x%x):%s", chassis_id, complex_ptr->complex_type, kChassisStatusLead);
    }
    appendf("%-9s", status_text(complex_ptr->complex_status));

    /* 3. The subcomplexes, each where the previous one ended. */
    const int count = complex_ptr->subcomplex_count;
    const uint8_t *q = p + sizeof(complex_cfg_t);
    for (int j = 0; j < count; ++j) {
        if (!fits(q, sizeof(subcomplex_cfg_t), end)) {
            dprint(1, "Can't find subcomplex %d of %d\n", j, count);
            appendf("%s", kInvalidStatus);
            return nullptr;
        }
        q = show_subcomplex_detail(complex_ptr, entry, reinterpret_cast<const subcomplex_cfg_t *>(q), end);
        if (q == nullptr)
            return nullptr;
    }

    /* 4. */
    appendf("\n");
    return q;
}

int build_rack_detail(const cmic_cfg_t *tree, std::size_t length)
{
    /* 1. A fresh area. */
    free_area();
    if (tree == nullptr || length < sizeof(cmic_cfg_t)) {
        dprint(1, "show_rack_detail: no status tree\n");
        return -1;
    }
    if (get_area(&dis_ptr, &dis_size, DETAIL_AREA_LINES) != 0)
        return -1;

    /* 2. The cabinet. */
    appendf("System: %.*s\nCabinet: %.*s\n\n", static_cast<int>(sizeof tree->sysname), tree->sysname,
            static_cast<int>(sizeof tree->cabname), tree->cabname);
    if (debug > 5)
        appendf("Cabinet contains %d chassis\n", tree->complex_count);

    /* 3. Every complex, each where the previous one ended. */
    const auto *end = reinterpret_cast<const uint8_t *>(tree) + length;
    const auto *p = reinterpret_cast<const uint8_t *>(tree) + sizeof(cmic_cfg_t);
    for (int i = 0; i < tree->complex_count; ++i) {
        if (!fits(p, sizeof(complex_cfg_t), end)) {
            dprint(1, "show_rack_detail:Can't find complex %d of %d\n", i, tree->complex_count);
            appendf("%s", kInvalidStatus);
            break;
        }
        const auto *c = reinterpret_cast<const complex_cfg_t *>(p);
        p = show_chassis_detail(c->complex_id, c, end);
        if (p == nullptr)
            break;
    }
    return 0;
}

std::string rack_detail_text(const cmic_cfg_t *tree, std::size_t length)
{
    std::string text;
    if (build_rack_detail(tree, length) == 0 && dis_ptr != nullptr)
        text = dis_ptr;
    free_area();
    return text;
}

void show_rack_detail()
{
    if (build_rack_detail(tree_ptr, kTreeRoom) == 0)
        update_DetailBox(dis_ptr, kReportColumns, kReportRows);
    free_area();
}
