#include "modem/canceller.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kKeptSeconds = 4;         // of the band heard: more than a new receiver hears again
constexpr double kIdleSeconds = 2;         // a pause this long or shorter between characters is steady mark
constexpr double kLeadInSeconds = 0.3;     // mark re-made before a transmission's first character...
constexpr double kTailSeconds = 0.1;       // ...and after its last
constexpr double kPieceElements = 2;       // longer stretches of one tone are fitted in pieces
constexpr double kTimingSeconds = 0.0015;  // a character's timing is looked for this far either side

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 1024;
  while (size < n) size *= 2;
  return size;
}

}  // namespace

Canceller::Canceller(const ModemSettings& settings, int64_t first)
    : settings_(settings),
      element_(settings.sampleRate / settings.baud),
      heard_(first),
      ring_(PowerOfTwoAtLeast(static_cast<size_t>(kKeptSeconds * settings.sampleRate)), 0.0f),
      mask_(ring_.size() - 1) {}

void Canceller::Hear(const float* x, size_t n) {
  for (size_t i = 0; i < n; ++i) ring_[static_cast<size_t>(heard_ + static_cast<int64_t>(i)) & mask_] = x[i];
  heard_ += static_cast<int64_t>(n);
}

void Canceller::Flush() {
  if (lastEnd_ >= 0) AddTone(lastEnd_, lastEnd_ + static_cast<int64_t>(kTailSeconds * settings_.sampleRate), true);
}

void Canceller::Decided(const Demodulator::Keyed& k, double markHz) {
  mark_ = markHz;
  if (k.end <= lastEnd_ || k.end > heard_) return;  // already re-made, or not heard
  const int64_t start = BestStart(k), end = start + (k.end - k.start);
  const auto rate = settings_.sampleRate;
  if (lastEnd_ >= 0 && static_cast<double>(start - lastEnd_) <= kIdleSeconds * rate) {
    AddTone(lastEnd_, start, true);
  } else {
    if (lastEnd_ >= 0) AddTone(lastEnd_, lastEnd_ + static_cast<int64_t>(kTailSeconds * rate), true);
    AddTone(start - static_cast<int64_t>(kLeadInSeconds * rate), start, true);
  }
  // Start element, five data elements (first in the lowest bit), stop element: runs of one tone.
  int64_t runFrom = start;
  bool runMark = false;
  for (int i = 1; i <= 6; ++i) {
    const bool mark = i == 6 || (k.code >> (i - 1) & 1);
    if (mark == runMark) continue;
    const int64_t at = start + std::lround(i * element_);
    AddTone(runFrom, at, runMark);
    runFrom = at;
    runMark = mark;
  }
  AddTone(runFrom, end, runMark);
  lastEnd_ = std::max(lastEnd_, end);
}

// The start that best explains the band: the receiver places a character only to a sample
// of its own rate, several of the band's. The tones of a station keyed without a break in
// phase leave each other where the keying changes: taken with one amplitude and phase for
// each tone over the whole character (a path may favour one tone), a change placed a little
// wrong turns the phase of every later element.
int64_t Canceller::BestStart(const Demodulator::Keyed& k) const {
  const int reach = static_cast<int>(kTimingSeconds * settings_.sampleRate);
  const int64_t length = k.end - k.start, before = std::lround(element_);
  if (k.start - reach - before < heard_ - static_cast<int64_t>(ring_.size()) || k.end + reach > heard_) return k.start;
  const Cd markStep = std::polar(1.0, -kTwoPi * mark_ / settings_.sampleRate);
  const Cd spaceStep = std::polar(1.0, -kTwoPi * SpaceHz() / settings_.sampleRate);
  // An eighth of a millisecond is fine enough at any rate: a keying change placed that far
  // wrong leaves far less than the spill.
  const int step = std::max(1, static_cast<int>(settings_.sampleRate / 8000));
  int64_t best = k.start;
  double bestScore = -1;
  for (int d = -reach; d <= reach; d += step) {
    const int64_t s = k.start + d;
    Cd turn = 1, sums[2] = {0, 0};
    double counts[2] = {0, 0};
    for (int64_t t = -before; t < length; ++t) {
      const int element = t < 0 ? 6 : static_cast<int>(static_cast<double>(t) / element_);
      const bool mark = element >= 6 || (element > 0 && (k.code >> (element - 1) & 1));
      sums[mark] += static_cast<double>(At(s + t)) * turn;
      counts[mark] += 1;
      turn *= mark ? markStep : spaceStep;
    }
    const double score = std::norm(sums[0]) / counts[0] + std::norm(sums[1]) / counts[1];
    if (score > bestScore) {
      bestScore = score;
      best = s;
    }
  }
  return best;
}

double Canceller::SpaceHz() const { return settings_.reverse ? mark_ - settings_.shift : mark_ + settings_.shift; }

// The tone's complex amplitude over these samples; returns the power it explains.
double Canceller::Fit(int64_t from, int64_t to, double hz, Piece* piece) const {
  if (to <= from || from < heard_ - static_cast<int64_t>(ring_.size()) || to > heard_) return 0;
  const double w = kTwoPi * hz / settings_.sampleRate;
  const Cd step = std::polar(1.0, -w);
  Cd turn = std::polar(1.0, -w * static_cast<double>(from));
  Cd sum = 0;
  for (int64_t t = from; t < to; ++t, turn *= step) sum += 2.0 * static_cast<double>(At(t)) * turn;
  const double n = static_cast<double>(to - from);
  if (piece) *piece = {from, to, hz, sum / n};
  return std::norm(sum) / n;
}

void Canceller::AddTone(int64_t from, int64_t to, bool mark) {
  from = std::max(from, lastEnd_);
  if (to <= from) return;
  const double pieceLength = kPieceElements * element_;
  const int count = std::max(1, static_cast<int>(std::ceil(static_cast<double>(to - from) / pieceLength)));
  for (int i = 0; i < count; ++i) {
    const int64_t a = from + (to - from) * i / count, b = from + (to - from) * (i + 1) / count;
    Piece piece{};
    if (Fit(a, b, mark ? mark_ : SpaceHz(), &piece) > 0) pieces_.push_back(piece);
  }
}

void Canceller::Remake(int64_t from, size_t n, float* out) const {
  const int64_t to = from + static_cast<int64_t>(n);
  for (const Piece& p : pieces_) {
    if (p.to <= from || p.from >= to) continue;
    const int64_t a = std::max(p.from, from), b = std::min(p.to, to);
    const double w = kTwoPi * p.hz / settings_.sampleRate;
    const Cd step = std::polar(1.0, w);
    Cd turn = std::polar(1.0, w * static_cast<double>(a));
    for (int64_t t = a; t < b; ++t, turn *= step) out[t - from] += static_cast<float>((p.level * turn).real());
  }
}

void Canceller::Forget(int64_t before) {
  while (!pieces_.empty() && pieces_.front().to <= before) pieces_.pop_front();
}

}  // namespace zk
