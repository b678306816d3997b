/* daemon_message_test.cpp - daemon messages as bytes, the pipe operations on real
 * pipes, and port loans against a real opclogd and stand-in daemons. */
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <initializer_list>

#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "daemon/fifo.h"
#include "daemon/portreq.h"
#include "platform/opclogd/loans.h"
#include "tests/support/process.h"

namespace {

std::int32_t int_at(const void *msg, int offset)
{
    std::int32_t value;
    std::memcpy(&value, static_cast<const char *>(msg) + offset, sizeof value);
    return value;
}

std::string text_at(const void *msg, int offset, int size)
{
    const char *p = static_cast<const char *>(msg) + offset;
    return std::string(p, strnlen(p, static_cast<std::size_t>(size)));
}

bool zero_bytes(const void *msg, int from, int to)
{
    for (int i = from; i < to; ++i)
        if (static_cast<const char *>(msg)[i] != 0)
            return false;
    return true;
}

PortRequest_t request_for(const char *name)
{
    PortRequest_t request{};
    SetMessageField(request.Processor, sizeof request.Processor, name, false);
    SetMessageField(request.Result, sizeof request.Result, "Not gotten", false);
    return request;
}

/* Writes bytes up to each cut in turn, each piece once the reader has
 * taken everything before it, so that the reader sees it alone. */
void write_in_pieces(int fd, const char *bytes, std::initializer_list<int> cuts)
{
    int from = 0;
    for (int cut : cuts) {
        int waiting = 1;
        while (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0)
            poll(nullptr, 0, 1);
        EXPECT_EQ(write(fd, bytes + from, static_cast<std::size_t>(cut - from)), cut - from);
        from = cut;
    }
}

/* What `f` writes to standard error. */
template <typename F>
std::string stderr_of(F f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

std::vector<char> bytes_of(const MessagePtr &msg)
{
    const char *bytes = reinterpret_cast<const char *>(msg.get());
    return std::vector<char>(bytes, bytes + msg->Length);
}

std::vector<char> header_bytes(int type, int length)
{
    std::vector<char> bytes(IPC_HEADER_SIZE, 0);
    std::memcpy(bytes.data(), &type, 4);
    std::memcpy(bytes.data() + 4, &length, 4);
    return bytes;
}

/* A FIFO opened read-write in the test's console root (it is its own
 * writer, so a read blocks rather than ending). */
class PipeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fd = FIFO_OpenProc("/var/console/fifos/util_test", O_RDWR);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { FIFO_CloseProc(fd); }
    void put(const std::vector<char> &bytes)
    {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    ConsoleRoot root;
    int fd = -1;
};

} // namespace

/* Every field at its byte offset, cut to its size (a full name field has
 * no terminator, an address keeps its last byte zero), and zeros where
 * nothing is written. */
TEST(FifoMessageLayout, FieldsSitAtTheirOffsetsAndAreCutToTheirSize)
{
    PortRequest_t requests[3] = {request_for("snp0010A"), request_for("vpr010b"), request_for("abcdefghijklmnop")};
    MessagePtr many(BuildManyPortMessage(GET_MANY_PORTS_MSG, "/var/console/fifos/util_42", "xrackmon.42", requests, 3));
    MessagePtr port(BuildPortMessage(FREE_PORT_MSG, "/var/console/fifos/util_7", "abcdefghijklmnopqrst",
                                     std::string(50, 'r').c_str()));
    MessagePtr all(BuildFreeAllPortsMessage(std::string(60, '/').c_str(), "xrackmon.7"));
    std::time_t before = std::time(nullptr);
    MessagePtr log(BuildLogMessage(LOG_MSG, DAEMON_FIFO_PATH, "snp0010A", 7, "fan3", 0, "abc"));
    MessagePtr dated(BuildLogMessage(LOG_MSG, DAEMON_FIFO_PATH, "n", 1, nullptr, 12345, ""));
    MessagePtr empty(BuildTextMessage("/var/console/fifos/util_1", ""));
    MessagePtr text(BuildTextMessage("/var/console/fifos/util_1", "SUCCESS"));
    ASSERT_TRUE(many && port && all && log && dated && empty && text);
    const struct {
        const IPC_Message_t *msg;
        int offset;
        std::int32_t value;
    } kInts[] = {{many.get(), 0, 18}, {many.get(), 4, 277}, {many.get(), 92, 3},   {port.get(), 0, 5},
                 {port.get(), 4, 107}, {all.get(), 0, 20},  {all.get(), 4, 106},  {log.get(), 0, 7},
                 {log.get(), 4, 104},  {log.get(), 68, 7},  {log.get(), 96, 4},   {dated.get(), 4, 101},
                 {dated.get(), 92, 12345}, {dated.get(), 96, 1}, {empty.get(), 4, 48},   {text.get(), 0, 11},
                 {text.get(), 4, 56}};
    for (const auto &field : kInts)
        EXPECT_EQ(int_at(field.msg, field.offset), field.value) << "int at " << field.offset;
    const struct {
        const IPC_Message_t *msg;
        int offset, size;
        std::string text;
    } kTexts[] = {{many.get(), 8, 40, "/var/console/fifos/util_42"}, {many.get(), 48, 41, "xrackmon.42"},
                  {many.get(), 100, 16, "snp0010A"},   {many.get(), 160, 16, "vpr010b"},
                  {many.get(), 220, 16, "abcdefghijklmnop"}, {many.get(), 236, 40, "Not gotten"},
                  {port.get(), 48, 41, std::string(40, 'r')}, {port.get(), 89, 17, "abcdefghijklmnop"},
                  {all.get(), 8, 40, std::string(39, '/')},  {all.get(), 48, 41, "xrackmon.7"},
                  {log.get(), 8, 40, "/var/console/fifos/nxlogd_FIFO"}, {log.get(), 48, 17, "snp0010A"},
                  {log.get(), 72, 17, "fan3"}, {log.get(), 100, 4, "abc"}};
    for (const auto &field : kTexts)
        EXPECT_EQ(text_at(field.msg, field.offset, field.size), field.text) << "text at " << field.offset;
    const struct {
        const IPC_Message_t *msg;
        int from, to;
    } kZeros[] = {{many.get(), 89, 92}, {many.get(), 276, 277}, {port.get(), 105, 107}, {all.get(), 58, 106},
                  {log.get(), 103, 104}};
    for (const auto &zeros : kZeros)
        EXPECT_TRUE(zero_bytes(zeros.msg, zeros.from, zeros.to)) << zeros.from << "-" << zeros.to;
    EXPECT_GE(int_at(log.get(), 92), before) << "time 0 means now";
    EXPECT_LE(int_at(log.get(), 92), std::time(nullptr));
    EXPECT_EQ(GetCountMessage(many.get()), 3);
    EXPECT_EQ(reinterpret_cast<char *>(GetPortsMessage(many.get())) - reinterpret_cast<char *>(many.get()), 96);
    EXPECT_EQ(BuildManyPortMessage(19, "a", "b", requests, -1), nullptr);
    EXPECT_EQ(BuildManyPortMessage(19, "a", "b", requests, FIFO_MAX_PORT_REQUESTS + 1), nullptr);
    for (const IPC_Message_t *answer : {empty.get(), text.get()}) {
        char *part = StringPart(answer);
        ASSERT_NE(part, nullptr);
        EXPECT_STREQ(part, answer == text.get() ? "SUCCESS" : "");
        std::free(part);
    }
    EXPECT_EQ(StringPart(nullptr), nullptr);
}

TEST(FifoMessageLayout, AccessorsNeverReachPastLength)
{
    /* An answer claiming 50 records in a message long enough for two. */
    std::vector<char> bytes(static_cast<std::size_t>(ManyPortMessageLength(2)), 0);
    auto *msg = reinterpret_cast<IPC_Message_t *>(bytes.data());
    msg->Type = ANSWER_MSG;
    msg->Length = ManyPortMessageLength(2);
    std::int32_t count = 50;
    std::memcpy(bytes.data() + 92, &count, 4);
    EXPECT_EQ(GetCountMessage(msg), 2);
    count = -3;
    std::memcpy(bytes.data() + 92, &count, 4);
    EXPECT_EQ(GetCountMessage(msg), 0);

    /* A header alone has no many-port head at all. */
    msg->Length = 48;
    EXPECT_EQ(GetCountMessage(msg), 0);
    EXPECT_EQ(GetPortsMessage(msg), nullptr);
    EXPECT_EQ(GetCountMessage(nullptr), 0);
    EXPECT_EQ(GetPortsMessage(nullptr), nullptr);
}

/* A message in pieces: PortRequestFakeDaemon.FreePortVerdictAndAnAnswerInPieces. */
TEST_F(PipeTest, TwoMessagesInOneWriteComeOutOneAtATime)
{
    MessagePtr first(BuildTextMessage("/x", "SUCCESS"));
    MessagePtr second(BuildTextMessage("/x", "FAILED"));
    std::vector<char> both = bytes_of(first), tail = bytes_of(second);
    both.insert(both.end(), tail.begin(), tail.end());
    put(both);
    MessagePtr one(FIFO_InputProc(fd)), two(FIFO_InputProc(fd));
    ASSERT_TRUE(one && two);
    EXPECT_STREQ(reinterpret_cast<char *>(one.get()) + 48, "SUCCESS");
    EXPECT_STREQ(reinterpret_cast<char *>(two.get()) + 48, "FAILED");
}

TEST_F(PipeTest, OutOfStepPipeIsEmptiedAndReported)
{
    /* A header of type 0, then more that belongs to nothing. */
    std::vector<char> garbage = header_bytes(0, 200);
    garbage.resize(48 * 5 + 17, 'x');
    put(garbage);
    MessagePtr valid(BuildTextMessage("/x", "lost with the rest"));
    put(bytes_of(valid));

    MessagePtr got; /* the drain's own alarm ends the read */
    std::string err = stderr_of([&] { got.reset(FIFO_InputProc(fd)); });
    EXPECT_FALSE(got);
    EXPECT_NE(err.find("ERROR: FIFO_Input: fifo " + std::to_string(fd) + " corrupted. Possible loss of FIFO message"),
              std::string::npos)
        << err;

    /* The pipe is empty: a fresh message is the next thing read. */
    MessagePtr fresh(BuildTextMessage("/x", "SUCCESS"));
    put(bytes_of(fresh));
    MessagePtr next(FIFO_InputProc(fd));
    ASSERT_TRUE(next);
    EXPECT_STREQ(reinterpret_cast<char *>(next.get()) + 48, "SUCCESS");
}

TEST_F(PipeTest, AbsurdLengthIsRefusedBeforeAnyAllocation)
{
    /* Were the length believed, the read of a body that never comes would
     * block for good; refusing it returns within the drain's alarm. */
    /* A type past the highest is out of step too. */
    for (auto [type, length] : {std::pair<int, int>{ANSWER_MSG, FIFO_MAX_MESSAGE + 1}, {ANSWER_MSG, 0x7fffffff}, {1001, 60}}) {
        put(header_bytes(type, length));
        MessagePtr got;
        EXPECT_NE(stderr_of([&] { got.reset(FIFO_InputProc(fd)); }).find("corrupted"), std::string::npos) << length;
        EXPECT_FALSE(got) << length;
    }

    /* A length of 48 or less (even negative) is the header alone. */
    put(header_bytes(ANSWER_MSG, -5));
    MessagePtr alone(FIFO_InputProc(fd));
    ASSERT_TRUE(alone);
    EXPECT_EQ(MessageSize(alone.get()), 48);
    char *text = StringPart(alone.get());
    EXPECT_STREQ(text, "");
    std::free(text);
}

TEST(FifoOpen, ReplyPipeIsCreatedAndNothingElseIsUsed)
{
    ConsoleRoot root;
    std::string dir = root.at("/var/console/fifos/");

    /* A fresh reply pipe: a FIFO, 0666. */
    int fd = FIFO_OpenProc("/var/console/fifos/util_1", O_RDWR);
    ASSERT_GE(fd, 0);
    struct stat st;
    ASSERT_EQ(lstat((dir + "util_1").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    FIFO_CloseProc(fd);
    /* An existing FIFO is used again. */
    fd = FIFO_OpenProc("/var/console/fifos/util_1", O_RDWR);
    EXPECT_GE(fd, 0);
    FIFO_CloseProc(fd);

    /* A regular file is refused and left as it was. */
    std::ofstream(dir + "util_2") << "keep me";
    std::string err = stderr_of([] { EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_2", O_RDWR), -1); });
    EXPECT_NE(err.find("ERROR: FIFO_Open: cannot create fifo \"" + dir + "util_2\": errno = " + std::to_string(EEXIST)),
              std::string::npos)
        << err;
    EXPECT_EQ(file_text(dir + "util_2"), "keep me");

    /* A link is never followed, not even to a FIFO, nor for writing. */
    ASSERT_EQ(symlink((dir + "util_1").c_str(), (dir + "util_3").c_str()), 0);
    err = stderr_of([] {
        EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_3", O_RDWR), -1);
        EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_3", O_WRONLY | O_NONBLOCK), -1);
    });
    EXPECT_NE(err.find("cannot create fifo"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot open fifo"), std::string::npos) << err;

    /* Writing to a pipe nobody reads fails at once without blocking. */
    err = stderr_of([] { EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_1", O_WRONLY | O_NONBLOCK), -1); });
    EXPECT_NE(err.find("errno = " + std::to_string(ENXIO)), std::string::npos) << err;
}

TEST(FifoOutput, OneWritePerMessageAndNoLongerThanPipeBuf)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::vector<char> big(static_cast<std::size_t>(FIFO_MAX_MESSAGE) + 1, 0);
    std::string err = stderr_of([&] {
        EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), FIFO_MAX_MESSAGE + 1), -1);
        EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), 47), -1);
    });
    EXPECT_NE(err.find("WARNING: FIFO_Output: cannot write fifo " + std::to_string(ends[1]) + " message: errno = " +
                       std::to_string(EMSGSIZE)),
              std::string::npos)
        << err;
    EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), FIFO_MAX_MESSAGE), FIFO_MAX_MESSAGE);
    std::vector<char> back(static_cast<std::size_t>(FIFO_MAX_MESSAGE) + 10);
    EXPECT_EQ(read(ends[0], back.data(), back.size()), FIFO_MAX_MESSAGE);

    /* The reader gone: an error, not the end of the program. */
    close(ends[0]);
    err = stderr_of([&] { EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), 48), -1); });
    EXPECT_NE(err.find("errno = " + std::to_string(EPIPE)), std::string::npos) << err;
    close(ends[1]);
}

