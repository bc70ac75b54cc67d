// The passband decoder against the single-signal receiver: passbands of several stations,
// each sending overs with gaps at its own mark and SNR; a target signal's error rate against
// SNR beside equal or stronger neighbours; noise alone; CPU time. See bench/README.md.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem/demodulator.h"
#include "modem/line_endings.h"
#include "modem/modulator.h"
#include "modem/passband.h"
#include "modem_signals.h"

namespace {

using zk::channel::Random;

constexpr double kRate = 8000;
constexpr double kReferencePower = 0.125;  // mean square of the modulator's signal at 0 dB
constexpr double kSameStationHz = 60;      // a decoded signal this close to a station's mark is that station
constexpr size_t kBlock = 160;             // 20 ms, as a sound card delivers
constexpr double kFadingSweepDb = 7;       // fading takes this much more SNR to reach the same error rate

struct Config {
  bool quick = false;
  std::vector<int> counts{4, 8};
  std::vector<std::string> channels{"white", "fading"};
  int seeds = 3;
  double seconds = 90;
  std::vector<double> sweep{-14, -13, -12, -11, -10, -9, -8, -7, -6};
  int sweepSeeds = 4;
  double noiseMinutes = 10;
  bool show = false;
};

struct Station {
  double mark = 0, snrDb = 0;
  std::string sent;                // every over's text, each ending in '\n'
  std::vector<double> overStarts;  // seconds
  std::vector<float> audio;        // through the channel, at its SNR against unit noise
};

// The station's overs from `first` seconds on, gaps of 2 to 8 s between them, through the
// channel, scaled to its SNR.
void Send(Station& st, double seconds, double first, const std::string& channel, Random& random) {
  st.audio.assign(static_cast<size_t>(seconds * kRate), 0.0f);
  const double shiftHz = st.mark - 2125;
  double t = first;
  for (;;) {
    const std::string text = zk::channel::TrafficText(20 + random.Next() % 60, random.Next());
    std::vector<float> x = zk::Transmit(text, zk::ModemSettings{});
    if (shiftHz != 0) x = zk::channel::ShiftFrequency(x, kRate, [&](double) { return shiftHz; });
    const size_t at = static_cast<size_t>(t * kRate);
    if (at + x.size() > st.audio.size()) break;
    std::copy(x.begin(), x.end(), st.audio.begin() + static_cast<std::ptrdiff_t>(at));
    st.sent += text;
    st.overStarts.push_back(t);
    t += static_cast<double>(x.size()) / kRate + 2 + 6 * random.Uniform();
  }
  if (channel == "fading") st.audio = zk::channel::TwoPathFading(st.audio, kRate, 0.001, 0.5, random.Next());
  const float gain = static_cast<float>(std::pow(10, st.snrDb / 20));
  for (float& v : st.audio) v *= gain;
}

std::vector<float> Noise(size_t n, uint64_t seed) {
  std::vector<float> x(n, 0.0f);
  zk::channel::AddNoise(x, zk::channel::NoiseVariance(kReferencePower, kRate, 0), seed);
  return x;
}

double Cer(const std::string& got, const std::string& sent) {
  return sent.empty()
             ? 0
             : static_cast<double>(zk::channel::Levenshtein(zk::Lines(got), sent)) / static_cast<double>(sent.size());
}

double Mean(const std::vector<double>& x) {
  double sum = 0;
  for (double v : x) sum += v;
  return x.empty() ? 0 : sum / static_cast<double>(x.size());
}

double Seconds(std::clock_t ticks) { return static_cast<double>(ticks) / CLOCKS_PER_SEC; }

// What the passband decoder made of a passband, by station.
struct Decoded {
  std::vector<std::string> text;           // per station
  std::vector<double> snr;                 // per station, as the decoder showed it last
  std::vector<std::vector<double>> found;  // per station and over: seconds to its first character, or -1
  int strays = 0;                          // signals that printed more than 5 characters at no station's mark
  double rtf = 0;
};

int StationAt(const std::vector<Station>& stations, double mark) {
  for (size_t i = 0; i < stations.size(); ++i)
    if (std::fabs(stations[i].mark - mark) < kSameStationHz) return static_cast<int>(i);
  return -1;
}

Decoded RunPassband(const std::vector<Station>& stations, const std::vector<float>& band) {
  Decoded d;
  d.text.resize(stations.size());
  d.found.resize(stations.size());
  d.snr.assign(stations.size(), NAN);
  for (size_t i = 0; i < stations.size(); ++i) d.found[i].assign(stations[i].overStarts.size(), -1);
  zk::PassbandDecoder decoder{zk::ModemSettings{}};
  std::map<int, double> marks;
  std::map<int, size_t> strays;
  std::vector<zk::BandCharacter> out;
  std::clock_t cpu = 0;
  for (size_t at = 0; at <= band.size(); at += kBlock) {
    out.clear();
    const std::clock_t start = std::clock();
    if (at < band.size()) {
      decoder.Process(&band[at], std::min(kBlock, band.size() - at), out);
    } else {
      decoder.Flush(out);
    }
    cpu += std::clock() - start;
    for (const zk::BandSignal& s : decoder.signals()) {
      marks[s.id] = s.markHz;
      const int i = StationAt(stations, s.markHz);
      if (i >= 0 && s.open) d.snr[static_cast<size_t>(i)] = s.snrDb;
    }
    const double now = static_cast<double>(at + kBlock) / kRate;
    for (const zk::BandCharacter& c : out) {
      const int i = StationAt(stations, marks[c.id]);
      if (i < 0) {
        ++strays[c.id];
        continue;
      }
      d.text[static_cast<size_t>(i)] += c.ch;
      const std::vector<double>& starts = stations[static_cast<size_t>(i)].overStarts;
      for (size_t o = 0; o < starts.size(); ++o)
        if (now >= starts[o] + 0.4 && (o + 1 == starts.size() || now < starts[o + 1]) &&
            d.found[static_cast<size_t>(i)][o] < 0)
          d.found[static_cast<size_t>(i)][o] = now - starts[o];
    }
  }
  for (const auto& [id, n] : strays) d.strays += n > 5;
  d.rtf = Seconds(cpu) / (static_cast<double>(band.size()) / kRate);
  return d;
}

std::string RunSingle(const Station& st, const std::vector<float>& noise) {
  zk::ModemSettings s;
  s.mark = st.mark;
  zk::Demodulator demodulator(s);
  std::vector<float> x = noise;
  for (size_t i = 0; i < x.size(); ++i) x[i] += st.audio[i];
  std::string raw;
  for (size_t at = 0; at < x.size(); at += kBlock) demodulator.Process(&x[at], std::min(kBlock, x.size() - at), raw);
  demodulator.Flush(raw);
  return raw;
}

// Marks with both tones in 200..2800 Hz, at least 250 Hz apart.
std::vector<double> Marks(int count, Random& random) {
  for (;;) {
    std::vector<double> marks;
    for (int tries = 0; tries < 1000 && static_cast<int>(marks.size()) < count; ++tries) {
      const double m = 200 + (2800 - 170 - 200) * random.Uniform();
      if (std::all_of(marks.begin(), marks.end(), [&](double o) { return std::fabs(o - m) >= 250; }))
        marks.push_back(m);
    }
    if (static_cast<int>(marks.size()) == count) return marks;
  }
}

struct Totals {
  int signals = 0, strongFound = 0, strongOvers = 0, spurious = 0;
  double worstStrong = 0;
  std::map<int, std::pair<double, double>> cerBySnr;  // 2 dB classes: passband, single
  std::map<int, int> countBySnr;
  std::vector<double> rtf;
};

void Band(const Config& c, int count, const std::string& channel, int seed, Totals& totals) {
  Random random(static_cast<uint64_t>(seed * 1000 + count));
  std::vector<Station> stations;
  for (double m : Marks(count, random)) {
    Station st;
    st.mark = m;
    st.snrDb = -8 + 18 * random.Uniform();
    Send(st, c.seconds, 3 * random.Uniform(), channel, random);
    stations.push_back(std::move(st));
  }
  std::sort(stations.begin(), stations.end(), [](const Station& a, const Station& b) { return a.mark < b.mark; });
  const std::vector<float> noise = Noise(static_cast<size_t>(c.seconds * kRate), random.Next());
  std::vector<float> band = noise;
  for (const Station& st : stations)
    for (size_t i = 0; i < band.size(); ++i) band[i] += st.audio[i];
  const Decoded d = RunPassband(stations, band);
  std::printf("%d signals, %s, seed %d: RTF %.4f, stray signals %d\n", count, channel.c_str(), seed, d.rtf, d.strays);
  std::printf("   mark   SNR  (shown)  CER band  CER alone  found after (s), per over\n");
  for (size_t i = 0; i < stations.size(); ++i) {
    const Station& st = stations[i];
    const double band = Cer(d.text[i], st.sent), alone = Cer(RunSingle(st, noise), st.sent);
    std::printf("  %5.0f %5.1f  (%5.1f)  %8.3f  %9.3f ", st.mark, st.snrDb, d.snr[i], band, alone);
    for (double f : d.found[i]) std::printf(f < 0 ? "  -" : " %.1f", f);
    std::printf("\n");
    if (c.show) std::printf("    sent: %s\n    got:  %s\n", st.sent.c_str(), zk::Lines(d.text[i]).c_str());
    const int cls = static_cast<int>(std::floor(st.snrDb / 2)) * 2;
    totals.cerBySnr[cls].first += band;
    totals.cerBySnr[cls].second += alone;
    ++totals.countBySnr[cls];
    ++totals.signals;
    if (st.snrDb >= -5)
      for (double f : d.found[i]) {
        ++totals.strongOvers;
        totals.strongFound += f >= 0 && f <= 2;
        totals.worstStrong = std::max(totals.worstStrong, f < 0 ? 99.0 : f);
      }
  }
  totals.spurious += d.strays;
  totals.rtf.push_back(d.rtf);
}

void Bands(const Config& c) {
  for (const std::string& channel : c.channels) {
    for (int count : c.counts) {
      Totals t;
      for (int seed = 1; seed <= c.seeds; ++seed) Band(c, count, channel, seed, t);
      std::printf("== %d signals, %s, %d passbands of %.0f s: mean RTF %.4f (worst %.4f), stray signals %d\n", count,
                  channel.c_str(), c.seeds, c.seconds, Mean(t.rtf), *std::max_element(t.rtf.begin(), t.rtf.end()),
                  t.spurious);
      std::printf("   overs at -5 dB or better found within 2 s: %d of %d (slowest %.1f s)\n", t.strongFound,
                  t.strongOvers, t.worstStrong);
      std::printf("   mean CER by SNR:  SNR    band   alone  (signals)\n");
      for (const auto& [cls, cer] : t.cerBySnr) {
        const double n = t.countBySnr[cls];
        std::printf("                   %3d..%-3d %6.3f  %6.3f  (%d)\n", cls, cls + 2, cer.first / n, cer.second / n,
                    t.countBySnr[cls]);
      }
    }
  }
}

// The SNR where the error rate falls to 10 %, between the two points around it (NaN if it never does).
double TenPercentPoint(const std::vector<double>& snrs, const std::vector<double>& cer) {
  for (size_t i = 0; i < snrs.size(); ++i) {
    if (cer[i] > 0.1) continue;
    if (i == 0) return snrs[0];
    const double a = std::log(std::max(cer[i - 1], 1e-4)), b = std::log(std::max(cer[i], 1e-4));
    return snrs[i - 1] + (snrs[i] - snrs[i - 1]) * (a - std::log(0.1)) / (a - b);
  }
  return NAN;
}

// A target in the middle of the band with neighbours 250 Hz away, sending all the time: two
// of its power, one on each side, or one 10 dB stronger; its error rate against the same
// target received alone by the single-signal receiver.
void Sweep(const Config& c, const std::string& channel, bool strong) {
  std::vector<double> band, alone;
  std::printf("== target between %s, %s: SNR  CER band  CER alone\n",
              strong ? "one neighbour 10 dB stronger 250 Hz above" : "two neighbours of its power 250 Hz away",
              channel.c_str());
  for (double sweepSnr : c.sweep) {
    const double snr = sweepSnr + (channel == "fading" ? kFadingSweepDb : 0);
    double b = 0, a = 0;
    for (int seed = 1; seed <= c.sweepSeeds; ++seed) {
      Random random(static_cast<uint64_t>(seed * 7919 + (strong ? 1 : 0)));
      std::vector<Station> stations(strong ? 2 : 3);
      const double mark = 1200 + 100 * random.Uniform();
      const double offsets[] = {0, 250, -250};
      for (size_t i = 0; i < stations.size(); ++i) {
        stations[i].mark = mark + offsets[i];
        stations[i].snrDb = snr + (strong && i > 0 ? 10 : 0);
        Send(stations[i], c.quick ? 40 : 60, 0.5 + random.Uniform(), channel, random);
      }
      const std::vector<float> noise = Noise(stations[0].audio.size(), random.Next());
      std::vector<float> mix = noise;
      for (const Station& st : stations)
        for (size_t i = 0; i < mix.size(); ++i) mix[i] += st.audio[i];
      const std::string got = RunPassband(stations, mix).text[0];
      b += Cer(got, stations[0].sent);
      if (c.show) std::printf("    sent: %s\n    got:  %s\n", stations[0].sent.c_str(), zk::Lines(got).c_str());
      a += Cer(RunSingle(stations[0], noise), stations[0].sent);
    }
    band.push_back(b / c.sweepSeeds);
    alone.push_back(a / c.sweepSeeds);
    std::printf("   %5.1f  %8.3f  %9.3f\n", snr, band.back(), alone.back());
  }
  std::vector<double> snrs = c.sweep;
  for (double& snr : snrs) snr += channel == "fading" ? kFadingSweepDb : 0;
  const double atBand = TenPercentPoint(snrs, band), atAlone = TenPercentPoint(snrs, alone);
  std::printf("   10 %% point: band %.2f dB, alone %.2f dB: %.2f dB apart\n", atBand, atAlone, atBand - atAlone);
}

// Noise alone, at several levels: signals that printed anything, and more than 5 characters.
void NoiseAlone(const Config& c) {
  for (double level : {-40.0, -20.0}) {
    zk::PassbandDecoder decoder{zk::ModemSettings{}};
    std::map<int, size_t> printed;
    std::vector<zk::BandCharacter> out;
    std::clock_t cpu = 0;
    const double variance = std::pow(10, level / 10);
    for (int minute = 0; minute < c.noiseMinutes; ++minute) {
      std::vector<float> x(static_cast<size_t>(60 * kRate), 0.0f);
      zk::channel::AddNoise(x, variance, static_cast<uint64_t>(minute + 1));
      for (size_t at = 0; at < x.size(); at += kBlock) {
        out.clear();
        const std::clock_t start = std::clock();
        decoder.Process(&x[at], kBlock, out);
        cpu += std::clock() - start;
        for (const zk::BandCharacter& ch : out) ++printed[ch.id];
      }
    }
    int falses = 0;
    for (const auto& [id, n] : printed) falses += n > 5;
    std::printf(
        "== %.0f min of noise alone at %.0f dBFS: %zu signals printed something, %d more than 5 characters; RTF %.4f\n",
        c.noiseMinutes, level, printed.size(), falses, Seconds(cpu) / (60 * c.noiseMinutes));
  }
}

std::vector<double> Numbers(const char* list) {
  std::vector<double> out;
  for (char* end = nullptr;; list = end + 1) {
    out.push_back(std::strtod(list, &end));
    if (*end != ',') return out;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Config c;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool more = i + 1 < argc;
    if (arg == "--quick") {
      c.quick = true;
      c.seeds = 1;
      c.seconds = 60;
      c.sweep = {-14, -12, -10, -8, -6};
      c.sweepSeeds = 2;
      c.noiseMinutes = 2;
    } else if (arg == "--show") {
      c.show = true;
    } else if (arg == "--only" && more) {
      only = argv[++i];
    } else if (arg == "--channel" && more) {
      c.channels = {argv[++i]};
    } else if (arg == "--seeds" && more) {
      c.seeds = std::atoi(argv[++i]);
    } else if (arg == "--seconds" && more) {
      c.seconds = std::atof(argv[++i]);
    } else if (arg == "--signals" && more) {
      c.counts.clear();
      for (double n : Numbers(argv[++i])) c.counts.push_back(static_cast<int>(n));
    } else if (arg == "--sweep" && more) {
      c.sweep = Numbers(argv[++i]);
    } else if (arg == "--noise-minutes" && more) {
      c.noiseMinutes = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: passband_bench [--quick] [--only band|sweep|noise] [--channel white|fading] [--seeds N]\n"
                   "       [--seconds S] [--signals 4,8] [--sweep SNR,SNR,...] [--noise-minutes M] [--show]\n");
      return 2;
    }
  }
  if (only.empty() || only == "band") Bands(c);
  if (only.empty() || only == "sweep")
    for (const std::string& channel : c.channels)
      for (bool strong : {false, true}) Sweep(c, channel, strong);
  if (only.empty() || only == "noise") NoiseAlone(c);
  return 0;
}
