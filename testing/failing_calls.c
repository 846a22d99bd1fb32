// A disk that fails where a test says: loaded into a program with LD_PRELOAD
// (natively, or into a Wine process, whose reads and writes end in these
// calls), it fails one of the file calls the program makes on watched files,
// or every one of a kind from one on, with the error a disk gives.
//
// It reads what to do when the process starts, from the file that
// VELTRANE_FAIL_CONFIG names (under Wine a Windows program's environment does
// not reach the Linux side of the programs it starts; a file does), one
// setting a line:
//   mark TEXT      a text in the full path of every watched file
//   kind KIND      open, read, write, sync, rename, close or allocate
//   at N           which call of that kind fails, counting from 1
//   onward 1       that call and every later one of the kind
//   error N        the error number it fails with
//   report FOLDER  where each process that makes a watched call keeps its
//                  counts of them, and how many it failed
//
// Streams the C library opens on watched files are made over calls of this
// library's own (fopencookie), so that their reads, writes and closes, which
// the C library makes internally, are seen and failed too.

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum Kind { Open, Read, Write, Sync, Rename, Close, Allocate, Kinds };
static const char* const KindNames[Kinds] = {"open", "read", "write", "sync", "rename", "close", "allocate"};

static char Mark[256];
static int FailedKind = -1;
static long FailAt;
static int Onward;
static int FailError = EIO;
static char ReportFolder[PATH_MAX];
static long Counts[Kinds];
static long Failures;
static int ReportFile = -1;

__attribute__((constructor)) static void SetUp(void)
{
    const char* config = getenv("VELTRANE_FAIL_CONFIG");
    if (!config)
        return;
    char text[2 * PATH_MAX];
    int fd = (int)syscall(SYS_openat, AT_FDCWD, config, O_RDONLY | O_CLOEXEC);
    long length = fd < 0 ? -1 : syscall(SYS_read, fd, text, sizeof text - 1);
    if (fd >= 0)
        syscall(SYS_close, fd);
    if (length <= 0)
        return;
    text[length] = '\0';
    for (char* line = strtok(text, "\n"); line; line = strtok(NULL, "\n")) {
        char* value = strchr(line, ' ');
        if (!value)
            continue;
        *value++ = '\0';
        if (strcmp(line, "mark") == 0)
            snprintf(Mark, sizeof Mark, "%s", value);
        else if (strcmp(line, "report") == 0)
            snprintf(ReportFolder, sizeof ReportFolder, "%s", value);
        else if (strcmp(line, "at") == 0)
            FailAt = atol(value);
        else if (strcmp(line, "onward") == 0)
            Onward = atoi(value);
        else if (strcmp(line, "error") == 0)
            FailError = atoi(value);
        for (int k = 0; strcmp(line, "kind") == 0 && k < Kinds; ++k)
            if (strcmp(value, KindNames[k]) == 0)
                FailedKind = k;
    }
}

static void* Real(const char* name)
{
    void* function = dlsym(RTLD_NEXT, name);
    if (!function)
        abort();
    return function;
}
#define REAL(name) static __typeof__(name)* real; if (!real) real = (__typeof__(name)*)Real(#name)

