// The engine's side of the link with the terminal, without a window: what each message
// from the terminal asks of the modem, which characters go back to it and when, when the
// end of a transmission is reported, and the two numbers reported for the terminal's
// caption. The engine session delivers the messages and events and carries out what the
// host is asked.
#pragma once
#include <cstdint>

#include "base/engine_protocol.h"

namespace zk {

// The numbers are sent at most this often, each only when it has changed.
constexpr double kReportIntervalMs = 500;
// Started by a terminal, the engine announces itself again this often until it is
// answered, at most kAnnounceTries times in all.
constexpr double kAnnounceIntervalMs = 1000;
constexpr int kAnnounceTries = 10;

// The terminal's side of the link: one message with a code and a value, to one window,
// or the engine's window to every window.
class TerminalLink {
 public:
  virtual ~TerminalLink() = default;
  virtual void Announce() = 0;
  virtual void Post(intptr_t window, uint32_t code, intptr_t value) = 0;
};

// What the terminal's messages ask of the modem.
class EngineHost {
 public:
  virtual ~EngineHost() = default;
  virtual void Linked() = 0;    // the first answer: a terminal is listening
  virtual void Receive() = 0;   // stop sending at once and receive
  virtual void Transmit() = 0;  // key up and send what is queued
  virtual void Finish() = 0;    // send what is queued, then stop
  virtual void Send(char ch) = 0;
  virtual void Exit() = 0;
};

class EngineRules {
 public:
  enum class Mode { kReceive, kTransmit, kFinishing };

  EngineRules(TerminalLink& link, EngineHost& host, bool startedByTerminal)
      : link_(link), host_(host), startedByTerminal_(startedByTerminal) {}

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

  TerminalLink& link_;
  EngineHost& host_;
  bool startedByTerminal_;
  intptr_t terminal_ = 0;
  Mode mode_ = Mode::kReceive;
  int announced_ = 0;
  double lastAnnounceMs_ = 0;
  double nextReportMs_ = 0;
  int mark_ = 0, snr_ = 0;               // the latest figures, rounded
  int sentMark_ = -1, sentSnr_ = -1000;  // what the terminal was last told
};

}  // namespace zk
