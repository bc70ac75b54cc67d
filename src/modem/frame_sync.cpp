#include "modem/frame_sync.h"

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

constexpr double kNone = -1e300;
constexpr double kPauseCost = 6.0;      // a character after a pause, rather than more pause...
constexpr double kJitterCost = 3.0;     // per sample off the learnt spacing
constexpr double kPauseMemory = 0.995;  // ...plus how rare pauses have been, over some 200 characters
constexpr double kGapLearning = 0.05;
constexpr double kMostPauses = 3;
constexpr double kTooEarlyCost = 10;  // a character before the first one may start

double LogCosh(double x) {
  const double a = std::fabs(x);
  return a + std::log1p(std::exp(-2 * a)) - 0.6931471805599453;
}

// What element i of a character adds to a path: the start element must be space and the
// stop element mark; a data element may be either.
double ElementScore(int i, double llr) {
  if (i == 0) return -llr / 2;
  if (i == 6) return llr / 2;
  return LogCosh(llr / 2);
}

}  // namespace

FrameSync::FrameSync(int samplesPerElement, double stopBits, int lag)
    : element_(samplesPerElement),
      lag_(lag),
      jitter_(std::max(2, samplesPerElement / 4)),
      stopGap_((stopBits - 1) * samplesPerElement) {
  gapStates_ = static_cast<int>(std::ceil(stopGap_)) + element_ / 2 + jitter_;
  size_t size = 1;
  while (size < static_cast<size_t>(20 * samplesPerElement + lag)) size *= 2;
  mask_ = size - 1;
  llr_.resize(size);
  idleSum_.resize(size);
  frame_.resize(size);
  prevEnd_.resize(size);
  ended_.resize(size);
  startOf_.resize(size);
  idleAt_.resize(size);
  idleLastAt_.resize(size);
  Reset();
}

void FrameSync::Reset() {
  std::fill(llr_.begin(), llr_.end(), 0.0f);
  std::fill(idleSum_.begin(), idleSum_.end(), 0.0);
  std::fill(frame_.begin(), frame_.end(), kNone);
  std::fill(ended_.begin(), ended_.end(), kNone);
  std::fill(prevEnd_.begin(), prevEnd_.end(), -1);
  std::fill(startOf_.begin(), startOf_.end(), -1);
  std::fill(idleAt_.begin(), idleAt_.end(), 0.0);
  std::fill(idleLastAt_.begin(), idleLastAt_.end(), -1);
  idle_ = 0;
  idleLast_ = -1;
  arrived_ = now_ = 0;
  decidedUntil_ = 0;
  lastStart_ = -1000000;
  noted_ = 0;
  firstStart_ = 0;
  elements_.clear();
  gap_ = stopGap_;
  spacings_ = 0;
  pauses_ = 1;
  characters_ = 3;
  LearnPauses(true);
}

void FrameSync::Push(float llr, std::vector<Frame>& decided) {
  // The path runs half an element behind the evidence: a sample's own evidence for a
  // pause is the element centred on it, so a pause next to a character takes nothing
  // from the character's elements on either side.
  llr_[Slot(arrived_)] = llr;
  if (++arrived_ <= element_ / 2) return;
  now_ = arrived_ - element_ / 2;
  idleSum_[Slot(now_)] = idleSum_[Slot(now_ - 1)] + llr / (2.0 * element_);
  AddElements();
  EndFrames();
  FollowIdle();
  StartFrame();
  Decide(decided, lag_);
  if ((now_ & static_cast<int64_t>(mask_)) == 0) Renormalise();
}

void FrameSync::AddElements() {
  // The element that ends at the newest sample, for every character it can belong to.
  const double llr = Llr(now_ - 1);
  for (int i = 0; i < 6; ++i) {
    const int64_t start = now_ - (i + 1) * element_;
    if (start >= 0 && frame_[Slot(start)] > kNone) frame_[Slot(start)] += ElementScore(i, llr);
  }
}

void FrameSync::EndFrames() {
  const int64_t start = now_ - frameLength();
  const bool held = start >= 0 && frame_[Slot(start)] > kNone;
  ended_[Slot(now_)] = held ? frame_[Slot(start)] + ElementScore(6, Llr(now_ - 1)) : kNone;
  startOf_[Slot(now_)] = start;
}

double FrameSync::IdleSince(int64_t end) const { return idleSum_[Slot(now_)] - idleSum_[Slot(end)]; }

void FrameSync::FollowIdle() {
  // A pause longer than the back-to-back spacing.
  idle_ += Llr(arrived_ - 1) / (2.0 * element_);
  const int64_t end = now_ - gapStates_ - 1;
  const double score = end >= 0 && ended_[Slot(end)] > kNone ? ended_[Slot(end)] + IdleSince(end) : kNone;
  if (score > idle_) {
    idle_ = score;
    idleLast_ = end;
  }
  idleAt_[Slot(now_)] = idle_;
  idleLastAt_[Slot(now_)] = idleLast_;
}

void FrameSync::StartFrame() {
  // A character may start a few samples before the one before it has quite ended (the
  // sender's clock a little fast), so its start is settled that many samples later.
  const int64_t start = now_ - jitter_;
  if (start < 0) return;
  double best = idleAt_[Slot(start)] - startCost_;
  int64_t prev = idleLastAt_[Slot(start)];
  for (int m = -jitter_; m <= gapStates_; ++m) {
    const int64_t end = start - m;
    if (end < 0 || ended_[Slot(end)] <= kNone) continue;
    const double idle = m > 0 ? idleSum_[Slot(start)] - idleSum_[Slot(end)] : 0;
    // Off the learnt spacing costs no more than a few pauses: the sender's stop length may
    // not be the one set, and the spacing is learnt from what follows.
    const double score =
        ended_[Slot(end)] + idle - std::min(kJitterCost * std::fabs(m - gap_), kMostPauses * startCost_);
    if (score > best) {
      best = score;
      prev = end;
    }
  }
  frame_[Slot(start)] = start < firstStart_ ? best - kTooEarlyCost : best;
  prevEnd_[Slot(start)] = prev;
}

