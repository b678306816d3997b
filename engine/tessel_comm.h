/*
 * tessel_comm.h - the engine's thin layer over libqmx: registration for
 * management-module commands, building and sending a command message,
 * receiving a message, the poll descriptors of the link, and the texts used
 * in traces and messages.
 *
 * The link keeps one process-wide handle, qmx_applid (0 = not
 * initialised).  Callers: the command engine (opening the link for a GO,
 * sending chain entries, reading replies, closing all ports), the status
 * query and the FRU procedures (event registration).
 */
#ifndef XR_ENGINE_TESSEL_COMM_H
#define XR_ENGINE_TESSEL_COMM_H

#include <poll.h>

#include <cstdint>

#include "platform/qmx/qmx.h"

/* A command for a management module, as callers queue it (never sent as
 * is: send_qmx_cmd turns it into a qmx_ecommand_t).  On this host the two
 * pointers make it larger than 16 bytes; chain entries hold it whole. */
struct tessel_cmd_t {
    char *dataptr;           /* command argument bytes */
    char *resultptr;         /* caller's result buffer, or null */
    unsigned short resultlen; /* size of the result buffer */
    unsigned char datalen;   /* number of argument bytes */
    unsigned char complex_type;
    unsigned char complex_id;
    unsigned char subcomplex;
    unsigned char unit;
    unsigned char cmdtype;   /* command code, cmic_cmd_texts */
};

/* Command codes. */
enum {
    C_UNUSED = 0,
    C_STATUS = 1,
    C_POWER_ON = 2,
    C_POWER_OFF = 3,
    C_RESET = 4,
    C_UPDATE_FLASH = 5,
    C_UPDATE_CONFIG = 6,
    C_WRITE_BYTE_STREAM = 7,
    C_REVISION_LEVEL = 8,
    C_MARGIN = 15,
    C_RESCAN = 16,
    C_UPDATE_SEEPROM = 23,
};

/* Command names by cmdtype; anything above CMIC_HIGHEST_CMD is "Unknown". */
constexpr int CMIC_HIGHEST_CMD = 29;
inline constexpr const char *cmic_cmd_texts[CMIC_HIGHEST_CMD + 1] = {
    "UNUSED",           "C_STATUS",        "C_POWER_ON",      "C_POWER_OFF",
    "C_RESET",          "C_UPDATE_FLASH",  "C_UPDATE_CONFIG", "C_WRITE_BYTE_STREAM",
    "C_REVISION_LEVEL", "C_FAN_FAST",      "C_FAN_NORMAL",    "C_MEMORY_DUMP",
    "C_SHUTDOWN",       "C_VC_DATA",       "C_VC_CLOSE",      "C_MARGIN",
    "C_RESCAN",         "C_REQ_CONFIG",    "C_LED",           "C_MANUFACT",
    "C_VC_DATA_OOB",    "C_FCON",          "C_FCOFF",         "C_UPDATE_SEEPROM",
    "C_PWF_STRATEGY",   "C_FW_VERSION",    "C_MB_RLM_RINFO",  "C_MB_RLM_WINFO",
    "C_MLAN_DIAG_TEST", "C_UPS_SELF_TEST",
};

/* Complex names by complex_id; any other id is "Unknown complex". */
struct cmpl_id_str_t {
    unsigned char complex_id;
    const char *name;
};
constexpr int CMPL_ID_INX_MAX = 9;
inline constexpr cmpl_id_str_t cmpl_id_to_str[CMPL_ID_INX_MAX] = {
    {0x00, "CMIC"},  {0x10, "CLC"},   {0x11, "PSC0"},  {0x12, "PSC1"}, {0x80, "SMP00"},
    {0x81, "SMP01"}, {0x82, "SMP10"}, {0x83, "SMP11"}, {0x84, "NET0"},
};

/* The library configuration the program uses. */
qmx_configbuf_t tessel_qmx_config();

/* Size of every receive buffer. */
constexpr int QMX_RECV_SIZE = 8192;

extern int qmx_applid;

/* Initialises the link and registers for commands once.  The number of
 * descriptors to poll (> 0), or 0 on failure. */
int register_for_cmic_cmds();
int get_qmx_applid();
/* Releases the registration and the handle; qmx_applid becomes 0. */
void close_qmx();

/* Sends cmd to cabinet cabno of system sysno: the qmx_sendcmd result
 * (> 0 sent with *sequence set, 0 not alive, < 0 error). */
int send_qmx_cmd(int sysno, int cabno, tessel_cmd_t *cmd, unsigned long *sequence);
/* Sends cmd as an event message with the given header event_type and
 * severity; cmdtype goes into both identity bytes. */
int send_tessel_event(int sysno, int cabno, tessel_cmd_t *cmd, unsigned int event_type, unsigned int severity);
/* Receives one message into buf (QMX_RECV_SIZE bytes), waiting as long as
 * it takes: its length, or < 0. */
int receive_qmx_msg(int fd, char *buf, int *queue_count);
/* Fills pf (room for size entries) with the link's descriptors, events
 * POLLIN | POLLPRI; returns the library's descriptor count (0 on failure). */
int get_qmx_poll_info(struct pollfd *pf, int size);
/* cabno of a message header. */
int GetQmxMsgCabid(const char *msg);

/* Texts.  ascii_qmx_err and TesselCmdToAscii return one static buffer each,
 * overwritten by the next call. */
const char *ascii_qmx_err(int err);
const char *syserr_text(int err);
const char *TesselCmdToAscii(const tessel_cmd_t *cmd);
const char *tessel_complex_id_to_ascii(unsigned char id);
/* Hex and character dump of a buffer at debug level 5. */
void dump_data(const char *label, const unsigned char *p, int len);

#endif
