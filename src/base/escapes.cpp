#include "base/escapes.h"

#include "base/fixed_text.h"

namespace zk {

int HexDigitValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return 0;
}

size_t ParseEscapes(char* out, size_t capacity, const char* in, const EscapeContext& ctx, EscapeEffects* effects) {
  if (!out || capacity == 0) return 0;
  BoundedText o{out, capacity};
  if (!in) in = "";
  while (*in == ' ') ++in;
  char quote = 0;
  if (*in == '"' || *in == '\'') quote = *in++;

  while (*in != '\0') {
    char ch = *in++;
    if (quote && ch == quote) break;
    if (ch != '\\') {
      o.Put(ch);
      continue;
    }
    char esc = *in;
    if (esc == '\0') break;  // a lone backslash at the end is dropped
    ++in;
    switch (esc) {
      case 'c':
      case 'C': o.Put(0x03); break;
      case 'e':
      case 'E': o.Put(0x1B); break;
      case 'l':
      case 'L':
        if (effects) {
          effects->qsoPending = true;
          effects->qsoPendingAt = o.n;
        }
        break;
      case 'n':
      case 'N': o.Put(0x0A); break;
      case 'q':
      case 'Q': o.Put('"'); break;
      case 'r':
      case 'R': o.Put(0x0D); break;
      case 's':
      case 'S': o.Put(kEndOfTransmission); break;
      case 't':
      case 'T':
        if (!ctx.transmitting) o.Put(kStartOfTransmission);
        break;
      case 'u':
      case 'U': o.Put(0x01); break;
      case 'x':
      case 'X': {
        // The two characters after the x are the digits; a missing one counts as 0.
        int hi = HexDigitValue(*in);
        if (*in != '\0') ++in;
        int lo = HexDigitValue(*in);
        if (*in != '\0') ++in;
        o.Put(static_cast<char>(hi * 16 + lo));
        break;
      }
      default: o.Put(esc); break;
    }
  }
  return o.Terminate();
}

}  // namespace zk
