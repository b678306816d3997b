/*
 * rcmb_slots.cpp - the board slots of the server-management chassis.
 *
 * The management chassis (chassis 1) reports one unit per board slot in its
 * subcomplex 9: slot 0 is its own management board, the others hold rack
 * management boards (RCMB/RUMB, one per chassis that needs one) and power
 * transfer boards (PTB/PTBX, one per power group of older chassis).  The
 * painter works out which chassis each board serves and writes it under the
 * slot.  Two variants: eleven slots (SscType 3) and eight (SscType 2).
 *
 * Callers: the chassis view (show_rcmb_status), the FRU procedures
 * (rcmb_slot_to_chassis_ids, ptbs_needed).
 */
#include <cstdio>
#include <string>

#include <Xm/Xm.h>

#include "app/cabstat_common.h"
#include "app/chassis_views.h"
#include "app/complex_types.h"
#include "app/layouts/rack_windows.h"
#include "app/rack_state.h"
#include "app/s_get_colors.h"
#include "app/unit_lookup.h"
#include "base/console_path.h"
#include "base/trace.h"
#include "ui/x_util.h"

/* ---- constants ----------------------------------------------------------- */

namespace {

/* The chassis whose subcomplex 9 lists the slots. */
constexpr int SLOT_CHASSIS = 1;
/* Slot indices painted after the management board. */
constexpr int FIRST_SLOT = 1;
constexpr int LAST_SLOT = 10;
/* Where the boards are matched against the chassis that need them. */
constexpr int MATCH_CHECK_SLOT = 7;
/* A power group holds at most this many members. */
constexpr int GROUP_SIZE = 4;
/* The first group starts with the two management LAN links. */
constexpr int FIRST_GROUP_LINKS = 2;

constexpr const char *UNMATCHED_RCMBS = "Unable to match RCMBs with Chassis. CMIC may\nbe in configuration process.";

struct SlotVariant {
    int ssc_type;
    Widget *frm, *lbl, *btn, *stat;
    const char *board_picture;
    const char *ptb_picture;
};
constexpr SlotVariant SLOT_VARIANTS[] = {
    {3, frm_smc_rcmbs, lbl_smc_rcmbs, btn_smc_rcmbs, stat_smc_rcmbs, CONSOLE_ICONS "SMB.tsl", CONSOLE_ICONS "PTB.tsl"},
    {2, frm_smc2u_rcmbs, lbl_smc2u_rcmbs, btn_smc2u_rcmbs, stat_smc2u_rcmbs, CONSOLE_ICONS "SMB2U.tsl", CONSOLE_ICONS "PTB2U.tsl"},
};

/* What a chassis means to the board slots. */
enum class PowerRole {
    Unpowered,  /* needs neither board */
    Standalone, /* needs an RCMB; closes a power group */
    Grouped,    /* fed through a power transfer board */
};

/* ---- module variables ---------------------------------------------------- */

Widget *frm_rcmbs = nullptr;

/* ---- static prototypes --------------------------------------------------- */

PowerRole power_role(int chassis_id);
bool needs_rcmb(int chassis_id);
subcomplex_cfg_t *slot_subcomplex();
int slot_count();
std::string chassis_text(const int ids[CHASSIS_IDS_PER_SLOT], int *count);
void group_members(int group, int ids[CHASSIS_IDS_PER_SLOT]);
void set_label(Widget w, const char *text);
void paint_board(int slot_idx, int status, const char *picture, const char *label, bool usable = true);

} // namespace

Widget *lbl_rcmbs = nullptr, *btn_rcmbs = nullptr, *stat_rcmbs = nullptr;
const char *SmbTessel = CONSOLE_ICONS "SMB.tsl";
const char *PtbTessel = CONSOLE_ICONS "PTB.tsl";

/* ---- helpers ------------------------------------------------------------- */

