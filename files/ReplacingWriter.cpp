#include "files/ReplacingWriter.h"

#include "files/Files.h"
#include "files/SystemFiles.h"

namespace files {

namespace {

constexpr std::size_t WriteChunk = 1 << 16;
// A temporary name left by a killed program with our process id is skipped.
constexpr int TemporaryNameTries = 100;
// The new file's name in the writer's own folder, short for the long paths
// a library's calls cannot take.
constexpr const char* NewFile = "new";

constexpr const char* KeptFileReason = "it leads to the game's file, which Veltrane never writes";

}  // namespace

bool ReplacingWriter::begin(WriteTarget target, ReplaceMode mode, const KeptFiles& kept)
{
    abandon();
    system::FailWritesPastSizeLimit();
    mode_ = mode;
    failed_ = false;
    targetAppeared_ = false;
    stream_ = false;
    failure_.clear();
    pending_.clear();
    pending_.reserve(WriteChunk);
    target_ = std::move(target);
    kept_ = kept;
    if (std::string refusal = RefusalOf(target_, false); !refusal.empty())
        return failWith(refusal);
    if (KeptFileAt(target_, kept_))
        return failWith(KeptFileReason);
    // Where nothing was there, whatever appears meanwhile is kept.
    if (target_.kind == TargetKind::Missing)
        mode_ = ReplaceMode::Keep;
    if (IsWrittenInPlace(target_)) {
        stream_ = true;
        std::intptr_t handle = SystemHandle::None;
        int code = system::OpenInPlace(target_, handle);
        handle_.reset(handle);
        return code == 0 || fail(code);
    }
    if (!makeWorkFolder())
        return false;
    std::intptr_t handle = SystemHandle::None;
    int code = work_.createNew(NewFile, handle);
    temporary_ = true;  // even a failed create can leave one: the folder is ours alone
    if (code != 0)
        return fail(code);
    handle_.reset(handle);
    if (target_.kind == TargetKind::File)
        if (int kept = system::KeepAccess(target_, handle_.get()); kept != 0)
            return fail(kept);
    return true;
}

bool ReplacingWriter::makeWorkFolder()
{
    int code = 0;
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        workEntry_ = TemporaryNameFor(target_.name);
        code = target_.folder.makeFolder(workEntry_);
        if (!system::IsExistsError(code))
            break;
    }
    if (code == 0)
        code = work_.openIn(target_.folder, workEntry_);
    if (code != 0) {
        // A file system can make a folder and still fail the call (under
        // Wine, the server in what it asks afterwards): the name is ours alone.
        target_.folder.removeFolder(workEntry_);
        workEntry_.clear();
        return fail(code);
    }
    workName_ = work_.nameFor({});
    return true;
}

int ReplacingWriter::removeWorkFolder()
{
    if (workEntry_.empty())
        return 0;
    // The file it made by name first, should the folder not be listed.
    if (work_.isOpen())
        work_.remove(NewFile);
    work_ = HeldFolder();
    int code = target_.folder.removeFolder(workEntry_);
    if (code == 0) {
        workEntry_.clear();
        workName_.clear();
        temporary_ = false;
    }
    return code;
}

bool ReplacingWriter::write(std::string_view bytes)
{
    if (failed_ || !handle_.isOpen())
        return false;
    pending_.append(bytes);
    return pending_.size() < WriteChunk || flush();
}

bool ReplacingWriter::flush()
{
    int code = system::WriteAll(handle_.get(), pending_.data(), pending_.size());
    pending_.clear();
    return code == 0 || fail(code);
}

const std::string& ReplacingWriter::handOver()
{
    if (stream_)
        failWith("it is written as it comes, with no file to hand over");
    if (!failed_ && handle_.isOpen() && flush()) {
        int code = system::SyncAndClose(handle_.release());
        if (code != 0)
            fail(code);
    }
    temporaryName_ = failed_ || !temporary_ ? std::string() : work_.nameFor(NewFile);
    return temporaryName_;
}

bool ReplacingWriter::keptFileThere()
{
    FileIdentity there;
    return !kept_.empty() && target_.folder.identityOf(target_.name, there) == 0 && KeptFileFor(there, kept_);
}

