#pragma once
#include <cstdint>
#include <cstdio>

namespace zk {
namespace sim {

// What the simulator heard, for tests to read while it runs: a text file of decoded
// characters and a raw file of "t_ms code" lines (code in two hex digits). Both are
// appended to and flushed after every entry.
class Recorder {
 public:
  Recorder() = default;
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;
  ~Recorder();

  // An empty or null path records nothing. False when the file cannot be opened.
  bool OpenText(const char* path);
  bool OpenRaw(const char* path);

  void Text(char c);
  void Raw(int64_t tMs, uint8_t code);

 private:
  FILE* text_ = nullptr;
  FILE* raw_ = nullptr;
};

}  // namespace sim
}  // namespace zk
