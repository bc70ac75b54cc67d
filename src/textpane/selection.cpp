#include "textpane/selection.h"

#include <algorithm>
#include <cstring>

namespace zk {

int32_t HitColumn(TextMeasure& measure, const char* text, const LineRecord& record, int x) {
  const char* start = text + record.text;
  for (int32_t i = 0; i < record.length; ++i) {
    if (measure.Width(start, i) > x) return i;
  }
  return -1;
}

int32_t WordEndFrom(const char* text, const LineRecord& record, int32_t column) {
  int32_t i = std::min(std::max(column, 0), record.length);
  while (i < record.length && !IsWordSeparator(text[record.text + i])) ++i;
  return i;
}

WordSpan WordAround(const char* text, const LineRecord& record, int32_t column) {
  WordSpan span;
  span.end = WordEndFrom(text, record, column);
  span.start = std::min(std::max(column, 0), record.length);
  while (span.start > 0 && !IsWordSeparator(text[record.text + span.start - 1])) --span.start;
  return span;
}

bool SelectWordAt(TextBuffer& buffer, TextMeasure& measure, int32_t row, int x) {
  row = std::max(row, 0);
  if (row >= buffer.LineCount()) return false;
  const LineRecord& record = buffer.line(row);
  const int32_t column = HitColumn(measure, buffer.text(), record, x);
  if (column < 0) return false;
  const WordSpan word = WordAround(buffer.text(), record, column);
  Selection& sel = buffer.selection();
  sel.line = row;
  sel.start = word.start;
  sel.end = word.end;
  return true;
}

DragResult ExtendSelectionTo(TextBuffer& buffer, TextMeasure& measure, int x) {
  Selection& sel = buffer.selection();
  if (sel.line < 0 || sel.line >= buffer.LineCount()) return DragResult::NoHit;
  const LineRecord& record = buffer.line(sel.line);
  const int32_t column = HitColumn(measure, buffer.text(), record, x);
  if (column < 0) return DragResult::NoHit;
  const int32_t end = WordEndFrom(buffer.text(), record, column);
  if (end >= sel.start) {
    sel.end = end;
    return DragResult::Extended;
  }
  buffer.ClearSelection();
  return DragResult::Dropped;
}

int GetSelectedText(const TextBuffer& buffer, char* out, size_t cap) {
  if (!out || cap == 0) return 0;
  out[0] = '\0';
  const Selection& sel = buffer.selection();
  if (sel.line < 0 || sel.line >= buffer.LineCount() || sel.start < 0 || sel.end < sel.start) {
    return 0;
  }
  const int32_t from = buffer.line(sel.line).text + sel.start;
  if (from > buffer.length()) return 0;
  // The last byte taken may be the closing NUL at length, never anything past it.
  const int32_t count = std::min(sel.end - sel.start + 1, buffer.length() - from + 1);
  const size_t n = std::min(static_cast<size_t>(count), cap - 1);
  std::memcpy(out, buffer.text() + from, n);
  out[n] = '\0';
  return static_cast<int>(n);
}

std::string CopyAllText(const TextBuffer& buffer) {
  std::string all;
  all.reserve(static_cast<size_t>(buffer.length() + 2 * buffer.LineCount()));
  for (int32_t i = 0; i < buffer.LineCount(); ++i) {
    const LineRecord& r = buffer.line(i);
    const int32_t shown = std::max(std::min(r.length, buffer.length() - r.text), 0);
    all.append(buffer.text() + r.text, static_cast<size_t>(shown));
    all.append("\r\n");
  }
  return all;
}

}  // namespace zk
