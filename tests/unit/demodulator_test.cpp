#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "channels/channels.h"
#include "modem/band_scan.h"
#include "modem/demodulator.h"
#include "modem/passband.h"
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
          SCOPED_TRACE(::testing::Message()
                       << baud << " baud, " << shift << " Hz, " << stop << " stop, reverse " << reverse);
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

TEST(Demodulator, CopiesThroughNoise) {
  const std::string text = channel::TrafficText(400, 5);
  ModemSettings s;
  std::vector<float> x = Transmit(text, s);
  channel::AddNoise(x, channel::NoiseVariance(channel::MeanSquare(x), s.sampleRate, -5), 7);
  EXPECT_LT(Cer(Receive(x, s), text), 0.01);
}

// What the operator reads: the receiver's SNR, on a signal heard from its first element and
// on one after a second of noise, and the band list's; both through the end of the over.
TEST(Demodulator, ReportsTheSignalToNoiseRatioOfWeakAndStrongSignals) {
  ModemSettings s;
  const std::vector<float> signal = Transmit(channel::TrafficText(120, 4), s);
  for (double snr : {-5.0, 20.0, 30.0}) {
    for (double lead : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << snr << " dB, " << lead << " s of noise first");
      std::vector<float> x(static_cast<size_t>(lead * s.sampleRate), 0.0f);
      x.insert(x.end(), signal.begin(), signal.end());
      x.resize(x.size() + static_cast<size_t>(s.sampleRate), 0.0f);
      channel::AddNoise(x, channel::NoiseVariance(channel::MeanSquare(signal), s.sampleRate, snr), 9);
      Demodulator d(s);
      std::string raw;
      d.Process(x.data(), x.size(), raw);
      EXPECT_NEAR(d.snrDb(), snr, 1.5);
      if (lead > 0) continue;
      BandScan scan(s, kPassbandLowHz, kPassbandHighHz);
      for (size_t i = 0; i < x.size() - static_cast<size_t>(s.sampleRate); ++i) scan.Push(x[i]);  // to the over's end
      EXPECT_NEAR(scan.SnrDb(s.mark), snr, 1.5);
    }
  }
}

// Callers on a contest band: each over straight from the start element, on its own
// frequency, with noise and no carrier between them (0 dB in 3 kHz unless said).
struct Over {
  std::string text;
  double offset;      // Hz from the nominal tones
  size_t start, end;  // samples of its carrier
  size_t firstEnd;    // after its first character's stop element
};

std::vector<float> Overs(std::vector<Over>& overs, const ModemSettings& s, double after = 2.5, double snr = 0,
                         uint64_t seed = 11) {
  std::vector<float> x(static_cast<size_t>(2.5 * s.sampleRate), 0.0f);
  for (Over& o : overs) {
    ModemSettings caller = s;
    caller.mark += o.offset;
    ModulatorOptions noLeadIn;
    noLeadIn.leadInSeconds = 0;
    noLeadIn.lettersFirst = false;
    noLeadIn.startPhase = 1;
    Modulator m(caller, noLeadIn);
    for (char c : o.text) m.Queue(c);
    m.Finish();
    o.start = x.size();
    std::vector<float> block(256);
    for (SentChar sent; m.keyed();) {
      m.Render(block.data(), block.size());
      x.insert(x.end(), block.begin(), block.end());
      if (o.firstEnd == 0 && m.PopSent(&sent)) o.firstEnd = o.start + sent.endSample;
    }
    o.end = x.size();
    x.resize(x.size() + static_cast<size_t>(after * s.sampleRate), 0.0f);
  }
  channel::AddNoise(x, channel::NoiseVariance(0.125, s.sampleRate, snr), seed);
  return x;
}

TEST(Demodulator, CopiesEachOverFromItsFirstCharacterAndClosesWhenItsCarrierStops) {
  ModemSettings s;
  std::vector<Over> overs{{"K1ABC 599 001 001", 50, 0, 0, 0}, {"DL9ZZ 599 002 002", -50, 0, 0, 0}};
  const std::vector<float> x = Overs(overs, s);
  Demodulator d(s);
  std::string raw;
  const size_t block = static_cast<size_t>(s.sampleRate / 100);
  for (size_t i = 0; i < x.size(); i += block) {
    const size_t shown = raw.size(), now = i + block;
    d.Process(&x[i], std::min(block, x.size() - i), raw);
    for (const Over& o : overs) {
      if (now > o.start && now < o.end && raw.size() > shown && raw.find(o.text[0], shown) != std::string::npos)
        EXPECT_LT((static_cast<double>(now) - o.firstEnd) / s.sampleRate, 0.4) << "its first character, late";
      if (now > o.start + 0.5 * s.sampleRate && now < o.end)  // found and followed within its first character
        EXPECT_NEAR(d.markFrequency(), s.mark + o.offset, 3) << o.text;
      if (now > o.end + 0.25 * s.sampleRate && now < o.end + 2 * s.sampleRate)
        EXPECT_FALSE(d.squelchOpen()) << "still open " << (now - o.end) / s.sampleRate << " s after " << o.text;
    }
  }
  d.Flush(raw);
  EXPECT_EQ(raw, overs[0].text + overs[1].text);
}

