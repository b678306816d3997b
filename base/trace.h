/*
 * trace.h - debug traces.
 *
 * A message of level N is printed only when the process-wide debug level is
 * at least N: first N blanks (at most thirteen), so that the indentation shows
 * the level, then the message, then standard output is flushed so that the
 * trace survives a crash.  `debug` is set by the -d option at start-up; the
 * help system keeps its own level, `xh_debug` (-h).
 *
 * Levels: 1 errors and major steps, 2-3 set-up and commands, 5-6 flow, tree
 * walks and buffers, 8 search keys.
 */
#ifndef XR_BASE_TRACE_H
#define XR_BASE_TRACE_H

#include <cstdarg>

extern int debug;
extern int xh_debug;

/* Trace at `level` against `debug`. */
void dprint(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* Trace at `level` against the help system's `xh_debug`. */
void xh_dprint(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* Trace at `level` against an explicit threshold. */
void vtrace(int threshold, int level, const char *fmt, va_list args) __attribute__((format(printf, 3, 0)));

#endif
