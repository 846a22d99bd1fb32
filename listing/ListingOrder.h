#pragma once
// The order in which the window's sorted list shows its lines, for the
// command line to print the same order.
//
// The Windows build asks Windows itself (CompareStringA, the user's locale,
// case ignored), exactly as the list does. The native build imitates that word
// sort: lines compare with "-" and "'" left out and ASCII letters in one case;
// where equal, with "-" and "'" in; where still equal, byte by byte.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Negative, zero or positive as a sorts before, with or after b.
int CompareListingText(std::string_view a, std::string_view b);

// Sorts the lines; lines that compare equal keep their order.
void SortListing(std::vector<std::string_view>& lines);

// A line's sort key: keys compare byte by byte, a shorter first, as their lines
// compare, except that lines whose keys are equal may still differ (natively
// the key leaves out what only the later passes look at).
void AppendListingKey(std::string& out, std::string_view line);

// The order of count lines in the listing, computed from one key per line:
// the fast way for a million lines. lineAt(i, out) appends line i to out;
// lines that compare equal keep their order.
std::vector<std::uint32_t> ListingOrder(std::size_t count,
                                        const std::function<void(std::size_t, std::string&)>& lineAt);
