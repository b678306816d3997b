/*
 * rack_query.cpp - the cabinet status tree.
 *
 * Owns the static result buffer that holds the current tree and tree_ptr
 * into it; fetches the tree (get_cabinet_status, called by every refresh),
 * words failed commands (cmdcmplt_err_text; the display shows them), builds the substitute trees (the Unknown tree after a failed
 * query, the built-in tree of test mode, dummy subcomplexes for the chassis
 * views) and walks trees for every reader (complex, subcomplex, unit,
 * search_tree).  A tree that arrives from the cabinet is checked against the
 * bytes received (check_status_tree) before anything walks it; after that,
 * walks are bounded by the tree's own counts.
 */
#include "app/rack_query.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "app/complex_types.h"
#include "app/status_codes.h"
#include "app/subcomplex_types.h"
#include "base/process.h"
#include "base/trace.h"
#include "engine/send_env.h"

/* ---- constants ----------------------------------------------------------- */

const char *const cmic_error_texts[CMIC_HIGHEST_ERR + 1] = {
    "Command Failed",
    "Command Successful",
    "Complex not talking",
    "No such complex",
    "No such subcomplex",
    "No such unit",
    "Command not applicable",
    "Bad command argument",
    "Flush failed",
    "Init 0 failed",
    "SMP in unknown state, cannot do orderly shutdown",
    "Specific complex required for this command",
    "Not enough FEUs to power on cabinet",
    "Not enough BIUs to power on cabinet",
    "Not enough FANs to power on cabinet",
    "Could not power on/off IP/JBOD - unknown state",
    "CMIC not ready for command",
    "Unable to deliver command",
    "Command interupted",
    "AC Power restored",
    "Complex is in the wrong state for this operation",
    "Update of all information was not successfull",
    "Will not take effect until next state change",
    "Node is in KDB",
    "Memory Dump is in progress",
    "Node is Powered Off",
    "Node is in power failure process",
    "Illegal power configuration",
    "UNKNOWN STATUS 28",
    "UNKNOWN STATUS 29",
    "Security Lock is already taken",
    "Attempted Security Lock release from wrong IP address",
    "Already in a synchronized state",
    "Synchronization access granted",
    "Synchronization access denied",
    "Command to get configuration files ignored",
    "TFTP file transfer failed",
};

