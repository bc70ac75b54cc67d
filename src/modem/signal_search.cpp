#include "modem/signal_search.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kMinutesPerFalseFind = 10;  // in noise alone, by the design's count
constexpr int kEvaluationsPerElement = 6;
constexpr double kNoiseElements = 128;  // the band's noise, averaged over about 3 s
constexpr double kQuieter = 0.25;       // share of the filters the noise is taken from
constexpr int kSettleCandidates = 8;    // a found signal may lie this many candidates from where it was found
constexpr double kApartHz = 60;         // another signal while one is held: this far from it...
constexpr double kClearer = 2;          // ...with its weaker tone this much stronger than the held one's

// The sum of n elements in noise: each the larger of two unit exponentials, which is a unit
// exponential plus one of mean 1/2. Its cumulant generating function and two derivatives.
double Cgf(int n, double t) { return -n * (std::log1p(-t) + std::log1p(-t / 2)); }
double Cgf1(int n, double t) { return n / (1 - t) + n / (2 - t); }
double Cgf2(int n, double t) { return n / ((1 - t) * (1 - t)) + n / ((2 - t) * (2 - t)); }

// The largest divisor of n no larger than n / parts (at least 1).
int Divisor(int n, int parts) {
  for (int d = std::max(1, n / parts); d > 1; --d)
    if (n % d == 0) return d;
  return 1;
}

}  // namespace

double NoiseSumTail(int n, double x) {
  // Lugannani and Rice: accurate to a few per cent far into the tail.
  if (x <= 1.5 * n) return 1;
  double lo = 0, hi = 1;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    (Cgf1(n, mid) < x ? lo : hi) = mid;
  }
  const double t = (lo + hi) / 2;
  if (t < 1e-6) return 0.5;
  const double w = std::sqrt(2 * (t * x - Cgf(n, t)));
  const double u = t * std::sqrt(Cgf2(n, t));
  const double density = std::exp(-w * w / 2) / std::sqrt(kTwoPi);
  return std::clamp(0.5 * std::erfc(w / std::sqrt(2.0)) + density * (1 / u - 1 / w), 0.0, 1.0);
}

SignalSearch::SignalSearch(int samplesPerElement, double rate, double mark, double space, double range, double step)
    : length_(samplesPerElement),
      step_(Divisor(samplesPerElement, kEvaluationsPerElement)),
      phases_(samplesPerElement / step_),
      candidates_(2 * static_cast<int>(std::round(range / step)) + 1),
      rate_(rate),
      step_hz_(step),
      range_(std::round(range / step) * step),
      limit_(range_),
      markHz_(mark),
      spaceHz_(space) {
  const size_t cells = static_cast<size_t>(candidates_) * static_cast<size_t>(length_);
  markTable_.resize(cells);
  spaceTable_.resize(cells);
  for (int k = 0; k < candidates_; ++k) {
    const double offset = -range_ + k * step;
    for (int n = 0; n < length_; ++n) {
      const size_t i = static_cast<size_t>(k * length_ + n);
      const Cd m = std::polar(1.0, -kTwoPi * (mark + offset) / rate * n);
      const Cd s = std::polar(1.0, -kTwoPi * (space + offset) / rate * n);
      markTable_[i] = Cf(static_cast<float>(m.real()), static_cast<float>(m.imag()));
      spaceTable_[i] = Cf(static_cast<float>(s.real()), static_cast<float>(s.imag()));
    }
  }
  const size_t slots = static_cast<size_t>(phases_ * kKept * candidates_);
  mark_.resize(slots);
  space_.resize(slots);
  energies_.resize(2 * static_cast<size_t>(candidates_));
  windows_.resize(static_cast<size_t>(candidates_ * kWindows));
  heard_.assign(energies_.size(), 1);
  SetThresholds();
  Reset();
}

void SignalSearch::Reset() {
  window_.assign(static_cast<size_t>(length_), Cf(0, 0));
  std::fill(mark_.begin(), mark_.end(), 0.0f);
  std::fill(space_.begin(), space_.end(), 0.0f);
  pos_ = 0;
  noise_ = 0;
  averages_.assign(energies_.size(), 0.0);
  held_ = false;
  count_ = elements_ = blindUntil_ = 0;
  heldOffset_ = 0;
  pending_ = -1;
  latest_ = -1;
  found_ = {};
}

