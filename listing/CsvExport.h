#pragma once
// The Write CSV File command: the export lines of the latest run, in master-file
// order, each ended by CR LF, under a name the user picks; or the same players
// as a workbook, when the user asks for one.

#include "files/ReplacingWriter.h"
#include "files/WriteTarget.h"
#include "listing/PlayerRun.h"
#include "masterfile/MasterPlayerReader.h"

#include <string>
#include <string_view>
#include <vector>

// What the user picked in the save dialog.
struct ExportChoice {
    std::string name;  // empty when the user cancelled
    bool workbookType = false;  // the workbook file type was chosen
};

// What the command needs of the main window.
class ExportWindow {
public:
    virtual ExportChoice askExportFile() = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& question) = 0;
    virtual void showMessage(const std::string& text) = 0;
    virtual void showWaitCursor() = 0;
    virtual void showArrowCursor() = 0;
    // The game folder box's text: its master file is never written either.
    virtual std::string folderText() = 0;

protected:
    ~ExportWindow() = default;
};

// The name with ".CSV" added, unless it already ends in ".csv" in any case.
std::string CsvFileName(std::string_view chosen);

// Writes lines, each followed by CR LF, in place of the file the target is,
// only after every byte is written. Returns false with the system's reason
// otherwise; the file is then as it was.
// With ReplaceMode::Keep, only while there is no file there. Never over a game
// file, however the target leads there.
bool WriteCsvLines(files::WriteTarget target, const std::vector<std::string>& lines, std::string& reason,
                   files::ReplaceMode mode = files::ReplaceMode::Replace,
                   const files::KeptFiles& gameFiles = MasterFilesRead());

// The players' export lines, each followed by CR LF, the same way.
bool WriteCsvPlayers(files::WriteTarget target, const KeptPlayers& players, std::string& reason,
                     files::ReplaceMode mode = files::ReplaceMode::Replace,
                     const files::KeptFiles& gameFiles = MasterFilesRead());

// The file a choice writes: a workbook when its type was chosen or the name ends
// in ".xlsx" (in any case), with ".xlsx" added as needed; otherwise the CSV file.
struct ExportTarget {
    std::string path;
    bool workbook = false;
};
ExportTarget ExportTargetFor(const ExportChoice& choice);

// Asks for the name, refuses the game's files (every one read since the
// program started, and the one the folder box names), asks before replacing
// an existing file, writes ExportLines, or ExportPlayers as a workbook.
void WriteCsvFile(ExportWindow& window);
