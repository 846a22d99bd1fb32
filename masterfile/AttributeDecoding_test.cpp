#include "masterfile/AttributeDecoding.h"

#include <gtest/gtest.h>

TEST(CodeTables, EveryEntryHasItsColumnsWidth)
{
    for (auto text : ArmAngleTexts)
        EXPECT_EQ(text.size(), 9u) << text;
    for (auto text : GradeTexts)
        EXPECT_EQ(text.size(), 2u) << text;
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(StyleTexts[i].size(), 8u) << StyleTexts[i];
    for (auto text : PitchNames)
        EXPECT_EQ(text.size(), 9u) << text;
}

TEST(CodeTables, LookUpTheGamesTexts)
{
    EXPECT_EQ(ArmAngleText(0), "         ");
    EXPECT_EQ(ArmAngleText(3), "     3/4 ");
    EXPECT_EQ(ArmAngleText(4), "Low  3/4 ");
    EXPECT_EQ(ArmAngleText(6), "Submarine");
    EXPECT_EQ(GradeText(0), "  ");
    EXPECT_EQ(GradeText(4), "Vg");
    EXPECT_EQ(StyleText(0), "        ");
    EXPECT_EQ(StyleText(4), "Knuckler");
    EXPECT_EQ(StyleText(5), "");
    EXPECT_EQ(PitchName(0), "         ");
    EXPECT_EQ(PitchName(6), "Knuckler ");
    EXPECT_EQ(PitchName(8), "Screwball");
    EXPECT_EQ(PitchName(12), "Spitball ");
    EXPECT_EQ(FlagText(0), "N");
    EXPECT_EQ(FlagText(1), "Y");
    EXPECT_EQ(FlagText(2), "");
}

TEST(CodeTables, CodesBeyondATableGiveBlanksOfTheColumnsWidth)
{
    EXPECT_EQ(ArmAngleText(7), "         ");
    EXPECT_EQ(ArmAngleText(255), "         ");
    EXPECT_EQ(GradeText(6), "  ");
    EXPECT_EQ(StyleText(6), "        ");
    EXPECT_EQ(PitchName(13), "         ");
    EXPECT_EQ(FlagText(3), " ");
    EXPECT_EQ(FlagText(255), " ");
}

TEST(Letters, RoleAndHand)
{
    EXPECT_EQ(RoleLetter(1), "H");
    EXPECT_EQ(RoleLetter(2), "P");
    EXPECT_EQ(RoleLetter(0), "U");
    EXPECT_EQ(RoleLetter(3), "U");
    EXPECT_EQ(RoleLetter(255), "U");
    EXPECT_EQ(HandLetter(1), "L");
    EXPECT_EQ(HandLetter(2), "R");
    EXPECT_EQ(HandLetter(3), "B");
    EXPECT_EQ(HandLetter(0), "U");
    EXPECT_EQ(HandLetter(4), "U");
}

TEST(DobText, MonthDayAndTheLastFourOfTheSignedYear)
{
    EXPECT_EQ(DobText(7, 4, 1950), "7/4/1950");
    EXPECT_EQ(DobText(12, 31, 1899), "12/31/1899");
    EXPECT_EQ(DobText(0, 0, 0), "0/0/ 0");
    EXPECT_EQ(DobText(1, 2, 850), "1/2/ 850");
    EXPECT_EQ(DobText(1, 2, 12345), "1/2/2345");
    EXPECT_EQ(DobText(1, 2, -5), "1/2/-5");
    EXPECT_EQ(DobText(1, 2, -1950), "1/2/1950");
    EXPECT_EQ(DobText(255, 255, -32768), "255/255/2768");
}

TEST(NameKey, LastCommaFirstUntrimmed)
{
    EXPECT_EQ(NameKey("Alpha", "Beta"), "Alpha,Beta");
    EXPECT_EQ(NameKey("", "Bo"), ",Bo");
    EXPECT_EQ(NameKey(" Lead ", ""), " Lead ,");
}
