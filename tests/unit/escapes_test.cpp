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
      {"\\x01\\x23\\x45\\x67\\x89\\xAB\\xCD\\xEF\\xab\\xcd\\xef", "\x01\x23\x45\x67\x89\xab\xcd\xef\xab\xcd\xef"},
      {"\\xg1\\x1g\\x/:\\x@G\\x`G", std::string("\x01\x10\0\0\0", 5)},  // a non-hex digit counts as 0
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

}  // namespace
}  // namespace zk
