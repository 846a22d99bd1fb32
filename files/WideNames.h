#pragma once
// Windows only: the program's UTF-8 names and texts as the system's wide
// characters, and back.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace files {

// The wide form of a UTF-8 name; nothing when the bytes are not UTF-8.
std::optional<std::wstring> WideName(std::string_view utf8);
// The UTF-8 form of a name the system gave; nothing when it holds a lone
// surrogate, which UTF-8 cannot carry.
std::optional<std::string> Utf8Name(std::wstring_view wide);

// For texts shown to the user: a byte that is not UTF-8 shows as U+FFFD.
std::wstring WideText(std::string_view utf8);
std::string Utf8Text(std::wstring_view wide);

// The system's full path of a name (GetFullPathNameW): "." and ".." and
// what Windows drops at a name's end taken away; empty where it has none.
std::wstring FullPathOf(const std::wstring& name);
// Where an open file's links and junctions lead (a HANDLE), as a full path,
// with the long-path prefix only where it is needed; empty where the system
// cannot say.
std::wstring FinalPathOf(void* file);
// Whether two names are the same, as the file system compares them (case ignored).
bool SameText(const std::wstring& a, const std::wstring& b);
// Whether the program runs under Wine.
bool UnderWine();

// The HANDLE (a void*) a SystemHandle holds.
inline void* AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<void*>(handle);
}

}  // namespace files
