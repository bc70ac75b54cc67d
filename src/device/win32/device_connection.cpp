#include "device/win32/device_connection.h"

#include <cstdio>

#include "resources/resource.h"
#include "textpane/win32/text_pane.h"

namespace {

constexpr DWORD kThreadStopMs = 2000;
constexpr int kReadChunk = 256;

void MakeRecord(OVERLAPPED& record) {
  record = OVERLAPPED{};
  record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void FreeRecord(OVERLAPPED& record) {
  if (record.hEvent) CloseHandle(record.hEvent);
  record = OVERLAPPED{};
}

// Every wait of the threads also waits for the stop event, so they end on their own.
// Returns false for a thread that did not end within the limit: it is left to end later
// rather than killed, and what it uses must then stay alive.
bool StopThread(HANDLE& thread) {
  if (!thread) return true;
  const bool ended = WaitForSingleObject(thread, kThreadStopMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  thread = nullptr;
  return ended;
}

}  // namespace

DeviceConnection::DeviceConnection(const zk::Settings& settings, zk::TxQueue& queue)
    : settings_(settings), queue_(queue), link_(settings, queue, *this) {}

DeviceConnection::~DeviceConnection() { Close(); }

void DeviceConnection::Attach(HWND owner, TextPane* rxTxPane) {
  owner_ = owner;
  pane_ = rxTxPane;
}

OVERLAPPED& DeviceConnection::RecordForThisThread() {
  return GetCurrentThreadId() == writerThreadId_ ? writerRecord_ : windowRecord_;
}

// Waits for the next port event, or returns false when the link is stopping.
bool DeviceConnection::WaitForPortEvent(OVERLAPPED& record, DWORD& mask) {
  const HANDLE port = commPort_->handle();
  ResetEvent(record.hEvent);
  mask = 0;
  if (!WaitCommEvent(port, &mask, &record)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      // A port that reports errors instead of events must not spin the thread.
      return WaitForSingleObject(stopEvent_, 50) == WAIT_TIMEOUT;
    }
    HANDLE waits[2] = {record.hEvent, stopEvent_};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIo(port);
      DWORD ignored = 0;
      GetOverlappedResult(port, &record, &ignored, TRUE);
      return false;
    }
    DWORD ignored = 0;
    GetOverlappedResult(port, &record, &ignored, FALSE);
  }
  return running_;
}

// Hands every byte waiting in the port to the device rules; returns how many there were.
int DeviceConnection::ReadWaiting(OVERLAPPED& record) {
  uint8_t bytes[kReadChunk];
  int total = 0;
  for (;;) {
    const int n = commPort_->Read(bytes, kReadChunk, record, stopEvent_);
    if (n <= 0 || !running_) return total;
    for (int i = 0; i < n; ++i) link_.HandleReceivedByte(bytes[i]);
    total += n;
  }
}

DWORD WINAPI DeviceConnection::ReaderMain(LPVOID self) {
  static_cast<DeviceConnection*>(self)->RunReader();
  return 0;
}

DWORD WINAPI DeviceConnection::WriterMain(LPVOID self) {
  static_cast<DeviceConnection*>(self)->RunWriter();
  return 0;
}

void DeviceConnection::RunReader() {
  if (!commPort_ || !SetCommMask(commPort_->handle(), EV_RXCHAR)) return;
  OVERLAPPED waitRecord, readRecord;
  MakeRecord(waitRecord);
  MakeRecord(readRecord);
  // Wine completes the receive-event wait on a pseudo-terminal many times a second with
  // an empty mask and nothing to read, costing most of a core. After a few such wake-ups
  // in a row the reader looks at the port every few milliseconds instead; a real driver
  // never gets there. One empty wake-up alone is normal (a mask change ends the wait).
  constexpr int kEmptyWakesBeforePolling = 3;
  constexpr DWORD kPollMs = 5;
  int emptyWakes = 0;
  DWORD mask = 0;
  while (running_) {
    if (emptyWakes >= kEmptyWakesBeforePolling) {
      if (ReadWaiting(readRecord) == 0 && WaitForSingleObject(stopEvent_, kPollMs) != WAIT_TIMEOUT) break;
      continue;
    }
    if (!WaitForPortEvent(waitRecord, mask)) break;
    const int got = ReadWaiting(readRecord);
    emptyWakes = (mask == 0 && got == 0) ? emptyWakes + 1 : 0;
  }
  commPort_->Purge();
  FreeRecord(waitRecord);
  FreeRecord(readRecord);
}

void DeviceConnection::RunWriter() {
  HANDLE waits[2] = {wakeEvent_, stopEvent_};
  while (running_) {
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    while (running_ && link_.WriterStep()) {
    }
  }
}

