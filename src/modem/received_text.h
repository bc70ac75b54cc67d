#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/baudot.h"

namespace zk {

// Turns the codes the receiver shows into text: the receiving shift state, which starts in
// letters with each transmission (what came before says nothing about a new sender's
// shift), and where each character's stop element ended.
//
// It repairs a lost shift where the evidence is strong. When a code came close to being a
// shift its elements could not tell from another code, or a space has just returned the
// shift to letters while the sender may not have meant it (not every sender sends figures
// again after a space), the next word is held back until it ends: read in the other
// shift, a word of letters of the top row is a group of digits, and a word of figures that
// are mostly not digits is a word of letters. Anything else is shown as received. Only
// such words wait; every other character is shown at once.
class ReceivedText {
 public:
  explicit ReceivedText(bool ltrsOnSpace) : ltrsOnSpace_(ltrsOnSpace) {}
  void NewTransmission();
  // Appends the character a code stands for, if any, and its stop element's end to `ends`.
  // `llr`: the evidence of its five data elements, mark over space, first element first.
  void Add(uint8_t code, const float llr[5], int64_t end, std::string& text, std::vector<int64_t>& ends);
  // Shows what is held back: the transmission has stopped.
  void Flush(std::string& text, std::vector<int64_t>& ends);

 private:
  enum class Doubt { kNone, kFigures, kLetters };  // the shift the sender may have meant
  struct Held {
    uint8_t code;
    int64_t end;
  };
  void Show(uint8_t code, int64_t end, std::string& text, std::vector<int64_t>& ends);
  void Resolve(std::string& text, std::vector<int64_t>& ends);
  bool Repairs() const;

  BaudotCodec codec_;
  bool ltrsOnSpace_;
  Doubt doubt_ = Doubt::kNone;
  bool shiftHeld_ = false;  // the first held code is the one that may have been a shift
  std::vector<Held> held_;
};

}  // namespace zk
