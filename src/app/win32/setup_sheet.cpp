#include "app/win32/setup_sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "app/win32/app_state.h"
#include "app/win32/appearance.h"
#include "app/win32/device_commands.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/startup.h"
#include "base/fixed_text.h"
#include "device/setup_rules.h"
#include "device/win32/device_pages.h"
#include "messages/win32/fkeys_page.h"
#include "textpane/win32/preferences_page.h"

namespace {

void CarryOut(zk::DeviceStep step) {
  zk::Settings& s = app.settings;
  switch (step) {
    case zk::DeviceStep::kResetTitle: SetWindowTextA(app.mainWindow, "Zktty"); break;
    case zk::DeviceStep::kEngineQuit: app.device.EndEngine(); break;
    case zk::DeviceStep::kEnginePttOff: {
      // Only a release made as the engine's tells the logging program "pttoff".
      const zk::DeviceType chosen = s.serial.device;
      s.serial.device = zk::DeviceType::kEngine;
      app.link.SetPtt(false);
      s.serial.device = chosen;
      break;
    }
    case zk::DeviceStep::kReleasePtt: app.link.SetPtt(false); break;
    case zk::DeviceStep::kClose: CloseDevice(); break;
    case zk::DeviceStep::kFlushQueue: app.txQueue.Flush(); break;
    case zk::DeviceStep::kOpen: OpenDevice(); break;
    case zk::DeviceStep::kSetLineFormat: app.device.SetLineFormat(); break;
    case zk::DeviceStep::kSendTncInit: app.link.SendTncString(s.tnc.init); break;
  }
}

class DeviceHost final : public DevicePagesHost {
 public:
  void ReleasePtt() override { app.link.SetPtt(false); }

  // The change runs with the new port and device but the old Baudot options and PTT, and
  // before the TNC page stores a new initialisation string.
  void ApplySerialPage(const zk::Settings& page) override {
    zk::Settings& live = app.settings;
    const std::vector<zk::DeviceStep> steps =
        zk::PlanDeviceChange(live, page, zk::LinkState{app.device.HasPort(), app.device.running()});
    live.serial = page.serial;
    for (zk::DeviceStep step : steps) CarryOut(step);
    live.options = page.options;
  }

  void ApplyTncPage(const zk::Settings& page) override { app.settings.tnc = page.tnc; }
};

class FKeysHost final : public FKeysPageHost {
 public:
  void TakeFKeys(const zk::FKeySet& set, bool showLabels) override {
    app.settings.fkeys = set;
    if (showLabels) UpdateFKeyButtons();
  }
};

class PreferencesHostOfApp final : public PreferencesHost {
 public:
  void ApplyLook(const zk::PaneLook& look) override {
    app.settings.look = look;
    ::ApplyLook();
  }
  void TakeCallSign(const char* call) override { zk::CopyText(app.settings.myCall, call); }
};

}  // namespace

int OpenSetupSheet(HINSTANCE instance, HWND parent, int startPage) {
  // A Setup command posted while the sheet is open reaches its message loop: one sheet is
  // enough.
  static bool open = false;
  if (open) return -1;
  open = true;
  InitCommonControls();
  zk::Settings draft = app.settings;
  PreferencesDraft preferences{};
  zk::CopyText(preferences.myCall, draft.myCall);
  preferences.look = draft.look;
  DeviceHost deviceHost;
  FKeysHost fkeysHost;
  PreferencesHostOfApp preferencesHost;
  DevicePagesContext device{draft, deviceHost};
  FKeysPageContext fkeys{draft.fkeys, fkeysHost, app.startDirectory};
  PreferencesContext look{preferences, preferencesHost};
  PROPSHEETPAGEA pages[] = {SerialPortPage(instance, device), TncPage(instance, device),
                            FunctionKeysPage(instance, fkeys), PreferencesPage(instance, look)};
  PROPSHEETHEADERA sheet{};
  sheet.dwSize = sizeof sheet;
  sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  sheet.hwndParent = parent;
  sheet.hInstance = instance;
  sheet.pszCaption = "Zktty";
  sheet.nPages = sizeof pages / sizeof pages[0];
  sheet.nStartPage = static_cast<UINT>(startPage);
  sheet.ppsp = pages;
  const INT_PTR result = PropertySheetA(&sheet);
  // A program ended while the sheet was open has written the file already, and its
  // window's place is gone.
  if (IsWindow(app.mainWindow)) WriteSettings();
  open = false;
  return static_cast<int>(result);
}
