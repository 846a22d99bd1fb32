// veltrane-cli: the Process run and the CSV export for scripts and batch use.
// It prints what the window lists, in the window's order, and writes the same
// export file as Write CSV File.

#include "cli/Terminal.h"
#include "files/Files.h"
#include "listing/AnsiText.h"
#include "listing/CsvExport.h"
#include "listing/LineLayout.h"
#include "listing/ListingOrder.h"
#include "listing/Messages.h"
#include "listing/PlayerRun.h"
#include "listing/WorkbookExport.h"
#include "settings/GameFolderSetting.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifdef _WIN32
#include "files/WideNames.h"

#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFileProblem = 1;
constexpr int ExitBadArguments = 2;

constexpr const char* HelpText =
    "usage: veltrane-cli [--folder DIR] --first YEAR --last YEAR [--order uid|name]\n"
    "                    [--csv FILE] [--xlsx FILE] [--force] [--encoding ansi|utf-8]\n"
    "\n"
    "Lists every valid player of DIR/mastplyr.dat whose career overlaps the seasons\n"
    "from YEAR to YEAR (both included), as the Veltrane window does: the column\n"
    "header, one line per player in the window's sorted order, then the count, one\n"
    "per line on standard output.\n"
    "\n"
    "  --folder DIR     the game folder; without it, the folder that galvorfolder.txt\n"
    "                   in the current directory names\n"
    "  --first YEAR     first season, 1869 to the current year\n"
    "  --last YEAR      last season, 1869 to the current year\n"
    "  --order uid|name lines begin with the UID or with the name (default: name)\n"
    "  --csv FILE       also write the players to FILE, in master-file order, exactly\n"
    "                   as Write CSV File does (FILE is taken as given: no .CSV added)\n"
    "  --xlsx FILE      also write the players to FILE as an Excel workbook, in\n"
    "                   master-file order, with numbers as numbers and every other\n"
    "                   field as text (FILE is taken as given: no .xlsx added)\n"
    "  --force          replace the --csv and --xlsx files if they exist\n"
    "  --encoding ansi|utf-8\n"
    "                   how names are written to standard output: as the game's\n"
    "                   file holds them (ansi), or in UTF-8. Default: the\n"
    "                   terminal's own characters on a terminal, ansi otherwise\n"
    "  --help           this text\n"
    "  --version        the program's version\n"
    "\n"
    "A control character in a name (a line feed, DEL, a C1 control) is printed as\n"
    "the currency sign (byte A4), so that every player is one line and no name\n"
    "drives the terminal; FILE holds the name as is.\n"
    "\n"
    "Exit codes: 0 done; 1 the master file or FILE could not be read or written\n"
    "(nothing is printed then); 2 years out of range, bad arguments, --csv and\n"
    "--xlsx naming one file, or either naming the game's own mastplyr.dat.\n";

struct Options {
    std::optional<std::string> folder;
    std::optional<std::string> first;
    std::optional<std::string> last;
    Ordering ordering = Ordering::Name;
    std::optional<std::string> csv;
    std::optional<std::string> xlsx;
    std::optional<OutputEncoding> encoding;
    bool force = false;
    bool help = false;
    bool version = false;
};

void Complain(std::string_view message)
{
    WriteErrorLine(message);
}

// Returns a problem's text, or nothing when the arguments are good.
std::optional<std::string> ParseArguments(const std::vector<std::string>& arguments, Options& options)
{
    std::size_t argc = arguments.size();
    for (std::size_t i = 1; i < argc; ++i) {
        std::string_view name = arguments[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--version") {
            options.version = true;
            continue;
        }
        if (name == "--force") {
            options.force = true;
            continue;
        }
        std::optional<std::string>* target = name == "--folder" ? &options.folder
                                             : name == "--first" ? &options.first
                                             : name == "--last"  ? &options.last
                                             : name == "--csv"   ? &options.csv
                                             : name == "--xlsx"  ? &options.xlsx
                                                                 : nullptr;
        if (!target && name != "--order" && name != "--encoding")
            return "unknown argument " + std::string(name);
        if (i + 1 >= argc)
            return std::string(name) + " needs a value";
        std::string value = arguments[++i];
        if (target) {
            *target = value;
        } else if (name == "--encoding") {
            if (value != "ansi" && value != "utf-8")
                return "--encoding is ansi or utf-8, not " + value;
            options.encoding = value == "ansi" ? OutputEncoding::Ansi : OutputEncoding::Utf8;
        } else if (value == "uid" || value == "name") {
            options.ordering = value == "uid" ? Ordering::Uid : Ordering::Name;
        } else {
            return "--order is uid or name, not " + value;
        }
    }
    if (!options.help && !options.version && (!options.first || !options.last))
        return std::string("--first and --last are required");
    return std::nullopt;
}

