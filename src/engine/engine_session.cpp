#include "engine/engine_session.h"

#include <algorithm>

#include "engine/file_audio.h"

namespace zk {
namespace {

std::string DeviceName(const std::string& name) { return name.empty() ? "the default device" : name; }

bool SameInput(const EngineSettings& a, const EngineSettings& b) {
  return a.inDevice == b.inDevice && a.sampleRate == b.sampleRate && a.rxFile == b.rxFile;
}

bool SamePtt(const EngineSettings& a, const EngineSettings& b) {
  return a.ptt == b.ptt && a.pttPort == b.pttPort && a.rigctldHost == b.rigctldHost && a.rigctldPort == b.rigctldPort;
}

}  // namespace

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

void EngineSession::SetVisible(bool visible) {
  visible_ = visible;
  if (spectrum_) spectrum_->Clear();
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
  DemodulatorOptions options;
  options.afc = settings_.afc;
  options.squelch = settings_.squelch;
  options.squelchDb = settings_.squelchDb;
  receiver_ = std::make_unique<Demodulator>(ModemSettingsOf(settings_, rate), options);
  spectrum_ = std::make_unique<Spectrum>(rate, kWaterfallColumns);
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
  }
  if (!more) {
    receiver_->Flush(text);
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
