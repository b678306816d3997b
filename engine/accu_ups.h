/*
 * accu_ups.h - the binary framed protocol of a cabinet's UPS controller:
 * the query and control frames, their checksums, the command and model
 * tables, the raw and converted readings, and the batch query over many
 * cabinets in one GO.
 *
 * Every frame goes through Send_env_board (UPS_DATA_MSG for queries,
 * UPS_CMD_MSG for control commands) for controller 0 of the cabinet; the
 * engine copies the first 8 reply bytes back into the caller's frame
 * buffer.  No reply is trusted: a NAK is resent by the engine, a wrong
 * checksum or a frame of another type gives status 1, and a UPS that
 * cannot be reached gives -99.
 *
 * Callers: the UPS readings of rackstat, the UPS FRU procedures.
 */
#ifndef XR_ENGINE_ACCU_UPS_H
#define XR_ENGINE_ACCU_UPS_H

#include <cstddef>
#include <cstdint>

/* ---- frames ---------------------------------------------------------------------- */

constexpr uint8_t UPS_SOH = 0x01;
constexpr uint8_t UPS_NAK = 0x15;
constexpr uint8_t UPS_TYPE_QUERY = 0x03;
constexpr uint8_t UPS_TYPE_CONTROL = 0x04;
constexpr uint8_t UPS_TYPE_DATA = 'R';
constexpr uint8_t UPS_TYPE_CONTROL_S = 'S';
constexpr uint8_t UPS_TYPE_CONTROL_T = 'T';
constexpr uint8_t UPS_TYPE_ANNUNCIATION = 'U';

/* A query as built: six bytes sent, a 0 byte after them. */
struct AccuUpsQueryFrame {
    uint8_t soh;
    uint8_t type;
    uint8_t size;
    char cmd[2];
    uint8_t sum;
    uint8_t nul;
};
static_assert(sizeof(AccuUpsQueryFrame) == 7 && offsetof(AccuUpsQueryFrame, sum) == 5);

/* A control frame as built: eight bytes sent (the delay big-endian), a 0
 * byte after them.  A control reply has the same layout. */
struct AccuUpsControlFrame {
    uint8_t soh;
    uint8_t type;
    uint8_t size;
    char cmd[2];
    uint8_t delay_hi;
    uint8_t delay_lo;
    uint8_t sum;
    uint8_t nul;
};
static_assert(sizeof(AccuUpsControlFrame) == 9 && offsetof(AccuUpsControlFrame, sum) == 7);

/* A data reply: the reading as two upper-case hex digits. */
struct AccuUpsDataReply {
    uint8_t soh;
    uint8_t type;
    uint8_t size;
    char cmd[2];
    char value[2];
    uint8_t sum;
};
static_assert(sizeof(AccuUpsDataReply) == 8 && offsetof(AccuUpsDataReply, value) == 5);

/* Bytes the engine copies back from a reply, and the frame buffer a GO
 * writes into (room for the reply; int-aligned for Send_env_board). */
constexpr std::size_t UPS_REPLY_LEN = 8;
struct alignas(int) AccuUpsBuffer {
    unsigned char bytes[UPS_REPLY_LEN];
};
static_assert(sizeof(AccuUpsBuffer) == UPS_REPLY_LEN);

/* ---- commands -------------------------------------------------------------------- */

