#include "modem/demodulator.h"

#include <algorithm>
#include <cmath>

#include "modem/dsp.h"

namespace zk {

namespace {

constexpr double kSearchStepHz = 10;    // element filters lose under 0.2 dB half a step off
constexpr double kKeptSeconds = 2;      // baseband kept for decoding again once a signal is found
constexpr int kLeadElements = 2;        // decoded before where the signal seems to begin
constexpr double kFadeSeconds = 1.5;    // a signal lost for no longer than this may have faded,
constexpr double kLongFadeSeconds = 4;  // or, once it has been held for 16 s, this...
constexpr double kSameSignalHz = 20;    // ...when it comes back this close to where it was
constexpr int kBandHeard = 16;          // elements of band noise before a signal to measure it by
constexpr double kLlrLimit = 100;
constexpr double kMaxSnr = 30;
constexpr double kMaxEsN0 = 1000;            // the most a signal is taken to stand over its noise
constexpr double kNoiseLearning = 1.0 / 32;  // per element: the noise changes slowly
constexpr int kToneShort = 8;                // elements: a selective fade changes within a second...
constexpr int kToneLong = 256;               // ...a steady tone is measured better over longer
constexpr double kFollowGain = 0.25;         // per character
constexpr double kDeepestFade = 0.01;        // below the held level, a character may still be the signal's
constexpr float kIdleLlr = 10;               // per sample where no carrier has begun

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
      floor_(std::pow(10, options.squelchDb / 10) * 3000 / settings.baud),
      frontEnd_(settings.sampleRate, (settings.mark + settings.space()) / 2, rate_, PassHz(settings)),
      filters_(element_),
      mark_(kToneShort * element_, kToneLong * element_),
      space_(kToneShort * element_, kToneLong * element_),
      search_(element_, rate_, markBase_, spaceBase_, kAfcRangeHz, kSearchStepHz),
      sync_(element_, settings.stopBits, std::min(5 * element_ / 2, static_cast<int>(0.1 * rate_))),
      codes_(options.ltrsOnSpace),
      out_(options.ltrsOnSpace),
      history_(PowerOfTwoAtLeast(static_cast<size_t>(32 * element_))),
      historyMask_(history_.size() - 1),
      recent_(PowerOfTwoAtLeast(static_cast<size_t>(kKeptSeconds * rate_))),
      recentMask_(recent_.size() - 1) {
  search_.Limit(options.afc ? options.searchHz : 0);
  search_.SetFloor(floor_);
  Reset();
}

void Demodulator::Reset() {
  ForgetSignal();
  codes_.Reset();
  out_.NewTransmission();
  search_.Reset();
  snrDb_ = -99;
  hold_ = Hold::kNone;
  waiting_.clear();
  recentCount_ = inputCount_ = syncOrigin_ = 0;
  heldFrom_ = heldUntil_ = shownUntil_ = watchFrom_ = signalFrom_ = elementPhase_ = 0;
  SetOffset(0);
}

void Demodulator::SetMark(double hz) {
  settings_.mark = hz;
  frontEnd_.SetCentre((settings_.mark + settings_.space()) / 2);
  if (hold_ != Hold::kNone) LetGo();
  search_.Reset();
}

void Demodulator::HearOnly(double lowHz, double highHz) {
  const double centre = (settings_.mark + settings_.space()) / 2;  // 0 Hz at baseband
  search_.NoiseWithin(lowHz - centre, highHz - centre);
}

void Demodulator::SetOffset(double hz) {
  offset_ = std::clamp(hz, -kAfcRangeHz, kAfcRangeHz);
  search_.HeldAt(offset_);
  filters_.SetTones((markBase_ + offset_) / rate_, (spaceBase_ + offset_) / rate_);
}

void Demodulator::Process(const float* samples, size_t n, std::string& text) {
  stopEnds_.clear();
  keyed_.clear();
  inputCount_ += static_cast<int64_t>(n);
  baseband_.clear();
  frontEnd_.Process(samples, n, baseband_);
  for (Cf x : baseband_) {
    recent_[static_cast<size_t>(recentCount_++) & recentMask_] = x;
    if (search_.Push(x)) {
      if (hold_ == Hold::kFading && std::fabs(search_.found().offset - offset_) < kSameSignalHz) {
        Resume(text);
      } else {
        Acquire(text);
        continue;  // the sample has been decoded with what came before it
      }
    }
    if (hold_ != Hold::kNone || !options_.squelch) Sample(x, text);
    if (hold_ == Hold::kFading && static_cast<double>(recentCount_ - heldUntil_) > FadeSamples()) LetGo();
  }
}

void Demodulator::Acquire(std::string& text) {
  // Tune to the signal, learn its level from what found it, and decode from just before
  // where it began: its first character then counts as much as any other.
  const FoundSignal& found = search_.found();
  const int64_t start = recentCount_ - search_.count() + found.start;
  const int64_t kept = static_cast<int64_t>(recent_.size()) - element_;
  const int64_t from = std::max({start - kLeadElements * element_, recentCount_ - kept, int64_t{0}});
  if (options_.afc) SetOffset(found.offset);
  ForgetSignal();
  Prime(found);
  codes_.NewTransmission();
  out_.Flush(text, stopEnds_);
  out_.NewTransmission();
  waiting_.clear();
  hold_ = Hold::kSignal;
  bandHeard_ = found.start >= kBandHeard * element_;
  search_.Hold(true);
  carrier_.Start(start);
  heldUntil_ = INT64_MAX / 2;
  watchFrom_ = signalFrom_ = std::max(start, from);
  elementPhase_ = start;
  Replay(from, text);
}

void Demodulator::Replay(int64_t from, std::string& text) {
  // The framing starts afresh on the kept baseband; a character starting before the signal
  // is unlikely, and none before `from` is shown.
  heldFrom_ = syncOrigin_ = from;
  sync_.FirstCharacterFrom(signalFrom_ - element_ / 3 - from);
  for (int64_t t = from; t < recentCount_; ++t) Sample(recent_[static_cast<size_t>(t) & recentMask_], text);
}

void Demodulator::Lose(int64_t at, std::string& text) {
  // The carrier has stopped, or faded: nothing decided after it is shown for now, the
  // frequency stays, and the search may find another signal.
  hold_ = Hold::kFading;
  heldUntil_ = at;
  search_.Hold(false);
  out_.Flush(text, stopEnds_);
}

void Demodulator::Resume(std::string& text) {
  // Back from a fade: what was decided meanwhile and looks like it is shown after all.
  hold_ = Hold::kSignal;
  heldUntil_ = INT64_MAX / 2;
  search_.Hold(true);
  carrier_.Start(syncOrigin_ + sync_.arrived());
  for (const Waiting& w : waiting_) Show(w, text);
  waiting_.clear();
}

double Demodulator::FadeSamples() const {
  // The longer a station has been heard, the likelier it is still sending through a fade.
  const double held = static_cast<double>(heldUntil_ - signalFrom_) / rate_;
  return std::clamp(held / 4, kFadeSeconds, kLongFadeSeconds) * rate_;
}

void Demodulator::LetGo() {
  // Gone for good: search afresh around the nominal tones.
  hold_ = Hold::kNone;
  waiting_.clear();
  search_.Hold(false);
  SetOffset(0);
}

void Demodulator::ForgetSignal() {
  filters_.Clear();
  sync_.Reset();
  std::fill(history_.begin(), history_.end(), Outputs{});
  noise_ = held_ = 0;
  lastElement_ = {INT64_MIN / 2, false};
  splitNoise_.Reset();
  mark_.Reset();
  space_.Reset();
  drift_ = Cd(0, 0);
  learnt_ = 0;
}

void Demodulator::Prime(const FoundSignal& found) {
  const double n = search_.noise();
  noise_ = n;
  mark_.Add(0, n * (1 + std::min(found.markEsN0, kMaxEsN0)), n);
  space_.Add(0, n * (1 + std::min(found.spaceEsN0, kMaxEsN0)), n);
  held_ = std::max(mark_.power(), space_.power());  // no timing is judged on saturated evidence
}

void Demodulator::Flush(std::string& text) {
  // Silence long enough to bring the last stop element through the filters.
  const std::vector<float> quiet(static_cast<size_t>(settings_.sampleRate * (0.03 + 1.2 / settings_.baud)), 0.0f);
  Process(quiet.data(), quiet.size(), text);
  inputCount_ -= static_cast<int64_t>(quiet.size());
  frames_.clear();
  sync_.Flush(frames_);
  for (const Frame& f : frames_) Decode(f, text);
  out_.Flush(text, stopEnds_);
}

void Demodulator::Sample(Cf x, std::string& text) {
  filters_.Push(x);
  Outputs& o = history_[static_cast<size_t>(sync_.arrived()) & historyMask_];
  o = {filters_.markOld(), filters_.markNew(), filters_.spaceOld(), filters_.spaceNew(), 0.0f};
  // Before the found signal began there is no carrier: the framing takes it for idle mark,
  // so it frames no character out of the noise there, and nothing is learnt from it.
  const bool before = syncOrigin_ + sync_.arrived() < signalFrom_ - element_ / 2;
  const float llr = Llr(o);
  frames_.clear();
  sync_.Push(before ? kIdleLlr : llr, frames_);
  for (const FrameSync::Element& e : sync_.elements())
    if (syncOrigin_ + e.end >= signalFrom_) LearnElement(e.end, e.mark);
  WatchCarrier(text);
  for (const Frame& f : frames_) Decode(f, text);
  if (resumeNow_) {
    resumeNow_ = false;
    Resume(text);
  }
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

// Whether a character's own elements show the held signal rather than noise: the
// likelihood ratio of its seven elements' energies (the start element's space, the stop
// element's mark, the stronger tone of each data element) between each tone at its held
// level, or faded, and noise alone.
bool Demodulator::LooksLikeTheSignal(const Frame& f) const {
  const double n = Noise(), gm = EsN0(mark_), gs = EsN0(space_);
  double llr = 0;
  for (int i = 0; i <= 6; ++i) {
    const Outputs& o = At(i == 6 ? f.end - 1 : f.start + (i + 1) * element_ - 1);
    const double m = std::norm(Cd(o.markOld + o.markNew)) / n, s = std::norm(Cd(o.spaceOld + o.spaceNew)) / n;
    const bool mark = i == 6 || (i > 0 && m >= s);
    llr += SignalEvidence(mark ? m : s, mark ? gm : gs, floor_, kDeepestFade, i > 0 && i < 6);
  }
  return llr > 0;
}

void Demodulator::Decode(const Frame& decided, std::string& text) {
  Frame frame = decided;
  Redecide(frame);
  const int64_t start = syncOrigin_ + frame.start, end = syncOrigin_ + frame.end;
  if (start < shownUntil_ - element_) return;  // shown before the signal was found again
  const bool gated = options_.squelch && hold_ != Hold::kNone;
  // A character that ended after the carrier may have stopped must look like the signal, and
  // waits until the carrier watch has settled whether it had: its own elements say little
  // there, as noise offers some timing that frames a character and the framing picks it.
  const bool doubtful = end > carrier_.lastOn() + element_ / 2;
  const bool lost = gated && (end > heldUntil_ + element_ / 2 || doubtful);
  if (gated && (start < heldFrom_ || (doubtful && !LooksLikeTheSignal(frame)))) return;
  if (options_.squelch && hold_ == Hold::kNone) return;
  elementPhase_ = start;
  Waiting w{options_.learnText ? codes_.Choose(frame.llr + 1) : frame.code, end, {}};
  keyed_.push_back({InputSample(start), InputSample(end), w.code});
  std::copy(frame.llr + 1, frame.llr + 6, w.llr);
  if (lost) {
    waiting_.push_back(w);
  } else {
    Show(w, text);
  }
}

void Demodulator::Show(const Waiting& w, std::string& text) {
  shownUntil_ = w.end;
  out_.Add(w.code, w.llr, InputSample(w.end), text, stopEnds_);
}

int64_t Demodulator::InputSample(int64_t baseband) const {
  return std::lround(static_cast<double>(baseband) * settings_.sampleRate / rate_ - frontEnd_.delay());
}

void Demodulator::LearnElement(int64_t end, bool mark) {
  if (hold_ == Hold::kFading) return;  // what is heard now may be noise alone
  const Outputs& o = At(end);
  const Cf onOld = mark ? o.markOld : o.spaceOld, onNew = mark ? o.markNew : o.spaceNew;
  const double on = std::norm(Cd(onOld + onNew));
  const double off = mark ? std::norm(Cd(o.spaceOld + o.spaceNew)) : std::norm(Cd(o.markOld + o.markNew));
  // The off filter also holds a little of the on tone (sidelobes, echoes): that part
  // follows the signal, not the noise, so it is left out.
  const double heard = std::max(off - on / 100, 0.0);
  if (noise_ <= 0) noise_ = std::max(heard, 1e-30);
  noise_ += kNoiseLearning * (heard - noise_);
  LearnSplit(end, mark);
  (mark ? mark_ : space_).Add(end, on, noise_);
  (mark ? space_ : mark_).Refresh(end, noise_);
  drift_ += Cd(onNew) * std::conj(Cd(onOld));
  if (++learnt_ == 7) {  // a character's worth
    learnt_ = 0;
    Follow();
    UpdateSnr();
  }
}

void Demodulator::WatchCarrier(std::string& text) {
  const int64_t t = syncOrigin_ + sync_.arrived();  // just after the newest sample
  if (hold_ == Hold::kNone || t < watchFrom_ + element_ || (t - elementPhase_) % element_ != 0) return;
  const Outputs& o = At(sync_.arrived() - 1);
  const double n = Noise();
  const double energy = std::max(std::norm(Cd(o.markOld + o.markNew)), std::norm(Cd(o.spaceOld + o.spaceNew))) / n;
  if (carrier_.Changed(t, energy, std::max(EsN0(mark_), EsN0(space_)), floor_)) {
    if (carrier_.on()) {
      resumeNow_ = true;
    } else {
      Lose(carrier_.lastOn(), text);
    }
  } else if (hold_ == Hold::kSignal && carrier_.doubt() == 0 && !waiting_.empty()) {
    resumeNow_ = true;  // the doubt has gone: what waited for it is shown
  }
}

double Demodulator::Noise() const {
  // The band's as it was before the held signal began; with a signal heard from the start
  // (which raises the band's), what its own filters have learnt. Never so low that the
  // held signal stands more than 30 dB over it: what is under that is not noise but the
  // signal's own spill, and judging by it would take a slight dip for the signal's end.
  const double band = search_.noise();
  const double n = band > 0 && (bandHeard_ || noise_ <= 0) ? band : noise_;
  return std::max({n, std::max(mark_.power(), space_.power()) / kMaxEsN0, 1e-30});
}

double Demodulator::EsN0(const ToneLevel& tone) const { return std::max(floor_, tone.power() / Noise() - 1); }

void Demodulator::Follow() {
  // The phase a decided tone advances over half an element is its frequency error.
  if (options_.afc && hold_ == Hold::kSignal && std::abs(drift_) > 0) {
    const double errorHz = std::arg(drift_) * rate_ / (kPi * element_);
    SetOffset(offset_ + kFollowGain * errorHz);
  }
  drift_ = Cd(0, 0);
}

// For the report's noise, the filter's halves over an element's length where its tone is on
// throughout: from the middle of one element to the middle of the next of the same tone,
// half an element from the other tone on either side, so that neither timing between
// samples nor the filters' ringing brings any of it in.
void Demodulator::LearnSplit(int64_t end, bool mark) {
  const FrameSync::Element before = lastElement_;
  lastElement_ = {end, mark};
  if (before.mark != mark || end - before.end < element_ || end - before.end > 2 * element_) return;
  const Outputs& o = At(end - element_ / 2);
  splitNoise_.Add(mark ? o.markOld : o.spaceOld, mark ? o.markNew : o.spaceNew);
}

void Demodulator::UpdateSnr() {
  // Against the noise measured under the signal (the band's, as it was before the signal,
  // holds some of the signal's first elements, and the off filter its spill: each far more
  // than the noise under a strong signal); not while the carrier may have stopped, its
  // level then falling towards the noise's.
  if (hold_ != Hold::kSignal || !splitNoise_.known() || carrier_.doubt() > 0) return;
  const double on = 0.5 * (mark_.power() + space_.power());
  const double esN0 = on / std::max(splitNoise_.NoiseUnder(on), 1e-30) - 1;
  snrDb_ = 10 * std::log10(std::clamp(esN0, 1e-3, 1e7)) - 10 * std::log10(3000 / settings_.baud);
}

}  // namespace zk
