/*
 * serial.cpp - the simulated serial controllers (see serial.h): their
 * pseudo-terminals and device links, the ASCII command protocol of the
 * environmental and disk-array controllers, the binary frames of the UPS,
 * faults on their replies, and the serial statements of the line language
 * (serial, reg, ups, show, clear NODE; listed in cabsim.md).  The
 * simulator's loop calls serve_serial when a line has bytes and
 * flush_serial when it can take more.
 *
 * Every command received is recorded in the command log as
 *   node=N dev=D cmd="TEXT" reply="TEXT" [events="EC 88,..."] [fault=KIND]
 * (UPS frames as hex: cmd=HEX reply=HEX).
 */
#include "platform/cabsim/serial.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include "base/console_path.h"
#include "config/config.h"
#include "platform/cabsim/cabsim.h"

namespace cabsim {

namespace {

constexpr std::size_t kMaxCommandLine = 256;
constexpr std::size_t kMaxPendingOutput = 65536;
constexpr int kSplitDelayMs = 300;
constexpr uint8_t kUnexpectedCode = 0x7F; /* expected after no write at all */
constexpr const char *kNotUnderstood = "\x12\n";
constexpr const char *kGarbage = "#?!x\r\n";
constexpr const char *kShortReply = "AC\r\n";
constexpr char kUpsStart = 0x01;
constexpr char kUpsNak = 0x15;
constexpr uint8_t kUpsQuery = 0x03;
constexpr uint8_t kUpsControl = 0x04;
constexpr std::size_t kUpsMaxPayload = 8;
constexpr std::size_t kUpsQuerySize = 6;
constexpr std::size_t kUpsControlSize = 8;

/* The ASCII commands a controller knows, with the number of arguments
 * (one- or two-digit hex words) each takes. */
struct AsciiCommand {
    std::string_view name;
    int min_args;
    int max_args;
};
constexpr AsciiCommand kAsciiCommands[] = {
    {"RE", 1, 1}, {"WE", 2, 2}, {"EN", 0, 0}, {"RA", 2, 2}, {"WR", 2, 2}, {"RR", 0, 0}, {"DG", 0, 0},
    {"RN", 1, 1}, {"BD", 0, 1}, {"TD", 1, 1}, {"ID", 0, 1}, {"LE", 0, 0}, {"TI", 0, 1}, {"PD", 2, 2},
    {"DD", 0, 0}, {"CU", 0, 0}, {"EP", 0, 0}, {"SP", 0, 0}, {"PS", 2, 2}, {"DP", 0, 0},
};

/* The first event a controller sends, after SP, for a register written in
 * the conversation (registers in the console's numbering). */
struct EventOfWrite {
    uint8_t reg;
    uint8_t code;
};
constexpr EventOfWrite kEventOfWrite[] = {
    {0x00, 0x88}, {0x01, 0x88}, {0x04, 0x88}, {0x05, 0x88}, {0x08, 0x88}, {0x09, 0x88}, {0x0C, 0x88},
    {0x0D, 0x88}, {0x10, 0x88}, {0x11, 0x88}, {0x14, 0x88}, {0x15, 0x88}, {0x02, 0x94}, {0x06, 0x96},
    {0x0A, 0x98}, {0x0E, 0x9A}, {0x12, 0x9C}, {0x16, 0x9E}, {0x03, 0xE0}, {0x07, 0xE1}, {0x0B, 0xE2},
    {0x0F, 0xE3}, {0x13, 0xE4}, {0x17, 0xE5}, {0x1B, 0xE6}, {0x1F, 0xF8}, {0x60, 0xEE}, {0x20, 0xA1},
    {0x21, 0xA6}, {0x24, 0xA9}, {0x25, 0xAE}, {0x28, 0xB1}, {0x29, 0xB6}, {0x2C, 0xB9}, {0x2D, 0xBE},
    {0x30, 0xC1}, {0x31, 0xC6}, {0x34, 0xC9}, {0x35, 0xCE}, {0x38, 0xD1}, {0x39, 0xD6}, {0x3C, 0xD9},
    {0x3D, 0xDE}, {0xFC, 0xE0}, {0xFD, 0xFD}, {0xFE, 0xFE},
};
constexpr uint8_t kSerialNumberEvent = 0xFE; /* sent as "SC 52" */

/* How a back-side disk-array controller numbers the registers the console
 * knows: entry n is the number that arrives for the console's register n. */
constexpr std::array<uint8_t, 256> kBackSideNumber = {
    0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x19, 0x18, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x78, 0x79, 0x7A, 0x7B,
    0x7C, 0x7D, 0x7E, 0x7F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x6C, 0x69, 0x6A, 0x6B, 0x68, 0x6D, 0x6E, 0x6F,
    0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x34,
    0x82, 0x83, 0x80, 0x81, 0x84, 0x85, 0x86, 0x87, 0x8C, 0x8D, 0x8E, 0x8F, 0x88, 0x89, 0x8A, 0x8B,
    0x90, 0x91, 0x92, 0x93, 0x98, 0x99, 0x9A, 0x9B, 0x94, 0x95, 0x96, 0x97, 0x9C, 0x9D, 0x9E, 0x9F,
    0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5,
    0xA6, 0xA7, 0xA8, 0xA9, 0xB6, 0xB7, 0xB4, 0xB5, 0xBA, 0xBB, 0xB8, 0xB9, 0xBC, 0xBD, 0xBE, 0xBF,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE2, 0xE3, 0xE0, 0xE1, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xFA, 0xFB, 0xF8, 0xF9, 0xFC, 0xFD, 0xFE, 0xFF,
};
static_assert(kBackSideNumber[0x00] == 0x08 && kBackSideNumber[0x18] == 0x19 && kBackSideNumber[0x1A] == 0x1A &&
                  kBackSideNumber[0xBD] == 0xBD,
              "the back side keeps the side register");

/* A UPS's readings out of the box, one per query (a 2100 VA model on 230 V
 * mains, charged, about 30 degrees, 50 Hz). */
struct UpsReading {
    std::string_view chars;
    uint8_t value;
};
constexpr UpsReading kUpsDefaults[] = {
    {"M#", 0x15}, {"ST", 0x00}, {"SE", 0x00}, {"SD", 0x00}, {"AT", 0x1E}, {"BR", 0x00},
    {"DR", 0x00}, {"PV", 0xD5}, {"PI", 0x50}, {"PO", 0x20}, {"B+", 0x80}, {"B-", 0x80},
    {"T1", 0xA0}, {"T2", 0xA0}, {"BT", 0xA0}, {"BV", 0x6B}, {"BI", 0x0C}, {"CI", 0x0E},
    {"BC", 0xC8}, {"IF", 0x9D}, {"OF", 0x9D}, {"BO", 0x00}, {"OO", 0x00}, {"TO", 0x00},
};
static_assert(std::size(kUpsDefaults) == 24, "a reading for every query");

constexpr std::string_view kUpsControls[] = {
    "I-", "I+", "I<", "I>", "S-", "S<", "U-", "U<", "S+", "S>", "B+",
    "B>", "D+", "D>", "H-", "H<", "P+", "P>", "R+", "R>", "R-", "R<",
};
static_assert(std::size(kUpsControls) == 22, "the control commands");

struct FaultName {
    std::string_view name;
    SerialFault::Kind kind;
};
constexpr FaultName kFaultNames[] = {
    {"silent", SerialFault::SILENT}, {"garbage", SerialFault::GARBAGE}, {"short", SerialFault::SHORT},
    {"nak", SerialFault::NAK},       {"split", SerialFault::SPLIT},     {"nolf", SerialFault::NOLF},
    {"unexpected", SerialFault::UNEXPECTED}, {"wrongsize", SerialFault::WRONGSIZE},
    {"badsum", SerialFault::BADSUM}, {"sum7", SerialFault::SUM7},
};

/* ---- small helpers -------------------------------------------------------- */

std::string_view fault_name(SerialFault::Kind kind)
{
    for (const FaultName &f : kFaultNames)
        if (f.kind == kind)
            return f.name;
    return "?";
}

std::string hex_bytes(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (char ch : bytes) {
        auto b = static_cast<uint8_t>(ch);
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

/* A reply for the log: its line ending dropped, other control bytes as \xNN. */
std::string printable(std::string_view bytes)
{
    if (bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n")
        bytes.remove_suffix(2);
    std::string text;
    for (char ch : bytes) {
        auto b = static_cast<uint8_t>(ch);
        if (b >= 0x20 && b < 0x7F && ch != '"' && ch != '\\') {
            text += ch;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02x", b);
            text += escaped;
        }
    }
    return text;
}

std::string ac_reply(int value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "AC %02X\r\n", value & 0xFF);
    return text;
}

/* A word of one or two hex digits. */
bool hex_word(const std::string &word, int &value)
{
    auto digit = [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; };
    if (word.empty() || word.size() > 2 || !std::all_of(word.begin(), word.end(), digit))
        return false;
    value = static_cast<int>(std::strtol(word.c_str(), nullptr, 16));
    return true;
}

void make_parent_dirs(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0755);
}

/* Other processes that hold the slave open (the console or a serial console
 * program). */
std::vector<long> line_holders(const std::string &pty)
{
    std::vector<long> pids;
    if (pty.empty())
        return pids;
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        return pids;
    const long self = getpid();
    while (dirent *entry = readdir(proc)) {
        long pid = std::strtol(entry->d_name, nullptr, 10);
        if (pid <= 0 || pid == self)
            continue;
        std::string fd_dir = std::string("/proc/") + entry->d_name + "/fd";
        DIR *fds = opendir(fd_dir.c_str());
        if (fds == nullptr)
            continue;
        while (dirent *fd = readdir(fds)) {
            char target[256];
            ssize_t n = readlink((fd_dir + "/" + fd->d_name).c_str(), target, sizeof(target) - 1);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == pty) {
                pids.push_back(pid);
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return pids;
}

/* ---- faults --------------------------------------------------------------- */

enum class FaultUse { REPLY, EN_REPLY, EVENT, UPS_REPLY };

bool fault_applies(SerialFault::Kind kind, FaultUse use)
{
    switch (kind) {
    case SerialFault::UNEXPECTED: return use == FaultUse::EVENT;
    case SerialFault::WRONGSIZE: return use == FaultUse::EN_REPLY;
    case SerialFault::BADSUM:
    case SerialFault::SUM7: return use == FaultUse::UPS_REPLY;
    default: return use != FaultUse::EVENT;
    }
}

/* The first fault for this use, counted down; false when none. */
bool take_fault(SerialController &c, FaultUse use, SerialFault::Kind &kind)
{
    for (auto it = c.faults.begin(); it != c.faults.end(); ++it) {
        if (!fault_applies(it->kind, use))
            continue;
        kind = it->kind;
        if (it->count != SerialFault::kForever && --it->count <= 0)
            c.faults.erase(it);
        return true;
    }
    return false;
}

/* ---- the ASCII controllers -------------------------------------------------- */

void note_write(SerialController &c, uint16_t what)
{
    if (std::find(c.written.begin(), c.written.end(), what) == c.written.end())
        c.written.push_back(what);
}

/* The event a write makes the controller send, or -1. */
int event_code(const SerialController &c, uint16_t what)
{
    int reg = what & 0xFF;
    if (what < 0x100 && get_register(c, kSideRegister)) {
        /* The controller reports in the console's numbering. */
        auto it = std::find(kBackSideNumber.begin(), kBackSideNumber.end(), static_cast<uint8_t>(reg));
        if (it != kBackSideNumber.end())
            reg = static_cast<int>(it - kBackSideNumber.begin());
    }
    for (const EventOfWrite &e : kEventOfWrite)
        if (e.reg == reg)
            return e.code;
    return -1;
}

std::string event_line(int code)
{
    if (code == kSerialNumberEvent)
        return "SC 52\r\n";
    char text[16];
    std::snprintf(text, sizeof(text), "EC %02X\r\n", code & 0xFF);
    return text;
}

/* The events after SP: one per write since EP that has one. */
std::vector<std::string> events_after_close(SerialController &c)
{
    std::vector<std::string> events;
    for (uint16_t what : c.written) {
        int code = event_code(c, what);
        if (code < 0)
            continue;
        SerialFault::Kind kind{};
        if (take_fault(c, FaultUse::EVENT, kind))
            code = kUnexpectedCode;
        events.push_back(event_line(code));
    }
    c.written.clear();
    return events;
}

/* Eight registers from `reg` as one byte, `reg` in the lowest bit. */
int register_byte(const SerialController &c, int reg)
{
    int value = 0;
    for (int i = 0; i < 8 && reg + i < kRegisterCount; ++i)
        value |= get_register(c, reg + i) ? 1 << i : 0;
    return value;
}

/* The controller's answer to a command it knows. */
std::string run_ascii(SerialController &c, std::string_view name, const std::vector<int> &args,
                      std::vector<std::string> &events)
{
    if (name == "EP") {
        c.written.clear();
    } else if (name == "SP") {
        events = events_after_close(c);
    } else if (name == "RE") {
        return ac_reply(get_register(c, args[0]) ? 1 : 0);
    } else if (name == "WE") {
        set_register(c, args[0], args[1] != 0);
        note_write(c, static_cast<uint16_t>(args[0]));
    } else if (name == "EN") {
        return "AC " + image_digits(c) + "\r\n";
    } else if (name == "RR") {
        std::string digits;
        for (uint8_t byte : c.serial_number) {
            char pair[4];
            std::snprintf(pair, sizeof(pair), "%02X", byte);
            digits += pair;
        }
        return digits + "\r\n";
    } else if (name == "WR") {
        if (args[0] < static_cast<int>(kSerialNumberSize))
            c.serial_number[static_cast<std::size_t>(args[0])] = static_cast<uint8_t>(args[1]);
        note_write(c, kSerialNumberWrite);
    } else if (name == "RA") {
        return "RS 00\r\n";
    } else if (name == "RN") {
        return ac_reply(register_byte(c, args[0]));
    } else if (name == "BD") {
        note_write(c, kBatteryDisableWrite);
    } else if (name == "ID") {
        if (args.empty())
            return ac_reply(c.dac_id);
        c.dac_id = static_cast<uint8_t>(args[0]);
        return "Level 0 Done\r\n";
    } else if (name == "TI") {
        if (args.empty())
            return ac_reply(c.primary);
        c.primary = static_cast<uint8_t>(args[0]);
    } else if (name == "LE") {
        return ac_reply(c.leds);
    }
    return ac_reply(0);
}

/* The known command of a line, with its arguments; null when not understood. */
const AsciiCommand *parse_ascii(const std::string &line, std::vector<int> &args)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        std::size_t end = line.find(' ', i);
        if (end == std::string::npos)
            end = line.size();
        if (end > i)
            words.push_back(line.substr(i, end - i));
        i = end + 1;
    }
    if (words.empty())
        return nullptr;
    for (const AsciiCommand &cmd : kAsciiCommands) {
        if (words[0] != cmd.name)
            continue;
        int given = static_cast<int>(words.size()) - 1;
        if (given < cmd.min_args || given > cmd.max_args)
            return nullptr;
        for (std::size_t w = 1; w < words.size(); ++w) {
            int value = 0;
            if (!hex_word(words[w], value))
                return nullptr;
            args.push_back(value);
        }
        return &cmd;
    }
    return nullptr;
}

/* ---- the UPS ------------------------------------------------------------------- */

char checksum(std::string_view bytes)
{
    unsigned sum = 0;
    for (char ch : bytes)
        sum += static_cast<uint8_t>(ch);
    return static_cast<char>(sum & 0xFF);
}

std::string ups_frame(std::string body)
{
    body += checksum(body);
    return body;
}

/* The UPS's answer to one whole, well-summed frame; a NAK for what it does
 * not know. */
std::string ups_answer(const SerialController &c, const std::string &frame)
{
    std::string chars = frame.substr(3, 2);
    auto type = static_cast<uint8_t>(frame[1]);
    if (type == kUpsQuery && frame.size() == kUpsQuerySize) {
        auto it = c.ups_values.find(chars);
        if (it == c.ups_values.end())
            return std::string(1, kUpsNak);
        char value[4];
        std::snprintf(value, sizeof(value), "%02X", it->second);
        return ups_frame(std::string{kUpsStart, 'R', 0x04} + chars + value);
    }
    if (type == kUpsControl && frame.size() == kUpsControlSize &&
        std::find(std::begin(kUpsControls), std::end(kUpsControls), chars) != std::end(kUpsControls))
        return ups_frame(std::string{kUpsStart, 'S', 0x04} + frame.substr(3, 4));
    return std::string(1, kUpsNak);
}

SerialReply ups_reply(SerialController &c, const std::string &frame)
{
    SerialReply r;
    bool summed = frame.back() == checksum(std::string_view(frame).substr(0, frame.size() - 1));
    r.bytes = summed ? ups_answer(c, frame) : std::string(1, kUpsNak);
    SerialFault::Kind kind{};
    bool faulty = take_fault(c, FaultUse::UPS_REPLY, kind);
    if (faulty) {
        switch (kind) {
        case SerialFault::SILENT: r.bytes.clear(); break;
        case SerialFault::GARBAGE: r.bytes = ups_frame(std::string{kUpsStart, '?', 0x02, '#', '!'}); break;
        case SerialFault::SHORT: r.bytes.resize(std::min<std::size_t>(r.bytes.size(), 3)); break;
        case SerialFault::NAK: r.bytes = std::string(1, kUpsNak); break;
        case SerialFault::SPLIT: r.split = true; break;
        case SerialFault::NOLF: r.bytes.pop_back(); break;
        /* A reply frame's checksum off in its lowest bit, or in bit 7 only
         * (what a line that strips the eighth bit delivers). */
        case SerialFault::BADSUM:
            if (r.bytes.size() > 1)
                r.bytes.back() = static_cast<char>(r.bytes.back() ^ 0x01);
            break;
        case SerialFault::SUM7:
            if (r.bytes.size() > 1)
                r.bytes.back() = static_cast<char>(r.bytes.back() ^ 0x80);
            break;
        default: break;
        }
    }
    r.log = "node=" + c.node + " dev=" + c.device + " cmd=" + hex_bytes(frame) + " reply=" + hex_bytes(r.bytes);
    if (faulty)
        r.log += " fault=" + std::string(fault_name(kind));
    return r;
}

/* ---- statements ------------------------------------------------------------------ */

bool parse_fault(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts,
                 SerialController &c, std::string &error)
{
    const char *usage = "usage: serial NODE fault silent|garbage|short|nak|split|nolf|unexpected|wrongsize|badsum|sum7 "
                        "[on|off] [count=N]";
    auto kind = std::find_if(std::begin(kFaultNames), std::end(kFaultNames),
                             [&](const FaultName &f) { return args.size() > 3 && f.name == args[3]; });
    long count = 1;
    auto it = opts.find("count");
    if (kind == std::end(kFaultNames) || args.size() > 5 || (it != opts.end() && !parse_number(it->second, 1, 1000000, count))) {
        error = usage;
        return false;
    }
    std::string mode = args.size() == 5 ? args[4] : "";
    if (mode == "off") {
        std::erase_if(c.faults, [&](const SerialFault &f) { return f.kind == kind->kind; });
        return true;
    }
    if (!mode.empty() && mode != "on") {
        error = usage;
        return false;
    }
    c.faults.push_back(SerialFault{kind->kind, mode == "on" ? SerialFault::kForever : static_cast<int>(count)});
    return true;
}

bool parse_serial_number(const std::string &text, SerialController &c)
{
    if (text.size() != 2 * kSerialNumberSize)
        return false;
    for (std::size_t i = 0; i < kSerialNumberSize; ++i) {
        int value = 0;
        if (!hex_word(text.substr(2 * i, 2), value))
            return false;
        c.serial_number[i] = static_cast<uint8_t>(value);
    }
    return true;
}

bool parse_ups_values(const std::map<std::string, std::string> &opts, SerialController &c, std::string &error)
{
    if (c.protocol != SerialController::UPS || opts.empty()) {
        error = "usage: ups NODE CC=VALUE... (a UPS, query characters such as ST or PV)";
        return false;
    }
    for (const auto &[chars, text] : opts) {
        long value = 0;
        if (c.ups_values.count(chars) == 0 || !parse_number(text, 0, 255, value)) {
            error = "bad reading " + chars + "=" + text;
            return false;
        }
    }
    for (const auto &[chars, text] : opts) {
        long value = 0;
        parse_number(text, 0, 255, value);
        c.ups_values[chars] = static_cast<uint8_t>(value);
    }
    return true;
}

} // namespace

/* ---- the controllers ---------------------------------------------------------- */

std::string serial_type_of(int host_type, int sub_type)
{
    if (host_type == SNP_type)
        return "SNP";
    if (host_type == QNA_type)
        return "QNA";
    if (host_type == JBOD_type)
        return "JBOD";
    if (host_type == DISK_type)
        return "DAC";
    if (host_type == PWR_type && sub_type != SUBTYPE_RM)
        return "PWR";
    return "";
}

bool make_controller(const std::string &node, const std::string &device, const std::string &type,
                     const std::string &side, SerialController &out)
{
    static constexpr std::string_view kTypes[] = {"SNP", "QNA", "JBOD", "DAC", "DISK", "PWR"};
    if (std::find(std::begin(kTypes), std::end(kTypes), type) == std::end(kTypes) ||
        (side != "" && side != "front" && side != "back") || node.empty() || device.empty())
        return false;
    SerialController c;
    c.node = node;
    c.type = type == "DISK" ? "DAC" : type;
    c.device = device;
    c.link = console_path(device);
    c.protocol = c.type == "PWR" ? SerialController::UPS : SerialController::ASCII;

    /* Controller 1 of a disk-array cabinet drives the back side: the ninth
     * character of a JBOD's name, the eighth of a DAC's. */
    std::size_t id_at = c.type == "JBOD" ? 8 : 7;
    bool second = (c.type == "JBOD" || c.type == "DAC") && node.size() > id_at && node[id_at] == '1';
    set_register(c, kSideRegister, side.empty() ? second : side == "back");

    for (std::size_t i = 0; i < kSerialNumberSize && i < node.size(); ++i)
        c.serial_number[i] = static_cast<uint8_t>(node[i]);
    if (c.protocol == SerialController::UPS)
        for (const UpsReading &r : kUpsDefaults)
            c.ups_values[std::string(r.chars)] = r.value;
    out = std::move(c);
    return true;
}

bool get_register(const SerialController &c, int reg)
{
    if (reg < 0 || reg >= kRegisterCount)
        return false;
    return (c.image[static_cast<std::size_t>(reg / 8)] >> (reg % 8)) & 1;
}

void set_register(SerialController &c, int reg, bool value)
{
    if (reg < 0 || reg >= kRegisterCount)
        return;
    auto &byte = c.image[static_cast<std::size_t>(reg / 8)];
    auto bit = static_cast<uint8_t>(1u << (reg % 8));
    byte = value ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

std::string image_digits(const SerialController &c)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int k = 0; k < kRegisterCount / 4; ++k) {
        int value = 0;
        for (int j = 0; j < 4; ++j)
            value |= get_register(c, 4 * k + j) ? 1 << j : 0;
        text += digits[value];
    }
    return text;
}

/* ---- the lines ------------------------------------------------------------------- */

bool open_line(SerialController &c)
{
    /* 1. A pseudo-terminal pair; the slave raw, and kept open by us. */
    c.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (c.master < 0 || grantpt(c.master) != 0 || unlockpt(c.master) != 0 ||
        ptsname_r(c.master, name, sizeof(name)) != 0) {
        std::cerr << "cabsim: no pseudo-terminal for " << c.node << ": " << std::strerror(errno) << "\n";
        close_line(c);
        return false;
    }
    fcntl(c.master, F_SETFL, fcntl(c.master, F_GETFL) | O_NONBLOCK);
    c.pty = name;
    c.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (c.slave < 0 || tcgetattr(c.slave, &tio) != 0) {
        std::cerr << "cabsim: cannot open " << name << ": " << std::strerror(errno) << "\n";
        close_line(c);
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(c.slave, TCSANOW, &tio);

    /* 2. The device link: only a link is ever replaced. */
    make_parent_dirs(c.link);
    struct stat st {};
    if (lstat(c.link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::cerr << "cabsim: " << c.link << " exists and is not a link; " << c.node << " stays unlinked\n";
            return false;
        }
        unlink(c.link.c_str());
    }
    if (symlink(name, c.link.c_str()) != 0) {
        std::cerr << "cabsim: cannot link " << c.link << ": " << std::strerror(errno) << "\n";
        return false;
    }
    c.linked = true;
    return true;
}

void close_line(SerialController &c)
{
    if (c.linked) {
        char target[256];
        ssize_t n = readlink(c.link.c_str(), target, sizeof(target) - 1);
        if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == c.pty)
            unlink(c.link.c_str());
        c.linked = false;
    }
    if (c.slave >= 0)
        close(c.slave);
    if (c.master >= 0)
        close(c.master);
    c.slave = c.master = -1;
    c.input.clear();
    c.output.clear();
}

/* ---- the protocols --------------------------------------------------------------- */

SerialReply serve_ascii(SerialController &c, const std::string &line)
{
    SerialReply r;
    std::vector<int> args;
    const AsciiCommand *cmd = parse_ascii(line, args);
    r.bytes = cmd == nullptr ? kNotUnderstood : run_ascii(c, cmd->name, args, r.events);

    SerialFault::Kind kind{};
    bool faulty = take_fault(c, cmd != nullptr && cmd->name == "EN" ? FaultUse::EN_REPLY : FaultUse::REPLY, kind);
    if (faulty) {
        switch (kind) {
        case SerialFault::SILENT: r.bytes.clear(); r.events.clear(); break;
        case SerialFault::GARBAGE: r.bytes = kGarbage; break;
        case SerialFault::SHORT: r.bytes = kShortReply; break;
        case SerialFault::NAK: r.bytes = kNotUnderstood; break;
        case SerialFault::SPLIT: r.split = true; break;
        case SerialFault::NOLF:
            if (!r.bytes.empty() && r.bytes.back() == '\n')
                r.bytes.pop_back();
            break;
        case SerialFault::WRONGSIZE: r.bytes.erase(3, 1); break;
        default: break;
        }
    }

    r.log = "node=" + c.node + " dev=" + c.device + " cmd=\"" + printable(line) + "\" reply=\"" + printable(r.bytes) + "\"";
    if (!r.events.empty()) {
        std::string list;
        for (const std::string &e : r.events)
            list += (list.empty() ? "" : ",") + printable(e);
        r.log += " events=\"" + list + "\"";
    }
    if (faulty)
        r.log += " fault=" + std::string(fault_name(kind));
    return r;
}

std::vector<SerialReply> serve_ups(SerialController &c, std::string &input)
{
    std::vector<SerialReply> replies;
    while (!input.empty()) {
        /* Bytes outside a frame are line noise. */
        if (input[0] != kUpsStart) {
            std::size_t start = input.find(kUpsStart);
            input.erase(0, start);
            continue;
        }
        if (input.size() < 3)
            break;
        auto payload = static_cast<uint8_t>(input[2]);
        if (payload > kUpsMaxPayload) {
            SerialReply r = ups_reply(c, input.substr(0, 3));
            replies.push_back(r);
            input.erase(0, 1);
            continue;
        }
        std::size_t size = payload + 4u;
        if (input.size() < size)
            break;
        replies.push_back(ups_reply(c, input.substr(0, size)));
        input.erase(0, size);
    }
    return replies;
}

std::string describe_serial(const SerialController &c)
{
    std::string text = "serial " + c.node + " type=" + c.type + " dev=" + c.device + " link=" + c.link +
                       " pty=" + (c.pty.empty() ? "none" : c.pty) + " linked=" + (c.linked ? "yes" : "no") +
                       " side=" + (get_register(c, kSideRegister) ? "back" : "front");
    std::vector<long> holders = line_holders(c.pty);
    text += " open=" + std::string(holders.empty() ? "no" : "yes");
    for (std::size_t i = 0; i < holders.size(); ++i)
        text += (i == 0 ? " by=" : ",") + std::to_string(holders[i]);
    text += "\n  image=" + image_digits(c) + "\n  sn=";
    for (uint8_t byte : c.serial_number) {
        char pair[4];
        std::snprintf(pair, sizeof(pair), "%02X", byte);
        text += pair;
    }
    text += "\n  faults=";
    if (c.faults.empty())
        text += "none";
    for (std::size_t i = 0; i < c.faults.size(); ++i)
        text += (i == 0 ? "" : ",") + std::string(fault_name(c.faults[i].kind)) + ":" +
                (c.faults[i].count == SerialFault::kForever ? "on" : std::to_string(c.faults[i].count));
    if (c.protocol == SerialController::UPS) {
        text += "\n  ups";
        for (const UpsReading &r : kUpsDefaults) {
            char item[16];
            std::snprintf(item, sizeof(item), " %.2s=%02X", r.chars.data(), c.ups_values.at(std::string(r.chars)));
            text += item;
        }
    }
    return text + "\n";
}

/* ---- the simulator's side ------------------------------------------------------------ */

std::string Simulator::add_serial(SerialController c)
{
    if (serials.count(c.node) != 0)
        return "serial controller " + c.node + " exists";
    for (const auto &[node, other] : serials)
        if (other.link == c.link)
            return c.device + " belongs to " + node;
    SerialController &added = serials[c.node] = std::move(c);
    if (serving_)
        open_line(added);
    return "";
}

void Simulator::open_serial_lines()
{
    for (auto &[node, c] : serials)
        if (c.master < 0)
            open_line(c);
}

void Simulator::close_serial_lines()
{
    for (auto &[node, c] : serials)
        close_line(c);
}

void Simulator::serve_serial(SerialController &c)
{
    char buf[512];
    ssize_t n = read(c.master, buf, sizeof(buf));
    if (n <= 0)
        return;
    std::vector<SerialReply> replies;
    if (c.protocol == SerialController::UPS) {
        c.input.append(buf, static_cast<std::size_t>(n));
        replies = serve_ups(c, c.input);
    } else {
        /* One command per "\r"; line feeds are not part of a command. */
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\r') {
                if (!c.input.empty())
                    replies.push_back(serve_ascii(c, c.input));
                c.input.clear();
            } else if (buf[i] != '\n') {
                c.input += buf[i];
                if (c.input.size() > kMaxCommandLine) {
                    replies.push_back(serve_ascii(c, c.input));
                    c.input.clear();
                }
            }
        }
    }
    for (const SerialReply &r : replies) {
        record(r.log);
        std::size_t half = r.split ? r.bytes.size() / 2 : r.bytes.size();
        queue_serial(c.node, r.bytes.substr(0, half), 0);
        if (half < r.bytes.size())
            queue_serial(c.node, r.bytes.substr(half), kSplitDelayMs);
        for (const std::string &event : r.events)
            queue_serial(c.node, event, 0);
    }
}

