#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/escapes.h"

namespace zk {
namespace {

TEST(ParseEscapes, Table) {
  const struct {
    const char* in;
    std::string out;  // embedded zeros included
    bool transmitting = false, qsoPending = false;
  } cases[] = {
      {"\\x41\\X4a\\x4A\\xff\\x80", "AJJ\xff\x80"},
      {"\\xg1\\x1g", "\x01\x10"},  // a non-hex digit counts as 0
      {"a\\x414", "aA4"},          // exactly two digits are taken
      {"\\x4", "\x40"},            // missing digits at the end count as 0, and parsing stops
      {"ab\\x", std::string("ab\0", 3)},
      {"ab\\x00cd", std::string("ab\0cd", 5)},
      {"\\c\\C\\e\\E\\n\\N\\q\\Q\\r\\R\\u\\U", "\x03\x03\x1b\x1b\n\n\"\"\r\r\x01\x01"},
      {"\\s\\S", "\x1a\x1a"},
      {"a\\\\b\\k\\K\\1\\ ", "a\\bkK1 "},  // anything else stands for itself
      {"ab\\", "ab"},                      // a trailing lone backslash is lost
      {"x\xe9\x7f\x01y", "x\xe9\x7f\x01y"},
      {"\\tCQ\\s\\T", "\x17" "CQ\x1a\x17"},  // start of transmission only while receiving
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
    EXPECT_EQ(std::string(out, n), c.out);
    EXPECT_EQ(out[n], '\0');
    EXPECT_EQ(effects.qsoPending, c.qsoPending);
  }
  char out[4];
  EXPECT_EQ(ParseEscapes(out, sizeof out, "\\l", EscapeContext(), nullptr), 0u);  // no record
}

TEST(ParseEscapes, OutputIsCutAtCapacityAndTerminated) {
  const struct {
    size_t capacity;
    const char* in;
    const char* out;
  } cases[] = {{4, "abcdef", "abc"}, {4, "ab\\x41\\x42\\x43", "abA"}, {1, "abc", ""}};
  for (const auto& c : cases) {
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(ParseEscapes(out, c.capacity, c.in, EscapeContext(), nullptr), std::strlen(c.out));
    EXPECT_STREQ(out, c.out);
    EXPECT_EQ(out[c.capacity], '#') << "written past the capacity";
  }
  char out[2] = {'#', '#'};
  EXPECT_EQ(ParseEscapes(out, 0, "abc", EscapeContext(), nullptr), 0u);
  EXPECT_EQ(out[0], '#');
  EscapeEffects effects;  // effects past the cut still count: the escape was in the text
  EXPECT_EQ(ParseEscapes(out, 2, "abc\\l", EscapeContext(), &effects), 1u);
  EXPECT_TRUE(effects.qsoPending);
}

TEST(HexDigitValue, EveryCharacter) {
  const std::string lower = "0123456789abcdef", upper = "0123456789ABCDEF";
  for (int c = 0; c < 256; ++c) {
    const size_t l = lower.find(static_cast<char>(c)), u = upper.find(static_cast<char>(c));
    const int expected = c == 0 ? 0 : l != std::string::npos ? static_cast<int>(l)
                                    : u != std::string::npos ? static_cast<int>(u) : 0;
    EXPECT_EQ(HexDigitValue(static_cast<char>(c)), expected) << "character " << c;
  }
}

}  // namespace
}  // namespace zk
