/*
 * rack_state.cpp - storage of the cabinet window's process state
 * (rack_state.h), with the values the program starts with.
 */
#include "app/rack_state.h"

const char *ConfigFilename = DEFAULT_CONFIG_FILE;
long cfg_file_mtime = 0;
int CabinetID = 0;
int HostType = 0;
int fru_replace_flag = NO_FRU_FUNCTION;
char widget_title[WIDGET_TITLE_SIZE] = "Cabinet Status";
int current_chassis = 1;
int DetailBoxUp = 0;
volatile std::sig_atomic_t num_of_times = 0;
