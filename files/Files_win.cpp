#include "files/Files.h"
#include "files/SystemFiles.h"
#include "files/WriteTarget.h"
#include "files/WideNames.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace files {

namespace {

std::optional<std::wstring> ToWide(UINT codePage, DWORD flags, std::string_view text)
{
    if (text.empty())
        return std::wstring();
    if (text.size() > INT_MAX)
        return std::nullopt;
    int length = static_cast<int>(text.size());
    int wideLength = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), wideLength);
    return wide;
}

// With usedDefault, nothing when a character had no exact form in the code page.
std::optional<std::string> FromWide(UINT codePage, DWORD flags, std::wstring_view wide, bool checkDefault)
{
    if (wide.empty())
        return std::string();
    if (wide.size() > INT_MAX / 4)
        return std::nullopt;
    int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    BOOL* defaultFlag = checkDefault ? &usedDefault : nullptr;
    int narrowLength = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, defaultFlag);
    if (narrowLength <= 0 || usedDefault)
        return std::nullopt;
    std::string narrow(static_cast<std::size_t>(narrowLength), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), length, narrow.data(), narrowLength, nullptr, nullptr);
    return narrow;
}

// The wide name for a file function; an empty one where the bytes are not UTF-8,
// which every file function refuses as it does a missing name.
std::wstring NameFor(const std::string& path)
{
    return WideName(path).value_or(std::wstring());
}

}  // namespace

std::optional<std::wstring> WideName(std::string_view utf8)
{
    return ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
}

std::optional<std::string> Utf8Name(std::wstring_view wide)
{
    return FromWide(CP_UTF8, WC_ERR_INVALID_CHARS, wide, false);
}

std::wstring WideText(std::string_view utf8)
{
    return ToWide(CP_UTF8, 0, utf8).value_or(std::wstring());
}

std::string Utf8Text(std::wstring_view wide)
{
    return FromWide(CP_UTF8, 0, wide, false).value_or(std::string());
}

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

int StreamIsIn(std::FILE* stream, const std::string& folder, bool& in)
{
    in = false;
    auto file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    std::optional<std::wstring> wide = WideName(folder);
    if (!wide)
        return ERROR_NO_UNICODE_TRANSLATION;
    HandleOwner wanted{CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    DWORD fileVolume = 0;
    DWORD folderVolume = 0;
    std::wstring filePath;
    std::wstring folderPath;
    if (file == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    if (wanted.handle == INVALID_HANDLE_VALUE || !Whereabouts(file, fileVolume, filePath) ||
        !Whereabouts(wanted.handle, folderVolume, folderPath))
        return static_cast<int>(GetLastError());
    std::size_t separator = filePath.find_last_of(L'\\');
    if (fileVolume != folderVolume || separator == std::wstring::npos)
        return 0;
    filePath.resize(separator);
    in = CompareStringOrdinal(filePath.c_str(), static_cast<int>(filePath.size()), folderPath.c_str(),
                              static_cast<int>(folderPath.size()), TRUE) == CSTR_EQUAL;
    return 0;
}

namespace {

bool SameOpenFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

StreamWatch::StreamWatch(std::FILE* stream) : descriptor_(_fileno(stream))
{
    auto file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_));
    HANDLE second = INVALID_HANDLE_VALUE;
    if (file != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &second, 0, FALSE, DUPLICATE_SAME_ACCESS))
        second_ = reinterpret_cast<std::intptr_t>(second);
}

StreamWatch::~StreamWatch()
{
    if (second_ != -1)
        CloseHandle(AsHandle(second_));
}

bool StreamWatch::stillOpen() const
{
    // A descriptor the library closed leads nowhere, or, taken again, to another file.
    auto file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor_));
    return second_ != -1 && file != INVALID_HANDLE_VALUE && SameOpenFile(file, AsHandle(second_));
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
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0,
                                  nullptr);
    std::string result;
    if (length != 0 && text != nullptr)
        result = Utf8Text(std::wstring_view(text, length));
    LocalFree(text);
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
        result.pop_back();
    if (result.empty())
        result = "Error " + std::to_string(code);
    return result;
}

int LastSystemError()
{
    // Where later calls that succeeded cleared it, the C library still holds
    // the error of its last call that failed (a library's fwrite, say).
    DWORD code = GetLastError();
    return static_cast<int>(code != ERROR_SUCCESS ? code : _doserrno);
}

void ClearLastSystemError()
{
    SetLastError(ERROR_SUCCESS);
    _doserrno = 0;
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
    std::optional<std::wstring> wide = WideName(relative);
    DWORD size = wide ? GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr) : 0;
    if (size == 0)
        return relative;
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(wide->c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return relative;
    full.resize(length);
    return Utf8Name(full).value_or(relative);
}

