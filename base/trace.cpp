/*
 * trace.cpp - the debug levels and the indented, flushed trace printer.
 */
#include "base/trace.h"

#include <cstdio>

int debug = 0;
int xh_debug = 0;

namespace {
constexpr const char kBlanks[] = "             "; /* thirteen blanks */
}

void vtrace(int threshold, int level, const char *fmt, va_list args)
{
    if (threshold < level)
        return;
    std::printf("%.*s", level, kBlanks);
    std::vprintf(fmt, args);
    std::fflush(stdout);
}

void dprint(int level, const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vtrace(debug, level, fmt, args);
    va_end(args);
}

void xh_dprint(int level, const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vtrace(xh_debug, level, fmt, args);
    va_end(args);
}
