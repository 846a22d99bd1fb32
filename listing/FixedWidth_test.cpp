#include "listing/FixedWidth.h"

#include <gtest/gtest.h>

#include <climits>

TEST(MaskedNumber, FormatsThroughTheThreeMasks)
{
    struct Case {
        std::int32_t n;
        const char* mask;
        const char* expected;
    };
    const Case cases[] = {
        {12345, " ##### ", " 12345 "}, {42, " ##### ", " 42 "},     {7, " ##### ", " 7 "},
        {0, " ##### ", " 0 "},         {-42, " ##### ", " -42 "},   {-12345, " ##### ", " -12345 "},
        {1950, " 0000 ", " 1950 "},    {7, " 0000 ", " 0007 "},     {0, " 0000 ", " 0000 "},
        {12345, " 0000 ", " 12345 "},  {-5, " 0000 ", " -0005 "},   {1999, "0000 ", "1999 "},
        {0, "0000 ", "0000 "},         {-5, "0000 ", "-0005 "},     {123456, " ##### ", " 123456 "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MaskedNumber(c.n, c.mask), c.expected) << c.n << " with \"" << c.mask << '"';
}

TEST(NumberText, SignColumnThenDigits)
{
    EXPECT_EQ(NumberText(0), " 0");
    EXPECT_EQ(NumberText(7), " 7");
    EXPECT_EQ(NumberText(1950), " 1950");
    EXPECT_EQ(NumberText(-5), "-5");
    EXPECT_EQ(NumberText(32767), " 32767");
    EXPECT_EQ(NumberText(-32768), "-32768");
    EXPECT_EQ(NumberText(40000), " 40000");
    EXPECT_EQ(NumberText(1000000), " 1000000");
    EXPECT_EQ(NumberText(INT_MAX), " 2147483647");
    EXPECT_EQ(NumberText(INT_MIN), "-2147483648");
}

TEST(Cells, PadButNeverCut)
{
    EXPECT_EQ(LeftCell("Alpha,Beta", 22), "Alpha,Beta" + std::string(12, ' '));
    std::string long24(24, 'L');
    EXPECT_EQ(LeftCell(long24, 22), long24);
    EXPECT_EQ(LeftCell("", 22), std::string(22, ' '));
    EXPECT_EQ(LeftCell("A&B #1", 22), "A&B #1" + std::string(16, ' '));
    EXPECT_EQ(RightCell("7/4/1950", 12), "    7/4/1950");
    EXPECT_EQ(RightCell("12/31/1950", 12), "  12/31/1950");
    EXPECT_EQ(RightCell(" 7", 3), "  7");
    EXPECT_EQ(RightCell(" 255", 3), " 255");
    EXPECT_EQ(Blanks(3), "   ");
    EXPECT_EQ(Blanks(0), "");
    EXPECT_EQ(Blanks(-4), "");
}

TEST(CompareText, BytesAsUnsignedValuesShorterPrefixFirst)
{
    EXPECT_GT(CompareText("a", "Z"), 0);
    EXPECT_LT(CompareText("P", "P "), 0);
    EXPECT_EQ(CompareText("same", "same"), 0);
    EXPECT_GT(CompareText("\xe9", "z"), 0);
    EXPECT_LT(CompareText("", "a"), 0);
    EXPECT_NE(CompareText(std::string("a\0b", 3), "a"), 0);
}
