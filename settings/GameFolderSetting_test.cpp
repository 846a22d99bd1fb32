#include "settings/GameFolderSetting.h"

#include "files/Files.h"
#include "testing/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

namespace {

// The settings file lives in the current directory; each test gets its own.
class GameFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    ScratchFolder folder;
    std::filesystem::path previous;
};

class FakeFolderWindow : public FolderWindow {
public:
    std::string chosen;
    std::string box = "Text1";
    std::vector<std::string> messages;

    std::string browseForFolder() override { return chosen; }
    std::string folderText() override { return box; }
    void setFolderText(const std::string& text) override { box = text; }
    void showMessage(const std::string& text) override { messages.push_back(text); }
};

}  // namespace

TEST(FolderFromSettings, TheFirstLineWithoutLeadingBlanksOrTabs)
{
    struct Case {
        std::string bytes;
        std::string folder;
    };
    const Case cases[] = {
        {"C:\\Games\\Sim\r\n", "C:\\Games\\Sim"},
        {"C:\\Games\\Sim", "C:\\Games\\Sim"},
        {"", ""},
        {"\r\n", ""},
        {"   ", ""},
        {"  D:\\Sim  \r\n", "D:\\Sim  "},
        {"D:\\Sim, Data\\Games\r\n", "D:\\Sim, Data\\Games"},
        {"D:\\Sim\nE:\\Other\r\n", "D:\\Sim"},
        {"D:\\Si\tm\r\n", "D:\\Sim"},
        {"D:\\Sim\x1arest", "D:\\Sim"},
        {std::string("D:\\Sim\0rest", 11), "D:\\Sim"},
        {"\"C:\\Program Files\\Sim\"\r\n", "C:\\Program Files\\Sim"},
        {"\"C:\\Half", "\"C:\\Half"},
        {"\"", "\""},
        {"\"\"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderFromSettings(c.bytes), c.folder) << c.bytes;
}

TEST_F(GameFolderTest, LoadsNothingWithoutAFileAndEmptyWhenUnreadable)
{
    EXPECT_EQ(LoadGameFolder(), std::nullopt);
    std::filesystem::create_directory("galvorfolder.txt");
    EXPECT_EQ(LoadGameFolder(), std::nullopt);
    std::filesystem::remove("galvorfolder.txt");

    WriteBytes("galvorfolder.txt", "C:\\Games\\Sim\r\n");
    EXPECT_EQ(LoadGameFolder(), "C:\\Games\\Sim");
    WriteBytes("galvorfolder.txt", "");
    EXPECT_EQ(LoadGameFolder(), "");

    std::string huge(1 << 20, 'x');
    WriteBytes("galvorfolder.txt", huge);
    EXPECT_EQ(LoadGameFolder(), std::string(32767, 'x'));
}

// What an editor writes when it saves "UTF-8 with BOM".
TEST_F(GameFolderTest, AByteOrderMarkBeforeTheFolderIsSkipped)
{
    const std::string mark = "\xEF\xBB\xBF";
    WriteBytes("galvorfolder.txt", mark + "C:\\Games\\Sim\r\n");
    EXPECT_EQ(LoadGameFolder(), "C:\\Games\\Sim");
    WriteBytes("galvorfolder.txt", mark + "  \"C:\\Program Files\\Sim\"\r\n");
    EXPECT_EQ(LoadGameFolder(), "C:\\Program Files\\Sim");
    WriteBytes("galvorfolder.txt", mark);
    EXPECT_EQ(LoadGameFolder(), "");
    // After the mark the name is UTF-8, not the code page's bytes ("GalvÃ¸r Î©" in 1252).
    WriteBytes("galvorfolder.txt", mark + "C:\\Games\\Galv\xC3\xB8r \xCE\xA9\r\n");
    EXPECT_EQ(LoadGameFolder(), "C:\\Games\\Galv\xC3\xB8r \xCE\xA9");
}

TEST_F(GameFolderTest, ASavedFolderLoadsBackAsSaved)
{
    for (std::string saved : {"C:\\Games\\Sim", "C:\\", "D:\\Sim, Data\\Games", "  E:\\lead and trail  "}) {
        std::string reason;
        ASSERT_TRUE(SaveGameFolder(saved, reason, {})) << reason;
        EXPECT_EQ(ReadBytes("galvorfolder.txt"), saved + "\r\n");
        std::string expected = saved.substr(saved.find_first_not_of(' '));
        EXPECT_EQ(LoadGameFolder(), expected);
    }
    EXPECT_EQ(testfiles::Listing(folder.path()), "galvorfolder.txt");
}

TEST_F(GameFolderTest, ChangingTheFolderShowsAndRemembersIt)
{
    FakeFolderWindow window;
    window.chosen = "";
    ChangeGameFolder(window);
    EXPECT_EQ(window.box, "Text1");
    EXPECT_FALSE(std::filesystem::exists("galvorfolder.txt"));

    window.chosen = "C:\\Games\\Sim";
    ChangeGameFolder(window);
    EXPECT_EQ(window.box, "C:\\Games\\Sim");
    EXPECT_EQ(ReadBytes("galvorfolder.txt"), "C:\\Games\\Sim\r\n");
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(GameFolderTest, AFailedSaveSaysSoAndKeepsTheFolderShown)
{
    std::filesystem::create_directory("galvorfolder.txt");
    WriteBytes("galvorfolder.txt/inside", "kept");
    FakeFolderWindow window;
    window.chosen = "C:\\New";
    ChangeGameFolder(window);
    EXPECT_EQ(window.box, "C:\\New");
    ASSERT_EQ(window.messages.size(), 1u);
    std::string start = "Cannot remember the game folder in \"" +
                        files::JoinPath(std::filesystem::current_path().string(), "galvorfolder.txt") + "\": ";
    EXPECT_EQ(window.messages[0].substr(0, start.size()), start);
    EXPECT_GT(window.messages[0].size(), start.size());
    EXPECT_EQ(ReadBytes("galvorfolder.txt/inside"), "kept");
    EXPECT_EQ(testfiles::Listing(folder.path()), "galvorfolder.txt");
}
