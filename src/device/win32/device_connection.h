// The serial device link in the running program: the port, the reader and writer
// threads, and the platform side of the device rules.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "device/device_link.h"
#include "device/win32/comm_port.h"

class Win32DevicePort : public zk::DevicePort {
 public:
  bool HasPort() const override;
  void SetControlLine(int line, bool on) override;
  void Purge() override;
  bool Write(const uint8_t* bytes, int count) override;
  void TransmitChar(uint8_t byte) override;
  void EnginePost(int code, intptr_t value) override;
  void WakeWriter() override;
  void RequestToggle() override;
  void LogPtt(bool on) override;
  void ShowInPane(const uint8_t* bytes, int count, int slot) override;
  int64_t NowMs() override;
  bool WaitMs(int64_t ms) override;
};

// The connection's threads and handles; owned by the window thread.
struct DeviceConnection {
  CommPort* commPort = nullptr;
  std::atomic<bool> running{false};
  HANDLE stopEvent = nullptr;  // set to end both threads and cancel their waits
  HANDLE readerThread = nullptr;
  HANDLE writerThread = nullptr;
  DWORD writerThreadId = 0;
  OVERLAPPED writerRecord{};  // the writer thread's transfers
  OVERLAPPED windowRecord{};  // the window thread's transfers
};

// Opens the configured device and starts its threads; 0 (after telling the operator) when
// the port could not be activated.
int OpenDevice(HWND owner);
// Stops both threads cooperatively, each within 2000 ms, then closes the port.
void CloseDevice(HWND owner);
// Empties both directions of the port, when there is one.
void PurgePort();
// Waits, at most `maxMs`, until the driver has sent what it holds: closing the port
// purges its output, which must not cut off a last command to the device.
void DrainOutput(int maxMs);
