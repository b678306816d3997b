/*
 * script.cpp - the simulator's line language: one statement per line,
 * words separated by blanks, key=value options, values in double quotes
 * when they hold blanks, "#" starts a comment.  Numbers are decimal or 0x
 * hexadecimal.  The same statements describe cabinets (files given on the
 * command line), run scenarios ("after") and drive the control channel.
 * The statements are listed in cabsim.md.
 */
#include "platform/cabsim/cabsim.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "platform/qmx/qmx.h"

namespace cabsim {

namespace {

constexpr std::size_t kMaxLine = 4096;

struct Words {
    std::vector<std::string> args;             /* positional words */
    std::map<std::string, std::string> opts;   /* key=value words */
};

/* Splits a line into words; false for an unterminated quote. */
bool split(const std::string &line, Words &words)
{
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i == line.size() || line[i] == '#')
            break;
        std::string word;
        bool quoted_value = false;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                std::size_t end = line.find('"', i + 1);
                if (end == std::string::npos)
                    return false;
                word.append(line, i + 1, end - i - 1);
                i = end + 1;
                quoted_value = true;
                continue;
            }
            word += line[i++];
        }
        std::size_t eq = word.find('=');
        if (eq != std::string::npos && eq > 0 && (quoted_value || word.find('"') == std::string::npos))
            words.opts[word.substr(0, eq)] = word.substr(eq + 1);
        else
            words.args.push_back(word);
    }
    return true;
}


bool byte_value(const std::string &text, uint8_t &out)
{
    long v = 0;
    if (!parse_number(text, 0, 255, v))
        return false;
    out = static_cast<uint8_t>(v);
    return true;
}

/* Reads option `key` as a byte when present; false when present but bad. */
bool opt_byte(const Words &w, const char *key, uint8_t &out)
{
    auto it = w.opts.find(key);
    return it == w.opts.end() || byte_value(it->second, out);
}

bool opt_number(const Words &w, const char *key, long low, long high, long &out)
{
    auto it = w.opts.find(key);
    return it == w.opts.end() || parse_number(it->second, low, high, out);
}

/* An address cab[/complex[/subcomplex type[/unit]]]. */
struct Address {
    Cabinet *cab = nullptr;
    Complex *complex = nullptr;
    Subcomplex *sub = nullptr;
    Unit *unit = nullptr;
};

std::string resolve(Simulator &sim, const std::string &text, Address &a)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = text.find('/', start);
        parts.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    if (parts.size() > 4)
        return "bad address " + text;
    long v = 0;
    if (!parse_number(parts[0], 0, 65535, v) || sim.cabinets.count(static_cast<int>(v)) == 0)
        return "no cabinet " + parts[0];
    a.cab = &sim.cabinets[static_cast<int>(v)];
    if (parts.size() > 1 && (!parse_number(parts[1], 0, 255, v) || (a.complex = find_complex(*a.cab, static_cast<int>(v))) == nullptr))
        return "no complex " + parts[1] + " in cabinet " + parts[0];
    if (parts.size() > 2 && (!parse_number(parts[2], 0, 255, v) || (a.sub = find_subcomplex(*a.complex, static_cast<int>(v))) == nullptr))
        return "no subcomplex " + parts[2] + " in " + text;
    if (parts.size() > 3 && (!parse_number(parts[3], 0, 255, v) || (a.unit = find_unit(*a.sub, static_cast<int>(v))) == nullptr))
        return "no unit " + parts[3] + " in " + text;
    return "";
}

Cabinet *cabinet_arg(Simulator &sim, const Words &w, std::string &error)
{
    long v = 0;
    if (w.args.size() < 2 || !parse_number(w.args[1], 0, 65535, v) || sim.cabinets.count(static_cast<int>(v)) == 0) {
        error = "no such cabinet";
        return nullptr;
    }
    return &sim.cabinets[static_cast<int>(v)];
}

/* ---- description statements --------------------------------------------- */

std::string do_cabinet(Simulator &sim, const Words &w, ParseContext &ctx)
{
    long cabno = 0, sysno = -1;
    if (w.args.size() != 2 || !parse_number(w.args[1], 0, 65535, cabno) || !opt_number(w, "sysno", 0, 255, sysno))
        return "usage: cabinet N [sysno=S] [sysname=TEXT] [cabname=TEXT]";
    Cabinet &cab = sim.cabinets[static_cast<int>(cabno)];
    cab.cabno = static_cast<int>(cabno);
    if (sysno >= 0)
        cab.sysno = static_cast<int>(sysno);
    if (w.opts.count("sysname"))
        cab.sysname = w.opts.at("sysname");
    if (w.opts.count("cabname"))
        cab.cabname = w.opts.at("cabname");
    ctx.cab = cab.cabno;
    ctx.complex = ctx.sub = -1;
    return "";
}

