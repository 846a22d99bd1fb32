#include "testing/TestFiles.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testfiles {

ScratchFolder::ScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("veltrane-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path PathOf(std::string_view name)
{
#ifdef _WIN32
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
#else
    return std::filesystem::path(std::string(name));
#endif
}

void WriteBytes(const std::string& path, std::string_view bytes)
{
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(PathOf(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

FileSnapshot Snapshot(const std::string& path)
{
    return {ReadBytes(path), std::filesystem::last_write_time(PathOf(path))};
}

std::uint64_t FileSizeLimit()
{
    // Said by the command that sets it: under Wine, /proc/self is the Wine
    // server's, which opens the files.
    const char* limit = std::getenv("VELTRANE_TEST_FILE_SIZE_LIMIT");
    return limit ? std::strtoull(limit, nullptr, 10) : 0;
}

std::string Listing(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const auto& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}

}  // namespace testfiles
