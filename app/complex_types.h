/*
 * complex_types.h - the complex types of the status tree: what kind of
 * chassis a management controller reports at each complex (chassis
 * position).  The rack view maps every type to a chassis kind
 * (chassis_types.h) and a chassis view window; the chassis views, the board
 * slots and the detail report tell some of them apart.  The names follow the
 * chassis view windows the types select.
 */
#ifndef XR_APP_COMPLEX_TYPES_H
#define XR_APP_COMPLEX_TYPES_H

constexpr int COMPLEX_DAMC = 32;            /* disk array (da_frame) */
constexpr int COMPLEX_UPS = 33;             /* UPS (ups_frame) */
constexpr int COMPLEX_SERVER_MGMT2 = 34;    /* server management, second kind (sm_frame) */
constexpr int COMPLEX_QNA = 35;             /* interconnect switch A (quonet_frame) */
constexpr int COMPLEX_QNB = 36;             /* interconnect switch B (quonet_frame) */
constexpr int COMPLEX_SMP = 37;             /* node (smp_frame); its presence marks an 8830 cabinet */
constexpr int COMPLEX_MDAMC = 38;           /* disk array with a disk grid (da2_frame) */
constexpr int COMPLEX_QNA16G = 39;          /* 16G interconnect switch (quonet_qna16g_frame) */
constexpr int COMPLEX_QNA64G = 40;          /* 64G interconnect switch A (quonet_qn64g_frame) */
constexpr int COMPLEX_QNB64G = 41;          /* 64G interconnect switch B (quonet_qn64g_frame) */
constexpr int COMPLEX_UPS_DAM = 42;         /* UPS with input selector (ups_dam_frame) */
constexpr int COMPLEX_QUARTZ_NODE = 43;     /* node (quartz_node_frame) */
constexpr int COMPLEX_SERVER_MGMT_2U = 44;  /* 2U server management (sm2u_frame) */
constexpr int COMPLEX_NODE7U = 45;          /* 7U node (node7U_frame) */
constexpr int COMPLEX_UPS_2U = 46;          /* 2U UPS (ups2U_frame) */
constexpr int COMPLEX_COBALT = 47;          /* node (cobalt_frame) */
constexpr int COMPLEX_GARNET = 49;          /* node (garnet_frame) */
constexpr int COMPLEX_BERYL = 51;           /* node (beryl_frame) */
constexpr int COMPLEX_SERVER_MGMT = 0x82;   /* the cabinet's management chassis (sm_frame) */

#endif