namespace {

constexpr const char *kUnknownError = "Unknown error";

/* The status query: complex type 0x81 with id 0xFF asks for every complex;
 * the answer may fill 8192 bytes. */
constexpr unsigned char kStatusComplexType = 0x81;
constexpr unsigned char kAllComplexes = 0xFF;
constexpr unsigned short kStatusResultLength = 0x2000;
static_assert(kStatusResultLength <= CMIC_RESULT_SIZE, "the result buffer holds a whole answer");

/* search_tree: mode -1 looks at no more complexes than a cabinet holds. */
constexpr int kSearchMaxComplexes = 11;
/* Subcomplex types that mean "the whole complex" to search_tree. */
constexpr int kAnySubcomplex = 255;
constexpr int kNoSubcomplex = 0;
constexpr int kWholeChassis = 144;
constexpr int kAnyUnit = 255;
/* Complex ids that are only unique together with their type. */
constexpr int kSharedIdLow = 132;
constexpr int kSharedIdHigh = 133;

/* The Unknown tree: one management complex with five subcomplexes. */
constexpr uint8_t kEmptyComplexId = 1;
constexpr uint8_t kEmptyComplexType = COMPLEX_SERVER_MGMT;
struct SubcomplexShape {
    uint8_t type;
    uint8_t unit_count;
};
constexpr std::array<SubcomplexShape, 5> kEmptySubcomplexes = {
    {{SC_TEMP, 1}, {SC_FAN, 3}, {SC_MB, 1}, {SC_PWR, 2}, {SC_RCMB_SLOTS, 8}}};

/* The built-in test tree.  Unit i of a subcomplex takes statuses[i % n],
 * n being the number of leading non-zero entries; together the units show every
 * colour scheme a status can select (OK, fault, warning, missing, fast,
 * disabled, title, unknown) and an unrecognised code. */
/* A code the status table does not know. */
constexpr uint8_t kUnrecognisedStatus = 200;
struct FakeSubcomplex {
    uint8_t type;
    uint8_t unit_count;
    std::array<uint8_t, 8> statuses;
};
struct FakeComplex {
    uint8_t id;
    uint8_t type;
    std::span<const FakeSubcomplex> subcomplexes;
};

/* 2U server management: temperature, board, fans, power, regulators and the
 * board slots (the management board, a transfer board, the chassis boards,
 * one empty slot). */
constexpr FakeSubcomplex smc2u[] = {
    {SC_TEMP, 1, {S_TEMP_WARM}},
    {SC_MB, 1, {S_OK}},
    {SC_FAN, 3, {S_WARNING, S_OK, S_FAN_FAST}},
    {SC_PWR, 2, {S_OK, S_MISSING}},
    {SC_VR, 2, {S_FAULT, S_OK2}},
    {SC_RCMB_SLOTS, 8, {S_OK, S_PTB, S_RCMB, S_RUMB, S_RCMB, S_RCMB, S_RCMB, S_UNUSED}},
};
/* Disk array with hubs and ESMs; the second array reports the first seven. */
constexpr FakeSubcomplex disk_array[] = {
    {SC_TEMP, 1, {S_TEMP_NORMAL}},
    {SC_FAN, 2, {S_OK, S_FAN_FAST}},
    {SC_PWR, 2, {S_OK, S_ACFAIL}},
    {SC_DISK, 28, {S_OK, S_OK, S_OK, S_OK, S_OK, S_CONFLICT, S_FAULT2, S_FLASH}},
    {SC_DA_CTL1, 1, {S_OK}},
    {SC_DA_CTL2, 1, {S_OFF}},
    {SC_BAT, 1, {S_BAT_CHARGE}},
    {SC_HUB, 2, {S_OK, S_LOST_HB}},
    {SC_ESM, 4, {S_OK, S_OK, S_NOCOMM, S_OK}},
};
/* 7U node: chassis voltage first. */
constexpr FakeSubcomplex node7u[] = {
    {SC_CHASSIS_VOLTAGE, 4, {S_OK, S_OK, S_WARNING, S_OK}},
    {SC_TEMP, 6, {S_TEMP_NORMAL, S_TEMP_NORMAL, S_TEMP_WARM, S_TEMP_NORMAL, S_TEMP_HOT, S_TEMP_NORMAL}},
    {SC_CPU_TEMP, 4, {S_TEMP_NORMAL, S_TEMP_NORMAL, S_TEMP_NORMAL, S_TEMP_WARM}},
    {SC_MB, 1, {S_OK}},
    {SC_FAN, 6, {S_OK, S_OK, S_FAN_FAST, S_OK, S_OK, S_DISABLED}},
    {SC_PWR, 3, {S_OK, S_OK, S_CRITICAL}},
    {SC_NODE_DISK, 5, {S_OK, S_PRESENT, S_OK, S_MISSING, S_OK}},
    {SC_CPU, 4, {S_OK, S_OK, S_OK, S_OFF}},
    {SC_MEM, 32, {S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, S_OK, S_MEM_ERR}},
    {SC_PCI, 8, {S_OK, S_OK, S_PRESENT, S_PRESENT, S_OK, S_MISSING, S_UNKNOWN2, S_PTBX}},
    {SC_CONV, 2, {S_DUAL_ACTIVE, kUnrecognisedStatus}},
};
constexpr FakeSubcomplex ups[] = {
    {SC_MB, 1, {S_OK}},
    {SC_BAT, 2, {S_BAT_REST, S_BAT_DISCHARGE}},
    {SC_AC_INPUT, 2, {S_OK, S_ACFAIL}},
    {SC_TEMP, 1, {S_TEMP_NORMAL}},
};

constexpr FakeComplex kFakeComplexes[] = {
    {1, COMPLEX_SERVER_MGMT_2U, smc2u},
    {2, COMPLEX_MDAMC, disk_array},
    {3, COMPLEX_MDAMC, std::span<const FakeSubcomplex>(disk_array).first(7)},
    {4, COMPLEX_NODE7U, node7u},
    {5, COMPLEX_NODE7U, node7u},
    {6, COMPLEX_UPS, ups},
};

constexpr const char *kFakeSysname = "rack_test system";
constexpr const char *kFakeCabname = "rack_test built-in cabinet";

/* Disk-array controllers are reached through console ports numbered from
 * the complex id. */
constexpr uint16_t kControllerPortBase = 9010;

/* Number of statuses a test subcomplex cycles through. */
constexpr std::size_t status_pattern_length(const FakeSubcomplex &s)
{
    std::size_t n = 0;
    while (n < s.statuses.size() && s.statuses[n] != 0)
        ++n;
    return n;
}

constexpr bool fake_patterns_valid()
{
    for (const FakeComplex &c : kFakeComplexes)
        for (const FakeSubcomplex &s : c.subcomplexes)
            if (status_pattern_length(s) == 0)
                return false;
    return true;
}
static_assert(fake_patterns_valid(), "every test subcomplex needs at least one status");

constexpr std::size_t fake_tree_size()
{
    std::size_t size = sizeof(cmic_cfg_t);
    for (const FakeComplex &c : kFakeComplexes) {
        size += sizeof(complex_cfg_t);
        for (const FakeSubcomplex &s : c.subcomplexes)
            size += sizeof(subcomplex_cfg_t) + s.unit_count * sizeof(unit_cfg_t);
    }
    return size;
}
static_assert(fake_tree_size() <= CMIC_RESULT_SIZE, "the test tree must fit the result buffer");

/* ---- module variables ---------------------------------------------------- */

/* The result buffer of the status query: a command-complete answer whose
 * tree starts 32 bytes in, or a substitute tree from byte 0. */
alignas(8) uint8_t cmic_result[CMIC_RESULT_SIZE];

/* The answer of the last failed status query, kept for the display to
 * report after the result buffer took the Unknown tree. */
alignas(8) uint8_t failed_answer[CMDCMPLT_MAX_LENGTH];
std::size_t failed_length = 0;

/* ---- static prototypes --------------------------------------------------- */

std::size_t subcomplex_group_size(const subcomplex_cfg_t *s);
std::size_t complex_group_size(const complex_cfg_t *c);
void number_units(subcomplex_cfg_t *sc, int subcomplex_type, int unit_count, int unit_status);
bool complex_matches(const complex_cfg_t *c, int search_complex_id, int search_complex_type);
int find_complex_by_id(const cmic_cfg_t *tree, int search_complex_id, int search_complex_type);
int find_complex_by_rank(const cmic_cfg_t *tree, int search_complex_type, int mode);
bool find_unit(const complex_cfg_t *c, int search_subcomplex_type, int search_unit_id, int *subcomplex_index,
               int *unit_index);
void copy_name(char (&field)[40], const char *text);
uint8_t *write_fake_complex(uint8_t *p, const FakeComplex &fc);
int status_query_failed(const qmx_ecmdcmplt_t *answer, std::size_t length);

} // namespace

