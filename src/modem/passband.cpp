#include "modem/passband.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <utility>

#include "modem/band_scan.h"
#include "modem/call_sign.h"
#include "modem/canceller.h"
#include "modem/pair_filter.h"

namespace zk {

namespace {

// Neighbours may be as close as 250 Hz: a receiver looks for its signal no further from
// where the band scan saw it than the scan can be wrong, so it never finds the neighbour.
constexpr double kSearchHz = 40;
constexpr double kReplaySeconds = 2.5;  // a new receiver hears this much of the past: the first character too
constexpr double kIdleSeconds = 4;      // a receiver neither holding nor seen by the scan this long goes
constexpr double kSameSignalHz = 40;    // two receivers this close hold one signal
constexpr double kSameStationHz = 50;   // a station heard again this close to where it was is the same
constexpr size_t kMostReceivers = 24;   // the band holds no more signals 100 Hz apart
// A receiver hears the band this far beyond its tones, as its own filters expect it...
constexpr double kWideHz = 300;
// ...but stops short of a neighbour's tone, at least this far out: a neighbour 250 Hz away
// has a tone 80 Hz beyond, which the receiver's filters would let through, and its keying
// is kept.
constexpr double kEdgeHz = 65;
constexpr double kShortOfToneHz = 15;
// Neighbours at least this strong against the receiver's own pair (an equal one 250 Hz away
// costs a receiver that hears it about a decibel).
constexpr double kStrongerNeighbour = 0.5;
constexpr double kStillAvoided = 0.25;  // one left out stays out until it is this weak
// A neighbour twice as strong as the receiver's pair or more is far stronger still in the
// receiver's fades, and its keying spreads about a baud either side of its tone: the band
// then stops that far short of the tone, though no closer to the receiver's own tones than
// two thirds of a baud (its element filters lose little beyond). Kept until the neighbour is
// hardly stronger, so a fading neighbour does not jolt the band.
constexpr double kMuchStronger = 2;
constexpr double kStillMuchStronger = 1.25;
constexpr double kShortOfStrongBauds = 1.1;
constexpr double kStrongEdgeBauds = 0.66;
// A station is expected back as strong as it was: its strength is remembered, fading over
// this time, so a receiver's band does not open to a neighbour in the neighbour's gaps (and
// take its keying in until the scan sees it again).
constexpr double kStrengthKeptSeconds = 10;
constexpr double kRetuneHz = 25;           // its filter follows it this closely (a retune is a small jolt)
constexpr double kChunkSeconds = 0.01;     // receivers are looked at this often
constexpr size_t kRecentChars = 64;        // of a signal's text, searched for its call sign
constexpr double kConfirmed = 1.5;         // the scan's pair strength that confirms a receiver's signal
constexpr double kDoubtedSeconds = 4;      // a confirmed receiver whose pair the scan has not seen this long goes
constexpr double kUnconfirmedSeconds = 5;  // so does one never confirmed
constexpr size_t kMostHeld = 256;          // characters a receiver holds back meanwhile
// A station much stronger than a neighbour near it is re-made from what its receiver decides
// and taken out of what the neighbour's receiver hears (Canceller): that receiver then hears
// the band this much later than it comes, from then on, so the station's characters around
// each sample have been decided.
constexpr double kDelaySeconds = 0.5;
constexpr double kCancelStronger = 3;      // a station this much stronger than a neighbour is taken out...
constexpr double kCancelWithinHz = 500;    // ...of a neighbour's band whose mark is this near
constexpr double kCancelKeptSeconds = 10;  // and goes on being re-made this long after

// A pair strength as the scan saw it, the strongest lately.
struct Strength {
  double peak = 0;
  double at = 0;  // when it was last raised
  double Now(double now) const { return peak * std::exp(-(now - at) / kStrengthKeptSeconds); }
  void Saw(double strength, double now) {
    if (strength >= Now(now)) {
      peak = strength;
      at = now;
    }
  }
};

struct Receiver {
  std::unique_ptr<PairFilter> filter;
  std::unique_ptr<Demodulator> demodulator;
  int signal = 0;   // the id of the signal it has shown, or 0
  double seen = 0;  // when it last held a signal or the scan last saw one near it
  double born = 0;
  bool drop = false;  // another receiver holds its signal
  // What it holds is shown once the band scan sees a keyed pair there too: two stations'
  // tones can look like one signal to a receiver, never to both.
  bool confirmed = false;
  double doubted = -1;                   // since when the scan has not seen its pair, or -1
  double trying = 0;                     // since when it has held a signal not confirmed yet
  std::string held;                      // decoded before it was confirmed
  Strength strength;                     // of its pair, while it holds one
  bool late = false;                     // it hears the band kDelaySeconds late, strong neighbours taken out
  int64_t origin = 0;                    // the band sample its first input sample was
  int64_t shownEnd = 0;                  // the band sample where the last character it showed ended
  int64_t skipUntil = 0;                 // it has just become late: characters ending before this were shown
  std::deque<Demodulator::Keyed> keyed;  // lately decided, in band samples, for a new canceller
  std::unique_ptr<Canceller> remade;     // its station re-made for a weaker neighbour
  double needed = 0;                     // when a weaker neighbour last needed it
};

struct Kept {
  BandSignal signal;
  Strength strength;
  std::string recent;     // its last characters, for the call sign
  bool received = false;  // a receiver shows it now
};

}  // namespace

struct PassbandDecoder::Impl {
  Impl(const ModemSettings& s, const DemodulatorOptions& o)
      : settings(s),
        options(o),
        scan(s, kPassbandLowHz, kPassbandHighHz),
        replay(static_cast<size_t>(kReplaySeconds * s.sampleRate)),
        delay(static_cast<int64_t>(kDelaySeconds * s.sampleRate)),
        history(replay + static_cast<size_t>(delay) + 1),
        chunk(std::max<size_t>(1, static_cast<size_t>(kChunkSeconds * s.sampleRate))) {
    options.searchHz = kSearchHz;
  }

