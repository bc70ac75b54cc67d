#include "testbed/win32/zk_app.h"

#include <prsht.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "resources/resource.h"

namespace testbed {

ZkApp::~ZkApp() {
  if (process_.hProcess) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      Exit();
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

namespace {

// The program opens the setup sheet at start-up when its settings name no device.
bool OpensSetupAtStart(const std::string& ini) {
  std::istringstream lines(ini);
  int devtype = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.compare(0, 8, "devtype ") == 0) devtype = std::atoi(line.c_str() + 8);
  return devtype == 0;
}

}  // namespace

bool ZkApp::Start(const std::string& name, const std::string& ini, SetupAtStart setup) {
  if (!Launch(name, ini) || !WaitForMainWindow()) return false;
  if (setup == SetupAtStart::kKeep || !OpensSetupAtStart(ini)) return true;
  HWND sheet = SetupSheet();
  return sheet && CloseSetup(sheet);
}

bool ZkApp::Launch(const std::string& name, const std::string& ini) {
  folder_ = MakeFolder(name);
  if (!ini.empty()) WriteFile(IniPath(), ini);
  std::string exe = Env("ZK_EXE");
  if (copy_) {
    const std::string copy = folder_ + "\\Zktty.exe";
    if (!CopyFileA(exe.c_str(), copy.c_str(), FALSE)) return false;
    exe = copy;
    for (const auto& [source, target] : beside_)
      if (!CopyFileA(source.c_str(), (folder_ + "\\" + target).c_str(), FALSE)) return false;
  }
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  return CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup,
                        &process_) != 0;
}

std::string ZkApp::PeerPath(const std::string& program) {
  std::string exe = Env("ZK_EXE");
  return exe.substr(0, exe.rfind('\\') + 1) + program + ".exe";
}

bool ZkApp::WaitForMainWindow() {
  if (!WaitFor([this] { return FindWindows(); }, 15000)) return false;
  SetForegroundWindow(main_);
  Sync();
  return true;
}

bool ZkApp::FindWindows() {
  main_ = FindTopWindow(process_.dwProcessId, "RttyZklog");
  if (!main_) return false;
  HWND first = FindWindowExA(main_, nullptr, "QelTextWin", nullptr);
  HWND second = first ? FindWindowExA(main_, first, "QelTextWin", nullptr) : nullptr;
  if (!first || !second) return false;
  // The receive/transmit pane sits above the typing pane.
  if (ClientRectIn(first).top > ClientRectIn(second).top) std::swap(first, second);
  rxTx_ = first;
  typing_ = second;
  return true;
}

