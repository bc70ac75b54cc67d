#include "modem/split_noise.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr int kLeftOut = 2;              // the largest of the first halves...
constexpr double kRestOverMean = 0.477;  // ...the rest's mean, over the whole's (squared normals)
constexpr double kOutlier = 30;          // times the noise: a burst, or a tone that began or ended inside
constexpr double kCleanest = 1e-7;       // of the element's power: no less is taken as an outlier, so
                                         // noise that comes after a clean tone is not cut off

}  // namespace

void SplitNoise::Add(Cf older, Cf newer) {
  const double difference = std::abs(Cd(newer)) - std::abs(Cd(older));
  const double x = 2 * difference * difference;
  if (count_ < kFirst) {
    // Started without the largest, so that a tone's first or last element does not set it.
    first_[count_++] = x;
    if (count_ < kFirst) return;
    std::sort(first_, first_ + kFirst);
    double sum = 0;
    for (int i = 0; i < kFirst - kLeftOut; ++i) sum += first_[i];
    mean_ = sum / (kFirst - kLeftOut) / kRestOverMean;
    return;
  }
  const double limit = std::max(kOutlier * mean_, kCleanest * std::norm(Cd(older) + Cd(newer)));
  count_ = std::min(count_ + 1, kAveraged);
  mean_ += (std::min(x, limit) - mean_) / count_;
}

double SplitNoise::NoiseUnder(double on) const {
  // A tone of K times the noise power in a half element leaves about 1 - 1/(4K) of the
  // noise along its phase; K is half the element's Es/N0.
  const double esN0 = on / std::max(mean_, 1e-300) - 1;
  return mean_ / (esN0 > 1 ? 1 - 1 / (2 * esN0) : 0.5);
}

}  // namespace zk
