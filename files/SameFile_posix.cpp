#include "files/Files.h"

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace files {

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

// The file a name leads to, links followed; nothing when there is none, or
// when the system cannot say (a failed read of a folder): unknown is then set.
std::optional<Identity> IdentityOf(const std::string& path, bool& unknown)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        unknown = unknown || (errno != ENOENT && errno != ENOTDIR);
        return std::nullopt;
    }
    return Identity{info.st_dev, info.st_ino};
}

std::string NameIn(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    bool unknown = false;
    std::optional<Identity> first = IdentityOf(a, unknown), second = IdentityOf(b, unknown);
    if (unknown)
        return true;
    if (first || second)
        return first == second;
    std::string name = NameIn(a);
    if (name.empty() || name != NameIn(b))
        return false;
    std::optional<Identity> folder = IdentityOf(FolderOf(a), unknown);
    std::optional<Identity> other = IdentityOf(FolderOf(b), unknown);
    return unknown || (folder && folder == other);
}

}  // namespace files
