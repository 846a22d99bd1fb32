// A disk that fails where a test says, at the system-call level: it runs a
// command under ptrace, with every process and thread it starts, and fails
// one of the file calls they make on watched folders (the C library's and
// libraries' own calls included), or every one of a kind from one on, or
// every call past a given room, and records every watched call in order.
//
//   syscall_faults CONFIG -- COMMAND [ARGUMENTS...]
//       runs COMMAND once; exits with its status
//   syscall_faults --serve FOLDER -- COMMAND [ARGUMENTS...]
//       runs COMMAND (which starts a server, say), writes FOLDER/ready once it
//       has exited, then runs each request written to FOLDER/request (a CONFIG
//       with the command's lines) with FOLDER/report written at its end, until
//       a request says stop or none comes for IdleSeconds; then ends every
//       process it started and writes FOLDER/stopped. A Wine server started
//       so is traced with its programs: it makes their opens, renames and
//       removals.
//
// CONFIG holds one setting a line:
//   watch PATH      a watched folder (repeated); a call is watched where the path
//                   it names, or the file its descriptor is on, lies under one
//   kind KIND       the kind of call to fail (KindNames below)
//   at N            the N-th watched call of that kind fails, counting from 1
//   onward 1        and every later one of the kind
//   error E         with errno E, or "short": a write cut to half its bytes
//   room BYTES      instead: the folders hold BYTES more, as a small disk; a
//                   write past it is cut short or fails with ENOSPC, as is an
//                   allocation (removed files give their room back)
//   report PATH     where the report goes, written whole at the end
// and for a request also: cwd PATH, out PATH, err PATH (the command's output),
// arg TEXT (the command's words, in order), or stop 1.
//
// The report: "exit N", "failed N", "made KIND N" for each kind, then one line
// per watched call in order, tab-separated: "call", its number, thread, kind,
// system call, result (a negative errno for a failure), 1 where this program
// failed it, 1 where it changes the file, the file's device:inode, the
// device:inode of the folder it names a file in, path, second path (renames).
// Paths are given from the watched folder's own path on, so a process in a
// chroot (the i386 root) names them as every other does.

#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum Kind {
    Open, Read, Write, Seek, Sync, Rename, Unlink, Close, Allocate, Mode, Attr, Stat, Readlink, Mkdir, List, Kinds
};
static const char* const KindNames[Kinds] = {"open",  "read",     "write", "seek", "sync", "rename", "unlink", "close",
                                             "allocate", "mode", "attr", "stat", "readlink", "mkdir", "list"};

// How a call names its file: by a descriptor (argument 0), by a path
// (argument 0), by a folder descriptor and a path (arguments 0 and 1), or two
// of either (rename, link).
enum Shape { ByFd, ByPath, ByAt, ByPaths, ByAts };

enum {
    Changes = 1,   // changes the file: it must be synced after
    Counted = 2,   // a write of argument 2 bytes: it can be cut short
    Vector = 4,    // a write of the argument 2 buffers of argument 1
    Positioned = 8 // at the offset in argument 3 (and 4 on i386), not the descriptor's
};

struct Call {
    const char* name;
    enum Kind kind;
    enum Shape shape;
    int x86_64, i386; // the numbers on each; -1 where there is none
    int traits;
};

static const struct Call Calls[] = {
    {"open", Open, ByPath, 2, 5, 0},
    {"creat", Open, ByPath, 85, 8, 0},
    {"openat", Open, ByAt, 257, 295, 0},
    {"openat2", Open, ByAt, 437, 437, 0},
    {"read", Read, ByFd, 0, 3, 0},
    {"pread64", Read, ByFd, 17, 180, 0},
    {"readv", Read, ByFd, 19, 145, 0},
    {"preadv", Read, ByFd, 295, 333, 0},
    {"preadv2", Read, ByFd, 327, 378, 0},
    {"write", Write, ByFd, 1, 4, Changes | Counted},
    {"pwrite64", Write, ByFd, 18, 181, Changes | Counted | Positioned},
    {"writev", Write, ByFd, 20, 146, Changes | Vector},
    {"pwritev", Write, ByFd, 296, 334, Changes | Vector | Positioned},
    {"pwritev2", Write, ByFd, 328, 379, Changes | Vector | Positioned},
    {"lseek", Seek, ByFd, 8, 19, 0},
    {"_llseek", Seek, ByFd, -1, 140, 0},
    {"fsync", Sync, ByFd, 74, 118, 0},
    {"fdatasync", Sync, ByFd, 75, 148, 0},
    {"sync_file_range", Sync, ByFd, 277, 314, 0},
    {"syncfs", Sync, ByFd, 306, 344, 0},
    {"rename", Rename, ByPaths, 82, 38, 0},
    {"renameat", Rename, ByAts, 264, 302, 0},
    {"renameat2", Rename, ByAts, 316, 353, 0},
    {"link", Rename, ByPaths, 86, 9, 0},
    {"linkat", Rename, ByAts, 265, 303, 0},
    {"unlink", Unlink, ByPath, 87, 10, 0},
    {"unlinkat", Unlink, ByAt, 263, 301, 0},
    {"rmdir", Unlink, ByPath, 84, 40, 0},
    {"close", Close, ByFd, 3, 6, 0},
    {"fallocate", Allocate, ByFd, 285, 324, Changes},
    {"ftruncate", Allocate, ByFd, 77, 93, Changes},
    {"ftruncate64", Allocate, ByFd, -1, 194, Changes},
    {"truncate", Allocate, ByPath, 76, 92, Changes},
    {"truncate64", Allocate, ByPath, -1, 193, Changes},
    {"fchmod", Mode, ByFd, 91, 94, Changes},
    {"chmod", Mode, ByPath, 90, 15, Changes},
    {"fchmodat", Mode, ByAt, 268, 306, Changes},
    {"fchmodat2", Mode, ByAt, 452, 452, Changes},
    {"fchown", Mode, ByFd, 93, 207, Changes},
    {"fchown16", Mode, ByFd, -1, 95, Changes},
    {"chown", Mode, ByPath, 92, 212, Changes},
    {"chown16", Mode, ByPath, -1, 182, Changes},
    {"lchown", Mode, ByPath, 94, 198, Changes},
    {"lchown16", Mode, ByPath, -1, 16, Changes},
    {"fchownat", Mode, ByAt, 260, 298, Changes},
    {"setxattr", Attr, ByPath, 188, 226, Changes},
    {"lsetxattr", Attr, ByPath, 189, 227, Changes},
    {"fsetxattr", Attr, ByFd, 190, 228, Changes},
    {"getxattr", Attr, ByPath, 191, 229, 0},
    {"lgetxattr", Attr, ByPath, 192, 230, 0},
    {"fgetxattr", Attr, ByFd, 193, 231, 0},
    {"listxattr", Attr, ByPath, 194, 232, 0},
    {"llistxattr", Attr, ByPath, 195, 233, 0},
    {"flistxattr", Attr, ByFd, 196, 234, 0},
    {"removexattr", Attr, ByPath, 197, 235, Changes},
    {"lremovexattr", Attr, ByPath, 198, 236, Changes},
    {"fremovexattr", Attr, ByFd, 199, 237, Changes},
    {"stat", Stat, ByPath, 4, 106, 0},
    {"lstat", Stat, ByPath, 6, 107, 0},
    {"fstat", Stat, ByFd, 5, 108, 0},
    {"stat64", Stat, ByPath, -1, 195, 0},
    {"lstat64", Stat, ByPath, -1, 196, 0},
    {"fstat64", Stat, ByFd, -1, 197, 0},
    {"newfstatat", Stat, ByAt, 262, 300, 0},
    {"statx", Stat, ByAt, 332, 383, 0},
    {"access", Stat, ByPath, 21, 33, 0},
    {"faccessat", Stat, ByAt, 269, 307, 0},
    {"faccessat2", Stat, ByAt, 439, 439, 0},
    {"statfs", Stat, ByPath, 137, 99, 0},
    {"fstatfs", Stat, ByFd, 138, 100, 0},
    {"statfs64", Stat, ByPath, -1, 268, 0},
    {"fstatfs64", Stat, ByFd, -1, 269, 0},
    {"readlink", Readlink, ByPath, 89, 85, 0},
    {"readlinkat", Readlink, ByAt, 267, 305, 0},
    {"mkdir", Mkdir, ByPath, 83, 39, 0},
    {"mkdirat", Mkdir, ByAt, 258, 296, 0},
    {"getdents", List, ByFd, 78, 141, 0},
    {"getdents64", List, ByFd, 217, 220, 0},
};
enum { CallCount = sizeof Calls / sizeof Calls[0] };

