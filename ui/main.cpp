// Veltrane_V10.exe

#include "ui/Program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunVeltrane(instance);
}
