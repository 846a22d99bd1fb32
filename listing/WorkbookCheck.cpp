#include "listing/WorkbookCheck.h"

#include "files/Files.h"

#include <zlib.h>

#include <algorithm>
#include <string_view>
#include <vector>

namespace workbookcheck {

namespace {

constexpr std::size_t Chunk = 1 << 18;

// Zip records (little-endian), each after its four-byte signature.
constexpr std::uint32_t LocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t CentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::size_t LocalHeaderRest = 26;  // version, flags, method, time, date, crc, sizes, name and extra lengths
constexpr std::size_t CentralHeaderRest = 42;
constexpr std::size_t EndRest = 18;
constexpr std::uint16_t Stored = 0;
constexpr std::uint16_t Deflated = 8;
constexpr std::uint16_t SizesAfterData = 1u << 3;

// The parts besides the worksheet, and the worksheet's head and tail, are
// small; one longer than this is not the library's.
constexpr std::size_t PartLimit = 16u << 20;

constexpr std::string_view RowsStart = "<sheetData>";
constexpr std::string_view RowsEnd = "</sheetData>";

std::uint32_t Crc(std::uint32_t crc, std::string_view bytes)
{
    while (!bytes.empty()) {
        auto size = static_cast<uInt>(std::min<std::size_t>(bytes.size(), 1u << 30));
        crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), size));
        bytes.remove_prefix(size);
    }
    return crc;
}

std::uint32_t Combined(std::uint32_t first, std::uint32_t second, std::uint64_t secondSize)
{
    return static_cast<std::uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(secondSize)));
}

std::uint16_t U16(std::string_view bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t U32(std::string_view bytes, std::size_t at)
{
    return U16(bytes, at) | static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

// The file's bytes in order, through a buffer.
class Source {
public:
    explicit Source(files::ReadOnlyFile& file) : file_(file) {}

    // Up to limit of the next bytes; empty at the end or on a read error.
    std::string_view some(std::uint64_t limit)
    {
        if (at_ == end_) {
            at_ = 0;
            end_ = file_.read(buffer_.data(), buffer_.size());
        }
        std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - at_, limit));
        std::string_view bytes(reinterpret_cast<const char*>(buffer_.data()) + at_, size);
        at_ += size;
        return bytes;
    }

    bool take(std::size_t size, std::string& out)
    {
        out.clear();
        while (out.size() < size) {
            std::string_view bytes = some(size - out.size());
            if (bytes.empty())
                return false;
            out.append(bytes);
        }
        return true;
    }

    bool atEnd() { return some(1).empty(); }

private:
    files::ReadOnlyFile& file_;
    std::vector<unsigned char> buffer_ = std::vector<unsigned char>(Chunk);
    std::size_t at_ = 0;
    std::size_t end_ = 0;
};

constexpr std::string_view Declaration = "<?xml ";
constexpr std::string_view Blanks = " \t\r\n";

// Whether a part is one XML document as the library writes them: its
// declaration first and nowhere else, then one root element in which every
// element opened is closed in order, then nothing. A write the library lost
// leaves a hole or bytes of another part, which break that (but for a hole
// of whole elements, which the rows' fingerprint rules out in the worksheet).
bool IsWholeDocument(std::string_view xml)
{
    if (!xml.starts_with(Declaration))
        return false;
    std::size_t at = xml.find("?>");
    if (at == std::string_view::npos)
        return false;
    std::vector<std::string_view> open;
    bool rootSeen = false;
    for (at += 2; at < xml.size();) {
        std::size_t tag = xml.find('<', at);
        std::string_view text = xml.substr(at, tag == std::string_view::npos ? std::string_view::npos : tag - at);
        if (open.empty() && text.find_first_not_of(Blanks) != std::string_view::npos)
            return false;
        if (tag == std::string_view::npos)
            break;
        // A tag ends at the first '>' outside quotes.
        std::size_t end = tag + 1;
        for (char quote = 0; end < xml.size() && (quote || xml[end] != '>'); ++end)
            quote = quote ? (xml[end] == quote ? 0 : quote) : (xml[end] == '"' || xml[end] == '\'' ? xml[end] : 0);
        if (end >= xml.size() || tag + 1 >= end)
            return false;
        std::string_view inside = xml.substr(tag + 1, end - tag - 1);
        bool closing = inside[0] == '/';
        bool empty = inside.back() == '/';
        std::string_view name = inside.substr(closing, inside.find_first_of(" \t\r\n/", closing) - closing);
        if (name.empty() || name[0] == '?' || name[0] == '!' || (open.empty() && rootSeen))
            return false;
        if (closing) {
            if (open.empty() || open.back() != name)
                return false;
            open.pop_back();
        } else if (!empty) {
            open.push_back(name);
        }
        rootSeen = true;
        at = end + 1;
    }
    return rootSeen && open.empty();
}

// One part as it inflates. A worksheet is taken as its head up to <sheetData>,
// the rows, which are only fingerprinted, and its tail; any other part whole.
class PartCheck {
public:
    PartCheck(bool sheet, const Fingerprint& rows) : sheet_(sheet), rows_(rows) {}

