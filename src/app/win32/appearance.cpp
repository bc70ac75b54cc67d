#include "app/win32/appearance.h"

#include "app/win32/app_state.h"
#include "app/win32/fkey_commands.h"
#include "app/win32/panes.h"

namespace {

void ApplyPaneFont(TextPane& pane, const zk::PaneFont& font) {
  pane.SetFont(font.face, font.size, font.weight, font.italic);
}

}  // namespace

void ApplyAppearance() {
  const zk::Settings& s = app.settings;
  app.link.SetPtt(false);
  app.typingPane->SetBackground(s.bgcolour);
  app.rxTxPane->SetBackground(s.bgcolour);
  app.typingPane->SetColour(0, s.fgaprep, s.bgcolour);
  app.rxTxPane->SetColour(1, s.fgarx, s.bgcolour);
  app.rxTxPane->SetColour(2, s.fgatx, s.bgcolour);
  ApplyPaneFont(*app.typingPane, s.prepfont);
  ApplyPaneFont(*app.rxTxPane, s.rxtxfont);
  if (app.paneBrush) DeleteObject(app.paneBrush);
  app.paneBrush = CreateSolidBrush(s.bgcolour);
  SetClassLongPtrA(app.typingPaneWindow, GCLP_HBRBACKGROUND,
                   reinterpret_cast<LONG_PTR>(app.paneBrush));
  UpdateFKeyButtons();
  app.rxTxPane->Refresh();
  app.typingPane->Refresh();
}
