// Feeds the passband decoder what a sound card could: arbitrary samples (NaN, infinities,
// huge values, silence, square waves) in blocks of any size, to decoders of several
// settings that live across inputs, with resets and flushes. Checks that nothing
// overflows, that what comes out is text the codec can print from signals it lists, and
// that every signal's report stays in range.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "modem/passband.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

zk::PassbandDecoder& Decoder(uint8_t pick) {
  static std::unique_ptr<zk::PassbandDecoder> decoders[3];
  struct Setup {
    double rate, baud, shift;
    bool reverse;
  };
  static const Setup setups[3] = {{8000, 45.45, 170, false}, {11025, 75, 850, true}, {48000, 50, 425, false}};
  const size_t i = pick % 3;
  if (!decoders[i]) {
    zk::ModemSettings m;
    m.sampleRate = setups[i].rate;
    m.baud = setups[i].baud;
    m.shift = setups[i].shift;
    m.reverse = setups[i].reverse;
    decoders[i] = std::make_unique<zk::PassbandDecoder>(m);
  }
  return *decoders[i];
}

constexpr size_t kMaxSamples = 160;  // bounded work per input; the decoders live on

// Raw floats (any bit pattern), 16-bit words at a huge or tiny gain, or a square wave.
std::vector<float> Samples(uint8_t how, const uint8_t* data, size_t size) {
  std::vector<float> x;
  if (how % 3 == 0) {
    for (size_t i = 0; i + 3 < size && x.size() < kMaxSamples; i += 4) {
      float v;
      std::memcpy(&v, data + i, 4);
      x.push_back(v);
    }
  } else if (how % 3 == 1) {
    const float gain = how & 4 ? 1e30f : 1.0f / 32768;
    for (size_t i = 0; i + 1 < size && x.size() < kMaxSamples; i += 2)
      x.push_back(static_cast<float>(static_cast<int16_t>(data[i] | (data[i + 1] << 8))) * gain);
  } else {
    for (size_t i = 0; i + 1 < size && x.size() < kMaxSamples; i += 2) {
      const size_t period = 2 + data[i] % 64;
      const float level = std::ldexp(1.0f, data[i + 1] % 64 - 32);
      for (size_t k = 0; k < 8 * period && x.size() < kMaxSamples; ++k)
        x.push_back(k % period < period / 2 ? level : -level);
    }
  }
  return x;
}

bool Printable(char c) { return c == '\r' || c == '\n' || (c >= ' ' && c <= 'Z') || c == '\'' || c == '"'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  zk::PassbandDecoder& d = Decoder(data[0] >> 4);
  if ((data[0] & 15) == 1) d.Reset();
  const std::vector<float> x = Samples(data[1], data + 3, size - 3);
  std::vector<zk::BandCharacter> out;
  const size_t block = 1 + data[2] * 7u;
  for (size_t at = 0; at < x.size(); at += block) d.Process(x.data() + at, std::min(block, x.size() - at), out);
  if ((data[0] & 15) == 2) d.Flush(out);
  for (const zk::BandCharacter& c : out) Check(Printable(c.ch) && c.id > 0);
  double mark = 0;
  for (const zk::BandSignal& s : d.signals()) {
    Check(s.markHz >= mark && s.markHz > 0 && s.markHz < 3200 && std::isfinite(s.snrDb));
    Check(s.tail.size() <= zk::kSignalTailChars);
    mark = s.markHz;
  }
  return 0;
}
