#include "modem/spectrum.h"

#include <algorithm>
#include <cmath>

namespace zk {
namespace {

constexpr double kRangeDb = 45;  // from a little below the noise floor to full brightness
constexpr double kBelowFloorDb = 6;
constexpr double kFloorPercentile = 0.3;  // most of the band is noise
constexpr double kFloorFollow = 0.2;      // per row
constexpr size_t kMaxLines = 64;          // rows kept for a reader that has fallen behind
constexpr double kStopDb = 60;            // what folds into view from above the lowered rate

size_t PowerOfTwoAtLeast(double n) {
  size_t size = 256;
  while (static_cast<double>(size) < n) size *= 2;
  return size;
}

}  // namespace

Fft::Fft(size_t size) : twiddles_(size / 2), reversed_(size) {
  for (size_t k = 0; k < size / 2; ++k)
    twiddles_[k] = std::polar(1.0f, static_cast<float>(-kTwoPi * static_cast<double>(k) / static_cast<double>(size)));
  int bits = 0;
  while ((size_t{1} << bits) < size) ++bits;
  for (size_t i = 0; i < size; ++i) {
    uint32_t r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1u) << (bits - 1 - b);
    reversed_[i] = r;
  }
}

void Fft::Transform(std::vector<Cf>& x) const {
  const size_t n = size();
  for (size_t i = 0; i < n; ++i)
    if (i < reversed_[i]) std::swap(x[i], x[reversed_[i]]);
  for (size_t half = 1; half < n; half *= 2) {
    const size_t step = n / (2 * half);
    for (size_t start = 0; start < n; start += 2 * half) {
      for (size_t k = 0; k < half; ++k) {
        const Cf t = twiddles_[k * step] * x[start + k + half];
        x[start + k + half] = x[start + k] - t;
        x[start + k] += t;
      }
    }
  }
}

Spectrum::Spectrum(double inputRate, int columns, double linesPerSecond)
    : columns_(std::max(1, columns)),
      decimation_(std::max(1, static_cast<int>(inputRate / 8000))),
      rate_(inputRate / decimation_),
      fft_(PowerOfTwoAtLeast(rate_ / 4)),  // bins of 4 Hz or less
      hop_(std::max<size_t>(1, static_cast<size_t>(rate_ / linesPerSecond))) {
  if (decimation_ > 1) {
    // Whatever would fold into 0-3 kHz at the lower rate is stopped.
    const double stopHz = rate_ - kTopHz;
    const double cutoff = (kTopHz + stopHz) / 2 / inputRate;
    const int taps = KaiserTaps(kStopDb, (stopHz - kTopHz) / inputRate) | 1;
    const double beta = KaiserBeta(kStopDb);
    const int middle = taps / 2;
    for (int i = 0; i < taps; ++i) {
      const double t = i - middle;
      const double sinc = t == 0 ? 2 * cutoff : std::sin(kTwoPi * cutoff * t) / (kPi * t);
      taps_.push_back(static_cast<float>(sinc * KaiserWindow(t / (middle + 1), beta)));
    }
    history_.assign(2 * taps_.size(), 0.0f);
  }
  const size_t n = fft_.size();
  window_.resize(n);
  for (size_t i = 0; i < n; ++i)
    window_[i] =
        static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi * (static_cast<double>(i) + 0.5) / static_cast<double>(n)));
  ring_.assign(n, 0.0f);
  work_.resize(n);
  const double binHz = rate_ / static_cast<double>(n);
  for (int c = 0; c < columns_; ++c) {
    const int first = static_cast<int>(std::ceil(ColumnHz(c) / binHz));
    const int last = static_cast<int>(std::ceil(ColumnHz(c + 1) / binHz)) - 1;
    firstBin_.push_back(std::min(first, static_cast<int>(n / 2)));
    lastBin_.push_back(std::min(std::max(first, last), static_cast<int>(n / 2)));
  }
  db_.resize(static_cast<size_t>(columns_));
}

void Spectrum::Process(const float* x, size_t n) {
  for (size_t i = 0; i < n; ++i) Push(CleanSample(x[i]));
}

void Spectrum::Push(float x) {
  if (!taps_.empty()) {
    const size_t t = taps_.size();
    history_[historyPos_] = history_[historyPos_ + t] = x;
    historyPos_ = (historyPos_ + 1) % t;
    if (++phase_ < decimation_) return;
    phase_ = 0;
    float y = 0;
    for (size_t k = 0; k < t; ++k) y += taps_[k] * history_[historyPos_ + k];
    x = y;
  }
  ring_[ringPos_] = x;
  ringPos_ = (ringPos_ + 1) % ring_.size();
  if (filled_ < ring_.size()) ++filled_;
  if (++sinceLine_ >= hop_ && filled_ == ring_.size()) {
    sinceLine_ = 0;
    MakeLine();
  }
}

void Spectrum::MakeLine() {
  const size_t n = ring_.size();
  for (size_t i = 0; i < n; ++i) work_[i] = Cf(ring_[(ringPos_ + i) % n] * window_[i], 0.0f);
  fft_.Transform(work_);
  for (int c = 0; c < columns_; ++c) {
    float power = 0;
    for (int b = firstBin_[c]; b <= lastBin_[c]; ++b) power = std::max(power, std::norm(work_[b]));
    db_[c] = 10 * std::log10(power + 1e-30f);
  }
  std::vector<float> sorted = db_;
  const auto at =
      sorted.begin() + static_cast<std::ptrdiff_t>(kFloorPercentile * static_cast<double>(sorted.size() - 1));
  std::nth_element(sorted.begin(), at, sorted.end());
  floorDb_ = floorKnown_ ? floorDb_ + kFloorFollow * (*at - floorDb_) : *at;
  floorKnown_ = true;
  // Black is a little below the noise, or the range below the strongest signal when there
  // is next to no noise (a clean recording), so the tones never drown in their own skirts.
  const double peakDb = *std::max_element(db_.begin(), db_.end());
  const double black = std::max(floorDb_ - kBelowFloorDb, peakDb - kRangeDb);
  std::vector<uint8_t> line(static_cast<size_t>(columns_));
  for (int c = 0; c < columns_; ++c) {
    const double level = (db_[c] - black) * 255 / kRangeDb;
    line[c] = static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, level))));
  }
  if (lines_.size() >= kMaxLines) lines_.erase(lines_.begin());
  lines_.push_back(std::move(line));
}

bool Spectrum::PopLine(std::vector<uint8_t>* line) {
  if (lines_.empty()) return false;
  *line = std::move(lines_.front());
  lines_.erase(lines_.begin());
  return true;
}

void Spectrum::Clear() {
  std::fill(ring_.begin(), ring_.end(), 0.0f);
  std::fill(history_.begin(), history_.end(), 0.0f);
  filled_ = sinceLine_ = 0;
  lines_.clear();
}

}  // namespace zk
