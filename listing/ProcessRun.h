#pragma once
// The Process command: checks the two years, lists every qualifying player of
// the master file in the window's sorted list, shows the count and keeps the
// export lines for Write CSV File.

#include "listing/PlayerRun.h"

#include <cstdint>
#include <string>
#include <vector>

// What the run needs of the main window. The window binds each operation to
// its controls; tests fake them.
class ProcessWindow {
public:
    // The texts of the First Year, Last Year and game folder boxes.
    virtual std::string firstYearText() = 0;
    virtual std::string lastYearText() = 0;
    virtual std::string folderText() = 0;
    // Whether the UID Sequence option is on (Name order otherwise).
    virtual bool uidOrderSelected() = 0;

    virtual void setHeader(const std::string& text) = 0;
    // Empties the list; it stops redrawing itself until endListing.
    virtual void beginListing() = 0;
    // Adds a line to the sorted list; false when the list refused it.
    virtual bool addLine(const std::string& line) = 0;
    // Repaints the list at once, to show progress during a long run.
    virtual void redrawListing() = 0;
    // The list redraws itself again and is repainted once, so the last lines show.
    virtual void endListing() = 0;
    virtual void setCountText(const std::string& text) = 0;
    virtual void enableWriteCsv() = 0;

    virtual void showWaitCursor() = 0;
    virtual void showArrowCursor() = 0;
    // The out-of-range box: OK only, no icon, no owner, task-modal.
    virtual void showRangeMessage(const std::string& text) = 0;
    // A message box captioned "Veltrane" with OK, owned by the main window.
    virtual void showMessage(const std::string& text) = 0;

protected:
    ~ProcessWindow() = default;
};

// The players listed by the latest run that passed the year check, in
// master-file order, and their export lines; Write CSV File writes them.
extern KeptPlayers ExportPlayers;
extern std::vector<std::string> ExportLines;

inline std::int32_t QualifiedCount()
{
    return static_cast<std::int32_t>(ExportLines.size());
}

// Lines added between two forced repaints of the list.
inline constexpr int LinesPerRedraw = 50;

void RunProcess(ProcessWindow& window);
