#include "modem/demodulator.h"

#include <algorithm>
#include <cmath>

#include "modem/dsp.h"

namespace zk {

namespace {

constexpr double kSearchStepHz = 5;
constexpr double kReplaySeconds = 1;  // what is decoded again when the search finds the signal
constexpr double kLlrLimit = 100;
constexpr double kMaxSnr = 30;
constexpr double kNoiseLearning = 1.0 / 32;  // per element: the noise changes slowly
constexpr int kToneShort = 8;   // elements: a selective fade changes within a second...
constexpr int kToneLong = 256;  // ...a steady tone is measured better over longer
constexpr double kFollowGain = 0.25;         // per character
constexpr double kPairPresent = 2.0;         // weaker tone 3 dB over the noise on average
// Pair strength over 1 for each unit of Es/N0: half the time on each tone, and some of
// each element's energy outside the search's bins (measured).
constexpr double kPairPerEsN0 = 0.28;

// Samples per element: enough rate for both tones, the search range and the keying
// sidebands, and at least 24 so timing is fine (a tone deep in a selective fade is told
// from the strong one's edges only at the right sample); even, so an element has halves.
int SamplesPerElement(const ModemSettings& s) {
  const double pass = s.shift / 2 + kAfcRangeHz + 1.5 * s.baud;
  const int needed = static_cast<int>(std::ceil((2 * pass + 2 * s.baud) / s.baud));
  return std::max(24, needed + (needed & 1));
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
      mark_(kToneShort * element_, kToneLong * element_),
      space_(kToneShort * element_, kToneLong * element_),
      search_(element_, rate_, markBase_, spaceBase_, kAfcRangeHz, kSearchStepHz),
      sync_(element_, settings.stopBits, std::min(5 * element_ / 2, static_cast<int>(0.1 * rate_))),
      squelch_(PairStrengthFor(options.squelchDb, settings.baud), settings.baud, options.squelch, options.ltrsOnSpace),
      codes_(options.ltrsOnSpace),
      history_(PowerOfTwoAtLeast(static_cast<size_t>(32 * element_))),
      historyMask_(history_.size() - 1),
      recent_(PowerOfTwoAtLeast(static_cast<size_t>(kReplaySeconds * rate_))),
      recentMask_(recent_.size() - 1) {
  Reset();
}

void Demodulator::Reset() {
  ForgetSignal();
  search_.Reset();
  snrDb_ = -99;
  squelch_.Reset();
  recentCount_ = 0;
  inputCount_ = 0;
  syncOrigin_ = 0;
  replay_ = false;
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
  stopEnds_.clear();
  inputCount_ += static_cast<int64_t>(n);
  baseband_.clear();
  frontEnd_.Process(samples, n, baseband_);
  for (Cf x : baseband_) {
    recent_[static_cast<size_t>(recentCount_++) & recentMask_] = x;
    Sample(x, true, text);
    if (replay_) Replay(text);
  }
}

void Demodulator::Replay(std::string& text) {
  // The tone search has just found the signal, before anything was shown: decode the
  // last second again on the right tones, so its first characters are not lost.
  replay_ = false;
  const int64_t n = std::min<int64_t>(recentCount_, static_cast<int64_t>(recent_.size()));
  std::vector<Cf> again(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) again[static_cast<size_t>(i)] = recent_[static_cast<size_t>(recentCount_ - n + i) & recentMask_];
  ForgetSignal();
  syncOrigin_ = recentCount_ - n;
  for (Cf x : again) Sample(x, false, text);
}

void Demodulator::ForgetSignal() {
  filters_.Clear();
  sync_.Reset();
  std::fill(history_.begin(), history_.end(), Outputs{});
  noise_ = quiet_ = held_ = 0;
  mark_.Reset();
  space_.Reset();
  drift_ = Cd(0, 0);
  codes_.Reset();
  squelch_.Forget();
}

void Demodulator::Flush(std::string& text) {
  // Silence long enough to bring the last stop element through the filters.
  const std::vector<float> quiet(static_cast<size_t>(settings_.sampleRate * (0.03 + 1.2 / settings_.baud)), 0.0f);
  Process(quiet.data(), quiet.size(), text);
  inputCount_ -= static_cast<int64_t>(quiet.size());
  frames_.clear();
  sync_.Flush(frames_);
  for (const Frame& f : frames_) Decode(f, text);
}

void Demodulator::Sample(Cf x, bool fresh, std::string& text) {
  filters_.Push(x);
  Outputs& o = history_[static_cast<size_t>(sync_.arrived()) & historyMask_];
  o = {filters_.markOld(), filters_.markNew(), filters_.spaceOld(), filters_.spaceNew(), 0.0f};
  if (fresh && search_.Push(x)) Search(text);
  frames_.clear();
  sync_.Push(Llr(o), frames_);
  for (const FrameSync::Element& e : sync_.elements()) LearnElement(e.end, e.mark);
  for (const Frame& f : frames_) Decode(f, text);
}

// Log-likelihood ratio of a filter output of amplitude z between its tone being on and off
// (less a term both tones share): non-coherent detection of a tone of expected amplitude
// a, its spread widened by the doubt in that amplitude (mean square error), and never
// narrower than about a third of a (no level is known better than that). A tone that
// fades faster than its level can be followed is then judged nearly by its power alone,
// as an equal-gain receiver would.
double Demodulator::OnScore(double z, double a, double doubt, double noise) {
  const double wide = noise + 2 * std::max(doubt, 0.1 * a * a);
  return LogBesselI0(2 * a * z / wide) - (z * z + a * a) / wide - std::log(wide) + z * z / noise;
}

float Demodulator::Llr(Outputs& o) {
  // The noise is taken no lower than 15 dB under what the filters have lately held: above
  // that the ratio would saturate and the framing could no longer pick the best timing,
  // and a deep fade of a signal with hardly any noise would look like no signal. Lately
  // means the recent peak, falling over about an element: a floor that lagged behind a
  // tone rising out of a fade would be lowest at the tone's first samples, and the framing
  // would take a window only partly on the tone for the best one.
  const double zm = std::abs(Cd(o.markOld + o.markNew)), zs = std::abs(Cd(o.spaceOld + o.spaceNew));
  const double power = zm * zm + zs * zs;
  held_ = std::max(power, held_ + (power - held_) / element_);
  const double n = std::max({noise_, held_ / kMaxSnr, 1e-30});
  o.noise = static_cast<float>(n);
  // A tone not heard yet is expected as strong as the other, or as what is heard now.
  const double now = std::max(zm * zm, zs * zs);
  const double pm = mark_.heard() ? mark_.power() : (space_.heard() ? space_.power() : now);
  const double ps = space_.heard() ? space_.power() : (mark_.heard() ? mark_.power() : now);
  const double llr = OnScore(zm, std::sqrt(std::max(pm - noise_, 0.1 * n)), mark_.spread() - n / 2, n) -
                     OnScore(zs, std::sqrt(std::max(ps - noise_, 0.1 * n)), space_.spread() - n / 2, n);
  return static_cast<float>(std::clamp(llr, -kLlrLimit, kLlrLimit));
}

// When a character is decided, the elements around it show each tone's level where it
// was sent: mark just before the start element and in the stop element, space in the
// start element. Levels learnt from earlier characters lag a selective fade, so an
// element whose tone sits in a notch was judged against a level the tone no longer had,
// and the other tone's absence, which decides it, counted for little. Each data element
// is judged again with levels taken from its own character as far as they differ from
// the learnt ones by more than noise and the fade's course would explain.
void Demodulator::Redecide(Frame& f) const {
  auto amplitude = [&](int64_t t, bool mark) {
    const Outputs& o = At(t);
    return std::abs(Cd(mark ? o.markOld + o.markNew : o.spaceOld + o.spaceNew));
  };
  const int64_t before = f.start - 1, stop = f.end - 1, start = f.start + element_ - 1;
  const double markBefore = amplitude(before, true), markStop = amplitude(stop, true);
  const double space = amplitude(start, false);
  f.code = 0;
  for (int i = 1; i <= 5; ++i) {
    const int64_t t = f.start + (i + 1) * element_ - 1;
    const Outputs& o = At(t);
    const double n = o.noise;
    auto level = [&](const ToneLevel& tone, double local, double localDoubt, double* doubt) {
      const double learnt = std::sqrt(std::max(tone.power() - noise_, 0.1 * n));
      const double learntDoubt = tone.spread() - n / 2;
      const double d = local - learnt;
      const double trust = std::max(0.0, 1 - 4 * localDoubt / (d * d + 1e-300));
      *doubt = trust * localDoubt + (1 - trust) * learntDoubt;
      return learnt + trust * d;
    };
    // Mark from a straight line between its two measurements, less sure between them the
    // more they differ; space from the start element, less sure the further away, by as
    // much as its level has lately been seen to wander.
    const double fm = static_cast<double>(t - before) / static_cast<double>(stop - before);
    const double markLocal = markBefore + fm * (markStop - markBefore);
    const double markDoubt = (At(before).noise * (1 - fm) * (1 - fm) + At(stop).noise * fm * fm) / 2 +
                             fm * (1 - fm) * (markStop - markBefore) * (markStop - markBefore) / 4;
    const double away = static_cast<double>(i) / 5;
    const double spaceDoubt = At(start).noise / 2 + away * away * std::max(space_.spread(), 0.0) / 4;
    double dm = 0, ds = 0;
    const double am = level(mark_, markLocal, markDoubt, &dm);
    const double as = level(space_, space, spaceDoubt, &ds);
    const double zm = std::abs(Cd(o.markOld + o.markNew)), zs = std::abs(Cd(o.spaceOld + o.spaceNew));
    f.llr[i] = static_cast<float>(std::clamp(OnScore(zm, am, dm, n) - OnScore(zs, as, ds, n), -kLlrLimit, kLlrLimit));
    if (f.llr[i] > 0) f.code = static_cast<uint8_t>(f.code | (1 << (i - 1)));
  }
}

void Demodulator::Decode(const Frame& decided, std::string& text) {
  Frame frame = decided;
  Redecide(frame);
  double clarity = std::min(-frame.llr[0], frame.llr[6]);
  for (int i = 1; i <= 5; ++i) clarity = std::min<double>(clarity, std::fabs(frame.llr[i]));
  const double input = static_cast<double>(syncOrigin_ + frame.end) * settings_.sampleRate / rate_ - frontEnd_.delay();
  squelch_.Pass(options_.learnText ? codes_.Choose(frame.llr + 1) : frame.code, clarity, Seconds(),
                static_cast<int64_t>(std::lround(input)), text, stopEnds_);
}

void Demodulator::LearnElement(int64_t end, bool mark) {
  const Outputs& o = At(end);
  const Cf onOld = mark ? o.markOld : o.spaceOld, onNew = mark ? o.markNew : o.spaceNew;
  const double on = std::norm(Cd(onOld + onNew));
  const double off = mark ? std::norm(Cd(o.spaceOld + o.spaceNew)) : std::norm(Cd(o.markOld + o.markNew));
  // The off filter also holds a little of the on tone (sidelobes, echoes): that part
  // follows the signal, not the noise, so it is left out.
  const double heard = std::max(off - on / 100, 0.0);
  if (noise_ <= 0) noise_ = std::max(heard, 1e-30);
  noise_ += kNoiseLearning * (heard - noise_);
  // For the signal-to-noise report, more of the off filter is put down to the signal:
  // with a strong signal the rest is too little to say how strong.
  quiet_ += kNoiseLearning * (std::max(off - on / 30, 0.0) - quiet_);
  (mark ? mark_ : space_).Add(end, on, noise_);
  (mark ? space_ : mark_).Refresh(end, noise_);
  drift_ += Cd(onNew) * std::conj(Cd(onOld));
  if (++learnt_ == 7) {  // a character's worth
    learnt_ = 0;
    Follow();
    UpdateSnr();
  }
}

void Demodulator::Follow() {
  // The phase a decided tone advances over half an element is its frequency error.
  if (options_.afc && search_.PairStrength(offset_) > kPairPresent && std::abs(drift_) > 0) {
    const double errorHz = std::arg(drift_) * rate_ / (kPi * element_);
    SetOffset(offset_ + kFollowGain * errorHz);
  }
  drift_ = Cd(0, 0);
}

void Demodulator::Search(std::string& text) {
  if (!search_.settled()) return;
  squelch_.Update(search_.PairStrength(offset_), Seconds(), text, stopEnds_);
  if (!options_.afc) return;
  const double best = search_.BestOffset();
  const double strength = search_.PairStrength(best);
  if (strength > kPairPresent && search_.Credible(best) && std::fabs(best - offset_) > settings_.baud / 4 &&
      strength > 1.5 * search_.PairStrength(offset_)) {
    SetOffset(best);
    replay_ = !squelch_.open();
  }
}

void Demodulator::UpdateSnr() {
  // Measured on the decided elements while the signal is strong; weaker, from how far the
  // pair stands out in the tone search, which decisions in noise cannot bias.
  const double decided = 0.5 * (mark_.power() + space_.power()) / std::max(quiet_, 1e-30) - 1;
  const double searched = (squelch_.strength() - 1) / kPairPerEsN0;
  const double esN0 = decided > 10 ? decided : searched;
  snrDb_ = 10 * std::log10(std::clamp(esN0, 1e-3, 1e5)) - 10 * std::log10(3000 / settings_.baud);
}

double Demodulator::Seconds() const { return static_cast<double>(sync_.now()) / rate_; }

double PairStrengthFor(double snrDb, double baud) {
  return 1 + kPairPerEsN0 * std::pow(10, snrDb / 10) * 3000 / baud;
}

}  // namespace zk
