#include "engine/engine_session.h"

#include <algorithm>
#include <cmath>

#include "engine/file_audio.h"

namespace zk {
namespace {

// The band list's decoder hears the band at about this rate whatever the card's: every tone
// it looks for lies under 3 kHz, and a card's 48 kHz would cost it six times the work.
constexpr double kBandRate = 8000;
constexpr double kBandPassHz = 3000;
constexpr double kBandAliasDb = 60;

std::string DeviceName(const std::string& name) { return name.empty() ? "the default device" : name; }

bool SameInput(const EngineSettings& a, const EngineSettings& b) {
  return a.inDevice == b.inDevice && a.sampleRate == b.sampleRate && a.rxFile == b.rxFile;
}

bool SamePtt(const EngineSettings& a, const EngineSettings& b) {
  return a.ptt == b.ptt && a.pttPort == b.pttPort && a.rigctldHost == b.rigctldHost && a.rigctldPort == b.rigctldPort;
}

BandRow RowOf(const BandSignal& signal, const EngineSettings& s) {
  BandRow row;
  row.id = signal.id;
  row.markHz = signal.markHz;
  row.spaceHz = s.reverse ? signal.markHz - s.shift : signal.markHz + s.shift;
  row.snrDb = signal.snrDb;
  row.open = signal.open;
  row.callSign = signal.callSign;
  // Line ends and the bell are no text for one line of a list, nor is a blank at its start.
  for (char c : signal.tail) {
    if (c == ' ' && row.text.empty()) continue;
    if (static_cast<unsigned char>(c) >= ' ') {
      row.text.push_back(c);
    } else if (!row.text.empty() && row.text.back() != ' ') {
      row.text.push_back(' ');
    }
  }
  return row;
}

DemodulatorOptions ReceiverOptions(const EngineSettings& s) {
  DemodulatorOptions options;
  options.afc = s.afc;
  options.squelch = s.squelch;
  options.squelchDb = s.squelchDb;
  return options;
}

}  // namespace

const BandRow* SignalAt(const std::vector<BandRow>& rows, double hz) {
  for (const BandRow& row : rows)
    if (std::fabs(row.markHz - hz) <= kSignalClickHz || std::fabs(row.spaceHz - hz) <= kSignalClickHz) return &row;
  return nullptr;
}

EngineSession::EngineSession(EngineDevices& devices, Clock& clock, TerminalLink& terminal, bool startedByTerminal,
                             std::string folder)
    : devices_(devices),
      clock_(clock),
      rules_(terminal, *this, startedByTerminal),
      startedByTerminal_(startedByTerminal),
      folder_(std::move(folder)) {}

void EngineSession::Start(const EngineSettings& settings) {
  settings_ = settings;
  transmit_ = std::make_unique<TransmitPath>(ModemSettingsOf(settings, settings.sampleRate), ModulatorOptions{});
  OpenInput();
  MakePtt();
  DescribeOutput();
  rules_.Start(clock_.NowMs());
  // On its own it plays a receive file at once; started by a terminal, once linked.
  if (!startedByTerminal_) Linked();
}

void EngineSession::Apply(const EngineSettings& s) {
  const bool inputChanged = !SameInput(s, settings_), pttChanged = !SamePtt(s, settings_);
  settings_ = s;
  if (inputChanged) {
    OpenInput();
  } else {
    MakeReceiver();
  }
  // A transmitter keyed through one PTT is released through the same one.
  if (pttChanged && keyed_) {
    pendingPtt_ = true;
  } else if (pttChanged) {
    MakePtt();
  }
  DescribeOutput();
}

void EngineSession::SetMark(double hz) {
  settings_.mark = hz;
  receiver_->SetMark(hz);
}

void EngineSession::TuneTo(int id) {
  if (!band_) return;
  for (const BandSignal& signal : band_->signals())
    if (signal.id == id) return SetMark(signal.markHz);
}

void EngineSession::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (spectrum_) spectrum_->Clear();
  MakeBandDecoder();
}

void EngineSession::SetBandList(bool shown) {
  if (shown == settings_.bandList) return;
  settings_.bandList = shown;
  MakeBandDecoder();
}

void EngineSession::Pump() {
  PumpInput();
  PumpOutput();
  status_.markHz = receiver_->markFrequency();
  status_.snrDb = receiver_->snrDb();
  status_.transmitting = keyed_;
  status_.linked = rules_.linked();
  rules_.Tick(clock_.NowMs(), status_.markHz, status_.snrDb);
}

void EngineSession::Close() {
  output_.reset();
  if (keyed_ && ptt_) ptt_->Set(false);
  keyed_ = false;
  ptt_.reset();
  input_.reset();
  txFile_.Close();
}

EngineStatus EngineSession::TakeStatus() {
  ShowBand();
  EngineStatus s = status_;
  status_.peak = 0;
  return s;
}

void EngineSession::Linked() {
  fileBegun_ = true;
  if (input_) input_->Begin();
}

void EngineSession::Transmit() {
  if (!transmit_->active()) KeyUp();
  transmit_->Start();
}

void EngineSession::OpenInput() {
  input_.reset();  // a card may refuse a second opening
  std::string problem, described;
  if (!settings_.rxFile.empty()) {
    input_ = OpenFileInput(ResolvePath(settings_.rxFile), clock_, &problem);
    if (input_ && fileBegun_) input_->Begin();
    described = "Input: file " + settings_.rxFile;
  } else {
    input_ = devices_.OpenInput(settings_.inDevice, settings_.sampleRate, &problem);
    described = "Input: " + DeviceName(settings_.inDevice);
  }
  fileInput_ = input_ && !settings_.rxFile.empty();
  if (input_) {
    status_.input = described + ", " + std::to_string(static_cast<long>(input_->rate())) + " Hz";
  } else {
    status_.input = "Input: none";
    Problem(problem);
  }
  MakeReceiver();
}