cmic_cfg_t *tree_ptr = nullptr;

/* ---- accessors ----------------------------------------------------------- */

namespace {

std::size_t subcomplex_group_size(const subcomplex_cfg_t *s)
{
    return sizeof(subcomplex_cfg_t) + sizeof(unit_cfg_t) * s->unit_count;
}

std::size_t complex_group_size(const complex_cfg_t *c)
{
    std::size_t size = sizeof(complex_cfg_t);
    const auto *p = reinterpret_cast<const uint8_t *>(c) + sizeof(complex_cfg_t);
    for (int i = 0; i < c->subcomplex_count; ++i) {
        std::size_t group = subcomplex_group_size(reinterpret_cast<const subcomplex_cfg_t *>(p));
        size += group;
        p += group;
    }
    return size;
}

} // namespace

const complex_cfg_t *complex(const cmic_cfg_t *tree, int n)
{
    if (tree == nullptr || n < 0 || n > tree->complex_count)
        return nullptr;
    const auto *p = reinterpret_cast<const uint8_t *>(tree) + sizeof(cmic_cfg_t);
    for (int i = 0; i < n; ++i)
        p += complex_group_size(reinterpret_cast<const complex_cfg_t *>(p));
    return reinterpret_cast<const complex_cfg_t *>(p);
}

complex_cfg_t *complex(cmic_cfg_t *tree, int n)
{
    return const_cast<complex_cfg_t *>(complex(static_cast<const cmic_cfg_t *>(tree), n));
}

