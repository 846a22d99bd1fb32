#include "listing/ListingOrder.h"

#include "listing/FixedWidth.h"

namespace {

unsigned char Folded(char c)
{
    auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

bool IsIgnoredMark(char c)
{
    return c == '-' || c == '\'';
}

int CompareFolded(std::string_view a, std::string_view b, bool skipMarks)
{
    std::size_t i = 0, j = 0;
    for (;;) {
        if (skipMarks) {
            while (i < a.size() && IsIgnoredMark(a[i]))
                ++i;
            while (j < b.size() && IsIgnoredMark(b[j]))
                ++j;
        }
        if (i == a.size() || j == b.size())
            return (i == a.size() ? 0 : 1) - (j == b.size() ? 0 : 1);
        unsigned char x = Folded(a[i++]), y = Folded(b[j++]);
        if (x != y)
            return x < y ? -1 : 1;
    }
}

}  // namespace

int CompareListingText(std::string_view a, std::string_view b)
{
    if (int order = CompareFolded(a, b, true))
        return order;
    if (int order = CompareFolded(a, b, false))
        return order;
    return CompareText(a, b);
}

// The first pass alone: folded, without the marks. Where two keys are equal the
// later passes decide, from the lines themselves.
void AppendListingKey(std::string& out, std::string_view line)
{
    std::size_t start = out.size();
    out.resize(start + line.size());
    char* key = out.data() + start;
    for (char c : line)
        if (!IsIgnoredMark(c))
            *key++ = static_cast<char>(Folded(c));
    out.resize(static_cast<std::size_t>(key - out.data()));
}
