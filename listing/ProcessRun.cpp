#include "listing/ProcessRun.h"

#include "files/Files.h"
#include "listing/LineLayout.h"
#include "listing/Messages.h"
#include "listing/PlayerSelection.h"
#include "listing/YearText.h"

std::vector<std::string> ExportLines;

namespace {

struct KeptPlayers {
    std::vector<std::string> listingLines;
    std::vector<std::string> exportLines;
};

// Adds the lines, repainting after every LinesPerRedraw; returns how many the
// list took.
std::size_t FillListing(ProcessWindow& window, const std::vector<std::string>& lines)
{
    int sinceRedraw = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!window.addLine(lines[i]))
            return i;
        if (++sinceRedraw == LinesPerRedraw) {
            window.redrawListing();
            sinceRedraw = 0;
        }
    }
    return lines.size();
}

}  // namespace

void RunProcess(ProcessWindow& window)
{
    window.showWaitCursor();
    int currentYear = files::CurrentYear();
    std::optional<std::int16_t> first = YearFromText(window.firstYearText());
    std::optional<std::int16_t> last = YearFromText(window.lastYearText());
    if (!IsAcceptedYear(first, currentYear) || !IsAcceptedYear(last, currentYear)) {
        // Nothing on screen or in the export changes.
        window.showArrowCursor();
        window.showRangeMessage(std::string(YearsOutOfRangeMessage));
        return;
    }

    Ordering ordering = window.uidOrderSelected() ? Ordering::Uid : Ordering::Name;
    std::string folder = window.folderText();
    window.setHeader(ListingHeader(ordering));
    window.beginListing();
    ExportLines.clear();

    // The whole file is read, and closed, before the list is filled.
    KeptPlayers kept;
    Selection selection = SelectPlayers(folder, {*first, *last}, [&](const MasterPlayerRecord& record) {
        kept.listingLines.push_back(ListingLine(record, ordering));
        kept.exportLines.push_back(ExportLine(record, ordering));
    });
    if (selection.opened.outcome != files::OpenResult::Opened)
        window.showMessage(CannotOpenMessage(selection.path, selection.opened.reason));

    std::size_t listed = FillListing(window, kept.listingLines);
    window.endListing();
    if (listed < kept.listingLines.size())
        window.showMessage(ListFullMessage(static_cast<std::int64_t>(listed),
                                           static_cast<std::int64_t>(kept.listingLines.size())));
    kept.exportLines.resize(listed);
    ExportLines = std::move(kept.exportLines);

    window.setCountText(CountText(QualifiedCount()));
    if (QualifiedCount() > 0)
        window.enableWriteCsv();
    window.showArrowCursor();
}
