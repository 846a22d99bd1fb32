#include "ui/Dialogs.h"

#include "files/WideNames.h"

#include <commdlg.h>
#include <shlobj.h>

namespace {

constexpr wchar_t ProgramCaption[] = L"Veltrane";

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
        auto* notice = reinterpret_cast<OFNOTIFYW*>(lParam);
        // The hook's window is a child of the explorer-style dialog.
        if (notice->hdr.code == CDN_INITDONE)
            PlaceAtOwnerCorner(GetParent(child), notice->lpOFN->hwndOwner);
    }
    return 0;
}

std::wstring CurrentDirectory()
{
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    DWORD length = size ? GetCurrentDirectoryW(size, folder.data()) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

// A name from the system, as UTF-8; empty, after a message, when UTF-8 cannot carry it.
std::string NameFromDialog(HWND owner, std::wstring_view name)
{
    if (std::optional<std::string> utf8 = files::Utf8Name(name))
        return *utf8;
    ShowProgramMessage(owner, "The name chosen holds a character that is not text (a lone surrogate); "
                              "choose another name.");
    return {};
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
    static const wchar_t Filter[] =
        L"CSV files (*.csv)\0*.csv\0Excel workbook (*.xlsx)\0*.xlsx\0All files (*.*)\0*.*\0";
    constexpr DWORD WorkbookType = 2;
    // The name as typed, in the system's own characters: the ANSI dialog would
    // turn a character its code page lacks into a look-alike, even a separator.
    std::wstring name(32768, L'\0');
    std::wstring startFolder = CurrentDirectory();
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = Filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = startFolder.empty() ? nullptr : startFolder.c_str();
    dialog.lpstrTitle = L"SELECT CSV FILE FOLDER";
    // The program asks itself before replacing a file, for the name it really writes.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK;
    dialog.lpfnHook = SaveDialogHook;
    if (!GetSaveFileNameW(&dialog))
        return {};
    name.resize(lstrlenW(name.c_str()));
    return {NameFromDialog(owner, name), dialog.nFilterIndex == WorkbookType};
}

std::string BrowseForGameFolder(HWND owner)
{
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = nullptr;  // the desktop: the whole shell namespace
    browse.lpszTitle = L"CHANGE GALVOR FOLDER";
    browse.ulFlags = BIF_NEWDIALOGSTYLE;
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(owner);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (!chosen)
        return {};
    wchar_t path[MAX_PATH] = {};
    bool onDisk = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    return onDisk ? NameFromDialog(owner, path) : std::string();
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

// Wide boxes: a message may name a file whose name the ANSI code page lacks.
void ShowProgramMessage(HWND owner, const std::string& text)
{
    MessageBoxW(owner, files::WideText(text).c_str(), ProgramCaption, MB_OK);
}

bool AskProgramQuestion(HWND owner, const std::string& question)
{
    return MessageBoxW(owner, files::WideText(question).c_str(), ProgramCaption, MB_YESNO) == IDYES;
}
