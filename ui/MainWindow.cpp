#include "ui/MainWindow.h"

#include "files/WideNames.h"
#include "listing/CsvExport.h"
#include "listing/Messages.h"
#include "listing/ProcessRun.h"
#include "settings/GameFolderSetting.h"
#include "ui/ControlTable.h"
#include "ui/Dialogs.h"
#include "ui/Fonts.h"
#include "ui/FormBindings.h"
#include "ui/Handles.h"
#include "ui/Layout.h"

#include <exception>
#include <memory>
#include <new>
#include <string>

namespace {

// What the window keeps for itself and for each control, attached to it for as
// long as it lives. It sits in the window's user data rather than in a window
// property: every message to a control looks it up, and under Wine each
// property lookup is a round trip to the server (a full list took 50% longer).
struct ControlRecord {
    WNDPROC previousProc = nullptr;  // the control class's own procedure
    HFONT font = nullptr;  // shared through the font cache
    HWND lastFocused = nullptr;  // the form's record only
    bool coloursOn = false;
    int textColour = 0;  // system colour indexes
    int backColour = 0;
    OwnedBrush backBrush;
    // Every control follows the window's size on all four edges, in
    // proportion to the layout recorded at the first size message.
    bool layoutCaptured = false;
    Size recordedClient;
    Rect recordedRect;
};


HWND TheForm = nullptr;
HWND TheActiveForm = nullptr;

ControlRecord* RecordOf(HWND window)
{
    return window ? reinterpret_cast<ControlRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA)) : nullptr;
}

void Attach(HWND window, std::unique_ptr<ControlRecord> record)
{
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record.release()));
}

void Release(HWND window)
{
    delete reinterpret_cast<ControlRecord*>(SetWindowLongPtrA(window, GWLP_USERDATA, 0));
}

bool IsEditControl(HWND window)
{
    char name[16] = {};
    GetClassNameA(window, name, static_cast<int>(std::size(name)));
    return lstrcmpiA(name, "EDIT") == 0;
}

template <typename Visit>
void ForEachControl(Visit&& visit)
{
    for (const ControlRow& row : ControlTable)
        if (HWND control = ControlOf(row.id))
            if (ControlRecord* record = RecordOf(control))
                visit(control, *record);
}

// ---- control procedure ----------------------------------------------------

// The folder box is a wide window, the other controls ANSI ones: each is
// called back in its own kind.
LRESULT CALLBACK ControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool wide = IsWindowUnicode(control);
    ControlRecord* record = RecordOf(control);
    if (!record)
        return wide ? DefWindowProcW(control, message, wParam, lParam) : DefWindowProcA(control, message, wParam, lParam);
    WNDPROC previous = record->previousProc;
    if (message == WM_SETFOCUS) {
        if (IsEditControl(control))
            SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(-1), 0);
        if (ControlRecord* form = RecordOf(GetParent(control)))
            form->lastFocused = control;
    } else if (message == WM_DESTROY) {
        auto setProc = wide ? SetWindowLongPtrW : SetWindowLongPtrA;
        setProc(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        Release(control);
    }
    return wide ? CallWindowProcW(previous, control, message, wParam, lParam)
                : CallWindowProcA(previous, control, message, wParam, lParam);
}

// ---- creation ---------------------------------------------------------------

