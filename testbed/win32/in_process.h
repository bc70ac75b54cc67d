// The program's own shell run inside the calling process, for tests and benchmarks that
// need its threads and panes up close: started from a folder of its own, its window
// thread's messages pumped, station simulators on the far end of serial pairs, and the
// numbered flood of the TNC simulator followed as it arrives in the receive/transmit pane.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/win32/app_state.h"
#include "app/win32/panes.h"
#include "app/win32/startup.h"
#include "testbed/win32/support.h"
#include "textpane/win32/text_pane.h"

namespace testbed {

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

// Starts the program in this process, once: a fresh folder under the work folder with
// `ini` as its settings file becomes the current directory, then the normal start-up.
inline bool StartProgramOnce(const std::string& folderName, const std::string& ini, int showCommand) {
  static bool started = false;
  if (started) return app.mainWindow != nullptr;
  started = true;
  const std::string folder = MakeFolder(folderName);
  WriteFile(folder + "\\Zktty.ini", ini);
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

// In-use heap bytes of every heap of the process, for leak checks.
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
    const std::string work = UnixWork() + "/" + name_;
    if (RunUnix(Env("ZK_SIM_DIR") + "/" + program + " " + args + " >" + work + ".log 2>&1 & echo $! >" + work + ".pid"))
      return false;
    pid_ = std::atol(ReadFile(WinWork() + "\\" + name_ + ".pid").c_str());
    return pid_ > 0;
  }

  // Ends the simulator and waits (up to 5 s) until it has gone.
  bool Stop() {
    if (pid_ <= 0) return true;
    const std::string id = std::to_string(pid_);
    pid_ = 0;
    return RunUnix("kill " + id + "; n=0; while kill -0 " + id + " 2>/dev/null && [ $n -lt 250 ]; do sleep 0.02;" +
                       " n=$((n+1)); done",
                   6000) == 0;
  }

 private:
  std::string name_;
  long pid_ = 0;
};

// The TNC simulator's flood: its prompt, then "THE QUICK BROWN FOX 0123456789 000001" CR LF
// and so on, numbered from 1.
constexpr size_t kFloodLineBytes = 39;
inline std::string FloodStream(long lines, const std::string& prompt = "cmd:") {
  std::string text = prompt;
  char line[64];
  for (long i = 1; i <= lines; ++i) {
    std::snprintf(line, sizeof line, "THE QUICK BROWN FOX 0123456789 %06ld\r\n", i);
    text += line;
  }
  return text;
}

// Follows snapshots of a pane that keeps only its newest bytes while a known stream
// arrives: each snapshot must be a window of the stream that reaches back to where the
// one before ended, so together they vouch for every byte, in order, once.
class StreamFollower {
 public:
  explicit StreamFollower(std::string stream) : stream_(std::move(stream)) {}
  // False (and the follower stops) when the snapshot is not such a window.
  bool Feed(const std::string& snapshot) {
    if (failed_ || snapshot.empty()) return !failed_;
    const size_t at = stream_.find(snapshot, snapshot.size() < seen_ ? seen_ - snapshot.size() : 0);
    failed_ = at == std::string::npos || at > seen_;
    if (!failed_ && at + snapshot.size() > seen_) seen_ = at + snapshot.size();
    return !failed_;
  }
  size_t seen() const { return seen_; }  // bytes of the stream vouched for
  bool whole() const { return !failed_ && seen_ == stream_.size(); }
  bool failed() const { return failed_; }

 private:
  std::string stream_;
  size_t seen_ = 0;
  bool failed_ = false;
};

struct FloodRun {
  bool started = false;  // the simulator ran and the device opened
  bool whole = false;    // every byte arrived once, in order, and nothing more
  size_t bytesSeen = 0;
  double firstMs = 0;  // first and last growth of what was seen, since the start
  double lastMs = 0;
  double worstSampleGapMs = 0;
  double steadyCharsPerSecond = 0;  // between 10 % and 90 % of the stream
  long snapshots = 0;
};

// Receives a flood of `lines` numbered lines from the TNC simulator at 115200 baud, the
// program on COM8 and the simulator on the pair's other end (pty9), sampling the pane
// every `sampleMs` while the window thread runs. The link must be closed when this is
// called; it is left open on the new stream.
inline FloodRun ReceiveFlood(Simulator& sim, long lines, double timeoutMs, double sampleMs = 20) {
  FloodRun run;
  sim.Stop();
  {
    SerialEnd leftOver;  // what earlier runs left in the pair is thrown away first
    if (leftOver.Open("COM9")) leftOver.Drain(200);
  }
  if (!app.device.Open()) return run;
  PumpFor(300);
  app.rxTxPane->Clear();
  if (!sim.Start("tnc_sim", "--device " + UnixWork() + "/pty9 --baud 115200 --flood " +
                                std::to_string(lines * static_cast<long>(kFloodLineBytes))))
    return run;
  run.started = true;
  const std::string stream = FloodStream(lines);
  StreamFollower follower(stream);
  const double start = NowMs();
  double lastSample = start, lastGrowth = start, tenthMs = 0, ninetiethMs = 0;
  while (!follower.failed()) {
    PumpFor(sampleMs);
    const double now = NowMs();
    if (now - lastSample > run.worstSampleGapMs) run.worstSampleGapMs = now - lastSample;
    lastSample = now;
    const size_t before = follower.seen();
    follower.Feed(RxTxText());
    ++run.snapshots;
    if (follower.seen() != before) {
      if (before == 0) run.firstMs = now - start;
      run.lastMs = now - start;
      lastGrowth = now;
      if (tenthMs == 0 && follower.seen() >= stream.size() / 10) tenthMs = now;
      if (ninetiethMs == 0 && follower.seen() >= stream.size() * 9 / 10) ninetiethMs = now;
    }
    if (follower.whole()) {
      PumpFor(300);  // anything after the last line would be a fault too
      follower.Feed(RxTxText());
      break;
    }
    if (now - start > timeoutMs || (before > 0 && now - lastGrowth > 3000)) break;
  }
  run.bytesSeen = follower.seen();
  if (ninetiethMs > tenthMs && tenthMs > 0)
    run.steadyCharsPerSecond = static_cast<double>(stream.size()) * 0.8 / ((ninetiethMs - tenthMs) / 1000.0);
  run.whole = follower.whole();
  return run;
}

}  // namespace testbed
