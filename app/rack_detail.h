/*
 * rack_detail.h - the detail report: the whole status tree as text, one
 * block per chassis listing every subcomplex and every unit with its status
 * text, built in a growing text area and shown in the detail box.
 *
 * Inconsistencies of the tree are written into the report itself ("complex_ptr
 * doesn't match chassis_rec", "Invalid status info returned from CMIC."); the
 * walk never reads past the bytes the tree may occupy.
 *
 * Callers: detail_callback (Show Detail), update_display (while the box is
 * up), tests (rack_detail_text).
 */
#ifndef XR_APP_RACK_DETAIL_H
#define XR_APP_RACK_DETAIL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/rack_query.h"

/* The area grows in lines of this many bytes. */
constexpr int DETAIL_LINE_BYTES = 75;
/* Lines the area starts with and grows by. */
constexpr int DETAIL_AREA_LINES = 20;
/* get_area's result when the area cannot be had. */
constexpr int GET_AREA_FAILED = 20;

/* The report text area: dis_ptr holds a NUL-terminated text in dis_size
 * bytes (0: not allocated). */
extern char *dis_ptr;
extern int dis_size;

/* Gets (*size == 0: a zeroed area of count lines) or grows (by count lines)
 * an area.  0 on success; GET_AREA_FAILED when the memory cannot be had,
 * with the reason in nxp_message and the area as it was. */
int get_area(char **ptr, int *size, int count);

/* Appends str_ptr to the report text, growing the area as needed, and
 * empties str_ptr (its first byte becomes NUL) so that callers reuse one line
 * buffer.  Text that does not fit an area that cannot grow is dropped. */
void append_str(char *str_ptr);

/* Heading of a subcomplex type in the report: "Fans", "Power Supplies", ...
 * or "Unknown (0x%02x)" (in a static buffer, valid until the next unknown
 * type) for a type without one. */
const char *subcomplex_heading(int subcomplex_type);

/* Appends one chassis to the report.  `end` bounds the bytes the complex
 * group may occupy.  Returns the byte after the group, or NULL when the
 * group does not fit (the report then says the status info is invalid). */
const uint8_t *show_chassis_detail(int chassis_id, const complex_cfg_t *complex_ptr, const uint8_t *end);

/* Builds the report of a tree of at most `length` bytes into dis_ptr.
 * 0: the report is ready (it may end in "Invalid status info returned from
 * CMIC." when the tree's counts run past its bytes); -1: no tree, nothing to
 * show (the area is freed). */
int build_rack_detail(const cmic_cfg_t *tree, std::size_t length);

/* The report of a tree as a string (the area is freed again); "" when there
 * is nothing to show. */
std::string rack_detail_text(const cmic_cfg_t *tree, std::size_t length);

/* Builds the report of the current tree (tree_ptr) and shows it in the
 * detail box. */
void show_rack_detail();

#endif
