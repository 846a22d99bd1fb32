// The real window, in this process: real controls, real messages.

#include "ui/MainWindow.h"

#include "files/Files.h"
#include "files/WideNames.h"
#include "listing/LineLayout.h"
#include "listing/ListingOrder.h"
#include "listing/PlayerSelection.h"
#include "testing/BadInputs.h"
#include "testing/RunProgram.h"
#include "testing/TestFiles.h"
#include "tools/SampleMaster.h"
#include "ui/ControlTable.h"
#include "settings/GameFolderSetting.h"
#include "ui/Dialogs.h"

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

using testfiles::ReadBytes;
using testfiles::ScratchFolder;
using testfiles::WriteBytes;

namespace {

class WindowEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
        InitCommonControlsEx(&controls);
    }
};
testing::Environment* const Environment = testing::AddGlobalTestEnvironment(new WindowEnvironment);

int QuitCode = -1;  // of the last quit message met

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            QuitCode = static_cast<int>(message.wParam);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The exit code of the quit message posted since the last call, or -1.
int TakeQuit()
{
    Pump();
    return std::exchange(QuitCode, -1);
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, static_cast<int>(std::size(text)));
    return text;
}

// As the program holds it: UTF-8, for texts that may name a file the code page lacks.
std::string NameTextOf(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return files::Utf8Text(text);
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, static_cast<int>(std::size(name)));
    return name;
}

RECT ClientRectOf(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<std::string> ListLines()
{
    HWND list = ControlOf(ListBoxId);
    std::vector<std::string> lines;
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::string line(static_cast<std::size_t>(SendMessageA(list, LB_GETTEXTLEN, i, 0)) + 1, '\0');
        line.resize(static_cast<std::size_t>(SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
        lines.push_back(line);
    }
    return lines;
}

// Message boxes met while a command runs: each is read, then answered.
struct SeenBox {
    std::string caption;
    std::string text;
    HWND owner;
    RECT placed;
};
std::vector<SeenBox> SeenBoxes;
int BoxAnswer = IDOK;

BOOL CALLBACK AnswerBox(HWND window, LPARAM)
{
    if (ClassOf(window) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    RECT placed{};
    GetWindowRect(window, &placed);
    SeenBoxes.push_back({TextOf(window), NameTextOf(GetDlgItem(window, 0xFFFF)), GetWindow(window, GW_OWNER), placed});
    PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(BoxAnswer), 0);
    return FALSE;
}

void CALLBACK AnswerBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), AnswerBox, 0);
}

// Answers every box that a command opens while this object lives.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answer) : timer_(SetTimer(nullptr, 0, 30, AnswerBoxes))
    {
        SeenBoxes.clear();
        BoxAnswer = answer;
    }
    ~BoxAnswerer() { KillTimer(nullptr, timer_); }

private:
    UINT_PTR timer_;
};

class Form1Test : public testing::Test {
protected:
    void SetUp() override
    {
        previousFolder = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
    }

    void TearDown() override
    {
        if (form && IsWindow(form))
            DestroyWindow(form);
        Pump();
        TakeQuit();
        CurrentPathDialogs() = PathDialogs();
        std::filesystem::current_path(previousFolder);
    }

    void Open()
    {
        form = CreateForm1(GetModuleHandleA(nullptr));
        ASSERT_NE(form, nullptr);
        ShowWindow(form, SW_SHOWNORMAL);
        UpdateWindow(form);
        Pump();
    }

    void MakeGame(std::int64_t records)
    {
        game = folder.file("game");
        std::filesystem::create_directories(game);
        SampleOptions options;
        options.records = records;
        options.lastSeason = 2024;
        WriteBytes(files::JoinPath(game, "mastplyr.dat"), SampleMasterBytes(options));
    }

    void Type(int id, const char* text) { SetWindowTextA(ControlOf(id), text); }
    void Click(int id) { SendMessageA(ControlOf(id), BM_CLICK, 0, 0); }

    void RunYears(const char* first, const char* last)
    {
        Type(FolderBoxId, game.c_str());
        Type(FirstYearBoxId, first);
        Type(LastYearBoxId, last);
        Click(ProcessButtonId);
        Pump();
    }

    std::vector<std::string> ExpectedLines(Ordering ordering, std::int16_t first, std::int16_t last)
    {
        std::vector<std::string> lines;
        SelectPlayers(game, {first, last}, [&](const MasterPlayerRecord& r) { lines.push_back(ListingLine(r, ordering)); });
        std::vector<std::string_view> views(lines.begin(), lines.end());
        SortListing(views);
        return std::vector<std::string>(views.begin(), views.end());
    }

    ScratchFolder folder;
    std::filesystem::path previousFolder;
    HWND form = nullptr;
    std::string game;
};

}  // namespace

