#pragma once
// The life of the process: start-up, the message loop and the exit code.

#include <windows.h>

#include <string>

// Loads a rich edit library from the system folder, if one is there; returns
// its window class name ("RICHEDIT20A" or "RICHEDIT"), or empty.
std::string LoadRichEditLibrary();

// Runs the message loop until the main window is gone, offering every message
// to the dialog keyboard interface first (Tab, Alt+letter, Enter, Esc).
void RunMessageLoop();

// Everything from start to exit; the exit code, always 0.
int RunVeltrane(HINSTANCE instance);
