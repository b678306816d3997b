/*
 * serial.h - the simulator's serial controllers: environmental controllers
 * (SNP, QNA), disk-array controllers (JBOD, DAC) and UPSs (PWR), each on a
 * pseudo-terminal whose slave is linked at the node's device path under the
 * console root.
 *
 * A controller keeps a 256-bit register image, a 9-byte serial number, the
 * registers written since the console opened the conversation (EP), the
 * readings of a UPS and the faults waiting for its next replies.  serial.cpp
 * owns the controllers' protocols (one ASCII command line per "\r", binary
 * UPS frames), the pseudo-terminals and the serial statements of the line
 * language; the simulator's loop (server.cpp) polls the lines and runs the
 * timers that deliver late pieces of replies.
 */
#ifndef XR_PLATFORM_CABSIM_SERIAL_H
#define XR_PLATFORM_CABSIM_SERIAL_H

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace cabsim {

constexpr int kRegisterCount = 256;
constexpr std::size_t kSerialNumberSize = 9;
constexpr int kSideRegister = 0xBD; /* 1: the controller drives the back side */
constexpr uint16_t kBatteryDisableWrite = 0x1FC; /* BD: events as for 0xFC */
constexpr uint16_t kSerialNumberWrite = 0x1FE;   /* WR: events as for 0xFE */

/* A fault for a controller's next replies. */
struct SerialFault {
    enum Kind { SILENT, GARBAGE, SHORT, NAK, SPLIT, NOLF, UNEXPECTED, WRONGSIZE, BADSUM, SUM7 };
    static constexpr int kForever = -1; /* `on`: until `off` or `clear` */
    Kind kind = SILENT;
    int count = 1;
};

struct SerialController {
    enum Protocol { ASCII, UPS };
    std::string node;
    std::string type;   /* SNP, QNA, JBOD, DAC or PWR */
    std::string device; /* the configured device path */
    std::string link;   /* where the device path lies under the console root */
    Protocol protocol = ASCII;

    std::array<uint8_t, kRegisterCount / 8> image{}; /* register n: bit n%8 of byte n/8 */
    std::array<uint8_t, kSerialNumberSize> serial_number{};
    std::map<std::string, uint8_t> ups_values;       /* query characters -> reading */
    uint8_t dac_id = 0, primary = 0, leds = 0;
    /* What was written since EP, in order, once each: a register as it
     * arrived, or kBatteryDisableWrite / kSerialNumberWrite. */
    std::vector<uint16_t> written;
    std::deque<SerialFault> faults;

    int master = -1;    /* the simulator's side, non-blocking */
    int slave = -1;     /* kept open so that the console may close and reopen */
    std::string pty;    /* the slave's name */
    bool linked = false;
    std::string input;  /* bytes not yet a whole command */
    std::string output; /* bytes the line has not taken yet */
};

/* What a serial node of the configuration is: the type word, or "" when the
 * console does not talk to it over a serial line. */
std::string serial_type_of(int host_type, int sub_type);

/* A controller as it comes out of the box: ASCII or UPS by type, the side
 * from the name (controller 1 of a JBOD or DAC cabinet drives the back) or
 * from `side` ("front"/"back"), a serial number from the name, UPS readings
 * at their defaults.  False for an unknown type or side. */
bool make_controller(const std::string &node, const std::string &device, const std::string &type,
                     const std::string &side, SerialController &out);

bool get_register(const SerialController &c, int reg);
void set_register(SerialController &c, int reg, bool value);
/* The image as the EN reply carries it: 64 hex digits, register 4k+j the
 * bit of value 2^j in digit k. */
std::string image_digits(const SerialController &c);

/* Opens the pseudo-terminal and links its slave at c.link; false (with a
 * message on standard error) when either fails.  close_line undoes it. */
bool open_line(SerialController &c);
void close_line(SerialController &c);

/* What the controller answers to one command: the bytes, event lines that
 * follow (after SP), and the text for the command log. */
struct SerialReply {
    std::string bytes;
    std::vector<std::string> events;
    std::string log;
    bool split = false; /* send in two pieces */
};

/* One ASCII command line (without its "\r"). */
SerialReply serve_ascii(SerialController &c, const std::string &line);
/* Takes whole UPS frames from `input`, one reply each. */
std::vector<SerialReply> serve_ups(SerialController &c, std::string &input);

/* Text for `show`. */
std::string describe_serial(const SerialController &c);

} // namespace cabsim

#endif