/* ---- port requests and log messages ------------------------------------ */

namespace {

std::string result_of(const PortRequest_t &request)
{
    return std::string(MessageField(request.Result, sizeof request.Result));
}

/* opclogd on the sample installation (its serial controllers and nodes). */
class DaemonTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(daemon.start({"-c", XR_SAMPLE_CONFIG})) << daemon.stderr_text(); }
    std::string loan(const char *node, const char *device, const char *holder)
    {
        return std::string("loan ") + node + " " + device + " " + holder;
    }
    ConsoleRoot root;
    OpclogdProcess daemon{root.path()};
};

/* Answers `requests` requests in turn the way `answer` says (given the
 * reply pipe), from a child process that stands in for the daemon. */
template <typename Answer>
pid_t fake_daemon(Answer answer, int requests = 1)
{
    int request_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR);
    pid_t pid = fork();
    if (pid == 0) {
        for (int i = 0; i < requests; ++i) {
            MessagePtr request(FIFO_InputProc(request_fd));
            if (!request)
                _exit(3);
            answer(FIFO_OpenProc(request->Address, O_WRONLY));
        }
        _exit(0);
    }
    FIFO_CloseProc(request_fd);
    return pid;
}

/* How the stand-in ended: 0 once it answered as scripted. */
int exit_of(pid_t pid)
{
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void write_bytes(int fd, const void *bytes, int size)
{
    ssize_t put = write(fd, bytes, static_cast<std::size_t>(size));
    (void)put;
}

} // namespace

