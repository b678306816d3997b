/*
 * ctl_client.cpp - one statement out, its answer lines back.
 */
#include "platform/ctl/ctl_client.h"

#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

CtlClient::~CtlClient()
{
    Close();
}

void CtlClient::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    pending_.clear();
}

bool CtlClient::Connect(const std::string &path)
{
    Close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) < 0) {
        Close();
        return false;
    }
    return true;
}

bool CtlClient::Exchange(const std::string &statement, std::string *output, int timeout_ms)
{
    if (fd_ < 0)
        return false;
    std::string line = statement + "\n";
    if (send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        std::size_t newline;
        while ((newline = pending_.find('\n')) != std::string::npos) {
            std::string text = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            if (text == "ok")
                return true;
            if (output != nullptr)
                output->append(text).append("\n");
            if (text.rfind("error: ", 0) == 0)
                return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pf{fd_, POLLIN, 0};
        if (poll(&pf, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof(buf), 0);
        if (n <= 0)
            return false;
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}
