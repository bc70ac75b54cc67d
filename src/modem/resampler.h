#pragma once
#include <vector>

#include "modem/dsp.h"

namespace zk {

// Low-pass filters a complex stream and lowers its rate by any ratio of at least one: a
// Kaiser-windowed sinc whose taps are tabulated at many fractional delays, so each output
// sample costs one short dot product.
class Resampler {
 public:
  // Passes |f| <= passHz and leaves what aliases into it at least attenuationDb down.
  Resampler(double inRate, double outRate, double passHz, double attenuationDb);

  // Takes one input sample; true, with *out set, when an output sample falls due.
  bool Push(Cf x, Cf* out);

  int taps() const { return taps_; }

 private:
  static constexpr int kPhases = 256;

  void Design(double cutoff, double beta);

  int taps_;
  int phases_ = kPhases;
  double step_;               // input samples per output sample
  double due_ = 0;            // time of the next output, in input samples after the newest one
  std::vector<float> table_;  // kPhases + 1 rows of taps_, oldest sample's tap first
  std::vector<Cf> history_;   // twice the taps, so the newest taps_ samples are contiguous
  int pos_ = 0;
};

}  // namespace zk
