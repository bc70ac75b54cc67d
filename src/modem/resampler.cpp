#include "modem/resampler.h"

#include <algorithm>
#include <cmath>

namespace zk {

Resampler::Resampler(double inRate, double outRate, double passHz, double attenuationDb) : step_(inRate / outRate) {
  const double stopHz = outRate - passHz;  // the first frequency that folds into the pass band
  taps_ = KaiserTaps(attenuationDb, (stopHz - passHz) / inRate);
  history_.assign(2 * static_cast<size_t>(taps_), Cf(0, 0));
  Design((passHz + stopHz) / 2 / inRate, KaiserBeta(attenuationDb));
}

void Resampler::Design(double cutoff, double beta) {
  // A whole-number ratio always lands on a sample: one row serves.
  phases_ = step_ == std::floor(step_) ? 0 : kPhases;
  table_.resize(static_cast<size_t>(phases_ + 1) * taps_);
  const double centre = taps_ / 2.0;
  for (int p = 0; p <= phases_; ++p) {
    float* row = &table_[static_cast<size_t>(p) * taps_];
    double sum = 0;
    for (int k = 0; k < taps_; ++k) {
      // Tap k weighs the sample k places older than the newest, at delay mu + k.
      const double t = static_cast<double>(p) / kPhases + (taps_ - 1 - k) - centre;
      const double sinc = t == 0 ? 1 : std::sin(kTwoPi * cutoff * t) / (kTwoPi * cutoff * t);
      row[k] = static_cast<float>(sinc * KaiserWindow(t / centre, beta));
      sum += row[k];
    }
    for (int k = 0; k < taps_; ++k) row[k] = static_cast<float>(row[k] / sum);  // unit gain at 0 Hz
  }
}

bool Resampler::Push(Cf x, Cf* out) {
  history_[static_cast<size_t>(pos_)] = x;
  history_[static_cast<size_t>(pos_ + taps_)] = x;
  pos_ = pos_ + 1 == taps_ ? 0 : pos_ + 1;
  const bool ready = due_ < 1;
  if (ready) {
    const int phase = std::min(phases_, static_cast<int>(due_ * kPhases + 0.5));
    const float* row = &table_[static_cast<size_t>(phase) * taps_];
    const Cf* h = &history_[static_cast<size_t>(pos_)];
    float re = 0, im = 0;
    for (int k = 0; k < taps_; ++k) {
      re += row[k] * h[k].real();
      im += row[k] * h[k].imag();
    }
    *out = Cf(re, im);
    due_ += step_;
  }
  due_ -= 1;
  return ready;
}

}  // namespace zk
