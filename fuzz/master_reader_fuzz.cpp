// The master file reader with the record tests and both line builders in both
// orderings, on files of any bytes.

#include "fuzz/FuzzChecks.h"
#include "listing/FixedWidth.h"
#include "listing/LineLayout.h"
#include "masterfile/AttributeDecoding.h"
#include "masterfile/MasterPlayerReader.h"

#include <algorithm>
#include <cstdint>

namespace {

std::size_t ExpectedListingLength(const MasterPlayerRecord& r, Ordering ordering)
{
    std::size_t player = std::max<std::size_t>(22, r.lastName.size() + 1 + r.firstName.size());
    std::size_t flags = 13;
    if (r.role == 2) {
        flags = 0;
        for (std::uint8_t flag : r.pitchFlags)
            flags += flag == 2 ? 1 : 2;
    }
    return 7 + (ordering == Ordering::Uid ? 1 : 0) + player + 3 +
           std::max<std::size_t>(3, NumberText(r.position).size()) + 3 + 1 + 12 + 1 +
           MaskedNumber(r.debutYear, " 0000 ").size() + MaskedNumber(r.finalYear, "0000 ").size() + 10 + 3 +
           (r.style == 5 ? 1 : 9) + 10 + flags;
}

void CheckLines(const MasterPlayerRecord& r, Ordering ordering)
{
    std::string listing = ListingLine(r, ordering);
    FUZZ_CHECK(listing.size() == ExpectedListingLength(r, ordering));
    std::size_t uidAt = ordering == Ordering::Uid ? 0 : std::max<std::size_t>(22, r.lastName.size() + 1 + r.firstName.size());
    FUZZ_CHECK(listing.substr(uidAt, 7) == RightCell(NumberText(r.uid), 6) + " ");
    FUZZ_CHECK(listing.substr(listing.size() - (r.role == 2 ? 0 : 13)).find_first_not_of(' ') == std::string::npos);

    std::vector<std::string> fields;
    FUZZ_CHECK(SplitCsv(ExportLine(r, ordering), fields));
    FUZZ_CHECK(fields.size() == (r.role == 2 ? 25u : 24u));
    std::string name = fields[ordering == Ordering::Uid ? 1 : 0];
    std::string plain = r.firstName + " " + r.lastName;
    FUZZ_CHECK(name == plain || (name == "'" + plain && std::string("=+-@\t\r").find(plain[0]) != std::string::npos));
    FUZZ_CHECK(fields[ordering == Ordering::Uid ? 0 : 1] == NumberText(r.uid));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    MasterPlayerReader reader;
    reader.openBytes(data, size);
    std::size_t records = 0;
    MasterPlayerRecord record;
    while (!reader.atEnd()) {
        reader.readNext(record);
        ++records;
        FUZZ_CHECK(record.firstName.size() <= 13 && record.lastName.size() <= 15 && record.extraText.size() <= 31);
        if (!isValidRecord(record))
            continue;
        FUZZ_CHECK(record.uid > 0 && record.status == 0);
        CheckLines(record, Ordering::Uid);
        CheckLines(record, Ordering::Name);
    }
    reader.close();
    // Whole records, then one more made of what is left.
    FUZZ_CHECK(records == size / MasterRecordSize + 1);
    return 0;
}
