#include "tools/SampleMaster.h"

#include "masterfile/MasterPlayerRecord.h"

#include <gtest/gtest.h>

#include <set>

TEST(SampleMaster, SameOptionsSameBytes)
{
    SampleOptions options;
    options.records = 500;
    options.lastSeason = 2024;
    std::string first = SampleMasterBytes(options);
    EXPECT_EQ(first.size(), 500 * MasterRecordSize);
    EXPECT_EQ(SampleMasterBytes(options), first);
    options.seed = 2;
    EXPECT_NE(SampleMasterBytes(options), first);
}

TEST(SampleMaster, ShapedLikeAFullHistoricalDatabase)
{
    SampleOptions options;
    options.lastSeason = 2024;
    std::string bytes = SampleMasterBytes(options);
    ASSERT_EQ(bytes.size(), 23000 * MasterRecordSize);

    std::set<int> roles, hands, arms, grades, styles, pitches;
    int valid = 0, invalid = 0, quoted = 0, withComma = 0;
    int firstDebut = 9999, lastFinal = 0;
    MasterPlayerRecord r;
    for (std::size_t at = 0; at < bytes.size(); at += MasterRecordSize) {
        DecodeMasterRecord(reinterpret_cast<const unsigned char*>(bytes.data() + at), r);
        if (!isValidRecord(r)) {
            ++invalid;
            continue;
        }
        ++valid;
        roles.insert(r.role);
        hands.insert(r.bats);
        hands.insert(r.throws);
        arms.insert(r.armAngle);
        grades.insert(r.velocity);
        styles.insert(r.style);
        pitches.insert(r.outPitch);
        quoted += r.firstName.find('"') != std::string::npos;
        withComma += r.lastName.find(',') != std::string::npos;
        firstDebut = std::min<int>(firstDebut, r.debutYear);
        lastFinal = std::max<int>(lastFinal, r.finalYear);
        ASSERT_LE(r.debutYear, r.finalYear);
    }
    EXPECT_GT(invalid, 100);
    EXPECT_GT(valid, 22000);
    EXPECT_GT(quoted, 10);
    EXPECT_GT(withComma, 10);
    EXPECT_EQ(firstDebut, 1871);
    EXPECT_EQ(lastFinal, 2024);
    for (int code : {0, 1, 2, 3})
        EXPECT_TRUE(roles.count(code) && hands.count(code)) << code;
    for (int code = 0; code <= 12; ++code)
        EXPECT_TRUE(pitches.count(code)) << code;
    for (int code = 0; code <= 6; ++code)
        EXPECT_TRUE(arms.count(code)) << code;
    for (int code = 0; code <= 5; ++code)
        EXPECT_TRUE(grades.count(code) && styles.count(code)) << code;
    EXPECT_GT(arms.size(), 7u);  // and some codes beyond the tables
}
