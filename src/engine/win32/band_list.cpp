#include "engine/win32/band_list.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

enum Column { kMark, kSnr, kText, kCall, kColumns };
const char* const kHeadings[kColumns] = {"Mark", "SNR", "Last characters", "Call sign"};
// What the narrow columns must hold, measured in the list's own font.
const char* const kWidest[kColumns] = {"0000 Hz", "-00 dB", "", "DL/WW0WWW/P"};

std::string Cell(const zk::BandRow& row, int column) {
  char text[32];
  switch (column) {
    case kMark: std::snprintf(text, sizeof text, "%.0f Hz", row.markHz); return text;
    case kSnr:
      if (row.snrDb <= -99) return "-";
      std::snprintf(text, sizeof text, "%.0f dB", std::round(row.snrDb));
      return text;
    case kText: return row.text;
    default: return row.callSign;
  }
}

// Every cell's text is asked of the window as the list paints it.
void SetCallbackCells(HWND list, int item) {
  LVITEMA lv{};
  lv.pszText = LPSTR_TEXTCALLBACKA;
  for (lv.iSubItem = 1; lv.iSubItem < kColumns; ++lv.iSubItem)
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
}

bool SameCells(const zk::BandRow& a, const zk::BandRow& b) {
  for (int c = 0; c < kColumns; ++c)
    if (Cell(a, c) != Cell(b, c)) return false;
  return true;
}

// A row's item holds its signal's id and whether it is heard now, so a change of either
// repaints the row.
LPARAM KeyOf(const zk::BandRow& row) { return static_cast<LPARAM>(row.id) * 2 + (row.open ? 1 : 0); }

LPARAM KeyAt(HWND list, int item) {
  LVITEMA lv{};
  lv.mask = LVIF_PARAM;
  lv.iItem = item;
  return SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lv)) ? lv.lParam : 0;
}

void SetKey(HWND list, int item, LPARAM key) {
  LVITEMA lv{};
  lv.mask = LVIF_PARAM;
  lv.iItem = item;
  lv.lParam = key;
  SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&lv));
}

void Select(HWND list, int item, bool selected) {
  LVITEMA lv{};
  lv.stateMask = LVIS_SELECTED;
  lv.state = selected ? LVIS_SELECTED : 0;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv));
}

int Count(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

}  // namespace

void SetUpBandList(HWND list) {
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (int c = 0; c < kColumns; ++c) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = c == kMark || c == kSnr ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.pszText = const_cast<char*>(kHeadings[c]);
    const std::string widest = *kWidest[c] ? kWidest[c] : kHeadings[c];
    const LRESULT width = SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(widest.c_str()));
    column.cx = 16 + static_cast<int>(width);
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
  FitBandColumns(list);
}

void FitBandColumns(HWND list) {
  RECT client;
  GetClientRect(list, &client);
  int others = 0;
  for (int c : {kMark, kSnr, kCall}) others += static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0));
  const int scrollBar = GetSystemMetrics(SM_CXVSCROLL);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, kText, std::max(60L, client.right - others - scrollBar));
}

// Row by row in place, against what the list shows. The list asks for the cells' text as it
// paints, so only the rows that changed are repainted, all in one go. The selection stays
// on its signal when rows come and go around it.
void ShowBandRows(HWND list, const std::vector<zk::BandRow>& shown, const std::vector<zk::BandRow>& rows) {
  if (rows.empty() && shown.empty()) return;
  const int selected = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  const LPARAM selectedId = selected >= 0 ? KeyAt(list, selected) / 2 : 0;
  while (Count(list) > static_cast<int>(rows.size())) SendMessageA(list, LVM_DELETEITEM, rows.size(), 0);
  RECT changed{};
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const size_t at = static_cast<size_t>(i);
    const zk::BandRow* was = at < shown.size() && i < Count(list) ? &shown[at] : nullptr;
    if (i == Count(list)) {
      LVITEMA lv{};
      lv.mask = LVIF_TEXT;
      lv.iItem = i;
      lv.pszText = LPSTR_TEXTCALLBACKA;
      SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&lv));
      SetCallbackCells(list, i);
    }
    if (!was || KeyOf(*was) != KeyOf(rows[at])) {
      SetKey(list, i, KeyOf(rows[at]));
      Select(list, i, rows[at].id == selectedId);
    } else if (SameCells(*was, rows[at])) {
      continue;
    }
    RECT row{LVIR_BOUNDS, 0, 0, 0};
    if (SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&row)))
      UnionRect(&changed, &changed, &row);
  }
  if (!IsRectEmpty(&changed)) InvalidateRect(list, &changed, FALSE);
}

void GiveBandCell(const std::vector<zk::BandRow>& rows, NMLVDISPINFOA& info) {
  LVITEMA& item = info.item;
  if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
  const size_t at = static_cast<size_t>(item.iItem);
  const std::string text = item.iItem >= 0 && at < rows.size() ? Cell(rows[at], item.iSubItem) : "";
  const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
  text.copy(item.pszText, n);
  item.pszText[n] = '\0';
}

void SelectBandRow(HWND list, const std::vector<zk::BandRow>& rows, int id) {
  for (int i = 0; i < Count(list) && i < static_cast<int>(rows.size()); ++i) Select(list, i, rows[i].id == id);
}

LRESULT DrawBandRow(NMLVCUSTOMDRAW& draw, bool anySilent) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return anySilent ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
  if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw.nmcd.lItemlParam % 2 == 0)
    draw.clrText = GetSysColor(COLOR_GRAYTEXT);
  return CDRF_DODEFAULT;
}
