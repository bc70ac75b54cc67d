#include "modem/win32/modem_thread.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kStopWaitMs = 5000;
constexpr DWORD kDrainPollMs = 10;  // how often a transmission's end is looked for
constexpr size_t kRowsKept = 64;

std::string ExeFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ".";
  char* slash = std::strrchr(path, '\\');
  return slash ? std::string(path, slash) : ".";
}

std::string DeviceName(const std::string& name) { return name.empty() ? "the default device" : name; }

}  // namespace

bool ModemThread::Start(HWND window, const zk::EngineSettings& settings) {
  window_ = window;
  settings_ = settings;
  folder_ = ExeFolder();
  wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  Post({Command::kApply, 0, 0, std::make_shared<zk::EngineSettings>(settings)});
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
  Post({Command::kApply, 0, 0, std::make_shared<zk::EngineSettings>(settings)});
}

void ModemThread::Post(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(std::move(command));
  }
  SetEvent(wake_);
}

ModemStatus ModemThread::TakeStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  ModemStatus s = status_;
  status_.peak = 0;
  return s;
}

void ModemThread::TakeRows(std::vector<std::vector<uint8_t>>* rows) {
  std::lock_guard<std::mutex> lock(mutex_);
  rows->swap(rows_);
  rows_.clear();
  rowsPosted_ = false;
}

DWORD WINAPI ModemThread::Main(void* self) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  static_cast<ModemThread*>(self)->Run();
  return 0;
}

void ModemThread::Run() {
  for (;;) {
    HANDLE handles[3] = {wake_};
    DWORD count = 1;
    if (input_ && input_->event()) handles[count++] = input_->event();
    if (output_ && output_->event()) handles[count++] = output_->event();
    WaitForMultipleObjects(count, handles, FALSE, output_ ? kDrainPollMs : INFINITE);
    if (!RunCommands()) break;
    PumpInput();
    PumpOutput();
    Publish();
  }
  output_.reset();
  if (keyed_ && ptt_) ptt_->Set(false);
  ptt_.reset();
  input_.reset();
  txFile_.Close();
}

// False once asked to stop.
bool ModemThread::RunCommands() {
  std::deque<Command> commands;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    commands.swap(commands_);
  }
  for (const Command& c : commands) {
    if (c.kind == Command::kStop) return false;
    Do(c);
  }
  return true;
}

void ModemThread::Do(const Command& c) {
  switch (c.kind) {
    case Command::kReceive: transmit_->Stop(); break;
    case Command::kTransmit: StartTransmitting(); break;
    case Command::kFinish: transmit_->Finish(); break;
    case Command::kSend: transmit_->Queue(c.ch); break;
    case Command::kMark:
      settings_.mark = c.value;
      receiver_->SetMark(c.value);
      break;
    case Command::kBeginFile:
      fileBegun_ = true;
      if (input_) input_->Begin();
      break;
    case Command::kApply: ApplySettings(*c.settings); break;
    case Command::kVisible:
      visible_ = c.value != 0;
      if (spectrum_) spectrum_->Clear();
      break;
    case Command::kStop: break;
  }
}

void ModemThread::ApplySettings(const zk::EngineSettings& s) {
  const bool first = !receiver_;
  const bool inputChanged = first || s.inDevice != settings_.inDevice || s.sampleRate != settings_.sampleRate ||
                            s.rxFile != settings_.rxFile;
  const bool pttChanged = first || s.ptt != settings_.ptt || s.pttPort != settings_.pttPort ||
                          s.rigctldHost != settings_.rigctldHost || s.rigctldPort != settings_.rigctldPort;
  settings_ = s;
  if (!transmit_) transmit_ = std::make_unique<zk::TransmitPath>(zk::ModemSettingsOf(s, s.sampleRate), zk::ModulatorOptions{});
  if (inputChanged) {
    OpenInput();
  } else {
    MakeReceiver();
  }
  if (pttChanged && keyed_) {
    pendingPtt_ = true;
  } else if (pttChanged) {
    ptt_ = MakePtt(s);
    if (!ptt_->Set(false)) Problem(ptt_->problem());
  }
  std::lock_guard<std::mutex> lock(mutex_);
  status_.ptt = ptt_ ? ptt_->Describe() : "";
  status_.output = s.txFile.empty() ? "Output: " + DeviceName(s.outDevice) : "Output: file " + s.txFile;
}

void ModemThread::OpenInput() {
  input_.reset();
  std::string problem, described;
  if (!settings_.rxFile.empty()) {
    input_ = OpenFileInput(ResolvePath(settings_.rxFile), &problem);
    if (input_ && fileBegun_) input_->Begin();
    described = "Input: file " + settings_.rxFile;
  } else {
    input_ = OpenDeviceInput(settings_.inDevice, settings_.sampleRate, &problem);
    described = "Input: " + DeviceName(settings_.inDevice);
  }
  if (input_) described += ", " + std::to_string(static_cast<long>(input_->rate())) + " Hz";
  if (!input_) Problem(problem);
  MakeReceiver();
  std::lock_guard<std::mutex> lock(mutex_);
  status_.input = input_ ? described : "Input: none";
}

