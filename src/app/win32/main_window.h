#pragma once
#include <windows.h>

constexpr UINT kClockTimerId = 38;
constexpr UINT kClockPeriodMs = 1000;
extern const char kMainClassName[];

bool RegisterMainClass(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK CallBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Places both panes from the ratio; runs on every size change and accepted drag step.
void LayoutPanes(HWND window);

// Starts the one-second clock, asking Retry or Cancel while the system refuses a timer.
bool StartClock(HWND window);

// The function-key button controls in key order.
extern const int kFKeyButtons[9];
