// The radio device link in the running program: the serial port, the reader and writer
// threads with their wake-up and stop events, and the platform side of the device rules.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/device_link.h"
#include "device/win32/comm_port.h"
#include "device/win32/engine_channel.h"

class LogLink;
class TextPane;

class DeviceConnection final : public zk::DevicePort {
 public:
  DeviceConnection(const zk::Settings& settings, zk::TxQueue& queue);
  ~DeviceConnection() override;
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  zk::DeviceLink& link() { return link_; }
  const zk::DeviceLink& link() const { return link_; }

  // Where the link delivers: the window that gets the engine's messages, the owner's
  // transmit/receive switch (asked for from any thread; it must not wait for the window
  // thread), the words the port's name begins with ("COM"), the pane that shows received
  // and sent text, and the logging program, which is told the engine's PTT state.
  void Attach(HWND owner, std::function<void()> toggle, const char* portPrefix, TextPane* rxTxPane,
              LogLink* logLink = nullptr);

  // Opens the configured device and starts its threads. False when the port could not be
  // activated; nothing runs then, and portName() names the port for the operator. For
  // the sound-card engine it also starts the engine; engineMissing() then tells whether
  // no engine program could be started.
  bool Open();
  bool engineMissing() const { return engineMissing_; }
  // Stops both threads cooperatively, each within 2000 ms, then closes the port. A
  // command string sent just before (the TNC's receive string at exit) is first given
  // its line time and a margin, at most a second, and is not thrown away at the close.
  void Close();
  const char* portName() const { return portName_; }

  // Sets the configured line format on the open port (the setup sheet's change of baud
  // rate and the like); flow control and DTR keep what the open set.
  void SetLineFormat();
  // Empties both directions of the port, when there is one.
  void PurgePort();
  // Ends the reader's current wait on the port (direct mode's echo switch).
  void InterruptReader();

  // The engine's registered message (0 before an engine was started), one such message
  // arriving at the owner window (true when it ended a transmission: the caller switches
  // to receive and flushes the queue), and the engine told to end.
  UINT engineMessage() const { return engine_.message(); }
  bool HandleEngineMessage(WPARAM code, LPARAM value);
  void EndEngine() { engine_.Post(zk::engine::kExit, 0); }
  // True once when the linked engine has gone while it is the device; StartEngine starts
  // one again as the open does (engineMissing() then tells whether none could be started).
  bool EngineLost() { return settings_.serial.device == zk::DeviceType::kEngine && engine_.Lost(); }
  void StartEngine() { engineMissing_ = !engine_.Start(); }

  bool running() const { return session_ && session_->running; }
  HANDLE readerThread() const { return readerThread_; }
  HANDLE writerThread() const { return writerThread_; }

  // zk::DevicePort
  bool HasPort() const override;
  void SetControlLine(zk::PttLine line, bool on) override;
  void Purge() override;
  bool Write(const uint8_t* bytes, int count) override;
  bool TransmitChar(uint8_t byte) override;
  void EnginePost(uint32_t code, intptr_t value) override;
  void WakeWriter() override;
  void RequestToggle() override;
  void LogPtt(bool on) override;
  void ShowInPane(const uint8_t* bytes, int count, int slot) override;
  int64_t NowMs() override;
  bool WaitMs(int64_t ms) override;

  // Where ports come from; tests stand in ports of their own.
  using PortMaker = std::function<std::unique_ptr<CommPort>()>;
  void UsePortMaker(PortMaker maker) { portMaker_ = std::move(maker); }

 private:
  // What one opening of the device shares with its threads: the port, the events and the
  // flag both threads loop on. Each thread holds it while it runs, so a thread that
  // outlives its close (a driver hung in a cancelled read) never meets a port or an event
  // that has gone; whoever lets go last closes them.
  struct Session {
    ~Session();
    std::unique_ptr<CommPort> port;
    std::atomic<bool> running{false};
    bool keepOutput = false;    // the close leaves what the driver still has to send
    HANDLE stop = nullptr;      // set to end both threads and cancel their waits
    HANDLE wake = nullptr;      // the writer's wake-up: something was queued
    OVERLAPPED writerRecord{};  // the writer thread's transfers
    OVERLAPPED windowRecord{};  // the window thread's transfers
  };
  struct ThreadStart {
    DeviceConnection* connection;
    std::shared_ptr<Session> session;
  };

  static DWORD WINAPI ReaderMain(LPVOID start);
  static DWORD WINAPI WriterMain(LPVOID start);
  HANDLE StartThread(LPTHREAD_START_ROUTINE main);
  void RunReader(Session& session);
  void RunWriter(Session& session);
  // The writer's own session on the writer thread, the open one on any other.
  Session* SessionOfThisThread() const;
  CommPort* OpenPort() const;
  // Waits until a command string just sent has had its line time; false when none is
  // owed, so the close may throw away what the driver holds.
  bool DeliverCommandString();
  bool ConfigurePort(CommPort& port);
  bool ApplyLineFormat(CommPort& port);

  const zk::Settings& settings_;
  zk::TxQueue& queue_;
  zk::DeviceLink link_;
  EngineChannel engine_{link_.rxFilter()};
  bool engineMissing_ = false;
  HWND owner_ = nullptr;
  std::function<void()> toggle_;
  char portPrefix_[11] = "COM";
  TextPane* pane_ = nullptr;
  LogLink* logLink_ = nullptr;
  char portName_[32] = "";
  PortMaker portMaker_;

  std::shared_ptr<Session> session_;  // the window thread's hold on the open device
  HANDLE readerThread_ = nullptr;
  HANDLE writerThread_ = nullptr;
  double commandLineFreeAtMs_ = 0;  // when the line will have sent the command strings
};