// Without a request for this long, a server's tracer ends (the test that
// started it has gone).
enum { IdleSeconds = 120 };

static void Fatal(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fputs("syscall_faults: ", stderr);
    vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    va_end(arguments);
    exit(125);
}

// a, then b (and c), cut to size.
static void Join(char* into, size_t size, const char* a, const char* b, const char* c)
{
    size_t length = 0;
    for (const char* part = a; part; part = part == a ? b : part == b ? c : NULL) {
        size_t more = strlen(part);
        if (more > size - 1 - length)
            more = size - 1 - length;
        memcpy(into + length, part, more);
        length += more;
    }
    into[length] = '\0';
}

// ---- what to fail -----------------------------------------------------------

enum { MostWatched = 8 };

struct Config {
    char watched[MostWatched][PATH_MAX];
    int watchedCount;
    int kind; // -1: none
    long at;
    int onward;
    int error; // 0: a short write
    long long room; // -1: no limit
    char report[PATH_MAX], cwd[PATH_MAX], out[PATH_MAX], err[PATH_MAX];
    char** arguments;
    int argumentCount;
    int stop;
};

static void ReadConfig(const char* path, struct Config* config)
{
    memset(config, 0, sizeof *config);
    config->kind = -1;
    config->room = -1;
    config->error = EIO;
    FILE* file = fopen(path, "r");
    if (!file)
        Fatal("cannot read %s: %s", path, strerror(errno));
    char* line = NULL;
    size_t size = 0;
    ssize_t length;
    while ((length = getline(&line, &size, file)) > 0) {
        if (line[length - 1] == '\n')
            line[--length] = '\0';
        char* value = strchr(line, ' ');
        if (!value)
            continue;
        *value++ = '\0';
        if (strcmp(line, "watch") == 0 && config->watchedCount < MostWatched) {
            // As the system names it, links resolved: the form /proc/N/fd shows.
            if (!realpath(value, config->watched[config->watchedCount]))
                snprintf(config->watched[config->watchedCount], PATH_MAX, "%s", value);
            ++config->watchedCount;
        } else if (strcmp(line, "kind") == 0) {
            for (int k = 0; k < Kinds; ++k)
                if (strcmp(value, KindNames[k]) == 0)
                    config->kind = k;
        } else if (strcmp(line, "at") == 0) {
            config->at = atol(value);
        } else if (strcmp(line, "onward") == 0) {
            config->onward = atoi(value);
        } else if (strcmp(line, "error") == 0) {
            config->error = strcmp(value, "short") == 0 ? 0 : atoi(value);
        } else if (strcmp(line, "room") == 0) {
            config->room = atoll(value);
        } else if (strcmp(line, "report") == 0) {
            snprintf(config->report, sizeof config->report, "%s", value);
        } else if (strcmp(line, "cwd") == 0) {
            snprintf(config->cwd, sizeof config->cwd, "%s", value);
        } else if (strcmp(line, "out") == 0) {
            snprintf(config->out, sizeof config->out, "%s", value);
        } else if (strcmp(line, "err") == 0) {
            snprintf(config->err, sizeof config->err, "%s", value);
        } else if (strcmp(line, "stop") == 0) {
            config->stop = atoi(value);
        } else if (strcmp(line, "arg") == 0) {
            config->arguments = realloc(config->arguments, sizeof(char*) * (size_t)(config->argumentCount + 2));
            config->arguments[config->argumentCount++] = strdup(value);
            config->arguments[config->argumentCount] = NULL;
        }
    }
    free(line);
    fclose(file);
}

// ---- the record of one run --------------------------------------------------