// The counts, rewritten whole in place after every watched call.
static void Report(void)
{
    if (!ReportFolder[0])
        return;
    if (ReportFile < 0) {
        char name[PATH_MAX + 32];
        snprintf(name, sizeof name, "%s/calls-%ld", ReportFolder, (long)getpid());
        ReportFile = (int)syscall(SYS_openat, AT_FDCWD, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (ReportFile < 0)
            return;
    }
    char line[256];
    int length = 0;
    for (int k = 0; k < Kinds; ++k)
        length += snprintf(line + length, sizeof line - (size_t)length, "%s %10ld\n", KindNames[k],
                           __atomic_load_n(&Counts[k], __ATOMIC_RELAXED));
    length += snprintf(line + length, sizeof line - (size_t)length, "failed %10ld\n",
                       __atomic_load_n(&Failures, __ATOMIC_RELAXED));
    syscall(SYS_lseek, ReportFile, 0L, SEEK_SET);
    syscall(SYS_write, ReportFile, line, (size_t)length);
}

// Counts a watched call; true, with errno set, where it is to fail.
static int Fails(int kind)
{
    long n = __atomic_add_fetch(&Counts[kind], 1, __ATOMIC_RELAXED);
    int fails = kind == FailedKind && (n == FailAt || (Onward && n > FailAt));
    if (fails)
        __atomic_add_fetch(&Failures, 1, __ATOMIC_RELAXED);
    Report();
    if (fails)
        errno = FailError;
    return fails;
}

static int WatchedName(int folder, const char* path)
{
    if (!Mark[0] || !path)
        return 0;
    if (path[0] == '/')
        return strstr(path, Mark) != NULL;
    char full[2 * PATH_MAX];
    long length;
    if (folder == AT_FDCWD) {
        length = syscall(SYS_getcwd, full, PATH_MAX) > 0 ? (long)strlen(full) : -1;
    } else {
        char link[64];
        snprintf(link, sizeof link, "/proc/self/fd/%d", folder);
        length = syscall(SYS_readlinkat, AT_FDCWD, link, full, PATH_MAX - 1);
    }
    if (length < 0)
        return 0;
    snprintf(full + length, sizeof full - (size_t)length, "/%s", path);
    return strstr(full, Mark) != NULL;
}

static int WatchedFile(int fd)
{
    if (!Mark[0] || fd < 0)
        return 0;
    char link[64];
    char name[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    long length = syscall(SYS_readlinkat, AT_FDCWD, link, name, sizeof name - 1);
    if (length <= 0)
        return 0;
    name[length] = '\0';
    return strstr(name, Mark) != NULL;
}

static mode_t ModeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(arguments, int) : 0;
}

#define OPEN_AT(name)                                                  \
    int name(int folder, const char* path, int flags, ...)             \
    {                                                                  \
        va_list arguments;                                             \
        va_start(arguments, flags);                                    \
        mode_t mode = ModeOf(flags, arguments);                        \
        va_end(arguments);                                             \
        REAL(name);                                                    \
        if (WatchedName(folder, path) && Fails(Open))                  \
            return -1;                                                 \
        return real(folder, path, flags, mode);                        \
    }
#define OPEN(name)                                                     \
    int name(const char* path, int flags, ...)                         \
    {                                                                  \
        va_list arguments;                                             \
        va_start(arguments, flags);                                    \
        mode_t mode = ModeOf(flags, arguments);                        \
        va_end(arguments);                                             \
        REAL(name);                                                    \
        if (WatchedName(AT_FDCWD, path) && Fails(Open))                \
            return -1;                                                 \
        return real(path, flags, mode);                                \
    }
OPEN(open)
OPEN(open64)
OPEN_AT(openat)
OPEN_AT(openat64)

int __open_2(const char* path, int flags)
{
    return open(path, flags);
}

int __open64_2(const char* path, int flags)
{
    return open64(path, flags);
}

int creat(const char* path, mode_t mode)
{
    return open(path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}

#define BY_FILE(kind, type, name, parameters, arguments) \
    type name parameters                                 \
    {                                                    \
        REAL(name);                                      \
        if (WatchedFile(fd) && Fails(kind))              \
            return -1;                                   \
        return real arguments;                           \
    }
BY_FILE(Read, ssize_t, read, (int fd, void* buffer, size_t size), (fd, buffer, size))
BY_FILE(Read, ssize_t, pread, (int fd, void* buffer, size_t size, off_t at), (fd, buffer, size, at))
BY_FILE(Read, ssize_t, pread64, (int fd, void* buffer, size_t size, off64_t at), (fd, buffer, size, at))
BY_FILE(Read, ssize_t, readv, (int fd, const struct iovec* parts, int count), (fd, parts, count))
BY_FILE(Write, ssize_t, write, (int fd, const void* buffer, size_t size), (fd, buffer, size))
BY_FILE(Write, ssize_t, pwrite, (int fd, const void* buffer, size_t size, off_t at), (fd, buffer, size, at))
BY_FILE(Write, ssize_t, pwrite64, (int fd, const void* buffer, size_t size, off64_t at), (fd, buffer, size, at))
BY_FILE(Write, ssize_t, writev, (int fd, const struct iovec* parts, int count), (fd, parts, count))
BY_FILE(Sync, int, fsync, (int fd), (fd))
BY_FILE(Sync, int, fdatasync, (int fd), (fd))
BY_FILE(Allocate, int, ftruncate, (int fd, off_t size), (fd, size))
BY_FILE(Allocate, int, ftruncate64, (int fd, off64_t size), (fd, size))
BY_FILE(Allocate, int, fallocate, (int fd, int how, off_t at, off_t size), (fd, how, at, size))
BY_FILE(Allocate, int, fallocate64, (int fd, int how, off64_t at, off64_t size), (fd, how, at, size))

// posix_fallocate returns its error rather than setting errno.
#define ALLOCATE(name, offset)                               \
    int name(int fd, offset at, offset size)                 \
    {                                                        \
        REAL(name);                                          \
        if (WatchedFile(fd) && Fails(Allocate))              \
            return errno;                                    \
        return real(fd, at, size);                           \
    }
ALLOCATE(posix_fallocate, off_t)
ALLOCATE(posix_fallocate64, off64_t)

// A failed close still closes, as Linux's does.
int close(int fd)
{
    REAL(close);
    int fails = WatchedFile(fd) && Fails(Close);
    int error = errno;
    int result = real(fd);
    if (!fails)
        return result;
    errno = error;
    return -1;
}

#define RENAME(name, parameters, arguments, from, to)                                \
    int name parameters                                                               \
    {                                                                                 \
        REAL(name);                                                                   \
        if ((WatchedName from || WatchedName to) && Fails(Rename))                    \
            return -1;                                                                \
        return real arguments;                                                        \
    }
RENAME(rename, (const char* a, const char* b), (a, b), (AT_FDCWD, a), (AT_FDCWD, b))
RENAME(renameat, (int fa, const char* a, int fb, const char* b), (fa, a, fb, b), (fa, a), (fb, b))
RENAME(renameat2, (int fa, const char* a, int fb, const char* b, unsigned flags), (fa, a, fb, b, flags), (fa, a),
       (fb, b))
RENAME(link, (const char* a, const char* b), (a, b), (AT_FDCWD, a), (AT_FDCWD, b))
RENAME(linkat, (int fa, const char* a, int fb, const char* b, int flags), (fa, a, fb, b, flags), (fa, a), (fb, b))

// Streams over the calls above.
struct Cookie {
    int fd;
    FILE* stream;
};

#define MostStreams 256
static struct Cookie* Streams[MostStreams];

static ssize_t CookieRead(void* cookie, char* buffer, size_t size)
{
    return read(((struct Cookie*)cookie)->fd, buffer, size);
}

// The C library takes a short count as the write's failure, with errno as it is.
static ssize_t CookieWrite(void* cookie, const char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t put = write(((struct Cookie*)cookie)->fd, buffer + done, size - done);
        if (put <= 0)
            break;
        done += (size_t)put;
    }
    return (ssize_t)done;
}

static int CookieSeek(void* cookie, off64_t* at, int whence)
{
    off64_t now = lseek64(((struct Cookie*)cookie)->fd, *at, whence);
    if (now < 0)
        return -1;
    *at = now;
    return 0;
}

static int CookieClose(void* cookie)
{
    struct Cookie* c = cookie;
    for (int i = 0; i < MostStreams; ++i)
        __atomic_compare_exchange_n(&Streams[i], &(struct Cookie*){c}, NULL, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    int result = close(c->fd);
    free(c);
    return result == 0 ? 0 : EOF;
}

static FILE* StreamOver(int fd, const char* mode)
{
    struct Cookie* cookie = malloc(sizeof *cookie);
    if (!cookie)
        return NULL;
    cookie->fd = fd;
    cookie_io_functions_t calls = {CookieRead, CookieWrite, CookieSeek, CookieClose};
    cookie->stream = fopencookie(cookie, mode, calls);
    if (!cookie->stream) {
        free(cookie);
        return NULL;
    }
    for (int i = 0; i < MostStreams; ++i)
        if (__atomic_compare_exchange_n(&Streams[i], &(struct Cookie*){NULL}, cookie, 0, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST))
            break;
    return cookie->stream;
}

static int FlagsOf(const char* mode)
{
    int flags = strchr(mode, '+') ? O_RDWR : mode[0] == 'r' ? O_RDONLY : O_WRONLY;
    if (mode[0] == 'w')
        flags |= O_CREAT | O_TRUNC;
    if (mode[0] == 'a')
        flags |= O_CREAT | O_APPEND;
    if (strchr(mode, 'x'))
        flags |= O_EXCL;
    if (strchr(mode, 'e'))
        flags |= O_CLOEXEC;
    return flags;
}

#define FOPEN(name)                                                   \
    FILE* name(const char* path, const char* mode)                    \
    {                                                                 \
        REAL(name);                                                   \
        if (!WatchedName(AT_FDCWD, path))                             \
            return real(path, mode);                                  \
        int fd = open(path, FlagsOf(mode), 0666);                     \
        if (fd < 0)                                                   \
            return NULL;                                              \
        FILE* stream = StreamOver(fd, mode);                          \
        if (!stream)                                                  \
            close(fd);                                                \
        return stream;                                                \
    }
FOPEN(fopen)
FOPEN(fopen64)

FILE* fdopen(int fd, const char* mode)
{
    REAL(fdopen);
    return WatchedFile(fd) ? StreamOver(fd, mode) : real(fd, mode);
}

int fileno(FILE* stream)
{
    REAL(fileno);
    for (int i = 0; i < MostStreams; ++i) {
        struct Cookie* cookie = __atomic_load_n(&Streams[i], __ATOMIC_SEQ_CST);
        if (cookie && cookie->stream == stream)
            return cookie->fd;
    }
    return real(stream);
}
