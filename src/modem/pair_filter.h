// One receiver's view of a crowded band: its tone pair and the keying around it kept, a
// neighbour's tone a little further out taken away before the receiver's own filters,
// whose sidelobes would let a strong one through.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "modem/spectrum.h"

namespace zk {

// A band-pass (Kaiser-windowed, about an eighth of a second long) applied by overlap-save:
// output comes in blocks, an eighth of a second or so behind the input. Its first output is
// of a full filter's length of input: a receiver started on it must not hear the band rise
// out of silence, which would make it take the noise for weaker than it is.
class PairFilter {
 public:
  PairFilter(double sampleRate, double lowHz, double highHz);
  // Moves the pass band (the tones have been found elsewhere than expected).
  void Tune(double lowHz, double highHz);
  double lowHz() const { return low_; }
  double highHz() const { return high_; }
  // Input samples from a sample in to the output sample it is the middle of.
  int64_t delay() const { return static_cast<int64_t>((taps_ - 1) / 2); }
  // Appends the output samples these input samples complete.
  void Process(const float* x, size_t n, std::vector<float>& out);

 private:
  double rate_;
  double low_ = 0, high_ = 0;
  size_t taps_;
  Fft fft_;
  std::vector<Cf> response_;  // of the taps, padded to the transform's size
  std::vector<float> input_;  // the last transform's worth of input
  size_t filled_;
  size_t warming_;  // outputs still to be dropped: their input began with silence
  std::vector<Cf> work_;
};

}  // namespace zk
