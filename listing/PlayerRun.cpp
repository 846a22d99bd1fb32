#include "listing/PlayerRun.h"

#include "files/Files.h"
#include "listing/PlayerSelection.h"
#include "listing/YearText.h"

MasterPlayerRecord KeptPlayers::at(std::size_t index) const
{
    MasterPlayerRecord record;
    DecodeMasterRecord(records[index].data(), record);
    return record;
}

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
    Selection selection = SelectPlayers(request.folder, {*first, *last},
                                        [&](const MasterPlayerRecord&, const MasterRecordBytes& bytes) {
                                            kept.push_back(bytes);
                                        });
    run.path = selection.path;
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
