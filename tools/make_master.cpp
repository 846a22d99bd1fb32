// make-master: writes a synthetic mastplyr.dat for tests, benchmarks and the demo.

#include "tools/SampleMaster.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage(const char* problem)
{
    if (problem)
        std::fprintf(stderr, "make-master: %s\n", problem);
    std::fprintf(stderr,
                 "usage: make-master --out FILE [--records N] [--last-season YEAR] [--seed N]\n"
                 "Writes N made-up player records (default 23000) with careers from 1871 to\n"
                 "YEAR (default: the current year). The same options give the same bytes.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    SampleOptions options;
    const char* out = nullptr;
    for (int i = 1; i < argc; i += 2) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (std::strcmp(argv[i], "--out") == 0 && value)
            out = value;
        else if (std::strcmp(argv[i], "--records") == 0 && value)
            options.records = std::strtoll(value, nullptr, 10);
        else if (std::strcmp(argv[i], "--last-season") == 0 && value)
            options.lastSeason = std::atoi(value);
        else if (std::strcmp(argv[i], "--seed") == 0 && value)
            options.seed = std::strtoull(value, nullptr, 10);
        else
            return Usage(std::strcmp(argv[i], "--help") == 0 ? nullptr : "unknown or incomplete option");
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
