/*
 * model.cpp - the simulated cabinets: look-ups, the status tree they
 * report, what power commands do to them, and their fault queues.  Called
 * by the simulator's command handling and by the line language.
 *
 * Power off sets the addressed complex and units to Off, remembering what
 * they showed; power on brings that back.  Pulled units (Missing) are left
 * alone by both.
 */
#include "platform/cabsim/cabsim.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cabsim {

namespace {

constexpr std::size_t kNameSize = 40;
constexpr std::size_t kTreeHeaderSize = 84;

void put_name(std::vector<uint8_t> &out, const std::string &name)
{
    uint8_t field[kNameSize] = {};
    std::memcpy(field, name.data(), std::min(name.size(), kNameSize - 1));
    out.insert(out.end(), field, field + kNameSize);
}

void append_complex(std::vector<uint8_t> &out, const Complex &c)
{
    out.push_back(c.id);
    out.push_back(c.type);
    out.push_back(c.status);
    out.push_back(static_cast<uint8_t>(c.subs.size()));
    for (const Subcomplex &s : c.subs) {
        out.push_back(s.type);
        out.push_back(static_cast<uint8_t>(s.units.size()));
        out.push_back(static_cast<uint8_t>(s.port >> 8)); /* port id: high byte first */
        out.push_back(static_cast<uint8_t>(s.port));
        for (const Unit &u : s.units) {
            out.push_back(u.id);
            out.push_back(u.status);
            out.push_back(u.psc);
            out.push_back(u.type);
        }
    }
}

void power_unit(Unit &u, bool on)
{
    if (u.status == STATUS_MISSING)
        return;
    if (!on && u.status != STATUS_OFF) {
        u.status_before = u.status;
        u.status = STATUS_OFF;
    } else if (on && u.status == STATUS_OFF) {
        u.status = u.status_before == STATUS_OFF ? STATUS_OK : u.status_before;
    }
}

void power_complex(Complex &c, bool on)
{
    if (!on && c.status != STATUS_OFF) {
        c.status_before = c.status;
        c.status = STATUS_OFF;
    } else if (on && c.status == STATUS_OFF) {
        c.status = c.status_before == STATUS_OFF ? STATUS_OK : c.status_before;
    }
    for (Subcomplex &s : c.subs)
        for (Unit &u : s.units)
            power_unit(u, on);
}

/* A controller configuration block (C_UPDATE_CONFIG, 136 bytes) as the
 * module reads it: the mask of the fields it carries (little-endian, bytes
 * 0-3), the action on losing one AC feed (byte 133) and the disk-array
 * power-fail time (bytes 134-135, high byte first). */
constexpr std::size_t kConfigBlockSize = 136;
constexpr uint32_t kConfigHasAcAction = 0x40;
constexpr uint32_t kConfigHasPfTime = 0x80;

std::string describe_config(const std::vector<uint8_t> &block)
{
    char line[160];
    if (block.size() != kConfigBlockSize) {
        std::snprintf(line, sizeof(line), "  configured: %zu bytes, not a configuration block\n", block.size());
        return line;
    }
    uint32_t mask = block[0] | (block[1] << 8) | (block[2] << 16) | (static_cast<uint32_t>(block[3]) << 24);
    std::string text;
    std::snprintf(line, sizeof(line), "  configured mask=0x%x", mask);
    text += line;
    if (mask & kConfigHasAcAction) {
        std::snprintf(line, sizeof(line), " ac_degrade_action=%d", block[133]);
        text += line;
    }
    if (mask & kConfigHasPfTime) {
        std::snprintf(line, sizeof(line), " damc_pf_time=%d", (block[134] << 8) | block[135]);
        text += line;
    }
    return text + "\n";
}

std::vector<std::string> describe_triggers(const Cabinet &cab)
{
    std::vector<std::string> lines;
    for (const Trigger &t : cab.triggers)
        lines.push_back("  on " + (t.cmd == Trigger::REGISTER ? std::string("register") : "cmd=" + std::to_string(t.cmd)) +
                        (t.every ? " every " : " ") + t.line + "\n");
    return lines;
}

} // namespace

Complex *find_complex(Cabinet &cab, int id)
{
    for (Complex &c : cab.complexes)
        if (c.id == id)
            return &c;
    return nullptr;
}

Subcomplex *find_subcomplex(Complex &c, int type)
{
    for (Subcomplex &s : c.subs)
        if (s.type == type)
            return &s;
    return nullptr;
}

