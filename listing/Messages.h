#pragma once
// The texts of the program's messages.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

inline constexpr std::string_view YearsOutOfRangeMessage = " Years are out of range for Veltrane ";
inline constexpr std::string_view OutOfMemoryMessage = "There is not enough memory to finish this. Try fewer seasons.";
inline constexpr std::string_view NoGameFolderMessage =
    "No game folder: type it in the Galvor Folder box or choose it with Change Galvor Folder.";

// The parts one after another. (Built by appending: GCC 12 at -O3 warns
// falsely about "literal" + std::string.)
inline std::string Joined(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (std::string_view part : parts)
        text += part;
    return text;
}

inline std::string CannotOpenMessage(std::string_view path, std::string_view reason)
{
    return Joined({"Cannot open \"", path, "\": ", reason});
}

inline std::string CannotReadMessage(std::string_view path, std::string_view reason)
{
    return Joined({"Cannot read \"", path, "\": ", reason});
}

inline std::string CannotWriteMessage(std::string_view path, std::string_view reason)
{
    return Joined({"Cannot write \"", path, "\": ", reason});
}

inline std::string ListFullMessage(std::int64_t listed, std::int64_t qualified)
{
    return Joined({"The list is full: ", std::to_string(listed), " of ", std::to_string(qualified),
                   " players are listed."});
}

inline std::string ReplaceQuestion(std::string_view path)
{
    return Joined({"\"", path, "\" already exists. Replace it?"});
}

inline std::string GameFileMessage(std::string_view path, std::string_view masterFile)
{
    return Joined({"\"", path, "\" is the game's file (", masterFile,
                   "): Veltrane never writes to it. Choose another name."});
}
