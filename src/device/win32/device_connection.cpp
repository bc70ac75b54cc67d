#include "device/win32/device_connection.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/fixed_text.h"
#include "loglink/win32/log_link.h"
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
// rather than killed, holding what it uses until then.
bool StopThread(HANDLE& thread) {
  if (!thread) return true;
  const bool ended = WaitForSingleObject(thread, kThreadStopMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  thread = nullptr;
  return ended;
}

// The session of the writer thread that runs this code, none on other threads.
DWORD WriterSessionSlot() {
  static const DWORD slot = TlsAlloc();
  return slot;
}

}  // namespace

DeviceConnection::Session::~Session() {
  if (port) port->Close(keepOutput);
  if (stop) CloseHandle(stop);
  if (wake) CloseHandle(wake);
  FreeRecord(writerRecord);
  FreeRecord(windowRecord);
}

DeviceConnection::DeviceConnection(const zk::Settings& settings, zk::TxQueue& queue)
    : settings_(settings), queue_(queue), link_(settings, queue, *this) {}

DeviceConnection::~DeviceConnection() { Close(); }

void DeviceConnection::Attach(HWND owner, std::function<void()> toggle, const char* portPrefix, TextPane* rxTxPane,
                              LogLink* logLink) {
  owner_ = owner;
  toggle_ = std::move(toggle);
  zk::CopyText(portPrefix_, portPrefix);
  pane_ = rxTxPane;
  logLink_ = logLink;
}

DeviceConnection::Session* DeviceConnection::SessionOfThisThread() const {
  auto* own = static_cast<Session*>(TlsGetValue(WriterSessionSlot()));
  return own ? own : session_.get();
}

CommPort* DeviceConnection::OpenPort() const {
  Session* session = SessionOfThisThread();
  CommPort* port = session ? session->port.get() : nullptr;
  return port && port->valid() ? port : nullptr;
}

HANDLE DeviceConnection::StartThread(LPTHREAD_START_ROUTINE main) {
  auto* start = new ThreadStart{this, session_};
  HANDLE thread = CreateThread(nullptr, 0, main, start, 0, nullptr);
  if (!thread) delete start;
  return thread;
}

// Each thread holds its session until it returns, so the session outlives a close that
// gave up waiting for it.
DWORD WINAPI DeviceConnection::ReaderMain(LPVOID start) {
  std::unique_ptr<ThreadStart> hold(static_cast<ThreadStart*>(start));
  hold->connection->RunReader(*hold->session);
  return 0;
}

DWORD WINAPI DeviceConnection::WriterMain(LPVOID start) {
  std::unique_ptr<ThreadStart> hold(static_cast<ThreadStart*>(start));
  TlsSetValue(WriterSessionSlot(), hold->session.get());
  hold->connection->RunWriter(*hold->session);
  TlsSetValue(WriterSessionSlot(), nullptr);
  return 0;
}

// The reader sleeps in a read until bytes arrive. It does not wait for receive events:
// Wine completes those on a pseudo-terminal some 170 times a second with nothing to read.
// Once its session has stopped it touches nothing but the session.
void DeviceConnection::RunReader(Session& session) {
  OVERLAPPED record;
  MakeRecord(record);
  uint8_t bytes[kReadChunk];
  while (session.running) {
    const int n = session.port->Read(bytes, kReadChunk, record, session.stop);
    if (!session.running) break;
    if (n <= 0) {
      // A purge or a line error ended the read; a port that keeps failing must not spin.
      if (WaitForSingleObject(session.stop, kReadRetryMs) != WAIT_TIMEOUT) break;
      continue;
    }
    for (int i = 0; i < n; ++i) link_.HandleReceivedByte(bytes[i]);
  }
  // Only the input: a TNC string sent just before must still go out.
  session.port->PurgeInput();
  FreeRecord(record);
}

void DeviceConnection::RunWriter(Session& session) {
  HANDLE waits[2] = {session.wake, session.stop};
  while (session.running) {
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    while (session.running && link_.WriterStep()) {}
  }
}

