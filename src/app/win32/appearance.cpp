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
  const zk::Settings& s = app.settings;
  app.typingPane->SetBackground(s.bgcolour);
  app.rxTxPane->SetBackground(s.bgcolour);
  app.typingPane->SetColour(0, s.fgaprep, s.bgcolour);
  app.rxTxPane->SetColour(1, s.fgarx, s.bgcolour);
  app.rxTxPane->SetColour(2, s.fgatx, s.bgcolour);
  ApplyPaneFont(*app.typingPane, s.prepfont);
  ApplyPaneFont(*app.rxTxPane, s.rxtxfont);
  ReplaceClassBrush(app.typingPaneWindow, app.paneBrush, s.bgcolour);
  ReplaceClassBrush(app.mainWindow, app.borderBrush, s.bordercolour);
  app.rxTxPane->Refresh();
  app.typingPane->Refresh();
  InvalidateRect(app.mainWindow, nullptr, TRUE);
}

void ApplyAppearance() {
  app.link.SetPtt(false);
  ApplyLook();
  UpdateFKeyButtons();
}
