/*
 * status_tree_loader.cpp - loading test trees into the cabinet display (see
 * status_tree_loader.h).
 */
#include "tests/support/status_tree_loader.h"

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
