// The main window: its class, its window procedure, the commands and the Call box.
#include "app/win32/main_window.h"

#include "app/win32/app_state.h"
#include "app/win32/device_commands.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/log_commands.h"
#include "app/win32/panes.h"
#include "app/win32/setup_sheet.h"
#include "app/win32/startup.h"
#include "base/clean_line.h"
#include "base/win32/help.h"
#include "resources/resource.h"

const char kMainClassName[] = "RttyZklog";
const int kFKeyButtons[9] = {IDC_F1, IDC_F2, IDC_F3, IDC_F4, IDC_F5, IDC_F6, IDC_F7, IDC_F8, IDC_F9};

namespace {

POINT ClientPoint(LPARAM lParam) {
  // Mouse points arrive as two unsigned 16-bit halves.
  return POINT{static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

void ShowAbout(HWND window) { DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_ABOUT), window, AboutProc, 0); }

int FKeyIndexOfButton(int command) {
  for (int i = 0; i < 9; ++i)
    if (kFKeyButtons[i] == command) return i;
  return -1;
}

// "sndvol32 /R" is gone since Windows Vista, where "sndvol.exe" took its place; where
// neither exists (Wine), the operator is told rather than left waiting.
void StartVolumeControl(HWND window) {
  if (WinExec("sndvol32 /R", SW_SHOWNORMAL) > 31 || WinExec("sndvol.exe", SW_SHOWNORMAL) > 31) return;
  MessageBoxA(window, "No volume control could be started on this system.", "Volume", MB_ICONINFORMATION);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  const int command = LOWORD(wParam);
  switch (command) {
    case IDM_ABOUT:
      ShowAbout(window);
      FocusTypingPane();
      return 0;
    case IDM_EXIT: DestroyWindow(window); return 0;
    case IDC_CALLBOX:
      if (HIWORD(wParam) == EN_CHANGE) SendCallBox();
      return 0;
    case IDC_TXRX:
      ToggleTransmit();
      FocusTypingPane();
      return 0;
    case IDC_UPDATE:
      UpdateLog();
      FocusTypingPane();
      return 0;
    case IDC_NEW: NewContact(); return 0;
    case IDM_HELP: OpenHelp(1); return 0;
    case IDM_CLEAR_RXTX:
      app.rxTxPane->Clear();
      FocusTypingPane();
      return 0;
    case IDM_CLEAR_TYPING:
      app.typingPane->Clear();
      FocusTypingPane();
      return 0;
    case IDM_SETUP:
      OpenSetupSheet(app.instance, window, 0);
      FocusTypingPane();
      return 0;
    case IDM_VOLUME: StartVolumeControl(window); return 0;
    case IDM_COPY: app.rxTxPane->CopyAllToClipboard(); return 0;
    case IDM_PASTE: app.typingPane->PasteFromClipboard(); return 0;
    default: break;
  }
  const int key = FKeyIndexOfButton(command);
  if (key >= 0) {
    SendFKeyMessage(key);
    return 0;
  }
  FocusTypingPane();
  return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

bool OnSetCursor(HWND window, LPARAM lParam) {
  const int hitTest = LOWORD(lParam);
  const int mouseMessage = HIWORD(lParam);
  if (!((hitTest == HTCLIENT && mouseMessage != 0) || (hitTest == HTNOWHERE && mouseMessage == 0))) return false;
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(window, &point);
  if (!zk::OnSplitterBar(app.layout, point.x, point.y)) return false;
  SetCursor(app.splitCursor);
  return true;
}

void OnSplitterDrag(HWND window, LPARAM lParam) {
  if (!app.splitter.dragging()) return;
  const POINT point = ClientPoint(lParam);
  if (!app.splitter.Drag(point.y, app.rxTxPane->lineHeight(), app.typingPane->lineHeight(), app.layout,
                         app.settings.paneRatio))
    return;
  LayoutPanes(window);
  InvalidateRect(app.typingPaneWindow, nullptr, FALSE);
  InvalidateRect(app.rxTxPaneWindow, nullptr, FALSE);
}

void OnSplitterGrab(HWND window, LPARAM lParam) {
  const POINT point = ClientPoint(lParam);
  if (app.splitter.Grab(app.layout, point.x, point.y)) SetCapture(window);
}

// The engine's messages; a transmission it reports finished returns the station to receive.
LRESULT OnEngineMessage(WPARAM code, LPARAM value) {
  if (code < zk::engine::kFirstEngineCode || code > zk::engine::kLastEngineCode) return 0;
  if (app.device.HandleEngineMessage(code, value)) {
    ToggleTransmit();
    app.txQueue.Flush();
  }
  return 0;
}

LRESULT OnLogLinkMessage(WPARAM wParam, LPARAM lParam) {
  OnLogAnnouncement(wParam, lParam);
  return 0;
}

LRESULT OnCopyData(LPARAM lParam) {
  ReceiveLogBlock(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
  return 1;
}

void Shutdown() {
  if (app.settings.serial.device == zk::DeviceType::kEngine) app.device.EndEngine();
  app.logLink.Send("control", "rttystopped");
  if (app.settings.serial.device == zk::DeviceType::kTerminalUnit) app.link.SetPtt(false);
  if (app.settings.serial.device == zk::DeviceType::kTnc) app.link.SendTncString(app.settings.tnc.receive);
  CloseDevice();
  WriteSettings();
  PostQuitMessage(0);
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  EndPaint(window, &paint);
}

}  // namespace

bool RegisterMainClass(HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ZKTTY));
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainClassName;
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_ZKTTY_SMALL), IMAGE_ICON, 16, 16, 0));
  return RegisterClassExA(&wc) != 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Registered messages are not constants: they are told apart before the switch.
  if (message != 0 && message == app.device.engineMessage()) return OnEngineMessage(wParam, lParam);
  if (message != 0 && message == app.logLink.message()) return OnLogLinkMessage(wParam, lParam);
  switch (message) {
    case WM_COPYDATA: return OnCopyData(lParam);
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case WM_MOUSEMOVE: OnSplitterDrag(window, lParam); return 0;
    case WM_LBUTTONDOWN: OnSplitterGrab(window, lParam); return 0;
    case WM_LBUTTONUP:
      if (app.splitter.Release()) ReleaseCapture();
      return 0;
    case WM_DESTROY: Shutdown(); return 0;
    case WM_SIZE: LayoutPanes(window); return 0;
    case WM_SETFOCUS: FocusTypingPane(); return 0;
    case WM_PAINT: OnPaint(window); return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(window, lParam)) return 0;
      return DefWindowProcA(window, message, wParam, lParam);
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK CallBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_TAB || wParam == VK_RETURN) {
        FocusTypingPane();
        return 0;
      }
      break;
    case WM_KEYUP:
      if (wParam < 32) return 0;
      break;
    case WM_CHAR:
      if (wParam == '\t' || wParam == '\r') return 0;
      break;
    default: break;
  }
  return CallWindowProcA(app.callBoxOldProc, window, message, wParam, lParam);
}