bool ReplacingWriter::commit()
{
    if (stream_) {
        if (failed_ || !handle_.isOpen() || !flush())
            return false;
        int code = system::Close(handle_.release());
        return code == 0 || fail(code);
    }
    if (failed_ || !temporary_)
        return false;
    if (!handle_.isOpen()) {
        std::intptr_t handle = SystemHandle::None;
        if (int code = work_.openExisting(NewFile, handle))
            return fail(code);
        handle_.reset(handle);
    }
    if (!flush())
        return false;
    if (int code = system::SyncAndClose(handle_.release()))
        return fail(code);
    // What a library left in the writer's folder goes before anything is
    // replaced, so that nothing stays if it cannot.
    if (int code = work_.removeAllBut(NewFile))
        return fail(code);
    if (keptFileThere())
        return failWith(KeptFileReason);
    // Windows replaces no file that is open, even by us for its identity alone.
    target_.existing.reset();
    return putInPlace();
}

bool ReplacingWriter::putInPlace()
{
    const HeldFolder& folder = target_.folder;
    bool replace = mode_ == ReplaceMode::Replace;
    // Natively the new file and the old one are exchanged, so that the old
    // one is still at hand, in the writer's folder, until the target's folder
    // is on the disk and the old file has gone.
    int exchanged = replace ? work_.exchange(NewFile, folder, target_.name) : HeldFolder::NoExchange;
    if (exchanged == 0) {
        // The new name is on the disk only once its folder is; till then a
        // power cut could bring back the old file. Where that fails, or the
        // old file cannot be removed, the old file comes back in place.
        int code = folder.sync(target_.name);
        if (code == 0)
            code = work_.remove(NewFile);
        if (code != 0) {
            if (work_.exchange(NewFile, folder, target_.name) != 0)
                workEntry_.clear();  // the old file stays in the writer's folder rather than go
            return fail(code);
        }
        return removeWorkFolder() == 0 || failLeft();
    }
    if (exchanged != HeldFolder::NoExchange && !system::IsMissingError(exchanged))
        return fail(exchanged);
    if (int code = work_.move(NewFile, folder, target_.name, replace)) {
        targetAppeared_ = !replace && system::IsExistsError(code);
        if (targetAppeared_ && system::TakenByNothing(target_)) {
            // Taken by something the system shows as nothing (under Wine, a
            // link that leads nowhere): said as it is, not as a file that exists.
            targetAppeared_ = false;
            return failWith("there is something of that name that is not a file (a link that leads nowhere?)");
        }
        return targetAppeared_ ? failWith(TargetAppearedReason) : fail(code);
    }
    temporary_ = false;
    if (int code = folder.sync(target_.name)) {
        // A new file that may not outlast a power cut goes again, as there
        // was none; a replaced one cannot come back, and stays.
        if (!replace)
            folder.remove(target_.name);
        return fail(code);
    }
    return removeWorkFolder() == 0 || failLeft();
}

bool ReplacingWriter::failLeft()
{
    // The new file is in place and on the disk: what failed is only the
    // writer's own folder, empty but for what a removal refused.
    std::string left = JoinPath(target_.folder.path(), workEntry_);
    int code = removeWorkFolder();
    if (code == 0)
        return true;
    workEntry_.clear();
    return failWith("it is written, but Veltrane's folder " + left + " beside it could not be removed: " +
                    SystemErrorText(code));
}

bool ReplacingWriter::reserve(std::uint64_t bytes)
{
    if (failed_ || !temporary_ || handle_.isOpen())
        return false;
    std::intptr_t handle = SystemHandle::None;
    if (int code = work_.openExisting(NewFile, handle))
        return fail(code);
    int code = system::Allocate(handle, bytes);
    // Closed before a failure removes it: Windows removes no open file.
    int closed = system::Close(handle);
    return (code == 0 && closed == 0) || fail(code != 0 ? code : closed);
}

void ReplacingWriter::abandon()
{
    handle_.reset();
    if (!workEntry_.empty())
        removeWorkFolder();
}

bool ReplacingWriter::fail(int code)
{
    // "CON.csv" does not look like a device; the message says it is one.
    if (!target_.deviceName.empty())
        return failWith("it names the device " + target_.deviceName + ": " + SystemErrorText(code));
    return failWith(SystemErrorText(code));
}

bool ReplacingWriter::failWith(const std::string& reason)
{
    if (!failed_) {
        failed_ = true;
        failure_ = reason;
    }
    abandon();
    return false;
}

}  // namespace files
