#include "modem/tone_search.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr int kAverageBlocks = 32;  // about 0.7 s at 45 baud: the pair stands out of the noise

}  // namespace

ToneSearch::ToneSearch(int samplesPerElement, double rate, double mark, double space, double range, double step)
    : length_(samplesPerElement),
      candidates_(2 * static_cast<int>(std::round(range / step)) + 1),
      range_(range),
      step_(step) {
  const size_t cells = static_cast<size_t>(candidates_) * length_;
  markTable_.resize(cells);
  spaceTable_.resize(cells);
  for (int k = 0; k < candidates_; ++k) {
    const double offset = -range + k * step;
    for (int n = 0; n < length_; ++n) {
      const size_t i = static_cast<size_t>(k) * length_ + n;
      const Cd m = std::polar(1.0, -kTwoPi * (mark + offset) / rate * n);
      const Cd s = std::polar(1.0, -kTwoPi * (space + offset) / rate * n);
      markTable_[i] = Cf(static_cast<float>(m.real()), static_cast<float>(m.imag()));
      spaceTable_[i] = Cf(static_cast<float>(s.real()), static_cast<float>(s.imag()));
    }
  }
  Reset();
}

void ToneSearch::Reset() {
  const size_t k = static_cast<size_t>(candidates_);
  markSum_.assign(k, Cf(0, 0));
  spaceSum_.assign(k, Cf(0, 0));
  markPower_.assign(k, 0);
  spacePower_.assign(k, 0);
  pos_ = 0;
  blocks_ = 0;
  noise_ = 0;
}

bool ToneSearch::Push(Cf x) {
  for (int k = 0; k < candidates_; ++k) {
    const size_t i = static_cast<size_t>(k) * length_ + pos_;
    markSum_[static_cast<size_t>(k)] += x * markTable_[i];
    spaceSum_[static_cast<size_t>(k)] += x * spaceTable_[i];
  }
  if (++pos_ < length_) return false;
  pos_ = 0;
  ++blocks_;
  const float alpha = 1.0f / static_cast<float>(std::min(blocks_, kAverageBlocks));
  for (size_t k = 0; k < markSum_.size(); ++k) {
    markPower_[k] += alpha * (std::norm(markSum_[k]) - markPower_[k]);
    spacePower_[k] += alpha * (std::norm(spaceSum_[k]) - spacePower_[k]);
    markSum_[k] = spaceSum_[k] = Cf(0, 0);
  }
  UpdateNoise();
  return true;
}

void ToneSearch::UpdateNoise() {
  // The lower quarter of all candidate powers: the tones' lobes cover fewer bins than that.
  scratch_.assign(markPower_.begin(), markPower_.end());
  scratch_.insert(scratch_.end(), spacePower_.begin(), spacePower_.end());
  const size_t q = scratch_.size() / 4;
  std::nth_element(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(q), scratch_.end());
  noise_ = scratch_[q];
  strongest_ = *std::max_element(scratch_.begin(), scratch_.end());
}

double ToneSearch::PairAt(int k) const {
  const size_t i = static_cast<size_t>(std::clamp(k, 0, candidates_ - 1));
  return std::min(markPower_[i], spacePower_[i]);
}

double ToneSearch::BestOffset() const {
  int best = 0;
  for (int k = 1; k < candidates_; ++k)
    if (PairAt(k) > PairAt(best)) best = k;
  double frac = 0;
  if (best > 0 && best < candidates_ - 1) {
    const double a = PairAt(best - 1), b = PairAt(best), c = PairAt(best + 1);
    const double denom = a - 2 * b + c;
    if (denom < 0) frac = std::clamp(0.5 * (a - c) / denom, -0.5, 0.5);
  }
  return -range_ + (best + frac) * step_;
}

double ToneSearch::PairBetween(double offset) const {
  const double k = std::clamp((offset + range_) / step_, 0.0, candidates_ - 1.0);
  const int lo = static_cast<int>(k);
  const double frac = k - lo;
  return (1 - frac) * PairAt(lo) + frac * PairAt(lo + 1);
}

double ToneSearch::PairStrength(double offset) const {
  return noise_ > 0 ? PairBetween(offset) / noise_ : 1;
}

bool ToneSearch::Credible(double offset) const { return PairBetween(offset) >= 0.1 * strongest_; }

}  // namespace zk
