/*
 * cabsim.h - the cabinet simulator, management-module side: the model of
 * each cabinet (complexes, subcomplexes, units and their statuses), the
 * faults waiting for its next commands, and the service that libqmx talks
 * to.  One line language (script.cpp, documented in cabsim.md) describes
 * the cabinets, runs scenario scripts and drives the live control channel.
 *
 * model.cpp owns the cabinets and what commands do to them; server.cpp the
 * sockets, the command log, timers and events; serial.cpp the serial
 * controllers on pseudo-terminals (serial.h); script.cpp the language;
 * main.cpp the command line.  Used by the tests and the demo, which start
 * it as a separate program.
 */
#ifndef XR_PLATFORM_CABSIM_CABSIM_H
#define XR_PLATFORM_CABSIM_CABSIM_H

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/cabsim/serial.h"

namespace cabsim {

/* Status codes the model sets itself. */
constexpr uint8_t STATUS_OK = 1;
constexpr uint8_t STATUS_MISSING = 3;
constexpr uint8_t STATUS_OFF = 4;

/* cmd_status values of the completions it sends. */
constexpr uint32_t CMD_FAILED = 0;
constexpr uint32_t CMD_SUCCESS = 1;
constexpr uint32_t CMD_NO_COMPLEX = 3;
constexpr uint32_t CMD_NO_SUBCOMPLEX = 4;
constexpr uint32_t CMD_NO_UNIT = 5;
constexpr uint32_t CMD_NOT_READY = 16;

/* Command codes the model acts on. */
constexpr uint8_t CMD_STATUS = 1;
constexpr uint8_t CMD_POWER_ON = 2;
constexpr uint8_t CMD_POWER_OFF = 3;
constexpr uint8_t CMD_RESET = 4;
constexpr uint8_t CMD_UPDATE_CONFIG = 6;
constexpr uint8_t CMD_MARGIN = 15;
constexpr uint8_t CMD_HB_DETECT_ON = 38;  /* a rack board watches the node agent's heartbeat */
constexpr uint8_t CMD_HB_DETECT_OFF = 39; /* ... stops watching it (while it is swapped) */

/* Addressing of a command header. */
constexpr uint8_t CTYPE_CABINET = 0x81; /* every complex of the cabinet */
constexpr uint8_t ID_ALL = 0xFF;
constexpr uint8_t SUB_WHOLE = 0x90;     /* the whole chassis */

struct Unit {
    uint8_t id = 0;
    uint8_t status = STATUS_OK;
    uint8_t psc = 0;
    uint8_t type = 0;
    uint8_t status_before = STATUS_OK; /* restored by power on / insert */
};

struct Subcomplex {
    uint8_t type = 0;
    uint16_t port = 0;
    std::vector<Unit> units;
};

struct Complex {
    uint8_t id = 0;
    uint8_t type = 0;
    uint8_t status = STATUS_OK;
    uint8_t status_before = STATUS_OK;
    bool pulled = false; /* absent from the status tree */
    int resets = 0;
    bool hb_detect = true; /* heartbeat detection of the board serving it */
    std::vector<Subcomplex> subs;
};

/* A fault for the cabinet's next matching commands. */
struct Fault {
    enum Kind { NOT_READY, NOT_ALIVE, WRONG_SEQUENCE, STATUS, FAIL, SILENT, DELAY, TRUNCATE, OVERSIZE, BAD_FRAME, RUNT };
    Kind kind = STATUS;
    int count = 1;
    int cmd = -1;        /* only commands of this cmdtype; -1 any */
    uint32_t value = 0;  /* status, milliseconds or bytes */
    std::vector<std::pair<uint8_t, uint32_t>> complexes; /* FAIL: complex id, status */
};

/* A statement waiting for something to happen to its cabinet (`on`). */
struct Trigger {
    static constexpr int REGISTER = -1; /* a listener registers for its events */
    int cmd = REGISTER;                 /* else: a command of this cmdtype arrives */
    bool every = false;                 /* runs each time, not only the first */
    std::string line;
};

struct Cabinet {
    int cabno = 0;
    int sysno = 0;
    std::string sysname;
    std::string cabname;
    bool alive = true;
    bool silent = false;
    int delay_ms = 0;
    std::vector<Complex> complexes;
    std::deque<Fault> faults;
    std::vector<uint8_t> config_data; /* last C_UPDATE_CONFIG data */
    std::vector<Trigger> triggers;    /* `on` statements not yet fired */
};

/* ---- model (model.cpp) ---------------------------------------------------- */

Complex *find_complex(Cabinet &cab, int id);
Subcomplex *find_subcomplex(Complex &c, int type);
Unit *find_unit(Subcomplex &s, int id);

/* The status tree of the cabinet (every complex present, or only complex
 * `only` unless it is ID_ALL). */
std::vector<uint8_t> status_tree(const Cabinet &cab, int only);

/* Power on / off / reset of what the header addresses; the cmd_status. */
uint32_t apply_power(Cabinet &cab, uint8_t cmdtype, uint8_t complex_type, uint8_t complex_id, uint8_t subcomplex,
                     uint8_t unit);

/* Heartbeat detection on or off for the complex the header addresses; the
 * cmd_status. */
uint32_t apply_hb_detect(Cabinet &cab, uint8_t cmdtype, uint8_t complex_id);

/* The first fault for cmdtype, counted down (removed at 0); false when none. */
bool take_fault(Cabinet &cab, int cmdtype, Fault &out);

/* Text dump of a cabinet for the control channel. */
std::string describe(const Cabinet &cab);

/* A decimal or 0x-hexadecimal number of the line language within
 * [low, high] in value, or false (script.cpp). */
bool parse_number(const std::string &text, long low, long high, long &value);

/* ---- the simulator (server.cpp) ------------------------------------------------ */

struct Options {
    std::string socket_path;
    std::string ctl_path;
    std::string log_path;
    std::string ready_path;
};

/* Where a sequence of statements is: the cabinet, complex and subcomplex
 * that description statements add to. */
struct ParseContext {
    int cab = -1;
    int complex = -1;
    int sub = -1;
    std::string source; /* for messages: file name or "ctl" */
    int line = 0;
};

/* One connection: a libqmx message or control connection (known after its
 * BIND), or a control-channel client. */
struct Conn {
    enum Kind { SERVICE, CTL } kind = SERVICE;
    int fd = -1;
    int token = 0;
    int bound_to = 0;   /* control connection: its message connection */
    int services = 0;   /* message connection: registered services */
    bool has_filter = false;
    uint8_t filter[12] = {};
    std::string input;  /* control channel: bytes not yet a line */
    ParseContext ctx;
};

/* Something due later: a frame for a message connection, bytes for a
 * serial line (`serial` names its controller), or a statement. */
struct Timer {
    long long due_ms = 0;
    int msg_token = 0;
    std::vector<uint8_t> frame;
    std::string line;
    std::string serial;
};

/* Milliseconds of a monotonic clock (timer due times). */
long long steady_ms();

class Simulator {
public:
    std::map<int, Cabinet> cabinets;
    std::map<std::string, SerialController> serials; /* by node name */

