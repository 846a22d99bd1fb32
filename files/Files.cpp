#include "files/Files.h"

#include "files/SystemFiles.h"

#include <atomic>

namespace files {

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
    return true;
}

namespace {

constexpr std::size_t WriteChunk = 1 << 16;

std::string TemporaryNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    return target + "." + std::to_string(system::ProcessId()) + "-" + std::to_string(++counter) + ".tmp";
}

}  // namespace

bool ReplacingWriter::begin(const std::string& target)
{
    abandon();
    target_ = target;
    temporary_ = TemporaryNameFor(target);
    failed_ = false;
    failure_.clear();
    pending_.clear();
    pending_.reserve(WriteChunk);
    int code = system::CreateNew(temporary_, handle_);
    if (code != 0) {
        temporary_.clear();
        return fail(code);
    }
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
    if (code == 0)
        code = system::ReplaceWith(temporary_, target_);
    if (code != 0)
        return fail(code);
    temporary_.clear();
    return true;
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
    if (!failed_) {
        failed_ = true;
        failure_ = SystemErrorText(code);
    }
    abandon();
    return false;
}

}  // namespace files
