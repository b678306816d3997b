/*
 * loans.cpp - the port table, the loan rules and the answer to each request
 * (see loans.h).  Nothing here trusts a byte of a message before checking it
 * against the message's size.
 */
#include "platform/opclogd/loans.h"

#include <cstring>
#include <ctime>
#include <type_traits>

#include "config/config.h"
#include "config/read_config.h"

namespace opclogd {

namespace {

constexpr std::string_view kUnknownPort = "No such port";
constexpr std::string_view kNoRequestId = "No request id";
constexpr std::string_view kInUseBy = "In use by ";
constexpr std::string_view kDaemonPipeName = "nxlogd_FIFO";

/* The first `need` bytes of a record (at most its size; the rest zero),
 * when the message holds them. */
template <typename Record>
bool ReadRecord(const char *message, int size, Record *record, int need = sizeof(Record))
{
    static_assert(std::is_trivially_copyable_v<Record>);
    if (need > static_cast<int>(sizeof(Record)) || size < need)
        return false;
    std::memset(static_cast<void *>(record), 0, sizeof(Record));
    std::memcpy(static_cast<void *>(record), message, static_cast<std::size_t>(need));
    return true;
}

MessagePtr TextAnswer(const std::string &address, const std::string &text)
{
    return MessagePtr(BuildTextMessage(address.c_str(), text.c_str()));
}

void ServeManyPorts(LoanTable &table, const char *message, int size, int type, Outcome *out);
void ServeFreePort(LoanTable &table, const char *message, int size, Outcome *out);
void ServeFreeAll(LoanTable &table, const char *message, int size, Outcome *out);
void ServeLog(const char *message, int size, Outcome *out);

} // namespace

/* ------------------------------------------------------------------------ */
/* The table */

bool LoanTable::AddPort(std::string_view node, std::string_view device)
{
    if (node.empty() || device.empty() || Find(node) != nullptr)
        return false;
    ports_.push_back(Port{std::string(node), std::string(device)});
    return true;
}

bool LoanTable::LoadConfiguration(const char *path)
{
    if (read_config_file(path) != 0)
        return false;
    for (int i = 0; i < NodeCount; ++i) {
        const Node_t *node = NodeList[i];
        if (node != nullptr && node->InterfaceType == INTERFACE_TTY && node->InterfaceAddress)
            AddPort(NodeText(node->NodeName), NodeText(node->InterfaceAddress));
    }
    FreeConfiguration();
    return true;
}

const Port *LoanTable::Find(std::string_view name) const
{
    for (const Port &port : ports_) {
        if (port.node == name || port.device == name)
            return &port;
    }
    return nullptr;
}

bool LoanTable::Grant(std::string_view name, std::string_view holder, std::string *result)
{
    const Port *port = Find(name);
    if (port == nullptr) {
        *result = kUnknownPort;
        return false;
    }
    if (holder.empty()) {
        *result = kNoRequestId;
        return false;
    }
    auto loan = holders_.find(port->device);
    if (loan != holders_.end() && loan->second != holder) {
        *result = std::string(kInUseBy) + loan->second;
        return false;
    }
    holders_[port->device] = std::string(holder);
    *result = port->device;
    return true;
}

bool LoanTable::Release(std::string_view name, std::string *result)
{
    const Port *port = Find(name);
    if (port == nullptr) {
        *result = kUnknownPort;
        return false;
    }
    *result = holders_.erase(port->device) > 0 ? "Freed" : "Not on loan";
    return true;
}

int LoanTable::ReleaseAll(std::string_view holder)
{
    int released = 0;
    for (auto loan = holders_.begin(); loan != holders_.end();) {
        if (loan->second == holder) {
            loan = holders_.erase(loan);
            ++released;
        } else {
            ++loan;
        }
    }
    return released;
}

bool LoanTable::Hold(std::string_view name, std::string_view program, long pid, std::string *result)
{
    return Grant(name, std::string(program) + " PID-" + std::to_string(pid), result);
}

std::vector<std::string> LoanTable::Loans() const
{
    std::vector<std::string> lines;
    for (const auto &[device, holder] : holders_) {
        const Port *port = Find(device);
        lines.push_back("loan " + (port != nullptr ? port->node : std::string("?")) + " " + device + " " + holder);
    }
    return lines;
}

std::vector<std::string> LoanTable::Ports() const
{
    std::vector<std::string> lines;
    for (const Port &port : ports_)
        lines.push_back("port " + port.node + " " + port.device);
    return lines;
}

/* ------------------------------------------------------------------------ */
/* Requests */

bool ReplyAddressAllowed(std::string_view address)
{
    std::string_view directory = FIFO_DIRECTORY;
    if (address.substr(0, directory.size()) != directory)
        return false;
    std::string_view name = address.substr(directory.size());
    return !name.empty() && name != "." && name != ".." && name != kDaemonPipeName &&
           name.find('/') == std::string_view::npos;
}

Outcome Serve(LoanTable &table, const char *message, int size)
{
    Outcome out;
    IPC_Message_t header;
    if (message == nullptr || size > FIFO_MAX_MESSAGE || !ReadRecord(message, size, &header)) {
        out.complaint = "message shorter than a header";
        return out;
    }
    if (header.Type == LOG_MSG) {
        ServeLog(message, size, &out);
        return out;
    }
    if (header.Type == ANSWER_MSG) {
        out.complaint = "an answer is not a request";
        return out;
    }
    std::string address(MessageField(header.Address, sizeof header.Address));
    if (!ReplyAddressAllowed(address)) {
        out.complaint = "reply address \"" + address + "\" refused";
        return out;
    }
    out.reply_address = address;
    switch (header.Type) {
    case GET_MANY_PORTS_MSG:
    case FREE_MANY_PORTS_MSG:
        ServeManyPorts(table, message, size, header.Type, &out);
        break;
    case FREE_PORT_MSG:
        ServeFreePort(table, message, size, &out);
        break;
    case FREE_ALL_PORTS_MSG:
        ServeFreeAll(table, message, size, &out);
        break;
    default:
        out.complaint = "unknown request type " + std::to_string(header.Type);
        out.reply = TextAnswer(address, "FAILED: unknown request type");
        break;
    }
    return out;
}

namespace {

void ServeManyPorts(LoanTable &table, const char *message, int size, int type, Outcome *out)
{
    ManyPortMessage_t head;
    if (!ReadRecord(message, size, &head) || head.Count < 0 || head.Count > FIFO_MAX_PORT_REQUESTS ||
        MANY_PORT_HEAD_SIZE + 60 * head.Count > size) {
        out->complaint = "malformed port request";
        out->reply = TextAnswer(out->reply_address, "FAILED: malformed request");
        return;
    }
    std::string holder(MessageField(head.RequestID, sizeof head.RequestID));
    std::vector<PortRequest_t> entries(static_cast<std::size_t>(head.Count));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PortRequest_t &entry = entries[i];
        std::memcpy(&entry, message + MANY_PORT_HEAD_SIZE + sizeof(PortRequest_t) * i, sizeof entry);
        std::string name(MessageField(entry.Processor, sizeof entry.Processor));
        std::string result;
        bool done = type == GET_MANY_PORTS_MSG ? table.Grant(name, holder, &result) : table.Release(name, &result);
        entry.Valid = done ? 1 : 0;
        SetMessageField(entry.Result, sizeof entry.Result, result, false);
    }
    out->reply = MessagePtr(
        BuildManyPortMessage(ANSWER_MSG, out->reply_address.c_str(), holder.c_str(), entries.data(), head.Count));
}

void ServeFreePort(LoanTable &table, const char *message, int size, Outcome *out)
{
    PortMessage_t request;
    if (!ReadRecord(message, size, &request, PORT_MESSAGE_LENGTH)) {
        out->complaint = "malformed free-port request";
        out->reply = TextAnswer(out->reply_address, "FAILED: malformed request");
        return;
    }
    std::string result;
    bool freed = table.Release(MessageField(request.Processor, sizeof request.Processor), &result);
    out->reply = TextAnswer(out->reply_address, freed ? "SUCCESS" : "FAILED: " + result);
}

void ServeFreeAll(LoanTable &table, const char *message, int size, Outcome *out)
{
    if (size < FREE_ALL_MESSAGE_LENGTH) {
        out->complaint = "malformed free-all request";
        out->reply = TextAnswer(out->reply_address, "FAILED: malformed request");
        return;
    }
    auto holder = MessageField(message + offsetof(FreeAllPortsMessage_t, RequestID), REQUEST_ID_SIZE);
    int released = holder.empty() ? 0 : table.ReleaseAll(holder);
    out->reply = TextAnswer(out->reply_address, "SUCCESS: " + std::to_string(released) + " port(s) returned");
}

void ServeLog(const char *message, int size, Outcome *out)
{
    LogMessage_t head;
    if (!ReadRecord(message, size, &head) || head.TextLength < 1 || head.TextLength > size - LOG_HEAD_SIZE) {
        out->complaint = "malformed log message";
        return;
    }
    std::string_view text = MessageField(message + LOG_HEAD_SIZE, static_cast<std::size_t>(head.TextLength));
    std::time_t when = head.ArrivalTime;
    struct tm local;
    char stamp[32] = "";
    if (localtime_r(&when, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%D %T", &local);
    out->log_line = std::string(stamp) + " " + std::string(MessageField(head.NodeName, sizeof head.NodeName));
    std::string_view component = MessageField(head.ComponentName, sizeof head.ComponentName);
    if (!component.empty())
        out->log_line += "/" + std::string(component);
    out->log_line += " (type " + std::to_string(head.NodeType) + "): " + std::string(text);
}

} // namespace

} // namespace opclogd
