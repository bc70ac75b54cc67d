#include "modem/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace zk {
namespace {

// Two tones in noise, and what lies above 3 kHz, which must not fold into the view.
std::vector<float> Signal(double rate, double seconds, const std::vector<double>& tones) {
  std::mt19937 random(1);
  std::normal_distribution<float> noise(0, 0.01f);
  std::vector<float> x(static_cast<size_t>(rate * seconds));
  for (size_t n = 0; n < x.size(); ++n) {
    x[n] = noise(random);
    for (double hz : tones) x[n] += static_cast<float>(0.2 * std::sin(kTwoPi * hz * static_cast<double>(n) / rate));
  }
  return x;
}

TEST(Spectrum, TonesShowInTheirColumnsAtEveryRateAndNothingFolds) {
  for (double rate : {8000.0, 11025.0, 22050.0, 44100.0, 48000.0}) {
    SCOPED_TRACE(rate);
    Spectrum s(rate, 600);
    EXPECT_LE(s.rate() / static_cast<double>(s.fftSize()), 4.0);
    // A tone that would show at 2500 Hz if the rate were lowered without a filter.
    const bool lowered = s.rate() < rate;
    std::vector<double> tones = {2125, 2295};
    if (lowered) tones.push_back(s.rate() - 2500);
    const std::vector<float> x = Signal(rate, 2, tones);
    for (size_t i = 0; i < x.size(); i += 441) s.Process(&x[i], std::min<size_t>(441, x.size() - i));
    std::vector<uint8_t> line, last;
    int lines = 0;
    for (; s.PopLine(&line); ++lines) last = line;
    EXPECT_NEAR(lines, 2 * 10 - 10 * s.fftSize() / s.rate(), 2);  // ten a second once the first window is full
    ASSERT_EQ(last.size(), 600u);
    const auto column = [](double hz) { return static_cast<size_t>(hz / 5); };
    EXPECT_GT(last[column(2125)], 200);
    EXPECT_GT(last[column(2295)], 200);
    EXPECT_LT(last[column(2210)], 100);  // between the tones
    const auto noise = std::count_if(last.begin(), last.end(), [](uint8_t v) { return v > 100; });
    EXPECT_LT(noise, 12) << "only the two tones stand out";
    EXPECT_LT(last[column(2500)], 100);
  }
}

}  // namespace
}  // namespace zk
