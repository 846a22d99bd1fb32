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

}  // namespace

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

int ErrorMakingFileIn(const HeldFolder& folder, std::uint64_t bytes)
{
    std::intptr_t handle = SystemHandle::None;
    std::string probe;
    int code = 0;
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
        probe = TemporaryNameFor("probe");
        code = folder.createNew(probe, handle);
        if (!system::IsExistsError(code))
            break;
    }
    if (code != 0) {
        folder.remove(probe);  // made, perhaps, by a call that failed after
        return code;
    }
    code = system::Allocate(handle, bytes);
    if (code == 0)
        code = system::SyncAndClose(handle);
    else
        system::Close(handle);
    int removed = folder.remove(probe);
    return code != 0 ? code : removed;
}

}  // namespace files
