#include "listing/PlayerRun.h"

#include "files/Files.h"
#include "listing/PlayerSelection.h"
#include "listing/YearText.h"

#include <algorithm>
#include <new>

MasterPlayerRecord KeptPlayers::at(std::size_t index) const
{
    MasterPlayerRecord record;
    DecodeMasterRecord(records[index].data(), record);
    return record;
}

namespace {

// About 2 million records, 200 MB.
constexpr std::uint64_t MostRecordsReserved = std::uint64_t{1} << 21;

}  // namespace

PlayerRun RunPlayers(const RunRequest& request)
{
    PlayerRun run;
    run.players.ordering = request.ordering;
    int currentYear = files::CurrentYear();
    std::optional<std::int16_t> first = YearFromText(request.firstYearText);
    std::optional<std::int16_t> last = YearFromText(request.lastYearText);
    if (!IsAcceptedYear(first, currentYear) || !IsAcceptedYear(last, currentYear)) {
        run.outcome = RunOutcome::YearsOutOfRange;
        return run;
    }
    if (request.folder.empty()) {
        run.outcome = RunOutcome::NoFolder;
        return run;
    }
    std::vector<MasterRecordBytes>& kept = run.players.records;
    Selection selection = SelectPlayers(
        request.folder, {*first, *last},
        [&](const MasterPlayerRecord&, const MasterRecordBytes& bytes) { kept.push_back(bytes); },
        // Room for every record at once (a million kept players are 94 MB, and
        // growing step by step would copy them over and over), up to a bound:
        // the size is only a hint (a huge sparse file holds no players), and
        // beyond it they grow as needed, as they do where the room cannot be had.
        [&](std::uint64_t records) {
            try {
                kept.reserve(static_cast<std::size_t>(std::min(records, MostRecordsReserved)));
            } catch (const std::bad_alloc&) {
            }
        });
    run.path = selection.path;
    run.players.masterFile = selection.path;
    if (selection.opened.outcome != files::OpenResult::Opened) {
        run.outcome = RunOutcome::CannotOpen;
        run.reason = selection.opened.reason;
        kept.clear();
    } else if (!selection.readFailure.empty()) {
        run.outcome = RunOutcome::CannotRead;
        run.reason = selection.readFailure;
        kept.clear();
    }
    return run;
}
