/*
 * engine_ports_test.cpp - the engine's serial ports against a real opclogd:
 * loans in batches and their return, a port another program holds (the
 * operator's answer decides), a name that fills its field, a device that
 * cannot be opened, a daemon that never answers (at once or after granting
 * a batch), a reply pipe that cannot be opened, the reclaim question's
 * text, the shell-safety of the reclaim command, and the port return when a
 * fatal signal interrupts a GO.
 *
 * The controllers are pseudo-terminals played by a thread of the test that
 * answers every command line with "AC 00" (or nothing, for a silent one).
 */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "daemon/portreq.h"
#include "engine/ports.h"
#include "engine/rsp_check.h"
#include "tests/unit/engine_test_support.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

/* Serial controllers on pseudo-terminals, linked where the configuration
 * says their devices are.  Every command line (ending in CR) is recorded
 * and answered with "AC 00" unless the controller is silent. */
class Controllers {
public:
    Controllers(const std::string &root, const std::vector<std::string> &devices) : lines_(devices.size())
    {
        for (const std::string &device : devices) {
            int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            EXPECT_GE(master, 0);
            EXPECT_EQ(grantpt(master), 0);
            EXPECT_EQ(unlockpt(master), 0);
            std::string slave_name = ptsname(master);
            int slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);
            struct termios raw;
            tcgetattr(slave, &raw);
            cfmakeraw(&raw);
            tcsetattr(slave, TCSANOW, &raw);
            std::filesystem::create_directories(std::filesystem::path(root + device).parent_path());
            EXPECT_EQ(symlink(slave_name.c_str(), (root + device).c_str()), 0) << device;
            masters_.push_back(master);
            slaves_.push_back(slave);
            silent_.push_back(false);
        }
        worker_ = std::thread([this] { Serve(); });
    }
    ~Controllers()
    {
        stop_ = true;
        worker_.join();
        for (int fd : masters_)
            close(fd);
        for (int fd : slaves_)
            close(fd);
    }
    void Silence(std::size_t i) { silent_[i] = true; }
    std::vector<std::string> Lines(std::size_t i)
    {
        std::lock_guard<std::mutex> hold(mutex_);
        return lines_[i];
    }

private:
    void Serve()
    {
        std::vector<std::string> partial(masters_.size());
        while (!stop_) {
            std::vector<pollfd> set;
            for (int fd : masters_)
                set.push_back(pollfd{fd, POLLIN, 0});
            if (poll(set.data(), set.size(), 20) <= 0)
                continue;
            for (std::size_t i = 0; i < set.size(); ++i) {
                char chunk[256];
                ssize_t got = (set[i].revents & POLLIN) ? read(masters_[i], chunk, sizeof chunk) : 0;
                for (ssize_t k = 0; k < got; ++k) {
                    if (chunk[k] != '\r') {
                        partial[i] += chunk[k];
                        continue;
                    }
                    {
                        std::lock_guard<std::mutex> hold(mutex_);
                        lines_[i].push_back(partial[i]);
                    }
                    partial[i].clear();
                    if (!silent_[i] && write(masters_[i], "AC 00\r\n", 7) != 7)
                        ADD_FAILURE() << "reply not written";
                }
            }
        }
    }

    std::vector<int> masters_, slaves_;
    std::vector<bool> silent_;
    std::mutex mutex_;
    std::vector<std::vector<std::string>> lines_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

/* n environmental controllers, four per cabinet from cabinet 100 on, named
 * snp0100A, snp0100B, ... with devices /dev/ttyT<cabinet><letter>, and a
 * processor node per cabinet. */
struct SerialInstallation {
    std::string config;
    std::vector<std::string> names, devices;
};

SerialInstallation Serial(int n)
{
    SerialInstallation made;
    for (int i = 0; i < n; ++i) {
        int cabinet = 100 + i / 4;
        char letter = static_cast<char>('A' + i % 4);
        std::string name = "snp0" + std::to_string(cabinet) + letter;
        std::string device = "/dev/ttyT" + std::to_string(cabinet) + letter;
        made.names.push_back(name);
        made.devices.push_back(device);
        made.config += Node(name, "SNP", cabinet, 0, "\tinterface=TTY\n\taddress=" + device + "\n");
        if (i % 4 == 0) /* the processor node that makes the cabinet */
            made.config += Node("vpr0" + std::to_string(cabinet), "VPR", cabinet, 1);
    }
    return made;
}

