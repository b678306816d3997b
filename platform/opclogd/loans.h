/*
 * loans.h - what the console log daemon stand-in knows and decides: the
 * installation's serial ports, who has borrowed each one, and the answer to
 * every request read from its pipe.
 *
 * A port is a serial line of the installation: a node of the configuration
 * with a serial interface and a device path (InterfaceAddress).  A request
 * names a port by its node name or by its device path; ports are lent per
 * request id.  Another program that holds a port (the serial console
 * program) is recorded with the holder text "<program> PID-<pid>", which a
 * refusal carries so that the requester can reclaim the port.
 *
 * Used by opclogd's main loop and by the tests, which call Serve directly.
 */
#ifndef XR_PLATFORM_OPCLOGD_LOANS_H
#define XR_PLATFORM_OPCLOGD_LOANS_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "daemon/fifo.h"

namespace opclogd {

struct Port {
    std::string node;
    std::string device;
};

class LoanTable {
public:
    /* Adds a port; false when the node name is already listed. */
    bool AddPort(std::string_view node, std::string_view device);
    /* Reads the serial ports from the configuration file at path; false
     * when it could not be read. */
    bool LoadConfiguration(const char *path);

    /* Lends the port to holder.  true with the device path in *result, or
     * false with the reason. */
    bool Grant(std::string_view name, std::string_view holder, std::string *result);
    /* Takes the port back from whoever holds it (a port not on loan counts
     * as given back).  false only for an unknown port. */
    bool Release(std::string_view name, std::string *result);
    /* Takes back every port lent to holder; returns how many. */
    int ReleaseAll(std::string_view holder);
    /* Records that another program (pid) holds the port. */
    bool Hold(std::string_view name, std::string_view program, long pid, std::string *result);

    /* "loan <node> <device> <holder>" per borrowed port, in device order. */
    std::vector<std::string> Loans() const;
    /* "port <node> <device>" per port, in the order added. */
    std::vector<std::string> Ports() const;
    std::size_t LoanCount() const { return holders_.size(); }

private:
    const Port *Find(std::string_view name) const;

    std::vector<Port> ports_;
    std::map<std::string, std::string, std::less<>> holders_; /* device -> holder */
};

/* The daemon's side of one message read from its pipe. */
struct Outcome {
    /* The answer and where it goes (empty address: no answer). */
    std::string reply_address;
    MessagePtr reply;
    /* A line for the log file (log messages), without newline. */
    std::string log_line;
    /* Why a request was refused or ignored, for the daemon's trace. */
    std::string complaint;
};

/* Handles one message of `size` bytes (its whole Length; 48 <= size <=
 * FIFO_MAX_MESSAGE).  Every field is checked against size before use. */
Outcome Serve(LoanTable &table, const char *message, int size);

/* The reply pipe paths the daemon writes to: one name directly under
 * /var/console/fifos/, never its own request pipe. */
bool ReplyAddressAllowed(std::string_view address);

} // namespace opclogd

#endif
