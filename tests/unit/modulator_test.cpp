#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "modem/dsp.h"
#include "modem/modulator.h"
#include "modem_signals.h"

namespace zk {
namespace {

// Whether the mark tone is stronger than the space tone over x[from, to).
bool MarkIsStronger(const std::vector<float>& x, size_t from, size_t to, const ModemSettings& s) {
  std::complex<double> mark = 0, space = 0;
  for (size_t n = from; n < to; ++n) {
    mark += static_cast<double>(x[n]) * std::polar(1.0, -kTwoPi * s.mark * n / s.sampleRate);
    space += static_cast<double>(x[n]) * std::polar(1.0, -kTwoPi * s.space() * n / s.sampleRate);
  }
  return std::norm(mark) > std::norm(space);
}

TEST(Modulator, ElementsStopLengthsAndSentTimes) {
  // B is 10011 from the first data element on: space start, M S S M M, mark stop.
  const bool kElementsOfB[7] = {false, true, false, false, true, true, true};
  for (double stop : {1.0, 1.5, 2.0}) {
    for (bool reverse : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "stop " << stop << " reverse " << reverse);
      ModemSettings s;
      s.stopBits = stop;
      s.reverse = reverse;
      ModulatorOptions o;
      Modulator m(s, o);
      const uint64_t first = m.Queue('B'), second = m.Queue('B');
      m.Finish();
      std::vector<float> x(static_cast<size_t>(2 * s.sampleRate));
      m.Render(x.data(), x.size());
      EXPECT_FALSE(m.keyed());
      // The lead-in: steady mark, then one LTRS.
      const double t = s.sampleRate / s.baud, lead = o.leadInSeconds * s.sampleRate + (6 + stop) * t;
      SentChar sent;
      for (int k = 1; k <= 2; ++k) {
        ASSERT_TRUE(m.PopSent(&sent));
        EXPECT_EQ(sent.ticket, k == 1 ? first : second);
        EXPECT_NEAR(static_cast<double>(sent.endSample), lead + k * (6 + stop) * t, 1);
      }
      EXPECT_FALSE(m.PopSent(&sent));
      for (int e = 0; e < 7; ++e) {
        const size_t from = static_cast<size_t>(lead + (e + 0.25) * t);
        EXPECT_EQ(MarkIsStronger(x, from, from + static_cast<size_t>(t / 2), s), kElementsOfB[e]) << "element " << e;
      }
      // After the tail and the ramp: silence.
      const double tail = (o.tailSeconds + o.rampSeconds) * s.sampleRate;
      const size_t end = static_cast<size_t>(lead + 2 * (6 + stop) * t + tail) + 2;
      for (size_t n = end; n < x.size(); ++n) ASSERT_EQ(x[n], 0.0f) << n;
    }
  }
}

TEST(Modulator, NoClickAtKeyingPhaseChangeOrEnd) {
  ModemSettings s;
  s.shift = 850;
  const std::vector<float> x = Transmit("RYRY 1234", s);
  ModulatorOptions o;
  // The largest step a sine of the higher tone takes between samples: anything more is a
  // jump in phase or amplitude.
  const double limit = o.amplitude * kTwoPi * s.space() / s.sampleRate * 1.001;
  for (size_t n = 1; n < x.size(); ++n) ASSERT_LE(std::fabs(x[n] - x[n - 1]), limit) << n;
  const size_t ramp = static_cast<size_t>(o.rampSeconds * s.sampleRate);
  for (size_t n = 0; n < ramp / 4; ++n) {
    EXPECT_LE(std::fabs(x[n]), 0.15 * o.amplitude) << n;
    EXPECT_LE(std::fabs(x[x.size() - 1 - n]), 0.15 * o.amplitude) << n;
  }
}

TEST(Modulator, IdlesUntilTextThenKeysUpAgainAfterTheEnd) {
  for (bool diddle : {false, true}) {
    ModemSettings s;
    ModulatorOptions o;
    o.diddle = diddle;
    Modulator m(s, o);
    std::vector<float> x(static_cast<size_t>(s.sampleRate));
    m.Render(x.data(), x.size());
    EXPECT_FALSE(m.keyed());
    EXPECT_EQ(x[100], 0.0f);
    m.Start();
    m.Render(x.data(), x.size());
    EXPECT_TRUE(m.keyed());
    EXPECT_FALSE(m.sending());
    // Steady mark shows no space at all; a diddle has a start element in every character.
    const size_t t = static_cast<size_t>(s.sampleRate / s.baud);
    int spaces = 0;
    for (size_t b = x.size() / 2; b + t <= x.size(); b += t) spaces += !MarkIsStronger(x, b, b + t, s);
    EXPECT_GE(spaces, diddle ? 2 : 0);  // half a second: three characters, some start elements split
    EXPECT_LE(spaces, diddle ? 6 : 0);
    const uint64_t none = m.Queue('~');  // has no code: sent as soon as the queue reaches it
    m.Queue('E');
    m.Finish();
    m.Render(x.data(), x.size());
    SentChar sent;
    ASSERT_TRUE(m.PopSent(&sent));
    EXPECT_EQ(sent.ticket, none);
    ASSERT_TRUE(m.PopSent(&sent));
    EXPECT_EQ(sent.ch, 'E');
    EXPECT_FALSE(m.keyed());
    m.Queue('T');
    EXPECT_TRUE(m.keyed());
    EXPECT_TRUE(m.sending());
  }
}

}  // namespace
}  // namespace zk
