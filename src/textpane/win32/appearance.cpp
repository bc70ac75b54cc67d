#include "textpane/win32/appearance.h"

#include "base/fixed_text.h"
#include "app/win32/app_state.h"
#include "app/win32/panes.h"
#include "messages/win32/fkey_send.h"
#include "textpane/font_height.h"

HFONT MakeFont(HDC dc, const char* face, int32_t tenthsOfPoint, int styleBits) {
  SaveDC(dc);
  SetGraphicsMode(dc, GM_ADVANCED);
  ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  // Physical rows per inch, so a point size is its true height on this screen; a screen
  // that reports no physical size falls back to its logical resolution.
  const double yDpi = zk::VerticalDpi(GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, VERTSIZE),
                                      GetDeviceCaps(dc, LOGPIXELSY));
  const zk::FontStyle style = zk::FontStyleFromBits(styleBits);
  LOGFONTA font{};
  font.lfHeight = zk::FontCharHeight(tenthsOfPoint, yDpi);
  font.lfWeight = style.weight;
  font.lfItalic = style.italic;
  font.lfUnderline = style.underline;
  font.lfStrikeOut = style.strikeOut;
  zk::CopyText(font.lfFaceName, face);
  HFONT result = CreateFontIndirectA(&font);
  RestoreDC(dc, -1);
  return result;
}

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
