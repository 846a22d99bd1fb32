#include "listing/FixedWidth.h"

#include <algorithm>
#include <cstring>

namespace {

// Digits of the magnitude, written backwards from end; returns where they start.
char* MagnitudeDigits(std::int32_t n, char* end)
{
    std::uint32_t magnitude = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    do {
        *--end = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    return end;
}

void AppendBlanks(std::string& out, std::ptrdiff_t count)
{
    if (count > 0)
        out.append(static_cast<std::size_t>(count), ' ');
}

}  // namespace

std::string Blanks(int count)
{
    return std::string(count > 0 ? static_cast<std::size_t>(count) : 0, ' ');
}

void AppendLeftCell(std::string& out, std::string_view text, int width)
{
    out += text;
    AppendBlanks(out, width - static_cast<std::ptrdiff_t>(text.size()));
}

void AppendRightCell(std::string& out, std::string_view text, int width)
{
    AppendBlanks(out, width - static_cast<std::ptrdiff_t>(text.size()));
    out += text;
}

void AppendNumberText(std::string& out, std::int32_t n)
{
    char digits[12];
    char* end = digits + sizeof digits;
    char* start = MagnitudeDigits(n, end);
    out += n < 0 ? '-' : ' ';
    out.append(start, end);
}

void AppendMaskedNumber(std::string& out, std::int32_t n, std::string_view mask)
{
    std::size_t first = mask.find_first_of("#0");
    if (first == std::string_view::npos) {
        out += mask;
        return;
    }
    std::size_t last = mask.find_last_of("#0");
    std::size_t places = last - first + 1;
    char digits[12];
    char* end = digits + sizeof digits;
    char* start = MagnitudeDigits(n, end);
    out.append(mask.substr(0, first));
    if (n < 0)
        out += '-';
    std::size_t digitCount = static_cast<std::size_t>(end - start);
    if (mask[first] == '0' && places > digitCount)
        out.append(places - digitCount, '0');
    out.append(start, end);
    out.append(mask.substr(last + 1));
}

std::string LeftCell(std::string_view text, int width)
{
    std::string out;
    AppendLeftCell(out, text, width);
    return out;
}

std::string RightCell(std::string_view text, int width)
{
    std::string out;
    AppendRightCell(out, text, width);
    return out;
}

std::string NumberText(std::int32_t n)
{
    std::string out;
    AppendNumberText(out, n);
    return out;
}

std::string MaskedNumber(std::int32_t n, std::string_view mask)
{
    std::string out;
    AppendMaskedNumber(out, n, mask);
    return out;
}

int CompareText(std::string_view a, std::string_view b)
{
    std::size_t common = std::min(a.size(), b.size());
    int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
    if (order != 0)
        return order;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}
