#include "modem/passband.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem_signals.h"

namespace zk {
namespace {

// A station on its own mark, keyed up `at` seconds into a passband of `seconds`.
void AddStation(std::vector<float>& band, const std::string& text, double mark, double at) {
  ModemSettings s;
  s.mark = mark;
  const std::vector<float> x = Transmit(text, s);
  const size_t from = static_cast<size_t>(at * s.sampleRate);
  band.resize(std::max(band.size(), from + x.size() + 8000), 0.0f);
  for (size_t i = 0; i < x.size() && from + i < band.size(); ++i) band[from + i] += x[i];
}

struct Heard {
  std::map<int, std::string> text;               // by signal, line ends as '\n'
  std::vector<std::vector<BandSignal>> seconds;  // the signals kept after each second
};

// Feeds the passband in blocks of uneven sizes.
Heard Decode(const std::vector<float>& band) {
  PassbandDecoder d{ModemSettings{}};
  Heard run;
  std::vector<BandCharacter> out;
  const size_t sizes[] = {160, 1, 333, 4096, 80};
  for (size_t at = 0, k = 0, second = 8000; at < band.size(); ++k) {
    const size_t n = std::min(sizes[k % 5], band.size() - at);
    d.Process(&band[at], n, out);
    at += n;
    if (at >= second) {
      run.seconds.push_back(d.signals());
      second += 8000;
    }
  }
  d.Flush(out);
  std::map<int, std::string> raw;
  for (const BandCharacter& c : out) raw[c.id] += c.ch;
  for (const auto& [id, t] : raw) run.text[id] = Lines(t);
  return run;
}

const BandSignal* Near(const std::vector<BandSignal>& signals, double mark) {
  for (const BandSignal& s : signals)
    if (std::fabs(s.markHz - mark) < 20) return &s;
  return nullptr;
}

TEST(Passband, TwoSignals250HzApartDecodedExactly) {
  const std::string first = "CQ TEST DL1ABC DL1ABC TEST\n", second = "W1AW 599 001 001 TU\n";
  std::vector<float> band;
  AddStation(band, first + first, 1000, 0.5);
  AddStation(band, second + second, 1250, 0.8);
  const Heard run = Decode(band);
  const std::vector<BandSignal>& end = run.seconds.back();
  ASSERT_EQ(end.size(), 2u);
  EXPECT_EQ(run.text.at(end[0].id), first + first);
  EXPECT_EQ(run.text.at(end[1].id), second + second);
  EXPECT_EQ(end[0].callSign, "DL1ABC");
  EXPECT_EQ(end[1].callSign, "W1AW");
  std::string sent;  // as the teleprinter sends it
  for (char c : second + second) sent += c == '\n' ? "\r\n" : std::string(1, c);
  EXPECT_EQ(end[1].tail, sent.substr(sent.size() - kSignalTailChars));
}

TEST(Passband, StationsComeBackKeptOrDroppedAndNewOnesFound) {
  // A calls twice 15 s apart (the same signal), then is silent; B starts at 40 s.
  std::vector<float> band(8000 * 80, 0.0f);
  const std::string call = "CQ CQ DE K1ABC K1ABC K\n";
  AddStation(band, call, 700, 1);
  AddStation(band, call, 710, 20);
  AddStation(band, "QRZ DE G4XYZ\n", 1900, 40);
  channel::AddNoise(band, channel::NoiseVariance(0.125, 8000, 10), 3);
  const Heard run = Decode(band);
  const BandSignal* a = Near(run.seconds[10], 700);
  ASSERT_TRUE(a);
  EXPECT_FALSE(a->open);
  const BandSignal* again = Near(run.seconds[23], 710);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->id, a->id);
  EXPECT_NE(run.text.at(a->id).find(call + call), std::string::npos);
  EXPECT_NEAR(a->snrDb, 10, 3);
  EXPECT_TRUE(Near(run.seconds[50], 710));   // kept for 30 s after it was last heard...
  EXPECT_FALSE(Near(run.seconds[57], 710));  // ...and no longer
  EXPECT_FALSE(Near(run.seconds[39], 1900));
  ASSERT_TRUE(Near(run.seconds[42], 1900));  // found within 2 s
  EXPECT_EQ(run.text.at(Near(run.seconds[42], 1900)->id), "QRZ DE G4XYZ\n");
}

TEST(Passband, NoiseAloneGivesNoSignal) {
  std::vector<float> band(8000 * 120, 0.0f);
  channel::AddNoise(band, 0.01, 11);
  const Heard run = Decode(band);
  EXPECT_TRUE(run.text.empty());
  for (const auto& signals : run.seconds) EXPECT_TRUE(signals.empty());
}

}  // namespace
}  // namespace zk
