#include "listing/ProcessRun.h"

#include "files/Files.h"
#include "listing/CsvExport.h"
#include "listing/LineLayout.h"
#include "listing/Messages.h"
#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"

#include <gtest/gtest.h>

#include <algorithm>

using testfiles::ScratchFolder;

namespace {

// Records every window-side operation as a line of text, in order.
class FakeWindow : public ProcessWindow {
public:
    std::string firstYear, lastYear, folder;
    bool uidOrder = false;
    std::size_t refuseAfter = SIZE_MAX;

    std::string header = "Player          UID   ";
    std::vector<std::string> list;
    std::string countText = "0 Records Qualified";
    bool writeCsvEnabled = false;
    std::vector<std::string> events;
    std::vector<std::string> messages;

    std::string firstYearText() override { return firstYear; }
    std::string lastYearText() override { return lastYear; }
    std::string folderText() override { return folder; }
    bool uidOrderSelected() override { return uidOrder; }
    void setHeader(const std::string& text) override { header = text, events.push_back("header"); }
    void beginListing() override { list.clear(), events.push_back("begin"); }
    bool addLine(const std::string& line) override
    {
        if (list.size() >= refuseAfter)
            return false;
        list.push_back(line);
        events.push_back("add");
        return true;
    }
    void redrawListing() override { events.push_back("redraw " + std::to_string(list.size())); }
    void endListing() override { events.push_back("end"); }
    void setCountText(const std::string& text) override { countText = text, events.push_back("count"); }
    void enableWriteCsv() override { writeCsvEnabled = true, events.push_back("enable"); }
    void showWaitCursor() override { events.push_back("wait"); }
    void showArrowCursor() override { events.push_back("arrow"); }
    void showRangeMessage(const std::string& text) override { messages.push_back("range:" + text); }
    void showMessage(const std::string& text) override { messages.push_back(text), events.push_back("message"); }

    std::size_t count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }
    std::vector<std::string> redraws() const
    {
        std::vector<std::string> found;
        for (const auto& event : events)
            if (event.rfind("redraw", 0) == 0)
                found.push_back(event);
        return found;
    }
};

MasterPlayerRecord Player(std::int16_t uid, std::int16_t debut, std::int16_t final, std::uint8_t role = 2)
{
    MasterPlayerRecord r;
    r.uid = uid;
    r.firstName = "First" + std::to_string(uid);
    r.lastName = "Last";
    r.debutYear = debut;
    r.finalYear = final;
    r.role = role;
    return r;
}

class ProcessRunTest : public testing::Test {
protected:
    void SetUp() override
    {
        ExportLines.clear();
        window.folder = folder.str();
        window.firstYear = "1900";
        window.lastYear = "1950";
    }

    void WriteMaster(const std::vector<MasterPlayerRecord>& records, std::string_view extra = {})
    {
        std::string bytes;
        for (const auto& r : records)
            bytes += AsString(EncodeMasterRecord(r));
        testfiles::WriteBytes(folder.file("mastplyr.dat"), bytes + std::string(extra));
    }

    void WriteMany(int count)
    {
        std::vector<MasterPlayerRecord> records;
        for (int i = 1; i <= count; ++i)
            records.push_back(Player(static_cast<std::int16_t>(i % 32767 + 1), 1920, 1930));
        WriteMaster(records);
    }

    ScratchFolder folder;
    FakeWindow window;
};

}  // namespace

TEST_F(ProcessRunTest, ListsQualifyingPlayersWithHeaderCountAndExportLines)
{
    WriteMaster({Player(3, 1890, 1899), Player(2, 1890, 1900), Player(1, 1950, 1960), Player(4, 1951, 1960),
                 Player(5, 1930, 1940, 1), Player(6, 1930, 1940, 0), Player(7, 1930, 1940, 9)});
    RunProcess(window);

    EXPECT_EQ(window.header, ListingHeader(Ordering::Name));
    ASSERT_EQ(window.list.size(), 5u);  // final year = first year and debut = last year included
    EXPECT_EQ(window.countText, " 5 Records qualified ");
    EXPECT_TRUE(window.writeCsvEnabled);
    EXPECT_TRUE(window.messages.empty());
    ASSERT_EQ(QualifiedCount(), 5);
    // Master-file order, every role.
    EXPECT_EQ(ExportLines[0], ExportLine(Player(2, 1890, 1900), Ordering::Name));
    EXPECT_EQ(ExportLines[1], ExportLine(Player(1, 1950, 1960), Ordering::Name));
    EXPECT_EQ(ExportLines[2], ExportLine(Player(5, 1930, 1940, 1), Ordering::Name));
    EXPECT_EQ(ExportLines[4], ExportLine(Player(7, 1930, 1940, 9), Ordering::Name));
    EXPECT_EQ(window.list[0], ListingLine(Player(2, 1890, 1900), Ordering::Name));

    std::vector<std::string> expected{"wait", "header", "begin", "add", "add", "add", "add", "add",
                                      "end",  "count",  "enable", "arrow"};
    EXPECT_EQ(window.events, expected);
}

