#include "device/tx_queue.h"

namespace zk {

namespace {

uint32_t WriteOf(uint32_t state) { return state >> 16; }
uint32_t ReadOf(uint32_t state) { return state & 0xFFFFu; }
uint32_t Pack(uint32_t write, uint32_t read) { return (write << 16) | read; }
uint32_t Next(uint32_t index) { return index + 1 == TxQueue::kSize ? 0 : index + 1; }
uint32_t Prev(uint32_t index) { return index == 0 ? TxQueue::kSize - 1 : index - 1; }

}  // namespace

int TxQueue::Put(char ch) {
  uint32_t s = state_.load(std::memory_order_acquire);
  const uint32_t w = WriteOf(s);
  if (Next(w) == ReadOf(s)) return 0;
  // Slot w is outside the waiting text, so the consumer does not read it until the
  // new write index is published below.
  store_[w].store(ch, std::memory_order_relaxed);
  // Only the consumer can change the pair meanwhile, and only by moving the read index
  // forward, which leaves room.
  while (!state_.compare_exchange_weak(s, Pack(Next(w), ReadOf(s)), std::memory_order_acq_rel,
                                       std::memory_order_acquire)) {}
  return 1;
}

bool TxQueue::TakeBack() {
  uint32_t s = state_.load(std::memory_order_acquire);
  for (;;) {
    const uint32_t w = WriteOf(s);
    if (w == ReadOf(s)) return false;
    if (state_.compare_exchange_weak(s, Pack(Prev(w), ReadOf(s)), std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
      return true;
    }
  }
}

bool TxQueue::Empty() const {
  const uint32_t s = state_.load(std::memory_order_acquire);
  return WriteOf(s) == ReadOf(s);
}

uint32_t TxQueue::Count() const {
  const uint32_t s = state_.load(std::memory_order_acquire);
  return (WriteOf(s) + kSize - ReadOf(s)) % kSize;
}

bool TxQueue::Peek(char& ch) const {
  const uint32_t s = state_.load(std::memory_order_acquire);
  if (WriteOf(s) == ReadOf(s)) return false;
  ch = store_[ReadOf(s)].load(std::memory_order_relaxed);
  return true;
}

bool TxQueue::Pop() {
  uint32_t s = state_.load(std::memory_order_acquire);
  for (;;) {
    if (WriteOf(s) == ReadOf(s)) return false;
    if (state_.compare_exchange_weak(s, Pack(WriteOf(s), Next(ReadOf(s))), std::memory_order_acq_rel,
                                     std::memory_order_acquire)) {
      return true;
    }
  }
}

void TxQueue::Flush() {
  uint32_t s = state_.load(std::memory_order_acquire);
  while (!state_.compare_exchange_weak(s, Pack(WriteOf(s), WriteOf(s)), std::memory_order_acq_rel,
                                       std::memory_order_acquire)) {}
}

}  // namespace zk
