// What the end-to-end tests and the Windows benchmarks share: the run's folders, files,
// the clipboard, a clock, waiting for a condition, and the far end of a serial pair.
#pragma once
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace testbed {

std::string Env(const char* name);
// The run's work folder, seen from Windows (ZK_WORK) and from Linux (ZK_UNIX_WORK).
inline std::string WinWork() { return Env("ZK_WORK"); }
inline std::string UnixWork() { return Env("ZK_UNIX_WORK"); }
// A fresh folder under the work folder; its Windows path.
std::string MakeFolder(const std::string& name);

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// The file's lines without their line ends.
std::vector<std::string> ReadLines(const std::string& path);

// A message box (dialog class) with this title, waited for; null when none came.
HWND WaitForMessageBox(const std::string& title, int ms = 15000);
// Whether a child of `window` has exactly this text.
bool HasChildText(HWND window, const std::string& text);
// The first visible top-level window of process `process` (any, for 0) and class
// `className` (any, for null) for which `match` holds; null when there is none.
HWND FindTopWindow(DWORD process, const char* className, const std::function<bool(HWND)>& match = nullptr);

std::string ClipboardText();
void SetClipboardText(const std::string& text);
void EmptyTheClipboard();

// The identifiers of the threads `process` runs now.
std::set<DWORD> ThreadIds(DWORD process);

// Milliseconds of a high-resolution clock.
double NowMs();

// Runs a command line of the Linux host through /bin/sh (it must hold no double quote)
// and waits for it at most `ms`; its exit status, or -1 when it did not end in time.
int RunUnix(const std::string& command, int ms = 60000);

// Polls `done` every 10 ms until it holds or `ms` pass; returns its last answer.
template <typename F>
bool WaitFor(F done, int ms = 5000) {
  for (int waited = 0;; waited += 10) {
    if (done()) return true;
    if (waited >= ms) return false;
    Sleep(10);
  }
}

// The far end of a serial pair: what a terminal unit or a TNC reads from and writes to
// the line.
class SerialEnd {
 public:
  SerialEnd() = default;
  ~SerialEnd();
  SerialEnd(const SerialEnd&) = delete;
  SerialEnd& operator=(const SerialEnd&) = delete;

  bool Open(const char* name);
  void Close();
  void Write(const std::string& bytes);
  // Reads while `wantMore` says so of what came, at most `ms`; returns all read.
  std::string ReadWhile(const std::function<bool(const std::string&)>& wantMore, int ms);
  std::string ReadFor(int ms) {
    return ReadWhile([](const std::string&) { return true; }, ms);
  }
  std::string ReadUntil(const std::string& wanted, int ms);
  std::string ReadCount(size_t count, int ms);
  // Throws away what waits until the line has been quiet for `quietMs`.
  void Drain(int quietMs = 100);

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Baudot codes of a letters-shift text (A..Z, space, CR, LF) for the far end to send.
std::string LettersCodes(const std::string& text);

}  // namespace testbed
