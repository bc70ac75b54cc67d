// zkmodem.exe started as a terminal starts it ("zkmodem -s"), with this program as the
// terminal:
//
//   cpu:      the CPU time of the zkmodem process, and beside it the wineserver's, while
//             receiving a noisy 48-kHz recording from a file and from the PulseAudio null
//             sink's monitor (a native player feeding the sink), with the window shown and
//             minimised, as a share of one core; and receiving three stations at once from a
//             file, the band list shown and then hidden;
//   receive:  for each character of the recording played from the file, the time from the
//             end of its stop element (the file starts when the engine is answered) to its
//             arrival at the terminal;
//   transmit: into a file and into the null sink, when the audio started after the switch
//             to transmit (as the echoes show: each comes once its last sample has been
//             played), how late the echoes came, and when the end was reported after the
//             last sample.
//
//   engine_bench [seconds per CPU phase, default 20] [phases: any of file,band,card,tx; default all]
//
// Environment: ZK_ZKMODEM (zkmodem.exe), ZK_WORK and ZK_UNIX_WORK (a work folder seen from
// both sides), ZK_SIM_DIR (the native zkrtty and noisy_wav), ZK_WINESERVER_PID (optional).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_cpu.h"
#include "modem/modulator.h"
#include "testbed/win32/fake_peers.h"
#include "testbed/win32/support.h"

namespace {

using testbed::Env;
using testbed::FakeTerminal;
using testbed::NowMs;
using testbed::RunUnix;
using testbed::WaitFor;

constexpr double kRate = 48000;
constexpr double kLeadSeconds = 1;    // noise before the signal in the recording
constexpr int kBandListShown = 1015;  // zkmodem's "Band list" check box

struct Engine {
  std::string folder, unixFolder;
  PROCESS_INFORMATION process{};
  std::string pid;  // the Linux process's
};

Engine StartEngine(const std::string& name, const std::string& ini) {
  Engine e;
  e.folder = testbed::MakeFolder(name);
  e.unixFolder = testbed::UnixWork() + "/" + name;
  CopyFileA(Env("ZK_ZKMODEM").c_str(), (e.folder + "\\zkmodem.exe").c_str(), FALSE);
  testbed::WriteFile(e.folder + "\\zkmodem.ini", ini);
  testbed::WriteFile(e.folder + "\\" + name + ".marker", "");
  std::string line = "\"" + e.folder + "\\zkmodem.exe\" -s";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, e.folder.c_str(), &startup, &e.process);
  WaitFor([&] { return !(e.pid = bench::LinuxPidOf("zkmodem.exe", name + ".marker")).empty(); }, 15000);
  return e;
}

void EndEngine(Engine& e, FakeTerminal& terminal) {
  terminal.Post(2, 0);
  if (WaitForSingleObject(e.process.hProcess, 10000) != WAIT_OBJECT_0) std::printf("  (the engine did not end)\n");
  CloseHandle(e.process.hProcess);
  CloseHandle(e.process.hThread);
}

// Percent of one core the engine (and of that its window's thread, the process's first) and
// the wineserver spend over `seconds`.
void MeasureCpu(const Engine& e, const char* what, int seconds) {
  const std::string server = Env("ZK_WINESERVER_PID"), window = e.pid + "\\task\\" + e.pid;
  const double engine0 = bench::LinuxCpuMs(e.pid), window0 = bench::LinuxCpuMs(window);
  const double server0 = bench::LinuxCpuMs(server), start = NowMs();
  Sleep(static_cast<DWORD>(seconds * 1000));
  const double elapsed = NowMs() - start;
  const double engine = (bench::LinuxCpuMs(e.pid) - engine0) / elapsed * 100;
  const double shown = (bench::LinuxCpuMs(window) - window0) / elapsed * 100;
  const double wine = server.empty() ? -1 : (bench::LinuxCpuMs(server) - server0) / elapsed * 100;
  std::printf("| %-44s | %5.1f %% | %5.1f %% | %5.1f %% | %5.1f %% |\n", what, engine, shown, wine,
              engine + std::max(0.0, wine));
}

void Minimise(HWND engine) {
  ShowWindow(engine, SW_MINIMIZE);
  if (!WaitFor([&] { return IsIconic(engine) != 0; }, 3000)) std::printf("  (the window did not minimise)\n");
  Sleep(1000);
}

// Where each character's last stop element ends, in ms from the first sample.
std::vector<double> CharacterEnds(const std::string& text, double* lengthMs) {
  zk::ModemSettings s;
  s.sampleRate = kRate;
  zk::Modulator m(s);
  for (char c : text) m.Queue(c);
  m.Finish();
  std::vector<float> block(960);
  std::vector<double> ends;
  uint64_t samples = 0;
  for (zk::SentChar sent; m.keyed(); samples += block.size()) {
    m.Render(block.data(), block.size());
    while (m.PopSent(&sent)) ends.push_back(static_cast<double>(sent.endSample) * 1000 / kRate);
  }
  *lengthMs = static_cast<double>(samples) * 1000 / kRate;
  return ends;
}

