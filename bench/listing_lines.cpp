// listing_lines FOLDER uid|name: the listing lines of a run over every season
// from 1871 to 2024, in master-file order, one a line: the lines veltrane-cli
// sorts and prints into a file (a control character in a name shown as the
// currency sign), in the order it reads them. The benchmarks give them to
// GNU sort, so that it starts where veltrane-cli starts.

#include "listing/PlayerRun.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc != 3 || (std::string_view(argv[2]) != "uid" && std::string_view(argv[2]) != "name")) {
        std::fputs("usage: listing_lines FOLDER uid|name\n", stderr);
        return 2;
    }
    Ordering ordering = std::string_view(argv[2]) == "uid" ? Ordering::Uid : Ordering::Name;
    PlayerRun run = RunPlayers({"1871", "2024", argv[1], ordering});
    if (run.outcome != RunOutcome::Done) {
        std::fprintf(stderr, "listing_lines: cannot read the master file in %s %s\n", argv[1], run.reason.c_str());
        return 1;
    }
    std::string line;
    for (std::size_t i = 0; i < run.players.size(); ++i) {
        line.clear();
        AppendListingLine(line, run.players.at(i), ordering);
        // Only the names carry bytes from the file as they are.
        std::replace_if(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '\xA4');
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::ferror(stdout) || std::fflush(stdout) != 0 ? 1 : 0;
}
