/*
 * s_get_colors.h - the colour table of the cabinet display.
 *
 * Every status is painted in one of the colour schemes below.  The colours
 * are not compiled in: get_colors() reads them, once at start-up, from the
 * widgets of the status key window (s_key_shell), whose colours come from the
 * X resources of the class Xrackmon.  So the key the operator reads and the
 * display always agree, and a site changes a colour in one place.
 *
 * Readers: the painting operations of cabstat_common, the rack and chassis
 * views, the detail boxes.
 */
#ifndef XR_APP_S_GET_COLORS_H
#define XR_APP_S_GET_COLORS_H

#include <X11/Intrinsic.h>

/* Colour schemes: indices into s_colors. */
enum s_cru_statuses {
    STATUS_OK = 0,
    STATUS_BAD = 1,
    STATUS_WARN = 2,
    STATUS_NOT_PRES = 3,
    STATUS_HALF_FAST = 4,
    STATUS_FAST = 5,
    STATUS_FAN_NORM = 6,
    STATUS_DISABLED = 7,
    STATUS_LED_OFF = 8,
    STATUS_LED_GREEN = 9,
    STATUS_LED_AMBER = 10,
    STATUS_LED_RED = 11,
    STATUS_TITLE = 12,
    STATUS_NOT_USED = 13,
    STATUS_UNKNOWN = 14,
    STATUS_last = 15,
};

struct s_colors_type {
    Pixel foreground;
    Pixel background;
    Pixmap backgroundPixmap;
};

/* The colours of each scheme, filled by get_colors(). */
extern s_colors_type s_colors[STATUS_last];

/* For each scheme, the status-key widget variable its colours are read from. */
extern Widget *const s_color_src[STATUS_last];

/* Fills s_colors from the status key; call after create_s_key_shell().
 * The LED amber and red schemes take the warning and fault colours with
 * foreground and background exchanged; the "not used" scheme gets its
 * foreground equal to its background, so that its text is invisible. */
void get_colors();

#endif