void Simulator::queue_serial(const std::string &node, std::string bytes, int delay_ms)
{
    if (bytes.empty())
        return;
    /* Bytes for one line leave in order: a later piece never overtakes. */
    long long now = steady_ms();
    long long due = now + delay_ms;
    auto waiting = serial_waiting_.find(node);
    if (waiting == serial_waiting_.end() && due <= now) {
        deliver_serial(node, bytes);
        return;
    }
    if (waiting != serial_waiting_.end())
        due = std::max(due, waiting->second.latest);
    Timer t;
    t.due_ms = due;
    t.serial = node;
    t.frame.assign(bytes.begin(), bytes.end());
    add_timer(std::move(t));
}

void Simulator::deliver_serial(const std::string &node, const std::string &bytes)
{
    auto it = serials.find(node);
    if (it == serials.end() || it->second.master < 0)
        return;
    SerialController &c = it->second;
    if (c.output.size() + bytes.size() > kMaxPendingOutput) {
        std::cerr << "cabsim: " << node << ": nobody reads the line; output dropped\n";
        c.output.clear();
    }
    c.output += bytes;
    flush_serial(c);
}

void Simulator::flush_serial(SerialController &c)
{
    while (!c.output.empty()) {
        ssize_t n = write(c.master, c.output.data(), c.output.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            c.output.clear();
            return;
        }
        c.output.erase(0, static_cast<std::size_t>(n));
    }
}

