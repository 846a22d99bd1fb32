#pragma once
// Form1, the program's one window: its controls with their fonts, colours and
// proportional layout, and the routing of their notifications to the commands.

#include <windows.h>

// Registers the window class (once) and creates Form1; nullptr when that failed.
HWND CreateForm1(HINSTANCE instance);

// The main window while it exists.
HWND Form1();
// The main window while it is the active window, else nullptr.
HWND ActiveForm();
// A control of the main window by its identifier.
HWND ControlOf(int id);
