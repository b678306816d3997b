/*
 * tessel_comm.cpp - the management-module link over libqmx: the process-
 * wide handle, registration, command and event messages, receiving, poll
 * descriptors, and the texts of commands, complexes and library errors.
 * Called by the command engine, the status query and the FRU procedures.
 */
#include "engine/tessel_comm.h"

#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/trace.h"

namespace {

constexpr int kHighestErrno = 161;
constexpr int kMaxPollFds = 64;
constexpr int kBytesPerLine = 16;

char err_text[128];
char cmd_text[256];

qmx_ecommand_t *build_message(int sysno, int cabno, const tessel_cmd_t *cmd, int *length);

} // namespace

int qmx_applid = 0;

qmx_configbuf_t tessel_qmx_config()
{
    qmx_configbuf_t config{};
    config.async_io = 0;
    config.interrupt = 0;
    config.ack_timeout = 10;
    config.maxqueuenum = 760;
    config.maxreadnum = 190;
    config.traceopts.tracelevel = 15;
    config.traceopts.tracesize = 0;
    config.traceopts.tracefile[0] = '\0';
    return config;
}

/* ---- registration ---------------------------------------------------------- */

int register_for_cmic_cmds()
{
    if (qmx_applid != 0)
        return qmx_getfdnum(qmx_applid);

    /* 1. A handle: -1 and odd values are refused. */
    qmx_configbuf_t config = tessel_qmx_config();
    int handle = qmx_init(&config);
    if (handle == -1) {
        dprint(1, "   qmx_init failed :%s\n", ascii_qmx_err(qmx_errno));
        return 0;
    }
    if (handle & 1) {
        dprint(1, "   qmx_init failed : invalid mask\n");
        return 0;
    }

    /* 2. Commands, no filter. */
    if (qmx_register(handle, QMX_SERVICE_COMMANDS, nullptr) < 0) {
        dprint(1, "   qmx_register cmd failed :%s errno=%d\n", ascii_qmx_err(qmx_errno), qmx_errno);
        qmx_close(handle);
        return 0;
    }
    qmx_applid = handle;
    return qmx_getfdnum(handle);
}

int get_qmx_applid()
{
    return qmx_applid;
}

void close_qmx()
{
    if (qmx_applid == 0)
        return;
    int released = qmx_deregister(qmx_applid, QMX_ALL_SERVICES);
    dprint(3, "close_qmx: qmx_deregister returns %d\n", released);
    int closed = qmx_close(qmx_applid);
    dprint(3, "close_qmx: qmx_close returns %d\n", closed);
    qmx_applid = 0;
}

/* ---- sending ----------------------------------------------------------------- */

int send_qmx_cmd(int sysno, int cabno, tessel_cmd_t *cmd, unsigned long *sequence)
{
    int length = 0;
    qmx_ecommand_t *msg = build_message(sysno, cabno, cmd, &length);
    msg->header.set_event_type(QMX_EVENT_COMMAND);
    dump_data("send_qmx_cmd", reinterpret_cast<const unsigned char *>(msg), length);
    int result = qmx_sendcmd(qmx_applid, msg, length, sequence);
    std::free(msg);
    if (result == 0)
        dprint(1, "   qmx_sendcmd failed : CMIC not alive\n");
    else if (result < 0)
        dprint(1, "   qmx_sendcmd failed :%s\n", ascii_qmx_err(qmx_errno));
    return result;
}

int send_tessel_event(int sysno, int cabno, tessel_cmd_t *cmd, unsigned int event_type, unsigned int severity)
{
    int length = 0;
    qmx_ecommand_t *built = build_message(sysno, cabno, cmd, &length);
    auto *msg = reinterpret_cast<qmx_etessel_t *>(built);
    msg->header.set_event_type(event_type);
    msg->header.set_severity(severity);
    msg->event_type = cmd->cmdtype;
    msg->subevent_type = cmd->cmdtype;
    dump_data("send_tessel_event", reinterpret_cast<const unsigned char *>(msg), length);
    int result = qmx_sendcmd(qmx_applid, msg, length, nullptr);
    std::free(msg);
    if (result == 0)
        dprint(1, "   qmx_sendcmd failed : CMIC not alive\n");
    else if (result < 0)
        dprint(1, "   qmx_sendcmd failed :%s\n", ascii_qmx_err(qmx_errno));
    return result;
}

/* ---- receiving --------------------------------------------------------------- */

int receive_qmx_msg(int fd, char *buf, int *queue_count)
{
    buf[0] = '0';
    int n = qmx_recvmsg(qmx_applid, buf, QMX_RECV_SIZE, -1, queue_count);
    if (n < 0)
        dprint(1, "qmx_recvmsg error: fd=%d %s\n", fd, ascii_qmx_err(qmx_errno));
    else
        dump_data("receive_qmx_msg", reinterpret_cast<const unsigned char *>(buf), n);
    return n;
}

int get_qmx_poll_info(struct pollfd *pf, int size)
{
    int count = qmx_getfdnum(qmx_applid);
    if (count < 1)
        return count < 0 ? 0 : count;
    if (count > kMaxPollFds)
        count = kMaxPollFds;
    int fds[kMaxPollFds];
    int got = qmx_getfd(qmx_applid, fds);
    if (got != count) {
        dprint(1, "   qmx_getfd failed : return=%d, %s\n", got, ascii_qmx_err(qmx_errno));
        return 0;
    }
    for (int i = 0; i < count && i < size; ++i) {
        pf[i].fd = fds[i];
        pf[i].events = POLLIN | POLLPRI;
        pf[i].revents = 0;
    }
    return count;
}

