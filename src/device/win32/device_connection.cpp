#include "device/win32/device_connection.h"

#include <cstdio>

#include "app/win32/app_state.h"
#include "app/win32/panes.h"
#include "resources/resource.h"

namespace {

constexpr DWORD kThreadStopMs = 2000;
constexpr int kReadChunk = 256;

DeviceConnection& Link() { return app.connection; }

OVERLAPPED& RecordForThisThread() {
  DeviceConnection& c = Link();
  return GetCurrentThreadId() == c.writerThreadId ? c.writerRecord : c.windowRecord;
}

void MakeRecord(OVERLAPPED& record) {
  record = OVERLAPPED{};
  record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void FreeRecord(OVERLAPPED& record) {
  if (record.hEvent) CloseHandle(record.hEvent);
  record = OVERLAPPED{};
}

// Waits for the next port event, or returns false when the link is stopping.
bool WaitForPortEvent(HANDLE port, OVERLAPPED& record, DWORD& mask) {
  ResetEvent(record.hEvent);
  mask = 0;
  if (!WaitCommEvent(port, &mask, &record)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      // A port that reports errors instead of events must not spin the thread.
      return WaitForSingleObject(Link().stopEvent, 50) == WAIT_TIMEOUT;
    }
    HANDLE waits[2] = {record.hEvent, Link().stopEvent};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIo(port);
      DWORD ignored = 0;
      GetOverlappedResult(port, &record, &ignored, TRUE);
      return false;
    }
    DWORD ignored = 0;
    GetOverlappedResult(port, &record, &ignored, FALSE);
  }
  return Link().running;
}

// Hands every byte waiting in the port to the device rules; returns how many there were.
int ReadWaiting(CommPort& port, OVERLAPPED& record) {
  DeviceConnection& c = Link();
  uint8_t bytes[kReadChunk];
  int total = 0;
  for (;;) {
    const int n = port.Read(bytes, kReadChunk, record, c.stopEvent);
    if (n <= 0 || !c.running) return total;
    for (int i = 0; i < n; ++i) app.link.HandleReceivedByte(bytes[i]);
    total += n;
  }
}

DWORD WINAPI ReaderThread(LPVOID) {
  DeviceConnection& c = Link();
  CommPort* port = c.commPort;
  if (!port || !SetCommMask(port->handle(), EV_RXCHAR)) return 0;
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
  while (c.running) {
    if (emptyWakes >= kEmptyWakesBeforePolling) {
      if (ReadWaiting(*port, readRecord) == 0 && WaitForSingleObject(c.stopEvent, kPollMs) != WAIT_TIMEOUT)
        break;
      continue;
    }
    if (!WaitForPortEvent(port->handle(), waitRecord, mask)) break;
    const int got = ReadWaiting(*port, readRecord);
    emptyWakes = (mask == 0 && got == 0) ? emptyWakes + 1 : 0;
  }
  port->Purge();
  FreeRecord(waitRecord);
  FreeRecord(readRecord);
  return 0;
}

