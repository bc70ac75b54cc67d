// The setup sheet: the four pages in their order, each working on a draft of the values
// it edits, with the hosts that carry the values into the running program.
#pragma once
#include <windows.h>

// Modal; positive when confirmed, 0 when dismissed, -1 when the sheet could not be made.
// The settings file is written whatever the outcome.
int OpenSetupSheet(HINSTANCE instance, HWND parent, int startPage);
