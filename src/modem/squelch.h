#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/baudot.h"

namespace zk {

// Opens while the tone pair stands out of the noise, judged by the tone search's pair
// strength averaged over a couple of seconds, so a noisy band stays quiet. What is decoded
// while it is closed is held back for a moment: when it opens, the clearly received
// characters of the last second go out too, since a signal's first characters come before
// it can be judged. It owns the receiving shift state, which starts over in letters each
// time it opens: what noise decoded before says nothing about the signal's shift.
class Squelch {
 public:
  // threshold: the pair strength at which it opens; updates: strength updates per second;
  // ltrsOnSpace: a space returns the shift state to letters.
  Squelch(double threshold, double updates, bool enabled, bool ltrsOnSpace);
  void Reset();
  // Drops what is held back and the shift state, keeping what it has judged of the band.
  void Forget();
  // Takes the pair strength at `now` (seconds); appends what an opening releases.
  void Update(double strength, double now, std::string& text, std::vector<int64_t>& ends);
  // A received code at `now`, with how clearly it was received (the weakest element's
  // evidence): decoded at once while open, held back while closed.
  // `end` is where its stop element ended, appended to `ends` for each character shown.
  void Pass(uint8_t code, double clarity, double now, int64_t end, std::string& text, std::vector<int64_t>& ends);

  bool open() const { return open_; }
  double strength() const { return strength_; }  // averaged

 private:
  struct Held {
    uint8_t code;
    double clarity;
    double time;
    int64_t end;
  };
  void Show(uint8_t code, int64_t end, std::string& text, std::vector<int64_t>& ends);

  double threshold_;
  double smoothing_;
  bool enabled_;
  bool open_ = false;
  double strength_ = 1;
  std::deque<Held> held_;
  BaudotCodec codec_;
  bool ltrsOnSpace_;
};

}  // namespace zk