void Percentiles(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("| %-44s | none |\n", what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double p) { return ms[static_cast<size_t>(p * static_cast<double>(ms.size() - 1))]; };
  const auto late = std::count_if(ms.begin(), ms.end(), [](double t) { return t > 100; });
  std::printf("| %-44s | %6.1f | %6.1f | %6.1f | %6.1f | %zu | %d |\n", what, at(0.5), at(0.9), ms.back(), ms.front(),
              ms.size(), static_cast<int>(late));
}

// Arrival of each received character against the end of the sent one it matches.
std::vector<double> Latencies(const std::vector<FakeTerminal::Message>& got, const std::string& text,
                              const std::vector<double>& ends, double startMs) {
  std::vector<double> out;
  size_t next = 0;
  for (const auto& m : got) {
    if (m.code != 0x8003) continue;
    for (size_t k = next; k < text.size() && k < next + 3; ++k) {
      if (text[k] != static_cast<char>(m.value)) continue;
      out.push_back(m.ms - startMs - ends[k]);
      next = k + 1;
      break;
    }
  }
  return out;
}

void ReceiveFromFile(const std::string& text, int seconds) {
  Engine e = StartEngine("engine_rx_file", "rxfile rx.wav\nwindowloc 0 0 760 480\n");
  FakeTerminal terminal(e.process.dwProcessId);
  terminal.Start();
  HWND window = terminal.WaitForEngine();
  Sleep(2000);
  MeasureCpu(e, "receiving from a file, window shown", seconds);
  Minimise(window);
  MeasureCpu(e, "receiving from a file, minimised", seconds);
  double lengthMs = 0;
  const std::vector<double> ends = CharacterEnds(text, &lengthMs);
  const double startMs = terminal.linkedMs() + kLeadSeconds * 1000;
  WaitFor([&] { return NowMs() > startMs + lengthMs + 3000; }, 600000);
  const std::string got = terminal.Text();
  std::printf("\nreceived %zu characters of %zu sent; first: %.40s\n\n", got.size(), text.size(), got.c_str());
  std::printf(
      "| receive latency, ms | median | 90 %% | worst | best | characters | over 100 ms |\n|---|---|---|---|---|---|---|\n");
  const std::vector<double> latencies = Latencies(terminal.Messages(), text, ends, startMs);
  Percentiles("end of stop element to the terminal", latencies);
  // The first two characters come together, once the squelch has opened on the signal.
  if (latencies.size() > 2) {
    std::printf("| %-44s | %6.1f | %6.1f |\n", "the first two characters", latencies[0], latencies[1]);
    Percentiles("every character after them", {latencies.begin() + 2, latencies.end()});
  }
  EndEngine(e, terminal);
}

// Three stations heard together (G4XYZ at 1275 Hz, DL2ABC at 1700, W1AW at 2125, each 3 dB
// above the noise): the band list shown, each station listed, and then hidden by its check box.
void ReceiveBand(const std::string& text, int seconds) {
  const std::string unix = testbed::UnixWork() + "/engine_band/", tools = Env("ZK_SIM_DIR");
  testbed::MakeFolder("engine_band");
  std::string make, mix;
  for (const auto& [mark, call] : {std::pair{"1275", "G4XYZ"}, {"1700", "DL2ABC"}, {"2125", "W1AW"}}) {
    std::string own = text;
    for (size_t at = 0; (at = own.find("W1AW", at)) != std::string::npos; at += 4) own.replace(at, 4, call);
    testbed::WriteFile(testbed::WinWork() + "\\engine_band\\" + call + ".txt", own.substr(0, text.size()));
    make += tools + "/zkrtty tx --rate 48000 --mark " + mark + " " + unix + call + ".wav <" + unix + call + ".txt && ";
    mix += (mix.empty() ? "" : ",") + unix + call + ".wav";
  }
  if (RunUnix(make + tools + "/noisy_wav " + mix + " " + unix + "band.wav 3 1 0 2") != 0) {
    std::printf("  (the three-station recording could not be made)\n");
    return;
  }
  Engine e = StartEngine("engine_band", "rxfile band.wav\nbandlist 1\nwindowloc 0 0 760 480\n");
  FakeTerminal terminal(e.process.dwProcessId);
  terminal.Start();
  HWND window = terminal.WaitForEngine();
  HWND list = FindWindowExA(window, nullptr, "SysListView32", nullptr);
  if (!WaitFor([&] { return SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) >= 3; }, 20000))
    std::printf("  (the band list did not show three stations)\n");
  MeasureCpu(e, "three stations, band list shown", seconds);
  SendDlgItemMessageA(window, kBandListShown, BM_CLICK, 0, 0);
  Sleep(1000);
  MeasureCpu(e, "three stations, band list hidden", seconds);
  EndEngine(e, terminal);
}

