#include "modem/tone_level.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kSpreadLearning = 1.0 / 8;

}  // namespace

void ToneLevel::Reset() {
  count_ = next_ = 0;
  power_ = spread_ = 0;
}

void ToneLevel::Add(int64_t end, double on, double noise) {
  if (count_ > 0) {
    const double miss = std::sqrt(on) - std::sqrt(std::max(power_ - noise, 0.0));
    spread_ += kSpreadLearning * (miss * miss - spread_);
  }
  seen_[next_] = {end, on};
  next_ = (next_ + 1) % kKept;
  count_ = std::min(count_ + 1, kKept);
  Refresh(end, noise);
}

double ToneLevel::Mean(int64_t since, int* count) const {
  // The newest elements since then; when the tone has been away longer, its last two
  // elements are all there is to go by.
  double sum = 0;
  int n = 0;
  for (int i = 1; i <= count_; ++i) {
    const Seen& s = seen_[(next_ - i + kKept) % kKept];
    if (s.end <= since && n >= 2) break;
    sum += s.on;
    ++n;
  }
  *count = n;
  return n > 0 ? sum / n : 0;
}

void ToneLevel::Refresh(int64_t now, double noise) {
  int shortCount = 0, longCount = 0;
  const double recent = Mean(now - short_, &shortCount);
  const double steady = Mean(now - long_, &longCount);
  if (shortCount == 0) return;
  // How much the short mean would wander with a steady tone in this noise: the power of
  // a tone of amplitude a in complex noise of power N varies by N^2 + 2 a^2 N.
  const double a2 = std::max(steady - noise, 0.0);
  const double wander = (noise * noise + 2 * a2 * noise) / shortCount;
  const double d = recent - steady;
  const double trust = std::max(0.0, 1 - 4 * wander / (d * d + 1e-300));
  power_ = steady + trust * d;
}

}  // namespace zk
