#pragma once
#include <cstdint>

#include "base/baudot.h"

namespace zk {

// What the sender's text teaches about which code follows which: how often each code has
// come after each code, in letters and in figures, counted from clearly received
// characters. A character whose elements leave it in doubt is read as the likeliest code
// given the elements and that knowledge (letters or figures after a shift, the second of
// a doubled shift, line feed after carriage return, the sender's own habits). It never
// outweighs clear elements: the knowledge counts for at most a few nats.
class CodeModel {
 public:
  explicit CodeModel(bool ltrsOnSpace) : ltrsOnSpace_(ltrsOnSpace) { Reset(); }
  void Reset();
  // A new transmission starts in letters; what the text has taught stays.
  void NewTransmission();
  // The code for five data elements, from their evidence (log-likelihood ratio, mark over
  // space, first element first); learns from it when all five are clear.
  uint8_t Choose(const float llr[5]);

 private:
  float counts_[2][32][32];
  float totals_[2][32];
  uint8_t previous_ = 0;
  BaudotCodec shift_;  // follows letters and figures as the text goes
  bool ltrsOnSpace_;
};

}  // namespace zk
