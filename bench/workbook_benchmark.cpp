// Speed of the workbook export against libxlsxwriter alone: the same rows of
// 25 cells, written once by WriteWorkbook from the kept players and once
// straight from cells computed beforehand, by the library and nothing else.
// Prints the best of three rounds and the ratio, on the sample and on a
// million records, or on the record counts given as arguments (the million
// records' cells computed beforehand do not fit a 32-bit address space). Then,
// in rounds of their own, the cost of the check WriteWorkbook makes that a
// workbook is whole (its row file read back, room taken for the library's copy
// of it, the zip read back), made on the baseline's workbook and set against
// WriteWorkbook's time.

#include "files/Files.h"
#include "files/ReplacingWriter.h"
#include "listing/AnsiText.h"
#include "listing/PlayerRun.h"
#include "listing/WorkbookCheck.h"
#include "listing/WorkbookExport.h"
#include "masterfile/AttributeDecoding.h"
#include "tools/SampleMaster.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Cell {
    bool isNumber = false;
    double number = 0;
    std::string text;
};
using Row = std::array<Cell, 25>;

std::string Trimmed(std::string_view text)
{
    std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string()
                                           : std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// The same cells WriteWorkbook writes, computed before the clock starts.
std::vector<Row> PrecomputedRows(const KeptPlayers& players)
{
    std::vector<Row> rows;
    rows.reserve(players.size());
    for (std::size_t i = 0; i < players.size(); ++i) {
        MasterPlayerRecord r = players.at(i);
        auto text = [](std::string_view t) { return Cell{false, 0, Utf8FromAnsi(Trimmed(t))}; };
        auto number = [](double n) { return Cell{true, n, {}}; };
        Row row = {number(r.uid), text(r.firstName + ' ' + r.lastName), text(HandLetter(r.bats)),
                   text(HandLetter(r.throws)), number(r.position), text(RoleLetter(r.role)),
                   text(DobText(r.birthMonth, r.birthDay, r.birthYear)), number(r.debutYear), number(r.finalYear),
                   text(ArmAngleText(r.armAngle)), text(GradeText(r.velocity)), text(StyleText(r.style)),
                   text(PitchName(r.outPitch))};
        for (std::size_t flag = 0; flag < 12 && r.role == 2; ++flag)
            row[13 + flag] = text(FlagText(r.pitchFlags[flag]));
        rows.push_back(std::move(row));
    }
    return rows;
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes the rows with libxlsxwriter alone. withCheck also makes
// WriteWorkbook's check on the way and returns the seconds it took.
double WriteBaseline(const std::string& path, const std::vector<Row>& rows, bool withCheck)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Players");
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    for (lxw_col_t col = 0; col < 25; ++col)
        worksheet_write_string(sheet, 0, col, "Header", bold);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto at = static_cast<lxw_row_t>(i + 1);
        for (lxw_col_t col = 0; col < 25; ++col) {
            const Cell& cell = rows[i][col];
            if (cell.isNumber)
                worksheet_write_number(sheet, at, col, cell.number, nullptr);
            else if (!cell.text.empty())
                worksheet_write_string(sheet, at, col, cell.text.c_str(), nullptr);
        }
    }
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(rows.size()), 24);
    if (!withCheck) {
        workbook_close(workbook);
        return 0;
    }

    Clock::time_point start = Clock::now();
    lxw_worksheet_write_single_row(sheet);
    std::fflush(sheet->optimize_tmpfile);
    workbookcheck::Fingerprint written;
    int error = 0;
    workbookcheck::FingerprintOf(sheet->optimize_tmpfile, written, error);
    {
        files::ReplacingWriter room;
        if (!room.begin(path + ".room") || room.handOver().empty() || !room.reserve(written.size + 16 * 1024))
            std::fprintf(stderr, "room: %s\n", room.failure().c_str());
    }
    double check = SecondsSince(start);
    workbook_close(workbook);
    start = Clock::now();
    std::string fault = workbookcheck::WorkbookFault(path, "xl/worksheets/sheet1.xml", written);
    check += SecondsSince(start);
    if (!fault.empty())
        std::fprintf(stderr, "check: %s\n", fault.c_str());
    return check;
}

double BestSeconds(const std::function<void()>& run)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        Clock::time_point start = Clock::now();
        run();
        best = std::min(best, SecondsSince(start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::int64_t> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoll(argv[i]));
    if (counts.empty())
        counts = {23000, 1000000};
    // A folder of this run's own: another run at the same time would rewrite its files.
    fs::path scratch = fs::temp_directory_path() / ("veltrane-workbook-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(scratch);
    for (std::int64_t records : counts) {
        SampleOptions sample;
        sample.records = records;
        sample.lastSeason = 2024;
        std::string bytes = SampleMasterBytes(sample);
        std::FILE* file = std::fopen((scratch / "mastplyr.dat").string().c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        PlayerRun run = RunPlayers({"1871", "2024", scratch.string(), Ordering::Uid});
        std::vector<Row> rows = PrecomputedRows(run.players);
        std::string ours = (scratch / "ours.xlsx").string(), theirs = (scratch / "baseline.xlsx").string();
        double ourSeconds = BestSeconds([&] {
            fs::remove(ours);
            std::string reason;
            if (!WriteWorkbook(files::TargetOf(ours), run.players, reason))
                std::fprintf(stderr, "WriteWorkbook: %s\n", reason.c_str());
        });
        double baseSeconds = BestSeconds([&] { WriteBaseline(theirs, rows, false); });
        double checkSeconds = 1e9;
        for (int round = 0; round < 3; ++round)
            checkSeconds = std::min(checkSeconds, WriteBaseline(theirs, rows, true));
        std::printf("%8lld records, %zu rows: WriteWorkbook %.3f s (%.2f us a row), libxlsxwriter alone %.3f s: "
                    "ratio %.2f; the check that the workbook is whole %.3f s, %.1f%% of WriteWorkbook\n",
                    static_cast<long long>(records), run.players.size(), ourSeconds,
                    ourSeconds * 1e6 / static_cast<double>(run.players.size()), baseSeconds, ourSeconds / baseSeconds,
                    checkSeconds, 100 * checkSeconds / ourSeconds);
    }
    fs::remove_all(scratch);
    return 0;
}
