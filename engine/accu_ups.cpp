/*
 * accu_ups.cpp - the UPS controller's framed protocol: frame builders and
 * checks, queries through Send_env_board, conversions into engineering
 * units, the batch query and the trace lines of frames.
 */
#include "engine/accu_ups.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/trace.h"
#include "config/table.h"
#include "engine/send_env.h"

/* ---- tables ------------------------------------------------------------------------ */

const AccuUpsCmdEntry AccuUpsCmdTbl[UPS_CMD_COUNT + 1] = {
    {{'M', '#'}, "ups_GET_REV"},          {{'S', 'T'}, "ups_GET_STATUS"},
    {{'S', 'E'}, "ups_GET_STATUS_EXT"},   {{'S', 'D'}, "ups_GET_SHUTDOWN_REAS"},
    {{'A', 'T'}, "ups_GET_AUTONOMY_TIME"}, {{'B', 'R'}, "ups_GET_BAT_TEST"},
    {{'D', 'R'}, "ups_GET_SELF_TEST"},    {{'P', 'V'}, "ups_GET_INPUT_VOLT"},
    {{'P', 'I'}, "ups_GET_INPUT_CURR"},   {{'P', 'O'}, "ups_GET_LOAD"},
    {{'B', '+'}, "ups_GET_BUS_VOLT_P"},   {{'B', '-'}, "ups_GET_BUS_VOLT_N"},
    {{'T', '1'}, "ups_GET_INV_TEMP"},     {{'T', '2'}, "ups_GET_PFC_TEMP"},
    {{'B', 'T'}, "ups_GET_BOX_TEMP"},     {{'B', 'V'}, "ups_GET_BAT_VOLT"},
    {{'B', 'I'}, "ups_GET_BAT_CUR_D"},    {{'C', 'I'}, "ups_GET_BAT_CUR_C"},
    {{'B', 'C'}, "ups_GET_BAT_CAP"},      {{'I', 'F'}, "ups_GET_INPUT_FREQ"},
    {{'O', 'F'}, "ups_GET_OUTPUT_FREQ"},  {{'B', 'O'}, "ups_GET_BROWN_OUT"},
    {{'O', 'O'}, "ups_GET_BLACK_OUT"},    {{'T', 'O'}, "ups_GET_TRANSIENT"},
    {{'I', '-'}, "ups_CMD_INVERT_OFF"},   {{'I', '+'}, "ups_CMD_INVERT_ON"},
    {{'I', '<'}, "ups_CMD_INVERT_OFF_C"}, {{'I', '>'}, "ups_CMD_INVERT_ON_C"},
    {{'S', '-'}, "ups_CMD_SHUTDOWN"},     {{'S', '<'}, "ups_CMD_SHUTDOWN_C"},
    {{'U', '-'}, "ups_CMD_UNIX_SHUTDOWN"}, {{'U', '<'}, "ups_CMD_UNIX_SHUTDOWN_C"},
    {{'S', '+'}, "ups_CMD_CANCEL_SHUTDOWN"}, {{'S', '>'}, "ups_CMD_CANCEL_SHUTDOWN_C"},
    {{'B', '+'}, "ups_CMD_BAT_TEST"},     {{'B', '>'}, "ups_CMD_BAT_TEST_C"},
    {{'D', '+'}, "ups_CMD_DIAGNOSTIC"},   {{'D', '>'}, "ups_CMD_DIAGNOSTIC_C"},
    {{'H', '-'}, "ups_CMD_HORN_QUIET"},   {{'H', '<'}, "ups_CMD_HORN_QUIET_C"},
    {{'P', '+'}, "ups_CMD_BYPASS"},       {{'P', '>'}, "ups_CMD_BYPASS_C"},
    {{'R', '+'}, "ups_CMD_RECPT_ON"},     {{'R', '>'}, "ups_CMD_RECPT_ON_C"},
    {{'R', '-'}, "ups_CMD_RECPT_OFF"},    {{'R', '<'}, "ups_CMD_RECPT_OFF_C"},
    {{'?', '?'}, "Bad UPS command"},
};

/* Ratings by model code - 14 (codes 16-27 are in use; 14, 15 and 22 name
 * no model). */
