#include "listing/FixedWidth.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t Magnitude(std::int32_t n)
{
    return n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
}

template <typename Text>
void WriteMaskedNumber(Text& out, std::int32_t n, std::string_view mask)
{
    std::size_t first = mask.find_first_of("#0");
    if (first == std::string_view::npos) {
        out.append(mask);
        return;
    }
    std::size_t last = mask.find_last_of("#0");
    std::size_t places = last - first + 1;
    ShortText digits;
    digits.appendDigits(Magnitude(n));
    out.append(mask.substr(0, first));
    if (n < 0)
        out.append('-');
    if (mask[first] == '0' && places > digits.size())
        out.append(places - digits.size(), '0');
    out.append(digits.view());
    out.append(mask.substr(last + 1));
}

// std::string has no append(char); the writer above uses the same spelling for both.
struct StringText {
    std::string text;
    void append(char c) { text += c; }
    void append(std::size_t count, char c) { text.append(count, c); }
    void append(std::string_view part) { text += part; }
};

}  // namespace

std::string Blanks(int count)
{
    return std::string(count > 0 ? static_cast<std::size_t>(count) : 0, ' ');
}

std::string LeftCell(std::string_view text, int width)
{
    std::string cell(text);
    cell.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, width - static_cast<std::ptrdiff_t>(text.size()))), ' ');
    return cell;
}

std::string RightCell(std::string_view text, int width)
{
    std::string cell = Blanks(width - static_cast<int>(std::min<std::size_t>(text.size(), INT32_MAX)));
    cell += text;
    return cell;
}

ShortText NumberTextOf(std::int32_t n)
{
    ShortText text;
    text.append(n < 0 ? '-' : ' ');
    text.appendDigits(Magnitude(n));
    return text;
}

std::string NumberText(std::int32_t n)
{
    return NumberTextOf(n).str();
}

ShortText MaskedNumberOf(std::int32_t n, std::string_view mask)
{
    ShortText text;
    WriteMaskedNumber(text, n, mask.substr(0, 16));
    return text;
}

std::string MaskedNumber(std::int32_t n, std::string_view mask)
{
    StringText text;
    WriteMaskedNumber(text, n, mask);
    return text.text;
}

int CompareText(std::string_view a, std::string_view b)
{
    std::size_t common = std::min(a.size(), b.size());
    int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    if (order != 0)
        return order;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}
