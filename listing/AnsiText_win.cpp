#include "listing/AnsiText.h"

#include <windows.h>

#include <array>
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

bool IsControlInAnsi(unsigned char byte)
{
    static const std::array<bool, 256> controls = [] {
        std::array<bool, 256> table{};
        for (int b = 0; b < 256; ++b) {
            char c = static_cast<char>(b);
            wchar_t wide = 0;
            // A lead byte of a double-byte code page is no character alone.
            if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &c, 1, &wide, 1) == 1)
                table[static_cast<std::size_t>(b)] = wide < 0x20 || (wide >= 0x7F && wide < 0xA0);
        }
        return table;
    }();
    return controls[byte];
}
