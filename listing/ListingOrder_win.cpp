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

// The list compares with CompareStringA(NORM_IGNORECASE); its sort key with
// the same flags orders the same way.
void AppendListingKey(std::string& out, std::string_view line)
{
    int length = static_cast<int>(std::min<std::size_t>(line.size(), INT_MAX / 8));
    constexpr DWORD Flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    int size = LCMapStringA(LOCALE_USER_DEFAULT, Flags, line.data(), length, nullptr, 0);
    if (size <= 0)
        return;
    std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(size));
    int written = LCMapStringA(LOCALE_USER_DEFAULT, Flags, line.data(), length, out.data() + start, size);
    // The key ends in a NUL that is not part of it.
    out.resize(start + static_cast<std::size_t>(written > 0 ? written - 1 : 0));
}