const AccuUpsModelEntry AccuUpsModelTbl[UPS_MODEL_COUNT] = {
    {1042, "model 14 (1042 VA)"}, {750, "model 15 (750 VA)"},   {1000, "model 16 (1000 VA)"},
    {1500, "model 17 (1500 VA)"}, {1500, "model 18 (1500 VA)"}, {1000, "model 19 (1000 VA)"},
    {1500, "model 20 (1500 VA)"}, {2100, "model 21 (2100 VA)"}, {0, "model 22 (unassigned)"},
    {4800, "model 23 (4800 VA)"}, {3000, "model 24 (3000 VA)"}, {4200, "model 25 (4200 VA)"},
    {1500, "model 26 (1500 VA)"}, {2100, "model 27 (2100 VA)"},
};

namespace {

constexpr int kModelBase = 14;
constexpr int kFirstModel = 16;
constexpr int kLastModel = 27;
/* The old single-unit code; it rates as the table's first entry. */
constexpr int kLegacyModel = 1;

constexpr std::size_t kQuerySent = 6;
constexpr std::size_t kControlSent = 8;
constexpr std::size_t kTraceLimit = 140;

/* The readings AccuUps_get_data asks, in chain order. */
constexpr int kDataQueries[] = {
    ups_GET_REV,       ups_GET_STATUS,    ups_GET_INPUT_VOLT, ups_GET_INPUT_CURR, ups_GET_LOAD,
    ups_GET_INV_TEMP,  ups_GET_PFC_TEMP,  ups_GET_BOX_TEMP,   ups_GET_BAT_VOLT,   ups_GET_BAT_CUR_D,
    ups_GET_BAT_CUR_C, ups_GET_BAT_CAP,   ups_GET_INPUT_FREQ, ups_GET_OUTPUT_FREQ,
};
constexpr std::size_t kDataCount = std::size(kDataQueries);
static_assert(kDataCount <= CHAIN_LENGTH, "every reading fits one chain");

bool is_command(int cmd) { return cmd >= 0 && cmd < UPS_CMD_COUNT; }

/* Puts a query for cmd into buf, ready for a GO. */
void load_query(AccuUpsBuffer &buf, int cmd)
{
    std::memset(buf.bytes, 0, sizeof buf.bytes);
    std::memcpy(buf.bytes, AccuUpsBldGetCmd(cmd), sizeof(AccuUpsQueryFrame));
}

int trunc_int(double value) { return static_cast<int>(std::trunc(value)); }

/* Appends to line (capacity kTraceLimit + 1) while it stays in bounds. */
bool append(char *line, const char *fmt, unsigned value)
{
    std::size_t used = std::strlen(line);
    char piece[16];
    int n = std::snprintf(piece, sizeof piece, fmt, value);
    if (n < 0 || used + static_cast<std::size_t>(n) > kTraceLimit)
        return false;
    std::memcpy(line + used, piece, static_cast<std::size_t>(n) + 1);
    return true;
}

} // namespace

/* ---- frames and checks -------------------------------------------------------------- */

