/*
 * config.cpp - node list, type list, host-type keywords and per-kind codes,
 * sub-type table, node order and the look-ups by name.
 *
 * Called by the configuration parser (parsecfg) while it builds the model,
 * and by every module that asks about nodes afterwards.
 */
#include "config/config.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define XR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XR_ASAN 1
#endif
#endif
#if defined(XR_ASAN)
#include <sanitizer/asan_interface.h>
#endif

#include "base/trace.h"
#include "config/parsecfg.h"
#include "config/table.h"
#include "daemon/message.h"

namespace {

struct HostTypeKeyword {
    const char *name;
    int code;
};

/* The host-type keywords, in the order they are entered into the table. */
constexpr HostTypeKeyword kHostTypes[] = {
    {"APP", 0},    {"VPR", 1},    {"SNP", 2},    {"DAC", 3},     {"JBOD", 4},    {"QEP", 5},
    {"DAMC", 6},   {"PWR", 7},    {"QNA", 8},    {"SMP", 201},   {"FALX", 203},  {"CMIC", 207},
    {"JBDP", 202}, {"QNAS", 204}, {"QNB", 205},  {"DARC", 206},  {"EMC", 210},   {"SMC", 208},
    {"MB", 211},   {"QNA16G", 213}, {"QNA64G", 214}, {"QNB64G", 215},
};
static_assert(sizeof kHostTypes / sizeof kHostTypes[0] == 22);

/* One host-type table entry: an upper-case name and its code, chained per
 * bucket.  The first entry of a bucket lives in the bucket itself. */
struct HostTypeEntry {
    const char *name = nullptr; /* points into kHostTypes (upper case already) */
    int code = 0;
    HostTypeEntry *next = nullptr;
};

/* HostTypeHashSize buckets, allocated once for the life of the process. */
HostTypeEntry *HostTypeHash = nullptr;

struct HostKind {
    int *variable;
    const char *keyword; /* name in the host-type table */
    const char *label;   /* name in "Cannot determine HostType for ..." */
};

constexpr int kUnsetHostType = 255;

int HostTypeBucket(const char *upper_name);
void AddHostType(const char *name, int code);

} // namespace

Node_t *NodeList[NodeListMaxSize];
int NodeCount = 0;
unsigned NodeListVersion = 0;
ProcessorType_t *TypeList[TypeListMaxSize];
int TypeCount = 0;

int DISK_type = kUnsetHostType, JBOD_type = kUnsetHostType, VPR_type = kUnsetHostType, QEP_type = kUnsetHostType,
    APP_type = kUnsetHostType, SNP_type = kUnsetHostType, QNA_type = kUnsetHostType, PWR_type = kUnsetHostType,
    DAMC_type = kUnsetHostType, SMP_type = kUnsetHostType, CMIC_type = kUnsetHostType, FALX_type = kUnsetHostType,
    JBDP_type = kUnsetHostType, QNAS_type = kUnsetHostType, QNB_type = kUnsetHostType, EMC_type = kUnsetHostType,
    SMC_type = kUnsetHostType, MB_type = kUnsetHostType;

const char *const SubType_strs[HIGHEST_SUBTYPE + 1] = {
    "NONE",          "SMP4",          "SMP8",         "SMP32",        "RM",            "RM_SMP4",
    "RM_SMP8",       "RM_SMP32",      "RM_SMB4",      "RM_SMB8",      "RM_SMB32",      "RM_CMB_QNAS",
    "RM_CMB_QNB",    "RM_RCMB_DAMC",  "RM_RCMB_UPS",  "RM_CMBR",      "RM_RCMB_MDAMC", "RM_MDAMC",
    "RM_CMB_QN64",   "RM_CMB_QN16",   "RM_QN16G",     "RM_QN64G",     "RM_RUMB_ORN4",  "RM_RCMB_ISUPS",
    "RM_RUMB_TARN",  "RM_RUMB_MDAMC", "RM_RUMB_DAMC", "RM_CMIC3",     "RM_RUMB_UPS",   "RM_RUMB_COBALT",
    "RM_RUMB_GARNET", "RM_SMP2",      "RM_RUMB_BERYL",
};

