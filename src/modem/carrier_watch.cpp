#include "modem/carrier_watch.h"

#include <algorithm>
#include <cmath>

#include "modem/dsp.h"

namespace zk {

namespace {

constexpr double kEnough = 10;        // nats for noise: a false end every few minutes of weak signal at worst
constexpr double kDeepestFade = 0.1;  // a deeper fade must come back before it counts

}  // namespace

double SignalEvidence(double energy, double esN0, double floor, double deepest, bool either) {
  // Noise: a unit exponential (the larger of two when `either`); signal: a tone of energy g
  // in unit noise, g by its likeliest value within the allowed range.
  const double y = std::max(energy, 0.0);
  const double g = std::clamp(y - 1, std::max(floor, deepest * esN0), std::max(floor, esN0));
  return -g + LogBesselI0(2 * std::sqrt(g * y)) - (either ? std::log(2.0) : 0);
}

void CarrierWatch::Start(int64_t from) {
  on_ = true;
  sum_ = 0;
  lastOn_ = from;
}

bool CarrierWatch::Changed(int64_t end, double energy, double esN0, double floor) {
  const double evidence = SignalEvidence(energy, esN0, floor, kDeepestFade, true);
  sum_ = std::max(0.0, sum_ + (on_ ? -evidence : evidence));
  if (on_ && sum_ == 0) lastOn_ = end;
  if (sum_ <= kEnough) return false;
  on_ = !on_;
  sum_ = 0;
  return true;
}

}  // namespace zk