void ReceiveFromSoundCard(const std::string& wav, int seconds) {
  Engine e = StartEngine("engine_rx_pulse", "indevice Monitor of zkloop\nwindowloc 0 0 760 480\n");
  FakeTerminal terminal(e.process.dwProcessId);
  terminal.Start();
  HWND window = terminal.WaitForEngine();
  const std::string pidFile = e.unixFolder + "/paplay.pid";
  const double played = NowMs();
  RunUnix("paplay --device=zkloop " + wav + " >/dev/null 2>&1 </dev/null & echo $! >" + pidFile);
  Sleep(2000);
  MeasureCpu(e, "receiving from the null sink, window shown", seconds);
  Minimise(window);
  MeasureCpu(e, "receiving from the null sink, minimised", seconds);
  RunUnix("kill $(cat " + pidFile + ")");
  const double stopped = NowMs();
  Sleep(1000);  // what was on its way when the player stopped
  const std::string got = terminal.Text();
  double first = -1, last = -1;
  for (const auto& m : terminal.Messages())
    if (m.code == 0x8003) (first < 0 ? first : last) = m.ms - played;
  std::printf(
      "  (%zu characters received from the null sink in the %.1f s the player ran, the first %.1f s and "
      "the last %.1f s after its start: %.300s)\n",
      got.size(), (stopped - played) / 1000, first / 1000, last / 1000, got.c_str());
  EndEngine(e, terminal);
}

void Transmit(const char* what, const std::string& name, const std::string& ini) {
  Engine e = StartEngine(name, ini + "windowloc 0 0 760 480\n");
  FakeTerminal terminal(e.process.dwProcessId);
  terminal.Start();
  terminal.WaitForEngine();
  Sleep(1000);
  const std::string text = "CQ CQ DE N0CALL N0CALL N0CALL PSE K";
  double lengthMs = 0;
  const std::vector<double> ends = CharacterEnds(text, &lengthMs);
  const double switched = NowMs();
  terminal.Post(3, 2);
  for (char c : text) terminal.Post(4, c);
  terminal.Post(3, 1);
  double endedMs = -1;
  WaitFor(
      [&] {
        for (const auto& m : terminal.Messages())
          if (m.code == 0x8004) endedMs = m.ms;
        return endedMs > 0;
      },
      60000);
  const std::vector<double> lags = Latencies(terminal.Messages(), text, ends, switched);
  const double start = lags.empty() ? 0 : *std::min_element(lags.begin(), lags.end());
  // The engine renders in 20 ms blocks: the signal's last block is played whole.
  const double playedMs = std::ceil(lengthMs / 20) * 20;
  std::vector<double> late;
  for (double lag : lags) late.push_back(lag - start);
  std::printf("| %-28s | %6.1f | %6.1f | %6.1f | %6.1f | %zu of %zu |\n", what, start,
              late.empty() ? 0 : *std::max_element(late.begin(), late.end()),
              endedMs > 0 ? endedMs - switched - start - playedMs : -1, playedMs, terminal.TextUntilEnd().size(),
              text.size());
  EndEngine(e, terminal);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const std::string phases = argc > 2 ? argv[2] : "file,band,card,tx";
  const auto wanted = [&](const char* phase) { return phases.find(phase) != std::string::npos; };
  // Long enough for both CPU phases and the settling around them.
  std::string text;
  // Numbered lines, so a stretch lost on the way shows as a gap in the numbers.
  for (int n = 1; text.size() * 165 < static_cast<size_t>(2 * seconds + 8) * 1000; ++n)
    text += "CQ DE W1AW NR " + std::to_string(n) + " K ";
  testbed::MakeFolder("engine_rx_file");
  const std::string unix = testbed::UnixWork() + "/engine_rx_file/";
  testbed::WriteFile(testbed::WinWork() + "\\engine_rx_file\\text.txt", text);
  const std::string tools = Env("ZK_SIM_DIR");
  if (RunUnix(tools + "/zkrtty tx --rate 48000 " + unix + "clean.wav <" + unix + "text.txt && " + tools +
              "/noisy_wav " + unix + "clean.wav " + unix + "rx.wav -5 1 0 1") != 0) {
    std::printf("the recording could not be made\n");
    return 1;
  }
  const char* heading =
      "\n| CPU, share of one core | zkmodem | of it its window's thread | wineserver | together |\n"
      "|---|---|---|---|---|\n";
  if (wanted("file")) {
    std::printf("%s", heading);
    ReceiveFromFile(text, seconds);
  }
  if (wanted("band")) {
    std::printf("%s", heading);
    ReceiveBand(text, seconds);
  }
  if (wanted("card")) {
    std::printf("%s", heading);
    ReceiveFromSoundCard(unix + "rx.wav", seconds);
  }
  if (!wanted("tx")) return 0;
  std::printf(
      "\n| transmit, ms | audio start after the switch | echo later than that, worst | end report after the last sample | audio | echoed |\n"
      "|---|---|---|---|---|---|\n");
  Transmit("into a file", "engine_tx_file", "txfile tx.wav\n");
  Transmit("into the null sink", "engine_tx_pulse", "outdevice zkloop\n");
  return 0;
}
