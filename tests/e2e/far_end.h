// The far end of a serial pair, played by the test driver: what a terminal unit or a TNC
// would read from and write to the line.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

class FarEnd {
 public:
  ~FarEnd();
  bool Open(const char* name);
  void Close();
  void Write(const std::string& bytes);
  void Write(const std::vector<unsigned char>& bytes);
  // Everything read within `ms`.
  std::string ReadFor(int ms);
  // Reads until `bytes` holds `wanted` (or `ms` pass); returns all read.
  std::string ReadUntil(const std::string& wanted, int ms);
  // Reads until `count` bytes came (or `ms` pass).
  std::string ReadCount(size_t count, int ms);
  void Drain() { ReadFor(100); }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Baudot codes of a letters-shift text (A..Z, space, CR, LF) for the far end to send.
std::vector<unsigned char> LettersCodes(const std::string& text);

}  // namespace e2e