  void Reset() {
    scan.Reset();
    receivers.clear();
    kept.clear();
    std::fill(history.begin(), history.end(), 0.0f);
    heard = done = 0;
  }

  double Now() const { return static_cast<double>(heard) / settings.sampleRate; }
  size_t Slot(int64_t t) const { return static_cast<size_t>(t % static_cast<int64_t>(history.size())); }

  void Process(const float* x, size_t n, std::vector<BandCharacter>& out) {
    for (size_t at = 0; at < n; at += chunk) Chunk(x + at, std::min(chunk, n - at), out);
  }

  void Chunk(const float* x, size_t n, std::vector<BandCharacter>& out) {
    clean.resize(n);
    bool looked = false;
    for (size_t i = 0; i < n; ++i) {
      clean[i] = history[Slot(heard++)] = CleanSample(x[i]);
      looked = scan.Push(clean[i]) || looked;
    }
    for (Receiver& r : receivers)
      if (r.remade) r.remade->Hear(clean.data(), n);
    const size_t old = receivers.size();
    if (looked) Consider(out);
    for (size_t r = 0; r < old; ++r)
      if (!receivers[r].late) Feed(receivers[r], clean.data(), n, out);
    if (heard - done > delay) Late(static_cast<size_t>(heard - delay - done), out);
    if (looked) {
      Confirm(out);
      Tidy();
      TakeOutStrong(out);
    }
  }

  // The late receivers' share of the band: `n` samples from `done` on.
  void Late(size_t n, std::vector<BandCharacter>& out) {
    for (Receiver& r : receivers)
      if (r.late) {
        Cleaned(done, n, &r, cleaned);
        Feed(r, cleaned.data(), n, out);
      }
    done += static_cast<int64_t>(n);
    for (Receiver& r : receivers)
      if (r.remade) r.remade->Forget(done - static_cast<int64_t>(replay));
  }

  // The band from `from` on without the stations re-made, but for the receiver's own.
  void Cleaned(int64_t from, size_t n, const Receiver* r, std::vector<float>& out) {
    out.resize(n);
    for (size_t i = 0; i < n; ++i) out[i] = history[Slot(from + static_cast<int64_t>(i))];
    part.resize(n);
    for (const Receiver& other : receivers) {
      if (&other == r || !other.remade) continue;
      std::fill(part.begin(), part.end(), 0.0f);
      other.remade->Remake(from, n, part.data());
      for (size_t i = 0; i < n; ++i) out[i] -= part[i];
    }
  }