const subcomplex_cfg_t *subcomplex(const complex_cfg_t *c, int n)
{
    if (c == nullptr || n < 0 || n > c->subcomplex_count)
        return nullptr;
    const auto *p = reinterpret_cast<const uint8_t *>(c) + sizeof(complex_cfg_t);
    for (int i = 0; i < n; ++i)
        p += subcomplex_group_size(reinterpret_cast<const subcomplex_cfg_t *>(p));
    return reinterpret_cast<const subcomplex_cfg_t *>(p);
}

subcomplex_cfg_t *subcomplex(complex_cfg_t *c, int n)
{
    return const_cast<subcomplex_cfg_t *>(subcomplex(static_cast<const complex_cfg_t *>(c), n));
}

const unit_cfg_t *unit(const subcomplex_cfg_t *s, int n)
{
    if (s == nullptr || n < 0 || n > s->unit_count)
        return nullptr;
    const auto *p = reinterpret_cast<const uint8_t *>(s) + sizeof(subcomplex_cfg_t) + sizeof(unit_cfg_t) * n;
    return reinterpret_cast<const unit_cfg_t *>(p);
}

unit_cfg_t *unit(subcomplex_cfg_t *s, int n)
{
    return const_cast<unit_cfg_t *>(unit(static_cast<const subcomplex_cfg_t *>(s), n));
}

/* ---- search_tree --------------------------------------------------------- */

namespace {

bool complex_matches(const complex_cfg_t *c, int search_complex_id, int search_complex_type)
{
    if (search_complex_id == 255)
        return c->complex_type == search_complex_type;
    if (c->complex_id != search_complex_id)
        return false;
    if (search_complex_id == kSharedIdLow || search_complex_id == kSharedIdHigh)
        return c->complex_type == search_complex_type;
    return true;
}

/* Mode -1: index of the first matching complex among the first eleven. */
int find_complex_by_id(const cmic_cfg_t *tree, int search_complex_id, int search_complex_type)
{
    int limit = std::min<int>(tree->complex_count, kSearchMaxComplexes);
    for (int i = 0; i < limit; ++i) {
        const complex_cfg_t *c = complex(tree, i);
        if (c == nullptr)
            break;
        if (complex_matches(c, search_complex_id, search_complex_type))
            return i;
    }
    return -1;
}

/* Modes 0 and 1: index of the complex of the type with the smallest (0) or
 * largest (1) id; mode 1 needs a second complex of the type to compare. */
int find_complex_by_rank(const cmic_cfg_t *tree, int search_complex_type, int mode)
{
    int smallest = -1, largest = -1, found = 0;
    int smallest_id = 0, largest_id = 0;
    for (int i = 0; i < tree->complex_count; ++i) {
        const complex_cfg_t *c = complex(tree, i);
        if (c == nullptr)
            break;
        if (c->complex_type != search_complex_type)
            continue;
        ++found;
        if (smallest < 0 || c->complex_id < smallest_id) {
            smallest = i;
            smallest_id = c->complex_id;
        }
        if (largest < 0 || c->complex_id > largest_id) {
            largest = i;
            largest_id = c->complex_id;
        }
    }
    if (mode == 0)
        return smallest;
    if (found < 2) {
        dprint(1, "search_tree: no LARGER complex id record found.\n");
        return -1;
    }
    return largest;
}

/* In the first subcomplex of the type, the first unit that matches. */
bool find_unit(const complex_cfg_t *c, int search_subcomplex_type, int search_unit_id, int *subcomplex_index,
               int *unit_index)
{
    for (int s = 0; s < c->subcomplex_count; ++s) {
        const subcomplex_cfg_t *sc = subcomplex(c, s);
        if (sc == nullptr)
            return false;
        if (sc->subcomplex_type != search_subcomplex_type)
            continue;
        for (int u = 0; u < sc->unit_count; ++u) {
            const unit_cfg_t *up = unit(sc, u);
            if (search_unit_id == kAnyUnit || up->unit_id == search_unit_id) {
                *subcomplex_index = s;
                *unit_index = u;
                return true;
            }
        }
        return false;
    }
    return false;
}

} // namespace

