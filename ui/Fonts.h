#pragma once
// Fonts made from font strings, made once per string and kept for the life of
// the process.

#include <windows.h>

#include <string_view>

// nullptr for an empty face: the control keeps its default font.
HFONT CachedFont(std::string_view fontString);
