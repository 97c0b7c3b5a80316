/* Preloaded into porute2avi by the fault and signal tests (and into the
 * window tests, for slow reads): counts the writing calls (write, pwrite,
 * pwritev, ftruncate, fsync, fdatasync, close) made on files whose name ends
 * in ".avi", or that are an output's temporary file
 * (".NAME.avi.porute-TAG.tmp"), and the renames and links of such files,
 * and makes one of them fail or alter what it writes.
 *
 *   PORUTE_FAULT_AT=N        the Nth such call fails (1 is the first); unset:
 *                            none fails
 *   PORUTE_FAULT_ERRNO=E     its errno (default ENOSPC); a failed close still
 *                            releases the descriptor
 *   PORUTE_FAULT_COUNT=PATH  at exit, the number of calls is written there
 *   PORUTE_FAULT_DELAY_US=U  every call first sleeps U microseconds, so that a
 *                            small conversion lasts long enough to be killed
 *   PORUTE_FAULT_CHOPPY=1    the data writes take turns: one is interrupted
 *                            (EINTR, nothing written), the next writes only
 *                            half its bytes (at least one), as a signal or a
 *                            pipe may make them do
 *   PORUTE_FAULT_FLIP=N      the Nth such call, when it writes data,
 *                            succeeds but puts the middle byte of its data on
 *                            the disk inverted, as a disk that corrupts
 *                            silently; other calls are left alone
 *   PORUTE_FAULT_SLOW_READS=SUFFIX  every read of a file whose name ends in
 *                            SUFFIX first sleeps PORUTE_FAULT_READ_DELAY_US
 *                            microseconds (default 100000): a movie whose
 *                            chunks arrive slowly, as from a slow disk
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#define MAX_FDS 1024

static unsigned char tracked[MAX_FDS];
static unsigned char slowReads[MAX_FDS];
static long readDelayUs = 100000;
static long calls;
static long failAt = -1;
static int failErrno = ENOSPC;
static long delayUs;
static int choppy;
static long dataCalls;
static long flipAt = -1;

__attribute__((constructor)) static void Setup(void) {
  const char* at = getenv("PORUTE_FAULT_AT");
  const char* error = getenv("PORUTE_FAULT_ERRNO");
  const char* delay = getenv("PORUTE_FAULT_DELAY_US");
  if (at != NULL) failAt = atol(at);
  if (error != NULL) failErrno = atoi(error);
  if (delay != NULL) delayUs = atol(delay);
  choppy = getenv("PORUTE_FAULT_CHOPPY") != NULL;
  const char* flip = getenv("PORUTE_FAULT_FLIP");
  if (flip != NULL) flipAt = atol(flip);
  const char* readDelay = getenv("PORUTE_FAULT_READ_DELAY_US");
  if (readDelay != NULL) readDelayUs = atol(readDelay);
}

__attribute__((destructor)) static void Report(void) {
  const char* path = getenv("PORUTE_FAULT_COUNT");
  if (path == NULL) return;
  FILE* out = fopen(path, "w");
  if (out == NULL) return;
  fprintf(out, "%ld\n", calls);
  fclose(out);
}

static void* Next(const char* name) { return dlsym(RTLD_NEXT, name); }

/* The output's extension: ".avi" unless PORUTE_FAULT_SUFFIX says another. */
static int IsAvi(const char* path) {
  const char* suffix = getenv("PORUTE_FAULT_SUFFIX");
  if (suffix == NULL) suffix = ".avi";
  const size_t length = path != NULL ? strlen(path) : 0;
  const size_t suffixLength = strlen(suffix);
  return length >= suffixLength && strcmp(path + length - suffixLength, suffix) == 0;
}

/* An output in progress under its temporary name. */
static int IsTemporary(const char* path) {
  const char* suffix = getenv("PORUTE_FAULT_SUFFIX");
  if (suffix == NULL) suffix = ".avi";
  const size_t length = path != NULL ? strlen(path) : 0;
  if (length < 4 || strcmp(path + length - 4, ".tmp") != 0) return 0;
  char mark[64];
  snprintf(mark, sizeof mark, "%s.porute-", suffix);
  return strstr(path, mark) != NULL;
}

static int EndsIn(const char* path, const char* suffix) {
  const size_t length = path != NULL ? strlen(path) : 0;
  const size_t suffixLength = suffix != NULL ? strlen(suffix) : 0;
  return suffixLength > 0 && length >= suffixLength &&
         strcmp(path + length - suffixLength, suffix) == 0;
}

static void Track(int fd, const char* path) {
  if (fd < 0 || fd >= MAX_FDS) return;
  tracked[fd] = (unsigned char)(IsAvi(path) || IsTemporary(path));
  slowReads[fd] = (unsigned char)EndsIn(path, getenv("PORUTE_FAULT_SLOW_READS"));
}

