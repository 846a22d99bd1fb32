// The replacing writer's calls to the system, natively.
#include "files/Files.h"
#include "files/SystemFiles.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace files {
namespace system {

namespace {

bool Privileged(const std::string& attribute)
{
    // Attributes that only the system or root may set: the file keeps what
    // the system gives it there.
    return attribute.starts_with("security.") || attribute.starts_with("trusted.");
}

// A file's extended attributes, read through a descriptor of it or, where
// that is one for no reading, through the system's link to it.
class Attributes {
public:
    Attributes(std::intptr_t file) : fd_(static_cast<int>(file)), path_("/proc/self/fd/" + std::to_string(file)) {}

    // The names, each ended by a NUL.
    int names(std::string& names) const
    {
        return Read(names, [&](char* into, std::size_t size) {
            return readable() ? ::flistxattr(fd_, into, size) : ::listxattr(path_.c_str(), into, size);
        });
    }

    int value(const char* attribute, std::string& value) const
    {
        return Read(value, [&](char* into, std::size_t size) {
            return readable() ? ::fgetxattr(fd_, attribute, into, size) : ::getxattr(path_.c_str(), attribute, into, size);
        });
    }

private:
    bool readable() const { return (::fcntl(fd_, F_GETFL) & O_PATH) != O_PATH; }

    template <typename Call>
    static int Read(std::string& bytes, Call&& call)
    {
        for (;;) {
            ssize_t size = call(nullptr, 0);
            if (size < 0)
                return errno;
            bytes.assign(static_cast<std::size_t>(size), '\0');
            size = size == 0 ? 0 : call(bytes.data(), bytes.size());
            if (size >= 0) {
                bytes.resize(static_cast<std::size_t>(size));
                return 0;
            }
            if (errno != ERANGE)
                return errno;
        }
    }

    int fd_;
    std::string path_;
};

constexpr const char* AccessList = "system.posix_acl_access";

// The replaced file's extended attributes, its access list among them, on the new file.
int KeepAttributes(const WriteTarget& target, int file)
{
    Attributes replaced(target.existing.get());
    std::string names;
    int code = replaced.names(names);
    SystemHandle readable;
    if (code == ENOENT) {
        // No /proc: the file opened again by its name in the held folder, if it is still the one.
        int fd = ::openat(static_cast<int>(target.folder.handle()), target.name.c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        readable.reset(fd);
        std::optional<FileIdentity> opened = IdentityOfOpen(fd);
        if (!opened || !target.identity || !SameIdentity(*opened, *target.identity))
            return EAGAIN;
        replaced = Attributes(fd);
        code = replaced.names(names);
    }
    if (code == ENOTSUP)
        names.clear();
    else if (code != 0)
        return code;
    bool hasAccessList = false;
    std::string value;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        const char* attribute = names.c_str() + at;
        hasAccessList = hasAccessList || std::strcmp(attribute, AccessList) == 0;
        code = replaced.value(attribute, value);
        if (code == 0 && ::fsetxattr(file, attribute, value.data(), value.size(), 0) != 0)
            code = errno;
        if (code != 0 && code != ENODATA && !(Privileged(attribute) && (code == EPERM || code == ENOTSUP)))
            return code;
    }
    // An access list the folder handed down, which the replaced file did not have, goes.
    if (!hasAccessList && ::fremovexattr(file, AccessList) != 0 && errno != ENODATA && errno != ENOTSUP)
        return errno;
    return 0;
}

}  // namespace

int KeepAccess(const WriteTarget& target, std::intptr_t handle)
{
    int file = static_cast<int>(handle);
    struct stat info {};
    if (::fstat(static_cast<int>(target.existing.get()), &info) != 0)
        return errno;
    // The owner only where the program may (as root): elsewhere the new file
    // is its user's, as the old one was or as any file they write is.
    if (::fchown(file, info.st_uid, info.st_gid) != 0 && errno != EPERM)
        return errno;
    if (int code = KeepAttributes(target, file))
        return code;
    // Last: the mode agrees with the access list, and a change of owner
    // took no set-user bits away.
    return ::fchmod(file, info.st_mode & 07777) == 0 ? 0 : errno;
}

int OpenInPlace(const WriteTarget& target, std::intptr_t& handle)
{
    int fd = -1;
    if (target.descriptor >= 0) {
        fd = ::fcntl(target.descriptor, F_DUPFD_CLOEXEC, 0);
    } else {
        // Neither created nor emptied: a pipe's open waits for its reader, as
        // the shell's would. Opened again through the descriptor the name
        // was resolved to, so it is the very pipe or device.
        std::string path = "/proc/self/fd/" + std::to_string(target.existing.get());
        fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            fd = ::openat(static_cast<int>(target.folder.handle()), target.name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0)
        return errno;
    std::optional<FileIdentity> opened = IdentityOfOpen(fd);
    int code = opened ? 0 : errno;
    if (target.descriptor < 0 && (!opened || !target.identity || !SameIdentity(*opened, *target.identity))) {
        ::close(fd);
        return code != 0 ? code : EEXIST;
    }
    handle = fd;
    return 0;
}

namespace {

// While one lives, a write to a pipe whose reader has gone fails with EPIPE in
// this thread instead of ending the program; the signal it raises is taken back.
class PipeSignalHeld {
public:
    PipeSignalHeld()
    {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        pendingBefore_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        ::pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    }
    ~PipeSignalHeld()
    {
        sigset_t pending;
        if (!pendingBefore_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            struct timespec now {};
            ::sigtimedwait(&pipe_, nullptr, &now);
        }
        ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld&) = delete;
    PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

private:
    sigset_t pipe_;
    sigset_t saved_;
    bool pendingBefore_ = false;
};

}  // namespace

int WriteAll(std::intptr_t handle, const char* data, std::size_t size)
{
    PipeSignalHeld held;
    while (size > 0) {
        ssize_t put = ::write(static_cast<int>(handle), data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : EIO;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

int Allocate(std::intptr_t handle, std::uint64_t size)
{
    return ::posix_fallocate(static_cast<int>(handle), 0, static_cast<off_t>(size));
}

void FailWritesPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

int SyncAndClose(std::intptr_t handle)
{
    int code = ::fsync(static_cast<int>(handle)) == 0 ? 0 : errno;
    if (::close(static_cast<int>(handle)) != 0 && code == 0)
        code = errno;
    return code;
}

int Close(std::intptr_t handle)
{
    return ::close(static_cast<int>(handle)) == 0 ? 0 : errno;
}

bool IsExistsError(int code)
{
    return code == EEXIST;
}

bool IsMissingError(int code)
{
    return code == ENOENT;
}

bool TakenByNothing(const WriteTarget&)
{
    return false;
}

std::string NameFault(const std::string&)
{
    return {};
}

unsigned long ProcessId()
{
    return static_cast<unsigned long>(::getpid());
}

}  // namespace system
}  // namespace files
