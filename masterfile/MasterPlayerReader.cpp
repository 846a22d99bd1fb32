#include "masterfile/MasterPlayerReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

namespace {

// Many records per system read; a whole number of records keeps them aligned.
constexpr std::size_t BufferSize = MasterRecordSize * 700;

std::mutex FilesReadLock;
files::KeptFiles FilesRead;

void RememberRead(const files::FileIdentity& identity, const std::string& path, files::SystemHandle held)
{
    std::lock_guard lock(FilesReadLock);
    if (!files::KeptFileFor(identity, FilesRead))
        FilesRead.push_back({identity, path, std::make_shared<files::SystemHandle>(std::move(held))});
}

}  // namespace

files::KeptFiles MasterFilesRead()
{
    std::lock_guard lock(FilesReadLock);
    return FilesRead;
}

files::KeptFiles MasterFilesKept(std::string_view folder)
{
    files::KeptFiles kept = MasterFilesRead();
    if (!folder.empty())
        if (std::optional<files::KeptFile> named = files::KeptFileNamed(files::JoinPath(folder, MasterFileName)))
            kept.push_back(*named);
    return kept;
}

files::OpenResult MasterPlayerReader::open(std::string_view folder)
{
    path_ = files::JoinPath(folder, MasterFileName);
    files::OpenResult result = file_.open(path_);
    if (std::optional<files::FileIdentity> opened = file_.identity())
        RememberRead(*opened, path_, file_.hold());
    buffer_.resize(BufferSize);
    bytes_ = buffer_.data();
    position_ = length_ = 0;
    exhausted_ = false;
    ended_ = result.outcome != files::OpenResult::Opened;
    return result;
}

void MasterPlayerReader::openBytes(const unsigned char* data, std::size_t size)
{
    file_.close();
    path_.clear();
    bytes_ = data;
    position_ = 0;
    length_ = size;
    exhausted_ = true;
    ended_ = false;
}

void MasterPlayerReader::refill()
{
    std::size_t left = length_ - position_;
    std::memmove(buffer_.data(), buffer_.data() + position_, left);
    position_ = 0;
    std::size_t want = buffer_.size() - left;
    std::size_t got = file_.isOpen() ? file_.read(buffer_.data() + left, want) : 0;
    length_ = left + got;
    exhausted_ = got < want;
}

std::string MasterPlayerReader::readFailure() const
{
    return readFailed() ? files::SystemErrorText(file_.readError()) : std::string();
}

void MasterPlayerReader::readNext(MasterPlayerRecord& record)
{
    if (length_ - position_ < MasterRecordSize && !exhausted_)
        refill();
    if (readFailed()) {
        // Nothing more of this file is trusted: the record is an empty one, never valid.
        current_.fill(0);
        DecodeMasterRecord(current_.data(), record);
        ended_ = true;
        return;
    }
    std::size_t take = std::min(length_ - position_, MasterRecordSize);
    current_.fill(0);
    std::copy_n(bytes_ + position_, take, current_.begin());
    position_ += take;
    DecodeMasterRecord(current_.data(), record);
    if (take < MasterRecordSize)
        ended_ = true;
}