void SetUpControl(HWND control, const ControlRow& row)
{
    auto owned = std::make_unique<ControlRecord>();
    ControlRecord& record = *owned;
    record.coloursOn = row.textColour != PlatformColours;
    if (record.coloursOn) {
        record.textColour = row.textColour;
        record.backColour = row.backColour;
        record.backBrush.reset(CreateSolidBrush(GetSysColor(row.backColour)));
    }
    // Attached before subclassing: the control procedure needs it from the first message.
    Attach(control, std::move(owned));
    auto setProc = IsWindowUnicode(control) ? SetWindowLongPtrW : SetWindowLongPtrA;
    record.previousProc =
        reinterpret_cast<WNDPROC>(setProc(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    record.font = CachedFont(row.font);
    if (record.font)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(record.font), TRUE);

    if (lstrcmpiA(row.className, "Edit") == 0) {
        SendMessageA(control, EM_SETLIMITTEXT, 0, 0);
        SendMessageA(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(0, 0));
    } else if (row.id == UidOptionId || row.id == NameOptionId) {
        SendMessageA(control, BM_SETCHECK, row.id == NameOptionId ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (row.id == ListBoxId) {
        SendMessageA(control, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
}

// The folder box holds a name a person types or pastes: an ANSI edit control
// would keep a look-alike of each character its code page lacks ("L" for
// "Ł"), so it is a wide one, as the system's own characters.
HWND CreateControl(HWND form, HINSTANCE instance, const ControlRow& row)
{
    auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id));
    DWORD style = WS_CHILD | WS_VISIBLE | row.style;
    if (row.id == FolderBoxId)
        return CreateWindowExW(row.exStyle, files::WideText(row.className).c_str(), files::WideText(row.text).c_str(),
                               style, row.x, row.y, row.width, row.height, form, menu, instance, nullptr);
    return CreateWindowExA(row.exStyle, row.className, row.text, style, row.x, row.y, row.width, row.height, form,
                           menu, instance, nullptr);
}

bool CreateControls(HWND form)
{
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(form, GWLP_HINSTANCE));
    for (const ControlRow& row : ControlTable) {
        HWND control = CreateControl(form, instance, row);
        if (!control)
            return false;
        SetUpControl(control, row);
    }
    SetFocus(ControlOf(FirstYearBoxId));
    return true;
}

bool OnCreate(HWND form)
{
    Attach(form, std::make_unique<ControlRecord>());
    TheForm = form;
    if (!CreateControls(form))
        return false;
    if (std::optional<std::string> folder = LoadGameFolder())
        FormBindings().setFolderText(*folder);
    EnableWindow(ControlOf(WriteCsvButtonId), FALSE);
    EnableWindow(ControlOf(ProcessButtonId), FALSE);
    return true;
}

// ---- layout, colours, focus -------------------------------------------------

void RepaintNow(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void OnSize(HWND form, WPARAM kind)
{
    RECT client{};
    GetClientRect(form, &client);
    Size size{client.right, client.bottom};
    ForEachControl([&](HWND control, ControlRecord& record) {
        if (record.layoutCaptured)
            return;
        RECT placed{};
        GetWindowRect(control, &placed);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&placed), 2);
        record.recordedClient = size;
        record.recordedRect = {placed.left, placed.top, placed.right, placed.bottom};
        record.layoutCaptured = true;
    });
    if (kind != SIZE_MINIMIZED) {
        ForEachControl([&](HWND control, ControlRecord& record) {
            Rect to = ScaledRect(record.recordedRect, record.recordedClient, size);
            SetWindowPos(control, nullptr, to.left, to.top, to.right - to.left, to.bottom - to.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        });
    }
    RepaintNow(form);
}

// Answers a control's WM_CTLCOLOR* with its system colours; 0 leaves it to the platform.
LRESULT ControlColours(HDC dc, HWND control)
{
    ControlRecord* record = RecordOf(control);
    if (!record || !record->coloursOn)
        return 0;
    SetTextColor(dc, GetSysColor(record->textColour));
    SetBkColor(dc, GetSysColor(record->backColour));
    if (!IsEditControl(control)) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(record->backBrush.get());
    }
    SetBkMode(dc, OPAQUE);
    if (!IsWindowEnabled(control)) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return reinterpret_cast<LRESULT>(record->backBrush.get());
}

void RefreshBrushes()
{
    ForEachControl([](HWND, ControlRecord& record) {
        if (record.coloursOn)
            record.backBrush.reset(CreateSolidBrush(GetSysColor(record.backColour)));
    });
}

void OnSetFocus(HWND form)
{
    ControlRecord* record = RecordOf(form);
    if (record && record->lastFocused && IsWindow(record->lastFocused))
        SetFocus(record->lastFocused);
}

void OnDestroy(HWND form)
{
    TheForm = nullptr;
    TheActiveForm = nullptr;
    Release(form);
    PostQuitMessage(0);
}

// ---- commands ---------------------------------------------------------------

struct CommandSource {
    HWND form;
    int id;
};

using CommandHandler = LRESULT (*)(CommandSource& source);

LRESULT OnProcessClicked(CommandSource&)
{
    FormBindings window;
    RunProcess(window);
    return 0;
}

LRESULT OnExitClicked(CommandSource& source)
{
    SendMessageA(source.form, WM_CLOSE, 0, 0);
    if (IsWindow(source.form))
        DestroyWindow(source.form);
    return 0;
}

LRESULT OnChangeFolderClicked(CommandSource&)
{
    FormBindings window;
    ChangeGameFolder(window);
    return 0;
}

// Any change of a year box, even to no valid year, lets the user press Process.
LRESULT OnYearTyped(CommandSource&)
{
    EnableWindow(ControlOf(ProcessButtonId), TRUE);
    return 0;
}

LRESULT OnWriteCsvClicked(CommandSource&)
{
    FormBindings window;
    WriteCsvFile(window);
    return 0;
}

struct CommandRoute {
    int id;
    WORD notification;
    CommandHandler handler;
};

// Tried in this order; a handler's non-zero result answers the message.
constexpr CommandRoute CommandRoutes[] = {
    {ProcessButtonId, BN_CLICKED, OnProcessClicked},
    {ExitButtonId, BN_CLICKED, OnExitClicked},
    {ChangeFolderButtonId, BN_CLICKED, OnChangeFolderClicked},
    {FirstYearBoxId, EN_CHANGE, OnYearTyped},
    {LastYearBoxId, EN_CHANGE, OnYearTyped},
    {WriteCsvButtonId, BN_CLICKED, OnWriteCsvClicked},
};

LRESULT OnCommand(HWND form, WPARAM wParam)
{
    CommandSource source{form, LOWORD(wParam)};
    for (const CommandRoute& route : CommandRoutes) {
        if (route.id != source.id || route.notification != HIWORD(wParam))
            continue;
        if (LRESULT result = route.handler(source))
            return result;
    }
    return 0;
}

// ---- window procedure ---------------------------------------------------------

LRESULT HandleFormMessage(HWND form, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(form) ? 0 : -1;
    case WM_SIZE:
        OnSize(form, wParam);
        break;
    case WM_ACTIVATE:
        TheActiveForm = LOWORD(wParam) == WA_INACTIVE ? nullptr : form;
        break;
    case WM_COMMAND:
        if (LRESULT result = OnCommand(form, wParam))
            return result;
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            SendMessageA(form, WM_CLOSE, wParam, lParam);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        OnSetFocus(form);
        break;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
        RefreshBrushes();
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        if (LRESULT brush = ControlColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
            return brush;
        break;
    case WM_CLOSE:
        ShowWindow(form, SW_HIDE);
        break;  // the default processing destroys the window
    case WM_DESTROY:
        OnDestroy(form);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(form, message, wParam, lParam);
}

// After a command that failed halfway: the list draws itself again and the
// arrow cursor is back, so the window stays usable.
void RecoverFromFailedCommand()
{
    if (HWND list = ControlOf(ListBoxId)) {
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

// No exception may unwind through the system's code that called us.
LRESULT CALLBACK FormProc(HWND form, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::string problem;
    try {
        return HandleFormMessage(form, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        problem = OutOfMemoryMessage;
    } catch (const std::exception& failure) {
        problem = std::string("This could not be finished: ") + failure.what();
    } catch (...) {
        problem = "This could not be finished.";
    }
    try {
        RecoverFromFailedCommand();
        ShowProgramMessage(form, problem);
    } catch (...) {
        // Nothing more can be said.
    }
    return 0;
}

bool RegisterFormClass(HINSTANCE instance)
{
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(instance, FormClassName, &existing))
        return true;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = FormProc;
    windowClass.hInstance = instance;
    // The program has no icon of its own: the system's default shows.
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FormClassName;
    return RegisterClassExA(&windowClass) != 0;
}

}  // namespace

HWND CreateForm1(HINSTANCE instance)
{
    if (!RegisterFormClass(instance))
        return nullptr;
    int x = (GetSystemMetrics(SM_CXSCREEN) - FormWidth) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - FormHeight) / 2;
    return CreateWindowExA(FormExStyle, FormClassName, FormCaption, FormStyle, x, y, FormWidth, FormHeight, nullptr,
                           nullptr, instance, nullptr);
}

HWND Form1()
{
    return TheForm;
}

HWND ActiveForm()
{
    return TheActiveForm;
}

HWND ControlOf(int id)
{
    return TheForm ? GetDlgItem(TheForm, id) : nullptr;
}
