#pragma once
// Scratch folders and file helpers for tests.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace testfiles {

// A new empty folder under the system's temporary folder, removed with all it
// holds when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A path from the program's own form of a name: UTF-8 in the Windows build,
// where std::filesystem takes a std::string in another encoding; the bytes natively.
std::filesystem::path PathOf(std::string_view name);

// Paths in the program's own form.
void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// Bytes and modification time, to show a file was not touched.
struct FileSnapshot {
    std::string bytes;
    std::filesystem::file_time_type modified;
    bool operator==(const FileSnapshot&) const = default;
};
FileSnapshot Snapshot(const std::string& path);

// The file-size limit (Linux's, also under Wine) this program runs under, as
// VELTRANE_TEST_FILE_SIZE_LIMIT says; 0 for none.
std::uint64_t FileSizeLimit();

// Names of the entries of a folder, sorted.
std::string Listing(const std::filesystem::path& folder);

}  // namespace testfiles
