/*
 * status_tree_fuzz.cpp - fuzz target for the cabinet status tree as it
 * arrives from a management module.
 *
 * One input is the command-complete answer to a status query: the 32-byte
 * completion, then the tree.  It is handed over in a heap copy of exactly its
 * length, so that any read past the bytes received is caught, and goes
 * through what the program does with an arriving tree:
 *   - the bounds check (check_status_tree) over the bytes received and over
 *     the declared length;
 *   - the detail report (rack_detail_text) of the tree as received, checked
 *     or not: it bounds its own walk;
 *   - a failed answer: the operator's text (cmdcmplt_err_text);
 *   - a successful answer whose tree fits: take_status_answer, the rack
 *     table built from the tree (build_rack_view before the main window
 *     exists fills only the table), the detail report with that table, and
 *     search_tree for the complexes, subcomplexes and units the tree holds.
 *   - every other answer: take_status_answer refuses it, puts the Unknown
 *     tree in place and keeps the answer, whose text is the operator's.
 *
 * Besides the sanitizers, a few properties must hold: a tree the check
 * accepts lies inside the bytes, is taken, and reports without "Invalid
 * status info"; the rack table points into the tree; whatever search_tree
 * finds is a record of the tree with the key asked for.

 */
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/rack_detail.h"
#include "app/rack_query.h"
#include "app/rack_view.h"

namespace {

/* The detail report's note on a tree whose counts run past its bytes. */
constexpr const char *kInvalidStatus = "Invalid status info";

/* search_tree is asked about this many complexes of a tree at most. */
constexpr int kSearchedComplexes = 8;

void Require(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "status_tree_fuzz: %s\n", what);
        std::abort();
    }
}

/* The report after its two name lines ("System: ...", "Cabinet: ..." and a
 * blank line): the names are the tree's own bytes and may hold any text. */
std::string_view ReportBody(const std::string &report, const cmic_cfg_t *tree)
{
    const std::size_t names =
        strnlen(tree->sysname, sizeof tree->sysname) + strnlen(tree->cabname, sizeof tree->cabname);
    const std::size_t head = std::strlen("System: \nCabinet: \n\n") + names;
    Require(report.starts_with("System: ") && report.size() >= head, "report without its name lines");
    return std::string_view(report).substr(head);
}

const uint8_t *Bytes(const void *p)
{
    return static_cast<const uint8_t *>(p);
}

/* True when [p, p + n) lies inside [begin, end). */
bool Inside(const void *p, std::size_t n, const uint8_t *begin, const uint8_t *end)
{
    return p != nullptr && Bytes(p) >= begin && Bytes(p) <= end && static_cast<std::size_t>(end - Bytes(p)) >= n;
}

/* search_tree for one key; a find must be a record of the tree that
 * matches the key. */
void Search(const cmic_cfg_t *tree, const uint8_t *end, int id, int type, int sub_type, int unit_id, int mode)
{
    int ci = -2, si = -2, ui = -2;
    const int found = search_tree(tree, id, type, sub_type, unit_id, mode, &ci, &si, &ui);
    Require(found == 0 || found == 1, "search_tree result is neither 0 nor 1");
    if (found == 0)
        return;
    Require(ci >= 0 && ci < tree->complex_count, "search_tree found a complex outside the count");
    const complex_cfg_t *c = complex(tree, ci);
    Require(Inside(c, sizeof(complex_cfg_t), Bytes(tree), end), "found complex outside the tree");
    if (mode == -1 && id != 255)
        Require(c->complex_id == id, "found complex has another id");
    else
        Require(c->complex_type == type, "found complex has another type");
    if (si < 0)
        return;
    Require(si < c->subcomplex_count, "search_tree found a subcomplex outside the count");
    const subcomplex_cfg_t *s = subcomplex(c, si);
    Require(Inside(s, sizeof(subcomplex_cfg_t), Bytes(tree), end), "found subcomplex outside the tree");
    Require(s->subcomplex_type == sub_type, "found subcomplex has another type");
    Require(ui >= 0 && ui < s->unit_count, "search_tree found a unit outside the count");
    const unit_cfg_t *u = unit(s, ui);
    Require(Inside(u, sizeof(unit_cfg_t), Bytes(tree), end), "found unit outside the tree");
    Require(unit_id == 255 || u->unit_id == unit_id, "found unit has another id");
}

/* The keys the program looks a tree up by: each complex by id and by type
 * (first, smallest, largest), and its first units by subcomplex type and id;
 * then a few that no tree need hold. */
