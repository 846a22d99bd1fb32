#include "files/Files.h"

#include "testing/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include "files/WideNames.h"

#include <windows.h>
#endif

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

TEST(JoinPath, AlwaysInsertsThePlatformSeparator)
{
#ifdef _WIN32
    EXPECT_EQ(files::JoinPath("C:\\Games\\Sim", "mastplyr.dat"), "C:\\Games\\Sim\\mastplyr.dat");
    EXPECT_EQ(files::JoinPath("C:\\", "mastplyr.dat"), "C:\\\\mastplyr.dat");
    EXPECT_EQ(files::JoinPath("", "mastplyr.dat"), "\\mastplyr.dat");
#else
    EXPECT_EQ(files::JoinPath("/games/sim", "mastplyr.dat"), "/games/sim/mastplyr.dat");
    EXPECT_EQ(files::JoinPath("/games/sim/", "mastplyr.dat"), "/games/sim//mastplyr.dat");
#endif
}

TEST(SystemErrorText, IsTheSystemsTextWithoutLineEnd)
{
    std::string text = files::SystemErrorText(files::InvalidNameError());
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
}

TEST(ReadOnlyFile, TellsMissingFromUnopenableAndNeverCreates)
{
    ScratchFolder folder;
    files::ReadOnlyFile file;
    EXPECT_EQ(file.open(folder.file("absent.dat")).outcome, files::OpenResult::Missing);
    EXPECT_EQ(file.open(folder.file("no-such-folder/absent.dat")).outcome, files::OpenResult::Missing);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(testfiles::Listing(folder.path()), "");

    std::filesystem::create_directory(folder.file("dir.dat"));
    files::OpenResult directory = file.open(folder.file("dir.dat"));
    EXPECT_EQ(directory.outcome, files::OpenResult::Failed);
    EXPECT_FALSE(directory.reason.empty());

    WriteBytes(folder.file("plain.dat"), "abc");
    for (const char* wild : {"pl*n.dat", "pl?in.dat"}) {
        files::OpenResult refused = file.open(folder.file(wild));
        EXPECT_EQ(refused.outcome, files::OpenResult::Failed) << wild;
        EXPECT_EQ(refused.reason, files::SystemErrorText(files::InvalidNameError()));
    }
}

TEST(ReadOnlyFile, ReadsToTheEndInPieces)
{
    ScratchFolder folder;
    WriteBytes(folder.file("data"), "0123456789");
    files::ReadOnlyFile file;
    ASSERT_EQ(file.open(folder.file("data")).outcome, files::OpenResult::Opened);
    unsigned char buffer[8];
    EXPECT_EQ(file.read(buffer, 8), 8u);
    EXPECT_EQ(file.read(buffer, 8), 2u);
    EXPECT_EQ(buffer[1], '9');
    EXPECT_EQ(file.read(buffer, 8), 0u);
}

#ifdef _WIN32
TEST(ReadOnlyFile, LetsOthersReadButNotWriteWhileOpen)
{
    ScratchFolder folder;
    std::string path = folder.file("held.dat");
    WriteBytes(path, "abc");
    files::ReadOnlyFile file;
    ASSERT_EQ(file.open(path).outcome, files::OpenResult::Opened);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    file.close();
    writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
}
#endif
