#pragma once
#include <string>

namespace zk {

// What both ends of an RTTY link agree on. The space tone is mark + shift, or mark - shift
// when reversed.
struct ModemSettings {
  double sampleRate = 8000;
  double baud = 45.45;
  double shift = 170;
  double mark = 2125;
  double stopBits = 1.5;
  bool reverse = false;

  double space() const { return reverse ? mark - shift : mark + shift; }
};

// How far the receiver looks for a signal around the given tones.
constexpr double kAfcRangeHz = 100;

// Empty when the settings are usable, otherwise what is wrong, in the operator's words.
std::string CheckModemSettings(const ModemSettings& s);

}  // namespace zk
