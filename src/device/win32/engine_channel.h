// The sound-card engine as the running program sees it: the program started, the
// registered message, the engine's window once it has announced itself.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "device/engine_link.h"

class EngineChannel {
 public:
  explicit EngineChannel(zk::RxFilter& filter) : rules_(filter) {}

  // Registers the message, starts the engine program ("mmtty -s", else the engine beside
  // the exe), waits 500 ms for it and asks it to receive. False when no engine program
  // could be started; a later one that announces itself is still linked. An engine
  // linked before is forgotten: the new one announces itself.
  bool Start();

  // True once, when the linked engine's window has gone (the engine ended or crashed);
  // the engine is forgotten then. Window thread.
  bool Lost();

  // The registered message's number; 0 before the first Start.
  UINT message() const { return message_; }

  // Posts one message to the engine once it is known; from any thread.
  void Post(uint32_t code, intptr_t value);

  // One message from the engine, on the window thread. Links the engine (replying from
  // `mainWindow`) and sets its caption itself; the rest is the caller's.
  zk::EngineAction Handle(HWND mainWindow, WPARAM code, LPARAM value, bool transmitting);

 private:
  bool StartProgram();
  void SetCaption();

  zk::EngineLink rules_;
  std::atomic<UINT> message_{0};
  // Kept once learnt: after a restart of the engine, the old window gets the first posts
  // until the new engine announces itself.
  std::atomic<HWND> window_{nullptr};
};
