#include "engine/win32/wave_audio.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using zk::kInputBlockMs;
using zk::kOutputBlockMs;
using zk::kOutputBlocks;

constexpr int kInputBuffers = 20;       // 200 ms: room for a busy machine to look away
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

std::string MmError(const char* what, MMRESULT r) { return std::string(what) + " (error " + std::to_string(r) + ")"; }

// An event the device signals, watched by the modem thread while the device is open.
class DeviceEvent {
 public:
  explicit DeviceEvent(WakeEvents& wake) : wake_(wake), event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    if (event_) wake_.Add(event_);
  }
  ~DeviceEvent() {
    if (!event_) return;
    wake_.Remove(event_);
    CloseHandle(event_);
  }
  DeviceEvent(const DeviceEvent&) = delete;
  DeviceEvent& operator=(const DeviceEvent&) = delete;
  DWORD_PTR callback() const { return reinterpret_cast<DWORD_PTR>(event_); }

 private:
  WakeEvents& wake_;
  HANDLE event_;
};

class WaveInput : public zk::AudioInput {
 public:
  explicit WaveInput(WakeEvents& wake) : event_(wake) {}
  ~WaveInput() override {
    if (in_) {
      waveInReset(in_);
      for (WAVEHDR& h : headers_) waveInUnprepareHeader(in_, &h, sizeof h);
      waveInClose(in_);
    }
  }

  bool Open(UINT device, int rate, std::string* problem) {
    rate_ = rate;
    MMRESULT r = MMSYSERR_ERROR;
    // Mono where the card offers it, else the first of two channels.
    for (int channels = 1; channels <= 2 && r != MMSYSERR_NOERROR; ++channels) {
      const WAVEFORMATEX f = Format(rate, channels);
      const DWORD mapped = device == WAVE_MAPPER ? 0 : WAVE_MAPPED;
      r = waveInOpen(&in_, device, &f, event_.callback(), 0, CALLBACK_EVENT | mapped);
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
  DeviceEvent event_;
  HWAVEIN in_ = nullptr;
  int rate_ = 0;
  size_t channels_ = 1;
  WAVEHDR headers_[kInputBuffers]{};
  std::vector<int16_t> data_[kInputBuffers];
  int next_ = 0;
};

class WaveOutput : public zk::AudioOutput {
 public:
  explicit WaveOutput(WakeEvents& wake) : event_(wake) {}
  ~WaveOutput() override {
    if (out_) {
      waveOutReset(out_);
      for (WAVEHDR& h : headers_) waveOutUnprepareHeader(out_, &h, sizeof h);
      waveOutClose(out_);
    }
  }

  bool Open(UINT device, int rate, std::string* problem) {
    MMRESULT r = MMSYSERR_ERROR;
    for (int channels = 1; channels <= 2 && r != MMSYSERR_NOERROR; ++channels) {
      const WAVEFORMATEX f = Format(rate, channels);
      const DWORD mapped = device == WAVE_MAPPER ? 0 : WAVE_MAPPED;
      r = waveOutOpen(&out_, device, &f, event_.callback(), 0, CALLBACK_EVENT | mapped);
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

  DeviceEvent event_;
  HWAVEOUT out_ = nullptr;
  size_t channels_ = 1;
  WAVEHDR headers_[kOutputBlocks]{};
  std::vector<int16_t> data_[kOutputBlocks];
  bool queued_[kOutputBlocks]{};
  int next_ = 0, oldest_ = 0;
  uint64_t written_ = 0, done_ = 0;
  double allDoneMs_ = -1;
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

std::vector<std::string> InputDeviceNames() { return Names<WAVEINCAPSA>(waveInGetNumDevs(), waveInGetDevCapsA); }

std::vector<std::string> OutputDeviceNames() { return Names<WAVEOUTCAPSA>(waveOutGetNumDevs(), waveOutGetDevCapsA); }

void WakeEvents::Remove(HANDLE event) {
  events_.erase(std::remove(events_.begin(), events_.end(), event), events_.end());
}

std::unique_ptr<zk::AudioInput> OpenWaveInput(const std::string& name, int rate, WakeEvents& wake,
                                              std::string* problem) {
  UINT id;
  if (!FindDevice(name, InputDeviceNames(), &id)) {
    *problem = "no input device is called \"" + name + "\"";
    return nullptr;
  }
  auto input = std::make_unique<WaveInput>(wake);
  if (!input->Open(id, rate, problem)) return nullptr;
  return input;
}

std::unique_ptr<zk::AudioOutput> OpenWaveOutput(const std::string& name, int rate, WakeEvents& wake,
                                                std::string* problem) {
  UINT id;
  if (!FindDevice(name, OutputDeviceNames(), &id)) {
    *problem = "no output device is called \"" + name + "\"";
    return nullptr;
  }
  auto output = std::make_unique<WaveOutput>(wake);
  if (!output->Open(id, rate, problem)) return nullptr;
  return output;
}
