/*
 * cabstat_common.h - how a status code looks, everywhere in the display.
 *
 * Every status code of the status tree is shown as an icon (an X bitmap
 * under /opt/console/icons/), a colour scheme of s_get_colors.h and a short
 * text.  get_status_visual_elements() is that mapping; the show_* operations
 * are the few ways the rack view, the chassis views and the detail boxes
 * paint it.  Icon arguments are installation paths ("/opt/console/icons/
 * FAN.tsl"); they are resolved through console_path() when read.
 */
#ifndef XR_APP_CABSTAT_COMMON_H
#define XR_APP_CABSTAT_COMMON_H

#include <X11/Intrinsic.h>

#include "app/status_codes.h"

/* Icon, colour scheme and text of `status`; with tiny_flag the small icon
 * where the status has one.  The text of an unrecognised code ("(0x%x)")
 * lives in one static buffer and is valid until the next unrecognised code
 * is mapped; every other output is a constant. */
void get_status_visual_elements(int status, const char **stat_icon, int *color_scheme, const char **text,
                                int tiny_flag);

/* Shows the icon file `icon` in `who` (a label) in the colours of scheme
 * how_bad; with do_backing the parent (the frame behind the icon) takes the
 * scheme's colours too. */
void show_status(Widget who, const char *icon, int how_bad, int do_backing);

/* Shows the icon file `icon` in a toggle button: in neutral (title) colours
 * while the toggle is sensitive, in the colours of how_bad while it is not. */
void show_tb_status(Widget who, const char *icon, int how_bad);

/* Sets a label's text (line breaks honoured) and the colours of a scheme. */
void show_text(const char *string, int colors, Widget me);

/* One component: its status icon in stat_w (with backing) and its picture
 * `icon` in the toggle btn_w, both coloured by `status`. */
void show_component_status(Widget stat_w, Widget btn_w, int status, const char *icon, int tiny_flag);

/* A label "name\nstatus text" (fru_id negative) or "name number\nstatus
 * text" in title colours. */
void add_status_to_label(int fru_id, int status, const char *cmpnt_lbl, Widget lbl_w);

#endif