int search_tree(const cmic_cfg_t *tree, int search_complex_id, int search_complex_type,
                int search_subcomplex_type, int search_unit_id, int mode,
                int *complex_index, int *subcomplex_index, int *unit_index)
{
    int ci = -1, si = -1, ui = -1;
    dprint(8, "search_tree: complex_id=%d complex_type=0x%x subcomplex_type=0x%x unit_id=%d mode=%d\n",
           search_complex_id, search_complex_type, search_subcomplex_type, search_unit_id, mode);

    /* 1. The complex. */
    if (tree != nullptr) {
        if (mode == -1)
            ci = find_complex_by_id(tree, search_complex_id, search_complex_type);
        else if (mode == 0 || mode == 1)
            ci = find_complex_by_rank(tree, search_complex_type, mode);
    }
    int found = 0;
    if (ci < 0) {
        dprint(1, "search_tree: no complex record found\n");
    } else if (search_subcomplex_type == kAnySubcomplex || search_subcomplex_type == kNoSubcomplex ||
               search_subcomplex_type == kWholeChassis) {
        /* 2. The whole complex was asked for. */
        found = 1;
    } else {
        /* 3. The unit within the first subcomplex of the type. */
        found = find_unit(complex(tree, ci), search_subcomplex_type, search_unit_id, &si, &ui) ? 1 : 0;
    }

    if (complex_index != nullptr)
        *complex_index = ci;
    if (subcomplex_index != nullptr)
        *subcomplex_index = si;
    if (unit_index != nullptr)
        *unit_index = ui;
    return found;
}

/* ---- check_status_tree --------------------------------------------------- */

int check_status_tree(const uint8_t *tree, std::size_t length)
{
    if (tree == nullptr || length < sizeof(cmic_cfg_t)) {
        dprint(1, "check_status_tree: no room for the tree header in %zu bytes\n", length);
        return -1;
    }
    const auto *header = reinterpret_cast<const cmic_cfg_t *>(tree);
    std::size_t at = sizeof(cmic_cfg_t);

    for (int c = 0; c < header->complex_count; ++c) {
        /* 1. The complex record. */
        if (length - at < sizeof(complex_cfg_t)) {
            dprint(1, "check_status_tree: complex %d of %d ends past %zu bytes\n", c, header->complex_count,
                   length);
            return -1;
        }
        const auto *cp = reinterpret_cast<const complex_cfg_t *>(tree + at);
        at += sizeof(complex_cfg_t);

        for (int s = 0; s < cp->subcomplex_count; ++s) {
            /* 2. Each subcomplex record, 3. then its units. */
            if (length - at < sizeof(subcomplex_cfg_t)) {
                dprint(1, "check_status_tree: subcomplex %d of %d in complex %d ends past %zu bytes\n", s,
                       cp->subcomplex_count, cp->complex_id, length);
                return -1;
            }
            const auto *sp = reinterpret_cast<const subcomplex_cfg_t *>(tree + at);
            at += sizeof(subcomplex_cfg_t);
            std::size_t units = sizeof(unit_cfg_t) * sp->unit_count;
            if (length - at < units) {
                dprint(1, "check_status_tree: %d units of subcomplex 0x%x in complex %d end past %zu bytes\n",
                       sp->unit_count, sp->subcomplex_type, cp->complex_id, length);
                return -1;
            }
            at += units;
        }
    }
    return static_cast<int>(at);
}

/* ---- building trees ------------------------------------------------------ */

