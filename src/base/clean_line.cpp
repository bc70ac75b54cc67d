#include "base/clean_line.h"

#include <cstring>

namespace zk {

void CleanLine(char* text) {
  if (!text) return;
  size_t n = std::strlen(text);
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= 32) text[--n] = '\0';
  for (size_t i = 0; i < n; ++i)
    if (text[i] == '\t' || text[i] == '\r') text[i] = ' ';
}

}  // namespace zk
