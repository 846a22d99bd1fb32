#pragma once
// The commands' window-side operations, bound to Form1's controls.

#include "listing/CsvExport.h"
#include "listing/ProcessRun.h"
#include "settings/GameFolderSetting.h"

#include <windows.h>

class FormBindings final : public ProcessWindow, public ExportWindow, public FolderWindow {
public:
    FormBindings();

    std::string firstYearText() override;
    std::string lastYearText() override;
    std::string folderText() override;
    bool uidOrderSelected() override;
    void setHeader(const std::string& text) override;
    void beginListing() override;
    bool addLine(const std::string& line) override;
    void redrawListing() override;
    void endListing() override;
    void setCountText(const std::string& text) override;
    void enableWriteCsv() override;
    void showWaitCursor() override;
    void showArrowCursor() override;
    void showRangeMessage(const std::string& text) override;
    void showMessage(const std::string& text) override;

    ExportChoice askExportFile() override;
    bool askYesNo(const std::string& question) override;

    std::string browseForFolder() override;
    void setFolderText(const std::string& folder) override;

private:
    void setListRedraw(bool on);
    void repaintListNow(UINT extra);

    // Looked up once: finding a control by identifier asks the window
    // manager each time, and a run adds tens of thousands of lines.
    HWND list_;
};
