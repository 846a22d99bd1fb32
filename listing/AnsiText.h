#pragma once
// The program holds its texts as the game writes them: bytes of the system's
// ANSI code page. Where they leave the program as Unicode (a workbook, a UTF-8
// terminal) they become the characters the window shows: by the system's ANSI
// code page in the Windows build, as Windows-1252 natively, where its five
// unassigned bytes keep their own code points, as Windows does.

#include <string>
#include <string_view>

std::string Utf8FromAnsi(std::string_view text);

// Whether a byte shows as a control character: C0, DEL, or a byte the code
// page maps to C1 (U+0080 to U+009F), as Windows-1252 does its five unassigned ones.
bool IsControlInAnsi(unsigned char byte);