  // From now on the receiver hears the band late, the stations re-made taken out: a new
  // receiver at its mark hears the last few seconds so, and shows what ends after what the
  // receiver has shown.
  void MakeLate(Receiver& r, bool shown, std::vector<BandCharacter>& out) {
    ModemSettings s = settings;
    s.mark = r.demodulator->markFrequency();
    const double low = r.filter->lowHz(), high = r.filter->highHz();
    r.demodulator = std::make_unique<Demodulator>(s, options);
    r.demodulator->HearOnly(low, high);
    r.filter = std::make_unique<PairFilter>(s.sampleRate, low, high);
    r.late = true;
    r.skipUntil = shown ? r.shownEnd + static_cast<int64_t>(0.5 * settings.sampleRate / settings.baud) : -1;
    const int64_t from = std::max<int64_t>(0, done - static_cast<int64_t>(replay));
    r.origin = from;
    Cleaned(from, static_cast<size_t>(done - from), &r, past);
    Feed(r, past.data(), past.size(), out);
  }

  // A station much stronger than a neighbour near it (as strong as it has lately been, the
  // neighbour as it is now) is re-made for the neighbour's receiver; re-making goes on a
  // while after the need has gone, so a fade does not start it afresh. Whether a station is
  // re-made near this receiver's.
  bool CleanFor(const Receiver& weak) {
    const double now = Now(), mark = weak.demodulator->markFrequency();
    if (!weak.demodulator->squelchOpen()) return false;  // nothing to hear: its signal has gone
    bool any = false;
    for (Receiver& strong : receivers) {
      // A late receiver decides too late for a late neighbour. One not confirmed yet may be
      // a station keying up, whose first characters matter as much as the rest.
      if (&strong == &weak || strong.late || !strong.demodulator->squelchOpen()) continue;
      const double other = strong.demodulator->markFrequency();
      if (std::fabs(other - mark) >= kCancelWithinHz) continue;
      if (std::max(scan.PairAt(other), strong.strength.Now(now)) >= kCancelStronger * scan.PairAt(mark)) {
        if (!strong.remade) Remake(strong);
        strong.needed = now;
      }
      any = any || strong.remade;
    }
    return any;
  }

  void TakeOutStrong(std::vector<BandCharacter>& out) {
    for (Receiver& r : receivers)
      if (r.confirmed && CleanFor(r) && !r.late) MakeLate(r, true, out);
    for (Receiver& r : receivers)
      if (r.remade && Now() - r.needed > kCancelKeptSeconds) r.remade.reset();
  }

  // The receiver's station re-made from what the receiver has decided lately, and from now on.
  void Remake(Receiver& r) {
    const size_t size = history.size();
    const int64_t filled = std::min<int64_t>(heard, static_cast<int64_t>(size));
    r.remade = std::make_unique<Canceller>(settings, heard - filled);
    for (int64_t t = heard - filled; t < heard;) {
      const size_t at = Slot(t), len = std::min<size_t>(size - at, static_cast<size_t>(heard - t));
      r.remade->Hear(history.data() + at, len);
      t += static_cast<int64_t>(len);
    }
    for (const Demodulator::Keyed& k : r.keyed) r.remade->Decided(k, r.demodulator->markFrequency());
  }

  // Every pair the scan sees keeps the receiver near it, or gets one of its own.
  void Consider(std::vector<BandCharacter>& out) {
    for (const BandCandidate& c : scan.candidates()) {
      Receiver* near = nullptr;
      for (Receiver& r : receivers)
        if (std::fabs(r.demodulator->markFrequency() - c.markHz) < BandScan::kCandidatesApartHz) near = &r;
      if (near) {
        near->seen = Now();
      } else if (receivers.size() < kMostReceivers && !OnHeldTones(c.markHz)) {
        Start(c.markHz, out);
      }
    }
  }

  // Whether a pair at this mark has a tone on a tone of a signal held now: its keying
  // spills beside its tones.
  bool OnHeldTones(double mark) const {
    const double apart = 1.3 * settings.baud;
    for (const Receiver& r : receivers) {
      if (!r.confirmed || !r.demodulator->squelchOpen()) continue;
      const double d = std::fabs(r.demodulator->markFrequency() - mark);
      if (std::fabs(d - settings.shift) < apart) return true;
    }
    return false;
  }

  void Feed(Receiver& r, const float* x, size_t n, std::vector<BandCharacter>& out) {
    filtered.clear();
    if (r.filter) {
      r.filter->Process(x, n, filtered);
    } else {
      filtered.assign(x, x + n);
    }
    text.clear();
    r.demodulator->Process(filtered.data(), filtered.size(), text);
    Decided(r);
    Shown(r);
    Take(r, text, out);
  }

  // The band sample a sample of the receiver's own input (after its filter) stands for.
  static int64_t BandOffset(const Receiver& r) { return r.origin + (r.filter ? r.filter->delay() : 0); }

