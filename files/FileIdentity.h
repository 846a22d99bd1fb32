#pragma once
// Which file an open handle is, to tell whether two names led to one file
// without asking either name again.

#include "files/SystemHandle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace files {

struct FileIdentity {
#ifndef _WIN32
    static FileIdentity Of(const struct stat& info);
#endif
#ifdef _WIN32
    // The volume's serial and the file's index, which on Windows tell one
    // file from every other. Under Wine the index is the inode and the serial
    // is the drive's, so one file reached through two drives (a bind mount,
    // or C: and Z:) has two serials, and two files on two file systems of one
    // drive can share an index: there the times, to a tenth of a microsecond,
    // and the size tell those apart instead of the serial.
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t written = 0;
    std::int64_t changed = 0;
    // Where the file system gives every file the index 0 (some network ones),
    // only its full path tells, in upper case as the file system compares.
    std::wstring finalPath;
#else
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
#endif
};

bool SameIdentity(const FileIdentity& a, const FileIdentity& b);

// The identity of the file or folder an open handle (a descriptor natively, a
// HANDLE on Windows) is on; nothing where the system cannot say.
std::optional<FileIdentity> IdentityOfOpen(std::intptr_t handle);

// A file the program must never write, known by what it read, and the name it
// was read under (for messages); held, where the system allows, so that its
// identity stays its own.
struct KeptFile {
    FileIdentity identity;
    std::string path;
    std::shared_ptr<SystemHandle> held;
};
using KeptFiles = std::vector<KeptFile>;

// The kept file an identity is, if any.
const KeptFile* KeptFileFor(const FileIdentity& identity, const KeptFiles& kept);

// The file a name leads to now, opened for no more than its identity; nothing
// where there is no file there (or the system cannot open it).
std::optional<KeptFile> KeptFileNamed(const std::string& path);

}  // namespace files
