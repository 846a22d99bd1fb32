#pragma once
// Per-platform primitives behind the file classes. Each returns 0 on success
// or the system's error number.

#include "files/WriteTarget.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace files {

// The target's own name with a mark of this process and call ("~<pid>-<n>.tmp",
// base 36) in place of its end, so that it is no longer than the target's
// name: a name the target may have, the temporary one may have too. A name
// shorter than the mark gets it added.
std::string TemporaryNameFor(const std::string& name);

}  // namespace files

namespace files::system {

// Gives the new file at handle the access of the file the target is:
// natively its mode, its owner where the program may (as root), its access
// list and other extended attributes, so that a private file stays private.
// On Windows the replace itself keeps them.
int KeepAccess(const WriteTarget& target, std::intptr_t handle);
// Opens what TargetOf found to be a pipe, a device or one of the program's
// own descriptors for writing in place, keeping what is there; fails where it
// is no longer one.
int OpenInPlace(const WriteTarget& target, std::intptr_t& handle);
// A reader of a pipe that went away fails the write (EPIPE) rather than end the program.
int WriteAll(std::intptr_t handle, const char* data, std::size_t size);
// Makes the file at least size bytes long, with its space taken on the disk.
int Allocate(std::intptr_t handle, std::uint64_t size);
// From now on a write past a file-size limit fails with an error rather than
// ending the program (POSIX: SIGXFSZ).
void FailWritesPastSizeLimit();
int SyncAndClose(std::intptr_t handle);
int Close(std::intptr_t handle);
// The error of creating or moving onto a name that is taken.
bool IsExistsError(int code);
// The error of a name where there is nothing.
bool IsMissingError(int code);
// Whether a name that a move found taken shows as nothing there (under Wine,
// a link that leads nowhere).
bool TakenByNothing(const WriteTarget& target);
// Why a file created at path would not get exactly that name; empty where it would.
std::string NameFault(const std::string& path);
unsigned long ProcessId();

}  // namespace files::system
