#include "modem/win32/audio.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kInputBuffers = 20;  // 200 ms: room for a busy machine to look away
constexpr double kDrainLimitMs = 1000;  // a device whose clock stops short is taken as played

bool Done(const WAVEHDR& h) { return (*static_cast<volatile const DWORD*>(&h.dwFlags) & WHDR_DONE) != 0; }

int16_t ToPcm(float x) {
  const float clipped = std::max(-1.0f, std::min(1.0f, std::isfinite(x) ? x : 0.0f));
  return static_cast<int16_t>(std::lround(clipped * 32767.0f));
}

WAVEFORMATEX Format(int rate, int channels) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<WORD>(channels);
  f.nSamplesPerSec = static_cast<DWORD>(rate);
  f.wBitsPerSample = 16;
  f.nBlockAlign = static_cast<WORD>(2 * channels);
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  return f;
}

// A listed name, or one cut to the list's 31 characters.
bool SameDevice(const std::string& wanted, const char* listed) {
  const size_t n = std::strlen(listed);
  if (wanted.size() < n || _strnicmp(wanted.c_str(), listed, n) != 0) return false;
  return wanted.size() == n || n == MAXPNAMELEN - 1;
}

// WAVE_MAPPER for an empty name; false when no device has it.
bool FindDevice(const std::string& name, const std::vector<std::string>& names, UINT* id) {
  *id = WAVE_MAPPER;
  if (name.empty()) return true;
  for (size_t i = 0; i < names.size(); ++i) {
    if (SameDevice(name, names[i].c_str())) {
      *id = static_cast<UINT>(i);
      return true;
    }
  }
  return false;
}

std::string MmError(const char* what, MMRESULT r) {
  return std::string(what) + " (error " + std::to_string(r) + ")";
}

class WaveInput : public AudioInput {
 public:
  ~WaveInput() override {
    if (in_) {
      waveInReset(in_);
      for (WAVEHDR& h : headers_) waveInUnprepareHeader(in_, &h, sizeof h);
      waveInClose(in_);
    }
    if (event_) CloseHandle(event_);
  }

  bool Open(UINT device, int rate, std::string* problem) {
    rate_ = rate;
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    MMRESULT r = MMSYSERR_ERROR;
    // Mono where the card offers it, else the first of two channels.
    for (int channels = 1; channels <= 2 && r != MMSYSERR_NOERROR; ++channels) {
      const WAVEFORMATEX f = Format(rate, channels);
      const DWORD mapped = device == WAVE_MAPPER ? 0 : WAVE_MAPPED;
      r = waveInOpen(&in_, device, &f, reinterpret_cast<DWORD_PTR>(event_), 0, CALLBACK_EVENT | mapped);
      channels_ = channels;
    }
    if (r != MMSYSERR_NOERROR) {
      in_ = nullptr;
      *problem = MmError("the input device did not open", r);
      return false;
    }
    const size_t block = static_cast<size_t>(rate) * kInputBlockMs / 1000 * channels_;
    for (int i = 0; i < kInputBuffers; ++i) {
      data_[i].assign(block, 0);
      headers_[i].lpData = reinterpret_cast<LPSTR>(data_[i].data());
      headers_[i].dwBufferLength = static_cast<DWORD>(block * 2);
      waveInPrepareHeader(in_, &headers_[i], sizeof headers_[i]);
      waveInAddBuffer(in_, &headers_[i], sizeof headers_[i]);
    }
    waveInStart(in_);
    return true;
  }

  HANDLE event() const override { return event_; }
  double rate() const override { return rate_; }

  bool Read(std::vector<float>& out) override {
    while (Done(headers_[next_])) {
      WAVEHDR& h = headers_[next_];
      const size_t frames = h.dwBytesRecorded / 2 / channels_;
      for (size_t i = 0; i < frames; ++i) out.push_back(static_cast<float>(data_[next_][i * channels_]) / 32768.0f);
      h.dwBytesRecorded = 0;
      h.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
      waveInAddBuffer(in_, &h, sizeof h);
      next_ = (next_ + 1) % kInputBuffers;
    }
    return true;
  }

 private:
  HWAVEIN in_ = nullptr;
  HANDLE event_ = nullptr;
  int rate_ = 0;
  size_t channels_ = 1;
  WAVEHDR headers_[kInputBuffers]{};
  std::vector<int16_t> data_[kInputBuffers];
  int next_ = 0;
};

class WaveOutput : public AudioOutput {
 public:
  ~WaveOutput() override {
    if (out_) {
      waveOutReset(out_);
      for (WAVEHDR& h : headers_) waveOutUnprepareHeader(out_, &h, sizeof h);
      waveOutClose(out_);
    }
    if (event_) CloseHandle(event_);
  }