std::vector<std::string> Requests(OpclogdProcess &daemon)
{
    std::string out;
    EXPECT_TRUE(daemon.ctl("requests", &out));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(out.substr(at, end - at));
    return lines;
}

/* A test installation with opclogd serving its ports. */
class PortsTest : public ::testing::Test {
protected:
    void Start(const SerialInstallation &serial)
    {
        setenv("XRACKMON_TIME_SCALE", "20", 1);
        installation_ = std::make_unique<EngineInstallation>(serial.config);
        root_ = installation_->root().path();
        std::filesystem::create_directories(root_ + "/var/console/fifos");
        daemon_ = std::make_unique<OpclogdProcess>(root_);
        ASSERT_TRUE(daemon_->start({})) << daemon_->stderr_text();
    }
    void TearDown() override
    {
        installation_.reset();
        if (daemon_) {
            EXPECT_TRUE(daemon_->stop()) << daemon_->stderr_text();
        }
        daemon_.reset();
        unsetenv("XRACKMON_TIME_SCALE");
        engine_ui.ask_yes_no = nullptr;
        engine_ui.error_dialog = nullptr;
    }
    std::string Mine(const std::string &node, const std::string &device)
    {
        return "loan " + node + " " + device + " " + get_free_port_id;
    }

    std::unique_ptr<EngineInstallation> installation_;
    std::unique_ptr<OpclogdProcess> daemon_;
    std::string root_;
};

std::vector<std::string> questions;

} // namespace

TEST_F(PortsTest, FortyFivePortsAreBorrowedInBatchesUsedAndAllGivenBack)
{
    SerialInstallation serial = Serial(45);
    Start(serial);
    Controllers controllers(root_, serial.devices);

    GrabAllPorts(1);

    std::vector<std::string> asked;
    for (const std::string &line : Requests(*daemon_))
        asked.push_back(line.substr(0, line.find(" id=")) + line.substr(line.find(" count=")));
    EXPECT_EQ(asked, (std::vector<std::string>{"request type=18 count=20", "request type=18 count=20",
                                                "request type=18 count=5"}));
    EXPECT_EQ(daemon_->loans().size(), 45u);
    for (std::size_t i = 0; i < serial.devices.size(); ++i) {
        const snppb &slot = Block(100 + static_cast<int>(i) / 4).spb[i % 4];
        EXPECT_EQ(slot.owntheport, 1) << serial.names[i];
        EXPECT_GE(slot.env_path, 0) << serial.names[i];
        EXPECT_EQ(slot.outcome, spb_OK) << serial.names[i];
    }

    /* Closing everything sends SP over every open connection, then gives
     * every port back in one request. */
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);
    EXPECT_TRUE(daemon_->loans().empty());
    EXPECT_EQ(Requests(*daemon_).back(), std::string("request type=20 id=") + get_free_port_id);
    for (std::size_t i = 0; i < serial.devices.size(); ++i)
        EXPECT_EQ(controllers.Lines(i), (std::vector<std::string>{"EP", "SP"})) << serial.names[i];
}