void SignalSearch::Limit(double range) {
  limit_ = std::min(range_, std::max(0.0, range));
  SetThresholds();
}

void SignalSearch::Hold(bool held) {
  if (held && !held_) heldSince_ = count_;
  held_ = held;
  pending_ = -1;
  if (!held) blindUntil_ = count_;
}

void SignalSearch::HeldAt(double offset) { heldOffset_ = offset; }

void SignalSearch::NoiseWithin(double lowHz, double highHz) {
  const double width = rate_ / length_;
  for (int k = 0; k < candidates_; ++k) {
    const double offset = -range_ + k * step_hz_;
    for (int tone = 0; tone < 2; ++tone) {
      const double hz = (tone == 0 ? markHz_ : spaceHz_) + offset;
      heard_[static_cast<size_t>(2 * k + tone)] = hz - width >= lowHz && hz + width <= highHz;
    }
  }
}

void SignalSearch::SetThresholds() {
  const int searched = 2 * static_cast<int>(std::floor(limit_ / step_hz_ + 1e-9)) + 1;
  const double tests = kMinutesPerFalseFind * 60 * rate_ / step_ * searched * kWindows;
  auto threshold = [&](int n) {
    double lo = 1.5 * n, hi = 1.5 * n + 60 + 10 * n;
    for (int i = 0; i < 60; ++i) {
      const double mid = (lo + hi) / 2;
      (NoiseSumTail(n, mid) * tests > 1 ? lo : hi) = mid;
    }
    return hi;
  };
  for (int n = 1; n <= kWindow[kWindows - 1]; ++n) threshold_[n] = threshold(n);
}

size_t SignalSearch::Cell(int64_t evaluation, int k) const {
  const int64_t slot = evaluation % (static_cast<int64_t>(phases_) * kKept);
  return static_cast<size_t>(slot * candidates_ + k);
}

bool SignalSearch::Push(Cf x) {
  window_[static_cast<size_t>(pos_)] = x;
  pos_ = pos_ + 1 == length_ ? 0 : pos_ + 1;
  if (++count_ % step_ != 0) return false;
  ++latest_;
  Evaluate();
  if (latest_ % phases_ == 0) UpdateNoise();
  return Detect();
}

void SignalSearch::Evaluate() {
  for (int k = 0; k < candidates_; ++k) {
    const Cf* m = &markTable_[static_cast<size_t>(k * length_)];
    const Cf* s = &spaceTable_[static_cast<size_t>(k * length_)];
    Cf sm(0, 0), ss(0, 0);
    for (int n = 0, i = pos_; n < length_; ++n, i = i + 1 == length_ ? 0 : i + 1) {
      sm += window_[static_cast<size_t>(i)] * m[n];
      ss += window_[static_cast<size_t>(i)] * s[n];
    }
    energies_[static_cast<size_t>(2 * k)] = std::norm(sm);
    energies_[static_cast<size_t>(2 * k + 1)] = std::norm(ss);
  }
  const double scale = noise_ > 0 ? 1 / noise_ : 0;
  for (int k = 0; k < candidates_; ++k) {
    mark_[Cell(latest_, k)] = static_cast<float>(energies_[static_cast<size_t>(2 * k)] * scale);
    space_[Cell(latest_, k)] = static_cast<float>(energies_[static_cast<size_t>(2 * k + 1)] * scale);
  }
}

