// The helpers every layer shares: the escape notation, the Baudot codec, CleanLine and
// fixed-size text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/baudot.h"
#include "base/clean_line.h"
#include "base/escapes.h"
#include "base/fixed_text.h"

namespace zk {
namespace {

TEST(ParseEscapes, Table) {
  const struct {
    const char* in;
    std::string out;  // embedded zeros included
    bool transmitting = false, qsoPending = false;
  } cases[] = {
      {"\\x41\\X4a\\x4A\\xff\\x80", "AJJ\xff\x80"},
      {"\\x01\\x23\\x45\\x67\\x89\\xAB\\xCD\\xEF\\xab\\xcd\\xef", "\x01\x23\x45\x67\x89\xab\xcd\xef\xab\xcd\xef"},
      {"\\xg1\\x1g\\x/:\\x@G\\x`G", std::string("\x01\x10\0\0\0", 5)},  // a non-hex digit counts as 0
      {"a\\x414", "aA4"},                                               // exactly two digits are taken
      {"\\x4", "\x40"},  // missing digits at the end count as 0, and parsing stops
      {"ab\\x", std::string("ab\0", 3)},
      {"ab\\x00cd", std::string("ab\0cd", 5)},
      {"\\c\\C\\e\\E\\n\\N\\q\\Q\\r\\R\\u\\U", "\x03\x03\x1b\x1b\n\n\"\"\r\r\x01\x01"},
      {"\\s\\S", "\x1a\x1a"},
      {"a\\\\b\\k\\K\\1\\ ", "a\\bkK1 "},  // anything else stands for itself
      {"ab\\", "ab"},                      // a trailing lone backslash is lost
      {"x\xe9\x7f\x01y", "x\xe9\x7f\x01y"},
      {"\\tCQ\\s\\T",
       "\x17"
       "CQ\x1a\x17"},  // start of transmission only while receiving
      {"\\tCQ\\s\\T", "CQ\x1a", true},
      {"73\\l", "73", false, true},
      {"\\L", "", true, true},
      {"l \\\\l \\x4c", "l \\l L"},
      {"   ab c ", "ab c "},  // only leading spaces are skipped
      {"\tab", "\tab"},
      {"  'abc'def", "abc"},  // a text that opens with a quote ends at the same quote
      {"'a\\'b'", "a'b"},
      {"\"x\\\"y\"z", "x\"y"},
      {"'a\"b'", "a\"b"},
      {"\"a'b\" c", "a'b"},
      {"'  a '", "  a "},
      {"'abc", "abc"},
      {"''x", ""},
      {"a'b'c", "a'b'c"},
      {"'\\x41\\s'\\x42", "A\x1a"},
      {"", ""},
      {nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in ? c.in : "(null)");
    char out[500];
    EscapeContext ctx;
    ctx.transmitting = c.transmitting;
    EscapeEffects effects;
    const size_t n = ParseEscapes(out, sizeof out, c.in, ctx, &effects);
    ASSERT_LT(n, sizeof out);
    EXPECT_EQ(std::string(out, n), c.out);
    EXPECT_EQ(out[n], '\0');
    EXPECT_EQ(effects.qsoPending, c.qsoPending);
  }
  char out[4];
  EXPECT_EQ(ParseEscapes(out, sizeof out, "\\l", EscapeContext(), nullptr), 0u);  // no record
}

// The cut itself (termination, no byte past the capacity, a prefix of the whole) is
// checked by the fuzz target at several capacities; these are the ends it leaves out.
TEST(ParseEscapes, NothingWrittenWithoutRoomAndEffectsPastTheCut) {
  char out[2] = {'#', '#'};
  EXPECT_EQ(ParseEscapes(out, 0, "abc", EscapeContext(), nullptr), 0u);
  EXPECT_EQ(out[0], '#');
  EscapeEffects effects;  // effects past the cut still count: the escape was in the text
  EXPECT_EQ(ParseEscapes(out, 2, "abc\\l", EscapeContext(), &effects), 1u);
  EXPECT_TRUE(effects.qsoPending);
}

using Codes = std::vector<uint8_t>;

// What each code prints, written out by hand; '\0' marks the blank and the two shifts.
const char kLettersExpected[33] = "\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\0MXV\0";
const char kFiguresExpected[33] =
    "\0"
    "3\n- "
    " 87\r$4',!:(5\")2#6019?&"
    "\0"
    "./;"
    "\0";

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
  const char kAfterWithout[33] = "FFLFFFFFLFFFFFFFFFFFFFFFFFFFFFFL";
  for (bool ltrsOnSpace : {true, false}) {
    for (bool fromFigures : {false, true}) {
      for (int code = 0; code < 32; ++code) {
        for (int high : {0x00, 0xE0}) {  // only the low five bits count
          SCOPED_TRACE(::testing::Message()
                       << "code " << code << " high " << high << " ltrs " << ltrsOnSpace << " figs " << fromFigures);
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
  void WriteCodes(const uint8_t* codes, int count) override { written.insert(written.end(), codes, codes + count); }
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

TEST(CleanLine, StripsTrailingControlsAndBlanksAndBlanksInnerTabsAndReturns) {
  const std::string cases[][2] = {
      {"x \t\r\n\x01\x1f", "x"},  {"   ", ""}, {"", ""},
      {"ab\xa0", "ab\xa0"},        // bytes of 128 and above are text, even at the end
      {"a\rb\tc\nd", "a b c\nd"},  // line feeds inside are kept
  };
  for (const auto& c : cases) {
    std::string text = c[0];
    CleanLine(&text[0]);
    EXPECT_STREQ(text.c_str(), c[1].c_str());
  }
}

// The cut at capacity - 1 is covered wherever a field is filled; these are the ends.
TEST(CopyText, NullSourceAndOneByteField) {
  char field[5] = "abcd";
  EXPECT_EQ(CopyText(field, nullptr), 0u);
  EXPECT_STREQ(field, "");
  char none[1] = {'q'};
  EXPECT_EQ(CopyText(none, "abc"), 0u);
  EXPECT_EQ(none[0], '\0');
}

}  // namespace
}  // namespace zk
