#pragma once
// A folder held open while an export is written in it, so that every step
// after the name was resolved (the temporary file, the checks, the replace,
// the removal on failure, the sync) is made in that very folder, whatever
// its name or a link on the way leads to meanwhile.
//
// Natively every call is made relative to the folder's descriptor. On Windows
// the folder is held without delete sharing, so that it can be neither renamed
// nor removed meanwhile, and its entries are named through the full path the
// system gives the held folder.

#include "files/FileIdentity.h"
#include "files/SystemHandle.h"

#include <cstdint>
#include <optional>
#include <string>

namespace files {

class HeldFolder {
public:
    // Opens the folder at path, its links followed by the system (and so by
    // its rules for links in shared folders); 0 or the system's error number.
    int open(const std::string& path);
    // Opens the folder at a path relative to base (or absolute), the same way.
    int openIn(const HeldFolder& base, const std::string& path);
    bool isOpen() const { return handle_.isOpen(); }
    // The name it was opened by, for messages (and on Windows the system's
    // full name of the folder, through which its entries are named).
    const std::string& path() const { return path_; }
    std::optional<FileIdentity> identity() const { return IdentityOfOpen(handle_.get()); }
    std::intptr_t handle() const { return handle_.get(); }

    // A new file of that name in the folder, for writing; fails where the name is taken.
    int createNew(const std::string& name, std::intptr_t& handle) const;
    // An existing file of the folder, opened again for writing, never created.
    int openExisting(const std::string& name, std::intptr_t& handle) const;
    // The identity of the entry of that name itself (a link is not followed);
    // the system's error where there is none.
    int identityOf(const std::string& name, FileIdentity& identity) const;
    // Moves an entry of the folder to a name in into (this one or another on
    // its file system), replacing what is there only with replace (else
    // failing where the name is taken).
    int move(const std::string& from, const HeldFolder& into, const std::string& to, bool replace) const;
    // Exchanges an entry of the folder with one of other, both kept;
    // NoExchange where the system or its file system cannot (Windows has no
    // such call).
    int exchange(const std::string& a, const HeldFolder& other, const std::string& b) const;
    static constexpr int NoExchange = -1;
    int remove(const std::string& name) const;
    // A new folder that only its owner may enter.
    int makeFolder(const std::string& name) const;
    // Removes a folder of the folder with everything in it; 0 only when it is gone.
    int removeFolder(const std::string& name) const;
    // Removes every entry of the folder but one; 0 only when they are gone.
    int removeAllBut(const std::string& kept) const;
    // Puts the folder's entries (a new name, a rename) on the disk. A folder
    // held only for searching is put there with its whole file system,
    // through its entry of that name.
    int sync(const std::string& entry) const;
    // A name by which a library that takes names reaches the entry in this
    // very folder: natively through the system's own link to the descriptor
    // where the system has one.
    std::string nameFor(const std::string& name) const;

private:
    SystemHandle handle_;
    std::string path_;
};

}  // namespace files
