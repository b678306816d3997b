/*
 * rack_query.h - the cabinet status tree: its byte layout, the query that
 * fetches it, the substitute trees used when no answer exists, the bounds
 * check for trees that arrive from outside, and the accessors every reader
 * walks it with.
 *
 * The tree is a packed byte sequence without pointers or gaps:
 *
 *   cmic_cfg_t                      84 bytes, complex_count groups follow
 *     complex_cfg_t                  4 bytes, subcomplex_count groups follow
 *       subcomplex_cfg_t             4 bytes, unit_count units follow
 *         unit_cfg_t                 4 bytes each
 *
 * Multi-byte fields are little-endian except port_id (high byte first).  All
 * records consist of bytes only, so they have alignment 1 and may sit at any
 * offset of a buffer; multi-byte fields are read and written through the
 * byte helpers below, never through host integer casts.
 *
 * The tree lives in one static result buffer owned by this module; tree_ptr
 * points at its header and stays valid until the next get_cabinet_status.
 * Callers: start-up and refresh (get_cabinet_status), the rack view, chassis
 * views, detail box and FRU procedures (accessors, search_tree), chassis
 * views (build_dummy_subcomplex) and the display's report of a failed
 * command (cmdcmplt_err_text).  This module opens no dialog.
 */
#ifndef XR_APP_RACK_QUERY_H
#define XR_APP_RACK_QUERY_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/cmd_status.h"
#include "platform/qmx/qmx.h"

/* ---- byte helpers -------------------------------------------------------- */

