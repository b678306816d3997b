/*
 * timescale.cpp - the XRACKMON_TIME_SCALE test aid (see timescale.h).
 */
#include "base/timescale.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

long time_scale()
{
    const char *text = std::getenv(TIME_SCALE_VARIABLE);
    if (text == nullptr || *text == '\0')
        return 1;
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value <= 1)
        return 1;
    return value > TIME_SCALE_MAX ? TIME_SCALE_MAX : value;
}

long scaled_ms(long ms)
{
    if (ms <= 0)
        return ms;
    long scaled = ms / time_scale();
    return scaled < 1 ? 1 : scaled;
}

unsigned scaled_seconds(unsigned seconds)
{
    if (seconds == 0)
        return 0;
    unsigned scaled = static_cast<unsigned>(seconds / static_cast<unsigned long>(time_scale()));
    return scaled < 1 ? 1 : scaled;
}

void scaled_sleep_ms(long ms)
{
    long wait = scaled_ms(ms);
    if (wait <= 0)
        return;
    struct timespec left = {wait / 1000, (wait % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

long long monotonic_ms()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
