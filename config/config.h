/*
 * config.h - the in-memory model of the installation: the node list, the
 * type list, the host-type keywords with their codes and the per-kind code
 * variables, the node sub-types, and the look-ups by name and host type.
 *
 * The configuration parser (parsecfg) fills it; the display, the engine, the
 * FRU procedures and the configuration queries (miscutil) read it.  Every
 * re-read of the configuration file rebuilds it: pointers into old nodes die
 * with a re-read.
 */
#ifndef XR_CONFIG_CONFIG_H
#define XR_CONFIG_CONFIG_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

/* ---- Node record ------------------------------------------------------- */

/* A string owned by a node: malloc'd, null when the key was not given. */
struct FreeDeleter {
    void operator()(char *text) const { std::free(text); }
};
using NodeString = std::unique_ptr<char, FreeDeleter>;

constexpr int MAX_ATTACHMENTS = 56;

/* InterfaceType values. */
enum {
    INTERFACE_NOT_GIVEN = -1,
    INTERFACE_UNKNOWN = 0,
    INTERFACE_TELNET = 1,
    INTERFACE_TTY = 2,
    INTERFACE_NONE = 8,
    INTERFACE_SLAN = 10,
};

/* The interconnect word: bit fields from the low end. */
struct YField {
    unsigned shift;
    unsigned width;
};
constexpr YField Y_CONN_TYPE{0, 4};
constexpr YField Y_IS_APEX{4, 1};
constexpr YField Y_CHANNEL{5, 1};
constexpr YField Y_CAB{6, 10};
constexpr YField Y_PORT{16, 2};
constexpr YField Y_SNP{18, 1};
constexpr YField Y_X_CAB{19, 10};
constexpr YField Y_X_PORT{29, 2};
constexpr YField Y_X_SNP{31, 1};
static_assert(Y_X_SNP.shift + Y_X_SNP.width == 32, "the interconnect fields fill one 32-bit word");
static_assert(Y_CONN_TYPE.shift + Y_CONN_TYPE.width == Y_IS_APEX.shift && Y_IS_APEX.shift + 1 == Y_CHANNEL.shift &&
                  Y_CHANNEL.shift + 1 == Y_CAB.shift && Y_CAB.shift + Y_CAB.width == Y_PORT.shift &&
                  Y_PORT.shift + Y_PORT.width == Y_SNP.shift && Y_SNP.shift + 1 == Y_X_CAB.shift &&
                  Y_X_CAB.shift + Y_X_CAB.width == Y_X_PORT.shift && Y_X_PORT.shift + Y_X_PORT.width == Y_X_SNP.shift,
              "the interconnect fields are packed without gaps");

constexpr unsigned YGet(std::uint32_t word, YField field)
{
    return (word >> field.shift) & ((1u << field.width) - 1u);
}
constexpr std::uint32_t YSet(std::uint32_t word, YField field, unsigned value)
{
    std::uint32_t mask = ((1u << field.width) - 1u) << field.shift;
    return (word & ~mask) | ((static_cast<std::uint32_t>(value) << field.shift) & mask);
}

struct Node_t {
    NodeString NodeName;
    NodeString Alias;
    int HostType = 0;
    int SubType = 0;
    int InterfaceType = INTERFACE_NOT_GIVEN;
    NodeString InterfaceAddress;
    NodeString IPNumber;
    NodeString CabinetID;
    NodeString ProcessorID;
    int SCSI_Label[MAX_ATTACHMENTS];
    short MCA_Bus[MAX_ATTACHMENTS];
    short MCA_Slot[MAX_ATTACHMENTS];
    short BusNumber[MAX_ATTACHMENTS];
    short SCSI_ID[MAX_ATTACHMENTS];
    int DEVICE_ID[MAX_ATTACHMENTS];
    std::uint32_t Interconnect = 0; /* YConnType ... YXSNP, see the accessors */
    NodeString RequestID;
    NodeString SystemID;
    NodeString SystemName;
    NodeString CabinetName;

    unsigned YConnType() const { return YGet(Interconnect, Y_CONN_TYPE); }
    unsigned YIsApex() const { return YGet(Interconnect, Y_IS_APEX); }
    unsigned YChannel() const { return YGet(Interconnect, Y_CHANNEL); }
    unsigned YCab() const { return YGet(Interconnect, Y_CAB); }
    unsigned YPort() const { return YGet(Interconnect, Y_PORT); }
    unsigned YSNP() const { return YGet(Interconnect, Y_SNP); }
    unsigned YXCab() const { return YGet(Interconnect, Y_X_CAB); }
    unsigned YXPort() const { return YGet(Interconnect, Y_X_PORT); }
    unsigned YXSNP() const { return YGet(Interconnect, Y_X_SNP); }
    void SetY(YField field, unsigned value) { Interconnect = YSet(Interconnect, field, value); }
};