TEST_F(ProcessRunTest, UidOrderWhenItsOptionIsOnNameOrderOtherwise)
{
    WriteMaster({Player(42, 1920, 1930)});
    window.uidOrder = true;
    RunProcess(window);
    EXPECT_EQ(window.header, ListingHeader(Ordering::Uid));
    EXPECT_EQ(window.list.at(0), ListingLine(Player(42, 1920, 1930), Ordering::Uid));
    EXPECT_EQ(ExportLines.at(0), ExportLine(Player(42, 1920, 1930), Ordering::Uid));
    window.uidOrder = false;
    RunProcess(window);
    EXPECT_EQ(window.list.at(0), ListingLine(Player(42, 1920, 1930), Ordering::Name));
}

TEST_F(ProcessRunTest, YearBoundsAreTheFirstYear1869AndTheCurrentYear)
{
    WriteMaster({Player(1, 1869, 3000)});
    std::string current = std::to_string(files::CurrentYear());
    std::string next = std::to_string(files::CurrentYear() + 1);
    window.firstYear = "1869";
    window.lastYear = current;
    RunProcess(window);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.list.size(), 1u);

    for (auto [first, last] : std::vector<std::pair<std::string, std::string>>{
             {"1868", "1900"}, {"1900", "1868"}, {next, "1900"}, {"1900", next}, {"", "1900"},
             {"abc", "1900"}, {"67405", "1900"}, {"1900", "67405"}}) {
        FakeWindow shown = window;
        window.messages.clear();
        window.events.clear();
        window.firstYear = first;
        window.lastYear = last;
        RunProcess(window);
        std::vector<std::string> expectedMessages{"range:" + std::string(YearsOutOfRangeMessage)};
        EXPECT_EQ(window.messages, expectedMessages) << first << " " << last;
        // Nothing on screen or in the export changes.
        EXPECT_EQ(window.list, shown.list);
        EXPECT_EQ(window.header, shown.header);
        EXPECT_EQ(window.countText, shown.countText);
        EXPECT_EQ(QualifiedCount(), 1);
        std::vector<std::string> cursor{"wait", "arrow"};
        EXPECT_EQ(window.events, cursor);
    }
}

TEST_F(ProcessRunTest, AFirstYearAfterTheLastKeepsCareersCoveringBoth)
{
    WriteMaster({Player(1, 1920, 1930), Player(2, 1925, 1926), Player(3, 1930, 1940), Player(4, 1910, 1920)});
    window.firstYear = "1930";
    window.lastYear = "1920";
    RunProcess(window);
    ASSERT_EQ(QualifiedCount(), 1);
    EXPECT_EQ(ExportLines[0], ExportLine(Player(1, 1920, 1930), Ordering::Name));
}

TEST_F(ProcessRunTest, RepaintsTheListAfterEveryFiftyLines)
{
    WriteMany(49);
    RunProcess(window);
    EXPECT_TRUE(window.redraws().empty());

    for (auto [count, expected] : std::vector<std::pair<int, std::vector<std::string>>>{
             {50, {"redraw 50"}}, {100, {"redraw 50", "redraw 100"}}, {149, {"redraw 50", "redraw 100"}}}) {
        WriteMany(count);
        window.events.clear();
        RunProcess(window);
        EXPECT_EQ(window.redraws(), expected) << count;
        EXPECT_EQ(window.events.back(), "arrow");
        EXPECT_EQ(window.count("end"), 1u);
    }
}

TEST_F(ProcessRunTest, CountsBeyondSixteenBitsWithoutACap)
{
    WriteMany(40000);
    RunProcess(window);
    EXPECT_EQ(window.list.size(), 40000u);
    EXPECT_EQ(QualifiedCount(), 40000);
    EXPECT_EQ(window.countText, " 40000 Records qualified ");
}

TEST_F(ProcessRunTest, ARefusedLineStopsTheListingAndSaysHowManyAreListed)
{
    WriteMany(120);
    window.refuseAfter = 75;
    RunProcess(window);
    EXPECT_EQ(window.list.size(), 75u);
    std::vector<std::string> expected{"The list is full: 75 of 120 players are listed."};
    EXPECT_EQ(window.messages, expected);
    EXPECT_EQ(QualifiedCount(), 75);
    EXPECT_EQ(window.countText, " 75 Records qualified ");
}