TEST_F(DaemonTest, PortsAreLentListedAndReturned)
{
    PortRequest_t ports[3] = {request_for("snp0010A"), request_for("nosuchport"), request_for("vpr010b")};
    int count = 3;
    ASSERT_EQ(GetManyPorts(get_free_port_id, ports, &count), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(result_of(ports[0]) + result_of(ports[1]) + result_of(ports[2]), "/dev/ttyC10aNo such port/dev/ttyC10d");
    EXPECT_EQ(ports[0].Valid + 2 * ports[1].Valid + 4 * ports[2].Valid, 1 + 4);
    EXPECT_EQ(daemon.loans(), (std::vector<std::string>{loan("snp0010A", "/dev/ttyC10a", get_free_port_id),
                                                        loan("vpr010b", "/dev/ttyC10d", get_free_port_id)}));
    /* No reply pipe is left behind. */
    EXPECT_NE(access(root.at("/var/console/fifos/util_" + std::to_string(getpid())).c_str(), F_OK), 0);
    /* Returning by a list, one port or all is pinned down by the engine's
     * Ports tests against the same daemon; an unknown port is refused. */
    EXPECT_EQ(FreePort("nosuchport", get_free_port_id), -1);
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), 0);
    EXPECT_TRUE(daemon.loans().empty());
}

