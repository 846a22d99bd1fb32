#include "listing/ListingOrder.h"

#include <algorithm>

void SortListing(std::vector<std::string_view>& lines)
{
    std::stable_sort(lines.begin(), lines.end(),
                     [](std::string_view a, std::string_view b) { return CompareListingText(a, b) < 0; });
}
