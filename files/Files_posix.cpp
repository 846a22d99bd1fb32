#include "files/Files.h"
#include "files/SystemFiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
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

int StreamIsIn(std::FILE* stream, const std::string& folder, bool& in)
{
    in = false;
    int fd = ::fileno(stream);
    struct stat file {};
    struct stat wanted {};
    if (fd < 0 || ::fstat(fd, &file) != 0 || ::stat(folder.c_str(), &wanted) != 0)
        return fd < 0 ? EBADF : errno;
    if (file.st_dev != wanted.st_dev)
        return 0;
    // The library removes its file's name at once; the system still tells
    // where it was. Without /proc, the same file system has to do.
    std::string name(PATH_MAX, '\0');
    ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), name.data(), name.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= name.size()) {
        in = true;
        return 0;
    }
    name.resize(static_cast<std::size_t>(length));
    struct stat parent {};
    if (::stat(FolderOf(name).c_str(), &parent) != 0)
        return errno;
    in = parent.st_dev == wanted.st_dev && parent.st_ino == wanted.st_ino;
    return 0;
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
    int code = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (code != 0) {
        ::close(fd);
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

}  // namespace files