DWORD WINAPI WriterThread(LPVOID) {
  DeviceConnection& c = Link();
  HANDLE waits[2] = {app.wakeEvent, c.stopEvent};
  while (c.running) {
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    while (c.running && app.link.WriterStep()) {
    }
  }
  return 0;
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

void PortName(HWND owner, char* name, size_t size) {
  char com[11] = "COM";
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
  LoadStringA(instance, IDS_COM, com, sizeof com);
  std::snprintf(name, size, "%s%d", com, app.settings.ttyport);
}

bool ConfigurePort(CommPort& port) {
  const zk::Settings& s = app.settings;
  if (s.devtype == zk::kTerminalUnit) {
    // Opening a port may raise RTS and DTR, which key many transmitters: drop them first.
    EscapeCommFunction(port.handle(), CLRRTS);
    EscapeCommFunction(port.handle(), CLRDTR);
  }
  DCB& line = port.lineState();
  line.DCBlength = sizeof(DCB);
  line.fBinary = 1;
  line.fParity = 1;
  if (s.devtype == zk::kTerminalUnit) {
    port.SetRtsCts(false);
    port.SetDtrControl(DTR_CONTROL_DISABLE);
    app.link.SetPtt(false);
  } else {
    // DTR follows the RTS/CTS choice, so a TNC that wants handshaking sees DTR too.
    const bool rtsCts = (s.ttyflow & 2) != 0;
    port.SetRtsCts(rtsCts);
    port.SetDtrControl(rtsCts ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
  }
  return port.SetLineFormat(static_cast<DWORD>(s.ttybaud), static_cast<BYTE>(s.ttybytesize),
                            static_cast<BYTE>(s.ttyparity), static_cast<BYTE>(s.ttystop)) >= 0;
}

void ReportNotActivated(const char* name) {
  char caption[64];
  std::snprintf(caption, sizeof caption, "Could not activate %s", name);
  MessageBoxA(nullptr, "Another program may be using the port?", caption, MB_ICONEXCLAMATION);
}

}  // namespace

bool Win32DevicePort::HasPort() const { return Link().commPort != nullptr; }

void Win32DevicePort::SetControlLine(int line, bool on) {
  CommPort* port = Link().commPort;
  if (!port || !port->valid()) return;
  const DWORD function = line == 1 ? (on ? SETRTS : CLRRTS) : (on ? SETDTR : CLRDTR);
  EscapeCommFunction(port->handle(), function);
}

void Win32DevicePort::Purge() {
  if (Link().commPort) Link().commPort->Purge();
}

bool Win32DevicePort::Write(const uint8_t* bytes, int count) {
  CommPort* port = Link().commPort;
  if (!port || !port->valid()) return false;
  return port->Write(bytes, count, RecordForThisThread(), Link().stopEvent) == count;
}

void Win32DevicePort::TransmitChar(uint8_t byte) {
  CommPort* port = Link().commPort;
  if (port && port->valid()) TransmitCommChar(port->handle(), static_cast<char>(byte));
}

void Win32DevicePort::EnginePost(int, intptr_t) {}

void Win32DevicePort::WakeWriter() {
  if (app.wakeEvent) SetEvent(app.wakeEvent);
}

void Win32DevicePort::RequestToggle() {
  PostMessageA(app.mainWindow, WM_COMMAND, IDC_TXRX, 0);
}

void Win32DevicePort::LogPtt(bool) {}

void Win32DevicePort::ShowInPane(const uint8_t* bytes, int count, int slot) {
  if (app.rxTxPane && count > 0)
    app.rxTxPane->AppendText(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count), slot);
}

int64_t Win32DevicePort::NowMs() { return static_cast<int64_t>(GetTickCount64()); }

bool Win32DevicePort::WaitMs(int64_t ms) {
  if (!Link().running) return false;
  if (ms <= 0) return true;
  return WaitForSingleObject(Link().stopEvent, static_cast<DWORD>(ms)) == WAIT_TIMEOUT;
}

int OpenDevice(HWND owner) {
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
  DeviceConnection& c = Link();
  char name[32];
  PortName(owner, name, sizeof name);
  delete c.commPort;
  c.commPort = nullptr;
  if (app.settings.devtype != zk::kEngine) {
    c.commPort = new CommPort;
    const bool opened = c.commPort->Open(name, 400, 200) == 1;
    if (!opened || !ConfigurePort(*c.commPort)) {
      SetCursor(previous);
      ReportNotActivated(name);
      return 0;
    }
  }
  app.link.Reset();
  c.running = true;
  c.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  app.wakeEvent = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  MakeRecord(c.writerRecord);
  MakeRecord(c.windowRecord);
  const int32_t type = app.settings.devtype;
  if ((type == zk::kTerminalUnit || type == zk::kTnc) && !c.readerThread)
    c.readerThread = CreateThread(nullptr, 0, ReaderThread, nullptr, 0, nullptr);
  if (!c.writerThread)
    c.writerThread = CreateThread(nullptr, 0, WriterThread, nullptr, 0, &c.writerThreadId);
  SetCursor(previous);
  return 1;
}

void CloseDevice(HWND) {
  DeviceConnection& c = Link();
  c.running = false;
  if (c.stopEvent) SetEvent(c.stopEvent);
  if (c.commPort && c.commPort->valid()) SetCommMask(c.commPort->handle(), 0);
  const bool readerEnded = StopThread(c.readerThread);
  const bool writerEnded = StopThread(c.writerThread);
  c.writerThreadId = 0;
  if (readerEnded && writerEnded) {
    if (c.stopEvent) CloseHandle(c.stopEvent);
    if (app.wakeEvent) CloseHandle(app.wakeEvent);
    FreeRecord(c.writerRecord);
    FreeRecord(c.windowRecord);
    delete c.commPort;
  }
  c.stopEvent = nullptr;
  app.wakeEvent = nullptr;
  c.commPort = nullptr;
  app.txQueue.Flush();
}

void PurgePort() {
  if (Link().commPort) Link().commPort->Purge();
}

void DrainOutput(int maxMs) {
  CommPort* port = Link().commPort;
  if (!port || !port->valid()) return;
  for (int waited = 0; waited < maxMs; waited += 10) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port->handle(), &errors, &status) || status.cbOutQue == 0) return;
    Sleep(10);
  }
}
