#include "listing/ListingOrder.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

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

using LineAt = std::function<void(std::size_t, std::string&)>;

// Puts entries whose keys are equal in order: by their lines, and where those
// compare equal too, in the order they came in. Each line is made once, and
// lines that are byte for byte the same (a player copied a million times) are
// compared once: equal lines cost what others cost.
void SortTies(Entry* begin, Entry* end, const LineAt& lineAt)
{
    if (end - begin < 2)
        return;
    std::unordered_map<std::string, std::uint32_t> ids;
    std::vector<const std::string*> distinct;
    std::string line;
    for (Entry* entry = begin; entry != end; ++entry) {
        line.clear();
        lineAt(entry->index, line);
        auto [at, added] = ids.try_emplace(line, static_cast<std::uint32_t>(distinct.size()));
        if (added)
            distinct.push_back(&at->first);
        entry->chunk = at->second;
    }
    // Each distinct line's rank; lines that compare equal share one.
    std::vector<std::uint32_t> byText(distinct.size());
    std::iota(byText.begin(), byText.end(), 0u);
    auto compare = [&](std::uint32_t a, std::uint32_t b) { return CompareListingText(*distinct[a], *distinct[b]); };
    std::sort(byText.begin(), byText.end(), [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) < 0; });
    std::vector<std::uint64_t> rank(distinct.size());
    for (std::size_t i = 0; i < byText.size(); ++i)
        rank[byText[i]] = i > 0 && compare(byText[i - 1], byText[i]) == 0 ? rank[byText[i - 1]] : i;
    for (Entry* entry = begin; entry != end; ++entry)
        entry->chunk = rank[entry->chunk];
    std::sort(begin, end, [](const Entry& a, const Entry& b) {
        return a.chunk != b.chunk ? a.chunk < b.chunk : a.index < b.index;
    });
}

// Sorts each run of neighbours that same() finds equal with SortTies.
template <typename Same>
void SortEachTie(Entry* begin, Entry* end, Same&& same, const LineAt& lineAt)
{
    for (Entry* run = begin; run != end;) {
        Entry* next = run + 1;
        while (next != end && same(*run, *next))
            ++next;
        SortTies(run, next, lineAt);
        run = next;
    }
}

// Sorts entries whose keys agree on their first depth bytes, eight bytes at a
// time: each key's bytes are read once per step rather than once per
// comparison, which matters where many lines share long beginnings.
void SortFrom(Entry* begin, Entry* end, std::size_t depth, const KeyTable& keys, const LineAt& lineAt)
{
    if (end - begin < 2)
        return;
    if (end - begin <= 16) {
        auto tail = [&](const Entry& entry) { return keys.tail(entry.index, depth); };
        std::sort(begin, end, [&](const Entry& a, const Entry& b) { return tail(a) < tail(b); });
        SortEachTie(begin, end, [&](const Entry& a, const Entry& b) { return tail(a) == tail(b); }, lineAt);
        return;
    }
    bool allEqual = true;
    for (Entry* entry = begin; entry != end; ++entry) {
        entry->chunk = keys.chunk(entry->index, depth);
        allEqual = allEqual && entry->chunk == begin->chunk;
    }
    // Where every key goes on alike (many copies of one line), there is nothing to sort.
    if (!allEqual)
        std::sort(begin, end, [](const Entry& a, const Entry& b) { return a.chunk < b.chunk; });
    for (Entry* run = begin; run != end;) {
        Entry* next = run + 1;
        bool longer = keys.length(run->index) > depth + 8;
        for (; next != end && next->chunk == run->chunk; ++next)
            longer = longer || keys.length(next->index) > depth + 8;
        if (longer) {
            SortFrom(run, next, depth + 8, keys, lineAt);
        } else {
            // Keys that have ended and agree so far: a shorter one is the
            // other one's start (the rest zeros) and goes first.
            auto length = [&](const Entry& entry) { return keys.length(entry.index); };
            auto shorter = [&](const Entry& a, const Entry& b) { return length(a) < length(b); };
            if (!std::is_sorted(run, next, shorter))
                std::sort(run, next, shorter);
            SortEachTie(run, next, [&](const Entry& a, const Entry& b) { return length(a) == length(b); }, lineAt);
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
    SortFrom(entries.data(), entries.data() + entries.size(), 0, keys, lineAt);
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (const Entry& entry : entries)
        order.push_back(entry.index);
    return order;
}