bool ZkApp::WaitForExit(int ms) {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

bool ZkApp::Exit() {
  if (main_) PostMessageA(main_, WM_COMMAND, IDM_EXIT, 0);
  return WaitForExit();
}

bool ZkApp::CloseBySystemMenu() {
  PostMessageA(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
  return WaitForExit();
}

std::string ZkApp::Setting(const std::string& key) const {
  for (const std::string& line : ReadLines(IniPath()))
    if (line.compare(0, key.size() + 1, key + " ") == 0) return line.substr(key.size() + 1);
  return "<missing>";
}

std::string ZkApp::Text(HWND window) const {
  char text[512] = "";
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

RECT ZkApp::ClientRectIn(HWND child) const {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void ZkApp::Sync() const {
  DWORD_PTR result;
  SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
}

HWND ZkApp::WaitForDialog(const std::string& title, int ms) const {
  HWND found = nullptr;
  WaitFor(
      [&] {
        found = FindTopWindow(process_.dwProcessId, "#32770", [&](HWND window) {
          char text[256] = "";
          GetWindowTextA(window, text, sizeof text);
          return title == text;
        });
        return found != nullptr;
      },
      ms);
  return found;
}

HWND ZkApp::SetupSheet(int ms) const {
  HWND sheet = nullptr;
  WaitFor(
      [&] {
        sheet = WaitForDialog("Zktty", 0);
        return sheet && FindWindowExA(sheet, nullptr, "SysTabControl32", nullptr);
      },
      ms);
  return sheet;
}

HWND ZkApp::OpenSetup() {
  PostMessageA(main_, WM_COMMAND, IDM_SETUP, 0);  // modal: a sent command would not return
  return SetupSheet();
}

HWND ZkApp::ShowPage(HWND sheet, int index) const {
  SendMessageA(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
  return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool ZkApp::CloseSetup(HWND sheet) {
  PostMessageA(GetDlgItem(sheet, IDOK), BM_CLICK, 0, 0);
  const bool closed = WaitFor([&] { return !IsWindow(sheet); }, 10000);
  // What the sheet covered is painted again before anyone looks at the screen.
  RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sync();
  return closed;
}

LRESULT ZkApp::Command(int id) { return SendMessageA(main_, WM_COMMAND, static_cast<WPARAM>(id), 0); }

void ZkApp::Type(const std::string& text) {
  for (unsigned char c : text) SendMessageA(typing_, WM_CHAR, c, 1);
}

void ZkApp::Key(WPARAM virtualKey) {
  SendMessageA(typing_, WM_KEYDOWN, virtualKey, 1);
  SendMessageA(typing_, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

void ZkApp::SysKey(WPARAM virtualKey) {
  SendMessageA(typing_, WM_SYSKEYDOWN, virtualKey, 1);
  SendMessageA(typing_, WM_SYSKEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

void ZkApp::AltKey(char letter) {
  // The program asks the keyboard whether Alt is down, so Alt goes in as real input; the
  // letter is sent to the typing pane as the system key message Windows would make of it.
  INPUT alt{};
  alt.type = INPUT_KEYBOARD;
  alt.ki.wVk = VK_MENU;
  SendInput(1, &alt, sizeof alt);
  WaitFor([] { return GetAsyncKeyState(VK_MENU) < 0; }, 1000);
  Sleep(50);
  const LPARAM altDown = 1 | (1 << 29);
  SendMessageA(typing_, WM_SYSKEYDOWN, static_cast<WPARAM>(letter), altDown);
  SendMessageA(typing_, WM_SYSKEYUP, static_cast<WPARAM>(letter), altDown | static_cast<LPARAM>(0xC0000000u));
  alt.ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(1, &alt, sizeof alt);
  WaitFor([] { return GetAsyncKeyState(VK_MENU) >= 0; }, 1000);
  Sync();
}

void ZkApp::Click(HWND pane, int x, int y) {
  const LPARAM point = MAKELPARAM(x, y);
  SendMessageA(pane, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageA(pane, WM_LBUTTONUP, 0, point);
}

void ZkApp::DragSplitter(int fromY, int toY) {
  const int x = 100;
  SendMessageA(main_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, fromY));
  const int step = fromY < toY ? 5 : -5;
  for (int y = fromY; (step > 0) ? y < toY : y > toY; y += step)
    SendMessageA(main_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
  SendMessageA(main_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, toY));
  SendMessageA(main_, WM_LBUTTONUP, 0, MAKELPARAM(x, toY));
}

std::string ZkApp::RxTxText() {
  EmptyTheClipboard();
  Command(IDM_COPY);
  return ClipboardText();
}

bool ZkApp::WaitForTxCaption(const std::string& caption, int ms) {
  return WaitFor([&] { return ControlText(IDC_TXRX) == caption; }, ms);
}

namespace {

// The screen's pixels in a rectangle, top row first, as 0x00RRGGBB words.
std::vector<DWORD> CaptureScreen(int left, int top, int width, int height) {
  std::vector<DWORD> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
  GdiFlush();
  const auto* first = static_cast<const DWORD*>(bits);
  pixels.assign(first, first + static_cast<size_t>(width) * static_cast<size_t>(height));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

COLORREF AsColorref(DWORD pixel) { return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF); }

std::vector<DWORD> CaptureClient(HWND window, const RECT& area) {
  POINT origin{area.left, area.top};
  ClientToScreen(window, &origin);
  return CaptureScreen(origin.x, origin.y, area.right - area.left, area.bottom - area.top);
}

}  // namespace

COLORREF ZkApp::PixelAt(HWND window, int x, int y) const {
  const std::vector<DWORD> pixel = CaptureClient(window, RECT{x, y, x + 1, y + 1});
  return pixel.empty() ? CLR_INVALID : AsColorref(pixel[0]);
}

int ZkApp::CountPixels(HWND window, const RECT& area, COLORREF colour) const {
  int count = 0;
  for (DWORD pixel : CaptureClient(window, area))
    if (AsColorref(pixel) == colour) ++count;
  return count;
}

int ZkApp::HighlightLeft(HWND window, int y) const {
  RECT client;
  GetClientRect(window, &client);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  const std::vector<DWORD> row = CaptureClient(window, RECT{0, y, client.right, y + 1});
  for (size_t x = 0; x < row.size(); ++x)
    if (AsColorref(row[x]) == highlight) return static_cast<int>(x);
  return -1;
}

bool ZkApp::Screenshot(const std::string& name, HWND window, bool client) const {
  if (!window) window = main_;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(200);
  RECT r;
  GetWindowRect(window, &r);
  if (client) {
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  }
  const int width = r.right - r.left, height = r.bottom - r.top;
  std::vector<DWORD> pixels = CaptureScreen(r.left, r.top, width, height);
  if (pixels.empty()) return false;
  for (DWORD& pixel : pixels) pixel |= 0xFF000000u;  // opaque: the screen has no alpha
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;  // top row first, as captured
  header.biPlanes = 1;
  header.biBitCount = 32;
  const DWORD imageSize = static_cast<DWORD>(pixels.size() * sizeof(DWORD));
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + imageSize;
  const std::string path = Env("ZK_SHOTS") + "\\" + name + ".bmp";
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&header, sizeof header, 1, out);
  std::fwrite(pixels.data(), 1, imageSize, out);
  std::fclose(out);
  return true;
}

}  // namespace testbed
