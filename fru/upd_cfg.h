/*
 * upd_cfg.h - the configuration block that the console pushes into a new
 * management controller with C_UPDATE_CONFIG: its 136-byte wire layout and
 * the filling of the two values the console owns, the action on losing one
 * of two AC feeds ("run_only_with_dual_ac") and the disk-array power-fail
 * time ("damc_pf_time").
 *
 * The block is wire bytes: every field is a byte array, so the record has
 * alignment 1 and no padding.  conf_data_type is little-endian like every
 * other multi-byte field of the management messages; damc_pf_time alone is
 * stored most significant byte first, as the controller reads it.
 *
 * Callers: update_cmic_config and cmic_config_failed (cmic.cpp).
 */
#ifndef XR_FRU_UPD_CFG_H
#define XR_FRU_UPD_CFG_H

#include <cstddef>
#include <cstdint>
#include <string_view>

/* conf_data_type bits: which fields of the block the controller takes. */
constexpr uint32_t CFG_AC_DEGRADE_ACTION = 0x40;
constexpr uint32_t CFG_DAMC_PF_TIME = 0x80;

/* ac_degrade_action values. */
constexpr uint8_t AC_DEGRADE_RUN_ON_ONE = 1;  /* "run_only_with_dual_ac" is "no" */
constexpr uint8_t AC_DEGRADE_DUAL_ONLY = 2;   /* anything else, or unset */

/* Power-fail time when the configuration gives none, in seconds. */
constexpr unsigned DEFAULT_DAMC_PF_TIME = 900;

/* The global values that update_cmic_config reads. */
constexpr const char *DUAL_AC_KEY = "run_only_with_dual_ac";
constexpr const char *PF_TIME_KEY = "damc_pf_time";

struct smp_id_entry_t {
    uint8_t cmplx_id;
    uint8_t smpid;
    uint8_t timeout[2];
    uint8_t flag[4];
};
static_assert(sizeof(smp_id_entry_t) == 8);

struct upd_cfg_cmd_t {
    uint8_t conf_data_type[4];   /* CFG_* bits, little-endian */
    char sysname[40];
    char cabname[40];
    smp_id_entry_t smp_id[4];
    uint8_t falx_speed[2];
    uint8_t ip_state[2];
    uint8_t jbod_state[4][2];
    uint8_t cmic_ipaddr[4];
    uint8_t xip_state;
    uint8_t ac_degrade_action;   /* AC_DEGRADE_* */
    uint8_t damc_pf_time[2];     /* seconds, most significant byte first */
};
static_assert(sizeof(upd_cfg_cmd_t) == 136);
static_assert(alignof(upd_cfg_cmd_t) == 1);
static_assert(offsetof(upd_cfg_cmd_t, sysname) == 4);
static_assert(offsetof(upd_cfg_cmd_t, cabname) == 44);
static_assert(offsetof(upd_cfg_cmd_t, smp_id) == 84);
static_assert(offsetof(upd_cfg_cmd_t, falx_speed) == 116);
static_assert(offsetof(upd_cfg_cmd_t, ip_state) == 118);
static_assert(offsetof(upd_cfg_cmd_t, jbod_state) == 120);
static_assert(offsetof(upd_cfg_cmd_t, cmic_ipaddr) == 128);
static_assert(offsetof(upd_cfg_cmd_t, xip_state) == 132);
static_assert(offsetof(upd_cfg_cmd_t, ac_degrade_action) == 133);
static_assert(offsetof(upd_cfg_cmd_t, damc_pf_time) == 134);

/* "no" in any case: the operator allows running on one AC feed. */
constexpr bool dual_ac_is_no(std::string_view value)
{
    return value.size() == 2 && (value[0] == 'n' || value[0] == 'N') && (value[1] == 'o' || value[1] == 'O');
}

/* The power-fail time of a configuration value: its leading decimal digits
 * (as atoi reads them, 0 without any), held at 65535, the largest time the
 * two bytes carry; DEFAULT_DAMC_PF_TIME when there is no value. */
constexpr unsigned pf_time_seconds(const char *value)
{
    if (value == nullptr)
        return DEFAULT_DAMC_PF_TIME;
    std::string_view text(value);
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    unsigned seconds = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        seconds = seconds * 10 + static_cast<unsigned>(text[i] - '0');
        if (seconds > 0xFFFF)
            return 0xFFFF;
    }
    return seconds;
}

/* Fills `block` (cleared first) for update_cmic_config(which): 1 the
 * dual-AC action only, 2 the power-fail time only, 0 both.  dual_ac and
 * pf_time are the configuration's values, null when unset. */
constexpr void fill_upd_cfg(upd_cfg_cmd_t &block, int which, const char *dual_ac, const char *pf_time)
{
    block = upd_cfg_cmd_t{};
    uint32_t mask = 0;
    if (which == 1 || which == 0) {
        block.ac_degrade_action =
            dual_ac != nullptr && dual_ac_is_no(dual_ac) ? AC_DEGRADE_RUN_ON_ONE : AC_DEGRADE_DUAL_ONLY;
        mask |= CFG_AC_DEGRADE_ACTION;
    }
    if (which == 2 || which == 0) {
        unsigned seconds = pf_time_seconds(pf_time);
        block.damc_pf_time[0] = static_cast<uint8_t>(seconds >> 8);
        block.damc_pf_time[1] = static_cast<uint8_t>(seconds);
        mask |= CFG_DAMC_PF_TIME;
    }
    for (int i = 0; i < 4; ++i)
        block.conf_data_type[i] = static_cast<uint8_t>(mask >> (8 * i));
}

#endif