static struct Config Now;
static int Watching; // a run is on
static long Made[Kinds];
static long Failed;
static long Sequence;
static char* Log;
static size_t LogLength, LogRoom;

static void Append(const char* format, ...)
{
    va_list arguments;
    for (;;) {
        va_start(arguments, format);
        int length = vsnprintf(Log + LogLength, LogRoom - LogLength, format, arguments);
        va_end(arguments);
        if (length >= 0 && LogLength + (size_t)length < LogRoom) {
            LogLength += (size_t)length;
            return;
        }
        LogRoom = LogRoom * 2 + (size_t)(length > 0 ? length : 0) + 4096;
        Log = realloc(Log, LogRoom);
        if (!Log)
            Fatal("out of memory");
    }
}

// ---- room, as a small disk has it ----------------------------------------

// Every file seen written or allocated: the room it takes (its end, not what
// a length alone says: a file grown by ftruncate takes none), what it took
// when first seen, and a handle of this program's to see it go.
struct Space {
    dev_t device;
    ino_t inode;
    long long taken, before;
    int handle; // O_PATH
    int gone;
};
static struct Space* Spaces;
static int SpaceCount;

static long long RoomUsed(void)
{
    long long used = 0;
    for (int i = 0; i < SpaceCount; ++i)
        used += (Spaces[i].gone ? 0 : Spaces[i].taken) - Spaces[i].before;
    return used;
}

