// A Baudot terminal unit at the far end of a serial line: it sends received traffic from a
// script as five-bit ITA2 codes and records the codes the program transmits.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "base/baudot.h"
#include "common/line_pacer.h"
#include "common/options.h"
#include "common/recorder.h"
#include "common/script.h"
#include "common/script_player.h"
#include "common/station.h"
#include "common/tu_sender.h"

namespace zk {
namespace sim {
namespace {

constexpr int kMaxCode = TuSender::kCodeMask;

struct TuOptions {
  LineOptions line;
  double stopBits = 1.5;
  bool ltrsOnSpace = true;
};

class TerminalUnit : public Station {
 public:
  TerminalUnit(const TuOptions& options, const Script* script, int64_t startNs)
      : options_(options), player_(script, options.line.loop, options.line.rateScale), startNs_(startNs) {}

  bool OpenRecords() {
    return recorder_.OpenText(options_.line.record.c_str()) && recorder_.OpenRaw(options_.line.recordRaw.c_str());
  }

  void Begin(int64_t) override {}

  void Receive(uint8_t code, int64_t now) override {
    recorder_.Raw((now - startNs_) / kNsPerMs, code);
    const char c = rxCodec_.Decode(static_cast<uint8_t>(code & kMaxCode), options_.ltrsOnSpace);
    if (c == 0) return;
    recorder_.Text(c);
    watch_.Add(c);
  }

  bool NextByte(int64_t now, uint8_t* code, int64_t* wakeAt) override {
    *wakeAt = kNever;
    while (out_.empty()) {
      ScriptItem item;
      if (!player_.Next(now, watch_, &item, wakeAt)) return false;
      sender_.Queue(item, &out_);
    }
    *code = out_.front();
    out_.pop_front();
    return true;
  }

 private:
  const TuOptions& options_;
  ScriptPlayer player_;
  int64_t startNs_;
  TuSender sender_;
  BaudotCodec rxCodec_;
  RxWatch watch_;
  Recorder recorder_;
  std::deque<uint8_t> out_;
};

void Usage(FILE* f) {
  std::fprintf(f,
               "usage: baudot_tu --device PATH [options]\n"
               "A Baudot (ITA2) terminal unit on a serial line, paced at line speed.\n%s"
               "  --stop-bits N        1, 1.5 or 2 (default 1.5)\n"
               "  --ltrs-on-space 0|1  a received space returns to letters (default 1)\n"
               "Default --baud is 45.45.\n",
               kCommonUsage);
}

int ParseArgs(int argc, char** argv, TuOptions* o) {
  o->line.baud = 45.45;
  std::string error;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    }
    const OptionResult r = TakeCommonOption(argc, argv, &i, &o->line, &error);
    if (r == OptionResult::kTaken) continue;
    if (r == OptionResult::kNotMine && std::strcmp(argv[i], "--stop-bits") == 0) {
      const char* v = OptionValue(argc, argv, &i, &error);
      if (v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "1.5") == 0 || std::strcmp(v, "2") == 0)) {
        ParseDoubleArg(v, 1, 2, &o->stopBits);
        continue;
      }
      if (v) error = std::string("--stop-bits takes 1, 1.5 or 2, not ") + v;
    } else if (r == OptionResult::kNotMine && std::strcmp(argv[i], "--ltrs-on-space") == 0) {
      const char* v = OptionValue(argc, argv, &i, &error);
      if (v && (std::strcmp(v, "0") == 0 || std::strcmp(v, "1") == 0)) {
        o->ltrsOnSpace = v[0] == '1';
        continue;
      }
      if (v) error = std::string("--ltrs-on-space takes 0 or 1, not ") + v;
    } else if (r == OptionResult::kNotMine) {
      error = std::string("unknown option ") + argv[i];
    }
    std::fprintf(stderr, "baudot_tu: %s\n", error.c_str());
    return 2;
  }
  if (o->line.device.empty()) {
    std::fprintf(stderr, "baudot_tu: --device is required\n");
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
  TuOptions options;
  const int parsed = ParseArgs(argc, argv, &options);
  if (parsed >= 0) return parsed;

  Script script;
  int64_t charNs = 0;
  // Start bit, five data bits, stop bits.
  const int prepared = PrepareStation("baudot_tu", options.line, kMaxCode, 6 + options.stopBits, &script, &charNs);
  if (prepared >= 0) return prepared;
  TerminalUnit unit(options, &script, startNs);
  if (!unit.OpenRecords()) {
    std::fprintf(stderr, "baudot_tu: cannot open a record file: %s\n", std::strerror(errno));
    return 1;
  }
  return RunStation("baudot_tu", options.line, charNs, unit);
}
