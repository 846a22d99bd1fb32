#pragma once
// Hands out the records of mastplyr.dat in file order.
//
// The file is opened for reading only and never created or written. A file
// that cannot be opened behaves as one that has ended; open() says why, so the
// caller can tell the user. Reading goes as the game's own readers go: after a
// file's whole records comes one more, made of the bytes that are left (none,
// for a file whose length is a multiple of 94) followed by zero bytes. A read
// that fails ends the reading at once, and readFailed() says so: the records
// already given are then not the whole file.

#include "files/Files.h"
#include "masterfile/MasterPlayerRecord.h"

#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view MasterFileName = "mastplyr.dat";

// Every master file a reader has opened since the program started, known by
// its handle as it was read: no export is ever written over one, whatever a
// name leads to later.
files::KeptFiles MasterFilesRead();
// Those, and the master file in folder as its name leads now.
files::KeptFiles MasterFilesKept(std::string_view folder);

class MasterPlayerReader {
public:
    // Opens "folder" + separator + "mastplyr.dat".
    files::OpenResult open(std::string_view folder);
    // Reads the size bytes at data as the file of those bytes would be read;
    // they must stay in place until the reading ends. For fuzzing and benchmarks.
    void openBytes(const unsigned char* data, std::size_t size);
    const std::string& path() const { return path_; }
    // Which file was opened, as its handle says.
    std::optional<files::FileIdentity> identity() const { return file_.identity(); }
    bool atEnd() const { return ended_; }
    void readNext(MasterPlayerRecord& record);
    // Whether a read failed; readFailure() is the system's text for it.
    bool readFailed() const { return file_.readError() != 0; }
    std::string readFailure() const;
    // How many records the file held when it was opened (for reserving room).
    std::uint64_t recordsWhenOpened() const
    {
        return (file_.isOpen() ? file_.sizeWhenOpened() : length_) / MasterRecordSize + 1;
    }
    // The bytes of the record readNext gave last.
    const MasterRecordBytes& recordBytes() const { return current_; }
    void close()
    {
        file_.close();
        ended_ = true;
    }

private:
    void refill();

    files::ReadOnlyFile file_;
    std::string path_;
    std::vector<unsigned char> buffer_;
    const unsigned char* bytes_ = nullptr;  // the buffer, or the bytes of openBytes
    MasterRecordBytes current_{};
    std::size_t position_ = 0;
    std::size_t length_ = 0;
    bool exhausted_ = true;  // the file gave all it has
    bool ended_ = true;
};
