#include "device/win32/device_connection.h"

#include <algorithm>
#include <cstdio>

#include "loglink/win32/log_link.h"
#include "resources/resource.h"
#include "textpane/win32/text_pane.h"

namespace {

constexpr DWORD kThreadStopMs = 2000;
constexpr int kReadChunk = 256;
constexpr DWORD kReadRetryMs = 5;
// A command string sent just before closing gets its line time and this much more.
constexpr double kDeliverMarginMs = 200;
constexpr double kDeliverMaxMs = 1000;

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

void DeviceConnection::Attach(HWND owner, TextPane* rxTxPane, LogLink* logLink) {
  owner_ = owner;
  pane_ = rxTxPane;
  logLink_ = logLink;
}

OVERLAPPED& DeviceConnection::RecordForThisThread() {
  return GetCurrentThreadId() == writerThreadId_ ? writerRecord_ : windowRecord_;
}

DWORD WINAPI DeviceConnection::ReaderMain(LPVOID self) {
  static_cast<DeviceConnection*>(self)->RunReader();
  return 0;
}

DWORD WINAPI DeviceConnection::WriterMain(LPVOID self) {
  static_cast<DeviceConnection*>(self)->RunWriter();
  return 0;
}

// The reader sleeps in a read until bytes arrive. It does not wait for receive events:
// Wine completes those on a pseudo-terminal some 170 times a second with nothing to read.
void DeviceConnection::RunReader() {
  if (!commPort_) return;
  OVERLAPPED record;
  MakeRecord(record);
  uint8_t bytes[kReadChunk];
  while (running_) {
    const int n = commPort_->Read(bytes, kReadChunk, record, stopEvent_);
    if (!running_) break;
    if (n <= 0) {
      // A purge or a line error ended the read; a port that keeps failing must not spin.
      if (WaitForSingleObject(stopEvent_, kReadRetryMs) != WAIT_TIMEOUT) break;
      continue;
    }
    for (int i = 0; i < n; ++i) link_.HandleReceivedByte(bytes[i]);
  }
  // Only the input: a TNC string sent just before must still go out.
  commPort_->PurgeInput();
  FreeRecord(record);
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
  engineMissing_ = type == zk::kEngine && !engine_.Start();
  return true;
}

bool DeviceConnection::HandleEngineMessage(WPARAM code, LPARAM value) {
  const zk::EngineAction action = engine_.Handle(owner_, code, value, link_.transmitting());
  if (action.kind == zk::EngineAction::kShow) ShowInPane(&action.byte, 1, action.slot);
  return action.kind == zk::EngineAction::kTransmissionDone;
}

void DeviceConnection::Close() {
  const bool keepOutput = DeliverCommandString();
  running_ = false;
  if (stopEvent_) SetEvent(stopEvent_);
  const bool readerEnded = StopThread(readerThread_);
  const bool writerEnded = StopThread(writerThread_);
  writerThreadId_ = 0;
  if (readerEnded && writerEnded) {
    if (stopEvent_) CloseHandle(stopEvent_);
    if (wakeEvent_) CloseHandle(wakeEvent_);
    FreeRecord(writerRecord_);
    FreeRecord(windowRecord_);
    if (commPort_) commPort_->Close(keepOutput);
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

bool DeviceConnection::DeliverCommandString() {
  if (!commPort_ || !commPort_->valid()) return false;
  const double start = static_cast<double>(NowMs());
  const double lineDone = commandLineFreeAtMs_ + kDeliverMarginMs;
  if (lineDone <= start) return false;
  const double deadline = start + std::min(lineDone - start, kDeliverMaxMs);
  // A driver that paces the line (or waits for flow control) still reports what it holds.
  for (double now = start; now < deadline; now = static_cast<double>(NowMs())) {
    if (now >= lineDone && commPort_->OutputEmpty()) break;
    Sleep(10);
  }
  return true;
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

bool DeviceConnection::TransmitChar(uint8_t byte) {
  if (!commPort_ || !commPort_->valid()) return true;  // nothing to wait for
  if (!TransmitCommChar(commPort_->handle(), static_cast<char>(byte))) return false;
  const double now = static_cast<double>(NowMs());
  commandLineFreeAtMs_ = std::max(commandLineFreeAtMs_, now) + link_.CharacterMs();
  return true;
}

void DeviceConnection::EnginePost(uint32_t code, intptr_t value) { engine_.Post(code, value); }

void DeviceConnection::WakeWriter() {
  if (wakeEvent_) SetEvent(wakeEvent_);
}

void DeviceConnection::RequestToggle() {
  if (owner_) PostMessageA(owner_, WM_COMMAND, IDC_TXRX, 0);
}

void DeviceConnection::LogPtt(bool on) {
  if (logLink_) logLink_->Send("control", on ? "ptton" : "pttoff");
}

void DeviceConnection::ShowInPane(const uint8_t* bytes, int count, int slot) {
  if (pane_ && count > 0) pane_->AppendText(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count), slot);
}

int64_t DeviceConnection::NowMs() { return static_cast<int64_t>(GetTickCount64()); }

bool DeviceConnection::WaitMs(int64_t ms) {
  if (!running_) return false;
  if (ms <= 0) return true;
  return WaitForSingleObject(stopEvent_, static_cast<DWORD>(ms)) == WAIT_TIMEOUT;
}