TEST_F(Form1Test, WindowHasItsClassCaptionSizeAndStyles)
{
    Open();
    EXPECT_EQ(ClassOf(form), FormClassName);
    EXPECT_EQ(TextOf(form), "Veltrane V10 (4/10/2012)");
    RECT outer{};
    GetWindowRect(form, &outer);
    EXPECT_EQ(outer.right - outer.left, 600);
    EXPECT_EQ(outer.bottom - outer.top, 380);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 600) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 380) / 2);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(form, GWL_STYLE)) & FormStyle, FormStyle);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(form, GWL_EXSTYLE)) & FormExStyle, FormExStyle);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), FormClassName, &windowClass));
    EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
    EXPECT_EQ(windowClass.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

TEST_F(Form1Test, EveryControlIsAsTheTableSays)
{
    Open();
    HWND child = GetWindow(form, GW_CHILD);
    for (const ControlRow& row : ControlTable) {
        SCOPED_TRACE(row.text);
        HWND control = GetDlgItem(form, row.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(child, control) << "z-order";  // creation order, first on top
        child = GetWindow(child, GW_HWNDNEXT);
        EXPECT_EQ(lstrcmpiA(ClassOf(control).c_str(), row.className), 0) << ClassOf(control);
        EXPECT_EQ(GetDlgCtrlID(control), row.id);
        EXPECT_EQ(TextOf(control), row.text);
        RECT at = ClientRectOf(control);
        EXPECT_EQ(at.left, row.x);
        EXPECT_EQ(at.top, row.y);
        EXPECT_EQ(at.right - at.left, row.width);
        EXPECT_EQ(at.bottom - at.top, row.height);

        DWORD expected = WS_CHILD | WS_VISIBLE | row.style;
        DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & ~static_cast<DWORD>(WS_DISABLED);
        if (row.id == ListBoxId)
            style |= WS_VSCROLL;  // the list hides its scroll bar while it has nothing to scroll
        if (row.id == UidOptionId)
            style |= WS_TABSTOP;  // an option button is a tab stop only while it is on
        EXPECT_EQ(style, expected) << std::hex << (style ^ expected);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE)) & ~static_cast<DWORD>(WS_EX_NOPARENTNOTIFY),
                  row.exStyle);

        auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        LOGFONTA logFont{};
        ASSERT_TRUE(font && GetObjectA(font, sizeof logFont, &logFont));
        std::string fontString = row.font;
        EXPECT_EQ(std::string(logFont.lfFaceName), fontString.substr(0, fontString.find(',')));
        EXPECT_EQ(logFont.lfHeight, std::stoi(fontString.substr(fontString.find(',') + 1)));
        EXPECT_EQ(logFont.lfWeight, fontString.find(",400,") != std::string::npos ? 400 : 700);
    }
    EXPECT_EQ(child, nullptr);
    // One font object per font string.
    EXPECT_EQ(SendMessageA(ControlOf(CountLabelId), WM_GETFONT, 0, 0),
              SendMessageA(ControlOf(FolderLabelId), WM_GETFONT, 0, 0));
    EXPECT_NE(SendMessageA(ControlOf(CountLabelId), WM_GETFONT, 0, 0),
              SendMessageA(ControlOf(FirstYearBoxId), WM_GETFONT, 0, 0));
}