// The file's place in Spaces (an index: the array grows while other threads'
// calls are pending); -1 where it is no regular file.
static int SpaceOf(const char* procPath)
{
    struct stat info;
    if (stat(procPath, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    for (int i = 0; i < SpaceCount; ++i)
        if (!Spaces[i].gone && Spaces[i].device == info.st_dev && Spaces[i].inode == info.st_ino)
            return i;
    Spaces = realloc(Spaces, sizeof *Spaces * (size_t)(SpaceCount + 1));
    if (!Spaces)
        Fatal("out of memory");
    struct Space* space = &Spaces[SpaceCount++];
    space->device = info.st_dev;
    space->inode = info.st_ino;
    space->taken = space->before = info.st_size;
    space->handle = open(procPath, O_PATH | O_CLOEXEC);
    space->gone = 0;
    return SpaceCount - 1;
}

static int OpenedByATracee(const struct Space* space);

// Files with no name left that no traced process holds give their room back.
static void FreeRoomOfGoneFiles(void)
{
    for (int i = 0; i < SpaceCount; ++i) {
        struct stat info;
        struct Space* space = &Spaces[i];
        if (space->gone || space->handle < 0 || fstat(space->handle, &info) != 0 || info.st_nlink > 0)
            continue;
        if (!OpenedByATracee(space)) {
            space->gone = 1;
            close(space->handle);
            space->handle = -1;
        }
    }
}

// ---- the traced threads -----------------------------------------------------

struct Pending {
    const struct Call* call;
    int fails;       // the errno set on its way out; 0: none
    long long cutTo; // a write cut to this many bytes; -1: not cut
    uint64_t vectorAt; // a vector entry's length changed, to put back
    uint64_t vectorLength;
    int vectorWide;
    int space; // the file written or allocated, in Spaces; -1: none
    long long end, asked; // where the write or allocation ends, and its bytes; -1: a truncation
    unsigned long long openFlags;
    int changes;
    char id[48], folder[48];
    char path[PATH_MAX], path2[PATH_MAX];
};

struct Tracee {
    pid_t tid;
    int fresh;    // its first stop, a SIGSTOP, is still to come
    int inCall;
    int wide;     // a 64-bit process
    struct Pending pending;
};
static struct Tracee* Tracees;
static int TraceeCount, TraceeRoom;
static pid_t Main;          // the command of the run or of the server
static int MainStatus = -1; // its exit status, once it has ended

static struct Tracee* Find(pid_t tid)
{
    for (int i = 0; i < TraceeCount; ++i)
        if (Tracees[i].tid == tid)
            return &Tracees[i];
    return NULL;
}

static struct Tracee* Add(pid_t tid, int fresh)
{
    struct Tracee* known = Find(tid);
    if (known)
        return known;
    if (TraceeCount == TraceeRoom) {
        TraceeRoom = TraceeRoom * 2 + 16;
        Tracees = realloc(Tracees, sizeof *Tracees * (size_t)TraceeRoom);
        if (!Tracees)
            Fatal("out of memory");
    }
    struct Tracee* tracee = &Tracees[TraceeCount++];
    memset(tracee, 0, sizeof *tracee);
    tracee->tid = tid;
    tracee->fresh = fresh;
    return tracee;
}

static void Remove(pid_t tid)
{
    struct Tracee* tracee = Find(tid);
    if (tracee)
        *tracee = Tracees[--TraceeCount];
}

static int OpenedByATracee(const struct Space* space)
{
    for (int i = 0; i < TraceeCount; ++i) {
        char folder[64];
        snprintf(folder, sizeof folder, "/proc/%d/fd", Tracees[i].tid);
        DIR* fds = opendir(folder);
        if (!fds)
            continue;
        int found = 0;
        for (struct dirent* entry; !found && (entry = readdir(fds));) {
            char path[PATH_MAX];
            struct stat info;
            Join(path, sizeof path, folder, "/", entry->d_name);
            found = entry->d_name[0] != '.' && stat(path, &info) == 0 && info.st_dev == space->device &&
                    info.st_ino == space->inode;
        }
        closedir(fds);
        if (found)
            return 1;
    }
    return 0;
}

// ---- reading a tracee -------------------------------------------------------

static int ReadMemory(pid_t tid, uint64_t at, void* into, size_t size)
{
    struct iovec local = {into, size}, remote = {(void*)(uintptr_t)at, size};
    return process_vm_readv(tid, &local, 1, &remote, 1, 0) == (ssize_t)size ? 0 : -1;
}

static int WriteMemory(pid_t tid, uint64_t at, const void* from, size_t size)
{
    struct iovec local = {(void*)from, size}, remote = {(void*)(uintptr_t)at, size};
    return process_vm_writev(tid, &local, 1, &remote, 1, 0) == (ssize_t)size ? 0 : -1;
}

// A path argument, read a page at a time up to its end.
static int ReadString(pid_t tid, uint64_t at, char* into, size_t size)
{
    size_t length = 0;
    while (length + 1 < size) {
        size_t page = 4096 - ((at + length) & 4095);
        size_t want = page < size - 1 - length ? page : size - 1 - length;
        if (ReadMemory(tid, at + length, into + length, want) != 0)
            return -1;
        char* end = memchr(into + length, '\0', want);
        if (end)
            return 0;
        length += want;
    }
    into[size - 1] = '\0';
    return 0;
}

static int LinkText(const char* link, char* into, size_t size)
{
    ssize_t length = readlink(link, into, size - 1);
    if (length < 0)
        return -1;
    into[length] = '\0';
    return 0;
}

static void IdOf(const char* procPath, char* into, size_t size, int follow)
{
    struct stat info;
    if ((follow ? stat(procPath, &info) : lstat(procPath, &info)) == 0)
        snprintf(into, size, "%lx:%lx", (unsigned long)info.st_dev, (unsigned long)info.st_ino);
    else
        snprintf(into, size, "-");
}

// "a/./b//c/../d" as "a/b/d".
static void Tidy(char* path)
{
    char* parts[PATH_MAX / 2];
    int count = 0;
    int absolute = path[0] == '/';
    char copy[PATH_MAX];
    snprintf(copy, sizeof copy, "%s", path);
    for (char* part = strtok(copy, "/"); part; part = strtok(NULL, "/")) {
        if (strcmp(part, ".") == 0)
            continue;
        if (strcmp(part, "..") == 0 && count > 0 && strcmp(parts[count - 1], "..") != 0)
            --count;
        else
            parts[count++] = part;
    }
    size_t length = 0;
    path[0] = '\0';
    for (int i = 0; i < count; ++i)
        length += (size_t)snprintf(path + length, PATH_MAX - length, "%s%s", i > 0 || absolute ? "/" : "", parts[i]);
    if (length == 0)
        snprintf(path, PATH_MAX, absolute ? "/" : ".");
}

// A file a tracee names by a folder descriptor (AT_FDCWD: its current folder)
// and a path: as the system shows it (shown), and as this program reaches it
// (reach: through /proc, so a chroot and a mount namespace are the tracee's).
// A path through the tracee's own /proc/self/fd/N is its descriptor N. True
// where the name is a descriptor's own file (which a link's stat follows).
static int Resolve(pid_t tid, int folder, const char* path, char* shown, char* reach)
{
    static const char* const OwnDescriptors[] = {"/proc/self/fd/", "/proc/thread-self/fd/", "/dev/fd/"};
    char rest[PATH_MAX];
    snprintf(rest, sizeof rest, "%s", path);
    for (size_t i = 0; i < sizeof OwnDescriptors / sizeof *OwnDescriptors; ++i) {
        size_t length = strlen(OwnDescriptors[i]);
        if (strncmp(path, OwnDescriptors[i], length) == 0 && path[length] >= '0' && path[length] <= '9') {
            char* end;
            folder = (int)strtol(path + length, &end, 10);
            snprintf(rest, sizeof rest, "%s", *end == '/' ? end + 1 : end);
            path = rest;
            break;
        }
    }
    char base[PATH_MAX], link[64];
    if (path[0] == '/') {
        char root[64];
        snprintf(root, sizeof root, "/proc/%d/root", tid);
        Join(shown, PATH_MAX, path, NULL, NULL);
        Join(reach, PATH_MAX, root, path, NULL);
    } else {
        if (folder == AT_FDCWD)
            snprintf(link, sizeof link, "/proc/%d/cwd", tid);
        else
            snprintf(link, sizeof link, "/proc/%d/fd/%d", tid, folder);
        if (LinkText(link, base, sizeof base) != 0)
            snprintf(base, sizeof base, "?");
        // An empty path (AT_EMPTY_PATH) names the folder descriptor's own file.
        Join(shown, PATH_MAX, base, path[0] ? "/" : "", path);
        Join(reach, PATH_MAX, link, path[0] ? "/" : "", path);
    }
    Tidy(shown);
    return path[0] == '\0';
}

// The watched folder a path lies under: its text from that folder's own path
// on (a process in a chroot or another mount namespace shows more in front).
static const char* WatchedPart(const char* path)
{
    for (int w = 0; w < Now.watchedCount; ++w) {
        size_t length = strlen(Now.watched[w]);
        for (const char* at = strstr(path, Now.watched[w]); at; at = strstr(at + 1, Now.watched[w]))
            if (at[length] == '\0' || at[length] == '/' || strcmp(at + length, " (deleted)") == 0)
                return at;
    }
    return NULL;
}

// ---- one call ---------------------------------------------------------------

static uint64_t Argument(const struct __ptrace_syscall_info* info, int i)
{
    return info->seccomp.args[i];
}

static int Folder(uint64_t value)
{
    return (int)(int32_t)value;
}

static void SetArgument(struct user_regs_struct* regs, int wide, int i, uint64_t value)
{
    unsigned long long* wideRegisters[] = {&regs->rdi, &regs->rsi, &regs->rdx, &regs->r10, &regs->r8, &regs->r9};
    unsigned long long* narrowRegisters[] = {&regs->rbx, &regs->rcx, &regs->rdx, &regs->rsi, &regs->rdi, &regs->rbp};
    *(wide ? wideRegisters : narrowRegisters)[i] = value;
}

// The file position a write through descriptor fd starts at.
static long long PositionOf(pid_t tid, int fd, const char* reach)
{
    char path[64], text[512];
    snprintf(path, sizeof path, "/proc/%d/fdinfo/%d", tid, fd);
    FILE* info = fopen(path, "r");
    if (!info)
        return 0;
    long long position = 0;
    unsigned flags = 0;
    while (fgets(text, sizeof text, info)) {
        sscanf(text, "pos: %lld", &position);
        sscanf(text, "flags: %o", &flags);
    }
    fclose(info);
    struct stat file;
    if ((flags & O_APPEND) && stat(reach, &file) == 0)
        position = file.st_size;
    return position;
}

// The bytes of a write, and where it ends; 0 where the call writes none.
static long long BytesOf(const struct Tracee* tracee, const struct __ptrace_syscall_info* info)
{
    const struct Call* call = tracee->pending.call;
    if (call->traits & Counted)
        return (long long)(tracee->wide ? Argument(info, 2) : (uint32_t)Argument(info, 2));
    if (!(call->traits & Vector))
        return 0;
    long long total = 0;
    for (uint64_t i = 0; i < Argument(info, 2) && i < 1024; ++i) {
        uint64_t entry[2] = {0, 0};
        uint32_t narrow[2] = {0, 0};
        if (tracee->wide ? ReadMemory(tracee->tid, Argument(info, 1) + 16 * i, entry, 16)
                         : ReadMemory(tracee->tid, Argument(info, 1) + 8 * i, narrow, 8))
            break;
        total += (long long)(tracee->wide ? entry[1] : narrow[1]);
    }
    return total;
}

// A write cut to at most bytes (at least 1): a write of a count is given a
// smaller count; a vector write is given its first buffer only, that one cut
// where it is longer (put back once the call is made).
static void CutWrite(struct Tracee* tracee, const struct __ptrace_syscall_info* info, struct user_regs_struct* regs,
                     long long bytes)
{
    struct Pending* pending = &tracee->pending;
    pending->cutTo = bytes;
    if (pending->call->traits & Counted) {
        SetArgument(regs, tracee->wide, 2, (uint64_t)bytes);
        return;
    }
    SetArgument(regs, tracee->wide, 2, 1);
    uint64_t first = Argument(info, 1);
    uint64_t length = 0;
    uint32_t narrow = 0;
    if (tracee->wide ? ReadMemory(tracee->tid, first + 8, &length, 8) : ReadMemory(tracee->tid, first + 4, &narrow, 4))
        return;
    if (!tracee->wide)
        length = narrow;
    if ((long long)length <= bytes)
        return;
    pending->vectorAt = first + (tracee->wide ? 8 : 4);
    pending->vectorLength = length;
    pending->vectorWide = tracee->wide;
    uint64_t cut = (uint64_t)bytes;
    uint32_t narrowCut = (uint32_t)bytes;
    WriteMemory(tracee->tid, pending->vectorAt, tracee->wide ? (void*)&cut : (void*)&narrowCut, tracee->wide ? 8 : 4);
}

// What a room-limited disk does with a write or allocation of a file: 0 where
// it fits, ENOSPC where nothing fits, or -N where only N bytes of a write do.
static long long RoomFor(struct Tracee* tracee, const struct __ptrace_syscall_info* info, const char* reach,
                         int fd)
{
    struct Pending* pending = &tracee->pending;
    const struct Call* call = pending->call;
    long long start = 0, bytes = 0;
    int wide = tracee->wide;
    if (call->kind == Write) {
        bytes = BytesOf(tracee, info);
        if (call->traits & Positioned) {
            start = wide ? (long long)Argument(info, 3) : (long long)(Argument(info, 3) | Argument(info, 4) << 32);
            if (start == -1 && strcmp(call->name, "pwritev2") == 0)
                start = PositionOf(tracee->tid, fd, reach);
        } else {
            start = PositionOf(tracee->tid, fd, reach);
        }
    } else if (strcmp(call->name, "fallocate") == 0) {
        start = wide ? (long long)Argument(info, 2) : (long long)(Argument(info, 2) | Argument(info, 3) << 32);
        bytes = wide ? (long long)Argument(info, 3) : (long long)(Argument(info, 4) | Argument(info, 5) << 32);
        if (Argument(info, 1) & ~(uint64_t)1) // punching holes or zeroing takes nothing new
            bytes = 0;
    } else if (call->shape == ByFd && call->kind == Allocate) {
        // ftruncate: shrinking gives room back after the call; growing takes none.
        pending->space = SpaceOf(reach);
        pending->end = -1;
        return 0;
    } else {
        return 0;
    }
    long long end = start + bytes;
    pending->space = SpaceOf(reach);
    pending->end = end;
    pending->asked = bytes;
    if (pending->space < 0 || bytes <= 0)
        return 0;
    long long taken = Spaces[pending->space].taken;
    long long growth = end > taken ? end - taken : 0;
    if (growth == 0 || RoomUsed() + growth <= Now.room)
        return 0;
    FreeRoomOfGoneFiles();
    long long free = Now.room - RoomUsed();
    if (growth <= free)
        return 0;
    long long fits = taken + (free > 0 ? free : 0) - start;
    if (call->kind != Write || fits <= 0)
        return ENOSPC;
    return -fits;
}

// A stat that fails leaves its buffer as it was, and a caller that reads it
// anyway (the Wine server, after it opens a file) meets what was there: here
// the worst, a folder's, where a file was asked about. (A 32-bit program's
// C library asks statx into a buffer of its own and copies it out only on
// success, so its callers keep what they had.)
static void LeaveFolderIn(const struct Tracee* tracee, const struct Call* call,
                          const struct __ptrace_syscall_info* info)
{
    const char* name = call->name;
    if (!strstr(name, "stat") || strstr(name, "statfs"))
        return; // access, statfs: no file's status
    if (strcmp(name, "statx") == 0) {
        unsigned char statx[256] = {0};
        uint32_t mask = 0x7ff; // the basic fields
        uint16_t mode = S_IFDIR | 0755;
        memcpy(statx, &mask, sizeof mask);
        memcpy(statx + 28, &mode, sizeof mode);
        WriteMemory(tracee->tid, Argument(info, 4), statx, sizeof statx);
        return;
    }
    uint64_t buffer = Argument(info, strcmp(name, "newfstatat") == 0 ? 2 : 1);
    if (tracee->wide) {
        struct stat folder = {.st_mode = S_IFDIR | 0755, .st_nlink = 2};
        WriteMemory(tracee->tid, buffer, &folder, sizeof folder);
    } else if (strstr(name, "64") || strcmp(name, "newfstatat") == 0) {
        // i386's stat64: its mode at 16 of its 96 bytes.
        unsigned char folder[96] = {0};
        uint32_t mode = S_IFDIR | 0755;
        memcpy(folder + 16, &mode, sizeof mode);
        WriteMemory(tracee->tid, buffer, folder, sizeof folder);
    }
}

// At a traced call's entry: whether it is watched, and whether it fails.
static void Enter(struct Tracee* tracee, const struct __ptrace_syscall_info* info)
{
    struct Pending* pending = &tracee->pending;
    const struct Call* call = &Calls[info->seccomp.ret_data];
    tracee->wide = info->arch == AUDIT_ARCH_X86_64;
    tracee->inCall = 0;
    if (!Watching)
        return;
    memset(pending, 0, sizeof *pending);
    pending->call = call;
    pending->cutTo = -1;
    pending->space = -1;
    pid_t tid = tracee->tid;
    char shown[PATH_MAX], reach[PATH_MAX], path[PATH_MAX];
    const char* part = NULL;
    const char* part2 = NULL;
    int fd = -1;
    int follow = 1;
    if (call->shape == ByFd || ((call->shape == ByAt) && Folder(Argument(info, 0)) != AT_FDCWD &&
                                ReadString(tid, Argument(info, 1), path, sizeof path) == 0 && path[0] == '\0')) {
        // By a descriptor (fstatat and the like with an empty path too).
        fd = Folder(Argument(info, 0));
        snprintf(reach, sizeof reach, "/proc/%d/fd/%d", tid, fd);
        if (fd < 0 || LinkText(reach, shown, sizeof shown) != 0 || shown[0] != '/')
            return;
        part = WatchedPart(shown);
    } else {
        int folder = call->shape == ByAt || call->shape == ByAts ? Folder(Argument(info, 0)) : AT_FDCWD;
        int at = call->shape == ByAt || call->shape == ByAts ? 1 : 0;
        if (ReadString(tid, Argument(info, at), path, sizeof path) != 0)
            return;
        int descriptor = Resolve(tid, folder, path, shown, reach);
        part = WatchedPart(shown);
        follow = call->kind == Open || call->kind == Mode || call->kind == Stat;
        if (strcmp(call->name, "lstat") == 0 || strcmp(call->name, "lstat64") == 0 || call->kind == Readlink)
            follow = 0;
        follow = follow || descriptor;
        if (call->shape == ByPaths || call->shape == ByAts) {
            int folder2 = call->shape == ByAts ? Folder(Argument(info, 2)) : AT_FDCWD;
            char path2[PATH_MAX], shown2[PATH_MAX], reach2[PATH_MAX];
            if (ReadString(tid, Argument(info, at + 1 + (call->shape == ByAts)), path2, sizeof path2) == 0) {
                Resolve(tid, folder2, path2, shown2, reach2);
                part2 = WatchedPart(shown2);
                if (part2) {
                    snprintf(pending->path2, sizeof pending->path2, "%s", part2);
                    // The folder the new name is made in.
                    char* slash = strrchr(reach2, '/');
                    if (slash) {
                        *slash = '\0';
                        IdOf(reach2, pending->folder, sizeof pending->folder, 1);
                    }
                }
            }
        }
    }
    if (!part && !part2)
        return;
    tracee->inCall = 1;
    snprintf(pending->path, sizeof pending->path, "%s", part ? part : "-");
    if (call->kind == Open) {
        if (strcmp(call->name, "creat") == 0)
            pending->openFlags = O_TRUNC;
        else if (strcmp(call->name, "openat2") == 0)
            ReadMemory(tid, Argument(info, 2), &pending->openFlags, sizeof pending->openFlags);
        else
            pending->openFlags = Argument(info, call->shape == ByAt ? 2 : 1);
    }
    IdOf(reach, pending->id, sizeof pending->id, follow);
    pending->changes = (call->traits & Changes) != 0;
    long n = ++Made[call->kind];
    int fails = 0;
    long long cut = -1;
    if (Now.room >= 0 && (call->kind == Write || call->kind == Allocate) && fd >= 0) {
        long long room = RoomFor(tracee, info, reach, fd);
        if (room > 0)
            fails = (int)room;
        else if (room < 0)
            cut = -room;
    } else if ((int)call->kind == Now.kind && (n == Now.at || (Now.onward && n > Now.at))) {
        if (Now.error != 0)
            fails = Now.error;
        else if (call->traits & (Counted | Vector)) {
            long long bytes = BytesOf(tracee, info);
            if (bytes > 1)
                cut = bytes / 2;
        }
    }
    if (!fails && cut < 0)
        return;
    ++Failed;
    struct user_regs_struct regs;
    if (ptrace(PTRACE_GETREGS, tid, 0, &regs) != 0)
        return;
    if (fails) {
        pending->fails = fails;
        // Linux closes a descriptor whatever close returns: it is made, and only its result changed.
        if (call->kind != Close)
            regs.orig_rax = (unsigned long long)-1;
        if (call->kind == Stat)
            LeaveFolderIn(tracee, call, info);
    } else {
        CutWrite(tracee, info, &regs, cut);
    }
    ptrace(PTRACE_SETREGS, tid, 0, &regs);
}

// At its exit: the result, as the call left it or as it is to fail.
static void Leave(struct Tracee* tracee, const struct __ptrace_syscall_info* info)
{
    struct Pending* pending = &tracee->pending;
    tracee->inCall = 0;
    long long result = info->exit.rval;
    if (pending->fails) {
        struct user_regs_struct regs;
        if (ptrace(PTRACE_GETREGS, tracee->tid, 0, &regs) == 0) {
            regs.rax = (unsigned long long)-(long long)pending->fails;
            ptrace(PTRACE_SETREGS, tracee->tid, 0, &regs);
        }
        result = -pending->fails;
    }
    if (pending->vectorAt) {
        uint64_t length = pending->vectorLength;
        uint32_t narrow = (uint32_t)length;
        WriteMemory(tracee->tid, pending->vectorAt, pending->vectorWide ? (void*)&length : (void*)&narrow,
                    pending->vectorWide ? 8 : 4);
    }
    if (pending->space >= 0 && result >= 0) {
        struct Space* space = &Spaces[pending->space];
        struct stat file;
        if (pending->end < 0) {
            // ftruncate: a shorter file gives its room back.
            if (space->handle >= 0 && fstat(space->handle, &file) == 0 && file.st_size < space->taken)
                space->taken = file.st_size;
        } else {
            long long end = pending->call->kind == Write ? pending->end - pending->asked + result : pending->end;
            if (end > space->taken)
                space->taken = end;
        }
    }
    // A new descriptor's file, for the record; one opened emptied takes no room.
    if (pending->call->kind == Open && result >= 0) {
        char reach[64];
        snprintf(reach, sizeof reach, "/proc/%d/fd/%lld", tracee->tid, result);
        IdOf(reach, pending->id, sizeof pending->id, 1);
        int space = Now.room >= 0 && (pending->openFlags & O_TRUNC) ? SpaceOf(reach) : -1;
        if (space >= 0)
            Spaces[space].taken = 0;
    }
    Append("call\t%ld\t%d\t%s\t%s\t%lld\t%d\t%d\t%s\t%s\t%s\t%s\n", ++Sequence, tracee->tid,
           KindNames[pending->call->kind], pending->call->name, result,
           pending->fails != 0 || pending->cutTo >= 0, pending->changes && result >= 0, pending->id,
           pending->folder[0] ? pending->folder : "-", pending->path, pending->path2[0] ? pending->path2 : "-");
}

// ---- the tracing ------------------------------------------------------------

// Every traced call stops here with its place in Calls; the others run on.
static void InstallFilter(void)
{
    struct sock_filter program[16 + 4 * CallCount];
    int n = 0;
    for (int wide = 1; wide >= 0; --wide) {
        program[n++] = (struct sock_filter)BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch));
        program[n++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K,
                                                    wide ? AUDIT_ARCH_X86_64 : AUDIT_ARCH_I386, 1, 0);
        int past = n++; // a jump past this arch's part, set below
        program[n++] = (struct sock_filter)BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr));
        for (int i = 0; i < CallCount; ++i) {
            int number = wide ? Calls[i].x86_64 : Calls[i].i386;
            if (number < 0)
                continue;
            program[n++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (unsigned)number, 0, 1);
            program[n++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE | (unsigned)i);
        }
        program[n++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
        program[past] = (struct sock_filter)BPF_STMT(BPF_JMP | BPF_JA, (unsigned)(n - past - 1));
    }
    program[n++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    struct sock_fprog filter = {(unsigned short)n, program};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0)
        _exit(126);
}

