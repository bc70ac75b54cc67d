#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "textpane/font_height.h"
#include "textpane/selection.h"
#include "textpane/text_buffer.h"

namespace zk {
namespace {

struct FixedMeasure : TextMeasure {
  int Width(const char*, int count) override { return 10 * count; }
};

// 'W' is twice as wide as other bytes.
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
    buf.SetMeasure(&fixed);
    buf.SetWrapWidth(1000);
  }
  void Append(const std::string& s) {
    for (char c : s) buf.AppendChar(static_cast<uint8_t>(c), 1);
  }
  std::string Selected() {
    char out[64];
    const int n = GetSelectedText(buf, out, sizeof out);
    return std::string(out, static_cast<size_t>(n));
  }
  FixedMeasure fixed;
  TextBuffer buf;
};

TEST_F(SelectionTest, HitColumnIsOnePastTheByteUnderThePointer) {
  Append("hello");
  const LineRecord& r = buf.line(0);
  EXPECT_EQ(HitColumn(fixed, buf.text(), r, 0), 1);
  EXPECT_EQ(HitColumn(fixed, buf.text(), r, 9), 1);
  EXPECT_EQ(HitColumn(fixed, buf.text(), r, 10), 2);
  EXPECT_EQ(HitColumn(fixed, buf.text(), r, 39), 4);
  EXPECT_EQ(HitColumn(fixed, buf.text(), r, 40), -1);  // over the last byte
  EXPECT_EQ(HitColumn(fixed, buf.text(), r, 500), -1);

  // Columns come from the measured prefix, not from a byte count.
  buf.Clear();
  Append("WWab");
  WideWMeasure wide;
  EXPECT_EQ(HitColumn(wide, buf.text(), buf.line(0), 25), 2);
  EXPECT_EQ(HitColumn(wide, buf.text(), buf.line(0), 40), 3);

  // The record's own start counts, not the text start.
  buf.Clear();
  Append("   abc");
  EXPECT_EQ(HitColumn(fixed, buf.text(), buf.line(0), 5), 1);
}

TEST_F(SelectionTest, PressSelectsTheWholeWordUnderThePointer) {
  Append("call W1AW now");
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 65));  // over the '1'
  EXPECT_EQ(buf.selection().line, 0);
  EXPECT_EQ(buf.selection().start, 5);
  EXPECT_EQ(buf.selection().end, 9);
  EXPECT_EQ(Selected(), "W1AW ");  // the stopping blank comes along

  // On a separator: the word after it.
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 45));
  EXPECT_EQ(buf.selection().start, 5);
  EXPECT_EQ(buf.selection().end, 9);

  // On the line's last byte: no hit, and the selection stays.
  EXPECT_FALSE(SelectWordAt(buf, fixed, 0, 125));
  EXPECT_FALSE(SelectWordAt(buf, fixed, 1, 5));
  EXPECT_EQ(buf.selection().start, 5);

  // A row above the first counts as the first.
  ASSERT_TRUE(SelectWordAt(buf, fixed, -3, 5));
  EXPECT_EQ(buf.selection().start, 0);
  EXPECT_EQ(buf.selection().end, 4);
}

TEST_F(SelectionTest, WordsStopAtByte160AndAtLineBreaks) {
  Append("ab\xA0" "cd\r\nef");
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 35));
  EXPECT_EQ(buf.selection().start, 3);
  EXPECT_EQ(buf.selection().end, 5);
  EXPECT_EQ(Selected(), "cd\r");
}

