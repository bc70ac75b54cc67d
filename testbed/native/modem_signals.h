#pragma once
#include <string>
#include <vector>

#include "modem/demodulator.h"
#include "modem/line_endings.h"
#include "modem/modulator.h"

namespace zk {

// The whole transmission of `text`, from keying up to the end of the ramp down.
inline std::vector<float> Transmit(const std::string& text, const ModemSettings& s, const ModulatorOptions& o = {}) {
  Modulator m(s, o);
  for (char c : text) m.Queue(c);
  m.Finish();
  std::vector<float> out;
  float block[512];
  while (m.keyed()) {
    m.Render(block, 512);
    out.insert(out.end(), block, block + 512);
  }
  return out;
}

// Text as the receiver decodes it, with each line end as '\n'.
inline std::string Lines(const std::string& raw) {
  LineEndings lines;
  std::string text;
  for (char c : raw) lines.Append(c, text);
  return text;
}

// What the receiver prints for these samples, fed in 20 ms blocks.
inline std::string Receive(const std::vector<float>& x, const ModemSettings& s, const DemodulatorOptions& o = {}) {
  Demodulator d(s, o);
  std::string raw;
  const size_t block = static_cast<size_t>(s.sampleRate / 50);
  for (size_t i = 0; i < x.size(); i += block) d.Process(&x[i], std::min(block, x.size() - i), raw);
  d.Flush(raw);
  return Lines(raw);
}

}  // namespace zk
