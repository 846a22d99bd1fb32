#include "listing/CsvExport.h"

#include "listing/ProcessRun.h"
#include "testing/SmallDisk.h"
#include "testing/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

namespace {

class FakeExportWindow : public ExportWindow {
public:
    std::string chosenName;
    bool workbookType = false;
    bool answer = true;
    std::vector<std::string> questions;
    std::vector<std::string> messages;

    ExportChoice askExportFile() override { return {chosenName, workbookType}; }
    bool askYesNo(const std::string& question) override
    {
        questions.push_back(question);
        return answer;
    }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void showWaitCursor() override { cursors += "wait "; }
    void showArrowCursor() override { cursors += "arrow "; }
    std::string folderText() override { return box; }
    std::string cursors;
    std::string box;
};

class CsvExportTest : public testing::Test {
protected:
    void SetUp() override { ExportLines = {" 1,Al Able,R,L", "\"Bo, Jr. Baker\", 2,L,R", " 3,Cy Cole,B,B"}; }
    void TearDown() override { ExportLines.clear(); }

    ScratchFolder folder;
    FakeExportWindow window;
    const std::string expected = " 1,Al Able,R,L\r\n\"Bo, Jr. Baker\", 2,L,R\r\n 3,Cy Cole,B,B\r\n";
};

}  // namespace

TEST(CsvFileName, AddsCsvUnlessTheNameEndsInItInAnyCase)
{
    EXPECT_EQ(CsvFileName("pitchers"), "pitchers.CSV");
    EXPECT_EQ(CsvFileName("pitchers.csv"), "pitchers.csv");
    EXPECT_EQ(CsvFileName("old.CSV"), "old.CSV");
    EXPECT_EQ(CsvFileName("x.Csv"), "x.Csv");
    EXPECT_EQ(CsvFileName("pitchers.txt"), "pitchers.txt.CSV");
    EXPECT_EQ(CsvFileName("csv"), "csv.CSV");
    EXPECT_EQ(CsvFileName(".csv"), ".csv");
}

TEST_F(CsvExportTest, WritesEveryLineWithCrLfAndNothingElse)
{
    window.chosenName = folder.file("pitchers");
    WriteCsvFile(window);
    EXPECT_EQ(ReadBytes(folder.file("pitchers.CSV")), expected);
    EXPECT_TRUE(window.questions.empty());
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(testfiles::Listing(folder.path()), "pitchers.CSV");
}

TEST_F(CsvExportTest, CancellingWritesNothing)
{
    window.chosenName = "";
    WriteCsvFile(window);
    EXPECT_EQ(testfiles::Listing(folder.path()), "");
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(CsvExportTest, NoLinesGiveAnEmptyFile)
{
    ExportLines.clear();
    window.chosenName = folder.file("empty.csv");
    WriteCsvFile(window);
    EXPECT_TRUE(std::filesystem::exists(folder.file("empty.csv")));
    EXPECT_EQ(ReadBytes(folder.file("empty.csv")), "");
}

TEST_F(CsvExportTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysYes)
{
    std::string path = folder.file("out.csv");
    std::string longer(5000, 'o');
    WriteBytes(path, longer);
    window.chosenName = path;
    window.answer = false;
    WriteCsvFile(window);
    std::vector<std::string> asked{"\"" + path + "\" already exists. Replace it?"};
    EXPECT_EQ(window.questions, asked);
    EXPECT_EQ(ReadBytes(path), longer);

    window.answer = true;
    WriteCsvFile(window);
    EXPECT_EQ(ReadBytes(path), expected);
    WriteCsvFile(window);
    EXPECT_EQ(ReadBytes(path), expected);  // two exports in a row are identical
    EXPECT_EQ(testfiles::Listing(folder.path()), "out.csv");
}

TEST_F(CsvExportTest, AFailedWriteSaysWhyAndLeavesNothingBehind)
{
    window.chosenName = folder.file("missing/out");
    WriteCsvFile(window);
    ASSERT_EQ(window.messages.size(), 1u);
    std::string start = "Cannot write \"" + folder.file("missing/out") + ".CSV\": ";
    EXPECT_EQ(window.messages[0].substr(0, start.size()), start);
    EXPECT_GT(window.messages[0].size(), start.size());
    EXPECT_EQ(testfiles::Listing(folder.path()), "");

    std::filesystem::create_directory(folder.file("taken.csv"));
    WriteBytes(folder.file("taken.csv/keep"), "kept");
    window.chosenName = folder.file("taken.csv");
    WriteCsvFile(window);
    EXPECT_TRUE(window.questions.empty());
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[1].substr(0, 14), "Cannot write \"");
    EXPECT_EQ(ReadBytes(folder.file("taken.csv/keep")), "kept");
    EXPECT_EQ(testfiles::Listing(folder.path()), "taken.csv");
}

TEST_F(CsvExportTest, AFullDiskLeavesTheOldFileIntact)
{
    testfiles::SmallDisk disk(folder.file("small"));
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot();
    std::string path = folder.file("small/out.csv");
    WriteBytes(path, "the good old export\r\n");
    ExportLines.assign(4000, std::string(100, 'x'));  // 400 KB on a 64 KB disk
    window.chosenName = path;
    WriteCsvFile(window);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].substr(0, 14), "Cannot write \"");
    EXPECT_EQ(ReadBytes(path), "the good old export\r\n");
    EXPECT_EQ(testfiles::Listing(folder.file("small")), "out.csv");
}

// The save dialog adds ".CSV" or ".xlsx", but a link by such a name can lead to
// the game's file: it is refused before the user is asked anything.
TEST_F(CsvExportTest, TheGamesFileIsNeverWrittenUnderAnyName)
{
    std::string master = folder.file("mastplyr.dat");
    WriteBytes(master, std::string(94, 'g'));
    window.box = folder.str();
    for (const char* name : {"players.csv", "players.xlsx"}) {
        std::filesystem::create_hard_link(master, folder.file(name));
        window.chosenName = folder.file(name);
        WriteCsvFile(window);
        EXPECT_TRUE(window.questions.empty());
        ASSERT_FALSE(window.messages.empty());
        EXPECT_EQ(window.messages.back(), "\"" + folder.file(name) + "\" is the game's file (" + master +
                                              "): Veltrane never writes to it. Choose another name.");
    }
    EXPECT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(ReadBytes(master), std::string(94, 'g'));
}
