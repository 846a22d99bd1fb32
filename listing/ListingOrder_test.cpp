#include "listing/ListingOrder.h"

#include "listing/LineLayout.h"
#include "tools/SampleMaster.h"

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

// The key order is the comparator's order, on the sample's lines in both
// orderings and on random lines made of the characters that sort awkwardly.
TEST(ListingOrder, SortKeysGiveTheComparatorsOrder)
{
    // Made-up players, and players who share names and UIDs (long common beginnings).
    std::vector<std::vector<std::string>> sets;
    for (bool repeated : {false, true}) {
        SampleOptions options;
        options.records = 6000;
        options.lastSeason = 2024;
        options.repeatedNames = repeated;
        std::string bytes = SampleMasterBytes(options);
        for (Ordering ordering : {Ordering::Uid, Ordering::Name}) {
            auto& lines = sets.emplace_back();
            for (std::size_t at = 0; at + MasterRecordSize <= bytes.size(); at += MasterRecordSize) {
                MasterPlayerRecord r;
                DecodeMasterRecord(reinterpret_cast<const unsigned char*>(bytes.data()) + at, r);
                if (isValidRecord(r))
                    lines.push_back(ListingLine(r, ordering));
            }
        }
    }
    const std::string_view alphabet = "aAbB zZ,-'09\xE9\xC9\xF1.";
    std::vector<std::string>& random = sets.emplace_back();
    std::uint64_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        std::string line;
        for (int length = static_cast<int>(seed % 9); length >= 0; --length) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            line += alphabet[(seed >> 33) % alphabet.size()];
        }
        random.push_back(line);
    }
    for (const auto& lines : sets) {
        std::vector<std::string_view> expected(lines.begin(), lines.end());
        SortListing(expected);
        std::vector<std::uint32_t> order =
            ListingOrder(lines.size(), [&](std::size_t i, std::string& out) { out += lines[i]; });
        ASSERT_EQ(order.size(), expected.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            ASSERT_EQ(lines[order[i]].data(), expected[i].data()) << i << ": " << lines[order[i]] << " | " << expected[i];
    }
}