std::string Simulator::execute_serial(const std::vector<std::string> &args,
                                      const std::map<std::string, std::string> &opts, std::string &out)
{
    const std::string &verb = args[0];
    if (verb == "show") {
        if (args.size() > 2)
            return "usage: show [NODE]";
        for (const auto &[node, c] : serials)
            if (args.size() == 1 || node == args[1])
                out += describe_serial(c);
        return args.size() == 2 && serials.count(args[1]) == 0 ? "no serial controller " + args[1] : "";
    }
    if (verb == "serial" && args.size() >= 2 && args[1] == "add") {
        auto side = opts.find("side");
        SerialController c;
        if (args.size() != 5 || !make_controller(args[2], args[3], args[4], side == opts.end() ? "" : side->second, c))
            return "usage: serial add NODE DEVICE SNP|QNA|JBOD|DAC|PWR [side=front|back]";
        return add_serial(std::move(c));
    }
    auto it = args.size() >= 2 ? serials.find(args[1]) : serials.end();
    if (it == serials.end())
        return args.size() >= 2 ? "no serial controller " + args[1] : "usage: " + verb + " NODE ...";
    SerialController &c = it->second;
    std::string error;

    if (verb == "clear") {
        c.faults.clear();
        return "";
    }
    if (verb == "reg") {
        long reg = 0, value = 0;
        if (args.size() != 4 || !parse_number(args[2], 0, kRegisterCount - 1, reg) || !parse_number(args[3], 0, 1, value))
            return "usage: reg NODE REG 0|1";
        set_register(c, static_cast<int>(reg), value != 0);
        return "";
    }
    if (verb == "ups")
        return args.size() == 2 && parse_ups_values(opts, c, error) ? "" : error.empty() ? "usage: ups NODE CC=VALUE..." : error;

    /* serial NODE fault|side|sn ... */
    std::string what = args.size() >= 3 ? args[2] : "";
    if (what == "fault")
        return parse_fault(args, opts, c, error) ? "" : error;
    if (what == "side" && args.size() == 4 && (args[3] == "front" || args[3] == "back")) {
        set_register(c, kSideRegister, args[3] == "back");
        return "";
    }
    if (what == "sn" && args.size() == 4 && parse_serial_number(args[3], c))
        return "";
    return "usage: serial NODE fault KIND [on|off] [count=N] | serial NODE side front|back | serial NODE sn HEX18";
}

} // namespace cabsim