static void TracedChild(char** arguments, const struct Config* request)
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, NULL);
    if (request && request->cwd[0] && chdir(request->cwd) != 0)
        _exit(126);
    if (request && request->out[0]) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(request->out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(request->err[0] ? request->err : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
    }
    if (ptrace(PTRACE_TRACEME, 0, 0, 0) != 0)
        _exit(126);
    raise(SIGSTOP);
    InstallFilter();
    execvp(arguments[0], arguments);
    _exit(127);
}

static pid_t Start(char** arguments, const struct Config* request)
{
    pid_t child = fork();
    if (child < 0)
        Fatal("cannot start %s: %s", arguments[0], strerror(errno));
    if (child == 0)
        TracedChild(arguments, request);
    int status = 0;
    if (waitpid(child, &status, __WALL) != child || !WIFSTOPPED(status))
        Fatal("%s did not start", arguments[0]);
    long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                   PTRACE_O_TRACEEXEC | PTRACE_O_TRACESECCOMP | PTRACE_O_EXITKILL;
    if (ptrace(PTRACE_SETOPTIONS, child, 0, (void*)options) != 0)
        Fatal("cannot trace %s: %s", arguments[0], strerror(errno));
    Add(child, 0);
    Main = child;
    MainStatus = -1;
    ptrace(PTRACE_CONT, child, 0, 0);
    return child;
}

