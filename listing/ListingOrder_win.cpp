#include "listing/ListingOrder.h"

#include <windows.h>

#include <algorithm>
#include <climits>

int CompareListingText(std::string_view a, std::string_view b)
{
    auto length = [](std::string_view text) { return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX)); };
    int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), length(a), b.data(), length(b));
    return order == CSTR_LESS_THAN ? -1 : order == CSTR_GREATER_THAN ? 1 : 0;
}
