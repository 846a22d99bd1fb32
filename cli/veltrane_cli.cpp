// veltrane-cli: the Process run and the CSV export for scripts and batch use.
// It prints what the window lists, in the window's order, and writes the same
// export file as Write CSV File.

#include "files/Files.h"
#include "listing/LineLayout.h"
#include "listing/ListingOrder.h"
#include "listing/Messages.h"
#include "listing/PlayerSelection.h"
#include "listing/YearText.h"
#include "settings/GameFolderSetting.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFileProblem = 1;
constexpr int ExitBadArguments = 2;

constexpr const char* HelpText =
    "usage: veltrane-cli [--folder DIR] --first YEAR --last YEAR [--order uid|name]\n"
    "                    [--csv FILE [--force]]\n"
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
    "  --force          replace FILE if it exists\n"
    "  --help           this text\n"
    "\n"
    "Exit codes: 0 done; 1 the master file or FILE could not be read or written\n"
    "(nothing is printed then); 2 years out of range or bad arguments.\n";

struct Options {
    std::optional<std::string> folder;
    std::optional<std::string> first;
    std::optional<std::string> last;
    Ordering ordering = Ordering::Name;
    std::optional<std::string> csv;
    bool force = false;
    bool help = false;
};

void Complain(std::string_view message)
{
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
}

// Returns a problem's text, or nothing when the arguments are good.
std::optional<std::string> ParseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view name = argv[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
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
                                                                 : nullptr;
        if (!target && name != "--order")
            return "unknown argument " + std::string(name);
        if (i + 1 >= argc)
            return std::string(name) + " needs a value";
        std::string value = argv[++i];
        if (target) {
            *target = value;
        } else if (value == "uid" || value == "name") {
            options.ordering = value == "uid" ? Ordering::Uid : Ordering::Name;
        } else {
            return "--order is uid or name, not " + value;
        }
    }
    if (!options.help && (!options.first || !options.last))
        return std::string("--first and --last are required");
    return std::nullopt;
}

// Listing lines kept in large blocks: a million lines cost no reallocation peaks.
class LineStore {
public:
    template <typename Append>
    void add(Append&& append)
    {
        if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < MaxLine) {
            blocks_.emplace_back();
            blocks_.back().reserve(BlockSize);
        }
        std::string& block = blocks_.back();
        std::size_t start = block.size();
        append(block);
        places_.push_back({blocks_.size() - 1, start, block.size() - start});
    }

    std::vector<std::string_view> views() const
    {
        std::vector<std::string_view> lines;
        lines.reserve(places_.size());
        for (const Place& place : places_)
            lines.emplace_back(blocks_[place.block].data() + place.start, place.length);
        return lines;
    }

private:
    static constexpr std::size_t BlockSize = 1 << 22;
    static constexpr std::size_t MaxLine = 512;  // longer than any listing line
    struct Place {
        std::size_t block, start, length;
    };
    std::vector<std::string> blocks_;
    std::vector<Place> places_;
};

bool PrintLine(std::string_view line)
{
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fputc('\n', stdout) != EOF;
}

int Run(const Options& options)
{
    int currentYear = files::CurrentYear();
    std::optional<std::int16_t> first = YearFromText(*options.first);
    std::optional<std::int16_t> last = YearFromText(*options.last);
    if (!IsAcceptedYear(first, currentYear) || !IsAcceptedYear(last, currentYear)) {
        Complain(YearsOutOfRangeMessage);
        return ExitBadArguments;
    }

    std::optional<std::string> folder = options.folder ? options.folder : LoadGameFolder();
    if (!folder || folder->empty()) {
        Complain("No game folder: give --folder DIR, or run where galvorfolder.txt names one.");
        return ExitBadArguments;
    }

    files::ReplacingWriter csv;
    if (options.csv) {
        if (files::KindOf(*options.csv) == files::PathKind::File && !options.force) {
            Complain("\"" + *options.csv + "\" already exists. Give --force to replace it.");
            return ExitFileProblem;
        }
        if (!csv.begin(*options.csv)) {
            Complain(CannotWriteMessage(*options.csv, csv.failure()));
            return ExitFileProblem;
        }
    }

    LineStore listing;
    std::string exportLine;
    Selection selection = SelectPlayers(*folder, {*first, *last}, [&](const MasterPlayerRecord& record) {
        listing.add([&](std::string& out) { AppendListingLine(out, record, options.ordering); });
        if (options.csv) {
            exportLine.clear();
            AppendExportLine(exportLine, record, options.ordering);
            exportLine += "\r\n";
            csv.write(exportLine);
        }
    });
    if (selection.opened.outcome != files::OpenResult::Opened) {
        Complain(CannotOpenMessage(selection.path, selection.opened.reason));
        return ExitFileProblem;
    }
    if (options.csv && !csv.commit()) {
        Complain(CannotWriteMessage(*options.csv, csv.failure()));
        return ExitFileProblem;
    }

    std::vector<std::string_view> lines = listing.views();
    SortListing(lines);
    bool printed = PrintLine(ListingHeader(options.ordering));
    for (std::string_view line : lines)
        printed = printed && PrintLine(line);
    printed = printed && PrintLine(CountText(static_cast<std::int32_t>(lines.size())));
    if (std::fflush(stdout) != 0 || !printed) {
        Complain("Cannot write the listing to standard output.");
        return ExitFileProblem;
    }
    return ExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    files::LoadLibrariesFromSystemFolderOnly();
#ifdef _WIN32
    // LF line ends, as on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    static char outputBuffer[1 << 20];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    Options options;
    if (std::optional<std::string> problem = ParseArguments(argc, argv, options)) {
        Complain("veltrane-cli: " + *problem + " (see --help)");
        return ExitBadArguments;
    }
    if (options.help) {
        std::fputs(HelpText, stdout);
        return ExitOk;
    }
    return Run(options);
}
