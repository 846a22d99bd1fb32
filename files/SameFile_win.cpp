#include "files/Files.h"

#include <windows.h>

#include <optional>

namespace files {

namespace {

struct Identity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
    bool operator==(const Identity&) const = default;
};

// The file or folder a name leads to, links followed; nothing when there is
// none. Asking for no access with every sharing mode works while another
// program holds the file.
std::optional<Identity> IdentityOf(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known)
        return std::nullopt;
    return Identity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// The last part of a full path, in upper case as the file system compares names.
std::string UpperNameIn(const std::string& fullPath)
{
    std::size_t separator = fullPath.find_last_of("\\/:");
    std::string name = separator == std::string::npos ? fullPath : fullPath.substr(separator + 1);
    if (!name.empty())
        CharUpperBuffA(name.data(), static_cast<DWORD>(name.size()));
    return name;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    std::optional<Identity> first = IdentityOf(a), second = IdentityOf(b);
    if (first || second)
        return first == second;
    // The full path drops what Windows ignores ("." and "..", trailing dots and blanks).
    std::string fullA = AbsolutePath(a), fullB = AbsolutePath(b);
    std::string name = UpperNameIn(fullA);
    if (name.empty() || name != UpperNameIn(fullB))
        return false;
    std::optional<Identity> folder = IdentityOf(FolderOf(fullA));
    return folder && folder == IdentityOf(FolderOf(fullB));
}

}  // namespace files
