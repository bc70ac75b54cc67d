// zkrtty: RTTY audio from text (tx) and text from RTTY audio (rx), through WAV files.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "modem/demodulator.h"
#include "modem/line_endings.h"
#include "modem/modulator.h"
#include "modem/passband.h"
#include "modem/wav.h"

namespace {

const char kUsage[] =
    "usage: zkrtty tx [options] OUT.wav < text\n"
    "       zkrtty rx [options] [--afc on|off] [--squelch DB|off] [--unshift on|off] [--all [--live]] IN.wav\n"
    "options: --baud B (45.45) --shift S (170) --mark F (2125) --stop 1|1.5|2 (1.5)\n"
    "         --reverse --rate R (tx, 8000) --float (tx: 32-bit float samples)\n"
    "rx: --afc on finds each signal within 100 Hz of the tones and follows it while it is held;\n"
    "    --squelch DB shows no signal weaker than DB in 3 kHz (-15), and nothing between signals;\n"
    "    --squelch off shows everything decoded, noise too;\n"
    "    --all decodes every signal with tones between 200 and 2800 Hz (--mark unused) and, at the\n"
    "    end, prints for each one that printed more than 5 characters, by mark frequency,\n"
    "    \"== MARK Hz, SNR S dB\" and its text; --live prints each line as it ends, as \"MARK: line\"\n";

struct Options {
  zk::ModemSettings modem;
  zk::DemodulatorOptions rx;
  bool asFloat = false;
  bool all = false;   // every signal in the passband
  bool live = false;  // with all: lines as they end
  std::string path;
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zkrtty: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

bool ParseNumber(const char* text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0' && errno == 0;
}

// Parses the options after the command; an empty string means they are fine.
std::string ParseOptions(int argc, char** argv, bool receive, Options* o) {
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    double v = 0;
    if (arg == "--reverse") {
      o->modem.reverse = true;
    } else if (arg == "--float" && !receive) {
      o->asFloat = true;
    } else if (arg == "--all" && receive) {
      o->all = true;
    } else if (arg == "--live" && receive) {
      o->live = true;
    } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
      if (!hasValue) return arg + " needs a value";
      const std::string value = argv[++i];
      const bool onOff = value == "on" || value == "off";
      if (arg == "--afc" && receive && onOff) {
        o->rx.afc = value == "on";
      } else if (arg == "--unshift" && receive && onOff) {
        o->rx.ltrsOnSpace = value == "on";
      } else if (arg == "--squelch" && receive && value == "off") {
        o->rx.squelch = false;
      } else if (!ParseNumber(value.c_str(), &v)) {
        return "bad value for " + arg + ": " + value;
      } else if (arg == "--baud") {
        o->modem.baud = v;
      } else if (arg == "--shift") {
        o->modem.shift = v;
      } else if (arg == "--mark") {
        o->modem.mark = v;
      } else if (arg == "--stop") {
        o->modem.stopBits = v;
      } else if (arg == "--rate" && !receive) {
        o->modem.sampleRate = v;
      } else if (arg == "--squelch" && receive) {
        o->rx.squelchDb = v;
      } else {
        return "unknown option " + arg;
      }
    } else if (o->path.empty()) {
      o->path = arg;
    } else {
      return "more than one file given";
    }
  }
  if (o->live && !o->all) return "--live needs --all";
  return o->path.empty() ? "no WAV file given" : "";
}

int Transmit(const Options& o) {
  std::ofstream file(o.path, std::ios::binary | std::ios::trunc);
  zk::WavWriter wav;
  if (!file || !wav.Open(file, static_cast<uint32_t>(o.modem.sampleRate), o.asFloat)) {
    std::fprintf(stderr, "zkrtty: cannot write %s: %s\n", o.path.c_str(), std::strerror(errno));
    return 1;
  }
  zk::Modulator modulator(o.modem);
  int ch;
  int previous = 0;
  while ((ch = std::getchar()) != EOF) {
    if (!(ch == '\n' && previous == '\r')) modulator.Queue(static_cast<char>(ch));  // CR LF is one line end
    previous = ch;
  }
  modulator.Start();
  modulator.Finish();
  std::vector<float> block(4096);
  while (modulator.keyed()) {
    modulator.Render(block.data(), block.size());
    wav.Write(block.data(), block.size());
  }
  if (!wav.Close()) {
    std::fprintf(stderr, "zkrtty: writing %s failed\n", o.path.c_str());
    return 1;
  }
  return 0;
}

// Opens the WAV file and takes its sample rate; false (having said why) when it cannot be decoded.
bool OpenInput(std::ifstream& file, zk::WavReader& wav, Options& o) {
  file.open(o.path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "zkrtty: cannot open %s: %s\n", o.path.c_str(), std::strerror(errno));
    return false;
  }
  if (!wav.Open(file)) {
    std::fprintf(stderr, "zkrtty: cannot read %s: %s\n", o.path.c_str(), wav.error().c_str());
    return false;
  }
  o.modem.sampleRate = wav.format().sampleRate;
  if (o.all) o.modem.mark = o.modem.reverse ? 1500 + o.modem.shift : 1500;  // every signal's is its own
  const std::string problem = zk::CheckModemSettings(o.modem);
  if (!problem.empty()) {
    std::fprintf(stderr, "zkrtty: cannot decode %s: %s\n", o.path.c_str(), problem.c_str());
    return false;
  }
  return true;
}

