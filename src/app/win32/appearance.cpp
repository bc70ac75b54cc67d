#include "app/win32/appearance.h"

#include "app/win32/app_state.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/panes.h"

namespace {

void ApplyPaneFont(TextPane& pane, const zk::PaneFont& font) {
  pane.SetFont(font.face, font.size, font.weight, font.italic);
}

// A class background brush is replaced before the old one is deleted, so the class never
// holds a deleted brush.
void ReplaceClassBrush(HWND window, HBRUSH& brush, COLORREF colour) {
  HBRUSH old = brush;
  brush = CreateSolidBrush(colour);
  SetClassLongPtrA(window, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(brush));
  if (old) DeleteObject(old);
}

}  // namespace

void ApplyLook() {
  const zk::PaneLook& look = app.settings.look;
  app.typingPane->SetBackground(look.background);
  app.rxTxPane->SetBackground(look.background);
  app.typingPane->SetColour(0, look.typingText, look.background);
  app.rxTxPane->SetColour(1, look.receivedText, look.background);
  app.rxTxPane->SetColour(2, look.sentText, look.background);
  ApplyPaneFont(*app.typingPane, look.typingFont);
  ApplyPaneFont(*app.rxTxPane, look.rxTxFont);
  ReplaceClassBrush(app.typingPaneWindow, app.paneBrush, look.background);
  ReplaceClassBrush(app.mainWindow, app.borderBrush, look.border);
  app.rxTxPane->Refresh();
  app.typingPane->Refresh();
  InvalidateRect(app.mainWindow, nullptr, TRUE);
}

void ApplyAppearance() {
  app.link.SetPtt(false);
  ApplyLook();
  UpdateFKeyButtons();
}
