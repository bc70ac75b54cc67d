#pragma once

namespace zk {

// Counts the pause before the repeat key goes out again. Idle: not armed, countdown -1;
// armed while the message is on the air; pausing while the countdown runs down to 0.
class AutoRepeat {
 public:
  // A key in the typing pane, a click in a pane, a pick, or any function-key send.
  void Cancel();
  // Every function-key send cancels first; `arm` says whether this send repeats.
  void OnFKeySent(bool arm);
  // The switch back to receive starts (or restarts) the pause.
  void OnReturnToReceive(int repeatsec);
  // One clock tick: the key index 0..8 to send now, or -1. With a pause of n seconds
  // the key comes back on the (n + 1)-th tick after the return to receive.
  int Tick(int repeatfkey);

  bool armed() const { return armed_; }
  int countdown() const { return countdown_; }

 private:
  bool armed_ = false;
  int countdown_ = -1;
};

}  // namespace zk
