#include "listing/LineLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The worked example: a pitcher, UID 42, Beta Alpha.
MasterPlayerRecord AlphaBeta()
{
    MasterPlayerRecord r;
    r.uid = 42;
    r.lastName = "Alpha";
    r.firstName = "Beta";
    r.bats = 2;
    r.throws = 1;
    r.position = 1;
    r.role = 2;
    r.birthMonth = 7;
    r.birthDay = 4;
    r.birthYear = 1950;
    r.debutYear = 1969;
    r.finalYear = 1975;
    r.armAngle = 2;
    r.velocity = 4;
    r.style = 1;
    r.outPitch = 4;
    r.pitchFlags = {1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    return r;
}

const std::string Tail = "R L  1   P    7/4/1950  1969 1975  High 3/4  Vg Power    Fastball  Y N Y Y N N N N N N N N";

}  // namespace

TEST(ListingHeader, BothOrderingsAre120Characters)
{
    const std::string tail =
        "B T POS Role DOB       DEBUT FINAL ARM ANGLE VEL  STYLE  OUTPITCH  C C C F F K P S S S S S ";
    EXPECT_EQ(ListingHeader(Ordering::Uid), "  UID  " + std::string(" PLAYER") + std::string(15, ' ') + tail);
    EXPECT_EQ(ListingHeader(Ordering::Name), " PLAYER1" + std::string(15, ' ') + "  UID " + tail);
    EXPECT_EQ(ListingHeader(Ordering::Uid).size(), 120u);
    EXPECT_EQ(ListingHeader(Ordering::Name).size(), 120u);
}

TEST(ListingLine, WorkedExampleInBothOrderings)
{
    std::string uidLine = ListingLine(AlphaBeta(), Ordering::Uid);
    EXPECT_EQ(uidLine, "    42  Alpha,Beta            " + Tail);
    EXPECT_EQ(uidLine.size(), 120u);
    std::string nameLine = ListingLine(AlphaBeta(), Ordering::Name);
    EXPECT_EQ(nameLine, "Alpha,Beta" + std::string(12, ' ') + "    42 " + Tail);
    EXPECT_EQ(nameLine.size(), 119u);
}

TEST(ListingLine, UidPieceIsSevenCharactersSoTextOrderIsNumericOrder)
{
    std::vector<std::string> lines;
    for (std::int16_t uid : {100, 2, 19, 1, 10, 32767, 5}) {
        MasterPlayerRecord r = AlphaBeta();
        r.uid = uid;
        lines.push_back(ListingLine(r, Ordering::Uid));
        EXPECT_EQ(lines.back().size(), 120u);
    }
    std::sort(lines.begin(), lines.end());
    std::string uids;
    for (const auto& line : lines)
        uids += line.substr(0, 7) + "|";
    EXPECT_EQ(uids, "     1 |     2 |     5 |    10 |    19 |   100 | 32767 |");
}

TEST(ListingLine, LongAndExactNamesShiftTheLine)
{
    MasterPlayerRecord r = AlphaBeta();
    r.lastName = "Abcdefghijklmno";  // 15 + comma + 6 = 22
    r.firstName = "Uvwxyz";
    EXPECT_EQ(ListingLine(r, Ordering::Uid), "    42  Abcdefghijklmno,Uvwxyz" + Tail);
    r.firstName = "Uvwxyz1234";
    EXPECT_EQ(ListingLine(r, Ordering::Name), "Abcdefghijklmno,Uvwxyz1234    42 " + Tail);
}

TEST(ListingLine, NumbersAndCodesInTheirColumns)
{
    MasterPlayerRecord r = AlphaBeta();
    r.position = 0;
    r.debutYear = 0;
    r.finalYear = 0;
    r.birthMonth = 12;
    r.birthDay = 31;
    std::string line = ListingLine(r, Ordering::Uid);
    EXPECT_EQ(line.substr(32, 20), "L  0   P  12/31/1950");
    EXPECT_EQ(line.substr(52, 12), "  0000 0000 ");
    r.position = 10;
    EXPECT_EQ(ListingLine(r, Ordering::Uid).substr(33, 3), " 10");
    r.position = 200;
    EXPECT_EQ(ListingLine(r, Ordering::Uid).substr(33, 4), " 200");
    EXPECT_EQ(ListingLine(r, Ordering::Uid).size(), 121u);
}

TEST(ListingLine, FlagsOnlyForPitchers)
{
    MasterPlayerRecord r = AlphaBeta();
    r.role = 1;
    std::string hitter = ListingLine(r, Ordering::Uid);
    EXPECT_EQ(hitter.substr(hitter.size() - 14), " " + std::string(13, ' '));
    EXPECT_EQ(hitter.size(), 109u);
    r.role = 0;
    EXPECT_EQ(ListingLine(r, Ordering::Name).size(), 108u);

    r = AlphaBeta();
    r.pitchFlags[1] = 2;  // empty text: one character shorter
    std::string line = ListingLine(r, Ordering::Uid);
    EXPECT_EQ(line.size(), 119u);
    EXPECT_EQ(line.substr(line.size() - 23), " Y  Y Y N N N N N N N N");
}

