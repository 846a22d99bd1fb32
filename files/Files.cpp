#include "files/Files.h"

#include "files/SystemFiles.h"

#include <algorithm>
#include <atomic>

namespace files {

namespace {

std::optional<ReadFailure> SimulatedReadFailure;

}  // namespace

void SimulateReadFailure(std::optional<ReadFailure> failure)
{
    SimulatedReadFailure = failure;
}

std::size_t ReadOnlyFile::allowedRead(std::size_t want)
{
    if (!SimulatedReadFailure)
        return want;
    std::uint64_t left = SimulatedReadFailure->afterBytes > bytesRead_ ? SimulatedReadFailure->afterBytes - bytesRead_ : 0;
    if (left == 0)
        readError_ = SimulatedReadFailure->error;
    return static_cast<std::size_t>(std::min<std::uint64_t>(want, left));
}

OpenResult ReadOnlyFile::open(const std::string& path)
{
    if (path.find_first_of("*?") != std::string::npos) {
        close();
        return {OpenResult::Failed, SystemErrorText(InvalidNameError()), InvalidNameError()};
    }
    return openWritten(path);
}

bool ReadFileStart(const std::string& path, std::size_t limit, std::string& bytes, std::string& reason)
{
    bytes.clear();
    ReadOnlyFile file;
    OpenResult opened = file.open(path);
    if (opened.outcome != OpenResult::Opened) {
        reason = opened.reason;
        return false;
    }
    bytes.resize(limit);
    std::size_t got = file.read(reinterpret_cast<unsigned char*>(bytes.data()), limit);
    bytes.resize(got);
    if (file.readError() != 0) {
        reason = SystemErrorText(file.readError());
        return false;
    }
    return true;
}

namespace {

constexpr std::size_t WriteChunk = 1 << 16;
// A temporary name left by a killed program with our process id is skipped.
constexpr int TemporaryNameTries = 100;

std::string Base36(unsigned long value)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36]);
        value /= 36;
    } while (value != 0);
    return digits;
}

// Where the last part of a path, the file's own name, begins.
std::size_t NameStart(const std::string& path)
{
#ifdef _WIN32
    std::size_t separator = path.find_last_of("\\/:");
#else
    std::size_t separator = path.find_last_of('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

// How much of the system's limit on a name's length a character of that many
// UTF-8 bytes takes: UTF-16 units on Windows, bytes elsewhere.
std::size_t NameLimitUnits(std::size_t bytes)
{
#ifdef _WIN32
    return bytes == 4 ? 2 : 1;
#else
    return bytes;
#endif
}

// The target's name with a mark of this process and call ("~<pid>-<n>.tmp",
// base 36) in place of its end, so that it is no longer than the target's own
// name: a name the target may have, the temporary one may have too. A name
// shorter than the mark gets it added.
std::string TemporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "literal" + std::string.
    std::string mark = "~";
    mark += Base36(system::ProcessId());
    mark += '-';
    mark += Base36(++counter);
    mark += ".tmp";
    // Whole characters off the end until the mark fits in the room they leave.
    std::size_t start = NameStart(target);
    std::size_t kept = target.size();
    std::size_t room = 0;
    while (kept > start && room < mark.size()) {
        std::size_t character = kept - 1;
        while (character > start && (target[character] & 0xC0) == 0x80)
            --character;
        room += NameLimitUnits(kept - character);
        kept = character;
    }
    if (room < mark.size())
        kept = target.size();
    return target.substr(0, kept) + mark;
}

}  // namespace

int ErrorMakingFileIn(const std::string& folder, std::uint64_t bytes)
{
    std::intptr_t handle = -1;
    std::string probe;
    int code = 0;
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        probe = TemporaryNameFor(JoinPath(folder, "probe"));
        code = system::CreateNew(probe, handle);
        if (!system::IsExistsError(code))
            break;
    }
    if (code != 0)
        return code;
    code = system::Allocate(handle, bytes);
    if (code == 0)
        code = system::SyncAndClose(handle);
    else
        system::CloseQuietly(handle);
    system::RemoveQuietly(probe);
    return code;
}

bool IsWrittenInPlace(TargetKind kind)
{
    return kind == TargetKind::Pipe || kind == TargetKind::Device;
}

bool IsWrittenInPlace(const WriteTarget& target)
{
    return target.descriptor >= 0 || IsWrittenInPlace(target.kind);
}

bool IsReplaced(const WriteTarget& target)
{
    return target.kind == TargetKind::File && target.descriptor < 0;
}

std::string RefusalOf(const WriteTarget& target, bool wholeFile)
{
    if (target.descriptor >= 0)
        return wholeFile ? "it is this program's own output, not a file of its own: a workbook is written only to a "
                           "file"
                         : "";
    switch (target.kind) {
    case TargetKind::Missing:
    case TargetKind::File:
        return {};
    case TargetKind::Pipe:
    case TargetKind::Device:
        if (!wholeFile)
            return {};
        return std::string("it is a ") + (target.kind == TargetKind::Pipe ? "pipe" : "device") +
               ", not a file: a workbook is written only to a file";
    case TargetKind::Folder:
        return "it is a folder";
    case TargetKind::BlockDevice:
        return "it is a block device (a disk), not a file";
    case TargetKind::Socket:
        return "it is a socket, not a file";
    case TargetKind::DanglingLink:
        return "it is a link to \"" + target.linkedTo + "\", where there is nothing; Veltrane writes through "
               "a link only to a file that exists";
    case TargetKind::Unreachable:
        return target.refusal.empty() ? SystemErrorText(target.error) : target.refusal;
    }
    return "it is not a file";
}

