#include "masterfile/MasterPlayerRecord.h"

#include <cstring>

namespace {

std::int16_t Int16At(const unsigned char* bytes, std::size_t offset)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8)));
}

// The last byte of a text field is never part of the text, so a field without
// a NUL still gives width - 1 bytes.
void TextAt(const unsigned char* bytes, std::size_t offset, std::size_t width, std::string& text)
{
    const unsigned char* start = bytes + offset;
    const void* nul = std::memchr(start, 0, width - 1);
    std::size_t length = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - start) : width - 1;
    text.assign(reinterpret_cast<const char*>(start), length);
}

}  // namespace

void DecodeMasterRecord(const unsigned char* bytes, MasterPlayerRecord& record)
{
    using namespace MasterField;
    record.status = Int16At(bytes, Status);
    record.uid = Int16At(bytes, Uid);
    TextAt(bytes, FirstName, FirstNameWidth, record.firstName);
    TextAt(bytes, LastName, LastNameWidth, record.lastName);
    TextAt(bytes, ExtraText, ExtraTextWidth, record.extraText);
    record.birthYear = Int16At(bytes, BirthYear);
    record.birthMonth = bytes[BirthMonth];
    record.birthDay = bytes[BirthDay];
    record.debutYear = Int16At(bytes, DebutYear);
    record.finalYear = Int16At(bytes, FinalYear);
    record.position = bytes[Position];
    record.role = bytes[Role];
    record.bats = bytes[Bats];
    record.throws = bytes[Throws];
    record.armAngle = bytes[ArmAngle];
    record.velocity = bytes[Velocity];
    std::memcpy(record.pitchFlags.data(), bytes + PitchFlags, record.pitchFlags.size());
    record.outPitch = bytes[OutPitch];
    record.style = bytes[Style];
}

bool isValidRecord(const MasterPlayerRecord& record)
{
    if (record.status != 0 || record.uid <= 0)
        return false;
    // The raw field's first byte: the text's first byte, or 0 when the text is empty.
    unsigned char first = record.lastName.empty() ? 0 : static_cast<unsigned char>(record.lastName[0]);
    return !((first > 'Z' && first < 'a') || first > 'z');
}