TEST_F(DaemonTest, LoansAreKeptPerRequestId)
{
    PortRequest_t mine[1] = {request_for("snp0011A")};
    int count = 1;
    ASSERT_EQ(GetManyPorts("console-a", mine, &count), 0);
    EXPECT_EQ(mine[0].Valid, 1);

    /* Someone else is refused and told who has it; giving back all of its
     * own ports leaves ours alone. */
    PortRequest_t theirs[1] = {request_for("/dev/ttyC11a")};
    count = 1;
    ASSERT_EQ(GetManyPorts("console-b", theirs, &count), 0);
    EXPECT_EQ(theirs[0].Valid, 0);
    EXPECT_EQ(result_of(theirs[0]), "In use by console-a");
    EXPECT_EQ(FreeAllMyPorts("console-b"), 0);
    EXPECT_EQ(daemon.loans(), (std::vector<std::string>{loan("snp0011A", "/dev/ttyC11a", "console-a")}));
    EXPECT_EQ(FreeAllMyPorts("console-a"), 0);
    EXPECT_TRUE(daemon.loans().empty());
}

TEST_F(DaemonTest, LogMessagesReachTheLog)
{
    ASSERT_EQ(LogMessage("snp0010A", 3, "fan2", 0, "Cabinet 10: no response"), 0);
    ASSERT_EQ(LogMessage("vpr010a", 4, nullptr, 0, "abc"), 0);
    /* A request after them is answered only once they were read. */
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), 0);
    std::string log = daemon.log_text();
    EXPECT_NE(log.find("snp0010A/fan2 (type 3): Cabinet 10: no response\n"), std::string::npos) << log;
    EXPECT_NE(log.find("vpr010a (type 4): abc\n"), std::string::npos) << log;
}

