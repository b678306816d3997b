/*
 * process.cpp - command-line copies, test mode, time stamps and Exit.
 */
#include "base/process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/trace.h"

int _argc = 0;
char **_argv = nullptr;

int IsTestMode()
{
    return (_argv != nullptr && _argv[0] != nullptr && std::strstr(_argv[0], "rack_test") != nullptr) ? 1 : 0;
}

void TimeStamp(char *buf, std::size_t size)
{
    if (buf == nullptr || size == 0)
        return;
    std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    if (std::strftime(buf, size, "%D %T", &local) == 0)
        buf[0] = '\0';
}

void Exit(int status)
{
    dprint(1, "Exit(%d)\n", status);
    std::exit(status);
}
