#pragma once
#include <cstdint>

namespace zk {

constexpr uint8_t kLtrs = 31;  // letters shift, also the idle ("diddle") code
constexpr uint8_t kFigs = 27;  // figures shift

// The serial port write that BaudotSyncLetters needs; the shell's port implements it.
class CodeWriter {
 public:
  virtual ~CodeWriter() = default;
  virtual void WriteCodes(const uint8_t* codes, int count) = 0;
};

// ITA2 five-bit code with one letters/figures shift state per direction.
class BaudotCodec {
 public:
  // Decodes one received code (only its low five bits count). Returns the character,
  // or 0 when there is nothing to show (shift codes, code 0).
  char Decode(uint8_t code, bool ltrsOnSpace);

  // Writes the codes for one character (at most 4, then a 0) and returns their number;
  // 0 when the character produces nothing.
  int Encode(char ch, uint8_t out[5]);

  // Sets the far end to letters: LTRS LTRS on the line.
  void SyncLetters(CodeWriter& port);

  // The writer sent an idle LTRS code: the far end is in letters now.
  void NoteIdleCode() { txFigures_ = false; }

  bool rxFigures() const { return rxFigures_; }
  bool txFigures() const { return txFigures_; }

 private:
  bool rxFigures_ = false;
  bool txFigures_ = false;
};

}  // namespace zk