  bool Open(UINT device, int rate, std::string* problem) {
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    MMRESULT r = MMSYSERR_ERROR;
    for (int channels = 1; channels <= 2 && r != MMSYSERR_NOERROR; ++channels) {
      const WAVEFORMATEX f = Format(rate, channels);
      const DWORD mapped = device == WAVE_MAPPER ? 0 : WAVE_MAPPED;
      r = waveOutOpen(&out_, device, &f, reinterpret_cast<DWORD_PTR>(event_), 0, CALLBACK_EVENT | mapped);
      channels_ = channels;
    }
    if (r != MMSYSERR_NOERROR) {
      out_ = nullptr;
      *problem = MmError("the output device did not open", r);
      return false;
    }
    const size_t block = static_cast<size_t>(rate) * kOutputBlockMs / 1000 * channels_;
    for (int i = 0; i < kOutputBlocks; ++i) {
      data_[i].assign(block, 0);
      headers_[i].lpData = reinterpret_cast<LPSTR>(data_[i].data());
      headers_[i].dwBufferLength = static_cast<DWORD>(block * 2);
      waveOutPrepareHeader(out_, &headers_[i], sizeof headers_[i]);
    }
    return true;
  }

  HANDLE event() const override { return event_; }

  bool HasRoom() override {
    Collect();
    return !queued_[next_];
  }

  void Write(const float* x, size_t n) override {
    WAVEHDR& h = headers_[next_];
    n = std::min(n, data_[next_].size() / channels_);
    for (size_t i = 0; i < n; ++i)
      for (size_t c = 0; c < channels_; ++c) data_[next_][i * channels_ + c] = ToPcm(x[i]);
    h.dwBufferLength = static_cast<DWORD>(n * 2 * channels_);
    h.dwUser = n;
    queued_[next_] = true;
    // A block the device refused counts as played, so the transmission still ends.
    if (waveOutWrite(out_, &h, sizeof h) != MMSYSERR_NOERROR) h.dwFlags |= WHDR_DONE;
    written_ += n;
    next_ = (next_ + 1) % kOutputBlocks;
  }

  // What the device's clock says has been played, no more than the buffers given back.
  uint64_t Played() override {
    Collect();
    MMTIME t{};
    t.wType = TIME_SAMPLES;
    uint64_t played = done_;
    if (waveOutGetPosition(out_, &t, sizeof t) == MMSYSERR_NOERROR && t.wType == TIME_SAMPLES)
      played = std::min<uint64_t>(done_, t.u.sample);
    if (done_ < written_) {
      allDoneMs_ = -1;
    } else if (allDoneMs_ < 0) {
      allDoneMs_ = NowMs();
    } else if (NowMs() - allDoneMs_ > kDrainLimitMs) {
      played = written_;
    }
    return played;
  }

 private:
  void Collect() {
    while (queued_[oldest_] && Done(headers_[oldest_])) {
      queued_[oldest_] = false;
      done_ += headers_[oldest_].dwUser;
      oldest_ = (oldest_ + 1) % kOutputBlocks;
    }
  }

  HWAVEOUT out_ = nullptr;
  HANDLE event_ = nullptr;
  size_t channels_ = 1;
  WAVEHDR headers_[kOutputBlocks]{};
  std::vector<int16_t> data_[kOutputBlocks];
  bool queued_[kOutputBlocks]{};
  int next_ = 0, oldest_ = 0;
  uint64_t written_ = 0, done_ = 0;
  double allDoneMs_ = -1;
};

// A periodic waitable timer: the pace of the file input and output.
HANDLE Ticker(int ms) {
  HANDLE timer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
  LARGE_INTEGER due;
  due.QuadPart = -10000LL * ms;
  if (timer) SetWaitableTimer(timer, &due, ms, nullptr, nullptr, FALSE);
  return timer;
}

class FileInput : public AudioInput {
 public:
  ~FileInput() override {
    if (timer_) CloseHandle(timer_);
  }

  bool Open(const std::string& path, std::string* problem) {
    stream_.open(path, std::ios::binary);
    if (!stream_) {
      *problem = "cannot open " + path;
      return false;
    }
    if (!reader_.Open(stream_)) {
      *problem = "cannot play " + path + ": " + reader_.error();
      return false;
    }
    rate_ = reader_.format().sampleRate;
    if (rate_ < 8000 || rate_ > 48000) {
      *problem = path + " is sampled at " + std::to_string(static_cast<long>(rate_)) + " Hz; 8000 to 48000 Hz play";
      return false;
    }
    timer_ = Ticker(kInputBlockMs);
    return true;
  }

  HANDLE event() const override { return timer_; }
  double rate() const override { return rate_; }
  void Begin() override {
    if (startMs_ < 0) startMs_ = NowMs();
  }

  // What the file holds up to now, counted from Begin; a stall is made up at once.
  bool Read(std::vector<float>& out) override {
    if (startMs_ < 0) return true;
    const double due = (NowMs() - startMs_) * rate_ / 1000 - static_cast<double>(delivered_);
    size_t wanted = due > 0 ? static_cast<size_t>(due) : 0;
    float block[4096];
    while (wanted > 0) {
      const size_t got = reader_.Read(block, std::min(wanted, sizeof block / sizeof *block));
      if (got == 0) return false;
      out.insert(out.end(), block, block + got);
      delivered_ += got;
      wanted -= got;
    }
    return true;
  }

