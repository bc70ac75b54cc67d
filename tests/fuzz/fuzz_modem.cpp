// Feeds the modem what the outside world can: arbitrary WAV files through the reader, and
// arbitrary samples (NaN, infinities, huge values, silence, square waves) through
// receivers of several settings that live across inputs, with retuning, resets and flushes.
// Checks that nothing overflows, that what comes out is text the codec can print, and
// that the receiver's reports stay in range.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "modem/demodulator.h"
#include "modem/wav.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

constexpr size_t kMaxSamples = 160;  // bounded work per input; the receivers live on

void FuzzWav(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  zk::WavReader wav;
  if (!wav.Open(in)) {
    Check(!wav.error().empty());
    return;
  }
  float block[256];
  size_t total = 0, n;
  while ((n = wav.Read(block, 256)) > 0) {
    Check(n <= 256);
    total += n;
    Check(total <= size);  // every frame takes at least a byte of the file
    if (!wav.format().isFloat)
      for (size_t i = 0; i < n; ++i) Check(block[i] >= -1.0f && block[i] <= 1.0f);
  }
}

zk::Demodulator& Receiver(uint8_t pick) {
  // Rate, baud, shift, mark, stop elements, reverse; and whether AFC and the squelch are on.
  static const zk::ModemSettings settings[4] = {{8000, 45.45, 170, 2125, 1.5, false},
                                                {11025, 100, 850, 2125, 1, true},
                                                {48000, 50, 425, 1275, 2, false},
                                                {22050, 75, 200, 1000, 1.5, true}};
  static const bool afc[4] = {true, true, true, false}, squelch[4] = {true, false, true, false};
  static std::unique_ptr<zk::Demodulator> receivers[4];
  const size_t i = pick % 4;
  if (!receivers[i]) {
    zk::DemodulatorOptions o;
    o.afc = afc[i];
    o.squelch = squelch[i];
    receivers[i] = std::make_unique<zk::Demodulator>(settings[i], o);
  }
  return *receivers[i];
}

// The samples an input stands for, by its second byte: 16-bit words at one of a few
// gains, raw floats (any bit pattern), or a square wave of the given period and level.
std::vector<float> Samples(uint8_t how, const uint8_t* data, size_t size) {
  std::vector<float> x;
  if (how % 3 == 0) {
    static const float gains[] = {1.0f / 32768, 1e-30f, 1e30f, 1.0f};
    for (size_t i = 0; i + 1 < size && x.size() < kMaxSamples; i += 2)
      x.push_back(static_cast<float>(static_cast<int16_t>(data[i] | (data[i + 1] << 8))) * gains[(how / 3) % 4]);
  } else if (how % 3 == 1) {
    for (size_t i = 0; i + 3 < size && x.size() < kMaxSamples; i += 4) {
      float v;
      std::memcpy(&v, data + i, 4);
      x.push_back(v);
    }
  } else {
    for (size_t i = 0; i + 1 < size && x.size() < kMaxSamples; i += 2) {
      const size_t period = 1 + data[i] % 64;
      const float level = data[i + 1] < 128 ? 0.0f : std::ldexp(1.0f, data[i + 1] - 160);
      for (size_t k = 0; k < 4 * period && x.size() < kMaxSamples; ++k)
        x.push_back(k % period < period / 2 ? level : -level);
    }
  }
  return x;
}

bool Printable(char c) { return c == '\r' || c == '\n' || (c >= ' ' && c <= 'Z') || c == '\'' || c == '"'; }

void FuzzReceiver(uint8_t flags, const uint8_t* data, size_t size) {
  if (size < 1) return;
  zk::Demodulator& d = Receiver(flags >> 4);
  if (flags & 1) d.Reset();
  if (flags & 2) d.SetMark(300 + data[0] * 10.0);
  const std::vector<float> x = Samples(data[0], data + 1, size - 1);
  std::string text;
  d.Process(x.data(), x.size(), text);
  if ((flags & 0xE4) == 0xC4) d.Flush(text);  // a flush feeds silence: not often, not at 48 kHz
  for (char c : text) Check(Printable(c));
  Check(std::fabs(d.markFrequency() - d.settings().mark) <= zk::kAfcRangeHz + 1e-9);
  Check(std::isfinite(d.snrDb()));
  Check(std::isfinite(d.inputPeak()) && d.inputPeak() >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  if (data[0] & 8)
    FuzzWav(data + 1, size - 1);
  else
    FuzzReceiver(data[0], data + 1, size - 1);
  return 0;
}
