#include "app/win32/device_commands.h"

#include <cstdio>

#include "app/win32/app_state.h"
#include "app/win32/panes.h"
#include "resources/resource.h"

namespace {

constexpr int kTransmitSlot = 2;  // the typing pane's slot-2 mark is the transmit position

void SetTxButtonCaption(bool transmitting) {
  SetDlgItemTextA(app.mainWindow, IDC_TXRX, transmitting ? "F10  &RX" : "F10  &TX");
}

// Typed text is queued only where something will send it.
bool LinkCanSend() { return app.device.HasPort() || app.settings.serial.device == zk::DeviceType::kEngine; }

void ReportNoEngine() {
  if (app.device.engineMissing()) MessageBoxA(nullptr, kNoEngineText, kNoEngineCaption, MB_ICONEXCLAMATION);
}

}  // namespace

bool OpenDevice() {
  HCURSOR previous = SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
  const bool opened = app.device.Open();
  SetCursor(previous);
  if (!opened) {
    char caption[64];
    std::snprintf(caption, sizeof caption, "Could not activate %s", app.device.portName());
    MessageBoxA(nullptr, "Another program may be using the port?", caption, MB_ICONEXCLAMATION);
  } else {
    ReportNoEngine();
  }
  if (app.settings.serial.device == zk::DeviceType::kEngine) FocusTypingPane();
  return opened;
}

void CloseDevice() { app.device.Close(); }

void ToggleTransmit() {
  if (app.link.transmitting()) {
    app.link.SwitchToReceive();
    SetTxButtonCaption(false);
    app.autoRepeat.OnReturnToReceive(app.settings.fkeys.repeatSeconds);
    return;
  }
  app.link.SwitchToTransmit();
  SetTxButtonCaption(true);
  QueueTyped();
}

void WatchEngine() {
  if (!app.device.EngineLost()) return;
  app.autoRepeat.Cancel();
  if (app.link.transmitting()) {
    ToggleTransmit();
    app.txQueue.Flush();
  } else {
    app.link.SetPtt(false);
  }
  if (MessageBoxA(app.mainWindow, kEngineEndedText, kEngineEndedCaption, MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
    return;
  app.device.StartEngine();
  ReportNoEngine();
  FocusTypingPane();
}

int QueuePut(char ch) {
  // The pane's backspace, which comes first, has brought the transmit position down with it.
  if (ch == 8) {
    app.txQueue.TakeBack();
    return -1;
  }
  if (!app.txQueue.Put(ch)) return 0;
  app.device.WakeWriter();
  return 1;
}

void QueueDirect(char ch) {
  QueuePut(ch);
  PaneLock lock(*app.typingPane);
  zk::TextBuffer& buffer = app.typingPane->buffer();
  buffer.slot(kTransmitSlot).mark = buffer.length();
}

int QueueTyped() {
  PaneLock lock(*app.typingPane);
  zk::TextBuffer& buffer = app.typingPane->buffer();
  zk::ColourSlot& slot = buffer.slot(kTransmitSlot);
  const int waiting = buffer.length() - slot.mark;
  if (!LinkCanSend() || !app.link.transmitting() || waiting < 1) return waiting;
  int queued = 0;
  while (queued < waiting && app.link.transmitting()) {
    if (QueuePut(buffer.text()[slot.mark + queued]) == 0) break;  // full: the rest waits
    ++queued;
  }
  slot.mark += queued;
  return waiting;
}
