#include "testbed/win32/support.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace testbed {

std::string Env(const char* name) {
  char value[1024];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return (n > 0 && n < sizeof value) ? std::string(value, n) : std::string();
}

std::string MakeFolder(const std::string& name) {
  const std::string path = WinWork() + "\\" + name;
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

HWND WaitForMessageBox(const std::string& title, int ms) {
  HWND box = nullptr;
  // A box is visible only once its dialog has set its texts; found before, it may still be empty.
  WaitFor([&] { return (box = FindWindowA("#32770", title.c_str())) != nullptr && IsWindowVisible(box); }, ms);
  return box;
}

namespace {

struct WindowSearch {
  DWORD process;
  const char* className;
  const std::function<bool(HWND)>& match;
  HWND found;
};

BOOL CALLBACK SearchWindow(HWND window, LPARAM param) {
  auto& s = *reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  const bool fits = (s.process == 0 || owner == s.process) && (!s.className || std::strcmp(name, s.className) == 0) &&
                    IsWindowVisible(window) && (!s.match || s.match(window));
  if (fits) s.found = window;
  return !fits;
}

}  // namespace

HWND FindTopWindow(DWORD process, const char* className, const std::function<bool(HWND)>& match) {
  WindowSearch search{process, className, match, nullptr};
  EnumWindows(SearchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HasChildText(HWND window, const std::string& text) {
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char buffer[512] = "";
    GetWindowTextA(child, buffer, sizeof buffer);
    if (text == buffer) return true;
  }
  return false;
}

namespace {

// Another program (the one under test) may hold the clipboard for a moment.
bool OpenTheClipboard() {
  for (int tries = 0; tries < 50; ++tries) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(20);
  }
  return false;
}

}  // namespace

std::string ClipboardText() {
  std::string text;
  if (!OpenTheClipboard()) return text;
  HANDLE data = GetClipboardData(CF_TEXT);
  const char* bytes = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
  if (bytes) text = bytes;
  if (data) GlobalUnlock(data);
  CloseClipboard();
  return text;
}

void SetClipboardText(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  if (!OpenTheClipboard()) return;
  EmptyClipboard();
  SetClipboardData(CF_TEXT, block);
  CloseClipboard();
}

void EmptyTheClipboard() {
  if (!OpenTheClipboard()) return;
  EmptyClipboard();
  CloseClipboard();
}

int RunUnix(const std::string& command, int ms) {
  static int runs = 0;
  const std::string marker = "unix-run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++runs);
  const std::string unixMarker = UnixWork() + "/" + marker;
  std::string line = "/bin/sh -c \"export PATH=/usr/local/bin:/usr/bin:/bin; (" + command + "); echo $? >" +
                     unixMarker + ".new && mv " + unixMarker + ".new " + unixMarker + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return -1;
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  // Wine gives no usable handle for a Linux child: its status comes back in a file.
  const std::string path = WinWork() + "\\" + marker;
  if (!WaitFor([&] { return FileExists(path); }, ms)) return -1;
  return std::atoi(ReadFile(path).c_str());
}

std::set<DWORD> ThreadIds(DWORD process) {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == process) ids.insert(entry.th32ThreadID);
  CloseHandle(snapshot);
  return ids;
}

double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticksPerMs;
}

SerialEnd::~SerialEnd() { Close(); }

bool SerialEnd::Open(const char* name) {
  const std::string path = std::string("\\\\.\\") + name;
  handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // reads return at once with what is there
  SetCommTimeouts(handle_, &timeouts);
  PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
  return true;
}

void SerialEnd::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void SerialEnd::Write(const std::string& bytes) {
  DWORD done = 0;
  if (!bytes.empty()) ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

std::string SerialEnd::ReadWhile(const std::function<bool(const std::string&)>& wantMore, int ms) {
  std::string all;
  const double end = NowMs() + ms;
  char buffer[512];
  while (wantMore(all) && NowMs() < end) {
    DWORD got = 0;
    if (::ReadFile(handle_, buffer, sizeof buffer, &got, nullptr) && got > 0)
      all.append(buffer, got);
    else
      Sleep(5);
  }
  return all;
}

std::string SerialEnd::ReadUntil(const std::string& wanted, int ms) {
  return ReadWhile([&](const std::string& s) { return s.find(wanted) == std::string::npos; }, ms);
}

std::string SerialEnd::ReadCount(size_t count, int ms) {
  return ReadWhile([&](const std::string& s) { return s.size() < count; }, ms);
}

void SerialEnd::Drain(int quietMs) {
  size_t before = 0;
  double quietSince = NowMs();
  ReadWhile(
      [&](const std::string& s) {
        if (s.size() != before) quietSince = NowMs();
        before = s.size();
        return NowMs() - quietSince < quietMs;
      },
      60000);
}

std::string LettersCodes(const std::string& text) {
  // ITA2 letters shift, indexed by letter.
  static const unsigned char kLetters[26] = {3,  25, 14, 9,  1,  13, 26, 20, 6,  11, 15, 18, 28,
                                             12, 24, 22, 23, 10, 5,  16, 7,  30, 19, 29, 21, 17};
  std::string codes;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z')
      codes.push_back(static_cast<char>(kLetters[c - 'A']));
    else if (c == ' ')
      codes.push_back(4);
    else if (c == '\r')
      codes.push_back(8);
    else if (c == '\n')
      codes.push_back(2);
  }
  return codes;
}

}  // namespace testbed
