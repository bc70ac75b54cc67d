#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "modem/dsp.h"
#include "modem/resampler.h"

namespace zk {

// Zeroes short bursts far above the running level (static crashes, clicks) before the
// narrow filters can stretch them over whole elements. It looks a few milliseconds ahead,
// so a lasting rise in level (a signal starting, a fade ending) is told from a burst and
// passed.
class ImpulseBlanker {
 public:
  explicit ImpulseBlanker(double sampleRate);
  Cf Process(Cf x);  // returns the sample from the look-ahead time ago
  uint64_t blanked() const { return blanked_; }
  int delay() const { return delay_; }

 private:
  void Flag(int64_t from, int64_t to, bool blank);

  int delay_;
  int guard_;
  int longest_;  // a burst above the threshold longer than this is a new level
  double alpha_;
  double level_ = 0;
  int run_ = 0;
  double runPower_ = 0;  // summed over the run
  int64_t n_ = 0;
  int64_t blankUntil_ = -1;
  std::vector<Cf> samples_;
  std::vector<uint8_t> blank_;
  uint64_t blanked_ = 0;
};

// Everything between the sound card and the element filters: the tone pair is mixed to
// 0 Hz, filtered and brought down to the element filters' rate, with impulses blanked on
// the way at a rate still wide enough to keep them short.
class FrontEnd {
 public:
  FrontEnd(double inRate, double centreHz, double outRate, double passHz);
  void SetCentre(double hz);
  // Appends the output samples these input samples complete.
  void Process(const float* x, size_t n, std::vector<Cf>& out);
  float peak() const { return peak_; }  // largest input magnitude of the last Process
  double delay() const;                 // input samples from a sample in to its effect out
  uint64_t blanked() const { return blanker_.blanked(); }

 private:
  double inRate_;
  Oscillator mixer_;
  Resampler wide_;
  ImpulseBlanker blanker_;
  Resampler narrow_;
  float peak_ = 0;
};

// The rate of the wide stage for an input rate: an integer fraction of it near 3 kHz, wide
// enough for any shift and the blanker.
double WideRate(double inRate);

}  // namespace zk
