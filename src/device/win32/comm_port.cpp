#include "device/win32/comm_port.h"

#include <cstdio>

#include "base/fixed_text.h"

namespace {

// Waits for an overlapped transfer, or cancels it when `stop` comes first. Returns the
// bytes transferred, or -1 when the transfer failed.
int Complete(HANDLE port, OVERLAPPED& record, HANDLE stop) {
  HANDLE waits[2] = {record.hEvent, stop};
  const DWORD count = stop ? 2 : 1;
  if (WaitForMultipleObjects(count, waits, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIo(port);
  DWORD done = 0;
  if (!GetOverlappedResult(port, &record, &done, TRUE)) {
    DWORD errors = 0;
    ClearCommError(port, &errors, nullptr);
    return done > 0 ? static_cast<int>(done) : -1;
  }
  return static_cast<int>(done);
}

void Rearm(OVERLAPPED& record) {
  HANDLE event = record.hEvent;
  record = OVERLAPPED{};
  record.hEvent = event;
  ResetEvent(event);
}

}  // namespace

CommPort::~CommPort() { Close(); }

int CommPort::Open(const char* name, DWORD inQueue, DWORD outQueue) {
  zk::CopyText(name_, name);
  // The device namespace prefix lets ports above COM9 open too.
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\%s", name_);
  handle_ = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  SetupComm(handle_, inQueue, outQueue);
  // Without total read time-outs a read waits for its first byte as long as it takes;
  // the interval then ends it once the line pauses. (The documented "return on the
  // first byte" setting waits for a full buffer under Wine, and "return at once" spins
  // a waiting reader on Windows.)
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = kReadGapMs;
  timeouts.WriteTotalTimeoutConstant = 2000;
  SetCommTimeouts(handle_, &timeouts);
  lineState_.DCBlength = sizeof lineState_;
  GetCommState(handle_, &lineState_);
  return 1;
}

int CommPort::ApplyLineState() {
  if (!valid()) return -2;
  return SetCommState(handle_, &lineState_) ? 0 : -2;
}

int CommPort::SetLineFormat(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits) {
  lineState_.BaudRate = baudRate;
  lineState_.ByteSize = byteSize;
  lineState_.Parity = parity;
  lineState_.StopBits = stopBits;
  return ApplyLineState();
}

int CommPort::SetRtsCts(bool on) {
  if (!valid()) return -2;
  lineState_.fOutxCtsFlow = on ? 1 : 0;
  lineState_.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
  return ApplyLineState();
}

int CommPort::SetDtrControl(int value) {
  if (!valid()) return -2;
  lineState_.fDtrControl = static_cast<DWORD>(value & 3);
  return ApplyLineState();
}

void CommPort::Close(bool keepOutput) {
  if (!valid()) return;
  EscapeCommFunction(handle_, CLRDTR);
  PurgeComm(handle_,
            keepOutput ? PURGE_RXABORT | PURGE_RXCLEAR : PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void CommPort::Purge() {
  if (!valid()) return;
  PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  DWORD errors = 0;
  ClearCommError(handle_, &errors, nullptr);
}

void CommPort::PurgeInput() {
  if (valid()) PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR);
}

bool CommPort::OutputEmpty() {
  DWORD errors = 0;
  COMSTAT status{};
  return !valid() || !ClearCommError(handle_, &errors, &status) || status.cbOutQue == 0;
}

int CommPort::Read(uint8_t* buffer, int count, OVERLAPPED& record, HANDLE stop) {
  if (!valid() || !buffer || count < 1) return -1;
  Rearm(record);
  DWORD done = 0;
  if (ReadFile(handle_, buffer, static_cast<DWORD>(count), &done, &record)) return static_cast<int>(done);
  if (GetLastError() != ERROR_IO_PENDING) {
    DWORD errors = 0;
    ClearCommError(handle_, &errors, nullptr);
    return -1;
  }
  return Complete(handle_, record, stop);
}

int CommPort::Write(const uint8_t* buffer, int count, OVERLAPPED& record, HANDLE stop) {
  if (!valid() || !buffer || count < 1) return -1;
  Rearm(record);
  DWORD done = 0;
  if (WriteFile(handle_, buffer, static_cast<DWORD>(count), &done, &record)) return static_cast<int>(done);
  if (GetLastError() != ERROR_IO_PENDING) {
    DWORD errors = 0;
    ClearCommError(handle_, &errors, nullptr);
    return -1;
  }
  return Complete(handle_, record, stop);
}
