/*
 * port_request_test.cpp - borrowing and returning ports: the requests
 * against a real opclogd process (loan table checked after each), a port
 * another program holds, log messages, a daemon that is absent, a stand-in
 * daemon that answers wrongly or in pieces, and opclogd's own handling of
 * malformed requests.
 */
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <array>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "daemon/portreq.h"
#include "platform/opclogd/loans.h"
#include "tests/support/process.h"

namespace {

PortRequest_t request_for(const char *name)
{
    PortRequest_t request{};
    SetMessageField(request.Processor, sizeof request.Processor, name, false);
    SetMessageField(request.Result, sizeof request.Result, "Not gotten", false);
    return request;
}

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

/* Answers one request the way `answer` says, from a child process that
 * stands in for the daemon. */
template <typename Answer>
pid_t fake_daemon(Answer answer)
{
    int request_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR);
    pid_t pid = fork();
    if (pid == 0) {
        MessagePtr request(FIFO_InputProc(request_fd));
        if (!request)
            _exit(3);
        int reply_fd = FIFO_OpenProc(request->Address, O_WRONLY);
        answer(reply_fd);
        _exit(0);
    }
    FIFO_CloseProc(request_fd);
    return pid;
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
    EXPECT_EQ(ports[0].Valid, 1);
    EXPECT_EQ(result_of(ports[0]), "/dev/ttyC10a");
    EXPECT_EQ(ports[1].Valid, 0);
    EXPECT_EQ(result_of(ports[1]), "No such port");
    EXPECT_EQ(ports[2].Valid, 1);
    EXPECT_EQ(result_of(ports[2]), "/dev/ttyC10d");
    EXPECT_EQ(daemon.loans(), (std::vector<std::string>{loan("snp0010A", "/dev/ttyC10a", get_free_port_id),
                                                        loan("vpr010b", "/dev/ttyC10d", get_free_port_id)}));
    /* No reply pipe is left behind. */
    EXPECT_NE(access(root.at("/var/console/fifos/util_" + std::to_string(getpid())).c_str(), F_OK), 0);

    /* Given back by a list: both freed, the table empty. */
    PortRequest_t back[2] = {request_for("snp0010A"), request_for("vpr010b")};
    count = 2;
    ASSERT_EQ(FreeManyPorts(get_free_port_id, back, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(back[0].Valid, 1);
    EXPECT_EQ(back[1].Valid, 1);
    EXPECT_TRUE(daemon.loans().empty());

    /* One port at a time, and all at once. */
    count = 3;
    ASSERT_EQ(GetManyPorts(get_free_port_id, ports, &count), 0);
    EXPECT_EQ(FreePort("snp0010A", get_free_port_id), 0);
    EXPECT_EQ(daemon.loans(), (std::vector<std::string>{loan("vpr010b", "/dev/ttyC10d", get_free_port_id)}));
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

TEST_F(DaemonTest, PortHeldByAnotherProgramIsReportedAndCanBeReclaimed)
{
    ASSERT_TRUE(daemon.ctl("hold snp0010B 4242 xscp"));
    PortRequest_t ports[2] = {request_for("snp0010A"), request_for("snp0010B")};
    int count = 2;
    ASSERT_EQ(GetManyPorts(get_free_port_id, ports, &count), 0);
    EXPECT_EQ(ports[0].Valid, 1);
    EXPECT_EQ(ports[1].Valid, 0);
    EXPECT_NE(result_of(ports[1]).find("PID-4242"), std::string::npos) << result_of(ports[1]);

    /* The reclaim path: free the refused port, ask again. */
    PortRequest_t reclaim[1] = {request_for("snp0010B")};
    count = 1;
    ASSERT_EQ(FreeManyPorts(get_free_port_id, reclaim, &count), 0);
    EXPECT_EQ(reclaim[0].Valid, 1);
    count = 1;
    ASSERT_EQ(GetManyPorts(get_free_port_id, reclaim, &count), 0);
    EXPECT_EQ(reclaim[0].Valid, 1);
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), 0);
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
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), -1);
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -1);
    EXPECT_EQ(LogMessage("snp0010A", 3, nullptr, 0, "nobody listens"), -1);
    std::string err = testing::internal::GetCapturedStderr();
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
    testing::internal::CaptureStderr();
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -1);
    testing::internal::GetCapturedStderr();
    struct stat st;
    EXPECT_EQ(lstat(reply.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)); /* left in place, never followed */
    FIFO_CloseProc(reader);
}

