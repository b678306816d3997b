/*
 * ctl_client.h - client side of the stand-ins' control channel.
 *
 * cabsim and opclogd each listen on a Unix-domain stream socket for control
 * statements, one per line.  A statement is answered by any number of lines
 * followed by "ok", or by a line beginning "error: ".  The `ctl` commands of
 * both programs and the tests that drive them use this one client.
 */
#ifndef XR_PLATFORM_CTL_CLIENT_H
#define XR_PLATFORM_CTL_CLIENT_H

#include <string>

class CtlClient {
public:
    CtlClient() = default;
    CtlClient(const CtlClient &) = delete;
    CtlClient &operator=(const CtlClient &) = delete;
    ~CtlClient();

    /* Connects to the control socket at `path` (dropping an earlier
     * connection); false when nothing listens there. */
    bool Connect(const std::string &path);
    bool IsConnected() const { return fd_ >= 0; }
    void Close();

    /* Sends `statement` and collects its answer: every line before the
     * closing "ok" is appended to `output` (when given), as is an "error: "
     * line.  True on "ok"; false on an error line, a send failure, a peer
     * that hangs up, or no complete answer within `timeout_ms`. */
    bool Exchange(const std::string &statement, std::string *output, int timeout_ms);

private:
    int fd_ = -1;
    std::string pending_; /* received bytes not yet consumed as lines */
};

#endif
