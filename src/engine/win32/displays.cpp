#include "engine/win32/displays.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "modem/spectrum.h"

namespace {

constexpr int kHistoryRows = 200;     // 20 seconds at ten rows a second
constexpr COLORREF kMarkColour = RGB(255, 230, 0);
constexpr COLORREF kSpaceColour = RGB(0, 230, 255);
constexpr COLORREF kScaleColour = RGB(160, 160, 160);
constexpr COLORREF kSignalColour = RGB(255, 255, 255);
constexpr COLORREF kSilentSignalColour = RGB(128, 128, 128);
constexpr int kSignalTickHeight = 7;
constexpr float kOverdrive = 0.98f;   // a peak this close to full scale is clipping
constexpr float kFall = 0.7f;         // per update: the bar falls slowly instead of flickering
constexpr double kOverHoldMs = 2000;

struct WaterfallState {
  int columns = 0;
  std::vector<uint8_t> bits;  // kHistoryRows rows of `columns` (a multiple of 4), newest first
  std::vector<uint8_t> latest;
  double markHz = 0, spaceHz = 0;
  std::vector<WaterfallSignal> signals;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
};

struct MeterState {
  float peak = 0;
  DWORD overUntil = 0;
};

// Black through blue and cyan to yellow and red: brightness rises with the signal.
void MakePalette(RGBQUAD* colours) {
  const int stops[][4] = {{0, 0, 0, 0}, {64, 0, 0, 150}, {128, 0, 170, 255}, {192, 255, 255, 0}, {255, 255, 40, 0}};
  for (int i = 0; i < 256; ++i) {
    int s = 0;
    while (stops[s + 1][0] < i) ++s;
    const double t = static_cast<double>(i - stops[s][0]) / (stops[s + 1][0] - stops[s][0]);
    const auto mix = [&](int k) { return static_cast<BYTE>(stops[s][k] + t * (stops[s + 1][k] - stops[s][k])); };
    colours[i] = RGBQUAD{mix(3), mix(2), mix(1), 0};
  }
}

template <typename State>
State* StateOf(HWND window) {
  return reinterpret_cast<State*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

int XOf(double hz, int width) { return static_cast<int>(std::lround(hz * width / zk::Spectrum::kTopHz)); }

void DrawSpectrum(HDC dc, const WaterfallState& s, int width, int height) {
  if (s.latest.empty()) return;
  std::vector<POINT> points(s.latest.size());
  for (size_t c = 0; c < s.latest.size(); ++c)
    points[c] = POINT{static_cast<LONG>((c * 2 + 1) * width / (2 * s.latest.size())),
                      static_cast<LONG>(height - 1 - s.latest[c] * (height - 2) / 255)};
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 220, 0));
  HGDIOBJ old = SelectObject(dc, pen);
  Polyline(dc, points.data(), static_cast<int>(points.size()));
  SelectObject(dc, old);
  DeleteObject(pen);
}

void DrawScale(HDC dc, int width, int y) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kScaleColour);
  HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  HPEN pen = CreatePen(PS_SOLID, 1, kScaleColour);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  for (int hz = 500; hz < 3000; hz += 500) {
    const int x = XOf(hz, width);
    MoveToEx(dc, x, y - 4, nullptr);
    LineTo(dc, x, y);
    char label[8];
    std::snprintf(label, sizeof label, "%d", hz);
    TextOutA(dc, x + 2, 2, label, static_cast<int>(std::strlen(label)));
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldFont);
  DeleteObject(pen);
}

// Dotted lines through both parts, so the signal's traces show beneath them.
void DrawMarker(HDC dc, double hz, COLORREF colour, const char* label, int width, int height) {
  if (hz <= 0 || hz >= zk::Spectrum::kTopHz) return;
  const int x = XOf(hz, width);
  HPEN pen = CreatePen(PS_DOT, 1, colour);
  HGDIOBJ old = SelectObject(dc, pen);
  SetBkMode(dc, TRANSPARENT);
  MoveToEx(dc, x, 0, nullptr);
  LineTo(dc, x, height);
  SelectObject(dc, old);
  DeleteObject(pen);
  SetTextColor(dc, colour);
  TextOutA(dc, x + 3, 14, label, 1);
}

