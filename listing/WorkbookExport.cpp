#include "listing/WorkbookExport.h"

#include "files/Files.h"
#include "listing/AnsiText.h"
#include "listing/WorkbookCheck.h"
#include "masterfile/AttributeDecoding.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr std::size_t ColumnCount = 25;
constexpr std::size_t FlagColumns = 12;
constexpr double WidthMargin = 1.5;

// The header in UID order; Name order swaps the first two.
constexpr std::array<std::string_view, ColumnCount - FlagColumns> LeadingHeaders = {
    "UID", "Player", "Bats", "Throws", "Position", "Role", "DOB",
    "Debut", "Final", "Arm angle", "Velocity", "Style", "Out pitch",
};

struct Cell {
    bool isNumber = false;
    double number = 0;
    std::string text;  // UTF-8, trimmed; empty for an empty cell
};
using Row = std::array<Cell, ColumnCount>;

std::string_view Trimmed(std::string_view text)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Readers turn "_xHHHH_" in a text into the character HHHH; an underscore that
// starts such a run is itself written that way, so the text comes back as it is.
std::string KeptLiteral(std::string text)
{
    for (std::size_t at = text.find("_x"); at != std::string::npos; at = text.find("_x", at + 1)) {
        if (at + 7 <= text.size() && text[at + 6] == '_' &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at + 2),
                        text.begin() + static_cast<std::ptrdiff_t>(at + 6), IsHex)) {
            text.replace(at, 1, "_x005F_");
            at += 6;
        }
    }
    return text;
}

Cell Text(std::string_view text)
{
    return {false, 0, KeptLiteral(Utf8FromAnsi(Trimmed(text)))};
}

Cell Number(double value)
{
    return {true, value, {}};
}

Row HeaderRow(Ordering ordering)
{
    Row row;
    for (std::size_t i = 0; i < LeadingHeaders.size(); ++i)
        row[i].text = LeadingHeaders[i];
    for (std::size_t i = 0; i < FlagColumns; ++i)
        row[LeadingHeaders.size() + i].text = Trimmed(PitchNames[i + 1]);
    if (ordering == Ordering::Name)
        std::swap(row[0], row[1]);
    return row;
}

Row PlayerRow(const MasterPlayerRecord& record, Ordering ordering)
{
    std::string name = record.firstName + ' ' + record.lastName;
    Row row = {
        Number(record.uid),
        Text(name),
        Text(HandLetter(record.bats)),
        Text(HandLetter(record.throws)),
        Number(record.position),
        Text(RoleLetter(record.role)),
        Text(DobTextOf(record.birthMonth, record.birthDay, record.birthYear).view()),
        Number(record.debutYear),
        Number(record.finalYear),
        Text(ArmAngleText(record.armAngle)),
        Text(GradeText(record.velocity)),
        Text(StyleText(record.style)),
        Text(PitchName(record.outPitch)),
    };
    if (RoleLetter(record.role) == "P") {
        for (std::size_t i = 0; i < FlagColumns; ++i)
            row[LeadingHeaders.size() + i] = Text(FlagText(record.pitchFlags[i]));
    }
    if (ordering == Ordering::Name)
        std::swap(row[0], row[1]);
    return row;
}