namespace {

/* How a slot's text names the chassis a board serves, by chassis kind;
 * null for kinds that a board slot does not name. */
struct SlotChassisKind {
    int chassis_type;
    const char *name;
};
constexpr SlotChassisKind SLOT_CHASSIS_KINDS[] = {
    {CHASSIS_DISK_ARRAY, "DAMC"}, {CHASSIS_UPS, "UPS"}, {CHASSIS_NODE, "SMP"},
    {CHASSIS_QNA, "QNA"},         {CHASSIS_QNB, "QNB"},
};

const char *slot_chassis_kind(int chassis_type)
{
    for (const SlotChassisKind &kind : SLOT_CHASSIS_KINDS)
        if (kind.chassis_type == chassis_type)
            return kind.name;
    return nullptr;
}

PowerRole power_role(int chassis_id)
{
    const s_cab_chassis_rec &entry = chassis_rec[chassis_id];
    if (entry.complex_ptr == nullptr)
        return PowerRole::Unpowered;
    switch (entry.chassis_type) {
    case CHASSIS_DISK_ARRAY:
    case CHASSIS_UPS:
        return PowerRole::Standalone;
    case CHASSIS_NODE:
        switch (entry.complex_ptr->complex_type) {
        case COMPLEX_QUARTZ_NODE:
        case COMPLEX_NODE7U:
        case COMPLEX_COBALT:
        case COMPLEX_GARNET:
        case COMPLEX_BERYL:
            return PowerRole::Standalone;
        default:
            return PowerRole::Grouped;
        }
    case CHASSIS_QNA:
    case CHASSIS_QNB:
        return PowerRole::Grouped;
    default:
        return PowerRole::Unpowered;
    }
}

/* Disk arrays, UPSs, the newer nodes and server-management chassis other
 * than the one holding the slots (its own board sits in slot 0). */
bool needs_rcmb(int chassis_id)
{
    const s_cab_chassis_rec &entry = chassis_rec[chassis_id];
    if (entry.complex_ptr == nullptr)
        return false;
    if (entry.chassis_type == CHASSIS_SERVER_MGMT || entry.chassis_type == CHASSIS_SERVER_MGMT2)
        return chassis_id != SLOT_CHASSIS;
    return power_role(chassis_id) == PowerRole::Standalone;
}

subcomplex_cfg_t *slot_subcomplex()
{
    complex_cfg_t *cp = chassis_rec[SLOT_CHASSIS].complex_ptr;
    if (cp == nullptr)
        return nullptr;
    for (int i = 0; i < cp->subcomplex_count; ++i) {
        subcomplex_cfg_t *sc = subcomplex(cp, i);
        if (sc != nullptr && sc->subcomplex_type == SC_RCMB_SLOTS)
            return sc;
    }
    return nullptr;
}

int slot_count()
{
    int n = 0;
    while (stat_rcmbs != nullptr && stat_rcmbs[n] != nullptr)
        ++n;
    return n;
}

/* The members of power group `group` (from 1): walked as ptbs_needed counts
 * the groups; the first also holds the two management LAN links. */
void group_members(int group, int ids[CHASSIS_IDS_PER_SLOT])
{
    int current = 1, counter = FIRST_GROUP_LINKS, n = 0;
    if (group == 1) {
        ids[n++] = MLAN_A;
        ids[n++] = MLAN_B;
    }
    for (int id = 1; id <= MAX_CHASSIS && current <= group; ++id) {
        const PowerRole role = power_role(id);
        if (role == PowerRole::Standalone && counter > 0) {
            counter = 0;
            ++current;
        } else if (role == PowerRole::Grouped) {
            if (current == group && n < CHASSIS_IDS_PER_SLOT)
                ids[n++] = id;
            if (++counter == GROUP_SIZE) {
                counter = 0;
                ++current;
            }
        }
    }
}

/* "\n(UPS 6)\n(SMP 3)..." for the chassis a board serves. */
std::string chassis_text(const int ids[CHASSIS_IDS_PER_SLOT], int *count)
{
    std::string text;
    *count = 0;
    for (int k = 0; k < CHASSIS_IDS_PER_SLOT; ++k) {
        const int id = ids[k];
        if (id == 0)
            continue;
        ++*count;
        char part[32] = "";
        if (id == MLAN_A) {
            std::snprintf(part, sizeof part, "\n(MLAN A)");
        } else if (id == MLAN_B) {
            std::snprintf(part, sizeof part, "\n(MLAN B)");
        } else if (id >= 1 && id <= MAX_CHASSIS) {
            if (const char *kind = slot_chassis_kind(chassis_rec[id].chassis_type))
                std::snprintf(part, sizeof part, "\n(%s %d)", kind, id);
        }
        text += part;
    }
    if (*count == 0)
        text = "\n(?)";
    return text;
}

void set_label(Widget w, const char *text)
{
    if (w != nullptr)
        show_text(text, STATUS_TITLE, w);
}

/* A board slot: shown, sensitive and raised while it can hold a board
 * (insensitive and flat when unused), painted, captioned. */
void paint_board(int slot_idx, int status, const char *picture, const char *label, bool usable)
{
    Widget btn = btn_rcmbs[slot_idx];
    XtSetSensitive(btn, usable ? True : False);
    XtVaSetValues(btn, XmNshadowThickness, usable ? 2 : 0, nullptr);
    if (frm_rcmbs != nullptr)
        XtManageChild(frm_rcmbs[slot_idx]);
    show_component_status(stat_rcmbs[slot_idx], btn, status, picture, 0);
    set_label(lbl_rcmbs[slot_idx], label);
}

} // namespace