TEST_F(Form1Test, StartsWithNameOrderFocusInFirstYearAndBothButtonsOff)
{
    Open();
    EXPECT_EQ(SendMessageA(ControlOf(NameOptionId), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(ControlOf(UidOptionId), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageA(ControlOf(ListBoxId), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(ControlOf(ListBoxId), LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "Text1");
    for (int id : {FirstYearBoxId, LastYearBoxId, FolderBoxId})
        EXPECT_EQ(SendMessageA(ControlOf(id), EM_GETMARGINS, 0, 0), 0);
    EXPECT_FALSE(IsWindowEnabled(ControlOf(ProcessButtonId)));
    EXPECT_FALSE(IsWindowEnabled(ControlOf(WriteCsvButtonId)));
    EXPECT_EQ(GetFocus(), ControlOf(FirstYearBoxId));
}

TEST_F(Form1Test, TypingAYearEnablesProcessAndTabVisitsTheTabStopsInOrder)
{
    Open();
    SendMessageA(ControlOf(FolderBoxId), WM_CHAR, 'x', 0);
    EXPECT_FALSE(IsWindowEnabled(ControlOf(ProcessButtonId)));
    SendMessageA(ControlOf(FirstYearBoxId), WM_CHAR, 'z', 0);
    EXPECT_TRUE(IsWindowEnabled(ControlOf(ProcessButtonId)));
    SendMessageA(ControlOf(FirstYearBoxId), WM_CHAR, VK_BACK, 0);
    EXPECT_TRUE(IsWindowEnabled(ControlOf(ProcessButtonId)));  // nothing disables it again
    EXPECT_FALSE(IsWindowEnabled(ControlOf(WriteCsvButtonId)));

    SetFocus(ControlOf(FirstYearBoxId));
    std::vector<int> visited;
    for (int i = 0; i < 8; ++i) {
        MSG tab{};
        tab.hwnd = GetFocus();
        tab.message = WM_KEYDOWN;
        tab.wParam = VK_TAB;
        IsDialogMessageA(form, &tab);
        visited.push_back(GetDlgCtrlID(GetFocus()));
    }
    // The Write CSV File button is still off and skipped; the option group is one stop.
    std::vector<int> expected{LastYearBoxId,   NameOptionId,   ProcessButtonId, ExitButtonId,
                              ChangeFolderButtonId, FirstYearBoxId, LastYearBoxId, NameOptionId};
    EXPECT_EQ(visited, expected);
}

TEST_F(Form1Test, ProcessFillsTheListInSortedOrderWithHeaderAndCount)
{
    MakeGame(3000);
    Open();
    RunYears("1871", "2024");
    std::vector<std::string> expected = ExpectedLines(Ordering::Name, 1871, 2024);
    ASSERT_GT(expected.size(), 2500u);
    EXPECT_EQ(ListLines(), expected);
    EXPECT_EQ(TextOf(ControlOf(HeaderLabelId)), ListingHeader(Ordering::Name));
    EXPECT_EQ(TextOf(ControlOf(CountLabelId)), CountText(static_cast<std::int32_t>(expected.size())));
    EXPECT_TRUE(IsWindowEnabled(ControlOf(WriteCsvButtonId)));

    Click(UidOptionId);
    RunYears("1950", "1960");
    expected = ExpectedLines(Ordering::Uid, 1950, 1960);
    EXPECT_EQ(ListLines(), expected);
    EXPECT_EQ(TextOf(ControlOf(HeaderLabelId)), ListingHeader(Ordering::Uid));
    EXPECT_EQ(TextOf(ControlOf(CountLabelId)), CountText(static_cast<std::int32_t>(expected.size())));
}

TEST_F(Form1Test, ThirtyPlayersAllShowAtTheEndOfTheRun)
{
    MakeGame(3000);
    Open();
    RunYears("1871", "1873");
    EXPECT_EQ(ListLines().size(), ExpectedLines(Ordering::Name, 1871, 1873).size());
    game = folder.file("thirty");
    std::filesystem::create_directories(game);
    std::string bytes;
    for (int i = 1; i <= 30; ++i) {
        MasterPlayerRecord r;
        r.uid = static_cast<std::int16_t>(i);
        r.lastName = "Player";
        r.debutYear = 1900;
        r.finalYear = 1910;
        bytes += AsString(EncodeMasterRecord(r));
    }
    WriteBytes(files::JoinPath(game, "mastplyr.dat"), bytes);
    RunYears("1890", "1920");
    HWND list = ControlOf(ListBoxId);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 30);
    EXPECT_TRUE(IsWindowVisible(list));  // drawing again
    EXPECT_FALSE(GetUpdateRect(list, nullptr, FALSE));  // and already painted
    EXPECT_EQ(TextOf(ControlOf(CountLabelId)), " 30 Records qualified ");
}

TEST_F(Form1Test, YearsOutOfRangeGiveTheMessageAndChangeNothing)
{
    MakeGame(500);
    Open();
    RunYears("1900", "1910");
    std::vector<std::string> before = ListLines();
    std::string count = TextOf(ControlOf(CountLabelId));
    {
        BoxAnswerer answerer(IDOK);
        RunYears("1868", "1910");
    }
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].text, " Years are out of range for Veltrane ");
    EXPECT_EQ(SeenBoxes[0].owner, nullptr);
    EXPECT_EQ(ListLines(), before);
    EXPECT_EQ(TextOf(ControlOf(CountLabelId)), count);
}

TEST_F(Form1Test, AMissingMasterFileIsNamedInAMessageOwnedByTheWindow)
{
    Open();
    game = folder.file("nowhere");
    {
        BoxAnswerer answerer(IDOK);
        RunYears("1900", "1910");
    }
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].caption, "Veltrane");
    EXPECT_EQ(SeenBoxes[0].owner, form);
    EXPECT_EQ(SeenBoxes[0].text.rfind("Cannot open \"" + files::JoinPath(game, "mastplyr.dat") + "\": ", 0), 0u)
        << SeenBoxes[0].text;
    EXPECT_EQ(TextOf(ControlOf(CountLabelId)), " 0 Records qualified ");
    EXPECT_FALSE(std::filesystem::exists(game));
}

TEST_F(Form1Test, DoublingTheWidthDoublesEveryLeftAndRightEdge)
{
    Open();
    RECT outer{}, client{};
    GetWindowRect(form, &outer);
    GetClientRect(form, &client);
    SetWindowPos(form, nullptr, 0, 0, outer.right - outer.left + client.right, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    for (const ControlRow& row : ControlTable) {
        RECT at = ClientRectOf(ControlOf(row.id));
        EXPECT_EQ(at.left, 2 * row.x) << row.text;
        EXPECT_EQ(at.right, 2 * (row.x + row.width)) << row.text;
        EXPECT_EQ(at.top, row.y) << row.text;
        EXPECT_EQ(at.bottom, row.y + row.height) << row.text;
    }
    auto font = reinterpret_cast<HFONT>(SendMessageA(ControlOf(CountLabelId), WM_GETFONT, 0, 0));
    LOGFONTA logFont{};
    GetObjectA(font, sizeof logFont, &logFont);
    EXPECT_EQ(logFont.lfHeight, -16);  // text keeps its size
}

TEST_F(Form1Test, MaximiseMinimiseAndRestoreGiveBackTheTablesRectangles)
{
    Open();
    auto expectTable = [](const char* when) {
        for (const ControlRow& row : ControlTable) {
            RECT at = ClientRectOf(ControlOf(row.id));
            EXPECT_EQ(at.left, row.x) << row.text << when;
            EXPECT_EQ(at.top, row.y) << row.text << when;
            EXPECT_EQ(at.right, row.x + row.width) << row.text << when;
            EXPECT_EQ(at.bottom, row.y + row.height) << row.text << when;
        }
    };
    ShowWindow(form, SW_MAXIMIZE);
    Pump();
    EXPECT_NE(ClientRectOf(ControlOf(ExitButtonId)).left, RowOf(ExitButtonId).x);
    ShowWindow(form, SW_RESTORE);
    Pump();
    expectTable(" after maximise and restore");
    ShowWindow(form, SW_MINIMIZE);
    Pump();
    expectTable(" while minimised");
    ShowWindow(form, SW_RESTORE);
    Pump();
    expectTable(" after minimise and restore");
}

TEST_F(Form1Test, ControlsPaintInSystemColoursAndADisabledEditInButtonFace)
{
    Open();
    HDC dc = GetDC(form);
    HWND year = ControlOf(FirstYearBoxId);
    auto enabledBrush = SendMessageA(form, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(year));
    EXPECT_NE(enabledBrush, 0);
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));
    EnableWindow(year, FALSE);
    auto disabledBrush =
        SendMessageA(form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(year));
    EXPECT_EQ(disabledBrush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
    SendMessageA(form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(ControlOf(CountLabelId)));
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    SendMessageA(form, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_NE(SendMessageA(form, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(ControlOf(LastYearBoxId))),
              0);
    ReleaseDC(form, dc);
}

TEST_F(Form1Test, WriteCsvFileWritesTheRunsPlayersInFileOrder)
{
    MakeGame(2000);
    Open();
    Click(UidOptionId);
    RunYears("1900", "1950");
    std::string expected;
    SelectPlayers(game, {1900, 1950}, [&](const MasterPlayerRecord& r) { expected += ExportLine(r, Ordering::Uid) + "\r\n"; });
    std::string chosen = folder.file("players");
    CurrentPathDialogs().chooseExportFile = [&](HWND owner) {
        EXPECT_EQ(owner, form);
        return ExportChoice{chosen};
    };
    Click(WriteCsvButtonId);
    EXPECT_EQ(ReadBytes(chosen + ".CSV"), expected);

    WriteBytes(chosen + ".CSV", "old");
    {
        BoxAnswerer answerer(IDNO);
        Click(WriteCsvButtonId);
    }
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].text, "\"" + chosen + ".CSV\" already exists. Replace it?");
    EXPECT_EQ(ReadBytes(chosen + ".CSV"), "old");
    {
        BoxAnswerer answerer(IDYES);
        Click(WriteCsvButtonId);
    }
    EXPECT_EQ(ReadBytes(chosen + ".CSV"), expected);
}

