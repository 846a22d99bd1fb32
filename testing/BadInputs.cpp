#include "testing/BadInputs.h"

#include "files/Files.h"
#include "tools/SampleMaster.h"

#include <chrono>

namespace testfiles {

namespace {

std::string ValidRecords(int count)
{
    std::string bytes;
    for (int i = 1; i <= count; ++i) {
        MasterPlayerRecord r;
        r.uid = static_cast<std::int16_t>(i);
        r.lastName = "Case";
        r.firstName = "Player" + std::to_string(i);
        r.debutYear = 1900;
        r.finalYear = 1910;
        bytes += AsString(EncodeMasterRecord(r));
    }
    return bytes;
}

std::string Garbage(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<char>(state);
    }
    return bytes;
}

}  // namespace

std::vector<MasterCase> MakeMasterCases(const std::filesystem::path& root)
{
    std::vector<MasterCase> cases;
    auto withFile = [&](const std::string& name, const std::string& bytes, std::optional<int> qualifying) {
        std::filesystem::path folder = root / name;
        std::filesystem::create_directories(folder);
        std::string file = (folder / "mastplyr.dat").string();
        WriteBytes(file, bytes);
        cases.push_back({name, folder.string(), file, qualifying, true});
    };
    std::string one = ValidRecords(1);
    withFile("0 bytes", "", 0);
    withFile("1 byte", std::string(1, '\0'), 0);
    withFile("93 bytes", one.substr(0, 93), 1);  // the last byte of a record is style, 0 anyway
    withFile("95 bytes", one + "\x01", 1);
    // Seven records and seven bytes more: a valid UID 5 record with a careerless zero season.
    withFile("94 x 7 + 7 bytes", ValidRecords(7) + std::string("\0\0\x05\0Abc", 7), 7);
    withFile("1 MB of garbage", Garbage(1 << 20), std::nullopt);
    withFile("all 0xFF", std::string(94 * 50, '\xff'), 0);

    std::filesystem::path directory = root / "master is a folder";
    std::filesystem::create_directories(directory / "mastplyr.dat");
    cases.push_back({"mastplyr.dat is a folder", directory.string(), "", std::nullopt, false});
    cases.push_back({"missing folder", (root / "no such folder").string(), "", std::nullopt, false});
    cases.push_back({"folder with *", (root / "ga*es").string(), "", std::nullopt, false});
    cases.push_back({"folder with ?", (root / "ga?es").string(), "", std::nullopt, false});

    std::filesystem::path deep = root;
    while (deep.string().size() <= 270)
        deep /= std::string(50, 'd');
    std::error_code error;
    std::filesystem::create_directories(deep, error);
    if (!error) {
        WriteBytes((deep / "mastplyr.dat").string(), ValidRecords(3));
        cases.push_back({"folder longer than 260 characters", deep.string(), (deep / "mastplyr.dat").string(), 3,
                         true});
    }
    return cases;
}

std::vector<SettingsCase> SettingsCases()
{
    std::string binary = Garbage(4096);
    return {
        {"a folder", "", true},
        {"empty", "", false},
        {"binary", binary, false},
        {"1 MB long", std::string(1 << 20, 'x'), false},
    };
}

void MakeSettings(const std::filesystem::path& folder, const SettingsCase& settings)
{
    std::filesystem::path file = folder / "galvorfolder.txt";
    std::filesystem::remove_all(file);
    if (settings.isFolder)
        std::filesystem::create_directories(file);
    else
        WriteBytes(file.string(), settings.bytes);
}

FileSnapshot AgedSnapshot(const std::string& path)
{
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(24));
    return Snapshot(path);
}

std::optional<FileSnapshot> BeforeRun(const MasterCase& bad)
{
    if (bad.masterFile.empty())
        return std::nullopt;
    return AgedSnapshot(bad.masterFile);
}

bool UntouchedByRun(const MasterCase& bad, const std::optional<FileSnapshot>& before)
{
    if (before)
        return Snapshot(bad.masterFile) == *before;
    return !std::filesystem::is_regular_file(files::JoinPath(bad.folder, "mastplyr.dat"));
}

}  // namespace testfiles
