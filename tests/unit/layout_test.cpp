#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "app/layout.h"

namespace zk {
namespace {

constexpr int32_t kRight = 400, kBottom = 300, kStrip = 40;  // kStrip: the button strip's bottom
constexpr int32_t kRxLine = 14, kTypingLine = 16;

std::string Show(const PaneLayout& l) {
  std::string out;
  for (const Rect& r : {l.rxTx, l.typing})
    for (int32_t v : {r.left, r.top, r.right, r.bottom}) out += std::to_string(v) + " ";
  return out;
}

std::string Layout(double ratio, int32_t bottom = kBottom, int32_t right = kRight) {
  return Show(ComputePaneLayout(right, bottom, kStrip, ratio));
}

TEST(WindowPlace, MovedInsideTheAreaWholeAndNoFurtherThanNeeded) {
  const Rect area{0, 30, 1280, 1000};
  const std::pair<Rect, std::string> places[] = {{{3000, 2000, 3600, 2470}, "680 530 1280 1000 "},
                                                 {{-900, -900, -300, -400}, "0 30 600 530 "},
                                                 {{100, 50, 700, 520}, "100 50 700 520 "},
                                                 {{-10, 0, 2000, 2000}, "0 30 1280 1000 "},
                                                 {{500, 500, 400, 400}, "500 500 500 500 "}};
  for (const auto& [window, placed] : places) {
    const Rect r = PlaceInside(window, area);
    std::string shown;
    for (int32_t v : {r.left, r.top, r.right, r.bottom}) shown += std::to_string(v) + " ";
    EXPECT_EQ(shown, placed);
  }
}

TEST(PaneLayout, RatioGapsAndMargins) {
  const struct {
    double ratio;
    int32_t bottom, right;
    const char* layout;
  } cases[] = {
      // Height 300 - 40 - 16 = 244: the receive pane gets the truncated share.
      {kDefaultWinRatio, kBottom, kRight, "5 47 395 169 5 173 395 295 "},
      {kDefaultWinRatio, kBottom + 1, kRight, "5 47 395 169 5 173 395 296 "},
      {0.3, kBottom, kRight, "5 47 395 120 5 124 395 295 "},  // 73 of 244
      {0.3, 700, 800, "5 47 795 240 5 244 795 695 "},         // 193 of 644
      {1.7, kBottom, kRight, "5 47 395 291 5 295 395 295 "},
      {-0.2, kBottom, kRight, "5 47 395 47 5 51 395 295 "},
      {std::nan(""), kBottom, kRight, "5 47 395 169 5 173 395 295 "},  // the default
  };
  for (const auto& c : cases) EXPECT_EQ(Layout(c.ratio, c.bottom, c.right), c.layout) << c.ratio;
  // Shorter than the gaps and narrower than the margins: never a negative size.
  for (int32_t bottom = 0; bottom < kStrip + 20; ++bottom) {
    const PaneLayout l = ComputePaneLayout(6, bottom, kStrip, 0.5);
    for (const Rect& r : {l.rxTx, l.typing}) EXPECT_TRUE(r.bottom >= r.top && r.right >= r.left) << bottom;
  }
}

class SplitterDragTest : public ::testing::Test {
 protected:
  PaneLayout layout = ComputePaneLayout(kRight, kBottom, kStrip, kDefaultWinRatio);
  const std::string start = Show(layout);
  double ratio = kDefaultWinRatio;
  SplitterDrag drag;

  bool MoveTo(int32_t y) { return drag.Drag(y, kRxLine, kTypingLine, layout, ratio); }
};

TEST_F(SplitterDragTest, GrabsOnlyOnTheBarOnceAndAClickChangesNothing) {
  // The bar: the gap and the typing pane's top row, across the panes, ends included.
  for (int32_t y = 169; y <= 173; ++y) EXPECT_TRUE(OnSplitterBar(layout, 5, y) && OnSplitterBar(layout, 395, y)) << y;
  EXPECT_FALSE(OnSplitterBar(layout, 200, 174) || OnSplitterBar(layout, 200, 168) || OnSplitterBar(layout, 4, 170) ||
               OnSplitterBar(layout, 396, 170));

  EXPECT_FALSE(MoveTo(150) || drag.Release());  // no drag yet
  EXPECT_FALSE(drag.Grab(layout, 200, 168));
  EXPECT_TRUE(drag.Grab(layout, 200, 171));
  EXPECT_FALSE(drag.Grab(layout, 200, 170));
  EXPECT_FALSE(MoveTo(171));
  EXPECT_TRUE(drag.Release());
  EXPECT_FALSE(drag.dragging() || MoveTo(150));
  EXPECT_EQ(Show(layout), start);
  EXPECT_EQ(ratio, kDefaultWinRatio);

  // Back at the start after a real move, the saved rectangles come back.
  ASSERT_TRUE(drag.Grab(layout, 200, 171));
  EXPECT_TRUE(MoveTo(190));
  EXPECT_TRUE(MoveTo(171));
  EXPECT_EQ(Show(layout), start);
  EXPECT_EQ(ratio, 0.5);
}

TEST_F(SplitterDragTest, StopsBeforeEitherPaneGetsTooSmall) {
  // The typing pane starts 122 high and must stay at least 16 + 2.
  ASSERT_TRUE(drag.Grab(layout, 200, 170));
  EXPECT_FALSE(MoveTo(275));
  EXPECT_TRUE(MoveTo(274));
  const std::string stopped = Show(layout);
  EXPECT_EQ(stopped, "5 47 395 273 5 277 395 295 ");
  EXPECT_DOUBLE_EQ(ratio, 226.0 / 244.0);
  for (int32_t refused : {65535, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()})
    EXPECT_FALSE(MoveTo(refused)) << refused;  // 65535: above the window while captured
  EXPECT_EQ(Show(layout), stopped);
  EXPECT_TRUE(drag.Release());
  EXPECT_EQ(Layout(ratio), stopped);

  // The receive/transmit pane can shrink to 14 + 2, measured from where this drag began.
  ASSERT_TRUE(drag.Grab(layout, 200, 275));
  EXPECT_FALSE(MoveTo(64));
  EXPECT_TRUE(MoveTo(65));
  EXPECT_EQ(Show(layout), "5 47 395 63 5 67 395 295 ");
  EXPECT_TRUE(MoveTo(130));
  EXPECT_TRUE(drag.Release());
  EXPECT_NEAR(ratio, 81.0 / 244.0, 1e-12);
  EXPECT_EQ(Layout(ratio), Show(layout));
}

TEST(SplitterDragLayout, EveryAcceptedPositionSurvivesTheRelayout) {
  // The shell lays the panes out again from the ratio after each accepted move; the
  // bar must stay where the drag put it, whatever the window height.
  for (int32_t bottom = 80; bottom <= 1100; bottom += 7) {
    PaneLayout layout = ComputePaneLayout(kRight, bottom, kStrip, kDefaultWinRatio);
    double ratio = kDefaultWinRatio;
    SplitterDrag drag;
    ASSERT_TRUE(drag.Grab(layout, 10, layout.rxTx.bottom));
    for (int32_t y = kStrip; y <= bottom; ++y)
      if (drag.Drag(y, kRxLine, kTypingLine, layout, ratio))
        ASSERT_EQ(Layout(ratio, bottom), Show(layout)) << "bottom " << bottom << " y " << y;
  }
}

}  // namespace
}  // namespace zk