constexpr uint16_t le16_get(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr uint32_t le32_get(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

constexpr void le16_put(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr void le32_put(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

/* ---- the status tree ----------------------------------------------------- */

/* Tree header. */
struct cmic_cfg_t {
    char sysname[40];       /* system name, NUL-terminated */
    char cabname[40];       /* cabinet name, NUL-terminated */
    uint8_t complex_count;  /* complex groups that follow */
    uint8_t pad[3];
};
static_assert(sizeof(cmic_cfg_t) == 84);
static_assert(offsetof(cmic_cfg_t, sysname) == 0);
static_assert(offsetof(cmic_cfg_t, cabname) == 40);
static_assert(offsetof(cmic_cfg_t, complex_count) == 80);
static_assert(offsetof(cmic_cfg_t, pad) == 81);

/* One complex (chassis position). */
struct complex_cfg_t {
    uint8_t complex_id;        /* chassis id used by every view */
    uint8_t complex_type;      /* chassis kind */
    uint8_t complex_status;    /* status code of the whole complex */
    uint8_t subcomplex_count;  /* subcomplex groups that follow */
};
static_assert(sizeof(complex_cfg_t) == 4);
static_assert(offsetof(complex_cfg_t, complex_id) == 0);
static_assert(offsetof(complex_cfg_t, complex_type) == 1);
static_assert(offsetof(complex_cfg_t, complex_status) == 2);
static_assert(offsetof(complex_cfg_t, subcomplex_count) == 3);

/* One group of like units (fans, power supplies, boards, ...). */
struct subcomplex_cfg_t {
    uint8_t subcomplex_type;
    uint8_t unit_count;  /* unit records that follow */
    uint8_t port_id[2];  /* console port number, high byte first */

    constexpr uint16_t get_port_id() const { return static_cast<uint16_t>((port_id[0] << 8) | port_id[1]); }
    constexpr void set_port_id(uint16_t id)
    {
        port_id[0] = static_cast<uint8_t>(id >> 8);
        port_id[1] = static_cast<uint8_t>(id);
    }
};
static_assert(sizeof(subcomplex_cfg_t) == 4);
static_assert(offsetof(subcomplex_cfg_t, subcomplex_type) == 0);
static_assert(offsetof(subcomplex_cfg_t, unit_count) == 1);
static_assert(offsetof(subcomplex_cfg_t, port_id) == 2);

/* One unit. */
struct unit_cfg_t {
    uint8_t unit_id;          /* number within the subcomplex, usually from 0 */
    uint8_t unit_status;      /* status code */
    uint8_t PSC_unit_status;  /* second status byte */
    uint8_t unit_type;
};
static_assert(sizeof(unit_cfg_t) == 4);
static_assert(offsetof(unit_cfg_t, unit_id) == 0);
static_assert(offsetof(unit_cfg_t, unit_status) == 1);
static_assert(offsetof(unit_cfg_t, PSC_unit_status) == 2);
static_assert(offsetof(unit_cfg_t, unit_type) == 3);

/* ---- command-complete answer --------------------------------------------- */

/* The message layouts (qmx_event_t, qmx_ecmdcmplt_t, complex_cmd_status_t)
 * and the event types QMX_EVENT_COMMAND / QMX_EVENT_CMDCMPLT belong to the
 * management message library.  A completion's data (from byte 32) is the
 * status tree when cmd_status is 1; when cmd_status is 0 with a non-zero
 * complex_count it is complex_count complex_cmd_status_t records. */

/* Texts of cmd_status (engine/cmd_status.h), indexed by code up to
 * CMIC_HIGHEST_ERR. */
extern const char *const cmic_error_texts[CMIC_HIGHEST_ERR + 1];

/* Size of the status query's result buffer (and of every command's). */
constexpr std::size_t CMIC_RESULT_SIZE = 0x2000;

/* Largest command-complete answer display_cmdcmplt_err can be asked to read:
 * the fixed part and 255 per-complex records. */
constexpr std::size_t CMDCMPLT_MAX_LENGTH = sizeof(qmx_ecmdcmplt_t) + 255 * sizeof(complex_cmd_status_t);

/* The current status tree (in the result buffer). */
extern cmic_cfg_t *tree_ptr;

/* ---- accessors ----------------------------------------------------------- */

/* Complex record n (from 0); n == complex_count gives the byte after the last
 * group.  NULL for a NULL tree, a negative n or n > complex_count. */
const complex_cfg_t *complex(const cmic_cfg_t *tree, int n);
complex_cfg_t *complex(cmic_cfg_t *tree, int n);

/* Subcomplex record n (from 0) of a complex; n == subcomplex_count gives the
 * byte after the complex's last group.  NULL for a NULL complex, a negative n
 * or n > subcomplex_count. */
const subcomplex_cfg_t *subcomplex(const complex_cfg_t *c, int n);
subcomplex_cfg_t *subcomplex(complex_cfg_t *c, int n);

/* Unit record n (from 0) = record start + 4 + 4 * n; n == unit_count gives
 * the byte after the last unit.  NULL for a NULL subcomplex, a negative n or
 * n > unit_count. */
const unit_cfg_t *unit(const subcomplex_cfg_t *s, int n);
unit_cfg_t *unit(subcomplex_cfg_t *s, int n);

/* Finds the indices of a complex, and within it of a subcomplex and unit.
 * mode -1: the first of at most 11 complexes whose complex_id is
 *   search_complex_id (ids 132 and 133 must also have search_complex_type),
 *   or, with search_complex_id 255, whose complex_type is search_complex_type.
 * mode 0 / 1: among the complexes of search_complex_type, the one with the
 *   smallest / largest complex_id; mode 1 needs at least two of them.
 * search_subcomplex_type 255, 0 or 144 stops after the complex; otherwise the
 * first subcomplex of that type is searched for search_unit_id (255: any).
 * Outputs are -1 where nothing was found; result 1 found, 0 not found. */
int search_tree(const cmic_cfg_t *tree, int search_complex_id, int search_complex_type,
                int search_subcomplex_type, int search_unit_id, int mode,
                int *complex_index, int *subcomplex_index, int *unit_index);

/* Checks that a tree of `length` bytes holds every record its counts
 * announce.  Returns the number of bytes the tree occupies, or -1 when a
 * count reaches past `length` (or the tree is NULL). */
int check_status_tree(const uint8_t *tree, std::size_t length);

/* ---- building trees ------------------------------------------------------ */

/* Writes one subcomplex group at sc: its type and unit_count (port_id is left
 * as it was), then unit_count units numbered from 0 (from 1 for type 20) with
 * unit_status (their other two bytes are left as they were).  Returns the
 * address after the last unit, NULL for a NULL sc or a count outside 0..255. */
subcomplex_cfg_t *build_dummy_subcomplex(subcomplex_cfg_t *sc, int subcomplex_type, int unit_count,
                                         int unit_status);

/* The tree shown when the cabinet does not answer: one complex of the
 * management kind, every status Unknown.  Sets tree_ptr. */
void build_empty_status_tree();

/* The built-in tree of test mode: six complexes of several kinds.  Sets
 * debug to 5 and tree_ptr. */
void fake_status_tree();

/* ---- the query ----------------------------------------------------------- */

/* Results of get_cabinet_status and take_status_answer. */
constexpr int STATUS_QUERY_OK = 0;
/* The cabinet's answer was a failure or unusable: tree_ptr is the Unknown
 * tree and status_query_failure() holds the answer to report. */
constexpr int STATUS_QUERY_FAILED = -1;
/* The query could not be queued; nothing was sent and tree_ptr is as it
 * was. */
constexpr int STATUS_QUERY_NOT_BUFFERED = -2;

/* Fetches the cabinet's tree and sets tree_ptr (the built-in tree in test
 * mode).  Reporting a failure is the caller's: the model opens no dialog. */
int get_cabinet_status(int cab_id);

/* Takes the command-complete answer to a status query, `length` bytes at
 * answer: a successful answer whose tree fits the bytes received becomes the
 * current tree (STATUS_QUERY_OK); anything else is kept for
 * status_query_failure and replaced by the Unknown tree
 * (STATUS_QUERY_FAILED). */
int take_status_answer(uint8_t *answer, std::size_t length);

/* The answer of the last failed query, as cmdcmplt_err_text reads it: a
 * copy of the answer received, or a failure with cmd_status 0 standing for
 * an answer too short or whose tree runs past its bytes. */
struct status_query_failure_t {
    const qmx_ecmdcmplt_t *answer;
    std::size_t length;
};
status_query_failure_t status_query_failure();

/* ---- reporting a failed command ------------------------------------------ */

/* Text of one cmd_status; "Unknown error" above CMIC_HIGHEST_ERR. */
const char *cmic_error_text(uint32_t cmd_status);

/* The operator's message for a failed command: "Unable to <doing_what>:"
 * with one line per complex when the answer carries per-complex records,
 * else with the text of cmd_status.  Only records inside `length` bytes of
 * the answer are read. */
std::string cmdcmplt_err_text(const qmx_ecmdcmplt_t *event, const char *doing_what,
                              std::size_t length = CMDCMPLT_MAX_LENGTH);


#endif
