/*
 * process.h - process-wide facts every module may read: the command line,
 * the test-mode rule, the local time stamp and the one exit path.
 */
#ifndef XR_BASE_PROCESS_H
#define XR_BASE_PROCESS_H

#include <cstddef>

/* Copies of main's argc/argv, stored first thing at start-up. */
extern int _argc;
extern char **_argv;

/* 1 when the invocation name (argv[0]) contains "rack_test": no signal
 * handlers, no configuration file, the built-in status tree, FRU procedures
 * that only show what they would run.  Every test-mode check uses this. */
int IsTestMode();

/* Writes the local time as "%D %T" into buf. */
void TimeStamp(char *buf, std::size_t size);

/* Prints "Exit(%d)\n" at debug level 1 and ends the process with status. */
[[noreturn]] void Exit(int status);

#endif