void LayoutPanes(HWND window) {
  if (!app.rxTxPaneWindow || !app.typingPaneWindow) return;
  RECT client;
  GetClientRect(window, &client);
  RECT button;
  HWND f3 = GetDlgItem(window, IDC_F3);
  GetClientRect(f3, &button);
  MapWindowPoints(f3, window, reinterpret_cast<POINT*>(&button), 2);
  app.layout = zk::ComputePaneLayout(client.right, client.bottom, button.bottom, app.settings.paneRatio);
  const zk::Rect& rx = app.layout.rxTx;
  const zk::Rect& ty = app.layout.typing;
  MoveWindow(app.rxTxPaneWindow, rx.left, rx.top, rx.right - rx.left, rx.bottom - rx.top, TRUE);
  MoveWindow(app.typingPaneWindow, ty.left, ty.top, ty.right - ty.left, ty.bottom - ty.top, TRUE);
}

namespace {

void CALLBACK ClockTick(HWND, UINT, UINT_PTR, DWORD) {
  if (!app.clockRunning) return;
  RunAutoRepeatTick();
  WatchEngine();
}

}  // namespace

bool StartClock(HWND window) {
  while (!SetTimer(window, kClockTimerId, kClockPeriodMs, ClockTick)) {
    if (MessageBoxA(window, "Too many clocks or timers", "Zklog....", MB_ICONEXCLAMATION | MB_RETRYCANCEL) != IDRETRY)
      return false;
  }
  app.clockRunning = true;
  return true;
}