TEST_F(PortsTest, ClosingOneCabinetEndsOnlyItsConversation)
{
    SerialInstallation serial = Serial(6); /* cabinet 100: A-D, cabinet 101: A, B */
    Start(serial);
    Controllers controllers(root_, serial.devices);
    int value[2] = {0, 0};
    ASSERT_EQ(Send_env_board(101, 0x04, value, WRITE_ENV, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    ASSERT_EQ(Send_env_board(100, 0, nullptr, EP, ANOTHER_MESSAGE, ALLCNTLRS), 0);
    ASSERT_EQ(Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS), 0);
    ASSERT_EQ(daemon_->loans().size(), 6u);

    Send_env_board(101, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);

    EXPECT_EQ(daemon_->loans().size(), 4u);
    EXPECT_EQ(controllers.Lines(4), (std::vector<std::string>{"EP", "WE 04 00", "SP"}));
    EXPECT_EQ(controllers.Lines(5), (std::vector<std::string>{"EP", "WE 04 00", "SP"}));
    EXPECT_EQ(controllers.Lines(0), (std::vector<std::string>{"EP"}));
    EXPECT_EQ(Block(101).num_reg_written, 0) << "the register log belongs to the connection that ended";
    EXPECT_EQ(Block(101).spb[0].env_path, -1);
    EXPECT_EQ(Block(100).spb[0].owntheport, 1);

    /* LAST_MESSAGE runs its command and closes at once, even on a cabinet
     * whose connection is not open yet. */
    ASSERT_EQ(Send_env_board(101, 0x05, value, WRITE_ENV, LAST_MESSAGE, ALLCNTLRS), 0);
    EXPECT_EQ(controllers.Lines(4), (std::vector<std::string>{"EP", "WE 04 00", "SP", "EP", "WE 05 00", "SP"}));
    EXPECT_EQ(daemon_->loans().size(), 4u);
}

TEST_F(PortsTest, APortHeldElsewhereIsReclaimedOnlyWhenTheOperatorSaysYes)
{
    SerialInstallation serial = Serial(2);
    Start(serial);
    Controllers controllers(root_, serial.devices);
    ASSERT_TRUE(daemon_->ctl("hold snp0100B 999999 xscp"));
    questions.clear();

    /* No: the held port's controller fails, the other one works. */
    engine_ui.ask_yes_no = [](const char *text, const char *tag) {
        questions.push_back(std::string(tag) + "|" + text);
        return 0;
    };
    GrabAllPorts(1);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Comm_Port_Busy|Couldn't get snp0100B: " +
                                std::string("In use by xscp PID-999999").substr(0, 40) +
                                "\n\nReclaim port(s)? \"The current owner may not function normally.\"");
    EXPECT_EQ(Block(100).spb[1].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).env_status, GETPORT_FAILED);
    EXPECT_EQ(Block(100).spb[0].owntheport, 1);
    EXPECT_EQ(daemon_->loans(), (std::vector<std::string>{Mine("snp0100A", "/dev/ttyT100A"),
                                                          "loan snp0100B /dev/ttyT100B xscp PID-999999"}));
    Send_env_board(0, 0, nullptr, 0, CLOSE_ALL_PORTS, ALLCNTLRS);

    /* Yes: the holder is ended, the port freed and borrowed again. */
    engine_ui.ask_yes_no = [](const char *, const char *) { return 1; };
    GrabAllPorts(1);
    EXPECT_EQ(Block(100).spb[1].owntheport, 1);
    EXPECT_EQ(Block(100).spb[1].outcome, spb_OK);
    EXPECT_EQ(daemon_->loans(), (std::vector<std::string>{Mine("snp0100A", "/dev/ttyT100A"),
                                                          Mine("snp0100B", "/dev/ttyT100B")}));
    EXPECT_EQ(controllers.Lines(1), (std::vector<std::string>{"EP"}));
}

/* A name of 16 characters fills the request's name field without a
 * terminator: it must still reach the daemon, the reclaim and the return
 * whole. */
TEST_F(PortsTest, ASixteenCharacterPortNameIsBorrowedReclaimedAndGivenBack)
{
    const std::string name = "snp0100Aabcdefgh", device = "/dev/ttyT100A";
    static_assert(sizeof(PortRequest_t::Processor) == 16);
    SerialInstallation serial;
    serial.config = Node(name, "SNP", 100, 0, "\tinterface=TTY\n\taddress=" + device + "\n") +
                    Node("vpr0100", "VPR", 100, 1);
    Start(serial);
    Controllers controllers(root_, {device});
    ASSERT_TRUE(daemon_->ctl("hold " + name + " 999999 xscp"));
    engine_ui.ask_yes_no = [](const char *, const char *) { return 1; };

    GrabAllPorts(1);
    EXPECT_EQ(Block(100).spb[0].owntheport, 1);
    EXPECT_EQ(daemon_->loans(), (std::vector<std::string>{Mine(name, device)}));
    Send_env_board(100, 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);
    EXPECT_TRUE(daemon_->loans().empty());
    EXPECT_EQ(controllers.Lines(0), (std::vector<std::string>{"EP", "SP"}));
}

TEST_F(PortsTest, ADeviceThatCannotBeOpenedGivesItsPortBackAtOnce)
{
    SerialInstallation serial = Serial(2);
    Start(serial);
    Controllers controllers(root_, {serial.devices[0]}); /* no device for snp0100B */

    GrabAllPorts(1);

    EXPECT_EQ(Block(100).spb[1].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).spb[1].owntheport, 0);
    EXPECT_EQ(Block(100).env_status, OPENPROC_FAILED);
    EXPECT_EQ(daemon_->loans(), (std::vector<std::string>{Mine("snp0100A", "/dev/ttyT100A")}));
    EXPECT_EQ(controllers.Lines(0), (std::vector<std::string>{"EP"}));
}

