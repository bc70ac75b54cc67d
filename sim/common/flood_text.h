#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>

namespace zk {
namespace sim {

// Exactly `total` bytes of known lines with a sequence number, so a receiver can tell
// that none was lost: "THE QUICK BROWN FOX 0123456789 000001" CR LF, and so on; the last
// line is cut where the total runs out.
class FloodText {
 public:
  explicit FloodText(int64_t total) : left_(total) {}
  bool done() const { return left_ <= 0; }

  // Queues the next line (or what is left of it).
  void Queue(std::deque<uint8_t>* out) {
    char line[64];
    ++seq_;
    const int n =
        std::snprintf(line, sizeof line, "THE QUICK BROWN FOX 0123456789 %06lld\r\n", static_cast<long long>(seq_));
    for (int i = 0; i < n && left_ > 0; ++i, --left_) {
      out->push_back(static_cast<uint8_t>(line[i]));
    }
  }

 private:
  int64_t left_;
  int64_t seq_ = 0;
};

}  // namespace sim
}  // namespace zk
