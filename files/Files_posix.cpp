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

namespace {

// As many links in a row as Linux follows.
constexpr int MostLinks = 40;

TargetKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return TargetKind::File;
    if (S_ISDIR(mode))
        return TargetKind::Folder;
    if (S_ISFIFO(mode))
        return TargetKind::Pipe;
    if (S_ISCHR(mode))
        return TargetKind::Device;
    if (S_ISBLK(mode))
        return TargetKind::BlockDevice;
    return TargetKind::Socket;
}

std::string LinkText(const std::string& path)
{
    std::string text(PATH_MAX, '\0');
    ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

}  // namespace

namespace {

int OwnDescriptor(const std::string& name)
{
    if (name == "/dev/stdout")
        return STDOUT_FILENO;
    if (name == "/dev/stderr")
        return STDERR_FILENO;
    for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        std::string_view number = std::string_view(name).substr(name.starts_with(prefix) ? prefix.size() : name.size());
        if (!number.empty() && number.size() < 9 && number.find_first_not_of("0123456789") == std::string_view::npos)
            return std::stoi(std::string(number));
    }
    return -1;
}

}  // namespace

WriteTarget TargetOf(const std::string& name)
{
    WriteTarget target{TargetKind::Missing, name, {}, 0, {}, {}, -1};
    struct stat info {};
    if (int descriptor = OwnDescriptor(name); descriptor >= 0 && ::fstat(descriptor, &info) == 0) {
        target.kind = KindOfMode(info.st_mode);
        target.descriptor = descriptor;
        return target;
    }
    // Standard output or error however it is spelt (/dev/./stdout, /proc/<pid>/fd/1,
    // the very file the shell redirected it to).
    struct stat output {};
    for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
        if (::stat(name.c_str(), &info) == 0 && ::fstat(descriptor, &output) == 0 && info.st_dev == output.st_dev &&
            info.st_ino == output.st_ino) {
            target.kind = KindOfMode(info.st_mode);
            target.descriptor = descriptor;
            return target;
        }
    }
    // Only the name's own last part is followed here: the folders on the way
    // are followed by the system, and the new file goes where they lead anyway.
    for (int links = 0; ::lstat(target.path.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++links) {
        target.linkedTo = LinkText(target.path);
        if (links == MostLinks || target.linkedTo.empty())
            return {TargetKind::Unreachable, name, target.linkedTo, links == MostLinks ? ELOOP : errno, {}, {}, -1};
        target.path = target.linkedTo[0] == '/' ? target.linkedTo : JoinPath(FolderOf(target.path), target.linkedTo);
    }
    if (::lstat(target.path.c_str(), &info) == 0) {
        target.kind = KindOfMode(info.st_mode);
    } else if (!target.linkedTo.empty() && ::stat(name.c_str(), &info) == 0) {
        // A link of the system's own (/dev/stdout, /proc/self/fd/1) whose text
        // names no file ("pipe:[...]"): the system leads the name itself there.
        target.kind = KindOfMode(info.st_mode);
        target.path = name;
    } else if (!target.linkedTo.empty()) {
        bool nothing = errno == ENOENT || errno == ENOTDIR;
        target.kind = nothing ? TargetKind::DanglingLink : TargetKind::Unreachable;
        target.error = nothing ? 0 : errno;
    }
    return target;
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

void KeepAccessOf(const std::string& path, std::intptr_t handle)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return;
    // The owner only where the program may (as root): elsewhere the new file
    // is its user's, as the old one was or as any file they write is.
    if (::fchown(static_cast<int>(handle), info.st_uid, info.st_gid) != 0) {
    }
    ::fchmod(static_cast<int>(handle), info.st_mode & 07777);
}

int CreateNew(const std::string& path, std::intptr_t& handle)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    handle = fd;
    return 0;
}

int OpenExisting(const std::string& path, std::intptr_t& handle)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    handle = fd;
    return 0;
}

int OpenInPlace(const std::string& path, std::intptr_t& handle)
{
    // Neither created nor emptied: a pipe's open waits for its reader, as the
    // shell's would.
    int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !IsWrittenInPlace(KindOfMode(info.st_mode))) {
        int code = S_ISREG(info.st_mode) ? EEXIST : errno;
        ::close(fd);
        return code;
    }
    handle = fd;
    return 0;
}

int DuplicateDescriptor(int descriptor, std::intptr_t& handle)
{
    int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return errno;
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

void CloseQuietly(std::intptr_t handle)
{
    ::close(static_cast<int>(handle));
}

int ReplaceWith(const std::string& source, const std::string& target)
{
    return ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

int MoveNoReplace(const std::string& source, const std::string& target)
{
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without it: a link fails where the name is taken.
    if (::link(source.c_str(), target.c_str()) != 0)
        return errno;
    ::unlink(source.c_str());
    return 0;
}

bool IsExistsError(int code)
{
    return code == EEXIST;
}

void RemoveQuietly(const std::string& path)
{
    ::unlink(path.c_str());
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