TEST_F(DaemonTest, GarbageInTheRequestPipeDoesNotStopTheDaemon)
{
    int fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_WRONLY);
    ASSERT_GE(fd, 0);
    /* A header out of range, an absurd length, a count larger than the
     * message, a reply address outside the pipe folder, its own pipe. */
    std::int32_t junk[12] = {0, 999999, 1, 2, 3};
    write_bytes(fd, junk, sizeof junk);
    std::int32_t absurd[12] = {GET_MANY_PORTS_MSG, 0x7fffffff};
    write_bytes(fd, absurd, sizeof absurd);
    PortRequest_t one = request_for("snp0010A");
    MessagePtr lying(BuildManyPortMessage(GET_MANY_PORTS_MSG, "/var/console/fifos/util_1", "x", &one, 1));
    reinterpret_cast<ManyPortMessage_t *>(lying.get())->Count = 1000;
    write_bytes(fd, lying.get(), lying->Length);
    MessagePtr escape(BuildManyPortMessage(GET_MANY_PORTS_MSG, "/var/console/../../etc/x", "x", &one, 1));
    write_bytes(fd, escape.get(), escape->Length);
    MessagePtr loop(BuildManyPortMessage(GET_MANY_PORTS_MSG, DAEMON_FIFO_PATH, "x", &one, 1));
    write_bytes(fd, loop.get(), loop->Length);
    FIFO_CloseProc(fd);

    PortRequest_t ports[1] = {request_for("snp0010A")};
    int count = 1;
    ASSERT_EQ(GetManyPorts(get_free_port_id, ports, &count), 0);
    EXPECT_EQ(ports[0].Valid, 1);
    EXPECT_TRUE(daemon.alive());
    EXPECT_EQ(daemon.loans(), (std::vector<std::string>{loan("snp0010A", "/dev/ttyC10a", get_free_port_id)}));
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), 0);
    EXPECT_TRUE(daemon.stop());
    std::string err = daemon.stderr_text();
    EXPECT_NE(err.find("out of step"), std::string::npos) << err;
    EXPECT_NE(err.find("refused"), std::string::npos) << err;
}

