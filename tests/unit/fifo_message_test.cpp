/*
 * fifo_message_test.cpp - the daemon messages as bytes, their accessors,
 * and the pipe operations on real pipes: a message read in pieces, the
 * out-of-step recovery, corrupt headers, the reply pipe refused when the
 * path holds a file or a link, one write per message.
 */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "daemon/fifo.h"
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

TEST(FifoMessageLayout, ManyPortMessageOfThreeRequestsIs277Bytes)
{
    PortRequest_t requests[3] = {request_for("snp0010A"), request_for("vpr010b"), request_for("abcdefghijklmnop")};
    MessagePtr msg(BuildManyPortMessage(GET_MANY_PORTS_MSG, "/var/console/fifos/util_42", "xrackmon.42", requests, 3));
    ASSERT_TRUE(msg);
    EXPECT_EQ(int_at(msg.get(), 0), 18);
    EXPECT_EQ(int_at(msg.get(), 4), 277);
    EXPECT_EQ(text_at(msg.get(), 8, 40), "/var/console/fifos/util_42");
    EXPECT_EQ(text_at(msg.get(), 48, 41), "xrackmon.42");
    EXPECT_TRUE(zero_bytes(msg.get(), 89, 92));
    EXPECT_EQ(int_at(msg.get(), 92), 3);
    EXPECT_EQ(text_at(msg.get(), 96 + 4, 16), "snp0010A");
    EXPECT_EQ(text_at(msg.get(), 156 + 4, 16), "vpr010b");
    EXPECT_EQ(text_at(msg.get(), 216 + 4, 16), "abcdefghijklmnop"); /* a full field, no terminator */
    EXPECT_EQ(text_at(msg.get(), 216 + 20, 40), "Not gotten");
    EXPECT_EQ(static_cast<const char *>(static_cast<const void *>(msg.get()))[276], 0);
    EXPECT_EQ(GetCountMessage(msg.get()), 3);
    EXPECT_EQ(reinterpret_cast<char *>(GetPortsMessage(msg.get())) - reinterpret_cast<char *>(msg.get()), 96);

    EXPECT_EQ(BuildManyPortMessage(19, "a", "b", requests, -1), nullptr);
    EXPECT_EQ(BuildManyPortMessage(19, "a", "b", requests, FIFO_MAX_PORT_REQUESTS + 1), nullptr);
}

TEST(FifoMessageLayout, PortAndFreeAllMessagesCutTheirFields)
{
    MessagePtr port(BuildPortMessage(FREE_PORT_MSG, "/var/console/fifos/util_7", "abcdefghijklmnopqrst",
                                     std::string(50, 'r').c_str()));
    ASSERT_TRUE(port);
    EXPECT_EQ(int_at(port.get(), 0), 5);
    EXPECT_EQ(int_at(port.get(), 4), 107);
    EXPECT_EQ(text_at(port.get(), 48, 41), std::string(40, 'r'));
    EXPECT_EQ(text_at(port.get(), 89, 17), "abcdefghijklmnop");
    EXPECT_TRUE(zero_bytes(port.get(), 105, 107));

    MessagePtr all(BuildFreeAllPortsMessage(std::string(60, '/').c_str(), "xrackmon.7"));
    ASSERT_TRUE(all);
    EXPECT_EQ(int_at(all.get(), 0), 20);
    EXPECT_EQ(int_at(all.get(), 4), 106);
    EXPECT_EQ(text_at(all.get(), 8, 40), std::string(39, '/')); /* the address keeps its last byte zero */
    EXPECT_EQ(text_at(all.get(), 48, 41), "xrackmon.7");
    EXPECT_TRUE(zero_bytes(all.get(), 58, 106));
}

