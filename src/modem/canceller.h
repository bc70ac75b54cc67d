// A strong station re-made from what its receiver decided, to be taken out of the band
// before a weaker neighbour's receiver hears it. A station keyed without shaping spreads a
// little of its power a baud or two beyond its tones; ten decibels up, in a neighbour's
// fade, that spill is as strong as the neighbour on the neighbour's own tones, where no
// filter can part them. Re-made and subtracted, it is gone with the station.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "modem/demodulator.h"
#include "modem/dsp.h"
#include "modem/modem_settings.h"

namespace zk {

class Canceller {
 public:
  // first: the band's sample index of the first sample it will hear.
  Canceller(const ModemSettings& settings, int64_t first);

  // Hears the next samples of the band, as they come.
  void Hear(const float* x, size_t n);
  // A character the station's receiver decided, its start and end in band samples (as
  // heard, not yet heard characters' are not re-made), and its mark now.
  void Decided(const Demodulator::Keyed& k, double markHz);
  // After its last character: the steady mark it ends with.
  void Flush();
  // Adds the station as re-made to out[0..n), the band's samples from `from` on; nothing
  // where it is not known yet (its elements undecided) or not sent.
  void Remake(int64_t from, size_t n, float* out) const;
  // Forgets what lies before this band sample.
  void Forget(int64_t before);

 private:
  // A stretch of one tone, re-made as that tone at the amplitude and phase fitted to the
  // band over its own length (short enough for a fade or a slight error of frequency to
  // change them little).
  struct Piece {
    int64_t from, to;  // band samples
    double hz;
    Cd level;
  };

  double SpaceHz() const;
  float At(int64_t t) const { return ring_[static_cast<size_t>(t) & mask_]; }
  int64_t BestStart(const Demodulator::Keyed& k) const;
  double Fit(int64_t from, int64_t to, double hz, Piece* piece) const;
  void AddTone(int64_t from, int64_t to, bool mark);

  ModemSettings settings_;
  double mark_ = 0;
  double element_;  // samples
  int64_t heard_;   // band index of the next sample
  std::vector<float> ring_;
  size_t mask_;
  int64_t lastEnd_ = -1;  // where the last character's stop element ended
  std::deque<Piece> pieces_;
};

}  // namespace zk
