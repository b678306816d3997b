/*
 * logfile.h - the console log file /var/console/console.log: a fixed-size
 * circular text file that every console program writes through a shared
 * mapping, behind a checksummed header.
 *
 * Layout: the 76-byte header Header_t, then the data region from SOD_Offset
 * to EOF_Offset (the file size), written circularly.  Every change of the
 * offsets is made under an exclusive fcntl lock on the header's first 12
 * bytes, with SIGTERM held, so that no writer is ended with the header half
 * updated.  When the region fills it is saved to
 * /var/console/old_logs/log.YYYYMMDDhhmmss and writing goes on at its start;
 * a header that does not check (wrong checksum, offsets outside the file)
 * makes the file be copied to /var/console/corrupt_logs first, and only
 * then is the header laid out anew.
 *
 * Callers: nxs_malloc (LogMemoryError when memory runs out), the opclogd
 * stand-in (every log message it receives), the tests and the benchmark.
 */
#ifndef XR_DAEMON_LOGFILE_H
#define XR_DAEMON_LOGFILE_H

#include <cstddef>
#include <cstdint>
#include <ctime>

constexpr const char *CONSOLE_LOG_PATH = "/var/console/console.log";
constexpr const char *OLD_LOGS_DIR = "/var/console/old_logs";
constexpr const char *CORRUPT_LOGS_DIR = "/var/console/corrupt_logs";

/* Default (and largest) size of a new log file. */
constexpr int LogFileSize = 512000;
/* A new file shrinks in these steps while the disk is short ... */
constexpr int LOG_SIZE_STEP = 1024;
/* ... down to this size. */
constexpr int LOG_MIN_SIZE = 2048;
/* One write stores at most this many bytes; the rest is dropped. */
constexpr int LOG_MAX_WRITE = 10240;
/* Seconds a writer waits for the header lock. */
constexpr unsigned LOG_LOCK_SECONDS = 20;
/* Number of reader positions kept in the header. */
constexpr int LOG_READ_OFFSETS = 13;

/* The file's first 76 bytes; 32-bit integers in host byte order. */
struct Header_t {
    std::int32_t SOD_Offset;   /* start of the data region: 76 */
    std::int32_t EOF_Offset;   /* end of the data region, the file size */
    std::int32_t Write_Offset; /* where the next byte goes */
    std::int32_t Checksum;     /* HChecksum in the low 16 bits */
    std::int32_t StartTime;    /* start of the current period, seconds since 1970 */
    std::int32_t EndTime;      /* end of the period */
    std::int32_t Read_Offset[LOG_READ_OFFSETS]; /* kept for the log's readers, never touched here */
};
static_assert(sizeof(Header_t) == 76);
static_assert(offsetof(Header_t, SOD_Offset) == 0 && offsetof(Header_t, EOF_Offset) == 4 &&
              offsetof(Header_t, Write_Offset) == 8 && offsetof(Header_t, Checksum) == 12 &&
              offsetof(Header_t, StartTime) == 16 && offsetof(Header_t, EndTime) == 20 &&
              offsetof(Header_t, Read_Offset) == 24);
/* The header lock covers the three offsets. */
constexpr int LOG_LOCK_BYTES = offsetof(Header_t, Checksum);

/* The shared read-write mapping of the whole log file (null until the first
 * open), its length, the descriptor used for the mapping and the header
 * lock (-1 when none), and the descriptor LogMemoryError writes through. */
extern char *MappedAddr;
extern std::size_t MappedLen;
extern int headerfd;
extern int log_fd;

/* Opens the log file at path (an installation path already passed through
 * console_path) with the open mode `mode`; a missing file is created when
 * the mode writes.  The first open of a process maps the file.  Returns the
 * descriptor, or -1 (with a severity-2 message). */
int OpenLogFile(const char *path, int mode);

/* Creates the file (mode 0666 under a zero umask) and prepares it; the
 * descriptor or -1. */
int CreateLogFile(const char *path, int mode);

/* Gives the file behind fd its size (512000 bytes, less 1024 at a time while
 * the disk is short, never below 2048), maps it and lays out a new header.
 * 0 or -1. */
int PrepareLogFile(int fd);

/* Appends length bytes (at most 10240) under the header lock, saving the
 * region and going on at its start when it fills.  Returns the count of the
 * last copy made, or -1. */
int WriteLogFile(int fd, const char *data, int length);

/* Copies a damaged log aside and lays out a new header; 0 or -1.  When the
 * copy cannot be made the file is left as it is. */
int CorrectHeader(int fd);

/* Writes the mapped bytes from start to end to a new dated file under
 * /var/console/old_logs and starts a new period; 0 or -1. */
int SaveFile(int start, int end);

/* Takes the header lock, holding SIGTERM, waiting at most 20 seconds; 0 or
 * -1.  UnlockHeader gives both back; 0 or -1. */
int LockHeader();
int UnlockHeader();

/* The header checksum over the low 16 bits of SOD_Offset, EOF_Offset and
 * Write_Offset, each added twice, the 16-bit sum rotated right by one bit
 * before every addition. */
int HChecksum(const Header_t *header);

/* Records in the console log that a process ran out of memory.  Ends the
 * process (status 1) when the log cannot be opened. */
void LogMemoryError();

/* Local broken-down time of t.  Within the hour of the previous call (and
 * not earlier than it) the kept result is advanced instead of calling
 * localtime.  The result is kept in static storage. */
struct tm *fastlocaltime(std::time_t t);

/* Unmaps the log and closes headerfd, so that the next OpenLogFile maps the
 * file again (for a process that moves to another console root). */
void CloseLogFile();

#endif
