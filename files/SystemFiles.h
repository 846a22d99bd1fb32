#pragma once
// Per-platform primitives behind Files.h. Each returns 0 on success or the
// system's error number.

#include <cstddef>
#include <cstdint>
#include <string>

namespace files::system {

int CreateNew(const std::string& path, std::intptr_t& handle);
// Gives the new file at handle the access the file at path has (natively its
// mode, and owner where the program may), so a replaced private file stays
// private. Windows: the folder's access is inherited as it is.
void KeepAccessOf(const std::string& path, std::intptr_t handle);
// Opens an existing file for writing, keeping what it holds.
int OpenExisting(const std::string& path, std::intptr_t& handle);
// Opens what TargetOf found to be a pipe or a device for writing in place,
// keeping what is there; fails where it is no longer one.
int OpenInPlace(const std::string& path, std::intptr_t& handle);
// A handle of its own on one of the program's open descriptors (natively only).
int DuplicateDescriptor(int descriptor, std::intptr_t& handle);
// A reader of a pipe that went away fails the write (EPIPE) rather than end the program.
int WriteAll(std::intptr_t handle, const char* data, std::size_t size);
// Makes the file at least size bytes long, with its space taken on the disk.
int Allocate(std::intptr_t handle, std::uint64_t size);
// From now on a write past a file-size limit fails with an error rather than
// ending the program (POSIX: SIGXFSZ).
void FailWritesPastSizeLimit();
int SyncAndClose(std::intptr_t handle);
int Close(std::intptr_t handle);
void CloseQuietly(std::intptr_t handle);
int ReplaceWith(const std::string& source, const std::string& target);
// Renames source to target only while target does not exist.
int MoveNoReplace(const std::string& source, const std::string& target);
// The error of creating or moving onto a name that is taken.
bool IsExistsError(int code);
void RemoveQuietly(const std::string& path);
// Why a file created at path would not get exactly that name; empty where it would.
std::string NameFault(const std::string& path);
unsigned long ProcessId();

}  // namespace files::system
