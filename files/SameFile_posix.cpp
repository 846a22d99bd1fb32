#include "files/Files.h"

#include <optional>
#include <sys/stat.h>

namespace files {

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

// The file a name leads to, links followed; nothing when there is none.
std::optional<Identity> IdentityOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
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
    std::optional<Identity> first = IdentityOf(a), second = IdentityOf(b);
    if (first || second)
        return first == second;
    std::string name = NameIn(a);
    if (name.empty() || name != NameIn(b))
        return false;
    std::optional<Identity> folder = IdentityOf(FolderOf(a));
    return folder && folder == IdentityOf(FolderOf(b));
}

}  // namespace files
