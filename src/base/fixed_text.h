#pragma once
#include <cstddef>

namespace zk {

// Copies src into a fixed field of `capacity` bytes, cutting it at capacity - 1 and
// always terminating. Returns the number of bytes copied (without the terminator).
size_t CopyText(char* dst, size_t capacity, const char* src);

// As CopyText, but takes at most `count` bytes of src (stops early at a NUL).
size_t CopyTextN(char* dst, size_t capacity, const char* src, size_t count);

template <size_t N>
size_t CopyText(char (&dst)[N], const char* src) { return CopyText(dst, N, src); }

}  // namespace zk