TEST(FifoMessageLayout, LogMessageOfThreeCharactersIs104Bytes)
{
    std::time_t before = std::time(nullptr);
    MessagePtr msg(BuildLogMessage(LOG_MSG, DAEMON_FIFO_PATH, "snp0010A", 7, "fan3", 0, "abc"));
    ASSERT_TRUE(msg);
    EXPECT_EQ(int_at(msg.get(), 0), 7);
    EXPECT_EQ(int_at(msg.get(), 4), 104);
    EXPECT_EQ(text_at(msg.get(), 8, 40), "/var/console/fifos/nxlogd_FIFO");
    EXPECT_EQ(text_at(msg.get(), 48, 17), "snp0010A");
    EXPECT_EQ(int_at(msg.get(), 68), 7);
    EXPECT_EQ(text_at(msg.get(), 72, 17), "fan3");
    EXPECT_GE(int_at(msg.get(), 92), before); /* 0 means now */
    EXPECT_LE(int_at(msg.get(), 92), std::time(nullptr));
    EXPECT_EQ(int_at(msg.get(), 96), 4);
    EXPECT_EQ(text_at(msg.get(), 100, 4), "abc");
    EXPECT_EQ(static_cast<const char *>(static_cast<const void *>(msg.get()))[103], 0);

    MessagePtr dated(BuildLogMessage(LOG_MSG, DAEMON_FIFO_PATH, "n", 1, nullptr, 12345, ""));
    ASSERT_TRUE(dated);
    EXPECT_EQ(int_at(dated.get(), 92), 12345);
    EXPECT_EQ(int_at(dated.get(), 96), 1);
    EXPECT_EQ(int_at(dated.get(), 4), 101);
}

