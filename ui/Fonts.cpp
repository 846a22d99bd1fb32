#include "ui/Fonts.h"

#include "ui/FontString.h"
#include "ui/Handles.h"

#include <map>
#include <string>

namespace {

int CALLBACK RememberCharset(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM charset)
{
    *reinterpret_cast<BYTE*>(charset) = font->lfCharSet;
    return 1;  // go on: the last one enumerated wins
}

// The character set of the face's fonts on the screen; ANSI when it has none.
BYTE FaceCharset(HDC screen, const std::string& face)
{
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
    BYTE charset = ANSI_CHARSET;
    EnumFontFamiliesExA(screen, &wanted, RememberCharset, reinterpret_cast<LPARAM>(&charset), 0);
    return charset;
}

OwnedFont MakeFont(std::string_view fontString)
{
    FontRequest request = ParseFontString(fontString);
    if (request.face.empty())
        return OwnedFont();
    ScreenDc screen;
    int height = FontPixelHeight(request.height, GetDeviceCaps(screen.get(), LOGPIXELSY));
    return OwnedFont(CreateFontA(height, 0, 0, 0, request.weight, request.italic, request.underline, request.strikeOut,
                                 FaceCharset(screen.get(), request.face), OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, request.face.c_str()));
}

}  // namespace

HFONT CachedFont(std::string_view fontString)
{
    static std::map<std::string, OwnedFont, std::less<>> cache;
    auto found = cache.find(fontString);
    if (found == cache.end())
        found = cache.emplace(std::string(fontString), MakeFont(fontString)).first;
    return found->second.get();
}
