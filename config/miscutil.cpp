/*
 * miscutil.cpp - configuration queries over the node list.
 */
#include "config/miscutil.h"

#include <cctype>
#include <initializer_list>

#include "base/trace.h"
#include "config/config.h"
#include "daemon/message.h"

namespace {

/* The management controller's complex-type codes and the host type each
 * stands for. */
struct ComplexTypeMap {
    int code;
    int host_type;
};
constexpr ComplexTypeMap kComplexTypes[] = {
    {1, 201},  {2, 201},  {37, 201}, {43, 201}, {45, 201}, {47, 201},  {49, 201}, {51, 201},
    {8, 206},  {16, 205}, {36, 205}, {41, 205}, {17, 204}, {35, 204},  {39, 204}, {40, 204},
    {32, 6},   {38, 6},   {33, 7},   {42, 7},   {46, 7},   {34, 208},  {44, 208}, {130, 207},
    {137, 210},
};

/* Complex types that no node stands for. */
constexpr int kNoNodeComplexTypes[] = {131, 132};

/* Sub-types of the processor-cabinet boards: "RM_SMB4", "RM_RUMB_ORN4",
 * "RM_RUMB_TARN", "RM_RUMB_COBALT", "RM_RUMB_GARNET", "RM_RUMB_BERYL". */
constexpr int kProcessorBoardSubTypes[] = {8, 22, 24, 29, 30, 32};

constexpr int kSubTypeQN64G = 21; /* "RM_QN64G" */
constexpr int kEMCHostType = 210;

bool IsOneOf(int host_type, std::initializer_list<int> types);

} // namespace

/* ------------------------------------------------------------------------ */

namespace {

bool IsOneOf(int host_type, std::initializer_list<int> types)
{
    for (int type : types) {
        if (host_type == type)
            return true;
    }
    return false;
}

} // namespace

/* 1. the principal node: the first node of the cabinet that is not a power,
 *    interconnect-controller, server-management, interconnect, board or
 *    management node (QNAS and QNB count only with sub-type RM_QN64G);
 * 2. none: -1; 3. the kind; 4. the host type, folded. */
int get_cabinet_type_info(int cabinet, int *kind)
{
    const Node_t *principal = nullptr;
    for (int i : CabinetNodeIndices(cabinet)) {
        const Node_t *node = NodeList[i];
        if (IsOneOf(node->HostType, {PWR_type, SNP_type, SMC_type, QNA_type, MB_type, CMIC_type}))
            continue;
        if (IsOneOf(node->HostType, {QNAS_type, QNB_type}) && node->SubType != kSubTypeQN64G)
            continue;
        principal = node;
        break;
    }
    if (principal == nullptr) {
        if (kind != nullptr)
            *kind = CABINET_KIND_OLDER;
        return -1;
    }

    if (kind != nullptr)
        *kind = (principal->SubType < SUBTYPE_RM) ? CABINET_KIND_OLDER : CABINET_KIND_RACK_MOUNTED;
    dprint(5, "get_cabinet_type_info: Cab%03d %s %d %s\n", cabinet, NodeText(principal->NodeName),
           principal->HostType, GetSubTypeString(principal->SubType));

    if (principal->HostType == QEP_type)
        return VPR_type;
    if (principal->HostType > NEW_HOSTTYPE_BASE && principal->HostType != EMC_type)
        return principal->SubType == kSubTypeQN64G ? principal->HostType : SMP_type;
    return principal->HostType;
}

int get_cabinet_host_type(int cabinet)
{
    return get_cabinet_type_info(cabinet, nullptr);
}

int get_cabinet_system_id(int cabinet)
{
    std::span<const int> nodes = CabinetNodeIndices(cabinet);
    if (!nodes.empty())
        return NodeNumber(NodeList[nodes.front()]->SystemID);
    dprint(1, "get_cabinet_system_id: node not found for cab=%d\n", cabinet);
    return 0;
}

int IsRMDiskCab(int cabinet)
{
    for (int i : CabinetNodeIndices(cabinet)) {
        const Node_t *node = NodeList[i];
        if (IsOneOf(node->HostType, {PWR_type, SMC_type, QNA_type, QNAS_type, QNB_type, MB_type, CMIC_type}))
            continue;
        return (node->HostType == DAMC_type && node->SubType >= SUBTYPE_RM) ? 1 : 0;
    }
    return 0;
}

int IsRMSMPCab(int cabinet, int *sub_type)
{
    for (int i : CabinetNodeIndices(cabinet)) {
        const Node_t *node = NodeList[i];
        if (node->HostType != MB_type)
            continue;
        for (int board : kProcessorBoardSubTypes) {
            if (node->SubType == board) {
                if (sub_type != nullptr)
                    *sub_type = node->SubType;
                return 1;
            }
        }
    }
    return 0;
}

int GetNodeListIndex(int cabinet, int complex_id, int complex_type)
{
    for (int no_node : kNoNodeComplexTypes) {
        if (complex_type == no_node)
            return -1;
    }
    int host_type = GetComplexType(complex_type);
    for (int i : CabinetNodeIndices(cabinet)) {
        const Node_t *node = NodeList[i];
        if (node->HostType != host_type)
            continue;
        bool older = node->HostType != kEMCHostType && node->SubType < SUBTYPE_RM;
        int number = older ? NodeNumber(node->InterfaceAddress) : NodeNumber(node->ProcessorID);
        if (number == complex_id)
            return i;
    }
    SetSeverity(SEV_WARNING);
    DisplayMsg(nx_msg(NX_SET_QUERIES, 1,
                      "GetNodeListIndex(): could not find a match: cabinet id = %d, complex id = %d, complex type = %d\n"),
               cabinet, complex_id, complex_type);
    return -2;
}

int GetComplexType(int code)
{
    for (const ComplexTypeMap &entry : kComplexTypes) {
        if (entry.code == code)
            return entry.host_type;
    }
    SetSeverity(SEV_WARNING);
    DisplayMsg(nx_msg(NX_SET_QUERIES, 2, "GetComplexType: unknown complex type 0x%x\n"), static_cast<unsigned>(code));
    return 0;
}

/* No check of the characters: any byte counts as its offset from '0' (or
 * from 'a'/'A' plus 10 for letters), as the controllers' replies are
 * trusted to be hexadecimal.  Unsigned arithmetic keeps a long or odd
 * string from overflowing. */
int tohex(const char *text)
{
    unsigned value = 0;
    if (text == nullptr)
        return 0;
    for (const char *p = text; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        unsigned digit;
        if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10u;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10u;
        else
            digit = c - static_cast<unsigned>('0');
        value = value * 16u + digit;
    }
    return static_cast<int>(value);
}
