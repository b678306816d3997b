/*
 * daemon_message_fuzz.cpp - fuzz target for the messages of the console log
 * daemon's pipe: the daemon's side (opclogd::Serve) and the accessors a
 * client uses on an answer (daemon/fifo.h).
 *
 * One input is one message as read from the request pipe.  Inputs shorter
 * than a header are skipped and longer ones cut at FIFO_MAX_MESSAGE, since
 * no single write carries more.  Every piece is handed over in a heap copy
 * of exactly its size, so a read past it shows up under the sanitizers.
 *
 *   1. Serve runs on all the bytes (whatever Length claims), and once more
 *      on Length bytes when Length is a size the daemon's reader passes on;
 *      the table has a few ports, one of them held by another program.
 *   2. The client accessors walk every answer Serve built, and the input
 *      itself when FIFO_InputProc would have returned it: a type in range,
 *      and the Length bytes (at least a header) present.

 */
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "daemon/fifo.h"
#include "platform/opclogd/loans.h"

namespace {

/* A heap copy of exactly `size` bytes. */
std::unique_ptr<char[]> Copy(const std::uint8_t *data, std::size_t size)
{
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), data, size);
    return copy;
}

/* Adds up what a client reads, so that no read is optimised away. */
std::size_t Touch(std::string_view text)
{
    std::size_t sum = text.size();
    for (char ch : text)
        sum += static_cast<unsigned char>(ch);
    return sum;
}

/* What a client does with a received message: its size, its text part,
 * its address, and for a many-port answer every record. */
std::size_t ReadAsClient(IPC_Message_t *msg)
{
    std::size_t sum = static_cast<std::size_t>(MessageSize(msg));
    sum += Touch(MessageField(msg->Address, sizeof msg->Address));
    if (char *text = StringPart(msg)) {
        sum += std::strlen(text);
        std::free(text);
    }
    PortRequest_t *ports = GetPortsMessage(msg);
    int count = GetCountMessage(msg);
    if (ports == nullptr && count != 0)
        std::abort(); /* a count without records to walk */
    for (int i = 0; i < count; ++i) {
        sum += static_cast<std::size_t>(ports[i].Valid != 0);
        sum += Touch(MessageField(ports[i].Processor, sizeof ports[i].Processor));
        sum += Touch(MessageField(ports[i].Result, sizeof ports[i].Result));
    }
    return sum;
}

/* The daemon's table: three ports, one held by the serial console program. */
void FillTable(opclogd::LoanTable &table)
{
    table.AddPort("snp0010A", "/dev/ttyS0");
    table.AddPort("jbod00120", "/dev/ttyS1");
    table.AddPort("pwr00140", "/dev/ttyS2");
    std::string result;
    table.Hold("pwr00140", "sercon", 4242, &result);
}

/* Serve on `size` bytes, then what a client does with the answer. */
std::size_t ServeOnce(const char *message, int size)
{
    opclogd::LoanTable table;
    FillTable(table);
    opclogd::Outcome outcome = opclogd::Serve(table, message, size);
    std::size_t sum = outcome.log_line.size() + outcome.complaint.size() + table.Loans().size();
    if (outcome.reply) {
        /* What the daemon writes is what the client reads: Length bytes. */
        int length = outcome.reply->Length;
        if (length < IPC_HEADER_SIZE || length > FIFO_MAX_MESSAGE)
            std::abort(); /* an answer no client could read */
        sum += ReadAsClient(outcome.reply.get());
    }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < static_cast<std::size_t>(IPC_HEADER_SIZE))
        return 0;
    if (size > static_cast<std::size_t>(FIFO_MAX_MESSAGE))
        size = FIFO_MAX_MESSAGE;
    IPC_Message_t header;
    std::memcpy(&header, data, sizeof header);
    volatile std::size_t sum = 0;

    /* 1. The daemon's side. */
    {
        auto message = Copy(data, size);
        sum = sum + ServeOnce(message.get(), static_cast<int>(size));
    }
    if (header.Length >= IPC_HEADER_SIZE && static_cast<std::size_t>(header.Length) < size) {
        auto message = Copy(data, static_cast<std::size_t>(header.Length));
        sum = sum + ServeOnce(message.get(), header.Length);
    }

    /* 2. The input as an answer that FIFO_InputProc returned. */
    int length = header.Length > IPC_HEADER_SIZE ? header.Length : IPC_HEADER_SIZE;
    if (header.Type >= FIFO_LOWEST_TYPE && header.Type <= FIFO_HIGHEST_TYPE && header.Length <= FIFO_MAX_MESSAGE &&
        static_cast<std::size_t>(length) <= size) {
        auto received = Copy(data, static_cast<std::size_t>(length));
        sum = sum + ReadAsClient(reinterpret_cast<IPC_Message_t *>(received.get()));
    }
    return 0;
}
