#include "listing/YearText.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int DigitValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

double RadixNumber(std::string_view digits, int radix)
{
    double value = 0;
    for (char c : digits) {
        int digit = DigitValue(c);
        if (digit >= radix)
            break;
        value = value * radix + digit;
    }
    return value;
}

int RadixAfterAmpersand(char letter, std::size_t& skip)
{
    skip = 1;
    switch (letter) {
    case 'H': case 'h': return 16;
    case 'O': case 'o': case 'Q': case 'q': return 8;
    case 'B': case 'b': return 2;
    default: skip = 0; return 8;  // a bare "&" is octal
    }
}

// The longest decimal number at the start of text, in strtod's spelling.
std::string DecimalPrefix(std::string_view text)
{
    std::string number;
    std::size_t i = 0;
    auto takeDigits = [&] {
        std::size_t start = i;
        while (i < text.size() && IsDigit(text[i]))
            number += text[i++];
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number += text[i++];
    std::size_t digits = takeDigits();
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        digits += takeDigits();
    }
    if (digits == 0)
        return "0";
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t mark = i + 1;
        if (mark < text.size() && (text[mark] == '+' || text[mark] == '-'))
            ++mark;
        if (mark < text.size() && IsDigit(text[mark])) {
            number += 'e';
            number.append(text.substr(i + 1, mark - i - 1));
            i = mark;
            takeDigits();
        }
    }
    return number;
}

}  // namespace

double LeadingNumber(std::string_view text)
{
    std::size_t start = text.find_first_not_of(" \t\n");
    if (start == std::string_view::npos)
        return 0;
    text.remove_prefix(start);
    if (text[0] == '&') {
        std::size_t skip = 0;
        int radix = text.size() > 1 ? RadixAfterAmpersand(text[1], skip) : 8;
        return RadixNumber(text.substr(1 + skip), radix);
    }
    return std::strtod(DecimalPrefix(text).c_str(), nullptr);
}

std::optional<std::int16_t> YearFromText(std::string_view text)
{
    // nearbyint rounds halves to even in the default rounding mode.
    double whole = std::nearbyint(LeadingNumber(text));
    if (!(whole >= -32768.0 && whole <= 32767.0))
        return std::nullopt;
    return static_cast<std::int16_t>(whole);
}

bool IsAcceptedYear(std::optional<std::int16_t> year, int currentYear)
{
    return year && *year >= EarliestYear && *year <= currentYear;
}
