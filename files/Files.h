#pragma once
// The few file operations the program needs, over the operating system's own
// calls: Win32 in the Windows build (Files_win.cpp), POSIX natively (Files_posix.cpp).
//
// Names of files and folders, and the texts that carry them (messages, the
// system's reasons), are UTF-8 in the Windows build and reach the system as its
// own wide characters, so that a name is used exactly as the user gave it;
// natively they are the bytes as given.

#include "files/FileIdentity.h"
#include "files/HeldFolder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// folder + the platform's separator + name; the separator is always inserted,
// so a folder that already ends in one gives it twice, as users of the game expect.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder a file's path names it in: "." for a bare name.
std::string FolderOf(std::string_view path);

// The folder a file's path names it in, as a full path that names the same
// folder whatever the current folder (or a drive's current folder) is: for a
// library that takes a folder name and resolves it itself.
std::string FullFolderOf(std::string_view path);

// Whether an open stream's file is in folder (a full path): for a library
// that silently makes its temporary file elsewhere when the folder fails it.
// 0, or the system's error where it could not tell.
int StreamIsIn(std::FILE* stream, const std::string& folder, bool& in);

// Whether a stream a library opened is still open, asked without touching the
// stream itself (which the library may have closed and freed): by its file
// descriptor's number and a second handle on its file, held meanwhile.
class StreamWatch {
public:
    explicit StreamWatch(std::FILE* stream);
    ~StreamWatch();
    StreamWatch(const StreamWatch&) = delete;
    StreamWatch& operator=(const StreamWatch&) = delete;

    // True while the stream's descriptor still leads to the file it did.
    bool stillOpen() const;

private:
    int descriptor_ = -1;
    std::intptr_t second_ = -1;
};

// The system's error number for one byte more written at the end of an open
// stream's file, 0 where that succeeds: the reason, asked again at once, of a
// write to it that failed without one (a C library's write that came out
// short, which it takes as a failure without writing the rest).
int ErrorWritingAtEnd(std::FILE* stream);

// The system's error number for a new file of that many bytes in folder,
// made, its room taken, put on the disk and removed at once; 0 where all
// that works. For a library that failed in that folder without a reason.
int ErrorMakingFileIn(const HeldFolder& folder, std::uint64_t bytes);

// The system's own text for an error number (errno natively, GetLastError on
// Windows), without a trailing line end.
std::string SystemErrorText(int code);

// The error number of this thread's last failed system call (errno natively,
// GetLastError on Windows, or the C library's record of its last failed call
// where that was cleared since), and clearing it: for a library that fails
// through the system's calls without handing on why.
int LastSystemError();
void ClearLastSystemError();

// While one lives, standard error is silenced: for a library that prints its
// own diagnostics where the caller reports the failure itself. Natively only;
// the Windows builds compile libxlsxwriter without them.
class StandardErrorSilenced {
public:
    StandardErrorSilenced();
    ~StandardErrorSilenced();
    StandardErrorSilenced(const StandardErrorSilenced&) = delete;
    StandardErrorSilenced& operator=(const StandardErrorSilenced&) = delete;

private:
    int saved_ = -1;
};

// The error number a path with "*" or "?" is refused with.
int InvalidNameError();

// name joined to the current directory, for messages that name a file in full.
std::string AbsolutePath(std::string_view name);

// For a file that keeps a name in the system's ANSI code page: the name's bytes
// there, exactly; nothing when the code page lacks one of its characters
// (never a look-alike or "?" in its place). Natively the bytes as they are.
std::optional<std::string> ExactAnsi(std::string_view name);
// A name read from such a file.
std::string NameFromAnsi(std::string_view bytes);
// A name read from a file an editor saved in UTF-8; nothing where the bytes
// are not UTF-8. Natively the bytes as they are.
std::optional<std::string> NameFromUtf8(std::string_view bytes);
// The system's ANSI code page (0 natively), for messages.
unsigned AnsiCodePage();

// For a library that opens files through the C library's ANSI calls: a name
// of the existing file or folder at path that those calls take exactly and
// whole, with room for a file name of 16 characters after a folder's (its
// short name where the long one does not fit the code page or that length);
// nothing when there is none. Natively the path as it is.
std::optional<std::string> AnsiNameOf(const std::string& path);
// The ANSI calls' limit on Windows (MAX_PATH, with the room above taken off).
inline constexpr std::size_t AnsiPathLimit = 260 - 16;

// From here on, DLLs load from the system folder only (Windows), so that no
// planted DLL in the current or the program's folder can run. Does nothing natively.
void LoadLibrariesFromSystemFolderOnly();

// The year of the local date.
int CurrentYear();

enum class PathKind { Missing, File, Directory, Other };
PathKind KindOf(const std::string& path);

struct OpenResult {
    enum Outcome { Opened, Missing, Failed };
    Outcome outcome = Failed;
    std::string reason;  // the system's text when not Opened
    int error = 0;       // and its error number
};

// A file opened for reading only. Others may read it meanwhile but nobody can
// write it; it is never created.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile() { close(); }

    // A name with "*" or "?" is refused: Windows takes it for a pattern, never
    // one file's name, and so does Veltrane everywhere.
    OpenResult open(const std::string& path);
    // A file the program has just written, by the very name it wrote it under:
    // no name is refused.
    OpenResult openWritten(const std::string& path);
    bool isOpen() const { return handle_ != Closed; }
    // Reads up to size bytes; fewer only at the end of the file or on a read
    // error, which readError() then tells.
    std::size_t read(unsigned char* buffer, std::size_t size);
    // The system's error number of a failed read, 0 when none failed.
    int readError() const { return readError_; }
    // Which file it is, as its handle says, and a handle that keeps it so.
    std::optional<FileIdentity> identity() const { return IdentityOfOpen(handle_); }
    SystemHandle hold() const { return HoldFile(handle_); }
    // The file's size when it was opened: a hint, since it may grow or shrink.
    std::uint64_t sizeWhenOpened() const { return sizeWhenOpened_; }
    void close();

private:
    // How much of want the next system read may ask for: less, or 0 with the
    // error set, where a simulated failure says so.
    std::size_t allowedRead(std::size_t want);

    static constexpr std::intptr_t Closed = -1;  // also INVALID_HANDLE_VALUE
    std::intptr_t handle_ = Closed;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t sizeWhenOpened_ = 0;
    int readError_ = 0;
};

// For tests: every file read with ReadOnlyFile from now on fails with the
// error number once it has given afterBytes bytes. Nothing ends the simulation.
struct ReadFailure {
    std::uint64_t afterBytes = 0;
    int error = 0;
};
void SimulateReadFailure(std::optional<ReadFailure> failure);

// Reads a whole file of at most limit bytes (the first limit bytes of a longer one).
// Returns false, with the reason, when it cannot be opened or read.
bool ReadFileStart(const std::string& path, std::size_t limit, std::string& bytes, std::string& reason);

}  // namespace files
