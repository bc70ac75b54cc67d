#pragma once
#include <algorithm>
#include <cstdint>
#include <limits>

namespace zk {
namespace sim {

constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// How long one character occupies the line: bitsPerChar / baud seconds, shortened by
// rateScale. 0 when the figures make no sense, so callers can refuse them.
inline int64_t CharacterTimeNs(double baud, double bitsPerChar, double rateScale) {
  if (!(baud > 0) || !(bitsPerChar > 0) || !(rateScale > 0)) return 0;
  const double ns = bitsPerChar / baud / rateScale * 1e9;
  if (!(ns >= 1) || ns > 1e12) return 0;
  return static_cast<int64_t>(ns + 0.5);
}

// Hands out character slots on one direction of the line. While characters follow each
// other, slots stay at absolute deadlines, so a late wake-up is caught up instead of
// adding up to drift. A line that stood idle (nothing waiting when its slot came), or
// whose wake-up came later than the catch-up limit, starts afresh at the current time
// rather than bursting out the slots it missed.
class LinePacer {
 public:
  explicit LinePacer(int64_t periodNs) : period_(periodNs), catchUp_(std::max(periodNs, 10 * kNsPerMs)) {}

  void Reset() { idle_ = true; }
  // Nothing was there to go when the slot came.
  void MarkIdle() { idle_ = true; }
  bool Ready(int64_t now) const { return idle_ || now >= next_; }
  // When the next character may go; meaningful only while not Ready.
  int64_t NextSlot() const { return next_; }

  // A character went (or was taken off the line) at `now`: books its slot.
  void Use(int64_t now) {
    const bool restart = idle_ || now - next_ > catchUp_;
    next_ = (restart ? now : next_) + period_;
    idle_ = false;
  }

  int64_t period() const { return period_; }

 private:
  int64_t period_;
  int64_t catchUp_;
  int64_t next_ = 0;
  bool idle_ = true;
};

}  // namespace sim
}  // namespace zk
