#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Radio channels for testing the modem, from first principles, applied to real audio at
// sample rate `rate`. The signal-to-noise ratio is measured in a 3 kHz bandwidth: white
// noise of per-sample variance Ps * rate / (2 * 3000 * SNR), Ps the clean signal's mean
// square over the burst.
namespace zk {
namespace channel {

// A small fast generator with a fixed sequence for a seed, on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  double Uniform();  // [0, 1)
  double Gauss();    // zero mean, unit variance

 private:
  uint64_t state_;
  bool spare_ = false;
  double spareValue_ = 0;
};

double MeanSquare(const std::vector<float>& x);

// Per-sample noise variance for an SNR (dB) in 3 kHz.
double NoiseVariance(double signalPower, double rate, double snrDb);

void AddNoise(std::vector<float>& x, double variance, uint64_t seed);

// Shifts every frequency by offsetHz(t seconds), through the analytic signal.
std::vector<float> ShiftFrequency(const std::vector<float>& x, double rate,
                                  const std::function<double(double)>& offsetHz);

// Offset plus a triangular drift: offset + [-swing, swing] at `slope` Hz per second.
std::function<double(double)> DriftingOffset(double offset, double swing, double slope);

// Two equal independent Rayleigh paths `delay` seconds apart, each with a Gaussian Doppler
// spectrum `spread` Hz wide (two standard deviations): the Watterson model.
std::vector<float> TwoPathFading(const std::vector<float>& x, double rate, double delay, double spread, uint64_t seed);

// Adds `perSecond` decaying bursts (about 1 ms) at random times, each peaking lowDb to
// highDb above the noise power in 3 kHz.
void AddImpulses(std::vector<float>& x, double rate, double noise3kHz, double perSecond, double lowDb, double highDb,
                 uint64_t seed);

// Amateur traffic as an RTTY operator sends it: CQ calls, exchanges of reports, names and
// places, contest exchanges with serial numbers. About `chars` characters, lines ending in '\n'.
std::string TrafficText(size_t chars, uint64_t seed);

// An amateur call sign: a prefix, a digit and one to three letters.
std::string CallSign(Random& random);

// Edit distance between two texts.
size_t Levenshtein(const std::string& a, const std::string& b);

}  // namespace channel
}  // namespace zk