void FrameSync::FirstCharacterFrom(int64_t sample) { firstStart_ = sample; }

FrameSync::Best FrameSync::BestNow() const {
  // The best path now: in a pause, just after a character, or inside one.
  Best b{idle_, idleLast_, -1};
  for (int m = 0; m <= gapStates_; ++m) {
    const int64_t end = now_ - m;
    if (end < 0 || ended_[Slot(end)] <= kNone) continue;
    const double score = ended_[Slot(end)] + IdleSince(end);
    if (score > b.score) b = {score, end, -1};
  }
  // A character part way through an element counts that part of it, as the element so
  // far shows it: so it stands level with one that started a little earlier.
  double element[7];
  for (int i = 0; i < 7; ++i) element[i] = ElementScore(i, Llr(now_ - 1)) / element_;
  for (int64_t start = std::max<int64_t>(0, now_ - frameLength() + 1); start <= now_ - jitter_; ++start) {
    const int64_t k = now_ - start;
    const double score = frame_[Slot(start)] + static_cast<double>(k % element_) * element[k / element_];
    if (score > b.score) b = {score, prevEnd_[Slot(start)], start};
  }
  return b;
}

void FrameSync::NoteElements(const Best& b) {
  // Elements of the best path as it stands, each told once: a character's seven half an
  // element after it ended on the best path (a moment earlier, one that ends a little
  // sooner may still lead because the right one is not complete), and in a pause every
  // element's length (not in the short gap before a character that may follow at once).
  // A pause is mark, but what the framing does not yet see as a character may already
  // show as space: that is taken as it shows.
  elements_.clear();
  const int64_t since = b.lastEnd >= 0 ? now_ - b.lastEnd : now_;
  if (b.lastEnd >= 0 && since >= element_ / 2 && b.lastEnd > noted_) {
    const int64_t start = startOf_[Slot(b.lastEnd)];
    if (start < noted_ - jitter_) return;
    for (int i = 0; i < 6; ++i) {
      const int64_t end = start + (i + 1) * element_ - 1;
      elements_.push_back({end, i > 0 && Llr(end) > 0});
    }
    elements_.push_back({b.lastEnd - 1, true});
    noted_ = b.lastEnd;
  } else if (b.start < 0 && since > gapStates_ + element_ && since % element_ == 0 && now_ - element_ >= noted_) {
    elements_.push_back({now_ - 1, Llr(now_ - 1) > 0});
    noted_ = now_;
  }
}

void FrameSync::Decide(std::vector<Frame>& decided, int64_t lag) {
  // Walk the best path back to what is decided, then decide its characters that ended
  // at least the lag ago, oldest first.
  int64_t ends[64];
  int count = 0;
  const Best best = BestNow();
  NoteElements(best);
  for (int64_t e = best.lastEnd; e > decidedUntil_ && count < 64; e = prevEnd_[Slot(startOf_[Slot(e)])]) {
    if (!Held(e) || !Held(startOf_[Slot(e)]) || startOf_[Slot(e)] < decidedUntil_ - jitter_) break;
    ends[count++] = e;
  }
  while (count > 0 && ends[count - 1] <= now_ - lag) {
    const int64_t end = ends[--count];
    const int64_t start = startOf_[Slot(end)];
    // Learn the sender's spacing from characters that follow each other closely.
    const double gap = static_cast<double>(start - lastStart_ - frameLength());
    if (gap >= -jitter_ && gap <= element_ + jitter_) {
      ++spacings_;
      gap_ += std::max(kGapLearning, 1.0 / spacings_) * (gap - gap_);  // the first few count in full
    }
    LearnPauses(std::fabs(gap - gap_) > jitter_ + 1);
    decided.push_back(MakeFrame(start, end));
    lastStart_ = start;
    decidedUntil_ = end;
  }
  if (count == 0) decidedUntil_ = std::max(decidedUntil_, now_ - frameLength() - lag);
}

void FrameSync::LearnPauses(bool pause) {
  pauses_ = kPauseMemory * pauses_ + (pause ? 1 : 0);
  characters_ = kPauseMemory * characters_ + 1;
  startCost_ = kPauseCost + std::clamp(-std::log(pauses_ / characters_), 0.7, 5.0);
}

void FrameSync::Flush(std::vector<Frame>& decided) { Decide(decided, 0); }

Frame FrameSync::MakeFrame(int64_t start, int64_t end) const {
  Frame f{start, end, 0, {}};
  for (int i = 0; i < 6; ++i) f.llr[i] = llr_[Slot(start + (i + 1) * element_ - 1)];
  f.llr[6] = llr_[Slot(end - 1)];
  for (int i = 1; i <= 5; ++i)
    if (f.llr[i] > 0) f.code = static_cast<uint8_t>(f.code | (1 << (i - 1)));
  return f;
}

void FrameSync::Renormalise() {
  // Scores are only ever compared with each other: keep them near zero.
  const double base = idle_, idleBase = idleSum_[Slot(now_)];
  idle_ = 0;
  for (size_t i = 0; i <= mask_; ++i) {
    idleSum_[i] -= idleBase;
    if (frame_[i] > kNone) frame_[i] -= base;
    if (ended_[i] > kNone) ended_[i] -= base;
    idleAt_[i] -= base;
  }
}

}  // namespace zk
