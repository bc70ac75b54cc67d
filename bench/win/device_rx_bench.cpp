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

#include "bench_cpu.h"
#include "testbed/win32/in_process.h"

namespace {

using bench::ProcessCpuMs;
using bench::ThreadCpuMs;
using namespace testbed;

const char kIni[] =
    "devtype 2\nttyport 8\nttybaud 115200\nttybytesize 8\nttystop 0\nttyparity 0\nttyflow 0\n"
    "windowloc 0 0 800 520\n";

constexpr double kLineRate = 11520.0;  // characters a second at 115200 baud, 10 bits each

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const double seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 10.0;
  if (!StartProgramOnce("rx_bench", kIni, SW_SHOWNORMAL)) return std::printf("the program did not start\n"), 1;
  app.device.Close();
  const long lines = static_cast<long>(seconds * kLineRate / static_cast<double>(kFloodLineBytes));
  std::printf("TNC on COM8 at 115200 baud, 8N1; %ld lines of %zu bytes a run (%.1f s at the line rate)\n", lines,
              kFloodLineBytes, static_cast<double>(lines) * kFloodLineBytes / kLineRate);
  int failures = 0;
  for (int run = 1; run <= runs; ++run) {
    Simulator sim("rx_bench_tnc");
    const double cpu0 = ProcessCpuMs(), window0 = ThreadCpuMs(GetCurrentThread());
    const FloodRun r = ReceiveFlood(sim, lines, seconds * 1000 * 3 + 10000);
    const double cpu = ProcessCpuMs() - cpu0, window = ThreadCpuMs(GetCurrentThread()) - window0;
    const double reader = ThreadCpuMs(app.device.readerThread());
    app.device.Close();
    sim.Stop();
    if (!r.whole) ++failures;
    const double span = (r.lastMs - r.firstMs) / 1000.0;
    std::printf(
        "run %d: %zu of %zu bytes followed, %s; %.0f chars/s steady (%.1f %% of the line rate), %.0f chars/s"
        " first to last growth over %.2f s; sampled %ld times, at most %.0f ms apart\n",
        run, r.bytesSeen, FloodStream(lines).size(), r.whole ? "every byte once and in order" : "NOT whole",
        r.steadyCharsPerSecond, 100.0 * r.steadyCharsPerSecond / kLineRate,
        span > 0 ? static_cast<double>(r.bytesSeen) / span : 0.0, span, r.snapshots, r.worstSampleGapMs);
    // The run also holds the open, the wait for a quiet line and the sampling.
    std::printf(
        "run %d: CPU %.0f ms in all (%.0f %% of one core over the flood), reader thread %.0f ms,"
        " window thread %.0f ms\n",
        run, cpu, span > 0 ? 100.0 * cpu / (span * 1000.0) : 0.0, reader, window);
    std::fflush(stdout);
  }
  EndProgram();
  return failures == 0 ? 0 : 1;
}