uint8_t AccuUps_checksum(const unsigned char *bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

const unsigned char *AccuUpsBldGetCmd(int cmd)
{
    static AccuUpsQueryFrame frame;
    frame = AccuUpsQueryFrame{};
    if (!is_command(cmd))
        return reinterpret_cast<const unsigned char *>(&frame);
    frame.soh = UPS_SOH;
    frame.type = UPS_TYPE_QUERY;
    frame.size = 2;
    frame.cmd[0] = AccuUpsCmdTbl[cmd].chars[0];
    frame.cmd[1] = AccuUpsCmdTbl[cmd].chars[1];
    frame.sum = AccuUps_checksum(reinterpret_cast<const unsigned char *>(&frame), offsetof(AccuUpsQueryFrame, sum));
    return reinterpret_cast<const unsigned char *>(&frame);
}

const unsigned char *AccuUpsBldCtlCmd(int cmd, int delay)
{
    static AccuUpsControlFrame frame;
    frame = AccuUpsControlFrame{};
    if (!is_command(cmd))
        return reinterpret_cast<const unsigned char *>(&frame);
    frame.soh = UPS_SOH;
    frame.type = UPS_TYPE_CONTROL;
    frame.size = 4;
    frame.cmd[0] = AccuUpsCmdTbl[cmd].chars[0];
    frame.cmd[1] = AccuUpsCmdTbl[cmd].chars[1];
    frame.delay_hi = static_cast<uint8_t>((delay >> 8) & 0xFF);
    frame.delay_lo = static_cast<uint8_t>(delay & 0xFF);
    frame.sum =
        AccuUps_checksum(reinterpret_cast<const unsigned char *>(&frame), offsetof(AccuUpsControlFrame, sum));
    return reinterpret_cast<const unsigned char *>(&frame);
}

int AccuUps_verify_checksum(const unsigned char *frame)
{
    constexpr std::size_t sum_at = offsetof(AccuUpsDataReply, sum);
    /* A line that drops the eighth bit changes only bit 7: compare seven. */
    return ((AccuUps_checksum(frame, sum_at) ^ frame[sum_at]) & 0x7F) == 0 ? 0 : 1;
}

int AccuUps_atoi(const char *p)
{
    int value = 0;
    for (int i = 0; i < 2; ++i) {
        char ch = p[i];
        int digit = 0;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        value = value * 16 + digit;
    }
    return value;
}

const char *AccuUpsCmdName(int cmd) { return AccuUpsCmdTbl[is_command(cmd) ? cmd : ups_BAD_CMD].name; }

const char *AccuUpsCmdToAscii(const unsigned char *frame, std::size_t length)
{
    static char line[kTraceLimit + 1];
    line[0] = '\0';
    if (frame == nullptr || length == 0)
        return line;
    const char *head = frame[0] == UPS_SOH ? "SOH" : "ERR";
    uint8_t type = length > 1 ? frame[1] : 0;
    auto c = [&](std::size_t i) { return static_cast<char>(frame[i]); };
    if (type == UPS_TYPE_QUERY && length >= kQuerySent) {
        std::snprintf(line, sizeof line, "%s type=0x%x size=0x%x %c%c sum=0x%x", head, frame[1], frame[2], c(3), c(4),
                      frame[5]);
    } else if ((type == UPS_TYPE_CONTROL || type == UPS_TYPE_CONTROL_S || type == UPS_TYPE_CONTROL_T) &&
               length >= kControlSent) {
        std::snprintf(line, sizeof line, "%s type=0x%x size=0x%x %c%c delay=0x%x sum=0x%x", head, frame[1], frame[2],
                      c(3), c(4), static_cast<unsigned>(frame[5] << 8 | frame[6]), frame[7]);
    } else if (type == UPS_TYPE_DATA && length >= UPS_REPLY_LEN) {
        std::snprintf(line, sizeof line, "%s type=0x%x size=0x%x %c%c ->%c%c sum=0x%x", head, frame[1], frame[2], c(3),
                      c(4), c(5), c(6), frame[7]);
    } else if (type == UPS_TYPE_ANNUNCIATION && length >= 7) {
        int status = AccuUps_atoi(reinterpret_cast<const char *>(frame + 3));
        char bits[9];
        for (int b = 0; b < 8; ++b)
            bits[b] = (status >> (7 - b)) & 1 ? '1' : '0';
        bits[8] = '\0';
        std::snprintf(line, sizeof line, "%s ANNUNCIATION status=%c%c(%s) shutdown=%c%c ", head, c(3), c(4), bits,
                      c(5), c(6));
    } else {
        std::snprintf(line, sizeof line, "Unknown UPS msg:");
        std::size_t end = length < 3 ? length : 3 + static_cast<std::size_t>(frame[2]);
        if (end > length)
            end = length;
        for (std::size_t i = 0; i < end && append(line, " 0x%x", frame[i]); ++i) {
        }
    }
    return line;
}

/* ---- queries --------------------------------------------------------------------------- */

namespace {

/* AccuUps_take_reply, traced under the name of the asking function. */
int judge_reply(const char *who, int cab, const AccuUpsBuffer &buf, int *status)
{
    const unsigned char *f = buf.bytes;
    if (AccuUps_verify_checksum(f) != 0) {
        dprint(1,
               "%s: ERROR: invalid checksum on 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x 0x%x\n possible data corruption "
               "from the UPS in cabinet %d.\n",
               who, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], cab);
        *status = UPS_BAD_REPLY;
        return 0;
    }
    if (f[0] != UPS_SOH || f[1] != UPS_TYPE_DATA) {
        dprint(1, "%s: ERROR: data may be arriving out of sequence from the UPS in cabinet %d.\n", who, cab);
        *status = UPS_BAD_REPLY;
        return 0;
    }
    dprint(3, "%s\n", AccuUpsCmdToAscii(f, UPS_REPLY_LEN));
    *status = UPS_OK;
    return AccuUps_atoi(reinterpret_cast<const char *>(f + offsetof(AccuUpsDataReply, value)));
}

} // namespace

