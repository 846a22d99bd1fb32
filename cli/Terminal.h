#pragma once
// Standard output as veltrane-cli writes the listing to it. Into a pipe or a
// file it gets the bytes the window holds; a terminal gets the characters it
// shows: UTF-8 where the locale is UTF-8, wide text on a Windows console.

#include <string_view>

enum class OutputEncoding { Ansi, Utf8, Console };

// What standard output is, as far as the listing is concerned.
OutputEncoding StandardOutputEncoding();

// Whether standard output is a terminal that takes bytes written as they are
// as its own 8-bit characters, among which 0x80 to 0x9F are controls (an
// ISO 8859 terminal). A Windows console shows them as its code page's.
bool StandardOutputIsEightBitTerminal();

// Writes text, held in the system's ANSI code page, to the console as wide
// characters; false when that fails. Windows only: elsewhere it always fails.
bool WriteConsoleText(std::string_view text);

// A message and a line end on standard error. On Windows the text is UTF-8: a
// console shows its characters; elsewhere it goes in the ANSI code page where
// that holds it exactly (so a message goes as it always has), and as UTF-8
// where it names a file whose name the code page lacks.
void WriteErrorLine(std::string_view text);
