// Where the engine's audio comes from and goes to: a sound card through the wave API, or
// a WAV file played and written at the pace a sound card would take, behind the same two
// interfaces, so the modem thread and the tests need no hardware.
#pragma once
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modem/wav.h"

// Input comes in blocks this long; a received character waits at most one block.
constexpr int kInputBlockMs = 10;
// Output goes out in blocks this long, at most kOutputBlocks ahead of what has played.
constexpr int kOutputBlockMs = 20;
constexpr int kOutputBlocks = 5;

class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual HANDLE event() const = 0;  // signalled when Read may find samples
  virtual double rate() const = 0;
  virtual void Begin() {}            // a file starts playing here
  // Appends the samples that have arrived; false once the input has ended.
  virtual bool Read(std::vector<float>& out) = 0;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;  // stops at once
  virtual HANDLE event() const = 0;  // signalled when a block has been played
  virtual bool HasRoom() = 0;        // another block may be written
  virtual void Write(const float* x, size_t n) = 0;  // at most one block
  virtual uint64_t Played() = 0;     // samples played since the output was opened
};

// The transmitted audio of a whole run, one transmission after another; after each the
// header's sizes are brought up to date, so the file is whole between transmissions.
class TxFile {
 public:
  ~TxFile() { Close(); }
  bool Open(const std::string& path, int rate);
  bool isOpen() const { return stream_.is_open(); }
  void Write(const float* x, size_t n);
  void Checkpoint();
  void Close();

 private:
  std::fstream stream_;
  zk::WavWriter writer_;
  uint64_t samples_ = 0;
};

// Device names as Windows lists them (at most 31 characters).
std::vector<std::string> InputDeviceNames();
std::vector<std::string> OutputDeviceNames();

// An empty name is the system's default device. Null, with the reason, when it cannot open.
std::unique_ptr<AudioInput> OpenDeviceInput(const std::string& name, int rate, std::string* problem);
std::unique_ptr<AudioInput> OpenFileInput(const std::string& path, std::string* problem);
std::unique_ptr<AudioOutput> OpenDeviceOutput(const std::string& name, int rate, std::string* problem);
// Plays into `file` (or nowhere, when it is null) at the pace of a sound card.
std::unique_ptr<AudioOutput> OpenPacedOutput(int rate, TxFile* file);

// Milliseconds of a steady clock.
double NowMs();