std::string do_complex(Simulator &sim, const Words &w, ParseContext &ctx)
{
    if (ctx.cab < 0)
        return "complex outside a cabinet";
    Complex c;
    if (w.args.size() != 2 || !byte_value(w.args[1], c.id) || !w.opts.count("type") || !opt_byte(w, "type", c.type) ||
        !opt_byte(w, "status", c.status))
        return "usage: complex ID type=T [status=S]";
    Cabinet &cab = sim.cabinets[ctx.cab];
    if (find_complex(cab, c.id) != nullptr)
        return "complex " + w.args[1] + " exists";
    if (cab.complexes.size() >= 255)
        return "too many complexes";
    c.status_before = c.status;
    cab.complexes.push_back(c);
    ctx.complex = c.id;
    ctx.sub = -1;
    return "";
}

std::string do_subcomplex(Simulator &sim, const Words &w, ParseContext &ctx)
{
    Complex *c = ctx.cab < 0 ? nullptr : find_complex(sim.cabinets[ctx.cab], ctx.complex);
    if (c == nullptr)
        return "subcomplex outside a complex";
    Subcomplex s;
    long port = 0, units = 0, first = 0;
    Unit u;
    if (w.args.size() != 2 || !byte_value(w.args[1], s.type) || !opt_number(w, "port", 0, 65535, port) ||
        !opt_number(w, "units", 0, 255, units) || !opt_number(w, "first", 0, 255, first) ||
        !opt_byte(w, "status", u.status) || !opt_byte(w, "psc", u.psc) || !opt_byte(w, "unittype", u.type) ||
        first + units > 256)
        return "usage: subcomplex TYPE [port=P] [units=N] [first=F] [status=S] [psc=S] [unittype=T]";
    if (c->subs.size() >= 255)
        return "too many subcomplexes";
    s.port = static_cast<uint16_t>(port);
    u.status_before = u.status;
    for (long i = 0; i < units; ++i) {
        u.id = static_cast<uint8_t>(first + i);
        s.units.push_back(u);
    }
    c->subs.push_back(s);
    ctx.sub = static_cast<int>(c->subs.size()) - 1;
    return "";
}

std::string do_unit(Simulator &sim, const Words &w, ParseContext &ctx)
{
    Complex *c = ctx.cab < 0 ? nullptr : find_complex(sim.cabinets[ctx.cab], ctx.complex);
    if (c == nullptr || ctx.sub < 0)
        return "unit outside a subcomplex";
    Unit u;
    if (w.args.size() != 2 || !byte_value(w.args[1], u.id) || !opt_byte(w, "status", u.status) ||
        !opt_byte(w, "psc", u.psc) || !opt_byte(w, "type", u.type))
        return "usage: unit ID [status=S] [psc=S] [type=T]";
    Subcomplex &s = c->subs[static_cast<std::size_t>(ctx.sub)];
    if (s.units.size() >= 255)
        return "too many units";
    u.status_before = u.status;
    s.units.push_back(u);
    return "";
}

/* ---- state changes --------------------------------------------------------- */

std::string do_set(Simulator &sim, const Words &w)
{
    Address a;
    if (w.args.size() != 2)
        return "usage: set ADDRESS [status=S] [psc=S] [type=T]";
    std::string error = resolve(sim, w.args[1], a);
    if (!error.empty())
        return error;
    if (a.unit != nullptr) {
        if (!opt_byte(w, "status", a.unit->status) || !opt_byte(w, "psc", a.unit->psc) || !opt_byte(w, "type", a.unit->type))
            return "bad value";
        return "";
    }
    if (a.complex != nullptr && a.sub == nullptr) {
        if (!opt_byte(w, "status", a.complex->status) || !opt_byte(w, "type", a.complex->type))
            return "bad value";
        return "";
    }
    return "set needs a complex or a unit";
}

std::string do_pull_insert(Simulator &sim, const Words &w, bool pull)
{
    Address a;
    if (w.args.size() != 2)
        return "usage: pull|insert ADDRESS";
    std::string error = resolve(sim, w.args[1], a);
    if (!error.empty())
        return error;
    uint8_t status = 0;
    bool given = w.opts.count("status") != 0;
    if (!opt_byte(w, "status", status))
        return "bad status";
    if (a.unit != nullptr) {
        if (pull && a.unit->status != STATUS_MISSING) {
            a.unit->status_before = a.unit->status;
            a.unit->status = STATUS_MISSING;
        } else if (!pull && a.unit->status == STATUS_MISSING) {
            a.unit->status = given ? status : (a.unit->status_before == STATUS_MISSING ? STATUS_OK : a.unit->status_before);
        }
        return "";
    }
    if (a.complex != nullptr && a.sub == nullptr) {
        a.complex->pulled = pull;
        if (!pull && given)
            a.complex->status = status;
        return "";
    }
    return "pull and insert need a complex or a unit";
}

