#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/baudot.h"

namespace zk {
namespace {

using Codes = std::vector<uint8_t>;

// What each code prints, written out by hand; '\0' marks the blank and the two shifts.
const char kLettersExpected[33] = "\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\0MXV\0";
const char kFiguresExpected[33] = "\0" "3\n- " " 87\r$4',!:(5\")2#6019?&" "\0" "./;" "\0";

Codes EncodeAll(BaudotCodec& codec, const std::string& text) {
  Codes codes;
  for (char ch : text) {
    uint8_t out[5];
    std::memset(out, 0xEE, sizeof out);
    const int n = codec.Encode(ch, out);
    if (n < 0 || n > 4) return ADD_FAILURE() << n << " codes", codes;
    EXPECT_EQ(out[n], 0) << "no terminator after " << n << " codes";
    codes.insert(codes.end(), out, out + n);
  }
  return codes;
}

BaudotCodec InFigures() {
  BaudotCodec codec;
  codec.Decode(kFigs, true);
  uint8_t out[5];
  codec.Encode('1', out);
  return codec;
}

TEST(BaudotDecode, EveryEntryAndTheShiftItLeaves) {
  // Shift after each code from figures: newlines and LTRS always unshift, the two
  // spaces (4, and 5 which is the bell) only with ltrsonspace on; code 0 keeps it.
  const char kAfterWithLtrsOnSpace[33] = "FFLFLLFFLFFFFFFFFFFFFFFFFFFFFFFL";
  const char kAfterWithout[33]        = "FFLFFFFFLFFFFFFFFFFFFFFFFFFFFFFL";
  for (bool ltrsOnSpace : {true, false}) {
    for (bool fromFigures : {false, true}) {
      for (int code = 0; code < 32; ++code) {
        for (int high : {0x00, 0xE0}) {  // only the low five bits count
          SCOPED_TRACE(::testing::Message() << "code " << code << " high " << high << " ltrs "
                                            << ltrsOnSpace << " figs " << fromFigures);
          BaudotCodec codec = fromFigures ? InFigures() : BaudotCodec();
          const char shown = codec.Decode(static_cast<uint8_t>(code | high), ltrsOnSpace);
          const char* after = ltrsOnSpace ? kAfterWithLtrsOnSpace : kAfterWithout;
          EXPECT_EQ(shown, (fromFigures ? kFiguresExpected : kLettersExpected)[code]);
          EXPECT_EQ(codec.rxFigures(), fromFigures ? after[code] == 'F' : code == 27);
        }
      }
    }
  }
}

// The code a character sends is where it stands in the chart of its shift above; the
// bell and the two shift bytes send their own code, anything else up to "Z" sends 28.
int ExpectedCode(int u, bool letters) {
  if (u < 32) return u == 7 ? 5 : (u == kFigs || u == kLtrs) ? u : 28;
  const char* chart = letters ? kLettersExpected : kFiguresExpected;
  const void* at = std::memchr(chart, u, 32);
  return at ? static_cast<int>(static_cast<const char*>(at) - chart) : 28;
}

TEST(BaudotEncode, EveryCharacterFromBothShifts) {
  for (int c = 0; c < 256; ++c) {
    const int u = (c >= 'a' && c <= 'z') ? c - 32 : c;
    const bool letters = u == ' ' || (u >= 'A' && u <= 'Z');
    for (bool fromFigures : {false, true}) {
      BaudotCodec codec = fromFigures ? InFigures() : BaudotCodec();
      Codes expected;
      bool figuresAfter = fromFigures;
      if (u == '\r' || u == '\n') {  // a newline always leaves the far end in letters
        expected = {31, 31, 8, 2};
        figuresAfter = false;
      } else if (u != 0 && u <= 'Z') {
        if (fromFigures == letters) expected = letters ? Codes{31, 31} : Codes{27, 27};
        expected.push_back(static_cast<uint8_t>(ExpectedCode(u, letters)));
        figuresAfter = !letters;
      }
      SCOPED_TRACE(::testing::Message() << "character " << c << " from figures " << fromFigures);
      EXPECT_EQ(EncodeAll(codec, std::string(1, static_cast<char>(c))), expected);
      EXPECT_EQ(codec.txFigures(), figuresAfter);
    }
  }
}

struct RecordingPort : CodeWriter {
  Codes written;
  void WriteCodes(const uint8_t* codes, int count) override {
    written.insert(written.end(), codes, codes + count);
  }
};

TEST(BaudotEncode, SyncAndIdleLeaveTheFarEndInLetters) {
  BaudotCodec codec;
  EncodeAll(codec, "73");
  RecordingPort port;
  codec.SyncLetters(port);
  EXPECT_EQ(port.written, (Codes{31, 31}));
  EXPECT_EQ(EncodeAll(codec, "A5"), (Codes{3, 27, 27, 16}));
  codec.NoteIdleCode();
  EXPECT_EQ(EncodeAll(codec, "5"), (Codes{27, 27, 16}));
  EXPECT_FALSE(codec.rxFigures());  // the receiving shift is a separate state
}

}  // namespace
}  // namespace zk
