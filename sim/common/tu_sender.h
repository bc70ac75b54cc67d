#pragma once
#include <cstdint>
#include <deque>

#include "base/baudot.h"
#include "script_player.h"

namespace zk {
namespace sim {

// Turns script items into the five-bit codes a terminal unit sends: text through the core
// codec, exact and noise codes as they are.
class TuSender {
 public:
  static constexpr uint8_t kCodeMask = 31;

  void Queue(const ScriptItem& item, std::deque<uint8_t>* out) {
    if (item.kind != ScriptItem::Kind::kText) {
      const uint8_t code = static_cast<uint8_t>(item.value & kCodeMask);
      if (code == kLtrs || code == kFigs) shiftUnknown_ = true;
      out->push_back(code);
      return;
    }
    // Noise or exact codes may have left the far end in either shift; a sender that wants
    // to be read says letters again before its next text.
    if (shiftUnknown_) {
      QueueWriter writer(out);
      codec_.SyncLetters(writer);
      shiftUnknown_ = false;
    }
    const char ch = item.value == '\n' ? '\r' : static_cast<char>(item.value);
    uint8_t codes[5];
    const int n = codec_.Encode(ch, codes);
    for (int i = 0; i < n && i < 4; ++i) out->push_back(codes[i]);
  }

 private:
  // Lets the codec's letters-shift resync write straight into the send queue.
  class QueueWriter : public CodeWriter {
   public:
    explicit QueueWriter(std::deque<uint8_t>* out) : out_(out) {}
    void WriteCodes(const uint8_t* codes, int count) override {
      for (int i = 0; i < count; ++i) out_->push_back(codes[i]);
    }

   private:
    std::deque<uint8_t>* out_;
  };

  BaudotCodec codec_;
  bool shiftUnknown_ = false;
};

}  // namespace sim
}  // namespace zk
