#include "listing/LineLayout.h"

#include "listing/FixedWidth.h"
#include "masterfile/AttributeDecoding.h"

#include <cstring>
#include <string_view>

namespace {

constexpr int PlayerWidth = 22;
constexpr int UidWidth = 5;
constexpr int PositionWidth = 3;
constexpr int DobWidth = 12;
constexpr std::string_view HeaderTail =
    "B T POS Role DOB       DEBUT FINAL ARM ANGLE VEL  STYLE  OUTPITCH  C C C F F K P S S S S S ";
constexpr std::string_view NonPitcherFlags = "             ";  // one blank, then twelve
constexpr std::string_view NonPitcherExportFlags = ", , , , , , , , , , , ";

bool IsPitcher(const MasterPlayerRecord& record)
{
    return RoleLetter(record.role)[0] == 'P';
}

// Writes a line straight into the end of a string made long enough for the
// longest line the record can give, then trims it: one size check per line
// rather than one per piece, which keeps a million lines fast.
class LineWriter {
public:
    LineWriter(std::string& out, std::size_t longest) : out_(out)
    {
        std::size_t start = out.size();
        out.resize(start + longest);
        at_ = out.data() + start;
    }
    ~LineWriter() { out_.resize(static_cast<std::size_t>(at_ - out_.data())); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void put(char c) { *at_++ = c; }
    void put(std::string_view text)
    {
        std::memcpy(at_, text.data(), text.size());
        at_ += text.size();
    }
    void blanks(std::ptrdiff_t count)
    {
        if (count > 0) {
            std::memset(at_, ' ', static_cast<std::size_t>(count));
            at_ += count;
        }
    }
    void rightCell(std::string_view text, int width)
    {
        blanks(width - static_cast<std::ptrdiff_t>(text.size()));
        put(text);
    }
    char* position() const { return at_; }

private:
    std::string& out_;
    char* at_;
};

// Room for every fixed piece of either line, with a wide margin.
constexpr std::size_t FixedPiecesRoom = 192;

std::size_t LongestLine(const MasterPlayerRecord& record)
{
    // A quoted name may double every character.
    return FixedPiecesRoom + 2 * (record.firstName.size() + record.lastName.size());
}

void WriteUidPiece(LineWriter& line, std::int16_t uid)
{
    line.rightCell(NumberTextOf(uid).view(), UidWidth + 1);
    line.put(' ');
}

void WritePlayerCell(LineWriter& line, const MasterPlayerRecord& record)
{
    char* start = line.position();
    line.put(record.lastName);
    line.put(',');
    line.put(record.firstName);
    line.blanks(PlayerWidth - (line.position() - start));
}

// Arm angle, velocity, style and out pitch, each after the separator; then a
// pitcher's twelve flags, each after the separator, or the filler of every other role.
void WritePitchingColumns(LineWriter& line, const MasterPlayerRecord& record, char separator,
                          std::string_view nonPitcher)
{
    for (std::string_view text : {ArmAngleText(record.armAngle), GradeText(record.velocity),
                                  StyleText(record.style), PitchName(record.outPitch)}) {
        line.put(separator);
        line.put(text);
    }
    if (!IsPitcher(record)) {
        line.put(nonPitcher);
        return;
    }
    for (std::uint8_t flag : record.pitchFlags) {
        line.put(separator);
        line.put(FlagText(flag));
    }
}

// Everything after the UID and the player: the same in both orderings.
void WriteListingTail(LineWriter& line, const MasterPlayerRecord& record)
{
    line.put(HandLetter(record.bats));
    line.put(' ');
    line.put(HandLetter(record.throws));
    line.rightCell(NumberTextOf(record.position).view(), PositionWidth);
    line.put("   ");
    line.put(RoleLetter(record.role));
    line.rightCell(DobTextOf(record.birthMonth, record.birthDay, record.birthYear).view(), DobWidth);
    line.put(' ');
    line.put(MaskedNumberOf(record.debutYear, " 0000 ").view());
    line.put(MaskedNumberOf(record.finalYear, "0000 ").view());
    WritePitchingColumns(line, record, ' ', NonPitcherFlags);
}

// A spreadsheet runs a cell that begins with one of these as a formula.
bool StartsLikeAFormula(std::string_view field)
{
    return !field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos;
}

// first name, blank, last name. A name that would start a formula gets a
// single quote in front, so a spreadsheet shows it as text; then a name with
// a comma, a double quote, CR or LF is quoted whole, as RFC 4180 says.
void WriteNameField(LineWriter& line, const MasterPlayerRecord& record)
{
    auto needsQuotes = [](std::string_view text) {
        for (char c : text)
            if (c == ',' || c == '"' || c == '\r' || c == '\n')
                return true;
        return false;
    };
    std::string_view guard = StartsLikeAFormula(record.firstName.empty() ? " " : record.firstName) ? "'" : "";
    if (!needsQuotes(record.firstName) && !needsQuotes(record.lastName)) {
        line.put(guard);
        line.put(record.firstName);
        line.put(' ');
        line.put(record.lastName);
        return;
    }
    line.put('"');
    for (std::string_view part : {guard, std::string_view(record.firstName), std::string_view(" "),
                                  std::string_view(record.lastName)}) {
        for (char c : part) {
            if (c == '"')
                line.put('"');
            line.put(c);
        }
    }
    line.put('"');
}

}  // namespace

std::string ListingHeader(Ordering ordering)
{
    constexpr std::string_view UidLead = "  UID  ";
    constexpr std::string_view PlayerLead = " PLAYER               ";
    constexpr std::string_view NameLead = " PLAYER1               ";
    constexpr std::string_view NameUid = "  UID ";
    std::string header(ordering == Ordering::Uid ? UidLead : NameLead);
    header += ordering == Ordering::Uid ? PlayerLead : NameUid;
    header += HeaderTail;
    return header;
}

void AppendListingLine(std::string& out, const MasterPlayerRecord& record, Ordering ordering)
{
    LineWriter line(out, LongestLine(record));
    if (ordering == Ordering::Uid) {
        WriteUidPiece(line, record.uid);
        line.put(' ');
        WritePlayerCell(line, record);
    } else {
        WritePlayerCell(line, record);
        WriteUidPiece(line, record.uid);
    }
    WriteListingTail(line, record);
}

std::string ListingLine(const MasterPlayerRecord& record, Ordering ordering)
{
    std::string line;
    AppendListingLine(line, record, ordering);
    return line;
}

void AppendExportLine(std::string& out, const MasterPlayerRecord& record, Ordering ordering)
{
    LineWriter line(out, LongestLine(record));
    if (ordering == Ordering::Uid) {
        line.put(NumberTextOf(record.uid).view());
        line.put(',');
        WriteNameField(line, record);
    } else {
        WriteNameField(line, record);
        line.put(',');
        line.put(NumberTextOf(record.uid).view());
    }
    line.put(',');
    line.put(HandLetter(record.bats));
    line.put(',');
    line.put(HandLetter(record.throws));
    line.put(',');
    line.put(NumberTextOf(record.position).view());
    line.put(',');
    line.put(RoleLetter(record.role));
    line.put(',');
    line.put(DobTextOf(record.birthMonth, record.birthDay, record.birthYear).view());
    line.put(',');
    line.put(NumberTextOf(record.debutYear).view());
    line.put(',');
    line.put(NumberTextOf(record.finalYear).view());
    WritePitchingColumns(line, record, ',', NonPitcherExportFlags);
}

std::string ExportLine(const MasterPlayerRecord& record, Ordering ordering)
{
    std::string line;
    AppendExportLine(line, record, ordering);
    return line;
}

std::string CountText(std::int32_t count)
{
    return NumberText(count) + " Records qualified ";
}
