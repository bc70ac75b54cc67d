#include "channels/channels.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "modem/dsp.h"

namespace zk {
namespace channel {

uint64_t Random::Next() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Random::Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

double Random::Gauss() {
  if (spare_) {
    spare_ = false;
    return spareValue_;
  }
  const double u = 1 - Uniform(), v = Uniform();
  const double r = std::sqrt(-2 * std::log(u));
  spareValue_ = r * std::sin(kTwoPi * v);
  spare_ = true;
  return r * std::cos(kTwoPi * v);
}

double MeanSquare(const std::vector<float>& x) {
  double sum = 0;
  for (float v : x) sum += static_cast<double>(v) * v;
  return x.empty() ? 0 : sum / static_cast<double>(x.size());
}

double NoiseVariance(double signalPower, double rate, double snrDb) {
  return signalPower * rate / (2 * 3000 * std::pow(10, snrDb / 10));
}

void AddNoise(std::vector<float>& x, double variance, uint64_t seed) {
  Random random(seed);
  const double sigma = std::sqrt(variance);
  for (float& v : x) v += static_cast<float>(sigma * random.Gauss());
}

namespace {

// The analytic signal x + jH{x}, with a windowed ideal Hilbert transformer; aligned with x.
std::vector<Cd> Analytic(const std::vector<float>& x) {
  const int half = 128;
  std::vector<double> h(2 * half + 1, 0.0);
  for (int k = -half; k <= half; ++k)
    if (k % 2 != 0) h[static_cast<size_t>(k + half)] = 2 / (kPi * k) * KaiserWindow(static_cast<double>(k) / half, 8);
  const int64_t n = static_cast<int64_t>(x.size());
  std::vector<Cd> out(x.size());
  for (int64_t i = 0; i < n; ++i) {
    double im = 0;
    for (int k = -half; k <= half; k += 1) {
      const int64_t j = i - k;
      if (k % 2 != 0 && j >= 0 && j < n) im += h[static_cast<size_t>(k + half)] * x[static_cast<size_t>(j)];
    }
    out[static_cast<size_t>(i)] = Cd(x[static_cast<size_t>(i)], im);
  }
  return out;
}

// A complex Gaussian process of unit power with a Gaussian spectrum of standard deviation
// sigmaHz, `count` samples at `rate`: white noise through a Gaussian filter made at a low
// rate and interpolated, as the process is far narrower than the audio.
std::vector<Cd> GaussianDoppler(size_t count, double rate, double sigmaHz, Random& random) {
  const double slowRate = 50;
  const int half = static_cast<int>(2.5 * slowRate);
  std::vector<double> h(2 * half + 1);
  double energy = 0;
  for (int k = -half; k <= half; ++k) {
    const double t = k / slowRate;
    h[static_cast<size_t>(k + half)] = std::exp(-4 * kPi * kPi * sigmaHz * sigmaHz * t * t);
    energy += h[static_cast<size_t>(k + half)] * h[static_cast<size_t>(k + half)];
  }
  const size_t slowCount = static_cast<size_t>(static_cast<double>(count) / rate * slowRate) + 2;
  std::vector<Cd> white(slowCount + h.size());
  for (Cd& w : white) w = Cd(random.Gauss(), random.Gauss()) * std::sqrt(0.5);
  std::vector<Cd> slow(slowCount);
  for (size_t i = 0; i < slowCount; ++i) {
    Cd sum(0, 0);
    for (size_t k = 0; k < h.size(); ++k) sum += h[k] * white[i + k];
    slow[i] = sum / std::sqrt(energy);
  }
  std::vector<Cd> out(count);
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / rate * slowRate;
    const size_t k = static_cast<size_t>(t);
    const double f = t - static_cast<double>(k);
    out[i] = (1 - f) * slow[k] + f * slow[k + 1];
  }
  return out;
}

}  // namespace

std::vector<float> ShiftFrequency(const std::vector<float>& x, double rate,
                                  const std::function<double(double)>& offsetHz) {
  const std::vector<Cd> a = Analytic(x);
  std::vector<float> out(x.size());
  double phase = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    out[i] = static_cast<float>((a[i] * std::polar(1.0, phase)).real());
    phase = std::fmod(phase + kTwoPi * offsetHz(static_cast<double>(i) / rate) / rate, kTwoPi);
  }
  return out;
}

std::function<double(double)> DriftingOffset(double offset, double swing, double slope) {
  return [=](double t) {
    const double period = 4 * swing / slope;
    const double p = std::fmod(t, period) / period;  // up, down, down, up
    const double tri = p < 0.25 ? 4 * p : (p < 0.75 ? 2 - 4 * p : 4 * p - 4);
    return offset + swing * tri;
  };
}

std::vector<float> TwoPathFading(const std::vector<float>& x, double rate, double delay, double spread, uint64_t seed) {
  Random random(seed);
  const std::vector<Cd> a = Analytic(x);
  const std::vector<Cd> g1 = GaussianDoppler(x.size(), rate, spread / 2, random);
  const std::vector<Cd> g2 = GaussianDoppler(x.size(), rate, spread / 2, random);
  const size_t d = static_cast<size_t>(std::lround(delay * rate));
  std::vector<float> out(x.size());
  for (size_t i = 0; i < x.size(); ++i) {
    const Cd late = i >= d ? a[i - d] : Cd(0, 0);
    out[i] = static_cast<float>((std::sqrt(0.5) * (g1[i] * a[i] + g2[i] * late)).real());
  }
  return out;
}

void AddImpulses(std::vector<float>& x, double rate, double noise3kHz, double perSecond, double lowDb, double highDb,
                 uint64_t seed) {
  Random random(seed);
  const size_t length = static_cast<size_t>(0.001 * rate);
  const double decay = 0.00025 * rate;
  double t = 0;
  for (;;) {
    t += -std::log(1 - random.Uniform()) / perSecond;  // Poisson arrivals
    const size_t start = static_cast<size_t>(t * rate);
    if (start >= x.size()) break;
    const double db = lowDb + (highDb - lowDb) * random.Uniform();
    const double peak = std::sqrt(noise3kHz * std::pow(10, db / 10));
    for (size_t k = 0; k < length && start + k < x.size(); ++k)
      x[start + k] += static_cast<float>(peak * std::exp(-static_cast<double>(k) / decay) * random.Gauss());
  }
}

size_t Levenshtein(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1), next(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    next[0] = i;
    for (size_t j = 1; j <= b.size(); ++j)
      next[j] = std::min({row[j] + 1, next[j - 1] + 1, row[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    row.swap(next);
  }
  return row[b.size()];
}

}  // namespace channel
}  // namespace zk