/* Indexes of AccuUpsCmdTbl. */
enum AccuUpsCmd {
    ups_GET_REV = 0,
    ups_GET_STATUS,
    ups_GET_STATUS_EXT,
    ups_GET_SHUTDOWN_REAS,
    ups_GET_AUTONOMY_TIME,
    ups_GET_BAT_TEST,
    ups_GET_SELF_TEST,
    ups_GET_INPUT_VOLT,
    ups_GET_INPUT_CURR,
    ups_GET_LOAD,
    ups_GET_BUS_VOLT_P,
    ups_GET_BUS_VOLT_N,
    ups_GET_INV_TEMP,
    ups_GET_PFC_TEMP,
    ups_GET_BOX_TEMP,
    ups_GET_BAT_VOLT,
    ups_GET_BAT_CUR_D,
    ups_GET_BAT_CUR_C,
    ups_GET_BAT_CAP,
    ups_GET_INPUT_FREQ,
    ups_GET_OUTPUT_FREQ,
    ups_GET_BROWN_OUT,
    ups_GET_BLACK_OUT,
    ups_GET_TRANSIENT,
    ups_CMD_INVERT_OFF,
    ups_CMD_INVERT_ON,
    ups_CMD_INVERT_OFF_C,
    ups_CMD_INVERT_ON_C,
    ups_CMD_SHUTDOWN,
    ups_CMD_SHUTDOWN_C,
    ups_CMD_UNIX_SHUTDOWN,
    ups_CMD_UNIX_SHUTDOWN_C,
    ups_CMD_CANCEL_SHUTDOWN,
    ups_CMD_CANCEL_SHUTDOWN_C,
    ups_CMD_BAT_TEST,
    ups_CMD_BAT_TEST_C,
    ups_CMD_DIAGNOSTIC,
    ups_CMD_DIAGNOSTIC_C,
    ups_CMD_HORN_QUIET,
    ups_CMD_HORN_QUIET_C,
    ups_CMD_BYPASS,
    ups_CMD_BYPASS_C,
    ups_CMD_RECPT_ON,
    ups_CMD_RECPT_ON_C,
    ups_CMD_RECPT_OFF,
    ups_CMD_RECPT_OFF_C,
    ups_BAD_CMD,
};
constexpr int UPS_LAST_QUERY = ups_GET_TRANSIENT;
constexpr int UPS_CMD_COUNT = ups_BAD_CMD;

struct AccuUpsCmdEntry {
    char chars[2];
    const char *name;
};
extern const AccuUpsCmdEntry AccuUpsCmdTbl[UPS_CMD_COUNT + 1];

struct AccuUpsModelEntry {
    int nominal_va;
    const char *name;
};
constexpr int UPS_MODEL_COUNT = 14;
extern const AccuUpsModelEntry AccuUpsModelTbl[UPS_MODEL_COUNT];

/* Status of AccuUps_get_data_item and the queries. */
constexpr int UPS_OK = 0;
constexpr int UPS_BAD_REPLY = 1;
constexpr int UPS_NO_COMM = -99;

/* ---- frames and checks ------------------------------------------------------------ */

/* Sum of the bytes, modulo 256. */
uint8_t AccuUps_checksum(const unsigned char *bytes, std::size_t count);
/* Static query frame; first byte 0 when cmd is outside 0-45. */
const unsigned char *AccuUpsBldGetCmd(int cmd);
/* Static control frame with the delay big-endian; first byte 0 outside
 * 0-45. */
const unsigned char *AccuUpsBldCtlCmd(int cmd, int delay);
/* 0 when byte 7 of the 8-byte reply matches the sum of bytes 0-6 in its
 * low seven bits, 1 otherwise. */
int AccuUps_verify_checksum(const unsigned char *frame);
/* Value of the two hex digits at p (either case); a non-digit counts 0. */
int AccuUps_atoi(const char *p);

const char *AccuUpsCmdName(int cmd);
/* One trace line describing a frame of `length` bytes (static buffer). */
const char *AccuUpsCmdToAscii(const unsigned char *frame, std::size_t length);

/* ---- queries ------------------------------------------------------------------------ */

/* One query for one cabinet in its own GO: the raw value; *status UPS_OK,
 * UPS_BAD_REPLY or UPS_NO_COMM (value 0 unless UPS_OK). */
int AccuUps_get_data_item(int cab, int cmd, int *status);
/* Judges a reply to query cmd left in buf by a GO: the raw value and
 * *status as above (never UPS_NO_COMM). */
