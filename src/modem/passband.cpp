#include "modem/passband.h"

#include <algorithm>
#include <cmath>

#include "modem/band_scan.h"
#include "modem/call_sign.h"

namespace zk {

namespace {

// Neighbours may be as close as 250 Hz: a receiver looks for its signal no further than a
// third of that from where the band scan saw it, so it never finds the neighbour.
constexpr double kSearchHz = 80;
constexpr double kReplaySeconds = 2.5;   // a new receiver hears this much of the past: the first character too
constexpr double kIdleSeconds = 4;       // a receiver neither holding nor seen by the scan this long goes
constexpr double kSameSignalHz = 40;     // two receivers this close hold one signal
constexpr double kSameStationHz = 50;    // a station heard again this close to where it was is the same
constexpr size_t kMostReceivers = 24;    // the band holds no more signals 100 Hz apart
constexpr double kChunkSeconds = 0.01;   // receivers are looked at this often
constexpr size_t kRecentChars = 64;      // of a signal's text, searched for its call sign

struct Receiver {
  std::unique_ptr<Demodulator> demodulator;
  int signal = 0;       // the id of the signal it has shown, or 0
  double seen = 0;      // when it last held a signal or the scan last saw one near it
  double born = 0;
  bool drop = false;    // another receiver holds its signal
};

struct Kept {
  BandSignal signal;
  std::string recent;   // its last characters, for the call sign
  bool received = false;  // a receiver shows it now
};

}  // namespace

struct PassbandDecoder::Impl {
  Impl(const ModemSettings& s, const DemodulatorOptions& o)
      : settings(s),
        options(o),
        scan(s, kPassbandLowHz, kPassbandHighHz),
        history(static_cast<size_t>(kReplaySeconds * s.sampleRate)),
        chunk(std::max<size_t>(1, static_cast<size_t>(kChunkSeconds * s.sampleRate))) {
    options.searchHz = kSearchHz;
  }

  void Reset() {
    scan.Reset();
    receivers.clear();
    kept.clear();
    std::fill(history.begin(), history.end(), 0.0f);
    heard = 0;
  }

  double Now() const { return static_cast<double>(heard) / settings.sampleRate; }

  void Process(const float* x, size_t n, std::vector<BandCharacter>& out) {
    for (size_t at = 0; at < n; at += chunk) Chunk(x + at, std::min(chunk, n - at), out);
  }

  void Chunk(const float* x, size_t n, std::vector<BandCharacter>& out) {
    clean.resize(n);
    bool looked = false;
    for (size_t i = 0; i < n; ++i) {
      clean[i] = CleanSample(x[i]);
      history[static_cast<size_t>(heard++ % static_cast<int64_t>(history.size()))] = clean[i];
      looked = scan.Push(clean[i]) || looked;
    }
    const size_t old = receivers.size();
    if (looked) Consider(out);
    for (size_t r = 0; r < old; ++r) {
      text.clear();
      receivers[r].demodulator->Process(clean.data(), n, text);
      Take(receivers[r], text, out);
    }
    if (looked) Tidy();
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
      if (!r.demodulator->squelchOpen()) continue;
      const double d = std::fabs(r.demodulator->markFrequency() - mark);
      if (std::fabs(d - settings.shift) < apart) return true;
    }
    return false;
  }

  void Start(double mark, std::vector<BandCharacter>& out) {
    ModemSettings s = settings;
    s.mark = mark;
    receivers.push_back({std::make_unique<Demodulator>(s, options), 0, Now(), Now()});
    Receiver& r = receivers.back();
    // The past in the order it came, so the receiver finds the signal where it began.
    const size_t size = history.size();
    const size_t filled = static_cast<size_t>(std::min<int64_t>(heard, static_cast<int64_t>(size)));
    const size_t first = static_cast<size_t>(heard % static_cast<int64_t>(size));
    text.clear();
    if (filled == size) r.demodulator->Process(history.data() + first, size - first, text);
    r.demodulator->Process(history.data(), first, text);
    Take(r, text, out);
  }

  void Take(Receiver& r, const std::string& decoded, std::vector<BandCharacter>& out) {
    const Demodulator& d = *r.demodulator;
    if (!d.squelchOpen() && decoded.empty()) {
      if (r.signal) Find(r.signal).signal.open = false;
      return;
    }
    r.seen = Now();
    if (!r.signal) r.signal = Attach(d.markFrequency());
    Kept& k = Find(r.signal);
    k.received = true;
    k.signal.open = d.squelchOpen();
    k.signal.markHz = d.markFrequency();
    k.signal.snrDb = d.snrDb();
    k.signal.lastHeard = Now();
    for (char c : decoded) {
      out.push_back({r.signal, c});
      Append(k, c);
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
    kept.erase(std::remove_if(kept.begin(), kept.end(),
                              [&](const Kept& k) {
                                return !k.signal.open && now - k.signal.lastHeard > kSignalKeptSeconds;
                              }),
               kept.end());
  }

  bool Same(const Receiver& a, const Receiver& b) const {
    return std::fabs(a.demodulator->markFrequency() - b.demodulator->markFrequency()) < kSameSignalHz;
  }

  // Of two receivers on one signal, the one to let go: one that holds nothing, or else the younger.
  size_t Weaker(size_t a, size_t b) {
    const bool openA = receivers[a].demodulator->squelchOpen(), openB = receivers[b].demodulator->squelchOpen();
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
    for (Receiver& r : receivers) {
      text.clear();
      r.demodulator->Flush(text);
      Take(r, text, out);
    }
  }

  void Publish(std::vector<BandSignal>& signals) const {
    signals.clear();
    for (const Kept& k : kept) signals.push_back(k.signal);
    std::sort(signals.begin(), signals.end(), [](const BandSignal& a, const BandSignal& b) { return a.markHz < b.markHz; });
  }

  ModemSettings settings;
  DemodulatorOptions options;
  BandScan scan;
  std::vector<float> history;  // the last samples, for a new receiver
  size_t chunk;
  int64_t heard = 0;  // samples since Reset
  std::vector<Receiver> receivers;
  std::vector<Kept> kept;
  int lastId = 0;
  std::vector<float> clean;
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
