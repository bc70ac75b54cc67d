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
    EXPECT_TRUE(n >= 0 && n <= 4) << n;
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

// The code each character owns, as a teleprinter chart lists them; anything else up
// to "Z" sends 28.
std::vector<int> ExpectedCodeTable() {
  std::vector<int> code(91, 28);
  const char* chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#$&'(),-./:;?\a\x1B\x1F";
  const int codes[] = {3,  25, 14, 9,  1,  13, 26, 20, 6,  11, 15, 18, 28, 12, 24, 22, 23, 10,
                       5,  16, 7,  30, 19, 29, 21, 17, 22, 23, 19, 1,  10, 16, 21, 7,  6,  24,
                       4,  13, 17, 20, 9,  26, 11, 15, 18, 12, 3,  28, 29, 14, 30, 25, 5,  27, 31};
  static_assert(sizeof codes / sizeof codes[0] == 55, "one code per chart character");
  for (int i = 0; chars[i] != 0; ++i) code[static_cast<unsigned char>(chars[i])] = codes[i];
  return code;
}

TEST(BaudotEncode, EveryCharacterFromBothShifts) {
  const std::vector<int> table = ExpectedCodeTable();
  for (int c = 0; c < 256; ++c) {
    const int u = (c >= 'a' && c <= 'z') ? c - 32 : c;
    for (bool fromFigures : {false, true}) {
      BaudotCodec codec = fromFigures ? InFigures() : BaudotCodec();
      Codes expected;
      bool figuresAfter = fromFigures;
      if (u == 0 || u > 'Z') {
        // nothing at all, shift untouched
      } else if (u == '\r' || u == '\n') {
        expected = {31, 31, 8, 2};
        figuresAfter = false;
      } else if (u == ' ' || (u >= 'A' && u <= 'Z')) {
        if (fromFigures) expected = {31, 31};
        expected.push_back(static_cast<uint8_t>(table[u]));
        figuresAfter = false;
      } else {
        if (!fromFigures) expected = {27, 27};
        expected.push_back(static_cast<uint8_t>(table[u]));
        figuresAfter = true;
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

TEST(BaudotEncode, SequencesSyncAndIdle) {
  BaudotCodec codec;
  EXPECT_EQ(EncodeAll(codec, "A1 B"), (Codes{3, 27, 27, 23, 31, 31, 4, 25}));
  EXPECT_EQ(EncodeAll(codec, "73 73"), (Codes{27, 27, 7, 1, 31, 31, 4, 27, 27, 7, 1}));

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
