#include "masterfile/MasterPlayerReader.h"

#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <vector>

using testfiles::ScratchFolder;

namespace {

MasterPlayerRecord Pitcher(std::int16_t uid, const char* lastName)
{
    MasterPlayerRecord record;
    record.uid = uid;
    record.firstName = "Beta";
    record.lastName = lastName;
    return record;
}

std::vector<MasterRecordBytes> ReadAllBytes(MasterPlayerReader& reader)
{
    std::vector<MasterRecordBytes> records;
    MasterPlayerRecord record;
    while (!reader.atEnd()) {
        reader.readNext(record);
        records.push_back(reader.recordBytes());
    }
    return records;
}

// Reads the folder's file, and checks that reading its bytes from memory gives the same.
std::vector<MasterPlayerRecord> ReadAll(const std::string& folder)
{
    MasterPlayerReader reader;
    bool opened = reader.open(folder).outcome == files::OpenResult::Opened;
    std::vector<MasterRecordBytes> fromFile = ReadAllBytes(reader);
    reader.close();
    if (opened) {
        std::string bytes = testfiles::ReadBytes(folder + "/mastplyr.dat");
        reader.openBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        EXPECT_EQ(ReadAllBytes(reader), fromFile);
    }
    std::vector<MasterPlayerRecord> records(fromFile.size());
    for (std::size_t i = 0; i < fromFile.size(); ++i)
        DecodeMasterRecord(fromFile[i].data(), records[i]);
    return records;
}

MasterPlayerRecord Decoded(const MasterRecordBytes& bytes)
{
    MasterPlayerRecord record;
    DecodeMasterRecord(bytes.data(), record);
    return record;
}

}  // namespace

TEST(DecodeMasterRecord, ReadsEveryFieldLittleEndian)
{
    MasterRecordBytes bytes{};
    PutInt16(bytes, MasterField::Status, 0);
    PutInt16(bytes, MasterField::Uid, 0x1234);
    PutRawText(bytes, MasterField::FirstName, 14, "Bo");
    PutRawText(bytes, MasterField::LastName, 16, "Alpha");
    PutRawText(bytes, MasterField::ExtraText, 32, "note");
    PutInt16(bytes, MasterField::BirthYear, -5);
    bytes[68] = 7;                              // birth month
    bytes[69] = 4;                              // birth day
    PutInt16(bytes, MasterField::DebutYear, 1969);
    PutInt16(bytes, MasterField::FinalYear, 1975);
    bytes[74] = 200;                            // position
    bytes[75] = 2;                              // role
    bytes[76] = 3;                              // bats
    bytes[77] = 1;                              // throws
    bytes[78] = 6;                              // arm angle
    bytes[79] = 5;                              // velocity
    for (int i = 0; i < 12; ++i)
        bytes[80 + i] = static_cast<unsigned char>(i % 3);  // pitch flags
    bytes[92] = 12;                             // out pitch
    bytes[93] = 255;                            // style

    MasterPlayerRecord r = Decoded(bytes);
    EXPECT_EQ(r.uid, 0x1234);
    EXPECT_EQ(r.firstName, "Bo");
    EXPECT_EQ(r.lastName, "Alpha");
    EXPECT_EQ(r.extraText, "note");
    EXPECT_EQ(r.birthYear, -5);
    EXPECT_EQ(r.birthMonth, 7);
    EXPECT_EQ(r.birthDay, 4);
    EXPECT_EQ(r.debutYear, 1969);
    EXPECT_EQ(r.finalYear, 1975);
    EXPECT_EQ(r.position, 200);
    EXPECT_EQ(r.role, 2);
    EXPECT_EQ(r.bats, 3);
    EXPECT_EQ(r.throws, 1);
    EXPECT_EQ(r.armAngle, 6);
    EXPECT_EQ(r.velocity, 5);
    EXPECT_EQ(r.pitchFlags[0], 0);
    EXPECT_EQ(r.pitchFlags[11], 2);
    EXPECT_EQ(r.outPitch, 12);
    EXPECT_EQ(r.style, 255);
    EXPECT_EQ(EncodeMasterRecord(r), bytes);
}

