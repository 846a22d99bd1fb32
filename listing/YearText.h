#pragma once
// Reading the First Year and Last Year boxes.

#include <cstdint>
#include <optional>
#include <string_view>

inline constexpr int EarliestYear = 1869;

// The number at the start of a text, read the way the game's own tools read
// typed numbers: leading blanks, tabs and line feeds skipped; "&H", "&O" (or
// "&Q", or a bare "&") and "&B" for hexadecimal, octal and binary; otherwise a
// sign, digits, decimals and an exponent (E or D, either case). Reading stops
// at the first character that does not fit; no number at all reads as 0.
double LeadingNumber(std::string_view text);

// The number rounded to a whole year, halves to even; nothing when that does
// not fit a 16-bit signed integer ("67405" is not 1869 wrapped around).
std::optional<std::int16_t> YearFromText(std::string_view text);

// Between 1869 and the current year, both included.
bool IsAcceptedYear(std::optional<std::int16_t> year, int currentYear);
