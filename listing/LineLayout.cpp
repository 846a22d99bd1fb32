#include "listing/LineLayout.h"

#include "listing/FixedWidth.h"
#include "masterfile/AttributeDecoding.h"

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
    return RoleLetter(record.role) == "P";
}

void AppendUidPiece(std::string& out, std::int16_t uid)
{
    AppendRightCell(out, NumberText(uid), UidWidth + 1);
    out += ' ';
}

void AppendPlayerCell(std::string& out, const MasterPlayerRecord& record)
{
    std::size_t start = out.size();
    out += record.lastName;
    out += ',';
    out += record.firstName;
    std::size_t length = out.size() - start;
    if (length < PlayerWidth)
        out.append(PlayerWidth - length, ' ');
}

// Everything after the UID and the player: the same in both orderings.
void AppendListingTail(std::string& out, const MasterPlayerRecord& record)
{
    out += HandLetter(record.bats);
    out += ' ';
    out += HandLetter(record.throws);
    AppendRightCell(out, NumberText(record.position), PositionWidth);
    out += "   ";
    out += RoleLetter(record.role);
    AppendRightCell(out, DobText(record.birthMonth, record.birthDay, record.birthYear), DobWidth);
    out += ' ';
    AppendMaskedNumber(out, record.debutYear, " 0000 ");
    AppendMaskedNumber(out, record.finalYear, "0000 ");
    out += ' ';
    out += ArmAngleText(record.armAngle);
    out += ' ';
    out += GradeText(record.velocity);
    out += ' ';
    out += StyleText(record.style);
    out += ' ';
    out += PitchName(record.outPitch);
    if (!IsPitcher(record)) {
        out += NonPitcherFlags;
        return;
    }
    for (std::uint8_t flag : record.pitchFlags) {
        out += ' ';
        out += FlagText(flag);
    }
}

void AppendNameField(std::string& out, const MasterPlayerRecord& record)
{
    auto needsQuotes = [](std::string_view text) { return text.find_first_of(",\"\r\n") != std::string_view::npos; };
    if (!needsQuotes(record.firstName) && !needsQuotes(record.lastName)) {
        out += record.firstName;
        out += ' ';
        out += record.lastName;
        return;
    }
    out += '"';
    for (std::string_view part : {std::string_view(record.firstName), std::string_view(" "),
                                  std::string_view(record.lastName)}) {
        for (char c : part) {
            if (c == '"')
                out += '"';
            out += c;
        }
    }
    out += '"';
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
    if (ordering == Ordering::Uid) {
        AppendUidPiece(out, record.uid);
        out += ' ';
        AppendPlayerCell(out, record);
    } else {
        AppendPlayerCell(out, record);
        AppendUidPiece(out, record.uid);
    }
    AppendListingTail(out, record);
}

std::string ListingLine(const MasterPlayerRecord& record, Ordering ordering)
{
    std::string line;
    AppendListingLine(line, record, ordering);
    return line;
}

void AppendExportLine(std::string& out, const MasterPlayerRecord& record, Ordering ordering)
{
    if (ordering == Ordering::Uid) {
        AppendNumberText(out, record.uid);
        out += ',';
        AppendNameField(out, record);
    } else {
        AppendNameField(out, record);
        out += ',';
        AppendNumberText(out, record.uid);
    }
    out += ',';
    out += HandLetter(record.bats);
    out += ',';
    out += HandLetter(record.throws);
    out += ',';
    AppendNumberText(out, record.position);
    out += ',';
    out += RoleLetter(record.role);
    out += ',';
    out += DobText(record.birthMonth, record.birthDay, record.birthYear);
    out += ',';
    AppendNumberText(out, record.debutYear);
    out += ',';
    AppendNumberText(out, record.finalYear);
    out += ',';
    out += ArmAngleText(record.armAngle);
    out += ',';
    out += GradeText(record.velocity);
    out += ',';
    out += StyleText(record.style);
    out += ',';
    out += PitchName(record.outPitch);
    if (!IsPitcher(record)) {
        out += NonPitcherExportFlags;
        return;
    }
    for (std::uint8_t flag : record.pitchFlags) {
        out += ',';
        out += FlagText(flag);
    }
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