ssize_t read(int fd, void* data, size_t bytes) {
  if (fd >= 0 && fd < MAX_FDS && slowReads[fd]) usleep((useconds_t)readDelayUs);
  ssize_t (*real)(int, void*, size_t) = Next("read");
  return real(fd, data, bytes);
}

/* 1 when this call on fd is the one to fail; 2 when it is the one whose
 * data goes to the disk altered. */
static int Fails(int fd) {
  if (fd < 0 || fd >= MAX_FDS || !tracked[fd]) return 0;
  if (delayUs > 0) usleep((useconds_t)delayUs);
  ++calls;
  return calls == failAt ? 1 : calls == flipAt ? 2 : 0;
}

/* The gathered data of a call with its middle byte inverted, in one buffer
 * (malloc'd; NULL when there is no memory or no data). */
static unsigned char* Altered(const struct iovec* iov, int count, size_t* total) {
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) bytes += iov[i].iov_len;
  unsigned char* copy = bytes > 0 ? malloc(bytes) : NULL;
  if (copy == NULL) return NULL;
  size_t at = 0;
  for (int i = 0; i < count; ++i) {
    memcpy(copy + at, iov[i].iov_base, iov[i].iov_len);
    at += iov[i].iov_len;
  }
  copy[bytes / 2] ^= 0xFF;
  *total = bytes;
  return copy;
}

/* A data write's altered data in place of its own: at offset, or at the
 * file's position when offset is -1 (write, writev). */
static ssize_t WriteAltered(int fd, const struct iovec* iov, int count, off_t offset) {
  size_t bytes = 0;
  unsigned char* copy = Altered(iov, count, &bytes);
  if (copy == NULL) return -1;
  ssize_t (*realWrite)(int, const void*, size_t) = Next("write");
  ssize_t (*realPwrite)(int, const void*, size_t, off_t) = Next("pwrite");
  const ssize_t written =
      offset < 0 ? realWrite(fd, copy, bytes) : realPwrite(fd, copy, bytes, offset);
  free(copy);
  return written;
}

#define OPEN_MODE(flags)                                            \
  mode_t mode = 0;                                                  \
  if ((flags) & (O_CREAT | __O_TMPFILE)) {                          \
    va_list args;                                                   \
    va_start(args, flags);                                          \
    mode = (mode_t)va_arg(args, int);                               \
    va_end(args);                                                   \
  }

int open(const char* path, int flags, ...) {
  OPEN_MODE(flags);
  int (*real)(const char*, int, ...) = Next("open");
  const int fd = real(path, flags, mode);
  Track(fd, path);
  return fd;
}

int open64(const char* path, int flags, ...) {
  OPEN_MODE(flags);
  int (*real)(const char*, int, ...) = Next("open64");
  const int fd = real(path, flags, mode);
  Track(fd, path);
  return fd;
}

int openat(int dir, const char* path, int flags, ...) {
  OPEN_MODE(flags);
  int (*real)(int, const char*, int, ...) = Next("openat");
  const int fd = real(dir, path, flags, mode);
  Track(fd, path);
  return fd;
}

int openat64(int dir, const char* path, int flags, ...) {
  OPEN_MODE(flags);
  int (*real)(int, const char*, int, ...) = Next("openat64");
  const int fd = real(dir, path, flags, mode);
  Track(fd, path);
  return fd;
}

#define FAIL_OR_CALL(fd, type, name, params, ...)  \
  if (Fails(fd) == 1) {                            \
    errno = failErrno;                             \
    return -1;                                     \
  }                                                \
  type(*real) params = (type(*) params)Next(name); \
  return real(__VA_ARGS__)

/* A data write: it may fail, or go to the disk altered. */
#define FAIL_ALTER_OR_CALL(fd, iov, count, offset, type, name, params, ...) \
  switch (Fails(fd)) {                                                      \
    case 1:                                                                 \
      errno = failErrno;                                                    \
      return -1;                                                            \
    case 2:                                                                 \
      return WriteAltered(fd, iov, count, offset);                          \
  }                                                                         \
  type(*real) params = (type(*) params)Next(name);                          \
  return real(__VA_ARGS__)

/* In choppy mode, whether this data write is interrupted; otherwise bytes
 * becomes the half it may write. */
static int Chopped(int fd, size_t* bytes) {
  if (!choppy || fd < 0 || fd >= MAX_FDS || !tracked[fd]) return 0;
  if (++dataCalls % 2 == 1) return 1;
  if (*bytes > 1) *bytes /= 2;
  return 0;
}

/* The first `bytes` of the gathered buffers, in at most 64 of them. */
static int Shorten(const struct iovec* iov, int count, size_t bytes, struct iovec* out) {
  int n = 0;
  for (int i = 0; i < count && n < 64 && bytes > 0; ++i) {
    out[n] = iov[i];
    if (out[n].iov_len > bytes) out[n].iov_len = bytes;
    bytes -= out[n].iov_len;
    if (out[n].iov_len > 0) ++n;
  }
  return n;
}

