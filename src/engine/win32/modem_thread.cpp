#include "engine/win32/modem_thread.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/win32/ptt.h"
#include "engine/win32/wave_audio.h"

namespace {

constexpr DWORD kStopWaitMs = 5000;
constexpr size_t kRowsKept = 64;
constexpr double kUpdateEveryMs = 100;  // the status shown, when no waterfall row comes first

// Sets `timer` going off every `ms`; returns `ms`.
int Tick(HANDLE timer, int ms) {
  LARGE_INTEGER due;
  due.QuadPart = -10000LL * ms;
  SetWaitableTimer(timer, &due, ms, nullptr, nullptr, FALSE);
  return ms;
}

std::string ExeFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ".";
  char* slash = std::strrchr(path, '\\');
  return slash ? std::string(path, slash) : ".";
}

class Devices : public zk::EngineDevices {
 public:
  explicit Devices(WakeEvents& wake) : wake_(wake) {}
  std::unique_ptr<zk::AudioInput> OpenInput(const std::string& name, int rate, std::string* problem) override {
    return OpenWaveInput(name, rate, wake_, problem);
  }
  std::unique_ptr<zk::AudioOutput> OpenOutput(const std::string& name, int rate, std::string* problem) override {
    return OpenWaveOutput(name, rate, wake_, problem);
  }
  std::unique_ptr<zk::Ptt> MakePtt(const zk::EngineSettings& settings) override { return ::MakePtt(settings); }

 private:
  WakeEvents& wake_;
};

class SteadyClock : public zk::Clock {
 public:
  double NowMs() override { return ::NowMs(); }
};

// The registered message, posted: the window thread of neither program is waited for.
class WindowLink : public zk::TerminalLink {
 public:
  WindowLink(HWND window, UINT message) : window_(window), message_(message) {}
  void Announce() override {
    PostMessageA(HWND_BROADCAST, message_, zk::engine::kAnnounce, reinterpret_cast<LPARAM>(window_));
  }
  void Post(intptr_t window, uint32_t code, intptr_t value) override {
    PostMessageA(reinterpret_cast<HWND>(window), message_, code, value);
  }

 private:
  HWND window_;
  UINT message_;
};

}  // namespace

bool ModemThread::Start(HWND window, UINT message, bool startedByTerminal, const zk::EngineSettings& settings) {
  window_ = window;
  message_ = message;
  startedByTerminal_ = startedByTerminal;
  first_ = settings;
  wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Main, this, 0, nullptr);
  return thread_ != nullptr;
}

void ModemThread::Stop() {
  if (!thread_) return;
  Post({Command::kStop});
  // A thread that does not end in time is left to the process's end, never killed.
  WaitForSingleObject(thread_, kStopWaitMs);
  CloseHandle(thread_);
  CloseHandle(wake_);
  thread_ = wake_ = nullptr;
}

void ModemThread::Apply(const zk::EngineSettings& settings) {
  Command c(Command::kApply);
  c.settings = std::make_shared<zk::EngineSettings>(settings);
  Post(std::move(c));
}

void ModemThread::Post(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(std::move(command));
  }
  SetEvent(wake_);
}

zk::EngineStatus ModemThread::Take(std::vector<std::vector<uint8_t>>* rows) {
  std::lock_guard<std::mutex> lock(mutex_);
  rows->swap(rows_);
  rows_.clear();
  posted_ = false;
  return status_;
}

DWORD WINAPI ModemThread::Main(void* self) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  static_cast<ModemThread*>(self)->Run();
  return 0;
}

// A periodic timer keeps the session's cadence: a file's blocks then come every 10 ms
// however long a pass takes, as a card's would.
void ModemThread::Run() {
  WakeEvents wake;
  Devices devices(wake);
  SteadyClock clock;
  WindowLink link(window_, message_);
  zk::EngineSession session(devices, clock, link, startedByTerminal_, ExeFolder());
  session.Start(first_);
  HANDLE ticker = CreateWaitableTimerA(nullptr, FALSE, nullptr);
  int period = 0;
  bool closing = false;
  for (;;) {
    if (ticker && session.PumpEveryMs() != period) period = Tick(ticker, session.PumpEveryMs());
    HANDLE handles[MAXIMUM_WAIT_OBJECTS] = {wake_, ticker};
    DWORD count = ticker ? 2 : 1;
    for (HANDLE event : wake.events())
      if (count < MAXIMUM_WAIT_OBJECTS) handles[count++] = event;
    WaitForMultipleObjects(count, handles, FALSE, ticker ? INFINITE : static_cast<DWORD>(session.PumpEveryMs()));
    if (!RunCommands(session)) break;
    session.Pump();
    Publish(session);
    if (session.exitAsked() && !closing) closing = PostMessageA(window_, WM_CLOSE, 0, 0);
  }
  session.Close();
  if (ticker) CloseHandle(ticker);
}

// False once asked to stop.
bool ModemThread::RunCommands(zk::EngineSession& session) {
  std::deque<Command> commands;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands.swap(commands_);
  }
  for (const Command& c : commands) {
    switch (c.kind) {
      case Command::kApply: session.Apply(*c.settings); break;
      case Command::kMark: session.SetMark(c.value); break;
      case Command::kTuneTo: session.TuneTo(static_cast<int>(c.value)); break;
      case Command::kVisible:
        visible_ = c.value != 0;
        session.SetVisible(visible_);
        break;
      case Command::kBandList: session.SetBandList(c.value != 0); break;
      case Command::kTerminal: session.FromTerminal(c.code, c.argument); break;
      case Command::kStop: return false;
    }
  }
  return true;
}

// One update at a time, and none while nobody can see it; the status is only worked out
// for an update.
void ModemThread::Publish(zk::EngineSession& session) {
  std::vector<uint8_t> row;
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    while (session.PopRow(&row)) {
      if (rows_.size() >= kRowsKept) rows_.erase(rows_.begin());
      rows_.push_back(std::move(row));
    }
    const double now = NowMs();
    if (visible_ && !posted_ && (!rows_.empty() || now - postedMs_ >= kUpdateEveryMs)) {
      status_ = session.TakeStatus();
      post = posted_ = true;
      postedMs_ = now;
    }
  }
  if (post) PostMessageA(window_, WM_MODEM_UPDATE, 0, 0);
}
