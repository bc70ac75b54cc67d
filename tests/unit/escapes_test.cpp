#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/escapes.h"

namespace zk {
namespace {

// The bytes ParseEscapes reports, embedded zeros included.
std::string Parse(const char* in, bool transmitting = false, EscapeEffects* effects = nullptr) {
  char out[500];
  EscapeContext ctx;
  ctx.transmitting = transmitting;
  const size_t n = ParseEscapes(out, sizeof out, in, ctx, effects);
  EXPECT_LT(n, sizeof out);
  EXPECT_EQ(out[n], '\0');
  return std::string(out, n);
}

TEST(ParseEscapes, HexEscapes) {
  EXPECT_EQ(Parse("\\x41"), "A");
  EXPECT_EQ(Parse("\\X4a"), "J");
  EXPECT_EQ(Parse("\\x4A"), "J");
  EXPECT_EQ(Parse("\\xg1"), "\x01");  // a non-hex digit counts as 0
  EXPECT_EQ(Parse("\\x1g"), "\x10");
  EXPECT_EQ(Parse("\\xff\\x80"), "\xff\x80");
  EXPECT_EQ(Parse("a\\x414"), "aA4");  // exactly two digits are taken
  // Missing digits at the end count as 0, and parsing stops there.
  EXPECT_EQ(Parse("\\x4"), std::string("\x40"));
  EXPECT_EQ(Parse("ab\\x"), std::string("ab\0", 3));
}

TEST(ParseEscapes, EscapedZeroEndsTheUsefulText) {
  char out[16];
  EscapeContext ctx;
  EXPECT_EQ(ParseEscapes(out, sizeof out, "ab\\x00cd", ctx, nullptr), 5u);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(std::string(out, 5), std::string("ab\0cd", 5));
}

TEST(ParseEscapes, LetterEscapesInEitherCase) {
  EXPECT_EQ(Parse("\\c\\C"), "\x03\x03");
  EXPECT_EQ(Parse("\\e\\E"), "\x1b\x1b");
  EXPECT_EQ(Parse("\\n\\N"), "\n\n");
  EXPECT_EQ(Parse("\\q\\Q"), "\"\"");
  EXPECT_EQ(Parse("\\r\\R"), "\r\r");
  EXPECT_EQ(Parse("\\s\\S"), std::string(2, kEndOfTransmission));
  EXPECT_EQ(Parse("\\u\\U"), "\x01\x01");
}

TEST(ParseEscapes, OtherCharactersStandForThemselves) {
  EXPECT_EQ(Parse("a\\\\b"), "a\\b");
  EXPECT_EQ(Parse("\\k\\K\\1\\ "), "kK1 ");
  EXPECT_EQ(Parse("ab\\"), "ab");  // a trailing lone backslash is lost
  EXPECT_EQ(Parse("\\"), "");
  EXPECT_EQ(Parse("x\xe9\x7f\x01y"), "x\xe9\x7f\x01y");
}

TEST(ParseEscapes, StartOfTransmissionOnlyWhileReceiving) {
  EXPECT_EQ(Parse("\\tCQ\\s"), std::string("\x17" "CQ\x1a"));
  EXPECT_EQ(Parse("\\TCQ"), std::string("\x17" "CQ"));
  EXPECT_EQ(Parse("\\tCQ\\s", true), std::string("CQ\x1a"));
  EXPECT_EQ(Parse("\\T", true), "");
}

TEST(ParseEscapes, LogEscapeSetsQsoPendingOnly) {
  EscapeEffects fx;
  EXPECT_EQ(Parse("73\\l", false, &fx), "73");
  EXPECT_TRUE(fx.qsoPending);
  EscapeEffects upper;
  EXPECT_EQ(Parse("\\L", true, &upper), "");
  EXPECT_TRUE(upper.qsoPending);
  EscapeEffects none;
  EXPECT_EQ(Parse("l \\\\l \\x4c", false, &none), "l \\l L");
  EXPECT_FALSE(none.qsoPending);
  EXPECT_EQ(Parse("\\l"), "");  // no effects record is fine
}

TEST(ParseEscapes, LeadingBlanksAndQuotedTexts) {
  EXPECT_EQ(Parse("   ab c "), "ab c ");
  EXPECT_EQ(Parse("\tab"), "\tab");  // only spaces are skipped
  EXPECT_EQ(Parse("  'abc'def"), "abc");
  EXPECT_EQ(Parse("'a\\'b'"), "a'b");
  EXPECT_EQ(Parse("\"x\\\"y\"z"), "x\"y");
  EXPECT_EQ(Parse("'a\"b'"), "a\"b");  // the other quote is text
  EXPECT_EQ(Parse("\"a'b\" c"), "a'b");
  EXPECT_EQ(Parse("'  a '"), "  a ");
  EXPECT_EQ(Parse("'abc"), "abc");  // unclosed: to the end
  EXPECT_EQ(Parse("''x"), "");
  EXPECT_EQ(Parse("a'b'c"), "a'b'c");  // a quote that does not open the text
  EXPECT_EQ(Parse("'\\x41\\s'\\x42"), "A\x1a");
  EXPECT_EQ(Parse(""), "");
  EXPECT_EQ(Parse(nullptr), "");
}

TEST(ParseEscapes, OutputIsCutAtCapacityAndTerminated) {
  char out[8];
  EscapeContext ctx;
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(ParseEscapes(out, 4, "abcdef", ctx, nullptr), 3u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], '#');  // nothing written past the capacity

  std::memset(out, '#', sizeof out);
  EXPECT_EQ(ParseEscapes(out, 4, "ab\\x41\\x42\\x43", ctx, nullptr), 3u);
  EXPECT_STREQ(out, "abA");
  EXPECT_EQ(out[4], '#');

  std::memset(out, '#', sizeof out);
  EXPECT_EQ(ParseEscapes(out, 1, "abc", ctx, nullptr), 0u);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], '#');

  std::memset(out, '#', sizeof out);
  EXPECT_EQ(ParseEscapes(out, 0, "abc", ctx, nullptr), 0u);
  EXPECT_EQ(out[0], '#');

  // Effects past the cut still count: the escape was in the text.
  EscapeEffects fx;
  EXPECT_EQ(ParseEscapes(out, 2, "abc\\l", ctx, &fx), 1u);
  EXPECT_TRUE(fx.qsoPending);
}

TEST(HexDigitValue, EveryCharacter) {
  const char* lower = "0123456789abcdef";
  const char* upper = "0123456789ABCDEF";
  for (int c = 0; c < 256; ++c) {
    int expected = 0;
    for (int v = 0; v < 16; ++v) {
      if (c == static_cast<unsigned char>(lower[v]) || c == static_cast<unsigned char>(upper[v])) {
        expected = v;
      }
    }
    EXPECT_EQ(HexDigitValue(static_cast<char>(c)), expected) << "character " << c;
  }
}

}  // namespace
}  // namespace zk
