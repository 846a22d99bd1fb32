#pragma once
// The kept players as a spreadsheet workbook (.xlsx), made with libxlsxwriter:
// one worksheet, "Players", whose bold first row names the columns, stays in
// view when scrolling and carries a filter; then one row per player in
// master-file order. UID, position, debut and final season are numbers; every
// other field is text in Unicode, trimmed of blanks, so that no spreadsheet
// turns "3/4" or a birth date into a date or runs a name as a formula.

#include "files/ReplacingWriter.h"
#include "files/WriteTarget.h"
#include "listing/PlayerRun.h"
#include "masterfile/MasterPlayerReader.h"

#include <cstddef>
#include <string>
#include <string_view>

// The rows a worksheet holds below its header.
inline constexpr std::size_t WorkbookMaxPlayers = 1048575;

// True when the name ends in ".xlsx", in any case.
bool IsWorkbookName(std::string_view name);
// The name with ".xlsx" added unless it already ends in it.
std::string WorkbookFileName(std::string_view chosen);

// Writes the workbook in place of the file the target is, only once it is
// complete, as read back (with ReplaceMode::Keep, only while there is none),
// and never over a game file. Returns false with the reason otherwise, in the
// system's words where it has them; the file is then as it was, with nothing
// left beside it.
bool WriteWorkbook(files::WriteTarget target, const KeptPlayers& players, std::string& reason,
                   files::ReplaceMode mode = files::ReplaceMode::Replace,
                   const files::KeptFiles& gameFiles = MasterFilesRead());