// After a weak over the carrier watch takes a character or two to tell its end from a fade;
// the noise framed as characters meanwhile must not be shown.
TEST(Demodulator, ShowsNothingOfTheNoiseAfterWeakOversEnd) {
  ModemSettings s;
  std::vector<Over> overs;
  for (int i = 0; i < 30; ++i) overs.push_back({"K1ABC 599 " + std::to_string(100 + i), 5.0 * (i % 9) - 20, 0, 0, 0});
  const std::vector<float> x = Overs(overs, s, 2.1, -7, 24);
  Demodulator d(s);
  std::string raw;
  const size_t block = static_cast<size_t>(s.sampleRate / 100);
  for (size_t i = 0; i < x.size(); i += block) {
    d.Process(&x[i], std::min(block, x.size() - i), raw);
    for (const int64_t end : d.stopEnds())
      EXPECT_TRUE(std::any_of(overs.begin(), overs.end(),
                              [&](const Over& o) {
                                return end > static_cast<int64_t>(o.start) &&
                                       end < static_cast<int64_t>(o.end + s.sampleRate / s.baud);
                              }))
          << "a character in the gap, " << static_cast<double>(end) / s.sampleRate << " s";
  }
}

TEST(Demodulator, ShowsNothingFromMinutesOfNoiseAfterASignal) {
  ModemSettings s;
  std::vector<Over> over{{"CQ TEST W1AW", 30, 0, 0, 0}};
  const std::vector<float> x = Overs(over, s, 180);
  EXPECT_EQ(Receive(x, s), over[0].text);
  DemodulatorOptions open;
  open.squelch = false;
  EXPECT_GT(Receive(x, s, open).size(), 500u);  // what the squelch keeps out
}

TEST(Demodulator, ItsFrontEndBlanksClicksButNotTheNoiseItStartsOn) {
  // Noise from the first sample: a level taken from the filters' first, still filling
  // samples would be far too low, and much of the noise after it blanked.
  std::vector<float> x(8000, 0.0f);
  channel::AddNoise(x, 0.01, 5);
  FrontEnd quiet(8000, 2210, 1091, 253);
  std::vector<Cf> out;
  quiet.Process(x.data(), x.size(), out);
  EXPECT_LT(quiet.blanked(), 40u);  // of 4000 samples at the blanker's rate (noise peaks: about 15)
  for (size_t i = 6000; i < 6008; ++i) x[i] = 20;
  FrontEnd clicked(8000, 2210, 1091, 253);
  clicked.Process(x.data(), x.size(), out);
  EXPECT_GT(clicked.blanked(), quiet.blanked());
}

TEST(Demodulator, FollowsADriftingCarrierAndClickToTune) {
  const std::string text = channel::TrafficText(300, 3);
  ModemSettings s;
  const std::vector<float> drifting =
      channel::ShiftFrequency(Transmit(text, s), s.sampleRate, channel::DriftingOffset(-37, 30, 1));
  EXPECT_EQ(Receive(drifting, s), text);
  // Without frequency following, tuned by hand (click to tune) to where the signal is.
  DemodulatorOptions fixed;
  fixed.afc = false;
  Demodulator d(s, fixed);
  d.SetMark(s.mark - 37);
  std::string raw;
  d.Process(drifting.data(), drifting.size(), raw);
  d.Flush(raw);
  EXPECT_EQ(d.markFrequency(), s.mark - 37);
  EXPECT_LT(Cer(Lines(raw), text), 0.02);
}

TEST(ReceivedText, RepairsALostShiftWhereTheWordShowsIt) {
  constexpr uint8_t kSp = 4, kQ = 23, kW = 19, kE = 1, kT = 16, kU = 7, kO = 24, kI = 6, kY = 21, kB = 25, kX = 29,
                    kA = 3, kC = 14;
  struct Case {
    std::vector<uint8_t> codes;
    int faint;  // this code's second element was faint: it may have been the other shift
    const char* expected;
  } cases[] = {
      {{kFigs, kT, kO, kO, kSp, kQ, kW, kE}, -1, "599 123"},  // no figures again after the space
      {{kFigs, kT, kO, kO, kSp, kT, kU}, -1, "599 TU"},       // a short word stays letters
      {{kSp, kB, kO, kI, kU, kY, kE}, 1, " 98763"},           // FIGS read as B
      {{kSp, kB, kO, kI, kU, kY, kE}, -1, " BOIUYE"},         // B clearly
      {{kFigs, kW, kX, kA, kB, kC}, 2, "2ABC"},               // LTRS read as X
      {{kFigs, kW, kX, kA, kB, kC}, -1, "2/-?:"},             // X clearly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ReceivedText out(true);
    std::string text;
    std::vector<int64_t> ends;
    for (size_t i = 0; i < c.codes.size(); ++i) {
      float llr[5];
      for (int b = 0; b < 5; ++b) llr[b] = (c.codes[i] >> b) & 1 ? 9.0f : -9.0f;
      if (static_cast<int>(i) == c.faint) llr[1] /= 9;
      out.Add(c.codes[i], llr, static_cast<int64_t>(i), text, ends);
    }
    out.Flush(text, ends);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(ends.size(), text.size());
  }
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
