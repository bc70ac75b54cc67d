#include "modem/demodulator.h"

#include <algorithm>
#include <cmath>

#include "modem/dsp.h"

namespace zk {

namespace {

constexpr double kSearchStepHz = 5;
constexpr double kLlrLimit = 100;
constexpr double kMaxSnr = 30;
constexpr double kNoiseLearning = 1.0 / 64;  // per element: the noise changes slowly
constexpr double kToneLearning = 1.0 / 12;   // per element: fast enough for selective fading
constexpr double kFollowGain = 0.25;         // per character
constexpr double kPairPresent = 2.0;         // weaker tone 3 dB over the noise on average

// Samples per element: enough rate for both tones, the search range and the keying
// sidebands, and at least 16 so timing is fine; even, so an element has two halves.
int SamplesPerElement(const ModemSettings& s) {
  const double pass = s.shift / 2 + kAfcRangeHz + 1.5 * s.baud;
  const int needed = static_cast<int>(std::ceil((2 * pass + 2 * s.baud) / s.baud));
  return std::max(16, needed + (needed & 1));
}

double PassHz(const ModemSettings& s) { return s.shift / 2 + kAfcRangeHz + 1.5 * s.baud; }

size_t PowerOfTwoAtLeast(size_t n) {
  size_t size = 1;
  while (size < n) size *= 2;
  return size;
}

}  // namespace

Demodulator::Demodulator(const ModemSettings& settings, const DemodulatorOptions& options)
    : settings_(settings),
      options_(options),
      element_(SamplesPerElement(settings)),
      rate_(element_ * settings.baud),
      markBase_(settings.reverse ? settings.shift / 2 : -settings.shift / 2),
      spaceBase_(-markBase_),
      frontEnd_(settings.sampleRate, (settings.mark + settings.space()) / 2, rate_, PassHz(settings)),
      filters_(element_),
      search_(element_, markBase_ / rate_, spaceBase_ / rate_, kAfcRangeHz / rate_, kSearchStepHz / rate_),
      sync_(element_, settings.stopBits, std::min(3 * element_, static_cast<int>(0.1 * rate_))),
      history_(PowerOfTwoAtLeast(static_cast<size_t>(32 * element_))),
      historyMask_(history_.size() - 1) {
  Reset();
}

void Demodulator::Reset() {
  search_.Reset();
  sync_.Reset();
  codec_ = BaudotCodec();
  std::fill(history_.begin(), history_.end(), Outputs{});
  learntUntil_ = 0;
  noise_ = markPower_ = spacePower_ = 0;
  drift_ = Cd(0, 0);
  snrDb_ = -99;
  squelchOpen_ = !options_.squelch;
  SetOffset(0);
}

void Demodulator::SetMark(double hz) {
  settings_.mark = hz;
  frontEnd_.SetCentre((settings_.mark + settings_.space()) / 2);
  search_.Reset();
  SetOffset(0);
}

void Demodulator::SetOffset(double hz) {
  offset_ = std::clamp(hz, -kAfcRangeHz, kAfcRangeHz);
  filters_.SetTones((markBase_ + offset_) / rate_, (spaceBase_ + offset_) / rate_);
}

void Demodulator::Process(const float* samples, size_t n, std::string& text) {
  baseband_.clear();
  frontEnd_.Process(samples, n, baseband_);
  for (Cf x : baseband_) Sample(x, text);
}

void Demodulator::Sample(Cf x, std::string& text) {
  filters_.Push(x);
  const Outputs o{filters_.markOld(), filters_.markNew(), filters_.spaceOld(), filters_.spaceNew()};
  history_[static_cast<size_t>(sync_.now()) & historyMask_] = o;
  if (search_.Push(x)) Search();
  frames_.clear();
  sync_.Push(Llr(o), frames_);
  for (const Frame& f : frames_) Decode(f, text);
  if (sync_.decidedUntil() > learntUntil_) LearnIdle(learntUntil_, sync_.decidedUntil());
}

float Demodulator::Llr(const Outputs& o) const {
  // Log-likelihood ratio of mark over space for non-coherent detection of tones whose
  // amplitudes differ (selective fading): ln I0(2A|z|/N) - A^2/N for each tone. The
  // noise is taken no lower than the strong signal's 15 dB under it: above that the
  // ratio would saturate and the framing could no longer pick the best timing.
  const double n = std::max({noise_, std::max(markPower_, spacePower_) / kMaxSnr, 1e-30});
  const double am = std::sqrt(std::max(markPower_ - noise_, 0.1 * n));
  const double as = std::sqrt(std::max(spacePower_ - noise_, 0.1 * n));
  const double zm = std::abs(Cd(o.markOld + o.markNew)), zs = std::abs(Cd(o.spaceOld + o.spaceNew));
  const double llr = LogBesselI0(2 * am * zm / n) - am * am / n - LogBesselI0(2 * as * zs / n) + as * as / n;
  return static_cast<float>(std::clamp(llr, -kLlrLimit, kLlrLimit));
}

void Demodulator::Decode(const Frame& frame, std::string& text) {
  if (frame.start > learntUntil_) LearnIdle(learntUntil_, frame.start);
  LearnElement(frame.start + element_ - 1, false);
  for (int i = 1; i <= 5; ++i) LearnElement(frame.start + (i + 1) * element_ - 1, frame.llr[i] > 0);
  LearnElement(frame.end - 1, true);
  learntUntil_ = frame.end;
  const char ch = codec_.Decode(frame.code, options_.ltrsOnSpace);
  if (ch != 0 && squelchOpen_) text.push_back(ch);
}

void Demodulator::LearnElement(int64_t end, bool mark) {
  const Outputs& o = At(end);
  const Cf onOld = mark ? o.markOld : o.spaceOld, onNew = mark ? o.markNew : o.spaceNew;
  const double on = std::norm(Cd(onOld + onNew));
  const double off = mark ? std::norm(Cd(o.spaceOld + o.spaceNew)) : std::norm(Cd(o.markOld + o.markNew));
  if (noise_ <= 0) noise_ = std::max(off, 1e-30);
  noise_ += kNoiseLearning * (off - noise_);
  double& power = mark ? markPower_ : spacePower_;
  if (power <= 0) power = on;
  power += kToneLearning * (on - power);
  drift_ += Cd(onNew) * std::conj(Cd(onOld));
  if (++learnt_ == 7) {  // a character's worth
    learnt_ = 0;
    Follow();
    UpdateSnr();
  }
}

void Demodulator::LearnIdle(int64_t from, int64_t to) {
  // Idle is steady mark: every whole element of it teaches the mark level and the noise.
  int64_t end = from + element_ - 1;
  for (; end < to; end += element_) LearnElement(end, true);
  learntUntil_ = std::max(learntUntil_, end - element_ + 1);
}

void Demodulator::Follow() {
  // The phase a decided tone advances over half an element is its frequency error.
  if (options_.afc && search_.PairStrength(offset_) > kPairPresent && std::abs(drift_) > 0) {
    const double errorHz = std::arg(drift_) * rate_ / (kPi * element_);
    SetOffset(offset_ + kFollowGain * errorHz);
  }
  drift_ = Cd(0, 0);
}

void Demodulator::Search() {
  if (!options_.afc) return;
  const double best = search_.BestOffset();
  const double strength = search_.PairStrength(best);
  if (strength > kPairPresent && std::fabs(best - offset_) > settings_.baud / 4 &&
      strength > 1.5 * search_.PairStrength(offset_))
    SetOffset(best);
}

void Demodulator::UpdateSnr() {
  const double n = std::max(noise_, 1e-30);
  const double es = std::max(0.5 * (markPower_ + spacePower_) - n, 1e-6 * n);
  snrDb_ = 10 * std::log10(es / n) - 10 * std::log10(3000 / settings_.baud);
  squelchOpen_ = !options_.squelch || snrDb_ >= options_.squelchDb;
}

}  // namespace zk
