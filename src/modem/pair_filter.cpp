#include "modem/pair_filter.h"

#include <algorithm>
#include <cmath>

#include "modem/dsp.h"

namespace zk {

namespace {

constexpr double kLengthSeconds = 0.125;
constexpr double kStopDb = 50;

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 64;
  while (size < n) size *= 2;
  return size;
}

}  // namespace

PairFilter::PairFilter(double sampleRate, double lowHz, double highHz)
    : rate_(sampleRate),
      taps_(static_cast<size_t>(kLengthSeconds * sampleRate) | 1),
      fft_(PowerOfTwoAtLeast(2 * taps_)),
      input_(fft_.size(), 0.0f),
      filled_(taps_ - 1),
      warming_(taps_ - 1),
      work_(fft_.size()) {
  Tune(lowHz, highHz);
}

void PairFilter::Tune(double lowHz, double highHz) {
  low_ = lowHz;
  high_ = highHz;
  const size_t n = fft_.size();
  response_.assign(n, Cf(0, 0));
  const double beta = KaiserBeta(kStopDb);
  const int middle = static_cast<int>(taps_ / 2);
  const double f1 = lowHz / rate_, f2 = highHz / rate_;
  for (int i = 0; i < static_cast<int>(taps_); ++i) {
    const double t = i - middle;
    const double pass = t == 0 ? 2 * (f2 - f1) : (std::sin(kTwoPi * f2 * t) - std::sin(kTwoPi * f1 * t)) / (kPi * t);
    response_[static_cast<size_t>(i)] = Cf(static_cast<float>(pass * KaiserWindow(t / (middle + 1), beta)), 0);
  }
  fft_.Transform(response_);
  for (Cf& c : response_) c /= static_cast<float>(n);  // the inverse transform's scale
}

void PairFilter::Process(const float* x, size_t count, std::vector<float>& out) {
  const size_t n = fft_.size();
  for (size_t i = 0; i < count; ++i) {
    input_[filled_++] = x[i];
    if (filled_ < n) continue;
    // Overlap-save: the last n - taps + 1 outputs of the circular convolution are the
    // linear one's.
    for (size_t k = 0; k < n; ++k) work_[k] = Cf(input_[k], 0);
    fft_.Transform(work_);
    for (size_t k = 0; k < n; ++k) work_[k] = std::conj(work_[k] * response_[k]);
    fft_.Transform(work_);
    const size_t dropped = std::min(warming_, n - taps_ + 1);
    warming_ -= dropped;
    for (size_t k = taps_ - 1 + dropped; k < n; ++k) out.push_back(work_[k].real());
    std::copy(input_.end() - static_cast<std::ptrdiff_t>(taps_ - 1), input_.end(), input_.begin());
    filled_ = taps_ - 1;
  }
}

}  // namespace zk
