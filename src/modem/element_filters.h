#pragma once
#include <vector>

#include "modem/dsp.h"

namespace zk {

// The filters matched to one element on the mark and on the space tone: the baseband
// signal turned down by each tone and summed over exactly one element, evaluated at every
// sample. Each sum is kept as its older and newer half, whose phase difference measures
// how far the tone is off.
class ElementFilters {
 public:
  explicit ElementFilters(int samplesPerElement);
  // Tone frequencies in cycles per sample of the baseband.
  void SetTones(double mark, double space);
  void Push(Cf x);
  void Clear();  // forgets what the filters hold; the tones stay

  Cf markOld() const { return markOld_; }
  Cf markNew() const { return markNew_; }
  Cf spaceOld() const { return spaceOld_; }
  Cf spaceNew() const { return spaceNew_; }

 private:
  static void Halves(const std::vector<Cf>& ring, int pos, Cf* older, Cf* newer);

  int length_;
  int pos_ = 0;
  Oscillator mark_, space_;
  std::vector<Cf> markRing_, spaceRing_;
  Cf markOld_, markNew_, spaceOld_, spaceNew_;
};

}  // namespace zk
