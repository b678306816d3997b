/*
 * portreq.h - borrowing serial ports from the console log daemon and giving
 * them back.
 *
 * Each operation is one round trip: the request goes into the daemon's pipe,
 * the answer (type 11) comes back on this process's reply pipe
 * /var/console/fifos/util_<pid>, which exists only during the request.  The
 * daemon keeps the loans under the request id.  Results: 0 as stated per
 * operation, -1 when the pipes could not be opened or the answer was missing
 * or of another type, -2 when the daemon did not answer in time (30 seconds;
 * 45 for FreeAllMyPorts).
 *
 * Callers: the communication engine (port acquisition at each GO, connection
 * teardown, the fatal-signal port return).
 */
#ifndef XR_DAEMON_PORTREQ_H
#define XR_DAEMON_PORTREQ_H

#include "daemon/fifo.h"

constexpr unsigned PORT_REQUEST_TIMEOUT = 30;
constexpr unsigned FREE_ALL_TIMEOUT = 45;

/* This program's request id: "xrackmon.<pid>". */
extern char get_free_port_id[REQUEST_ID_SIZE];

/* Asks for *count ports (requests[i].Processor filled in).  On 0, *count is
 * the number of answered entries copied back in order (Valid, Processor,
 * Result), never more than the array held. */
int GetManyPorts(const char *requestID, PortRequest_t *requests, int *count);
/* The same to give ports back (type 19). */
int FreeManyPorts(const char *requestID, PortRequest_t *requests, int *count);
/* Gives back every port held under requestID: 0 when the answer begins with
 * "S". */
int FreeAllMyPorts(const char *requestID);
/* Gives one port back (by its node or port name): 0 when the answer begins
 * with "S". */
int FreePort(const char *port, const char *requestID);

/* Asks the daemon to take back every port held under requestID without
 * waiting for its answer: one write of a message built on the stack into
 * the daemon's pipe, no allocation, no alarm, no reply pipe (the daemon's
 * answer finds no reader and is dropped).  Safe inside a signal handler.
 * 0 when the message was written, -1 otherwise (also before any request
 * was made, when no port can be on loan). */
int FreeAllMyPortsNoWait(const char *requestID);

#endif
