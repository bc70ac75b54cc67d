// A report-view list of another process, read and double-clicked from outside: its item
// messages carry pointers, so they point into memory lent by that process.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testbed {

// Each row's cells, left to right.
std::vector<std::vector<std::string>> ListRows(HWND list);
// Presses, releases, double-clicks and releases the left button on a row; false when the
// row is not there.
bool DoubleClickRow(HWND list, int row);

}  // namespace testbed
