#pragma once
// The bad inputs every front end is tried with: master files and folders,
// settings files. Each case is made in a folder of its own.

#include "testing/TestFiles.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testfiles {

struct MasterCase {
    std::string name;
    std::string folder;      // the game folder to give the program
    std::string masterFile;  // the master file to check afterwards; empty when there is none
    std::optional<int> qualifying;  // players a run over every season lists, where known
    bool opens = true;       // false: the program must say it cannot open the file
};

// 0, 1, 93, 95 and 94 x 7 + 7 bytes, 1 MB of garbage, all 0xFF, mastplyr.dat
// being a folder, a missing folder, folders with "*" or "?", and a folder
// path longer than 260 characters.
std::vector<MasterCase> MakeMasterCases(const std::filesystem::path& root);

struct SettingsCase {
    std::string name;
    std::string bytes;  // the settings file's content
    bool isFolder = false;  // galvorfolder.txt is a folder instead
};

// A folder, empty, binary, and 1 MB long.
std::vector<SettingsCase> SettingsCases();
// Makes galvorfolder.txt in folder as the case says.
void MakeSettings(const std::filesystem::path& folder, const SettingsCase& settings);

// The file's bytes and time, dated back a day first so a write would show.
FileSnapshot AgedSnapshot(const std::string& path);

// Before a run: the aged snapshot of the case's master file, if it has one.
std::optional<FileSnapshot> BeforeRun(const MasterCase& bad);
// After it: the master file has the same bytes and time, or there is still none.
bool UntouchedByRun(const MasterCase& bad, const std::optional<FileSnapshot>& before);

}  // namespace testfiles