std::string do_switch(Simulator &sim, const Words &w, const char *on_word, const char *off_word, bool &flag)
{
    std::string error;
    if (cabinet_arg(sim, w, error) == nullptr)
        return error;
    if (w.args.size() != 3 || (w.args[2] != on_word && w.args[2] != off_word))
        return std::string("usage: ") + w.args[0] + " CAB " + on_word + "|" + off_word;
    flag = w.args[2] == on_word;
    return "";
}

std::string do_fault(Simulator &sim, const Words &w)
{
    static const std::map<std::string, Fault::Kind> kinds = {
        {"notready", Fault::NOT_READY}, {"notalive", Fault::NOT_ALIVE}, {"wrongseq", Fault::WRONG_SEQUENCE},
        {"status", Fault::STATUS},      {"fail", Fault::FAIL},          {"silent", Fault::SILENT},
        {"delay", Fault::DELAY},        {"truncate", Fault::TRUNCATE},  {"oversize", Fault::OVERSIZE},
        {"badframe", Fault::BAD_FRAME}, {"runt", Fault::RUNT},
    };
    std::string error;
    Cabinet *cab = cabinet_arg(sim, w, error);
    if (cab == nullptr)
        return error;
    auto kind = w.args.size() >= 3 ? kinds.find(w.args[2]) : kinds.end();
    if (kind == kinds.end())
        return "usage: fault CAB notready|notalive|wrongseq|status S|fail ID:S,...|silent|delay MS|truncate N|oversize N|badframe|runt [count=N] [cmd=C]";
    Fault f;
    f.kind = kind->second;
    long count = 1, cmd = -1;
    if (!opt_number(w, "count", 1, 1000000, count) || !opt_number(w, "cmd", 0, 255, cmd))
        return "bad count or cmd";
    f.count = static_cast<int>(count);
    f.cmd = static_cast<int>(cmd);
    bool needs_value = f.kind == Fault::STATUS || f.kind == Fault::DELAY || f.kind == Fault::TRUNCATE ||
                       f.kind == Fault::OVERSIZE || f.kind == Fault::FAIL;
    if (needs_value != (w.args.size() == 4) || w.args.size() > 4)
        return "fault " + w.args[2] + (needs_value ? " needs a value" : " takes no value");
    if (f.kind == Fault::FAIL) {
        std::string list = w.args[3];
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t comma = list.find(',', start);
            std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            std::size_t colon = item.find(':');
            long id = 0, status = 0;
            if (colon == std::string::npos || !parse_number(item.substr(0, colon), 0, 255, id) ||
                !parse_number(item.substr(colon + 1), 0, 0xFFFFFFFFL, status))
                return "fail needs ID:STATUS[,ID:STATUS...]";
            f.complexes.emplace_back(static_cast<uint8_t>(id), static_cast<uint32_t>(status));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        if (f.complexes.size() > 255)
            return "too many complexes";
    } else if (needs_value) {
        long v = 0;
        if (!parse_number(w.args[3], 0, 0xFFFFFFFFL, v))
            return "bad value " + w.args[3];
        f.value = static_cast<uint32_t>(v);
    }
    cab->faults.push_back(f);
    return "";
}

/* ---- events ------------------------------------------------------------------ */

std::vector<uint8_t> event_message(const Cabinet &cab, uint32_t type, uint32_t severity, uint8_t ctype, uint8_t cid,
                                   uint8_t sub, uint8_t unit, uint8_t identity, uint8_t subevent)
{
    std::vector<uint8_t> msg(sizeof(qmx_etessel_t), 0);
    auto *e = reinterpret_cast<qmx_etessel_t *>(msg.data());
    e->header.set_event_type(type);
    e->header.set_severity(severity);
    e->header.set_timestamp(static_cast<uint32_t>(time(nullptr)));
    e->header.set_cabno(static_cast<uint16_t>(cab.cabno));
    e->header.sysno = static_cast<uint8_t>(cab.sysno);
    e->header.complex_type = ctype;
    e->header.complex_id = cid;
    e->header.subcomplex = sub;
    e->header.unit = unit;
    e->event_type = identity;
    e->subevent_type = subevent;
    e->set_datalen(0);
    return msg;
}