const char *const GUISubType_strs[HIGHEST_SUBTYPE + 1] = {
    "",         "4WAY",     "8WAY",         "32WAY",    "RM",           "RM 4WAY",
    "RM 8WAY",  "RM 32WAY", "4 WAY",        "8 WAY",    "",             "QNAS",
    "QNB",      "DAMC",     "PWR",          "CMIC",     "Mod DAMC",     "Modular",
    "QN64G",    "QNA16G",   "QNA16G",       "QN64G",    "RM Orn 4",     "PWR w/ Input Sel.",
    "RM Tarn",  "DAMC UMB", "Mod DAMC UMB", "CMIC3",    "RUMB UPS",     "RM Cobalt",
    "RM Garnet", "RM 2WAY", "RM Beryl",
};

/* ------------------------------------------------------------------------ */
/* Numbers */

int DecimalValue(const char *text)
{
    if (text == nullptr)
        return 0;
    errno = 0;
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int NodeNumber(const NodeString &text)
{
    return DecimalValue(text.get());
}

/* ------------------------------------------------------------------------ */
/* Type list */

int AddType(char *name, char *icon)
{
    if (TypeCount >= TypeListMaxSize) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 12, "AddType: Number of types = %d exceeds maximum\n"), TypeCount + 1);
        return -1;
    }
    auto *type = static_cast<ProcessorType_t *>(nxs_malloc(sizeof(ProcessorType_t)));
    if (type == nullptr)
        return -1;
    type->Name = name;
    type->IconPath = icon;
    TypeList[TypeCount] = type;
    return TypeCount++;
}

void ClearTypeList()
{
    for (int i = 0; i < TypeCount; ++i) {
        if (TypeList[i] != nullptr) {
            std::free(TypeList[i]->Name);
            std::free(TypeList[i]->IconPath);
            std::free(TypeList[i]);
            TypeList[i] = nullptr;
        }
    }
    TypeCount = 0;
}

/* ------------------------------------------------------------------------ */
/* Nodes */

/* Nodes live in slabs of kNodesPerSlab that are kept for the life of the
 * process and reused by the next parse.  A node is larger than what the C
 * library keeps in its quick per-size caches, and allocating thousands of
 * them one by one between the small strings of each record made the
 * allocator consolidate its free lists for every node. */
namespace {

constexpr int kNodesPerSlab = 256;

union NodeSlot {
    NodeSlot *next_free;
    alignas(Node_t) unsigned char storage[sizeof(Node_t)];
};

NodeSlot *free_node_slots = nullptr;

/* A freed slot is poisoned for the address sanitizer (all but its free-list
 * link), so that a pointer kept across a re-read is still caught. */
void PoisonSlot(NodeSlot *slot)
{
#if defined(XR_ASAN)
    ASAN_POISON_MEMORY_REGION(slot->storage + sizeof(NodeSlot *), sizeof(NodeSlot) - sizeof(NodeSlot *));
#else
    (void)slot;
#endif
}

void UnpoisonSlot(NodeSlot *slot)
{
#if defined(XR_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(slot, sizeof(NodeSlot));
#else
    (void)slot;
#endif
}

bool GrowNodePool()
{
    auto *slab = static_cast<NodeSlot *>(nxs_malloc(sizeof(NodeSlot) * kNodesPerSlab));
    if (slab == nullptr)
        return false;
    for (int i = kNodesPerSlab - 1; i >= 0; --i) {
        slab[i].next_free = free_node_slots;
        free_node_slots = &slab[i];
        PoisonSlot(&slab[i]);
    }
    return true;
}

} // namespace

Node_t *NewNode()
{
    if (free_node_slots == nullptr && !GrowNodePool())
        return nullptr;
    NodeSlot *slot = free_node_slots;
    UnpoisonSlot(slot);
    free_node_slots = slot->next_free;
    Node_t *node = new (slot->storage) Node_t;
    for (int i = 0; i < MAX_ATTACHMENTS; ++i) {
        node->SCSI_Label[i] = -1;
        node->MCA_Bus[i] = -1;
        node->MCA_Slot[i] = -1;
        node->BusNumber[i] = -1;
        node->SCSI_ID[i] = -1;
        node->DEVICE_ID[i] = -1;
    }
    return node;
}

