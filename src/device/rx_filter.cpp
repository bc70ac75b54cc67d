#include "device/rx_filter.h"

namespace zk {

bool RxFilter::Accept(uint8_t b) {
  if (b == 0) return false;
  if (b == '\r' && last() == '\r') return false;
  lastRxChar_.store(b, std::memory_order_relaxed);
  return true;
}

}  // namespace zk