TEST(PortRequestNoDaemon, FailsAtOnceAndLeavesCountAlone)
{
    ConsoleRoot root;
    PortRequest_t ports[2] = {request_for("snp0010A"), request_for("snp0010B")};
    int count = 2;
    std::string err = stderr_of([&] {
        EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), -1);
        EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -1);
        EXPECT_EQ(LogMessage("snp0010A", 3, nullptr, 0, "nobody listens"), -1);
    });
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ports[0].Valid, 0);
    EXPECT_EQ(result_of(ports[0]), "Not gotten");
    EXPECT_NE(err.find("FIFO_Open: cannot open fifo"), std::string::npos) << err;
}

TEST(PortRequestFakeDaemon, ReplyPathHoldingAFileIsNotUsed)
{
    ConsoleRoot root;
    int reader = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string reply = root.at("/var/console/fifos/util_" + std::to_string(getpid()));
    ASSERT_EQ(symlink("/etc/passwd", reply.c_str()), 0);
    stderr_of([] { EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -1); });
    struct stat st;
    EXPECT_EQ(lstat(reply.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)); /* left in place, never followed */
    FIFO_CloseProc(reader);
}

TEST(PortRequestFakeDaemon, AnswersOfAnotherTypeAreRefused)
{
    ConsoleRoot root;
    PortRequest_t ports[1] = {request_for("snp0010A")};
    int count = 1;
    for (int type : {int(LOG_MSG), 12}) {
        pid_t pid = fake_daemon([type](int fd) {
            MessagePtr wrong(BuildTextMessage("/x", "SUCCESS"));
            wrong->Type = type;
            FIFO_OutputProc(fd, wrong.get(), wrong->Length);
        });
        std::string err = stderr_of([&] {
            EXPECT_EQ(type == LOG_MSG ? FreeAllMyPorts(get_free_port_id) : GetManyPorts(get_free_port_id, ports, &count), -1);
        });
        EXPECT_NE(err.find(std::string("ERROR: ") + (type == LOG_MSG ? "FreeAllMyPorts" : "GetPort") +
                           ": unknown message type " + std::to_string(type) + " from FIFO\n"),
                  std::string::npos)
            << err;
        EXPECT_EQ(exit_of(pid), 0);
    }
    EXPECT_EQ(count, 1);
}

TEST(PortRequestFakeDaemon, FreePortVerdictAndAnAnswerInPieces)
{
    ConsoleRoot root;
    for (const char *verdict : {"SUCCESS", "FAILED"}) {
        pid_t pid = fake_daemon([verdict](int fd) {
            MessagePtr answer(BuildTextMessage("/x", verdict));
            const char *bytes = reinterpret_cast<const char *>(answer.get());
            /* The header split, then the text. */
            write_in_pieces(fd, bytes, {30, 52, answer->Length});
        });
        EXPECT_EQ(FreePort("snp0010A", get_free_port_id), verdict[0] == 'S' ? 0 : -1) << verdict;
        EXPECT_EQ(exit_of(pid), 0);
    }

    /* An answer claiming more entries than were asked for copies no more
     * than the caller's array holds. */
    pid_t pid = fake_daemon([](int fd) {
        std::vector<PortRequest_t> many(5, request_for("snp0010A"));
        for (PortRequest_t &entry : many)
            entry.Valid = 1;
        MessagePtr answer(BuildManyPortMessage(ANSWER_MSG, "/x", "x", many.data(), 5));
        FIFO_OutputProc(fd, answer.get(), answer->Length);
    });
    PortRequest_t ports[3] = {request_for("a"), request_for("b"), request_for("c")};
    int count = 2;
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ports[1].Valid, 1);
    EXPECT_EQ(ports[2].Valid, 0);
    EXPECT_EQ(result_of(ports[2]), "Not gotten");
    EXPECT_EQ(exit_of(pid), 0);
}