void SearchEverything(const cmic_cfg_t *tree, const uint8_t *end)
{
    const int complexes = std::min<int>(tree->complex_count, kSearchedComplexes);
    for (int i = 0; i < complexes; ++i) {
        const complex_cfg_t *c = complex(tree, i);
        Search(tree, end, c->complex_id, c->complex_type, 255, 0, -1);
        Search(tree, end, 255, c->complex_type, 0, 0, -1);
        Search(tree, end, 0, c->complex_type, 144, 0, 0);
        Search(tree, end, 0, c->complex_type, 255, 0, 1);
        const int subs = std::min<int>(c->subcomplex_count, 3);
        for (int j = 0; j < subs; ++j) {
            const subcomplex_cfg_t *s = subcomplex(c, j);
            const int unit_id = s->unit_count > 0 ? unit(s, s->unit_count - 1)->unit_id : 0;
            Search(tree, end, c->complex_id, c->complex_type, s->subcomplex_type, unit_id, -1);
            Search(tree, end, c->complex_id, c->complex_type, s->subcomplex_type, 255, -1);
            Search(tree, end, 0, c->complex_type, s->subcomplex_type, 255, 1);
        }
    }
    Search(tree, end, 132, 0x2D, 255, 0, -1);
    Search(tree, end, 1, 0x82, 3, 7, -1);
    Search(tree, end, 1, 0x82, 3, 0, 2);
}

/* The rack table built from the current tree points into it, each entry at
 * the complex of its id. */
void CheckRackTable(const uint8_t *begin, const uint8_t *end)
{
    for (int id = 1; id <= MAX_CHASSIS; ++id) {
        const complex_cfg_t *c = chassis_rec[id].complex_ptr;
        if (c == nullptr)
            continue;
        Require(Inside(c, sizeof(complex_cfg_t), begin, end), "rack entry outside the tree");
        Require(c->complex_id == id, "rack entry holds a complex of another id");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    /* A fresh rack table: every input is a first answer. */
    for (s_cab_chassis_rec &entry : chassis_rec)
        entry = s_cab_chassis_rec{};
    tree_ptr = nullptr;

    std::vector<uint8_t> answer(data, data + size);
    if (size < sizeof(qmx_ecmdcmplt_t)) {
        const std::string text = cmdcmplt_err_text(nullptr, "read status", size);
        Require(text.starts_with("Unable to read status:"), "failure text without its lead");
        return 0;
    }
    auto *event = reinterpret_cast<qmx_ecmdcmplt_t *>(answer.data());
    uint8_t *tree_bytes = event->data();
    const std::size_t received = size - sizeof(qmx_ecmdcmplt_t);
    const auto *tree = reinterpret_cast<const cmic_cfg_t *>(tree_bytes);

    /* 1. The tree as received, checked and reported. */
    const int fits = check_status_tree(tree_bytes, received);
    Require(fits <= static_cast<int>(received), "checked tree longer than the bytes");
    if (received >= sizeof(cmic_cfg_t)) {
        const std::string report = rack_detail_text(tree, received);
        if (fits >= 0)
            Require(ReportBody(report, tree).find(kInvalidStatus) == std::string_view::npos,
                    "report of a fitting tree calls it invalid");
    }

    /* 2. A failed answer, or a tree that does not fit its declared length:
     *    refused, the Unknown tree shown, the answer kept for its text. */
    const std::size_t declared = std::min<std::size_t>(event->get_datalen(), received);
    const int length = check_status_tree(tree_bytes, declared);
    if (event->get_cmd_status() != CMIC_CMD_SUCCESS || length < 0) {
        Require(take_status_answer(answer.data(), size) == STATUS_QUERY_FAILED, "a failed answer was taken");
        Require(tree_ptr != nullptr && tree_ptr->complex_count == 1, "no Unknown tree after a failed answer");
        const status_query_failure_t failure = status_query_failure();
        const std::string text = cmdcmplt_err_text(failure.answer, "read status", failure.length);
        Require(text.starts_with("Unable to read status:"), "failure text without its lead");
        return 0;
    }

    /* 3. A successful answer whose tree fits its declared length. */
    Require(length <= static_cast<int>(declared), "checked tree longer than its declared length");
    const uint8_t *tree_end = tree_bytes + length;
    Require(complex(tree, tree->complex_count) == reinterpret_cast<const complex_cfg_t *>(tree_end),
            "complexes do not end where the check ends");

    Require(take_status_answer(answer.data(), size) == 0, "a fitting tree was refused");
    Require(tree_ptr == reinterpret_cast<cmic_cfg_t *>(tree_bytes), "the taken tree is not the answer's");

    /* 4. The rack table, the report with it, the searches. */
    build_rack_view();
    CheckRackTable(tree_bytes, tree_end);
    const std::string report = rack_detail_text(tree_ptr, static_cast<std::size_t>(length));
    Require(ReportBody(report, tree).find(kInvalidStatus) == std::string_view::npos,
            "report of a taken tree calls it invalid");
    SearchEverything(tree_ptr, tree_end);

    /* 5. Nothing may point into the answer once it is gone. */
    tree_ptr = nullptr;
    build_rack_view();
    return 0;
}
