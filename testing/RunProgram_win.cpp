#include "testing/RunProgram.h"

#include "testing/TestFiles.h"

#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <stdexcept>
#include <string>

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

// The test's environment with the entries added, as a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::vector<std::string>& added)
{
    std::wstring block;
    for (const std::string& entry : added)
        block += Wide(entry) + L'\0';
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; entry && *entry; entry += wcslen(entry) + 1) {
        std::wstring_view variable(entry);
        std::wstring name(variable.substr(0, variable.find(L'=', 1)));
        bool replaced = false;
        for (const std::string& entryAdded : added)
            replaced = replaced || Wide(entryAdded).starts_with(name + L"=");
        if (!replaced)
            block += std::wstring(variable) + L'\0';
    }
    FreeEnvironmentStringsW(own);
    return block + L'\0';
}

}  // namespace

std::string HostPath(const std::string& name)
{
    // Wine's own export; on Windows itself the name stays as it is.
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* host = unixName ? unixName(Wide(name).c_str()) : nullptr;
    if (!host)
        return name;
    std::string path(host);
    HeapFree(GetProcessHeap(), 0, host);
    return path;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder, const std::vector<std::string>& environment)
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
        std::wstring variables = EnvironmentBlock(environment);
        BOOL started = CreateProcessW(Wide(program).c_str(), wideLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                                      environment.empty() ? nullptr : variables.data(), Wide(folder).c_str(),
                                      &startup, &process);
        CloseHandle(in);
        CloseHandle(out);
        CloseHandle(err);
        if (!started)
            throw std::runtime_error("cannot start " + program + " (error " + std::to_string(GetLastError()) + ")");
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