int AccuUps_take_reply(int cab, const AccuUpsBuffer &buf, int *status)
{
    return judge_reply("AccuUps_get_data_item", cab, buf, status);
}

int AccuUps_get_data_item(int cab, int cmd, int *status)
{
    AccuUpsBuffer buf;
    load_query(buf, cmd);
    dprint(3, "%s\n", AccuUpsCmdToAscii(buf.bytes, kQuerySent));
    if (buf.bytes[0] == 0 ||
        Send_env_board(cab, 0, reinterpret_cast<int *>(buf.bytes), UPS_DATA_MSG, ANOTHER_MESSAGE, CNTLR0) != 0 ||
        Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS) != 0) {
        dprint(1, "%s: ERROR: unable to communicate with the UPS in cabinet %d.\n", "AccuUps_get_data_item", cab);
        *status = UPS_NO_COMM;
        return 0;
    }
    return judge_reply("AccuUps_get_data_item", cab, buf, status);
}

int AccuUps_get_rev(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_REV, status); }
int AccuUps_get_status(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_STATUS, status); }
int AccuUps_get_ext_status(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_STATUS_EXT, status); }
int AccuUps_get_shutdown(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_SHUTDOWN_REAS, status); }
int AccuUps_get_auto_time(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_AUTONOMY_TIME, status); }
int AccuUps_get_batt_test(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_BAT_TEST, status); }
int AccuUps_get_diag_test(int cab, int *status) { return AccuUps_get_data_item(cab, ups_GET_SELF_TEST, status); }

/* ---- conversions ------------------------------------------------------------------------ */

int AccuUps_mains_scale()
{
    const char *nominal = GetValue("nominal_input_voltage", 0);
    if (nominal != nullptr && (strncasecmp(nominal, "240", 3) == 0 || strncasecmp(nominal, "220", 3) == 0))
        return 240;
    return 120;
}

int AccuUps_compute_v(int raw) { return raw == 0 ? 0 : trunc_int((raw + 16) * AccuUps_mains_scale() * 0.0042); }

float AccuUps_compute_cur(int raw)
{
    if (raw == 0)
        return 0.0f;
    return static_cast<float>((raw - 50) * 6.18 * 2100.0 / (AccuUps_mains_scale() * 750));
}

int AccuUps_compute_load(int raw) { return trunc_int(raw * 17.6); }
int AccuUps_compute_temp(int raw) { return trunc_int((raw - 135.4) * 1.215); }
int AccuUps_compute_batt_v(int raw, int nominal_va) { return trunc_int(raw * nominal_va * 0.18 / 750.0); }
float AccuUps_compute_batt_cur_d(int raw) { return static_cast<float>((raw - 12.0) * 0.01); }
float AccuUps_compute_batt_cur_c(int raw) { return static_cast<float>((raw - 6.0) * 0.125); }
int AccuUps_compute_batt_cap(int raw) { return raw / 2; }
int AccuUps_compute_freq(int raw) { return trunc_int(500000.0 / (raw * 16 + 7485)); }

namespace {

/* Asks cmd and converts the raw value when it is good. */
template <typename T>
T converted(int cab, int cmd, int *status, T (*convert)(int))
{
    int raw = AccuUps_get_data_item(cab, cmd, status);
    return *status == UPS_OK ? convert(raw) : T{};
}

} // namespace

