#include "files/WriteTarget.h"

#include "files/Files.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

// As many links in a row as Linux follows.
constexpr int MostLinks = 40;
// A resolution that finds the names changed under it is made again, this often.
constexpr int ResolutionTries = 3;

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


std::string LinkTextAt(int folder, const std::string& name)
{
    std::string text(PATH_MAX, '\0');
    ssize_t length = ::readlinkat(folder, name.c_str(), text.data(), text.size());
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

struct SplitName {
    std::string folder;
    std::string name;
};

SplitName Split(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

bool NamesAFolder(const std::string& name)
{
    return name.empty() || name == "." || name == "..";
}

// The program's own descriptor a name spells, -1 for any other name.
int OwnDescriptor(const std::string& name)
{
    if (name == "/dev/stdin")
        return STDIN_FILENO;
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

bool IsDescriptorOf(int descriptor, const FileIdentity& identity)
{
    std::optional<FileIdentity> open = IdentityOfOpen(descriptor);
    return open && SameIdentity(*open, identity);
}

constexpr const char* OwnInput = "it is this program's own input";

// What the name stands for among the program's own descriptors: standard
// output or error written through, standard input refused.
void TakeOwnDescriptor(WriteTarget& target)
{
    if (!target.identity)
        return;
    for (int descriptor : {STDOUT_FILENO, STDERR_FILENO})
        if (IsDescriptorOf(descriptor, *target.identity)) {
            target.descriptor = descriptor;
            return;
        }
    // A device read as input (a terminal, /dev/null) loses nothing written to it.
    if (target.kind != TargetKind::Device && IsDescriptorOf(STDIN_FILENO, *target.identity))
        target = UnreachableTarget(target.path, 0, OwnInput);
}

enum class Resolved { Done, Changed };

// From the link at folder/name, each link after it read and its folder
// opened in turn, to the entry that is no link: the file the system found
// there, unless the names changed meanwhile.
Resolved FollowToFile(WriteTarget& target, HeldFolder folder, std::string name, const FileIdentity& file)
{
    std::string shown = target.path;
    for (int links = 0;; ++links) {
        struct stat entry {};
        if (links > MostLinks ||
            ::fstatat(static_cast<int>(folder.handle()), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
            return Resolved::Changed;
        if (!S_ISLNK(entry.st_mode)) {
            if (!SameIdentity(FileIdentity::Of(entry), file))
                return Resolved::Changed;
            break;
        }
        std::string text = LinkTextAt(static_cast<int>(folder.handle()), name);
        SplitName next = Split(text);
        HeldFolder nextFolder;
        if (text.empty() || NamesAFolder(next.name) || nextFolder.openIn(folder, next.folder) != 0)
            return Resolved::Changed;
        shown = text.starts_with('/') ? text : JoinPath(FolderOf(shown), text);
        folder = std::move(nextFolder);
        name = next.name;
    }
    target.path = shown;
    target.folder = std::move(folder);
    target.name = name;
    return Resolved::Done;
}

Resolved Resolve(const std::string& given, WriteTarget& target)
{
    target = WriteTarget();
    target.path = given;
    SplitName split = Split(given);
    if (NamesAFolder(split.name)) {
        struct stat info {};
        if (::stat(given.c_str(), &info) != 0)
            target = UnreachableTarget(given, errno);
        else
            target.kind = KindOfMode(info.st_mode);
        return Resolved::Done;
    }
    HeldFolder folder;
    if (int code = folder.open(split.folder)) {
        target = UnreachableTarget(given, code);
        return Resolved::Done;
    }
    int at = static_cast<int>(folder.handle());
    struct stat entry {};
    if (::fstatat(at, split.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            target = UnreachableTarget(given, errno);
            return Resolved::Done;
        }
        target.folder = std::move(folder);
        target.name = split.name;
        return Resolved::Done;
    }
    bool link = S_ISLNK(entry.st_mode);
    if (link)
        target.linkedTo = LinkTextAt(at, split.name);
    // The system follows a link itself, by its rules (a link in a shared
    // folder that another user owns is not followed for this one).
    int existing = ::openat(at, split.name.c_str(), O_PATH | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
    if (existing < 0) {
        int code = errno;
        if (link && (code == ENOENT || code == ENOTDIR)) {
            target.kind = TargetKind::DanglingLink;
            return Resolved::Done;
        }
        if (!link && code == ENOENT)
            return Resolved::Changed;
        target = UnreachableTarget(given, code);
        return Resolved::Done;
    }
    target.existing.reset(existing);
    struct stat info {};
    if (::fstat(existing, &info) != 0) {
        target = UnreachableTarget(given, errno);
        return Resolved::Done;
    }
    if (!link && !SameIdentity(FileIdentity::Of(info), FileIdentity::Of(entry)))
        return Resolved::Changed;
    target.kind = KindOfMode(info.st_mode);
    target.identity = FileIdentity::Of(info);
    if (target.kind == TargetKind::File && link) {
        if (FollowToFile(target, std::move(folder), split.name, *target.identity) == Resolved::Changed)
            return Resolved::Changed;
    } else {
        target.folder = std::move(folder);
        target.name = split.name;
    }
    TakeOwnDescriptor(target);
    return Resolved::Done;
}

}  // namespace

WriteTarget TargetOf(const std::string& name)
{
    if (int descriptor = OwnDescriptor(name); descriptor >= 0) {
        struct stat info {};
        if (descriptor == STDIN_FILENO)
            return UnreachableTarget(name, 0, OwnInput);
        if (::fstat(descriptor, &info) == 0) {
            WriteTarget target;
            target.kind = KindOfMode(info.st_mode);
            target.path = name;
            target.descriptor = descriptor;
            target.identity = FileIdentity::Of(info);
            return target;
        }
    }
    WriteTarget target;
    for (int attempt = 0; attempt < ResolutionTries; ++attempt)
        if (Resolve(name, target) == Resolved::Done)
            return target;
    return UnreachableTarget(name, 0, "its name changed while Veltrane looked at it; try again");
}

const KeptFile* KeptFileFor(const FileIdentity& identity, const KeptFiles& kept)
{
    for (const KeptFile& file : kept)
        if (SameIdentity(identity, file.identity))
            return &file;
    return nullptr;
}

bool SameEntryName(const std::string& a, const std::string& b)
{
    return a == b;
}

std::optional<KeptFile> KeptFileNamed(const std::string& path)
{
    int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    SystemHandle file(fd);
    std::optional<FileIdentity> identity = IdentityOfOpen(fd);
    if (!identity)
        return std::nullopt;
    return KeptFile{*identity, path, nullptr};
}

}  // namespace files
