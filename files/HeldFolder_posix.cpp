#include "files/HeldFolder.h"

#include <cerrno>
#include <sys/syscall.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace files {

void SystemHandle::reset(std::intptr_t handle)
{
    if (handle_ != None)
        ::close(static_cast<int>(handle_));
    handle_ = handle;
}

std::optional<FileIdentity> IdentityOfOpen(std::intptr_t handle)
{
    struct stat info {};
    if (handle == SystemHandle::None || ::fstat(static_cast<int>(handle), &info) != 0)
        return std::nullopt;
    return FileIdentity::Of(info);
}

FileIdentity FileIdentity::Of(const struct stat& info)
{
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool SameIdentity(const FileIdentity& a, const FileIdentity& b)
{
    return a.device == b.device && a.inode == b.inode;
}

SystemHandle HoldFile(std::intptr_t open)
{
    int fd = ::open(("/proc/self/fd/" + std::to_string(open)).c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        fd = ::fcntl(static_cast<int>(open), F_DUPFD_CLOEXEC, 0);
    return SystemHandle(fd);
}

namespace {

int Descriptor(const SystemHandle& handle)
{
    return static_cast<int>(handle.get());
}

// A removal that fails for a moment (a busy network file system) is tried again.
constexpr int RemovalTries = 3;

template <typename Call>
int Retried(Call&& call)
{
    int code = 0;
    for (int tried = 0; tried < RemovalTries; ++tried) {
        if (call() == 0)
            return 0;
        code = errno;
        if (code == ENOENT)
            return 0;
    }
    return code;
}

}  // namespace

int HeldFolder::open(const std::string& path)
{
    return openIn(HeldFolder(), path);
}

int HeldFolder::openIn(const HeldFolder& base, const std::string& path)
{
    int from = base.isOpen() ? Descriptor(base.handle_) : AT_FDCWD;
    // Read access, so that the folder can be synced; a folder that may only
    // be searched is still held, and synced through its file system.
    int fd = ::openat(from, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::openat(from, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    handle_.reset(fd);
    path_ = path.starts_with('/') || !base.isOpen() ? path : base.path_ + "/" + path;
    return 0;
}

int HeldFolder::createNew(const std::string& name, std::intptr_t& handle) const
{
    int fd = ::openat(Descriptor(handle_), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    handle = fd;
    return 0;
}

int HeldFolder::openExisting(const std::string& name, std::intptr_t& handle) const
{
    int fd = ::openat(Descriptor(handle_), name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    handle = fd;
    return 0;
}

int HeldFolder::identityOf(const std::string& name, FileIdentity& identity) const
{
    struct stat info {};
    if (::fstatat(Descriptor(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    identity = FileIdentity::Of(info);
    return 0;
}

int HeldFolder::move(const std::string& from, const HeldFolder& into, const std::string& to, bool replace) const
{
    int folder = Descriptor(handle_), target = Descriptor(into.handle_);
    if (::renameat2(folder, from.c_str(), target, to.c_str(), replace ? 0 : RENAME_NOREPLACE) == 0)
        return 0;
    if (replace || (errno != EINVAL && errno != ENOSYS))
        return errno;
    // A file system without it: a link fails where the name is taken, and
    // the first name is then taken off it.
    if (::linkat(folder, from.c_str(), target, to.c_str(), 0) != 0)
        return errno;
    if (int code = Retried([&] { return ::unlinkat(folder, from.c_str(), 0); }); code != 0) {
        Retried([&] { return ::unlinkat(target, to.c_str(), 0); });
        return code;
    }
    return 0;
}

int HeldFolder::exchange(const std::string& a, const HeldFolder& other, const std::string& b) const
{
    if (::renameat2(Descriptor(handle_), a.c_str(), Descriptor(other.handle_), b.c_str(), RENAME_EXCHANGE) == 0)
        return 0;
    return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP ? NoExchange : errno;
}

int HeldFolder::remove(const std::string& name) const
{
    return Retried([&] { return ::unlinkat(Descriptor(handle_), name.c_str(), 0); });
}

int HeldFolder::makeFolder(const std::string& name) const
{
    return ::mkdirat(Descriptor(handle_), name.c_str(), 0700) == 0 ? 0 : errno;
}

namespace {

// The names in an open folder, read with the system's own call: the C
// library's fdopendir first asks what the descriptor is, and a folder whose
// every stat fails must still go.
int NamesIn(int folder, std::vector<std::string>& names)
{
    alignas(8) char buffer[8192];
    for (;;) {
        long got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        for (long at = 0; at < got;) {
            struct Entry {
                std::uint64_t inode;
                std::int64_t next;
                unsigned short length;
                unsigned char type;
                char name[1];
            };
            const auto* entry = reinterpret_cast<const Entry*>(buffer + at);
            std::string each = entry->name;
            if (each != "." && each != "..")
                names.push_back(each);
            at += entry->length;
        }
    }
}

}  // namespace

namespace {

// Removes every entry of an open folder but kept; 0 only when they are gone.
int RemoveEntries(int folder, const std::string& kept)
{
    std::vector<std::string> names;
    int code = NamesIn(folder, names);
    for (const std::string& each : names)
        if (each != kept)
            if (int removed = Retried([&] { return ::unlinkat(folder, each.c_str(), 0); }); removed != 0 && code == 0)
                code = removed;
    return code;
}

}  // namespace

int HeldFolder::removeFolder(const std::string& name) const
{
    auto removeEmpty = [&] { return ::unlinkat(Descriptor(handle_), name.c_str(), AT_REMOVEDIR); };
    int inner = ::openat(Descriptor(handle_), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // A folder that cannot be listed goes where it is empty.
    if (inner < 0)
        return errno == ENOENT ? 0 : Retried(removeEmpty);
    int code = RemoveEntries(inner, {});
    ::close(inner);
    // Gone is gone, whatever its listing said.
    int removed = Retried(removeEmpty);
    return removed == 0 ? 0 : code != 0 ? code : removed;
}

int HeldFolder::removeAllBut(const std::string& kept) const
{
    // A descriptor of its own: listing moves the one it reads from.
    int listed = ::openat(Descriptor(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0)
        return errno;
    int code = RemoveEntries(listed, kept);
    ::close(listed);
    return code;
}

int HeldFolder::sync(const std::string& entry) const
{
    int folder = Descriptor(handle_);
    if (::fsync(folder) == 0)
        return 0;
    if (errno != EBADF || (::fcntl(folder, F_GETFL) & O_PATH) != O_PATH)
        return errno;
    int file = ::openat(folder, entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        file = ::openat(folder, entry.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return errno;
    int code = ::syncfs(file) == 0 ? 0 : errno;
    ::close(file);
    return code;
}

std::string HeldFolder::nameFor(const std::string& name) const
{
    std::string link = "/proc/self/fd/" + std::to_string(Descriptor(handle_));
    struct stat through {};
    struct stat held {};
    if (::stat(link.c_str(), &through) == 0 && ::fstat(Descriptor(handle_), &held) == 0 &&
        through.st_dev == held.st_dev && through.st_ino == held.st_ino)
        return name.empty() ? link : link + "/" + name;
    // Without /proc: the name it was opened by.
    return name.empty() ? path_ : path_ + "/" + name;
}

}  // namespace files
