/*
 * signal.h - what the program does when the operating system signals it.
 *
 * Start-up (main) calls SetSignals() once, outside test mode.  Hang-up,
 * interrupt and quit are ignored: the console starts the tool from its
 * desktop, and a stray terminal signal must not leave the operator without
 * the window.  Every fatal signal reaches SignalHandler, which gives back the
 * serial ports the engine borrowed from the log daemon and then lets the
 * signal end the process with its default effect.
 */
#ifndef XR_APP_SIGNAL_H
#define XR_APP_SIGNAL_H

#include <cstddef>

/* Installs the ignore and fatal-signal actions described above. */
void SetSignals();

/* Fatal-signal handler: counts the signal, traces it at debug level 1,
 * returns the borrowed ports on the first one, then re-raises the signal with
 * its default action.  A third signal ends the process at once with -1. */
void SignalHandler(int sig);

/* Name of a signal ("SIGTERM"), or null when it has none in this program's
 * table. */
const char *signal_name(int sig);

/* Writes the handler's trace line for `sig` into buf:
 * "<program>: ====> RECEIVED SIGNAL: SIGTERM\r\n", or
 * "<program>: ====> RECEIVED SIGNAL 42\r\n" for a signal without a name.
 * Only async-signal-safe operations; the text is cut to fit and always
 * terminated.  Returns its length. */
std::size_t format_signal_trace(char *buf, std::size_t size, const char *program, int sig);

#endif
