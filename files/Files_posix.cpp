#include "files/Files.h"
#include "files/SystemFiles.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace files {

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    path += '/';
    path += name;
    return path;
}

std::string FolderOf(std::string_view path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos)
        return ".";
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string FullFolderOf(std::string_view path)
{
    std::string folder = FolderOf(path);
    char full[PATH_MAX];
    return ::realpath(folder.c_str(), full) ? std::string(full) : AbsolutePath(folder);
}

bool StreamIsIn(std::FILE* stream, const std::string& folder)
{
    int fd = ::fileno(stream);
    struct stat file {};
    struct stat wanted {};
    if (fd < 0 || ::fstat(fd, &file) != 0 || ::stat(folder.c_str(), &wanted) != 0 || file.st_dev != wanted.st_dev)
        return false;
    // The library removes its file's name at once; the system still tells
    // where it was. Without /proc, the same file system has to do.
    std::string name(PATH_MAX, '\0');
    ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name.data(), name.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= name.size())
        return true;
    name.resize(static_cast<std::size_t>(length));
    struct stat parent {};
    return ::stat(FolderOf(name).c_str(), &parent) == 0 && parent.st_dev == wanted.st_dev &&
           parent.st_ino == wanted.st_ino;
}

StreamWatch::StreamWatch(std::FILE* stream) : descriptor_(::fileno(stream))
{
    if (descriptor_ >= 0)
        second_ = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
}

StreamWatch::~StreamWatch()
{
    if (second_ >= 0)
        ::close(static_cast<int>(second_));
}

bool StreamWatch::stillOpen() const
{
    // The file has no name, so a descriptor on it is ours or a copy of ours.
    struct stat now {};
    struct stat kept {};
    return second_ >= 0 && ::fstat(descriptor_, &now) == 0 && ::fstat(static_cast<int>(second_), &kept) == 0 &&
           now.st_dev == kept.st_dev && now.st_ino == kept.st_ino;
}

int ErrorWritingAtEnd(std::FILE* stream)
{
    int fd = ::fileno(stream);
    if (fd < 0 || ::lseek(fd, 0, SEEK_END) < 0)
        return errno;
    const char byte = 0;
    return ::write(fd, &byte, 1) == 1 ? 0 : errno;
}

std::string SystemErrorText(int code)
{
    return std::strerror(code);
}

int LastSystemError()
{
    return errno;
}

void ClearLastSystemError()
{
    errno = 0;
}

StandardErrorSilenced::StandardErrorSilenced()
{
    std::fflush(stderr);
    int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (nowhere >= 0 && saved_ >= 0)
        ::dup2(nowhere, STDERR_FILENO);
    if (nowhere >= 0)
        ::close(nowhere);
}

StandardErrorSilenced::~StandardErrorSilenced()
{
    if (saved_ < 0)
        return;
    int code = errno;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    errno = code;
}

std::optional<std::string> ExactAnsi(std::string_view name)
{
    return std::string(name);
}

std::string NameFromAnsi(std::string_view bytes)
{
    return std::string(bytes);
}

std::optional<std::string> NameFromUtf8(std::string_view bytes)
{
    return std::string(bytes);
}

unsigned AnsiCodePage()
{
    return 0;
}

std::optional<std::string> AnsiNameOf(const std::string& path)
{
    return path;
}

int InvalidNameError()
{
    return EINVAL;
}

std::string AbsolutePath(std::string_view name)
{
    if (!name.empty() && name[0] == '/')
        return std::string(name);
    std::string folder(4096, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE)
            return std::string(name);
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return JoinPath(folder == "/" ? "" : folder, name);
}

void LoadLibrariesFromSystemFolderOnly() {}

int CurrentYear()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

PathKind KindOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return PathKind::Missing;
    if (S_ISDIR(info.st_mode))
        return PathKind::Directory;
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
}

OpenResult ReadOnlyFile::openWritten(const std::string& path)
{
    close();
    // O_NONBLOCK keeps a FIFO of that name from hanging the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        int code = errno;
        return {code == ENOENT || code == ENOTDIR ? OpenResult::Missing : OpenResult::Failed,
                SystemErrorText(code), code};
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        int code = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return {OpenResult::Failed, SystemErrorText(code), code};
    }
    handle_ = fd;
    bytesRead_ = 0;
    sizeWhenOpened_ = static_cast<std::uint64_t>(info.st_size);
    readError_ = 0;
    return {OpenResult::Opened, {}};
}

std::size_t ReadOnlyFile::read(unsigned char* buffer, std::size_t size)
{
    std::size_t total = 0;
    while (handle_ != Closed && total < size && readError_ == 0) {
        std::size_t want = allowedRead(size - total);
        if (want == 0)
            break;
        ssize_t got = ::read(static_cast<int>(handle_), buffer + total, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            readError_ = errno;
        if (got <= 0)
            break;
        total += static_cast<std::size_t>(got);
        bytesRead_ += static_cast<std::size_t>(got);
    }
    return total;
}

void ReadOnlyFile::close()
{
    if (handle_ != Closed) {
        ::close(static_cast<int>(handle_));
        handle_ = Closed;
    }
}

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
    if (target.descriptor < 0 && (!opened || !target.identity || !SameIdentity(*opened, *target.identity))) {
        ::close(fd);
        return EEXIST;
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
