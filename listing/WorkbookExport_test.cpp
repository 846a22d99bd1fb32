// The workbook read back by a real spreadsheet reader (openpyxl).

#include "listing/WorkbookExport.h"

#include "listing/CsvExport.h"
#include "testing/RunProgram.h"
#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"

#include <gtest/gtest.h>

#include <filesystem>

using testfiles::ScratchFolder;

namespace {

MasterPlayerRecord Pitcher()
{
    MasterPlayerRecord r;
    r.uid = 7;
    r.firstName = "Jos\xE9";
    r.lastName = "Pe\xF1" "a";
    r.birthYear = 1950, r.birthMonth = 7, r.birthDay = 4;
    r.debutYear = 1970, r.finalYear = 1980;
    r.position = 1, r.role = 2, r.bats = 1, r.throws = 2;
    r.armAngle = 3, r.velocity = 4, r.style = 3, r.outPitch = 2;
    r.pitchFlags = {1, 0, 2, 3, 1, 0, 0, 0, 0, 0, 0, 1};
    return r;
}

MasterPlayerRecord Hitter(std::int16_t uid, std::string first, std::string last, std::uint8_t role = 1)
{
    MasterPlayerRecord r;
    r.uid = uid;
    r.firstName = std::move(first);
    r.lastName = std::move(last);
    r.debutYear = 1975, r.finalYear = 1977;
    r.position = 12, r.role = role, r.bats = 3, r.throws = 9;
    r.armAngle = 9, r.velocity = 1;
    r.pitchFlags.fill(1);
    return r;
}

// What the reader sees: sheets, frozen pane, filter, bold header, then each row.
std::string ReadBack(const std::string& path)
{
    std::string script = testfiles::SiblingProgram("read_workbook.py");
    testfiles::ProgramResult result = testfiles::RunProgram("/usr/bin/python3", {script, path}, ".");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

}  // namespace

TEST(Workbook, ASpreadsheetReaderSeesTypedTrimmedUnicodeCellsInBothOrders)
{
    ScratchFolder folder;
    std::string master;
    for (const MasterPlayerRecord& r :
         {Pitcher(), Hitter(12, "=SUM(A1)", "Smith, \"Jr.\""), Hitter(300, "A\x01" "B", "O'Neil_x0041_", 9)})
        master += AsString(EncodeMasterRecord(r));
    testfiles::WriteBytes(folder.file("mastplyr.dat"), master);

    // A control byte and a literal "_x0041_" are written in the workbook's own
    // escapes, which Excel turns back into the text; openpyxl shows them as written.
    const std::string rows =
        "[7, \"José Peña\", \"L\", \"R\", 1, \"P\", \"7/4/1950\", 1970, 1980, \"3/4\", \"Vg\", \"Junk\", "
        "\"CutFast\", \"Y\", \"N\", null, null, \"Y\", \"N\", \"N\", \"N\", \"N\", \"N\", \"N\", \"Y\"]\n"
        "[12, \"=SUM(A1) Smith, \\\"Jr.\\\"\", \"B\", \"U\", 12, \"H\", \"0/0/ 0\", 1975, 1977, null, \"Pr\", null, "
        "null, null, null, null, null, null, null, null, null, null, null, null, null]\n"
        "[300, \"A_x0001_B O'Neil_x005F_x0041_\", \"B\", \"U\", 12, \"U\", \"0/0/ 0\", 1975, 1977, null, \"Pr\", null, "
        "null, null, null, null, null, null, null, null, null, null, null, null, null]\n";
    const std::string tail = "\"Bats\", \"Throws\", \"Position\", \"Role\", \"DOB\", \"Debut\", \"Final\", "
                             "\"Arm angle\", \"Velocity\", \"Style\", \"Out pitch\", \"Curve\", \"CutFast\", "
                             "\"Change\", \"Fastball\", \"Forkball\", \"Knuckler\", \"Palmball\", \"Screwball\", "
                             "\"Splitter\", \"Sinker\", \"Slider\", \"Spitball\"";
    for (Ordering ordering : {Ordering::Uid, Ordering::Name}) {
        PlayerRun run = RunPlayers({"1871", "2000", folder.str(), ordering});
        ASSERT_EQ(run.players.size(), 3u);
        std::string path = folder.file(ordering == Ordering::Uid ? "uid.xlsx" : "name.xlsx");
        std::string reason;
        ASSERT_TRUE(WriteWorkbook(files::TargetOf(path), run.players, reason)) << reason;

        std::string seen = ReadBack(path);
        std::size_t header = seen.find('\n', seen.find("columns")) + 1;
        EXPECT_EQ(seen.substr(0, header), "sheets [\"Players\"]\nfrozen A2\nfilter A1:Y4\nbold header True\ncolumns 25\n");
        std::string body = seen.substr(header);
        std::string names = ordering == Ordering::Uid ? "[\"UID\", \"Player\", " : "[\"Player\", \"UID\", ";
        EXPECT_EQ(body.substr(0, body.find('\n') + 1), names + tail + "]\n");
        body.erase(0, body.find('\n') + 1);
        if (ordering == Ordering::Uid) {
            EXPECT_EQ(body, rows);
        } else {
            // Name order swaps the first two columns and keeps the file's order.
            EXPECT_NE(body.find("[\"José Peña\", 7, \"L\""), std::string::npos) << body;
            EXPECT_NE(body.find("[\"A_x0001_B O'Neil_x005F_x0041_\", 300,"), std::string::npos) << body;
            EXPECT_LT(body.find("José"), body.find("SUM"));
        }
    }
    EXPECT_EQ(testfiles::Listing(folder.path()), "mastplyr.dat name.xlsx uid.xlsx");
}

TEST(Workbook, TooManyRowsOrAnUnwritableFolderWriteNothingAndSayWhy)
{
    ScratchFolder folder;
    KeptPlayers players;
    players.records.resize(WorkbookMaxPlayers + 1);
    std::string reason;
    EXPECT_FALSE(WriteWorkbook(files::TargetOf(folder.file("big.xlsx")), players, reason));
    EXPECT_NE(reason.find("at most 1048575 players"), std::string::npos) << reason;

    players.records.resize(1);
    EXPECT_FALSE(WriteWorkbook(files::TargetOf(folder.file("missing/out.xlsx")), players, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(testfiles::Listing(folder.path()), "");

    EXPECT_EQ(ExportTargetFor({"p", true}).path, "p.xlsx");
    EXPECT_EQ(ExportTargetFor({"p.XLSX", false}).path, "p.XLSX");
    EXPECT_TRUE(ExportTargetFor({"p.XLSX", false}).workbook);
    EXPECT_EQ(ExportTargetFor({"p.csv", true}).path, "p.csv.xlsx");
    EXPECT_FALSE(ExportTargetFor({"p", false}).workbook);
}
