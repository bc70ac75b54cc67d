#pragma once
#include <cstddef>

namespace zk {

// Bytes with a meaning of their own in the transmit queue and in message text.
constexpr char kEndOfTransmission = 0x1A;    // "\s": back to receive here
constexpr char kStartOfTransmission = 0x17;  // "\t" while receiving: switch to transmit first

// What ParseEscapes needs to know and what it reports besides its bytes.
struct EscapeContext {
  bool transmitting = false;  // "\t" yields nothing while transmitting
};
struct EscapeEffects {
  bool qsoPending = false;  // set by "\l"
  size_t qsoPendingAt = 0;  // bytes written before the last "\l"
};

// 0..15 for a hex digit of either case, 0 for anything else.
int HexDigitValue(char ch);

// Resolves the backslash notation of TNC strings and function-key messages into `out`
// (capacity bytes, always terminated; longer output is cut). Leading blanks are skipped
// and a text that opens with a quote ends at the next unescaped equal quote. Returns the
// number of bytes written before the terminator; an escaped zero byte is among them and
// ends the useful text for anyone who reads `out` as a C string.
size_t ParseEscapes(char* out, size_t capacity, const char* in, const EscapeContext& ctx, EscapeEffects* effects);

}  // namespace zk
