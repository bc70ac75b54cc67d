#pragma once
#include <vector>

#include "modem/dsp.h"

namespace zk {

// Finds the tone pair within the search range: the power on each candidate mark and space
// frequency, measured over one element at a time and averaged over many. A pair is where
// both tones are strong, so a lone carrier or a neighbour's tone does not draw the search.
class ToneSearch {
 public:
  // Baseband frequencies in Hz at sample rate `rate`; candidates every step across
  // [-range, range] around the nominal tones.
  ToneSearch(int samplesPerElement, double rate, double mark, double space, double range, double step);

  // Takes one sample; true when an element's block is complete and the averages moved.
  bool Push(Cf x);
  void Reset();

  // Whether enough elements have been averaged for the search to mean anything.
  bool settled() const { return blocks_ >= 8; }
  // The candidate offset (Hz) where the pair is strongest, refined between candidates.
  double BestOffset() const;
  // The weaker tone's average power at an offset, over the noise floor (1: no pair).
  double PairStrength(double offset) const;
  // Whether the weaker tone at an offset is within 10 dB of the strongest candidate: the
  // sidelobes of one strong tone never are.
  bool Credible(double offset) const;
  // The noise floor per element, in the element filters' units.
  double noise() const { return noise_; }

 private:
  double PairAt(int k) const;
  double PairBetween(double offset) const;
  void UpdateNoise();

  int length_;
  int candidates_;
  double range_, step_;
  std::vector<Cf> markTable_, spaceTable_;  // per candidate, one element of the tone
  std::vector<Cf> markSum_, spaceSum_;
  std::vector<float> markPower_, spacePower_;
  std::vector<float> scratch_;
  int pos_ = 0;
  int blocks_ = 0;
  double noise_ = 0;
  double strongest_ = 0;
};

}  // namespace zk
