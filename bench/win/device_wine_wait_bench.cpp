// How a bare reader loop fares on a quiet serial line (COM8, nobody sending), without
// any of the program's code: once waiting in an overlapped WaitCommEvent for EV_RXCHAR and
// reading what waits after each completion, as the device reader does, and once checking
// the input queue every 5 ms instead. For each: completions a second (with how many gave
// an empty event mask), CPU time of this process and heap growth. It tells what the
// platform itself costs a program that waits for received bytes.
//
//   device_wine_wait_bench [seconds per loop, default 10]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

void Run(const char* name, bool useWaitCommEvent, double seconds) {
  HANDLE port = CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    std::printf("%s: cannot open COM8\n", name);
    return;
  }
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  SetCommTimeouts(port, &timeouts);
  SetCommMask(port, EV_RXCHAR);
  OVERLAPPED wait{}, read{};
  wait.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  read.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ReadWaiting(port, read);
  long wakeUps = 0, emptyMasks = 0;
  DWORD bytes = 0;
  const double cpu0 = ProcessCpuMs(), start = NowMs();
  const uint64_t heap0 = HeapBytesInUse();
  while (NowMs() - start < seconds * 1000) {
    if (useWaitCommEvent) {
      DWORD mask = 0;
      ResetEvent(wait.hEvent);
      if (!WaitCommEvent(port, &mask, &wait)) {
        if (GetLastError() != ERROR_IO_PENDING) break;
        HANDLE waits[2] = {wait.hEvent, never};
        if (WaitForMultipleObjects(2, waits, FALSE, 1000) == WAIT_TIMEOUT) {
          CancelIo(port);
          DWORD ignored = 0;
          GetOverlappedResult(port, &wait, &ignored, TRUE);
          continue;
        }
        DWORD ignored = 0;
        GetOverlappedResult(port, &wait, &ignored, FALSE);
      }
      if (mask == 0) ++emptyMasks;
    } else {
      WaitForSingleObject(never, 5);
    }
    ++wakeUps;
    bytes += ReadWaiting(port, read);
  }
  const double wall = (NowMs() - start) / 1000.0;
  const double cpu = ProcessCpuMs() - cpu0;
  const uint64_t heap1 = HeapBytesInUse();
  std::printf("%-28s %6.0f wake-ups/s (%ld with an empty mask), %ld bytes read; CPU %5.1f %% of one core;"
              " heap %+.1f KB/s\n",
              name, static_cast<double>(wakeUps) / wall, emptyMasks, static_cast<long>(bytes),
              100.0 * cpu / (wall * 1000.0),
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
  Run("WaitCommEvent(EV_RXCHAR)", true, seconds);
  Run("input queue checked every 5 ms", false, seconds);
  return 0;
}
