// The read-back check against workbooks that lost something the way a failed
// write loses it, rewritten by a real zip writer (Python's zipfile).

#include "listing/WorkbookCheck.h"

#include "listing/WorkbookExport.h"
#include "testing/RunProgram.h"
#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"

#include <gtest/gtest.h>

#include <cstdio>

using testfiles::ScratchFolder;

namespace {

// Copies a workbook, changing one part as the variant says.
constexpr const char* Rewrite = R"(
import sys, zipfile
source, target, variant = sys.argv[1:4]
with zipfile.ZipFile(source) as old, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as new:
    for item in old.infolist():
        data = old.read(item.filename)
        if item.filename == "xl/worksheets/sheet1.xml":
            rows_start = data.index(b"<sheetData>") + len(b"<sheetData>")
            rows_end = data.index(b"</sheetData>")
            if variant == "rows":
                sys.stdout.buffer.write(data[rows_start:rows_end])
            elif variant == "lastrow":
                data = data[:data.rindex(b"<row ")] + data[rows_end:]
            elif variant == "cell":
                data = data.replace(b"<v>7</v>", b"<v>8</v>", 1)
            elif variant == "gap":
                data = data[:rows_start + 100] + data[rows_start + 200:]
            elif variant == "cut":
                data = data[:rows_end]
        if item.filename == "xl/styles.xml" and variant == "styles":
            data = data[:len(data) // 2]
        # What a lost write of a part the library does not check leaves.
        declaration = data[:data.index(b"\n") + 1]
        if item.filename == "[Content_Types].xml" and variant == "nodeclaration":
            data = data[len(declaration):]
        if item.filename == "_rels/.rels" and variant == "twodeclarations":
            data = declaration + data
        if item.filename == "xl/theme/theme1.xml" and variant == "hole":
            data = data[:3000] + data[3056:]
        new.writestr(item.filename, data)
    if variant == "extra":
        new.writestr("xl/extra.xml", "<extra/>")
)";

std::string Rewritten(const std::string& source, const std::string& target, const std::string& variant)
{
    auto result = testfiles::RunProgram("/usr/bin/python3", {"-c", Rewrite, source, target, variant}, ".");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
}

MasterPlayerRecord Player(std::int16_t uid)
{
    MasterPlayerRecord r;
    r.uid = uid;
    r.firstName = "Ann";
    r.lastName = "Lee";
    r.debutYear = 1970, r.finalYear = 1980;
    r.position = 3, r.role = 1;
    return r;
}

}  // namespace

TEST(WorkbookCheck, OnlyAWorkbookHoldingEveryRowWrittenPasses)
{
    ScratchFolder folder;
    KeptPlayers players;
    for (std::int16_t uid : {7, 12, 300})
        players.records.push_back(EncodeMasterRecord(Player(uid)));
    std::string good = folder.file("good.xlsx");
    std::string reason;
    ASSERT_TRUE(WriteWorkbook(files::TargetOf(good), players, reason)) << reason;

    // The rows as the library's row file held them.
    std::string rows = Rewritten(good, folder.file("same.xlsx"), "rows");
    testfiles::WriteBytes(folder.file("rows"), rows);
    std::FILE* rowFile = std::fopen(folder.file("rows").c_str(), "rb");
    ASSERT_NE(rowFile, nullptr);
    workbookcheck::Fingerprint written;
    int error = -1;
    EXPECT_TRUE(workbookcheck::FingerprintOf(rowFile, written, error));
    std::fclose(rowFile);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(written.size, rows.size());

    const std::string sheet = "xl/worksheets/sheet1.xml";
    EXPECT_EQ(workbookcheck::WorkbookFault(good, sheet, written), "");
    EXPECT_EQ(workbookcheck::WorkbookFault(folder.file("same.xlsx"), sheet, written), "");
    EXPECT_NE(workbookcheck::WorkbookFault(good, sheet, {written.size, written.crc ^ 1}), "");
    EXPECT_NE(workbookcheck::WorkbookFault(good, "xl/worksheets/sheet2.xml", written), "");

    for (const char* variant :
         {"lastrow", "cell", "gap", "cut", "styles", "extra", "nodeclaration", "twodeclarations", "hole"}) {
        std::string changed = folder.file(std::string(variant) + ".xlsx");
        Rewritten(good, changed, variant);
        EXPECT_NE(workbookcheck::WorkbookFault(changed, sheet, written), "") << variant;
    }
    // A zip cut short, or with a byte of a part changed.
    std::string bytes = testfiles::ReadBytes(good);
    testfiles::WriteBytes(folder.file("short.xlsx"), bytes.substr(0, bytes.size() - 10));
    EXPECT_NE(workbookcheck::WorkbookFault(folder.file("short.xlsx"), sheet, written), "");
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x20);
    testfiles::WriteBytes(folder.file("flipped.xlsx"), bytes);
    EXPECT_NE(workbookcheck::WorkbookFault(folder.file("flipped.xlsx"), sheet, written), "");
}
