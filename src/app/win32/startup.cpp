// Start-up in its fixed order.
#include "app/win32/startup.h"

#include "app/win32/app_state.h"
#include "app/win32/appearance.h"
#include "app/win32/device_commands.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/main_window.h"
#include "app/win32/panes.h"
#include "resources/resource.h"
#include "textpane/win32/text_pane.h"

namespace {

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

bool InitInstance(HINSTANCE instance, int showCommand) {
  app.instance = instance;
  HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0);
  if (!window) return false;
  app.mainWindow = window;
  GetCurrentDirectoryA(MAX_PATH, app.startDirectory);
  CreatePanes(window, instance);
  ReadSettings();
  app.logLink.SetOwner(window);
  app.device.Attach(window, app.rxTxPane, &app.logLink);
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
  app.callBoxOldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(app.callBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CallBoxProc)));
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