int AccuUps_get_v(int cab, int *status) { return converted(cab, ups_GET_INPUT_VOLT, status, AccuUps_compute_v); }
float AccuUps_get_cur(int cab, int *status) { return converted(cab, ups_GET_INPUT_CURR, status, AccuUps_compute_cur); }
int AccuUps_get_load(int cab, int *status) { return converted(cab, ups_GET_LOAD, status, AccuUps_compute_load); }
int AccuUps_get_inv_temp(int cab, int *status) { return converted(cab, ups_GET_INV_TEMP, status, AccuUps_compute_temp); }
int AccuUps_get_pfc_temp(int cab, int *status) { return converted(cab, ups_GET_PFC_TEMP, status, AccuUps_compute_temp); }
int AccuUps_get_box_temp(int cab, int *status) { return converted(cab, ups_GET_BOX_TEMP, status, AccuUps_compute_temp); }
float AccuUps_get_batt_cur_d(int cab, int *status)
{
    return converted(cab, ups_GET_BAT_CUR_D, status, AccuUps_compute_batt_cur_d);
}
float AccuUps_get_batt_cur_c(int cab, int *status)
{
    return converted(cab, ups_GET_BAT_CUR_C, status, AccuUps_compute_batt_cur_c);
}
int AccuUps_get_batt_cap(int cab, int *status) { return converted(cab, ups_GET_BAT_CAP, status, AccuUps_compute_batt_cap); }
int AccuUps_get_in_freq(int cab, int *status) { return converted(cab, ups_GET_INPUT_FREQ, status, AccuUps_compute_freq); }
int AccuUps_get_out_freq(int cab, int *status) { return converted(cab, ups_GET_OUTPUT_FREQ, status, AccuUps_compute_freq); }

int AccuUps_get_batt_v(int cab, int *status)
{
    int raw = AccuUps_get_data_item(cab, ups_GET_BAT_VOLT, status);
    if (*status != UPS_OK)
        return 0;
    return AccuUps_compute_batt_v(raw, AccuUps_get_nominal_va_r(cab, -1));
}

int AccuUps_model_va(int model)
{
    int entry = model == kLegacyModel ? 0 : model - kModelBase;
    if (model != kLegacyModel && (model < kFirstModel || model > kLastModel))
        return -1;
    dprint(3, "UPS %s\n", AccuUpsModelTbl[entry].name);
    return AccuUpsModelTbl[entry].nominal_va;
}

int AccuUps_get_nominal_va_r(int cab, int model)
{
    if (model == -1) {
        int status = UPS_OK;
        model = AccuUps_get_rev(cab, &status);
    }
    return AccuUps_model_va(model);
}

/* ---- batches ------------------------------------------------------------------------------ */

int AccuUps_send_data_sequences(const int *cablist, int cmd, int delay, int *results)
{
    (void)delay; /* queries carry no delay */
    if (cmd < 0 || cmd > UPS_LAST_QUERY || cablist == nullptr || results == nullptr) {
        dprint(1, "%s: ERROR: invalid command.\n", "AccuUps_send_data_sequences");
        return -1;
    }
    std::size_t count = 0;
    while (count < MAX_CABINETS && cablist[count] >= 0)
        ++count;
    std::unique_ptr<AccuUpsBuffer[]> frames(new (std::nothrow) AccuUpsBuffer[count + 1]);
    std::unique_ptr<bool[]> buffered(new (std::nothrow) bool[count + 1]);
    if (!frames || !buffered) {
        dprint(1, "%s: ERROR: Insufficient memory.\n", "AccuUps_send_data_sequences");
        return -1;
    }
    for (std::size_t i = 0; i < count; ++i) {
        load_query(frames[i], cmd);
        buffered[i] = Send_env_board(cablist[i], 0, reinterpret_cast<int *>(frames[i].bytes), UPS_DATA_MSG,
                                     ANOTHER_MESSAGE, CNTLR0) == 0;
        if (!buffered[i])
            dprint(1, "%s: cabinet %d: the query could not be buffered.\n", "AccuUps_send_data_sequences",
                   cablist[i]);
    }
    Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    /* A cabinet that stayed silent still holds its query, which is no
     * data reply: every unusable reply counts -1. */
    for (std::size_t i = 0; i < count; ++i) {
        int status = UPS_BAD_REPLY;
        int value = buffered[i] ? judge_reply("AccuUps_send_data_sequences", cablist[i], frames[i], &status) : 0;
        results[i] = status == UPS_OK ? value : -1;
    }
    return 0;
}

int AccuUps_send_cmd_sequence(int, int, int) { return 0; }
int AccuUps_send_cmd_sequences(const int *, int, int) { return 0; }

int Talk_to_UPS(int cab)
{
    int status = UPS_OK;
    AccuUps_get_rev(cab, &status);
    return status == UPS_NO_COMM ? UPS_NO_COMM : 0;
}

/* ---- every reading ------------------------------------------------------------------------- */

