// The modem's own thread: the wait loop that runs the engine session. It wakes for the
// window thread's requests, for the sound cards' events and at least as often as the
// session asks; the session talks to the terminal itself (posted messages need no
// window), and the window takes the status and the waterfall's rows, so neither thread
// ever waits for the other.
#pragma once
#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/engine_session.h"
#include "engine/engine_settings.h"

// Posted to the window about ten times a second while it can be seen: the status and new
// waterfall rows to take, together, so the waterfall is drawn once for both.
constexpr UINT WM_MODEM_UPDATE = WM_APP + 4;

class ModemThread {
 public:
  ~ModemThread() { Stop(); }

  // `message` is the link's registered message; the window is closed when the terminal
  // asks the engine to end.
  bool Start(HWND window, UINT message, bool startedByTerminal, const zk::EngineSettings& settings);
  // Ends the thread: audio closed, PTT released, the transmitted file finished.
  void Stop();

  void Apply(const zk::EngineSettings& settings);
  void SetMark(double hz) { Post({Command::kMark, hz}); }
  void TuneTo(int id) { Post({Command::kTuneTo, static_cast<double>(id)}); }
  void SetVisible(bool visible) { Post({Command::kVisible, visible ? 1.0 : 0.0}); }
  void SetBandList(bool shown) { Post({Command::kBandList, shown ? 1.0 : 0.0}); }
  void FromTerminal(WPARAM code, LPARAM value) { Post({Command::kTerminal, 0, code, value}); }

  // The status, and the rows computed since the last call moved into `rows`.
  zk::EngineStatus Take(std::vector<std::vector<uint8_t>>* rows);

 private:
  struct Command {
    enum Kind { kApply, kMark, kTuneTo, kVisible, kBandList, kTerminal, kStop };
    Command(Kind k, double v = 0, uintptr_t c = 0, intptr_t a = 0) : kind(k), value(v), code(c), argument(a) {}
    Kind kind;
    double value;
    uintptr_t code;
    intptr_t argument;
    std::shared_ptr<zk::EngineSettings> settings;
  };

  static DWORD WINAPI Main(void* self);
  void Run();
  void Post(Command command);
  bool RunCommands(zk::EngineSession& session);
  void Publish(zk::EngineSession& session);

  HWND window_ = nullptr;
  UINT message_ = 0;
  bool startedByTerminal_ = false;
  zk::EngineSettings first_;  // what the session starts with
  HANDLE thread_ = nullptr;
  HANDLE wake_ = nullptr;
  std::mutex mutex_;  // guards what is below it
  std::deque<Command> commands_;
  zk::EngineStatus status_;
  std::vector<std::vector<uint8_t>> rows_;
  bool posted_ = false;  // an update is on its way to the window
  double postedMs_ = 0;
  bool visible_ = true;
};
