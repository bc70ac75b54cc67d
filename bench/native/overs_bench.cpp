// Copy of contest overs: short transmissions from many callers, each on its own frequency,
// with noise and no carrier between them; and what the receiver prints from noise alone.
// See bench/README.md.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem/demodulator.h"
#include "modem/line_endings.h"
#include "modem/modulator.h"
#include "modem/wav.h"

namespace {

using zk::channel::Random;

struct Config {
  std::vector<double> snrs;
  int seeds = 2;
  int overs = 40;
  double rate = 8000;
  std::vector<std::string> channels{"white", "fading"};
  std::vector<std::string> leads{"none", "mark", "crlf"};
  double noiseMinutes = 10;
  std::vector<double> noiseDbfs{-50, -30, -10};  // noise alone, RMS level against full scale
  zk::DemodulatorOptions options;
  bool show = false;  // print what was decoded at each point
  std::string wav;    // write one recording of overs there instead of measuring
};

struct Over {
  std::string text;  // as sent, a line end as '\n'
  std::vector<std::string> words;
  int64_t start = 0, end = 0;     // from key-up to the end of the ramp down, in samples
  std::vector<int64_t> charEnds;  // after each sent character's last stop element
};

struct Recording {
  std::vector<float> through;  // every over through the channel, nothing between them
  double signalPower = 0;      // mean square of the clean overs while keyed
  std::vector<Over> overs;
};

struct Printed {
  char ch;
  int64_t end;    // the receiver's stop element end
  int64_t shown;  // input samples fed when it was printed
};

zk::ModemSettings Settings(double rate) {
  zk::ModemSettings s;
  s.sampleRate = rate;
  return s;
}

// One over from our modulator: its audio and each character's end.
std::vector<float> Render(const std::string& text, const zk::ModemSettings& s, const zk::ModulatorOptions& o,
                          std::vector<int64_t>* ends) {
  zk::Modulator m(s, o);
  for (char c : text) m.Queue(c);
  m.Finish();
  std::vector<float> out;
  float block[256];
  while (m.keyed()) {
    m.Render(block, 256);
    out.insert(out.end(), block, block + 256);
    for (zk::SentChar sent; m.PopSent(&sent);) ends->push_back(static_cast<int64_t>(sent.endSample));
  }
  while (!out.empty() && out.back() == 0.0f) out.pop_back();
  return out;
}

// The callers of one seed: each its own call, serial, carrier offset and phase, after 2 to
// 4 s of nothing; and a last gap after them.
Recording MakeOvers(const Config& c, const std::string& lead, const std::string& channel, int seed) {
  Random random(static_cast<uint64_t>(seed) * 7919);
  Recording r;
  std::set<std::string> calls;
  double keyedSquares = 0, keyed = 0;
  auto gap = [&] { return static_cast<size_t>((2 + 2 * random.Uniform()) * c.rate); };
  r.through.assign(gap(), 0.0f);
  for (int i = 0; i < c.overs; ++i) {
    std::string call;
    do call = zk::channel::CallSign(random);
    while (!calls.insert(call).second);
    char serial[8];
    std::snprintf(serial, sizeof serial, "%03d", 1 + static_cast<int>(random.Uniform() * 999));
    Over over;
    over.words = {call, "599", serial, serial};
    over.text = (lead == "crlf" ? "\n" : "") + call + " 599 " + serial + " " + serial;
    zk::ModemSettings s = Settings(c.rate);
    s.mark += 100 * random.Uniform() - 50;
    zk::ModulatorOptions o;
    o.leadInSeconds = lead == "mark" ? 0.1 : 0;
    o.lettersFirst = false;
    o.startPhase = zk::kTwoPi * random.Uniform();
    std::vector<float> x = Render(over.text, s, o, &over.charEnds);
    for (float v : x) keyedSquares += static_cast<double>(v) * v;
    keyed += static_cast<double>(x.size());
    if (channel == "fading") x = zk::channel::TwoPathFading(x, c.rate, 0.001, 0.5, random.Next());
    over.start = static_cast<int64_t>(r.through.size());
    over.end = over.start + static_cast<int64_t>(x.size());
    for (int64_t& e : over.charEnds) e += over.start;
    r.through.insert(r.through.end(), x.begin(), x.end());
    r.through.resize(r.through.size() + gap(), 0.0f);
    r.overs.push_back(over);
  }
  r.signalPower = keyedSquares / keyed;
  return r;
}

std::vector<Printed> Decode(const std::vector<float>& x, const Config& c, double* cpu) {
  zk::Demodulator d(Settings(c.rate), c.options);
  zk::LineEndings lines;
  std::vector<Printed> printed;
  const size_t block = static_cast<size_t>(c.rate / 100);  // 10 ms, as the engine reads its sound card
  std::string raw, shown;
  const std::clock_t start = std::clock();
  auto take = [&](int64_t fed) {
    for (size_t i = 0; i < raw.size(); ++i) {
      shown.clear();
      lines.Append(raw[i], shown);
      if (!shown.empty()) printed.push_back({shown[0], d.stopEnds()[i], fed});
    }
    raw.clear();
  };
  for (size_t i = 0; i < x.size(); i += block) {
    const size_t n = std::min(block, x.size() - i);
    d.Process(&x[i], n, raw);
    take(static_cast<int64_t>(i + n));
  }
  d.Flush(raw);
  take(static_cast<int64_t>(x.size()));
  *cpu += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  return printed;
}

struct Delays {
  std::vector<double> first, second, rest;  // seconds from the stop element to the print
};

struct Score {
  int overs = 0, calls = 0, exchanges = 0;
  size_t edits = 0, sent = 0, gapChars = 0;
  double gapSeconds = 0;
};

// Which over each printed character belongs to, by where the receiver put its stop element:
// inside an over's span (to the end of its carrier), or -1 in a gap.
std::vector<int> Assign(const std::vector<Printed>& printed, const std::vector<Over>& overs) {
  std::vector<int> owner(printed.size(), -1);
  for (size_t i = 0; i < printed.size(); ++i)
    for (size_t k = 0; k < overs.size(); ++k)
      if (printed[i].end >= overs[k].start && printed[i].end <= overs[k].end) owner[i] = static_cast<int>(k);
  return owner;
}

// The words on screen that hold any of an over's characters: noise glued to a call is
// part of the word the operator reads. Where one over's characters meet the next one's,
// the word ends (the overs here end without a blank; on the air a sender ends with one).
std::vector<std::vector<std::string>> OversWords(const std::vector<Printed>& printed, const std::vector<int>& owner,
                                                 size_t overs) {
  std::vector<std::vector<std::string>> words(overs);
  std::string word;
  std::set<int> touched;
  auto end = [&] {
    for (int k : touched) words[static_cast<size_t>(k)].push_back(word);
    word.clear();
    touched.clear();
  };
  for (size_t i = 0; i < printed.size(); ++i) {
    if (printed[i].ch == ' ' || printed[i].ch == '\n') {
      end();
      continue;
    }
    if (owner[i] >= 0 && !touched.empty() && !touched.count(owner[i])) end();
    word.push_back(printed[i].ch);
    if (owner[i] >= 0) touched.insert(owner[i]);
  }
  end();
  return words;
}

void TimeDelays(const std::vector<Printed>& printed, const std::vector<int>& owner, const Recording& r, double rate,
                Delays* d) {
  const double charSamples = 7.5 * rate / 45.45;
  for (size_t k = 0; k < r.overs.size(); ++k) {
    const Over& over = r.overs[k];
    std::vector<bool> used(over.text.size(), false);
    for (size_t i = 0; i < printed.size(); ++i) {
      if (owner[i] != static_cast<int>(k)) continue;
      size_t best = over.text.size();
      for (size_t j = 0; j < over.text.size(); ++j) {
        const double off = std::fabs(static_cast<double>(printed[i].end - over.charEnds[j]));
        if (!used[j] && over.text[j] == printed[i].ch && off < charSamples / 2 &&
            (best == over.text.size() || off < std::fabs(static_cast<double>(printed[i].end - over.charEnds[best]))))
          best = j;
      }
      if (best == over.text.size()) continue;
      used[best] = true;
      const double delay = static_cast<double>(printed[i].shown - over.charEnds[best]) / rate;
      (best == 0 ? d->first : best == 1 ? d->second : d->rest).push_back(delay);
    }
  }
}

void Measure(const Recording& r, const std::vector<Printed>& printed, double rate, Score* s, Delays* delays) {
  const std::vector<int> owner = Assign(printed, r.overs);
  const std::vector<std::vector<std::string>> words = OversWords(printed, owner, r.overs.size());
  std::string got, sent;
  for (const Printed& p : printed) got.push_back(p.ch);
  double spans = 0;
  for (size_t k = 0; k < r.overs.size(); ++k) {
    const Over& over = r.overs[k];
    sent += over.text;
    spans += static_cast<double>(over.end - over.start);
    ++s->overs;
    s->calls += !words[k].empty() && words[k][0] == over.words[0];
    s->exchanges += words[k] == over.words;
  }
  s->edits += zk::channel::Levenshtein(got, sent);
  s->sent += sent.size();
  for (int o : owner) s->gapChars += o < 0;
  s->gapSeconds += (static_cast<double>(r.through.size()) - spans) / rate;
  TimeDelays(printed, owner, r, rate, delays);
}

void Show(const Recording& r, const std::vector<Printed>& printed) {
  // Gap characters in brackets, a bar between overs printed back to back.
  const std::vector<int> owner = Assign(printed, r.overs);
  std::string line;
  for (size_t i = 0; i < printed.size(); ++i) {
    const int before = i > 0 ? owner[i - 1] : -2;
    if (owner[i] != before) {
      if (before == -1) line += "]";
      line += owner[i] < 0 ? "[" : (before >= 0 ? "|" : "");
    }
    line.push_back(printed[i].ch == '\n' ? '~' : printed[i].ch);
  }
  if (!owner.empty() && owner.back() < 0) line += "]";
  std::fprintf(stderr, "  sent: ");
  for (const Over& o : r.overs) std::fprintf(stderr, "%s|", o.text.c_str() + (o.text[0] == '\n'));
  std::fprintf(stderr, "\n  got:  %s\n", line.c_str());
}

std::vector<float> WithNoise(const Recording& r, double snr, uint64_t seed, double rate) {
  std::vector<float> x = r.through;
  zk::channel::AddNoise(x, zk::channel::NoiseVariance(r.signalPower, rate, snr), seed);
  return x;
}

double Percent(int n, int of) { return of > 0 ? 100.0 * n / of : 0; }

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

struct Totals {
  double cpu = 0, audio = 0;
  Delays targeted, all;  // white noise at -7 dB or more; every point
};

void RunPoints(const Config& c, const std::string& channel, const std::string& lead, Totals* t) {
  std::printf("\n%s channel, lead-in %s\n%8s %8s %8s %8s %16s\n", channel.c_str(), lead.c_str(), "SNR dB", "calls %",
              "exch. %", "CER %", "gap chars/min");
  std::vector<Recording> recordings;
  for (int seed = 1; seed <= c.seeds; ++seed) recordings.push_back(MakeOvers(c, lead, channel, seed));
  for (double snr : c.snrs) {
    Score s;
    for (int seed = 1; seed <= c.seeds; ++seed) {
      const Recording& r = recordings[static_cast<size_t>(seed - 1)];
      const std::vector<float> x =
          WithNoise(r, snr, static_cast<uint64_t>(seed * 1000 + std::lround(snr * 10) + 500), c.rate);
      const std::vector<Printed> printed = Decode(x, c, &t->cpu);
      t->audio += static_cast<double>(x.size()) / c.rate;
      Delays delays;
      Measure(r, printed, c.rate, &s, &delays);
      for (Delays* into : {&t->all, channel == "white" && snr >= -7 ? &t->targeted : nullptr}) {
        if (into == nullptr) continue;
        into->first.insert(into->first.end(), delays.first.begin(), delays.first.end());
        into->second.insert(into->second.end(), delays.second.begin(), delays.second.end());
        into->rest.insert(into->rest.end(), delays.rest.begin(), delays.rest.end());
      }
      if (c.show) {
        std::fprintf(stderr, "%s %s seed %d %+.1f dB\n", channel.c_str(), lead.c_str(), seed, snr);
        Show(r, printed);
      }
    }
    std::printf("%+8.1f %8.1f %8.1f %8.2f %16.1f\n", snr, Percent(s.calls, s.overs), Percent(s.exchanges, s.overs),
                100.0 * static_cast<double>(s.edits) / static_cast<double>(s.sent),
                60.0 * static_cast<double>(s.gapChars) / s.gapSeconds);
    std::fflush(stdout);
  }
}

void RunNoiseAlone(const Config& c, Totals* t) {
  std::printf("\nnoise alone, %.0f minutes each\n%10s %16s\n", c.noiseMinutes, "dBFS RMS", "chars/min");
  for (size_t i = 0; i < c.noiseDbfs.size(); ++i) {
    std::vector<float> x(static_cast<size_t>(c.noiseMinutes * 60 * c.rate), 0.0f);
    zk::channel::AddNoise(x, std::pow(10, c.noiseDbfs[i] / 10), 4242 + i);
    const std::vector<Printed> printed = Decode(x, c, &t->cpu);
    t->audio += static_cast<double>(x.size()) / c.rate;
    std::printf("%10.0f %16.2f\n", c.noiseDbfs[i], static_cast<double>(printed.size()) / c.noiseMinutes);
    if (c.show && !printed.empty()) {
      std::string text;
      for (const Printed& p : printed) text.push_back(p.ch);
      std::fprintf(stderr, "noise %.0f dBFS: %s\n", c.noiseDbfs[i], text.c_str());
    }
  }
}

void ReportDelays(const char* points, const Delays& d) {
  std::printf("\nstop element to print (ms), %-31s %6s %6s %6s %6s %8s %8s\n", points, "p50", "p90", "p99", "max",
              "count", "> limit");
  const struct {
    const char* name;
    const std::vector<double>* v;
    double limit;
  } rows[] = {{"an over's first character", &d.first, 0.4},
              {"its second character", &d.second, 0.1},
              {"every later character", &d.rest, 0.1}};
  for (const auto& row : rows) {
    const long over = std::count_if(row.v->begin(), row.v->end(), [&](double x) { return x > row.limit; });
    std::printf("%-43s %6.0f %6.0f %6.0f %6.0f %8zu %8ld (%.0f ms)\n", row.name, 1000 * Quantile(*row.v, 0.5),
                1000 * Quantile(*row.v, 0.9), 1000 * Quantile(*row.v, 0.99), 1000 * Quantile(*row.v, 1.0),
                row.v->size(), over, 1000 * row.limit);
  }
}

// One recording of overs for a test or a listener: OUT.wav and, beside it, OUT.txt with
// each over's text on a line.
int WriteRecording(const Config& c) {
  const std::string lead = c.leads.front(), channel = c.channels.front();
  const Recording r = MakeOvers(c, lead, channel, c.seeds);
  std::vector<float> x = WithNoise(r, c.snrs.front(), 77, c.rate);
  float peak = 0;
  for (float v : x) peak = std::max(peak, std::fabs(v));
  for (float& v : x) v *= 0.9f / peak;
  std::ofstream out(c.wav, std::ios::binary | std::ios::trunc);
  zk::WavWriter writer;
  std::ofstream text(c.wav.substr(0, c.wav.rfind('.')) + ".txt", std::ios::trunc);
  for (const Over& o : r.overs) text << (o.text[0] == '\n' ? o.text.substr(1) : o.text) << "\n";
  if (!out || !text || !writer.Open(out, static_cast<uint32_t>(c.rate), false) || !writer.Write(x.data(), x.size()) ||
      !writer.Close()) {
    std::fprintf(stderr, "overs_bench: cannot write %s\n", c.wav.c_str());
    return 1;
  }
  return 0;
}

Config Parse(int argc, char** argv) {
  Config c;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--quick")
      quick = true;
    else if (a == "--show")
      c.show = true;
    else if (a == "--channel" && more)
      c.channels = {argv[++i]};
    else if (a == "--lead" && more)
      c.leads = {argv[++i]};
    else if (a == "--seeds" && more)
      c.seeds = std::atoi(argv[++i]);
    else if (a == "--overs" && more)
      c.overs = std::atoi(argv[++i]);
    else if (a == "--rate" && more)
      c.rate = std::atof(argv[++i]);
    else if (a == "--snr" && more)
      c.snrs.push_back(std::atof(argv[++i]));
    else if (a == "--noise-minutes" && more)
      c.noiseMinutes = std::atof(argv[++i]);
    else if (a == "--squelch" && more)
      c.options.squelchDb = std::atof(argv[++i]);
    else if (a == "--wav" && more)
      c.wav = argv[++i];
  }
  if (quick) {
    c.seeds = 1;
    c.noiseMinutes = std::min(c.noiseMinutes, 2.0);
    if (c.snrs.empty()) c.snrs = {20, 3, 0, -4, -7, -10};
  }
  if (c.snrs.empty()) c.snrs = {20, 10, 6, 3, 0, -2, -4, -5, -6, -7, -8, -9, -10};
  std::sort(c.snrs.rbegin(), c.snrs.rend());
  c.seeds = std::max(1, c.seeds);
  c.overs = std::max(1, c.overs);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const Config c = Parse(argc, argv);
  if (!c.wav.empty()) return WriteRecording(c);
  std::printf(
      "Contest overs: call, 599, serial, serial; %d overs x %d seeds a point; offsets uniform in +-50 Hz;\n"
      "2 to 4 s of noise between overs; 45.45 baud, 170 Hz shift, %g Hz; squelch %+.0f dB\n",
      c.overs, c.seeds, c.rate, c.options.squelchDb);
  Totals t;
  for (const std::string& channel : c.channels)
    for (const std::string& lead : c.leads) RunPoints(c, channel, lead, &t);
  if (c.noiseMinutes > 0) RunNoiseAlone(c, &t);
  ReportDelays("white noise, -7 dB or more", t.targeted);
  ReportDelays("every point", t.all);
  std::printf("\nreal-time factor (CPU seconds per second of audio): %.5f\n", t.cpu / t.audio);
  return 0;
}
