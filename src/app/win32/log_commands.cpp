#include "app/win32/log_commands.h"

#include <string>

#include "app/win32/app_state.h"
#include "app/win32/panes.h"
#include "base/clean_line.h"
#include "base/fixed_text.h"
#include "loglink/log_fields.h"
#include "resources/resource.h"

namespace {

constexpr size_t kCallBoxRead = 300;
constexpr size_t kSelectionRead = 512;

std::string CallBoxText(size_t capacity) {
  char call[kCallBoxRead] = "";
  GetDlgItemTextA(app.mainWindow, IDC_CALLBOX, call, static_cast<int>(capacity < sizeof call ? capacity : sizeof call));
  zk::CleanLine(call);
  return call;
}

void SetCallBox(const char* text) { SetDlgItemTextA(app.mainWindow, IDC_CALLBOX, text); }

std::string SelectedText() {
  char selected[kSelectionRead] = "";
  app.rxTxPane->GetSelectedText(selected, sizeof selected);
  return selected;
}

}  // namespace

void SendCallBox() { app.logLink.Send("CALL", CallBoxText(kCallBoxRead).c_str()); }

void UpdateLog() {
  if (CallBoxText(kCallBoxRead).empty()) return;
  app.logLink.Send("control", "updatelog");
  SetCallBox("");
  app.qsoPending = false;
  FocusTypingPane();
}

void ConfirmLogUpdate() {
  if (!app.qsoPending) return;
  if (!CallBoxText(100).empty() &&
      MessageBoxA(app.mainWindow, "Save the current QSO to log?", "Update log?", MB_YESNO) == IDYES)
    UpdateLog();
  app.qsoPending = false;
}

void NewContact() {
  ConfirmLogUpdate();
  app.logLink.Send("control", "new");
  SetCallBox("");
  FocusTypingPane();
}

void PickCall() {
  ConfirmLogUpdate();
  app.autoRepeat.Cancel();
  const std::string call = zk::PickedCallText(SelectedText().c_str());
  SetCallBox(call.c_str());
  app.rxTxPane->ClearSelection();
  FocusTypingPane();
  app.logLink.Send("MODE", "RTTY");
  app.logLink.Send("CALL", zk::CutTo25(call).c_str());
}

void PickReportReceived() {
  app.autoRepeat.Cancel();
  app.logLink.Send("rst_rcvd", zk::PickedReportText(SelectedText().c_str()).c_str());
  app.rxTxPane->ClearSelection();
  FocusTypingPane();
}

void ReceiveLogBlock(const COPYDATASTRUCT* data) {
  if (!data || !data->lpData || data->cbData == 0) return;
  for (const zk::LogAction& action : zk::LogReceive(static_cast<const char*>(data->lpData), data->cbData)) {
    switch (action.kind) {
      case zk::LogAction::ClearCallBox: SetCallBox(""); break;
      case zk::LogAction::SetCallBox: SetCallBox(action.text.c_str()); break;
      case zk::LogAction::SetMyRst: zk::CopyText(app.myRst, action.text.c_str()); break;
      case zk::LogAction::SetHisRst: zk::CopyText(app.hisRst, action.text.c_str()); break;
      case zk::LogAction::LogStopped: app.logLink.Forget(); break;
    }
  }
}

void OnLogAnnouncement(WPARAM wParam, LPARAM lParam) {
  if (app.logLink.OnAnnouncement(wParam, lParam)) DestroyWindow(app.mainWindow);
}
