#include "ui/FontString.h"

#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> Fields(std::string_view text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        fields.emplace_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

}  // namespace

FontRequest ParseFontString(std::string_view text)
{
    std::vector<std::string> fields = Fields(text);
    auto number = [&fields](std::size_t index) {
        return index < fields.size() ? std::atoi(fields[index].c_str()) : 0;
    };
    FontRequest request;
    request.face = fields[0];
    request.height = number(1);
    request.weight = number(5);
    request.italic = number(6) != 0;
    request.underline = number(7) != 0;
    request.strikeOut = number(8) != 0;
    return request;
}

int FontPixelHeight(int height, int pixelsPerInch)
{
    return height > 0 ? -(height * pixelsPerInch / 72) : height;
}
