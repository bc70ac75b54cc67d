// How a bare reader loop fares on a quiet serial line (COM8, nobody sending), without
// any of the program's code, in three ways: waiting in an overlapped WaitCommEvent for
// EV_RXCHAR and reading what waits after each completion; checking the input queue every
// 5 ms; and an overlapped ReadFile with only a read-interval time-out, which sleeps until
// the first byte comes, as the device reader does. For each: completions a second (with how many gave an empty
// event mask), CPU time of this process and of the wineserver, and heap growth. It tells
// what the platform itself costs a program that waits for received bytes.
//
//   device_wine_wait_bench [seconds per loop, default 10]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_cpu.h"
#include "testbed/win32/in_process.h"

namespace {

using bench::ProcessCpuMs;
using testbed::HeapBytesInUse;
using testbed::NowMs;

// Reads whatever waits; returns the bytes read.
DWORD ReadWaiting(HANDLE port, OVERLAPPED& record) {
  DWORD errors = 0, total = 0;
  COMSTAT status{};
  char buffer[256];
  while (ClearCommError(port, &errors, &status) && status.cbInQue > 0) {
    ResetEvent(record.hEvent);
    DWORD got = 0;
    const DWORD want = std::min<DWORD>(status.cbInQue, sizeof buffer);
    if (!ReadFile(port, buffer, want, &got, &record) &&
        (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port, &record, &got, TRUE)))
      break;
    total += got;
  }
  return total;
}

enum class Wait { kCommEvent, kPoll5ms, kFirstByteRead };

// One wait for received bytes; false when the loop must stop.
bool WaitOnce(Wait how, HANDLE port, OVERLAPPED& wait, HANDLE never, long& emptyMasks, DWORD& bytes) {
  if (how == Wait::kPoll5ms) {
    WaitForSingleObject(never, 5);
    return true;
  }
  if (how == Wait::kFirstByteRead) {
    char buffer[256];
    DWORD got = 0;
    ResetEvent(wait.hEvent);
    if (!ReadFile(port, buffer, sizeof buffer, &got, &wait)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      HANDLE waits[2] = {wait.hEvent, never};
      if (WaitForMultipleObjects(2, waits, FALSE, 1000) == WAIT_TIMEOUT) CancelIo(port);
      GetOverlappedResult(port, &wait, &got, TRUE);
    }
    bytes += got;
    return true;
  }
  DWORD mask = 0;
  ResetEvent(wait.hEvent);
  if (!WaitCommEvent(port, &mask, &wait)) {
    if (GetLastError() != ERROR_IO_PENDING) return false;
    HANDLE waits[2] = {wait.hEvent, never};
    if (WaitForMultipleObjects(2, waits, FALSE, 1000) == WAIT_TIMEOUT) {
      CancelIo(port);
      DWORD ignored = 0;
      GetOverlappedResult(port, &wait, &ignored, TRUE);
      return true;
    }
    DWORD ignored = 0;
    GetOverlappedResult(port, &wait, &ignored, FALSE);
  }
  if (mask == 0) ++emptyMasks;
  return true;
}

void Run(const char* name, Wait how, double seconds) {
  HANDLE port = CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    std::printf("%s: cannot open COM8\n", name);
    return;
  }
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  // No total time-out: the read waits for its first byte, then ends when the line pauses.
  if (how == Wait::kFirstByteRead) timeouts.ReadIntervalTimeout = 10;
  SetCommTimeouts(port, &timeouts);
  SetCommMask(port, EV_RXCHAR);
  OVERLAPPED wait{}, read{};
  wait.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ReadWaiting(port, read);
  long wakeUps = 0, emptyMasks = 0;
  DWORD bytes = 0;
  const std::string server = testbed::Env("ZK_WINESERVER_PID");
  const double cpu0 = ProcessCpuMs(), server0 = bench::LinuxCpuMs(server), start = NowMs();
  const uint64_t heap0 = HeapBytesInUse();
  while (NowMs() - start < seconds * 1000) {
    if (!WaitOnce(how, port, wait, never, emptyMasks, bytes)) break;
    ++wakeUps;
    if (how != Wait::kFirstByteRead) bytes += ReadWaiting(port, read);
  }
  const double wall = (NowMs() - start) / 1000.0;
  const double cpu = ProcessCpuMs() - cpu0, serverCpu = bench::LinuxCpuMs(server) - server0;
  const uint64_t heap1 = HeapBytesInUse();
  std::printf(
      "%-32s %6.1f wake-ups/s (%ld with an empty mask), %ld bytes read; CPU %5.1f %% of one core,"
      " wineserver %5.1f %%; heap %+.1f KB/s\n",
      name, static_cast<double>(wakeUps) / wall, emptyMasks, static_cast<long>(bytes), 100.0 * cpu / (wall * 1000.0),
      server0 < 0 ? -1.0 : 100.0 * serverCpu / (wall * 1000.0),
      (static_cast<double>(heap1) - static_cast<double>(heap0)) / 1024.0 / wall);
  CloseHandle(never);
  CloseHandle(wait.hEvent);
  CloseHandle(read.hEvent);
  CloseHandle(port);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
  std::printf("quiet line on COM8, %.0f s each\n", seconds);
  Run("WaitCommEvent(EV_RXCHAR)", Wait::kCommEvent, seconds);
  Run("input queue checked every 5 ms", Wait::kPoll5ms, seconds);
  Run("ReadFile, read-interval time-out", Wait::kFirstByteRead, seconds);
  return 0;
}
