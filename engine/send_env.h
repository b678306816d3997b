/*
 * send_env.h - the one entry point through which every command reaches
 * cabinet hardware.
 *
 * Callers buffer one or more commands per cabinet (ANOTHER_MESSAGE), then
 * issue one GO: Send_env_board(0, 0, 0, 0, GO, ALLCNTLRS).  The engine then
 * opens the links, sends every controller's chain one command at a time,
 * judges the replies, writes them into the callers' data buffers and
 * returns the number of controllers that ended in error.  A caller's data
 * buffer must stay valid until the GO returns.
 *
 * Callers: the status query, the environmental and UPS reads, the FRU
 * procedures; close_all_ports from start-up's exit paths;
 * release_ports_from_signal from the fatal-signal handler.
 */
#ifndef XR_ENGINE_SEND_ENV_H
#define XR_ENGINE_SEND_ENV_H

#include "engine/env_cmd.h"

/* function 0/1: 0 chained, -1 not; GO/GO_NOWAIT: controllers in error;
 * other functions 0. */
int Send_env_board(int cabinet_id, int env_reg, int *env_data, int cmd, int function, which_cntlr_t which);

/* Buffers and executes one command in a single call: an error_statuses
 * value. */
int send_env_board(int cabinet_id, int env_reg, int *env_data, int cmd, int function);

/* Ends every conversation and releases the engine's links and tables
 * (CLOSE_ALL_PORTS) when tables exist.  Called again from inside the engine
 * (a dialog's nested loop during a GO), it only does what
 * release_ports_from_signal does: the half-changed tables are left alone. */
void close_all_ports();

/* The fatal-signal path, whether the signal interrupted the engine or found
 * it idle: closes the open controller devices and writes one message to the
 * log daemon's pipe that takes back every port of this program
 * (ReleasePortsFromSignal).  No allocation, no lock, no wait; nothing when
 * the engine has no tables.  Async-signal-safe. */
void release_ports_from_signal();


#endif