// One stop or end of a traced thread, handled and the thread let go on.
static void Handle(pid_t tid, int status)
{
    if (WIFEXITED(status) || WIFSIGNALED(status)) {
        if (tid == Main)
            MainStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        Remove(tid);
        return;
    }
    if (!WIFSTOPPED(status))
        return;
    struct Tracee* tracee = Add(tid, 1);
    int signal = WSTOPSIG(status);
    int event = status >> 16;
    struct __ptrace_syscall_info info;
    if (event == PTRACE_EVENT_SECCOMP) {
        if (ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0 && info.op == PTRACE_SYSCALL_INFO_SECCOMP &&
            info.seccomp.ret_data < CallCount)
            Enter(tracee, &info);
        ptrace(tracee->inCall ? PTRACE_SYSCALL : PTRACE_CONT, tid, 0, 0);
    } else if (signal == (SIGTRAP | 0x80)) {
        if (tracee->inCall && ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0 &&
            info.op == PTRACE_SYSCALL_INFO_EXIT)
            Leave(tracee, &info);
        tracee->inCall = 0;
        ptrace(PTRACE_CONT, tid, 0, 0);
    } else if (event == PTRACE_EVENT_CLONE || event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK) {
        unsigned long child = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, 0, &child);
        Add((pid_t)child, 1);
        ptrace(PTRACE_CONT, tid, 0, 0);
    } else if (event == PTRACE_EVENT_EXEC) {
        // Another thread's exec: that thread now goes on as this one.
        unsigned long former = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, 0, &former);
        if ((pid_t)former != tid)
            Remove((pid_t)former);
        Find(tid)->inCall = 0;
        ptrace(PTRACE_CONT, tid, 0, 0);
    } else if (event != 0) {
        ptrace(PTRACE_CONT, tid, 0, 0);
    } else if (tracee->fresh && signal == SIGSTOP) {
        tracee->fresh = 0;
        ptrace(PTRACE_CONT, tid, 0, 0);
    } else {
        // A signal for it, passed on; a group stop (no signal information) goes on.
        siginfo_t signalInfo;
        tracee->fresh = 0;
        ptrace(PTRACE_CONT, tid, 0, ptrace(PTRACE_GETSIGINFO, tid, 0, &signalInfo) == 0 ? signal : 0);
    }
}

