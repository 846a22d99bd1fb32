#pragma once
// Choosing the players of a run: every valid record whose career overlaps the
// seasons asked for.

#include "files/Files.h"
#include "masterfile/MasterPlayerReader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

struct SeasonRange {
    std::int16_t first;
    std::int16_t last;
};

// A valid record whose debut is not after the last season and whose final
// season is not before the first (both ends included).
inline bool Qualifies(const MasterPlayerRecord& record, SeasonRange seasons)
{
    return isValidRecord(record) && record.debutYear <= seasons.last && record.finalYear >= seasons.first;
}

struct Selection {
    files::OpenResult opened;
    std::string path;  // the master file's path as used
    std::string readFailure;  // the system's text when a read failed midway
};

// Reads the master file in folder once, to its end, and calls keep(record), or
// keep(record, bytes), for each qualifying player in file order. The file is closed before this returns,
// so the game is kept out of it no longer than reading takes.
// opened(records) hears how many records the file holds, before the first keep.
struct NothingToReserve {
    void operator()(std::uint64_t) const {}
};
template <typename Keep, typename Opened = NothingToReserve>
Selection SelectPlayers(std::string_view folder, SeasonRange seasons, Keep&& keep, Opened&& opened = {})
{
    MasterPlayerReader reader;
    Selection selection{reader.open(folder), reader.path(), {}};
    opened(reader.recordsWhenOpened());
    MasterPlayerRecord record;
    while (!reader.atEnd()) {
        reader.readNext(record);
        if (!Qualifies(record, seasons))
            continue;
        if constexpr (std::is_invocable_v<Keep, const MasterPlayerRecord&, const MasterRecordBytes&>)
            keep(record, reader.recordBytes());
        else
            keep(record);
    }
    selection.readFailure = reader.readFailure();
    reader.close();
    return selection;
}
