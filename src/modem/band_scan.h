// A cheap look over the whole band for the tone pairs of one shift that key against each
// other, where a receiver of its own may find an RTTY signal.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "modem/modem_settings.h"
#include "modem/spectrum.h"

namespace zk {

struct BandCandidate {
  double markHz;
  double strength;  // the weaker tone's average power over the band's noise
};

// Short spectra (about an element long, a new one every quarter of that) are averaged over
// about half a second. A candidate is a lower tone at which both it and the tone a shift
// above stand out of the band's noise (taken from its quietest bins, so a busy band hardly
// raises it), and whose two tones key against each other: one is on while the other is off,
// which two tones of different stations sending side by side do not do.
class BandScan {
 public:
  // Looks for pairs whose both tones lie between lowHz and highHz.
  BandScan(const ModemSettings& settings, double lowHz, double highHz);
  void Reset();
  // Takes one sample; true when a new look at the band is ready in candidates().
  bool Push(float x);
  // Strongest first, their marks at least kCandidatesApartHz apart.
  const std::vector<BandCandidate>& candidates() const { return candidates_; }
  // How strongly a keyed pair shows within a bin of this mark, at the last look (0: none).
  double PairAt(double markHz) const;
  // The signal-to-noise ratio in 3 kHz of a keyed pair at this mark, in dB: the highest of
  // the last looks' (each over half a second), so that it still holds a little after the
  // signal ends.
  double SnrDb(double markHz) const;
  double binHz() const { return binHz_; }

  static constexpr double kCandidatesApartHz = 100;

 private:
  void Frame();
  void Look();
  void KeepLook();
  double Average(double bin) const;  // linear between bins
  struct Pair {                      // averages of the two tones' powers, their squares and product
    double low, high, low2, high2, both;
  };
  static double Correlation(const Pair& p);
  double Strength(int lowerBin) const;  // 0 unless its pair keys

  ModemSettings settings_;
  Fft fft_;
  size_t size_, hop_;
  double binHz_, shiftBins_;
  int firstBin_, lastBin_;      // every bin either tone of a pair may lie in
  int firstLower_, lastLower_;  // bins the lower tone of a pair may lie in
  int framesPerLook_;
  std::vector<float> window_, ring_;
  size_t ringPos_ = 0;
  int64_t samples_ = 0;
  int64_t frames_ = 0;
  std::vector<Cf> work_;
  std::vector<double> power_;    // this frame's, per bin
  std::vector<double> average_;  // per bin
  std::vector<Pair> pairs_;      // per lower bin
  std::vector<double> scratch_;
  double noise_ = 0;               // per bin, at the last look
  std::vector<double> overNoise_;  // per look kept and bin: the average over the noise, less one
  int64_t looks_ = 0;
  std::vector<BandCandidate> candidates_;
};

}  // namespace zk
