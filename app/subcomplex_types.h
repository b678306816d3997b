/*
 * subcomplex_types.h - the subcomplex types of the status tree: the kind of
 * each group of like units (fans, power supplies, boards, ...) inside a
 * complex.  Used by name by the chassis views, the detail report, the
 * substitute trees and the FRU procedures.
 */
#ifndef XR_APP_SUBCOMPLEX_TYPES_H
#define XR_APP_SUBCOMPLEX_TYPES_H

constexpr int SC_TEMP = 1;              /* chassis temperatures */
constexpr int SC_MB = 2;                /* main (management) board */
constexpr int SC_FAN = 3;
constexpr int SC_PWR = 4;               /* power supplies */
constexpr int SC_DA_CTL = 5;            /* disk-array controllers */
constexpr int SC_MB_NET = 6;            /* main board network card */
constexpr int SC_PWR_BACKPANEL = 7;
constexpr int SC_RCMB_SLOTS = 9;        /* board slots of the management chassis */
constexpr int SC_SWITCH = 10;           /* interconnect switch boards */
constexpr int SC_DISK = 11;
constexpr int SC_BAT = 13;
constexpr int SC_BAT2 = 14;
constexpr int SC_AC_INPUT = 15;
constexpr int SC_DA_CTL1 = 16;          /* disk-array controller 1 */
constexpr int SC_DA_CTL2 = 18;          /* disk-array controller 2 */
constexpr int SC_BAT1 = 19;
constexpr int SC_INPUT_SELECTOR = 20;
constexpr int SC_CONV = 21;             /* DC-DC converters */
constexpr int SC_MONI = 22;             /* fuse monitors */
constexpr int SC_POWER_FAN = 23;
constexpr int SC_VR = 24;               /* voltage regulators */
constexpr int SC_NODE_DISK = 25;
constexpr int SC_CPU = 26;
constexpr int SC_CMIC = 27;
constexpr int SC_CHASSIS_VOLTAGE = 28;
constexpr int SC_MEM = 29;              /* memory strips */
constexpr int SC_CPU_TEMP = 30;
constexpr int SC_EXT_PWR = 31;
constexpr int SC_CMIC2 = 32;
constexpr int SC_PCI = 33;
constexpr int SC_INVERTER = 34;
constexpr int SC_CHARGER = 35;
constexpr int SC_RECTIFIER = 36;
constexpr int SC_DC_LINK = 37;
constexpr int SC_GAR_RUMB = 39;         /* main boards of several chassis kinds */
constexpr int SC_BER_RUMB = 41;
constexpr int SC_MDAMC_RUMB = 44;
constexpr int SC_COB_RUMB = 45;
constexpr int SC_UPS_RUMB = 46;
constexpr int SC_CPU_FAN = 47;
constexpr int SC_LOAD = 48;             /* load groups */
constexpr int SC_HUB = 49;              /* mini hubs */
constexpr int SC_ESM = 50;              /* ESM boards */

#endif
