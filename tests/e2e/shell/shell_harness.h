// Runs the program's own shell inside the calling process, for tests and benchmarks that
// need its threads and panes up close: the program started from a folder of its own, the
// window thread's messages pumped, a station simulator started on the far end of a
// serial pair, and the numbered flood lines of the TNC simulator checked as they arrive
// in the receive/transmit pane. Header only, so benchmarks can use it too.
#pragma once
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/app_state.h"
#include "app/win32/panes.h"
#include "app/win32/startup.h"
#include "textpane/win32/text_pane.h"

namespace shell {

inline std::string Env(const char* name) {
  char value[1024];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return (n > 0 && n < sizeof value) ? std::string(value, n) : std::string();
}

// The run's work folder, seen from Windows (ZK_WORK) and from Linux (ZK_UNIX_WORK).
inline std::string WinWork() { return Env("ZK_WORK"); }
inline std::string UnixWork() { return Env("ZK_UNIX_WORK"); }

inline double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticksPerMs;
}

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Handles every message waiting for this thread.
inline void PumpWaiting() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Keeps the window thread handling its messages for `ms`.
inline void PumpFor(double ms) {
  const double end = NowMs() + ms;
  for (;;) {
    PumpWaiting();
    const double left = end - NowMs();
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
  }
}

// Pumps until `done` holds or `ms` pass; returns its last answer.
template <typename F>
bool PumpUntil(F done, double ms, double stepMs = 10) {
  const double end = NowMs() + ms;
  for (;;) {
    if (done()) return true;
    if (NowMs() >= end) return false;
    PumpFor(stepMs);
  }
}

// Starts the program in this process, once: a fresh folder under the work folder with
// `ini` as its settings file becomes the current directory, then the normal start-up.
inline bool StartProgramOnce(const std::string& folderName, const std::string& ini, int showCommand) {
  static bool started = false;
  if (started) return app.mainWindow != nullptr;
  started = true;
  const std::string folder = WinWork() + "\\" + folderName;
  CreateDirectoryA(folder.c_str(), nullptr);
  WriteWholeFile(folder + "\\Zktty.ini", ini);
  if (!SetCurrentDirectoryA(folder.c_str())) return false;
  return StartProgram(GetModuleHandleA(nullptr), showCommand);
}

// Ends the program the way its window does: shutdown runs from WM_DESTROY.
inline void EndProgram() {
  if (app.mainWindow && IsWindow(app.mainWindow)) DestroyWindow(app.mainWindow);
  PumpFor(50);
}

inline std::string RxTxText() {
  if (!app.rxTxPane) return std::string();
  PaneLock lock(*app.rxTxPane);
  const zk::TextBuffer& buffer = app.rxTxPane->buffer();
  return std::string(buffer.text(), static_cast<size_t>(buffer.length()));
}

// What the process holds, for leak checks.
struct Footprint {
  uint64_t heapBytes = 0;      // in use in every heap of the process
  uint64_t pagefileBytes = 0;  // under Wine: the process's resident anonymous memory
  DWORD handles = 0;
  int threads = 0;
};

inline int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  CloseHandle(snapshot);
  return count;
}

// Wine answers GetProcessHandleCount with 0, so there the handle values are probed: they
// are handed out lowest first, so the open ones lie well below the probed range.
inline DWORD HandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

inline uint64_t HeapBytesInUse() {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  uint64_t busy = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  return busy;
}

inline Footprint TakeFootprint() {
  Footprint f;
  f.heapBytes = HeapBytesInUse();
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) f.pagefileBytes = counters.PagefileUsage;
  f.handles = HandleCount();
  f.threads = ThreadCount();
  return f;
}

// CPU time (user and system) of another Linux process from /proc, through Wine's Z:
// drive (Wine's GetProcessTimes is not reliable for another process; and "self" would
// be the wineserver, which opens files for its clients). -1 when it cannot be read.
inline double LinuxCpuMs(const std::string& pid) {
  if (pid.empty()) return -1;
  const std::string stat = ReadWholeFile("Z:\\proc\\" + pid + "\\stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  // After the command name: the state is field 3, utime and stime are fields 14 and 15.
  const char* p = stat.c_str() + close + 1;
  for (int field = 2; field < 14 && p; ++field) {
    p = std::strchr(p, ' ');
    if (p) ++p;
  }
  unsigned long long utime = 0, stime = 0;
  if (!p || std::sscanf(p, "%llu %llu", &utime, &stime) != 2) return -1;
  return static_cast<double>(utime + stime) * 10.0;  // 100 clock ticks a second
}

// The Linux process id of the Wine process running `exeName` whose current folder
// holds `markerFile`, or "" when there is none.
inline std::string LinuxPidOf(const std::string& exeName, const std::string& markerFile) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  std::string found;
  do {
    const std::string pid = entry.cFileName;
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string dir = "Z:\\proc\\" + pid;
    if (ReadWholeFile(dir + "\\comm") != exeName + "\n") continue;
    if (FileExists(dir + "\\cwd\\" + markerFile)) found = pid;
  } while (found.empty() && FindNextFileA(find, &entry));
  FindClose(find);
  return found;
}

