/*
 * message.h - severity-tagged console messages, the message catalogue
 * "nxlib" and the reporting allocator.
 *
 * Every error message of the configuration model and of the daemon
 * messaging goes to standard error as "<SEVERITY>: <text>", always as the
 * pair SetSeverity(level); DisplayMsg(format, ...).  The texts come from the
 * message catalogue "nxlib" (data/nxlib.msg) through nx_msg(); the text
 * compiled into the caller is the default when the catalogue is missing or
 * lacks the entry.  The catalogue is opened on the first look-up, after the
 * locale has been set from the environment.
 *
 * Callers: config/ (parser, model, queries), daemon/util (LockFileEx), the
 * daemon messaging modules.
 */
#ifndef XR_DAEMON_MESSAGE_H
#define XR_DAEMON_MESSAGE_H

#include <nl_types.h>

#include <cstddef>

/* Severity levels; any other value prints as "INFO". */
enum {
    SEV_INFO = 0,
    SEV_WARNING = 1,
    SEV_ERROR = 2,
    SEV_FATAL = 3,
};

/* Catalogue sets of "nxlib"; the numbers within each set are listed in
 * data/nxlib.msg next to their texts. */
enum {
    NX_SET_CONFIG = 1,  /* configuration parser and node model */
    NX_SET_QUERIES = 3, /* configuration queries */
    NX_SET_LOCK = 4,    /* LockFileEx */
    NX_SET_DISPLAY = 5, /* the severity prefix and severity names */
    NX_SET_LOGFILE = 7, /* the console log file */
    NX_SET_MEMORY = 8,  /* nxs_malloc */
};

/* The severity set last by SetSeverity. */
extern int SeverityLevel;

/* The catalogue descriptor, (nl_catd)-1 until the catalogue has been opened
 * (and when it could not be). */
extern nl_catd nx_i18n_fd;

void SetSeverity(int level);

/* Writes "<name of the current severity>: " and then the formatted message
 * to standard error.  The texts end in their own newline. */
void DisplayMsg(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* Allocates size bytes; on failure shows "Cannot malloc %d bytes\n"
 * (severity 2), leaves the memory warning in the console log
 * (LogMemoryError) and returns null. */
void *nxs_malloc(std::size_t size);

/* Text number `number` of catalogue set `set`, or `fallback` when the
 * catalogue lacks it.  A catalogue text whose printf conversions differ
 * from those of the fallback is not used, so that a damaged or foreign
 * catalogue cannot make a message read arguments that were never passed. */
const char *nx_msg(int set, int number, const char *fallback) __attribute__((format_arg(3)));

/* 1 when `a` and `b` have the same printf conversions in the same order. */
int SameConversions(const char *a, const char *b);

/* Closes the catalogue; the next nx_msg opens it again (so that a test or a
 * changed NLSPATH takes effect). */
void nx_close_catalogue();

#endif
