#include "files/ReplacingWriter.h"

#include "files/Files.h"
#include "files/SystemFiles.h"

namespace files {

namespace {

constexpr std::size_t WriteChunk = 1 << 16;
// A temporary name left by a killed program with our process id is skipped.
constexpr int TemporaryNameTries = 100;

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
    int code = 0;
    std::intptr_t handle = SystemHandle::None;
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        temporary_ = TemporaryNameFor(target_.name);
        code = target_.folder.createNew(temporary_, handle);
        if (!system::IsExistsError(code))
            break;
    }
    if (code != 0) {
        // A file system can make a file and still fail the call (under Wine,
        // the server in what it asks afterwards): the name is ours alone.
        target_.folder.remove(temporary_);
        temporary_.clear();
        return fail(code);
    }
    handle_.reset(handle);
    if (target_.kind == TargetKind::File)
        if (int kept = system::KeepAccess(target_, handle_.get()); kept != 0)
            return fail(kept);
    return true;
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
    temporaryLibraryName_ = failed_ ? std::string() : target_.folder.nameFor(temporary_);
    return temporaryLibraryName_;
}

const std::string& ReplacingWriter::libraryFolder()
{
    if (failed_ || stream_ || !libraryFolder_.empty())
        return libraryFolderName_;
    int code = 0;
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        libraryFolder_ = TemporaryNameFor(target_.name);
        code = target_.folder.makeFolder(libraryFolder_);
        if (!system::IsExistsError(code))
            break;
    }
    if (code != 0) {
        target_.folder.removeFolder(libraryFolder_);
        libraryFolder_.clear();
        fail(code);
        return libraryFolderName_;
    }
    libraryFolderName_ = target_.folder.nameFor(libraryFolder_);
    return libraryFolderName_;
}

int ReplacingWriter::removeLibraryFolder()
{
    if (libraryFolder_.empty())
        return 0;
    int code = target_.folder.removeFolder(libraryFolder_);
    if (code == 0) {
        libraryFolder_.clear();
        libraryFolderName_.clear();
    }
    return code;
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
    if (failed_ || temporary_.empty())
        return false;
    if (!handle_.isOpen()) {
        std::intptr_t handle = SystemHandle::None;
        if (int code = target_.folder.openExisting(temporary_, handle))
            return fail(code);
        handle_.reset(handle);
    }
    if (!flush())
        return false;
    if (int code = system::SyncAndClose(handle_.release()))
        return fail(code);
    if (int code = removeLibraryFolder())
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
    // one is still at hand until the folder is on the disk.
    int exchanged = replace ? folder.exchange(temporary_, target_.name) : HeldFolder::NoExchange;
    if (exchanged == 0) {
        // The new name is on the disk only once its folder is; till then a
        // power cut could bring back the old file. Where that fails, the old
        // file comes back in place.
        if (int code = folder.sync(target_.name)) {
            if (folder.exchange(temporary_, target_.name) != 0)
                temporary_.clear();  // the old file stays by that name rather than go
            return fail(code);
        }
        if (folder.remove(temporary_) == 0) {
            temporary_.clear();
            return true;
        }
        // An old file that cannot be removed goes back, to be dropped by the
        // rename below, which removes nothing by name.
        if (int code = folder.exchange(temporary_, target_.name)) {
            temporary_.clear();
            return fail(code);
        }
    }
    if (exchanged != 0 && exchanged != HeldFolder::NoExchange && !system::IsMissingError(exchanged))
        return fail(exchanged);
    if (int code = folder.rename(temporary_, target_.name, replace)) {
        targetAppeared_ = !replace && system::IsExistsError(code);
        if (targetAppeared_ && system::TakenByNothing(target_)) {
            // Taken by something the system shows as nothing (under Wine, a
            // link that leads nowhere): said as it is, not as a file that exists.
            targetAppeared_ = false;
            return failWith("there is something of that name that is not a file (a link that leads nowhere?)");
        }
        return targetAppeared_ ? failWith(TargetAppearedReason) : fail(code);
    }
    temporary_.clear();
    if (int code = folder.sync(target_.name)) {
        // A new file that may not outlast a power cut goes again, as there
        // was none; a replaced one cannot come back, and stays.
        if (!replace)
            folder.remove(target_.name);
        return fail(code);
    }
    return true;
}

bool ReplacingWriter::reserve(std::uint64_t bytes)
{
    if (failed_ || temporary_.empty() || handle_.isOpen())
        return false;
    std::intptr_t handle = SystemHandle::None;
    if (int code = target_.folder.openExisting(temporary_, handle))
        return fail(code);
    int code = system::Allocate(handle, bytes);
    // Closed before a failure removes it: Windows removes no open file.
    int closed = system::Close(handle);
    return (code == 0 && closed == 0) || fail(code != 0 ? code : closed);
}

void ReplacingWriter::abandon()
{
    handle_.reset();
    if (!temporary_.empty()) {
        target_.folder.remove(temporary_);
        temporary_.clear();
    }
    removeLibraryFolder();
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
