#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>

#include "base/baudot.h"
#include "modem/modem_settings.h"

namespace zk {

struct ModulatorOptions {
  double amplitude = 0.5;       // peak, where 1 is full scale
  double leadInSeconds = 0.25;  // steady mark after keying up, so a receiver can settle
  double tailSeconds = 0.05;    // steady mark after the last character
  double rampSeconds = 0.005;   // raised-cosine rise and fall: no click
  bool diddle = false;          // idle with LTRS codes rather than steady mark
  bool lettersFirst = true;     // LTRS after the lead-in: the far end is in letters whatever it was in
  double startPhase = 0;        // of the carrier at key-up, in radians
};

// A queued character whose audio has been rendered to the end of its last stop element.
struct SentChar {
  uint64_t ticket;
  char ch;
  uint64_t endSample;  // index of the first sample after it, counted from the first Render
};

// Phase-continuous AFSK from queued text, rendered on demand.
class Modulator {
 public:
  explicit Modulator(const ModemSettings& settings, const ModulatorOptions& options = {});

  // Queues one character (encoded with letters/figures shifts as needed) and keys up if
  // the transmitter was off (mark lead-in, then LTRS). The ticket identifies it in PopSent.
  uint64_t Queue(char ch);
  // Keys up and idles until text is queued.
  void Start();
  // Ends after what is queued: tail, ramp down, then silence.
  void Finish();
  // Writes the next n samples (silence while off).
  void Render(float* out, size_t n);
  // The next character whose audio has gone out whole in what Render wrote; false when none.
  bool PopSent(SentChar* sent);

  bool keyed() const { return keyed_; }                      // producing a signal
  bool sending() const { return !items_.empty() || busy_; }  // text still to go out
  uint64_t samplesRendered() const { return sample_; }

 private:
  enum class Kind { Code, Mark, RampDown, Marker };
  struct Item {
    Kind kind;
    uint8_t code;
    double seconds;
    uint64_t ticket;
    char ch;
  };

  void KeyUp();
  void NextItem();
  void BeginItem(const Item& item);
  bool ToneIsMark() const;
  float Envelope();

  ModemSettings settings_;
  ModulatorOptions options_;
  BaudotCodec codec_;
  std::deque<Item> items_;
  std::deque<SentChar> sent_;
  uint64_t nextTicket_ = 1;
  uint64_t sample_ = 0;
  bool keyed_ = false;
  bool finishing_ = false;
  bool busy_ = false;  // the current item is text
  Item current_{Kind::Mark, 0, 0, 0, 0};
  double itemStart_ = 0;  // in samples, fractional so element times never drift
  double itemEnd_ = 0;
  double phase_ = 0;
  double rampSamples_;
  double rampPos_ = 0;
  int rampDirection_ = 0;
};

}  // namespace zk