    void take(std::string_view bytes)
    {
        if (tooLong_)
            return;
        if (stage_ == Stage::Head) {
            std::size_t searched = head_.size() >= RowsStart.size() ? head_.size() - RowsStart.size() + 1 : 0;
            head_.append(bytes);
            std::size_t at = sheet_ ? head_.find(RowsStart, searched) : std::string::npos;
            if (at == std::string::npos) {
                tooLong_ = tooLong_ || head_.size() > PartLimit;
                return;
            }
            std::string rest = head_.substr(at + RowsStart.size());
            head_.resize(at + RowsStart.size());
            stage_ = Stage::Rows;
            take(rest);
            return;
        }
        if (stage_ == Stage::Rows) {
            std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), rows_.size - seenRows_.size));
            seenRows_.crc = Crc(seenRows_.crc, bytes.substr(0, size));
            seenRows_.size += size;
            bytes.remove_prefix(size);
            if (seenRows_.size < rows_.size)
                return;
            stage_ = Stage::Tail;
        }
        tail_.append(bytes);
        tooLong_ = tooLong_ || tail_.size() > PartLimit;
    }

    std::string finish(const Fingerprint& recorded) const
    {
        if (tooLong_)
            return "is longer than expected";
        std::uint32_t crc = Combined(Combined(Crc(0, head_), seenRows_.crc, seenRows_.size), Crc(0, tail_), tail_.size());
        if (recorded != Fingerprint{head_.size() + seenRows_.size + tail_.size(), crc})
            return "does not read back as recorded";
        if (sheet_ && (stage_ != Stage::Tail || seenRows_ != rows_ || tail_.compare(0, RowsEnd.size(), RowsEnd) != 0))
            return "does not hold every row written";
        if (!IsWholeDocument(sheet_ ? head_ + tail_ : head_))
            return "is not whole";
        return {};
    }

private:
    enum class Stage { Head, Rows, Tail };
    bool sheet_;
    Fingerprint rows_;
    Stage stage_ = Stage::Head;
    std::string head_;
    std::string tail_;
    Fingerprint seenRows_;
    bool tooLong_ = false;
};

struct InflateEnd {
    z_stream* stream;
    ~InflateEnd() { inflateEnd(stream); }
};

// Hands a part's stored or deflated bytes, size of them in the file, to part.
bool Unpack(Source& source, std::uint16_t method, std::uint64_t size, PartCheck& part)
{
    if (method == Stored) {
        for (std::string_view bytes; size > 0; size -= bytes.size()) {
            bytes = source.some(size);
            if (bytes.empty())
                return false;
            part.take(bytes);
        }
        return true;
    }
    if (method != Deflated)
        return false;
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    InflateEnd ending{&stream};
    std::vector<unsigned char> out(Chunk);
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (stream.avail_in == 0) {
            std::string_view bytes = source.some(size);
            if (bytes.empty())
                return false;
            size -= bytes.size();
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
            stream.avail_in = static_cast<uInt>(bytes.size());
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            return false;
        part.take(std::string_view(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out));
    }
    return stream.avail_in == 0 && size == 0;
}

}  // namespace

bool FingerprintOf(std::FILE* stream, Fingerprint& fingerprint, int& error)
{
    fingerprint = {};
    error = 0;
    std::rewind(stream);
    std::vector<char> buffer(Chunk);
    files::ClearLastSystemError();
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream)) {
        fingerprint.crc = Crc(fingerprint.crc, std::string_view(buffer.data(), got));
        fingerprint.size += got;
    }
    if (std::ferror(stream)) {
        error = files::LastSystemError();
        return false;
    }
    return true;
}

namespace {

std::string ZipFault(Source& source, const std::string& sheetPart, const Fingerprint& rows)
{
    std::string signature;
    std::string header;
    std::string name;
    std::size_t parts = 0;
    bool sheetSeen = false;
    while (source.take(4, signature) && U32(signature, 0) == LocalHeaderSignature) {
        if (!source.take(LocalHeaderRest, header))
            return "is cut short";
        std::uint16_t flags = U16(header, 2);
        std::uint16_t method = U16(header, 4);
        Fingerprint recorded{U32(header, 18), U32(header, 10)};
        std::uint64_t packed = U32(header, 14);
        std::string extra;
        if ((flags & SizesAfterData) || !source.take(U16(header, 22), name) || !source.take(U16(header, 24), extra))
            return "has a part the check does not know";
        bool sheet = name == sheetPart;
        PartCheck part(sheet, rows);
        if (!Unpack(source, method, packed, part))
            return "has a part that does not unpack: " + name;
        if (std::string fault = part.finish(recorded); !fault.empty())
            return "has a part that " + fault + ": " + name;
        sheetSeen = sheetSeen || sheet;
        ++parts;
    }
    std::size_t listed = 0;
    for (; signature.size() == 4 && U32(signature, 0) == CentralHeaderSignature; ++listed) {
        if (!source.take(CentralHeaderRest, header) ||
            !source.take(std::size_t{U16(header, 24)} + U16(header, 26) + U16(header, 28), name) ||
            !source.take(4, signature))
            return "is cut short";
    }
    if (signature.size() != 4 || U32(signature, 0) != EndSignature || !source.take(EndRest, header) ||
        !source.take(U16(header, 16), name) || !source.atEnd())
        return "is cut short";
    if (listed != parts || U16(header, 6) != parts)
        return "lists other parts than it holds";
    if (!sheetSeen)
        return "has no worksheet";
    return {};
}

}  // namespace

std::string WorkbookFault(const std::string& path, const std::string& sheetPart, const Fingerprint& rows,
                          int& readError)
{
    files::ReadOnlyFile file;
    files::OpenResult opened = file.openWritten(path);
    readError = opened.error;
    if (opened.outcome != files::OpenResult::Opened)
        return "cannot be read back: " + opened.reason;
    Source source(file);
    std::string fault = ZipFault(source, sheetPart, rows);
    readError = file.readError();
    if (readError != 0)
        return "cannot be read back: " + files::SystemErrorText(readError);
    return fault;
}

std::string WorkbookFault(const std::string& path, const std::string& sheetPart, const Fingerprint& rows)
{
    int readError = 0;
    return WorkbookFault(path, sheetPart, rows, readError);
}

}  // namespace workbookcheck
