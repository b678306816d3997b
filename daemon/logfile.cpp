/*
 * logfile.cpp - the console log file: opening and mapping it, laying out a
 * new header, circular writes under the header lock, saving a full log and
 * copying a damaged one aside.
 *
 * Nothing read from the file is trusted: before a write the header must
 * check (its checksum) and its offsets must lie inside the file as this
 * process has it mapped; otherwise the file is copied aside and restarted.
 * The paths used here are built in fixed buffers, so that LogMemoryError
 * can run when the heap is exhausted.
 */
#include "daemon/logfile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/console_path.h"
#include "base/timescale.h"
#include "base/trace.h"
#include "daemon/message.h"

char *MappedAddr = nullptr;
std::size_t MappedLen = 0;
int headerfd = -1;
int log_fd = -1;

namespace {

constexpr mode_t kLogMode = 0666;
constexpr mode_t kSaveMode = 0444;
/* The date command's format; the zone is left out so that the 24
 * characters of the saved file's time lines keep the year. */
constexpr const char *kDateFormat = "%a %b %e %H:%M:%S %Y";
constexpr const char *kMemoryText = "\nWARNING: An unidentified process exited, could not malloc memory\n";

/* The path of the mapped log (the one PrepareLogFile reopens and
 * CorrectHeader copies). */
char mapped_path[PATH_MAX] = "";

/* SIGTERM was blocked by LockHeader (and not already blocked by the
 * caller), so UnlockHeader unblocks it. */
bool term_held = false;

void report(int level, int number, const char *text)
{
    SetSeverity(level);
    DisplayMsg("%s", nx_msg(NX_SET_LOGFILE, number, text));
}

void report_path(int number, const char *text, const char *path)
{
    SetSeverity(SEV_ERROR);
    DisplayMsg(nx_msg(NX_SET_LOGFILE, number, text), path);
}

Header_t *header()
{
    return reinterpret_cast<Header_t *>(MappedAddr);
}

void forget_mapping()
{
    if (MappedAddr != nullptr)
        munmap(MappedAddr, MappedLen);
    MappedAddr = nullptr;
    MappedLen = 0;
}

/* Maps length bytes of headerfd shared; false after "mmap failed". */
bool map_file(std::size_t length)
{
    forget_mapping();
    void *address = length >= sizeof(Header_t)
                        ? mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, headerfd, 0)
                        : MAP_FAILED;
    if (address == MAP_FAILED) {
        report(SEV_ERROR, 6, "mmap failed\n");
        return false;
    }
    MappedAddr = static_cast<char *>(address);
    MappedLen = length;
    return true;
}

/* The header's offsets lie inside the mapped file: SOD_Offset <=
 * Write_Offset <= EOF_Offset <= the mapped length.  When another writer made
 * the file longer than this process has it mapped, the mapping follows the
 * file first. */
bool offsets_inside()
{
    const Header_t *h = header();
    if (h->SOD_Offset < static_cast<std::int32_t>(sizeof(Header_t)) || h->Write_Offset < h->SOD_Offset ||
        h->EOF_Offset < h->Write_Offset || h->EOF_Offset - h->SOD_Offset < 1)
        return false;
    if (static_cast<std::size_t>(h->EOF_Offset) <= MappedLen)
        return true;
    struct stat status;
    if (fstat(headerfd, &status) != 0 || status.st_size < h->EOF_Offset)
        return false;
    return map_file(static_cast<std::size_t>(status.st_size));
}

bool header_checks()
{
    return header()->Checksum == HChecksum(header()) && offsets_inside();
}

/* Write_Offset and Checksum lie side by side in one aligned 8-byte word:
 * both are stored with one instruction, so that no signal, SIGKILL
 * included, can end a writer between them and leave a header that fails
 * its checksum. */
static_assert(offsetof(Header_t, Checksum) == offsetof(Header_t, Write_Offset) + 4 &&
              offsetof(Header_t, Write_Offset) % 8 == 0);

void store_write_offset(std::int32_t offset)
{
    Header_t next = *header();
    next.Write_Offset = offset;
    next.Checksum = HChecksum(&next);
    std::uint64_t word;
    std::memcpy(&word, &next.Write_Offset, sizeof word);
    /* The mapping is page-aligned, so the word is aligned too. */
    __atomic_store_n(reinterpret_cast<std::uint64_t *>(MappedAddr + offsetof(Header_t, Write_Offset)), word,
                     __ATOMIC_RELAXED);
}

/* "log.YYYYMMDDhhmmss" for now, under the installation folder dir; false
 * when the path does not fit. */