TEST_F(SelectionTest, SelectedTextAtTheEndOfTheTextIncludesTheClosingNul) {
  Append("RST 599");
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 45));
  char out[16];
  EXPECT_EQ(GetSelectedText(buf, out, sizeof out), 4);
  EXPECT_STREQ(out, "599");

  char tiny[3];
  EXPECT_EQ(GetSelectedText(buf, tiny, sizeof tiny), 2);
  EXPECT_STREQ(tiny, "59");

  buf.ClearSelection();
  std::strcpy(out, "old");
  EXPECT_EQ(GetSelectedText(buf, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

TEST_F(SelectionTest, DraggingExtendsToWordEndsOrDropsTheSelection) {
  Append("one two three");
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 45));  // "two"
  EXPECT_EQ(ExtendSelectionTo(buf, fixed, 85), DragResult::Extended);  // inside "three"
  EXPECT_EQ(buf.selection().start, 4);
  EXPECT_EQ(buf.selection().end, 13);
  EXPECT_EQ(Selected(), std::string("two three") + '\0');

  // Past the line's end: no hit, the last selection stays.
  EXPECT_EQ(ExtendSelectionTo(buf, fixed, 900), DragResult::NoHit);
  EXPECT_EQ(buf.selection().end, 13);

  EXPECT_EQ(ExtendSelectionTo(buf, fixed, 55), DragResult::Extended);
  EXPECT_EQ(buf.selection().end, 7);

  // Back onto the selection's own start keeps it, even when nothing is highlighted.
  buf.Clear();
  Append("a  b");
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 15));  // between the blanks
  EXPECT_EQ(buf.selection().start, 2);
  EXPECT_EQ(buf.selection().end, 2);
  EXPECT_EQ(ExtendSelectionTo(buf, fixed, 15), DragResult::Extended);
  EXPECT_EQ(buf.selection().end, 2);

  EXPECT_EQ(ExtendSelectionTo(buf, fixed, 5), DragResult::Dropped);
  EXPECT_LT(buf.selection().line, 0);
  EXPECT_EQ(ExtendSelectionTo(buf, fixed, 45), DragResult::NoHit);
}

TEST_F(SelectionTest, SelectionDoesNotOutliveItsLine) {
  buf.SetWrapWidth(60);
  Append("ab cd");
  ASSERT_TRUE(SelectWordAt(buf, fixed, 0, 35));
  EXPECT_EQ(buf.selection().end, 5);
  Append("e");  // "cde" no longer fits, record 0 shrinks to "ab "
  EXPECT_LT(buf.selection().line, 0);
  EXPECT_EQ(GetSelectedText(buf, nullptr, 0), 0);
}

TEST_F(SelectionTest, CopyAllGivesOneCrLfPerDisplayLine) {
  EXPECT_EQ(CopyAllText(buf), "");
  buf.SetWrapWidth(60);
  Append("  hello world\r\n\r\nx");
  EXPECT_EQ(CopyAllText(buf), "hello \r\nworld\r\n\r\nx\r\n");
}

TEST(FontHeight, PhysicalResolutionGivesTheCharacterHeight) {
  const double dpi = VerticalDpi(768, 203, 96.0);
  EXPECT_NEAR(dpi, 96.095, 0.001);
  EXPECT_EQ(FontTenthsHeight(100, dpi), 133);
  EXPECT_EQ(FontCharHeight(100, dpi), -13);
  EXPECT_EQ(FontTenthsHeight(120, dpi), 160);
  EXPECT_EQ(FontCharHeight(120, dpi), -16);
  EXPECT_EQ(FontCharHeight(-100, dpi), -13);
  EXPECT_EQ(FontCharHeight(0, dpi), 0);

  uint32_t bits = 0;
  std::memcpy(&bits, &kPointsPerInchInverse, sizeof bits);
  EXPECT_EQ(bits, 0x3C638E39u);

  EXPECT_EQ(VerticalDpi(768, 0, 120.0), 120.0);
  EXPECT_EQ(VerticalDpi(0, 203, 120.0), 120.0);
  // A wild size from a settings file stays finite and negative.
  EXPECT_LT(FontCharHeight(INT32_MAX, 1e6), 0);
}

TEST(FontHeight, StyleBitsAndWeights) {
  const FontStyle plain = FontStyleFromBits(0);
  EXPECT_EQ(plain.weight, 0);  // the face's normal weight, not 400
  EXPECT_EQ(plain.italic, 0);
  const FontStyle boldItalic = FontStyleFromBits(3);
  EXPECT_EQ(boldItalic.weight, 700);
  EXPECT_EQ(boldItalic.italic, 1);
  EXPECT_EQ(boldItalic.underline, 0);
  const FontStyle lined = FontStyleFromBits(kFontUnderline | kFontStrikeOut);
  EXPECT_EQ(lined.weight, 0);
  EXPECT_EQ(lined.underline, 1);
  EXPECT_EQ(lined.strikeOut, 1);

  EXPECT_EQ(FontStyleBits(599, 0), 0);
  EXPECT_EQ(FontStyleBits(600, 0), kFontBold);
  EXPECT_EQ(FontStyleBits(400, 1), kFontItalic);
  EXPECT_EQ(FontStyleBits(700, 255), kFontBold | kFontItalic);
}

}  // namespace
}  // namespace zk
