#include "messages/auto_repeat.h"

namespace zk {

void AutoRepeat::Cancel() {
  armed_ = false;
  countdown_ = -1;
}

void AutoRepeat::OnFKeySent(bool arm) {
  Cancel();
  armed_ = arm;
}

void AutoRepeat::OnReturnToReceive(int repeatsec) {
  if (armed_) countdown_ = repeatsec;
}

int AutoRepeat::Tick(int repeatfkey) {
  int send = -1;
  if (armed_ && countdown_ == 0) {
    armed_ = false;
    if (repeatfkey >= 1 && repeatfkey <= 9) send = repeatfkey - 1;
  }
  // Counting down after the test is what makes a pause of n go out on tick n + 1.
  if (countdown_ >= 0) --countdown_;
  return send;
}

}  // namespace zk