namespace {

/* Fills one record from the replies a GO left in frames: UPS_OK,
 * UPS_BAD_REPLY when some reading was unusable (left 0), UPS_NO_COMM when
 * none was usable (the UPS never answered). */
int fill_record(int cab, const AccuUpsBuffer *frames, AccuUpsData *data)
{
    int raw[kDataCount] = {};
    bool good[kDataCount] = {};
    std::size_t usable = 0;
    for (std::size_t i = 0; i < kDataCount; ++i) {
        int status = UPS_OK;
        raw[i] = judge_reply("AccuUps_get_data", cab, frames[i], &status);
        good[i] = status == UPS_OK;
        usable += good[i];
    }
    if (usable == 0) {
        dprint(1, "%s: ERROR: unable to communicate with the UPS in cabinet %d.\n", "AccuUps_get_data", cab);
        return UPS_NO_COMM;
    }
    auto take = [&](std::size_t i, auto convert) { return good[i] ? convert(raw[i]) : decltype(convert(0)){}; };
    data->model = raw[0];
    data->nominal_va = good[0] ? AccuUps_model_va(raw[0]) : -1;
    data->status = raw[1];
    data->input_voltage_v = take(2, AccuUps_compute_v);
    data->input_current_a = take(3, AccuUps_compute_cur);
    data->load_va = take(4, AccuUps_compute_load);
    data->inverter_temp_c = take(5, AccuUps_compute_temp);
    data->pfc_temp_c = take(6, AccuUps_compute_temp);
    data->box_temp_c = take(7, AccuUps_compute_temp);
    if (data->nominal_va > 0)
        data->battery_voltage_v = take(8, [&](int r) { return AccuUps_compute_batt_v(r, data->nominal_va); });
    data->battery_discharge_current_a = take(9, AccuUps_compute_batt_cur_d);
    data->battery_charge_current_a = take(10, AccuUps_compute_batt_cur_c);
    data->battery_capacity_percent = take(11, AccuUps_compute_batt_cap);
    data->input_frequency_hz = take(12, AccuUps_compute_freq);
    data->output_frequency_hz = take(13, AccuUps_compute_freq);
    return usable == kDataCount ? UPS_OK : UPS_BAD_REPLY;
}

} // namespace

int AccuUps_get_data_list(const int *cablist, AccuUpsData *records, int *results)
{
    std::size_t count = 0;
    while (cablist != nullptr && count < MAX_CABINETS && cablist[count] >= 0)
        ++count;
    std::unique_ptr<AccuUpsBuffer[]> frames(new (std::nothrow) AccuUpsBuffer[count * kDataCount + 1]);
    std::unique_ptr<bool[]> buffered(new (std::nothrow) bool[count + 1]);
    if (!frames || !buffered) {
        dprint(1, "%s: ERROR: Insufficient memory.\n", "AccuUps_get_data");
        return -1;
    }
    /* 1. Every reading of every cabinet on its chain; one GO for all. */
    for (std::size_t c = 0; c < count; ++c) {
        records[c] = AccuUpsData{};
        records[c].nominal_va = -1;
        buffered[c] = true;
        for (std::size_t i = 0; i < kDataCount && buffered[c]; ++i) {
            AccuUpsBuffer &f = frames[c * kDataCount + i];
            load_query(f, kDataQueries[i]);
            buffered[c] = Send_env_board(cablist[c], 0, reinterpret_cast<int *>(f.bytes), UPS_DATA_MSG,
                                         ANOTHER_MESSAGE, CNTLR0) == 0;
        }
    }
    Send_env_board(0, 0, nullptr, 0, GO, ALLCNTLRS);
    /* 2. Every reply judged on its own (a silent UPS leaves its queries,
     * which are no replies); then the cabinet's port goes back. */
    for (std::size_t c = 0; c < count; ++c) {
        results[c] = buffered[c] ? fill_record(cablist[c], &frames[c * kDataCount], &records[c]) : UPS_NO_COMM;
        Send_env_board(cablist[c], 0, nullptr, 0, CLOSE_CONNECTION, ALLCNTLRS);
    }
    return 0;
}

int AccuUps_get_data(int cab, AccuUpsData *data)
{
    const int list[] = {cab, -1};
    int result = UPS_NO_COMM;
    return AccuUps_get_data_list(list, data, &result) == 0 ? result : UPS_NO_COMM;
}
