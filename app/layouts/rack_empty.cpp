/*
 * rack_empty.cpp - the chassis window shown for a chassis that is missing
 * from the status tree (empty_frame): the chassis picture and an empty
 * status, painted by the rack view.
 */
#include "app/layouts/builtin_windows.h"
#include "app/layouts/layout_kit.h"
#include "app/layouts/rack_windows.h"

Widget empty_label, empty_btn;

Widget build_empty_window(Widget parent)
{
    Widget frame = nullptr;
    Widget column = lk::chassis_window(parent, "empty_frame", &frame);
    Widget row = lk::section(lk::row(column), "empty_section", "Chassis not present", 0);
    empty_btn = lk::component_toggle(row, "empty_btn", "SMP.tsl", lk::cru_spec(lk::FRU_CHASSIS, 1));
    empty_label = lk::picture_label(row, "empty_label", CONSOLE_ICONS "STAT.none");
    return frame;
}
