#include "listing/ListingOrder.h"

#include <algorithm>
#include <cstring>

void SortListing(std::vector<std::string_view>& lines)
{
    std::stable_sort(lines.begin(), lines.end(),
                     [](std::string_view a, std::string_view b) { return CompareListingText(a, b) < 0; });
}

std::vector<std::uint32_t> ListingOrder(std::size_t count,
                                        const std::function<void(std::size_t, std::string&)>& lineAt)
{
    // Every key in one block, and the first eight bytes of each beside its
    // number, so most comparisons touch neither the block nor the lines.
    struct Entry {
        std::uint64_t head;
        std::uint32_t index;
    };
    std::string keys;
    std::vector<std::size_t> starts{0};
    std::vector<Entry> entries;
    starts.reserve(count + 1);
    entries.reserve(count);
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        line.clear();
        lineAt(i, line);
        std::size_t start = keys.size();
        AppendListingKey(keys, line);
        starts.push_back(keys.size());
        std::uint64_t head = 0;
        for (std::size_t b = 0; b < 8; ++b)
            head = head << 8 | (start + b < keys.size() ? static_cast<unsigned char>(keys[start + b]) : 0);
        entries.push_back({head, static_cast<std::uint32_t>(i)});
    }
    auto keyOf = [&](std::uint32_t i) { return std::string_view(keys).substr(starts[i], starts[i + 1] - starts[i]); };
    std::string lineA, lineB;
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.head != b.head)
            return a.head < b.head;
        if (int order = keyOf(a.index).compare(keyOf(b.index)))
            return order < 0;
        lineA.clear(), lineB.clear();
        lineAt(a.index, lineA);
        lineAt(b.index, lineB);
        if (int order = CompareListingText(lineA, lineB))
            return order < 0;
        return a.index < b.index;
    });
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (const Entry& entry : entries)
        order.push_back(entry.index);
    return order;
}