// Handles whatever has happened; how many events there were.
static int Drain(void)
{
    int events = 0;
    int status;
    pid_t tid;
    while ((tid = waitpid(-1, &status, __WALL | WNOHANG)) > 0) {
        Handle(tid, status);
        ++events;
    }
    return events;
}

static void RunUntilMainEnds(void)
{
    while (MainStatus < 0) {
        int status;
        pid_t tid = waitpid(-1, &status, __WALL);
        if (tid < 0) {
            if (errno == EINTR)
                continue;
            Fatal("lost the traced command: %s", strerror(errno));
        }
        Handle(tid, status);
    }
}

static int Asleep(pid_t tid)
{
    char path[64], text[512];
    snprintf(path, sizeof path, "/proc/%d/stat", tid);
    FILE* file = fopen(path, "r");
    if (!file)
        return 1;
    size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = '\0';
    const char* end = strrchr(text, ')');
    return !end || end[1] == '\0' || end[2] == 'S' || end[2] == 'Z' || end[2] == 'X';
}

// Until every process left (a server, finishing what a program that ended
// left it: the handles it closes, the files it removes) waits for something
// new, seen twice over.
static void Settle(void)
{
    for (int quiet = 0, rounds = 0; quiet < 2 && rounds < 5000; ++rounds) {
        int asleep = !Drain();
        for (int i = 0; asleep && i < TraceeCount; ++i)
            asleep = Asleep(Tracees[i].tid);
        quiet = asleep ? quiet + 1 : 0;
        struct timespec pause = {0, 1000000};
        nanosleep(&pause, NULL);
    }
}

