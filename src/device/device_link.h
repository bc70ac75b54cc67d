// The rules of the radio device link that need no window and no real port: switching
// between receive and transmit, keying PTT, TNC command strings, one step of the writer
// and the handling of each received byte. The shell gives it a DevicePort and runs the
// reader and writer threads; tests give it a fake port.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/baudot.h"
#include "base/engine_protocol.h"
#include "device/rx_filter.h"
#include "device/tnc_match.h"
#include "device/tx_queue.h"
#include "settings/settings.h"

namespace zk {

constexpr int kSlotReceived = 1;
constexpr int kSlotTransmitted = 2;

// What the device rules need from the platform. Calls come from the window thread, the
// writer thread and the reader thread, as noted.
class DevicePort {
 public:
  virtual ~DevicePort() = default;
  // A serial port object exists (whether or not it opened).
  virtual bool HasPort() const = 0;
  // Raises or drops RTS or DTR. Window thread, and the writer thread for the release of
  // PTT after the last character.
  virtual void SetControlLine(PttLine line, bool on) = 0;
  // Throws away what the driver holds in both directions. Window thread.
  virtual void Purge() = 0;
  // Writes bytes and waits for the driver to take them; false when the write failed or
  // the link is stopping. Writer thread only.
  virtual bool Write(const uint8_t* bytes, int count) = 0;
  // Sends one byte ahead of anything queued in the driver (TNC command strings). False
  // while the driver still holds the byte before it: Windows refuses the call then.
  virtual bool TransmitChar(uint8_t byte) = 0;
  // Posts one message to the sound-card engine (codes in base/engine_protocol.h).
  virtual void EnginePost(uint32_t code, intptr_t value) = 0;
  // Sets the writer thread's wake-up event.
  virtual void WakeWriter() = 0;
  // Asks the window thread to run the transmit/receive switch (command 1002).
  virtual void RequestToggle() = 0;
  // Tells the logging program the PTT state ("ptton"/"pttoff") for the engine.
  virtual void LogPtt(bool on) = 0;
  // Shows bytes in the receive/transmit pane in a colour slot.
  virtual void ShowInPane(const uint8_t* bytes, int count, int slot) = 0;
  // Milliseconds of a monotonic clock.
  virtual int64_t NowMs() = 0;
  // Waits up to `ms` (it may return sooner, e.g. when woken); returns false when the
  // link is stopping. Writer thread, and the window thread while a command string's
  // character waits for the line.
  virtual bool WaitMs(int64_t ms) = 0;
};

class DeviceLink {
 public:
  DeviceLink(const Settings& settings, TxQueue& queue, DevicePort& port)
      : settings_(settings), queue_(queue), port_(port) {}
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  bool transmitting() const { return transmitting_; }
  const std::atomic<bool>& transmittingFlag() const { return transmitting_; }

  // Window thread. The switch in both directions; the shell updates the button caption
  // and auto-repeat and then calls QueueTyped for the switch to transmit.
  void SwitchToTransmit();
  void SwitchToReceive();
  void SetPtt(bool on);
  void SendTncString(const char* text);
  // Forgets the awaited response, the armed prompt, pending PTT work and the last byte
  // shown, for a link that is (re)opened. The Baudot shift states are kept.
  void Reset();

  // Writer thread: one step; true while there may be more to do at once.
  bool WriterStep();
  // Reader thread: one received byte (raw from the port).
  void HandleReceivedByte(uint8_t byte);

  // Milliseconds of line time one character takes at the configured line format;
  // 0 (no pacing) when the baud rate is not positive.
  double CharacterMs() const;

  // Copies, taken under the lock the reader and writer threads share.
  std::string awaitedResponse() const;
  std::string armedCommand() const;
  bool pttState() const { return pttState_; }
  // The reader thread owns the receiving shift, the writer thread the transmitting one
  // (the letters pair of the switch to transmit is written by the writer too).
  BaudotCodec& codec() { return codec_; }
  // The received-byte filter; the engine's received characters pass it too.
  RxFilter& rxFilter() { return rxFilter_; }

 private:
  // Hands the codec's letters pair to the paced writer.
  class PacedCodeWriter : public CodeWriter {
   public:
    explicit PacedCodeWriter(DeviceLink& link) : link_(link) {}
    void WriteCodes(const uint8_t* codes, int count) override;

   private:
    DeviceLink& link_;
  };

  bool TransmitCommandChar(uint8_t byte);
  // Returns when the raised PTT line went up, -1 when no line is raised.
  int64_t ApplyPtt(bool on);
  void MarkPttRelease(PttLine line);
  bool ReleasePttWhenLineIsIdle();
  bool AwaitPttDelay();
  // Window thread: forgets the delay of the last keying; true when it had not run out.
  bool CancelPttDelay();
  bool WaitForLine();
  bool WriteBytes(const uint8_t* bytes, int count);
  bool Diddling() const;
  bool StepOnce();
  bool SendIdle();
  bool StepTerminalUnit(char c);
  bool StepEngine(char c);
  bool StepTnc(char c);
  void ShowEcho(char c);
  void WatchTnc(uint8_t byte);

  const Settings& settings_;
  TxQueue& queue_;
  DevicePort& port_;
  std::atomic<bool> transmitting_{false};
  BaudotCodec codec_;
  RxFilter rxFilter_;
  TncMatcher matcher_;

  // Shared by all three threads; the reader steps the matcher under it too.
  mutable std::mutex textMutex_;
  char awaitedResponse_[100] = "";
  char armedCommand_[100] = "";

  // PTT line state, shared by the window thread and the writer's delayed release.
  std::mutex pttMutex_;
  uint32_t pttSequence_ = 0;      // bumped by every PTT change on the window thread
  uint32_t releaseSequence_ = 0;  // the sequence the pending release belongs to
  PttLine releaseLine_ = PttLine::kNone;
  bool lineUp_ = false;  // a control line is raised
  int64_t lineUpSinceMs_ = 0;
  std::atomic<bool> releasePending_{false};
  std::atomic<bool> pttState_{false};

  // Set by the switch to transmit and acted on by the writer before anything else.
  std::atomic<bool> lettersPending_{false};
  std::atomic<bool> endRequested_{false};  // the writer met the end mark; the switch is coming
  std::atomic<int64_t> pttKeyedAtMs_{-1};

  // Writer thread only: when the line will have sent everything written so far.
  double lineFreeAtMs_ = 0;
};

}  // namespace zk