bool dated_path(char *buffer, std::size_t size, const char *dir, std::time_t now)
{
    if (!console_path_into(buffer, size, dir))
        return false;
    const struct tm *t = fastlocaltime(now);
    if (t == nullptr)
        return false;
    std::size_t used = std::strlen(buffer);
    int n = std::snprintf(buffer + used, size - used, "/log.%04d%02d%02d%02d%02d%02d", t->tm_year + 1900,
                          t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
    return n > 0 && static_cast<std::size_t>(n) < size - used;
}

bool write_all(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        ssize_t wrote = write(fd, data, size);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return true;
}

/* Appends piece to the text in buffer; false when it does not fit. */
bool append(char *buffer, std::size_t size, const char *piece)
{
    std::size_t used = std::strlen(buffer);
    std::size_t length = std::strlen(piece);
    if (used + length >= size)
        return false;
    std::memcpy(buffer + used, piece, length + 1);
    return true;
}

/* Appends text to the shell command in buffer as one single-quoted word. */
bool append_quoted(char *buffer, std::size_t size, const char *text)
{
    if (!append(buffer, size, "'"))
        return false;
    for (const char *c = text; *c != '\0'; ++c) {
        char one[2] = {*c, '\0'};
        if (!append(buffer, size, *c == '\'' ? "'\\''" : one))
            return false;
    }
    return append(buffer, size, "'");
}

/* Sets the file's size to size bytes and makes sure its blocks exist, so
 * that a short disk shows here and not as a fault when the mapping is
 * written.  A file system that cannot reserve space is taken at its word. */
bool claim_size(int fd, int size)
{
    if (write(fd, "", 1) != 1)
        return false;
    int result = posix_fallocate(fd, 0, size);
    return result == 0 || result == EOPNOTSUPP || result == EINVAL || result == EBADF;
}

void nothing(int) {}

} // namespace

/* ------------------------------------------------------------------------ */

int HChecksum(const Header_t *h)
{
    const std::int32_t fields[] = {h->SOD_Offset, h->EOF_Offset, h->Write_Offset};
    std::uint16_t sum = 0;
    for (std::int32_t field : fields) {
        for (int twice = 0; twice < 2; ++twice) {
            sum = static_cast<std::uint16_t>((sum >> 1) | (sum << 15));
            sum = static_cast<std::uint16_t>(sum + static_cast<std::uint16_t>(field & 0xFFFF));
        }
    }
    return sum;
}

struct tm *fastlocaltime(std::time_t t)
{
    static struct tm kept;
    static bool have = false;
    static std::time_t last = 0;
    static std::time_t hour_end = 0;

    if (have && t >= last && t < hour_end) {
        long seconds = kept.tm_sec + static_cast<long>(t - last);
        kept.tm_min += static_cast<int>(seconds / 60);
        kept.tm_sec = static_cast<int>(seconds % 60);
    } else {
        if (localtime_r(&t, &kept) == nullptr) {
            have = false;
            return nullptr;
        }
        have = true;
    }
    last = t;
    hour_end = t + (60 - kept.tm_sec) + (59 - kept.tm_min) * 60;
    return &kept;
}

int LockHeader()
{
    if (headerfd < 0) {
        report(SEV_ERROR, 11, "Cannot lock log file header\n");
        return -1;
    }
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, &before);
    term_held = !sigismember(&before, SIGTERM);

    struct flock request = {};
    request.l_type = F_WRLCK;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = LOG_LOCK_BYTES;
    /* Uncontended, the lock is granted at once and no alarm is needed. */
    int result = fcntl(headerfd, F_SETLK, &request);
    if (result != 0 && (errno == EAGAIN || errno == EACCES)) {
        /* Wait under an alarm whose handler does nothing, so that the wait
         * ends in EINTR after 20 seconds.  SIGALRM is let through for the
         * wait even when the caller blocks it. */
        struct sigaction quiet = {}, old_action;
        quiet.sa_handler = nothing;
        sigemptyset(&quiet.sa_mask);
        sigaction(SIGALRM, &quiet, &old_action);
        sigset_t alarm_set, alarm_before;
        sigemptyset(&alarm_set);
        sigaddset(&alarm_set, SIGALRM);
        sigprocmask(SIG_UNBLOCK, &alarm_set, &alarm_before);
        long long started = monotonic_ms();
        unsigned previous = alarm(scaled_seconds(LOG_LOCK_SECONDS));
        result = fcntl(headerfd, F_SETLKW, &request);
        int error = errno;
        alarm(0);
        sigprocmask(SIG_SETMASK, &alarm_before, nullptr);
        sigaction(SIGALRM, &old_action, nullptr);
        if (previous > 0) {
            auto spent = static_cast<unsigned>((monotonic_ms() - started + 999) / 1000);
            alarm(previous > spent ? previous - spent : 1);
        }
        errno = error;
    }
    if (result != 0) {
        report(SEV_ERROR, 11, "Cannot lock log file header\n");
        if (term_held)
            sigprocmask(SIG_UNBLOCK, &term, nullptr);
        term_held = false;
        return -1;
    }
    return 0;
}

