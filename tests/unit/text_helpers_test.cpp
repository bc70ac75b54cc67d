#include <gtest/gtest.h>

#include <cstring>

#include "app/fixed_text.h"
#include "settings/clean_line.h"

namespace zk {
namespace {

std::string Cleaned(const char* in) {
  char buf[64];
  std::strcpy(buf, in);
  CleanLine(buf);
  return buf;
}

TEST(CleanLine, StripsTrailingControlsAndBlanksOnly) {
  EXPECT_EQ(Cleaned("mycall AB  \t\r\n"), "mycall AB");
  EXPECT_EQ(Cleaned("x\x01\x1f"), "x");
  EXPECT_EQ(Cleaned("   "), "");
  EXPECT_EQ(Cleaned(""), "");
  // Bytes of 128 and above are text, even at the end.
  EXPECT_EQ(Cleaned("ab\xa0"), "ab\xa0");
}

TEST(CleanLine, TurnsInnerTabsAndCarriageReturnsIntoBlanks) {
  EXPECT_EQ(Cleaned("mycall\tW1AW"), "mycall W1AW");
  EXPECT_EQ(Cleaned("a\rb\nc"), "a b\nc");  // line feeds inside are kept
}

TEST(CopyText, CutsAtCapacityMinusOneAndTerminates) {
  char field[5];
  std::memset(field, 'x', sizeof field);
  EXPECT_EQ(CopyText(field, "abcdefgh"), 4u);
  EXPECT_STREQ(field, "abcd");
  EXPECT_EQ(CopyText(field, "ab"), 2u);
  EXPECT_STREQ(field, "ab");
  EXPECT_EQ(CopyText(field, nullptr), 0u);
  EXPECT_STREQ(field, "");
  EXPECT_EQ(CopyTextN(field, sizeof field, "abcdef", 3), 3u);
  EXPECT_STREQ(field, "abc");
  char none[1] = {'q'};
  EXPECT_EQ(CopyText(none, "abc"), 0u);
  EXPECT_EQ(none[0], '\0');
}

}  // namespace
}  // namespace zk