int GetQmxMsgCabid(const char *msg)
{
    return reinterpret_cast<const qmx_event_t *>(msg)->get_cabno();
}

/* ---- texts ------------------------------------------------------------------- */

const char *ascii_qmx_err(int err)
{
    if (err == QMX_ETIMEOUT) {
        std::snprintf(err_text, sizeof(err_text), "QMX_ETIMEOUT");
        return err_text;
    }
    switch (qmx_errno) {
    case QMX_ETRUNC: std::snprintf(err_text, sizeof(err_text), "QMX_ETRUNC"); break;
    case QMX_ENODATA: std::snprintf(err_text, sizeof(err_text), "QMX_ENODATA"); break;
    case QMX_ENOSERVICE: std::snprintf(err_text, sizeof(err_text), "QMX_ENOSERVICE"); break;
    case QMX_ETIMEOUT: std::snprintf(err_text, sizeof(err_text), "QMX_ETIMEOUT"); break;
    case QMX_EBADCONN: std::snprintf(err_text, sizeof(err_text), "QMX_EBADCONN"); break;
    case QMX_ESYS: std::snprintf(err_text, sizeof(err_text), "%s: %s", "QMX_ESYS", syserr_text(errno)); break;
    default: std::snprintf(err_text, sizeof(err_text), "qmx_errno=%d", qmx_errno); break;
    }
    return err_text;
}

const char *syserr_text(int err)
{
    if (err < 0 || err > kHighestErrno)
        return "unknown errno";
    return std::strerror(err);
}

const char *TesselCmdToAscii(const tessel_cmd_t *cmd)
{
    const char *name = cmd->cmdtype <= CMIC_HIGHEST_CMD ? cmic_cmd_texts[cmd->cmdtype] : "Unknown";
    /* Addresses print as their low 32 bits. */
    std::snprintf(cmd_text, sizeof(cmd_text),
                  "cmd=%s(%x) sub=%x unit=%x cmpl_t=%x cmpl_id=%x datalen=%x dataptr=%x resultlen=%x resultptr=%x",
                  name, cmd->cmdtype, cmd->subcomplex, cmd->unit, cmd->complex_type, cmd->complex_id,
                  cmd->datalen, static_cast<unsigned>(reinterpret_cast<uintptr_t>(cmd->dataptr)), cmd->resultlen,
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(cmd->resultptr)));
    return cmd_text;
}

const char *tessel_complex_id_to_ascii(unsigned char id)
{
    for (const cmpl_id_str_t &entry : cmpl_id_to_str)
        if (entry.complex_id == id)
            return entry.name;
    return "Unknown complex";
}

void dump_data(const char *label, const unsigned char *p, int len)
{
    /* Every line is a level-5 trace: below it there is nothing to format. */
    if (debug < 5)
        return;
    dprint(5, "%s: ptr=0x%x len=%d(0x%x)\n", label, static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)), len,
           static_cast<unsigned>(len));
    if (p == nullptr)
        return;
    for (int line = 0; line * kBytesPerLine < len; ++line) {
        char hex[kBytesPerLine * 3 + 2] = "";
        char chars[kBytesPerLine + 1] = "";
        int used = 0;
        for (int i = 0; i < kBytesPerLine && line * kBytesPerLine + i < len; ++i) {
            unsigned char byte = p[line * kBytesPerLine + i];
            used += std::snprintf(hex + used, sizeof(hex) - used, i == 8 ? " %02x " : "%02x ", byte);
            chars[i] = (byte >= 32 && byte <= 126) ? static_cast<char>(byte) : '.';
            chars[i + 1] = '\0';
        }
        dprint(5, "  (%02x0)  %-49s %s\n", line, hex, chars);
    }
}

/* ------------------------------------------------------------------------ */

namespace {

/* The command message for cmd: header, cmdtype, datalen and the argument
 * bytes (datalen + 24 bytes, malloc'd; exhausted memory is fatal). */
qmx_ecommand_t *build_message(int sysno, int cabno, const tessel_cmd_t *cmd, int *length)
{
    *length = static_cast<int>(sizeof(qmx_ecommand_t)) + cmd->datalen;
    auto *msg = static_cast<qmx_ecommand_t *>(std::calloc(1, static_cast<std::size_t>(*length)));
    assert(msg != nullptr);
    if (msg == nullptr)
        std::abort();
    msg->header.set_severity(0);
    msg->header.set_timestamp(0);
    msg->header.set_cabno(static_cast<uint16_t>(cabno));
    msg->header.sysno = static_cast<uint8_t>(sysno);
    msg->header.complex_type = cmd->complex_type;
    msg->header.complex_id = cmd->complex_id;
    msg->header.subcomplex = cmd->subcomplex;
    msg->header.unit = cmd->unit;
    msg->cmdtype = cmd->cmdtype;
    msg->set_datalen(cmd->datalen);
    if (cmd->datalen != 0 && cmd->dataptr != nullptr)
        std::memcpy(msg->data(), cmd->dataptr, cmd->datalen);
    return msg;
}

} // namespace
