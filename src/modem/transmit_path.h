// The transmit side of the engine between the terminal's requests and the sound card:
// audio rendered block by block into the output's buffers, each character echoed once
// the output has played the sample that ends it, and the end of a transmission once it
// has played the last one, so PTT is released only then.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "modem/modulator.h"

namespace zk {

class TransmitPath {
 public:
  TransmitPath(const ModemSettings& settings, const ModulatorOptions& options) { Configure(settings, options); }

  // Settings for the next transmission.
  void Configure(const ModemSettings& settings, const ModulatorOptions& options);

  void Start();         // keys up (or goes on after a finish or a stop still under way)
  void Queue(char ch);  // while sending; ignored otherwise
  void Finish();        // the queued text, then the tail and the end
  void Stop();          // now: a short fade, the rest of the text dropped

  // Whether the next block is still part of the signal.
  bool NeedsAudio() const { return state_ == State::kSending || state_ == State::kFading; }
  // The next block: the signal, then silence after its end.
  void Render(float* out, size_t n);
  // The output has played `samples` of what was rendered; appends the characters whose
  // audio has now gone out whole.
  void Played(uint64_t samples, std::string& echoed);

  // Keyed: from Start until Ended and Reset.
  bool active() const { return state_ != State::kIdle; }
  // The signal has ended and every sample rendered has been played.
  bool Ended() const { return state_ == State::kDraining && played_ >= rendered_; }
  // After Ended, with the output closed: sample counts start again from 0.
  void Reset();

  uint64_t rendered() const { return rendered_; }

 private:
  enum class State { kIdle, kSending, kFading, kDraining };
  struct Echo {
    uint64_t end;
    char ch;
  };

  void NewModulator();
  size_t RenderFade(float* out, size_t n);
  void RenderSignal(float* out, size_t n);

  ModemSettings settings_;
  ModulatorOptions options_;
  std::unique_ptr<Modulator> modulator_;
  uint64_t base_ = 0;      // where the modulator's first sample lies in the output
  uint64_t rendered_ = 0;  // samples handed to the output
  uint64_t played_ = 0;
  State state_ = State::kIdle;
  bool finishing_ = false;
  bool startAfterFade_ = false;
  size_t fadeLength_ = 1;
  size_t fadeLeft_ = 0;
  std::deque<Echo> echoes_;
};

}  // namespace zk
