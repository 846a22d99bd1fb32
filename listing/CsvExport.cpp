#include "listing/CsvExport.h"

#include "listing/Messages.h"
#include "listing/ProcessRun.h"
#include "listing/WorkbookExport.h"

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

namespace {

// Writes count lines, each followed by CR LF; lineAt(i, out) appends line i to out.
template <typename LineAt>
bool WriteCsv(files::WriteTarget target, std::size_t count, LineAt&& lineAt, std::string& reason,
              files::ReplaceMode mode, const files::KeptFiles& gameFiles)
{
    files::ReplacingWriter writer;
    bool written = writer.begin(std::move(target), mode, gameFiles);
    std::string line;
    for (std::size_t i = 0; written && i < count; ++i) {
        line.clear();
        lineAt(i, line);
        line += "\r\n";
        written = writer.write(line);
    }
    written = written && writer.commit();
    if (!written)
        reason = writer.failure();
    return written;
}

}  // namespace

bool WriteCsvLines(files::WriteTarget target, const std::vector<std::string>& lines, std::string& reason,
                   files::ReplaceMode mode, const files::KeptFiles& gameFiles)
{
    return WriteCsv(std::move(target), lines.size(), [&](std::size_t i, std::string& out) { out += lines[i]; },
                    reason, mode, gameFiles);
}

bool WriteCsvPlayers(files::WriteTarget target, const KeptPlayers& players, std::string& reason,
                     files::ReplaceMode mode, const files::KeptFiles& gameFiles)
{
    return WriteCsv(std::move(target), players.size(),
                    [&](std::size_t i, std::string& out) { AppendExportLine(out, players.at(i), players.ordering); },
                    reason, mode, gameFiles);
}

ExportTarget ExportTargetFor(const ExportChoice& choice)
{
    bool workbook = choice.workbookType || IsWorkbookName(choice.name);
    return {workbook ? WorkbookFileName(choice.name) : CsvFileName(choice.name), workbook};
}

void WriteCsvFile(ExportWindow& window)
{
    ExportChoice choice = window.askExportFile();
    if (choice.name.empty())
        return;
    ExportTarget target = ExportTargetFor(choice);
    // Resolved once: the export goes where the name leads now.
    files::WriteTarget where = files::TargetOf(target.path);
    files::KeptFiles gameFiles = MasterFilesKept(window.folderText());
    if (const files::KeptFile* game = files::KeptFileAt(where, gameFiles)) {
        window.showMessage(GameFileMessage(target.path, game->path));
        return;
    }
    if (std::string refusal = files::RefusalOf(where, target.workbook); !refusal.empty()) {
        window.showMessage(CannotWriteMessage(target.path, refusal));
        return;
    }
    // Only the file the user agreed to replace is replaced; one that appears
    // meanwhile is kept. A pipe or a device holds nothing to lose.
    files::ReplaceMode mode = files::ReplaceMode::Keep;
    if (files::IsReplaced(where)) {
        if (!window.askYesNo(ReplaceQuestion(target.path)))
            return;
        mode = files::ReplaceMode::Replace;
    }
    window.showWaitCursor();
    std::string reason;
    bool written = target.workbook ? WriteWorkbook(std::move(where), ExportPlayers, reason, mode, gameFiles)
                                   : WriteCsvLines(std::move(where), ExportLines, reason, mode, gameFiles);
    window.showArrowCursor();
    if (!written)
        window.showMessage(CannotWriteMessage(target.path, reason));
}
