#include "masterfile/AttributeDecoding.h"

namespace {

template <std::size_t N>
std::string_view Lookup(const std::array<std::string_view, N>& table, std::uint8_t code, std::string_view beyond)
{
    return code < N ? table[code] : beyond;
}

}  // namespace

std::string_view ArmAngleText(std::uint8_t code)
{
    return Lookup(ArmAngleTexts, code, "         ");
}

std::string_view GradeText(std::uint8_t code)
{
    return Lookup(GradeTexts, code, "  ");
}

std::string_view StyleText(std::uint8_t code)
{
    return Lookup(StyleTexts, code, "        ");
}

std::string_view PitchName(std::uint8_t code)
{
    return Lookup(PitchNames, code, "         ");
}

std::string_view FlagText(std::uint8_t code)
{
    return Lookup(FlagTexts, code, " ");
}

std::string_view RoleLetter(std::uint8_t role)
{
    return role == 1 ? "H" : role == 2 ? "P" : "U";
}

std::string_view HandLetter(std::uint8_t hand)
{
    return hand == 1 ? "L" : hand == 2 ? "R" : hand == 3 ? "B" : "U";
}

std::string DobText(std::uint8_t month, std::uint8_t day, std::int16_t year)
{
    std::string text = std::to_string(month);
    text += '/';
    text += std::to_string(day);
    text += '/';
    // The signed text carries a blank where a minus sign would stand.
    std::string yearText = (year < 0 ? "" : " ") + std::to_string(year);
    text += yearText.size() > 4 ? yearText.substr(yearText.size() - 4) : yearText;
    return text;
}

std::string NameKey(std::string_view lastName, std::string_view firstName)
{
    std::string key;
    key.reserve(lastName.size() + 1 + firstName.size());
    key += lastName;
    key += ',';
    key += firstName;
    return key;
}
