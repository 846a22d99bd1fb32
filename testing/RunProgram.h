#pragma once
// Runs a program of the build as a user would, for end-to-end tests.

#include <string>
#include <vector>

namespace testfiles {

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The path of a program built beside the running test program ("veltrane-cli"
// gives veltrane-cli.exe in the Windows build).
std::string SiblingProgram(const std::string& name);

// Runs program with arguments in folder; standard input is empty. Names are
// the program's own form of them: UTF-8 in the Windows build.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder);

}  // namespace testfiles
