#include "files/ReplacingWriter.h"

#include "files/Files.h"
#include "files/SystemFiles.h"
#include "testing/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#include "files/WideNames.h"
#endif

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

TEST(ReplacingWriter, ReplacesTheTargetOnlyOnCommit)
{
    ScratchFolder folder;
    std::string target = folder.file("out.csv");
    WriteBytes(target, "old contents that are longer");

    files::ReplacingWriter writer;
    ASSERT_TRUE(writer.begin(target));
    std::string big(200000, 'x');
    ASSERT_TRUE(writer.write("new\r\n"));
    ASSERT_TRUE(writer.write(big));
    EXPECT_EQ(ReadBytes(target), "old contents that are longer");
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(ReadBytes(target), "new\r\n" + big);
    EXPECT_EQ(testfiles::Listing(folder.path()), "out.csv");
}

TEST(ReplacingWriter, AbandoningLeavesTheTargetAndNoLeftovers)
{
    ScratchFolder folder;
    std::string target = folder.file("out.csv");
    WriteBytes(target, "keep");
    {
        files::ReplacingWriter writer;
        ASSERT_TRUE(writer.begin(target));
        writer.write("partial");
    }
    EXPECT_EQ(ReadBytes(target), "keep");
    EXPECT_EQ(testfiles::Listing(folder.path()), "out.csv");
}

TEST(ReplacingWriter, ReportsFailuresAndLeavesNothingBehind)
{
    ScratchFolder folder;
    files::ReplacingWriter writer;
    EXPECT_FALSE(writer.begin(folder.file("missing/out.csv")));
    EXPECT_FALSE(writer.failure().empty());
    EXPECT_FALSE(writer.write("x"));
    EXPECT_FALSE(writer.commit());

    std::filesystem::create_directory(folder.file("taken"));
    WriteBytes(folder.file("taken/inside"), "still here");
    EXPECT_FALSE(writer.begin(folder.file("taken")));
    EXPECT_EQ(writer.failure(), "it is a folder");
    EXPECT_FALSE(writer.write("lines"));
    EXPECT_FALSE(writer.commit());
    EXPECT_EQ(ReadBytes(folder.file("taken/inside")), "still here");
    EXPECT_EQ(testfiles::Listing(folder.path()), "taken");
}

// Windows limits a name to 255 UTF-16 units, not bytes: a name of
// two-byte characters must not get a temporary name longer in those units.
TEST(ReplacingWriter, ItsTemporaryNameIsNoLongerThanTheTargetsName)
{
    auto length = [](const std::string& name) {
#ifdef _WIN32
        return files::WideName(name).value_or(std::wstring()).size();
#else
        return name.size();
#endif
    };
    std::string omegas;
    for (int i = 0; i < 40; ++i)
        omegas += "\xCE\xA9";
    for (std::string name : {std::string(40, 'n') + ".csv", omegas + ".csv", omegas + "\xF0\x9F\x98\x80.csv"}) {
        std::string temporary = files::TemporaryNameFor(name);
        EXPECT_LE(length(temporary), length(name)) << temporary;
    }
}

#ifndef _WIN32
// The name is resolved once: a folder link pointed elsewhere meanwhile changes
// nothing, and what the writer made goes from the folder it made it in.
TEST(ReplacingWriter, WorksInTheFolderTheNameLedToWhenItBegan)
{
    ScratchFolder folder;
    std::filesystem::create_directory(folder.file("a"));
    std::filesystem::create_directory(folder.file("b"));
    auto point = [&](const char* at) {
        std::filesystem::remove(folder.file("d"));
        std::filesystem::create_directory_symlink(at, folder.file("d"));
    };
    point("a");
    {
        files::ReplacingWriter writer;
        ASSERT_TRUE(writer.begin(folder.file("d/f.csv")));
        ASSERT_TRUE(writer.write("one"));
        WriteBytes(files::JoinPath(writer.libraryFolder(), "tmp.rows"), "left by a library");
        struct stat own {};
        ASSERT_EQ(::stat(writer.libraryFolder().c_str(), &own), 0);
        EXPECT_EQ(own.st_mode & 07777, 0700u) << "no other user may enter the writer's folder";
        point("b");
        ASSERT_TRUE(writer.commit()) << writer.failure();
    }
    EXPECT_EQ(ReadBytes(folder.file("a/f.csv")), "one");
    {
        files::ReplacingWriter writer;
        ASSERT_TRUE(writer.begin(folder.file("d/g.csv")));
        ASSERT_FALSE(writer.libraryFolder().empty());
        point("a");
    }
    EXPECT_EQ(testfiles::Listing(folder.file("a")), "f.csv");
    EXPECT_EQ(testfiles::Listing(folder.file("b")), "");
}

