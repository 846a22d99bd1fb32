#include "files/Files.h"
#include "files/SystemFiles.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <vector>

namespace files {

namespace {

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    path += '\\';
    path += name;
    return path;
}

std::string FolderOf(std::string_view path)
{
    std::size_t separator = path.find_last_of("\\/:");
    if (separator == std::string_view::npos)
        return ".";
    // "C:\name" and "\name" are in a root folder, "C:name" in the drive's current one.
    bool root = separator == 0 || path[separator] == ':' || path[separator - 1] == ':';
    return std::string(path.substr(0, root ? separator + 1 : separator));
}

std::string FullFolderOf(std::string_view path)
{
    std::string folder = AbsolutePath(FolderOf(path));
    while (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    // A drive's or a share's root is named with its backslash, any other folder without.
    bool share = folder.rfind("\\\\", 0) == 0;
    bool root = share ? std::count(folder.begin(), folder.end(), '\\') == 3 : folder.size() == 2;
    if (root)
        folder += '\\';
    return folder;
}

namespace {

struct HandleOwner {
    HANDLE handle;
    ~HandleOwner()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

// Where a file or folder is: its volume, and its path on that volume.
bool Whereabouts(HANDLE handle, DWORD& volume, std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION information{};
    std::vector<char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(WCHAR));
    auto* name = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandle(handle, &information) ||
        !GetFileInformationByHandleEx(handle, FileNameInfo, name, static_cast<DWORD>(buffer.size())))
        return false;
    volume = information.dwVolumeSerialNumber;
    path.assign(name->FileName, name->FileNameLength / sizeof(WCHAR));
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return true;
}

}  // namespace

bool StreamIsIn(std::FILE* stream, const std::string& folder)
{
    auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    HandleOwner wanted{CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    DWORD fileVolume = 0;
    DWORD folderVolume = 0;
    std::wstring filePath;
    std::wstring folderPath;
    if (file == INVALID_HANDLE_VALUE || wanted.handle == INVALID_HANDLE_VALUE ||
        !Whereabouts(file, fileVolume, filePath) || !Whereabouts(wanted.handle, folderVolume, folderPath))
        return false;
    std::size_t separator = filePath.find_last_of(L'\\');
    if (fileVolume != folderVolume || separator == std::wstring::npos)
        return false;
    filePath.resize(separator);
    return CompareStringOrdinal(filePath.c_str(), static_cast<int>(filePath.size()), folderPath.c_str(),
                                static_cast<int>(folderPath.size()), TRUE) == CSTR_EQUAL;
}

int ErrorWritingAtEnd(std::FILE* stream)
{
    auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    const char byte = 0;
    DWORD put = 0;
    if (file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END) ||
        !WriteFile(file, &byte, 1, &put, nullptr))
        return static_cast<int>(GetLastError());
    return 0;
}

std::string SystemErrorText(int code)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0,
                                  nullptr);
    std::string result;
    if (length != 0 && text != nullptr)
        result.assign(text, length);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
        result.pop_back();
    if (result.empty())
        result = "Error " + std::to_string(code);
    return result;
}

int LastSystemError()
{
    return static_cast<int>(GetLastError());
}

void ClearLastSystemError()
{
    SetLastError(ERROR_SUCCESS);
}

StandardErrorSilenced::StandardErrorSilenced() = default;
StandardErrorSilenced::~StandardErrorSilenced() = default;

int InvalidNameError()
{
    return ERROR_INVALID_NAME;
}

std::string AbsolutePath(std::string_view name)
{
    std::string relative(name);
    DWORD size = GetFullPathNameA(relative.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return relative;
    std::string full(size, '\0');
    DWORD length = GetFullPathNameA(relative.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return relative;
    full.resize(length);
    return full;
}

void LoadLibrariesFromSystemFolderOnly()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDirectories = kernel ? reinterpret_cast<SetDirectories>(
                                       reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                 : nullptr;
    if (setDirectories)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Systems without it: at least take the current folder out of the search.
    SetDllDirectoryA("");
}

int CurrentYear()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return now.wYear;
}

PathKind KindOf(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory : PathKind::File;
}

OpenResult ReadOnlyFile::open(const std::string& path)
{
    close();
    if (path.find_first_of("*?") != std::string::npos)
        return {OpenResult::Failed, SystemErrorText(InvalidNameError())};
    // Read sharing only: others may read along, but nobody writes while we read.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        return {missing ? OpenResult::Missing : OpenResult::Failed, SystemErrorText(static_cast<int>(code))};
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    bytesRead_ = 0;
    LARGE_INTEGER size{};
    sizeWhenOpened_ = GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    readError_ = 0;
    return {OpenResult::Opened, {}};
}

std::size_t ReadOnlyFile::read(unsigned char* buffer, std::size_t size)
{
    std::size_t total = 0;
    while (handle_ != Closed && total < size && readError_ == 0) {
        DWORD want = static_cast<DWORD>(allowedRead(std::min<std::size_t>(size - total, 1u << 30)));
        if (want == 0)
            break;
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), buffer + total, want, &got, nullptr)) {
            readError_ = static_cast<int>(GetLastError());
            break;
        }
        if (got == 0)
            break;
        total += got;
        bytesRead_ += got;
    }
    return total;
}

void ReadOnlyFile::close()
{
    if (handle_ != Closed) {
        CloseHandle(AsHandle(handle_));
        handle_ = Closed;
    }
}

namespace system {

namespace {

// Opened for writing without sharing, as disposition says.
int OpenForWriting(const std::string& path, DWORD disposition, std::intptr_t& handle)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    handle = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

}  // namespace

int CreateNew(const std::string& path, std::intptr_t& handle)
{
    return OpenForWriting(path, CREATE_NEW, handle);
}

int OpenExisting(const std::string& path, std::intptr_t& handle)
{
    return OpenForWriting(path, OPEN_EXISTING, handle);
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

void CloseQuietly(std::intptr_t handle)
{
    CloseHandle(AsHandle(handle));
}

namespace {

// Virus scanners and indexers open a new file for a moment; a replace or delete
// that meets one is tried again for a fraction of a second.
template <typename Attempt>
int RetriedWhileHeld(Attempt&& attempt)
{
    constexpr int Tries = 10;
    constexpr DWORD Pause = 50;
    for (int tried = 1;; ++tried) {
        if (attempt())
            return 0;
        DWORD code = GetLastError();
        bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!held || tried == Tries)
            return static_cast<int>(code);
        Sleep(Pause);
    }
}

}  // namespace

int ReplaceWith(const std::string& source, const std::string& target)
{
    return RetriedWhileHeld([&] {
        return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    });
}

int MoveNoReplace(const std::string& source, const std::string& target)
{
    return RetriedWhileHeld([&] { return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH); });
}

bool IsExistsError(int code)
{
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

void RemoveQuietly(const std::string& path)
{
    RetriedWhileHeld([&] { return DeleteFileA(path.c_str()); });
}

unsigned long ProcessId()
{
    return GetCurrentProcessId();
}

}  // namespace system
}  // namespace files