// Characters, not bytes: the column width counts what the reader sees.
std::size_t Characters(std::string_view utf8)
{
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::size_t Digits(double value)
{
    return std::to_string(static_cast<long long>(value)).size();
}

struct WorkbookCloser {
    void operator()(lxw_workbook* workbook) const { lxw_workbook_free(workbook); }
};

class SheetWriter {
public:
    SheetWriter(lxw_worksheet* sheet, lxw_format* bold) : sheet_(sheet), bold_(bold) {}

    lxw_error write(lxw_row_t at, const Row& row, bool header)
    {
        for (std::size_t column = 0; column < ColumnCount; ++column) {
            const Cell& cell = row[column];
            auto col = static_cast<lxw_col_t>(column);
            lxw_error error = LXW_NO_ERROR;
            if (cell.isNumber) {
                error = worksheet_write_number(sheet_, at, col, cell.number, nullptr);
                widths_[column] = std::max(widths_[column], Digits(cell.number));
            } else if (!cell.text.empty()) {
                error = worksheet_write_string(sheet_, at, col, cell.text.c_str(), header ? bold_ : nullptr);
                widths_[column] = std::max(widths_[column], Characters(cell.text));
            }
            if (error != LXW_NO_ERROR)
                return error;
        }
        return LXW_NO_ERROR;
    }

    lxw_error fitColumns()
    {
        for (std::size_t column = 0; column < ColumnCount; ++column) {
            auto col = static_cast<lxw_col_t>(column);
            double width = static_cast<double>(widths_[column]) + WidthMargin;
            if (lxw_error error = worksheet_set_column(sheet_, col, col, width, nullptr))
                return error;
        }
        return LXW_NO_ERROR;
    }

private:
    lxw_worksheet* sheet_;
    lxw_format* bold_;
    std::array<std::size_t, ColumnCount> widths_{};
};

// A write the size of the library's buffers of its files, for a probe.
constexpr std::size_t ProbeSize = 1 << 16;
// Room beyond the rows for the worksheet's head and tail while the library
// assembles it beside its row file.
constexpr std::uint64_t AssemblyRoom = 16 * 1024;

// The library's files fail through the system's calls as ours do; where it
// failed that way, the system's reason, in the words a CSV file's failure
// gets: as the failed call left it, or where that was lost (under Wine a
// write to a full disk ends short with no error), as a new file of the room
// the library needed in its folder fails now. Its own text only where there
// is none.
std::string FailureText(lxw_error error, const files::HeldFolder& folder, std::uint64_t room = ProbeSize)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return "Out of memory";
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_PARAMETER_ERROR:
    case LXW_ERROR_ZIP_BAD_ZIP_FILE:
    case LXW_ERROR_ZIP_INTERNAL_ERROR:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        if (int code = files::LastSystemError(); code != 0)
            return files::SystemErrorText(code);
        if (int code = files::ErrorMakingFileIn(folder, room); code != 0)
            return files::SystemErrorText(code);
        break;
    default:
        break;
    }
    return lxw_strerror(error);
}

constexpr const char* SheetPart = "xl/worksheets/sheet1.xml";
constexpr const char* NoTemporaryFile = "its folder takes no temporary file for the workbook";

// The library writes each finished row to its row file and ignores a failed
// write, which only marks the stream; the system's reason is at hand right
// after the failing write, and asked for then. A C library that took a short
// write as a failure has none: the same write, tried again at once, gives it.
std::string RowFileFault(std::FILE* rows)
{
    if (!std::ferror(rows))
        return {};
    int code = files::LastSystemError();
    if (code == 0)
        code = files::ErrorWritingAtEnd(rows);
    return code != 0 ? files::SystemErrorText(code) : "a write to its temporary file failed";
}

// Why folder takes no temporary file of the library's: the reason of the
// library's own call that failed (it tries elsewhere without a word), or the
// system's reason where a new file there fails now, the fixed text otherwise.
std::string FolderFault(const files::HeldFolder& folder, int libraryError = 0)
{
    if (libraryError != 0)
        return files::SystemErrorText(libraryError);
    int code = files::ErrorMakingFileIn(folder, ProbeSize);
    return code != 0 ? files::SystemErrorText(code) : NoTemporaryFile;
}

// Empty where a temporary file the library makes now, as it makes each of its
// files while it closes a workbook, lands in folder (by the library's name
// for it); otherwise why not.
std::string LibraryFileFault(char* tmpdir, const std::string& folder, const files::HeldFolder& held)
{
    files::ClearLastSystemError();
    std::FILE* probe = lxw_tmpfile(tmpdir);
    int libraryError = files::LastSystemError();
    bool in = false;
    int code = probe ? files::StreamIsIn(probe, folder, in) : 0;
    if (probe)
        std::fclose(probe);
    if (code != 0)
        return files::SystemErrorText(code);
    return in ? std::string() : FolderFault(held, libraryError);
}

// The library closes a worksheet's row file only once it has copied it into
// the worksheet while closing the workbook: a failure before that, or a
// workbook freed unclosed, leaves it open, and on Windows the file itself (it
// goes only when its handle closes). This closes it wherever the library did not.
class RowFileCloser {
public:
    explicit RowFileCloser(std::FILE* rows) : rows_(rows), watch_(rows) {}
    ~RowFileCloser()
    {
        if (watch_.stillOpen())
            std::fclose(rows_);
    }
    RowFileCloser(const RowFileCloser&) = delete;
    RowFileCloser& operator=(const RowFileCloser&) = delete;

private:
    std::FILE* rows_;
    files::StreamWatch watch_;
};

