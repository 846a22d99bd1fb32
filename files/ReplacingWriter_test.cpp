#include "files/ReplacingWriter.h"

#include "files/Files.h"
#include "files/SystemFiles.h"
#include "testing/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

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