TEST_F(PortsTest, ASilentDaemonShowsTheTimeOutBoxAndFailsTheControllers)
{
    SerialInstallation serial = Serial(1);
    Start(serial);
    ASSERT_TRUE(daemon_->stop());
    daemon_.reset();
    /* The request pipe exists and is read by nobody that answers. */
    int pipe_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR | O_NONBLOCK);
    ASSERT_GE(pipe_fd, 0);
    questions.clear();
    engine_ui.error_dialog = [](const char *text) { questions.push_back(text); };

    GrabAllPorts(1);

    EXPECT_EQ(questions, (std::vector<std::string>{"Timed out getting ports, no response from opclogd."}));
    EXPECT_EQ(Block(100).spb[0].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).env_status, GETPORT_FAILED);
    FIFO_CloseProc(pipe_fd);
}

/* A daemon that grants the first loan request in full and then falls
 * silent: the time-out's return of every port covers the batches already
 * granted and the port kept from an earlier GO, so none may still count as
 * held. */
TEST_F(PortsTest, ATimeOutAfterAGrantedBatchLeavesNothingCountedAsHeld)
{
    SerialInstallation serial = Serial(1);
    Start(serial);
    /* The request's alarm is the engine's: the helper threads never take it. */
    sigset_t alarm_signal;
    sigemptyset(&alarm_signal);
    sigaddset(&alarm_signal, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm_signal, nullptr);
    Controllers controllers(root_, serial.devices);
    GrabAllPorts(1);
    ASSERT_EQ(Block(100).spb[0].owntheport, 1);
    ASSERT_TRUE(daemon_->stop());
    daemon_.reset();
    int pipe_fd = FIFO_OpenProc(DAEMON_FIFO_PATH, O_RDWR | O_NONBLOCK);
    ASSERT_GE(pipe_fd, 0);
    std::vector<int> types;
    std::atomic<bool> stop{false};
    std::thread daemon([&] {
        while (!stop) {
            pollfd wait{pipe_fd, POLLIN, 0};
            char message[PIPE_BUF];
            ssize_t got = poll(&wait, 1, 20) == 1 ? read(pipe_fd, message, sizeof message) : 0;
            if (got < IPC_HEADER_SIZE)
                continue;
            auto *request = reinterpret_cast<IPC_Message_t *>(message);
            types.push_back(request->Type);
            if (types.size() != 1)
                continue;
            PortRequest_t *entries = GetPortsMessage(request);
            int count = GetCountMessage(request);
            for (int i = 0; i < count; ++i)
                entries[i].Valid = 1;
            std::string address(MessageField(request->Address, sizeof request->Address));
            MessagePtr answer(BuildManyPortMessage(ANSWER_MSG, address.c_str(), "", entries, count));
            int reply = open((root_ + address).c_str(), O_WRONLY | O_NONBLOCK);
            EXPECT_EQ(write(reply, answer.get(), static_cast<std::size_t>(answer->Length)), answer->Length);
            close(reply);
        }
    });
    pthread_sigmask(SIG_UNBLOCK, &alarm_signal, nullptr);
    questions.clear();
    engine_ui.error_dialog = [](const char *text) { questions.push_back(text); };

    std::vector<PortRequest_t> ports(PORT_BATCH + 5);
    for (std::size_t i = 0; i < ports.size(); ++i)
        SetMessageField(ports[i].Processor, sizeof ports[i].Processor, "port" + std::to_string(i), false);
    int got = -1;
    EXPECT_EQ(ourGetManyPorts(ports.data(), static_cast<int>(ports.size()), &got), FAILURE);
    stop = true;
    daemon.join();
    FIFO_CloseProc(pipe_fd);

    EXPECT_EQ(types, (std::vector<int>{GET_MANY_PORTS_MSG, GET_MANY_PORTS_MSG, FREE_ALL_PORTS_MSG}));
    EXPECT_EQ(Block(100).spb[0].owntheport, 0) << "the port kept from the first GO went back too";
    EXPECT_EQ(Block(100).spb[0].env_path, -1);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(got, 0);
    for (std::size_t i = 0; i < ports.size(); ++i)
        EXPECT_EQ(ports[i].Valid, 0) << i;
    EXPECT_EQ(std::string(MessageField(ports.back().Result, PORT_RESULT_SIZE)), "log daemon connection timed out");
}

