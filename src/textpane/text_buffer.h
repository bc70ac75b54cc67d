// The text of one pane: a fixed-capacity byte string with a colour slot per byte and
// the table of display lines it wraps into. No windows here: the pane supplies a
// measure and a wrap width, locks around calls, and performs the view updates that
// each change reports.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zk {

// Pixel width of `count` bytes drawn in the pane's font.
class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  virtual int Width(const char* bytes, int count) = 0;
};

enum class LineEnding : int8_t { EndOfText = -1, Soft = 0, Empty = 1, Hard = 2 };

// One display line.
struct LineRecord {
  int32_t text;    // first byte shown (leading blanks skipped)
  int32_t next;    // where the following line's layout starts
  int32_t length;  // bytes shown from `text`
  LineEnding ending;
};

struct ColourSlot {
  uint32_t background = 0xFFFFFF;
  uint32_t foreground = 0;
  int32_t mark = 0;  // just after the last byte appended with this slot
};

// The highlighted stretch of one record; line < 0 means none. The highlight covers
// start .. end - 1.
struct Selection {
  int32_t line = -1, start = -1, end = -1;
};

// What a change asks of the window.
struct TextChange {
  bool changed = false;             // text or line table changed; repaint at once
  bool trimmed = false;             // the oldest bytes were dropped before the append
  bool fullRelayout = false;        // whole table rebuilt (trim, clear): set range, scroll to end, invalidate all
  int32_t trimmedLeadingLines = 0;  // records that fell wholly off the start in the trim
  bool scrollUpOneLine = false;     // backspace took the caret back a line: scroll up one line, set range
  int32_t invalidateFromLine = 0;   // backspace: erase rows of records [from, to)
  int32_t invalidateToLine = 0;
  bool rewrapped = false;         // RelayoutFrom ran: invalidate from relayoutFrom, maybe follow the end, place caret
  int32_t relayoutFrom = -1;      // index RelayoutFrom started at (-1 = text start)
  int32_t lastProducedLine = -1;  // last record that re-wrap produced (-1 = none)
  uint32_t result = 0;            // CharInput: 0 when handled, else the ignored character
};

class TextBuffer {
 public:
  static constexpr int32_t kMinCapacity = 4000;
  static constexpr int32_t kTrimBytes = 2000;
  static constexpr int kSlotCount = 16;
  static constexpr uint8_t kEndColour = 0xFF;

  explicit TextBuffer(int32_t capacity);

  // Without a measure every run is 0 pixels wide.
  void SetMeasure(TextMeasure* measure) { measure_ = measure; }
  void SetWrapWidth(int width) { wrapWidth_ = width; }
  int wrapWidth() const { return wrapWidth_; }

  // Lays out one display line from `pos`; fills `record` and the line's pixel width.
  LineEnding NextLine(int32_t pos, LineRecord& record, int& width);
  void RelayoutAll();
  // Re-wraps from record `fromLine` (-1 = text start); returns the last record produced or -1.
  int32_t RelayoutFrom(int32_t fromLine);

  TextChange AppendChar(uint8_t ch, int slot);
  TextChange CharInput(uint32_t ch, uint32_t slot);
  TextChange Backspace();
  TextChange Clear();

  int32_t LineCount() const { return static_cast<int32_t>(lines_.size()); }
  // Copies record `index`'s shown bytes, cut at cap - 1; -1 and empty out when no such record.
  int GetLine(int32_t index, char* out, size_t cap) const;
  // An index outside the table gives an empty record.
  const LineRecord& line(int32_t index) const;

  bool SetColour(int slot, uint32_t foreground, uint32_t background);
  void SetBackground(uint32_t colour);
  // An index outside 0..15 gives slot 0.
  ColourSlot& slot(int index);
  const ColourSlot& slot(int index) const;

  const char* text() const { return text_.data(); }
  const uint8_t* colours() const { return colours_.data(); }
  int32_t length() const { return length_; }
  int32_t capacity() const { return capacity_; }
  int32_t maxLineWidth() const { return maxLineWidth_; }
  int32_t caretX() const { return caretX_; }
  int32_t caretLine() const { return caretLine_; }
  Selection& selection() { return selection_; }
  const Selection& selection() const { return selection_; }
  void ClearSelection() { selection_ = Selection(); }

 private:
  int Measure(int32_t pos, int32_t count);
  void Trim(TextChange& change);
  void DropSelectionOutsideTable();

  int32_t capacity_;
  int32_t length_ = 0;
  std::vector<char> text_;
  std::vector<uint8_t> colours_;
  ColourSlot slots_[kSlotCount];
  std::vector<LineRecord> lines_;
  int32_t maxLineWidth_ = 0;
  int32_t caretX_ = 0;
  int32_t caretLine_ = 0;
  Selection selection_;
  TextMeasure* measure_ = nullptr;
  int wrapWidth_ = 0;
};

}  // namespace zk