bool DeviceConnection::ConfigurePort() {
  CommPort& port = *commPort_;
  if (settings_.devtype == zk::kTerminalUnit) {
    // Opening a port may raise RTS and DTR, which key many transmitters: drop them first.
    EscapeCommFunction(port.handle(), CLRRTS);
    EscapeCommFunction(port.handle(), CLRDTR);
  }
  DCB& line = port.lineState();
  line.DCBlength = sizeof(DCB);
  line.fBinary = 1;
  line.fParity = 1;
  if (settings_.devtype == zk::kTerminalUnit) {
    port.SetRtsCts(false);
    port.SetDtrControl(DTR_CONTROL_DISABLE);
    link_.SetPtt(false);
  } else {
    // DTR follows the RTS/CTS choice, so a TNC that wants handshaking sees DTR too.
    const bool rtsCts = (settings_.ttyflow & 2) != 0;
    port.SetRtsCts(rtsCts);
    port.SetDtrControl(rtsCts ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
  }
  return ApplyLineFormat(port);
}

bool DeviceConnection::ApplyLineFormat(CommPort& port) {
  return port.SetLineFormat(static_cast<DWORD>(settings_.ttybaud), static_cast<BYTE>(settings_.ttybytesize),
                            static_cast<BYTE>(settings_.ttyparity), static_cast<BYTE>(settings_.ttystop)) >= 0;
}

void DeviceConnection::SetLineFormat() {
  if (commPort_ && commPort_->valid()) ApplyLineFormat(*commPort_);
}

bool DeviceConnection::Open() {
  char com[11] = "COM";
  HINSTANCE instance = owner_ ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner_, GWLP_HINSTANCE)) : nullptr;
  LoadStringA(instance, IDS_COM, com, sizeof com);
  std::snprintf(portName_, sizeof portName_, "%s%d", com, settings_.ttyport);
  delete commPort_;
  commPort_ = nullptr;
  if (settings_.devtype != zk::kEngine) {
    commPort_ = new CommPort;
    if (commPort_->Open(portName_, 400, 200) != 1 || !ConfigurePort()) return false;
  }
  link_.Reset();
  running_ = true;
  stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  wakeEvent_ = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  MakeRecord(writerRecord_);
  MakeRecord(windowRecord_);
  const int32_t type = settings_.devtype;
  if ((type == zk::kTerminalUnit || type == zk::kTnc) && !readerThread_)
    readerThread_ = CreateThread(nullptr, 0, ReaderMain, this, 0, nullptr);
  if (!writerThread_) writerThread_ = CreateThread(nullptr, 0, WriterMain, this, 0, &writerThreadId_);
  return true;
}

void DeviceConnection::Close() {
  running_ = false;
  if (stopEvent_) SetEvent(stopEvent_);
  if (commPort_ && commPort_->valid()) SetCommMask(commPort_->handle(), 0);
  const bool readerEnded = StopThread(readerThread_);
  const bool writerEnded = StopThread(writerThread_);
  writerThreadId_ = 0;
  if (readerEnded && writerEnded) {
    if (stopEvent_) CloseHandle(stopEvent_);
    if (wakeEvent_) CloseHandle(wakeEvent_);
    FreeRecord(writerRecord_);
    FreeRecord(windowRecord_);
    delete commPort_;
  }
  stopEvent_ = nullptr;
  wakeEvent_ = nullptr;
  commPort_ = nullptr;
  queue_.Flush();
}

void DeviceConnection::PurgePort() {
  if (commPort_) commPort_->Purge();
}

void DeviceConnection::DrainOutput(int maxMs) {
  if (!commPort_ || !commPort_->valid()) return;
  for (int waited = 0; waited < maxMs; waited += 10) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(commPort_->handle(), &errors, &status) || status.cbOutQue == 0) return;
    Sleep(10);
  }
}

void DeviceConnection::InterruptReader() {
  if (commPort_ && commPort_->valid()) SetCommMask(commPort_->handle(), EV_RXCHAR | EV_TXEMPTY);
}

bool DeviceConnection::HasPort() const { return commPort_ != nullptr; }

void DeviceConnection::SetControlLine(int line, bool on) {
  if (!commPort_ || !commPort_->valid()) return;
  const DWORD function = line == 1 ? (on ? SETRTS : CLRRTS) : (on ? SETDTR : CLRDTR);
  EscapeCommFunction(commPort_->handle(), function);
}

void DeviceConnection::Purge() { PurgePort(); }

bool DeviceConnection::Write(const uint8_t* bytes, int count) {
  if (!commPort_ || !commPort_->valid()) return false;
  return commPort_->Write(bytes, count, RecordForThisThread(), stopEvent_) == count;
}

void DeviceConnection::TransmitChar(uint8_t byte) {
  if (commPort_ && commPort_->valid()) TransmitCommChar(commPort_->handle(), static_cast<char>(byte));
}

void DeviceConnection::EnginePost(int, intptr_t) {}

void DeviceConnection::WakeWriter() {
  if (wakeEvent_) SetEvent(wakeEvent_);
}

void DeviceConnection::RequestToggle() {
  if (owner_) PostMessageA(owner_, WM_COMMAND, IDC_TXRX, 0);
}

void DeviceConnection::LogPtt(bool) {}

void DeviceConnection::ShowInPane(const uint8_t* bytes, int count, int slot) {
  if (pane_ && count > 0) pane_->AppendText(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count), slot);
}

int64_t DeviceConnection::NowMs() { return static_cast<int64_t>(GetTickCount64()); }

bool DeviceConnection::WaitMs(int64_t ms) {
  if (!running_) return false;
  if (ms <= 0) return true;
  return WaitForSingleObject(stopEvent_, static_cast<DWORD>(ms)) == WAIT_TIMEOUT;
}
