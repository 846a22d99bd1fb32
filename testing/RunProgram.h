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
// the program's own form of them: UTF-8 in the Windows build. environment
// holds "NAME=value" entries added to (or replacing) the test's own.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder, const std::vector<std::string>& environment = {});

// The name the system under the program gives a file or folder: the Linux
// path behind a Windows one under Wine; natively the name itself.
std::string HostPath(const std::string& name);

}  // namespace testfiles