TEST(DecodeMasterRecord, TextStopsAtNulOrOneShortOfTheField)
{
    MasterRecordBytes bytes{};
    PutRawText(bytes, MasterField::LastName, 16, "ABCDEFGHIJKLMNOP");  // 16 letters, no NUL
    PutRawText(bytes, MasterField::FirstName, 14, std::string("Bo\0xyz", 6));
    PutRawText(bytes, MasterField::ExtraText, 32, std::string(32, 'e'));
    MasterPlayerRecord r = Decoded(bytes);
    EXPECT_EQ(r.lastName, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(r.firstName, "Bo");
    EXPECT_EQ(r.extraText, std::string(31, 'e'));
}

TEST(IsValidRecord, AppliesStatusUidAndLastNameTests)
{
    EXPECT_TRUE(isValidRecord(Pitcher(5, "Alpha")));
    EXPECT_TRUE(isValidRecord(Pitcher(32767, "Alpha")));

    MasterPlayerRecord deleted = Pitcher(5, "Alpha");
    deleted.status = 1;
    EXPECT_FALSE(isValidRecord(deleted));
    deleted.status = -1;
    EXPECT_FALSE(isValidRecord(deleted));
    for (std::int16_t uid : {0, -1, -32768})
        EXPECT_FALSE(isValidRecord(Pitcher(uid, "Alpha"))) << uid;

    for (const char* rejected : {"[x", "\\x", "]x", "^x", "_x", "`x", "{x", "|x", "}x", "~x", "\x7f", "\x80x", "\xff"})
        EXPECT_FALSE(isValidRecord(Pitcher(5, rejected))) << rejected;
    for (const char* accepted : {"alpha", "Zed", "Alpha", "9th", " Lead", "", "!", "@x", "Z", "a", "z"})
        EXPECT_TRUE(isValidRecord(Pitcher(5, accepted))) << accepted;
}

TEST(MasterPlayerReader, ReadsFilesOfEveryLengthAsTheGameDoes)
{
    ScratchFolder folder;
    std::string path = folder.file("mastplyr.dat");
    std::string one = AsString(EncodeMasterRecord(Pitcher(5, "Alpha")));
    std::string two = AsString(EncodeMasterRecord(Pitcher(6, "Beta")));

    testfiles::WriteBytes(path, "");
    auto records = ReadAll(folder.str());
    ASSERT_EQ(records.size(), 1u);  // an empty file still yields one all-zero record
    EXPECT_FALSE(isValidRecord(records[0]));

    testfiles::WriteBytes(path, one);
    records = ReadAll(folder.str());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(isValidRecord(records[0]));
    EXPECT_EQ(records[0].uid, 5);
    EXPECT_EQ(records[1].uid, 0);

    testfiles::WriteBytes(path, one.substr(0, 93));
    records = ReadAll(folder.str());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].uid, 5);
    EXPECT_EQ(records[0].style, 0);

    // 100 bytes: the second record is bytes 94..99 then zeros.
    std::string sixMore = two.substr(0, 6);
    sixMore[4] = 'J';
    sixMore[5] = 'o';
    testfiles::WriteBytes(path, one + sixMore);
    records = ReadAll(folder.str());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].uid, 6);
    EXPECT_EQ(records[1].firstName, "Jo");
    EXPECT_EQ(records[1].lastName, "");
    EXPECT_TRUE(isValidRecord(records[1]));

    // Many buffers' worth, with a partial record at the end.
    std::string many;
    for (int i = 1; i <= 5000; ++i)
        many += AsString(EncodeMasterRecord(Pitcher(static_cast<std::int16_t>(i), "Alpha")));
    testfiles::WriteBytes(path, many + "\x01");
    records = ReadAll(folder.str());
    ASSERT_EQ(records.size(), 5001u);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(records[static_cast<std::size_t>(i)].uid, i + 1);
    EXPECT_EQ(records[5000].status, 1);
}

TEST(MasterPlayerReader, NeverChangesTheFile)
{
    ScratchFolder folder;
    std::string path = folder.file("mastplyr.dat");
    SampleOptions options;
    options.records = 3000;
    options.lastSeason = 2020;
    testfiles::WriteBytes(path, SampleMasterBytes(options) + "garbage");
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(30));
    auto before = testfiles::Snapshot(path);
    auto records = ReadAll(folder.str());
    EXPECT_EQ(records.size(), 3001u);
    EXPECT_TRUE(testfiles::Snapshot(path) == before);
    EXPECT_EQ(testfiles::Listing(folder.path()), "mastplyr.dat");
}

TEST(MasterPlayerReader, AFileThatCannotBeOpenedHasEnded)
{
    ScratchFolder folder;
    MasterPlayerReader reader;
    files::OpenResult missing = reader.open(folder.str());
    EXPECT_EQ(missing.outcome, files::OpenResult::Missing);
    EXPECT_FALSE(missing.reason.empty());
    EXPECT_EQ(reader.path(), files::JoinPath(folder.str(), "mastplyr.dat"));
    EXPECT_TRUE(reader.atEnd());
    reader.close();
    EXPECT_EQ(testfiles::Listing(folder.path()), "");  // not created

    std::filesystem::create_directory(folder.file("mastplyr.dat"));
    EXPECT_EQ(reader.open(folder.str()).outcome, files::OpenResult::Failed);
    EXPECT_TRUE(reader.atEnd());

    EXPECT_EQ(reader.open(folder.file("ga*es")).outcome, files::OpenResult::Failed);
    EXPECT_EQ(reader.open(folder.file("no-such-folder")).outcome, files::OpenResult::Missing);
    EXPECT_TRUE(ReadAll(folder.file("no-such-folder")).empty());
}

TEST(MasterPlayerReader, TakesFoldersLongerThanTheOldPathLimitAsTheSystemAllows)
{
    ScratchFolder folder;
    std::filesystem::path deep = folder.path();
    while (deep.string().size() < 300)
        deep /= std::string(40, 'd');
    std::error_code error;
    std::filesystem::create_directories(deep, error);
    if (!error)
        testfiles::WriteBytes((deep / "mastplyr.dat").string(), AsString(EncodeMasterRecord(Pitcher(9, "Long"))));

    MasterPlayerReader reader;
    files::OpenResult result = reader.open(deep.string());
    EXPECT_EQ(reader.path(), files::JoinPath(deep.string(), "mastplyr.dat"));
    if (result.outcome == files::OpenResult::Opened) {
        MasterPlayerRecord record;
        reader.readNext(record);
        EXPECT_EQ(record.uid, 9);
    } else {
        EXPECT_FALSE(result.reason.empty());
        EXPECT_TRUE(reader.atEnd());
    }
#ifndef _WIN32
    EXPECT_EQ(result.outcome, files::OpenResult::Opened);
#endif
}
