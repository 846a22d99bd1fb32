#include "ui/FormBindings.h"

#include "ui/ControlTable.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

namespace {

std::string TextOf(int id)
{
    HWND control = ControlOf(id);
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetTextOf(int id, const std::string& text)
{
    SetWindowTextA(ControlOf(id), text.c_str());
}

HWND List()
{
    return ControlOf(ListBoxId);
}

void SetListRedraw(bool on)
{
    SendMessageA(List(), WM_SETREDRAW, on, 0);
}

void RepaintListNow()
{
    RedrawWindow(List(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

}  // namespace

std::string FormBindings::firstYearText()
{
    return TextOf(FirstYearBoxId);
}

std::string FormBindings::lastYearText()
{
    return TextOf(LastYearBoxId);
}

std::string FormBindings::folderText()
{
    return TextOf(FolderBoxId);
}

bool FormBindings::uidOrderSelected()
{
    return SendMessageA(ControlOf(UidOptionId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void FormBindings::setHeader(const std::string& text)
{
    SetTextOf(HeaderLabelId, text);
}

// A visible sorted list that repaints on every insertion takes minutes for a
// full database; between the forced repaints it does not redraw at all.
void FormBindings::beginListing()
{
    SetListRedraw(false);
    SendMessageA(List(), LB_RESETCONTENT, 0, 0);
}

bool FormBindings::addLine(const std::string& line)
{
    LRESULT at = SendMessageA(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    return at != LB_ERR && at != LB_ERRSPACE;
}

void FormBindings::redrawListing()
{
    SetListRedraw(true);
    RepaintListNow();
    SetListRedraw(false);
}

void FormBindings::endListing()
{
    SetListRedraw(true);
    RepaintListNow();
}

void FormBindings::setCountText(const std::string& text)
{
    SetTextOf(CountLabelId, text);
}

void FormBindings::enableWriteCsv()
{
    EnableWindow(ControlOf(WriteCsvButtonId), TRUE);
}

void FormBindings::showWaitCursor()
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

void FormBindings::showArrowCursor()
{
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

void FormBindings::showRangeMessage(const std::string& text)
{
    ShowRangeMessage(text);
}

void FormBindings::showMessage(const std::string& text)
{
    ShowProgramMessage(Form1(), text);
}

std::string FormBindings::askCsvFileName()
{
    return CurrentPathDialogs().chooseCsvFile(Form1());
}

bool FormBindings::askYesNo(const std::string& question)
{
    return AskProgramQuestion(Form1(), question);
}

std::string FormBindings::browseForFolder()
{
    return CurrentPathDialogs().chooseFolder(Form1());
}

void FormBindings::setFolderText(const std::string& folder)
{
    SetTextOf(FolderBoxId, folder);
}
