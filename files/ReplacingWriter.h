#pragma once
// Writes a new file beside the target and puts it in the target's place only
// when every byte is written and on the disk, so a failure never leaves a
// half-written file where a good one was, nor anything of its own beside it.

#include "files/FileIdentity.h"
#include "files/WriteTarget.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace files {

// Whether the new file may take the place of one already there when it is put in
// place. Keep refuses, so that a file that appeared meanwhile is never lost.
enum class ReplaceMode { Replace, Keep };

// The failure of a ReplaceMode::Keep writer whose target appeared meanwhile.
inline constexpr const char* TargetAppearedReason = "a file of that name appeared meanwhile, and is kept";

// The target is as TargetOf found it, and everything is done in the folder it
// holds: a link's file is replaced beside that file, the link kept; a stream
// is written in place, with no file beside it; what RefusalOf refuses fails
// begin() with that reason, nothing written. The new file, and whatever a
// library makes for it, are made in a folder of the writer's own inside the
// target's, which no other user may enter, so no name there can be swapped
// for a link meanwhile; that folder goes once the new file has left it. A
// replaced file's access (its mode and owner, natively its access list and
// other attributes; on Windows all that ReplaceFileW keeps) passes to the new
// one. Once the new file is in place its folder is put on the disk too, and
// only then is it written. Destroying an uncommitted writer removes
// everything it made.
class ReplacingWriter {
public:
    ReplacingWriter() = default;
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;
    ~ReplacingWriter() { abandon(); }

    // kept: files never written, however the target leads to them (the game's
    // files), asked as the writer begins and again just before the new file
    // takes its place.
    bool begin(WriteTarget target, ReplaceMode mode = ReplaceMode::Replace, const KeptFiles& kept = {});
    bool begin(const std::string& name, ReplaceMode mode = ReplaceMode::Replace, const KeptFiles& kept = {})
    {
        return begin(TargetOf(name), mode, kept);
    }
    bool write(std::string_view bytes);
    bool commit();
    void abandon();
    // For a library that writes the new file itself, by name: closes the file
    // begin() made and gives a name by which the library reaches it in the
    // writer's folder (empty for a stream, which has none). commit() then
    // takes it back.
    const std::string& handOver();
    // For such a library's temporary files: the writer's own folder, by a name
    // that reaches it as handOver's does. commit() removes everything else in
    // it before the new file takes its place, and fails if it cannot.
    const std::string& libraryFolder() const { return workName_; }
    // For a library that will need that many bytes more room than the
    // handed-over file, and would not notice their lack: makes that file that
    // long now, so a disk without the room, or a file-size limit, fails here
    // with the system's reason. The library's own (truncating) open of the
    // file then gives the room back to it.
    bool reserve(std::uint64_t bytes);
    // The writer's own folder, held (on the target's file system).
    const HeldFolder& folder() const { return work_; }
    // Abandons what was begun and gives the target back, for another try.
    WriteTarget takeTarget()
    {
        abandon();
        return std::move(target_);
    }
    // The system's text for the first failure.
    const std::string& failure() const { return failure_; }
    // With ReplaceMode::Keep: commit failed because the target had appeared.
    bool targetAppeared() const { return targetAppeared_; }

private:
    bool flush();
    bool fail(int code);
    bool failWith(const std::string& reason);
    bool makeWorkFolder();
    int removeWorkFolder();
    bool keptFileThere();
    bool putInPlace();
    bool failLeft();

    WriteTarget target_;
    KeptFiles kept_;
    HeldFolder work_;            // the writer's own folder
    std::string workEntry_;     // its name in the target's folder
    std::string workName_;       // its name for a library
    std::string temporaryName_;  // the new file's name for a library
    bool temporary_ = false;     // the new file is in the writer's folder
    std::string pending_;
    std::string failure_;
    SystemHandle handle_;
    ReplaceMode mode_ = ReplaceMode::Replace;
    bool stream_ = false;
    bool failed_ = false;
    bool targetAppeared_ = false;
};

}  // namespace files
