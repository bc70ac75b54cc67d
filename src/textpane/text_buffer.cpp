#include "textpane/text_buffer.h"

#include <algorithm>
#include <cstring>

namespace zk {

namespace {

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }
bool IsLineStop(char c) { return c == '\0' || IsLineBreak(c); }
// 32 and 160 both separate words.
bool IsSeparator(char c) { return (static_cast<uint8_t>(c) & 0x7F) == 0x20; }

const LineRecord kNoLine = {0, 0, 0, LineEnding::EndOfText};

}  // namespace

TextBuffer::TextBuffer(int32_t capacity)
    : capacity_(std::max(capacity, kMinCapacity)),
      text_(static_cast<size_t>(capacity_), '\0'),
      colours_(static_cast<size_t>(capacity_), 0) {
  lines_.reserve(static_cast<size_t>(capacity_ / 100));
}

int TextBuffer::Measure(int32_t pos, int32_t count) {
  if (!measure_ || count <= 0) return 0;
  return measure_->Width(text_.data() + pos, count);
}

LineEnding TextBuffer::NextLine(int32_t pos, LineRecord& record, int& width) {
  const char* t = text_.data();
  int32_t p = std::min(std::max(pos, 0), length_);
  record.length = 0;
  width = 0;
  while (t[p] == ' ') ++p;
  record.text = p;
  if (t[p] == '\0') {
    record.next = p;
    record.ending = LineEnding::EndOfText;
    return record.ending;
  }
  if (IsLineBreak(t[p])) {
    record.next = p + ((t[p] == '\r' && t[p + 1] == '\n') ? 2 : 1);
    record.ending = LineEnding::Empty;
    return record.ending;
  }

  // Add words while the line stays narrower than the wrap width; the first word
  // always stays, however wide.
  const int32_t s0 = p;
  int32_t s = p;
  int32_t segStart = p;
  bool accepted = false;
  for (;;) {
    segStart = s;
    while (!IsLineStop(t[s]) && !IsSeparator(t[s])) ++s;
    const int m = Measure(s0, s - s0);
    if (accepted && m >= wrapWidth_) {
      s = segStart;
      break;
    }
    accepted = true;
    width = m;
    if (IsLineStop(t[s])) break;
    ++s;  // one separator; any further ones start the next segment
  }

  if (!IsLineStop(t[s])) {
    record.length = segStart - s0;
    record.next = segStart;
    record.ending = LineEnding::Soft;
  } else if (t[s] == '\0') {
    record.length = s - s0;
    record.next = s;
    record.ending = LineEnding::Soft;
  } else {
    record.length = s - s0;
    record.next = s + ((t[s] == '\r' && t[s + 1] == '\n') ? 2 : 1);
    record.ending = LineEnding::Hard;
  }
  return record.ending;
}

void TextBuffer::RelayoutAll() {
  lines_.clear();
  maxLineWidth_ = 0;
  caretX_ = 0;
  LineRecord record;
  int width = 0;
  int32_t p = 0;
  while (NextLine(p, record, width) != LineEnding::EndOfText) {
    caretX_ = width;
    maxLineWidth_ = std::max(maxLineWidth_, static_cast<int32_t>(width));
    lines_.push_back(record);
    p = record.next;
  }
  caretLine_ = std::max(LineCount() - 1, 0);
  if (!lines_.empty() && lines_.back().ending != LineEnding::Soft) {
    caretX_ = 0;
    ++caretLine_;
  }
  DropSelectionOutsideTable();
}

int32_t TextBuffer::RelayoutFrom(int32_t fromLine) {
  fromLine = std::min(fromLine, LineCount() - 1);
  int32_t p = 0;
  int32_t i = 0;
  if (fromLine >= 0) {
    p = lines_[static_cast<size_t>(fromLine)].text;
    i = fromLine;
  }
  int32_t last = -1;
  LineRecord record;
  int width = 0;
  while (NextLine(p, record, width) != LineEnding::EndOfText) {
    caretLine_ = i;
    caretX_ = width;
    maxLineWidth_ = std::max(maxLineWidth_, static_cast<int32_t>(width));
    // Every record, an empty line included, goes in at its own index.
    if (i < LineCount()) {
      lines_[static_cast<size_t>(i)] = record;
    } else {
      lines_.push_back(record);
    }
    if (record.ending != LineEnding::Soft) {
      caretX_ = 0;
      caretLine_ = i + 1;
    }
    last = i;
    ++i;
    p = record.next;
  }
  // Records beyond the re-wrapped text would describe bytes that are gone.
  if (i < LineCount()) lines_.resize(static_cast<size_t>(i));
  if (lines_.empty()) {
    caretX_ = 0;
    caretLine_ = 0;
  }
  DropSelectionOutsideTable();
  return last;
}

void TextBuffer::Trim(TextChange& change) {
  const size_t kept = static_cast<size_t>(capacity_ - kTrimBytes);
  std::memmove(text_.data(), text_.data() + kTrimBytes, kept);
  std::memset(text_.data() + kept, 0, static_cast<size_t>(kTrimBytes));
  std::memmove(colours_.data(), colours_.data() + kTrimBytes, kept);
  std::memset(colours_.data() + kept, 0, static_cast<size_t>(kTrimBytes));
  length_ -= kTrimBytes;
  for (ColourSlot& s : slots_) s.mark = std::max(s.mark - kTrimBytes, 0);

  // A line cut in the middle survives as the new first line, so only records
  // ending before the cut count as gone.
  int32_t gone = 0;
  for (const LineRecord& r : lines_) {
    if (r.text - kTrimBytes >= 0) break;
    if (r.next - kTrimBytes < 0) ++gone;
  }
  if (gone > 0 && selection_.line >= 0) {
    selection_.line -= gone;
    if (selection_.line < 0) ClearSelection();
  }

  RelayoutAll();
  change.trimmed = true;
  change.fullRelayout = true;
  change.trimmedLeadingLines = gone;
}