namespace {

constexpr const char* KeptFileReason = "it leads to the game's file, which Veltrane never writes";

}  // namespace

bool ReplacingWriter::begin(const std::string& target, ReplaceMode mode, const std::string& kept)
{
    abandon();
    system::FailWritesPastSizeLimit();
    mode_ = mode;
    failed_ = false;
    targetAppeared_ = false;
    stream_ = false;
    deviceName_.clear();
    failure_.clear();
    pending_.clear();
    pending_.reserve(WriteChunk);
    WriteTarget where = TargetOf(target);
    if (std::string refusal = RefusalOf(where, false); !refusal.empty())
        return failWith(refusal);
    target_ = where.path;
    kept_ = kept;
    deviceName_ = where.deviceName;
    if (!kept_.empty() && !IsWrittenInPlace(where) && SameFile(target_, kept_))
        return failWith(KeptFileReason);
    // Where nothing was there, whatever appears meanwhile is kept.
    if (where.kind == TargetKind::Missing)
        mode_ = ReplaceMode::Keep;
    if (IsWrittenInPlace(where)) {
        stream_ = true;
        int code = where.descriptor >= 0 ? system::DuplicateDescriptor(where.descriptor, handle_)
                                         : system::OpenInPlace(target_, handle_);
        return code == 0 || fail(code);
    }
    int code = 0;
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        temporary_ = TemporaryNameFor(target_);
        code = system::CreateNew(temporary_, handle_);
        if (!system::IsExistsError(code))
            break;
    }
    if (code != 0) {
        temporary_.clear();
        return fail(code);
    }
    if (where.kind == TargetKind::File)
        system::KeepAccessOf(target_, handle_);
    return true;
}

bool ReplacingWriter::write(std::string_view bytes)
{
    if (failed_ || handle_ == -1)
        return false;
    pending_.append(bytes);
    return pending_.size() < WriteChunk || flush();
}

bool ReplacingWriter::flush()
{
    int code = system::WriteAll(handle_, pending_.data(), pending_.size());
    pending_.clear();
    return code == 0 || fail(code);
}

const std::string& ReplacingWriter::handOver()
{
    if (stream_)
        failWith("it is written as it comes, with no file to hand over");
    if (!failed_ && handle_ != -1 && flush()) {
        int code = system::SyncAndClose(handle_);
        handle_ = -1;
        if (code != 0)
            fail(code);
    }
    return temporary_;
}

bool ReplacingWriter::commit()
{
    if (stream_) {
        if (failed_ || handle_ == -1 || !flush())
            return false;
        int code = system::Close(handle_);
        handle_ = -1;
        return code == 0 || fail(code);
    }
    if (failed_ || temporary_.empty())
        return false;
    if (handle_ == -1) {
        if (int code = system::OpenExisting(temporary_, handle_)) {
            handle_ = -1;
            return fail(code);
        }
    }
    if (!flush())
        return false;
    int code = system::SyncAndClose(handle_);
    handle_ = -1;
    if (code == 0 && !kept_.empty() && SameFile(target_, kept_))
        return failWith(KeptFileReason);
    if (code == 0 && mode_ == ReplaceMode::Replace) {
        code = system::ReplaceWith(temporary_, target_);
    } else if (code == 0) {
        code = system::MoveNoReplace(temporary_, target_);
        targetAppeared_ = system::IsExistsError(code);
        // Taken by something the system shows as nothing (under Wine, a link
        // that leads nowhere): said as it is, not as a file that exists.
        if (targetAppeared_ && TargetOf(target_).kind == TargetKind::Missing) {
            targetAppeared_ = false;
            return failWith("there is something of that name that is not a file (a link that leads nowhere?)");
        }
    }
    if (code != 0)
        return fail(code);
    temporary_.clear();
    return true;
}

bool ReplacingWriter::reserve(std::uint64_t bytes)
{
    if (failed_ || temporary_.empty() || handle_ != -1)
        return false;
    if (int code = system::OpenExisting(temporary_, handle_)) {
        handle_ = -1;
        return fail(code);
    }
    int code = system::Allocate(handle_, bytes);
    system::CloseQuietly(handle_);
    handle_ = -1;
    return code == 0 || fail(code);
}

void ReplacingWriter::abandon()
{
    if (handle_ != -1) {
        system::CloseQuietly(handle_);
        handle_ = -1;
    }
    if (!temporary_.empty()) {
        system::RemoveQuietly(temporary_);
        temporary_.clear();
    }
}

bool ReplacingWriter::fail(int code)
{
    // "CON.csv" does not look like a device; the message says it is one.
    if (!deviceName_.empty())
        return failWith("it names the device " + deviceName_ + ": " + SystemErrorText(code));
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
