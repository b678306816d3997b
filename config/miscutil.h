/*
 * miscutil.h - configuration queries about one cabinet: its kind, its
 * system number, whether it is a rack-mounted disk or processor cabinet,
 * and which node stands for a complex that its management controller
 * reports.  Every query walks the cabinet's nodes in list order (those
 * whose decimal CabinetID is the cabinet's, see CabinetNodeIndices); the
 * first matching node decides.
 *
 * Callers: start-up (host type of the cabinet), the rack and chassis views,
 * the engine, the FRU procedures.
 */
#ifndef XR_CONFIG_MISCUTIL_H
#define XR_CONFIG_MISCUTIL_H

/* Cabinet classes returned through get_cabinet_type_info's kind. */
enum {
    CABINET_KIND_OLDER = 0,
    CABINET_KIND_RACK_MOUNTED = 4,
};

/* Host type of the cabinet's principal node (folded to VPR_type / SMP_type
 * for some kinds), -1 when the cabinet has none; kind gets its class. */
int get_cabinet_type_info(int cabinet, int *kind);
int get_cabinet_host_type(int cabinet);
/* Decimal SystemID of the cabinet's first node; 0 when there is none. */
int get_cabinet_system_id(int cabinet);
/* 1 when the cabinet is a rack-mounted disk-array cabinet. */
int IsRMDiskCab(int cabinet);
/* 1 when the cabinet has a processor-cabinet board (MB_type node with one of
 * the processor board sub-types); sub_type receives it. */
int IsRMSMPCab(int cabinet, int *sub_type);
/* Index of the node for a complex of a cabinet; -1 for complex types 131
 * and 132, -2 (with a message) when no node matches. */
int GetNodeListIndex(int cabinet, int complex_id, int complex_type);
/* Host type of a management controller's complex-type code; 0 (with a
 * message) for an unknown code. */
int GetComplexType(int code);
/* Value of a hexadecimal digit string without prefix; "" gives 0. */
int tohex(const char *text);

#endif
