#pragma once
// Properties the fuzz targets check besides "no crash". A failed check aborts,
// which libFuzzer reports as a finding.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

// Splits one CSV line by RFC 4180; false when its quotes are not well formed.
inline bool SplitCsv(std::string_view line, std::vector<std::string>& fields)
{
    fields.assign(1, std::string());
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ',') {
            fields.emplace_back();
            wasQuoted = false;
        } else if (c == '"') {
            if (!fields.back().empty() || wasQuoted)
                return false;  // a quote inside an unquoted field
            quoted = wasQuoted = true;
        } else if (wasQuoted || c == '\r' || c == '\n') {
            return false;  // text after a closing quote, or a bare line end
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}
