#pragma once
// One 94-byte record of the game's master player file, mastplyr.dat.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr std::size_t MasterRecordSize = 94;

// A record's bytes as the file holds them.
using MasterRecordBytes = std::array<unsigned char, MasterRecordSize>;

struct MasterPlayerRecord {
    std::int16_t status = 0;  // only 0 is a live record
    std::int16_t uid = 0;
    std::string firstName;  // texts as extracted: up to the first NUL, at most width - 1 bytes
    std::string lastName;
    std::string extraText;
    std::int16_t birthYear = 0;
    std::uint8_t birthMonth = 0;
    std::uint8_t birthDay = 0;
    std::int16_t debutYear = 0;
    std::int16_t finalYear = 0;
    std::uint8_t position = 0;
    std::uint8_t role = 0;
    std::uint8_t bats = 0;
    std::uint8_t throws = 0;
    std::uint8_t armAngle = 0;
    std::uint8_t velocity = 0;
    std::array<std::uint8_t, 12> pitchFlags{};
    std::uint8_t outPitch = 0;
    std::uint8_t style = 0;
};

// Byte offsets and widths of the record's fields; little-endian integers.
namespace MasterField {
inline constexpr std::size_t Status = 0;
inline constexpr std::size_t Uid = 2;
inline constexpr std::size_t FirstName = 4, FirstNameWidth = 14;
inline constexpr std::size_t LastName = 18, LastNameWidth = 16;
inline constexpr std::size_t ExtraText = 34, ExtraTextWidth = 32;
inline constexpr std::size_t BirthYear = 66;
inline constexpr std::size_t BirthMonth = 68;
inline constexpr std::size_t BirthDay = 69;
inline constexpr std::size_t DebutYear = 70;
inline constexpr std::size_t FinalYear = 72;
inline constexpr std::size_t Position = 74;
inline constexpr std::size_t Role = 75;
inline constexpr std::size_t Bats = 76;
inline constexpr std::size_t Throws = 77;
inline constexpr std::size_t ArmAngle = 78;
inline constexpr std::size_t Velocity = 79;
inline constexpr std::size_t PitchFlags = 80;
inline constexpr std::size_t OutPitch = 92;
inline constexpr std::size_t Style = 93;
}  // namespace MasterField

// Fills every field of record from the 94 bytes at bytes.
void DecodeMasterRecord(const unsigned char* bytes, MasterPlayerRecord& record);

// The three record tests: live status, a positive UID, and a last name that does
// not begin with one of [ \ ] ^ _ ` or a byte above "z".
bool isValidRecord(const MasterPlayerRecord& record);
