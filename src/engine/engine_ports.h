// What the engine session needs from the machine it runs on besides the link to the
// terminal (engine_rules.h): audio in and out, keying the transmitter and a clock. The
// Windows shell implements them with the wave API, a COM port or rigctld and the
// performance counter; the tests fake them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_settings.h"

namespace zk {

// Input comes in blocks this long; a received character waits at most one block.
constexpr int kInputBlockMs = 10;
// Output goes out in blocks this long, at most kOutputBlocks ahead of what has played.
constexpr int kOutputBlockMs = 20;
constexpr int kOutputBlocks = 5;

class AudioInput {
 public:
  virtual ~AudioInput() = default;  // closes it
  virtual double rate() const = 0;
  virtual void Begin() {}  // a file starts playing here
  // Appends the samples that have arrived; false once the input has ended.
  virtual bool Read(std::vector<float>& out) = 0;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;                  // stops at once and closes it
  virtual bool HasRoom() = 0;                        // another block may be written
  virtual void Write(const float* x, size_t n) = 0;  // at most one block
  virtual uint64_t Played() = 0;                     // samples played since the output was opened
};

// Keying the transmitter.
class Ptt {
 public:
  virtual ~Ptt() = default;
  // False, with problem(), when the radio could not be told.
  virtual bool Set(bool on) = 0;
  const std::string& problem() const { return problem_; }
  // How the operator sees it: "PTT: rigctld 127.0.0.1:4532".
  virtual std::string Describe() const = 0;

 protected:
  std::string problem_;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double NowMs() = 0;  // milliseconds of a steady clock
};

// The sound cards and the transmitter's keying as the settings name them.
class EngineDevices {
 public:
  virtual ~EngineDevices() = default;
  // An empty name is the system's default card. Null, with the reason, when it cannot open.
  virtual std::unique_ptr<AudioInput> OpenInput(const std::string& name, int rate, std::string* problem) = 0;
  virtual std::unique_ptr<AudioOutput> OpenOutput(const std::string& name, int rate, std::string* problem) = 0;
  virtual std::unique_ptr<Ptt> MakePtt(const EngineSettings& settings) = 0;
};

}  // namespace zk
