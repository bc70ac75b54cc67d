// The engine's side of the link with the terminal, without a window: what each message
// from the terminal asks of the modem, which characters go back to it and when, when the
// end of a transmission is reported, and the two numbers reported for the terminal's
// caption. The shell delivers the messages and events and carries out the host's calls.
#pragma once
#include <cstdint>

#include "device/engine_protocol.h"

namespace zk {

// Codes of the two numbers: the mark tone as the receiver follows it, in Hz, and the
// receiver's signal-to-noise ratio in 3 kHz, in dB.
constexpr uint32_t kMarkReport = engine::kValue2;
constexpr uint32_t kSnrReport = engine::kValue1;
// The numbers are sent at most this often, each only when it has changed.
constexpr double kReportIntervalMs = 500;
// Started by a terminal, the engine announces itself again this often until it is
// answered, at most kAnnounceTries times in all.
constexpr double kAnnounceIntervalMs = 1000;
constexpr int kAnnounceTries = 10;

class EngineHost {
 public:
  virtual ~EngineHost() = default;
  virtual void Announce() = 0;                                    // the engine's window, to every window
  virtual void Post(intptr_t window, uint32_t code, intptr_t value) = 0;
  virtual void Linked() = 0;      // the first answer: a terminal is listening
  virtual void Receive() = 0;     // stop sending at once and receive
  virtual void Transmit() = 0;    // key up and send what is queued
  virtual void Finish() = 0;      // send what is queued, then stop
  virtual void Send(char ch) = 0;
  virtual void Exit() = 0;
};

class EngineRules {
 public:
  enum class Mode { kReceive, kTransmit, kFinishing };

  EngineRules(EngineHost& host, bool startedByTerminal) : host_(host), startedByTerminal_(startedByTerminal) {}

  void Start(double nowMs);
  // One message from the terminal (or anyone else: every code and value is checked).
  void Handle(uintptr_t code, intptr_t value);
  // A character the receiver decoded, and one whose audio has gone out.
  void Decoded(char ch);
  void Echoed(char ch);
  // The last sample of a transmission has been played and PTT released.
  void TransmissionEnded();
  // Called often (every 100 ms or so) with the receiver's latest figures.
  void Tick(double nowMs, double markHz, double snrDb);

  bool linked() const { return terminal_ != 0; }
  intptr_t terminal() const { return terminal_; }
  Mode mode() const { return mode_; }

 private:
  void SetMode(intptr_t value);
  void Report(uint32_t code, int value, int* last);

  EngineHost& host_;
  bool startedByTerminal_;
  intptr_t terminal_ = 0;
  Mode mode_ = Mode::kReceive;
  int announced_ = 0;
  double lastAnnounceMs_ = 0;
  double nextReportMs_ = 0;
  int mark_ = 0, snr_ = 0;                  // the latest figures, rounded
  int sentMark_ = -1, sentSnr_ = -1000;     // what the terminal was last told
};

}  // namespace zk
