#include "ui/FontString.h"
#include "ui/Layout.h"

#include <gtest/gtest.h>

TEST(ScaledRect, EdgesFollowTheClientSizeInProportion)
{
    Size recorded{592, 353};
    Rect list{17, 120, 568, 298};
    EXPECT_EQ(ScaledRect(list, recorded, recorded), list);
    EXPECT_EQ(ScaledRect(list, recorded, {1184, 353}), (Rect{34, 120, 1136, 298}));
    EXPECT_EQ(ScaledRect(list, recorded, {1184, 706}), (Rect{34, 240, 1136, 596}));
    EXPECT_EQ(ScaledRect(list, recorded, {0, 0}), (Rect{0, 0, 0, 0}));
    EXPECT_EQ(ScaledRect(list, {0, 0}, {1184, 706}), list);
}

TEST(ScaledRect, RoundsHalvesToEven)
{
    // Scale 1.5: left 1 -> 1.5 -> 2, left 3 -> 4.5 -> 4; width 3 -> 4.5 -> 4, width 5 -> 7.5 -> 8.
    EXPECT_EQ(ScaledRect({1, 0, 4, 2}, {2, 2}, {3, 2}), (Rect{2, 0, 6, 2}));
    EXPECT_EQ(ScaledRect({3, 0, 8, 2}, {2, 2}, {3, 2}), (Rect{4, 0, 12, 2}));
    // Scale 0.5: top 5 -> 2.5 -> 2, height 3 -> 1.5 -> 2.
    EXPECT_EQ(ScaledRect({0, 5, 2, 8}, {2, 2}, {2, 1}), (Rect{0, 2, 2, 4}));
}

TEST(FontString, FaceHeightWeightAndStyleFieldsOnly)
{
    FontRequest sans = ParseFontString("MS Sans Serif,-16,0,0,0,700,0,0,0,0,1,2,1,34");
    EXPECT_EQ(sans.face, "MS Sans Serif");
    EXPECT_EQ(sans.height, -16);
    EXPECT_EQ(sans.weight, 700);
    EXPECT_FALSE(sans.italic || sans.underline || sans.strikeOut);

    FontRequest styled = ParseFontString("Courier,12,9,9,9,400,1,1,1,255,9,9,9,9");
    EXPECT_EQ(styled.face, "Courier");
    EXPECT_EQ(styled.height, 12);
    EXPECT_EQ(styled.weight, 400);
    EXPECT_TRUE(styled.italic && styled.underline && styled.strikeOut);

    EXPECT_EQ(ParseFontString("").face, "");
    EXPECT_EQ(ParseFontString(",-13").height, -13);
    EXPECT_EQ(ParseFontString("Arial").weight, 0);
}

TEST(FontString, PointsBecomeNegativePixelHeights)
{
    EXPECT_EQ(FontPixelHeight(-13, 96), -13);
    EXPECT_EQ(FontPixelHeight(0, 96), 0);
    EXPECT_EQ(FontPixelHeight(8, 96), -10);   // 10.67 truncated
    EXPECT_EQ(FontPixelHeight(12, 120), -20);
}
