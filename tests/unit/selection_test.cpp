#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "textpane/font_height.h"
#include "textpane/selection.h"
#include "textpane/text_buffer.h"

namespace zk {
namespace {

// 'W' is twice as wide as the other bytes, which are 10 px.
struct WideWMeasure : TextMeasure {
  int Width(const char* bytes, int count) override {
    int w = 0;
    for (int i = 0; i < count; ++i) w += bytes[i] == 'W' ? 20 : 10;
    return w;
  }
};

class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() : buf(4000) {
    buf.SetMeasure(&measure);
    buf.SetWrapWidth(1000);
  }
  void Fill(const std::string& s) {
    buf.Clear();
    for (char c : s) buf.AppendChar(static_cast<uint8_t>(c), 1);
  }
  // The selected bytes, with a note when the count is off or the text unterminated.
  std::string Selected() {
    char out[64] = "junk";
    const int n = GetSelectedText(buf, out, sizeof out);
    if (n < 0 || n >= 64) return "<count " + std::to_string(n) + ">";
    return std::string(out, static_cast<size_t>(n)) + (out[n] == '\0' ? "" : "<unterminated>");
  }
  std::string Sel() {
    const Selection& s = buf.selection();
    return std::to_string(s.line) + ":" + std::to_string(s.start) + "-" + std::to_string(s.end);
  }
  int Hit(int x) { return HitColumn(measure, buf.text(), buf.line(0), x); }
  WideWMeasure measure;
  TextBuffer buf;
};

TEST_F(SelectionTest, HitColumnIsOnePastTheByteUnderThePointer) {
  Fill("hello");
  const int xs[] = {0, 9, 10, 39, 40, 500};
  const int columns[] = {1, 1, 2, 4, -1, -1};  // none over the last byte or beyond
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Hit(xs[i]), columns[i]) << xs[i];
  Fill("WWab");  // columns come from the measured prefix, not from a byte count
  EXPECT_EQ(Hit(25), 2);
  EXPECT_EQ(Hit(40), 3);
  Fill("   abc");  // the record's own start counts, not the text start
  EXPECT_EQ(Hit(5), 1);
}

TEST_F(SelectionTest, PressSelectsTheWordUnderThePointer) {
  Fill("call K1AB now");
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 65));  // over the '1'
  EXPECT_EQ(Sel(), "0:5-9");
  EXPECT_EQ(Selected(), "K1AB ");  // the stopping blank comes along
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 45));  // on a separator: the word after it
  EXPECT_EQ(Sel(), "0:5-9");
  // On the line's last byte or below the last line: no hit, and the selection stays.
  EXPECT_FALSE(SelectWordAt(buf, measure, 0, 125));
  EXPECT_FALSE(SelectWordAt(buf, measure, 1, 5));
  EXPECT_EQ(Sel(), "0:5-9");
  ASSERT_TRUE(SelectWordAt(buf, measure, -3, 5));  // a row above the first is the first
  EXPECT_EQ(Sel(), "0:0-4");

  Fill("ab\xA0" "cd\r\nef");  // words stop at byte 160 and at line breaks
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 35));
  EXPECT_EQ(Sel(), "0:3-5");
  EXPECT_EQ(Selected(), "cd\r");

  Fill("RST 599");  // at the end of the text the closing NUL comes along
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 45));
  char out[16];
  EXPECT_EQ(GetSelectedText(buf, out, sizeof out), 4);
  EXPECT_STREQ(out, "599");
  EXPECT_EQ(GetSelectedText(buf, out, 3), 2);  // cut at capacity - 1
  EXPECT_STREQ(out, "59");
}

TEST_F(SelectionTest, DraggingExtendsToWordEndsOrDropsTheSelection) {
  Fill("one two three");
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 45));  // "two"
  EXPECT_EQ(ExtendSelectionTo(buf, measure, 85), DragResult::Extended);  // inside "three"
  EXPECT_EQ(Sel(), "0:4-13");
  EXPECT_EQ(Selected(), std::string("two three") + '\0');
  EXPECT_EQ(ExtendSelectionTo(buf, measure, 900), DragResult::NoHit);  // past the end
  EXPECT_EQ(Sel(), "0:4-13");
  EXPECT_EQ(ExtendSelectionTo(buf, measure, 55), DragResult::Extended);
  EXPECT_EQ(Sel(), "0:4-7");

  // Back onto the selection's own start keeps it, even when nothing is highlighted.
  Fill("a  b");
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 15));  // between the blanks
  EXPECT_EQ(Sel(), "0:2-2");
  EXPECT_EQ(ExtendSelectionTo(buf, measure, 15), DragResult::Extended);
  EXPECT_EQ(Sel(), "0:2-2");
  EXPECT_EQ(ExtendSelectionTo(buf, measure, 5), DragResult::Dropped);
  EXPECT_EQ(Sel(), "-1:-1--1");
  EXPECT_EQ(ExtendSelectionTo(buf, measure, 45), DragResult::NoHit);
}

TEST_F(SelectionTest, SelectionDoesNotOutliveItsLineAndCopyAllTakesEveryLine) {
  buf.SetWrapWidth(60);
  Fill("ab cd");
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 35));
  EXPECT_EQ(Sel(), "0:3-5");
  buf.AppendChar('e', 1);  // "cde" no longer fits, record 0 shrinks to "ab "
  EXPECT_EQ(Sel(), "-1:-1--1");
  EXPECT_EQ(Selected(), "");

  buf.Clear();
  EXPECT_EQ(CopyAllText(buf), "");
  Fill("  hello world\r\n\r\nx");
  EXPECT_EQ(CopyAllText(buf), "hello \r\nworld\r\n\r\nx\r\n");
}

TEST(FontHeight, PhysicalResolutionGivesTheCharacterHeightAndStyle) {
  const double dpi = VerticalDpi(768, 203, 96.0);
  EXPECT_NEAR(dpi, 96.095, 0.001);
  EXPECT_EQ(VerticalDpi(768, 0, 120.0) + VerticalDpi(0, 203, 120.0), 240.0);  // no size: fallback
  EXPECT_EQ(FontTenthsHeight(120, dpi), 160);
  const int32_t tenths[] = {100, 110, 120, -100, 0};
  const int32_t heights[] = {-13, -15, -16, -13, 0};  // 14.6 rounds up
  for (int i = 0; i < 5; ++i) EXPECT_EQ(FontCharHeight(tenths[i], dpi), heights[i]) << tenths[i];
  EXPECT_LT(FontCharHeight(INT32_MAX, 1e6), 0);  // a wild size stays finite and negative

  const auto style = [](int bits) {
    const FontStyle f = FontStyleFromBits(bits);
    return std::to_string(f.weight) + " " + std::to_string(f.italic) + std::to_string(f.underline) +
           std::to_string(f.strikeOut);
  };
  EXPECT_EQ(style(0), "0 000");  // the face's normal weight, not 400
  EXPECT_EQ(style(kFontBold | kFontItalic), "700 100");
  EXPECT_EQ(style(kFontUnderline | kFontStrikeOut), "0 011");
  EXPECT_EQ(FontStyleBits(599, 0) + FontStyleBits(600, 0), kFontBold);  // bold from 600 on
  EXPECT_EQ(FontStyleBits(400, 255), kFontItalic);
}

}  // namespace
}  // namespace zk
