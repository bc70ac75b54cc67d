// Outside input for the base helpers: key messages and TNC strings for the escape parser,
// bytes off the serial line for the Baudot decoder and the TNC matcher. Each must stay
// inside its buffers and give bounded output; the rules themselves are unit-tested.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/baudot.h"
#include "base/escapes.h"
#include "device/tnc_match.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void FuzzEscapes(const char* text, size_t length) {
  for (bool transmitting : {false, true}) {
    zk::EscapeContext ctx;
    ctx.transmitting = transmitting;
    std::string widest;
    for (size_t capacity : {500, 17, 2, 1}) {
      std::unique_ptr<char[]> out(new char[capacity]);  // exact size, so ASan sees overruns
      zk::EscapeEffects fx;
      const size_t n = zk::ParseEscapes(out.get(), capacity, text, ctx, &fx);
      Check(n < capacity && out[n] == '\0');
      Check(n <= length);  // no escape yields more bytes than it is written with
      if (capacity == 500) {
        widest.assign(out.get(), n);
      } else {  // a smaller buffer holds a prefix of what a larger one holds
        Check(n == std::min(widest.size(), capacity - 1));
        Check(std::memcmp(out.get(), widest.data(), n) == 0);
      }
    }
  }
}

void FuzzBaudot(const uint8_t* data, size_t size) {
  zk::BaudotCodec codec;
  for (size_t i = 0; i < size; ++i) {
    // The table's markers for the blank and the shifts never reach the pane.
    const char ch = codec.Decode(data[i], (data[i] & 0x80) != 0);
    Check(ch != 0x7F && ch != 0x1B && ch != 0x1F);
    uint8_t out[5];
    const int n = codec.Encode(static_cast<char>(data[i]), out);
    Check(n >= 0 && n <= 4 && out[n] == 0);
    for (int k = 0; k < n; ++k) Check(out[k] < 32);
  }
}

// The first byte gives the length of the awaited text, which may exceed the window;
// the rest is received traffic.
void FuzzMatcher(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const size_t textLength = std::min<size_t>(data[0], size - 1);
  std::unique_ptr<char[]> text(new char[textLength + 1]);  // exact size: no reading past it
  std::memcpy(text.get(), data + 1, textLength);
  text[textLength] = '\0';
  zk::TncMatcher matcher;
  for (size_t i = 1 + textLength; i < size; ++i)
    if (matcher.Step(data[i], text.get()) && (data[i] & 1)) matcher.Clear();
  // Whatever came before, the text itself arriving matches on its last byte if it fits.
  const size_t n = std::strlen(text.get());
  bool matched = false;
  for (size_t k = 0; k < n; ++k) matched = matcher.Step(static_cast<uint8_t>(text[k]), text.get());
  Check(matched == (n > 0 && n <= zk::TncMatcher::kWindow));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  FuzzEscapes(text.data(), std::strlen(text.data()));
  FuzzBaudot(data, size);
  FuzzMatcher(data, size);
  return 0;
}
