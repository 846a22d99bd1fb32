#include "listing/YearText.h"

#include <gtest/gtest.h>

TEST(LeadingNumber, ReadsTheNumberAtTheStart)
{
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"1990", 1990},       {"  \t\n1990", 1990},  {"1990abc", 1990},   {"19 90", 19},
        {"1,990", 1},         {"", 0},               {"abc", 0},          {"-", 0},
        {"+1990", 1990},      {"-1990", -1990},      {"1990.5", 1990.5},  {".5", 0.5},
        {"1.99e3", 1990},     {"199D1", 1990},       {"199d+1", 1990},    {"19900E-1", 1990},
        {"1990e", 1990},      {"1990E+", 1990},      {"&H7C6", 1990},     {"&h7c6x", 1990},
        {"&O3706", 1990},     {"&o3706", 1990},      {"&Q3706", 1990},    {"&3706", 1990},
        {"&B11111000110", 1990}, {"&b102", 2},       {"&H", 0},           {"&", 0},
        {"&Z12", 0},          {"\r1990", 0},         {" 0x10", 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.expected) << '"' << c.text << '"';
}

TEST(YearFromText, RoundsHalvesToEvenAndRefusesWhatDoesNotFit16Bits)
{
    EXPECT_EQ(YearFromText("1990.5"), 1990);
    EXPECT_EQ(YearFromText("1991.5"), 1992);
    EXPECT_EQ(YearFromText("1990.4999"), 1990);
    EXPECT_EQ(YearFromText("1990.51"), 1991);
    EXPECT_EQ(YearFromText("-0.5"), 0);
    EXPECT_EQ(YearFromText("32767"), 32767);
    EXPECT_EQ(YearFromText("32767.5"), std::nullopt);
    EXPECT_EQ(YearFromText("-32768"), -32768);
    EXPECT_EQ(YearFromText("-32768.5"), -32768);
    EXPECT_EQ(YearFromText("-32769"), std::nullopt);
    EXPECT_EQ(YearFromText("67405"), std::nullopt);
    EXPECT_EQ(YearFromText("&HFFFF"), std::nullopt);
    EXPECT_EQ(YearFromText("1e400"), std::nullopt);
    EXPECT_EQ(YearFromText(std::string(500, '9')), std::nullopt);
    EXPECT_EQ(YearFromText(""), 0);
}

TEST(IsAcceptedYear, From1869ToTheCurrentYear)
{
    EXPECT_TRUE(IsAcceptedYear(1869, 2026));
    EXPECT_TRUE(IsAcceptedYear(2026, 2026));
    EXPECT_FALSE(IsAcceptedYear(1868, 2026));
    EXPECT_FALSE(IsAcceptedYear(2027, 2026));
    EXPECT_FALSE(IsAcceptedYear(std::nullopt, 2026));
    EXPECT_FALSE(IsAcceptedYear(YearFromText("67405"), 2026));  // 67405 - 65536 would be 1869
}