  // Keeps what the receiver decided lately, and re-makes it where needed.
  void Decided(Receiver& r) {
    if (r.late) return;
    const int64_t offset = BandOffset(r);
    for (Demodulator::Keyed k : r.demodulator->keyed()) {
      k.start += offset;
      k.end += offset;
      r.keyed.push_back(k);
      if (r.remade) r.remade->Decided(k, r.demodulator->markFrequency());
    }
    while (!r.keyed.empty() && r.keyed.front().start < heard - static_cast<int64_t>(history.size()))
      r.keyed.pop_front();
  }

  // Notes where the characters just decoded end; of a receiver just made late, drops those
  // shown before.
  void Shown(Receiver& r) {
    const std::vector<int64_t>& ends = r.demodulator->stopEnds();
    if (ends.size() != text.size()) return;
    std::string after;
    for (size_t i = 0; i < text.size(); ++i) {
      const int64_t end = BandOffset(r) + ends[i];
      if (end <= r.skipUntil) continue;
      after += text[i];
      r.shownEnd = end;
    }
    text.swap(after);
  }

  double LowTone(double mark) const { return settings.reverse ? mark - settings.shift : mark; }

  // The band a receiver of this mark hears: the tones of neighbours about as strong or
  // stronger, as the scan or their receivers show them, left out. (Not of much weaker ones:
  // the band beyond them would be quieter than the receiver's own, which would then take the
  // signal for stronger.)
  std::pair<double, double> Edges(double mark, size_t self) const {
    const double lowTone = LowTone(mark), highTone = lowTone + settings.shift;
    double low = lowTone - kWideHz, high = highTone + kWideHz;
    const double now = Now();
    const double own = std::max(scan.PairAt(mark), self < receivers.size() ? receivers[self].strength.Now(now) : 0.0);
    const PairFilter* band = self < receivers.size() ? receivers[self].filter.get() : nullptr;
    auto avoid = [&](double otherMark, double remembered) {
      // A neighbour's tone outside the band now is left out as long as it is not much
      // weaker: a band that opened and closed as a fading neighbour's strength crossed one
      // threshold would jolt the receiver each time.
      const bool out =
          band && (LowTone(otherMark) + settings.shift < band->lowHz() || LowTone(otherMark) > band->highHz());
      const double strength = std::max(scan.PairAt(otherMark), remembered);
      if (strength <= (out ? kStillAvoided : kStrongerNeighbour) * own) return;
      for (double t : {LowTone(otherMark), LowTone(otherMark) + settings.shift}) {
        const bool above = t > highTone;
        const bool narrowed =
            band && (above ? band->highHz() < highTone + kEdgeHz - 1 : band->lowHz() > lowTone - kEdgeHz + 1);
        const bool much = strength > (narrowed ? kStillMuchStronger : kMuchStronger) * own;
        const double edge = much ? kStrongEdgeBauds * settings.baud : kEdgeHz;
        const double shortOf = much ? kShortOfStrongBauds * settings.baud : kShortOfToneHz;
        if (t > highTone + edge) high = std::min(high, std::max(highTone + edge, t - shortOf));
        if (t < lowTone - edge) low = std::max(low, std::min(lowTone - edge, t + shortOf));
      }
    };
    for (size_t i = 0; i < receivers.size(); ++i)
      if (i != self) avoid(receivers[i].demodulator->markFrequency(), receivers[i].strength.Now(now));
    for (const Kept& k : kept)
      if (!k.received && std::fabs(k.signal.markHz - mark) > kSameStationHz)
        avoid(k.signal.markHz, k.strength.Now(now));
    for (const BandCandidate& c : scan.candidates())
      if (std::fabs(c.markHz - mark) > BandScan::kCandidatesApartHz) avoid(c.markHz, 0);
    return {low, high};
  }

  void Start(double mark, std::vector<BandCharacter>& out) {
    ModemSettings s = settings;
    s.mark = mark;
    receivers.push_back({});
    receivers.back().demodulator = std::make_unique<Demodulator>(s, options);
    const auto [low, high] = Edges(mark, receivers.size() - 1);
    receivers.back().filter = std::make_unique<PairFilter>(s.sampleRate, low, high);
    receivers.back().demodulator->HearOnly(low, high);
    receivers.back().seen = receivers.back().born = receivers.back().trying = Now();
    Receiver& r = receivers.back();
    // The past in the order it came, so the receiver finds the signal where it began.
    r.origin = std::max<int64_t>(0, heard - static_cast<int64_t>(replay));
    past.clear();
    for (int64_t t = r.origin; t < heard; ++t) past.push_back(history[Slot(t)]);
    Feed(r, past.data(), past.size(), out);
  }

