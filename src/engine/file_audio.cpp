#include "engine/file_audio.h"

#include <algorithm>
#include <fstream>

namespace zk {
namespace {

class FileInput : public AudioInput {
 public:
  explicit FileInput(Clock& clock) : clock_(clock) {}

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
    return true;
  }

  double rate() const override { return rate_; }
  void Begin() override {
    if (startMs_ < 0) startMs_ = clock_.NowMs();
  }

  // What the file holds up to now, counted from Begin; a stall is made up at once.
  bool Read(std::vector<float>& out) override {
    if (startMs_ < 0) return true;
    const double due = (clock_.NowMs() - startMs_) * rate_ / 1000 - static_cast<double>(delivered_);
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
  Clock& clock_;
  std::ifstream stream_;
  WavReader reader_;
  double rate_ = 0;
  double startMs_ = -1;
  uint64_t delivered_ = 0;
};

// Takes blocks as a sound card would and "plays" them by the clock. Underrun, it waits
// for the next block as a card does.
class PacedOutput : public AudioOutput {
 public:
  PacedOutput(int rate, WavFile* file, Clock& clock) : rate_(rate), file_(file), clock_(clock) {}
  ~PacedOutput() override {
    if (file_) file_->Checkpoint();
  }

  bool HasRoom() override {
    Played();
    return pending_.size() < static_cast<size_t>(rate_) * kOutputBlockMs / 1000 * kOutputBlocks;
  }
  void Write(const float* x, size_t n) override {
    Played();
    if (pending_.empty()) startMs_ = clock_.NowMs() - static_cast<double>(played_) * 1000 / rate_;
    pending_.insert(pending_.end(), x, x + n);
  }
  uint64_t Played() override {
    if (pending_.empty()) return played_;
    const double due = (clock_.NowMs() - startMs_) * rate_ / 1000 - static_cast<double>(played_);
    const size_t n = std::min(pending_.size(), due > 0 ? static_cast<size_t>(due) : size_t{0});
    if (file_) file_->Write(pending_.data(), n);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    played_ += n;
    return played_;
  }

 private:
  int rate_;
  WavFile* file_;
  Clock& clock_;
  std::vector<float> pending_;
  double startMs_ = 0;
  uint64_t played_ = 0;
};

}  // namespace

std::unique_ptr<AudioInput> OpenFileInput(const std::string& path, Clock& clock, std::string* problem) {
  auto input = std::make_unique<FileInput>(clock);
  if (!input->Open(path, problem)) return nullptr;
  return input;
}

std::unique_ptr<AudioOutput> OpenPacedOutput(int rate, WavFile* file, Clock& clock) {
  return std::make_unique<PacedOutput>(rate, file, clock);
}

}  // namespace zk
