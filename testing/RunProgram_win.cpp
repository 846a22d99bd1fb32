#include "testing/RunProgram.h"

#include "testing/TestFiles.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>

namespace testfiles {

std::string SiblingProgram(const std::string& name)
{
    char self[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    return (std::filesystem::path(std::string(self, length)).parent_path() / (name + ".exe")).string();
}

namespace {

std::string Quoted(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

HANDLE InheritableFile(const std::string& path, bool forWriting)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(path.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Arguments are UTF-8, as the program holds names: they reach it as wide
// characters, as from a Windows shell.
std::wstring Wide(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder)
{
    ScratchFolder capture;
    std::string commandLine = Quoted(program);
    for (const auto& argument : arguments)
        commandLine += " " + Quoted(argument);
    ProgramResult result;
    {
        WriteBytes(capture.file("in"), "");
        HANDLE in = InheritableFile(capture.file("in"), false);
        HANDLE out = InheritableFile(capture.file("out"), true);
        HANDLE err = InheritableFile(capture.file("err"), true);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process{};
        std::wstring wideLine = Wide(commandLine);
        BOOL started = CreateProcessW(Wide(program).c_str(), wideLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, Wide(folder).c_str(), &startup, &process);
        CloseHandle(in);
        CloseHandle(out);
        CloseHandle(err);
        if (!started)
            throw std::runtime_error("cannot start " + program);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        result.exitCode = static_cast<int>(code);
    }
    result.out = ReadBytes(capture.file("out"));
    result.err = ReadBytes(capture.file("err"));
    return result;
}

}  // namespace testfiles
