#pragma once
#include <cstddef>
#include <vector>

namespace zk {

// Strips trailing characters of code 32 or less (bytes of 128 and above count as
// printable), then turns every remaining tab and carriage return into a blank.
// Used on every line read from a file and on texts read from edit controls.
void CleanLine(char* text);

// Calls line(char*) with every non-empty line of a file's bytes, split at line feeds into
// one writable copy, so a line of any length is handled whole.
template <typename F>
void ForEachLine(const char* data, size_t size, F line) {
  if (!data || size == 0) return;
  std::vector<char> text(data, data + size);
  text.push_back('\n');
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    text[i] = '\0';
    if (i > start) line(&text[start]);
    start = i + 1;
  }
}

}  // namespace zk
