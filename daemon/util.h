/*
 * util.h - the whole-file lock through which the console's programs
 * serialise access to shared files (the configuration file is guarded by
 * /var/console/lock.nxs.config).
 *
 * Callers: the configuration parser (read lock while parsing), and any
 * module that rewrites a shared file (exclusive lock).
 */
#ifndef XR_DAEMON_UTIL_H
#define XR_DAEMON_UTIL_H

/* Lock types of LockFileEx. */
enum {
    LOCK_SHARED = 1,    /* read lock: several holders at once */
    LOCK_EXCLUSIVE = 2, /* write lock: excludes every other holder */
    LOCK_RELEASE = 3,   /* give the lock back and close the lock file */
};

/* Takes (types 1 and 2) or releases (type 3) a whole-file fcntl lock on
 * path.  A lock waits until it can be granted; a missing lock file is
 * created (mode 0777 less the umask).  One lock per process: the lock file
 * stays open from the lock until its release.  Returns 1 on success, 0 on
 * failure (with a severity-2 message). */
int LockFileEx(int type, const char *path);

#endif