// A station simulator (a Linux program) at the far end of a serial pair. Wine gives no
// usable handle for a Linux child, so a shell starts it in the background and leaves its
// process id in a file; stopping kills that id and waits until it is gone.
class Simulator {
 public:
  explicit Simulator(std::string name) : name_(std::move(name)) {}
  ~Simulator() { Stop(); }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // `program` is "tnc_sim" or "baudot_tu" from ZK_SIM_DIR; `args` must hold no quotes.
  bool Start(const std::string& program, const std::string& args) {
    Stop();
    const std::string unixPid = UnixWork() + "/" + name_ + ".pid";
    const std::string unixLog = UnixWork() + "/" + name_ + ".log";
    DeleteFileA(PidPath().c_str());
    Shell("rm -f " + unixPid + "; " + Env("ZK_SIM_DIR") + "/" + program + " " + args + " >" + unixLog +
          " 2>&1 & echo $! >" + unixPid + ".new && mv " + unixPid + ".new " + unixPid);
    const double end = NowMs() + 5000;
    while (NowMs() < end) {
      const std::string text = ReadWholeFile(PidPath());
      if (!text.empty() && text.back() == '\n') {
        pid_ = std::atol(text.c_str());
        return pid_ > 0;
      }
      Sleep(10);
    }
    return false;
  }

  // Ends the simulator and waits (up to 5 s) until it has gone.
  bool Stop() {
    if (pid_ <= 0) return true;
    const std::string id = std::to_string(pid_);
    const std::string unixPid = UnixWork() + "/" + name_ + ".pid";
    Shell("kill " + id + "; n=0; while kill -0 " + id + " 2>/dev/null && [ $n -lt 250 ]; do sleep 0.02; n=$((n+1));" +
          " done; rm -f " + unixPid);
    pid_ = 0;
    const double end = NowMs() + 6000;
    while (FileExists(PidPath())) {
      if (NowMs() > end) return false;
      Sleep(10);
    }
    return true;
  }

  bool running() const { return pid_ > 0; }
  std::string LogPath() const { return WinWork() + "\\" + name_ + ".log"; }

 private:
  std::string PidPath() const { return WinWork() + "\\" + name_ + ".pid"; }

  static void Shell(const std::string& script) {
    std::string command = "/bin/sh -c \"export PATH=/usr/local/bin:/usr/bin:/bin; " + script + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      if (process.hProcess) CloseHandle(process.hProcess);
      if (process.hThread) CloseHandle(process.hThread);
    }
  }

  std::string name_;
  long pid_ = 0;
};

// Answers any "Could not activate" box of this process, which would otherwise wait for an
// operator forever, and counts them.
class ActivationBoxWatch {
 public:
  ActivationBoxWatch() : thread_([this] { Run(); }) {}
  ~ActivationBoxWatch() {
    stop_ = true;
    thread_.join();
  }
  int seen() const { return seen_; }