int UnlockHeader()
{
    struct flock request = {};
    request.l_type = F_UNLCK;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = LOG_LOCK_BYTES;
    int result = headerfd >= 0 ? fcntl(headerfd, F_SETLK, &request) : -1;
    if (result != 0)
        report(SEV_ERROR, 12, "Cannot unlock log file header\n");
    if (term_held) {
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_UNBLOCK, &term, nullptr);
        term_held = false;
    }
    return result == 0 ? 0 : -1;
}

int OpenLogFile(const char *path, int mode)
{
    if (path == nullptr)
        return -1;
    int fd = open(path, mode | O_CLOEXEC);
    if (fd < 0) {
        int access_mode = mode & O_ACCMODE;
        if (errno == ENOENT && (access_mode == O_WRONLY || access_mode == O_RDWR)) {
            fd = CreateLogFile(path, mode);
            if (fd < 0)
                report_path(1, "Cannot create log file %s\n", path);
            return fd;
        }
        if (errno == ENOENT)
            report_path(2, "Log file %s does not exist\n", path);
        else
            report_path(3, "Cannot open log file %s\n", path);
        return -1;
    }
    if (MappedAddr != nullptr)
        return fd;
    if (headerfd >= 0) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_LOGFILE, 4, "Undesirable condition, MappedAddr is NULL but headerfd = %d\n"),
                   headerfd);
        close(fd);
        return -1;
    }
    headerfd = open(path, O_RDWR | O_CLOEXEC);
    if (headerfd < 0) {
        report_path(3, "Cannot open log file %s\n", path);
        close(fd);
        return -1;
    }
    std::snprintf(mapped_path, sizeof mapped_path, "%s", path);
    struct stat status;
    if (fstat(headerfd, &status) != 0) {
        report(SEV_ERROR, 5, "fstat failed\n");
    } else if (map_file(static_cast<std::size_t>(status.st_size))) {
        return fd;
    }
    close(headerfd);
    headerfd = -1;
    close(fd);
    return -1;
}

