#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/layout.h"

namespace zk {
namespace {

constexpr int32_t kRight = 400;
constexpr int32_t kBottom = 300;
constexpr int32_t kStrip = 40;  // bottom of the button strip
constexpr int32_t kRxLine = 14;
constexpr int32_t kTypingLine = 16;

int32_t Height(const Rect& r) { return r.bottom - r.top; }

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool SameLayout(const PaneLayout& a, const PaneLayout& b) {
  return SameRect(a.rxTx, b.rxTx) && SameRect(a.typing, b.typing);
}

TEST(PaneLayout, DefaultRatioGivesTheReceivePaneTheTruncatedHalf) {
  // H = 300 - 40 - 16 = 244.
  PaneLayout l = ComputePaneLayout(kRight, kBottom, kStrip, kDefaultWinRatio);
  EXPECT_TRUE(SameRect(l.rxTx, Rect{5, 47, 395, 169}));
  EXPECT_TRUE(SameRect(l.typing, Rect{5, 173, 395, 295}));

  l = ComputePaneLayout(kRight, kBottom + 1, kStrip, kDefaultWinRatio);  // H = 245
  EXPECT_EQ(Height(l.rxTx), 122);
  EXPECT_EQ(Height(l.typing), 123);
}

TEST(PaneLayout, EnlargingKeepsTheRatioGapsAndMargins) {
  const double ratio = 0.3;
  const int32_t sizes[][2] = {{400, 300}, {800, 700}, {1600, 1200}};
  for (const auto& size : sizes) {
    const int32_t right = size[0];
    const int32_t bottom = size[1];
    const int32_t h = bottom - kStrip - 16;
    PaneLayout l = ComputePaneLayout(right, bottom, kStrip, ratio);
    EXPECT_EQ(l.rxTx.top - kStrip, 7);
    EXPECT_EQ(l.typing.top - l.rxTx.bottom, 4);
    EXPECT_EQ(bottom - l.typing.bottom, 5);
    EXPECT_EQ(l.rxTx.left, 5);
    EXPECT_EQ(l.typing.left, 5);
    EXPECT_EQ(right - l.rxTx.right, 5);
    EXPECT_EQ(right - l.typing.right, 5);
    EXPECT_EQ(Height(l.rxTx), static_cast<int32_t>(h * ratio));
    EXPECT_EQ(Height(l.rxTx) + Height(l.typing), h);
  }
}

TEST(PaneLayout, ClampsTheRatioAndNeverGivesNegativeSizes) {
  const int32_t h = kBottom - kStrip - 16;
  PaneLayout l = ComputePaneLayout(kRight, kBottom, kStrip, 1.7);
  EXPECT_EQ(Height(l.rxTx), h);
  EXPECT_EQ(Height(l.typing), 0);
  l = ComputePaneLayout(kRight, kBottom, kStrip, -0.2);
  EXPECT_EQ(Height(l.rxTx), 0);
  EXPECT_EQ(Height(l.typing), h);
  l = ComputePaneLayout(kRight, kBottom, kStrip, std::nan(""));
  EXPECT_TRUE(SameLayout(l, ComputePaneLayout(kRight, kBottom, kStrip, kDefaultWinRatio)));
  EXPECT_EQ(ClampWinRatio(1.7), 1.0);
  EXPECT_EQ(ClampWinRatio(-0.2), 0.0);
  EXPECT_EQ(ClampWinRatio(std::numeric_limits<double>::infinity()), 1.0);
  EXPECT_EQ(ClampWinRatio(0.25), 0.25);

  // Shorter than the gaps and narrower than the margins.
  for (int32_t bottom = 0; bottom < kStrip + 20; ++bottom) {
    l = ComputePaneLayout(6, bottom, kStrip, 0.5);
    EXPECT_GE(Height(l.rxTx), 0) << bottom;
    EXPECT_GE(Height(l.typing), 0) << bottom;
    EXPECT_GE(l.rxTx.right, l.rxTx.left);
    EXPECT_GE(l.typing.right, l.typing.left);
  }
}

TEST(SplitterBar, CoversTheGapAndTheTypingPanesTopRowEndsIncluded) {
  PaneLayout l = ComputePaneLayout(kRight, kBottom, kStrip, kDefaultWinRatio);
  for (int32_t y = 169; y <= 173; ++y) {
    EXPECT_TRUE(OnSplitterBar(l, 5, y)) << y;
    EXPECT_TRUE(OnSplitterBar(l, 395, y)) << y;
  }
  EXPECT_FALSE(OnSplitterBar(l, 200, 168));  // last row of the receive/transmit pane
  EXPECT_FALSE(OnSplitterBar(l, 200, 174));
  EXPECT_FALSE(OnSplitterBar(l, 4, 170));
  EXPECT_FALSE(OnSplitterBar(l, 396, 170));
}

class SplitterDragTest : public ::testing::Test {
 protected:
  PaneLayout layout = ComputePaneLayout(kRight, kBottom, kStrip, kDefaultWinRatio);
  double ratio = kDefaultWinRatio;
  SplitterDrag drag;

