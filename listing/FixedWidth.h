#pragma once
// Fixed-width text cells and number texts, from which the listing and export
// lines are built. Widths count bytes: the listing's font is fixed-pitch and
// text is single-byte.

#include "masterfile/ShortText.h"

#include <cstdint>
#include <string>
#include <string_view>

// count blanks; none for a count of 0 or less.
std::string Blanks(int count);
// text, then blanks up to width; a longer text is never cut.
std::string LeftCell(std::string_view text, int width);
// blanks up to width, then text; a longer text is never cut.
std::string RightCell(std::string_view text, int width);

// A sign column (blank, or "-" when negative) and the digits of the magnitude.
std::string NumberText(std::int32_t n);
ShortText NumberTextOf(std::int32_t n);

// The mask with its run of "#" or "0" placeholders replaced by the number: "0"
// pads with zeros to the run's length, "#" does not pad; nothing is ever cut.
// Used with " ##### ", " 0000 " and "0000 ".
std::string MaskedNumber(std::int32_t n, std::string_view mask);
// The same for masks of up to 16 characters, built in place.
ShortText MaskedNumberOf(std::int32_t n, std::string_view mask);

// Byte-by-byte comparison as unsigned values, a proper prefix first:
// negative, zero or positive as a is smaller, equal or greater.
int CompareText(std::string_view a, std::string_view b);