void SignalSearch::UpdateNoise() {
  // Each filter's energy averaged over a few seconds, and the quieter quarter of those:
  // signals, a neighbour's steady tone too, only ever raise some of the filters' averages,
  // while every filter with noise alone averages close to the noise.
  if (++elements_ == 1) blindUntil_ = count_;  // what came before was scaled by no noise at all
  if (held_ && noise_ > 0) return;
  const double weight = 1 / std::min<double>(static_cast<double>(elements_), kNoiseElements);
  for (size_t i = 0; i < energies_.size(); ++i) averages_[i] += weight * (energies_[i] - averages_[i]);
  scratch_.clear();
  for (size_t i = 0; i < averages_.size(); ++i)
    if (heard_[i]) scratch_.push_back(static_cast<float>(averages_[i]));
  if (scratch_.size() < 4) scratch_.assign(averages_.begin(), averages_.end());
  const auto quieter = scratch_.begin() + static_cast<std::ptrdiff_t>(kQuieter * static_cast<double>(scratch_.size()));
  std::nth_element(scratch_.begin(), quieter, scratch_.end());
  // A quarter of the averages of noise alone lie below the noise by 0.674 of their spread.
  const double spread = std::sqrt(weight / (2 - weight));
  const double strongest = *std::max_element(scratch_.begin(), scratch_.end());
  noise_ = std::max(*quieter / (1 - 0.674 * spread), 1e-9 * strongest);
}

void SignalSearch::Windows(int k, int elements, Window* out) const {
  // Every window at once, at the newest evaluation's timing, newest element first.
  Window w;
  for (int j = 0, next = 0; j < elements; ++j) {
    Add(Cell(latest_ - static_cast<int64_t>(j) * phases_, k), &w);
    if (j + 1 == kWindow[next]) out[next++] = w;
  }
}

void SignalSearch::Add(size_t cell, Window* w) const {
  const double m = mark_[cell], s = space_[cell];
  w->sum += std::max(m, s);
  if (m >= s) {
    w->markSum += m;
    ++w->markCount;
  } else {
    w->spaceSum += s;
    ++w->spaceCount;
  }
}

SignalSearch::Window SignalSearch::Sum(int k, int elements, int64_t newest) const {
  // The window's elements at the timing of the newest one, newest first.
  Window w;
  for (int j = 0; j < elements; ++j) Add(Cell(newest - static_cast<int64_t>(j) * phases_, k), &w);
  return w;
}

double SignalSearch::Window::Weaker() const { return std::min(markSum - 1.5 * markCount, spaceSum - 1.5 * spaceCount); }

bool SignalSearch::Window::Pair(const double* threshold) const {
  // Each tone's own elements stand out of noise as the whole window does: a lone carrier
  // (a neighbour's tone) with noise in the other filter is no pair.
  return markCount > 0 && spaceCount > 0 && markSum > threshold[markCount] && spaceSum > threshold[spaceCount];
}

bool SignalSearch::Detect() {
  if (pending_ >= 0) {
    if (latest_ < confirmAt_) return false;
    Describe(pending_);
    pending_ = -1;
    return true;
  }
  if (!settled()) return false;
  const int lo = static_cast<int>(std::round((range_ - limit_) / step_hz_));
  const int hi = candidates_ - 1 - lo;
  // While a signal is held, only another one well clear of it, and a clearer pair.
  const int held = Candidate(heldOffset_), apart = held_ ? static_cast<int>(std::ceil(kApartHz / step_hz_)) : 0;
  // Held: the longest window, once it is all the held signal's, fairest to both.
  const int longest = kWindow[kWindows - 1];
  if (held_ && count_ - heldSince_ < static_cast<int64_t>(longest) * length_) return false;
  const int first = held_ ? kWindows - 1 : 0;
  int fit = first;  // the windows that what has been heard fills
  while (fit < kWindows && latest_ >= static_cast<int64_t>(kWindow[fit]) * phases_ &&
         count_ - kWindow[fit] * length_ >= blindUntil_)
    ++fit;
  if (fit == first) return false;
  for (int k = lo; k <= hi; ++k) Windows(k, kWindow[fit - 1], &windows_[static_cast<size_t>(k * kWindows)]);
  for (int w = first; w < fit; ++w) {
    const int n = kWindow[w];
    // The strongest candidate or none: another one that passes is only its sidelobe.
    int best = -1;
    for (int k = lo; k <= hi; ++k)
      if (std::abs(k - held) >= apart && (best < 0 || WindowOf(k, w).sum > WindowOf(best, w).sum)) best = k;
    if (best < 0) continue;
    const Window& top = WindowOf(best, w);
    if (top.sum <= threshold_[n] || top.sum / n - 1 < floor_ || !top.Pair(threshold_)) continue;
    if (held_ && top.Weaker() <= kClearer * Sum(held, n, latest_).Weaker()) continue;
    // Described an element later, at the same timing: the window that found it may hold
    // little of it yet.
    pending_ = best;
    foundWindow_ = n;
    confirmAt_ = latest_ + phases_;
    return false;
  }
  return false;
}

