#pragma once
// What a name to write leads to, resolved once: a symbolic link (or, on
// Windows, a link or a junction) is followed by the system, with its rules
// for links in shared folders, and the folder where the file really is is held
// open from then on. The export goes where the name led when it began.

#include "files/FileIdentity.h"
#include "files/HeldFolder.h"

#include <optional>
#include <string>

namespace files {

enum class TargetKind {
    Missing,      // nothing there yet: a new file
    File,         // a regular file, replaced whole
    Pipe,         // a FIFO or a named pipe: written in place, as it comes
    Device,       // a character device (a terminal, /dev/null; NUL or CON on
                  // Windows): written in place too
    Folder,
    BlockDevice,
    Socket,
    DanglingLink,  // a link to a name where there is nothing
    Unreachable,   // a name the system will not lead to a file (a loop, a
                   // folder that may not be searched, a link the system
                   // refuses to follow), or one that cannot be written for a
                   // reason of the platform's own: refusal or error says why
};

struct WriteTarget {
    TargetKind kind = TargetKind::Missing;
    // For messages: the name as given, or for a link the name of what it leads to.
    std::string path;
    // For a link, the name it holds (where it leads).
    std::string linkedTo;
    int error = 0;
    // On Windows, the device a reserved name stands for (CON for "CON.csv").
    std::string deviceName;
    // Why an Unreachable target cannot be written, where the system's error
    // would not say it.
    std::string refusal;
    // Natively, the program's own open descriptor a name stands for
    // (/dev/stdout, /dev/fd/N, /proc/self/fd/N, or a name of the file standard
    // output goes to): written through as it is, as a shell's redirection is;
    // -1 for any other name.
    int descriptor = -1;

    // The folder the file is (or will be) in, and its name there.
    HeldFolder folder;
    std::string name;
    // What the name led to when it was resolved (a file, a pipe, a device),
    // opened for no more than telling what it is.
    SystemHandle existing;
    std::optional<FileIdentity> identity;
};

WriteTarget TargetOf(const std::string& name);
// A name that leads to no file that can be written: error, or refusal, says why.
WriteTarget UnreachableTarget(const std::string& name, int error, std::string refusal = {});

// Pipes, devices and the program's own descriptors: nothing in them to lose,
// and no file to put beside them.
bool IsWrittenInPlace(TargetKind kind);
bool IsWrittenInPlace(const WriteTarget& target);
// An existing file that a new one would replace (a question, or --force).
bool IsReplaced(const WriteTarget& target);

// Why nothing may be written to a target, in a few words that name what it is;
// empty where it may be written. A file that has to be written whole before it
// may take its place (wholeFile) is refused for a stream too.
std::string RefusalOf(const WriteTarget& target, bool wholeFile);

// The kept file the target is, if any.
const KeptFile* KeptFileAt(const WriteTarget& target, const KeptFiles& kept);

// Whether two names of a folder's entries are one, as its file system compares them.
bool SameEntryName(const std::string& a, const std::string& b);

// Whether two targets are one file, or one new name in one folder.
bool SameTarget(const WriteTarget& a, const WriteTarget& b);

}  // namespace files
