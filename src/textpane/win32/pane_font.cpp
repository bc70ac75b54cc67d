#include "textpane/win32/pane_font.h"

#include "base/fixed_text.h"
#include "textpane/font_height.h"

HFONT MakeFont(HDC dc, const char* face, int32_t tenthsOfPoint, int styleBits) {
  SaveDC(dc);
  SetGraphicsMode(dc, GM_ADVANCED);
  ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  // Physical rows per inch, so a point size is its true height on this screen; a screen
  // that reports no physical size falls back to its logical resolution.
  const double yDpi =
      zk::VerticalDpi(GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, VERTSIZE), GetDeviceCaps(dc, LOGPIXELSY));
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
