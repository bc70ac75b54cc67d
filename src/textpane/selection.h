// Mouse selection within one display line, the selected text and the text of the
// whole pane for the clipboard. The pane draws and talks to the clipboard; this
// decides what is selected and what is copied.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "textpane/text_buffer.h"

namespace zk {

// A word separator: 32 or 160.
inline bool IsWordSeparator(char c) { return (static_cast<uint8_t>(c) & 0x7F) == 0x20; }

// The column of `record` under pointer x: the first i below the record's length whose
// first i bytes measure wider than x, or -1 (over the last byte or right of the text).
int32_t HitColumn(TextMeasure& measure, const char* text, const LineRecord& record, int x);

struct WordSpan {
  int32_t start;
  int32_t end;  // one past the word's last byte
};

// The word around `column`: end moves right to a separator or the record's end, start
// moves left to just after a separator or the record's start.
WordSpan WordAround(const char* text, const LineRecord& record, int32_t column);

// `column` moved right to the next separator or the record's end.
int32_t WordEndFrom(const char* text, const LineRecord& record, int32_t column);

// Left-button press on `row` (negative counts as 0) at x: selects the word under the
// pointer and returns true, or changes nothing and returns false when there is no hit.
bool SelectWordAt(TextBuffer& buffer, TextMeasure& measure, int32_t row, int x);

enum class DragResult { NoHit, Extended, Dropped };

// Dragging to x on the selection's record: NoHit leaves the selection alone, Extended
// moved its end to the end of the word under the pointer, Dropped removed it (pointer
// left of the start).
DragResult ExtendSelectionTo(TextBuffer& buffer, TextMeasure& measure, int x);

// The selected bytes start .. end inclusive (the byte that stopped the word comes
// along), NUL-terminated and cut at cap - 1. Returns end - start + 1, or fewer when
// cut; 0 with an empty out when nothing is selected.
int GetSelectedText(const TextBuffer& buffer, char* out, size_t cap);

// Every record's shown bytes followed by CR LF, for copying the whole pane.
std::string CopyAllText(const TextBuffer& buffer);

}  // namespace zk
