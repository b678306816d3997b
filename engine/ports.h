/*
 * ports.h - the serial ports of the cabinet controllers: borrowing them
 * from the console log daemon at a GO, opening their devices, reclaiming
 * ports that another program holds, and ending the conversations (SP, close,
 * give back).
 *
 * A serial controller's port is kept from one GO to the next until its
 * cabinet's connection is closed (CLOSE_CONNECTION, LAST_MESSAGE) or
 * everything is (CLOSE_ALL_PORTS, exit, a fatal signal).  Loans are made in
 * batches of at most PORT_BATCH requests per message.
 *
 * Callers: Send_env_board (send_env.cpp) at every GO and close; the
 * environmental reads, which may grab every port at once.
 */
#ifndef XR_ENGINE_PORTS_H
#define XR_ENGINE_PORTS_H

#include <string>

#include "config/config.h"
#include "daemon/fifo.h"

/* Requests per loan message. */
constexpr int PORT_BATCH = 20;
/* Refused ports listed by name in the reclaim question; more are "...". */
constexpr int RECLAIM_LIST_LINES = 31;
/* Help tag of the reclaim question. */
constexpr const char *RECLAIM_HELP_TAG = "Comm_Port_Busy";

/* Non-zero: reclaim refused ports without asking (the engine keeps 0). */
extern int ForceFree;

/* Borrows and opens the ports a GO needs: 0, or GETPORT_FAILURE when some
 * could not be had.  Failed controllers get outcome -1 and their block's
 * env_status GETPORT_FAILED or OPENPROC_FAILED. */
int OpenLink();

/* Asks for count ports in batches: 0 all granted, GETPORT_FAILURE some
 * refused, FAILURE daemon unreachable or silent; *got = granted.  A silent
 * daemon is asked to take back every port of this program: afterwards no
 * entry and no controller slot counts as holding one. */
int ourGetManyPorts(PortRequest_t *ports, int count, int *got);
/* Gives count ports back in batches: 0 all freed, FAILURE otherwise (also
 * for a negative count). */
int ourFreeManyPorts(PortRequest_t *ports, int count);
/* Reclaims the refused entries (asking the operator unless force): 0 when
 * every one was reclaimed, FAILURE otherwise. */
int steal_ports(PortRequest_t *ports, int count, int force);
/* The question steal_ports asks about the refused entries. */
std::string ReclaimQuestion(const PortRequest_t *ports, int count);
/* Ends the program that holds `port` when the loan text names a pid
 * ("PID-"); otherwise waits a second.  A port name that could reach the
 * shell as anything but a word is refused. */
void KillProc(const char *loanID, const char *port);
/* Opens the node's device read-write and non-blocking, minimum read count
 * 1 and no read time-out: the descriptor, or -1. */
int OpenProc(const Node_t *node);

/* Ends the conversation with one cabinet: SP to its controllers, events
 * drained when registers were written, devices closed, ports given back. */
void CloseAConnection(int cab_id);
/* Sends SP to every controller whose connection is open, in one GO: the
 * result of the last chaining (0, or -1). */
int SendSPtoAllCabs();
/* Closes every descriptor, gives back the serial ports held and frees the
 * blocks, chains, reply buffers and poll array; NoEnvPBs becomes 1. */
void FreeUpAllPorts();
/* Releases what a fatal signal interrupted: closes the open devices and
 * asks the daemon, without waiting and without allocating, to take back
 * every port of this program.  Safe inside a signal handler. */
void ReleasePortsFromSignal();
/* Queues EP for every serial cabinet and, with issue_GO, runs a GO: every
 * port is borrowed at once. */
void GrabAllPorts(int issue_GO);

#endif
