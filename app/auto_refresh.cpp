/*
 * auto_refresh.cpp - the periodic refresh of the cabinet window: a toolkit
 * time-out that re-arms itself and runs update_display when nothing the
 * operator is busy with stands in the way.
 */
#include "app/auto_refresh.h"

#include <Xm/Xm.h>

#include "app/s_rack_disp.h"
#include "base/motif_str.h"
#include "base/trace.h"
#include "fru/rack_fru.h"
#include "ui/x_util.h"

namespace {

struct RefreshTimer {
    XtAppContext context = nullptr;
    long interval_ms = 0;
    XtIntervalId id = 0;
    AutoRefreshCounts counts{0, 0};
};

RefreshTimer timer;

struct IntervalResource {
    int seconds;
};

XtResource interval_resources[] = {
    {xs("refreshInterval"), xs("RefreshInterval"), xs(XmRInt), sizeof(int),
     XtOffsetOf(IntervalResource, seconds), xs(XmRImmediate), reinterpret_cast<XtPointer>(0)},
};

void refresh_turn(XtPointer, XtIntervalId *)
{
    timer.id = 0;
    /* Re-armed first: a refresh that ends the program or waits long does
     * not lose the schedule, and a turn coming due during this one finds
     * update_in_progress set and is skipped. */
    timer.id = XtAppAddTimeOut(timer.context, static_cast<unsigned long>(timer.interval_ms), refresh_turn, nullptr);

    if (const char *reason = auto_refresh_blocked()) {
        ++timer.counts.skipped;
        dprint(1, "auto_refresh: skipped, %s\n", reason);
        return;
    }
    ++timer.counts.refreshed;
    dprint(1, "auto_refresh: refreshing\n");
    update_display(0);
}

} // namespace

int refresh_interval_resource(Widget shell)
{
    IntervalResource values{0};
    XtGetApplicationResources(shell, &values, interval_resources, XtNumber(interval_resources), nullptr, 0);
    return values.seconds > 0 ? values.seconds : 0;
}

void start_auto_refresh(XtAppContext context, long interval_ms)
{
    if (timer.id != 0) {
        XtRemoveTimeOut(timer.id);
        timer.id = 0;
    }
    timer.context = context;
    timer.interval_ms = interval_ms;
    if (context != nullptr && interval_ms > 0)
        timer.id = XtAppAddTimeOut(context, static_cast<unsigned long>(interval_ms), refresh_turn, nullptr);
}

const char *auto_refresh_blocked()
{
    if (update_in_progress)
        return "a refresh is in flight";
    if (fru_procedure_running)
        return "a FRU procedure runs";
    if (modal_dialog_depth > 0)
        return "a dialog waits for the operator";
    if (IsWorkDialog() && !work_dialog_hidden)
        return "the work dialog is up";
    return nullptr;
}

AutoRefreshCounts auto_refresh_counts()
{
    return timer.counts;
}
