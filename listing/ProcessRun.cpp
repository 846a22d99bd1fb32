#include "listing/ProcessRun.h"

#include "listing/LineLayout.h"
#include "listing/Messages.h"

KeptPlayers ExportPlayers;
std::vector<std::string> ExportLines;

namespace {

// Adds the players' lines, repainting after every LinesPerRedraw; returns how
// many the list took.
std::size_t FillListing(ProcessWindow& window, const KeptPlayers& players)
{
    int sinceRedraw = 0;
    std::string line;
    for (std::size_t i = 0; i < players.size(); ++i) {
        line.clear();
        AppendListingLine(line, players.at(i), players.ordering);
        if (!window.addLine(line))
            return i;
        if (++sinceRedraw == LinesPerRedraw) {
            window.redrawListing();
            sinceRedraw = 0;
        }
    }
    return players.size();
}

}  // namespace

void RunProcess(ProcessWindow& window)
{
    window.showWaitCursor();
    std::string first = window.firstYearText(), last = window.lastYearText(), folder = window.folderText();
    Ordering ordering = window.uidOrderSelected() ? Ordering::Uid : Ordering::Name;
    // The whole file is read, and closed, before the list is filled.
    PlayerRun run = RunPlayers({first, last, folder, ordering});
    if (run.outcome == RunOutcome::YearsOutOfRange) {
        // Nothing on screen or in the export changes.
        window.showArrowCursor();
        window.showRangeMessage(std::string(YearsOutOfRangeMessage));
        return;
    }

    window.setHeader(ListingHeader(ordering));
    window.beginListing();
    if (run.outcome == RunOutcome::NoFolder)
        window.showMessage(std::string(NoGameFolderMessage));
    else if (run.outcome == RunOutcome::CannotOpen)
        window.showMessage(CannotOpenMessage(run.path, run.reason));
    else if (run.outcome == RunOutcome::CannotRead)
        window.showMessage(CannotReadMessage(run.path, run.reason));

    std::size_t qualified = run.players.size();
    std::size_t listed = FillListing(window, run.players);
    window.endListing();
    if (listed < qualified)
        window.showMessage(ListFullMessage(static_cast<std::int64_t>(listed), static_cast<std::int64_t>(qualified)));
    // The export holds exactly the players the list shows.
    run.players.records.resize(listed);
    ExportPlayers = std::move(run.players);
    ExportLines.clear();
    ExportLines.reserve(listed);
    for (std::size_t i = 0; i < listed; ++i)
        ExportLines.push_back(ExportLine(ExportPlayers.at(i), ordering));

    window.setCountText(CountText(QualifiedCount()));
    if (QualifiedCount() > 0)
        window.enableWriteCsv();
    window.showArrowCursor();
}
