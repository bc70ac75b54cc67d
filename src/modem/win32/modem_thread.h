// The modem's own thread: it owns the audio, the receiver, the transmit path and PTT,
// takes requests from the window thread and tells the window what happened by posting
// it messages, so the window thread never waits for audio and the audio never waits for
// the window.
#pragma once
#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "modem/demodulator.h"
#include "modem/engine_settings.h"
#include "modem/spectrum.h"
#include "modem/transmit_path.h"
#include "modem/win32/audio.h"
#include "modem/win32/ptt.h"

// Posted to the window: a decoded character (wParam), a character whose audio has gone
// out (wParam), the end of a transmission, new waterfall rows.
constexpr UINT WM_MODEM_DECODED = WM_APP + 1;
constexpr UINT WM_MODEM_ECHOED = WM_APP + 2;
constexpr UINT WM_MODEM_ENDED = WM_APP + 3;
constexpr UINT WM_MODEM_ROWS = WM_APP + 4;

// The waterfall's width in columns (5 Hz each).
constexpr int kWaterfallColumns = 600;

// What the window shows, as the modem thread last saw it.
struct ModemStatus {
  double markHz = 0;
  double snrDb = -99;
  float peak = 0;         // the largest input magnitude since the window last looked
  bool transmitting = false;
  std::string input;      // what the receiver hears, and what is transmitted into
  std::string output;
  std::string ptt;
  std::string problem;    // the last thing that went wrong, empty when none
};

class ModemThread {
 public:
  ~ModemThread() { Stop(); }

  bool Start(HWND window, const zk::EngineSettings& settings);
  // Ends the thread: audio closed, PTT released, the transmitted file finished.
  void Stop();

  void Receive() { Post({Command::kReceive}); }
  void Transmit() { Post({Command::kTransmit}); }
  void Finish() { Post({Command::kFinish}); }
  void Send(char ch) { Post({Command::kSend, ch}); }
  void SetMark(double hz) { Post({Command::kMark, 0, hz}); }
  void BeginFile() { Post({Command::kBeginFile}); }
  void Apply(const zk::EngineSettings& settings);
  // The waterfall is only worked out while someone can see it.
  void SetVisible(bool visible) { Post({Command::kVisible, 0, visible ? 1.0 : 0.0}); }

  ModemStatus TakeStatus();
  // Moves the rows computed since the last call into `rows`.
  void TakeRows(std::vector<std::vector<uint8_t>>* rows);

 private:
  struct Command {
    enum Kind { kReceive, kTransmit, kFinish, kSend, kMark, kBeginFile, kApply, kVisible, kStop };
    Command(Kind k, char c = 0, double v = 0, std::shared_ptr<zk::EngineSettings> s = nullptr)
        : kind(k), ch(c), value(v), settings(std::move(s)) {}
    Kind kind;
    char ch;
    double value;
    std::shared_ptr<zk::EngineSettings> settings;
  };

  static DWORD WINAPI Main(void* self);
  void Run();
  void Post(Command command);
  bool RunCommands();
  void Do(const Command& c);
  void OpenInput();
  void MakeReceiver();
  void ApplySettings(const zk::EngineSettings& s);
  void StartTransmitting();
  void PumpInput();
  void PumpOutput();
  void EndTransmission();
  void Problem(const std::string& text);
  void Publish();
  std::string ResolvePath(const std::string& path) const;

  HWND window_ = nullptr;
  HANDLE thread_ = nullptr;
  HANDLE wake_ = nullptr;
  std::mutex mutex_;  // guards what is below it up to the thread's own state
  std::deque<Command> commands_;
  ModemStatus status_;
  std::vector<std::vector<uint8_t>> rows_;
  bool rowsPosted_ = false;

  // The thread's own.
  zk::EngineSettings settings_;
  std::string folder_;
  std::unique_ptr<AudioInput> input_;
  std::unique_ptr<zk::Demodulator> receiver_;
  std::unique_ptr<zk::Spectrum> spectrum_;
  std::unique_ptr<AudioOutput> output_;
  std::unique_ptr<zk::TransmitPath> transmit_;
  std::unique_ptr<Ptt> ptt_;
  TxFile txFile_;
  std::string txFileKey_;  // the file's path and rate
  bool fileBegun_ = false;
  bool visible_ = true;
  bool keyed_ = false;
  bool pendingPtt_ = false;  // settings changed while transmitting
  float peak_ = 0;
  std::vector<float> samples_;
};