/* ---- interfaces ---------------------------------------------------------- */

int set_smc_type()
{
    for (const SlotVariant &v : SLOT_VARIANTS) {
        if (v.ssc_type != SscType)
            continue;
        frm_rcmbs = v.frm;
        lbl_rcmbs = v.lbl;
        btn_rcmbs = v.btn;
        stat_rcmbs = v.stat;
        SmbTessel = v.board_picture;
        PtbTessel = v.ptb_picture;
        return 0;
    }
    return -1;
}

int ptbs_needed()
{
    int counter = FIRST_GROUP_LINKS, result = 0;
    for (int id = 1; id <= MAX_CHASSIS; ++id) {
        const PowerRole role = power_role(id);
        if (role == PowerRole::Standalone && counter > 0) {
            counter = 0;
            ++result;
        } else if (role == PowerRole::Grouped && ++counter == GROUP_SIZE) {
            counter = 0;
            ++result;
        }
    }
    if (counter > 0)
        ++result;
    dprint(5, "ptb_needed: %d\n", result);
    return result;
}

int rcmb_slot_to_chassis_ids(int slot_idx, int ids[CHASSIS_IDS_PER_SLOT])
{
    for (int k = 0; k < CHASSIS_IDS_PER_SLOT; ++k)
        ids[k] = 0;

    /* 1. The board in this slot. */
    subcomplex_cfg_t *slots = slot_subcomplex();
    if (slots == nullptr || slot_idx < 0 || slot_idx >= slots->unit_count) {
        dprint(1, "rcmb_slot_to_chassis_ids: no unit_p for slot %d\n", slot_idx);
        return -1;
    }
    const int status = unit(slots, slot_idx)->unit_status;
    const int ptbs = ptbs_needed();
    auto is_rcmb = [ptbs](int k, int s) { return s == S_RCMB || s == S_RUMB || (s == S_MISSING && k > ptbs); };
    auto is_ptb = [ptbs](int k, int s) { return s == S_PTB || s == S_PTBX || (s == S_MISSING && k <= ptbs); };

    /* 2. RCMBs present in all slots and up to this one. */
    int present = 0, rcmb_cnt = 0;
    for (int k = FIRST_SLOT; k < slots->unit_count; ++k) {
        if (!is_rcmb(k, unit(slots, k)->unit_status))
            continue;
        ++present;
        if (k <= slot_idx)
            ++rcmb_cnt;
    }

    /* 3. The chassis the board serves. */
    if (is_ptb(slot_idx, status)) {
        group_members(slot_idx, ids);
    } else if (is_rcmb(slot_idx, status)) {
        int seen = 0;
        for (int id = 1; id <= MAX_CHASSIS && ids[0] == 0; ++id)
            if (needs_rcmb(id) && ++seen == rcmb_cnt)
                ids[0] = id;
    }

    /* 4. Boards and chassis must agree. */
    if (slot_idx == MATCH_CHECK_SLOT) {
        int needing = 0;
        for (int id = 1; id <= MAX_CHASSIS; ++id)
            needing += needs_rcmb(id) ? 1 : 0;
        if (needing != present)
            ModalErrorDialog(nullptr, widget_title, UNMATCHED_RCMBS);
    }
    return status;
}