void ModemThread::MakeReceiver() {
  const double rate = input_ ? input_->rate() : settings_.sampleRate;
  zk::DemodulatorOptions options;
  options.afc = settings_.afc;
  options.squelch = settings_.squelch;
  receiver_ = std::make_unique<zk::Demodulator>(zk::ModemSettingsOf(settings_, rate), options);
  spectrum_ = std::make_unique<zk::Spectrum>(rate, kWaterfallColumns);
}

void ModemThread::StartTransmitting() {
  if (!transmit_->active()) {
    const int rate = settings_.sampleRate;
    zk::ModulatorOptions options;
    options.amplitude = settings_.txLevel / 100.0;
    transmit_->Configure(zk::ModemSettingsOf(settings_, rate), options);
    // The transmitter is keyed before the first sample goes out.
    if (!ptt_->Set(true)) Problem(ptt_->problem());
    keyed_ = true;
    std::string problem;
    const std::string path = settings_.txFile.empty() ? "" : ResolvePath(settings_.txFile);
    const std::string fileKey = path + "@" + std::to_string(rate);
    if (txFile_.isOpen() && fileKey != txFileKey_) txFile_.Close();  // another file or rate, or the card again
    if (path.empty()) {
      output_ = OpenDeviceOutput(settings_.outDevice, rate, &problem);
    } else if (txFile_.isOpen() || txFile_.Open(path, rate)) {
      txFileKey_ = fileKey;
      output_ = OpenPacedOutput(rate, &txFile_);
    } else {
      problem = "cannot write " + settings_.txFile;
    }
    if (!output_) {
      Problem(problem);
      output_ = OpenPacedOutput(rate, nullptr);  // the terminal still sees the text go and end
    }
  }
  transmit_->Start();
}

void ModemThread::PumpInput() {
  if (!input_) return;
  samples_.clear();
  const bool more = input_->Read(samples_);
  std::string text;
  if (!samples_.empty()) {
    receiver_->Process(samples_.data(), samples_.size(), text);
    peak_ = std::max(peak_, receiver_->inputPeak());
    if (visible_) spectrum_->Process(samples_.data(), samples_.size());
  }
  if (!more) {
    receiver_->Flush(text);
    input_.reset();
    Problem("the receive file has been played to its end");
  }
  for (char c : text) PostMessageA(window_, WM_MODEM_DECODED, static_cast<uint8_t>(c), 0);
  std::vector<uint8_t> row;
  bool post = false;
  while (spectrum_->PopLine(&row)) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (rows_.size() >= kRowsKept) rows_.erase(rows_.begin());
    rows_.push_back(std::move(row));
    post = post || !rowsPosted_;
    rowsPosted_ = true;
  }
  if (post) PostMessageA(window_, WM_MODEM_ROWS, 0, 0);
}

void ModemThread::PumpOutput() {
  if (!output_) return;
  std::vector<float> block(static_cast<size_t>(settings_.sampleRate) * kOutputBlockMs / 1000);
  while (transmit_->NeedsAudio() && output_->HasRoom()) {
    transmit_->Render(block.data(), block.size());
    output_->Write(block.data(), block.size());
  }
  std::string echoed;
  transmit_->Played(output_->Played(), echoed);
  for (char c : echoed) PostMessageA(window_, WM_MODEM_ECHOED, static_cast<uint8_t>(c), 0);
  if (transmit_->Ended()) EndTransmission();
}

// Every sample has been played: the output closes, then PTT is released, then the
// window hears of it.
void ModemThread::EndTransmission() {
  output_.reset();
  if (!ptt_->Set(false)) Problem(ptt_->problem());
  keyed_ = false;
  transmit_->Reset();
  if (pendingPtt_) {
    pendingPtt_ = false;
    ptt_ = MakePtt(settings_);
    if (!ptt_->Set(false)) Problem(ptt_->problem());
  }
  PostMessageA(window_, WM_MODEM_ENDED, 0, 0);
}

void ModemThread::Problem(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.problem = text;
}

void ModemThread::Publish() {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.markHz = receiver_->markFrequency();
  status_.snrDb = receiver_->snrDb();
  status_.peak = std::max(status_.peak, peak_);
  status_.transmitting = keyed_;
  status_.ptt = ptt_ ? ptt_->Describe() : "";
  peak_ = 0;
}

std::string ModemThread::ResolvePath(const std::string& path) const {
  const bool absolute = path[0] == '\\' || path[0] == '/' || (path.size() > 1 && path[1] == ':');
  return absolute ? path : folder_ + "\\" + path;
}
