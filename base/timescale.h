/*
 * timescale.h - one knob that shortens every wait of the program, for tests.
 *
 * The hardware waits of the console are long: reply limits from 30 seconds
 * to 15 minutes, 2-second poll slices, alarms and count-downs.  A test that
 * drives a silent or busy controller would take minutes.  When the
 * environment variable XRACKMON_TIME_SCALE holds a whole number N above 1,
 * every wait that goes through these helpers lasts 1/N of its normal length
 * (never less than 1 millisecond, or 1 second for alarms).  It is a test
 * aid only: unset, empty, not a number, or 1, every time is exactly the
 * normal one.
 *
 * Callers: the command engine (reply limits, poll slices, sleeps between
 * resends), the daemon requests (alarms), the FRU procedures (count-downs).
 */
#ifndef XR_BASE_TIMESCALE_H
#define XR_BASE_TIMESCALE_H

/* Name of the environment variable. */
constexpr const char *TIME_SCALE_VARIABLE = "XRACKMON_TIME_SCALE";
/* Largest divisor taken; larger values are clamped to it. */
constexpr long TIME_SCALE_MAX = 100000;

/* The divisor in force: 1 unless XRACKMON_TIME_SCALE holds a whole number
 * above 1.  Read from the environment at every call, so that a test can
 * change it between runs. */
long time_scale();

/* A wait of `ms` milliseconds as it lasts under the scale: ms / N, at least
 * 1 when ms is above 0; 0 and negative values are returned unchanged. */
long scaled_ms(long ms);

/* A wait of `seconds` for alarm(): seconds / N, at least 1 when seconds is
 * above 0. */
unsigned scaled_seconds(unsigned seconds);

/* Sleeps scaled_ms(ms) milliseconds (resuming after signals). */
void scaled_sleep_ms(long ms);

/* Milliseconds of a monotonic clock, for measuring waits. */
long long monotonic_ms();

#endif
