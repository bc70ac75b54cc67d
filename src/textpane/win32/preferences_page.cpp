#include "textpane/win32/preferences_page.h"

#include <commdlg.h>

#include "base/fixed_text.h"
#include "base/win32/property_page.h"
#include "resources/resource.h"
#include "textpane/font_height.h"

namespace {

// Custom colours are shared by every colour dialog of the run and never saved.
COLORREF customColours[16];

struct ColourChoice {
  int button;
  int swatch;
  uint32_t zk::PaneLook::*colour;
};

const ColourChoice kColourChoices[] = {
    {IDC_BACKGROUND_COLOUR, IDC_BACKGROUND_SWATCH, &zk::PaneLook::background},
    {IDC_BORDER_COLOUR, IDC_BORDER_SWATCH, &zk::PaneLook::border},
    {IDC_RX_COLOUR, IDC_RX_SWATCH, &zk::PaneLook::receivedText},
    {IDC_TX_COLOUR, IDC_TX_SWATCH, &zk::PaneLook::sentText},
    {IDC_TYPING_COLOUR, IDC_TYPING_SWATCH, &zk::PaneLook::typingText},
};

struct FontChoice {
  int button;
  zk::PaneFont zk::PaneLook::*font;
};

const FontChoice kFontChoices[] = {{IDC_RXTX_FONT, &zk::PaneLook::rxTxFont},
                                   {IDC_TYPING_FONT, &zk::PaneLook::typingFont}};

PreferencesContext& ContextOf(HWND page) { return PageContext<PreferencesContext>(page); }

bool ChooseColourFor(HWND page, uint32_t& colour) {
  CHOOSECOLORA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = page;
  dialog.rgbResult = colour;
  dialog.lpCustColors = customColours;
  dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorA(&dialog)) return false;
  colour = dialog.rgbResult;
  return true;
}

// The dialog starts from the pane's font; what the operator confirms is written back as
// the settings hold it (size in tenths of a point).
bool ChooseFontFor(HWND page, zk::PaneFont& font) {
  LOGFONTA logical{};
  HDC dc = GetDC(page);
  logical.lfHeight = zk::FontDialogHeight(font.size, GetDeviceCaps(dc, LOGPIXELSY));
  ReleaseDC(page, dc);
  logical.lfWeight = font.weight;
  logical.lfItalic = font.italic;
  zk::CopyText(logical.lfFaceName, font.face);
  CHOOSEFONTA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = page;
  dialog.lpLogFont = &logical;
  dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
  if (!ChooseFontA(&dialog)) return false;
  font.size = dialog.iPointSize;
  font.weight = logical.lfWeight;
  font.italic = logical.lfItalic;
  zk::CopyTextN(font.face, sizeof font.face, logical.lfFaceName, LF_FACESIZE);
  return true;
}

void OnColourButton(HWND page, const ColourChoice& choice) {
  PreferencesContext& context = ContextOf(page);
  if (!ChooseColourFor(page, context.draft.look.*choice.colour)) return;
  InvalidateRect(GetDlgItem(page, choice.swatch), nullptr, TRUE);
  context.host.ApplyLook(context.draft.look);
}

void OnFontButton(HWND page, const FontChoice& choice) {
  PreferencesContext& context = ContextOf(page);
  if (ChooseFontFor(page, context.draft.look.*choice.font)) context.host.ApplyLook(context.draft.look);
}

void OnCommand(HWND page, int id) {
  for (const ColourChoice& choice : kColourChoices)
    if (choice.button == id) OnColourButton(page, choice);
  for (const FontChoice& choice : kFontChoices)
    if (choice.button == id) OnFontButton(page, choice);
}

// A swatch is an etched frame filled with its colour.
INT_PTR OnDrawItem(HWND page, const DRAWITEMSTRUCT& item) {
  for (const ColourChoice& choice : kColourChoices) {
    if (static_cast<int>(item.CtlID) != choice.swatch) continue;
    RECT area = item.rcItem;
    DrawEdge(item.hDC, &area, EDGE_ETCHED, BF_RECT | BF_ADJUST);
    HBRUSH brush = CreateSolidBrush(ContextOf(page).draft.look.*choice.colour);
    FillRect(item.hDC, &area, brush);
    DeleteObject(brush);
    return TRUE;
  }
  return FALSE;
}

void ShowCallSign(HWND page) { SetDlgItemTextA(page, IDC_MYCALL, ContextOf(page).draft.myCall); }

void Apply(HWND page) {
  PreferencesContext& context = ContextOf(page);
  GetDlgItemTextA(page, IDC_MYCALL, context.draft.myCall, sizeof context.draft.myCall);
  context.host.TakeCallSign(context.draft.myCall);
}

INT_PTR OnInit(HWND page, LPARAM parameter) {
  KeepPageContext(page, parameter);
  SendDlgItemMessageA(page, IDC_MYCALL, EM_LIMITTEXT, sizeof(PreferencesDraft::myCall) - 1, 0);
  ShowCallSign(page);
  return TRUE;
}

constexpr PageNotices kNotices{Apply, ShowCallSign, 5};  // the number is its help context

INT_PTR CALLBACK PreferencesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return OnInit(page, lParam);
    case WM_COMMAND: OnCommand(page, LOWORD(wParam)); return FALSE;
    case WM_DRAWITEM: return OnDrawItem(page, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_NOTIFY: return AnswerPageNotice(page, lParam, kNotices);
    default: return FALSE;
  }
}

}  // namespace

PROPSHEETPAGEA PreferencesPage(HINSTANCE instance, PreferencesContext& context) {
  return MakePropertyPage(instance, IDD_PREFERENCES_PAGE, PreferencesPageProc, "Preferences", &context);
}