void SignalSearch::Describe(int k) {
  // Where the window that found it, and the element since, are strongest at any timing: the
  // first elements' keying also shows between and beside the tones.
  const int lo = static_cast<int>(std::round((range_ - limit_) / step_hz_)), hi = candidates_ - 1 - lo;
  const int held = Candidate(heldOffset_), apart = held_ ? static_cast<int>(std::ceil(kApartHz / step_hz_)) : 0;
  double strongest = 0;
  for (int c = lo; c <= hi; ++c)
    for (int p = 0; p < phases_; ++p)
      if (std::abs(c - k) <= kSettleCandidates && std::abs(c - held) >= apart) {
        const double sum = Sum(c, foundWindow_ + 1, latest_ - p).sum;
        if (sum > strongest) {
          strongest = sum;
          k = c;
        }
      }
  // From the elements since the signal began, at the timing that fits them best: where it
  // is strongest, refined between candidates, and how strong each tone is.
  int64_t at = latest_;
  int elements = 1;
  double fit = -1e300;
  for (int p = 0; p < phases_; ++p) {
    const int n = SignalElements(k, latest_ - p);
    const double perElement = Sum(k, n, latest_ - p).sum / n;
    if (perElement > fit) {
      fit = perElement;
      at = latest_ - p;
      elements = n;
    }
  }
  for (int step : {-1, 1})
    while (k + step >= lo && k + step <= hi && Sum(k + step, elements, at).sum > Sum(k, elements, at).sum) k += step;
  const Window top = Sum(k, elements, at);
  double frac = 0;
  if (k > 0 && k < candidates_ - 1) {
    const double a = Sum(k - 1, elements, at).sum, c = Sum(k + 1, elements, at).sum;
    const double denom = a - 2 * top.sum + c;
    if (denom < 0) frac = std::clamp(0.5 * (a - c) / denom, -0.5, 0.5);
  }
  found_.offset = std::clamp(-range_ + (k + frac) * step_hz_, -limit_, limit_);
  found_.start = count_ - (latest_ - at) * step_ - static_cast<int64_t>(elements) * length_;
  // A tone not seen yet is taken as strong as the other.
  const double mark = top.markSum / std::max(top.markCount, 1) - 1,
               space = top.spaceSum / std::max(top.spaceCount, 1) - 1;
  found_.markEsN0 = top.markCount > 0 ? mark : space;
  found_.spaceEsN0 = top.spaceCount > 0 ? space : mark;
}

int SignalSearch::SignalElements(int k, int64_t newest) const {
  // The likeliest point where noise turned into the signal, looking back along this timing:
  // the newest elements' sum of evidence for the signal (at the strength the newest four
  // show) against noise is largest there.
  const double g = std::max(1.0, Sum(k, 4, newest).sum / 4 - 1);
  const int64_t held = std::min<int64_t>({kKept, newest / phases_ + 1, (count_ - blindUntil_) / length_ - 1});
  double sum = 0, best = -1e300;
  int elements = 1;
  for (int j = 0; j < held; ++j) {
    const size_t i = Cell(newest - static_cast<int64_t>(j) * phases_, k);
    const double y = std::max(mark_[i], space_[i]);
    sum += -g + LogBesselI0(2 * std::sqrt(g * y)) - std::log(2.0);
    if (sum > best) {
      best = sum;
      elements = j + 1;
    }
  }
  return elements;
}

int SignalSearch::Candidate(double offset) const {
  return std::clamp(static_cast<int>(std::round((offset + range_) / step_hz_)), 0, candidates_ - 1);
}

}  // namespace zk