namespace {

void number_units(subcomplex_cfg_t *sc, int subcomplex_type, int unit_count, int unit_status)
{
    sc->subcomplex_type = static_cast<uint8_t>(subcomplex_type);
    sc->unit_count = static_cast<uint8_t>(unit_count);
    int first_id = subcomplex_type == SC_INPUT_SELECTOR ? 1 : 0;
    for (int i = 0; i < unit_count; ++i) {
        unit_cfg_t *u = unit(sc, i);
        u->unit_id = static_cast<uint8_t>(first_id + i);
        u->unit_status = static_cast<uint8_t>(unit_status);
    }
}

void copy_name(char (&field)[40], const char *text)
{
    std::memset(field, 0, sizeof(field));
    std::strncpy(field, text, sizeof(field) - 1);
}

/* Writes one complex group of the test tree at p; returns the byte after. */
uint8_t *write_fake_complex(uint8_t *p, const FakeComplex &fc)
{
    auto *cp = reinterpret_cast<complex_cfg_t *>(p);
    cp->complex_id = fc.id;
    cp->complex_type = fc.type;
    cp->complex_status = 1;
    cp->subcomplex_count = static_cast<uint8_t>(fc.subcomplexes.size());

    auto *sc = subcomplex(cp, 0);
    for (const FakeSubcomplex &fs : fc.subcomplexes) {
        number_units(sc, fs.type, fs.unit_count, 0);
        std::size_t pattern = status_pattern_length(fs);
        for (int i = 0; i < fs.unit_count; ++i)
            unit(sc, i)->unit_status = fs.statuses[i % pattern];
        if (fs.type == SC_DA_CTL1)
            sc->set_port_id(static_cast<uint16_t>(kControllerPortBase + 2 * fc.id));
        else if (fs.type == SC_DA_CTL2)
            sc->set_port_id(static_cast<uint16_t>(kControllerPortBase + 1 + 2 * fc.id));
        sc = reinterpret_cast<subcomplex_cfg_t *>(unit(sc, fs.unit_count));
    }
    return reinterpret_cast<uint8_t *>(sc);
}

} // namespace

subcomplex_cfg_t *build_dummy_subcomplex(subcomplex_cfg_t *sc, int subcomplex_type, int unit_count,
                                         int unit_status)
{
    dprint(2, "build_dummy_subcomplex: type=0x%x count=%d status=%d\n", subcomplex_type, unit_count, unit_status);
    if (sc == nullptr || unit_count < 0 || unit_count > 255)
        return nullptr;
    number_units(sc, subcomplex_type, unit_count, unit_status);
    return reinterpret_cast<subcomplex_cfg_t *>(unit(sc, unit_count));
}

void build_empty_status_tree()
{
    std::memset(cmic_result, 0, sizeof(cmic_result));
    tree_ptr = reinterpret_cast<cmic_cfg_t *>(cmic_result);
    copy_name(tree_ptr->sysname, "Unknown");
    copy_name(tree_ptr->cabname, "Unknown");
    tree_ptr->complex_count = 1;

    complex_cfg_t *cp = complex(tree_ptr, 0);
    cp->complex_id = kEmptyComplexId;
    cp->complex_type = kEmptyComplexType;
    cp->complex_status = S_UNKNOWN;
    cp->subcomplex_count = static_cast<uint8_t>(kEmptySubcomplexes.size());

    subcomplex_cfg_t *sc = subcomplex(cp, 0);
    for (const SubcomplexShape &shape : kEmptySubcomplexes)
        sc = build_dummy_subcomplex(sc, shape.type, shape.unit_count, S_UNKNOWN);
}

