#include "cli/Terminal.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <unistd.h>

OutputEncoding StandardOutputEncoding()
{
    if (!::isatty(STDOUT_FILENO))
        return OutputEncoding::Ansi;
    std::setlocale(LC_CTYPE, "");
    bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8 ? OutputEncoding::Utf8 : OutputEncoding::Ansi;
}

bool StandardOutputIsEightBitTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

bool WriteConsoleText(std::string_view)
{
    return false;
}

void WriteErrorLine(std::string_view text)
{
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}
