#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zk {

// Watches the bytes received from a TNC for an awaited response or command prompt.
// Step runs on the reader thread; Clear may come from any thread.
class TncMatcher {
 public:
  // Awaited responses and prompts come from 100-byte fields, so at most 99 characters;
  // a text longer than the window never matches.
  static constexpr size_t kWindow = 100;

  // Forgets what has been received. Takes effect at the next Step, on the reader thread,
  // so a clear from the user-interface thread never races the window.
  void Clear() { clearPending_.store(true, std::memory_order_release); }

  // Appends b to the window and reports whether the last bytes received equal text,
  // ignoring the case of ASCII letters. Needs at least strlen(text) bytes since the
  // last Clear. Zero bytes count like any other. An empty or null text never matches.
  bool Step(uint8_t b, const char* text);

 private:
  uint8_t window_[kWindow] = {};  // oldest first, the newest byte last
  size_t received_ = 0;           // bytes since the last clear, up to kWindow
  std::atomic<bool> clearPending_{false};
};

}  // namespace zk
