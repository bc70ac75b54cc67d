#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem/demodulator.h"
#include "modem_signals.h"

namespace zk {
namespace {

// Every character the codec knows, in both shifts, and a line end.
const char kEveryCharacter[] = "THE QUICK BROWN FOX JUMPS OVER A LAZY DOG\n0123456789 -?:$!&#'()\".,/; WX\n";

double Cer(const std::string& got, const std::string& sent) {
  return static_cast<double>(channel::Levenshtein(got, sent)) / static_cast<double>(sent.size());
}

TEST(Demodulator, EveryCharacterAtEveryRateShiftAndStopLength) {
  for (double baud : {45.45, 50.0, 75.0, 100.0}) {
    for (double shift : {170.0, 200.0, 425.0, 850.0}) {
      for (double stop : {1.0, 1.5, 2.0}) {
        for (bool reverse : {false, true}) {
          SCOPED_TRACE(::testing::Message() << baud << " baud, " << shift << " Hz, " << stop << " stop, reverse "
                                            << reverse);
          ModemSettings s;
          s.baud = baud;
          s.shift = shift;
          s.stopBits = stop;
          s.reverse = reverse;
          s.mark = reverse ? 2125 + shift : 2125;  // both tones in the same place
          ASSERT_EQ(CheckModemSettings(s), "");
          EXPECT_EQ(Receive(Transmit(kEveryCharacter, s), s), kEveryCharacter);
        }
      }
    }
  }
}

TEST(Demodulator, SoundCardRatesAndLevels) {
  struct Case {
    double rate, gain;
  } cases[] = {{11025, 1}, {22050, 0.001}, {44100, 1.9}, {48000, 1e-5}, {16000, 1e4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rate << " Hz, gain " << c.gain);
    ModemSettings s;
    s.sampleRate = c.rate;
    std::vector<float> x = Transmit(kEveryCharacter, s);
    for (float& v : x) v = static_cast<float>(v * c.gain + 0.1 * c.gain);  // and a DC offset
    EXPECT_EQ(Receive(x, s), kEveryCharacter);
  }
}

TEST(Demodulator, FollowsAnOffsetAndADriftingCarrierWithAfc) {
  const std::string text = channel::TrafficText(300, 3);
  ModemSettings s;
  const std::vector<float> clean = Transmit(text, s);
  const std::vector<float> offset = channel::ShiftFrequency(clean, s.sampleRate, [](double) { return 60.0; });
  const std::vector<float> drifting = channel::ShiftFrequency(clean, s.sampleRate, channel::DriftingOffset(-37, 30, 1));
  // Found by the tone search once keying starts, the first characters are decoded again.
  EXPECT_EQ(Receive(drifting, s), text);
  for (bool afc : {true, false}) {
    DemodulatorOptions o;
    o.afc = afc;
    Demodulator d(s, o);
    std::string raw;
    d.Process(offset.data(), offset.size(), raw);
    d.Flush(raw);
    EXPECT_NEAR(d.markFrequency(), afc ? s.mark + 60 : s.mark, afc ? 2 : 0);
    if (afc) EXPECT_EQ(Lines(raw), text);
    // Tuned by hand (click to tune) to where the signal is, it needs no search.
    d.SetMark(s.mark + 60);
    raw.clear();
    d.Process(offset.data(), offset.size(), raw);
    d.Flush(raw);
    EXPECT_LT(Cer(Lines(raw), text), 0.01);
  }
}

TEST(Demodulator, CopiesThroughNoiseAndStaysQuietInNoiseAlone) {
  const std::string text = channel::TrafficText(400, 5);
  ModemSettings s;
  std::vector<float> x = Transmit(text, s);
  const double power = channel::MeanSquare(x);
  const double variance = channel::NoiseVariance(power, s.sampleRate, -5);
  std::vector<float> noisy = x;
  channel::AddNoise(noisy, variance, 7);
  EXPECT_LT(Cer(Receive(noisy, s), text), 0.01);
  std::vector<float> noise(static_cast<size_t>(30 * s.sampleRate), 0.0f);
  channel::AddNoise(noise, variance, 8);
  EXPECT_EQ(Receive(noise, s), "");
  DemodulatorOptions open;
  open.squelch = false;
  EXPECT_GT(Receive(noise, s, open).size(), 50u);  // what the squelch keeps out
}

TEST(Demodulator, ReportsEachCharacterSoonAfterItsStopElement) {
  ModemSettings s;
  s.sampleRate = 48000;
  Modulator m(s);
  Demodulator d(s);
  const std::string text = "CQ CQ DE W1AW 599";
  for (char c : text) m.Queue(c);
  m.Finish();
  std::vector<uint64_t> ends;
  std::vector<float> block(480);  // 10 ms, as a sound card delivers
  std::string got;
  uint64_t worst = 0;
  double snr = 0;
  bool open = false;
  for (int quiet = 0; quiet < 20; quiet += !m.keyed()) {  // and 200 ms after the end
    m.Render(block.data(), block.size());
    SentChar sent;
    while (m.PopSent(&sent)) ends.push_back(sent.endSample);
    const size_t before = got.size();
    d.Process(block.data(), block.size(), got);
    for (size_t i = before; i < got.size(); ++i) {
      ASSERT_LT(i, ends.size()) << "decoded before it was sent";
      worst = std::max(worst, m.samplesRendered() - ends[i]);
      snr = d.snrDb();
      open = d.squelchOpen();
    }
  }
  EXPECT_EQ(got, text);
  EXPECT_LT(static_cast<double>(worst) / s.sampleRate, 0.12);
  EXPECT_GT(snr, 20);
  EXPECT_TRUE(open);
}

}  // namespace
}  // namespace zk
