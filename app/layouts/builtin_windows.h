/*
 * builtin_windows.h - builders of the cabinet window's own chassis view
 * windows (one source file per window).  Each returns the window's top
 * widget, a frame, built as a child of the cabinet window's scrolled form.
 * create_rack_cabstat_dlg builds the empty view; the rack view builds the
 * others when a chassis of their kind is first selected.
 */
#ifndef XR_APP_LAYOUTS_BUILTIN_WINDOWS_H
#define XR_APP_LAYOUTS_BUILTIN_WINDOWS_H

#include <X11/Intrinsic.h>

Widget build_smp_window(Widget parent);
Widget build_sm_window(Widget parent);
Widget build_sm2u_window(Widget parent);
Widget build_quonet_window(Widget parent);
Widget build_quonet_qna16g_window(Widget parent);
Widget build_quonet_qn64g_window(Widget parent);
Widget build_ups_window(Widget parent);
Widget build_ups_dam_window(Widget parent);
Widget build_empty_window(Widget parent);

/* Places a chassis window of the cabinet window: below chassis_lbl, right
 * of rack_divider, down to the bottom of the scrolled form. */
void attach_chassis_window(Widget frame);

#endif
