// The one open serial port, with overlapped input and output.
#pragma once
#include <windows.h>

#include <cstdint>

class CommPort {
 public:
  CommPort() = default;
  virtual ~CommPort();
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  // Opens "COMn" (ports above 9 included). 1 on success, 0 when the port cannot be opened.
  int Open(const char* name, DWORD inQueue, DWORD outQueue);
  // 0, or -2 when the driver refuses the line state.
  int SetLineFormat(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits);
  int SetRtsCts(bool on);
  int SetDtrControl(int value);
  void Close();
  void Purge();

  // Reads up to `count` bytes that are already waiting; 0 when none, -1 on failure. Waits
  // for the transfer to complete unless `stop` is signalled first.
  int Read(uint8_t* buffer, int count, OVERLAPPED& record, HANDLE stop);
  // Writes and waits until the driver took the bytes, the write timed out or `stop` was
  // signalled. Returns the number written, or -1 when nothing was.
  int Write(const uint8_t* buffer, int count, OVERLAPPED& record, HANDLE stop);

  HANDLE handle() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  const char* name() const { return name_; }
  DCB& lineState() { return lineState_; }

 private:
  int ApplyLineState();

  char name_[16] = "";
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DCB lineState_{};
};