bool DeviceConnection::ConfigurePort(CommPort& port) {
  const zk::SerialLine& line = settings_.serial;
  if (line.device == zk::DeviceType::kTerminalUnit) {
    // Opening a port may raise RTS and DTR, which key many transmitters: drop them first.
    EscapeCommFunction(port.handle(), CLRRTS);
    EscapeCommFunction(port.handle(), CLRDTR);
  }
  DCB& state = port.lineState();
  state.DCBlength = sizeof(DCB);
  state.fBinary = 1;
  state.fParity = 1;
  if (line.device == zk::DeviceType::kTerminalUnit) {
    port.SetRtsCts(false);
    port.SetDtrControl(DTR_CONTROL_DISABLE);
    link_.SetPtt(false);
  } else {
    // DTR follows the RTS/CTS choice, so a TNC that wants handshaking sees DTR too.
    const bool rtsCts = (line.flow & zk::kFlowRtsCts) != 0;
    port.SetRtsCts(rtsCts);
    port.SetDtrControl(rtsCts ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
  }
  return ApplyLineFormat(port);
}

bool DeviceConnection::ApplyLineFormat(CommPort& port) {
  const zk::SerialLine& line = settings_.serial;
  return port.SetLineFormat(static_cast<DWORD>(line.baud), static_cast<BYTE>(line.dataBits),
                            static_cast<BYTE>(line.parity), static_cast<BYTE>(line.stopBits)) >= 0;
}

void DeviceConnection::SetLineFormat() {
  if (CommPort* port = OpenPort()) ApplyLineFormat(*port);
}

bool DeviceConnection::Open() {
  std::snprintf(portName_, sizeof portName_, "%s%d", portPrefix_, settings_.serial.port);
  if (session_) Close();
  session_ = std::make_shared<Session>();
  if (settings_.serial.device != zk::DeviceType::kEngine) {
    // A port that fails to open stays, closed, until the next open or close.
    session_->port = portMaker_ ? portMaker_() : std::make_unique<CommPort>();
    if (session_->port->Open(portName_, 400, 200) != 1 || !ConfigurePort(*session_->port)) return false;
  }
  link_.Reset();
  session_->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  session_->wake = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  MakeRecord(session_->writerRecord);
  MakeRecord(session_->windowRecord);
  session_->running = true;
  const zk::DeviceType type = settings_.serial.device;
  if (type == zk::DeviceType::kTerminalUnit || type == zk::DeviceType::kTnc) readerThread_ = StartThread(ReaderMain);
  writerThread_ = StartThread(WriterMain);
  engineMissing_ = type == zk::DeviceType::kEngine && !engine_.Start();
  return true;
}

bool DeviceConnection::HandleEngineMessage(WPARAM code, LPARAM value) {
  const zk::EngineAction action = engine_.Handle(owner_, code, value, link_.transmitting());
  if (action.kind == zk::EngineAction::kShow) ShowInPane(&action.byte, 1, action.slot);
  return action.kind == zk::EngineAction::kTransmissionDone;
}

void DeviceConnection::Close() {
  const bool keepOutput = DeliverCommandString();
  if (session_) {
    session_->keepOutput = keepOutput;
    session_->running = false;
    if (session_->stop) SetEvent(session_->stop);
  }
  StopThread(readerThread_);
  StopThread(writerThread_);
  // A thread still running keeps the session, and closes it when it ends.
  session_.reset();
  queue_.Flush();
}

void DeviceConnection::PurgePort() {
  if (CommPort* port = OpenPort()) port->Purge();
}

bool DeviceConnection::DeliverCommandString() {
  CommPort* port = OpenPort();
  if (!port) return false;
  const double start = static_cast<double>(NowMs());
  const double lineDone = commandLineFreeAtMs_ + kDeliverMarginMs;
  if (lineDone <= start) return false;
  const double deadline = start + std::min(lineDone - start, kDeliverMaxMs);
  // A driver that paces the line (or waits for flow control) still reports what it holds.
  for (double now = start; now < deadline; now = static_cast<double>(NowMs())) {
    if (now >= lineDone && port->OutputEmpty()) break;
    Sleep(10);
  }
  return true;
}

void DeviceConnection::InterruptReader() {
  if (CommPort* port = OpenPort()) SetCommMask(port->handle(), EV_RXCHAR | EV_TXEMPTY);
}

bool DeviceConnection::HasPort() const { return session_ && session_->port; }

void DeviceConnection::SetControlLine(zk::PttLine line, bool on) {
  CommPort* port = OpenPort();
  if (!port) return;
  const DWORD function = line == zk::PttLine::kRts ? (on ? SETRTS : CLRRTS) : (on ? SETDTR : CLRDTR);
  EscapeCommFunction(port->handle(), function);
}

void DeviceConnection::Purge() { PurgePort(); }

// A writer whose session has stopped writes nothing more, whatever the window thread has
// opened since.
bool DeviceConnection::Write(const uint8_t* bytes, int count) {
  const bool onWriter = TlsGetValue(WriterSessionSlot()) != nullptr;
  Session* session = SessionOfThisThread();
  CommPort* port = OpenPort();
  if (!port || !session->running) return false;
  OVERLAPPED& record = onWriter ? session->writerRecord : session->windowRecord;
  return port->Write(bytes, count, record, session->stop) == count;
}

bool DeviceConnection::TransmitChar(uint8_t byte) {
  CommPort* port = OpenPort();
  if (!port) return true;  // nothing to wait for
  if (!TransmitCommChar(port->handle(), static_cast<char>(byte))) return false;
  const double now = static_cast<double>(NowMs());
  commandLineFreeAtMs_ = std::max(commandLineFreeAtMs_, now) + link_.CharacterMs();
  return true;
}

void DeviceConnection::EnginePost(uint32_t code, intptr_t value) { engine_.Post(code, value); }

void DeviceConnection::WakeWriter() {
  if (session_ && session_->wake) SetEvent(session_->wake);
}

void DeviceConnection::RequestToggle() {
  if (toggle_) toggle_();
}

void DeviceConnection::LogPtt(bool on) {
  if (logLink_) logLink_->Send("control", on ? "ptton" : "pttoff");
}

void DeviceConnection::ShowInPane(const uint8_t* bytes, int count, int slot) {
  if (pane_ && count > 0) pane_->AppendText(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count), slot);
}

int64_t DeviceConnection::NowMs() { return static_cast<int64_t>(GetTickCount64()); }

bool DeviceConnection::WaitMs(int64_t ms) {
  Session* session = SessionOfThisThread();
  if (!session || !session->running) return false;
  if (ms <= 0) return true;
  return WaitForSingleObject(session->stop, static_cast<DWORD>(ms)) == WAIT_TIMEOUT;
}
