#pragma once
#include <cstdint>
#include <vector>

#include "modem/dsp.h"

namespace zk {

// Where a signal was found, and how strong it is.
struct FoundSignal {
  double offset = 0;    // Hz from the nominal tones
  int64_t start = 0;    // baseband sample where its first element began, as far as can be told
  double markEsN0 = 0;  // each tone's energy per element over the noise, as the window showed it
  double spaceEsN0 = 0;
};

// Tells an FSK signal from noise. Filters matched to one element, on the mark and the space
// tone of every candidate offset across the search range, are evaluated several times per
// element. For each offset and timing, each element gives the stronger tone's energy over
// the noise; a signal is found when their sum over a window of 4 to 32 elements, with both
// tones among them, exceeds what noise alone reaches with a set small probability. That
// probability is divided among every offset, timing, window and evaluation (Bonferroni), so
// noise would open the receiver no more than once in ten minutes, however wide the search.
// The noise is measured across the band from the filters quietest on average, so signals
// and a neighbour's tone hardly move it.
class SignalSearch {
 public:
  // Baseband tones in Hz at sample rate `rate`; candidates every `step` Hz within +-range.
  SignalSearch(int samplesPerElement, double rate, double mark, double space, double range, double step);
  void Reset();
  // Only offsets within +-range are searched from now on (0: the nominal tones alone).
  void Limit(double range);
  // The weakest signal to report, as energy per element over the noise.
  void SetFloor(double esN0) { floor_ = esN0; }
  // While a signal is held its sidelobes must not raise the noise: the noise stays as it
  // was, and only a clearer pair well apart from it is found (a station locked onto by
  // mistake, a neighbour's tone with the held signal's keying, gives way to a real one).
  // Once it is let go, nothing it sent counts towards finding the next.
  void Hold(bool held);
  void HeldAt(double offset);  // where the held signal is now
  // The input was band-passed to lowHz..highHz (baseband): beyond, the filters hear less
  // than the noise, so the noise is measured from those a filter's width inside (from all
  // if too few are).
  void NoiseWithin(double lowHz, double highHz);

  // Takes one baseband sample; true when a signal has just been found (see found()).
  bool Push(Cf x);
  const FoundSignal& found() const { return found_; }
  // Noise per element filter output with no tone (0 until measured).
  double noise() const { return settled() ? noise_ : 0; }
  bool settled() const { return elements_ >= kSettleElements; }
  int64_t count() const { return count_; }

 private:
  static constexpr int kWindows = 4;
  static constexpr int kWindow[kWindows] = {4, 8, 16, 32};
  static constexpr int kKept = 64;  // elements kept per offset and timing
  static constexpr int kSettleElements = 12;

  struct Window {
    double sum = 0;                     // of the stronger tone's energy over the noise
    double markSum = 0, spaceSum = 0;   // the same, in the elements each tone won
    int markCount = 0, spaceCount = 0;  // elements won
    bool Pair(const double* threshold) const;
    double Weaker() const;  // the weaker tone's energy over the noise
  };
  void Evaluate();
  void UpdateNoise();
  bool Detect();
  void Describe(int k);
  int SignalElements(int k, int64_t newest) const;
  size_t Cell(int64_t evaluation, int k) const;
  int Candidate(double offset) const;  // the nearest
  Window Sum(int k, int elements, int64_t newest) const;
  void Windows(int k, int elements, Window* out) const;  // the windows up to `elements` long, at once
  void Add(size_t cell, Window* w) const;
  const Window& WindowOf(int k, int w) const { return windows_[static_cast<size_t>(k * kWindows + w)]; }
  void SetThresholds();

  int length_, step_, phases_;
  int candidates_;
  double rate_, step_hz_;
  double range_, limit_;
  std::vector<Cf> markTable_, spaceTable_;  // per candidate, one element of each tone
  std::vector<Cf> window_;                  // the last element of baseband, oldest first from pos_
  int pos_ = 0;
  std::vector<float> mark_, space_;  // per slot and candidate: energy over the noise
  std::vector<float> energies_;      // this evaluation's, all candidates
  std::vector<Window> windows_;      // this evaluation's, by candidate and length
  std::vector<double> averages_;     // each candidate's, over the last few seconds
  std::vector<char> heard_;          // each filter's: whether the noise is measured from it
  double markHz_, spaceHz_;
  std::vector<float> scratch_;
  double threshold_[kKept + 1] = {};  // by elements summed: what noise alone seldom reaches
  double floor_ = 0;
  double noise_ = 0;
  bool held_ = false;
  double heldOffset_ = 0;
  int64_t heldSince_ = 0;
  int64_t count_ = 0;       // samples taken
  int64_t latest_ = -1;     // the newest evaluation
  int64_t blindUntil_ = 0;  // no window reaches back before this sample
  int pending_ = -1;        // the candidate found, to be described...
  int foundWindow_ = 0;     // ...its window's elements...
  int64_t confirmAt_ = 0;   // ...at this evaluation
  int64_t elements_ = 0;    // noise updates
  FoundSignal found_;
};

// The probability that the sum of `n` elements' stronger-tone energies (each the larger of
// two unit exponentials) exceeds x in noise alone (saddle-point approximation).
double NoiseSumTail(int n, double x);

}  // namespace zk