    bool start(const Options &options);
    /* Serves until `quit` or a terminating signal. */
    int run();
    void stop() { running_ = false; }

    /* Runs one statement; output lines go to `out`.  "" on success, else the
     * error text. */
    std::string execute(const std::string &line, ParseContext &ctx, std::string &out);
    /* Runs every statement of a file; false (with a message) on the first error. */
    bool run_file(const std::string &path);

    /* Sends an event message to every connection whose filter passes it. */
    void broadcast_event(const std::vector<uint8_t> &msg);
    /* Runs `line` after `ms` milliseconds. */
    void schedule_line(int ms, const std::string &line);
    /* Runs every `on` statement of cabinet cabno waiting for cmd
     * (Trigger::REGISTER: an event registration); those without `every`
     * are then forgotten. */
    void fire_triggers(int cabno, int cmd);
    const std::vector<std::string> &command_log() const { return log_; }

    /* Adds a serial controller (its line opens at once when serving); "" or
     * the error text. */
    std::string add_serial(SerialController c);
    /* The serial statements (serial, reg, ups, show, clear NODE). */
    std::string execute_serial(const std::vector<std::string> &args, const std::map<std::string, std::string> &opts,
                               std::string &out);

private:
    bool running_ = true;
    bool serving_ = false;
    Options options_;
    int listen_fd_ = -1;
    int ctl_listen_fd_ = -1;
    int next_token_ = 1;
    std::map<int, Conn> conns_;
    std::vector<Timer> timers_;
    std::vector<std::string> log_;
    FILE *log_file_ = nullptr;

    void accept_service();
    void accept_ctl();
    void serve_frame(Conn &conn);
    void serve_ctl(Conn &conn);
    int32_t handle_send(Conn &ctl, uint32_t sequence, const uint8_t *msg, uint32_t length);
    void answer(Cabinet &cab, int msg_token, uint32_t sequence, const uint8_t *msg, uint32_t length, bool faulty,
                const Fault &fault);
    void queue_frame(int msg_token, std::vector<uint8_t> frame, int delay_ms);
    void record(const std::string &line);
    void run_timers();
    int next_timeout_ms() const;
    void drop(int token);
    /* serial.cpp */
    void open_serial_lines();
    void close_serial_lines();
    void serve_serial(SerialController &c);
    void queue_serial(const std::string &node, std::string bytes, int delay_ms);
    void deliver_serial(const std::string &node, const std::string &bytes);
    void flush_serial(SerialController &c);
};

} // namespace cabsim

#endif