// One player is one line of output, and a name never drives the terminal: a
// control character in a name (a line feed, DEL, a C1 control such as the
// start of an escape) shows as the currency sign, here only; the window and
// the exports keep the bytes. The names are the only texts a line takes from
// the file as they are.
constexpr char ControlStandIn = '\xA4';  // in Windows-1252 and Latin-1

// eightBit: the bytes go as they are to a terminal that reads 0x80 to 0x9F as
// controls, whatever the code page makes of them.
MasterPlayerRecord WithControlCharactersShown(MasterPlayerRecord record, bool eightBit)
{
    for (std::string* name : {&record.firstName, &record.lastName})
        for (char& c : *name) {
            auto byte = static_cast<unsigned char>(c);
            if (IsControlInAnsi(byte) || (eightBit && byte >= 0x80 && byte < 0xA0))
                c = ControlStandIn;
        }
    return record;
}

// The listing's lines on standard output, in the encoding it asks for.
class ListingPrinter {
public:
    explicit ListingPrinter(OutputEncoding encoding) : encoding_(encoding) {}

    bool line(std::string_view text)
    {
        if (encoding_ == OutputEncoding::Ansi)
            return put(text);
        pending_ += text;
        pending_ += '\n';
        return pending_.size() < FlushSize || flush();
    }

    bool finish() { return flush() && std::fflush(stdout) == 0; }

private:
    static constexpr std::size_t FlushSize = 1 << 16;

    bool put(std::string_view text)
    {
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fputc('\n', stdout) != EOF;
    }

    bool flush()
    {
        bool written = true;
        if (encoding_ == OutputEncoding::Utf8) {
            std::string utf8 = Utf8FromAnsi(pending_);
            written = std::fwrite(utf8.data(), 1, utf8.size(), stdout) == utf8.size();
        } else if (encoding_ == OutputEncoding::Console) {
            written = std::fflush(stdout) == 0 && WriteConsoleText(pending_);
        }
        pending_.clear();
        return written;
    }

    OutputEncoding encoding_;
    std::string pending_;
};

// The export files, each resolved once: everything is written where its name
// led when the program began.
struct ExportTargets {
    std::optional<files::WriteTarget> csv;
    std::optional<files::WriteTarget> xlsx;
};

ExportTargets TargetsOf(const Options& options)
{
    ExportTargets targets;
    if (options.csv)
        targets.csv = files::TargetOf(*options.csv);
    if (options.xlsx)
        targets.xlsx = files::TargetOf(*options.xlsx);
    return targets;
}

// A problem of the export names, found before anything is read or written:
// --csv and --xlsx naming one file.
std::optional<std::string> SameExportFile(const Options& options, const ExportTargets& targets)
{
    if (targets.csv && targets.xlsx && files::SameTarget(*targets.csv, *targets.xlsx))
        return "veltrane-cli: --csv and --xlsx name the same file, \"" + *options.xlsx + "\" (see --help)";
    return std::nullopt;
}

// The same once the run has read the master file: neither export may be a
// game file, the one read or the one the folder names.
std::optional<std::string> GameFileTarget(const Options& options, const ExportTargets& targets,
                                          const files::KeptFiles& gameFiles)
{
    if (targets.csv)
        if (const files::KeptFile* game = files::KeptFileAt(*targets.csv, gameFiles))
            return GameFileMessage(*options.csv, game->path);
    if (targets.xlsx)
        if (const files::KeptFile* game = files::KeptFileAt(*targets.xlsx, gameFiles))
            return GameFileMessage(*options.xlsx, game->path);
    return std::nullopt;
}

void ComplainExists(const std::string& target)
{
    Complain("\"" + target + "\" already exists. Give --force to replace it.");
}

// A target that is no file to write (a folder, a link that leads nowhere, ...),
// or a file that exists without --force: said, before anything is written.
bool Unwritable(const Options& options, const std::optional<std::string>& name,
                const std::optional<files::WriteTarget>& target, bool workbook)
{
    if (!target)
        return false;
    if (std::string refusal = files::RefusalOf(*target, workbook); !refusal.empty()) {
        Complain(CannotWriteMessage(*name, refusal));
        return true;
    }
    if (options.force || !files::IsReplaced(*target))
        return false;
    ComplainExists(*name);
    return true;
}

// Writes the export files the options ask for; false, having said why, when one
// fails. Without --force a file that appeared meanwhile is never replaced.
bool WriteExports(const Options& options, ExportTargets& targets, const KeptPlayers& players,
                  const files::KeptFiles& gameFiles)
{
    files::ReplaceMode mode = options.force ? files::ReplaceMode::Replace : files::ReplaceMode::Keep;
    for (bool workbook : {false, true}) {
        const std::optional<std::string>& name = workbook ? options.xlsx : options.csv;
        std::optional<files::WriteTarget>& target = workbook ? targets.xlsx : targets.csv;
        if (!target)
            continue;
        std::string reason;
        bool written = workbook ? WriteWorkbook(std::move(*target), players, reason, mode, gameFiles)
                                : WriteCsvPlayers(std::move(*target), players, reason, mode, gameFiles);
        if (written)
            continue;
        if (reason == files::TargetAppearedReason)
            ComplainExists(*name);
        else
            Complain(CannotWriteMessage(*name, reason));
        return false;
    }
    return true;
}