// The worksheet, its rows in the library's row file, checked as they go.
std::string WriteSheet(lxw_workbook* workbook, const KeptPlayers& players, const std::string& rowFolder,
                       const files::HeldFolder& folder, std::optional<RowFileCloser>& closer,
                       workbookcheck::Fingerprint& rows)
{
    // In constant-memory mode a worksheet starts with its row file, which the
    // library makes elsewhere without a word where the folder fails it.
    files::ClearLastSystemError();
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Players");
    int libraryError = files::LastSystemError();
    if (!sheet || !sheet->optimize_tmpfile)
        return FolderFault(folder, libraryError);
    std::FILE* rowFile = sheet->optimize_tmpfile;
    closer.emplace(rowFile);
    bool in = false;
    if (int code = files::StreamIsIn(rowFile, rowFolder, in))
        return files::SystemErrorText(code);
    if (!in)
        return FolderFault(folder, libraryError);
    lxw_format* bold = workbook_add_format(workbook);
    if (!bold)
        return FailureText(LXW_ERROR_MEMORY_MALLOC_FAILED, folder);
    format_set_bold(bold);
    SheetWriter writer(sheet, bold);
    lxw_error error = writer.write(0, HeaderRow(players.ordering), true);
    for (std::size_t i = 0; error == LXW_NO_ERROR && i < players.size(); ++i) {
        // Cleared, so that a reason found after the row is this row's.
        files::ClearLastSystemError();
        error = writer.write(static_cast<lxw_row_t>(i + 1), PlayerRow(players.at(i), players.ordering), false);
        if (std::string fault = RowFileFault(rowFile); !fault.empty())
            return fault;
    }
    if (error == LXW_NO_ERROR)
        error = writer.fitColumns();
    worksheet_freeze_panes(sheet, 1, 0);
    if (error == LXW_NO_ERROR)
        error = worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(players.size()),
                                     static_cast<lxw_col_t>(ColumnCount - 1));
    if (error != LXW_NO_ERROR)
        return FailureText(error, folder);
    // The last row too, now rather than during close, so the row file is
    // complete, and on the disk as far as the system is concerned.
    files::ClearLastSystemError();
    lxw_worksheet_write_single_row(sheet);
    std::fflush(rowFile);
    if (std::string fault = RowFileFault(rowFile); !fault.empty())
        return fault;
    int code = 0;
    if (!workbookcheck::FingerprintOf(rowFile, rows, code))
        return code != 0 ? files::SystemErrorText(code) : "its temporary file cannot be read back";
    return {};
}

}  // namespace

