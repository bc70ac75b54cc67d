#include <gtest/gtest.h>

#include "modem/code_model.h"

namespace zk {
namespace {

TEST(CodeModel, DoubtIsSettledByWhatTheTextHasShownAndClearElementsAlwaysWin) {
  constexpr uint8_t kFigs = 27, kThree = 1, kE = 1, kA = 3, kT = 16, kZ = 17;
  struct Case {
    int lessons;  // how often the text has shown `taught` after `before`
    uint8_t before, taught;
    float llr[5];  // the received code's elements, mark over space, after `before`
    uint8_t expected;
  } cases[] = {
      // A doubled shift: the second FIGS, one element faintly wrong (it reads LTRS), is FIGS.
      {40, kFigs, kFigs, {8, 8, 1, 8, 8}, kFigs},
      // A digit after FIGS FIGS, its last element faintly wrong (it reads Z): still the digit.
      {40, kFigs, kThree, {8, -8, -8, -8, 1.5f}, kThree},
      // Clear elements are read as they are, whatever the text has taught: one element 7
      // nats the other way outweighs the most the knowledge may count for (3 either side).
      {40, kT, kE, {8, 7, -8, -8, -8}, kA},
      // Nothing taught: the elements alone decide, faint or not.
      {0, kT, kE, {8, -8, -8, -8, 1}, kZ},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "expected " << int(c.expected));
    CodeModel model(true);
    auto send = [&model](uint8_t code) {
      float llr[5];
      for (int b = 0; b < 5; ++b) llr[b] = ((code >> b) & 1) ? 8.0f : -8.0f;
      return model.Choose(llr);
    };
    for (int i = 0; i < c.lessons; ++i) {
      send(c.before);
      send(c.taught);
    }
    ASSERT_EQ(send(c.before), c.before);
    EXPECT_EQ(model.Choose(c.llr), c.expected);
  }
}

}  // namespace
}  // namespace zk
