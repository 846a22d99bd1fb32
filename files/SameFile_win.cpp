#include "files/Files.h"
#include "files/WideNames.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>

namespace files {

namespace {

// A file's index, with its size and times: under Wine the index is the inode
// and the volume serial is the drive's, so one file reached through two drives
// (a bind mount, or C: and Z:) has two serials, and two files on two file
// systems of one drive can share an index. The times, to a tenth of a
// microsecond, and the size tell those apart; on Windows itself they add
// nothing to the index.
struct Identity {
    DWORD indexHigh;
    DWORD indexLow;
    std::uint64_t size;
    std::int64_t written;
    std::int64_t changed;
    bool operator==(const Identity&) const = default;
};

// The file or folder a name leads to, links followed; nothing when there is
// none. Asking for no access with every sharing mode works while another
// program holds the file.
std::optional<Identity> IdentityOf(const std::string& path, bool& unknown)
{
    std::optional<std::wstring> wide = WideName(path);
    // A device name (CON, NUL, ...) is no file, whatever its open says.
    if (!wide || path.rfind("\\\\.\\", 0) == 0)
        return std::nullopt;
    HANDLE file = CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // 433, ERROR_NO_SUCH_DEVICE, is what Wine says of a socket.
        constexpr DWORD Nothing[] = {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME,
                                     ERROR_BAD_PATHNAME,   ERROR_INVALID_DRIVE,  ERROR_NOT_READY, 433};
        unknown = unknown || std::find(std::begin(Nothing), std::end(Nothing), code) == std::end(Nothing);
        return std::nullopt;
    }
    // A pipe or a device (under Wine a FIFO, or /dev/null through Z:) is no
    // file at all, let alone the game's.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    bool known = GetFileInformationByHandle(file, &info) &&
                 GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times);
    CloseHandle(file);
    if (!known) {
        unknown = true;
        return std::nullopt;
    }
    return Identity{info.nFileIndexHigh, info.nFileIndexLow,
                    std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow, times.LastWriteTime.QuadPart,
                    times.ChangeTime.QuadPart};
}

// Some network file systems give every file the index 0: there only names tell.
bool Indexed(const Identity& identity)
{
    return (identity.indexHigh | identity.indexLow) != 0;
}

// In upper case, as the file system compares names.
std::wstring Upper(const std::string& text)
{
    std::wstring wide = WideText(text);
    if (!wide.empty())
        CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return wide;
}

// Whether two full paths of existing files or folders lead to the same one.
bool SameExisting(const Identity& a, const Identity& b, const std::string& fullA, const std::string& fullB)
{
    return Indexed(a) && Indexed(b) ? a == b : Upper(fullA) == Upper(fullB);
}

std::string NameIn(const std::string& fullPath)
{
    std::size_t separator = fullPath.find_last_of("\\/:");
    return separator == std::string::npos ? fullPath : fullPath.substr(separator + 1);
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b)
{
    // The full path drops what Windows ignores ("." and "..", trailing dots and blanks).
    std::string fullA = AbsolutePath(a), fullB = AbsolutePath(b);
    bool unknown = false;
    std::optional<Identity> first = IdentityOf(fullA, unknown), second = IdentityOf(fullB, unknown);
    if (unknown)
        return true;
    if (first && second)
        return SameExisting(*first, *second, fullA, fullB);
    if (first || second)
        return false;
    std::wstring name = Upper(NameIn(fullA));
    if (name.empty() || name != Upper(NameIn(fullB)))
        return false;
    std::string folderA = FolderOf(fullA), folderB = FolderOf(fullB);
    std::optional<Identity> inA = IdentityOf(folderA, unknown), inB = IdentityOf(folderB, unknown);
    return unknown || (inA && inB && SameExisting(*inA, *inB, folderA, folderB));
}

}  // namespace files