int AccuUps_take_reply(int cab, const AccuUpsBuffer &buf, int *status);

int AccuUps_get_rev(int cab, int *status);
int AccuUps_get_status(int cab, int *status);
int AccuUps_get_ext_status(int cab, int *status);
int AccuUps_get_shutdown(int cab, int *status);
int AccuUps_get_auto_time(int cab, int *status);
int AccuUps_get_batt_test(int cab, int *status);
int AccuUps_get_diag_test(int cab, int *status);

/* Mains scale: 240 when "nominal_input_voltage" begins with 240 or 220,
 * else 120. */
int AccuUps_mains_scale();

int AccuUps_compute_v(int raw);            /* volts */
float AccuUps_compute_cur(int raw);        /* amperes */
int AccuUps_compute_load(int raw);         /* volt-amperes drawn */
int AccuUps_compute_temp(int raw);         /* degrees Celsius */
int AccuUps_compute_batt_v(int raw, int nominal_va); /* volts */
float AccuUps_compute_batt_cur_d(int raw); /* amperes */
float AccuUps_compute_batt_cur_c(int raw); /* amperes */
int AccuUps_compute_batt_cap(int raw);     /* percent */
int AccuUps_compute_freq(int raw);         /* hertz */

int AccuUps_get_v(int cab, int *status);
float AccuUps_get_cur(int cab, int *status);
int AccuUps_get_load(int cab, int *status);
int AccuUps_get_inv_temp(int cab, int *status);
int AccuUps_get_pfc_temp(int cab, int *status);
int AccuUps_get_box_temp(int cab, int *status);
int AccuUps_get_batt_v(int cab, int *status);
float AccuUps_get_batt_cur_d(int cab, int *status);
float AccuUps_get_batt_cur_c(int cab, int *status);
int AccuUps_get_batt_cap(int cab, int *status);
int AccuUps_get_in_freq(int cab, int *status);
int AccuUps_get_out_freq(int cab, int *status);

/* Rating of a model code (model -1: asked of the UPS): VA, or -1. */
int AccuUps_model_va(int model);
int AccuUps_get_nominal_va_r(int cab, int model);

/* Query cmd (0-23) of every cabinet of cablist (ended by a negative
 * number) in one GO; results[i] the raw value of cablist[i], or -1 when it
 * could not be buffered or its reply is unusable.  0, or -1 for a bad
 * command or a memory shortage. */
int AccuUps_send_data_sequences(const int *cablist, int cmd, int delay, int *results);
/* Control sequences are not sent by this console. */
int AccuUps_send_cmd_sequence(int cab, int cmd, int delay);
int AccuUps_send_cmd_sequences(const int *cablist, int cmd, int delay);

/* 0 when the UPS answers, -99 when it cannot be reached. */
int Talk_to_UPS(int cab);

/* Every reading of one UPS, converted. */
struct AccuUpsData {
    int input_voltage_v;
    float input_current_a;
    int load_va;
    int inverter_temp_c;
    int pfc_temp_c;
    int box_temp_c;
    int battery_voltage_v;
    float battery_discharge_current_a;
    float battery_charge_current_a;
    int battery_capacity_percent;
    int input_frequency_hz;
    int output_frequency_hz;
    int nominal_va;  /* -1: model unknown */
    int status;      /* the raw status byte */
    int model;       /* the raw model code */
};

/* Asks every reading of the cabinet's UPS in one GO, fills *data and ends
 * the cabinet's connection (its port goes back): UPS_OK, UPS_BAD_REPLY when
 * some reading was unusable (left 0), UPS_NO_COMM when none was usable. */
int AccuUps_get_data(int cab, AccuUpsData *data);
/* The same for every cabinet of cablist (ended by a negative number) in
 * one GO: records[i] and results[i] for cablist[i].  0, or -1 for a memory
 * shortage. */
int AccuUps_get_data_list(const int *cablist, AccuUpsData *records, int *results);

#endif
