#pragma once
// Font strings: the fourteen comma-separated fields that describe each
// control's font ("MS Sans Serif,-16,0,0,0,700,0,0,0,0,1,2,1,34").

#include <string>
#include <string_view>

struct FontRequest {
    std::string face;  // empty: the control keeps its default font
    int height = 0;    // negative: pixels; positive: points
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// Only face, height, weight, italic, underline and strike-out are used; the
// width, escapement, orientation, character set, precision, quality and
// pitch fields are ignored. Missing or non-numeric fields read as 0.
FontRequest ParseFontString(std::string_view text);

// The character height to ask for: a negative height is used as it is; points
// become -(points * pixels per inch / 72), truncated.
int FontPixelHeight(int height, int pixelsPerInch);
