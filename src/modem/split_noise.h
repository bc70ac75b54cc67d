#pragma once
#include "modem/dsp.h"

namespace zk {

// The noise in an element filter's output, measured while its tone is on, however strong
// the tone (split-symbol moments): a steady tone has the same magnitude in both halves of an
// element whatever its phase does between them (a frequency error, a shift other than the
// settings', the frequency following), so the halves' magnitudes differ by noise alone. That
// difference holds the noise along the tone's phase: half the noise of the whole element's
// output, a little less when the tone is weak (the Rice distribution).
class SplitNoise {
 public:
  void Reset() { count_ = 0; }
  // The two halves of a filter's output over an element's length where its tone was on
  // throughout.
  void Add(Cf older, Cf newer);
  bool known() const { return count_ >= kKnown; }
  // The noise power in a whole element's output, under a tone whose output power, noise
  // included, is `on`.
  double NoiseUnder(double on) const;

 private:
  static constexpr int kFirst = 9;   // halves that start the mean
  static constexpr int kKnown = 24;  // halves enough to tell the noise within about a dB
  static constexpr int kAveraged = 512;
  double first_[kFirst] = {};
  int count_ = 0;
  double mean_ = 0;  // of twice the squared difference
};

}  // namespace zk
