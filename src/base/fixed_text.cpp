#include "base/fixed_text.h"

namespace zk {

size_t CopyTextN(char* dst, size_t capacity, const char* src, size_t count) {
  if (capacity == 0) return 0;
  size_t n = 0;
  if (src) {
    while (n + 1 < capacity && n < count && src[n] != '\0') {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = '\0';
  return n;
}

size_t CopyText(char* dst, size_t capacity, const char* src) {
  return CopyTextN(dst, capacity, src, static_cast<size_t>(-1));
}

}  // namespace zk