// The name typed into the save dialog, then OK, as a person would (UTF-8).
std::string TypedSaveName;
bool SaveNameTyped = false;

BOOL CALLBACK TypeIntoSaveDialog(HWND window, LPARAM)
{
    if (ClassOf(window) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    constexpr int NameCombo = 0x47C, NameEdit = 0x480;  // cmb13, edt1
    for (int id : {NameCombo, NameEdit})
        SetDlgItemTextW(window, id, files::WideText(TypedSaveName).c_str());
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    SaveNameTyped = true;
    return FALSE;
}

// Tries until the dialog is up.
void CALLBACK TypeSaveName(HWND, UINT, UINT_PTR timer, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), TypeIntoSaveDialog, 0);
    if (SaveNameTyped)
        KillTimer(nullptr, timer);
}

TEST_F(Form1Test, ANameEndingInXlsxTypedInTheSaveDialogWritesAWorkbook)
{
    MakeGame(500);
    Open();
    RunYears("1871", "2024");
    TypedSaveName = folder.file("Players.XLSX");
    SaveNameTyped = false;
    SetTimer(nullptr, 0, 100, TypeSaveName);
    Click(WriteCsvButtonId);
    Pump();
    std::string workbook = ReadBytes(TypedSaveName);
    EXPECT_EQ(workbook.substr(0, 4), std::string("PK\x03\x04", 4));  // a zip package
    EXPECT_NE(workbook.find("xl/worksheets/sheet1.xml"), std::string::npos);
    EXPECT_EQ(testfiles::Listing(folder.path()), "Players.XLSX game");
}

// A name typed into the real save dialog leads where the system leads it:
// through a link (ctest makes one: a Windows program under Wine cannot) to the
// file it names, which is replaced with the link kept; to a device (NUL,
// LPT9, with any extension), written as it comes with nothing to replace, or
// failing with the device named, or, for a workbook, refused.
TEST_F(Form1Test, TheSaveDialogsNameLeadsThroughALinkOrToADevice)
{
    const char* made = std::getenv("VELTRANE_TEST_LINK");
    if (!made)
        GTEST_SKIP() << "needs a link to a file, which ctest makes (VELTRANE_TEST_LINK)";
    std::string link = std::string("Z:") + made;
    std::replace(link.begin(), link.end(), '/', '\\');
    std::string target = files::JoinPath(files::FolderOf(link), "target.csv");
    ASSERT_EQ(ReadBytes(target), "old");
    MakeGame(300);
    Open();
    RunYears("1871", "2024");
    std::string expected;
    SelectPlayers(game, {1871, 2024}, [&](const MasterPlayerRecord& r) { expected += ExportLine(r, Ordering::Name) + "\r\n"; });
    // The messages a name met, past the save dialog (which the answerer sees too).
    auto save = [&](const std::string& name) {
        BoxAnswerer answerer(IDYES);
        TypedSaveName = name;
        SaveNameTyped = false;
        SetTimer(nullptr, 0, 100, TypeSaveName);
        Click(WriteCsvButtonId);
        Pump();
        EXPECT_TRUE(SaveNameTyped);
        std::vector<std::string> messages;
        for (const SeenBox& box : SeenBoxes)
            if (box.caption != "SELECT CSV FILE FOLDER")
                messages.push_back(box.text);
        return messages;
    };
    EXPECT_EQ(save(link), std::vector<std::string>{"\"" + link + "\" already exists. Replace it?"});
    EXPECT_EQ(ReadBytes(target), expected);

    EXPECT_EQ(save(folder.file("NUL")), std::vector<std::string>{});
    std::vector<std::string> messages = save(folder.file("lpt9.txt"));
    ASSERT_EQ(messages.size(), 1u);
    std::string start = "Cannot write \"" + folder.file("lpt9.txt") + ".CSV\": it names the device lpt9";
    EXPECT_EQ(messages[0].rfind(start, 0), 0u) << messages[0];
    EXPECT_EQ(save(folder.file("Nul.xlsx")),
              std::vector<std::string>{"Cannot write \"" + folder.file("Nul.xlsx") +
                                       "\": it is a device, not a file: a workbook is written only to a file"});
    EXPECT_EQ(testfiles::Listing(folder.path()), "game");
}

