#include "cli/Terminal.h"

#include <windows.h>

#include <climits>
#include <string>

OutputEncoding StandardOutputEncoding()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ? OutputEncoding::Console : OutputEncoding::Ansi;
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