static void WriteWhole(const char* path, const char* text, size_t length)
{
    char temporary[PATH_MAX + 8];
    snprintf(temporary, sizeof temporary, "%s.part", path);
    FILE* file = fopen(temporary, "w");
    if (!file || fwrite(text, 1, length, file) != length || fclose(file) != 0 || rename(temporary, path) != 0)
        Fatal("cannot write %s: %s", path, strerror(errno));
}

static void BeginRun(const struct Config* config)
{
    Now = *config;
    memset(Made, 0, sizeof Made);
    Failed = 0;
    Sequence = 0;
    LogLength = 0;
    for (int i = 0; i < SpaceCount; ++i)
        if (Spaces[i].handle >= 0)
            close(Spaces[i].handle);
    SpaceCount = 0;
    Watching = 1;
}

static void EndRun(void)
{
    Watching = 0;
    if (!Now.report[0])
        return;
    char* calls = strndup(Log ? Log : "", LogLength);
    LogLength = 0;
    Append("exit %d\nfailed %ld\n", MainStatus, Failed);
    for (int k = 0; k < Kinds; ++k)
        Append("made %s %ld\n", KindNames[k], Made[k]);
    Append("%s", calls);
    free(calls);
    WriteWhole(Now.report, Log, LogLength);
}

static void EndEveryTracee(void)
{
    for (int i = 0; i < TraceeCount; ++i)
        kill(Tracees[i].tid, SIGKILL);
    int status;
    pid_t tid;
    while (TraceeCount > 0 && (tid = waitpid(-1, &status, __WALL)) > 0)
        if (WIFEXITED(status) || WIFSIGNALED(status))
            Remove(tid);
}

static void Serve(const char* folder, char** command)
{
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child, NULL);
    int signals = signalfd(-1, &child, SFD_CLOEXEC | SFD_NONBLOCK);
    int changes = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (signals < 0 || changes < 0 || inotify_add_watch(changes, folder, IN_MOVED_TO | IN_CLOSE_WRITE) < 0)
        Fatal("cannot watch %s: %s", folder, strerror(errno));
    char request[PATH_MAX], ready[PATH_MAX], stopped[PATH_MAX], log[PATH_MAX], text[64];
    // Its own messages where its starter can read them: it does not wait for it.
    snprintf(log, sizeof log, "%s/log", folder);
    int logFile = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFile >= 0) {
        dup2(logFile, 1);
        dup2(logFile, 2);
        close(logFile);
    }
    snprintf(request, sizeof request, "%s/request", folder);
    snprintf(ready, sizeof ready, "%s/ready", folder);
    snprintf(stopped, sizeof stopped, "%s/stopped", folder);
    Start(command, NULL);
    RunUntilMainEnds();
    Settle();
    int length = snprintf(text, sizeof text, "exit %d\n", MainStatus);
    WriteWhole(ready, text, (size_t)length);
    time_t lastRequest = time(NULL);
    for (;;) {
        if (access(request, F_OK) == 0) {
            lastRequest = time(NULL);
            struct Config config;
            ReadConfig(request, &config);
            unlink(request);
            if (config.stop || !config.arguments)
                break;
            BeginRun(&config);
            Start(config.arguments, &config);
            RunUntilMainEnds();
            Settle();
            EndRun();
            lastRequest = time(NULL);
            continue;
        }
        struct pollfd waits[2] = {{signals, POLLIN, 0}, {changes, POLLIN, 0}};
        poll(waits, 2, 1000);
        if (time(NULL) - lastRequest > IdleSeconds)
            break;
        char drained[4096];
        while (read(signals, drained, sizeof drained) > 0) {
        }
        while (read(changes, drained, sizeof drained) > 0) {
        }
        Drain();
    }
    EndEveryTracee();
    WriteWhole(stopped, "stopped\n", 8);
}

int main(int argc, char** argv)
{
    if (argc >= 5 && strcmp(argv[1], "--serve") == 0 && strcmp(argv[3], "--") == 0) {
        Serve(argv[2], argv + 4);
        return 0;
    }
    if (argc < 4 || strcmp(argv[2], "--") != 0)
        Fatal("usage: syscall_faults CONFIG -- COMMAND [ARGUMENTS...], or --serve FOLDER -- COMMAND [ARGUMENTS...]");
    struct Config config;
    ReadConfig(argv[1], &config);
    BeginRun(&config);
    Start(argv + 3, NULL);
    RunUntilMainEnds();
    // Whatever it left running (nothing, where it waits for its own) is traced no further.
    Settle();
    EndRun();
    EndEveryTracee();
    return MainStatus;
}
