#include "cli/Terminal.h"

#include "files/Files.h"
#include "files/WideNames.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <string>

OutputEncoding StandardOutputEncoding()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ? OutputEncoding::Console : OutputEncoding::Ansi;
}

bool StandardOutputIsEightBitTerminal()
{
    return false;
}

bool WriteConsoleText(std::string_view text)
{
    if (text.empty())
        return true;
    if (text.size() > INT_MAX)
        return false;
    int length = static_cast<int>(text.size());
    std::wstring wide(text.size(), L'\0');
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), length);
    DWORD written = 0;
    return wideLength > 0 &&
           WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), wide.data(), static_cast<DWORD>(wideLength), &written,
                         nullptr) &&
           written == static_cast<DWORD>(wideLength);
}

void WriteErrorLine(std::string_view text)
{
    std::fflush(stderr);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        std::wstring wide = files::WideText(text) + L"\n";
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::string bytes = files::ExactAnsi(text).value_or(std::string(text));
    std::fprintf(stderr, "%.*s\n", static_cast<int>(bytes.size()), bytes.data());
}