std::string do_event(Simulator &sim, const Words &w)
{
    std::string error;
    Cabinet *cab = cabinet_arg(sim, w, error);
    if (cab == nullptr)
        return error;
    long type = -1, severity = 0;
    uint8_t ctype = CTYPE_CABINET, cid = 0, sub = 0, unit = 0, identity = 0, subevent = 0;
    if (w.args.size() != 2 || !opt_number(w, "type", 0, 0xFFFFFFFFL, type) || type < 0 ||
        !opt_number(w, "severity", 0, 0xFFFFFFFFL, severity) || !opt_byte(w, "ctype", ctype) ||
        !opt_byte(w, "complex", cid) || !opt_byte(w, "sub", sub) || !opt_byte(w, "unit", unit) ||
        !opt_byte(w, "id", identity) || !opt_byte(w, "subevent", subevent))
        return "usage: event CAB type=T [severity=S] [ctype=T] [complex=ID] [sub=N] [unit=N] [id=I] [subevent=N]";
    sim.broadcast_event(event_message(*cab, static_cast<uint32_t>(type), static_cast<uint32_t>(severity), ctype, cid,
                                      sub, unit, identity, subevent));
    return "";
}

/* A management board or controller replaced: it boots, sends a heartbeat
 * and announces the reboot. */
std::string do_replace(Simulator &sim, const Words &w)
{
    std::string error;
    Cabinet *cab = cabinet_arg(sim, w, error);
    if (cab == nullptr)
        return error;
    uint8_t sub = 0, cid = 0;
    if (w.args.size() != 2 || !opt_byte(w, "sub", sub) || !opt_byte(w, "complex", cid))
        return "usage: replace CAB [complex=ID] [sub=N]";
    cab->alive = true;
    sim.broadcast_event(event_message(*cab, QMX_EVENT_HEARTBEAT, 0, CTYPE_CABINET, cid, sub, 0, 0, 0));
    sim.broadcast_event(event_message(*cab, QMX_EVENT_TESSEL, 0, CTYPE_CABINET, cid, sub, 0, QMX_S_REBOOTED, 0));
    return "";
}

/* A module that reboots: it stops answering (not alive) at once and is back
 * `ms` milliseconds later with the heartbeat and reboot events of
 * `replace`. */
std::string do_reboot(Simulator &sim, const Words &w)
{
    std::string error;
    Cabinet *cab = cabinet_arg(sim, w, error);
    if (cab == nullptr)
        return error;
    uint8_t sub = 0, cid = 0;
    long ms = 3000;
    if (w.args.size() != 2 || !opt_byte(w, "sub", sub) || !opt_byte(w, "complex", cid) ||
        !opt_number(w, "ms", 0, 3600000, ms))
        return "usage: reboot CAB [ms=MS] [complex=ID] [sub=N]";
    cab->alive = false;
    sim.schedule_line(static_cast<int>(ms), "replace " + std::to_string(cab->cabno) + " complex=" +
                                                std::to_string(cid) + " sub=" + std::to_string(sub));
    return "";
}

/* The first `count` blank-separated words of a line and where the rest
 * begins; false when the line has fewer words or nothing after them. */
bool leading_words(const std::string &line, std::size_t count, std::vector<std::string> &words, std::size_t &rest)
{
    std::size_t i = 0;
    auto blank = [&](std::size_t k) { return line[k] == ' ' || line[k] == '\t' || line[k] == '\r'; };
    while (words.size() < count) {
        while (i < line.size() && blank(i))
            ++i;
        std::size_t start = i;
        while (i < line.size() && !blank(i))
            ++i;
        if (start == i)
            return false;
        words.push_back(line.substr(start, i - start));
    }
    while (i < line.size() && blank(i))
        ++i;
    rest = i;
    return i < line.size() && line[i] != '#';
}

/* on CAB register|cmd=C [every] STATEMENT: STATEMENT runs when a listener
 * registers for the cabinet's events or when the cabinet receives a
 * command of cmdtype C; the first time only, or every time. */
