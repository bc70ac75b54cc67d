#include "app/win32/fkey_commands.h"

#include <windows.h>

#include "app/win32/app_state.h"
#include "app/win32/device_commands.h"
#include "app/win32/log_commands.h"
#include "app/win32/main_window.h"
#include "app/win32/panes.h"
#include "messages/compose.h"
#include "messages/win32/fkeys_page.h"
#include "resources/resource.h"

namespace {

zk::ComposeResult Compose(int index, const char* callBox) {
  const zk::Settings& s = app.settings;
  zk::ComposeContext context;
  context.macros =
      zk::MacroValues{s.myCall, callBox, app.hisRst, app.myRst, s.fkeys.hisRstFormat, s.fkeys.exchangeFormat};
  context.ignore = s.tnc.ignore;
  context.startDirectory = app.startDirectory;
  context.transmitting = app.link.transmitting();
  context.readFile = zk::ReadMessageFile;
  return zk::ComposeMessage(s.fkeys.messages[index], context);
}

}  // namespace

void SendFKeyMessage(int index) {
  if (index < 0 || index >= zk::kFKeyCount) return;
  app.autoRepeat.OnFKeySent(zk::ShouldArmRepeat(index, app.settings.fkeys));
  char callBox[100] = "";
  GetDlgItemTextA(app.mainWindow, IDC_CALLBOX, callBox, sizeof callBox);
  const zk::ComposeResult result = Compose(index, callBox);
  if (!result.refusedFile.empty()) return ReportFileTooLarge(app.mainWindow, result.refusedFile.c_str());
  // The mark and the update in the order the message gives them; the update comes after
  // the expansion, so "(HISCALL)" in the same message still had the call.
  if (result.qsoPending && !result.qsoPendingAfterUpdate) app.qsoPending = true;
  if (result.logUpdateRequested) UpdateLog();
  if (result.qsoPendingAfterUpdate) app.qsoPending = true;
  for (char ch : result.text) app.typingPane->AppendChar(static_cast<uint8_t>(ch), 0);
  if (result.startTxRequested && !app.link.transmitting()) ToggleTransmit();
  FocusTypingPane();
  QueueTyped();
}

void UpdateFKeyButtons() {
  for (int i = 0; i < zk::kFKeyCount; ++i) {
    char label[zk::kFKeyMessageSize];
    if (zk::FKeyLabel(app.settings.fkeys.messages[i], label, sizeof label))
      SetDlgItemTextA(app.mainWindow, kFKeyButtons[i], label);
  }
}

void RunAutoRepeatTick() {
  const int key = app.autoRepeat.Tick(app.settings.fkeys.repeatKey);
  if (key >= 0) SendFKeyMessage(key);
}