namespace {
volatile int previous_alarms = 0;
void previous_alarm_handler(int)
{
    previous_alarms = previous_alarms + 1;
}
} // namespace

TEST(PortRequestFakeDaemon, DaemonThatNeverAnswersEndsInTheTimeOut)
{
    /* The stand-in takes each request and never answers; the alarm is
     * brought forward (SIGALRM sent at once instead of after 30 or 45
     * seconds), which is all the time-out path sees of it. */
    ConsoleRoot root;
    struct sigaction action {};
    action.sa_handler = previous_alarm_handler;
    sigemptyset(&action.sa_mask);
    struct sigaction old_action;
    sigaction(SIGALRM, &action, &old_action);
    alarm(100);

    pid_t pid = fake_daemon([](int) { kill(getppid(), SIGALRM); }, 2);
    PortRequest_t ports[2] = {request_for("snp0010A"), request_for("snp0010B")};
    int count = 2;
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), -2);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(result_of(ports[0]), "Not gotten");
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -2);
    EXPECT_EQ(exit_of(pid), 0);

    /* The reply pipe is gone, the caller's handler and alarm are back. */
    EXPECT_NE(access(root.at("/var/console/fifos/util_" + std::to_string(getpid())).c_str(), F_OK), 0);
    struct sigaction now;
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, previous_alarm_handler);
    unsigned left = alarm(0);
    EXPECT_GE(left, 95u);
    EXPECT_LE(left, 100u);
    EXPECT_EQ(previous_alarms, 0);
    sigaction(SIGALRM, &old_action, nullptr);

    /* The time-out comes while half of an answer has arrived: the body
     * being filled is freed (the leak checker of the sanitizer build would
     * report it otherwise). */
    pid = fake_daemon([](int fd) {
        MessagePtr answer(BuildTextMessage("/x", std::string(400, 'S').c_str()));
        write_bytes(fd, answer.get(), 100);
        kill(getppid(), SIGALRM);
    });
    EXPECT_EQ(FreePort("snp0010A", get_free_port_id), -2);
    exit_of(pid);

    /* Nothing of the abandoned requests lingers: the next one works. */
    pid = fake_daemon([](int fd) {
        MessagePtr answer(BuildTextMessage("/x", "SUCCESS"));
        FIFO_OutputProc(fd, answer.get(), answer->Length);
    });
    EXPECT_EQ(FreePort("snp0010A", get_free_port_id), 0);
    EXPECT_EQ(exit_of(pid), 0);
}

namespace {
volatile int nested_result = 99;
void return_ports_on_signal(int)
{
    nested_result = FreeAllMyPorts(get_free_port_id);
}
} // namespace

