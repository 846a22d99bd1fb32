#pragma once
// The order in which the window's sorted list shows its lines, for the
// command line to print the same order.
//
// The Windows build asks Windows itself (CompareStringA, the user's locale,
// case ignored), exactly as the list does. The native build imitates that word
// sort: lines compare with "-" and "'" left out and ASCII letters in one case;
// where equal, with "-" and "'" in; where still equal, byte by byte.

#include <string_view>
#include <vector>

// Negative, zero or positive as a sorts before, with or after b.
int CompareListingText(std::string_view a, std::string_view b);

// Sorts the lines; lines that compare equal keep their order.
void SortListing(std::vector<std::string_view>& lines);
