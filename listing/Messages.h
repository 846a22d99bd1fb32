#pragma once
// The texts of the program's messages.

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::string_view YearsOutOfRangeMessage = " Years are out of range for Veltrane ";

inline std::string CannotOpenMessage(std::string_view path, std::string_view reason)
{
    return "Cannot open \"" + std::string(path) + "\": " + std::string(reason);
}

inline std::string CannotWriteMessage(std::string_view path, std::string_view reason)
{
    return "Cannot write \"" + std::string(path) + "\": " + std::string(reason);
}

inline std::string ListFullMessage(std::int64_t listed, std::int64_t qualified)
{
    return "The list is full: " + std::to_string(listed) + " of " + std::to_string(qualified) + " players are listed.";
}

inline std::string ReplaceQuestion(std::string_view path)
{
    return "\"" + std::string(path) + "\" already exists. Replace it?";
}
