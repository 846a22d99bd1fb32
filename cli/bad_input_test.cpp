// The bad-input matrix through veltrane-cli: the program's own output or a
// clear message, never a crash or a hang, and the game's file untouched.

#include "files/Files.h"
#include "testing/BadInputs.h"
#include "testing/RunProgram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#endif

using testfiles::ScratchFolder;

namespace {

testfiles::ProgramResult Cli(const std::vector<std::string>& arguments, const std::string& folder)
{
    return testfiles::RunProgram(testfiles::SiblingProgram("veltrane-cli"), arguments, folder);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Header, the lines, and a count that matches them.
void ExpectListing(const testfiles::ProgramResult& result, std::optional<int> qualifying)
{
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_GE(lines.size(), 2u) << result.out;
    EXPECT_EQ(lines.front().substr(0, 7), "  UID  ");
    std::size_t listed = lines.size() - 2;
    EXPECT_EQ(lines.back(), " " + std::to_string(listed) + " Records qualified ");
    if (qualifying) {
        EXPECT_EQ(listed, static_cast<std::size_t>(*qualifying));
    }
}

}  // namespace

TEST(BadInput, MasterFilesAndFoldersGiveTheListingOrAMessage)
{
    ScratchFolder scratch;
    for (const testfiles::MasterCase& bad : testfiles::MakeMasterCases(scratch.path())) {
        SCOPED_TRACE(bad.name);
        std::optional<testfiles::FileSnapshot> before = testfiles::BeforeRun(bad);
        auto result = Cli({"--folder", bad.folder, "--first", "1871", "--last", "2024", "--order", "uid", "--csv",
                           "out.csv", "--force"},
                          scratch.str());
        if (result.exitCode == 0) {
            EXPECT_TRUE(bad.opens);
            ExpectListing(result, bad.qualifying);
        } else {
            EXPECT_EQ(result.exitCode, 1) << result.err;  // never a crash
            EXPECT_EQ(result.out, "");
            std::string start = "Cannot open \"" + files::JoinPath(bad.folder, "mastplyr.dat") + "\": ";
            EXPECT_EQ(result.err.substr(0, start.size()), start);
            EXPECT_GT(result.err.size(), start.size() + 2);
#ifndef _WIN32
            EXPECT_FALSE(bad.opens);  // Linux opens every case that has a file
#endif
        }
        EXPECT_TRUE(testfiles::UntouchedByRun(bad, before));
    }
}

TEST(BadInput, SettingsFilesThatNameNoFolderSaySo)
{
    for (const testfiles::SettingsCase& settings : testfiles::SettingsCases()) {
        SCOPED_TRACE(settings.name);
        ScratchFolder scratch;
        testfiles::MakeSettings(scratch.path(), settings);
        auto result = Cli({"--first", "1871", "--last", "2024"}, scratch.str());
        EXPECT_TRUE(result.exitCode == 1 || result.exitCode == 2) << result.exitCode;
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(result.err.empty());
        if (!settings.isFolder) {
            EXPECT_EQ(testfiles::ReadBytes((scratch.path() / "galvorfolder.txt").string()), settings.bytes);
        }
    }
}

#ifdef _WIN32
// Another program holding a file without sharing: Windows only, Linux has no share modes.
class HeldFile {
public:
    explicit HeldFile(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~HeldFile() { CloseHandle(handle_); }
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

TEST(BadInput, FilesHeldByAnotherProgram)
{
    ScratchFolder scratch;
    auto cases = testfiles::MakeMasterCases(scratch.path());
    const testfiles::MasterCase& bad = cases[3];  // 95 bytes
    auto before = testfiles::AgedSnapshot(bad.masterFile);
    {
        HeldFile held(bad.masterFile);
        ASSERT_TRUE(held.held());
        auto result = Cli({"--folder", bad.folder, "--first", "1871", "--last", "2024"}, scratch.str());
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("Cannot open \"", 0), 0u) << result.err;
    }
    EXPECT_TRUE(testfiles::Snapshot(bad.masterFile) == before);

    testfiles::WriteBytes((scratch.path() / "galvorfolder.txt").string(), bad.folder + "\r\n");
    HeldFile held((scratch.path() / "galvorfolder.txt").string());
    auto result = Cli({"--first", "1871", "--last", "2024"}, scratch.str());
    EXPECT_EQ(result.exitCode, 2);  // an unreadable settings file names no folder
    EXPECT_NE(result.err.find("No game folder"), std::string::npos) << result.err;
}
#endif