bool IsWorkbookName(std::string_view name)
{
    constexpr std::string_view Extension = ".xlsx";
    if (name.size() < Extension.size())
        return false;
    std::string_view tail = name.substr(name.size() - Extension.size());
    return std::equal(tail.begin(), tail.end(), Extension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

std::string WorkbookFileName(std::string_view chosen)
{
    std::string name(chosen);
    if (!IsWorkbookName(name))
        name += ".xlsx";
    return name;
}

namespace {

enum class Attempt { Written, Failed, FoundShort };

// One workbook written and read back; FoundShort where the read-back found
// something missing, or the library went elsewhere for its files, and no call
// the program sees failed for it.
Attempt WriteWorkbookOnce(files::ReplacingWriter& writer, files::WriteTarget target, const KeptPlayers& players,
                          std::string& reason, files::ReplaceMode mode, const files::KeptFiles& gameFiles)
{
    if (!writer.begin(std::move(target), mode, gameFiles)) {
        reason = writer.failure();
        return Attempt::Failed;
    }
    const std::string& temporary = writer.handOver();
    // Constant-memory mode: each row goes to a temporary file once it is
    // written. Those files go to a folder of the export's own inside the
    // workbook's folder, so that they take from the disk the workbook goes
    // to and no other, and everything the library leaves there (a file it
    // could not remove) goes with that folder.
    const std::string& folder = writer.libraryFolder();
    if (temporary.empty() || folder.empty()) {
        reason = writer.failure();
        return Attempt::Failed;
    }
    // The library's diagnostics name our temporary file, never the user's; the
    // one message the user sees is the caller's.
    files::StandardErrorSilenced quiet;
    // The library opens its files through the C library's ANSI calls (on
    // Windows too): it gets names that those take exactly, the short ones
    // where the code page lacks a character of the long ones.
    std::optional<std::string> libraryName = files::AnsiNameOf(temporary);
    std::optional<std::string> libraryFolder = files::AnsiNameOf(folder);
    if (!libraryName || !libraryFolder) {
        bool fitsCodePage = files::ExactAnsi(temporary) && files::ExactAnsi(folder);
        reason = fitsCodePage ? "its path is too long for the workbook writer, whose calls take fewer than 260 "
                                "characters with its own files' names in the folder, and it has no shorter "
                                "name; choose a shorter path, or save a CSV file"
                              : "the workbook writer cannot name a file here, where the code page of this system "
                                "lacks a character of the name; choose a name and folder in it, or save a CSV file";
        return Attempt::Failed;
    }
    const files::HeldFolder& held = writer.folder();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = libraryFolder->data();
    std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(workbook_new_opt(libraryName->c_str(), &options));
    if (!workbook) {
        reason = FailureText(LXW_ERROR_MEMORY_MALLOC_FAILED, held);
        return Attempt::Failed;
    }
    workbookcheck::Fingerprint rows;
    // The row file's folder is asked for by the very name the library was
    // given: Windows may name an open file by the short names it was opened
    // through, which a long name of its folder would not match.
    std::string rowFolder = files::NameFromAnsi(*libraryFolder);
    std::optional<RowFileCloser> rowFileCloser;
    reason = WriteSheet(workbook.get(), players, rowFolder, held, rowFileCloser, rows);
    if (!reason.empty())
        return reason == NoTemporaryFile ? Attempt::FoundShort : Attempt::Failed;
    // Closing makes the library's other files one at a time beside the row
    // file, or elsewhere without a word where the folder takes no more files:
    // one more must go there now.
    reason = LibraryFileFault(libraryFolder->data(), rowFolder, held);
    if (!reason.empty())
        return reason == NoTemporaryFile ? Attempt::FoundShort : Attempt::Failed;
    // Closing copies the row file into a second one beside it before either
    // goes: the room for that copy is taken first, where a lack of it fails
    // with the system's reason.
    if (!writer.reserve(rows.size + AssemblyRoom)) {
        reason = writer.failure();
        return Attempt::Failed;
    }
    files::ClearLastSystemError();
    lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR) {
        // The room it needed then: its copy of the rows beside the zip so far.
        reason = FailureText(closed, held, rows.size + AssemblyRoom);
        return Attempt::Failed;
    }
    // Its watch holds the row file open, and on Windows that keeps the
    // library's folder from going.
    rowFileCloser.reset();
    int readError = 0;
    if (std::string fault = workbookcheck::WorkbookFault(temporary, SheetPart, rows, readError); !fault.empty()) {
        reason = readError != 0 ? files::SystemErrorText(readError) : "the written workbook " + fault;
        return readError != 0 ? Attempt::Failed : Attempt::FoundShort;
    }
    if (!writer.commit()) {
        reason = writer.failure();
        return Attempt::Failed;
    }
    return Attempt::Written;
}

}  // namespace

bool WriteWorkbook(files::WriteTarget target, const KeptPlayers& players, std::string& reason,
                   files::ReplaceMode mode, const files::KeptFiles& gameFiles)
{
    if (players.size() > WorkbookMaxPlayers) {
        reason = "a worksheet holds at most " + std::to_string(WorkbookMaxPlayers) + " players, and the run kept " +
                 std::to_string(players.size());
        return false;
    }
    if (std::string refusal = files::RefusalOf(target, true); !refusal.empty()) {
        reason = refusal;
        return false;
    }
    // Many of the library's own reads and writes go unchecked; what one of them
    // lost without a reason the program could see, the read-back finds, and
    // a passing fault of the disk is then gone the second time.
    files::ReplacingWriter writer;
    Attempt attempt = WriteWorkbookOnce(writer, std::move(target), players, reason, mode, gameFiles);
    if (attempt == Attempt::FoundShort) {
        files::ReplacingWriter again;
        attempt = WriteWorkbookOnce(again, writer.takeTarget(), players, reason, mode, gameFiles);
    }
    return attempt == Attempt::Written;
}
