#pragma once
// The platform's dialogs and message boxes, as the commands use them.

#include "listing/CsvExport.h"

#include <windows.h>

#include <functional>
#include <string>

// The save dialog for the export file: CSV first and chosen, then the workbook
// type. The name is exactly as the user gave it (UTF-8); empty when cancelled.
ExportChoice AskSaveFileName(HWND owner);
// The shell's folder browser: the folder exactly (UTF-8); empty when cancelled
// or when the choice is not a folder on disk.
std::string BrowseForGameFolder(HWND owner);

// The two dialogs that ask the user for a path. Tests put their own in place
// to drive the commands without a person at the dialog.
struct PathDialogs {
    std::function<ExportChoice(HWND owner)> chooseExportFile = AskSaveFileName;
    std::function<std::string(HWND owner)> chooseFolder = BrowseForGameFolder;
};
PathDialogs& CurrentPathDialogs();

// " Years are out of range for Veltrane ": OK only, no icon, no owner,
// task-modal, in the foreground, with the system's default caption.
void ShowRangeMessage(const std::string& text);
// A plain message captioned "Veltrane", owned by owner. Texts are UTF-8, as
// the names they carry.
void ShowProgramMessage(HWND owner, const std::string& text);
// A Yes/No question captioned "Veltrane"; true for Yes.
bool AskProgramQuestion(HWND owner, const std::string& question);
