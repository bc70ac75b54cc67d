#include "app/layout.h"

#include <algorithm>
#include <cmath>

namespace zk {
namespace {

constexpr int64_t kGapAbovePanes = 7;
constexpr int64_t kBarHeight = 4;
constexpr int64_t kMargin = 5;
constexpr double kTruncNudge = 1e-9;

// Window coordinates are far inside 32 bits; the sums are done in 64 bits and
// saturated back so that absurd inputs cannot overflow.
int32_t Narrow(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

Rect PlaceInside(Rect window, Rect area) {
  const int64_t width = std::clamp<int64_t>(int64_t{window.right} - window.left, 0, int64_t{area.right} - area.left);
  const int64_t height = std::clamp<int64_t>(int64_t{window.bottom} - window.top, 0, int64_t{area.bottom} - area.top);
  const auto left = static_cast<int32_t>(std::clamp<int64_t>(window.left, area.left, area.right - width));
  const auto top = static_cast<int32_t>(std::clamp<int64_t>(window.top, area.top, area.bottom - height));
  return Rect{left, top, static_cast<int32_t>(left + width), static_cast<int32_t>(top + height)};
}

double ClampWinRatio(double winratio) {
  if (std::isnan(winratio)) return kDefaultWinRatio;
  return std::clamp(winratio, 0.0, 1.0);
}

PaneLayout ComputePaneLayout(int32_t clientRight, int32_t clientBottom, int32_t buttonStripBottom, double winratio) {
  const double ratio = ClampWinRatio(winratio);
  const int64_t top = int64_t{buttonStripBottom} + kGapAbovePanes;
  const int64_t height =
      std::max<int64_t>(0, int64_t{clientBottom} - buttonStripBottom - (kGapAbovePanes + kBarHeight + kMargin));
  // A drag stores the ratio as rxHeight / height; multiplied back it can land just
  // below the whole number (15 / 22 * 22 is 14.999...), which would move the bar up a
  // pixel on every drag step. The nudge is far below the 1e-6 steps of a saved ratio.
  const int64_t split = top + static_cast<int64_t>(static_cast<double>(height) * ratio + kTruncNudge);
  const int64_t right = std::max<int64_t>(int64_t{clientRight} - kMargin, kMargin);

  PaneLayout layout;
  layout.rxTx = {Narrow(kMargin), Narrow(top), Narrow(right), Narrow(split)};
  // Equal to clientBottom - 5 whenever the window is tall enough for the gaps.
  layout.typing = {Narrow(kMargin), Narrow(split + kBarHeight), Narrow(right), Narrow(top + height + kBarHeight)};
  return layout;
}

bool OnSplitterBar(const PaneLayout& layout, int32_t x, int32_t y) {
  return layout.rxTx.left <= x && x <= layout.rxTx.right && layout.rxTx.bottom <= y && y <= layout.typing.top;
}

bool SplitterDrag::Grab(const PaneLayout& layout, int32_t x, int32_t y) {
  if (dragging_ || !OnSplitterBar(layout, x, y)) return false;
  dragging_ = true;
  moved_ = false;
  startY_ = y;
  savedRxTx_ = layout.rxTx;
  savedTyping_ = layout.typing;
  return true;
}

bool SplitterDrag::Drag(int32_t y, int32_t rxLineHeight, int32_t typingLineHeight, PaneLayout& layout,
                        double& winratio) {
  if (!dragging_) return false;
  const int64_t dy = int64_t{y} - startY_;
  // A click sends no move worth acting on; recomputing the ratio from the rounded
  // pane heights would shift it slightly without the bar having moved.
  if (dy == 0 && !moved_) return false;
  const int64_t newRx = int64_t{savedRxTx_.bottom} - savedRxTx_.top + dy;
  const int64_t newTyping = int64_t{savedTyping_.bottom} - savedTyping_.top - dy;
  // Both panes keep at least 2 pixels even for a nonsense line height, so the ratio
  // below always divides by a positive sum and lands inside 0..1.
  if (newRx < std::max<int64_t>(rxLineHeight, 0) + 2 || newTyping < std::max<int64_t>(typingLineHeight, 0) + 2)
    return false;
  layout.rxTx.bottom = Narrow(savedRxTx_.bottom + dy);
  layout.typing.top = Narrow(savedTyping_.top + dy);
  winratio = static_cast<double>(newRx) / static_cast<double>(newRx + newTyping);
  moved_ = true;
  return true;
}

bool SplitterDrag::Release() {
  if (!dragging_) return false;
  dragging_ = false;
  return true;
}

}  // namespace zk
