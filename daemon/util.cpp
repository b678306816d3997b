/*
 * util.cpp - LockFileEx, the console's shared whole-file lock.
 *
 * The lock is an fcntl record lock over the whole lock file (start 0,
 * length 0 from the beginning), requested with F_SETLKW so that the caller
 * waits for a holder of a conflicting lock.  The process keeps one lock
 * descriptor; it is open from a lock until its release.
 */
#include "daemon/util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/trace.h"
#include "daemon/message.h"

namespace {

constexpr mode_t kLockFileMode = 0777;

/* The descriptor of the lock held by this process, -1 when none. */
int lock_fd = -1;

int take_lock(int type, const char *path);
int release_lock(const char *path);

} // namespace

/* ------------------------------------------------------------------------ */

namespace {

int take_lock(int type, const char *path)
{
    /* One lock per process: a new lock replaces a descriptor still open. */
    if (lock_fd >= 0)
        close(lock_fd);
    lock_fd = open(path, O_RDWR | O_CREAT, kLockFileMode);
    if (lock_fd < 0) {
        int error = errno;
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_LOCK, 1, "LockFileEx(): open of file %s failed, errno = %d\n"), path, error);
        return 0;
    }
    dprint(5, "LockFileEx(): open of file %s succesful, fd = %d\n", path, lock_fd);

    struct flock request = {};
    request.l_type = (type == LOCK_SHARED) ? F_RDLCK : F_WRLCK;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = 0;
    int result;
    do
        result = fcntl(lock_fd, F_SETLKW, &request);
    while (result < 0 && errno == EINTR);
    if (result < 0) {
        int error = errno;
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_LOCK, 2, "LockFileEx(): fcntl failed, lock type = %d, errno = %d\n"), type, error);
        close(lock_fd);
        lock_fd = -1;
        return 0;
    }
    dprint(3, "LockFileEx(): fcntl succesful, lock type = %d\n", type);
    return 1;
}

int release_lock(const char *path)
{
    if (lock_fd < 0) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_LOCK, 2, "LockFileEx(): fcntl failed, lock type = %d, errno = %d\n"), LOCK_RELEASE,
                   EBADF);
        return 0;
    }
    struct flock request = {};
    request.l_type = F_UNLCK;
    request.l_whence = SEEK_SET;
    int result = fcntl(lock_fd, F_SETLK, &request);
    int error = errno;
    dprint(5, "LockFileEx(): closing file %s, fd = %d\n", path, lock_fd);
    close(lock_fd);
    lock_fd = -1;
    if (result < 0) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_LOCK, 2, "LockFileEx(): fcntl failed, lock type = %d, errno = %d\n"), LOCK_RELEASE,
                   error);
        return 0;
    }
    dprint(3, "LockFileEx(): fcntl succesful, lock type = %d\n", LOCK_RELEASE);
    return 1;
}

} // namespace

int LockFileEx(int type, const char *path)
{
    dprint(3, "LockFileEx(): routine called\n");
    if (path == nullptr)
        path = "";
    switch (type) {
    case LOCK_SHARED:
    case LOCK_EXCLUSIVE:
        return take_lock(type, path);
    case LOCK_RELEASE:
        return release_lock(path);
    default:
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_LOCK, 2, "LockFileEx(): fcntl failed, lock type = %d, errno = %d\n"), type, EINVAL);
        return 0;
    }
}