TEST(PortRequestFakeDaemon, AnswersOfAnotherTypeAreRefused)
{
    ConsoleRoot root;
    pid_t pid = fake_daemon([](int fd) {
        MessagePtr wrong(BuildLogMessage(LOG_MSG, "/x", "n", 0, nullptr, 1, "S"));
        FIFO_OutputProc(fd, wrong.get(), wrong->Length);
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: FreeAllMyPorts: unknown message type 7 from FIFO\n"), std::string::npos) << err;
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    pid = fake_daemon([](int fd) {
        MessagePtr wrong(BuildTextMessage("/x", "x"));
        wrong->Type = 12;
        FIFO_OutputProc(fd, wrong.get(), wrong->Length);
    });
    PortRequest_t ports[1] = {request_for("snp0010A")};
    int count = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), -1);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: GetPort: unknown message type 12 from FIFO\n"), std::string::npos) << err;
    EXPECT_EQ(count, 1);
    waitpid(pid, &status, 0);
}

TEST(PortRequestFakeDaemon, FreePortVerdictAndAnAnswerInPieces)
{
    ConsoleRoot root;
    for (const char *verdict : {"SUCCESS", "FAILED"}) {
        pid_t pid = fake_daemon([verdict](int fd) {
            MessagePtr answer(BuildTextMessage("/x", verdict));
            const char *bytes = reinterpret_cast<const char *>(answer.get());
            /* Header split, then the text after a pause. */
            write_bytes(fd, bytes, 30);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            write_bytes(fd, bytes + 30, 30);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            write_bytes(fd, bytes + 60, answer->Length - 60);
        });
        EXPECT_EQ(FreePort("snp0010A", get_free_port_id), verdict[0] == 'S' ? 0 : -1) << verdict;
        int status = 0;
        waitpid(pid, &status, 0);
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
    int status = 0;
    waitpid(pid, &status, 0);
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

    int request_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR);
    ASSERT_GE(request_fd, 0);
    pid_t pid = fork();
    if (pid == 0) {
        for (int i = 0; i < 2; ++i) {
            MessagePtr request(FIFO_InputProc(request_fd));
            if (!request)
                _exit(4);
            kill(getppid(), SIGALRM);
        }
        _exit(0);
    }
    FIFO_CloseProc(request_fd);

    PortRequest_t ports[2] = {request_for("snp0010A"), request_for("snp0010B")};
    int count = 2;
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), -2);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(result_of(ports[0]), "Not gotten");
    EXPECT_EQ(FreeAllMyPorts(get_free_port_id), -2);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);

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
    waitpid(pid, &status, 0);

    /* Nothing of the abandoned requests lingers: the next one works. */
    pid = fake_daemon([](int fd) {
        MessagePtr answer(BuildTextMessage("/x", "SUCCESS"));
        FIFO_OutputProc(fd, answer.get(), answer->Length);
    });
    EXPECT_EQ(FreePort("snp0010A", get_free_port_id), 0);
    waitpid(pid, &status, 0);
}

TEST(PortRequestFakeDaemon, TheRealTimeLimitFollowsTheTestTimeScale)
{
    /* A stand-in that takes the request and stays silent; with the wait
     * scale at 30 the 30-second limit of a port request runs out after one
     * second of real alarm, not 30. */
    ConsoleRoot root;
    setenv("XRACKMON_TIME_SCALE", "30", 1);
    int request_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR);
    ASSERT_GE(request_fd, 0);
    pid_t pid = fork();
    if (pid == 0) {
        MessagePtr request(FIFO_InputProc(request_fd));
        pause(); /* never answers; ended by the test */
        _exit(0);
    }
    FIFO_CloseProc(request_fd);

    PortRequest_t ports[1] = {request_for("snp0010A")};
    int count = 1;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(GetManyPorts(get_free_port_id, ports, &count), -2);
    auto waited = std::chrono::steady_clock::now() - started;
    unsetenv("XRACKMON_TIME_SCALE");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(500));
    EXPECT_LT(waited, std::chrono::seconds(10));
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
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
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

    /* Random bytes with plausible headers. */
    std::mt19937 random(7);
    std::vector<char> bytes(FIFO_MAX_MESSAGE);
    for (int round = 0; round < 3000; ++round) {
        int size = IPC_HEADER_SIZE + static_cast<int>(random() % (FIFO_MAX_MESSAGE - IPC_HEADER_SIZE + 1));
        for (int i = 0; i < size; ++i)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>(random());
        std::int32_t type = std::array<std::int32_t, 6>{5, 7, 11, 18, 19, 20}[random() % 6];
        std::memcpy(bytes.data(), &type, 4);
        std::memcpy(bytes.data() + 4, &size, 4);
        const char address[] = "/var/console/fifos/util_9";
        std::memcpy(bytes.data() + 8, address, sizeof address);
        opclogd::Serve(table, bytes.data(), size);
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
