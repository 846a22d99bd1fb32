#include "listing/CsvExport.h"

#include "files/Files.h"
#include "listing/Messages.h"
#include "listing/ProcessRun.h"

namespace {

bool EndsWithCsv(std::string_view name)
{
    if (name.size() < 4)
        return false;
    std::string_view tail = name.substr(name.size() - 4);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return tail[0] == '.' && lower(tail[1]) == 'c' && lower(tail[2]) == 's' && lower(tail[3]) == 'v';
}

}  // namespace

std::string CsvFileName(std::string_view chosen)
{
    std::string name(chosen);
    if (!EndsWithCsv(name))
        name += ".CSV";
    return name;
}

bool WriteCsvLines(const std::string& path, const std::vector<std::string>& lines, std::string& reason)
{
    files::ReplacingWriter writer;
    bool written = writer.begin(path);
    for (std::size_t i = 0; written && i < lines.size(); ++i)
        written = writer.write(lines[i]) && writer.write("\r\n");
    written = written && writer.commit();
    if (!written)
        reason = writer.failure();
    return written;
}

void WriteCsvFile(ExportWindow& window)
{
    std::string chosen = window.askCsvFileName();
    if (chosen.empty())
        return;
    std::string path = CsvFileName(chosen);
    if (files::KindOf(path) == files::PathKind::File && !window.askYesNo(ReplaceQuestion(path)))
        return;
    std::string reason;
    if (!WriteCsvLines(path, ExportLines, reason))
        window.showMessage(CannotWriteMessage(path, reason));
}
