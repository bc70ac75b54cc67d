#include <gtest/gtest.h>

// Only the line pacing is tested here: the end-to-end tests rely on the simulators
// running the line at the configured speed.
#include "common/line_pacer.h"

namespace zk {
namespace sim {
namespace {

TEST(SimPacing, CharacterTimeAndAbsoluteDeadlines) {
  // 45.45 baud with 1.5 stop bits: 7.5 bit times, 165 ms, about 6.06 characters a second.
  EXPECT_NEAR(CharacterTimeNs(45.45, 7.5, 1), 165016502, 1);
  EXPECT_NEAR(CharacterTimeNs(45.45, 7.5, 100), 1650165, 1);
  EXPECT_NEAR(CharacterTimeNs(115200, 10, 1), 86806, 1);
  EXPECT_EQ(CharacterTimeNs(0, 10, 1), 0);
  EXPECT_EQ(CharacterTimeNs(9600, 10, 0), 0);
  EXPECT_EQ(CharacterTimeNs(-5, 10, 1), 0);

  const int64_t p = 165 * kNsPerMs, t0 = 1000 * kNsPerMs;
  LinePacer pacer(p);
  EXPECT_TRUE(pacer.Ready(t0));
  pacer.Use(t0);
  EXPECT_FALSE(pacer.Ready(t0 + p - 1));
  // Each wake-up comes 3 ms late; the slots stay on the original grid.
  for (int k = 1; k <= 50; ++k) {
    const int64_t late = pacer.NextSlot() + 3 * kNsPerMs;
    ASSERT_TRUE(pacer.Ready(late));
    pacer.Use(late);
    ASSERT_EQ(pacer.NextSlot(), t0 + (k + 1) * p);
  }
}

TEST(SimPacing, IdleOrVeryLateLineRestartsAtNow) {
  LinePacer pacer(10 * kNsPerMs);
  pacer.Use(0);
  pacer.MarkIdle();  // nothing was waiting when the slot came
  pacer.Use(13 * kNsPerMs);
  EXPECT_EQ(pacer.NextSlot(), 23 * kNsPerMs);
  pacer.Use(500 * kNsPerMs);  // later than the catch-up limit: no burst of missed slots
  EXPECT_EQ(pacer.NextSlot(), 510 * kNsPerMs);
  pacer.Reset();
  EXPECT_TRUE(pacer.Ready(0));
}

}  // namespace
}  // namespace sim
}  // namespace zk
