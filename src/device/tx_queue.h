#pragma once
#include <atomic>
#include <cstdint>

namespace zk {

// The characters waiting to be sent: a ring with one producer (the user-interface
// thread, which also flushes and takes back) and one consumer (the writer thread).
//
// Both indices live in one 32-bit atomic word (write index in the high half, read index
// in the low half). A flush or a take-back on the producer side and a take-off on the
// consumer side then each change the pair in one step, so a backspace racing the writer
// for the last character can never leave the read index past the write index, which
// would make the ring look full of stale text.
class TxQueue {
 public:
  static constexpr uint32_t kSize = 10000;  // slot 9999 is followed by slot 0

  // Queues ch and returns 1; returns 0 and keeps the queued text when 9999 characters
  // are already waiting.
  int Put(char ch);

  // Backspace: removes the last queued character and returns true; returns false and
  // does nothing when the queue is empty (the character has gone out already).
  bool TakeBack();

  bool Empty() const;
  uint32_t Count() const;

  // The character at the head of the queue; false when empty.
  bool Peek(char& ch) const;

  // Takes the head character off. Returns false when the queue was empty, which for
  // the writer means a flush or a take-back removed what it had peeked.
  bool Pop();

  // Drops everything waiting.
  void Flush();

  uint32_t writeIndex() const { return state_.load(std::memory_order_acquire) >> 16; }
  uint32_t readIndex() const { return state_.load(std::memory_order_acquire) & 0xFFFFu; }

 private:
  // Written by the producer before the write index that covers it is published, and
  // read by the consumer after it sees that index; atomic so a take-back that rewrites
  // a slot the consumer has just peeked is not a data race.
  std::atomic<char> store_[kSize];
  std::atomic<uint32_t> state_{0};
};

}  // namespace zk
