#include "ui/Dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

namespace {

constexpr char ProgramCaption[] = "Veltrane";

// Dialogs open one pixel right of and below the main window's top-left corner.
void PlaceAtOwnerCorner(HWND dialog, HWND owner)
{
    RECT corner{};
    if (owner && GetWindowRect(owner, &corner))
        SetWindowPos(dialog, nullptr, corner.left + 1, corner.top + 1, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetForegroundWindow(dialog);
}

UINT_PTR CALLBACK SaveDialogHook(HWND child, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        auto* notice = reinterpret_cast<OFNOTIFYA*>(lParam);
        // The hook's window is a child of the explorer-style dialog.
        if (notice->hdr.code == CDN_INITDONE)
            PlaceAtOwnerCorner(GetParent(child), notice->lpOFN->hwndOwner);
    }
    return 0;
}

std::string CurrentDirectory()
{
    DWORD size = GetCurrentDirectoryA(0, nullptr);
    std::string folder(size, '\0');
    DWORD length = size ? GetCurrentDirectoryA(size, folder.data()) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM owner)
{
    if (message == BFFM_INITIALIZED) {
        PlaceAtOwnerCorner(dialog, reinterpret_cast<HWND>(owner));
    } else if (message == BFFM_SELCHANGED) {
        bool selected = lParam != 0;
        SendMessageA(dialog, BFFM_ENABLEOK, 0, selected);
        if (!selected)
            MessageBeep(MB_OK);
    }
    return 0;
}

}  // namespace

ExportChoice AskSaveFileName(HWND owner)
{
    static const char Filter[] =
        "CSV files (*.csv)\0*.csv\0Excel workbook (*.xlsx)\0*.xlsx\0All files (*.*)\0*.*\0";
    constexpr DWORD WorkbookType = 2;
    std::string name(32768, '\0');
    std::string startFolder = CurrentDirectory();
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = Filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = startFolder.empty() ? nullptr : startFolder.c_str();
    dialog.lpstrTitle = "SELECT CSV FILE FOLDER";
    // The program asks itself before replacing a file, for the name it really writes.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK;
    dialog.lpfnHook = SaveDialogHook;
    if (!GetSaveFileNameA(&dialog))
        return {};
    name.resize(lstrlenA(name.c_str()));
    return {name, dialog.nFilterIndex == WorkbookType};
}

std::string BrowseForGameFolder(HWND owner)
{
    BROWSEINFOA browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = nullptr;  // the desktop: the whole shell namespace
    browse.lpszTitle = "CHANGE GALVOR FOLDER";
    browse.ulFlags = BIF_NEWDIALOGSTYLE;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(owner);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
    if (!chosen)
        return {};
    char path[MAX_PATH] = {};
    bool onDisk = SHGetPathFromIDListA(chosen, path);
    CoTaskMemFree(chosen);
    return onDisk ? std::string(path) : std::string();
}

PathDialogs& CurrentPathDialogs()
{
    static PathDialogs dialogs;
    return dialogs;
}

void ShowRangeMessage(const std::string& text)
{
    MessageBoxA(nullptr, text.c_str(), nullptr, MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
}

void ShowProgramMessage(HWND owner, const std::string& text)
{
    MessageBoxA(owner, text.c_str(), ProgramCaption, MB_OK);
}

bool AskProgramQuestion(HWND owner, const std::string& question)
{
    return MessageBoxA(owner, question.c_str(), ProgramCaption, MB_YESNO) == IDYES;
}
