// Received text from the TNC simulator at 115200 baud into the receive/transmit pane:
// the program's own shell runs in this process (its window shown, so the pane paints),
// the simulator floods numbered lines on the far end of the pair (the program on COM8,
// the simulator on pty9), and the pane is sampled every 20 ms while the window thread runs.
// Every line must arrive once and in order; the rate is taken between 10 % and 90 % of
// the lines, where the simulator sends at the line rate.
//
//   device_rx_bench [runs, default 3] [seconds of flood per run, default 10]
//
// Environment: ZK_WORK and ZK_UNIX_WORK (the work folder seen from Windows and from
// Linux), ZK_SIM_DIR (where tnc_sim is).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "../../tests/e2e/shell/shell_harness.h"

namespace {

const char kIni[] =
    "devtype 2\nttyport 8\nttybaud 115200\nttybytesize 8\nttystop 0\nttyparity 0\nttyflow 0\n"
    "windowloc 0 0 800 520\n";

constexpr double kLineRate = 11520.0;  // characters a second at 115200 baud, 10 bits each

double FileTimeMs(const FILETIME& t) {
  return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0;
}

double ProcessCpuMs() {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

double ThreadCpuMs(HANDLE thread) {
  FILETIME created, ended, kernel, user;
  if (!thread || !GetThreadTimes(thread, &created, &ended, &kernel, &user)) return 0;
  return FileTimeMs(kernel) + FileTimeMs(user);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const double seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 10.0;
  if (!shell::StartProgramOnce("rx_bench", kIni, SW_SHOWNORMAL)) return std::printf("the program did not start\n"), 1;
  CloseDevice(app.mainWindow);
  const long lines = static_cast<long>(seconds * kLineRate / static_cast<double>(shell::FloodCheck::kLineBytes));
  std::printf("TNC on COM8 at 115200 baud, 8N1; %ld lines of %zu bytes a run (%.1f s at the line rate)\n", lines,
              shell::FloodCheck::kLineBytes, static_cast<double>(lines) * shell::FloodCheck::kLineBytes / kLineRate);
  int failures = 0;
  for (int run = 1; run <= runs; ++run) {
    shell::Simulator sim("rx_bench_tnc");
    const double cpu0 = ProcessCpuMs(), window0 = ThreadCpuMs(GetCurrentThread());
    const shell::FloodRun r = shell::ReceiveFlood(sim, lines, seconds * 1000 * 3 + 10000);
    const double cpu = ProcessCpuMs() - cpu0, window = ThreadCpuMs(GetCurrentThread()) - window0;
    const double reader = ThreadCpuMs(app.connection.readerThread);
    CloseDevice(app.mainWindow);
    sim.Stop();
    if (!r.complete) ++failures;
    const double span = (r.lastMs - r.firstMs) / 1000.0;
    std::printf("run %d: %ld of %ld lines, %s; %.0f chars/s steady (%.1f %% of the line rate), %.0f chars/s"
                " first to last line over %.2f s; sampled %ld times, at most %.0f ms apart\n",
                run, r.linesSeen, r.linesSent, r.complete ? "every byte in order" : r.error.c_str(),
                r.steadyCharsPerSecond, 100.0 * r.steadyCharsPerSecond / kLineRate,
                span > 0 ? static_cast<double>((r.linesSeen - 1) * static_cast<long>(shell::FloodCheck::kLineBytes)) / span
                         : 0.0,
                span, r.snapshots, r.worstSampleGapMs);
    // The run also holds the open, the wait for a quiet line and the sampling.
    std::printf("run %d: CPU %.0f ms in all (%.0f %% of one core over the flood), reader thread %.0f ms,"
                " window thread %.0f ms\n",
                run, cpu, span > 0 ? 100.0 * cpu / (span * 1000.0) : 0.0, reader, window);
    std::fflush(stdout);
  }
  shell::EndProgram();
  return failures == 0 ? 0 : 1;
}