void FreeNode(Node_t *node)
{
    if (node == nullptr)
        return;
    node->~Node_t();
    auto *slot = reinterpret_cast<NodeSlot *>(node);
    slot->next_free = free_node_slots;
    free_node_slots = slot;
    PoisonSlot(slot);
}

void ClearNode(int index)
{
    if (index < 0 || index >= NodeListMaxSize)
        return;
    FreeNode(NodeList[index]);
    NodeList[index] = nullptr;
    ++NodeListVersion;
}

void ClearNodeList()
{
    for (int i = 0; i < NodeCount; ++i)
        ClearNode(i);
    NodeCount = 0;
    ++NodeListVersion;
}

namespace {

/* What the node order looks at, read once per node: the numbers are decimal
 * text in the node, and converting them in every comparison would cost more
 * than the sort itself. */
struct NodeSortKey {
    int cabinet;
    int processor;
    const char *processor_text;
    int host_type;
    int sub_type;
    Node_t *node;
};

NodeSortKey SortKeyOf(Node_t *node)
{
    return NodeSortKey{NodeNumber(node->CabinetID), NodeNumber(node->ProcessorID), NodeText(node->ProcessorID),
                       node->HostType, node->SubType, node};
}

/* The node order:
 *  1. by decimal CabinetID;
 *  2. a newer-kind node of the older style (HostType > 200, SubType < 4):
 *     by HostType, then by ProcessorID as text;
 *  3. an older node (SubType < 4): by ProcessorID as text;
 *  4. a rack-mounted node: by the decimal ProcessorID (divided by 10 for
 *     host type 6, whose processor numbers carry the array's slot in the
 *     last digit); equal keys of two host-type-6 nodes by that last digit,
 *     other equal keys by HostType. */
int CompareKeys(const NodeSortKey &a, const NodeSortKey &b)
{
    if (a.cabinet != b.cabinet)
        return a.cabinet < b.cabinet ? -1 : 1;

    if (a.host_type > NEW_HOSTTYPE_BASE && a.sub_type < SUBTYPE_RM) {
        if (a.host_type != b.host_type)
            return a.host_type < b.host_type ? -1 : 1;
        return std::strcmp(a.processor_text, b.processor_text);
    }
    if (a.sub_type < SUBTYPE_RM)
        return std::strcmp(a.processor_text, b.processor_text);

    constexpr int kDiskArrayHostType = 6;
    int key_a = (a.host_type == kDiskArrayHostType) ? a.processor / 10 : a.processor;
    int key_b = (b.host_type == kDiskArrayHostType) ? b.processor / 10 : b.processor;
    if (key_a != key_b)
        return key_a < key_b ? -1 : 1;
    if (a.host_type == kDiskArrayHostType && b.host_type == kDiskArrayHostType) {
        int slot_a = a.processor % 10, slot_b = b.processor % 10;
        return (slot_a > slot_b) - (slot_a < slot_b);
    }
    return (a.host_type > b.host_type) - (a.host_type < b.host_type);
}

} // namespace

int NodeCompare(const Node_t *a, const Node_t *b)
{
    return CompareKeys(SortKeyOf(const_cast<Node_t *>(a)), SortKeyOf(const_cast<Node_t *>(b)));
}

/* The order above is not symmetric (steps 2 and 3 look at the first node
 * only), so it is not a strict weak order for every file.  A merge sort stays
 * inside the list whatever the comparison answers; a quicksort might not. */
void SortNodeList()
{
    std::vector<NodeSortKey> keys;
    keys.reserve(static_cast<std::size_t>(NodeCount));
    for (int i = 0; i < NodeCount; ++i) {
        if (NodeList[i] != nullptr)
            keys.push_back(SortKeyOf(NodeList[i]));
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const NodeSortKey &a, const NodeSortKey &b) { return CompareKeys(a, b) < 0; });
    for (std::size_t i = 0; i < keys.size(); ++i)
        NodeList[i] = keys[i].node;
    NodeCount = static_cast<int>(keys.size());
    ++NodeListVersion;
}

