#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/baudot.h"

namespace zk {

// Turns the codes the receiver shows into text: the receiving shift state, which starts in
// letters with each transmission (what came before says nothing about a new sender's
// shift), and where each character's stop element ended.
class ReceivedText {
 public:
  explicit ReceivedText(bool ltrsOnSpace) : ltrsOnSpace_(ltrsOnSpace) {}
  void NewTransmission() { codec_ = BaudotCodec(); }
  // Appends the character a code stands for, if any, and its stop element's end to `ends`.
  void Add(uint8_t code, int64_t end, std::string& text, std::vector<int64_t>& ends);

 private:
  BaudotCodec codec_;
  bool ltrsOnSpace_;
};

}  // namespace zk
