/*
 * auto_refresh.h - the periodic refresh of the cabinet window.
 *
 * With the X resource refreshInterval (class RefreshInterval) above 0 the
 * window is refreshed every that many seconds as the Update button does it
 * (update_display, without the work dialog).  A turn that comes while the
 * operator has to answer a box, while the work dialog is up, while a FRU
 * procedure runs or while another refresh is still in flight is skipped:
 * the next try is one interval later, so a refresh never interrupts a
 * dialog or a procedure and never runs inside another.
 */
#ifndef XR_APP_AUTO_REFRESH_H
#define XR_APP_AUTO_REFRESH_H

#include <X11/Intrinsic.h>

/* The refreshInterval resource of the application shell `shell`, in
 * seconds; 0 (off) when unset, negative or not a number. */
int refresh_interval_resource(Widget shell);

/* Refreshes every `interval_ms` milliseconds from now on (0 or less: stops
 * the refresh).  Replaces an interval set before. */
void start_auto_refresh(XtAppContext context, long interval_ms);

/* Why a turn would be skipped now: null when a refresh may run, else a
 * short reason for the debug trace. */
const char *auto_refresh_blocked();

/* Turns that refreshed and turns that were skipped since start-up. */
struct AutoRefreshCounts {
    int refreshed;
    int skipped;
};
AutoRefreshCounts auto_refresh_counts();

#endif
