// The replacing writer's calls to the system, on Windows.
#include "files/Files.h"
#include "files/SystemFiles.h"
#include "files/WideNames.h"
#include "files/WriteTarget.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace files {

namespace system {

int KeepAccess(const WriteTarget&, std::intptr_t)
{
    return 0;
}

int OpenInPlace(const WriteTarget& target, std::intptr_t& handle)
{
    // A device or a named pipe, opened again by its name: it has no folder.
    std::optional<std::wstring> name = WideName(target.path);
    if (!name)
        return ERROR_NO_UNICODE_TRANSLATION;
    HANDLE file = CreateFileW(name->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    DWORD type = GetFileType(file);
    if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
        CloseHandle(file);
        return ERROR_FILE_EXISTS;
    }
    handle = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

bool IsMissingError(int code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool TakenByNothing(const WriteTarget& target)
{
    return TargetOf(target.folder.nameFor(target.name)).kind == TargetKind::Missing;
}

int WriteAll(std::intptr_t handle, const char* data, std::size_t size)
{
    while (size > 0) {
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(AsHandle(handle), data, want, &put, nullptr))
            return static_cast<int>(GetLastError());
        if (put == 0)
            return ERROR_WRITE_FAULT;
        data += put;
        size -= put;
    }
    return 0;
}

int Allocate(std::intptr_t handle, std::uint64_t size)
{
    // The file system takes the room without a byte written where it can
    // (NTFS, FAT); elsewhere (Wine) the room is written, since a longer
    // length alone takes none where the file is made sparse.
    FILE_ALLOCATION_INFO room{};
    room.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(AsHandle(handle), FileAllocationInfo, &room, sizeof room))
        return 0;
    DWORD code = GetLastError();
    if (code != ERROR_CALL_NOT_IMPLEMENTED && code != ERROR_NOT_SUPPORTED && code != ERROR_INVALID_PARAMETER &&
        code != ERROR_INVALID_FUNCTION)
        return static_cast<int>(code);
    std::vector<char> zeros(1u << 20);
    for (std::uint64_t left = size; left > 0;) {
        std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        if (int written = WriteAll(handle, zeros.data(), part))
            return written;
        left -= part;
    }
    return 0;
}

void FailWritesPastSizeLimit() {}

int SyncAndClose(std::intptr_t handle)
{
    int code = FlushFileBuffers(AsHandle(handle)) ? 0 : static_cast<int>(GetLastError());
    if (!CloseHandle(AsHandle(handle)) && code == 0)
        code = static_cast<int>(GetLastError());
    return code;
}

int Close(std::intptr_t handle)
{
    return CloseHandle(AsHandle(handle)) ? 0 : static_cast<int>(GetLastError());
}

std::string NameFault(const std::string& path)
{
    std::size_t start = path.find_last_of("\\/");
    std::string_view name = std::string_view(path).substr(start == std::string::npos ? 0 : start + 1);
    if (start == std::string::npos && name.size() >= 2 && name[1] == ':')
        name.remove_prefix(2);
    if (name.find(':') != std::string_view::npos)
        return "a colon in a file's name makes it a stream of another file on Windows; choose a name without one";
    if (!name.empty() && name != "." && name != ".." && (name.back() == '.' || name.back() == ' '))
        return "Windows drops a dot or blank at the end of a name and would write another file; choose a name "
               "without one";
    return {};
}

bool IsExistsError(int code)
{
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

unsigned long ProcessId()
{
    return GetCurrentProcessId();
}

}  // namespace system
}  // namespace files
