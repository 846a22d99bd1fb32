#pragma once
// The Write CSV File command: the export lines of the latest run, in master-file
// order, each ended by CR LF, under a name the user picks.

#include <string>
#include <string_view>
#include <vector>

// What the command needs of the main window.
class ExportWindow {
public:
    // The save dialog; an empty name means the user cancelled.
    virtual std::string askCsvFileName() = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const std::string& question) = 0;
    virtual void showMessage(const std::string& text) = 0;

protected:
    ~ExportWindow() = default;
};

// The name with ".CSV" added, unless it already ends in ".csv" in any case.
std::string CsvFileName(std::string_view chosen);

// Writes lines, each followed by CR LF, in place of the file at path, only
// after every byte is written. Returns false with the system's reason otherwise;
// the file at path is then as it was.
bool WriteCsvLines(const std::string& path, const std::vector<std::string>& lines, std::string& reason);

// Asks for the name, asks before replacing an existing file, writes ExportLines.
void WriteCsvFile(ExportWindow& window);
