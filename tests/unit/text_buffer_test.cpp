#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <tuple>

#include "textpane/font_height.h"
#include "textpane/selection.h"
#include "textpane/text_buffer.h"

namespace zk {
namespace {

// Every byte 10 px wide but W 20; proportional: i and blanks 4, m and w 16, the rest 10.
struct TestMeasure : TextMeasure {
  bool proportional = false;
  int Width(const char* bytes, int count) override {
    int w = 0;
    for (int i = 0; i < count; ++i) {
      const char c = bytes[i];
      w += !proportional ? (c == 'W' ? 20 : 10) : (c == 'i' || c == ' ') ? 4 : (c == 'm' || c == 'w') ? 16 : 10;
    }
    return w;
  }
};

std::string Describe(const TextChange& c) {
  std::string out = c.changed ? "changed" : "-";
  if (c.trimmed) out += " trimmed" + std::to_string(c.trimmedLeadingLines);
  if (c.fullRelayout) out += " full";
  if (c.scrollUpOneLine) out += " up";
  if (c.invalidateToLine != 0)
    out += " rows" + std::to_string(c.invalidateFromLine) + "-" + std::to_string(c.invalidateToLine);
  if (c.rewrapped) out += " from" + std::to_string(c.relayoutFrom) + ">" + std::to_string(c.lastProducedLine);
  if (c.result != 0) out += " result" + std::to_string(c.result);
  return out;
}

class TextBufferTest : public ::testing::Test {
 protected:
  explicit TextBufferTest(int32_t capacity = 10000) : buf(capacity) {
    buf.SetMeasure(&measure);
    buf.SetWrapWidth(1000);
  }
  void Append(const std::string& s, int slot = 0) {
    for (char c : s) buf.AppendChar(static_cast<uint8_t>(c), slot);
  }
  // Each record as "text:shown" + ending (~ soft, $ hard, # empty) + next, then the caret.
  std::string Layout() {
    std::string out;
    for (int i = 0; i < buf.LineCount(); ++i) {
      const LineRecord& r = buf.line(i);
      char shown[256];
      buf.GetLine(i, shown, sizeof shown);
      out +=
          std::to_string(r.text) + ":" + shown + "?~#$"[static_cast<int>(r.ending) + 1] + std::to_string(r.next) + "|";
    }
    return out + "@" + std::to_string(buf.caretLine()) + "," + std::to_string(buf.caretX());
  }
  void Fill(const std::string& s) {
    buf.Clear();
    Append(s, 1);
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
  // The colour byte of each position up to and including the terminator's.
  std::string Colours() {
    std::string out;
    for (int i = 0; i <= buf.length(); ++i) out += std::to_string(buf.colours()[i]) + " ";
    return out;
  }
  TestMeasure measure;
  TextBuffer buf;
};

TEST_F(TextBufferTest, WrapsAtWordsAndLineBreaks) {
  const struct {
    int width;
    const char* text;
    const char* layout;
    int maxWidth;
  } cases[] = {
      // The wrapped line keeps its separator; a line grows only while it measures
      // strictly less than the width.
      {60, "hello world", "0:hello ~6|6:world~11|@1,50", 50},
      {50, "ab cd", "0:ab ~3|3:cd~5|@1,20", 20},
      {51, "ab cd", "0:ab cd~5|@0,50", 50},
      {30, "ab abcdefghij cd", "0:ab ~3|3:abcdefghij ~14|14:cd~16|@2,20", 100},  // own line
      // Blanks stay before a wrap and are skipped after it; the rejected one is not measured.
      {40, "ab   cd", "0:ab  ~4|5:cd~7|@1,20", 30},
      {1000, "   ab", "3:ab~5|@0,20", 20},  // only blank 32 is skipped at a line start
      {1000, "    ", "@0,0", 0},
      {1000,
       "\xA0"
       "ab",
       "0:\xA0"
       "ab~3|@0,30",
       30},
      {40,
       "ab\xA0"
       "cd",
       "0:ab\xA0~3|3:cd~5|@1,20", 20},  // but 160 separates words
      {1000, "abc\r\n", "0:abc$5|@1,0", 30},
      {1000, "\r\nx", "0:#2|2:x~3|@1,10", 10},
      {1000, "a\rb\nc\n\n", "0:a$2|2:b$4|4:c$6|6:#7|@4,0", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " \"" << c.text << "\"");
    buf.Clear();
    Append(c.text);
    buf.SetWrapWidth(c.width);
    buf.RelayoutAll();  // rebuilt from the wide layout, widest line included
    EXPECT_EQ(Layout(), c.layout);
    EXPECT_EQ(buf.maxLineWidth(), c.maxWidth);
    buf.SetWrapWidth(1000);
  }
}

// Appends, and a re-wrap from the start at a wider width, leave the table a full re-wrap
// would build.
TEST_F(TextBufferTest, AppendAndRewrapMatchAFullRewrap) {
  measure.proportional = true;
  std::mt19937 rng(7);
  const char alphabet[] = "aimw  \xA0\r\n";
  for (int width : {1, 35, 90, 400}) {
    buf.Clear();
    for (int n = 0; n < 600; ++n) {
      const bool rewrap = n % 50 == 49;
      buf.SetWrapWidth(rewrap ? width * 3 : width);
      if (rewrap)
        buf.RelayoutFrom(-1);
      else
        buf.AppendChar(static_cast<uint8_t>(alphabet[rng() % (sizeof alphabet - 1)]), 0);
      const std::string incremental = Layout();
      buf.RelayoutAll();
      ASSERT_EQ(Layout(), incremental) << "width " << width << " step " << n;
      if (rewrap) buf.SetWrapWidth(width), buf.RelayoutAll();
    }
  }
}

TEST_F(TextBufferTest, AppendAndCharInputStoreColourSlotsAndMarks) {
  Append("ab", 1);
  Append("c", 2);
  buf.AppendChar('d', 16);  // a slot outside 0..15 is slot 0
  EXPECT_STREQ(buf.text(), "abcd");
  EXPECT_EQ(Colours(), "1 1 2 0 255 ");
  EXPECT_EQ(buf.slot(0).mark + 10 * buf.slot(1).mark + 100 * buf.slot(2).mark, 4 + 20 + 300);

  buf.SetWrapWidth(50);
  Append(" ");
  EXPECT_EQ(Describe(buf.AppendChar('e', 0)), "changed from0>1");  // the wrap made record 1

  // Keyboard messages carry the repeat count and scan code where the slot goes.
  buf.Clear();
  EXPECT_EQ(Describe(buf.CharInput('A', 65537)), "changed from-1>0");
  buf.CharInput('B', 15);
  buf.CharInput(0x144, 16);  // the low byte is the character
  EXPECT_STREQ(buf.text(), "ABD");
  EXPECT_EQ(Colours(), "0 15 0 255 ");
  // Tab and escape are handed back; NUL is ignored, in the low byte too.
  EXPECT_EQ(Describe(buf.CharInput(9, 1)) + Describe(buf.CharInput(27, 1)), "- result9- result27");
  EXPECT_EQ(Describe(buf.CharInput(0, 1)) + Describe(buf.CharInput(0x100, 1)), "--");
  EXPECT_EQ(Describe(buf.CharInput(8, 1)), "changed rows0-1 from0>0");
  EXPECT_STREQ(buf.text(), "AB");
  // Marks past the end follow a backspace down; one before the end stays.
  buf.slot(2).mark = 1;
  EXPECT_EQ(std::make_tuple(buf.slot(0).mark, buf.slot(15).mark, buf.slot(2).mark), std::make_tuple(2, 2, 1));
  buf.Backspace();
  EXPECT_EQ(buf.slot(0).mark + buf.slot(15).mark + buf.slot(2).mark, 3);
}

TEST_F(TextBufferTest, TrimDropsTheOldestBytesAndMovesMarks) {
  std::string all;
  for (int i = 0; i < 9999; ++i) all += (i % 10 == 9) ? ' ' : "abc"[i < 1500 ? 0 : i < 4500 ? 1 : 2];
  Append(all.substr(0, 1500), 2);
  Append(all.substr(1500, 3000), 3);
  Append(all.substr(4500), 1);
  // 100-byte lines: 19 lie wholly before byte 2000.
  EXPECT_EQ(Describe(buf.AppendChar('d', 1)), "changed trimmed19 full from79>80");
  EXPECT_EQ(std::string(buf.text()), all.substr(2000) + "d");
  EXPECT_EQ(std::to_string(buf.colours()[0]) + " " + std::to_string(buf.colours()[2500]) + " " +
                std::to_string(buf.colours()[8000]),
            "3 1 255");
  // Slot 2's mark, 1500 - 2000, holds at the start.
  EXPECT_EQ(std::make_tuple(buf.slot(2).mark, buf.slot(3).mark, buf.slot(1).mark), std::make_tuple(0, 2500, 8000));
  EXPECT_EQ(buf.caretLine(), buf.LineCount() - 1);
}

class SmallBufferTest : public TextBufferTest {
 protected:
  SmallBufferTest() : TextBufferTest(10) {}
};

TEST_F(SmallBufferTest, AtLeast4000NeverFullAndTrimShiftsTheSelection) {
  EXPECT_EQ(buf.capacity(), 4000);
  // 7-byte lines: 285 end before byte 2000, line 285 is cut in the middle.
  for (int32_t selected : {300, 100}) {
    buf.Clear();
    for (int i = 0; i < 571; ++i) Append("abcde\r\n");
    Append("ab");
    ASSERT_EQ(buf.length(), 3999);
    buf.selection() = {selected, 1, 3};
    EXPECT_EQ(buf.AppendChar('x', 0).trimmedLeadingLines, 285);
    EXPECT_EQ(buf.selection().line, selected == 300 ? 15 : -1);
  }
  EXPECT_EQ(buf.line(0).ending, LineEnding::Empty);  // the cut line's "\r\n"
  EXPECT_EQ(buf.line(15).text, 300 * 7 - 2000);
}

TEST_F(TextBufferTest, BackspaceOverLineBreaksFirstBytesAndSelections) {
  Append("abc\r\n");  // the closed line is kept and re-wrapped in place
  EXPECT_EQ(Describe(buf.Backspace()), "changed up rows0-1 from0>0");
  EXPECT_EQ(Layout(), "0:abc$4|@1,0");  // now closed by a lone CR
  EXPECT_EQ(Describe(buf.Backspace()), "changed up rows0-1 from0>0");
  EXPECT_EQ(Layout(), "0:abc~3|@0,30");
  EXPECT_EQ(Describe(buf.Backspace()), "changed rows0-1 from0>0");
  EXPECT_EQ(Layout(), "0:ab~2|@0,20");

  buf.Clear();
  buf.SetWrapWidth(30);
  Append("ab cd");
  EXPECT_EQ(Describe(buf.Backspace()), "changed rows1-2 from1>1");
  // The record's first byte goes, and the record with it; the vacated row is erased too.
  EXPECT_EQ(Describe(buf.Backspace()), "changed up rows1-2 from0>0");
  EXPECT_EQ(Layout(), "0:ab ~3|@0,20");

  buf.Clear();
  Append("\r\n");
  buf.Backspace();
  EXPECT_EQ(Layout(), "0:#1|@1,0");  // the lone CR is still an empty line
  buf.Clear();
  EXPECT_EQ(Describe(buf.Backspace()), "-");
  Append("   a");
  buf.Backspace();
  EXPECT_EQ(Layout(), "@0,0");

  // A selection that reaches the end shrinks with it; one that stops short stays until
  // the end reaches it.
  buf.SetWrapWidth(1000);
  for (int32_t end : {5, 3}) {
    buf.Clear();
    Append("x abc");
    buf.selection() = {0, 2, end};
    std::string ends;
    for (int i = 0; i < 3; ++i, buf.Backspace()) ends += std::to_string(buf.selection().end);
    EXPECT_EQ(ends + std::to_string(buf.selection().start), end == 5 ? "543-1" : "333-1");
  }
}

TEST_F(TextBufferTest, ClearGetLineAndColourSlots) {
  Append("abc\r\ndef", 2);
  buf.slot(5).mark = 3;
  buf.selection() = {0, 0, 2};
  EXPECT_EQ(Describe(buf.Clear()), "changed full");
  EXPECT_EQ(Layout(), "@0,0");
  EXPECT_EQ(buf.length(), 0);
  EXPECT_LT(buf.selection().line, 0);
  EXPECT_EQ(buf.slot(2).mark + buf.slot(5).mark, 0);

  Append("hello");
  char out[4] = "zzz";
  EXPECT_EQ(buf.GetLine(1, out, sizeof out) + buf.GetLine(-1, out, sizeof out), -2);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(buf.GetLine(0, out, sizeof out), 3);  // cut at capacity - 1
  EXPECT_STREQ(out, "hel");
  EXPECT_EQ(buf.line(7).length, 0);

  EXPECT_FALSE(buf.SetColour(16, 1, 2) || buf.SetColour(-1, 1, 2));
  EXPECT_TRUE(buf.SetColour(15, 0x0000FF, 0x00FF00));
  EXPECT_EQ(buf.slot(15).foreground, 0x0000FFu);
  buf.SetBackground(0x123456);
  EXPECT_EQ(buf.slot(15).background, 0x123456u);
  EXPECT_EQ(buf.slot(0).background, 0x123456u);
}

TEST_F(TextBufferTest, HitColumnIsOnePastTheByteUnderThePointer) {
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

TEST_F(TextBufferTest, PressSelectsTheWordUnderThePointer) {
  Fill("call K1AB now");
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 65));  // over the '1'
  EXPECT_EQ(Sel(), "0:5-9");
  EXPECT_EQ(Selected(), "K1AB ");                  // the stopping blank comes along
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 45));  // on a separator: the word after it
  EXPECT_EQ(Sel(), "0:5-9");
  // On the line's last byte or below the last line: no hit, and the selection stays.
  EXPECT_FALSE(SelectWordAt(buf, measure, 0, 125));
  EXPECT_FALSE(SelectWordAt(buf, measure, 1, 5));
  EXPECT_EQ(Sel(), "0:5-9");
  ASSERT_TRUE(SelectWordAt(buf, measure, -3, 5));  // a row above the first is the first
  EXPECT_EQ(Sel(), "0:0-4");

  Fill(
      "ab\xA0"
      "cd\r\nef");  // words stop at byte 160 and at line breaks
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

TEST_F(TextBufferTest, DraggingExtendsToWordEndsOrDropsTheSelection) {
  Fill("one two three");
  ASSERT_TRUE(SelectWordAt(buf, measure, 0, 45));                        // "two"
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

TEST_F(TextBufferTest, SelectionDoesNotOutliveItsLineAndCopyAllTakesEveryLine) {
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