static size_t Total(const struct iovec* iov, int count) {
  size_t total = 0;
  for (int i = 0; i < count; ++i) total += iov[i].iov_len;
  return total;
}

#define CHOP_OR_FAIL_OR_CALL(fd, data, bytes, offset, type, name, params, ...) \
  if (Chopped(fd, &(bytes))) {                                                \
    errno = EINTR;                                                            \
    return -1;                                                                \
  }                                                                           \
  struct iovec one = {(void*)(data), bytes};                                  \
  FAIL_ALTER_OR_CALL(fd, &one, 1, offset, type, name, params, __VA_ARGS__)

#define CHOP_IOV(fd, iov, count)                          \
  size_t allowed = Total(iov, count);                     \
  struct iovec part[64];                                  \
  if (Chopped(fd, &allowed)) {                            \
    errno = EINTR;                                        \
    return -1;                                            \
  }                                                       \
  if (choppy && count > 0) {                              \
    count = Shorten(iov, count, allowed, part);           \
    iov = part;                                           \
  }

ssize_t write(int fd, const void* data, size_t bytes) {
  CHOP_OR_FAIL_OR_CALL(fd, data, bytes, -1, ssize_t, "write", (int, const void*, size_t), fd, data,
                       bytes);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
  CHOP_IOV(fd, iov, count);
  FAIL_ALTER_OR_CALL(fd, iov, count, -1, ssize_t, "writev", (int, const struct iovec*, int), fd,
                     iov, count);
}

ssize_t pwrite(int fd, const void* data, size_t bytes, off_t offset) {
  CHOP_OR_FAIL_OR_CALL(fd, data, bytes, offset, ssize_t, "pwrite",
                       (int, const void*, size_t, off_t), fd, data, bytes, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t bytes, off_t offset) {
  CHOP_OR_FAIL_OR_CALL(fd, data, bytes, offset, ssize_t, "pwrite64",
                       (int, const void*, size_t, off_t), fd, data, bytes, offset);
}

ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t offset) {
  CHOP_IOV(fd, iov, count);
  FAIL_ALTER_OR_CALL(fd, iov, count, offset, ssize_t, "pwritev",
                     (int, const struct iovec*, int, off_t), fd, iov, count, offset);
}

ssize_t pwritev64(int fd, const struct iovec* iov, int count, off_t offset) {
  CHOP_IOV(fd, iov, count);
  FAIL_ALTER_OR_CALL(fd, iov, count, offset, ssize_t, "pwritev64",
                     (int, const struct iovec*, int, off_t), fd, iov, count, offset);
}

ssize_t pwritev2(int fd, const struct iovec* iov, int count, off_t offset, int flags) {
  CHOP_IOV(fd, iov, count);
  FAIL_ALTER_OR_CALL(fd, iov, count, offset, ssize_t, "pwritev2",
                     (int, const struct iovec*, int, off_t, int), fd, iov, count, offset, flags);
}

int ftruncate(int fd, off_t length) { FAIL_OR_CALL(fd, int, "ftruncate", (int, off_t), fd, length); }

int ftruncate64(int fd, off_t length) { FAIL_OR_CALL(fd, int, "ftruncate64", (int, off_t), fd, length); }

int fsync(int fd) { FAIL_OR_CALL(fd, int, "fsync", (int), fd); }

int fdatasync(int fd) { FAIL_OR_CALL(fd, int, "fdatasync", (int), fd); }

int close(int fd) {
  const int fails = Fails(fd);
  if (fd >= 0 && fd < MAX_FDS) tracked[fd] = slowReads[fd] = 0;
  int (*real)(int) = Next("close");
  const int result = real(fd);
  if (fails == 1) {
    errno = failErrno;
    return -1;
  }
  return result;
}

/* Renames and links that give an output's file a name. */
static int NameFails(const char* from) {
  if (!IsAvi(from) && !IsTemporary(from)) return 0;
  if (delayUs > 0) usleep((useconds_t)delayUs);
  return ++calls == failAt;
}

#define FAIL_OR_RENAME(from, type, name, params, ...) \
  if (NameFails(from)) {                               \
    errno = failErrno;                                 \
    return -1;                                         \
  }                                                    \
  type(*real) params = (type(*) params)Next(name);     \
  return real(__VA_ARGS__)

int rename(const char* from, const char* to) {
  FAIL_OR_RENAME(from, int, "rename", (const char*, const char*), from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  FAIL_OR_RENAME(from, int, "renameat", (int, const char*, int, const char*), fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  FAIL_OR_RENAME(from, int, "renameat2", (int, const char*, int, const char*, unsigned), fromDir,
                 from, toDir, to, flags);
}

int link(const char* from, const char* to) {
  FAIL_OR_RENAME(from, int, "link", (const char*, const char*), from, to);
}
