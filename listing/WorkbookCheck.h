#pragma once
// A written workbook read back before it may take the place of the old file.
// libxlsxwriter writes a worksheet's rows to a temporary row file, then copies
// it between the sheet's head and tail into another temporary file, then that
// into the zip, and checks none of those writes: a disk that fills up or a
// file-size limit leaves a zip that holds less than was written, with no
// error. So the zip is read back: every part must inflate to the size and
// CRC-32 its entry records and end by closing the element it opens with, and
// the worksheet must hold, between <sheetData> and </sheetData>, exactly the
// bytes of the row file (compared by length and CRC-32), so not a row or a
// cell is missing or cut.

#include <cstdint>
#include <cstdio>
#include <string>

namespace workbookcheck {

// Length and CRC-32 of a run of bytes.
struct Fingerprint {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const Fingerprint&) const = default;
};

// The fingerprint of what a stream holds from its start, read through it
// (which leaves it at its end). False, with the system's error number (0 where
// it gave none), when it cannot be read.
bool FingerprintOf(std::FILE* stream, Fingerprint& fingerprint, int& error);

// Empty when the zip at path is whole and its part named sheetPart holds rows
// between <sheetData> and </sheetData>; otherwise what is wrong, in a few words.
std::string WorkbookFault(const std::string& path, const std::string& sheetPart, const Fingerprint& rows);
// The same, with the system's error number where the zip could not be opened
// or read (0 otherwise).
std::string WorkbookFault(const std::string& path, const std::string& sheetPart, const Fingerprint& rows,
                          int& readError);

}  // namespace workbookcheck
