#include "files/WriteTarget.h"

#include "files/Files.h"
#include "files/SystemFiles.h"
#include "files/WideNames.h"

#include <windows.h>

namespace files {

namespace {

constexpr DWORD AnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What Wine says for a socket (ERROR_NO_SUCH_DEVICE; MinGW's headers lack its
// name).
constexpr DWORD NoSuchDevice = 433;

constexpr const char* ServerOwn = "is the Wine server's, not this program's; "
                                  "redirect the program's output instead";

// Under Wine, a name of a process's own descriptors (Z:\dev\stdout,
// Z:\proc\self\fd\1) is opened by the Wine server, and so is the server's
// own: why such a name is not written, empty for any other.
std::string HostOwnName(const std::wstring& full)
{
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* host = unixName ? unixName(full.c_str()) : nullptr;
    if (!host)
        return {};
    std::string path(host);
    HeapFree(GetProcessHeap(), 0, host);
    for (const char* own :
        {"/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/fd/", "/proc/self/", "/proc/thread-self/"})
        if (path.rfind(own, 0) == 0)
            return "under Wine " + path + " " + ServerOwn;
    return {};
}

// Under Wine, whether what a link led to (a device, a pipe, or the file one
// was redirected to) is one of the Wine server's standard streams: the
// server opens every file, so Z:\proc\self\fd\N names its own. A stream
// has no identity there, only the name of what it is.
bool IsServerStream(HANDLE stream, const std::wstring& full)
{
    std::wstring final = FinalPathOf(stream);
    if (!UnderWine() || final.empty() || SameText(final, full) || SameText(final, L"\\\\?\\" + full))
        return false;
    for (const wchar_t* own : {L"Z:\\proc\\self\\fd\\0", L"Z:\\proc\\self\\fd\\1", L"Z:\\proc\\self\\fd\\2"}) {
        HANDLE server = CreateFileW(own, 0, AnySharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (server == INVALID_HANDLE_VALUE)
            continue;
        SystemHandle held(reinterpret_cast<std::intptr_t>(server));
        if (SameText(FinalPathOf(server), final))
            return true;
    }
    return false;
}

TargetKind KindOfOpen(HANDLE file)
{
    switch (GetFileType(file)) {
    case FILE_TYPE_CHAR:
        return TargetKind::Device;
    case FILE_TYPE_PIPE:
        return TargetKind::Pipe;
    default:
        break;
    }
    // A volume opened as a file tells nothing of itself; under Wine a block
    // device (through Z:) has no attributes at all, as no file has.
    BY_HANDLE_FILE_INFORMATION information {};
    if (!GetFileInformationByHandle(file, &information))
        return TargetKind::Unreachable;
    if (information.dwFileAttributes == 0)
        return TargetKind::BlockDevice;
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TargetKind::Folder : TargetKind::File;
}

// "\\.\C:" or "\\?\C:", with or without a backslash: a whole volume.
bool IsVolumeName(const std::wstring& full)
{
    bool prefixed = full.rfind(L"\\\\.\\", 0) == 0 || full.rfind(L"\\\\?\\", 0) == 0;
    std::wstring rest = prefixed ? full.substr(4) : std::wstring();
    return rest.size() >= 2 && rest[1] == L':' && (rest.size() == 2 || rest == rest.substr(0, 2) + L"\\");
}

std::string FolderPart(const std::string& path)
{
    std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "." : path.substr(0, separator == 0 ? 1 : separator);
}

std::string NamePart(const std::string& path)
{
    std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

enum class Resolved { Done, Changed };

// Holds the folder the file at final is in, and finds it there still.
Resolved HoldFolderOf(WriteTarget& target, const std::string& final)
{
    if (int code = target.folder.open(FolderPart(final))) {
        target = UnreachableTarget(target.path, code);
        return Resolved::Done;
    }
    target.name = NamePart(final);
    FileIdentity there;
    if (target.folder.identityOf(target.name, there) != 0 || !SameIdentity(there, *target.identity))
        return Resolved::Changed;
    return Resolved::Done;
}

Resolved Resolve(const std::string& name, const std::wstring& wide, const std::wstring& full, WriteTarget& target)
{
    target = WriteTarget();
    target.path = name;
    HANDLE opened
        = CreateFileW(wide.c_str(), 0, AnySharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        DWORD own = GetFileAttributesW(wide.c_str());
        bool nothing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        if (nothing && own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT)) {
            target.kind = TargetKind::DanglingLink;
        } else if (code == NoSuchDevice) {  // under Wine, a socket
            target = UnreachableTarget(name, 0, "it is no file (a socket, or a device that is not there)");
        } else if (code == ERROR_FILE_NOT_FOUND) {
            // A new file, in the folder the name leads to now.
            std::optional<std::string> fullName = Utf8Name(full);
            std::string where = fullName ? *fullName : AbsolutePath(name);
            if (int failed = target.folder.open(FolderPart(where)))
                target = UnreachableTarget(name, failed);
            else
                target.name = NamePart(where);
        } else {
            target = UnreachableTarget(name, static_cast<int>(code));
        }
        return Resolved::Done;
    }
    target.existing.reset(reinterpret_cast<std::intptr_t>(opened));
    target.kind = KindOfOpen(opened);
    // What cannot tell of itself: a disk named in the device namespace, or
    // anything else whose question failed, with the system's reason.
    if (target.kind == TargetKind::Unreachable) {
        DWORD code = GetLastError();
        if (name.rfind("\\\\.\\", 0) == 0)
            target.kind = TargetKind::BlockDevice;
        else
            target = UnreachableTarget(name, static_cast<int>(code));
        return Resolved::Done;
    }
    target.identity = IdentityOfOpen(target.existing.get());
    DWORD identityError = target.identity ? 0 : GetLastError();  // before the questions below reset it
    // A FIFO that Wine reaches through Z: it opens without waiting for its
    // reader, so what is written there could be lost unseen. A named pipe
    // (\\.\pipe\...) is Windows' own and written as such.
    if (target.kind == TargetKind::Pipe && name.rfind("\\\\", 0) != 0) {
        target = UnreachableTarget(name, 0,
            "it is a FIFO, which Wine opens without waiting for its "
            "reader, so what is written there "
            "could be lost; use the program built for Linux, or a file");
        return Resolved::Done;
    }
    if ((IsWrittenInPlace(target.kind) || target.kind == TargetKind::File) && IsServerStream(opened, full)) {
        target = UnreachableTarget(name, 0, std::string("under Wine it leads to a stream that ") + ServerOwn);
        return Resolved::Done;
    }
    if (target.kind != TargetKind::File)
        return Resolved::Done;
    if (!target.identity) {
        target = UnreachableTarget(name, static_cast<int>(identityError));
        return Resolved::Done;
    }
    // A link (or a name through a junction) to a file: the file it leads to is
    // the one replaced, beside itself.
    std::wstring final = FinalPathOf(opened);
    std::optional<std::string> finalName = final.empty() ? std::nullopt : Utf8Name(final);
    if (!finalName) {
        target = UnreachableTarget(name, 0, "Windows cannot say where it is");
        return Resolved::Done;
    }
    if (!SameText(final, full)) {
        target.path = *finalName;
        target.linkedTo = *finalName;
    }
    return HoldFolderOf(target, *finalName);
}

}  // namespace

WriteTarget TargetOf(const std::string& name)
{
    std::optional<std::wstring> wide = WideName(name);
    if (!wide)
        return UnreachableTarget(name, ERROR_NO_UNICODE_TRANSLATION);
    std::wstring full = FullPathOf(*wide);
    if (IsVolumeName(full) || IsVolumeName(*wide))
        return UnreachableTarget(name, 0, "it is a volume (a whole disk), not a file");
    // CON, NUL, COM1, ... are devices in any folder and with any extension:
    // the system's full path of such a name is the device's. (A name given
    // in the device namespace, \\.\C:\x, is taken as any other.)
    if (full.rfind(L"\\\\.\\", 0) == 0 && name.rfind("\\\\", 0) != 0) {
        WriteTarget target;
        target.kind = TargetKind::Device;
        target.path = name;
        target.deviceName = Utf8Text(full.substr(4));
        std::string given = name.substr(name.find_last_of("\\/:") + 1);
        if (CompareStringOrdinal(files::WideText(given).c_str(), -1, full.c_str() + 4, -1, TRUE) != CSTR_EQUAL)
            target.deviceName += " (Windows takes " + given + " as " + target.deviceName + ")";
        return target;
    }
    if (std::string fault = system::NameFault(name); !fault.empty())
        return UnreachableTarget(name, 0, fault);
    if (std::string own = HostOwnName(full); !own.empty())
        return UnreachableTarget(name, 0, own);
    constexpr int ResolutionTries = 3;
    WriteTarget target;
    for (int attempt = 0; attempt < ResolutionTries; ++attempt)
        if (Resolve(name, *wide, full, target) == Resolved::Done)
            return target;
    return UnreachableTarget(name, 0, "its name changed while Veltrane looked at it; try again");
}

const KeptFile* KeptFileFor(const FileIdentity& identity, const KeptFiles& kept)
{
    for (const KeptFile& file : kept) {
        if (SameIdentity(identity, file.identity))
            return &file;
        // Under Wine a file is known by its size and times too, which the game
        // changes when it saves its file: one of the same index is that file
        // while the name it was read by still leads to that index.
        if (UnderWine() && identity.index != 0 && identity.index == file.identity.index)
            if (std::optional<KeptFile> now = KeptFileNamed(file.path); now && now->identity.index == identity.index)
                return &file;
    }
    return nullptr;
}

bool SameEntryName(const std::string& a, const std::string& b)
{
    return SameText(WideText(a), WideText(b));
}

std::optional<KeptFile> KeptFileNamed(const std::string& path)
{
    std::optional<std::wstring> wide = WideName(path);
    if (!wide)
        return std::nullopt;
    HANDLE file
        = CreateFileW(wide->c_str(), 0, AnySharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    SystemHandle held(reinterpret_cast<std::intptr_t>(file));
    std::optional<FileIdentity> identity
        = GetFileType(file) == FILE_TYPE_DISK ? IdentityOfOpen(held.get()) : std::nullopt;
    if (!identity)
        return std::nullopt;
    return KeptFile {*identity, path, nullptr};
}

}  // namespace files
