// The window's Process run over every season of the sample, timed from the
// click to the end of the run, in both orderings, against a baseline that
// fills an identical list box with the same lines and the same repaint every
// 50 lines in the cheapest way the platform allows. Run under Wine and Xvfb
// by ./veltrane.sh bench. Then the workbook of the last run, as the window
// writes it.

#include "files/Files.h"
#include "listing/LineLayout.h"
#include "listing/PlayerSelection.h"
#include "listing/ProcessRun.h"
#include "listing/WorkbookExport.h"
#include "tools/SampleMaster.h"
#include "ui/ControlTable.h"
#include "ui/Fonts.h"
#include "ui/MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int Rounds = 3;
constexpr std::int16_t FirstSeason = 1871;
constexpr std::int16_t LastSeason = 2024;

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double TimeProcessRun(const std::string& folder, Ordering ordering)
{
    SetWindowTextA(ControlOf(FolderBoxId), folder.c_str());
    SetWindowTextA(ControlOf(FirstYearBoxId), std::to_string(FirstSeason).c_str());
    SetWindowTextA(ControlOf(LastYearBoxId), std::to_string(LastSeason).c_str());
    SendMessageA(ControlOf(ordering == Ordering::Uid ? UidOptionId : NameOptionId), BM_CLICK, 0, 0);
    Pump();
    double start = Now();
    SendMessageA(ControlOf(ProcessButtonId), BM_CLICK, 0, 0);
    double seconds = Now() - start;
    Pump();
    return seconds;
}

// A window holding a list box made exactly as the main window's, at the same place.
HWND MakeBaselineList(HWND form)
{
    RECT outer{};
    GetWindowRect(form, &outer);
    HWND holder = CreateWindowExA(0, "Static", "baseline", WS_POPUP | WS_VISIBLE | WS_CAPTION, outer.left, outer.top,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    const ControlRow& row = RowOf(ListBoxId);
    HWND list = CreateWindowExA(row.exStyle, row.className, "", WS_CHILD | WS_VISIBLE | row.style, row.x, row.y,
                                row.width, row.height, holder, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(CachedFont(row.font)), TRUE);
    Pump();
    return list;
}

void Repaint(HWND list, UINT extra = 0)
{
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | extra);
}

double TimeBaselineFill(HWND list, const std::vector<std::string>& lines)
{
    double start = Now();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lines[i].c_str()));
        if ((i + 1) % 50 == 0) {
            SendMessageA(list, WM_SETREDRAW, TRUE, 0);
            Repaint(list);
            SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        }
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    Repaint(list, RDW_FRAME);
    double seconds = Now() - start;
    Pump();
    return seconds;
}

// The same lines with no repaint until the end: what the insertions alone cost.
double TimeInsertionsAlone(HWND list, const std::vector<std::string>& lines)
{
    double start = Now();
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& line : lines)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    Repaint(list, RDW_FRAME);
    double seconds = Now() - start;
    Pump();
    return seconds;
}

}  // namespace

int main()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    std::filesystem::path folder = std::filesystem::temp_directory_path() / "veltrane-window-benchmark";
    std::filesystem::create_directories(folder);
    SampleOptions options;
    options.lastSeason = LastSeason;
    std::string bytes = SampleMasterBytes(options);
    std::FILE* file = std::fopen((folder / "mastplyr.dat").string().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);

    HWND form = CreateForm1(GetModuleHandleA(nullptr));
    ShowWindow(form, SW_SHOWNORMAL);
    UpdateWindow(form);
    Pump();
    HWND baselineList = MakeBaselineList(form);

    std::printf("Process run over %d to %d of the sample (%lld records), median of %d rounds\n", FirstSeason,
                LastSeason, static_cast<long long>(options.records), Rounds);
    for (Ordering ordering : {Ordering::Name, Ordering::Uid}) {
        std::vector<std::string> lines;
        SelectPlayers(folder.string(), {FirstSeason, LastSeason},
                      [&](const MasterPlayerRecord& record) { lines.push_back(ListingLine(record, ordering)); });
        std::vector<double> runs, baselines;
        for (int round = 0; round < Rounds; ++round) {
            runs.push_back(TimeProcessRun(folder.string(), ordering));
            baselines.push_back(TimeBaselineFill(baselineList, lines));
        }
        double run = Median(runs), baseline = Median(baselines);
        double insertions = TimeInsertionsAlone(baselineList, lines);
        std::printf("  %-10s %zu lines: Process run %.2f s, baseline fill %.2f s, ratio %.2f"
                    " (insertions alone %.2f s, so %zu forced repaints cost about %.1f ms each)\n",
                    ordering == Ordering::Uid ? "UID order" : "Name order", lines.size(), run, baseline,
                    run / baseline, insertions, lines.size() / 50, 1000 * (baseline - insertions) / (lines.size() / 50));
    }
    // What Write CSV File does once its dialog has a .xlsx name: the workbook
    // of the players the last Process run kept.
    std::string reason, workbook = (folder / "Players.xlsx").string();
    double start = Now();
    bool written = WriteWorkbook(files::TargetOf(workbook), ExportPlayers, reason, files::ReplaceMode::Replace);
    std::printf("  Workbook of the last run, %zu rows: %.2f s%s%s\n", ExportPlayers.size(), Now() - start,
                written ? "" : ", failed: ", reason.c_str());
    DestroyWindow(GetParent(baselineList));
    DestroyWindow(form);
    std::filesystem::remove_all(folder);
    return 0;
}