void show_ptb(int slot_idx, int status, const char *text, int count, int type)
{
    if (btn_rcmbs == nullptr || slot_idx < 0 || slot_idx >= slot_count())
        return;
    const char *format = type == S_PTB ? "PTB %d%s" : type == S_PTBX ? "PTBX %d%s" : "PTB/PTBX %d%s";
    char name[160];
    std::snprintf(name, sizeof name, format, slot_idx + 1, text);
    std::string label = count < 4 ? "\n" : "";
    label += name;
    for (int k = count; k < 3; ++k)
        label += "\n";
    paint_board(slot_idx, status, PtbTessel, label.c_str());
}

void show_rcmb(int slot_idx, int chassis_id, const char *text, int type)
{
    if (btn_rcmbs == nullptr || slot_idx < 0 || slot_idx >= slot_count())
        return;
    char label[160];
    std::snprintf(label, sizeof label, type == S_RUMB ? "\nRUMB %d%s\n\n" : "\nRCMB %d%s\n\n", slot_idx + 1, text);

    /* The status of the chassis's main board. */
    int status = S_UNKNOWN;
    const unit_cfg_t *board = nullptr;
    const complex_cfg_t *cp =
        chassis_id >= 1 && chassis_id <= MAX_CHASSIS ? chassis_rec[chassis_id].complex_ptr : nullptr;
    for (int i = 0; cp != nullptr && board == nullptr && i < cp->subcomplex_count; ++i) {
        const subcomplex_cfg_t *sc = subcomplex(cp, i);
        for (const int *mb = gMBSub; sc != nullptr && *mb != 0 && board == nullptr; ++mb)
            if (sc->subcomplex_type == *mb)
                board = find_unit_ptr(chassis_id, *mb, 1);
    }
    if (board == nullptr)
        dprint(1, "Can't find MB in chassis %d\n", chassis_id);
    else
        status = board->unit_status == S_MISSING ? S_NOCOMM : board->unit_status;
    paint_board(slot_idx, status, SmbTessel, label);
}

void show_rcmb_status()
{
    if (set_smc_type() < 0 || btn_rcmbs == nullptr)
        return;
    for (Widget *frames : {frm_smc_extpwrs, frm_smc_vrs, frm_smc_convs, frm_smc_cpufans})
        for (int i = 0; frames[i] != nullptr; ++i)
            XtUnmanageChild(frames[i]);

    const int slots = slot_count();
    for (int slot = FIRST_SLOT; slot <= LAST_SLOT && slot < slots; ++slot) {
        /* 1. The board and the chassis it serves. */
        int ids[CHASSIS_IDS_PER_SLOT];
        const int type = rcmb_slot_to_chassis_ids(slot, ids);
        dprint(5, "show_rcmb_status: slot %d, type=%d, chassis %d %d %d %d\n", slot, type, ids[0], ids[1], ids[2],
               ids[3]);

        /* 2. Their names. */
        int count = 0;
        const std::string text = chassis_text(ids, &count);

        /* 3. The slot by its board. */
        char label[160];
        switch (type) {
        case S_UNUSED:
            std::snprintf(label, sizeof label, "\nSLOT %d\nUNUSED\n\n", slot + 1);
            paint_board(slot, S_UNUSED, CONSOLE_ICONS "BLANK.tsl", label, false);
            break;
        case S_PTB:
        case S_PTBX:
            show_ptb(slot, S_NO_STATUS, text.c_str(), count, type);
            break;
        case -1:
            if (frm_rcmbs != nullptr)
                XtUnmanageChild(frm_rcmbs[slot]);
            break;
        case S_MISSING:
            if (slot <= ptbs_needed()) {
                show_ptb(slot, S_MISSING, text.c_str(), count, type);
            } else {
                std::snprintf(label, sizeof label, "\nMissing\n%s\n\n", text.c_str());
                paint_board(slot, S_MISSING, SmbTessel, label);
            }
            break;
        case S_RCMB:
        case S_RUMB:
            show_rcmb(slot, ids[0], text.c_str(), type);
            break;
        default:
            std::snprintf(label, sizeof label, "\nSLOT %d\n\n\n", slot + 1);
            paint_board(slot, type, SmbTessel, label);
            break;
        }
    }
}