namespace {

/* The nodes of every cabinet, grouped: `order` holds node indices sorted by
 * cabinet number (list order inside a cabinet), `groups` one entry per
 * cabinet number with its run in `order`.  `listed` is the list as it was
 * when built, to notice a list changed behind the version's back. */
struct CabinetGroup {
    int cabinet;
    int first;
    int count;
};
struct CabinetTable {
    bool built = false;
    unsigned version = 0;
    std::vector<int> order;
    std::vector<CabinetGroup> groups;
    std::vector<const Node_t *> listed;
};
CabinetTable cabinet_table;

void BuildCabinetTable()
{
    CabinetTable &t = cabinet_table;
    std::vector<std::pair<int, int>> keyed;
    keyed.reserve(static_cast<std::size_t>(NodeCount));
    t.listed.assign(NodeList, NodeList + NodeCount);
    for (int i = 0; i < NodeCount; ++i)
        if (NodeList[i] != nullptr)
            keyed.emplace_back(NodeNumber(NodeList[i]->CabinetID), i);
    std::sort(keyed.begin(), keyed.end());
    t.order.clear();
    t.groups.clear();
    for (const auto &[cabinet, index] : keyed) {
        if (t.groups.empty() || t.groups.back().cabinet != cabinet)
            t.groups.push_back(CabinetGroup{cabinet, static_cast<int>(t.order.size()), 0});
        t.order.push_back(index);
        ++t.groups.back().count;
    }
    t.version = NodeListVersion;
    t.built = true;
}

bool CabinetTableCurrent()
{
    const CabinetTable &t = cabinet_table;
    return t.built && t.version == NodeListVersion && t.listed.size() == static_cast<std::size_t>(NodeCount);
}

} // namespace

std::span<const int> CabinetNodeIndices(int cabinet)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1 || !CabinetTableCurrent())
            BuildCabinetTable();
        const CabinetTable &t = cabinet_table;
        auto group = std::lower_bound(t.groups.begin(), t.groups.end(), cabinet,
                                      [](const CabinetGroup &g, int number) { return g.cabinet < number; });
        if (group == t.groups.end() || group->cabinet != cabinet)
            return {};
        std::span<const int> nodes(t.order.data() + group->first, static_cast<std::size_t>(group->count));
        bool same = true;
        for (int index : nodes)
            same = same && NodeList[index] == t.listed[static_cast<std::size_t>(index)];
        if (same)
            return nodes;
    }
    return {};
}

int FindNodeByName(const char *name)
{
    if (name == nullptr)
        return -1;
    if (std::strcmp(name, "DBConsole") == 0) {
        name = GetValue("DBConsole", 0);
        if (name == nullptr) {
            dprint(3, "DBConsole not defined\n");
            return -1;
        }
    }
    for (int i = 0; i < NodeCount; ++i) {
        if (NodeList[i] != nullptr && NodeList[i]->NodeName && std::strcmp(NodeList[i]->NodeName.get(), name) == 0)
            return i;
    }
    return -1;
}

/* ------------------------------------------------------------------------ */
/* Host types */

namespace {

int HostTypeBucket(const char *upper_name)
{
    int sum = 0;
    for (const char *p = upper_name; *p != '\0'; ++p)
        sum += static_cast<signed char>(*p);
    return ((sum % HostTypeHashSize) + HostTypeHashSize) % HostTypeHashSize;
}

void AddHostType(const char *name, int code)
{
    HostTypeEntry &bucket = HostTypeHash[HostTypeBucket(name)];
    if (bucket.name == nullptr) {
        bucket.name = name;
        bucket.code = code;
        return;
    }
    HostTypeEntry *last = &bucket;
    while (last->next != nullptr)
        last = last->next;
    last->next = new (std::nothrow) HostTypeEntry{name, code, nullptr};
    if (last->next == nullptr) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_MEMORY, 1, "Cannot malloc %d bytes\n"), static_cast<int>(sizeof(HostTypeEntry)));
    }
}

} // namespace

void BuildHostTypeHash()
{
    if (!HostTypeHash)
        HostTypeHash = new (std::nothrow) HostTypeEntry[HostTypeHashSize];
    if (!HostTypeHash) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_MEMORY, 1, "Cannot malloc %d bytes\n"),
                   static_cast<int>(sizeof(HostTypeEntry) * HostTypeHashSize));
        return;
    }
    ClearHostTypeHash();
    for (const HostTypeKeyword &keyword : kHostTypes)
        AddHostType(keyword.name, keyword.code);
}