// Points the link beside the file ctest made (a Linux path) at target,
// through Linux's ln: Wine makes no link, and moves what a link leads to.
bool PointLink(const std::string& made, const std::string& target)
{
    std::string folder = made.substr(0, made.find_last_of('/') + 1);
    testfiles::RunProgram("C:\\windows\\system32\\start.exe", {"/unix", "/bin/ln", "-sfn", target, folder + "glink"},
                          ".");
    // start does not wait for a Linux program.
    std::optional<files::KeptFile> wanted = files::KeptFileNamed("Z:" + folder + target + "/mastplyr.dat");
    for (int tries = 0; wanted && tries < 200; ++tries, Sleep(50))
        if (std::optional<files::KeptFile> now = files::KeptFileNamed("Z:" + folder + "glink/mastplyr.dat"))
            if (files::SameIdentity(now->identity, wanted->identity))
                return true;
    return false;
}

// The game's file is known by the file a run read: no export and no settings
// file is written over it, however the folder box spells its folder, after a
// run that failed, through a folder link pointed elsewhere since, or through
// a link in place of the settings file; nor goes an export to the Wine
// server's own output through a link.
TEST_F(Form1Test, TheGamesFileIsNeverWrittenWhateverTheBoxOrTheLinksSay)
{
    const char* made = std::getenv("VELTRANE_TEST_LINK");
    if (!made)
        GTEST_SKIP() << "needs the links ctest makes (VELTRANE_TEST_LINK)";
    std::string links = std::string("Z:") + made;
    std::replace(links.begin(), links.end(), '/', '\\');
    links = files::FolderOf(links);
    auto in = [&](const char* name) { return files::JoinPath(links, name); };
    std::string master = files::JoinPath(in("game"), "mastplyr.dat");
    std::string other = files::JoinPath(in("game2"), "mastplyr.dat");
    SampleOptions options;
    options.records = 300;
    options.lastSeason = 2024;
    WriteBytes(master, SampleMasterBytes(options));
    WriteBytes(other, SampleMasterBytes(options));
    testfiles::FileSnapshot before = testfiles::AgedSnapshot(master), otherBefore = testfiles::AgedSnapshot(other);
    Open();
    auto messagesOf = [&](int button) {
        BoxAnswerer answerer(IDYES);
        Click(button);
        Pump();
        std::vector<std::string> texts;
        for (const SeenBox& box : SeenBoxes)
            texts.push_back(box.text);
        return texts;
    };
    auto process = [&](const std::string& folder) {
        game = folder;
        Type(FolderBoxId, folder.c_str());
        Type(FirstYearBoxId, "1871");
        Type(LastYearBoxId, "2024");
        return messagesOf(ProcessButtonId);
    };
    std::string export1 = in("out\\l1.csv");
    CurrentPathDialogs().chooseExportFile = [&](HWND) { return ExportChoice{export1, false}; };
    auto refused = [&](const std::string& read) {
        return std::vector<std::string>{"\"" + export1 + "\" is the game's file (" + read +
                                        "): Veltrane never writes to it. Choose another name."};
    };
    // The same folder in the device namespace.
    std::string device = "\\\\.\\" + in("game");
    EXPECT_EQ(process(device), std::vector<std::string>{});
    EXPECT_NE(TextOf(ControlOf(CountLabelId)), " 0 Records qualified ");
    EXPECT_EQ(messagesOf(WriteCsvButtonId), refused(files::JoinPath(device, "mastplyr.dat")));
    // A run that failed: the file read before is still the game's.
    ASSERT_EQ(process(in("gmae")).size(), 1u);
    EXPECT_EQ(messagesOf(WriteCsvButtonId), refused(files::JoinPath(device, "mastplyr.dat")));
    // The folder link pointed at another game since the run read through it.
    EXPECT_EQ(process(in("glink")), std::vector<std::string>{});
    ASSERT_TRUE(PointLink(made, "game2"));
    EXPECT_EQ(messagesOf(WriteCsvButtonId), refused(files::JoinPath(device, "mastplyr.dat")));
    // The settings file a link to the game's file.
    std::filesystem::current_path(testfiles::PathOf(in("settings")));
    CurrentPathDialogs().chooseFolder = [&](HWND) { return in("game"); };
    EXPECT_EQ(messagesOf(ChangeFolderButtonId),
              std::vector<std::string>{CannotRememberFolderMessage(SettingsFilePath(), "it leads to the game's file, "
                                                                                       "which Veltrane never writes")});
    // Standard output through a link: the Wine server's, not ours.
    export1 = in("out\\so.csv");
    std::vector<std::string> messages = messagesOf(WriteCsvButtonId);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("the Wine server's"), std::string::npos) << messages[0];
    EXPECT_TRUE(testfiles::Snapshot(master) == before);
    EXPECT_TRUE(testfiles::Snapshot(other) == otherBefore);
}

