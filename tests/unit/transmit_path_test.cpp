#include "modem/transmit_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "modem_signals.h"

namespace zk {
namespace {

constexpr size_t kBlock = 960;         // 20 ms at 48 kHz
constexpr uint64_t kLag = 4 * kBlock;  // what the output holds before it has played it

struct Output {
  std::vector<float> audio;
  std::string echoed;
  std::vector<uint64_t> echoedAt;  // samples played when each echo came
  int periodsAfterSignal = 0;      // block times the output went on playing after the last block
};

// One block a period while the path needs audio; the output plays what it was given
// kLag samples later, until the path has ended.
Output Play(TransmitPath& path, size_t stopAt = 0) {
  Output o;
  for (size_t b = 0; b < 10000 && !path.Ended(); ++b) {
    if (stopAt > 0 && b == stopAt) path.Stop();
    if (path.NeedsAudio()) {
      o.audio.resize(o.audio.size() + kBlock);
      path.Render(&o.audio[o.audio.size() - kBlock], kBlock);
    } else {
      ++o.periodsAfterSignal;
    }
    const uint64_t clock = (b + 1) * kBlock;
    const uint64_t played = std::min<uint64_t>(path.rendered(), clock > kLag ? clock - kLag : 0);
    path.Played(played, o.echoed);
    o.echoedAt.resize(o.echoed.size(), played);
  }
  return o;
}

// A finished transmission, then after Reset one stopped a second into its text: the sample
// counts start again from 0, or the second would end long after its last block was played.
TEST(TransmitPath, EchoesAsPlayedEndsAfterTheLastSampleAndAStopFadesOutWithoutAClick) {
  ModemSettings s;
  s.sampleRate = 48000;
  const std::string text = "CQ DE N0CALL 599 73";
  TransmitPath path(s, {});
  path.Start();
  for (char c : text) path.Queue(c);
  path.Finish();
  const Output o = Play(path);
  ASSERT_TRUE(path.Ended());
  EXPECT_EQ(o.periodsAfterSignal, static_cast<int>(kLag / kBlock));  // ended as the last block was played
  EXPECT_EQ(Receive(o.audio, s), text);
  ASSERT_EQ(o.echoed, text);
  // Each echo came once the sample ending its character had been played, and no later.
  Modulator m(s, {});
  for (char c : text) m.Queue(c);
  m.Finish();
  std::vector<float> scratch(o.audio.size());
  m.Render(scratch.data(), scratch.size());
  SentChar sent;
  for (size_t i = 0; m.PopSent(&sent); ++i) {
    EXPECT_GE(o.echoedAt[i], sent.endSample) << i;
    EXPECT_LT(o.echoedAt[i], sent.endSample + kBlock) << i;
  }
  path.Reset();
  EXPECT_FALSE(path.active());

  path.Start();
  for (char c : std::string(40, 'Y')) path.Queue(c);
  const Output stopped = Play(path, 50);  // one second in: about five characters out
  ASSERT_TRUE(path.Ended());
  EXPECT_EQ(stopped.periodsAfterSignal, o.periodsAfterSignal);
  EXPECT_GT(stopped.echoed.size(), 2u);
  EXPECT_LT(stopped.echoed.size(), 8u);
  ASSERT_EQ(stopped.audio.size(), 51 * kBlock);  // the block with the fade ends the signal
  float biggestStep = 0;
  for (size_t n = 1; n < stopped.audio.size(); ++n)
    biggestStep = std::max(biggestStep, std::fabs(stopped.audio[n] - stopped.audio[n - 1]));
  EXPECT_LT(biggestStep, 0.5 * 2 * kPi * 2295 / 48000 * 1.05);  // no faster than the highest tone moves
  for (size_t n = 50 * kBlock + 240; n < stopped.audio.size(); ++n) ASSERT_EQ(stopped.audio[n], 0.0f) << n;
}

}  // namespace
}  // namespace zk