 private:
  std::ifstream stream_;
  zk::WavReader reader_;
  double rate_ = 0;
  HANDLE timer_ = nullptr;
  double startMs_ = -1;
  uint64_t delivered_ = 0;
};

// Takes blocks as a sound card would and "plays" them by the clock: into the file, or
// nowhere. Underrun, it waits for the next block as a card does.
class PacedOutput : public AudioOutput {
 public:
  PacedOutput(int rate, TxFile* file) : rate_(rate), file_(file), timer_(Ticker(kOutputBlockMs / 2)) {}
  ~PacedOutput() override {
    if (file_) file_->Checkpoint();
    if (timer_) CloseHandle(timer_);
  }

  HANDLE event() const override { return timer_; }
  bool HasRoom() override {
    Played();
    return pending_.size() < static_cast<size_t>(rate_) * kOutputBlockMs / 1000 * kOutputBlocks;
  }
  void Write(const float* x, size_t n) override {
    Played();
    if (pending_.empty()) startMs_ = NowMs() - static_cast<double>(played_) * 1000 / rate_;
    pending_.insert(pending_.end(), x, x + n);
  }
  uint64_t Played() override {
    if (pending_.empty()) return played_;
    const double due = (NowMs() - startMs_) * rate_ / 1000 - static_cast<double>(played_);
    const size_t n = std::min(pending_.size(), due > 0 ? static_cast<size_t>(due) : size_t{0});
    if (file_) file_->Write(pending_.data(), n);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    played_ += n;
    return played_;
  }

 private:
  int rate_;
  TxFile* file_;
  HANDLE timer_;
  std::vector<float> pending_;
  double startMs_ = 0;
  uint64_t played_ = 0;
};

template <typename Caps, typename GetCaps>
std::vector<std::string> Names(UINT count, GetCaps getCaps) {
  std::vector<std::string> names;
  for (UINT i = 0; i < count; ++i) {
    Caps caps{};
    names.push_back(getCaps(i, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname : "");
  }
  return names;
}

void Put32(std::fstream& f, std::streamoff at, uint64_t value) {
  const uint32_t v = static_cast<uint32_t>(std::min<uint64_t>(value, 0xFFFFFFFFu));
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 24)};
  f.seekp(at);
  f.write(bytes, 4);
}

}  // namespace

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool TxFile::Open(const std::string& path, int rate) {
  Close();
  samples_ = 0;
  stream_.open(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
  return stream_.is_open() && writer_.Open(stream_, static_cast<uint32_t>(rate), false);
}

void TxFile::Write(const float* x, size_t n) {
  if (!stream_.is_open() || n == 0) return;
  writer_.Write(x, n);
  samples_ += n;
}

// The writer's canonical 44-byte header: the RIFF size at 4, the data size at 40.
void TxFile::Checkpoint() {
  if (!stream_.is_open()) return;
  const uint64_t bytes = samples_ * 2;
  Put32(stream_, 4, bytes + 36);
  Put32(stream_, 40, bytes);
  stream_.seekp(0, std::ios::end);
  stream_.flush();
}

void TxFile::Close() {
  if (!stream_.is_open()) return;
  writer_.Close();
  stream_.close();
}

std::vector<std::string> InputDeviceNames() { return Names<WAVEINCAPSA>(waveInGetNumDevs(), waveInGetDevCapsA); }

std::vector<std::string> OutputDeviceNames() {
  return Names<WAVEOUTCAPSA>(waveOutGetNumDevs(), waveOutGetDevCapsA);
}

std::unique_ptr<AudioInput> OpenDeviceInput(const std::string& name, int rate, std::string* problem) {
  UINT id;
  if (!FindDevice(name, InputDeviceNames(), &id)) {
    *problem = "no input device is called \"" + name + "\"";
    return nullptr;
  }
  auto input = std::make_unique<WaveInput>();
  if (!input->Open(id, rate, problem)) return nullptr;
  return input;
}

std::unique_ptr<AudioInput> OpenFileInput(const std::string& path, std::string* problem) {
  auto input = std::make_unique<FileInput>();
  if (!input->Open(path, problem)) return nullptr;
  return input;
}

std::unique_ptr<AudioOutput> OpenDeviceOutput(const std::string& name, int rate, std::string* problem) {
  UINT id;
  if (!FindDevice(name, OutputDeviceNames(), &id)) {
    *problem = "no output device is called \"" + name + "\"";
    return nullptr;
  }
  auto output = std::make_unique<WaveOutput>();
  if (!output->Open(id, rate, problem)) return nullptr;
  return output;
}

std::unique_ptr<AudioOutput> OpenPacedOutput(int rate, TxFile* file) {
  return std::make_unique<PacedOutput>(rate, file);
}
