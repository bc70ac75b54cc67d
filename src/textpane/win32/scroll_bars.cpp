#include "textpane/win32/scroll_bars.h"

int ScrollBars::Position(int bar) const {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_POS;
  GetScrollInfo(window_, bar, &info);
  return info.nPos;
}

void ScrollBars::SetRange(int bar, int max, UINT page, bool keptShown) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | (keptShown ? SIF_DISABLENOSCROLL : 0);
  info.nMin = 0;
  info.nMax = max;
  info.nPage = page;
  Set(bar, info);
}

void ScrollBars::Set(int bar, SCROLLINFO& info) {
  if (!deferred_) {
    SetScrollInfo(window_, bar, &info, TRUE);
    return;
  }
  SCROLLINFO before{};
  before.cbSize = sizeof before;
  before.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  GetScrollInfo(window_, bar, &before);
  SetScrollInfo(window_, bar, &info, FALSE);
  SCROLLINFO after = before;
  GetScrollInfo(window_, bar, &after);
  if (after.nMin != before.nMin || after.nMax != before.nMax || after.nPage != before.nPage ||
      after.nPos != before.nPos)
    (bar == SB_VERT ? verticalStale_ : horizontalStale_) = true;
}

void ScrollBars::EndUpdate() {
  deferred_ = false;
  if (!verticalStale_ && !horizontalStale_) return;
  const DWORD now = GetTickCount();
  const DWORD since = now - lastDraw_;
  if (since < kDrawIntervalMs) {
    if (!timerSet_) timerSet_ = SetTimer(window_, kTimer, kDrawIntervalMs - since, nullptr) != 0;
    if (timerSet_) return;
  }
  lastDraw_ = now;
  const int bars[2] = {SB_HORZ, SB_VERT};
  for (int bar : bars) {
    bool& stale = bar == SB_VERT ? verticalStale_ : horizontalStale_;
    if (!stale) continue;
    stale = false;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    GetScrollInfo(window_, bar, &info);
    SetScrollInfo(window_, bar, &info, TRUE);  // same position: only draws the bar
  }
}

void ScrollBars::OnTimer() {
  KillTimer(window_, kTimer);
  timerSet_ = false;
  EndUpdate();
}

std::pair<int, int> ScrollBars::Move(int bar, int code) {
  const bool vertical = bar == SB_VERT;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(window_, bar, &info);
  const int old = info.nPos;
  int pos = old;
  switch (code) {
    case SB_LINEUP: pos = old - 1; break;
    case SB_LINEDOWN: pos = old + 1; break;
    case SB_PAGEUP: pos = old - static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: pos = old + static_cast<int>(info.nPage); break;
    case SB_THUMBTRACK:
      if (vertical) pos = info.nTrackPos;
      break;
    case SB_THUMBPOSITION:
      if (!vertical) pos = info.nTrackPos;
      break;
    case SB_TOP:
      if (vertical) pos = info.nMin;
      break;
    case SB_BOTTOM:
      if (vertical) pos = info.nMax;
      break;
    default: break;
  }
  info.fMask = SIF_POS;
  info.nPos = pos;
  Set(bar, info);
  return {old, Position(bar)};
}
