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
  // Closes the port. Unless `keepOutput`, what the driver still holds to send is thrown
  // away first; a pseudo-terminal or a USB adapter may still hold bytes the far end has
  // not taken after the driver's queue reads empty.
  void Close(bool keepOutput = false);
  void Purge();
  // Throws away received bytes only.
  void PurgeInput();
  // The driver's output queue reads empty (or cannot be read).
  bool OutputEmpty();

  // Waits until bytes arrive and reads them: returns once some have come and the line
  // has paused for kReadGapMs, or `count` have come. -1 on failure or when `stop` was
  // signalled first with nothing read. Tests stand in a driver that hangs here.
  virtual int Read(uint8_t* buffer, int count, OVERLAPPED& record, HANDLE stop);

  // The pause after received bytes that ends a read. Both on Windows and under Wine a
  // read with only this time-out sleeps until the first byte arrives.
  static constexpr DWORD kReadGapMs = 10;
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
