// Zktty.exe with a Baudot terminal unit at 45 baud, run as its own process, with this
// program at the far end of the serial pair (Zktty on COM5, this program on COM6):
//
//   cpu:     the CPU time of the Zktty process while receiving with nothing on the line,
//            and while transmitting idle characters (diddle on, nothing typed), as a
//            share of one core; beside it the wineserver's, which Windows would not spend;
//   latency: keys typed into the typing pane while transmitting, one every 300 to 600 ms
//            with a few longer gaps; for each, the time from the key (WM_CHAR) until its
//            code is read at the far end, and until it starts and ends on a 45-baud line
//            fed with what was written (a pseudo-terminal itself paces nothing).
//
//   device_latency_bench [keys, default 200] [seconds per CPU phase, default 20]
//
// Environment: ZK_EXE (Zktty.exe), ZK_WORK (a work folder, Windows path),
// ZK_WINESERVER_PID (optional: the Linux process id of this prefix's wineserver).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/baudot.h"
#include "bench_cpu.h"
#include "resources/resource.h"
#include "testbed/win32/zk_app.h"

namespace {

using bench::LinuxCpuMs;
using bench::ProcessCpuMs;
using testbed::Env;
using testbed::NowMs;
using testbed::ZkApp;
constexpr double kBaud = 45.0;
constexpr double kCharacterMs = 7.5 * 1000.0 / kBaud;  // start, 5 data, 1.5 stop bits

const char kIni[] =
    "devtype 1\nttyport 5\nbaudot 1\nttybytesize 5\nttybaud 45\nttystop 1\nttyparity 0\nttyflow 0\n"
    "ltrsonspace 1\ndiddle 1\npttcontrol 0\nmycall N0CALL\nwindowloc 0 0 800 520\n";

struct Received {
  double ms;
  uint8_t code;
};

// Reads COM6 on its own thread and stamps every byte as it is read.
class FarEnd {
 public:
  bool Open() {
    port_ = CreateFileA("\\\\.\\COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                        nullptr);
    if (port_ == INVALID_HANDLE_VALUE) return false;
    // A read sleeps until bytes come and returns 1 ms after they stop: the far end costs
    // next to nothing while the line is quiet, so the CPU figures are Zktty's and Wine's.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    SetCommTimeouts(port_, &timeouts);
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  ~FarEnd() {
    SetEvent(stop_);
    if (thread_.joinable()) thread_.join();
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    CloseHandle(stop_);
  }
  std::vector<Received> Since(double ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Received> out;
    for (const Received& r : bytes_)
      if (r.ms >= ms) out.push_back(r);
    return out;
  }

 private:
  void Run() {
    uint8_t buffer[256];
    OVERLAPPED read{};
    read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE waits[2] = {read.hEvent, stop_};
    for (;;) {
      DWORD got = 0;
      ResetEvent(read.hEvent);
      if (!ReadFile(port_, buffer, sizeof buffer, &got, &read)) {
        if (GetLastError() != ERROR_IO_PENDING) break;
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIo(port_);
        if (!GetOverlappedResult(port_, &read, &got, TRUE) && WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) break;
      }
      const double now = NowMs();
      std::lock_guard<std::mutex> lock(mutex_);
      for (DWORD i = 0; i < got; ++i) bytes_.push_back({now, buffer[i]});
    }
    CloseHandle(read.hEvent);
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Received> bytes_;
};

// The Zktty process's CPU time: from /proc when its Linux process is known (under Wine),
// else as Windows reports it.
double ZkttyCpuMs(HANDLE process, const std::string& linuxPid) {
  const double fromProc = LinuxCpuMs(linuxPid);
  return fromProc >= 0 ? fromProc : ProcessCpuMs(process);
}

void MeasureCpu(const char* what, HANDLE process, const std::string& linuxPid, FarEnd& peer, double seconds) {
  const std::string server = Env("ZK_WINESERVER_PID");
  Sleep(2000);  // let the switch settle
  const double wall0 = NowMs(), cpu0 = ZkttyCpuMs(process, linuxPid), server0 = LinuxCpuMs(server);
  const uint64_t memory0 = bench::ProcessMemory(process);
  Sleep(static_cast<DWORD>(seconds * 1000));
  const double wall = NowMs() - wall0, cpu = ZkttyCpuMs(process, linuxPid) - cpu0;
  const double server1 = LinuxCpuMs(server);
  const uint64_t memory1 = bench::ProcessMemory(process);
  const size_t codes = peer.Since(wall0).size();
  std::printf("cpu %-9s Zktty %5.1f %% of one core (%.0f ms in %.1f s)", what, 100.0 * cpu / wall, cpu, wall / 1000.0);
  if (server0 >= 0 && server1 >= 0) std::printf(", wineserver %.1f %%", 100.0 * (server1 - server0) / wall);
  std::printf("; %.1f codes/s on the line; memory %+.0f KB/s\n", static_cast<double>(codes) / (wall / 1000.0),
              (static_cast<double>(memory1) - static_cast<double>(memory0)) / 1024.0 / (wall / 1000.0));
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[i];
}

void PrintSpread(const char* what, const std::vector<double>& v) {
  std::printf("latency %-26s median %6.1f ms, 90%% %6.1f ms, worst %6.1f ms, best %6.1f ms\n", what, Percentile(v, 0.5),
              Percentile(v, 0.9), Percentile(v, 1.0), Percentile(v, 0.0));
}

struct Key {
  double ms;
  uint8_t code;
};

int MeasureLatency(ZkApp& zk, FarEnd& peer, int keyCount, double transmitStartMs) {
  std::mt19937 random(4545);
  std::uniform_int_distribution<int> gap(300, 600), longGap(1000, 3000), letter(0, 25);
  zk::BaudotCodec codec;
  std::vector<Key> keys;
  for (int i = 0; i < keyCount; ++i) {
    Sleep(static_cast<DWORD>(i % 25 == 24 ? longGap(random) : gap(random)));
    const char c = static_cast<char>('A' + letter(random));
    uint8_t codes[5];
    const int n = codec.Encode(c, codes);
    // Letters only, so each key is one code after the idle letters shifts, never LTRS itself.
    if (n < 1 || codes[n - 1] == zk::kLtrs) return std::printf("latency: %c has no code of its own\n", c), 1;
    keys.push_back({NowMs(), codes[n - 1]});
    zk.Type(std::string(1, c));
  }
  Sleep(1500);
  const std::vector<Received> line = peer.Since(transmitStartMs);

  // The 45-baud line behind the pty: each code starts when it was written or when the
  // one before it has gone, whichever is later.
  std::vector<double> starts(line.size());
  double free = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    starts[i] = std::max(line[i].ms, free);
    free = starts[i] + kCharacterMs;
  }
  std::vector<double> written, onAir, sent;
  size_t next = 0;
  int wrong = 0, missing = 0;
  for (const Key& key : keys) {
    while (next < line.size() && (line[next].code == zk::kLtrs || line[next].ms < key.ms)) {
      if (line[next].code != zk::kLtrs && line[next].ms < key.ms) ++wrong;  // a code before its key
      ++next;
    }
    if (next == line.size()) {
      ++missing;
      continue;
    }
    if (line[next].code != key.code) ++wrong;
    written.push_back(line[next].ms - key.ms);
    onAir.push_back(starts[next] - key.ms);
    sent.push_back(starts[next] + kCharacterMs - key.ms);
    ++next;
  }
  for (; next < line.size(); ++next)
    if (line[next].code != zk::kLtrs) ++wrong;
  std::printf(
      "latency: %zu keys typed while transmitting, %zu codes matched, %d missing, %d wrong or extra;"
      " character time %.1f ms\n",
      keys.size(), written.size(), missing, wrong, kCharacterMs);
  PrintSpread("key to code read", written);
  PrintSpread("key to code on the line", onAir);
  PrintSpread("key to code sent (whole)", sent);
  const double worstOnAir = Percentile(onAir, 1.0);
  std::printf("latency target: code on the line within two character times (%.0f ms): %s\n", 2 * kCharacterMs,
              worstOnAir <= 2 * kCharacterMs && missing == 0 && wrong == 0 ? "met" : "NOT met");
  return missing == 0 && wrong == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int keyCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const double cpuSeconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 20.0;
  FarEnd peer;
  if (!peer.Open()) return std::printf("cannot open COM6\n"), 1;
  ZkApp zk;
  if (!zk.Start("latency", kIni)) return std::printf("Zktty's window did not appear\n"), 1;
  // Marks the folder, so the Linux process of this Zktty can be told from others.
  const std::string marker = "latency-bench-" + std::to_string(GetCurrentProcessId());
  testbed::WriteFile(zk.folder() + "\\" + marker, "");
  const std::string linuxPid = bench::LinuxPidOf("Zktty.exe", marker);
  std::printf(
      "Zktty.exe: terminal unit on COM5, 45 baud, 5 data bits, 1.5 stop bits, diddle on;"
      " CPU time from %s\n",
      linuxPid.empty() ? "GetProcessTimes" : ("/proc/" + linuxPid).c_str());
  int status = 1;
  MeasureCpu("receiving", zk.process(), linuxPid, peer, cpuSeconds);
  const double transmitStart = NowMs();
  zk.Command(IDC_TXRX);
  if (!zk.WaitForTxCaption("F10  &RX")) {
    std::printf("no switch to transmit\n");
  } else {
    MeasureCpu("diddling", zk.process(), linuxPid, peer, cpuSeconds);
    status = MeasureLatency(zk, peer, keyCount, transmitStart);
    zk.Command(IDC_TXRX);
  }
  DeleteFileA((zk.folder() + "\\" + marker).c_str());
  if (!zk.Exit()) status = 1;
  return status;
}
