/*
 * chassis_table.cpp - storage of the chassis table (chassis_table.h).
 */
#include "app/chassis_table.h"

s_cab_chassis_rec chassis_rec[MAX_CHASSIS + 1];
int chassis_cnt = 0;
int SscType = 0;
