/*
 * status_tree_loader.cpp - loading test trees into the cabinet display (see
 * status_tree_loader.h).
 */
#include "tests/support/status_tree_loader.h"
#include "tests/support/tree_bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "app/rack_query.h"
#include "app/s_rack_disp.h"

namespace {

/* A status answer carries its tree 32 bytes into the result buffer. */
constexpr std::size_t ANSWER_HEADER = 32;
constexpr std::size_t MAX_TREE = CMIC_RESULT_SIZE - ANSWER_HEADER;

/* The loaded tree lives here until the next load or query. */
alignas(8) uint8_t loaded_tree[MAX_TREE];

} // namespace

int load_status_tree(const uint8_t *tree, std::size_t length)
{
    const bool taken = tree != nullptr && length <= MAX_TREE && check_status_tree(tree, length) >= 0;
    if (taken) {
        std::memset(loaded_tree, 0, sizeof loaded_tree);
        std::memcpy(loaded_tree, tree, length);
        tree_ptr = reinterpret_cast<cmic_cfg_t *>(loaded_tree);
    } else {
        build_empty_status_tree();
    }
    show_status_tree();
    return taken ? 0 : -1;
}

namespace tree {

Sub same(uint8_t type, int n, uint8_t status)
{
    return {type, std::vector<uint8_t>(static_cast<std::size_t>(n), status), -1};
}

std::vector<uint8_t> build(const std::vector<Chassis> &complexes, const std::string &sysname,
                           const std::string &cabname)
{
    TreeBytes tree(static_cast<int>(complexes.size()), sysname, cabname);
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
