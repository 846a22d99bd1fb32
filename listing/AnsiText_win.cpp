#include "listing/AnsiText.h"

#include <windows.h>

#include <climits>

std::string Utf8FromAnsi(std::string_view text)
{
    if (text.empty() || text.size() > INT_MAX / 4)
        return {};
    int length = static_cast<int>(text.size());
    std::wstring wide(text.size(), L'\0');
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), length);
    std::string out(static_cast<std::size_t>(wideLength) * 3, '\0');
    int outLength = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, out.data(),
                                        static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<std::size_t>(outLength));
    return out;
}