// The handles this process holds, as the system lists them (Wine has no
// GetProcessHandleCount; both have this).
std::size_t HandlesHeld()
{
    struct Entry {
        PVOID object;
        ULONG_PTR process;
        ULONG_PTR handle;
        ULONG access;
        USHORT backTrace;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG ExtendedHandleInformation = 64;
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<ULONG_PTR> buffer(1 << 18);
    ULONG length = 0;
    if (!query || query(ExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)),
                        &length) != 0)
        return 0;
    auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 2);
    return static_cast<std::size_t>(std::count_if(entries, entries + buffer[0], [](const Entry& entry) {
        return entry.process == GetCurrentProcessId();
    }));
}

// Run by ctest a second time under a file-size limit below a workbook's row
// file (ui_tests_under_file_size_limit): each Write CSV File of a workbook
// fails there, says why, and leaves the folder as it was and no handle open.
TEST_F(Form1Test, UnderAFileSizeLimitFailedWorkbooksLeaveNothingBehind)
{
    if (testfiles::FileSizeLimit() == 0)
        GTEST_SKIP() << "runs only under a file-size limit";
    MakeGame(1500);
    Open();
    RunYears("1871", "2024");
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    std::string chosen = files::JoinPath(out, "players.xlsx");
    WriteBytes(chosen, "old");
    CurrentPathDialogs().chooseExportFile = [&](HWND) { return ExportChoice{chosen, true}; };
    auto failOnce = [&] {
        BoxAnswerer answerer(IDYES);
        Click(WriteCsvButtonId);
        Pump();
        ASSERT_EQ(SeenBoxes.size(), 2u);
        EXPECT_EQ(SeenBoxes[1].text.rfind("Cannot write \"" + chosen + "\": ", 0), 0u) << SeenBoxes[1].text;
        EXPECT_EQ(testfiles::Listing(out), "players.xlsx");
        EXPECT_EQ(ReadBytes(chosen), "old");
    };
    failOnce();  // the system's own first-use handles (fonts, message box) come with the first
    std::size_t before = HandlesHeld();
    ASSERT_NE(before, 0u);
    for (int time = 0; time < 10; ++time)
        failOnce();
    EXPECT_EQ(HandlesHeld(), before);
}

// The folder the folder browser is to choose (UTF-8); a message box met
// meanwhile is read and answered with OK.
std::string BrowsedFolder;

BOOL CALLBACK FindTree(HWND window, LPARAM found)
{
    if (ClassOf(window) != "SysTreeView32")
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The name of the folder the browser's tree has selected.
std::string SelectedFolderName(HWND browser)
{
    HWND tree = nullptr;
    EnumChildWindows(browser, FindTree, reinterpret_cast<LPARAM>(&tree));
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    wchar_t name[MAX_PATH] = {};
    TVITEMW read{};
    read.mask = TVIF_TEXT;
    read.hItem = item;
    read.pszText = name;
    read.cchTextMax = static_cast<int>(std::size(name));
    if (!tree || !item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read)))
        return {};
    return files::Utf8Text(name);
}

BOOL CALLBACK AnswerBrowser(HWND window, LPARAM)
{
    if (ClassOf(window) != "#32770" || !IsWindowVisible(window))
        return TRUE;
    if (TextOf(window) == "Veltrane") {
        SeenBoxes.push_back({TextOf(window), NameTextOf(GetDlgItem(window, 0xFFFF)), GetWindow(window, GW_OWNER), {}});
    } else if (SelectedFolderName(window) != BrowsedFolder.substr(BrowsedFolder.find_last_of('\\') + 1)) {
        // Until the browser has its tree and shows the folder chosen.
        std::wstring folder = files::WideText(BrowsedFolder);
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        return FALSE;
    }
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK BrowseToFolder(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), AnswerBrowser, 0);
}