TEST_F(ProcessRunTest, EachRunStartsFromAnEmptyListAndEqualLinesAllShow)
{
    WriteMaster({Player(1, 1920, 1930), Player(1, 1920, 1930)});
    RunProcess(window);
    RunProcess(window);
    EXPECT_EQ(window.list.size(), 2u);
    EXPECT_EQ(window.list[0], window.list[1]);
    EXPECT_EQ(QualifiedCount(), 2);
}

TEST_F(ProcessRunTest, AMissingMasterFileIsNamedAndNotCreated)
{
    WriteMaster({Player(1, 1920, 1930)});
    RunProcess(window);
    ASSERT_TRUE(window.writeCsvEnabled);

    std::string missingFolder = folder.file("gone");
    window.folder = missingFolder;
    window.events.clear();
    RunProcess(window);
    ASSERT_EQ(window.messages.size(), 1u);
    std::string expectedStart = "Cannot open \"" + files::JoinPath(missingFolder, "mastplyr.dat") + "\": ";
    EXPECT_EQ(window.messages[0].substr(0, expectedStart.size()), expectedStart);
    EXPECT_GT(window.messages[0].size(), expectedStart.size());
    EXPECT_TRUE(window.list.empty());
    EXPECT_EQ(window.countText, " 0 Records qualified ");
    EXPECT_EQ(QualifiedCount(), 0);
    EXPECT_EQ(window.count("enable"), 0u);
    EXPECT_FALSE(std::filesystem::exists(missingFolder));

    window.folder = folder.str();
    std::filesystem::remove(folder.file("mastplyr.dat"));
    RunProcess(window);
    EXPECT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(testfiles::Listing(folder.path()), "");
}

TEST_F(ProcessRunTest, TheMasterFileIsUntouched)
{
    SampleOptions options;
    options.records = 2000;
    options.lastSeason = 2020;
    std::string path = folder.file("mastplyr.dat");
    testfiles::WriteBytes(path, SampleMasterBytes(options) + "tail");
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(50));
    auto before = testfiles::Snapshot(path);
    window.firstYear = "1871";
    window.lastYear = "2020";
    RunProcess(window);
    EXPECT_GT(QualifiedCount(), 1900);
    EXPECT_TRUE(testfiles::Snapshot(path) == before);
}

// A read failing midway (a dropped share, a lock held by the game) is an error:
// the run keeps nothing, so no export of a half-read file can replace a good one;
// and an export never replaces a file that appeared while it was written.
TEST_F(ProcessRunTest, AReadFailingMidwayKeepsNothingAndAnAppearedFileIsKept)
{
    WriteMany(30);
    window.uidOrder = true;
    RunProcess(window);
    ASSERT_EQ(QualifiedCount(), 30);
    std::string good = folder.file("good.csv");
    testfiles::WriteBytes(good, "good\r\n");

    files::SimulateReadFailure(files::ReadFailure{10 * MasterRecordSize, EIO});
    PlayerRun run = RunPlayers({"1900", "1950", folder.str(), Ordering::Uid});
    window.messages.clear();
    RunProcess(window);
    files::SimulateReadFailure(std::nullopt);
    EXPECT_EQ(run.outcome, RunOutcome::CannotRead);
    EXPECT_EQ(run.players.size(), 0u);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              CannotReadMessage(files::JoinPath(folder.str(), "mastplyr.dat"), files::SystemErrorText(EIO)));
    EXPECT_TRUE(window.list.empty());
    EXPECT_EQ(window.countText, " 0 Records qualified ");
    EXPECT_EQ(QualifiedCount(), 0);
    std::string reason;
    EXPECT_FALSE(WriteCsvPlayers(files::TargetOf(good), run.players, reason, files::ReplaceMode::Keep));
    EXPECT_EQ(testfiles::ReadBytes(good), "good\r\n");

    // A file that appears between the check and the end of the write is kept.
    files::ReplacingWriter writer;
    ASSERT_TRUE(writer.begin(folder.file("new.csv"), files::ReplaceMode::Keep));
    ASSERT_TRUE(writer.write("ours"));
    testfiles::WriteBytes(folder.file("new.csv"), "theirs");
    EXPECT_FALSE(writer.commit());
    EXPECT_TRUE(writer.targetAppeared());
    EXPECT_EQ(testfiles::ReadBytes(folder.file("new.csv")), "theirs");
    EXPECT_EQ(testfiles::Listing(folder.path()), "good.csv mastplyr.dat new.csv");
}
