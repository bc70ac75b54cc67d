#pragma once
#include <windows.h>

// Registers the window classes, creates the main window and its panes, reads the settings,
// opens the device and shows the window. False when the main window cannot be created.
bool StartProgram(HINSTANCE instance, int showCommand);