namespace {

// A full path as GetFinalPathNameByHandleW gives it, without the prefix that
// only the wide calls take: "\\?\C:\x" as "C:\x", "\\?\UNC\s\x" as "\\s\x".
std::wstring WithoutLongPrefix(std::wstring path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() >= 6 && path[5] == L':')
        return path.substr(4);
    return path;
}

}  // namespace

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring FullPathOf(const std::wstring& name)
{
    DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    DWORD length = size ? GetFullPathNameW(name.c_str(), size, full.data(), nullptr) : 0;
    full.resize(length < size ? length : 0);
    return full;
}

namespace {

// The object manager's name of an open file, where it is a DOS one
// ("\??\C:\x" as "\\?\C:\x"): Wine 8's GetFinalPathNameByHandleW fails for a
// path longer than MAX_PATH, and this is what it would have given.
std::wstring ObjectNameOf(HANDLE file)
{
    struct Name {
        USHORT length;
        USHORT room;
        PWSTR text;
    };
    using Query = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    constexpr int ObjectNameInformation = 1;
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    std::vector<char> buffer(sizeof(Name) + 65536 * sizeof(wchar_t));
    ULONG length = 0;
    if (!query || query(file, ObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0)
        return {};
    const auto* name = reinterpret_cast<const Name*>(buffer.data());
    std::wstring text(name->text, name->length / sizeof(wchar_t));
    return text.rfind(L"\\??\\", 0) == 0 ? L"\\\\?\\" + text.substr(4) : std::wstring();
}

}  // namespace

std::wstring FinalPathOf(void* handle)
{
    auto file = static_cast<HANDLE>(handle);
    DWORD size = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    std::wstring final(size, L'\0');
    DWORD length = size ? GetFinalPathNameByHandleW(file, final.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                        : 0;
    final.resize(length < size ? length : 0);
    if (final.empty())
        final = ObjectNameOf(file);
    // Without the prefix only where the name fits the calls that need no
    // prefix, and does not end in a device's name (under Wine a link can lead
    // to a Linux file named NUL, which only the prefix keeps a file).
    std::wstring shorter = WithoutLongPrefix(final);
    bool device = FullPathOf(shorter).rfind(L"\\\\.\\", 0) == 0;
    return shorter.size() < MAX_PATH && !device ? shorter : final;
}

namespace {

std::optional<std::string> ExactAnsiOf(std::wstring_view wide)
{
    std::optional<std::string> ansi = FromWide(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, true);
    // Where two characters share one form in the code page, only the one it reads back is exact.
    if (!ansi || ToWide(CP_ACP, 0, *ansi) != wide)
        return std::nullopt;
    return ansi;
}

}  // namespace

std::optional<std::string> ExactAnsi(std::string_view name)
{
    std::optional<std::wstring> wide = WideName(name);
    return wide ? ExactAnsiOf(*wide) : std::nullopt;
}

std::string NameFromAnsi(std::string_view bytes)
{
    std::optional<std::wstring> wide = ToWide(CP_ACP, 0, bytes);
    return wide ? Utf8Text(*wide) : std::string();
}

std::optional<std::string> NameFromUtf8(std::string_view bytes)
{
    if (!WideName(bytes))
        return std::nullopt;
    return std::string(bytes);
}

unsigned AnsiCodePage()
{
    return GetACP();
}

std::optional<std::string> AnsiNameOf(const std::string& path)
{
    if (std::optional<std::string> ansi = ExactAnsi(path); ansi && ansi->size() < AnsiPathLimit)
        return ansi;
    std::optional<std::wstring> wide = WideName(path);
    DWORD size = wide ? GetShortPathNameW(wide->c_str(), nullptr, 0) : 0;
    if (size == 0)
        return std::nullopt;
    std::wstring shortName(size, L'\0');
    DWORD length = GetShortPathNameW(wide->c_str(), shortName.data(), size);
    if (length == 0 || length >= size)
        return std::nullopt;
    shortName.resize(length);
    std::optional<std::string> ansi = ExactAnsiOf(shortName);
    return ansi && ansi->size() < AnsiPathLimit ? ansi : std::nullopt;
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
    DWORD attributes = GetFileAttributesW(NameFor(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory : PathKind::File;
}

OpenResult ReadOnlyFile::openWritten(const std::string& path)
{
    close();
    // Read sharing only: others may read along, but nobody writes while we read.
    std::optional<std::wstring> name = WideName(path);
    if (!name)
        return {OpenResult::Failed, SystemErrorText(ERROR_NO_UNICODE_TRANSLATION), ERROR_NO_UNICODE_TRANSLATION};
    HANDLE file = CreateFileW(name->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        return {missing ? OpenResult::Missing : OpenResult::Failed, SystemErrorText(static_cast<int>(code)),
                static_cast<int>(code)};
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

}  // namespace files
