#pragma once
#include <cstdint>

namespace zk {

// How strong one tone has been lately, from the element filter's power at the elements
// decided to carry it. A steady tone is best measured over many elements; a fading one
// changes within a second. Both a short and a long mean are kept, and the short one is
// trusted only as far as it differs from the long one by more than noise would explain.
class ToneLevel {
 public:
  ToneLevel(int64_t shortWindow, int64_t longWindow) : short_(shortWindow), long_(longWindow) {}
  void Reset();
  // An element of this tone ended at `end` with filter power `on`.
  void Add(int64_t end, double on, double noise);
  // Forgets what has left the windows by `now`.
  void Refresh(int64_t now, double noise);

  bool heard() const { return count_ > 0; }
  double power() const { return power_; }    // with the tone on, noise included
  double spread() const { return spread_; }  // mean square error of the predicted amplitude

 private:
  static constexpr int kKept = 256;
  struct Seen {
    int64_t end;
    double on;
  };
  double Mean(int64_t since, int* count) const;

  int64_t short_, long_;
  Seen seen_[kKept] = {};
  int count_ = 0;
  int next_ = 0;
  double power_ = 0;
  double spread_ = 0;
};

}  // namespace zk
