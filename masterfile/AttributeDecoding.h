#pragma once
// The game's code tables and the texts derived from a record's coded fields.
// Every text of a table has its column's width, so the listing stays aligned.

#include "masterfile/ShortText.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::array<std::string_view, 7> ArmAngleTexts = {
    "         ", "Overhead ", "High 3/4 ", "     3/4 ", "Low  3/4 ", "Sidearm  ", "Submarine",
};

inline constexpr std::array<std::string_view, 6> GradeTexts = {"  ", "Pr", "Fr", "Av", "Vg", "Ex"};

// Entry 5 is empty in the game's table and shortens the line by the column's width.
inline constexpr std::array<std::string_view, 6> StyleTexts = {
    "        ", "Power   ", "Normal  ", "Junk    ", "Knuckler", "",
};

// Entries 1 to 12 also give the order of the twelve has-pitch flags.
inline constexpr std::array<std::string_view, 13> PitchNames = {
    "         ", "Curve    ", "CutFast  ", "Change   ", "Fastball ", "Forkball ", "Knuckler ",
    "Palmball ", "Screwball", "Splitter ", "Sinker   ", "Slider   ", "Spitball ",
};

inline constexpr std::array<std::string_view, 3> FlagTexts = {"N", "Y", ""};

// Table lookups. A code beyond a table's end gives blanks of the column's width.
// Inline: a run looks up every one of them for every player.
template <std::size_t N>
constexpr std::string_view CodeText(const std::array<std::string_view, N>& table, std::uint8_t code,
                                    std::string_view beyond)
{
    return code < N ? table[code] : beyond;
}

constexpr std::string_view ArmAngleText(std::uint8_t code)
{
    return CodeText(ArmAngleTexts, code, "         ");
}

constexpr std::string_view GradeText(std::uint8_t code)
{
    return CodeText(GradeTexts, code, "  ");
}

constexpr std::string_view StyleText(std::uint8_t code)
{
    return CodeText(StyleTexts, code, "        ");
}

constexpr std::string_view PitchName(std::uint8_t code)
{
    return CodeText(PitchNames, code, "         ");
}

constexpr std::string_view FlagText(std::uint8_t code)
{
    return CodeText(FlagTexts, code, " ");
}

// "H", "P", or "U" for any other role.
constexpr std::string_view RoleLetter(std::uint8_t role)
{
    return role == 1 ? "H" : role == 2 ? "P" : "U";
}

// "L", "R", "B", or "U" for any other code; serves bats and throws.
constexpr std::string_view HandLetter(std::uint8_t hand)
{
    return hand == 1 ? "L" : hand == 2 ? "R" : hand == 3 ? "B" : "U";
}

// month/day/year with no padding; the year is the last four characters of its
// signed text (" 1950" gives "1950", " 850" stays " 850", "-5" stays "-5").
std::string DobText(std::uint8_t month, std::uint8_t day, std::int16_t year);
ShortText DobTextOf(std::uint8_t month, std::uint8_t day, std::int16_t year);

// lastName,firstName
std::string NameKey(std::string_view lastName, std::string_view firstName);
