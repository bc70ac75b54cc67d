#include "modem/band_scan.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kAverageSeconds = 0.5;
constexpr double kLookSeconds = 0.1;
constexpr double kSettleSeconds = 0.3;
constexpr int kLooksKept = 8;            // for the signal-to-noise report: a receiver tells a signal's end within this
constexpr double kQuieter = 0.25;        // share of the bins the noise is taken from
constexpr double kQuietest = 0.1;        // for the signal-to-noise report: share of the bins...
constexpr double kNoiseOnly = 1.6;       // ...under which, times this, a bin holds noise alone
constexpr double kWeakestSnr = 0.01;     // noise alone reads up to about a hundredth in 3 kHz
constexpr double kPairOverNoise = 2;     // the weaker tone's average over the noise
constexpr double kKeyedAgainst = -0.25;  // correlation of the two tones' powers: -1 to 1
constexpr double kWidestRange = 1e-3;    // the band's noise is taken no lower than this under its strongest bin

size_t PowerOfTwoAtLeast(double n) {
  size_t size = 64;
  while (static_cast<double>(size) < n) size *= 2;
  return size;
}

}  // namespace

BandScan::BandScan(const ModemSettings& settings, double lowHz, double highHz)
    : settings_(settings),
      fft_(PowerOfTwoAtLeast(1.25 * settings.sampleRate / settings.baud)),
      size_(fft_.size()),
      hop_(size_ / 4),
      binHz_(settings.sampleRate / static_cast<double>(size_)),
      shiftBins_(settings.shift / binHz_) {
  const int nyquist = static_cast<int>(size_ / 2) - 1;
  firstBin_ = std::clamp(static_cast<int>(std::ceil(lowHz / binHz_)), 1, nyquist);
  lastBin_ = std::clamp(static_cast<int>(std::floor(highHz / binHz_)), firstBin_, nyquist);
  firstLower_ = firstBin_;
  lastLower_ = std::max(firstLower_ - 1, static_cast<int>(std::floor(lastBin_ - shiftBins_)));
  framesPerLook_ =
      std::max(1, static_cast<int>(std::lround(kLookSeconds * settings.sampleRate / static_cast<double>(hop_))));
  window_.resize(size_);
  for (size_t i = 0; i < size_; ++i)
    window_[i] =
        static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi * (static_cast<double>(i) + 0.5) / static_cast<double>(size_)));
  Reset();
}

void BandScan::Reset() {
  ring_.assign(size_, 0.0f);
  ringPos_ = 0;
  samples_ = frames_ = 0;
  work_.assign(size_, Cf(0, 0));
  power_.assign(size_ / 2, 0.0);
  average_.assign(size_ / 2, 0.0);
  pairs_.assign(size_ / 2, Pair{0, 0, 0, 0, 0});
  candidates_.clear();
  noise_ = 0;
  overNoise_.assign(static_cast<size_t>(kLooksKept * (lastBin_ - firstBin_ + 1)), 0.0);
  looks_ = 0;
}

bool BandScan::Push(float x) {
  ring_[ringPos_] = x;
  ringPos_ = ringPos_ + 1 == size_ ? 0 : ringPos_ + 1;
  if (++samples_ < static_cast<int64_t>(size_) || samples_ % static_cast<int64_t>(hop_) != 0) return false;
  Frame();
  if (frames_ % framesPerLook_ != 0) return false;
  Look();
  return true;
}

void BandScan::Frame() {
  for (size_t i = 0, j = ringPos_; i < size_; ++i, j = j + 1 == size_ ? 0 : j + 1)
    work_[i] = Cf(ring_[j] * window_[i], 0);
  fft_.Transform(work_);
  ++frames_;
  // Quick to settle at first, then over about half a second.
  const double frames = kAverageSeconds * settings_.sampleRate / static_cast<double>(hop_);
  const double weight = 1 / std::min(static_cast<double>(frames_), frames);
  for (int b = firstBin_; b <= lastBin_; ++b) {
    power_[static_cast<size_t>(b)] = std::norm(Cd(work_[static_cast<size_t>(b)]));
    average_[static_cast<size_t>(b)] += weight * (power_[static_cast<size_t>(b)] - average_[static_cast<size_t>(b)]);
  }
  for (int b = firstLower_; b <= lastLower_; ++b) {
    const double upper = b + shiftBins_;
    const int u = static_cast<int>(upper);
    const double f = upper - u;
    const double low = power_[static_cast<size_t>(b)];
    const double high =
        (1 - f) * power_[static_cast<size_t>(u)] + f * power_[static_cast<size_t>(std::min(u + 1, lastBin_))];
    Pair& p = pairs_[static_cast<size_t>(b)];
    p.low += weight * (low - p.low);
    p.high += weight * (high - p.high);
    p.low2 += weight * (low * low - p.low2);
    p.high2 += weight * (high * high - p.high2);
    p.both += weight * (low * high - p.both);
  }
}

double BandScan::Strength(int b) const {
  if (noise_ <= 0 || b < firstLower_ || b > lastLower_) return 0;
  const size_t i = static_cast<size_t>(b);
  if (Correlation(pairs_[i]) > kKeyedAgainst) return 0;
  return std::min(average_[i], Average(b + shiftBins_)) / noise_;
}

