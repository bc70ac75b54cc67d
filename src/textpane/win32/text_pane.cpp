#include "textpane/win32/text_pane.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "base/win32/clipboard.h"
#include "textpane/font_height.h"
#include "textpane/selection.h"
#include "textpane/win32/pane_font.h"

namespace {

const char kPaneClassName[] = "QelTextWin";

LRESULT CALLBACK PaneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* pane = static_cast<TextPane*>(create->lpCreateParams);
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(pane));
  }
  auto* pane = reinterpret_cast<TextPane*>(GetWindowLongPtrA(window, 0));
  if (!pane) return DefWindowProcA(window, message, wParam, lParam);
  return pane->HandleMessage(window, message, wParam, lParam);
}

int MouseX(LPARAM lParam) { return static_cast<int>(LOWORD(lParam)); }
int MouseY(LPARAM lParam) { return static_cast<int>(HIWORD(lParam)); }

// Folds several buffer changes into the one view update they need together.
void Merge(zk::TextChange& into, const zk::TextChange& change) {
  if (!change.changed) return;
  if (!into.changed) {
    into = change;
    return;
  }
  into.trimmed = into.trimmed || change.trimmed;
  into.fullRelayout = into.fullRelayout || change.fullRelayout;
  if (change.rewrapped) {
    // Whether the view follows new text depends on where the end was when the first of
    // these changes was made, as if each had been shown on its own: comparing the view
    // with the last line of the whole batch would leave it behind whenever more than a
    // line or two arrived between two view updates.
    if (!into.rewrapped) {
      into.relayoutFrom = change.relayoutFrom;
      into.lastProducedLine = change.lastProducedLine;
    } else {
      into.relayoutFrom = std::min(into.relayoutFrom, change.relayoutFrom);
    }
    into.rewrapped = true;
  }
}

}  // namespace

// Measures text with the pane's font on a memory device context; used under the pane lock
// from whichever thread changes the text.
class PaneMeasure : public zk::TextMeasure {
 public:
  explicit PaneMeasure(TextPane& pane) : pane_(pane) {}
  int Width(const char* bytes, int count) override { return pane_.Measure(bytes, count); }

 private:
  TextPane& pane_;
};

bool RegisterTextPaneClass(HINSTANCE instance, const char* className) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = PaneWindowProc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = className ? className : kPaneClassName;
  return RegisterClassExA(&wc) != 0;
}

PaneLock::PaneLock(TextPane& pane) : pane_(pane) { EnterCriticalSection(&pane_.lock_); }
PaneLock::~PaneLock() { LeaveCriticalSection(&pane_.lock_); }

TextPane::TextPane(int32_t capacity) : buffer_(capacity), measure_(new PaneMeasure(*this)) {
  InitializeCriticalSection(&lock_);
  buffer_.SetMeasure(measure_);
}

TextPane::~TextPane() {
  DeleteCriticalSection(&lock_);
  if (measureDc_) DeleteDC(measureDc_);
  if (font_) DeleteObject(font_);
  delete measure_;
}

HWND TextPane::Create(HWND parent, HINSTANCE instance, int x, int y, int width, int height) {
  windowThread_ = GetCurrentThreadId();
  return CreateWindowExA(0, kPaneClassName, "title", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL, x, y,
                         width, height, parent, nullptr, instance, this);
}

