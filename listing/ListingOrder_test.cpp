#include "listing/ListingOrder.h"

#include "listing/LineLayout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Sorted(std::vector<std::string_view> lines)
{
    SortListing(lines);
    std::string joined;
    for (auto line : lines)
        joined += std::string(line) + "|";
    return joined;
}

}  // namespace

TEST(ListingOrder, BlankBeforeCommaBeforeDigitBeforeLetterCaseIgnored)
{
    EXPECT_EQ(Sorted({"b", "A", " z", ",z", "9", "a"}), " z|,z|9|A|a|b|");
    EXPECT_LT(CompareListingText("Smith,Al", "smith,Bo"), 0);
    EXPECT_LT(CompareListingText("Smith ", "Smith,"), 0);
    EXPECT_LT(CompareListingText("Smith", "Smithe"), 0);
    EXPECT_EQ(CompareListingText("same", "same"), 0);
}

TEST(ListingOrder, HyphensAndApostrophesWeighLessThanLetters)
{
    // O'Brien sorts among the Ob... names, Smith-Jones among the Smithj... names.
    EXPECT_EQ(Sorted({"Obrist", "O'Brien", "Oates"}), "Oates|O'Brien|Obrist|");
    EXPECT_EQ(Sorted({"Smithk", "Smith-Jones", "Smithi"}), "Smithi|Smith-Jones|Smithk|");
}

TEST(ListingOrder, EqualLinesKeepTheirOrder)
{
    std::string first = "x", second = "x";
    std::vector<std::string_view> lines{first, "y", second};
    SortListing(lines);
    EXPECT_EQ(lines[0].data(), first.data());
    EXPECT_EQ(lines[1].data(), second.data());
}

#ifndef _WIN32
TEST(ListingOrder, NativeImitationBreaksTiesWithMarksThenBytes)
{
    // Equal without the marks: compared with them in, folded.
    EXPECT_LT(CompareListingText("co-op", "coop"), 0);
    EXPECT_LT(CompareListingText("CO-OP", "coop"), 0);
    // Equal but for case: byte order.
    EXPECT_LT(CompareListingText("ABC", "abc"), 0);
}
#endif

TEST(ListingOrder, UidLinesStandInNumericOrder)
{
    std::vector<std::string> lines;
    for (std::int16_t uid : {100, 2, 19, 1, 10, 32767}) {
        MasterPlayerRecord r;
        r.uid = uid;
        r.lastName = "Name";
        lines.push_back(ListingLine(r, Ordering::Uid));
    }
    std::vector<std::string_view> views(lines.begin(), lines.end());
    SortListing(views);
    std::string uids;
    for (auto line : views)
        uids += std::string(line.substr(0, 7));
    EXPECT_EQ(uids, "     1      2     10     19    100  32767 ");
}
