#include "device/tnc_match.h"

#include <cstring>

namespace zk {

namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// strlen that stops looking once the text is too long to match anyway.
size_t BoundedLength(const char* text, size_t limit) {
  size_t n = 0;
  while (n <= limit && text[n] != '\0') ++n;
  return n;
}

}  // namespace

bool TncMatcher::Step(uint8_t b, const char* text) {
  if (clearPending_.exchange(false, std::memory_order_acq_rel)) {
    std::memset(window_, 0, sizeof window_);
    received_ = 0;
  }
  std::memmove(window_, window_ + 1, kWindow - 1);
  window_[kWindow - 1] = b;
  if (received_ < kWindow) ++received_;

  if (!text) return false;
  const size_t n = BoundedLength(text, kWindow);
  if (n == 0 || n > kWindow || received_ < n) return false;
  const uint8_t* tail = window_ + (kWindow - n);
  for (size_t i = 0; i < n; ++i) {
    if (FoldAscii(tail[i]) != FoldAscii(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace zk
