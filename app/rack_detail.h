/*
 * rack_detail.h - the detail report: the whole status tree as text, one
 * block per chassis listing every subcomplex and every unit with its status
 * text, built as a string that the detail box shows.
 *
 * Inconsistencies of the tree are written into the report itself ("complex_ptr
 * doesn't match chassis_rec", "Invalid status info returned from CMIC."); the
 * walk never reads past the bytes the tree may occupy.
 *
 * Callers: the detail box (show_rack_detail), tests.
 */
#ifndef XR_APP_RACK_DETAIL_H
#define XR_APP_RACK_DETAIL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/rack_query.h"

/* Heading of a subcomplex type in the report: "Fans", "Power Supplies", ...
 * or "Unknown (0x%02x)" (in a static buffer, valid until the next unknown
 * type) for a type without one. */
const char *subcomplex_heading(int subcomplex_type);

/* Appends one chassis to report.  `end` bounds the bytes the complex group
 * may occupy.  Returns the byte after the group, or NULL when the group does
 * not fit (the report then says the status info is invalid). */
const uint8_t *show_chassis_detail(std::string &report, int chassis_id, const complex_cfg_t *complex_ptr,
                                   const uint8_t *end);

/* The report of a tree of at most `length` bytes.  It may end in "Invalid
 * status info returned from CMIC." when the tree's counts run past its
 * bytes; "" when there is no tree, nothing to show. */
std::string rack_detail_text(const cmic_cfg_t *tree, std::size_t length);

/* The report of the current tree (tree_ptr, bounded by the result buffer). */
std::string current_rack_detail_text();

#endif
