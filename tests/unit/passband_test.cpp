#include "modem/passband.h"

#include "modem/canceller.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem_signals.h"

namespace zk {
namespace {

// A station on its own mark, keyed up `at` seconds into a passband of `seconds`.
void AddStation(std::vector<float>& band, const std::string& text, double mark, double at, float gain = 1) {
  ModemSettings s;
  s.mark = mark;
  std::vector<float> x = Transmit(text, s);
  for (float& v : x) v *= gain;
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

// Power at a frequency, through Hann-windowed blocks a little longer than a character.
double PowerAt(const std::vector<float>& x, double hz) {
  const size_t block = 1400;
  double sum = 0;
  for (size_t from = 0; from + block <= x.size(); from += block / 2) {
    Cd a = 0;
    for (size_t i = 0; i < block; ++i)
      a += (1 - std::cos(kTwoPi * (i + 0.5) / block)) * x[from + i] * std::polar(1.0, -kTwoPi * hz * (from + i) / 8000);
    sum += std::norm(a);
  }
  return sum;
}

TEST(Passband, AStrongStationIsRemadeAndTakenOutOfItsNeighboursBand) {
  // Re-made from what a receiver decides, a station's spill onto a neighbour's tones 80 Hz
  // beyond its own goes, on a steady path and through fading.
  std::vector<float> x;
  AddStation(x, "CQ TEST DE OH2XYZ OH2XYZ 599 0123 TNX QSL\n", 1500, 0.5);
  for (const auto& band : {x, channel::TwoPathFading(x, 8000, 0.001, 0.5, 7)}) {
    ModemSettings s;
    s.mark = 1500;
    Demodulator d(s);
    Canceller c(s, 0);
    std::string text;
    for (size_t at = 0; at <= band.size(); at += 80) {
      const size_t n = std::min<size_t>(80, band.size() - at);
      c.Hear(&band[at], n);
      n ? d.Process(&band[at], n, text) : d.Flush(text);
      for (const Demodulator::Keyed& k : d.keyed()) c.Decided(k, d.markFrequency());
    }
    c.Flush();
    std::vector<float> left = band, remade(band.size(), 0.0f);
    c.Remake(0, band.size(), remade.data());
    for (size_t i = 0; i < left.size(); ++i) left[i] -= remade[i];
    EXPECT_GT(PowerAt(band, 1420), 10 * PowerAt(left, 1420));  // below the mark
    EXPECT_GT(PowerAt(band, 1750), 10 * PowerAt(left, 1750));  // above the space
  }
  // A neighbour 12 dB stronger keys up while a station is being received: the station's
  // receiver then hears the band without it, its text neither broken nor shown twice.
  const std::string weak = "RST 599 599 NAME JAN QTH LYON LYON TNX FER QSO 73 73 DE PA3ABC\n";
  const std::string strong = "CQ CQ CQ TEST DE W1AW W1AW W1AW K\n";
  std::vector<float> band;
  AddStation(band, weak + weak + weak, 1000, 0.5);
  AddStation(band, strong + strong, 1250, 5, 4);
  channel::AddNoise(band, channel::NoiseVariance(0.125, 8000, 12), 5);
  const Heard run = Decode(band);
  const std::vector<BandSignal>& end = run.seconds.back();
  ASSERT_EQ(end.size(), 2u);
  EXPECT_EQ(run.text.at(end[0].id), weak + weak + weak);
  EXPECT_EQ(run.text.at(end[1].id), strong + strong);
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