 private:
  static BOOL CALLBACK Check(HWND window, LPARAM param) {
    auto* self = reinterpret_cast<ActivationBoxWatch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    // Asking for a window's text sends it a message: never wait for a window thread that
    // may itself be waiting for this thread to end.
    char caption[128] = "";
    DWORD_PTR ignored = 0;
    if (std::string(name) != "#32770" ||
        !SendMessageTimeoutA(window, WM_GETTEXT, sizeof caption, reinterpret_cast<LPARAM>(caption),
                             SMTO_ABORTIFHUNG, 200, &ignored))
      return TRUE;
    if (std::string(caption).rfind("Could not activate", 0) == 0) {
      ++self->seen_;
      PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
  }
  void Run() {
    while (!stop_) {
      EnumWindows(Check, reinterpret_cast<LPARAM>(this));
      Sleep(100);
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> seen_{0};
  std::thread thread_;
};

// Checks the TNC simulator's flood, "THE QUICK BROWN FOX 0123456789 000001" CR LF and so
// on, from snapshots of a pane that keeps only its newest bytes. Within one snapshot the
// complete lines must follow each other one by one; each snapshot must reach back to the
// newest line already confirmed, so together the snapshots cover the whole stream and
// any lost, extra or repeated byte shows as a bad line or a step other than one.
class FloodCheck {
 public:
  static constexpr const char* kFixed = "THE QUICK BROWN FOX 0123456789 ";
  static constexpr size_t kFixedLength = 31;
  static constexpr size_t kDigits = 6;
  static constexpr size_t kLineBytes = kFixedLength + kDigits + 2;

  // The simulator starts with its prompt, which runs into the first line.
  explicit FloodCheck(std::string prompt = "cmd:") : prompt_(std::move(prompt)) {}

  void Feed(const std::string& snapshot) {
    ++snapshots_;
    std::vector<std::string> segments;
    size_t start = 0;
    for (size_t crlf; (crlf = snapshot.find("\r\n", start)) != std::string::npos; start = crlf + 2)
      segments.push_back(snapshot.substr(start, crlf - start));
    const std::string partial = snapshot.substr(start);
    long previous = -1;
    // A trim may have cut between a line's CR and LF.
    if (!segments.empty() && !segments[0].empty() && segments[0][0] == '\n') segments[0].erase(0, 1);
    for (size_t i = 0; i < segments.size(); ++i) {
      const long seq = LineNumber(segments[i], i == 0);
      if (seq < 0) {
        // Only the oldest segment may have lost its start, to the pane's trimming.
        if (i == 0 && IsLineSuffix(segments[i])) continue;
        Fail("a line is not as sent: " + Shown(segments[i]));
        return;
      }
      if (previous < 0 && seq > last_ + 1) {
        Fail("lines " + std::to_string(last_ + 1) + " to " + std::to_string(seq - 1) + " never seen");
        return;
      }
      if (previous >= 0 && seq != previous + 1) {
        Fail("line " + std::to_string(seq) + " follows line " + std::to_string(previous));
        return;
      }
      previous = seq;
      if (seq > last_) last_ = seq;
    }
    if (!partial.empty() && !IsLinePrefix(partial, segments.empty() && last_ == 0)) Fail("a line begins wrongly: " + Shown(partial));
    endsWithLine_ = partial.empty() && !segments.empty();
  }

  long last() const { return last_; }
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // True when the last snapshot ended exactly after a complete line.
  bool endsWithLine() const { return endsWithLine_; }
  long snapshots() const { return snapshots_; }

 private:
  static bool IsDigits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
      if (s[i] < '0' || s[i] > '9') return false;
    return true;
  }

  // The line's number, or -1 when it is not a whole flood line. Only line 1 carries the
  // prompt, and only the oldest line of a snapshot can be line 1.
  long LineNumber(const std::string& segment, bool promptAllowed) const {
    size_t at = 0;
    if (promptAllowed && segment.compare(0, prompt_.size(), prompt_) == 0) at = prompt_.size();
    if (segment.size() != at + kFixedLength + kDigits) return -1;
    if (segment.compare(at, kFixedLength, kFixed) != 0) return -1;
    if (!IsDigits(segment, at + kFixedLength, kDigits)) return -1;
    const long seq = std::atol(segment.c_str() + at + kFixedLength);
    if (at > 0 && seq != 1) return -1;
    return seq;
  }

  // The start of a line still arriving (or of the prompt before the first line).
  bool IsLinePrefix(const std::string& s, bool promptAllowed) const {
    std::string text = s;
    if (promptAllowed) {
      if (text.size() <= prompt_.size()) return prompt_.compare(0, text.size(), text) == 0;
      if (text.compare(0, prompt_.size(), prompt_) == 0) text = text.substr(prompt_.size());
    }
    // A whole line whose line feed has not come yet.
    if (text.size() == kFixedLength + kDigits + 1 && text.back() == '\r') text.pop_back();
    if (text.size() > kFixedLength + kDigits) return false;
    const size_t fixedPart = text.size() < kFixedLength ? text.size() : kFixedLength;
    return text.compare(0, fixedPart, kFixed, fixedPart) == 0 &&
           IsDigits(text, fixedPart, text.size() - fixedPart);
  }

  static bool IsLineSuffix(const std::string& s) {
    if (s.size() >= kFixedLength + kDigits) return false;
    if (s.size() <= kDigits) return IsDigits(s, 0, s.size());
    const size_t fixedPart = s.size() - kDigits;
    return IsDigits(s, fixedPart, kDigits) &&
           std::string(kFixed).compare(kFixedLength - fixedPart, fixedPart, s, 0, fixedPart) == 0;
  }

  static std::string Shown(const std::string& s) {
    std::string out;
    for (char c : s.substr(0, 80)) {
      if (static_cast<unsigned char>(c) >= 32 && c != 127) {
        out += c;
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
        out += hex;
      }
    }
    return "\"" + out + "\"";
  }

  void Fail(const std::string& why) {
    if (error_.empty()) error_ = why + " (snapshot " + std::to_string(snapshots_) + ")";
  }

  std::string prompt_;
  long last_ = 0;
  long snapshots_ = 0;
  bool endsWithLine_ = false;
  std::string error_;
};

// Receives a flood of `lines` numbered lines from the TNC simulator at 115200 baud on
// COM8, sampling the pane every `sampleMs` while the window thread runs.
struct FloodRun {
  bool started = false;    // the simulator ran and the device opened
  bool complete = false;   // every line arrived and nothing more
  std::string error;
  long linesSent = 0;
  long linesSeen = 0;
  double firstMs = 0;      // first line seen, since the simulator started
  double lastMs = 0;       // last line seen
  double steadyCharsPerSecond = 0;  // between 10 % and 90 % of the lines
  double worstSampleGapMs = 0;
  long snapshots = 0;
};

// Reads and throws away what waits at a port until it has been quiet for `quietMs`.
inline void DrainPort(const char* name, double quietMs = 200) {
  const std::string path = std::string("\\\\.\\") + name;
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) return;
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  SetCommTimeouts(port, &timeouts);
  char buffer[4096];
  for (double quietSince = NowMs(); NowMs() - quietSince < quietMs;) {
    DWORD got = 0;
    if (ReadFile(port, buffer, sizeof buffer, &got, nullptr) && got > 0) quietSince = NowMs();
    else Sleep(10);
  }
  CloseHandle(port);
}

// The link must be closed when this is called; it is left open on the new stream. The
// program is on COM8, the simulator on the pair's other end, COM9 (pty9).
inline FloodRun ReceiveFlood(Simulator& sim, long lines, double timeoutMs, double sampleMs = 20) {
  FloodRun run;
  run.linesSent = lines;
  // What earlier runs left in the pair, in either direction, is thrown away first.
  sim.Stop();
  DrainPort("COM9");
  if (!OpenDevice(app.mainWindow)) return run;
  PumpFor(300);
  std::string before = RxTxText();
  PumpUntil([&] {
    const std::string now = RxTxText();
    const bool quiet = now == before;
    before = now;
    return quiet;
  }, 3000, 300);
  app.rxTxPane->Clear();
  const long bytes = lines * static_cast<long>(FloodCheck::kLineBytes);
  if (!sim.Start("tnc_sim", "--device " + UnixWork() + "/pty9 --baud 115200 --flood " +
                                std::to_string(bytes)))
    return run;
  run.started = true;
  const double startMs = NowMs();
  FloodCheck check;
  double lastSample = startMs, lastGrowth = startMs;
  long tenth = 0, ninetieth = 0;
  double tenthMs = 0, ninetiethMs = 0;
  while (check.ok()) {
    PumpFor(sampleMs);
    const double now = NowMs();
    if (now - lastSample > run.worstSampleGapMs) run.worstSampleGapMs = now - lastSample;
    lastSample = now;
    const long lastBefore = check.last();
    check.Feed(RxTxText());
    if (check.last() != lastBefore) {
      lastGrowth = now;
      if (lastBefore == 0) run.firstMs = now - startMs;
      run.lastMs = now - startMs;
      if (tenth == 0 && check.last() >= lines / 10) {
        tenth = check.last();
        tenthMs = now;
      }
      if (ninetieth == 0 && check.last() >= lines * 9 / 10) {
        ninetieth = check.last();
        ninetiethMs = now;
      }
    }
    if (check.last() >= lines && check.endsWithLine()) {
      // Anything after the last line would be a fault too: look once more a little later.
      PumpFor(300);
      check.Feed(RxTxText());
      break;
    }
    if (now - startMs > timeoutMs || (check.last() > 0 && now - lastGrowth > 3000)) break;
  }
  run.linesSeen = check.last();
  run.snapshots = check.snapshots();
  run.error = check.error();
  if (run.error.empty() && run.linesSeen != lines)
    run.error = "saw " + std::to_string(run.linesSeen) + " of " + std::to_string(lines) + " lines";
  if (run.error.empty() && !check.endsWithLine()) run.error = "bytes after the last line";
  run.complete = run.error.empty();
  if (ninetieth > tenth && ninetiethMs > tenthMs)
    run.steadyCharsPerSecond = static_cast<double>((ninetieth - tenth) * static_cast<long>(FloodCheck::kLineBytes)) /
                               ((ninetiethMs - tenthMs) / 1000.0);
  return run;
}

}  // namespace shell