  void Take(Receiver& r, const std::string& decoded, std::vector<BandCharacter>& out) {
    const Demodulator& d = *r.demodulator;
    if (d.squelchOpen() || !decoded.empty()) r.seen = Now();
    if (!r.confirmed) {
      r.held += decoded;
      if (r.held.size() > kMostHeld) r.held.erase(0, r.held.size() - kMostHeld);
      return;
    }
    if (!d.squelchOpen() && decoded.empty()) {
      if (r.signal) Find(r.signal).signal.open = false;
      return;
    }
    if (!r.signal) r.signal = Attach(d.markFrequency());
    Kept& k = Find(r.signal);
    if (k.strength.Now(Now()) > r.strength.Now(Now())) r.strength = k.strength;
    k.received = true;
    k.signal.open = d.squelchOpen();
    k.signal.markHz = d.markFrequency();
    // The receiver's own reading, of the noise under its signal, holds in a crowded band; the
    // scan's until it has one.
    if (d.squelchOpen()) k.signal.snrDb = d.snrDb() > -90 ? d.snrDb() : scan.SnrDb(d.markFrequency());
    k.signal.lastHeard = Now();
    for (char c : decoded) {
      out.push_back({r.signal, c});
      Append(k, c);
    }
  }

  // Each receiver against what the band scan sees at its tones.
  void Confirm(std::vector<BandCharacter>& out) {
    const double now = Now();
    for (Receiver& r : receivers) {
      const bool open = r.demodulator->squelchOpen();
      const double mark = r.demodulator->markFrequency();
      const bool seen = scan.PairAt(mark) >= kConfirmed;
      if (open && r.confirmed) {
        r.strength.Saw(scan.PairAt(mark), now);
        if (r.signal) Find(r.signal).strength = r.strength;
      }
      const auto [low, high] = Edges(mark, static_cast<size_t>(&r - receivers.data()));
      if (r.filter &&
          (std::fabs(low - r.filter->lowHz()) > kRetuneHz || std::fabs(high - r.filter->highHz()) > kRetuneHz)) {
        r.filter->Tune(low, high);
        r.demodulator->HearOnly(low, high);
      }
      if (!r.confirmed && open && seen) {
        // Nothing of it shown yet: a receiver that needs stronger stations taken out hears
        // its signal again without them.
        r.confirmed = true;
        const std::string held = r.held;
        r.held.clear();
        if (CleanFor(r)) {
          MakeLate(r, false, out);
        } else {
          Take(r, held, out);
        }
      } else if (!r.confirmed && !open) {
        r.trying = now;
      }
      if (!r.confirmed && now - r.trying > kUnconfirmedSeconds) r.drop = true;
      if (!open || seen) {
        r.doubted = -1;
      } else if (r.doubted < 0) {
        r.doubted = now;
      } else if (now - r.doubted > kDoubtedSeconds) {
        r.drop = true;
      }
    }
  }

  static void Append(Kept& k, char c) {
    std::string& tail = k.signal.tail;
    tail.push_back(c);
    if (tail.size() > kSignalTailChars) tail.erase(0, tail.size() - kSignalTailChars);
    k.recent.push_back(c);
    if (k.recent.size() > kRecentChars) k.recent.erase(0, k.recent.size() - kRecentChars);
    // Only a word that has ended: the one being received may be half a call sign.
    const size_t end = k.recent.find_last_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/");
    if (end == std::string::npos) return;
    const std::string call = LastCallSign(k.recent.substr(0, end));
    if (!call.empty()) k.signal.callSign = call;
  }

  // The kept signal a station at this mark is: one not shown now, heard last near here.
  int Attach(double mark) {
    Kept* best = nullptr;
    for (Kept& k : kept)
      if (!k.received && std::fabs(k.signal.markHz - mark) < kSameStationHz &&
          (!best || k.signal.lastHeard > best->signal.lastHeard))
        best = &k;
    if (best) return best->signal.id;
    kept.push_back({});
    kept.back().signal.id = ++lastId;
    kept.back().signal.markHz = mark;
    return lastId;
  }

