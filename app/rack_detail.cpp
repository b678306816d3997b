/*
 * rack_detail.cpp - the detail report of the status tree.
 *
 * Builds the report as a string: rack_detail_text() writes the cabinet's
 * names and then, through show_chassis_detail(), one block per complex: a rule, the chassis heading
 * and status, and per subcomplex its heading, the unit columns (names for
 * voltages and input selectors, numbers otherwise) and the unit statuses.
 *
 * The walk follows the tree's counts but never reads past the bytes the tree
 * may occupy: a record that would lie beyond them is reported in the text
 * ("Invalid status info returned from CMIC.") and the report ends there.
 *
 * Called by the detail box (show_rack_detail, on Show Detail and on every
 * refresh while the box is up) and by tests.
 */
#include "app/rack_detail.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "app/cabstat_common.h"
#include "app/chassis_table.h"
#include "app/complex_types.h"
#include "app/subcomplex_types.h"
#include "app/unit_name_tbl.h"
#include "base/trace.h"

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

/* Heading of a type without one. */
char unknown_heading[sizeof "Unknown (0x00)"];

/* ---- static prototypes --------------------------------------------------- */

void appendf(std::string &report, const char *format, ...) __attribute__((format(printf, 2, 3)));
bool fits(const uint8_t *p, std::size_t bytes, const uint8_t *end);
const char *status_text(int status);
const s_cab_chassis_rec *chassis_entry(int chassis_id);
bool has_console_port(int subcomplex_type, const s_cab_chassis_rec *entry);
void append_unit_column(std::string &report, const complex_cfg_t *c, const subcomplex_cfg_t *s,
                        const unit_cfg_t *u, int column);
const uint8_t *show_subcomplex_detail(std::string &report, const complex_cfg_t *c, const s_cab_chassis_rec *entry,
                                      const subcomplex_cfg_t *s, const uint8_t *end);

} // namespace

/* ------------------------------------------------------------------------ */