TEST(ListingLine, StyleFiveIsEmptyAndUnknownCodesKeepTheWidth)
{
    MasterPlayerRecord r = AlphaBeta();
    r.style = 5;
    EXPECT_EQ(ListingLine(r, Ordering::Uid).size(), 112u);
    r = AlphaBeta();
    r.armAngle = 200;
    r.velocity = 9;
    r.style = 77;
    r.outPitch = 13;
    r.pitchFlags[0] = 7;
    std::string line = ListingLine(r, Ordering::Uid);
    EXPECT_EQ(line.size(), 120u);
    EXPECT_EQ(line.substr(64), std::string(32, ' ') + "   N Y Y N N N N N N N N");
}

TEST(ExportLine, WorkedExampleInBothOrderings)
{
    EXPECT_EQ(ExportLine(AlphaBeta(), Ordering::Uid),
              " 42,Beta Alpha,R,L, 1,P,7/4/1950, 1969, 1975,High 3/4 ,Vg,Power   ,Fastball ,Y,N,Y,Y,N,N,N,N,N,N,N,N");
    EXPECT_EQ(ExportLine(AlphaBeta(), Ordering::Uid).size(), 100u);
    EXPECT_EQ(ExportLine(AlphaBeta(), Ordering::Name),
              "Beta Alpha, 42,R,L, 1,P,7/4/1950, 1969, 1975,High 3/4 ,Vg,Power   ,Fastball ,Y,N,Y,Y,N,N,N,N,N,N,N,N");
    MasterPlayerRecord hitter = AlphaBeta();
    hitter.role = 1;
    std::string line = ExportLine(hitter, Ordering::Uid);
    EXPECT_EQ(line, " 42,Beta Alpha,R,L, 1,H,7/4/1950, 1969, 1975,High 3/4 ,Vg,Power   ,Fastball , , , , , , , , , , , ");
    EXPECT_EQ(line.size(), 98u);
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 23);
}

TEST(ExportLine, NamesWithCommasQuotesOrLineEndsAreOneQuotedField)
{
    MasterPlayerRecord r = AlphaBeta();
    r.lastName = "Smith, Jr.";
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,\"Beta Smith, Jr.\",R,"));
    EXPECT_TRUE(ExportLine(r, Ordering::Name).starts_with("\"Beta Smith, Jr.\", 42,R,"));
    r = AlphaBeta();
    r.firstName = "\"Doc\"";
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,\"\"\"Doc\"\" Alpha\",R,L,"));
    r.firstName = "Line\r\nEnd";
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,\"Line\r\nEnd Alpha\",R,"));
    r.firstName = "O'Brien-Smith";
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,O'Brien-Smith Alpha,R,"));
}

TEST(ExportLine, NamesThatWouldStartAFormulaAreShownAsText)
{
    MasterPlayerRecord r = AlphaBeta();
    for (const char* first : {"=SUM(A1)", "+1", "-2", "@cmd", "\tTab"}) {
        r.firstName = first;
        EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,'" + std::string(first) + " Alpha,R,")) << first;
        EXPECT_TRUE(ExportLine(r, Ordering::Name).starts_with("'" + std::string(first) + " Alpha, 42,R,")) << first;
    }
    r.firstName = "\rCR";
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,\"'\rCR Alpha\",R,"));
    r.firstName = "=HYPERLINK(\"x\",1)";
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42,\"'=HYPERLINK(\"\"x\"\",1) Alpha\",R,"));
    // Only the first character counts, and only these.
    for (const char* first : {"Bo-Jo", "Bo=x", "'Quoted", "#1", "", "%"}) {
        r.firstName = first;
        EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42," + std::string(first) + " Alpha,R,")) << first;
    }
    r.firstName = "";
    r.lastName = "=Danger";  // the field starts with the blank after an empty first name
    EXPECT_TRUE(ExportLine(r, Ordering::Uid).starts_with(" 42, =Danger,R,"));
    // The listing line is not a spreadsheet cell and stays as it was.
    r = AlphaBeta();
    r.firstName = "=x";
    EXPECT_TRUE(ListingLine(r, Ordering::Uid).starts_with("    42  Alpha,=x"));
}

TEST(CountText, LeadingAndTrailingBlank)
{
    EXPECT_EQ(CountText(57), " 57 Records qualified ");
    EXPECT_EQ(CountText(0), " 0 Records qualified ");
    EXPECT_EQ(CountText(40000), " 40000 Records qualified ");
    EXPECT_EQ(CountText(1000000), " 1000000 Records qualified ");
}
