#include "listing/ListingOrder.h"

#include <algorithm>

void SortListing(std::vector<std::string_view>& lines)
{
    std::stable_sort(lines.begin(), lines.end(),
                     [](std::string_view a, std::string_view b) { return CompareListingText(a, b) < 0; });
}

namespace {

// Every key in one block.
struct KeyTable {
    std::string bytes;
    std::vector<std::size_t> starts{0};

    std::size_t length(std::uint32_t i) const { return starts[i + 1] - starts[i]; }
    // Eight bytes of key i from depth on, as one number that orders as they do;
    // zeros past the key's end.
    std::uint64_t chunk(std::uint32_t i, std::size_t depth) const
    {
        std::uint64_t value = 0;
        std::size_t at = starts[i] + depth, end = starts[i + 1];
        for (std::size_t b = 0; b < 8; ++b, ++at)
            value = value << 8 | (at < end ? static_cast<unsigned char>(bytes[at]) : 0u);
        return value;
    }
    std::string_view tail(std::uint32_t i, std::size_t depth) const
    {
        std::size_t length = this->length(i);
        return std::string_view(bytes).substr(starts[i] + std::min(depth, length), length - std::min(depth, length));
    }
};

struct Entry {
    std::uint64_t chunk;
    std::uint32_t index;
};

using TieBreak = std::function<bool(std::uint32_t, std::uint32_t)>;

// Sorts entries whose keys agree on their first depth bytes, eight bytes at a
// time: each key's bytes are read once per step rather than once per
// comparison, which matters where many lines share long beginnings.
void SortFrom(Entry* begin, Entry* end, std::size_t depth, const KeyTable& keys, const TieBreak& tieBreak)
{
    if (end - begin < 2)
        return;
    if (end - begin <= 16) {
        std::sort(begin, end, [&](const Entry& a, const Entry& b) {
            if (int order = keys.tail(a.index, depth).compare(keys.tail(b.index, depth)))
                return order < 0;
            return tieBreak(a.index, b.index);
        });
        return;
    }
    for (Entry* entry = begin; entry != end; ++entry)
        entry->chunk = keys.chunk(entry->index, depth);
    std::sort(begin, end, [](const Entry& a, const Entry& b) { return a.chunk < b.chunk; });
    for (Entry* run = begin; run != end;) {
        Entry* next = run + 1;
        bool longer = keys.length(run->index) > depth + 8;
        for (; next != end && next->chunk == run->chunk; ++next)
            longer = longer || keys.length(next->index) > depth + 8;
        if (longer) {
            SortFrom(run, next, depth + 8, keys, tieBreak);
        } else {
            // Keys that have ended and agree so far: a shorter one is the
            // other one's start (the rest zeros) and goes first.
            std::sort(run, next, [&](const Entry& a, const Entry& b) {
                if (keys.length(a.index) != keys.length(b.index))
                    return keys.length(a.index) < keys.length(b.index);
                return tieBreak(a.index, b.index);
            });
        }
        run = next;
    }
}

}  // namespace

std::vector<std::uint32_t> ListingOrder(std::size_t count,
                                        const std::function<void(std::size_t, std::string&)>& lineAt)
{
    KeyTable keys;
    keys.starts.reserve(count + 1);
    std::vector<Entry> entries;
    entries.reserve(count);
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        line.clear();
        lineAt(i, line);
        AppendListingKey(keys.bytes, line);
        keys.starts.push_back(keys.bytes.size());
        if (i == 0)  // keys are about as long as one another
            keys.bytes.reserve((keys.bytes.size() + 16) * count);
        entries.push_back({0, static_cast<std::uint32_t>(i)});
    }
    // Equal keys: the lines themselves decide, then the order they came in.
    std::string lineA, lineB;
    TieBreak tieBreak = [&](std::uint32_t a, std::uint32_t b) {
        lineA.clear(), lineB.clear();
        lineAt(a, lineA);
        lineAt(b, lineB);
        if (int order = CompareListingText(lineA, lineB))
            return order < 0;
        return a < b;
    };
    SortFrom(entries.data(), entries.data() + entries.size(), 0, keys, tieBreak);
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (const Entry& entry : entries)
        order.push_back(entry.index);
    return order;
}