namespace {

/* Appends one formatted piece (at most kLineSize - 1 bytes) to the report;
 * level 2 traces every piece. */
void appendf(std::string &report, const char *format, ...)
{
    char line[kLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    dprint(2, "%s", line);
    report += line;
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
void append_unit_column(std::string &report, const complex_cfg_t *c, const subcomplex_cfg_t *s,
                        const unit_cfg_t *u, int column)
{
    if (s->subcomplex_type == SC_INPUT_SELECTOR || s->subcomplex_type == SC_CHASSIS_VOLTAGE) {
        const char *name = getUnitDisplayName(c->complex_type, s->subcomplex_type, u->unit_id);
        if (name != nullptr) {
            appendf(report, "%-9s", name);
            return;
        }
    } else if (s->subcomplex_type == SC_CONV && column == kDpConverterColumn &&
               c->complex_type >= COMPLEX_QNA16G && c->complex_type <= COMPLEX_QNB64G) {
        appendf(report, "%-9s", "DP");
        return;
    }
    appendf(report, "%-9d", column);
}

/* One subcomplex of a complex; returns the byte after its units, NULL when
 * they run past end (the chassis ends there). */
const uint8_t *show_subcomplex_detail(std::string &report, const complex_cfg_t *c, const s_cab_chassis_rec *entry,
                                      const subcomplex_cfg_t *s, const uint8_t *end)
{
    const int count = s->unit_count;
    const auto *first_unit = reinterpret_cast<const uint8_t *>(s) + sizeof(subcomplex_cfg_t);
    const int present = static_cast<int>(
        std::min<std::size_t>(count, static_cast<std::size_t>(end - first_unit) / sizeof(unit_cfg_t)));

    /* 1. Heading, and the console port where the kind has one. */
    appendf(report, "\n\n%-17s\t", subcomplex_heading(s->subcomplex_type));
    if (has_console_port(s->subcomplex_type, entry))
        appendf(report, "\n  Console Port#       \t%-9d", s->get_port_id());

    /* 2. Column heads when there is more than one unit. */
    if (count > 1)
        for (int k = 0; k < present; ++k)
            append_unit_column(report, c, s, unit(s, k), k + 1);

    /* 3. Status texts. */
    appendf(report, "\n  Status         \t");
    for (int k = 0; k < count; ++k) {
        if (k >= present) {
            dprint(1, "Can't find unit %d of %d\n", k, count);
            appendf(report, "%s", kInvalidStatus);
            return nullptr;
        }
        appendf(report, "%-9s", status_text(unit(s, k)->unit_status));
    }

    /* 4. Numeric statuses for the developer. */
    if (debug > 5) {
        appendf(report, "\n  Numeric Status \t");
        for (int k = 0; k < count; ++k)
            appendf(report, "%-9d", unit(s, k)->unit_status);
        appendf(report, "\n");
    }

    /* 5. The disk array's controllers: each unit's console port, kept in the
     *    unit's last two bytes, high byte first like the subcomplex's. */
    if (c->complex_type == COMPLEX_MDAMC && s->subcomplex_type == SC_DA_CTL) {
        appendf(report, "\n  Console Port  \t");
        for (int k = 0; k < count; ++k) {
            const unit_cfg_t *u = unit(s, k);
            appendf(report, "%-9d", (u->PSC_unit_status << 8) | u->unit_type);
        }
        appendf(report, "\n");
    }
    return first_unit + sizeof(unit_cfg_t) * count;
}

} // namespace

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

const uint8_t *show_chassis_detail(std::string &report, int chassis_id, const complex_cfg_t *complex_ptr,
                                   const uint8_t *end)
{
    const auto *p = reinterpret_cast<const uint8_t *>(complex_ptr);
    if (complex_ptr == nullptr || !fits(p, sizeof(complex_cfg_t), end))
        return nullptr;

    /* 1. The rule. */
    appendf(report, "\n%s\n\n", kRule.data());

    /* 2. Heading and chassis status.  The chassis record of the id names the
     *    chassis when it describes this very complex; when it holds another
     *    one, the tree has two complexes with the id. */
    const s_cab_chassis_rec *entry = chassis_entry(chassis_id);
    if (entry != nullptr && entry->complex_ptr == complex_ptr) {
        appendf(report, "CHASSIS %d (%.*s):%s", chassis_id, CHASSIS_LABEL_SIZE - 1, entry->chassis_label,
                kChassisStatusLead);
    } else {
        if (entry != nullptr && entry->complex_ptr != nullptr)
            appendf(report, "complex_ptr doesn't match chassis_rec\nmultiple complexes with id=%d in status tree\n",
                    chassis_id);
        appendf(report, "CHASSIS %d (0x%x):%s", chassis_id, complex_ptr->complex_type, kChassisStatusLead);
    }
    appendf(report, "%-9s", status_text(complex_ptr->complex_status));

    /* 3. The subcomplexes, each where the previous one ended. */
    const int count = complex_ptr->subcomplex_count;
    const uint8_t *q = p + sizeof(complex_cfg_t);
    for (int j = 0; j < count; ++j) {
        if (!fits(q, sizeof(subcomplex_cfg_t), end)) {
            dprint(1, "Can't find subcomplex %d of %d\n", j, count);
            appendf(report, "%s", kInvalidStatus);
            return nullptr;
        }
        q = show_subcomplex_detail(report, complex_ptr, entry, reinterpret_cast<const subcomplex_cfg_t *>(q), end);
        if (q == nullptr)
            return nullptr;
    }

    /* 4. The chassis ends its line. */
    appendf(report, "\n");
    return q;
}

std::string rack_detail_text(const cmic_cfg_t *tree, std::size_t length)
{
    std::string report;
    if (tree == nullptr || length < sizeof(cmic_cfg_t)) {
        dprint(1, "show_rack_detail: no status tree\n");
        return report;
    }

    /* 1. The cabinet. */
    appendf(report, "System: %.*s\nCabinet: %.*s\n\n", static_cast<int>(sizeof tree->sysname), tree->sysname,
            static_cast<int>(sizeof tree->cabname), tree->cabname);
    if (debug > 5)
        appendf(report, "Cabinet contains %d chassis\n", tree->complex_count);

    /* 2. Every complex, each where the previous one ended. */
    const auto *end = reinterpret_cast<const uint8_t *>(tree) + length;
    const auto *p = reinterpret_cast<const uint8_t *>(tree) + sizeof(cmic_cfg_t);
    for (int i = 0; i < tree->complex_count; ++i) {
        if (!fits(p, sizeof(complex_cfg_t), end)) {
            dprint(1, "show_rack_detail:Can't find complex %d of %d\n", i, tree->complex_count);
            appendf(report, "%s", kInvalidStatus);
            break;
        }
        const auto *c = reinterpret_cast<const complex_cfg_t *>(p);
        p = show_chassis_detail(report, c->complex_id, c, end);
        if (p == nullptr)
            break;
    }
    return report;
}

std::string current_rack_detail_text()
{
    return rack_detail_text(tree_ptr, kTreeRoom);
}