// Names the ANSI code page lacks (1252 under Wine), through the real dialogs
// and the folder box: used exactly as given, never as look-alikes, or refused.
TEST_F(Form1Test, NamesOutsideTheCodePageAreUsedExactlyOrRefused)
{
    using testfiles::PathOf;
    MakeGame(400);
    std::string greekGame = files::JoinPath(folder.str(), "Ωμέγα");
    std::filesystem::create_directory(PathOf(greekGame));
    std::filesystem::copy_file(files::JoinPath(game, "mastplyr.dat"), PathOf(files::JoinPath(greekGame, "mastplyr.dat")));
    WriteBytes("galvorfolder.txt", "C:\\Kept\r\n");
    Open();
    // A folder pasted into the folder box is read as it is.
    SetWindowTextW(ControlOf(FolderBoxId), files::WideText(greekGame).c_str());
    Type(FirstYearBoxId, "1871");
    Type(LastYearBoxId, "2024");
    Click(ProcessButtonId);
    Pump();
    EXPECT_EQ(ListLines(), ExpectedLines(Ordering::Name, 1871, 2024));

    std::string csv;
    SelectPlayers(game, {1871, 2024}, [&](const MasterPlayerRecord& r) { csv += ExportLine(r, Ordering::Name) + "\r\n"; });
    std::string out = folder.file("out");
    std::filesystem::create_directory(out);
    // Full-width backslashes look like separators: the name is one file's.
    for (const char* name : {"Ω.csv", "ｘ.csv", "＼..＼escaped.csv", "Ł.xlsx"}) {
        TypedSaveName = files::JoinPath(out, name);
        SaveNameTyped = false;
        SetTimer(nullptr, 0, 100, TypeSaveName);
        Click(WriteCsvButtonId);
        Pump();
        std::string written = ReadBytes(TypedSaveName);
        if (std::string_view(name).ends_with(".xlsx"))
            EXPECT_EQ(written.substr(0, 4), std::string("PK\x03\x04", 4));
        else
            EXPECT_EQ(written, csv) << name;
    }
    EXPECT_EQ(testfiles::Listing(out), "Ł.xlsx Ω.csv ＼..＼escaped.csv ｘ.csv");
    EXPECT_EQ(testfiles::Listing(folder.path()), "galvorfolder.txt game out Ωμέγα");

    // A folder the settings file cannot hold is refused, and nothing changes;
    // one it holds is remembered in the code page's bytes.
    std::string polish = files::JoinPath(folder.str(), "Łódź"), french = files::JoinPath(folder.str(), "Café");
    for (const std::string& chosen : {polish, french}) {
        std::filesystem::create_directory(PathOf(chosen));
        BrowsedFolder = chosen;
        SeenBoxes.clear();
        UINT_PTR timer = SetTimer(nullptr, 0, 100, BrowseToFolder);
        Click(ChangeFolderButtonId);
        KillTimer(nullptr, timer);
        if (chosen == polish) {
            ASSERT_EQ(SeenBoxes.size(), 1u);
            EXPECT_EQ(SeenBoxes[0].text.rfind("The folder \"" + polish + "\" cannot be the game folder: ", 0), 0u)
                << SeenBoxes[0].text;
            EXPECT_EQ(NameTextOf(ControlOf(FolderBoxId)), greekGame);
            EXPECT_EQ(ReadBytes("galvorfolder.txt"), "C:\\Kept\r\n");
        } else {
            EXPECT_TRUE(SeenBoxes.empty());
            EXPECT_EQ(NameTextOf(ControlOf(FolderBoxId)), french);
            EXPECT_EQ(ReadBytes("galvorfolder.txt"), files::JoinPath(folder.str(), "Caf\xE9") + "\r\n");
        }
    }
}

TEST_F(Form1Test, ACommandThatThrowsSaysSoAndLeavesTheWindowUsable)
{
    MakeGame(300);
    Open();
    RunYears("1871", "2024");
    CurrentPathDialogs().chooseExportFile = [](HWND) -> ExportChoice { throw std::bad_alloc(); };
    {
        BoxAnswerer answerer(IDOK);
        Click(WriteCsvButtonId);
    }
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].caption, "Veltrane");
    EXPECT_NE(SeenBoxes[0].text.find("not enough memory"), std::string::npos) << SeenBoxes[0].text;
    EXPECT_EQ(SeenBoxes[0].owner, form);
    RunYears("1900", "1910");
    EXPECT_EQ(ListLines(), ExpectedLines(Ordering::Name, 1900, 1910));
}

TEST_F(Form1Test, TheRememberedFolderIsLoadedAndAChangedOneSaved)
{
    WriteBytes("galvorfolder.txt", "  C:\\Games\\Sim, Data  \r\n");
    Open();
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "C:\\Games\\Sim, Data  ");
    EXPECT_FALSE(IsWindowEnabled(ControlOf(ProcessButtonId)));

    CurrentPathDialogs().chooseFolder = [](HWND) { return std::string(); };
    Click(ChangeFolderButtonId);
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "C:\\Games\\Sim, Data  ");
    CurrentPathDialogs().chooseFolder = [](HWND) { return std::string("D:\\Other"); };
    Click(ChangeFolderButtonId);
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "D:\\Other");
    EXPECT_EQ(ReadBytes("galvorfolder.txt"), "D:\\Other\r\n");
}

TEST_F(Form1Test, ExitCloseBoxAndAltF4EndTheLoopWithCodeZero)
{
    for (int way = 0; way < 3; ++way) {
        Open();
        if (way == 0)
            Click(ExitButtonId);
        else if (way == 1)
            SendMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageA(form, WM_SYSKEYDOWN, VK_F4, 1 << 29);
        Pump();
        EXPECT_FALSE(IsWindow(form)) << way;
        EXPECT_EQ(Form1(), nullptr);
        EXPECT_EQ(TakeQuit(), 0) << way;
    }
}

TEST_F(Form1Test, TheSaveDialogOpensAtTheWindowsCorner)
{
    Open();
    RECT formRect{};
    GetWindowRect(form, &formRect);
    std::string chosen;
    {
        BoxAnswerer answerer(IDCANCEL);
        chosen = AskSaveFileName(form).name;
    }
    EXPECT_EQ(chosen, "");
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].caption, "SELECT CSV FILE FOLDER");
    EXPECT_EQ(SeenBoxes[0].owner, form);
    EXPECT_EQ(SeenBoxes[0].placed.left, formRect.left + 1);
    EXPECT_EQ(SeenBoxes[0].placed.top, formRect.top + 1);
}

