#include "engine/engine_rules.h"

#include <algorithm>
#include <cmath>

namespace zk {
namespace {

int Rounded(double v, double low, double high) {
  if (!std::isfinite(v)) return static_cast<int>(low);
  return static_cast<int>(std::lround(std::min(high, std::max(low, v))));
}

}  // namespace

void EngineRules::Start(double nowMs) {
  link_.Announce();
  announced_ = 1;
  lastAnnounceMs_ = nowMs;
}

void EngineRules::Handle(uintptr_t code, intptr_t value) {
  switch (code) {
    case engine::kReply:
      if (value == 0) return;
      if (!linked()) host_.Linked();
      terminal_ = value;
      return;
    case engine::kExit: host_.Exit(); return;
    case engine::kMode: SetMode(value); return;
    case engine::kSend:
      if (mode_ != Mode::kReceive) host_.Send(static_cast<char>(value & 0xFF));
      return;
    case engine::kSync:  // ours: the terminal asks for both numbers now
      sentMark_ = -1;
      sentSnr_ = -1000;
      nextReportMs_ = 0;
      return;
    default: return;
  }
}

void EngineRules::SetMode(intptr_t value) {
  if (value == engine::kModeReceive && mode_ != Mode::kReceive) {
    mode_ = Mode::kReceive;
    host_.Receive();
  } else if (value == engine::kModeTransmit && mode_ != Mode::kTransmit) {
    mode_ = Mode::kTransmit;
    host_.Transmit();
  } else if (value == engine::kModeFinish && mode_ == Mode::kTransmit) {
    mode_ = Mode::kFinishing;
    host_.Finish();
  } else if (value == engine::kModeFinish && mode_ == Mode::kReceive && linked()) {
    link_.Post(terminal_, engine::kTransmitDone, 0);  // nothing left to send
  }
}

void EngineRules::Decoded(char ch) {
  if (linked() && mode_ == Mode::kReceive) link_.Post(terminal_, engine::kReceived, static_cast<uint8_t>(ch));
}

void EngineRules::Echoed(char ch) {
  if (linked() && mode_ != Mode::kReceive) link_.Post(terminal_, engine::kReceived, static_cast<uint8_t>(ch));
}

void EngineRules::TransmissionEnded() {
  if (mode_ != Mode::kFinishing) return;  // switched by the terminal, or sending again
  mode_ = Mode::kReceive;
  if (linked()) link_.Post(terminal_, engine::kTransmitDone, 0);
}

void EngineRules::Tick(double nowMs, double markHz, double snrDb) {
  mark_ = Rounded(markHz, 0, 10000);
  snr_ = Rounded(snrDb, -99, 99);
  if (!linked()) {
    if (startedByTerminal_ && announced_ < kAnnounceTries && nowMs - lastAnnounceMs_ >= kAnnounceIntervalMs) {
      link_.Announce();
      ++announced_;
      lastAnnounceMs_ = nowMs;
    }
    return;
  }
  if (nowMs < nextReportMs_) return;
  const bool changed = mark_ != sentMark_ || snr_ != sentSnr_;
  Report(engine::kMarkReport, mark_, &sentMark_);
  Report(engine::kSnrReport, snr_, &sentSnr_);
  if (changed) nextReportMs_ = nowMs + kReportIntervalMs;
}

void EngineRules::Report(uint32_t code, int value, int* last) {
  if (value == *last) return;
  link_.Post(terminal_, code, value);
  *last = value;
}

}  // namespace zk