Unit *find_unit(Subcomplex &s, int id)
{
    for (Unit &u : s.units)
        if (u.id == id)
            return &u;
    return nullptr;
}

std::vector<uint8_t> status_tree(const Cabinet &cab, int only)
{
    std::vector<uint8_t> out;
    out.reserve(kTreeHeaderSize + 64 * cab.complexes.size());
    put_name(out, cab.sysname);
    put_name(out, cab.cabname);
    out.push_back(0); /* complex_count, set below */
    out.insert(out.end(), 3, 0);
    uint8_t count = 0;
    for (const Complex &c : cab.complexes) {
        if (c.pulled || (only != ID_ALL && c.id != only))
            continue;
        append_complex(out, c);
        ++count;
    }
    out[80] = count;
    return out;
}

uint32_t apply_power(Cabinet &cab, uint8_t cmdtype, uint8_t complex_type, uint8_t complex_id, uint8_t subcomplex,
                     uint8_t unit)
{
    bool on = cmdtype == CMD_POWER_ON;

    /* 1. The whole cabinet. */
    if (complex_type == CTYPE_CABINET || complex_id == ID_ALL) {
        for (Complex &c : cab.complexes) {
            if (c.pulled)
                continue;
            if (cmdtype == CMD_RESET)
                ++c.resets;
            else
                power_complex(c, on);
        }
        return CMD_SUCCESS;
    }

    /* 2. One complex, or a unit of it. */
    Complex *c = find_complex(cab, complex_id);
    if (c == nullptr || c->pulled)
        return CMD_NO_COMPLEX;
    if (subcomplex == 0 || subcomplex == SUB_WHOLE) {
        if (cmdtype == CMD_RESET)
            ++c->resets;
        else
            power_complex(*c, on);
        return CMD_SUCCESS;
    }
    Subcomplex *s = find_subcomplex(*c, subcomplex);
    if (s == nullptr)
        return CMD_NO_SUBCOMPLEX;
    Unit *u = find_unit(*s, unit);
    if (u == nullptr)
        return CMD_NO_UNIT;
    if (cmdtype != CMD_RESET)
        power_unit(*u, on);
    return CMD_SUCCESS;
}

uint32_t apply_hb_detect(Cabinet &cab, uint8_t cmdtype, uint8_t complex_id)
{
    Complex *c = find_complex(cab, complex_id);
    if (c == nullptr || c->pulled)
        return CMD_NO_COMPLEX;
    c->hb_detect = cmdtype == CMD_HB_DETECT_ON;
    return CMD_SUCCESS;
}

bool take_fault(Cabinet &cab, int cmdtype, Fault &out)
{
    for (auto it = cab.faults.begin(); it != cab.faults.end(); ++it) {
        if (it->cmd != -1 && it->cmd != cmdtype)
            continue;
        out = *it;
        if (--it->count <= 0)
            cab.faults.erase(it);
        return true;
    }
    return false;
}

std::string describe(const Cabinet &cab)
{
    std::string text;
    char line[160];
    std::snprintf(line, sizeof(line), "cabinet %d sysno=%d sysname=\"%s\" cabname=\"%s\" alive=%s silent=%s delay=%d faults=%zu\n",
                  cab.cabno, cab.sysno, cab.sysname.c_str(), cab.cabname.c_str(), cab.alive ? "yes" : "no",
                  cab.silent ? "on" : "off", cab.delay_ms, cab.faults.size());
    text += line;
    if (!cab.config_data.empty()) {
        text += "  config=";
        for (uint8_t byte : cab.config_data) {
            std::snprintf(line, sizeof(line), "%02x", byte);
            text += line;
        }
        text += "\n";
        text += describe_config(cab.config_data);
    }
    for (const std::string &when : describe_triggers(cab))
        text += when;
    for (const Complex &c : cab.complexes) {
        std::snprintf(line, sizeof(line), "  complex %d type=0x%02x status=%d%s resets=%d%s\n", c.id, c.type, c.status,
                      c.pulled ? " pulled" : "", c.resets, c.hb_detect ? "" : " hbdetect=off");
        text += line;
        for (const Subcomplex &s : c.subs) {
            std::snprintf(line, sizeof(line), "    subcomplex %d port=%d units=%zu\n", s.type, s.port, s.units.size());
            text += line;
            for (const Unit &u : s.units) {
                std::snprintf(line, sizeof(line), "      unit %d status=%d psc=%d type=%d\n", u.id, u.status, u.psc,
                              u.type);
                text += line;
            }
        }
    }
    return text;
}

} // namespace cabsim
