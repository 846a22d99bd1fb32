// make-master: writes a synthetic mastplyr.dat for tests, benchmarks and the demo.

#include "tools/SampleMaster.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

int Usage(const char* problem)
{
    if (problem)
        std::fprintf(stderr, "make-master: %s\n", problem);
    std::fprintf(stderr,
                 "usage: make-master --out FILE [--records N] [--last-season YEAR] [--seed N]\n"
                 "                   [--repeated-names] [--one-player]\n"
                 "Writes N made-up player records (default 23000) with careers from 1871 to\n"
                 "YEAR (default: the current year). The same options give the same bytes.\n"
                 "--repeated-names draws names from a few hundred and UIDs from a few\n"
                 "thousand, so that many players share both, as in merged databases.\n"
                 "--one-player writes one valid player N times over.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    SampleOptions options;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string_view option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--repeated-names" || option == "--one-player") {
            (option == "--one-player" ? options.onePlayer : options.repeatedNames) = true;
            continue;
        }
        if (!value)
            return Usage(option == "--help" ? nullptr : "unknown or incomplete option");
        ++i;
        if (option == "--out")
            out = value;
        else if (option == "--records")
            options.records = std::strtoll(value, nullptr, 10);
        else if (option == "--last-season")
            options.lastSeason = std::atoi(value);
        else if (option == "--seed")
            options.seed = std::strtoull(value, nullptr, 10);
        else
            return Usage("unknown option");
    }
    if (!out)
        return Usage("--out is required");
    if (options.records < 0 || (options.lastSeason != 0 && (options.lastSeason < 1871 || options.lastSeason > 32767)))
        return Usage("bad --records or --last-season");

    std::FILE* file = std::fopen(out, "wb");
    if (!file) {
        std::perror(out);
        return 1;
    }
    bool ok = true;
    GenerateSampleMaster(options, [&](std::string_view piece) {
        ok = ok && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    });
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::perror(out);
        return 1;
    }
    return 0;
}
