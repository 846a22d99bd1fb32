#pragma once
// The texts a Process run shows and exports: the column header, one listing
// line and one export line per kept player, and the count.

#include "masterfile/MasterPlayerRecord.h"

#include <cstdint>
#include <string>

// UID order puts the UID first in each line, Name order the name.
enum class Ordering { Uid, Name };

std::string ListingHeader(Ordering ordering);

// The fixed-width line of the list. The UID stands right-aligned in five
// characters between two blanks, so that lines sorted as text stand in UID order.
std::string ListingLine(const MasterPlayerRecord& record, Ordering ordering);
void AppendListingLine(std::string& out, const MasterPlayerRecord& record, Ordering ordering);

// The comma-separated line of the export file (no line end). A name that
// begins with "=", "+", "-", "@", TAB or CR gets a single quote in front, so a
// spreadsheet does not run it as a formula; a name holding a comma, a double
// quote, CR or LF is then quoted as RFC 4180 says. Every other field is written
// as it stands.
std::string ExportLine(const MasterPlayerRecord& record, Ordering ordering);
void AppendExportLine(std::string& out, const MasterPlayerRecord& record, Ordering ordering);

// " 57 Records qualified "
std::string CountText(std::int32_t count);
