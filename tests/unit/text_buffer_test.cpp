#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "textpane/text_buffer.h"

namespace zk {
namespace {

struct FixedMeasure : TextMeasure {
  int Width(const char*, int count) override { return 10 * count; }
};

// Narrow i and blanks, wide m and w, everything else 10 px.
struct ProportionalMeasure : TextMeasure {
  int Width(const char* bytes, int count) override {
    int w = 0;
    for (int i = 0; i < count; ++i) {
      const char c = bytes[i];
      w += (c == 'i' || c == ' ') ? 4 : (c == 'm' || c == 'w') ? 16 : 10;
    }
    return w;
  }
};

class TextBufferTest : public ::testing::Test {
 protected:
  explicit TextBufferTest(int32_t capacity = 10000) : buf(capacity) {
    buf.SetMeasure(&fixed);
    buf.SetWrapWidth(1000);
  }
  void Append(const std::string& s, int slot = 0) {
    for (char c : s) buf.AppendChar(static_cast<uint8_t>(c), slot);
  }
  std::string Line(int i) {
    char out[256];
    return buf.GetLine(i, out, sizeof out) >= 0 ? std::string(out) : std::string("<none>");
  }
  FixedMeasure fixed;
  TextBuffer buf;
};

TEST_F(TextBufferTest, WrapsBeforeAWordThatWouldReachTheWidth) {
  buf.SetWrapWidth(60);  // "hello" fits, "hello world" does not
  Append("hello world");
  ASSERT_EQ(buf.LineCount(), 2);
  EXPECT_EQ(Line(0), "hello ");  // the wrapped line keeps its separator
  EXPECT_EQ(buf.line(0).ending, LineEnding::Soft);
  EXPECT_EQ(buf.line(0).next, 6);
  EXPECT_EQ(Line(1), "world");
  EXPECT_EQ(buf.line(1).ending, LineEnding::Soft);
  EXPECT_EQ(buf.caretLine(), 1);
  EXPECT_EQ(buf.caretX(), 50);
  EXPECT_EQ(buf.maxLineWidth(), 50);

  // A line grows only while it measures strictly less than the width.
  buf.SetWrapWidth(50);
  buf.Clear();
  Append("ab cd");
  EXPECT_EQ(buf.LineCount(), 2);
  buf.SetWrapWidth(51);
  buf.RelayoutAll();
  EXPECT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(buf.caretX(), 50);
  EXPECT_EQ(buf.maxLineWidth(), 50);
  buf.SetWrapWidth(30);
  buf.RelayoutAll();
  EXPECT_EQ(buf.LineCount(), 2);
  EXPECT_EQ(buf.maxLineWidth(), 20);  // rebuilt, not kept from the wider layout
}

TEST_F(TextBufferTest, WordWiderThanThePaneKeepsALineOfItsOwn) {
  buf.SetWrapWidth(30);
  Append("ab abcdefghij cd");
  ASSERT_EQ(buf.LineCount(), 3);
  EXPECT_EQ(Line(0), "ab ");
  EXPECT_EQ(Line(1), "abcdefghij ");
  EXPECT_EQ(Line(2), "cd");
  EXPECT_EQ(buf.maxLineWidth(), 100);
}

TEST_F(TextBufferTest, TrailingBlanksStayBeforeAWrapAndAreSkippedAfterIt) {
  buf.SetWrapWidth(40);
  Append("ab   cd");
  ASSERT_EQ(buf.LineCount(), 2);
  EXPECT_EQ(Line(0), "ab  ");
  EXPECT_EQ(buf.line(0).next, 4);
  EXPECT_EQ(buf.line(1).text, 5);
  EXPECT_EQ(Line(1), "cd");
  EXPECT_EQ(buf.maxLineWidth(), 30);  // the rejected blank is not measured
}

TEST_F(TextBufferTest, LineBreaksGiveHardAndEmptyEndings) {
  Append("abc\r\n");
  ASSERT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(buf.line(0).ending, LineEnding::Hard);
  EXPECT_EQ(buf.line(0).length, 3);
  EXPECT_EQ(buf.line(0).next, 5);
  EXPECT_EQ(buf.caretLine(), 1);
  EXPECT_EQ(buf.caretX(), 0);

  buf.Clear();
  Append("\r\nx");
  ASSERT_EQ(buf.LineCount(), 2);
  EXPECT_EQ(buf.line(0).ending, LineEnding::Empty);
  EXPECT_EQ(buf.line(0).length, 0);
  EXPECT_EQ(buf.line(0).next, 2);
  EXPECT_EQ(Line(1), "x");

  buf.Clear();
  Append("a\rb\nc\n\n");
  ASSERT_EQ(buf.LineCount(), 4);
  EXPECT_EQ(Line(0), "a");
  EXPECT_EQ(buf.line(0).next, 2);
  EXPECT_EQ(Line(1), "b");
  EXPECT_EQ(Line(2), "c");
  EXPECT_EQ(buf.line(3).ending, LineEnding::Empty);
  EXPECT_EQ(buf.caretLine(), 4);
}

TEST_F(TextBufferTest, LineFeedAfterAShownCarriageReturnDoesNotAddALine) {
  Append("\r");
  ASSERT_EQ(buf.LineCount(), 1);
  Append("\n");
  ASSERT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(buf.line(0).ending, LineEnding::Empty);
  EXPECT_EQ(buf.line(0).next, 2);
  EXPECT_EQ(buf.caretLine(), 1);

  Append("ab\r");
  Append("\n");
  ASSERT_EQ(buf.LineCount(), 2);
  EXPECT_EQ(buf.line(1).next, 6);
  EXPECT_EQ(buf.caretLine(), 2);
}

TEST_F(TextBufferTest, OnlyBlank32IsSkippedAtALineStart) {
  Append("   ab");
  ASSERT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(buf.line(0).text, 3);
  EXPECT_EQ(Line(0), "ab");

  buf.Clear();
  Append("    ");
  EXPECT_EQ(buf.LineCount(), 0);
  EXPECT_EQ(buf.caretLine(), 0);
  EXPECT_EQ(buf.caretX(), 0);

  buf.Clear();
  Append("\xA0" "ab");
  ASSERT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(buf.line(0).text, 0);
  EXPECT_EQ(buf.line(0).length, 3);

  // ...but 160 separates words like a blank does.
  buf.Clear();
  buf.SetWrapWidth(40);
  Append("ab\xA0" "cd");
  ASSERT_EQ(buf.LineCount(), 2);
  EXPECT_EQ(Line(0), "ab\xA0");
  EXPECT_EQ(Line(1), "cd");
}

TEST_F(TextBufferTest, AppendingMatchesAFullRewrap) {
  ProportionalMeasure prop;
  buf.SetMeasure(&prop);
  std::mt19937 rng(7);
  const char alphabet[] = "aimw  \xA0\r\n";
  for (int width : {1, 35, 90, 400}) {
    buf.SetWrapWidth(width);
    buf.Clear();
    for (int n = 0; n < 600; ++n) {
      buf.AppendChar(static_cast<uint8_t>(alphabet[rng() % (sizeof alphabet - 1)]), 0);
      std::vector<LineRecord> incremental;
      for (int i = 0; i < buf.LineCount(); ++i) incremental.push_back(buf.line(i));
      const int caretLine = buf.caretLine(), caretX = buf.caretX();
      buf.RelayoutAll();
      ASSERT_EQ(buf.LineCount(), static_cast<int>(incremental.size())) << "width " << width;
      for (int i = 0; i < buf.LineCount(); ++i) {
        ASSERT_EQ(buf.line(i).text, incremental[i].text);
        ASSERT_EQ(buf.line(i).next, incremental[i].next);
        ASSERT_EQ(buf.line(i).length, incremental[i].length);
        ASSERT_EQ(buf.line(i).ending, incremental[i].ending);
      }
      ASSERT_EQ(buf.caretLine(), caretLine);
      ASSERT_EQ(buf.caretX(), caretX);
    }
  }
}

TEST_F(TextBufferTest, AppendStoresColourSlotAndMarkAndReportsTheRewrap) {
  Append("ab", 1);
  Append("c", 2);
  EXPECT_STREQ(buf.text(), "abc");
  EXPECT_EQ(buf.colours()[0], 1);
  EXPECT_EQ(buf.colours()[2], 2);
  EXPECT_EQ(buf.colours()[3], TextBuffer::kEndColour);
  EXPECT_EQ(buf.slot(1).mark, 2);
  EXPECT_EQ(buf.slot(2).mark, 3);
  EXPECT_EQ(buf.slot(0).mark, 0);

  buf.SetWrapWidth(40);
  const TextChange change = buf.AppendChar(' ', 0);
  EXPECT_TRUE(change.changed);
  EXPECT_TRUE(change.rewrapped);
  EXPECT_FALSE(change.fullRelayout);
  EXPECT_EQ(change.relayoutFrom, 0);
  EXPECT_EQ(change.lastProducedLine, 0);
  const TextChange wrap = buf.AppendChar('d', 0);
  EXPECT_EQ(wrap.relayoutFrom, 0);
  EXPECT_EQ(wrap.lastProducedLine, 1);
  EXPECT_EQ(buf.AppendChar('e', 0).relayoutFrom, 1);

  const TextChange first = TextBuffer(4000).AppendChar('x', 0);
  EXPECT_EQ(first.relayoutFrom, -1);
  EXPECT_EQ(first.lastProducedLine, 0);
}

TEST_F(TextBufferTest, CharInputDispatchesAndFiltersItsArguments) {
  TextChange c = buf.CharInput('A', 65537);  // repeat count and scan code in the slot
  EXPECT_EQ(c.result, 0u);
  EXPECT_EQ(buf.colours()[0], 0);
  EXPECT_EQ(buf.slot(0).mark, 1);
  buf.CharInput('B', 15);
  EXPECT_EQ(buf.colours()[1], 15);
  buf.CharInput('C', 16);
  EXPECT_EQ(buf.colours()[2], 0);
  buf.CharInput(0x144, 1);  // low byte 'D'
  EXPECT_STREQ(buf.text(), "ABCD");

  for (uint32_t ignored : {9u, 27u}) {
    c = buf.CharInput(ignored, 1);
    EXPECT_EQ(c.result, ignored);
    EXPECT_FALSE(c.changed);
  }
  EXPECT_EQ(buf.length(), 4);

  c = buf.CharInput(0, 1);
  EXPECT_FALSE(c.changed);
  c = buf.CharInput(0x100, 1);  // NUL in the low byte
  EXPECT_FALSE(c.changed);
  EXPECT_EQ(buf.length(), 4);

  c = buf.CharInput(8, 1);
  EXPECT_EQ(c.result, 0u);
  EXPECT_TRUE(c.changed);
  EXPECT_STREQ(buf.text(), "ABC");
}

TEST_F(TextBufferTest, TrimDropsTheOldestBytesAndMovesMarks) {
  std::string all;
  auto words = [&all](char c, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i % 10 == 9) ? ' ' : c;
    all += s;
    return s;
  };
  Append(words('a', 1500), 2);
  Append(words('b', 3000), 3);
  Append(words('c', 5499), 1);
  ASSERT_EQ(buf.length(), 9999);
  const TextChange change = buf.AppendChar('d', 1);
  EXPECT_TRUE(change.trimmed);
  EXPECT_TRUE(change.fullRelayout);
  EXPECT_TRUE(change.rewrapped);
  EXPECT_EQ(buf.length(), 8000);
  EXPECT_EQ(std::string(buf.text()), all.substr(2000) + "d");
  EXPECT_EQ(buf.colours()[0], 3);
  EXPECT_EQ(buf.colours()[2500], 1);
  EXPECT_EQ(buf.colours()[8000], TextBuffer::kEndColour);
  EXPECT_EQ(buf.slot(2).mark, 0);     // 1500 - 2000 holds at the start
  EXPECT_EQ(buf.slot(3).mark, 2500);  // 4500 - 2000
  EXPECT_EQ(buf.slot(1).mark, 8000);
  EXPECT_EQ(buf.text()[9000], '\0');  // the freed tail is zeroed
  EXPECT_EQ(buf.caretLine(), buf.LineCount() - 1);
  EXPECT_EQ(buf.line(0).text, 0);
}

class SmallBufferTest : public TextBufferTest {
 protected:
  SmallBufferTest() : TextBufferTest(10) {}
};

TEST_F(SmallBufferTest, CapacityIsAtLeast4000AndNeverFull) {
  EXPECT_EQ(buf.capacity(), 4000);
  for (int i = 0; i < 1000; ++i) Append("xxxxxxxxx ");
  EXPECT_LT(buf.length(), buf.capacity());
  EXPECT_EQ(buf.text()[buf.length()], '\0');
}

TEST_F(SmallBufferTest, TrimShiftsTheSelectionByTheWhollyRemovedLines) {
  // 7-byte lines: 285 end before byte 2000, line 285 is cut in the middle.
  for (int i = 0; i < 571; ++i) Append("abcde\r\n");
  Append("ab");
  ASSERT_EQ(buf.length(), 3999);
  buf.selection() = {300, 1, 3};
  TextChange change = buf.AppendChar('x', 0);
  EXPECT_EQ(change.trimmedLeadingLines, 285);
  EXPECT_EQ(buf.selection().line, 15);
  EXPECT_EQ(buf.selection().start, 1);
  EXPECT_EQ(buf.line(0).ending, LineEnding::Empty);  // the cut line's "\r\n"
  EXPECT_EQ(buf.line(15).text, 300 * 7 - 2000);

  buf.Clear();
  for (int i = 0; i < 571; ++i) Append("abcde\r\n");
  Append("ab");
  buf.selection() = {100, 0, 2};
  buf.AppendChar('x', 0);
  EXPECT_LT(buf.selection().line, 0);
}

TEST_F(TextBufferTest, BackspaceOverCarriageReturnLineFeed) {
  Append("abc\r\n");
  TextChange c = buf.Backspace();
  EXPECT_TRUE(c.scrollUpOneLine);
  EXPECT_EQ(c.relayoutFrom, 0);  // the closed line is kept and re-wrapped in place
  EXPECT_EQ(buf.length(), 4);
  ASSERT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(buf.line(0).ending, LineEnding::Hard);  // now closed by a lone CR
  EXPECT_EQ(buf.line(0).next, 4);
  EXPECT_EQ(buf.caretLine(), 1);

  c = buf.Backspace();
  EXPECT_TRUE(c.scrollUpOneLine);
  EXPECT_EQ(buf.line(0).ending, LineEnding::Soft);
  EXPECT_EQ(buf.caretLine(), 0);
  EXPECT_EQ(buf.caretX(), 30);

  c = buf.Backspace();
  EXPECT_FALSE(c.scrollUpOneLine);
  EXPECT_EQ(Line(0), "ab");
  EXPECT_EQ(c.invalidateFromLine, 0);
  EXPECT_EQ(c.invalidateToLine, 1);
}

TEST_F(TextBufferTest, BackspaceRemovesARecordWhenItsFirstByteGoes) {
  buf.SetWrapWidth(30);
  Append("ab cd");
  ASSERT_EQ(buf.LineCount(), 2);
  TextChange c = buf.Backspace();
  EXPECT_FALSE(c.scrollUpOneLine);
  EXPECT_EQ(buf.LineCount(), 2);
  c = buf.Backspace();
  EXPECT_TRUE(c.scrollUpOneLine);
  EXPECT_EQ(buf.LineCount(), 1);
  EXPECT_EQ(c.invalidateFromLine, 1);
  EXPECT_EQ(c.invalidateToLine, 2);  // the vacated row is erased too
  EXPECT_EQ(c.relayoutFrom, 0);
  EXPECT_EQ(buf.caretLine(), 0);
  EXPECT_EQ(Line(0), "ab ");

  buf.Clear();
  Append("\r\n");
  buf.Backspace();
  ASSERT_EQ(buf.LineCount(), 1);  // the lone CR is still an empty line
  EXPECT_EQ(buf.line(0).next, 1);
  EXPECT_EQ(buf.caretLine(), 1);
}

TEST_F(TextBufferTest, BackspaceToBlanksOrNothingPutsTheCaretAtTheOrigin) {
  EXPECT_FALSE(buf.Backspace().changed);
  Append("   a");
  buf.Backspace();
  EXPECT_EQ(buf.LineCount(), 0);
  EXPECT_EQ(buf.caretLine(), 0);
  EXPECT_EQ(buf.caretX(), 0);
  Append("b");
  buf.Backspace();
  buf.Backspace();
  buf.Backspace();
  buf.Backspace();
  EXPECT_EQ(buf.length(), 0);
  EXPECT_EQ(buf.caretLine(), 0);
  EXPECT_EQ(buf.text()[0], '\0');
}

TEST_F(TextBufferTest, BackspaceShrinksASelectionThatReachesTheEnd) {
  Append("x abc");
  buf.selection() = {0, 2, 5};
  buf.Backspace();
  EXPECT_EQ(buf.selection().end, 4);
  buf.Backspace();
  EXPECT_EQ(buf.selection().end, 3);
  buf.Backspace();
  EXPECT_LT(buf.selection().line, 0);
  EXPECT_EQ(buf.selection().start, -1);

  // A selection that stops short of the end is left alone.
  buf.Clear();
  Append("abc def");
  buf.selection() = {0, 0, 3};
  buf.Backspace();
  EXPECT_EQ(buf.selection().end, 3);
}

TEST_F(TextBufferTest, ClearEmptiesEverything) {
  Append("abc\r\ndef", 2);
  buf.slot(5).mark = 3;
  buf.selection() = {0, 0, 2};
  const TextChange c = buf.Clear();
  EXPECT_TRUE(c.fullRelayout);
  EXPECT_EQ(buf.length(), 0);
  EXPECT_EQ(buf.LineCount(), 0);
  EXPECT_EQ(buf.caretLine(), 0);
  EXPECT_EQ(buf.caretX(), 0);
  EXPECT_LT(buf.selection().line, 0);
  EXPECT_EQ(buf.slot(2).mark, 0);
  EXPECT_EQ(buf.slot(5).mark, 0);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(buf.text()[i], '\0');
    EXPECT_EQ(buf.colours()[i], 0);
  }
}

TEST_F(TextBufferTest, GetLineAndColourSlotsRejectBadIndices) {
  Append("hello");
  char out[4] = "zzz";
  EXPECT_EQ(buf.GetLine(1, out, sizeof out), -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(buf.GetLine(-1, out, sizeof out), -1);
  EXPECT_EQ(buf.GetLine(0, out, sizeof out), 3);  // cut at capacity - 1
  EXPECT_STREQ(out, "hel");
  EXPECT_EQ(buf.line(7).length, 0);

  EXPECT_FALSE(buf.SetColour(16, 1, 2));
  EXPECT_FALSE(buf.SetColour(-1, 1, 2));
  EXPECT_TRUE(buf.SetColour(15, 0x0000FF, 0x00FF00));
  EXPECT_EQ(buf.slot(15).foreground, 0x0000FFu);
  buf.SetBackground(0x123456);
  EXPECT_EQ(buf.slot(15).background, 0x123456u);
  EXPECT_EQ(buf.slot(0).background, 0x123456u);
}

}  // namespace
}  // namespace zk
