#pragma once
// One run over the master file, the same for the window and the command line:
// the years checked, then every qualifying player kept in file order. The
// front ends show the result and hand it to the export writers.

#include "listing/LineLayout.h"
#include "masterfile/MasterPlayerRecord.h"

#include <string>
#include <string_view>
#include <vector>

struct RunRequest {
    std::string_view firstYearText;
    std::string_view lastYearText;
    std::string_view folder;
    Ordering ordering = Ordering::Name;
};

// The kept players as the file holds them: 94 bytes each, decoded again by
// whatever shows or writes them.
struct KeptPlayers {
    Ordering ordering = Ordering::Name;
    std::vector<MasterRecordBytes> records;
    std::string masterFile;  // the path they were read from

    std::size_t size() const { return records.size(); }
    MasterPlayerRecord at(std::size_t index) const;
};

// CannotRead: a read failed before the end of the file; nothing is kept.
enum class RunOutcome { Done, YearsOutOfRange, NoFolder, CannotOpen, CannotRead };

struct PlayerRun {
    RunOutcome outcome = RunOutcome::Done;
    std::string path;    // the master file, once the years passed
    std::string reason;  // the system's text, for CannotOpen and CannotRead
    KeptPlayers players;
};

// Checks both years against 1869 and the current year, refuses an empty
// folder, then reads the whole master file once and closes it.
PlayerRun RunPlayers(const RunRequest& request);
