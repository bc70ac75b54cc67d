// Start-up in its fixed order, and the settings file the program starts from and leaves.
#include "app/win32/startup.h"

#include <cstdio>

#include "app/win32/app_state.h"
#include "app/win32/appearance.h"
#include "app/win32/device_commands.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/main_window.h"
#include "app/win32/panes.h"
#include "resources/resource.h"
#include "textpane/win32/text_pane.h"

namespace {

// A place that lies on no screen (one since removed) would leave the window out of reach:
// it goes onto the primary screen's work area, whole.
zk::Rect PlaceOnAScreen(const zk::WindowLoc& loc) {
  const zk::Rect stored{loc.left, loc.top, loc.right, loc.bottom};
  const RECT place{loc.left, loc.top, loc.right, loc.bottom};
  RECT work{};
  if (MonitorFromRect(&place, MONITOR_DEFAULTTONULL) || !SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
    return stored;
  return zk::PlaceInside(stored, zk::Rect{work.left, work.top, work.right, work.bottom});
}

void ReadSettings() {
  zk::WindowLoc loc{};
  bool haveLoc = false;
  zk::ReadSettingsFile(app.settings, "Zktty.ini", &loc, &haveLoc);
  if (!haveLoc) return;
  const zk::Rect place = PlaceOnAScreen(loc);
  MoveWindow(app.mainWindow, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}

void CreatePanes(HWND parent, HINSTANCE instance) {
  app.typingPane = new TypingPane(10000);
  app.typingPane->selectable = true;
  app.typingPaneWindow = app.typingPane->Create(parent, instance, 10, 10, 50, 50);
  app.rxTxPane = new RxTxPane(10000);
  app.rxTxPane->selectable = true;
  app.rxTxPaneWindow = app.rxTxPane->Create(parent, instance, 70, 10, 50, 50);
  for (TextPane* pane : {static_cast<TextPane*>(app.typingPane), static_cast<TextPane*>(app.rxTxPane)}) {
    pane->SetColour(0, 0xFF0000, 0xFFFFFF);
    pane->SetColour(2, 0x0000FF, 0x00FF00);
    pane->SetColour(1, 0x009600, 0xFFFFFF);
  }
  LayoutPanes(parent);
}

// The device link posts the F10 command for the transmit/receive switch and names its
// port with the program's own word for one.
void AttachDevice(HWND window) {
  char portPrefix[11] = "COM";
  LoadStringA(app.instance, IDS_COM, portPrefix, sizeof portPrefix);
  app.device.Attach(
      window, [window] { PostMessageA(window, WM_COMMAND, IDC_TXRX, 0); }, portPrefix, app.rxTxPane, &app.logLink);
}

bool InitInstance(HINSTANCE instance, int showCommand) {
  app.instance = instance;
  HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0);
  if (!window) return false;
  app.mainWindow = window;
  GetCurrentDirectoryA(MAX_PATH, app.startDirectory);
  CreatePanes(window, instance);
  ReadSettings();
  app.logLink.SetOwner(window);
  AttachDevice(window);
  if (app.settings.serial.device != zk::DeviceType::kNone) OpenDevice();
  ApplyAppearance();
  ShowWindow(window, showCommand);
  UpdateWindow(window);
  if (app.settings.serial.device == zk::DeviceType::kTnc) app.link.SendTncString(app.settings.tnc.init);
  app.logLink.Announce();
  FocusTypingPane();
  // Without a device the operator has something to set up first.
  if (app.settings.serial.device == zk::DeviceType::kNone) PostMessageA(window, WM_COMMAND, IDM_SETUP, 0);
  app.callBox = GetDlgItem(window, IDC_CALLBOX);
  app.callBoxOldProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(app.callBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CallBoxProc)));
  StartClock(window);
  return true;
}

}  // namespace

bool StartProgram(HINSTANCE instance, int showCommand) {
  app.splitCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32645));  // IDC_SIZENS
  // Before any window exists: the logging program hears of the start from no window.
  app.logLink.Find();
  app.logLink.Send("control", "rttystarted");
  RegisterMainClass(instance);
  RegisterTextPaneClass(instance);
  return InitInstance(instance, showCommand);
}

void WriteSettings() {
  RECT rect{};
  if (IsIconic(app.mainWindow) || IsZoomed(app.mainWindow)) {
    // A minimised or maximised window keeps its normal place for the next start.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(app.mainWindow, &placement);
    rect = placement.rcNormalPosition;
  } else {
    GetWindowRect(app.mainWindow, &rect);
  }
  char path[MAX_PATH + 16];
  std::snprintf(path, sizeof path, "%s\\Zktty.ini", app.startDirectory);
  zk::WriteSettingsFile(app.settings, zk::WindowLoc{rect.left, rect.top, rect.right, rect.bottom}, path);
}
