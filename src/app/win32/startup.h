#pragma once
#include <windows.h>

// Registers the window classes, creates the main window and its panes, reads the settings,
// opens the device and shows the window. False when the main window cannot be created.
bool StartProgram(HINSTANCE instance, int showCommand);

// Writes "Zktty.ini" into the start folder, with the main window's normal place.
void WriteSettings();