// A replaced file keeps who may read it: its mode, its access list and its
// other attributes.
TEST(ReplacingWriter, KeepsTheReplacedFilesAccess)
{
    ScratchFolder folder;
    std::string path = folder.file("private.csv");
    WriteBytes(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    // user::rw-, user:nobody:rw-, group::---, mask::rw-, other::---
    auto entry = [](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        std::string bytes(8, '\0');
        for (int i = 0; i < 2; ++i) {
            bytes[i] = static_cast<char>(tag >> (8 * i));
            bytes[2 + i] = static_cast<char>(perm >> (8 * i));
        }
        for (int i = 0; i < 4; ++i)
            bytes[4 + i] = static_cast<char>(id >> (8 * i));
        return bytes;
    };
    std::string acl = std::string("\x02\0\0\0", 4) + entry(0x01, 6, ~0u) + entry(0x02, 6, 65534) + entry(0x04, 0, ~0u) +
                      entry(0x10, 6, ~0u) + entry(0x20, 0, ~0u);
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
        ::setxattr(path.c_str(), "user.origin", "kept", 4, 0) != 0)
        GTEST_SKIP() << "the temporary folder's file system keeps no access list or attribute";
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    files::ReplacingWriter writer;
    ASSERT_TRUE(writer.begin(path));
    ASSERT_TRUE(writer.write("new"));
    ASSERT_TRUE(writer.commit()) << writer.failure();
    EXPECT_EQ(ReadBytes(path), "new");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    char value[256];
    ssize_t size = ::getxattr(path.c_str(), "system.posix_acl_access", value, sizeof value);
    EXPECT_EQ(std::string(value, static_cast<std::size_t>(std::max<ssize_t>(size, 0))), acl);
    size = ::getxattr(path.c_str(), "user.origin", value, sizeof value);
    EXPECT_EQ(std::string(value, static_cast<std::size_t>(std::max<ssize_t>(size, 0))), "kept");
}

// Refusals name their cause; a game file is known by what it is, through any
// name, and even when its name takes the target's place meanwhile.
TEST(ReplacingWriter, RefusesByTheRealCauseAndNeverWritesAKeptFile)
{
    ScratchFolder folder;
    std::filesystem::create_symlink("lb", folder.file("la"));
    std::filesystem::create_symlink("la", folder.file("lb"));
    EXPECT_EQ(files::RefusalOf(files::TargetOf(folder.file("la")), false), files::SystemErrorText(ELOOP));
    EXPECT_EQ(files::RefusalOf(files::TargetOf("/dev/stdin"), false), "it is this program's own input");

    std::string game = folder.file("mastplyr.dat");
    WriteBytes(game, "the game's");
    files::KeptFiles kept = {*files::KeptFileNamed(game)};
    std::filesystem::create_symlink("mastplyr.dat", folder.file("l1.csv"));
    EXPECT_NE(files::KeptFileAt(files::TargetOf(folder.file("l1.csv")), kept), nullptr);
    // Through the program's own descriptor on it, and once the game saved it.
    int descriptor = ::open(game.c_str(), O_RDWR | O_APPEND);
    ASSERT_GE(descriptor, 0);
    EXPECT_NE(files::KeptFileAt(files::TargetOf("/dev/fd/" + std::to_string(descriptor)), kept), nullptr);
    ASSERT_EQ(::write(descriptor, "s", 1), 1);
    ::close(descriptor);
    EXPECT_NE(files::KeptFileAt(files::TargetOf(folder.file("l1.csv")), kept), nullptr);
    files::ReplacingWriter writer;
    EXPECT_FALSE(writer.begin(folder.file("l1.csv"), files::ReplaceMode::Replace, kept));
    ASSERT_TRUE(writer.begin(folder.file("x.csv"), files::ReplaceMode::Replace, kept));
    ASSERT_TRUE(writer.write("players"));
    std::filesystem::create_hard_link(game, folder.file("x.csv"));
    EXPECT_FALSE(writer.commit());
    EXPECT_EQ(writer.failure(), "it leads to the game's file, which Veltrane never writes");
    EXPECT_EQ(ReadBytes(game), "the game'ss");
    EXPECT_EQ(testfiles::Listing(folder.path()), "l1.csv la lb mastplyr.dat x.csv");
}
#endif