TEST(PortRequestFakeDaemon, PortReturnFromASignalHandlerDuringARequest)
{
    /* The daemon takes the port request, then the requester is signalled
     * and its handler gives all ports back (as the fatal-signal handler
     * does); the daemon answers that first, then the interrupted request. */
    ConsoleRoot root;
    struct sigaction action {};
    action.sa_handler = return_ports_on_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    struct sigaction old_action;
    sigaction(SIGUSR1, &action, &old_action);

    int request_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR);
    ASSERT_GE(request_fd, 0);
    pid_t pid = fork();
    if (pid == 0) {
        MessagePtr get(FIFO_InputProc(request_fd));
        kill(getppid(), SIGUSR1);
        MessagePtr free_all(FIFO_InputProc(request_fd));
        if (!get || !free_all || get->Type != GET_MANY_PORTS_MSG || free_all->Type != FREE_ALL_PORTS_MSG)
            _exit(4);
        int fd = FIFO_OpenProc(free_all->Address, O_WRONLY);
        MessagePtr success(BuildTextMessage(free_all->Address, "SUCCESS"));
        FIFO_OutputProc(fd, success.get(), success->Length);
        FIFO_CloseProc(fd);
        PortRequest_t *entries = GetPortsMessage(get.get());
        for (int i = 0; i < GetCountMessage(get.get()); ++i)
            entries[i].Valid = 1;
        get->Type = ANSWER_MSG;
        fd = FIFO_OpenProc(get->Address, O_WRONLY);
        FIFO_OutputProc(fd, get.get(), get->Length);
        FIFO_CloseProc(fd);
        _exit(0);
    }
    FIFO_CloseProc(request_fd);

    PortRequest_t ports[2] = {request_for("snp0010A"), request_for("snp0010B")};
    int count = 2;
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), 0);
    EXPECT_EQ(nested_result, 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(ports[1].Valid, 1);
    EXPECT_EQ(exit_of(pid), 0);
    EXPECT_NE(access(root.at("/var/console/fifos/util_" + std::to_string(getpid())).c_str(), F_OK), 0);
    sigaction(SIGUSR1, &old_action, nullptr);
}

TEST(OpclogdServe, MalformedRequestsAreAnsweredOrDroppedNeverTrusted)
{
    opclogd::LoanTable table;
    ASSERT_TRUE(table.AddPort("snp0010A", "/dev/ttyC10a"));

    /* Every length from a header to a whole many-port message, with the
     * count claiming more than is there: never a grant, never a read past
     * the size (the sanitizer build checks the latter). */
    PortRequest_t one = request_for("snp0010A");
    MessagePtr request(BuildManyPortMessage(GET_MANY_PORTS_MSG, "/var/console/fifos/util_9", "id", &one, 1));
    reinterpret_cast<ManyPortMessage_t *>(request.get())->Count = 2;
    for (int size = IPC_HEADER_SIZE; size <= request->Length; ++size) {
        std::vector<char> bytes(reinterpret_cast<char *>(request.get()), reinterpret_cast<char *>(request.get()) + size);
        opclogd::Outcome outcome = opclogd::Serve(table, bytes.data(), size);
        EXPECT_FALSE(outcome.complaint.empty()) << size;
        EXPECT_EQ(table.LoanCount(), 0u) << size;
    }

    /* A log message whose text length runs past the message is dropped. */
    MessagePtr log(BuildLogMessage(LOG_MSG, DAEMON_FIFO_PATH, "n", 1, nullptr, 1, "abc"));
    reinterpret_cast<LogMessage_t *>(log.get())->TextLength = 500;
    opclogd::Outcome outcome = opclogd::Serve(table, reinterpret_cast<char *>(log.get()), log->Length);
    EXPECT_TRUE(outcome.log_line.empty());
    EXPECT_EQ(outcome.complaint, "malformed log message");

    /* Unknown types are answered, answers are not. */
    MessagePtr odd(BuildTextMessage("/var/console/fifos/util_9", "hello"));
    odd->Type = 42;
    outcome = opclogd::Serve(table, reinterpret_cast<char *>(odd.get()), odd->Length);
    ASSERT_TRUE(outcome.reply);
    EXPECT_EQ(outcome.reply->Type, ANSWER_MSG);
    odd->Type = ANSWER_MSG;
    EXPECT_FALSE(opclogd::Serve(table, reinterpret_cast<char *>(odd.get()), odd->Length).reply);

    EXPECT_TRUE(opclogd::ReplyAddressAllowed("/var/console/fifos/util_12"));
    for (const char *address : {"/var/console/fifos/nxlogd_FIFO", "/var/console/fifos/../x", "/var/console/fifos/",
                                "/var/console/fifos/a/b", "/tmp/util_1", "/var/console/fifos/.."})
        EXPECT_FALSE(opclogd::ReplyAddressAllowed(address)) << address;
}