std::string do_on(Simulator &sim, const std::string &line)
{
    std::vector<std::string> words;
    std::size_t rest = 0;
    long cab = 0, cmd = 0;
    const char *usage = "usage: on CAB register|cmd=C [every] STATEMENT";
    if (!leading_words(line, 3, words, rest) || !parse_number(words[1], 0, 0xFFFF, cab))
        return usage;
    auto it = sim.cabinets.find(static_cast<int>(cab));
    if (it == sim.cabinets.end())
        return "no such cabinet";
    Trigger t;
    if (words[2] == "register")
        t.cmd = Trigger::REGISTER;
    else if (words[2].rfind("cmd=", 0) == 0 && parse_number(words[2].substr(4), 0, 255, cmd))
        t.cmd = static_cast<int>(cmd);
    else
        return usage;
    std::vector<std::string> fourth;
    std::size_t after_fourth = 0;
    if (leading_words(line, 4, fourth, after_fourth) && fourth[3] == "every") {
        t.every = true;
        rest = after_fourth;
    }
    t.line = line.substr(rest);
    if (t.line.rfind("every", 0) == 0 && t.line.find_first_not_of(" \t\r", 5) == std::string::npos)
        return usage;
    it->second.triggers.push_back(std::move(t));
    return "";
}

} // namespace

/* ------------------------------------------------------------------------ */

std::string Simulator::execute(const std::string &line, ParseContext &ctx, std::string &out)
{
    if (line.size() > kMaxLine)
        return "line too long";
    Words w;
    if (!split(line, w))
        return "unterminated quote";
    if (w.args.empty())
        return w.opts.empty() ? "" : "statement without a verb";
    const std::string &verb = w.args[0];
    std::string error;

    if (verb == "cabinet")
        return do_cabinet(*this, w, ctx);
    if (verb == "complex")
        return do_complex(*this, w, ctx);
    if (verb == "subcomplex")
        return do_subcomplex(*this, w, ctx);
    if (verb == "unit")
        return do_unit(*this, w, ctx);
    if (verb == "set")
        return do_set(*this, w);
    if (verb == "pull" || verb == "insert")
        return do_pull_insert(*this, w, verb == "pull");
    if (verb == "fault")
        return do_fault(*this, w);
    if (verb == "event")
        return do_event(*this, w);
    if (verb == "replace")
        return do_replace(*this, w);
    if (verb == "reboot")
        return do_reboot(*this, w);
    if (verb == "on")
        return do_on(*this, line);
    if (verb == "alive" || verb == "silent") {
        Cabinet *cab = cabinet_arg(*this, w, error);
        if (cab == nullptr)
            return error;
        return verb == "alive" ? do_switch(*this, w, "yes", "no", cab->alive) : do_switch(*this, w, "on", "off", cab->silent);
    }
    if (verb == "delay") {
        Cabinet *cab = cabinet_arg(*this, w, error);
        long ms = 0;
        if (cab == nullptr || w.args.size() != 3 || !parse_number(w.args[2], 0, 3600000, ms))
            return cab == nullptr ? error : "usage: delay CAB MS";
        cab->delay_ms = static_cast<int>(ms);
        return "";
    }
    if (verb == "serial" || verb == "reg" || verb == "ups" || verb == "show" ||
        (verb == "clear" && w.args.size() == 2 && serials.count(w.args[1]) != 0))
        return execute_serial(w.args, w.opts, out);
    if (verb == "clear") {
        Cabinet *cab = cabinet_arg(*this, w, error);
        if (cab == nullptr)
            return error;
        cab->faults.clear();
        cab->triggers.clear();
        cab->alive = true;
        cab->silent = false;
        cab->delay_ms = 0;
        return "";
    }
    if (verb == "after") {
        long ms = 0;
        std::size_t rest = w.args.size() > 1 ? line.find(w.args[1], line.find("after") + 5) : std::string::npos;
        if (w.args.size() < 3 || !parse_number(w.args[1], 0, 3600000, ms) || rest == std::string::npos)
            return "usage: after MS STATEMENT";
        schedule_line(static_cast<int>(ms), line.substr(rest + w.args[1].size()));
        return "";
    }
    if (verb == "ping")
        return "";
    if (verb == "log") {
        for (const std::string &entry : command_log())
            out += entry + "\n";
        return "";
    }
    if (verb == "tree") {
        Cabinet *cab = cabinet_arg(*this, w, error);
        if (cab == nullptr)
            return error;
        out += describe(*cab);
        return "";
    }
    if (verb == "quit") {
        stop();
        return "";
    }
    return "unknown statement " + verb;
}

bool Simulator::run_file(const std::string &path)
{
    std::ifstream in(path);
    if (!in) {
        std::cerr << "cabsim: cannot read " << path << "\n";
        return false;
    }
    ParseContext ctx;
    ctx.source = path;
    std::string line, out;
    while (std::getline(in, line)) {
        ++ctx.line;
        std::string error = execute(line, ctx, out);
        if (!error.empty()) {
            std::cerr << "cabsim: " << path << ":" << ctx.line << ": " << error << "\n";
            return false;
        }
    }
    std::cout << out;
    return true;
}

bool parse_number(const std::string &text, long low, long high, long &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

} // namespace cabsim
