// Drives a pane's text buffer with arbitrary sequences of typed and received bytes,
// backspaces, clears, width changes and mouse selections, and checks after every
// step that the text, the line table, the marks and the selection stay consistent.
#include <cstddef>
#include <cstdint>
#include <string>

#include "textpane/selection.h"
#include "textpane/text_buffer.h"

namespace {

// Proportional for short runs, a flat rate for long ones (keeps long lines cheap and
// gives a measure that is not strictly additive).
struct FuzzMeasure : zk::TextMeasure {
  int Width(const char* bytes, int count) override {
    if (count > 64) return count * 8;
    int w = 0;
    for (int i = 0; i < count; ++i) w += 1 + static_cast<uint8_t>(bytes[i]) % 13;
    return w;
  }
};

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckBuffer(const zk::TextBuffer& b) {
  const int32_t len = b.length();
  Check(len >= 0 && len < b.capacity());
  Check(b.text()[len] == '\0');
  for (int32_t i = 0; i < len; ++i) Check(b.text()[i] != '\0');

  int32_t prevNext = 0;
  for (int32_t i = 0; i < b.LineCount(); ++i) {
    const zk::LineRecord& r = b.line(i);
    Check(r.ending != zk::LineEnding::EndOfText);
    Check(r.text >= prevNext && r.text <= len);
    Check(r.length >= 0 && r.text + r.length <= r.next && r.next <= len);
    Check(r.next > r.text || r.ending == zk::LineEnding::Empty);
    prevNext = r.next;
  }
  Check(b.caretLine() >= 0 && b.caretLine() <= b.LineCount());
  Check(b.caretX() >= 0);

  for (int s = 0; s < zk::TextBuffer::kSlotCount; ++s) Check(b.slot(s).mark >= 0 && b.slot(s).mark < b.capacity());
  const zk::Selection& sel = b.selection();
  if (sel.line >= 0) {
    Check(sel.line < b.LineCount());
    Check(sel.start >= 0 && sel.start <= sel.end && sel.end <= b.line(sel.line).length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzMeasure measure;
  zk::TextBuffer buffer(0);
  buffer.SetMeasure(&measure);
  buffer.SetWrapWidth(80);

  size_t at = 0;
  auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  // Bounded work per input keeps 200,000 runs within minutes.
  for (int step = 0; at < size && step < 512; ++step) {
    const uint8_t op = next();
    switch (op % 10) {
      case 0:
      case 1:
      case 2: {
        const uint8_t ch = next();
        const uint32_t slot = static_cast<uint32_t>(next()) << (op & 0x10 ? 12 : 0);
        const uint32_t result = buffer.CharInput(ch, slot).result;
        Check(result == 0 || result == 9 || result == 27);
        break;
      }
      case 3: {
        const uint8_t ch = next();  // read apart: argument order is unspecified
        buffer.AppendChar(ch, static_cast<int>(next() % 20) - 2);
        break;
      }
      case 4: buffer.Backspace(); break;
      case 5:
        if (op == 5) buffer.Clear();
        break;
      case 6:
        buffer.SetWrapWidth(next() * 2);
        buffer.RelayoutAll();
        break;
      case 7: {
        // A burst of received words, long enough to reach the trim. Words stay short:
        // every append re-measures the last line, which is all a burst exercises.
        const int count = next() * 4;
        const uint8_t ch = next();
        const int gap = 2 + next() % 40;
        for (int i = 0; i < count; ++i) {
          const bool blank = i % gap == gap - 1;
          buffer.AppendChar(blank ? ' ' : ch, 1);
        }
        break;
      }
      case 8: {
        const int32_t row = static_cast<int32_t>(next()) - 8;
        const int x = next() * 4;
        if (op & 0x80)
          zk::ExtendSelectionTo(buffer, measure, x);
        else
          zk::SelectWordAt(buffer, measure, row, x);
        char out[24];
        const int n = zk::GetSelectedText(buffer, out, sizeof out);
        Check(n >= 0 && n < static_cast<int>(sizeof out) && out[n] == '\0');
        break;
      }
      default: {
        char out[32];
        const int n = buffer.GetLine(static_cast<int32_t>(next()) - 4, out, sizeof out);
        Check(n < static_cast<int>(sizeof out) && (n < 0 ? out[0] == '\0' : out[n] == '\0'));
        if (op & 0x80) Check(zk::CopyAllText(buffer).find('\0') == std::string::npos);
        break;
      }
    }
    if (step % 16 == 15) CheckBuffer(buffer);
  }
  CheckBuffer(buffer);
  return 0;
}
