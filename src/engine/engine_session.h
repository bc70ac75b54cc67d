// One run of the engine: the audio, the receiver, the transmit path, PTT and the link with
// the terminal, and every decision between them: when the input is opened again, when
// PTT is made again, the order in which a transmission ends (output closed, PTT released,
// the terminal told), the one transmit file kept across transmissions, and what happens
// when a card, a file or PTT fails (said in the status; the link goes on). It runs on one
// thread, which calls Pump whenever a card has moved audio and every PumpEveryMs.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_ports.h"
#include "engine/engine_rules.h"
#include "engine/engine_settings.h"
#include "modem/demodulator.h"
#include "modem/passband.h"
#include "modem/resampler.h"
#include "modem/spectrum.h"
#include "modem/transmit_path.h"
#include "modem/wav.h"

namespace zk {

// The waterfall's width in columns (5 Hz each).
constexpr int kWaterfallColumns = 600;

// A signal of the band list as the window shows it.
struct BandRow {
  int id = 0;  // the same while the signal is listed
  double markHz = 0, spaceHz = 0;
  double snrDb = -99;
  bool open = false;     // heard now
  std::string text;      // its last characters on one line: a line end shows as a blank
  std::string callSign;  // the last call sign in its text, or ""
};

// A click this close to a listed signal's mark or space means that signal.
constexpr double kSignalClickHz = 30;
// The row whose mark or space is within kSignalClickHz of `hz`, or null.
const BandRow* SignalAt(const std::vector<BandRow>& rows, double hz);

// What the window shows.
struct EngineStatus {
  double markHz = 0;
  double snrDb = -99;
  float peak = 0;  // the largest input magnitude since the status was last taken
  bool transmitting = false;
  bool linked = false;
  std::string input;  // what the receiver hears, and what is transmitted into
  std::string output;
  std::string ptt;
  std::string problem;        // the last thing that went wrong, empty when none
  std::vector<BandRow> band;  // every signal in the passband by mark; empty while the list is not wanted
};

class EngineSession : private EngineHost {
 public:
  // `folder` is where file names without a folder are taken from.
  EngineSession(EngineDevices& devices, Clock& clock, TerminalLink& terminal, bool startedByTerminal,
                std::string folder);
  ~EngineSession() override { Close(); }

  // Opens the input and PTT and announces the engine.
  void Start(const EngineSettings& settings);
  void Apply(const EngineSettings& settings);
  void SetMark(double hz);
  // Tunes the receiver to a signal of the band list, by its row's id.
  void TuneTo(int id);
  // The waterfall and the band list are only worked out while someone can see them.
  void SetVisible(bool visible);
  // Whether the window shows the band list; the receiver goes on undisturbed either way.
  void SetBandList(bool shown);
  // A message from the terminal, or from anyone: the rules check it.
  void FromTerminal(uintptr_t code, intptr_t value) { rules_.Handle(code, value); }

  void Pump();
  // How often Pump must come besides the cards' events: every input block while a file
  // plays or a transmission is under way (the clock paces them), else only for the link.
  int PumpEveryMs() const { return fileInput_ || output_ ? kInputBlockMs : kIdleMs; }
  // Output closed, PTT released, the transmit file finished, input closed.
  void Close();

  // The terminal asked the engine to end.
  bool exitAsked() const { return exitAsked_; }
  // The band list's rows are worked out here, as often as the window looks.
  EngineStatus TakeStatus();
  // The next waterfall row, oldest first.
  bool PopRow(std::vector<uint8_t>* row) { return spectrum_ && spectrum_->PopLine(row); }

 private:
  static constexpr int kIdleMs = 100;  // the link's reports and announcements need no more

  void Linked() override;
  void Receive() override { transmit_->Stop(); }
  void Transmit() override;
  void Finish() override { transmit_->Finish(); }
  void Send(char ch) override { transmit_->Queue(ch); }
  void Exit() override { exitAsked_ = true; }

  void OpenInput();
  void MakeReceiver();
  void MakeBandDecoder();
  void ShowBand();
  void HearBand();
  void MakePtt();
  void DescribeOutput();
  void KeyUp();
  void OpenOutput();
  bool OpenTxFile(const std::string& path, int rate);
  void PumpInput();
  void PumpOutput();
  void EndTransmission();
  void Problem(const std::string& text) { status_.problem = text; }
  std::string ResolvePath(const std::string& path) const;

  EngineDevices& devices_;
  Clock& clock_;
  EngineRules rules_;
  bool startedByTerminal_;
  std::string folder_;
  EngineSettings settings_;
  EngineStatus status_;
  std::unique_ptr<AudioInput> input_;
  bool fileInput_ = false;
  std::unique_ptr<Demodulator> receiver_;
  std::unique_ptr<Spectrum> spectrum_;
  std::unique_ptr<PassbandDecoder> band_;  // only while the band list is shown and visible
  std::vector<BandCharacter> bandText_;    // its characters of one pass: the band list shows their tails
  std::unique_ptr<Resampler> bandRate_;    // the input brought down to about kBandRate for it
  std::vector<float> bandSamples_;
  std::unique_ptr<AudioOutput> output_;
  std::unique_ptr<TransmitPath> transmit_;
  std::unique_ptr<Ptt> ptt_;
  WavFile txFile_;
  std::string txFileKey_;  // the file's path and rate
  bool fileBegun_ = false;
  bool visible_ = true;
  bool keyed_ = false;
  bool pendingPtt_ = false;  // PTT settings changed while transmitting
  bool exitAsked_ = false;
  std::vector<float> samples_, block_;
};

}  // namespace zk