  bool MoveTo(int32_t y) { return drag.Drag(y, kRxLine, kTypingLine, layout, ratio); }
};

TEST_F(SplitterDragTest, GrabsOnlyOnTheBarAndOnlyOnce) {
  EXPECT_FALSE(MoveTo(150));
  EXPECT_FALSE(drag.Release());
  EXPECT_FALSE(drag.Grab(layout, 200, 168));
  EXPECT_FALSE(drag.dragging());
  EXPECT_TRUE(drag.Grab(layout, 200, 171));
  EXPECT_TRUE(drag.dragging());
  EXPECT_FALSE(drag.Grab(layout, 200, 170));
  EXPECT_TRUE(drag.Release());
  EXPECT_FALSE(drag.dragging());
  EXPECT_FALSE(MoveTo(150));
}

TEST_F(SplitterDragTest, AClickWithoutMovingChangesNothing) {
  const PaneLayout before = layout;
  ASSERT_TRUE(drag.Grab(layout, 200, 171));
  EXPECT_FALSE(MoveTo(171));
  EXPECT_TRUE(drag.Release());
  EXPECT_TRUE(SameLayout(layout, before));
  EXPECT_EQ(ratio, kDefaultWinRatio);

  // Back at the start after a real move, the saved rectangles come back.
  ASSERT_TRUE(drag.Grab(layout, 200, 171));
  EXPECT_TRUE(MoveTo(190));
  EXPECT_TRUE(MoveTo(171));
  EXPECT_TRUE(SameLayout(layout, before));
  EXPECT_EQ(ratio, 0.5);
}

TEST_F(SplitterDragTest, StopsBeforeTheTypingPaneGetsTooSmallAndRegrabsFromThere) {
  ASSERT_TRUE(drag.Grab(layout, 200, 170));
  int32_t y = 170;
  while (MoveTo(y + 10)) y += 10;
  // The typing pane started 122 high and must stay at least 16 + 2.
  EXPECT_EQ(y, 270);
  EXPECT_EQ(layout.rxTx.bottom, 269);
  EXPECT_EQ(layout.typing.top, 273);
  EXPECT_EQ(Height(layout.typing), 22);
  EXPECT_DOUBLE_EQ(ratio, 222.0 / 244.0);
  const PaneLayout stopped = layout;
  EXPECT_FALSE(MoveTo(275));
  EXPECT_FALSE(MoveTo(65535));  // above the window while captured
  EXPECT_FALSE(MoveTo(std::numeric_limits<int32_t>::max()));
  EXPECT_FALSE(MoveTo(std::numeric_limits<int32_t>::min()));
  EXPECT_TRUE(SameLayout(layout, stopped));
  EXPECT_TRUE(drag.Release());

  EXPECT_TRUE(SameLayout(ComputePaneLayout(kRight, kBottom, kStrip, ratio), stopped));
  ASSERT_TRUE(drag.Grab(layout, 200, 271));
  EXPECT_TRUE(MoveTo(275));  // typing 18: just allowed
  EXPECT_FALSE(MoveTo(276));
  EXPECT_TRUE(MoveTo(241));
  EXPECT_EQ(layout.rxTx.bottom, 239);
  EXPECT_EQ(layout.typing.top, 243);
}

TEST_F(SplitterDragTest, DragsUpToAThirdAndTheLayoutKeepsIt) {
  ASSERT_TRUE(drag.Grab(layout, 200, 170));
  // The receive/transmit pane can shrink to 14 + 2 and no further.
  EXPECT_FALSE(MoveTo(63));
  EXPECT_TRUE(MoveTo(64));
  EXPECT_EQ(Height(layout.rxTx), 16);
  EXPECT_TRUE(MoveTo(129));
  EXPECT_TRUE(drag.Release());
  EXPECT_EQ(Height(layout.rxTx), 81);
  EXPECT_NEAR(ratio, 1.0 / 3.0, 0.01);
  EXPECT_TRUE(SameLayout(ComputePaneLayout(kRight, kBottom, kStrip, ratio), layout));
}

TEST(SplitterDragLayout, EveryAcceptedPositionSurvivesTheRelayout) {
  // The shell lays the panes out again from the ratio after each accepted move; the
  // bar must stay where the drag put it, whatever the window height.
  for (int32_t bottom = 80; bottom <= 1100; bottom += 7) {
    PaneLayout layout = ComputePaneLayout(kRight, bottom, kStrip, kDefaultWinRatio);
    double ratio = kDefaultWinRatio;
    SplitterDrag drag;
    const int32_t grabY = layout.rxTx.bottom;
    ASSERT_TRUE(drag.Grab(layout, 10, grabY));
    for (int32_t y = kStrip; y <= bottom; ++y) {
      if (!drag.Drag(y, kRxLine, kTypingLine, layout, ratio)) continue;
      ASSERT_TRUE(SameLayout(ComputePaneLayout(kRight, bottom, kStrip, ratio), layout))
          << "bottom " << bottom << " y " << y;
    }
  }
}

}  // namespace
}  // namespace zk