TEST_F(Form1Test, TheFolderBrowserOpensAtTheWindowsCornerAndCancelChangesNothing)
{
    WriteBytes("galvorfolder.txt", "C:\\Kept\r\n");
    Open();
    RECT formRect{};
    GetWindowRect(form, &formRect);
    {
        BoxAnswerer answerer(IDCANCEL);
        Click(ChangeFolderButtonId);
    }
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].owner, form);
    EXPECT_EQ(SeenBoxes[0].placed.left, formRect.left + 1);
    EXPECT_EQ(SeenBoxes[0].placed.top, formRect.top + 1);
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "C:\\Kept");
    EXPECT_EQ(ReadBytes("galvorfolder.txt"), "C:\\Kept\r\n");
}

TEST_F(Form1Test, BadMasterFilesAndFoldersGiveTheListingOrAMessage)
{
    Open();
    for (const testfiles::MasterCase& bad : testfiles::MakeMasterCases(folder.path() / "cases")) {
        SCOPED_TRACE(bad.name);
        std::optional<testfiles::FileSnapshot> before = testfiles::BeforeRun(bad);
        game = bad.folder;
        {
            BoxAnswerer answerer(IDOK);
            RunYears("1871", "2024");
        }
        int listed = static_cast<int>(SendMessageA(ControlOf(ListBoxId), LB_GETCOUNT, 0, 0));
        EXPECT_EQ(TextOf(ControlOf(CountLabelId)), CountText(listed));
        if (SeenBoxes.empty()) {
            EXPECT_TRUE(bad.opens);
            if (bad.qualifying) {
                EXPECT_EQ(listed, *bad.qualifying);
            }
        } else {
            ASSERT_EQ(SeenBoxes.size(), 1u);
            EXPECT_EQ(SeenBoxes[0].text.rfind("Cannot open \"" + files::JoinPath(bad.folder, "mastplyr.dat") + "\": ", 0),
                      0u)
                << SeenBoxes[0].text;
            EXPECT_EQ(listed, 0);
        }
        EXPECT_TRUE(testfiles::UntouchedByRun(bad, before));
    }
}

TEST_F(Form1Test, BadSettingsFilesLoadAsTheyCanAndAreNeverChanged)
{
    for (const testfiles::SettingsCase& settings : testfiles::SettingsCases()) {
        SCOPED_TRACE(settings.name);
        testfiles::MakeSettings(folder.path(), settings);
        Open();
        std::string shown = TextOf(ControlOf(FolderBoxId));
        if (settings.isFolder) {
            EXPECT_EQ(shown, "Text1");
        } else {
            EXPECT_EQ(shown, FolderFromSettings(settings.bytes.substr(0, 32767)).substr(0, 511));
            EXPECT_EQ(ReadBytes("galvorfolder.txt"), settings.bytes);
        }
        DestroyWindow(form);
        TakeQuit();
    }
}

TEST_F(Form1Test, SettingsHeldByAnotherProgramLoadEmptyAndAFailedSaveSaysSo)
{
    WriteBytes("galvorfolder.txt", "C:\\Old\r\n");
    HANDLE held = CreateFileA("galvorfolder.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Open();
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "");
    CurrentPathDialogs().chooseFolder = [](HWND) { return std::string("D:\\New"); };
    {
        BoxAnswerer answerer(IDOK);
        Click(ChangeFolderButtonId);
    }
    CloseHandle(held);
    EXPECT_EQ(TextOf(ControlOf(FolderBoxId)), "D:\\New");
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].text.rfind("Cannot remember the game folder in \"", 0), 0u) << SeenBoxes[0].text;
    EXPECT_EQ(ReadBytes("galvorfolder.txt"), "C:\\Old\r\n");
    EXPECT_EQ(testfiles::Listing(folder.path()), "galvorfolder.txt");
}

TEST_F(Form1Test, AMasterFileHeldByAnotherProgramIsNamedAndUntouched)
{
    MakeGame(100);
    std::string master = files::JoinPath(game, "mastplyr.dat");
    auto before = testfiles::AgedSnapshot(master);
    Open();
    HANDLE held = CreateFileA(master.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        BoxAnswerer answerer(IDOK);
        RunYears("1871", "2024");
    }
    CloseHandle(held);
    ASSERT_EQ(SeenBoxes.size(), 1u);
    EXPECT_EQ(SeenBoxes[0].text.rfind("Cannot open \"" + master + "\": ", 0), 0u) << SeenBoxes[0].text;
    EXPECT_EQ(TextOf(ControlOf(CountLabelId)), " 0 Records qualified ");
    EXPECT_TRUE(testfiles::Snapshot(master) == before);
}

TEST(Program, EndsWithExitCodeZeroHoweverItIsClosed)
{
    ScratchFolder folder;
    std::string program = testfiles::SiblingProgram("Veltrane_V10");
    for (int way = 0; way < 4; ++way) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::string commandLine = "\"" + program + "\"";
        ASSERT_TRUE(CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.str().c_str(), &startup, &process));
        HWND window = nullptr;
        for (int tries = 0; tries < 400 && !window; ++tries) {
            Sleep(50);
            window = FindWindowA(FormClassName, FormCaption);
        }
        ASSERT_NE(window, nullptr);
        WaitForInputIdle(process.hProcess, 10000);  // shown and in its message loop
        if (way == 0)
            PostMessageA(GetDlgItem(window, ExitButtonId), BM_CLICK, 0, 0);
        else if (way == 1)
            PostMessageA(window, WM_CLOSE, 0, 0);
        else if (way == 2)
            PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            PostMessageA(window, WM_SYSKEYDOWN, VK_F4, 1 << 29);  // Alt+F4
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0) << way;
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u) << way;
        if (code == STILL_ACTIVE)
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