/* The text of a node string, "" when it was not given. */
inline const char *NodeText(const NodeString &text) { return text ? text.get() : ""; }

/* ---- Node list and type list ------------------------------------------- */

constexpr int NodeListMaxSize = 13312;
constexpr int TypeListMaxSize = 25;

extern Node_t *NodeList[NodeListMaxSize];
extern int NodeCount;

struct ProcessorType_t {
    char *Name;     /* owned */
    char *IconPath; /* owned */
};
extern ProcessorType_t *TypeList[TypeListMaxSize];
extern int TypeCount;

/* Appends a type, taking ownership of both strings (malloc'd).  With the list
 * full: severity-2 message and -1, and the caller still owns the strings.
 * Otherwise the index of the new type. */
int AddType(char *name, char *icon);
void ClearTypeList();

/* Allocates an empty node (every attachment -1, interconnect 0); on failure
 * reports through nxs_malloc and returns null. */
Node_t *NewNode();
/* Destroys a node made by NewNode. */
void FreeNode(Node_t *node);
/* Frees NodeList[index] and leaves a null in its slot. */
void ClearNode(int index);
/* Frees every listed node; NodeCount becomes 0. */
void ClearNodeList();

/* Node order of the list: < 0, 0, > 0 like strcmp. */
int NodeCompare(const Node_t *a, const Node_t *b);
/* Sorts NodeList[0 .. NodeCount-1] by NodeCompare (stable: nodes that
 * compare equal keep the order of the file). */
void SortNodeList();

/* Bumped by every change of the list's membership or order (a node listed,
 * replaced, cleared, the list sorted): look-up tables built over the list
 * are rebuilt when it moves. */
extern unsigned NodeListVersion;

/* Indices of the nodes of one cabinet (decimal CabinetID), in list order;
 * empty when no node has that number.  The table behind it is built once
 * per list version, so that the many per-cabinet queries of a large
 * installation do not each scan and convert the whole list.  Valid until
 * the next change of the list. */
std::span<const int> CabinetNodeIndices(int cabinet);

/* Index of the node named name, else -1.  "DBConsole" stands for the node
 * named by the setting "dbconsole". */
int FindNodeByName(const char *name);

/* ---- Host types --------------------------------------------------------- */

constexpr int HostTypeHashSize = 256;
constexpr int HOSTTYPE_NOT_FOUND = -1;

/* Codes of 200 and above are the newer (rack-mounted) cabinet kinds. */
constexpr int NEW_HOSTTYPE_BASE = 200;

void BuildHostTypeHash();
void ClearHostTypeHash();
/* Upper-cases name in place; returns its code, or -1. */
int GetHostType(char *name);

extern int DISK_type, JBOD_type, VPR_type, QEP_type, APP_type, SNP_type, QNA_type, PWR_type, DAMC_type, SMP_type,
    CMIC_type, FALX_type, JBDP_type, QNAS_type, QNB_type, EMC_type, SMC_type, MB_type;

/* Fills the per-kind variables from the host-type table; returns MB_type+1. */
int get_host_types();

/* ---- Sub-types ----------------------------------------------------------- */

constexpr int HIGHEST_SUBTYPE = 32;
/* Sub-types below this are older-style (not rack-mounted) nodes. */
constexpr int SUBTYPE_RM = 4;

extern const char *const SubType_strs[HIGHEST_SUBTYPE + 1];
extern const char *const GUISubType_strs[HIGHEST_SUBTYPE + 1];

/* Configuration name of a sub-type code ("" outside 0..32). */
const char *GetSubTypeString(int code);
/* Code of a sub-type name or display label (case ignored); -1 for null,
 * 0 when nothing matches. */
int GetNodeSubType(const char *text);

/* "n" -> n; "a,b[,c[,d]]" -> bit mask of the numbers << 8; -2 when a number
 * is outside 0..7; -1 for empty text. */
int GetDeviceId(const char *text);

/* Decimal value of a node's number field (CabinetID, ProcessorID, ...) the
 * way atoi reads it, without atoi's overflow: 0 when not given. */
int NodeNumber(const NodeString &text);
int DecimalValue(const char *text);

#endif
