#include "ui/FormBindings.h"

#include "files/WideNames.h"
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

// The folder box holds a name: read in the system's own characters, never
// through the ANSI code page, which would turn a character it lacks into
// another one. A name UTF-8 cannot carry gives an invalid one, refused when opened.
std::string NameOf(int id)
{
    HWND control = ControlOf(id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return files::Utf8Name(text).value_or("\xFF");
}

}  // namespace

FormBindings::FormBindings() : list_(ControlOf(ListBoxId)) {}

void FormBindings::setListRedraw(bool on)
{
    SendMessageA(list_, WM_SETREDRAW, on, 0);
}

void FormBindings::repaintListNow(UINT extra)
{
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | extra);
}

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
    return NameOf(FolderBoxId);
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
    setListRedraw(false);
    SendMessageA(list_, LB_RESETCONTENT, 0, 0);
}

bool FormBindings::addLine(const std::string& line)
{
    LRESULT at = SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    return at != LB_ERR && at != LB_ERRSPACE;
}

// The list's client area only: redrawing its frame as well (the scroll bar,
// which the list keeps up to date itself) doubled the cost of a full run.
void FormBindings::redrawListing()
{
    setListRedraw(true);
    repaintListNow(0);
    setListRedraw(false);
}

void FormBindings::endListing()
{
    setListRedraw(true);
    repaintListNow(RDW_FRAME);
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

ExportChoice FormBindings::askExportFile()
{
    return CurrentPathDialogs().chooseExportFile(Form1());
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
    SetWindowTextW(ControlOf(FolderBoxId), files::WideText(folder).c_str());
}