LRESULT TextPane::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      window_ = window;
      bars_.Attach(window);
      OnCreate();
      return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_SIZE: OnSize(lParam); return 0;
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_KILLFOCUS: OnKillFocus(); return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      OnPaint(paint.rcPaint, dc);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_KEYDOWN: OnKeyDown(wParam); return 0;
    case WM_KEYUP: OnKeyUp(wParam); return 0;
    case WM_CHAR: CharInput(static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam)); return 0;
    case WM_SYSKEYDOWN:
      sysKeyTaken_ = OnSysKeyDown(wParam) != 0;
      // F10 taken as a command must not also open the menu bar when it is released.
      if (sysKeyTaken_ && wParam == VK_F10) return 0;
      return DefWindowProcA(window_, message, wParam, lParam);
    case WM_SYSCHAR:
      OnSysChar(wParam);
      // The character of an Alt key the pane acted on is not a menu mnemonic: passing it
      // on would beep, and under Wine it leaves the menu bar active.
      if (sysKeyTaken_) {
        sysKeyTaken_ = false;
        return 0;
      }
      return DefWindowProcA(window_, message, wParam, lParam);
    case WM_HSCROLL: HScroll(LOWORD(wParam)); return 0;
    case WM_VSCROLL: VScroll(LOWORD(wParam)); return 0;
    case WM_MOUSEMOVE: OnMouseMove(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case WM_LBUTTONUP: OnLButtonUp(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case WM_RBUTTONDOWN: OnRButtonDown(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case WM_RBUTTONUP: OnRButtonUp(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case WM_RBUTTONDBLCLK: OnRButtonDblClk(wParam, MouseX(lParam), MouseY(lParam)); return 0;
    case kPaneViewChanged: OnViewChanged(); return 0;
    case WM_TIMER:
      if (wParam != ScrollBars::kTimer) return DefWindowProcA(window_, message, wParam, lParam);
      bars_.OnTimer();
      return 0;
    default: return DefWindowProcA(window_, message, wParam, lParam);
  }
}

void TextPane::OnCreate() {
  SetFont("Arial", 100, 400, 0);
  RECT client;
  GetClientRect(window_, &client);
  clientWidth_ = client.right;
  clientHeight_ = client.bottom;
}

int TextPane::Measure(const char* bytes, int count) {
  if (!measureDc_ || count <= 0) return 0;
  if (widthsAdd_) {
    int width = 0;
    for (int i = 0; i < count; ++i) width += byteWidths_[static_cast<uint8_t>(bytes[i])];
    return width;
  }
  SIZE size{};
  GetTextExtentPoint32A(measureDc_, bytes, count, &size);
  return size.cx;
}

// The device threads re-wrap the last line under the pane lock on every byte they
// append. Asking GDI for each measure made that slow (about ten calls a byte, and a long
// unbroken word re-measured whole on every byte), and the window thread waited for the
// lock to paint. A font whose string widths are the sums of its byte widths is measured
// from a table instead; any other font (double-byte code pages, overhanging raster
// fonts) keeps asking GDI.
void TextPane::LoadByteWidths() {
  widthsAdd_ = false;
  char all[255];
  int sum = 0;
  for (int b = 1; b < 256; ++b) {
    const char ch = static_cast<char>(b);
    SIZE size{};
    if (!GetTextExtentPoint32A(measureDc_, &ch, 1, &size)) return;
    byteWidths_[b] = size.cx;
    sum += size.cx;
    all[b - 1] = ch;
  }
  byteWidths_[0] = 0;
  SIZE whole{};
  if (!GetTextExtentPoint32A(measureDc_, all, static_cast<int>(sizeof all), &whole)) return;
  widthsAdd_ = whole.cx == sum;
}

int TextPane::ScrollPos() const { return bars_.Position(SB_VERT); }

void TextPane::UpdateVerticalRange() {
  int lastLine = 0;
  {
    PaneLock lock(*this);
    lastLine = buffer_.caretLine();
  }
  bars_.SetRange(SB_VERT, lastLine, static_cast<UINT>(lineHeight_ > 0 ? clientHeight_ / lineHeight_ : 0), true);
}

void TextPane::UpdateHorizontalRange() {
  int widest = 0;
  {
    PaneLock lock(*this);
    widest = buffer_.maxLineWidth();
  }
  bars_.SetRange(SB_HORZ, widest, static_cast<UINT>(clientWidth_), false);
}

void TextPane::ScrollToEnd() { VScroll(SB_BOTTOM); }

void TextPane::VScroll(int code) {
  const auto [old, now] = bars_.Move(SB_VERT, code);
  if (now != old) {
    ScrollWindow(window_, 0, (old - now) * lineHeight_, nullptr, nullptr);
    UpdateWindow(window_);
  }
}

void TextPane::HScroll(int code) {
  const auto [old, now] = bars_.Move(SB_HORZ, code);
  if (now != old) {
    ScrollWindow(window_, old - now, 0, nullptr, nullptr);
    PlaceCaret();
  }
}

int TextPane::HorizontalPos() const { return bars_.Position(SB_HORZ); }

void TextPane::PlaceCaret() {
  if (!caretShown_) return;
  int x = 0, line = 0;
  {
    PaneLock lock(*this);
    x = buffer_.caretX();
    line = buffer_.caretLine();
  }
  SetCaretPos(x - HorizontalPos(), (line - ScrollPos()) * lineHeight_);
}

void TextPane::OnSize(LPARAM lParam) {
  {
    PaneLock lock(*this);
    buffer_.ClearSelection();
    buffer_.SetWrapWidth(LOWORD(lParam));
    buffer_.RelayoutAll();
  }
  clientWidth_ = LOWORD(lParam);
  clientHeight_ = HIWORD(lParam);
  UpdateVerticalRange();
  ScrollToEnd();
  UpdateHorizontalRange();
  PlaceCaret();
}

void TextPane::ApplyChange(const zk::TextChange& change) {
  if (!change.changed || !window_) return;
  HideCaret(window_);
  bars_.BeginUpdate();
  if (change.fullRelayout) {
    UpdateVerticalRange();
    ScrollToEnd();
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
  }
  if (change.scrollUpOneLine) {
    VScroll(SB_LINEUP);
    UpdateVerticalRange();
  }
  int pos = ScrollPos();
  if (change.invalidateToLine > change.invalidateFromLine) {
    RECT band{0, (change.invalidateFromLine - pos) * lineHeight_, clientWidth_,
              (change.invalidateToLine - pos + 1) * lineHeight_};
    InvalidateRect(window_, &band, TRUE);
  }
  if (change.rewrapped) {
    UpdateVerticalRange();
    UpdateHorizontalRange();
    int lineCount = 0;
    {
      PaneLock lock(*this);
      lineCount = buffer_.LineCount();
    }
    const int top = change.relayoutFrom < 0 ? 0 : std::max(0, (change.relayoutFrom - pos) * lineHeight_);
    RECT band{0, top, clientWidth_, std::max(top, (lineCount - pos + 1) * lineHeight_)};
    InvalidateRect(window_, &band, TRUE);
    UpdateWindow(window_);
    pos = ScrollPos();
    const int pageLines = lineHeight_ > 0 ? clientHeight_ / lineHeight_ : 0;
    if (followEnd || pos + pageLines >= change.lastProducedLine) ScrollToEnd();
  }
  bars_.EndUpdate();
  UpdateWindow(window_);
  ShowCaret(window_);
  PlaceCaret();
}

void TextPane::AppendChar(uint8_t ch, int slot) { AppendText(reinterpret_cast<const char*>(&ch), 1, slot); }

void TextPane::AppendText(const char* bytes, size_t count, int slot) {
  zk::TextChange total;
  {
    PaneLock lock(*this);
    for (size_t i = 0; i < count; ++i) Merge(total, buffer_.AppendChar(static_cast<uint8_t>(bytes[i]), slot));
    if (GetCurrentThreadId() != windowThread_) Merge(pending_, total);
  }
  Deliver(total);
}

int TextPane::GeneralCharInput(uint32_t ch, uint32_t slot) {
  zk::TextChange change;
  {
    PaneLock lock(*this);
    change = buffer_.CharInput(ch, slot);
    if (GetCurrentThreadId() != windowThread_) {
      if (change.scrollUpOneLine || change.invalidateToLine > change.invalidateFromLine)
        change.fullRelayout = true;  // the window thread redraws it all
      Merge(pending_, change);
    }
  }
  Deliver(change);
  return static_cast<int>(change.result);
}

void TextPane::Deliver(const zk::TextChange& change) {
  if (!change.changed) return;
  if (GetCurrentThreadId() == windowThread_) {
    ApplyChange(change);
    return;
  }
  // Another thread never waits for the window thread: it posts one notice and the
  // window thread shows every byte that has arrived by the time it gets to it.
  if (!viewChangePending_.exchange(true)) PostMessageA(window_, kPaneViewChanged, 0, 0);
}

void TextPane::OnViewChanged() {
  zk::TextChange change;
  {
    PaneLock lock(*this);
    viewChangePending_ = false;
    change = pending_;
    pending_ = zk::TextChange();
  }
  if (change.fullRelayout) change.rewrapped = false;
  ApplyChange(change);
}

void TextPane::Clear() {
  zk::TextChange change;
  {
    PaneLock lock(*this);
    change = buffer_.Clear();
    mouseSelecting_ = false;
  }
  change.changed = true;
  change.fullRelayout = true;
  ApplyChange(change);
}

void TextPane::Refresh() {
  InvalidateRect(window_, nullptr, TRUE);
  {
    PaneLock lock(*this);
    buffer_.RelayoutAll();
  }
  UpdateVerticalRange();
  ScrollToEnd();
  UpdateHorizontalRange();
  PlaceCaret();
}

int TextPane::SetFont(const char* face, int32_t tenthsOfPoint, int32_t weight, uint8_t italic) {
  HDC dc = GetDC(window_);
  HFONT font = MakeFont(dc, face, tenthsOfPoint, zk::FontStyleBits(weight, italic));
  ReleaseDC(window_, dc);
  if (!font) return lineHeight_;
  PaneLock lock(*this);
  if (!measureDc_) measureDc_ = CreateCompatibleDC(nullptr);
  SelectObject(measureDc_, font);
  if (font_) DeleteObject(font_);
  font_ = font;
  TEXTMETRICA metrics{};
  GetTextMetricsA(measureDc_, &metrics);
  lineHeight_ = metrics.tmHeight > 0 ? metrics.tmHeight : 1;
  LoadByteWidths();
  if (caretShown_) {
    DestroyCaret();
    CreateCaret(window_, nullptr, 2, lineHeight_);
    ShowCaret(window_);
  }
  return lineHeight_;
}

bool TextPane::SetColour(int slot, COLORREF foreground, COLORREF background) {
  PaneLock lock(*this);
  return buffer_.SetColour(slot, foreground, background);
}

void TextPane::SetBackground(COLORREF colour) {
  PaneLock lock(*this);
  buffer_.SetBackground(colour);
}

void TextPane::OnPaint(const RECT& paint, HDC dc) {
  PaneLock lock(*this);
  HGDIOBJ oldFont = font_ ? SelectObject(dc, font_) : nullptr;
  const int pos = ScrollPos();
  const int first = std::max(0, static_cast<int>(paint.top) / lineHeight_ + pos);
  const int last = std::min(static_cast<int>(paint.bottom) / lineHeight_ + pos, buffer_.LineCount() - 1);
  for (int r = first; r <= last; ++r) {
    DrawLine(dc, r, (r - pos) * lineHeight_);
    if (r == buffer_.selection().line) DrawHighlight(dc);
  }
  if (oldFont) SelectObject(dc, oldFont);
}

void TextPane::DrawLine(HDC dc, int index, int y) {
  const zk::LineRecord& record = buffer_.line(index);
  const char* text = buffer_.text();
  const uint8_t* colours = buffer_.colours();
  const COLORREF oldText = GetTextColor(dc);
  const COLORREF oldBack = GetBkColor(dc);
  const int oldMode = SetBkMode(dc, OPAQUE);
  int x = -HorizontalPos();
  int runStart = record.text;
  const int end = record.text + record.length;
  while (runStart < end) {
    const int slot = colours[runStart] & 0x0F;
    int runEnd = runStart + 1;
    while (runEnd < end && (colours[runEnd] & 0x0F) == slot) ++runEnd;
    const zk::ColourSlot& colour = buffer_.slot(slot);
    SetBkColor(dc, colour.background);
    SetTextColor(dc, colour.foreground);
    TextOutA(dc, x, y, text + runStart, runEnd - runStart);
    SIZE size{};
    GetTextExtentPoint32A(dc, text + runStart, runEnd - runStart, &size);
    x += size.cx;
    runStart = runEnd;
  }
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
  SetBkMode(dc, oldMode);
}

void TextPane::DrawHighlight(HDC dc) {
  const zk::Selection& sel = buffer_.selection();
  if (sel.line < 0 || sel.end <= sel.start) return;
  const zk::LineRecord& record = buffer_.line(sel.line);
  const char* text = buffer_.text() + record.text;
  const int x = Measure(text, sel.start) - HorizontalPos();
  const int y = (sel.line - ScrollPos()) * lineHeight_;
  const COLORREF oldText = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
  const COLORREF oldBack = SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
  const int oldMode = SetBkMode(dc, OPAQUE);
  TextOutA(dc, x, y, text + sel.start, sel.end - sel.start);
  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
  SetBkMode(dc, oldMode);
}

void TextPane::RedrawSelectionLine() {
  int line = -1;
  {
    PaneLock lock(*this);
    line = buffer_.selection().line;
  }
  if (line < 0) return;
  const int y = (line - ScrollPos()) * lineHeight_;
  RECT row{0, y, clientWidth_, y + lineHeight_};
  InvalidateRect(window_, &row, TRUE);
}

void TextPane::OnSetFocus() {
  if (!caretShown_) {
    CreateCaret(window_, nullptr, 2, lineHeight_);
    ShowCaret(window_);
    caretShown_ = true;
  }
  PlaceCaret();
}

void TextPane::OnKillFocus() {
  if (!caretShown_) return;
  HideCaret(window_);
  DestroyCaret();
  caretShown_ = false;
}

int TextPane::OnSysKeyDown(WPARAM) { return 0; }

int TextPane::OnKeyDown(WPARAM key) {
  switch (key) {
    case VK_PRIOR: VScroll(SB_PAGEUP); return 1;
    case VK_NEXT: VScroll(SB_PAGEDOWN); return 1;
    case VK_END: VScroll(SB_BOTTOM); return 1;
    case VK_HOME: VScroll(SB_TOP); return 1;
    case VK_UP: VScroll(SB_LINEUP); return 1;
    case VK_DOWN: VScroll(SB_LINEDOWN); return 1;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_TAB: return 1;
    default: return 0;
  }
}

void TextPane::OnKeyUp(WPARAM) {}
int TextPane::CharInput(uint32_t ch, uint32_t slot) { return GeneralCharInput(ch, slot); }
void TextPane::OnSysChar(WPARAM) {}
void TextPane::OnRButtonUp(WPARAM, int, int) {}
void TextPane::OnRButtonDown(WPARAM, int, int) { ClearSelection(); }
void TextPane::OnLButtonDblClk(WPARAM, int, int) {}
void TextPane::OnRButtonDblClk(WPARAM, int, int) {}
void TextPane::OnDestroy() {}

void TextPane::OnLButtonDown(WPARAM, int x, int y) {
  if (!selectable) return;
  bool selected = false;
  {
    PaneLock lock(*this);
    const int row = y / lineHeight_ + ScrollPos();
    const int oldLine = buffer_.selection().line;
    selected = zk::SelectWordAt(buffer_, *measure_, std::max(row, 0), x + HorizontalPos());
    if (selected && oldLine >= 0 && oldLine != buffer_.selection().line) {
      const int oldY = (oldLine - ScrollPos()) * lineHeight_;
      RECT old{0, oldY, clientWidth_, oldY + lineHeight_};
      InvalidateRect(window_, &old, TRUE);
    }
  }
  if (!selected) return;
  RedrawSelectionLine();
  mouseSelecting_ = true;
  UpdateWindow(window_);
  if (autoCopySelection) CopySelectionToClipboard();
}

void TextPane::OnMouseMove(WPARAM flags, int x, int) {
  if (!selectable || !(flags & MK_LBUTTON) || !mouseSelecting_) return;
  zk::DragResult result = zk::DragResult::NoHit;
  {
    PaneLock lock(*this);
    if (buffer_.selection().line < 0) return;
    const int line = buffer_.selection().line;
    result = zk::ExtendSelectionTo(buffer_, *measure_, x + HorizontalPos());
    if (result != zk::DragResult::NoHit) {
      const int rowY = (line - ScrollPos()) * lineHeight_;
      RECT row{0, rowY, clientWidth_, rowY + lineHeight_};
      InvalidateRect(window_, &row, TRUE);
    }
  }
  if (result == zk::DragResult::NoHit) return;
  UpdateWindow(window_);
  if (autoCopySelection) CopySelectionToClipboard();
}

void TextPane::OnLButtonUp(WPARAM, int, int) { mouseSelecting_ = false; }

int TextPane::GetSelectedText(char* out, size_t capacity) {
  PaneLock lock(*this);
  return zk::GetSelectedText(buffer_, out, capacity);
}

void TextPane::ClearSelection() {
  RedrawSelectionLine();
  PaneLock lock(*this);
  buffer_.ClearSelection();
}

void TextPane::CopySelectionToClipboard() {
  char text[1024];
  const int count = GetSelectedText(text, sizeof text);
  if (count <= 0 || text[0] == '\0') return;
  PutTextOnClipboard(window_, text, std::strlen(text));
}

void TextPane::CopyAllToClipboard() {
  std::string text;
  {
    PaneLock lock(*this);
    text = zk::CopyAllText(buffer_);
  }
  if (!text.empty()) PutTextOnClipboard(window_, text.data(), text.size());
}

void TextPane::PasteFromClipboard() {
  const std::string text = TextOnClipboard(window_);
  AppendText(text.data(), text.size(), 0);
}
