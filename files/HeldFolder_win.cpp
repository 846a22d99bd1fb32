#include "files/HeldFolder.h"

#include "files/Files.h"
#include "files/SystemFiles.h"
#include "files/WideNames.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

namespace files {

namespace {

constexpr DWORD AnySharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Virus scanners and indexers open a new file for a moment; a replace or delete
// that meets one is tried again for a fraction of a second.
template <typename Attempt> int RetriedWhileHeld(Attempt&& attempt)
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

// A removal, tried again until the name is gone: under Wine a call that the
// server failed partway can say "not found" of what is still there.
template <typename Remove>
int RemovedForGood(const std::wstring& path, Remove&& remove)
{
    constexpr int Tries = 3;
    int code = 0;
    for (int tried = 0; tried < Tries; ++tried) {
        code = RetriedWhileHeld(remove);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
            (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
            return 0;
    }
    return code != 0 && code != ERROR_FILE_NOT_FOUND ? code : ERROR_GEN_FAILURE;
}

std::wstring Upper(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

void SystemHandle::reset(std::intptr_t handle)
{
    if (handle_ != None)
        CloseHandle(AsHandle(handle_));
    handle_ = handle;
}

bool UnderWine()
{
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

std::optional<FileIdentity> IdentityOfOpen(std::intptr_t handle)
{
    BY_HANDLE_FILE_INFORMATION info {};
    FILE_BASIC_INFO times {};
    if (handle == SystemHandle::None || !GetFileInformationByHandle(AsHandle(handle), &info)
        || !GetFileInformationByHandleEx(AsHandle(handle), FileBasicInfo, &times, sizeof times))
        return std::nullopt;
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = std::uint64_t {info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    identity.size = std::uint64_t {info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    identity.written = times.LastWriteTime.QuadPart;
    identity.changed = times.ChangeTime.QuadPart;
    if (identity.index == 0)
        identity.finalPath = Upper(FinalPathOf(AsHandle(handle)));
    return identity;
}

SystemHandle HoldFile(std::intptr_t)
{
    return SystemHandle();
}

bool SameIdentity(const FileIdentity& a, const FileIdentity& b)
{
    // Some network file systems give every file the index 0: there only names
    // tell.
    if (a.index == 0 || b.index == 0)
        return a.index == b.index && !a.finalPath.empty() && a.finalPath == b.finalPath;
    if (UnderWine())
        return a.index == b.index && a.size == b.size && a.written == b.written && a.changed == b.changed;
    return a.index == b.index && a.volume == b.volume;
}

int HeldFolder::open(const std::string& path)
{
    std::optional<std::wstring> wide = WideName(path);
    if (!wide)
        return ERROR_NO_UNICODE_TRANSLATION;
    // Without delete sharing: while it is held, nobody renames or removes it.
    HANDLE folder = CreateFileW(wide->c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    handle_.reset(reinterpret_cast<std::intptr_t>(folder));
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(folder, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        handle_.reset();
        return ERROR_DIRECTORY;
    }
    // Its entries are named through the system's own full name of it.
    std::wstring final = FinalPathOf(folder);
    std::optional<std::string> name = final.empty() ? std::nullopt : Utf8Name(final);
    path_ = name ? *name : AbsolutePath(path);
    while (path_.size() > 3 && (path_.back() == '\\' || path_.back() == '/'))
        path_.pop_back();
    return 0;
}

int HeldFolder::openIn(const HeldFolder& base, const std::string& path)
{
    return open(base.isOpen() ? base.nameFor(path) : path);
}

namespace {

// An entry of the folder opened as disposition and access say, without sharing
// where it is written.
int OpenEntry(const HeldFolder& folder, const std::string& name, DWORD access, DWORD sharing, DWORD disposition,
    DWORD flags, std::intptr_t& handle)
{
    std::optional<std::wstring> wide = WideName(folder.nameFor(name));
    if (!wide)
        return ERROR_NO_UNICODE_TRANSLATION;
    HANDLE file = CreateFileW(wide->c_str(), access, sharing, nullptr, disposition, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    handle = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

}  // namespace

int HeldFolder::createNew(const std::string& name, std::intptr_t& handle) const
{
    return OpenEntry(*this, name, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, handle);
}

int HeldFolder::openExisting(const std::string& name, std::intptr_t& handle) const
{
    return OpenEntry(
        *this, name, GENERIC_WRITE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, handle);
}

int HeldFolder::identityOf(const std::string& name, FileIdentity& identity) const
{
    std::intptr_t handle = SystemHandle::None;
    if (int code = OpenEntry(*this, name, 0, AnySharing, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    SystemHandle entry(handle);
    std::optional<FileIdentity> found = IdentityOfOpen(handle);
    if (!found)
        return static_cast<int>(GetLastError());
    identity = *found;
    return 0;
}

namespace {

// Whether a move that said it failed was made all the same (under Wine the
// server can fail a call after the rename, in what it asks of the file
// afterwards): the source gone, and its file by the target's name. One file
// system: the index alone tells (a rename changes the change time that the
// identity under Wine holds too).
bool MovedAfterAll(const HeldFolder& folder, const std::string& from, const HeldFolder& into, const std::string& to,
                   const std::optional<FileIdentity>& moved)
{
    FileIdentity there;
    return moved && moved->index != 0 && folder.identityOf(from, there) != 0 && into.identityOf(to, there) == 0 &&
           there.index == moved->index;
}

// A create can make the file and still fail (under Wine, the server in what
// it asks of the file afterwards): the empty file it left at a name that was
// free goes, so that no empty export stands there. A file with anything in
// it, a folder, a link or what one leads to (Wine opens a Linux link's file
// whatever the flags say; its final path tells), or a file of other names
// too, is not one a failed create made, and stays.
void RemoveEmptyFileAt(const std::wstring& name)
{
    HANDLE file = CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SystemHandle held(reinterpret_cast<std::intptr_t>(file));
    BY_HANDLE_FILE_INFORMATION info {};
    constexpr DWORD NotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & NotAFile) || info.nFileSizeHigh ||
        info.nFileSizeLow || info.nNumberOfLinks != 1 || GetFileType(file) != FILE_TYPE_DISK ||
        !SameText(FinalPathOf(file), FullPathOf(name)))
        return;
    FILE_DISPOSITION_INFO gone {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone);
}

// The move itself, by the two names.
int MoveByName(const HeldFolder& folder, const std::string& from, const HeldFolder& into, const std::string& to,
               bool replace)
{
    std::optional<std::wstring> source = WideName(folder.nameFor(from)), target = WideName(into.nameFor(to));
    if (!source || !target)
        return ERROR_NO_UNICODE_TRANSLATION;
    constexpr DWORD Move = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    // Under Wine ReplaceFileW moves the replaced file aside first, so for a
    // moment there is none, and leaves it there; its rename is one step.
    if (replace && UnderWine())
        return RetriedWhileHeld([&] { return MoveFileExW(source->c_str(), target->c_str(), Move); });
    if (replace) {
        // Windows' own safe save: the replaced file's access list, attributes
        // and streams pass to the new one.
        int code = RetriedWhileHeld([&] {
            return ReplaceFileW(
                target->c_str(), source->c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        });
        // Where it cannot for a reason of its own (a file system without it),
        // the new file is moved in place, with the folder's access.
        bool ownReason = code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
            || code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_PARAMETER
            || code == ERROR_CALL_NOT_IMPLEMENTED;
        if (!ownReason)
            return code;
        return RetriedWhileHeld([&] { return MoveFileExW(source->c_str(), target->c_str(), Move); });
    }
    // The name is claimed first with a new empty file, which the move then
    // replaces: a move alone would replace what Wine shows as nothing there
    // (a link that leads nowhere), where an exclusive create finds it taken.
    HANDLE claim = CreateFileW(target->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (claim == INVALID_HANDLE_VALUE) {
        int code = static_cast<int>(GetLastError());
        if (!system::IsExistsError(code))
            RemoveEmptyFileAt(*target);
        return code;
    }
    CloseHandle(claim);
    int code = RetriedWhileHeld([&] { return MoveFileExW(source->c_str(), target->c_str(), Move); });
    if (code != 0)
        into.remove(to);
    return code;
}

}  // namespace

int HeldFolder::move(const std::string& from, const HeldFolder& into, const std::string& to, bool replace) const
{
    FileIdentity source;
    std::optional<FileIdentity> moved;
    if (identityOf(from, source) == 0)
        moved = source;
    int code = MoveByName(*this, from, into, to, replace);
    return code != 0 && MovedAfterAll(*this, from, into, to, moved) ? 0 : code;
}

int HeldFolder::exchange(const std::string&, const HeldFolder&, const std::string&) const
{
    return NoExchange;
}

int HeldFolder::remove(const std::string& name) const
{
    std::optional<std::wstring> wide = WideName(nameFor(name));
    if (!wide)
        return ERROR_NO_UNICODE_TRANSLATION;
    return RemovedForGood(*wide, [&] { return DeleteFileW(wide->c_str()); });
}

int HeldFolder::makeFolder(const std::string& name) const
{
    std::optional<std::wstring> wide = WideName(nameFor(name));
    if (!wide)
        return ERROR_NO_UNICODE_TRANSLATION;
    // Its owner's alone, and what it holds (Wine keeps none of this, and makes
    // the folder as Linux does, for its user to write in alone).
    PSECURITY_DESCRIPTOR owned = nullptr;
    SECURITY_ATTRIBUTES access{sizeof access, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)",
                                                             SDDL_REVISION_1, &owned, nullptr))
        access.lpSecurityDescriptor = owned;
    int code = CreateDirectoryW(wide->c_str(), &access) ? 0 : static_cast<int>(GetLastError());
    LocalFree(owned);
    return code;
}

namespace {

// Removes every entry of the folder at path but kept; 0 only when they are gone.
int RemoveEntries(const std::wstring& path, const std::wstring& kept)
{
    int code = 0;
    WIN32_FIND_DATAW found {};
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(GetLastError());
    do {
        std::wstring entry = found.cFileName;
        if (entry == L"." || entry == L".." || SameText(entry, kept))
            continue;
        std::wstring each = path + L"\\" + entry;
        if (int removed = RemovedForGood(each, [&] { return DeleteFileW(each.c_str()); }); removed && !code)
            code = removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return code;
}

}  // namespace

int HeldFolder::removeFolder(const std::string& name) const
{
    std::optional<std::wstring> wide = WideName(nameFor(name));
    if (!wide)
        return ERROR_NO_UNICODE_TRANSLATION;
    // Emptied, then removed, and all of it again where a call failed midway.
    constexpr int Tries = 3;
    int code = 0;
    for (int tried = 0; tried < Tries; ++tried) {
        code = RemoveEntries(*wide, {});
        int removed = RemovedForGood(*wide, [&] { return RemoveDirectoryW(wide->c_str()); });
        if (removed == 0)
            return 0;
        if (code == 0)
            code = removed;
    }
    return code;
}

int HeldFolder::removeAllBut(const std::string& kept) const
{
    std::optional<std::wstring> wide = WideName(path_);
    return wide ? RemoveEntries(*wide, WideText(kept)) : ERROR_NO_UNICODE_TRANSLATION;
}

int HeldFolder::sync(const std::string& entry) const
{
    // The folder itself where the system flushes one; elsewhere the entry,
    // which on NTFS puts the file system's log, the new name in it, on the disk.
    std::intptr_t handle = SystemHandle::None;
    std::optional<std::wstring> wide = WideName(path_);
    HANDLE folder = wide ? CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE, AnySharing, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                         : INVALID_HANDLE_VALUE;
    if (folder != INVALID_HANDLE_VALUE) {
        SystemHandle held(reinterpret_cast<std::intptr_t>(folder));
        if (FlushFileBuffers(folder))
            return 0;
    }
    if (int code
        = OpenEntry(*this, entry, GENERIC_WRITE, AnySharing, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, handle))
        return code;
    SystemHandle file(handle);
    return FlushFileBuffers(AsHandle(handle)) ? 0 : static_cast<int>(GetLastError());
}

std::string HeldFolder::nameFor(const std::string& name) const
{
    if (name.empty())
        return path_;
    return path_.back() == '\\' ? path_ + name : path_ + "\\" + name;
}

}  // namespace files
