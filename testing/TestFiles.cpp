#include "testing/TestFiles.h"

#include <algorithm>
#include <atomic>
#include <chrono>
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

void WriteBytes(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

FileSnapshot Snapshot(const std::string& path)
{
    return {ReadBytes(path), std::filesystem::last_write_time(path)};
}

std::uint64_t FileSizeLimit()
{
    // Under Wine a path from the root is on the current drive, usually the
    // one that maps Linux's root (Z:).
    for (const char* limits : {"/proc/self/limits", "Z:/proc/self/limits"}) {
        std::ifstream file(limits);
        for (std::string line; std::getline(file, line);) {
            constexpr std::string_view Name = "Max file size";
            if (line.compare(0, Name.size(), Name) != 0)
                continue;
            std::istringstream fields(line.substr(Name.size()));
            std::string soft;
            fields >> soft;
            return soft == "unlimited" ? 0 : std::stoull(soft);
        }
    }
    return 0;
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
