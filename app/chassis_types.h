/*
 * chassis_types.h - the chassis kinds of the rack view (chassis_type of a
 * chassis record).  Several complex types map to one kind; the kind decides
 * the chassis picture, the name a board slot gives the chassis and the FRU
 * procedures offered.
 */
#ifndef XR_APP_CHASSIS_TYPES_H
#define XR_APP_CHASSIS_TYPES_H

constexpr short CHASSIS_UNKNOWN = 0;
constexpr short CHASSIS_DISK_ARRAY = 6;
constexpr short CHASSIS_UPS = 7;
constexpr short CHASSIS_NODE = 201;
constexpr short CHASSIS_QNA = 204;
constexpr short CHASSIS_QNB = 205;
constexpr short CHASSIS_SERVER_MGMT = 207;
constexpr short CHASSIS_SERVER_MGMT2 = 208;

#endif
