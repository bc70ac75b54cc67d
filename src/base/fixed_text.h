#pragma once
#include <cstddef>

namespace zk {

// Copies src into a fixed field of `capacity` bytes, cutting it at capacity - 1 and
// always terminating. Returns the number of bytes copied (without the terminator).
size_t CopyText(char* dst, size_t capacity, const char* src);

// As CopyText, but takes at most `count` bytes of src (stops early at a NUL).
size_t CopyTextN(char* dst, size_t capacity, const char* src, size_t count);

template <size_t N>
size_t CopyText(char (&dst)[N], const char* src) {
  return CopyText(dst, N, src);
}

// Writes into a fixed field of `capacity` bytes: bytes that would leave no room for the
// terminator are dropped, and `n` counts only what was kept. Terminate() ends the text.
struct BoundedText {
  char* out;
  size_t capacity;
  size_t n = 0;
  void Put(char ch) {
    if (n + 1 < capacity) out[n++] = ch;
  }
  // At most `count` bytes of `text`, stopping early at a NUL.
  void Put(const char* text, size_t count) {
    for (size_t i = 0; i < count && text[i] != '\0'; ++i) Put(text[i]);
  }
  void Put(const char* text) { Put(text, static_cast<size_t>(-1)); }
  size_t Terminate() {
    if (capacity > 0) out[n] = '\0';
    return n;
  }
};

}  // namespace zk