void EngineSession::MakeReceiver() {
  const double rate = input_ ? input_->rate() : settings_.sampleRate;
  receiver_ = std::make_unique<Demodulator>(ModemSettingsOf(settings_, rate), ReceiverOptions(settings_));
  spectrum_ = std::make_unique<Spectrum>(rate, kWaterfallColumns);
  MakeBandDecoder();
}

// Made afresh whenever it is wanted again: a list hidden or minimised costs nothing.
void EngineSession::MakeBandDecoder() {
  band_.reset();
  status_.band.clear();
  if (!settings_.bandList || !visible_) return;
  const double rate = input_ ? input_->rate() : settings_.sampleRate;
  // A whole fraction of the card's rate, so every output falls on an input sample.
  const double bandRate = rate / std::max(1.0, std::floor(rate / kBandRate));
  bandRate_ = bandRate < rate ? std::make_unique<Resampler>(rate, bandRate, kBandPassHz, kBandAliasDb) : nullptr;
  band_ = std::make_unique<PassbandDecoder>(ModemSettingsOf(settings_, bandRate), ReceiverOptions(settings_));
}

void EngineSession::HearBand() {
  bandText_.clear();
  if (!bandRate_) return band_->Process(samples_.data(), samples_.size(), bandText_);
  bandSamples_.clear();
  Cf out;
  for (float x : samples_)
    if (bandRate_->Push(Cf(x, 0), &out)) bandSamples_.push_back(out.real());
  band_->Process(bandSamples_.data(), bandSamples_.size(), bandText_);
}

void EngineSession::ShowBand() {
  if (!band_) return;
  status_.band.clear();
  for (const BandSignal& signal : band_->signals()) status_.band.push_back(RowOf(signal, settings_));
}

void EngineSession::MakePtt() {
  ptt_ = devices_.MakePtt(settings_);
  if (!ptt_->Set(false)) Problem(ptt_->problem());
  status_.ptt = ptt_->Describe();
}

void EngineSession::DescribeOutput() {
  const EngineSettings& s = settings_;
  status_.output = s.txFile.empty() ? "Output: " + DeviceName(s.outDevice) : "Output: file " + s.txFile;
}

void EngineSession::KeyUp() {
  ModulatorOptions options;
  options.amplitude = settings_.txLevel / 100.0;
  transmit_->Configure(ModemSettingsOf(settings_, settings_.sampleRate), options);
  // The transmitter is keyed before the first sample goes out.
  if (!ptt_->Set(true)) Problem(ptt_->problem());
  keyed_ = true;
  OpenOutput();
}

void EngineSession::OpenOutput() {
  const int rate = settings_.sampleRate;
  block_.assign(static_cast<size_t>(rate) * kOutputBlockMs / 1000, 0.0f);
  std::string problem;
  if (settings_.txFile.empty()) {
    txFile_.Close();
    output_ = devices_.OpenOutput(settings_.outDevice, rate, &problem);
  } else if (OpenTxFile(ResolvePath(settings_.txFile), rate)) {
    output_ = OpenPacedOutput(rate, &txFile_, clock_);
  } else {
    problem = "cannot write " + settings_.txFile;
  }
  if (!output_) {
    Problem(problem);
    output_ = OpenPacedOutput(rate, nullptr, clock_);  // the terminal still sees the text go and end
  }
}

// One file for the whole run, one transmission after another, while its name and rate
// stay; another name or rate starts it afresh.
bool EngineSession::OpenTxFile(const std::string& path, int rate) {
  const std::string key = path + "@" + std::to_string(rate);
  if (txFile_.isOpen() && key == txFileKey_) return true;
  txFileKey_ = key;
  return txFile_.Open(path, static_cast<uint32_t>(rate));
}

void EngineSession::PumpInput() {
  if (!input_) return;
  samples_.clear();
  const bool more = input_->Read(samples_);
  std::string text;
  if (!samples_.empty()) {
    receiver_->Process(samples_.data(), samples_.size(), text);
    status_.peak = std::max(status_.peak, receiver_->inputPeak());
    if (visible_) spectrum_->Process(samples_.data(), samples_.size());
    if (band_) HearBand();
  }
  if (!more) {
    receiver_->Flush(text);
    if (band_) band_->Flush(bandText_);
    input_.reset();
    fileInput_ = false;
    Problem("the receive file has been played to its end");
  }
  for (char c : text) rules_.Decoded(c);
}

void EngineSession::PumpOutput() {
  if (!output_) return;
  while (transmit_->NeedsAudio() && output_->HasRoom()) {
    transmit_->Render(block_.data(), block_.size());
    output_->Write(block_.data(), block_.size());
  }
  std::string echoed;
  transmit_->Played(output_->Played(), echoed);
  for (char c : echoed) rules_.Echoed(c);
  if (transmit_->Ended()) EndTransmission();
}

// Every sample has been played: the output closes, then PTT is released, then the
// terminal hears of it.
void EngineSession::EndTransmission() {
  output_.reset();
  if (!ptt_->Set(false)) Problem(ptt_->problem());
  keyed_ = false;
  transmit_->Reset();
  if (pendingPtt_) {
    pendingPtt_ = false;
    MakePtt();
  }
  rules_.TransmissionEnded();
}

std::string EngineSession::ResolvePath(const std::string& path) const {
  const bool absolute = !path.empty() && (path[0] == '\\' || path[0] == '/' || (path.size() > 1 && path[1] == ':'));
  return absolute ? path : folder_ + "\\" + path;
}

}  // namespace zk
