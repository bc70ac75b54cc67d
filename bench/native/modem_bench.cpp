// Character error rate of the RTTY demodulator against signal-to-noise ratio (3 kHz) on
// five channels, and its CPU time per second of audio. See bench/README.md.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem/demodulator.h"
#include "modem/line_endings.h"
#include "modem/modulator.h"

namespace {

using zk::channel::Random;

struct Config {
  std::vector<double> snrs;
  int seeds = 2;
  size_t chars = 2000;
  double rate = 8000;
  // "plain" is white noise again, each character read from its elements alone.
  std::vector<std::string> channels{"white", "drift", "fading", "neighbour", "impulses", "plain"};
  bool quick = false;
};

struct Point {
  double snr;
  double cer;
};

struct Result {
  std::vector<Point> points;
  double cpuSeconds = 0;
  double audioSeconds = 0;
  double noiseFreeCer = -1;
};

zk::ModemSettings Settings(double rate) {
  zk::ModemSettings s;
  s.sampleRate = rate;
  return s;
}

std::vector<float> Modulate(const std::string& text, const zk::ModemSettings& s) {
  zk::Modulator m(s);
  for (char c : text) m.Queue(c);
  m.Finish();
  std::vector<float> out;
  float block[1024];
  while (m.keyed()) {
    m.Render(block, 1024);
    out.insert(out.end(), block, block + 1024);
  }
  return out;
}

std::string Decode(const std::vector<float>& x, double rate, bool learnText, double* cpu) {
  zk::DemodulatorOptions options;
  options.learnText = learnText;
  zk::Demodulator d(Settings(rate), options);
  zk::LineEndings lines;
  std::string raw, text;
  const size_t block = static_cast<size_t>(rate / 50);  // 20 ms, as a sound card delivers
  const std::clock_t start = std::clock();
  for (size_t i = 0; i < x.size(); i += block) d.Process(&x[i], std::min(block, x.size() - i), raw);
  d.Flush(raw);
  *cpu += static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  for (char c : raw) lines.Append(c, text);
  return text;
}

// The clean signal through the channel for one seed, before the white noise.
std::vector<float> Channel(const std::string& name, const std::vector<float>& clean, double rate, double ps,
                           uint64_t seed) {
  if (name == "drift") return zk::channel::ShiftFrequency(clean, rate, zk::channel::DriftingOffset(37, 30, 1));
  if (name == "fading") return zk::channel::TwoPathFading(clean, rate, 0.001, 0.5, seed);
  if (name == "neighbour") {
    zk::ModemSettings s = Settings(rate);
    s.mark += 250;
    std::vector<float> other = Modulate(zk::channel::TrafficText(2600, seed + 7), s);
    const double gain = std::sqrt(ps / zk::channel::MeanSquare(other));
    std::vector<float> out = clean;
    Random r(seed);
    const size_t skew = static_cast<size_t>(r.Uniform() * rate * 0.2);  // keying not aligned
    for (size_t i = 0; i < out.size() && i + skew < other.size(); ++i)
      out[i] += static_cast<float>(gain * other[i + skew]);
    return out;
  }
  return clean;
}

std::vector<float> Received(const std::string& name, const std::vector<float>& through, double rate, double ps,
                            double snr, uint64_t seed) {
  std::vector<float> x = through;
  const double variance = zk::channel::NoiseVariance(ps, rate, snr);
  zk::channel::AddNoise(x, variance, seed * 1000 + static_cast<uint64_t>(snr * 10 + 500));
  if (name == "impulses") zk::channel::AddImpulses(x, rate, ps / std::pow(10, snr / 10), 5, 20, 40, seed + 99);
  return x;
}

double Cer(const std::string& got, const std::string& sent) {
  return static_cast<double>(zk::channel::Levenshtein(got, sent)) / static_cast<double>(sent.size());
}

Result RunChannel(const Config& c, const std::string& name) {
  Result result;
  std::map<double, double> sum;
  for (int seed = 1; seed <= c.seeds; ++seed) {
    const std::string text = zk::channel::TrafficText(c.chars, static_cast<uint64_t>(seed));
    const std::vector<float> clean = Modulate(text, Settings(c.rate));
    const double ps = zk::channel::MeanSquare(clean);
    const std::vector<float> through = Channel(name, clean, c.rate, ps, static_cast<uint64_t>(seed));
    if (name == "fading") {
      double unused = 0;
      const double cer = Cer(Decode(through, c.rate, true, &unused), text);
      result.noiseFreeCer = std::max(result.noiseFreeCer, cer);
    }
    for (double snr : c.snrs) {
      const std::vector<float> x = Received(name, through, c.rate, ps, snr, static_cast<uint64_t>(seed));
      const std::string got = Decode(x, c.rate, name != "plain", &result.cpuSeconds);
      result.audioSeconds += static_cast<double>(x.size()) / c.rate;
      const double cer = Cer(got, text);
      sum[snr] += cer / c.seeds;
      std::fprintf(stderr, "%-9s seed %d %+6.1f dB  CER %7.3f %%\n", name.c_str(), seed, snr, 100 * cer);
    }
  }
  for (auto it = sum.rbegin(); it != sum.rend(); ++it) result.points.push_back({it->first, it->second});
  return result;
}

// The SNR where the error rate first rises through `level`, coming down from high SNR,
// interpolated in log(CER); NaN when it never does within the range.
double Crossing(const std::vector<Point>& p, double level) {
  auto lg = [](double cer) { return std::log10(std::max(cer, 1e-4)); };
  for (size_t i = 0; i + 1 < p.size(); ++i) {
    if (p[i].cer <= level && p[i + 1].cer > level) {
      const double f = (lg(level) - lg(p[i].cer)) / (lg(p[i + 1].cer) - lg(p[i].cer));
      return p[i].snr + f * (p[i + 1].snr - p[i].snr);
    }
  }
  return p.empty() || p.front().cer > level ? NAN : -INFINITY;
}

double CerAt(const std::vector<Point>& p, double snr) {
  for (const Point& q : p)
    if (std::fabs(q.snr - snr) < 1e-9) return q.cer;
  return NAN;
}

std::string Db(double v) {
  char s[32];
  if (std::isnan(v)) return "above range";
  if (std::isinf(v)) return "below range";
  std::snprintf(s, sizeof s, "%+.1f dB", v);
  return s;
}

void Report(const Config& c, const std::vector<std::pair<std::string, Result>>& results) {
  std::printf(
      "\nCharacter error rate (%%), 45.45 baud, 170 Hz shift, 1.5 stop bits, %zu characters x %d seeds, %g Hz\n",
      c.chars, c.seeds, c.rate);
  std::printf("%8s", "SNR dB");
  for (const auto& r : results) std::printf(" %10s", r.first.c_str());
  std::printf("\n");
  for (size_t i = 0; i < c.snrs.size(); ++i) {
    std::printf("%+8.1f", results.front().second.points[i].snr);
    for (const auto& r : results) std::printf(" %10.3f", 100 * r.second.points[i].cer);
    std::printf("\n");
  }
  std::printf("\n%-10s %12s %12s %12s %14s %12s\n", "channel", "1 % at", "10 % at", "50 % at", "CER at -10 dB",
              "real time");
  for (const auto& r : results) {
    const Result& x = r.second;
    std::printf("%-10s %12s %12s %12s %13.2f%% %12.5f\n", r.first.c_str(), Db(Crossing(x.points, 0.01)).c_str(),
                Db(Crossing(x.points, 0.10)).c_str(), Db(Crossing(x.points, 0.50)).c_str(), 100 * CerAt(x.points, -10),
                x.cpuSeconds / x.audioSeconds);
    if (x.noiseFreeCer >= 0) std::printf("%-10s no noise: CER %.3f %%\n", "", 100 * x.noiseFreeCer);
  }
}

Config Parse(int argc, char** argv) {
  Config c;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--quick") {
      c.quick = true;
    } else if (a == "--channel" && i + 1 < argc) {
      c.channels = {argv[++i]};
    } else if (a == "--seeds" && i + 1 < argc) {
      c.seeds = std::atoi(argv[++i]);
    } else if (a == "--chars" && i + 1 < argc) {
      c.chars = static_cast<size_t>(std::atol(argv[++i]));
    } else if (a == "--rate" && i + 1 < argc) {
      c.rate = std::atof(argv[++i]);
    } else if (a == "--snr" && i + 1 < argc) {
      c.snrs.push_back(std::atof(argv[++i]));
    }
  }
  if (c.snrs.empty()) {
    const double step = c.quick ? 2 : 0.5;
    for (double s = 10; s >= -14 - 1e-9; s -= (s > 0 ? 2 : step)) c.snrs.push_back(s);
  }
  std::sort(c.snrs.rbegin(), c.snrs.rend());
  if (c.quick) {
    c.seeds = 1;
    c.chars = std::min<size_t>(c.chars, 600);
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const Config c = Parse(argc, argv);
  std::vector<std::pair<std::string, Result>> results;
  for (const std::string& name : c.channels) results.push_back({name, RunChannel(c, name)});
  Report(c, results);
  return 0;
}
