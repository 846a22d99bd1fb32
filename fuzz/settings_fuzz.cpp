// The settings file loader on files of any bytes.

#include "fuzz/FuzzChecks.h"
#include "settings/GameFolderSetting.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// Except for what a saved folder never is (the folder browser gives full
// paths): one that begins with a blank, or with the bytes of a UTF-8
// byte-order mark, which loading skips.
bool FolderLoadsBack(const std::string& folder)
{
    bool quoted = folder.size() >= 2 && folder.front() == '"' && folder.back() == '"';
    return folder.empty() || folder[0] == ' ' || folder.starts_with("\xEF\xBB\xBF") || quoted ||
           FolderFromSettings(folder + "\r\n") == folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool inScratchFolder = [] {
        auto folder = std::filesystem::temp_directory_path() / ("veltrane-fuzz-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        return true;
    }();
    (void)inScratchFolder;

    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string folder = FolderFromSettings(bytes);
    FUZZ_CHECK(folder.size() <= size);
    FUZZ_CHECK(folder.find_first_of(std::string("\r\n\x1a\t\0", 5)) == std::string::npos);
    FUZZ_CHECK(FolderLoadsBack(folder));

    {
        std::ofstream file("galvorfolder.txt", std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::optional<std::string> loaded = LoadGameFolder();
    FUZZ_CHECK(loaded.has_value());
    FUZZ_CHECK(*loaded == FolderFromSettings(bytes.substr(0, 32767)));
    return 0;
}