  Kept& Find(int id) {
    for (Kept& k : kept)
      if (k.signal.id == id) return k;
    return kept.front();  // every receiver's signal is kept
  }

  // Receivers that found the same signal become one; those with nothing to do go; so do
  // signals silent for longer than they are kept.
  void Tidy() {
    for (size_t a = 0; a < receivers.size(); ++a)
      for (size_t b = a + 1; b < receivers.size(); ++b)
        if (Same(receivers[a], receivers[b])) receivers[Weaker(a, b)].drop = true;
    const double now = Now();
    receivers.erase(std::remove_if(receivers.begin(), receivers.end(),
                                   [&](const Receiver& r) {
                                     const bool idle = !r.demodulator->squelchOpen() && now - r.seen > kIdleSeconds;
                                     if ((idle || r.drop) && r.signal) Let(r.signal);
                                     return idle || r.drop;
                                   }),
                    receivers.end());
    for (const Kept& k : kept)
      if (!k.signal.open && now - k.signal.lastHeard > kSignalKeptSeconds)
        for (Receiver& r : receivers)
          if (r.signal == k.signal.id) r.signal = 0;
    kept.erase(
        std::remove_if(kept.begin(), kept.end(),
                       [&](const Kept& k) { return !k.signal.open && now - k.signal.lastHeard > kSignalKeptSeconds; }),
        kept.end());
  }

  bool Same(const Receiver& a, const Receiver& b) const {
    return std::fabs(a.demodulator->markFrequency() - b.demodulator->markFrequency()) < kSameSignalHz;
  }

  // Of two receivers on one signal, the one to let go: one that holds nothing, or else the younger.
  size_t Weaker(size_t a, size_t b) {
    const bool openA = receivers[a].confirmed && receivers[a].demodulator->squelchOpen();
    const bool openB = receivers[b].confirmed && receivers[b].demodulator->squelchOpen();
    if (openA != openB) return openA ? b : a;
    if (receivers[a].signal && !receivers[b].signal) return b;
    if (receivers[b].signal && !receivers[a].signal) return a;
    return receivers[a].born <= receivers[b].born ? b : a;
  }

  void Let(int id) {
    for (Kept& k : kept)
      if (k.signal.id == id) {
        k.received = false;
        k.signal.open = false;
      }
  }

  void Flush(std::vector<BandCharacter>& out) {
    // The receivers that hear the band as it comes first: what they decide last is re-made
    // for the late ones, which then hear the rest.
    for (bool late : {false, true}) {
      for (Receiver& r : receivers) {
        if (r.late != late) continue;
        text.clear();
        r.demodulator->Flush(text);
        Decided(r);
        Shown(r);
        Take(r, text, out);
        if (r.remade) r.remade->Flush();
      }
      while (!late && done < heard)
        Late(static_cast<size_t>(std::min<int64_t>(heard - done, static_cast<int64_t>(chunk))), out);
    }
  }

  void Publish(std::vector<BandSignal>& signals) const {
    signals.clear();
    for (const Kept& k : kept) signals.push_back(k.signal);
    std::sort(signals.begin(), signals.end(),
              [](const BandSignal& a, const BandSignal& b) { return a.markHz < b.markHz; });
  }

  ModemSettings settings;
  DemodulatorOptions options;
  BandScan scan;
  size_t replay;               // samples a new receiver hears again
  int64_t delay;               // samples the receivers are behind the band
  std::vector<float> history;  // the band's last samples, for the receivers and a new one
  size_t chunk;
  int64_t heard = 0;  // samples since Reset
  int64_t done = 0;   // of them, heard by late receivers
  std::vector<float> part, cleaned, past;
  std::vector<Receiver> receivers;
  std::vector<Kept> kept;
  int lastId = 0;
  std::vector<float> clean, filtered;
  std::string text;
};

PassbandDecoder::PassbandDecoder(const ModemSettings& settings, const DemodulatorOptions& options)
    : impl_(std::make_unique<Impl>(settings, options)) {}

PassbandDecoder::~PassbandDecoder() = default;

void PassbandDecoder::Process(const float* samples, size_t n, std::vector<BandCharacter>& out) {
  impl_->Process(samples, n, out);
  impl_->Publish(signals_);
}

void PassbandDecoder::Flush(std::vector<BandCharacter>& out) {
  impl_->Flush(out);
  impl_->Publish(signals_);
}

void PassbandDecoder::Reset() {
  impl_->Reset();
  impl_->Publish(signals_);
}

}  // namespace zk
