#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/baudot.h"

namespace zk {
namespace {

using Codes = std::vector<uint8_t>;

// What each code prints, written out by hand; '\0' marks the blank and the two shifts.
const char kLettersExpected[33] = "\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\0MXV\0";
const char kFiguresExpected[33] = "\0" "3\n- " " 87\r$4',!:(5\")2#6019?&" "\0" "./;" "\0";

std::string DecodeAll(BaudotCodec& codec, const Codes& codes, bool ltrsOnSpace) {
  std::string shown;
  for (uint8_t code : codes) {
    const char ch = codec.Decode(code, ltrsOnSpace);
    if (ch != 0) shown += ch;
  }
  return shown;
}

Codes EncodeAll(BaudotCodec& codec, const std::string& text) {
  Codes codes;
  for (char ch : text) {
    uint8_t out[5];
    std::memset(out, 0xEE, sizeof out);
    const int n = codec.Encode(ch, out);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, 4);
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

TEST(BaudotDecode, EveryLettersEntry) {
  for (bool ltrsOnSpace : {true, false}) {
    for (int code = 0; code < 32; ++code) {
      BaudotCodec codec;
      EXPECT_EQ(codec.Decode(static_cast<uint8_t>(code), ltrsOnSpace), kLettersExpected[code])
          << "code " << code;
      EXPECT_EQ(codec.rxFigures(), code == 27) << "code " << code;
    }
  }
}

TEST(BaudotDecode, EveryFiguresEntry) {
  // Shift after the code, from figures: newlines and LTRS always unshift, the two
  // spaces (4, and 5 which is the bell) only with ltrsonspace on.
  const char kAfterWithLtrsOnSpace[33] = "FFLFLLFFLFFFFFFFFFFFFFFFFFFFFFFL";
  const char kAfterWithout[33]        = "FFLFFFFFLFFFFFFFFFFFFFFFFFFFFFFL";
  for (bool ltrsOnSpace : {true, false}) {
    const char* after = ltrsOnSpace ? kAfterWithLtrsOnSpace : kAfterWithout;
    for (int code = 0; code < 32; ++code) {
      BaudotCodec codec = InFigures();
      ASSERT_TRUE(codec.rxFigures());
      EXPECT_EQ(codec.Decode(static_cast<uint8_t>(code), ltrsOnSpace), kFiguresExpected[code])
          << "code " << code;
      EXPECT_EQ(codec.rxFigures(), after[code] == 'F') << "code " << code << " " << ltrsOnSpace;
    }
  }
}

TEST(BaudotDecode, UpperBitsAreIgnored) {
  BaudotCodec codec;
  EXPECT_EQ(codec.Decode(0x20 | 1, true), 'E');
  EXPECT_EQ(codec.Decode(0xE0 | 27, true), 0);
  EXPECT_TRUE(codec.rxFigures());
  EXPECT_EQ(codec.Decode(0x80 | 1, true), '3');
  EXPECT_EQ(codec.Decode(0xFF, true), 0);  // LTRS
  EXPECT_FALSE(codec.rxFigures());
}

TEST(BaudotDecode, ShiftSequences) {
  BaudotCodec codec;
  EXPECT_EQ(DecodeAll(codec, {27, 1, 31, 1}, true), "3E");

  // Code 0 shows nothing and keeps the shift, in either shift.
  EXPECT_EQ(DecodeAll(codec, {0, 1, 27, 0, 1}, true), "E3");

  BaudotCodec bell;
  EXPECT_EQ(DecodeAll(bell, {27, 5}, false), " ");
  EXPECT_TRUE(bell.rxFigures());

  BaudotCodec on;
  EXPECT_EQ(DecodeAll(on, {27, 4, 1}, true), " E");
  BaudotCodec off;
  EXPECT_EQ(DecodeAll(off, {27, 4, 1}, false), " 3");

  for (bool ltrsOnSpace : {true, false}) {
    BaudotCodec cr;
    EXPECT_EQ(DecodeAll(cr, {27, 8, 1}, ltrsOnSpace), "\rE");
    BaudotCodec lf;
    EXPECT_EQ(DecodeAll(lf, {27, 2, 1}, ltrsOnSpace), "\nE");
  }
}

// The code each character owns, grouped as a teleprinter chart lists them.
std::vector<int> ExpectedCodeTable() {
  std::vector<int> code(91, 28);
  const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const int letterCodes[26] = {3,  25, 14, 9,  1,  13, 26, 20, 6,  11, 15, 18, 28,
                               12, 24, 22, 23, 10, 5,  16, 7,  30, 19, 29, 21, 17};
  for (int i = 0; i < 26; ++i) code[static_cast<unsigned char>(letters[i])] = letterCodes[i];
  const int digitCodes[10] = {22, 23, 19, 1, 10, 16, 21, 7, 6, 24};
  for (int i = 0; i < 10; ++i) code['0' + i] = digitCodes[i];
  const char* punct = " !\"#$&'(),-./:;?";
  const int punctCodes[16] = {4, 13, 17, 20, 9, 26, 11, 15, 18, 12, 3, 28, 29, 14, 30, 25};
  for (int i = 0; i < 16; ++i) code[static_cast<unsigned char>(punct[i])] = punctCodes[i];
  code[0x07] = 5;
  code[0x0A] = 2;
  code[0x0D] = 8;
  code[0x1B] = 27;
  code[0x1F] = 31;
  return code;
}

TEST(BaudotEncode, EveryCharacterFromBothShifts) {
  const std::vector<int> table = ExpectedCodeTable();
  for (int c = 0; c < 256; ++c) {
    int u = (c >= 'a' && c <= 'z') ? c - 32 : c;
    for (bool fromFigures : {false, true}) {
      BaudotCodec codec = fromFigures ? InFigures() : BaudotCodec();
      Codes expected;
      bool figuresAfter = fromFigures;
      if (u == 0 || u > 'Z') {
        // nothing at all
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
      EXPECT_EQ(EncodeAll(codec, std::string(1, static_cast<char>(c))), expected)
          << "character " << c << (fromFigures ? " from figures" : " from letters");
      EXPECT_EQ(codec.txFigures(), figuresAfter) << "character " << c;
    }
  }
}

TEST(BaudotEncode, ShiftPairsOnlyWhenTheShiftChanges) {
  BaudotCodec codec;
  EXPECT_EQ(EncodeAll(codec, "A1 B"), (Codes{3, 27, 27, 23, 31, 31, 4, 25}));
  BaudotCodec again;
  EXPECT_EQ(EncodeAll(again, "73 73"), (Codes{27, 27, 7, 1, 31, 31, 4, 27, 27, 7, 1}));
  BaudotCodec lower;
  EXPECT_EQ(EncodeAll(lower, "e"), Codes{1});
  BaudotCodec percent;
  EXPECT_EQ(EncodeAll(percent, "%"), (Codes{27, 27, 28}));
  EXPECT_EQ(EncodeAll(percent, "%?"), (Codes{28, 25}));  // already in figures
}

TEST(BaudotEncode, NothingForCharactersPastZ) {
  for (char ch : {'[', '~', '\x7F', '\x80', '\xA0', '\xFF'}) {
    for (bool fromFigures : {false, true}) {
      BaudotCodec codec = fromFigures ? InFigures() : BaudotCodec();
      uint8_t out[5] = {9, 9, 9, 9, 9};
      EXPECT_EQ(codec.Encode(ch, out), 0) << int(ch);
      EXPECT_EQ(out[0], 0);
      EXPECT_EQ(codec.txFigures(), fromFigures);
    }
  }
}

TEST(BaudotEncode, NewlineAlwaysCostsFourCodes) {
  for (char ch : {'\r', '\n'}) {
    BaudotCodec letters;
    EXPECT_EQ(EncodeAll(letters, std::string(1, ch)), (Codes{31, 31, 8, 2}));
    BaudotCodec figures = InFigures();
    EXPECT_EQ(EncodeAll(figures, std::string(1, ch)), (Codes{31, 31, 8, 2}));
    EXPECT_FALSE(figures.txFigures());
  }
  BaudotCodec codec;
  EXPECT_EQ(EncodeAll(codec, "5\r5"), (Codes{27, 27, 16, 31, 31, 8, 2, 27, 27, 16}));
}

struct RecordingPort : CodeWriter {
  Codes written;
  void WriteCodes(const uint8_t* codes, int count) override {
    written.insert(written.end(), codes, codes + count);
  }
};

TEST(BaudotEncode, SyncAndIdleReturnTheFarEndToLetters) {
  BaudotCodec codec = InFigures();
  RecordingPort port;
  codec.SyncLetters(port);
  EXPECT_EQ(port.written, (Codes{31, 31}));
  EXPECT_FALSE(codec.txFigures());
  EXPECT_EQ(EncodeAll(codec, "A"), Codes{3});

  EXPECT_EQ(EncodeAll(codec, "5"), (Codes{27, 27, 16}));
  codec.NoteIdleCode();
  EXPECT_EQ(EncodeAll(codec, "5"), (Codes{27, 27, 16}));
  // The receiving shift is a separate state.
  EXPECT_TRUE(codec.rxFigures());
}

}  // namespace
}  // namespace zk