void ClearHostTypeHash()
{
    if (!HostTypeHash)
        return;
    for (int i = 0; i < HostTypeHashSize; ++i) {
        HostTypeEntry *entry = HostTypeHash[i].next;
        while (entry != nullptr) {
            HostTypeEntry *next = entry->next;
            delete entry;
            entry = next;
        }
        HostTypeHash[i] = HostTypeEntry{};
    }
}

int GetHostType(char *name)
{
    if (name == nullptr) {
        SetSeverity(SEV_ERROR);
        DisplayMsg("%s", nx_msg(NX_SET_CONFIG, 13, "GetHostType : Invalid HostType\n"));
        return HOSTTYPE_NOT_FOUND;
    }
    for (char *p = name; *p != '\0'; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if (!HostTypeHash)
        return HOSTTYPE_NOT_FOUND;
    for (const HostTypeEntry *entry = &HostTypeHash[HostTypeBucket(name)]; entry != nullptr; entry = entry->next) {
        if (entry->name != nullptr && std::strcmp(entry->name, name) == 0)
            return entry->code;
    }
    return HOSTTYPE_NOT_FOUND;
}

int get_host_types()
{
    const HostKind kinds[] = {
        {&DISK_type, "DAC", "DiskArray"}, {&JBOD_type, "JBOD", "JBOD"}, {&VPR_type, "VPR", "VPR"},
        {&QEP_type, "QEP", "QEP"},        {&APP_type, "APP", "APP"},    {&SNP_type, "SNP", "SNP"},
        {&QNA_type, "QNA", "QNA"},        {&PWR_type, "PWR", "PWR"},    {&DAMC_type, "DAMC", "DAMC"},
        {&SMP_type, "SMP", "SMP"},        {&CMIC_type, "CMIC", "CMIC"}, {&FALX_type, "FALX", "FALX"},
        {&JBDP_type, "JBDP", "JBDP"},     {&QNAS_type, "QNAS", "QNAS"}, {&QNB_type, "QNB", "QNB"},
        {&EMC_type, "EMC", "EMC"},        {&SMC_type, "SMC", "SMC"},    {&MB_type, "MB", "MB"},
    };
    for (const HostKind &kind : kinds) {
        char name[8];
        std::snprintf(name, sizeof name, "%s", kind.keyword);
        *kind.variable = kUnsetHostType;
        *kind.variable = GetHostType(name);
        if (*kind.variable == HOSTTYPE_NOT_FOUND)
            dprint(1, "Cannot determine HostType for %s", kind.label);
        dprint(1, "\n\t%s\ttype:\t%d", kind.keyword, *kind.variable);
    }
    dprint(1, "\n");
    return MB_type + 1;
}

/* ------------------------------------------------------------------------ */
/* Sub-types and device ids */

const char *GetSubTypeString(int code)
{
    if (code < 0 || code > HIGHEST_SUBTYPE)
        return "";
    return SubType_strs[code];
}

int GetNodeSubType(const char *text)
{
    if (text == nullptr)
        return -1;
    for (int code = 0; code <= HIGHEST_SUBTYPE; ++code) {
        if (strcasecmp(text, SubType_strs[code]) == 0 || strcasecmp(text, GUISubType_strs[code]) == 0)
            return code;
    }
    dprint(3, "GetNodeSubType: unknown subtype %s (line %d)\n", text, LineNumber);
    return 0;
}

int GetDeviceId(const char *text)
{
    if (text == nullptr || *text == '\0')
        return -1;
    constexpr int kMaxIds = 4;
    constexpr int kHighestId = 7;
    int ids[kMaxIds];
    int count = 0;
    const char *p = text;
    while (count < kMaxIds) {
        int id = DecimalValue(p);
        if (id < 0 || id > kHighestId)
            return -2;
        ids[count++] = id;
        p = std::strchr(p, ',');
        if (p == nullptr)
            break;
        ++p;
    }
    if (count == 1)
        return ids[0];
    int mask = 0;
    for (int i = 0; i < count; ++i)
        mask |= 1 << ids[i];
    return mask << 8;
}
