// Every RTTY signal in the receiver's passband decoded side by side.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modem/demodulator.h"
#include "modem/modem_settings.h"

namespace zk {

// The lowest and highest tone of a signal the passband decoder looks for, in Hz.
constexpr double kPassbandLowHz = 200;
constexpr double kPassbandHighHz = 2800;
// A signal silent this long is dropped; one heard again on its frequency before then is
// the same signal.
constexpr double kSignalKeptSeconds = 30;
// What the band list shows of a signal's text.
constexpr size_t kSignalTailChars = 40;

// One signal as the passband decoder knows it.
struct BandSignal {
  int id = 0;            // the same while the signal is kept; never reused
  double markHz = 0;     // its mark tone as its receiver follows it
  double snrDb = -99;    // in 3 kHz
  bool open = false;     // its receiver holds it now
  double lastHeard = 0;  // seconds of input when it was last held
  std::string tail;      // its last kSignalTailChars characters as received ('\r' and '\n' as received)
  std::string callSign;  // the last call sign seen in its text, or ""
};

// A character decoded on one signal.
struct BandCharacter {
  int id;
  char ch;
};

// Finds every signal of the settings' baud rate and shift whose tones lie between
// kPassbandLowHz and kPassbandHighHz (the settings' mark is not used; `reverse` says which
// tone is the mark) and decodes each with the single-signal receiver. A station much
// stronger than a neighbour near it is re-made from what its receiver decides and taken out
// of what the neighbour's receiver hears (Canceller); that receiver's characters then come
// half a second later.
class PassbandDecoder {
 public:
  explicit PassbandDecoder(const ModemSettings& settings, const DemodulatorOptions& options = {});
  ~PassbandDecoder();

  // Takes a block of samples of any length; appends the characters decoded from it, oldest
  // first.
  void Process(const float* samples, size_t n, std::vector<BandCharacter>& out);
  // At the end of the input: decides what is still undecided.
  void Flush(std::vector<BandCharacter>& out);
  void Reset();

  // The signals kept now, in order of mark frequency.
  const std::vector<BandSignal>& signals() const { return signals_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<BandSignal> signals_;
};

}  // namespace zk