int Run(const Options& options)
{
    ExportTargets targets = TargetsOf(options);
    if (std::optional<std::string> problem = SameExportFile(options, targets)) {
        Complain(*problem);
        return ExitBadArguments;
    }
    std::optional<std::string> folder = options.folder ? options.folder : LoadGameFolder();
    PlayerRun run = RunPlayers({*options.first, *options.last, folder.value_or(std::string()), options.ordering});
    switch (run.outcome) {
    case RunOutcome::YearsOutOfRange:
        Complain(YearsOutOfRangeMessage);
        return ExitBadArguments;
    case RunOutcome::NoFolder:
        Complain("No game folder: give --folder DIR, or run where galvorfolder.txt names one.");
        return ExitBadArguments;
    case RunOutcome::CannotOpen:
        Complain(CannotOpenMessage(run.path, run.reason));
        return ExitFileProblem;
    case RunOutcome::CannotRead:
        Complain(CannotReadMessage(run.path, run.reason));
        return ExitFileProblem;
    case RunOutcome::Done:
        break;
    }
    const KeptPlayers& players = run.players;
    files::KeptFiles gameFiles = MasterFilesKept(folder.value_or(std::string()));
    if (std::optional<std::string> problem = GameFileTarget(options, targets, gameFiles)) {
        Complain(*problem);
        return ExitBadArguments;
    }
    if (Unwritable(options, options.csv, targets.csv, false) || Unwritable(options, options.xlsx, targets.xlsx, true))
        return ExitFileProblem;
    // The exports are written while the listing is put in order: on a million
    // players each takes about as long as the other. The listing is printed
    // only once they are complete.
    bool exported = false;
    std::exception_ptr exportFailure;
    std::vector<std::uint32_t> order;
    {
        std::jthread exporting([&] {
            try {
                exported = WriteExports(options, targets, players, gameFiles);
            } catch (...) {
                exportFailure = std::current_exception();
            }
        });
        // The lines are made again for printing rather than kept: a million of
        // them would double what the run holds.
        order = ListingOrder(players.size(), [&](std::size_t i, std::string& out) {
            AppendListingLine(out, players.at(i), players.ordering);
        });
    }
    if (exportFailure)
        std::rethrow_exception(exportFailure);
    if (!exported)
        return ExitFileProblem;

    OutputEncoding encoding = options.encoding.value_or(StandardOutputEncoding());
    bool eightBit = encoding == OutputEncoding::Ansi && StandardOutputIsEightBitTerminal();
    ListingPrinter printer(encoding);
    bool printed = printer.line(ListingHeader(options.ordering));
    std::string line;
    for (std::uint32_t i : order) {
        line.clear();
        AppendListingLine(line, WithControlCharactersShown(players.at(i), eightBit), players.ordering);
        printed = printed && printer.line(line);
    }
    printed = printed && printer.line(CountText(static_cast<std::int32_t>(players.size())));
    if (!printer.finish() || !printed) {
        Complain("Cannot write the listing to standard output.");
        return ExitFileProblem;
    }
    return ExitOk;
}

int Main(const std::vector<std::string>& arguments)
{
    files::LoadLibrariesFromSystemFolderOnly();
#ifdef _WIN32
    // LF line ends, as on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    static char outputBuffer[1 << 20];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    Options options;
    if (std::optional<std::string> problem = ParseArguments(arguments, options)) {
        Complain("veltrane-cli: " + *problem + " (see --help)");
        return ExitBadArguments;
    }
    if (options.help) {
        std::fputs(HelpText, stdout);
        return ExitOk;
    }
    if (options.version) {
        std::fputs("veltrane-cli " VELTRANE_VERSION "\n", stdout);
        return ExitOk;
    }
    try {
        return Run(options);
    } catch (const std::bad_alloc&) {
        Complain(OutOfMemoryMessage);
    } catch (const std::exception& failure) {
        Complain(std::string("veltrane-cli: ") + failure.what());
    }
    return ExitFileProblem;
}

}  // namespace

#ifdef _WIN32
// The arguments in the system's own characters: through the ANSI code page a
// character it lacks would become a look-alike, even a separator or a quote.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        std::optional<std::string> argument = files::Utf8Name(argv[i]);
        if (!argument) {
            Complain("veltrane-cli: argument " + std::to_string(i) +
                     " holds a character that is not text (a lone surrogate)");
            return ExitBadArguments;
        }
        arguments.push_back(*argument);
    }
    return Main(arguments);
}
#else
int main(int argc, char** argv)
{
    return Main(std::vector<std::string>(argv, argv + argc));
}
#endif
