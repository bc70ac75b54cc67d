#pragma once
#include <complex>
#include <cstddef>
#include <vector>

namespace zk {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;

using Cf = std::complex<float>;
using Cd = std::complex<double>;

// Number of taps of a Kaiser-window FIR with this stop-band attenuation and transition
// width (as a fraction of the sample rate).
int KaiserTaps(double attenuationDb, double transition);

// Kaiser window shape parameter for a stop-band attenuation.
double KaiserBeta(double attenuationDb);

// The Kaiser window at x in [-1, 1].
double KaiserWindow(double x, double beta);

// ln I0(x) for x >= 0, without overflow for large arguments.
double LogBesselI0(double x);

// A complex oscillator by rotation; renormalised now and then so rounding never changes
// its amplitude.
class Oscillator {
 public:
  void SetFrequency(double cyclesPerSample);
  double frequency() const { return frequency_; }
  Cd Next();

 private:
  Cd phasor_{1, 0};
  Cd step_{1, 0};
  double frequency_ = 0;
  int sinceNormalised_ = 0;
};

// Replaces what is not a usable sample (NaN, infinities) with silence and limits the rest,
// so one bad sample cannot poison a filter.
inline float CleanSample(float x) {
  constexpr float kLimit = 1e9f;
  if (!(x > -kLimit && x < kLimit)) return x > 0 ? kLimit : (x < 0 ? -kLimit : 0.0f);
  return x;
}

}  // namespace zk
