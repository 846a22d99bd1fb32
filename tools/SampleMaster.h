#pragma once
// Synthetic master player files: the bytes of single records for tests, and a
// deterministic generator of whole files shaped like a full historical database.

#include "masterfile/MasterPlayerRecord.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The 94 bytes of a record; each text is cut to its width - 1 and ended by NUL.
MasterRecordBytes EncodeMasterRecord(const MasterPlayerRecord& record);

// Raw field writers, for records that the encoder would not make (a text field
// with no NUL, leftover bytes after the NUL).
void PutInt16(MasterRecordBytes& bytes, std::size_t offset, std::int16_t value);
void PutRawText(MasterRecordBytes& bytes, std::size_t offset, std::size_t width, std::string_view raw);

std::string AsString(const MasterRecordBytes& bytes);

struct SampleOptions {
    std::int64_t records = 23000;
    int lastSeason = 0;  // 0: the current year
    std::uint64_t seed = 1;
    // Names drawn from a few hundred, the common ones often, and UIDs from a few
    // thousand, as in a database merged from many seasons' rosters.
    bool repeatedNames = false;
    // Every record the same valid player, byte for byte: the worst case for
    // putting lines in order.
    bool onePlayer = false;
};

// Calls sink with the file's bytes, in pieces of whole records.
void GenerateSampleMaster(const SampleOptions& options, const std::function<void(std::string_view)>& sink);
std::string SampleMasterBytes(const SampleOptions& options);
