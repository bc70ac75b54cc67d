#include "app/win32/panes.h"

#include "app/win32/app_state.h"
#include "app/win32/device_commands.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/log_commands.h"
#include "resources/resource.h"

namespace {

void CancelAutoRepeat() { app.autoRepeat.Cancel(); }

// "Direct" mode exists only for the serial devices.
bool SerialDevice() {
  return app.settings.serial.device == zk::DeviceType::kTerminalUnit ||
         app.settings.serial.device == zk::DeviceType::kTnc;
}

bool AltHeld() { return GetAsyncKeyState(VK_MENU) < 0; }

}  // namespace

int TypingPane::OnSysKeyDown(WPARAM key) {
  if (AltHeld()) {
    const WPARAM upper = (key >= 'a' && key <= 'z') ? key - 32 : key;
    switch (upper) {
      case 'T':
        if (!app.link.transmitting()) ToggleTransmit();
        return 1;
      case 'R':
        if (app.link.transmitting()) ToggleTransmit();
        return 1;
      case 'U': SendMessageA(app.mainWindow, WM_COMMAND, IDC_UPDATE, 0); return 1;
      case 'N': SendMessageA(app.mainWindow, WM_COMMAND, IDC_NEW, 0); return 1;
      default: break;
    }
  }
  if (key == VK_F10) {
    ToggleTransmit();
    return 1;
  }
  return TextPane::OnSysKeyDown(key);
}

int TypingPane::OnKeyDown(WPARAM key) {
  if (key >= VK_F1 && key <= VK_F9) {
    SendFKeyMessage(static_cast<int>(key - VK_F1));
    return 1;
  }
  if (key == VK_F11 || key == VK_F12) {
    app.logLink.BringToFront();
    return 1;
  }
  if (key == VK_ESCAPE && app.link.transmitting()) PostMessageA(app.mainWindow, WM_COMMAND, IDC_TXRX, 0);
  CancelAutoRepeat();
  return TextPane::OnKeyDown(key);
}

void TypingPane::ToggleDirectMode() {
  directMode = !directMode;
  app.device.PurgePort();
  if (directMode) {
    SetWindowTextA(app.mainWindow, "Zktty - Direct");
    app.rxTxPane->directEcho = true;
  } else {
    app.txQueue.Flush();
    Clear();
    SetWindowTextA(app.mainWindow, "Zktty");
  }
}

int TypingPane::CharInput(uint32_t ch, uint32_t slot) {
  (void)slot;
  if (ch == 25) {  // Ctrl+Y
    if (SerialDevice()) ToggleDirectMode();
    return 1;
  }
  if (directMode) {
    // Control characters go straight to the device unseen; the rest is shown in both panes.
    if (ch < 32 && ch != 13 && ch != 8 && ch != 10) {
      QueuePut(static_cast<char>(ch));
      return 1;
    }
    GeneralCharInput(ch, 0);
    QueueDirect(static_cast<char>(ch));
    app.rxTxPane->CharInput(ch, 0);
    return 1;
  }
  if (ch == 8 && app.link.transmitting() && app.txQueue.Empty()) return 1;  // sent text stays sent
  GeneralCharInput(ch, 0);
  if (ch == 8)
    QueuePut(8);
  else
    QueueTyped();
  return 1;
}

void TypingPane::OnLButtonDown(WPARAM flags, int x, int y) {
  CancelAutoRepeat();
  SetFocus(window());
  TextPane::OnLButtonDown(flags, x, y);
}

int RxTxPane::CharInput(uint32_t ch, uint32_t slot) {
  (void)slot;
  if (ch == 25) {
    if (SerialDevice()) {
      directEcho = !directEcho;
      app.device.InterruptReader();
      SetWindowTextA(app.mainWindow, "Zktty");
      app.typingPane->directMode = false;
    }
    FocusTypingPane();
    return 0;
  }
  if (directEcho && (ch >= 32 || ch == 8 || ch == 13 || ch == 10)) GeneralCharInput(ch, 0);
  return 0;
}

void RxTxPane::OnLButtonDown(WPARAM flags, int x, int y) {
  CancelAutoRepeat();
  TextPane::OnLButtonDown(flags, x, y);
}

void RxTxPane::OnLButtonDblClk(WPARAM, int, int) { PickCall(); }

void RxTxPane::OnRButtonDown(WPARAM, int, int) { PickReportReceived(); }