TextChange TextBuffer::AppendChar(uint8_t ch, int slotIndex) {
  TextChange change;
  // A NUL would end the laid-out text early and hide everything after it.
  if (ch == 0) return change;
  if (slotIndex < 0 || slotIndex >= kSlotCount) slotIndex = 0;
  if (length_ >= capacity_ - 1) Trim(change);

  const size_t at = static_cast<size_t>(length_);
  colours_[at] = static_cast<uint8_t>(slotIndex);
  text_[at] = static_cast<char>(ch);
  ++length_;
  text_[at + 1] = '\0';
  colours_[at + 1] = kEndColour;
  slots_[slotIndex].mark = length_;

  change.changed = true;
  change.rewrapped = true;
  change.relayoutFrom = LineCount() - 1;
  change.lastProducedLine = RelayoutFrom(change.relayoutFrom);
  return change;
}

TextChange TextBuffer::CharInput(uint32_t ch, uint32_t slotIndex) {
  if (ch == 8) return Backspace();
  if (ch == 9 || ch == 27) {
    TextChange ignored;
    ignored.result = ch;
    return ignored;
  }
  // Keyboard messages pass their repeat count and scan code where the slot goes.
  const int s = slotIndex < static_cast<uint32_t>(kSlotCount) ? static_cast<int>(slotIndex) : 0;
  return AppendChar(static_cast<uint8_t>(ch & 0xFF), s);
}

TextChange TextBuffer::Backspace() {
  TextChange change;
  if (length_ <= 0) return change;

  const int32_t last = LineCount() - 1;
  LineRecord lastRecord = kNoLine;
  if (last >= 0) {
    lastRecord = lines_.back();
    if (length_ - 1 == lastRecord.text || lastRecord.ending != LineEnding::Soft) {
      change.scrollUpOneLine = true;
      caretLine_ = std::max(caretLine_ - 1, 0);
      if (lastRecord.ending != LineEnding::Hard) lines_.pop_back();
    }
  }
  --length_;
  // A mark never lies past the end, so what is appended after a backspace counts as
  // appended after the mark (the typing pane's transmit position among them).
  for (ColourSlot& s : slots_) s.mark = std::min(s.mark, length_);

  // The highlight shrinks with the byte it covered at the end of the text.
  if (selection_.line >= 0 && selection_.line == last && lastRecord.next == lastRecord.text + selection_.end) {
    --selection_.end;
    if (selection_.end == selection_.start) ClearSelection();
  }
  text_[static_cast<size_t>(length_)] = '\0';

  if (last >= 0) {
    change.invalidateFromLine = last;
    change.invalidateToLine = std::max(LineCount(), last + 1);
  }
  if (length_ == 0) {
    caretX_ = 0;
    caretLine_ = 0;
  }
  change.changed = true;
  change.rewrapped = true;
  change.relayoutFrom = LineCount() - 1;
  change.lastProducedLine = RelayoutFrom(change.relayoutFrom);
  return change;
}

TextChange TextBuffer::Clear() {
  length_ = 0;
  lines_.clear();
  ClearSelection();
  std::fill(text_.begin(), text_.end(), '\0');
  std::fill(colours_.begin(), colours_.end(), static_cast<uint8_t>(0));
  caretLine_ = 0;
  caretX_ = 0;
  for (ColourSlot& s : slots_) s.mark = 0;
  RelayoutAll();
  TextChange change;
  change.changed = true;
  change.fullRelayout = true;
  return change;
}

int TextBuffer::GetLine(int32_t index, char* out, size_t cap) const {
  if (!out || cap == 0) return -1;
  out[0] = '\0';
  if (index < 0 || index >= LineCount()) return -1;
  const LineRecord& r = lines_[static_cast<size_t>(index)];
  const int32_t shown = std::min(r.length, length_ - r.text);
  if (shown <= 0) return 0;
  const size_t n = std::min(static_cast<size_t>(shown), cap - 1);
  std::memcpy(out, text_.data() + r.text, n);
  out[n] = '\0';
  return static_cast<int>(n);
}

const LineRecord& TextBuffer::line(int32_t index) const {
  if (index < 0 || index >= LineCount()) return kNoLine;
  return lines_[static_cast<size_t>(index)];
}

bool TextBuffer::SetColour(int slotIndex, uint32_t foreground, uint32_t background) {
  if (slotIndex < 0 || slotIndex >= kSlotCount) return false;
  slots_[slotIndex].foreground = foreground;
  slots_[slotIndex].background = background;
  return true;
}

void TextBuffer::SetBackground(uint32_t colour) {
  for (ColourSlot& s : slots_) s.background = colour;
}

ColourSlot& TextBuffer::slot(int index) { return slots_[(index >= 0 && index < kSlotCount) ? index : 0]; }

const ColourSlot& TextBuffer::slot(int index) const { return slots_[(index >= 0 && index < kSlotCount) ? index : 0]; }

void TextBuffer::DropSelectionOutsideTable() {
  const Selection& s = selection_;
  if (s.line < 0) return;
  if (s.line >= LineCount() || s.start < 0 || s.end < s.start || s.end > lines_[static_cast<size_t>(s.line)].length) {
    ClearSelection();
  }
}

}  // namespace zk
