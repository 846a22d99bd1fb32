#pragma once
// The commands' window-side operations, bound to Form1's controls.

#include "listing/CsvExport.h"
#include "listing/ProcessRun.h"
#include "settings/GameFolderSetting.h"

class FormBindings final : public ProcessWindow, public ExportWindow, public FolderWindow {
public:
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

    std::string askCsvFileName() override;
    bool askYesNo(const std::string& question) override;

    std::string browseForFolder() override;
    void setFolderText(const std::string& folder) override;
};