int CreateLogFile(const char *path, int mode)
{
    mode_t mask = umask(0);
    int fd = open(path, mode | O_CREAT | O_CLOEXEC, kLogMode);
    umask(mask);
    if (fd < 0) {
        report_path(3, "Cannot open log file %s\n", path);
        return -1;
    }
    std::snprintf(mapped_path, sizeof mapped_path, "%s", path);
    if (PrepareLogFile(fd) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int PrepareLogFile(int fd)
{
    /* A file-size limit reads as a short disk, not as the end of the
     * process. */
    struct sigaction ignore = {}, old_action;
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &old_action);
    int size = LogFileSize;
    bool placed = false;
    while (!placed && size >= LOG_MIN_SIZE) {
        if (lseek(fd, size - 1, SEEK_SET) != size - 1) {
            sigaction(SIGXFSZ, &old_action, nullptr);
            report(SEV_ERROR, 7, "lseek failed for log file\n");
            return -1;
        }
        placed = claim_size(fd, size);
        if (!placed)
            size -= LOG_SIZE_STEP;
    }
    sigaction(SIGXFSZ, &old_action, nullptr);
    if (!placed) {
        report_path(8, "Insufficient space for log file %s\n", mapped_path);
        return -1;
    }
    /* A larger size tried first (or an older, larger file) leaves bytes past
     * the region: the file ends where the region does. */
    struct stat status;
    if (fstat(fd, &status) == 0 && status.st_size > size && ftruncate(fd, size) != 0) {
        report_path(8, "Insufficient space for log file %s\n", mapped_path);
        return -1;
    }

    /* headerfd stays open when the process has it: closing it would drop the
     * header lock a correcting writer holds. */
    if (headerfd < 0) {
        headerfd = open(mapped_path, O_RDWR | O_CLOEXEC);
        if (headerfd < 0) {
            report_path(3, "Cannot open log file %s\n", mapped_path);
            return -1;
        }
    }
    if (!map_file(static_cast<std::size_t>(size)))
        return -1;
    Header_t *h = header();
    h->SOD_Offset = sizeof(Header_t);
    h->EOF_Offset = size;
    h->Write_Offset = sizeof(Header_t);
    h->Checksum = HChecksum(h);
    h->StartTime = static_cast<std::int32_t>(std::time(nullptr));
    h->EndTime = h->StartTime;
    return 0;
}

int SaveFile(int start, int end)
{
    dprint(1, "Save: Start offset = %d, End offset = %d\n", start, end);
    if (MappedAddr == nullptr || start < 0 || end < start || static_cast<std::size_t>(end) > MappedLen)
        return -1;
    std::time_t now = std::time(nullptr);
    char path[PATH_MAX];
    if (!dated_path(path, sizeof path, OLD_LOGS_DIR, now)) {
        report_path(13, "Cannot open log save file %s\n", path);
        return -1;
    }
    int fd = open(path, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, kSaveMode);
    if (fd < 0) {
        report_path(13, "Cannot open log save file %s\n", path);
        return -1;
    }
    Header_t *h = header();
    char started[64] = "", ended[64] = "";
    std::time_t period_start = h->StartTime;
    struct tm local;
    if (localtime_r(&period_start, &local) != nullptr)
        std::strftime(started, sizeof started, kDateFormat, &local);
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(ended, sizeof ended, kDateFormat, &local);
    char lines[160];
    int length = std::snprintf(lines, sizeof lines, "Start Time = %.24s\nEnd Time   = %.24s\n", started, ended);
    bool written = length > 0 && write_all(fd, lines, static_cast<std::size_t>(length)) &&
                   write_all(fd, MappedAddr + start, static_cast<std::size_t>(end - start));
    if (!written)
        report_path(14, "Cannot write to save file %s\n", path);
    h->StartTime = static_cast<std::int32_t>(now);
    h->EndTime = h->StartTime;
    if (close(fd) != 0) {
        report_path(15, "Cannot close save file %s\n", path);
        return -1;
    }
    return written ? 0 : -1;
}

int CorrectHeader(int fd)
{
    if (mapped_path[0] == '\0')
        return -1;
    /* The copy goes to a name no file has yet (a copy made earlier in the
     * same second stays as it is); without a copy the damaged file is not
     * restarted. */
    char target[PATH_MAX];
    if (!dated_path(target, sizeof target, CORRUPT_LOGS_DIR, std::time(nullptr)) || access(target, F_OK) == 0)
        return -1;
    char command[3 * PATH_MAX] = "cp ";
    if (!append_quoted(command, sizeof command, mapped_path) || !append(command, sizeof command, " ") ||
        !append_quoted(command, sizeof command, target) || !append(command, sizeof command, " 2> /dev/null"))
        return -1;
    int status = std::system(command);
    report(SEV_ERROR, 16, "Saving corrupted event log file\n");
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return PrepareLogFile(fd);
}

int WriteLogFile(int fd, const char *data, int length)
{
    if (MappedAddr == nullptr || data == nullptr || length < 0)
        return -1;
    if (LockHeader() != 0)
        return -1;
    if (!header_checks()) {
        report(SEV_ERROR, 9, "Header Corrupted\n");
        if (CorrectHeader(fd) != 0) {
            report(SEV_ERROR, 10, "Unable to correct the header\n");
            UnlockHeader();
            return -1;
        }
    }
    Header_t *h = header();
    int remaining = length < LOG_MAX_WRITE ? length : LOG_MAX_WRITE;
    int offset = h->Write_Offset;
    int last = 0;
    /* A write longer than the region (a log made small by a short disk)
     * goes round more than once. */
    do {
        int room = h->EOF_Offset - offset;
        last = remaining < room ? remaining : room;
        std::memcpy(MappedAddr + offset, data, static_cast<std::size_t>(last));
        data += last;
        remaining -= last;
        offset += last;
        if (offset == h->EOF_Offset) {
            SaveFile(h->SOD_Offset, h->EOF_Offset);
            offset = h->SOD_Offset;
        }
    } while (remaining > 0);
    store_write_offset(offset);
    UnlockHeader();
    return last;
}

void LogMemoryError()
{
    char path[PATH_MAX];
    if (log_fd < 0) {
        if (console_path_into(path, sizeof path, CONSOLE_LOG_PATH))
            log_fd = OpenLogFile(path, O_WRONLY);
        if (log_fd < 0) {
            SetSeverity(SEV_FATAL);
            DisplayMsg(nx_msg(NX_SET_LOGFILE, 17, "LogMemoryError(): Cannot open log file \"%s\"\n"), path);
            std::exit(1);
        }
    }
    WriteLogFile(log_fd, kMemoryText, static_cast<int>(std::strlen(kMemoryText)));
}

void CloseLogFile()
{
    forget_mapping();
    if (headerfd >= 0)
        close(headerfd);
    headerfd = -1;
    if (log_fd >= 0)
        close(log_fd);
    log_fd = -1;
    mapped_path[0] = '\0';
}
