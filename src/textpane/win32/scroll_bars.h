// A pane's two scroll bars, drawn no more often than the eye needs.
#pragma once
#include <windows.h>

#include <utility>

// Under Wine every scroll-bar redraw takes several milliseconds, and one view update can
// set the vertical bar three times (range, position to the end, range again); text
// arriving at 115200 baud kept the window thread busy redrawing bars. Between
// BeginUpdate and EndUpdate the bars take their new values without drawing; a bar that
// changed is drawn at the end, but no more often than every kDrawIntervalMs, the last
// change by the window's timer kTimer.
class ScrollBars {
 public:
  static constexpr UINT_PTR kTimer = 1;
  static constexpr DWORD kDrawIntervalMs = 50;

  void Attach(HWND window) { window_ = window; }
  // SB_VERT or SB_HORZ.
  int Position(int bar) const;
  // The range 0 to `max` with a page of `page`; a bar `keptShown` is disabled rather
  // than hidden when everything fits.
  void SetRange(int bar, int max, UINT page, bool keptShown);
  // Moves a bar by a scroll code and returns its position before and after (the bar limits
  // the position). The vertical bar tracks its thumb and knows top and bottom; the
  // horizontal one moves when its thumb is released.
  std::pair<int, int> Move(int bar, int code);

  void BeginUpdate() { deferred_ = true; }
  void EndUpdate();
  // The window's timer kTimer went off.
  void OnTimer();

 private:
  void Set(int bar, SCROLLINFO& info);

  HWND window_ = nullptr;
  bool deferred_ = false;  // inside a view update: bars drawn at its end
  bool verticalStale_ = false;
  bool horizontalStale_ = false;
  bool timerSet_ = false;
  DWORD lastDraw_ = 0;
};
