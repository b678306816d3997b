/*
 * status_codes.h - the status codes of the status tree: one byte per complex
 * (complex_status) and per unit (unit_status, PSC_unit_status).  How each
 * code looks (icon, colour scheme, text) is the status table of
 * cabstat_common; the views, the board slots, the substitute trees and the
 * FRU procedures test codes by these names.
 */
#ifndef XR_APP_STATUS_CODES_H
#define XR_APP_STATUS_CODES_H

constexpr int S_OK = 1;
constexpr int S_FAULT = 2;
constexpr int S_MISSING = 3;
constexpr int S_OFF = 4;
constexpr int S_FAN_FAST = 5;
constexpr int S_ACFAIL = 6;
constexpr int S_FAULT2 = 7;
constexpr int S_LOST_HB = 10;      /* lost heartbeat */
constexpr int S_PRESENT = 20;
constexpr int S_TEMP_HOT = 56;
constexpr int S_TEMP_WARM = 57;
constexpr int S_TEMP_NORMAL = 58;
constexpr int S_WARNING = 59;
constexpr int S_BAT_REST = 60;
constexpr int S_BAT_FLOAT = 61;
constexpr int S_BAT_CHARGE = 62;
constexpr int S_BAT_DISCHARGE = 63;
constexpr int S_ACTIVE = 64;
constexpr int S_PASSIVE = 65;
constexpr int S_DUAL_ACTIVE = 66;
constexpr int S_CRITICAL = 69;
constexpr int S_NOCOMM = 71;       /* the chassis does not talk */
constexpr int S_RCMB = 78;         /* board slot: rack management board */
constexpr int S_PTB = 79;          /* board slot: power transfer board */
constexpr int S_UNKNOWN2 = 80;
constexpr int S_UNKNOWN = 84;      /* also the status of the substitute trees */
constexpr int S_FLASH = 90;
constexpr int S_UNUSED = 92;       /* board slot: empty */
constexpr int S_OK2 = 95;
constexpr int S_RUMB = 98;         /* board slot: rack management board, second kind */
constexpr int S_NOCOMM2 = 99;      /* the chassis does not talk, second kind */
constexpr int S_PTBX = 112;        /* board slot: power transfer board, second kind */
constexpr int S_CONFLICT = 133;
constexpr int S_DISABLED = 134;
constexpr int S_MEM_ERR = 139;
/* Pseudo-status of the display: nothing to show. */
constexpr int S_NO_STATUS = 502;

#endif