double BandScan::PairAt(double markHz) const {
  const int b = static_cast<int>(std::lround((settings_.reverse ? markHz - settings_.shift : markHz) / binHz_));
  return std::max({Strength(b - 1), Strength(b), Strength(b + 1)});
}

double BandScan::SnrDb(double markHz) const {
  // A signal of power P sums to P 3N^2 / 16 over the bins of positive frequency through the
  // Hann window (Parseval), noise of variance s2 per sample shows as s2 3N / 8 in every bin,
  // and noise in 3 kHz is s2 6000 / rate. The signal is summed from a baud below its lower
  // tone to a baud above its upper one, where nearly all its keying sidebands lie, less the
  // noise in those bins; at whichever of the kept looks shows most of it.
  const double lower = (settings_.reverse ? markHz - settings_.shift : markHz) / binHz_;
  const double sidebands = settings_.baud / binHz_;
  const int from = std::max(firstBin_, static_cast<int>(std::ceil(lower - sidebands)));
  const int to = std::min(lastBin_, static_cast<int>(std::floor(lower + shiftBins_ + sidebands)));
  const size_t bins = static_cast<size_t>(lastBin_ - firstBin_ + 1);
  double excess = 0;
  for (int64_t k = 0; k < std::min<int64_t>(looks_, kLooksKept); ++k) {
    const double* look = overNoise_.data() + static_cast<size_t>(k) * bins;
    double sum = 0;
    for (int b = from; b <= to; ++b) sum += look[b - firstBin_];
    excess = std::max(excess, sum);
  }
  const double snr = excess * settings_.sampleRate / (3000 * static_cast<double>(size_));
  return 10 * std::log10(std::clamp(snr, kWeakestSnr, 1e6));
}

double BandScan::Correlation(const Pair& p) {
  const double low = p.low2 - p.low * p.low, high = p.high2 - p.high * p.high;
  return (p.both - p.low * p.high) / std::sqrt(std::max(low * high, 1e-300));
}

double BandScan::Average(double bin) const {
  const int b = std::clamp(static_cast<int>(bin), firstBin_, lastBin_);
  const double f = std::clamp(bin - b, 0.0, 1.0);
  return (1 - f) * average_[static_cast<size_t>(b)] + f * average_[static_cast<size_t>(std::min(b + 1, lastBin_))];
}

void BandScan::Look() {
  candidates_.clear();
  if (lastLower_ < firstLower_) return;
  scratch_.assign(average_.begin() + firstBin_, average_.begin() + lastBin_ + 1);
  const auto quieter = scratch_.begin() + static_cast<std::ptrdiff_t>(kQuieter * static_cast<double>(scratch_.size()));
  std::nth_element(scratch_.begin(), quieter, scratch_.end());
  const double strongest = *std::max_element(scratch_.begin(), scratch_.end());
  noise_ = std::max({*quieter, kWidestRange * strongest, 1e-30});
  KeepLook();
  if (static_cast<double>(frames_) < kSettleSeconds * settings_.sampleRate / static_cast<double>(hop_)) return;
  std::vector<BandCandidate> found;
  for (int b = firstLower_; b <= lastLower_; ++b) {
    const double strength = Strength(b);
    if (strength < kPairOverNoise) continue;
    const double mark = settings_.reverse ? b * binHz_ + settings_.shift : b * binHz_;
    found.push_back({mark, strength});
  }
  std::sort(found.begin(), found.end(),
            [](const BandCandidate& a, const BandCandidate& b) { return a.strength > b.strength; });
  // A pair's weaker neighbours are mostly itself; a pair that shares a tone with a stronger
  // one is mostly that one's tone and another's.
  const double toneApart = 1.3 * settings_.baud;
  for (const BandCandidate& c : found) {
    bool clear = true;
    for (const BandCandidate& k : candidates_) {
      const double d = std::fabs(c.markHz - k.markHz);
      if (d < kCandidatesApartHz || std::fabs(d - settings_.shift) < toneApart) clear = false;
    }
    if (clear) candidates_.push_back(c);
  }
}

// For the signal-to-noise report: each bin over the noise, taken as the mean of the bins that
// hold noise alone, those not far above the quietest tenth (the quietest quarter lies under
// the mean by as much as the bins spread, and in a busy band holds signals).
void BandScan::KeepLook() {
  const auto quietest =
      scratch_.begin() + static_cast<std::ptrdiff_t>(kQuietest * static_cast<double>(scratch_.size()));
  std::nth_element(scratch_.begin(), quietest, scratch_.end());
  double sum = 0;
  int count = 0;
  for (double a : scratch_) {
    if (a >= kNoiseOnly * *quietest) continue;
    sum += a;
    ++count;
  }
  const double noise = std::max(count > 0 ? sum / count : *quietest, 1e-30);
  const size_t bins = static_cast<size_t>(lastBin_ - firstBin_ + 1);
  double* look = overNoise_.data() + static_cast<size_t>(looks_++ % kLooksKept) * bins;
  for (int b = firstBin_; b <= lastBin_; ++b) look[b - firstBin_] = average_[static_cast<size_t>(b)] / noise - 1;
}

}  // namespace zk