TEST_F(PortsTest, ADaemonPipeThatNobodyReadsIsUnreachableAfterTheOpenAlarm)
{
    SerialInstallation serial = Serial(1);
    Start(serial);
    ASSERT_TRUE(daemon_->stop());
    daemon_.reset();
    std::string pipe_path = root_ + DAEMON_FIFO_PATH;
    unlink(pipe_path.c_str());
    ASSERT_EQ(mkfifo(pipe_path.c_str(), 0666), 0);
    questions.clear();
    engine_ui.error_dialog = [](const char *text) { questions.push_back(text); };

    auto started = std::chrono::steady_clock::now();
    GrabAllPorts(1); /* the open of the pipe waits for a reader until its alarm */

    EXPECT_GE(std::chrono::steady_clock::now() - started, 2s); /* 60 s under the scale of 20 */
    EXPECT_TRUE(questions.empty()) << "an unreachable daemon is not a time-out";
    EXPECT_EQ(Block(100).spb[0].outcome, spb_ERROR);
    EXPECT_EQ(Block(100).env_status, GETPORT_FAILED);
}

TEST_F(PortsTest, AReplyPipeWhoseOpenFailsIsStillRemoved)
{
    Start(Serial(1));
    /* The daemon's pipe gets the lowest free descriptor; the reply pipe,
     * made next, cannot be opened. */
    int lowest = dup(0), next = dup(0);
    close(lowest);
    close(next);
    rlimit saved{}, low{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    low = saved;
    low.rlim_cur = static_cast<rlim_t>(next);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    int result = FreePort("snp0100A", get_free_port_id);
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(result, -1);
    EXPECT_FALSE(std::filesystem::exists(root_ + REPLY_FIFO_PREFIX + std::to_string(getpid())));
}

TEST(ReclaimQuestion, ListsThirtyOneRefusalsThenEllipsis)
{
    std::vector<PortRequest_t> ports(41);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        ports[i] = PortRequest_t{};
        std::string name = "port" + std::to_string(i);
        SetMessageField(ports[i].Processor, sizeof ports[i].Processor, name, false);
        SetMessageField(ports[i].Result, sizeof ports[i].Result, "In use by xscp PID-1", false);
    }
    ports[0].Valid = 1; /* granted entries are not listed */
    std::string text = ReclaimQuestion(ports.data(), static_cast<int>(ports.size()));
    EXPECT_EQ(text.find("port0:"), std::string::npos);
    EXPECT_NE(text.find("Couldn't get port31: In use by xscp PID-1\n...\n\nReclaim port(s)?"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("port32"), std::string::npos);
}

TEST(KillProc, OnlyPlainPortNamesReachTheShell)
{
    ConsoleRoot root;
    std::string marker = root.path() + "/ran";
    setenv("XRACKMON_TIME_SCALE", "20", 1);
    for (std::string name : {"x;touch " + marker, "$(touch " + marker + ")", "`touch " + marker + "`",
                             "a/b|touch " + marker, std::string("-x")})
        KillProc("xscp PID-1", name.c_str());
    EXPECT_FALSE(std::filesystem::exists(marker));

    /* A loan text without a pid reclaims nothing and only waits. */
    auto started = std::chrono::steady_clock::now();
    KillProc("In use by somebody", "snp0100A");
    EXPECT_GE(std::chrono::steady_clock::now() - started, 40ms);
    unsetenv("XRACKMON_TIME_SCALE");
}

TEST_F(PortsTest, AFatalSignalDuringAGoLeavesNothingOnLoan)
{
    SerialInstallation serial = Serial(2);
    Start(serial);
    Controllers controllers(root_, serial.devices);
    controllers.Silence(1);

    pid_t child = fork();
    if (child == 0) {
        struct sigaction action {};
        action.sa_handler = [](int sig) {
            close_all_ports();
            signal(sig, SIG_DFL);
            raise(sig);
        };
        sigaction(SIGTERM, &action, nullptr);
        unsetenv("XRACKMON_TIME_SCALE"); /* a GO that waits long */
        std::snprintf(get_free_port_id, sizeof get_free_port_id, "xrackmon.%d", int(getpid()));
        GrabAllPorts(1);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    std::string holder = "xrackmon." + std::to_string(child);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (daemon_->loans().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(daemon_->loans().size(), 2u);
    EXPECT_NE(daemon_->loans()[0].find(holder), std::string::npos);

    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    deadline = std::chrono::steady_clock::now() + 10s;
    while (!daemon_->loans().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(daemon_->loans().empty());
}
