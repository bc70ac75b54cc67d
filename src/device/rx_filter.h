#pragma once
#include <atomic>
#include <cstdint>

namespace zk {

// Decides which received bytes reach the receive/transmit pane: no zeros, and no
// carriage return straight after another, so CR CR shows one line break.
// Accept runs on the reader thread; Reset comes from the user-interface thread at every
// switch between transmit and receive.
class RxFilter {
 public:
  // True when b is to be shown; it then becomes the last byte kept.
  bool Accept(uint8_t b);

  // Keeps b as the last byte without filtering it (the engine's echo while transmitting).
  void Note(uint8_t b) { lastRxChar_.store(b, std::memory_order_relaxed); }

  void Reset() { lastRxChar_.store(0, std::memory_order_relaxed); }

  uint8_t last() const { return lastRxChar_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint8_t> lastRxChar_{0};
};

}  // namespace zk