// One signal's text as rx prints it, and where it was last heard.
struct Heard {
  zk::LineEndings lines;
  std::string text;
  size_t shownTo = 0;  // live: the text up to here has been printed
  size_t printed = 0;  // characters other than blanks and line ends
  double markHz = 0, snrDb = 0;
};

void PrintLive(std::map<int, Heard>& heard) {
  for (auto& [id, h] : heard) {
    if (h.printed <= 5) continue;  // not yet a signal found
    size_t end;
    while ((end = h.text.find('\n', h.shownTo)) != std::string::npos) {
      std::printf("%ld: %s\n", std::lround(h.markHz), h.text.substr(h.shownTo, end - h.shownTo).c_str());
      h.shownTo = end + 1;
    }
  }
  std::fflush(stdout);
}

void Take(const zk::PassbandDecoder& decoder, const std::vector<zk::BandCharacter>& out, std::map<int, Heard>& heard) {
  for (const zk::BandCharacter& c : out) {
    Heard& h = heard[c.id];
    h.lines.Append(c.ch, h.text);
    if (c.ch != ' ' && c.ch != '\r' && c.ch != '\n') ++h.printed;
  }
  for (const zk::BandSignal& s : decoder.signals()) {
    const auto h = heard.find(s.id);
    if (h == heard.end()) continue;
    h->second.markHz = s.markHz;
    h->second.snrDb = s.snrDb;
  }
}

// A signal found is one that printed more than 5 characters: noise that opened a receiver
// for a moment prints fewer.
void PrintBlocks(std::map<int, Heard>& heard, bool live) {
  std::vector<Heard*> found;
  for (auto& [id, h] : heard)
    if (h.printed > 5) found.push_back(&h);
  std::stable_sort(found.begin(), found.end(), [](const Heard* a, const Heard* b) { return a->markHz < b->markHz; });
  for (Heard* h : found) {
    if (live) {
      if (h->shownTo < h->text.size())
        std::printf("%ld: %s\n", std::lround(h->markHz), h->text.substr(h->shownTo).c_str());
      continue;
    }
    // Whole numbers (rounding with printf would show "-0").
    std::printf("== %ld Hz, SNR %ld dB\n%s", std::lround(h->markHz), std::lround(h->snrDb), h->text.c_str());
    if (!h->text.empty() && h->text.back() != '\n') std::printf("\n");
  }
  std::fflush(stdout);
}

int ReceiveAll(Options o) {
  std::ifstream file;
  zk::WavReader wav;
  if (!OpenInput(file, wav, o)) return 1;
  zk::PassbandDecoder decoder(o.modem, o.rx);
  std::map<int, Heard> heard;
  std::vector<float> block(1024);
  std::vector<zk::BandCharacter> out;
  size_t n;
  while ((n = wav.Read(block.data(), block.size())) > 0) {
    out.clear();
    decoder.Process(block.data(), n, out);
    Take(decoder, out, heard);
    if (o.live) PrintLive(heard);
  }
  out.clear();
  decoder.Flush(out);
  Take(decoder, out, heard);
  if (o.live) PrintLive(heard);
  PrintBlocks(heard, o.live);
  return 0;
}

int Receive(Options o) {
  std::ifstream file;
  zk::WavReader wav;
  if (!OpenInput(file, wav, o)) return 1;
  zk::Demodulator demodulator(o.modem, o.rx);
  zk::LineEndings lines;
  std::vector<float> block(1024);
  std::string decoded, shown;
  size_t n;
  while ((n = wav.Read(block.data(), block.size())) > 0) {
    decoded.clear();
    shown.clear();
    demodulator.Process(block.data(), n, decoded);
    for (char c : decoded) lines.Append(c, shown);
    if (!shown.empty()) {
      std::fwrite(shown.data(), 1, shown.size(), stdout);
      std::fflush(stdout);
    }
  }
  decoded.clear();
  shown.clear();
  demodulator.Flush(decoded);
  for (char c : decoded) lines.Append(c, shown);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command given");
  const std::string command = argv[1];
  if (command != "tx" && command != "rx") return Usage("unknown command " + command);
  const bool receive = command == "rx";
  Options o;
  const std::string problem = ParseOptions(argc, argv, receive, &o);
  if (!problem.empty()) return Usage(problem);
  if (receive) return o.all ? ReceiveAll(o) : Receive(o);
  const std::string bad = zk::CheckModemSettings(o.modem);
  if (!bad.empty()) return Usage(bad);
  return Transmit(o);
}
