/*
 * status_tree_loader.h - for tests only: puts any status tree on the
 * cabinet display, in-process, as if the cabinet had answered with it.
 *
 * The tree is checked first (check_status_tree); a tree whose counts run
 * past its bytes, or that is larger than a status answer can be, is
 * replaced by the Unknown tree the display shows after a failed query.  Then
 * the display is refreshed from it (show_status_tree: rack, selected
 * chassis view, detail box).  The windows must have been built.
 *
 * Also a small builder for tests to write trees without counting bytes.
 */
#ifndef XR_TESTS_STATUS_TREE_LOADER_H
#define XR_TESTS_STATUS_TREE_LOADER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/tree_bytes.h"

/* Loads `length` bytes as the current tree and refreshes the display.
 * Returns 0 when the tree was taken, -1 when the Unknown tree is shown. */
int load_status_tree(const uint8_t *tree, std::size_t length);

namespace tree {

/* One subcomplex: its type and the status of each unit; unit ids count
 * from first_id (-1: from 0, from 1 for the input selector). */
struct Sub {
    uint8_t type;
    std::vector<uint8_t> statuses;
    int first_id = -1;
};

/* A subcomplex of n units, all with one status. */
inline Sub same(uint8_t type, int n, uint8_t status)
{
    return {type, std::vector<uint8_t>(static_cast<std::size_t>(n), status), -1};
}

struct Chassis {
    uint8_t id;
    uint8_t type;
    uint8_t status;
    std::vector<Sub> subs;
};

/* The bytes of a tree of "test system", "test cabinet" with these
 * complexes, in this order. */
inline std::vector<uint8_t> build(const std::vector<Chassis> &complexes)
{
    TreeBytes tree(static_cast<int>(complexes.size()), "test system", "test cabinet");
    for (const Chassis &c : complexes) {
        tree.complex(c.id, c.type, c.status, static_cast<int>(c.subs.size()));
        for (const Sub &s : c.subs) {
            tree.sub(s.type, static_cast<int>(s.statuses.size()));
            const int first_id = s.first_id >= 0 ? s.first_id : s.type == 20 ? 1 : 0;
            for (std::size_t i = 0; i < s.statuses.size(); ++i)
                tree.unit(first_id + static_cast<int>(i), s.statuses[i]);
        }
    }
    return tree.bytes();
}

} // namespace tree

#endif
