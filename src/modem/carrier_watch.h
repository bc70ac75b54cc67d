#pragma once
#include <cstdint>

namespace zk {

// Evidence (log-likelihood ratio) that an element whose tone had `energy` over the noise
// carries the signal rather than noise alone. The signal may have faded: it is taken at
// the level its energy suggests, between `deepest` times the held level `esN0` (and never
// below `floor`, the weakest level shown) and the held level. `either`: the energy is the
// stronger of the two tones', which noise alone makes larger.
double SignalEvidence(double energy, double esN0, double floor, double deepest, bool either);

// Decides when a held signal's carrier has stopped, and when it is back, by Page's test:
// each element adds the evidence that the stronger tone's energy is noise rather than the
// signal (faded by up to 10 dB), or the other way round once it has
// stopped, the sum never falling below zero; the state changes when the sum passes a
// threshold. The end is placed where the sum last left zero. Noise after a strong signal
// is told within a few elements, after a weak one within a character or two.
class CarrierWatch {
 public:
  // A signal is held from `from`.
  void Start(int64_t from);
  // An element ending at `end` whose stronger tone had `energy` over the noise, the signal
  // held at `esN0` per element, never weaker than `floor`: true when the carrier has just
  // stopped or come back.
  bool Changed(int64_t end, double energy, double esN0, double floor);
  bool on() const { return on_; }
  // Nats gathered so far towards a change: while on, how much the newest elements have
  // looked like noise.
  double doubt() const { return sum_; }
  // The end of the last element that still looked like the signal.
  int64_t lastOn() const { return lastOn_; }

 private:
  bool on_ = true;
  double sum_ = 0;
  int64_t lastOn_ = 0;
};

}  // namespace zk
