// Working dialogs of another process by control number: lists, buttons, confirming.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testbed {

// The entries of a combo box, in order.
std::vector<std::string> ListEntries(HWND dialog, int id);
// Chooses the first entry that begins with `text`; `notify` tells the dialog as a click
// would (the common dialogs act on it).
void ChooseEntry(HWND dialog, int id, const char* text, bool notify = false);
// A button that opens a modal dialog is clicked by a posted message: a sent one would not
// return until that dialog closed.
void PostClick(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// OK, then waits until the dialog has gone.
bool ConfirmDialog(HWND dialog);

}  // namespace testbed