// A bracket hanging from the waterfall's top edge over each signal's two tones: small and
// solid, where the receiver's own markers are dotted lines through the whole display.
void DrawSignals(HDC dc, const std::vector<WaterfallSignal>& signals, int width, int top) {
  for (const WaterfallSignal& signal : signals) {
    HPEN pen = CreatePen(PS_SOLID, 2, signal.open ? kSignalColour : kSilentSignalColour);
    HGDIOBJ old = SelectObject(dc, pen);
    const POINT bracket[] = {{XOf(signal.markHz, width), top + kSignalTickHeight},
                             {XOf(signal.markHz, width), top + 1},
                             {XOf(signal.spaceHz, width), top + 1},
                             {XOf(signal.spaceHz, width), top + kSignalTickHeight}};
    Polyline(dc, bracket, 4);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
}

void PaintWaterfall(HWND window) {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right, height = client.bottom;
  WaterfallState* s = StateOf<WaterfallState>(window);
  if (s && width > 0 && height > 0) {
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, width, height);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int top = std::max(30, height / 4);
    DrawSpectrum(dc, *s, width, top);
    DrawScale(dc, width, top);
    SetStretchBltMode(dc, COLORONCOLOR);
    if (s->columns > 0)
      StretchDIBits(dc, 0, top, width, height - top, 0, 0, s->columns, kHistoryRows, s->bits.data(),
                  reinterpret_cast<const BITMAPINFO*>(&s->info), DIB_RGB_COLORS, SRCCOPY);
    DrawSignals(dc, s->signals, width, top);
    DrawMarker(dc, s->markHz, kMarkColour, "M", width, height);
    DrawMarker(dc, s->spaceHz, kSpaceColour, "S", width, height);
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  EndPaint(window, &paint);
}

void Tune(HWND window, LPARAM at) {
  RECT client;
  GetClientRect(window, &client);
  if (client.right <= 0) return;
  const double hz = static_cast<short>(LOWORD(at)) * zk::Spectrum::kTopHz / client.right;
  PostMessageA(GetParent(window), WM_WATERFALL_TUNE, 0, static_cast<LPARAM>(std::lround(hz)));
}

LRESULT CALLBACK WaterfallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new WaterfallState)); break;
    case WM_NCDESTROY: delete StateOf<WaterfallState>(window); break;
    case WM_PAINT: PaintWaterfall(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: Tune(window, lParam); return 0;
    case WM_SETCURSOR: SetCursor(LoadCursorA(nullptr, IDC_CROSS)); return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void PaintMeter(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const MeterState* s = StateOf<MeterState>(window);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (s) {
    // -60 dB to full scale across the bar.
    const double db = 20 * std::log10(std::max(1e-6f, s->peak));
    const bool over = GetTickCount() < s->overUntil;
    RECT bar = client;
    bar.right = static_cast<LONG>(client.right * std::min(1.0, std::max(0.0, (db + 60) / 60)));
    const COLORREF colour = over ? RGB(255, 0, 0) : db > -6 ? RGB(255, 200, 0) : RGB(0, 200, 0);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &bar, brush);
    DeleteObject(brush);
    if (over) {
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      DrawTextA(dc, "OVER", 4, &client, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, old);
    }
  }
  EndPaint(window, &paint);
}

LRESULT CALLBACK MeterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new MeterState)); break;
    case WM_NCDESTROY: delete StateOf<MeterState>(window); break;
    case WM_PAINT: PaintMeter(window); return 0;
    case WM_ERASEBKGND: return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Register(HINSTANCE instance, const char* name, WNDPROC proc, LPCSTR cursor) {
  WNDCLASSA c{};
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hCursor = LoadCursorA(nullptr, cursor);
  c.lpszClassName = name;
  RegisterClassA(&c);
}

}  // namespace

void RegisterDisplayClasses(HINSTANCE instance) {
  Register(instance, "ZkWaterfall", WaterfallProc, IDC_CROSS);
  Register(instance, "ZkLevelMeter", MeterProc, IDC_ARROW);
}

void AddWaterfallRows(HWND waterfall, const std::vector<std::vector<uint8_t>>& rows) {
  WaterfallState* s = StateOf<WaterfallState>(waterfall);
  if (!s || rows.empty()) return;
  const int columns = static_cast<int>(rows.back().size());
  if (columns != s->columns) {
    s->columns = columns;
    s->bits.assign(static_cast<size_t>(kHistoryRows) * ((columns + 3) & ~3), 0);
    s->info.header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), columns, -kHistoryRows, 1, 8, BI_RGB, 0, 0, 0, 256, 0};
    MakePalette(s->info.colours);
  }
  const size_t stride = static_cast<size_t>((columns + 3) & ~3);
  for (const std::vector<uint8_t>& row : rows) {
    if (row.size() != static_cast<size_t>(columns)) continue;
    std::copy_backward(s->bits.begin(), s->bits.end() - static_cast<std::ptrdiff_t>(stride), s->bits.end());
    std::copy(row.begin(), row.end(), s->bits.begin());
  }
  s->latest = rows.back();
  InvalidateRect(waterfall, nullptr, FALSE);
}

void SetWaterfallMarkers(HWND waterfall, double markHz, double spaceHz) {
  WaterfallState* s = StateOf<WaterfallState>(waterfall);
  if (!s || (s->markHz == markHz && s->spaceHz == spaceHz)) return;
  s->markHz = markHz;
  s->spaceHz = spaceHz;
  InvalidateRect(waterfall, nullptr, FALSE);
}

void SetWaterfallSignals(HWND waterfall, const std::vector<WaterfallSignal>& signals) {
  WaterfallState* s = StateOf<WaterfallState>(waterfall);
  if (!s || s->signals == signals) return;
  s->signals = signals;
  InvalidateRect(waterfall, nullptr, FALSE);
}

void SetLevel(HWND meter, float peak) {
  MeterState* s = StateOf<MeterState>(meter);
  if (!s) return;
  s->peak = std::max(peak, s->peak * kFall);
  if (peak >= kOverdrive) s->overUntil = GetTickCount() + static_cast<DWORD>(kOverHoldMs);
  InvalidateRect(meter, nullptr, FALSE);
}
