#include "masterfile/AttributeDecoding.h"

ShortText DobTextOf(std::uint8_t month, std::uint8_t day, std::int16_t year)
{
    ShortText text;
    text.appendDigits(month);
    text.append('/');
    text.appendDigits(day);
    text.append('/');
    // The signed text carries a blank where a minus sign would stand.
    ShortText signedYear;
    signedYear.append(year < 0 ? '-' : ' ');
    signedYear.appendDigits(static_cast<std::uint32_t>(year < 0 ? -year : year));
    std::string_view yearText = signedYear.view();
    text.append(yearText.size() > 4 ? yearText.substr(yearText.size() - 4) : yearText);
    return text;
}

std::string DobText(std::uint8_t month, std::uint8_t day, std::int16_t year)
{
    return DobTextOf(month, day, year).str();
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
