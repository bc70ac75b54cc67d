// A multi-mode TNC in RTTY mode at the far end of a serial line: a command prompt, a
// transmit command, the TNC's echo of what it sends, and received traffic from a script.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "base/baudot.h"
#include "base/escapes.h"
#include "common/flood_text.h"
#include "common/line_pacer.h"
#include "common/options.h"
#include "common/recorder.h"
#include "common/script.h"
#include "common/script_player.h"
#include "common/station.h"
#include "common/tnc_machine.h"

namespace zk {
namespace sim {
namespace {

constexpr double kBitsPerChar = 10;  // start, eight data bits, stop
constexpr int64_t kMaxFlood = 1000LL * 1000 * 1000;

struct TncOptions {
  LineOptions line;
  TncConfig tnc;
  int64_t flood = 0;
};

class Tnc : public Station {
 public:
  Tnc(const TncOptions& options, const Script* script, int64_t startNs)
      : options_(options),
        machine_(options.tnc),
        player_(script, options.line.loop, options.line.rateScale),
        flood_(options.flood),
        startNs_(startNs) {}

  bool OpenRecords() {
    return recorder_.OpenText(options_.line.record.c_str()) && recorder_.OpenRaw(options_.line.recordRaw.c_str());
  }

  void Begin(int64_t) override {
    std::string reply;
    machine_.PowerUp(&reply);
    Queue(reply);
  }

  void Receive(uint8_t b, int64_t now) override {
    recorder_.Raw((now - startNs_) / kNsPerMs, b);
    std::string reply;
    if (machine_.Feed(b, &reply) == TncMachine::Event::kTransmitByte) {
      recorder_.Text(static_cast<char>(b));
      watch_.Add(static_cast<char>(b));
    }
    Queue(reply);
  }

  bool NextByte(int64_t now, uint8_t* b, int64_t* wakeAt) override {
    *wakeAt = kNever;
    // What comes "off the air" waits while the TNC transmits.
    while (out_.empty() && !machine_.transmitting()) {
      if (!flood_.done()) {
        flood_.Queue(&out_);
        continue;
      }
      ScriptItem item;
      if (!player_.Next(now, watch_, &item, wakeAt)) break;
      QueueReceived(item);
    }
    if (out_.empty()) return false;
    *b = out_.front();
    out_.pop_front();
    return true;
  }

 private:
  void Queue(const std::string& s) {
    for (char c : s) out_.push_back(static_cast<uint8_t>(c));
  }

  void QueueReceived(const ScriptItem& item) {
    switch (item.kind) {
      case ScriptItem::Kind::kText:
        if (item.value == '\n') {
          Queue("\r\n");
        } else {
          out_.push_back(item.value);
        }
        break;
      case ScriptItem::Kind::kRaw: out_.push_back(item.value); break;
      case ScriptItem::Kind::kNoise: {
        // The TNC prints what its demodulator makes of the noise: random Baudot codes.
        const char c = noiseCodec_.Decode(static_cast<uint8_t>(item.value & 31), true);
        if (c != 0) out_.push_back(static_cast<uint8_t>(c));
        break;
      }
    }
  }

  const TncOptions& options_;
  TncMachine machine_;
  ScriptPlayer player_;
  FloodText flood_;
  int64_t startNs_;
  BaudotCodec noiseCodec_;
  RxWatch watch_;
  Recorder recorder_;
  std::deque<uint8_t> out_;
};

void Usage(FILE* f) {
  std::fprintf(f,
               "usage: tnc_sim --device PATH [options]\n"
               "A multi-mode TNC in RTTY mode on a serial line, paced at line speed.\n%s"
               "  --prompt TEXT        the command prompt (default \"cmd:\")\n"
               "  --tx-command TEXT    the command line that starts transmitting (default X)\n"
               "  --rx-char CODE       the byte that ends transmitting: a number (4, 0x04)\n"
               "                       or an escape such as \\x04 or \\s (default 0x04, Ctrl-D)\n"
               "  --ack TEXT           the answer to a command line (default OK)\n"
               "  --flood N            first send N bytes of numbered test lines\n"
               "Default --baud is 9600, ten bits per character.\n",
               kCommonUsage);
}

bool ParseRxChar(const char* v, uint8_t* out) {
  int64_t n = 0;
  if (v[0] == '\\') {
    char parsed[8];
    const size_t len = ParseEscapes(parsed, sizeof parsed, v, EscapeContext(), nullptr);
    if (len != 1) return false;
    *out = static_cast<uint8_t>(parsed[0]);
    return true;
  }
  if (!ParseIntArg(v, 0, 255, &n)) return false;
  *out = static_cast<uint8_t>(n);
  return true;
}

int ParseArgs(int argc, char** argv, TncOptions* o) {
  o->line.baud = 9600;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    const char* name = argv[i];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
      Usage(stdout);
      return 0;
    }
    const OptionResult r = TakeCommonOption(argc, argv, &i, &o->line, &error);
    if (r == OptionResult::kTaken) continue;
    if (r == OptionResult::kNotMine) {
      std::string* text = nullptr;
      if (std::strcmp(name, "--prompt") == 0) text = &o->tnc.prompt;
      if (std::strcmp(name, "--tx-command") == 0) text = &o->tnc.txCommand;
      if (std::strcmp(name, "--ack") == 0) text = &o->tnc.ack;
      const bool rxChar = std::strcmp(name, "--rx-char") == 0;
      const bool flood = std::strcmp(name, "--flood") == 0;
      if (!text && !rxChar && !flood) {
        error = std::string("unknown option ") + name;
      } else if (const char* v = OptionValue(argc, argv, &i, &error)) {
        if (text) {
          *text = v;
          continue;
        }
        if (rxChar && ParseRxChar(v, &o->tnc.rxChar)) continue;
        if (flood && ParseIntArg(v, 0, kMaxFlood, &o->flood)) continue;
        error = std::string("bad value for ") + name + ": " + v;
      }
    }
    std::fprintf(stderr, "tnc_sim: %s\n", error.c_str());
    return 2;
  }
  if (o->line.device.empty()) {
    std::fprintf(stderr, "tnc_sim: --device is required\n");
    return 2;
  }
  return -1;
}

}  // namespace
}  // namespace sim
}  // namespace zk

int main(int argc, char** argv) {
  using namespace zk::sim;
  const int64_t startNs = MonotonicNs();
  TncOptions options;
  const int parsed = ParseArgs(argc, argv, &options);
  if (parsed >= 0) return parsed;

  Script script;
  int64_t charNs = 0;
  const int prepared = PrepareStation("tnc_sim", options.line, 255, kBitsPerChar, &script, &charNs);
  if (prepared >= 0) return prepared;
  Tnc tnc(options, &script, startNs);
  if (!tnc.OpenRecords()) {
    std::fprintf(stderr, "tnc_sim: cannot open a record file: %s\n", std::strerror(errno));
    return 1;
  }
  return RunStation("tnc_sim", options.line, charNs, tnc);
}
