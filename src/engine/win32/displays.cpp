#include "engine/win32/displays.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "modem/spectrum.h"

namespace {

constexpr int kHistoryRows = 200;  // 20 seconds at ten rows a second
constexpr COLORREF kMarkColour = RGB(255, 230, 0);
constexpr COLORREF kSpaceColour = RGB(0, 230, 255);
constexpr COLORREF kScaleColour = RGB(160, 160, 160);
constexpr COLORREF kSignalColour = RGB(255, 255, 255);
constexpr COLORREF kSilentSignalColour = RGB(128, 128, 128);
constexpr int kSignalTickHeight = 7;
constexpr float kOverdrive = 0.98f;  // a peak this close to full scale is clipping
constexpr float kFall = 0.7f;        // per update: the bar falls slowly instead of flickering
constexpr double kOverHoldMs = 2000;

// The history is a ring of rows; the picture is drawn into a bitmap of the control's own
// size that lives as long as that size, the scale beneath the spectrum drawn once per size,
// so a frame costs one pass over the pixels and one blit to the screen.
struct WaterfallState {
  int columns = 0;
  std::vector<uint8_t> history;  // kHistoryRows rows of `columns`
  int newest = 0;                // the ring's row shown at the top
  std::vector<uint8_t> latest;
  double markHz = 0, spaceHz = 0;
  std::vector<WaterfallSignal> signals;
  uint32_t colours[256] = {};
  // The frame: a top-down 32-bit bitmap of width x height.
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  uint32_t* pixels = nullptr;
  int width = 0, height = 0;
  std::vector<uint32_t> scale;  // the spectrum's part with its scale, without the spectrum
  std::vector<int> columnAt;    // each x's column
};

// What the meter shows: the bar's length in pixels, its colour and the overdrive sign.
struct MeterLook {
  LONG bar = 0;
  COLORREF colour = 0;
  bool over = false;
  bool operator!=(const MeterLook& o) const { return bar != o.bar || colour != o.colour || over != o.over; }
};

struct MeterState {
  float peak = 0;
  DWORD overUntil = 0;
  MeterLook shown{-1, 0, false};
};

// Black through blue and cyan to yellow and red: brightness rises with the signal. As
// 32-bit pixels (blue in the low byte).
void MakePalette(uint32_t* colours) {
  const int stops[][4] = {{0, 0, 0, 0}, {64, 0, 0, 150}, {128, 0, 170, 255}, {192, 255, 255, 0}, {255, 255, 40, 0}};
  for (int i = 0; i < 256; ++i) {
    int s = 0;
    while (stops[s + 1][0] < i) ++s;
    const double t = static_cast<double>(i - stops[s][0]) / (stops[s + 1][0] - stops[s][0]);
    const auto mix = [&](int k) { return static_cast<uint32_t>(stops[s][k] + t * (stops[s + 1][k] - stops[s][k])); };
    colours[i] = mix(1) << 16 | mix(2) << 8 | mix(3);
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

int SpectrumHeight(int height) { return std::max(30, height / 4); }

void FreeFrame(WaterfallState& s) {
  if (!s.dc) return;
  SelectObject(s.dc, s.oldBitmap);
  DeleteObject(s.bitmap);
  DeleteDC(s.dc);
  s.dc = nullptr;
  s.pixels = nullptr;
  s.width = s.height = 0;
}

// A frame of the control's size, kept until the size changes; its scale is drawn here once.
bool MakeFrame(WaterfallState& s, HDC target, int width, int height) {
  if (s.dc && s.width == width && s.height == height) return true;
  FreeFrame(s);
  BITMAPINFO info{};
  info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(target, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return false;
  s.dc = CreateCompatibleDC(target);
  s.bitmap = bitmap;
  s.oldBitmap = SelectObject(s.dc, bitmap);
  s.pixels = static_cast<uint32_t*>(bits);
  s.width = width;
  s.height = height;
  const int top = SpectrumHeight(height);
  RECT scale{0, 0, width, top};
  FillRect(s.dc, &scale, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DrawScale(s.dc, width, top);
  GdiFlush();
  s.scale.assign(s.pixels, s.pixels + static_cast<size_t>(width) * top);
  s.columnAt.resize(static_cast<size_t>(width));
  return true;
}

// The history stretched over the frame below `top`: each pixel the nearest row and column.
void DrawHistory(WaterfallState& s, int top) {
  const int rows = s.height - top;
  const size_t width = static_cast<size_t>(s.width);
  uint32_t* out = s.pixels + width * static_cast<size_t>(top);
  if (s.columns <= 0) return std::fill(out, out + width * static_cast<size_t>(rows), s.colours[0]);
  for (size_t x = 0; x < width; ++x) s.columnAt[x] = static_cast<int>(x * static_cast<size_t>(s.columns) / width);
  int drawn = -1;
  for (int y = 0; y < rows; ++y, out += width) {
    const int age = y * kHistoryRows / rows;
    if (age == drawn) {
      std::memcpy(out, out - width, width * sizeof *out);  // the same row as the line above
      continue;
    }
    drawn = age;
    const uint8_t* row = &s.history[static_cast<size_t>((s.newest + age) % kHistoryRows * s.columns)];
    for (size_t x = 0; x < width; ++x) out[x] = s.colours[row[s.columnAt[x]]];
  }
}

void PaintWaterfall(HWND window) {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  WaterfallState* s = StateOf<WaterfallState>(window);
  if (s && client.right > 0 && client.bottom > 0 && MakeFrame(*s, target, client.right, client.bottom)) {
    const int width = s->width, height = s->height, top = SpectrumHeight(height);
    GdiFlush();  // the last frame's drawing is finished before its pixels are written again
    std::copy(s->scale.begin(), s->scale.end(), s->pixels);
    DrawHistory(*s, top);
    DrawSpectrum(s->dc, *s, width, top);
    DrawSignals(s->dc, s->signals, width, top);
    DrawMarker(s->dc, s->markHz, kMarkColour, "M", width, height);
    DrawMarker(s->dc, s->spaceHz, kSpaceColour, "S", width, height);
    BitBlt(target, 0, 0, width, height, s->dc, 0, 0, SRCCOPY);
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
    case WM_NCDESTROY:
      if (WaterfallState* s = StateOf<WaterfallState>(window)) FreeFrame(*s);
      delete StateOf<WaterfallState>(window);
      break;
    case WM_PAINT: PaintWaterfall(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: Tune(window, lParam); return 0;
    case WM_SETCURSOR: SetCursor(LoadCursorA(nullptr, IDC_CROSS)); return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// -60 dB to full scale across the bar.
MeterLook LookOf(HWND meter, const MeterState& s) {
  RECT client;
  GetClientRect(meter, &client);
  const double db = 20 * std::log10(std::max(1e-6f, s.peak));
  MeterLook look;
  look.over = GetTickCount() < s.overUntil;
  look.bar = static_cast<LONG>(client.right * std::min(1.0, std::max(0.0, (db + 60) / 60)));
  look.colour = look.over ? RGB(255, 0, 0) : db > -6 ? RGB(255, 200, 0) : RGB(0, 200, 0);
  return look;
}

void PaintMeter(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  MeterState* s = StateOf<MeterState>(window);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  if (s) {
    s->shown = LookOf(window, *s);
    RECT bar = client;
    bar.right = s->shown.bar;
    HBRUSH brush = CreateSolidBrush(s->shown.colour);
    FillRect(dc, &bar, brush);
    DeleteObject(brush);
    if (s->shown.over) {
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
    s->history.assign(static_cast<size_t>(kHistoryRows) * static_cast<size_t>(columns), 0);
    MakePalette(s->colours);
  }
  for (const std::vector<uint8_t>& row : rows) {
    if (row.size() != static_cast<size_t>(columns)) continue;
    s->newest = (s->newest + kHistoryRows - 1) % kHistoryRows;
    std::copy(row.begin(), row.end(), s->history.begin() + s->newest * columns);
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
  if (LookOf(meter, *s) != s->shown) InvalidateRect(meter, nullptr, FALSE);  // a repaint only for a visible change
}
