#include "ui/Program.h"

#include "files/Files.h"
#include "files/WideNames.h"
#include "ui/Handles.h"
#include "ui/MainWindow.h"

#include <commctrl.h>

namespace {

std::string RichEditClassName;

std::string SystemFolder()
{
    UINT size = GetSystemDirectoryA(nullptr, 0);
    std::string folder(size, '\0');
    UINT length = size ? GetSystemDirectoryA(folder.data(), size) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

void InitialiseCommonControls()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES |
                     ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS | ICC_HOTKEY_CLASS | ICC_ANIMATE_CLASS | ICC_WIN95_CLASSES |
                     ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_COOL_CLASSES | ICC_INTERNET_CLASSES |
                     ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
}

bool HasClassPrefix(HWND window, const char* prefix)
{
    char name[256] = {};
    GetClassNameA(window, name, static_cast<int>(std::size(name)));
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name, lstrlenA(prefix), prefix, -1) == CSTR_EQUAL;
}

// The window whose controls the keyboard navigates: the active form, or the
// form that holds it.
HWND NavigationWindow()
{
    HWND window = ActiveForm();
    while (window && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) &&
           !(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_MDICHILD) && !HasClassPrefix(window, "FORM_"))
        window = GetParent(window);
    return window;
}

bool IsMultilineEdit(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, static_cast<int>(std::size(name)));
    bool edit = lstrcmpiA(name, "EDIT") == 0 || (!RichEditClassName.empty() && lstrcmpiA(name, RichEditClassName.c_str()) == 0);
    return edit && (GetWindowLongA(window, GWL_STYLE) & ES_MULTILINE);
}

// A multi-line edit box would keep Esc and Tab to itself; they navigate instead.
bool HandleMultilineEditKeys(const MSG& message)
{
    HWND focus = GetFocus();
    if (!focus || !IsMultilineEdit(focus))
        return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        SendMessageA(GetParent(focus), WM_COMMAND, IDCANCEL, 0);
        return true;
    }
    if (message.message == WM_CHAR && message.wParam == '\t') {
        bool backwards = GetKeyState(VK_SHIFT) < 0;
        if (HWND next = GetNextDlgTabItem(GetParent(focus), focus, backwards))
            SetFocus(next);
        return true;
    }
    return false;
}

}  // namespace

std::string LoadRichEditLibrary()
{
    // Full paths: a library of that name beside the program or in the current
    // folder is never loaded.
    std::string system = SystemFolder();
    if (system.empty())
        return {};
    if (LoadLibraryA((system + "\\RICHED20.DLL").c_str()))
        return "RICHEDIT20A";
    if (LoadLibraryA((system + "\\RICHED32.DLL").c_str()))
        return "RICHEDIT";
    return {};
}

void RunMessageLoop()
{
    MSG message{};
    // Wide messages: a character typed into the folder box reaches it as it
    // is; the ANSI controls get theirs converted, as before.
    while (Form1() && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (HandleMultilineEditKeys(message))
            continue;
        HWND navigation = NavigationWindow();
        if (navigation && IsDialogMessageW(navigation, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int RunVeltrane(HINSTANCE instance)
{
    files::LoadLibrariesFromSystemFolderOnly();
    ComApartment apartment;
    InitialiseCommonControls();
    RichEditClassName = LoadRichEditLibrary();
    HWND form = CreateForm1(instance);
    if (!form) {
        std::string reason = files::SystemErrorText(static_cast<int>(GetLastError()));
        MessageBoxW(nullptr, files::WideText("Veltrane could not open its window: " + reason).c_str(), L"Veltrane",
                    MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        return 1;
    }
    ShowWindow(form, SW_SHOWNORMAL);
    UpdateWindow(form);
    RunMessageLoop();
    return 0;
}
