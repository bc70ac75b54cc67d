#include "modem/front_end.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kWidePassHz = 1200;
constexpr double kAttenuationDb = 60;
constexpr double kBurstFactor = 10;  // 10 dB above the running level

}  // namespace

double WideRate(double inRate) { return inRate / std::max(1.0, std::floor(inRate / 3000)); }

ImpulseBlanker::ImpulseBlanker(double sampleRate)
    : delay_(static_cast<int>(0.010 * sampleRate)),
      guard_(static_cast<int>(0.0015 * sampleRate) + 1),
      longest_(static_cast<int>(0.006 * sampleRate)),
      alpha_(1 / (0.05 * sampleRate)),
      samples_(static_cast<size_t>(delay_) + 1),
      blank_(static_cast<size_t>(delay_) + 1) {}

void ImpulseBlanker::Flag(int64_t from, int64_t to, bool blank) {
  const int64_t size = static_cast<int64_t>(samples_.size());
  for (int64_t i = std::max({from, n_ - size + 1, int64_t{0}}); i <= to; ++i)
    blank_[static_cast<size_t>(i % size)] = blank;
}

Cf ImpulseBlanker::Process(Cf x) {
  const size_t size = samples_.size();
  const size_t slot = static_cast<size_t>(n_ % static_cast<int64_t>(size));
  const double p = std::norm(Cd(x));
  samples_[slot] = x;
  blank_[slot] = n_ <= blankUntil_;
  // Over its first time constant it has no level to judge by: it learns one, the plain
  // average of what it hears, and blanks nothing. (A level taken from the first few samples,
  // the filters still filling, would be far too low, and the noise after it all blanked.)
  const bool learning = static_cast<double>(n_) * alpha_ < 1;
  if (!learning && p > kBurstFactor * level_) {
    ++run_;
    runPower_ += p;
    if (run_ > longest_) {
      // Too long for a burst: the level itself has risen, to about the run's. Let the run
      // through.
      Flag(n_ - run_ + 1 - guard_, n_, false);
      blankUntil_ = n_;
      level_ = runPower_ / run_;
      run_ = 0;
      runPower_ = 0;
    } else {
      Flag(n_ - guard_, n_, true);
      blankUntil_ = n_ + guard_;
    }
  } else {
    run_ = 0;
    runPower_ = 0;
    level_ += (learning ? 1 / static_cast<double>(n_ + 1) : alpha_) * (p - level_);
  }
  ++n_;
  const size_t out = static_cast<size_t>((n_ + static_cast<int64_t>(size) - 1 - delay_) % static_cast<int64_t>(size));
  if (n_ <= delay_) return Cf(0, 0);
  if (!blank_[out]) return samples_[out];
  ++blanked_;
  return Cf(0, 0);
}

FrontEnd::FrontEnd(double inRate, double centreHz, double outRate, double passHz)
    : inRate_(inRate),
      wide_(inRate, WideRate(inRate), kWidePassHz, kAttenuationDb),
      blanker_(WideRate(inRate)),
      narrow_(WideRate(inRate), outRate, passHz, kAttenuationDb) {
  SetCentre(centreHz);
}

double FrontEnd::delay() const {
  const double wide = inRate_ / WideRate(inRate_);
  return wide_.taps() / 2.0 + (blanker_.delay() + narrow_.taps() / 2.0) * wide;
}

void FrontEnd::SetCentre(double hz) { mixer_.SetFrequency(-hz / inRate_); }

void FrontEnd::Process(const float* x, size_t n, std::vector<Cf>& out) {
  peak_ = 0;
  for (size_t i = 0; i < n; ++i) {
    const float v = CleanSample(x[i]);
    peak_ = std::max(peak_, std::fabs(v));
    const Cd mixed = mixer_.Next() * static_cast<double>(v);
    Cf wide, narrow;
    if (!wide_.Push(Cf(static_cast<float>(mixed.real()), static_cast<float>(mixed.imag())), &wide)) continue;
    if (narrow_.Push(blanker_.Process(wide), &narrow)) out.push_back(narrow);
  }
}

}  // namespace zk