void fake_status_tree()
{
    debug = 5;
    std::memset(cmic_result, 0, sizeof(cmic_result));
    tree_ptr = reinterpret_cast<cmic_cfg_t *>(cmic_result);
    copy_name(tree_ptr->sysname, kFakeSysname);
    copy_name(tree_ptr->cabname, kFakeCabname);
    tree_ptr->complex_count = static_cast<uint8_t>(std::size(kFakeComplexes));

    uint8_t *p = cmic_result + sizeof(cmic_cfg_t);
    /* The trace shows the low 32 bits of each address. */
    dprint(1, "cmic_ptr=0x%x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(tree_ptr)));
    dprint(1, "complex_ptr=0x%x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
    for (const FakeComplex &fc : kFakeComplexes)
        p = write_fake_complex(p, fc);
}

/* ---- the query ----------------------------------------------------------- */

namespace {

/* Keeps the failed answer (at most CMDCMPLT_MAX_LENGTH bytes of it) for
 * status_query_failure and puts the Unknown tree in its place. */
int status_query_failed(const qmx_ecmdcmplt_t *answer, std::size_t length)
{
    failed_length = std::min(length, sizeof failed_answer);
    std::memcpy(failed_answer, answer, failed_length);
    build_empty_status_tree();
    return STATUS_QUERY_FAILED;
}

} // namespace

int take_status_answer(uint8_t *answer, std::size_t length)
{
    /* 1. Too short to be an answer at all: a failed command. */
    qmx_ecmdcmplt_t failed{};
    failed.set_cmd_status(CMIC_CMD_FAILED);
    if (answer == nullptr || length < sizeof(qmx_ecmdcmplt_t)) {
        dprint(1, "take_status_answer: answer of %zu bytes is too short\n", length);
        return status_query_failed(&failed, sizeof(failed));
    }

    /* 2. The cabinet reports a failure. */
    auto *event = reinterpret_cast<qmx_ecmdcmplt_t *>(answer);
    if (event->get_cmd_status() != CMIC_CMD_SUCCESS)
        return status_query_failed(event, length);

    /* 3. The tree must fit both its declared length and the bytes received. */
    std::size_t tree_length = std::min<std::size_t>(event->get_datalen(), length - sizeof(qmx_ecmdcmplt_t));
    if (check_status_tree(event->data(), tree_length) < 0) {
        dprint(1, "take_status_answer: status tree does not fit its %zu bytes\n", tree_length);
        failed.header.set_cabno(event->header.get_cabno());
        return status_query_failed(&failed, sizeof(failed));
    }

    tree_ptr = reinterpret_cast<cmic_cfg_t *>(event->data());
    return STATUS_QUERY_OK;
}

status_query_failure_t status_query_failure()
{
    return {reinterpret_cast<const qmx_ecmdcmplt_t *>(failed_answer), failed_length};
}

int get_cabinet_status(int cab_id)
{
    if (IsTestMode()) {
        dprint(1, "rack_test is returning fake status tree\n");
        fake_status_tree();
        return STATUS_QUERY_OK;
    }

    /* 1. The request: every complex of the cabinet, answered into the
     *    result buffer (cleared, so that a short answer leaves no bytes of
     *    an earlier tree behind). */
    std::memset(cmic_result, 0, sizeof(cmic_result));
    tessel_cmd_t request{};
    request.complex_type = kStatusComplexType;
    request.complex_id = kAllComplexes;
    request.cmdtype = C_STATUS;
    request.resultptr = reinterpret_cast<char *>(cmic_result);
    request.resultlen = kStatusResultLength;

    /* 2. Buffer it; a query that cannot even be queued leaves nothing to
     *    show. */
    if (Send_env_board(cab_id, 0, reinterpret_cast<int *>(&request), CMIC_CMD_MSG, ANOTHER_MESSAGE, ALLCNTLRS) != 0) {
        dprint(1, "Error Detected during cmd buffering\n");
        return STATUS_QUERY_NOT_BUFFERED;
    }

    /* 3. Send and wait; the engine has put the answer (or cmd_status 17)
     *    into the result buffer. */
    Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    return take_status_answer(cmic_result, kStatusResultLength);
}

/* ---- reporting a failed command ------------------------------------------ */

const char *cmic_error_text(uint32_t cmd_status)
{
    return cmd_status <= static_cast<uint32_t>(CMIC_HIGHEST_ERR) ? cmic_error_texts[cmd_status] : kUnknownError;
}

std::string cmdcmplt_err_text(const qmx_ecmdcmplt_t *event, const char *doing_what, std::size_t length)
{
    std::string text = "Unable to ";
    text += doing_what != nullptr ? doing_what : "";
    text += ":";
    if (event == nullptr || length < sizeof(qmx_ecmdcmplt_t)) {
        text += " ";
        text += kUnknownError;
        return text;
    }

    uint32_t status = event->get_cmd_status();
    if (status != CMIC_CMD_FAILED || event->complex_count == 0) {
        text += " ";
        text += cmic_error_text(status);
        return text;
    }

    /* One line per complex, for the records inside the answer. */
    std::size_t room = (length - sizeof(qmx_ecmdcmplt_t)) / sizeof(complex_cmd_status_t);
    std::size_t count = std::min<std::size_t>(event->complex_count, room);
    const auto *records = reinterpret_cast<const complex_cmd_status_t *>(event->data());
    for (std::size_t i = 0; i < count; ++i) {
        text += "\nChassis ";
        text += std::to_string(records[i].complex_id);
        text += " - ";
        text += cmic_error_text(records[i].get_cmd_status());
    }
    return text;
}

