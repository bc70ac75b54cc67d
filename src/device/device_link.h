// The rules of the radio device link that need no window and no real port: switching
// between receive and transmit, keying PTT, TNC command strings, one step of the writer
// and the handling of each received byte. The shell gives it a DevicePort and runs the
// reader and writer threads; tests give it a fake port.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/baudot.h"
#include "device/rx_filter.h"
#include "device/tnc_match.h"
#include "device/tx_queue.h"
#include "settings/settings.h"

namespace zk {

enum DeviceType : int32_t { kNoDevice = 0, kTerminalUnit = 1, kTnc = 2, kEngine = 3 };

constexpr int kSlotReceived = 1;
constexpr int kSlotTransmitted = 2;

// What the device rules need from the platform. Calls come from the window thread, the
// writer thread and the reader thread, as noted.
class DevicePort {
 public:
  virtual ~DevicePort() = default;
  // A serial port object exists (whether or not it opened).
  virtual bool HasPort() const = 0;
  // Raises or drops a control line: 1 RTS, 2 DTR.
  virtual void SetControlLine(int line, bool on) = 0;
  // Throws away what the driver holds in both directions.
  virtual void Purge() = 0;
  // Writes bytes and waits for the driver to take them; false when the write failed or
  // the link is stopping. Writer thread, and window thread for the letters shift pair.
  virtual bool Write(const uint8_t* bytes, int count) = 0;
  // Sends one byte ahead of anything queued in the driver (TNC command strings).
  virtual void TransmitChar(uint8_t byte) = 0;
  // Posts one message to the sound-card engine.
  virtual void EnginePost(int code, intptr_t value) = 0;
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
  // Waits up to `ms`; returns false when the link is stopping (writer thread).
  virtual bool WaitMs(int64_t ms) = 0;
};

class DeviceLink {
 public:
  DeviceLink(const Settings& settings, TxQueue& queue, DevicePort& port)
      : settings_(settings), queue_(queue), port_(port) {}

  bool transmitting() const { return transmitting_; }
  const std::atomic<bool>& transmittingFlag() const { return transmitting_; }

  // Window thread. The switch in both directions; the shell updates the button caption
  // and auto-repeat and then calls QueueTyped for the switch to transmit.
  void SwitchToTransmit();
  void SwitchToReceive();
  void SetPtt(bool on);
  void SendTncString(const char* text);
  // Forgets the watch states and shift bookkeeping of a link that is (re)opened.
  void Reset();

  // Writer thread: one step; true while there may be more to do at once.
  bool WriterStep();
  // Reader thread: one received byte (raw from the port).
  void HandleReceivedByte(uint8_t byte);

  // Seconds of line time one character takes at the configured line format.
  double CharacterMs() const;

  const char* awaitedResponse() const { return awaitedResponse_; }
  const char* armedCommand() const { return armedCommand_; }
  bool pttState() const { return pttState_; }
  BaudotCodec& codec() { return codec_; }

 private:
  bool WriteBytes(const uint8_t* bytes, int count);
  void WaitForLine();
  void ReleasePttWhenLineIsIdle();
  void ArmCommand();
  void WatchTnc(uint8_t byte);

  const Settings& settings_;
  TxQueue& queue_;
  DevicePort& port_;
  std::atomic<bool> transmitting_{false};
  BaudotCodec codec_;
  RxFilter rxFilter_;
  TncMatcher matcher_;
  char awaitedResponse_[100] = "";
  char armedCommand_[100] = "";
  std::atomic<bool> pttState_{false};
  std::mutex pttMutex_;
  // Line time bookkeeping of the writer thread.
  int64_t lineFreeAtMs_ = 0;
  std::atomic<int64_t> pttKeyedAtMs_{-1};
  std::atomic<bool> releasePending_{false};
};

}  // namespace zk