TEST(FifoMessageLayout, TextAnswersAndTheirStringPart)
{
    MessagePtr empty(BuildTextMessage("/var/console/fifos/util_1", ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Length, 48);
    char *none = StringPart(empty.get());
    ASSERT_NE(none, nullptr);
    EXPECT_STREQ(none, "");
    std::free(none);

    MessagePtr success(BuildTextMessage("/var/console/fifos/util_1", "SUCCESS"));
    ASSERT_TRUE(success);
    EXPECT_EQ(success->Type, 11);
    EXPECT_EQ(success->Length, 56);
    char *text = StringPart(success.get());
    EXPECT_STREQ(text, "SUCCESS");
    std::free(text);
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

TEST_F(PipeTest, MessageArrivingInPiecesIsReadWhole)
{
    PortRequest_t requests[2] = {request_for("snp0010A"), request_for("snp0010B")};
    MessagePtr sent(BuildManyPortMessage(ANSWER_MSG, "/x", "id", requests, 2));
    ASSERT_TRUE(sent);
    const char *bytes = reinterpret_cast<const char *>(sent.get());
    int length = sent->Length;
    /* Cut inside the header, inside the body, and the rest. */
    std::thread writer([&] {
        int cuts[] = {0, 20, 100, length};
        for (int i = 0; i + 1 < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            ssize_t put = write(fd, bytes + cuts[i], static_cast<std::size_t>(cuts[i + 1] - cuts[i]));
            (void)put;
        }
    });
    MessagePtr got(FIFO_InputProc(fd));
    writer.join();
    ASSERT_TRUE(got);
    ASSERT_EQ(got->Length, length);
    EXPECT_EQ(std::memcmp(got.get(), sent.get(), static_cast<std::size_t>(length)), 0);
    EXPECT_EQ(GetCountMessage(got.get()), 2);

    /* Two messages in one write come out one at a time. */
    MessagePtr first(BuildTextMessage("/x", "SUCCESS"));
    MessagePtr second(BuildTextMessage("/x", "FAILED"));
    std::vector<char> both(reinterpret_cast<char *>(first.get()), reinterpret_cast<char *>(first.get()) + 56);
    both.insert(both.end(), reinterpret_cast<char *>(second.get()), reinterpret_cast<char *>(second.get()) + 55);
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
    put(std::vector<char>(reinterpret_cast<char *>(valid.get()), reinterpret_cast<char *>(valid.get()) + valid->Length));

    testing::internal::CaptureStderr();
    auto started = std::chrono::steady_clock::now();
    MessagePtr got(FIFO_InputProc(fd));
    auto spent = std::chrono::steady_clock::now() - started;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(got);
    EXPECT_NE(err.find("ERROR: FIFO_Input: fifo " + std::to_string(fd) + " corrupted. Possible loss of FIFO message"),
              std::string::npos)
        << err;
    EXPECT_LT(spent, std::chrono::seconds(4)); /* the drain's own two-second alarm ended it */

    /* The pipe is empty: a fresh message is the next thing read. */
    MessagePtr fresh(BuildTextMessage("/x", "SUCCESS"));
    put(std::vector<char>(reinterpret_cast<char *>(fresh.get()), reinterpret_cast<char *>(fresh.get()) + 56));
    MessagePtr next(FIFO_InputProc(fd));
    ASSERT_TRUE(next);
    EXPECT_STREQ(reinterpret_cast<char *>(next.get()) + 48, "SUCCESS");
}

TEST_F(PipeTest, AbsurdLengthIsRefusedBeforeAnyAllocation)
{
    /* Were the length believed, the read of a body that never comes would
     * block for good; refusing it returns within the drain's alarm. */
    for (int length : {FIFO_MAX_MESSAGE + 1, 0x7fffffff}) {
        put(header_bytes(ANSWER_MSG, length));
        testing::internal::CaptureStderr();
        MessagePtr got(FIFO_InputProc(fd));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(got) << length;
        EXPECT_NE(err.find("corrupted"), std::string::npos) << err;
    }
    /* A type past the highest is out of step too. */
    put(header_bytes(1001, 60));
    testing::internal::CaptureStderr();
    EXPECT_EQ(FIFO_InputProc(fd), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("corrupted"), std::string::npos);

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
    testing::internal::CaptureStderr();
    EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_2", O_RDWR), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: FIFO_Open: cannot create fifo \"" + dir + "util_2\": errno = " + std::to_string(EEXIST)),
              std::string::npos)
        << err;
    std::ifstream kept(dir + "util_2");
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "keep me");

    /* A link is never followed, not even to a FIFO, nor for writing. */
    ASSERT_EQ(symlink((dir + "util_1").c_str(), (dir + "util_3").c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_3", O_RDWR), -1);
    EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_3", O_WRONLY | O_NONBLOCK), -1);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot create fifo"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot open fifo"), std::string::npos) << err;

    /* Writing to a pipe nobody reads fails at once without blocking. */
    testing::internal::CaptureStderr();
    EXPECT_EQ(FIFO_OpenProc("/var/console/fifos/util_1", O_WRONLY | O_NONBLOCK), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("errno = " + std::to_string(ENXIO)), std::string::npos);
}

TEST(FifoOutput, OneWritePerMessageAndNoLongerThanPipeBuf)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::vector<char> big(static_cast<std::size_t>(FIFO_MAX_MESSAGE) + 1, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), FIFO_MAX_MESSAGE + 1), -1);
    EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), 47), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING: FIFO_Output: cannot write fifo " + std::to_string(ends[1]) + " message: errno = " +
                       std::to_string(EMSGSIZE)),
              std::string::npos)
        << err;
    EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), FIFO_MAX_MESSAGE), FIFO_MAX_MESSAGE);
    std::vector<char> back(static_cast<std::size_t>(FIFO_MAX_MESSAGE) + 10);
    EXPECT_EQ(read(ends[0], back.data(), back.size()), FIFO_MAX_MESSAGE);

    /* The reader gone: an error, not the end of the program. */
    close(ends[0]);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FIFO_OutputProc(ends[1], big.data(), 48), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("errno = " + std::to_string(EPIPE)), std::string::npos);
    close(ends[1]);
}
