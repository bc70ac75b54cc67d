#pragma once
#include <cstdint>

namespace zk {

struct Rect {
  int32_t left, top, right, bottom;
};

// Where the two panes go in the main window's client area. The splitter bar is the
// gap between rxTx.bottom and typing.top.
struct PaneLayout {
  Rect rxTx;
  Rect typing;
};

constexpr double kDefaultWinRatio = 0.5;

// A window rectangle moved onto `area` whole: cut to the area's size (an inverted one to
// none), then shifted no further than it takes to lie inside.
Rect PlaceInside(Rect window, Rect area);

// Brings a ratio read from the settings file or computed by a drag into 0..1; a NaN
// becomes the default.
double ClampWinRatio(double winratio);

// Panes below a button strip ending at buttonStripBottom: 7 pixels under the strip,
// a 4-pixel bar between the panes, 5 pixels at the bottom and at each side. The
// receive/transmit pane takes winratio of the height, truncated. A ratio outside
// 0..1 is clamped, and a window too small for the gaps gives panes of zero height,
// never negative ones.
PaneLayout ComputePaneLayout(int32_t clientRight, int32_t clientBottom, int32_t buttonStripBottom, double winratio);

// True on the bar: the 4 gap rows and the typing pane's top row, across the panes'
// width, both ends included.
bool OnSplitterBar(const PaneLayout& layout, int32_t x, int32_t y);

// A drag of the splitter bar with the mouse. Each move is measured from where the
// drag began, against the pane rectangles as they were then.
class SplitterDrag {
 public:
  // Starts a drag when none is in progress and the point is on the bar.
  bool Grab(const PaneLayout& layout, int32_t x, int32_t y);

  // Moves the bar to follow y. A move that would leave either pane shorter than its
  // line height + 2 is refused and changes nothing; an accepted one moves the two
  // pane edges, sets winratio to the new share of the receive/transmit pane and
  // returns true. A move to the starting row before any accepted move is a plain
  // click and changes nothing. A point above a captured window arrives as a y of
  // 65535 and is refused like any other move that squeezes the typing pane.
  bool Drag(int32_t y, int32_t rxLineHeight, int32_t typingLineHeight, PaneLayout& layout, double& winratio);

  // Ends a drag; false when none was in progress.
  bool Release();

  bool dragging() const { return dragging_; }

 private:
  bool dragging_ = false;
  bool moved_ = false;
  int32_t startY_ = 0;
  Rect savedRxTx_{};
  Rect savedTyping_{};
};

}  // namespace zk
