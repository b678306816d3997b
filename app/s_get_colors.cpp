/*
 * s_get_colors.cpp - fills the colour table from the status key widgets.
 * Called once by start-up after the status key window exists.
 */
#include "app/s_get_colors.h"

#include <Xm/Xm.h>

#include "app/layouts/rack_windows.h"
#include "base/trace.h"
#include "ui/x_util.h"

s_colors_type s_colors[STATUS_last];

Widget *const s_color_src[STATUS_last] = {
    &s_OK,         /* STATUS_OK */
    &s_not_OK,     /* STATUS_BAD */
    &s_warn,       /* STATUS_WARN */
    &s_not_pres,   /* STATUS_NOT_PRES */
    &s_fan_hfast,  /* STATUS_HALF_FAST */
    &s_fan_fast,   /* STATUS_FAST */
    &s_fan_normal, /* STATUS_FAN_NORM */
    &s_disabled,   /* STATUS_DISABLED */
    &s_led_off,    /* STATUS_LED_OFF */
    &s_led_on,     /* STATUS_LED_GREEN */
    &s_warn,       /* STATUS_LED_AMBER: colours exchanged */
    &s_not_OK,     /* STATUS_LED_RED: colours exchanged */
    &s_key_form,   /* STATUS_TITLE */
    &s_key_form,   /* STATUS_NOT_USED: text made invisible */
    &s_unknown,    /* STATUS_UNKNOWN */
};

static bool is_swapped_led_scheme(int scheme)
{
    return scheme == STATUS_LED_AMBER || scheme == STATUS_LED_RED;
}

void get_colors()
{
    if (Toplevel == nullptr || XtScreen(Toplevel) == nullptr)
        dprint(3, "get_colors: XtScreen returned null pointer!\n");

    for (int i = 0; i < STATUS_last; ++i) {
        Widget source = *s_color_src[i];
        if (source == nullptr)
            continue;
        Pixel fg = 0, bg = 0;
        Pixmap pixmap = XmUNSPECIFIED_PIXMAP;
        if (is_swapped_led_scheme(i)) {
            XtVaGetValues(source, XmNforeground, &fg, XmNbackground, &bg, nullptr);
            s_colors[i] = {bg, fg, XmUNSPECIFIED_PIXMAP};
        } else {
            XtVaGetValues(source, XmNforeground, &fg, XmNbackground, &bg, XmNbackgroundPixmap, &pixmap, nullptr);
            s_colors[i] = {fg, bg, pixmap};
        }
    }
    s_colors[STATUS_NOT_USED].foreground = s_colors[STATUS_NOT_USED].background;
}
